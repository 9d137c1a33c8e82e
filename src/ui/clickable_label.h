// A picture that acts on a click, like the direction picture and the help sign.
#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace lum2::ui {

class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (isEnabled() && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        QLabel::mouseReleaseEvent(event);
    }
};

}  // namespace lum2::ui
