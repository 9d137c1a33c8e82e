// A picture that acts on a click, like the direction picture and the help sign.
// It is a control like a button: it takes focus by Tab or click, shows the
// style's focus frame while it has it, and acts on Space, Return or Enter.
#pragma once

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace lum2::ui {

class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    explicit ClickableLabel(QWidget* parent = nullptr) : QLabel(parent) {
        setFocusPolicy(Qt::StrongFocus);
        // Room for the focus frame around the picture.
        setMargin(3);
    }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (isEnabled() && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        QLabel::mouseReleaseEvent(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A held key acts once, as a held button does.
            if (!event->isAutoRepeat() && isEnabled()) emit clicked();
            event->accept();
            return;
        default: QLabel::keyPressEvent(event);
        }
    }

    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!hasFocus()) return;
        QStylePainter painter(this);
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(1, 1, -1, -1);
        frame.backgroundColor = palette().color(backgroundRole());
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
    }
};

}  // namespace lum2::ui
