// The connector between the selected row of the task list and the editor: a
// line from the row to the editor's name fields, green while a task is shown,
// pale green while the list is empty, and a short stub at rest.
#pragma once

#include <QColor>
#include <QWidget>

namespace lum2::ui {

class ConnectorWidget : public QWidget {
    Q_OBJECT

public:
    explicit ConnectorWidget(QWidget* parent = nullptr);

    void SetColor(const QColor& color);
    QColor Color() const { return color_; }
    // Links the row spanning rowTop..rowTop+rowHeight (own coordinates) to
    // the editor field at targetY.
    void LinkRow(int rowTop, int rowHeight, int targetY);
    void Rest(int targetY);
    bool Linked() const { return linked_; }
    int RowTop() const { return rowTop_; }
    int TargetY() const { return targetY_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_{0, 255, 0};
    bool linked_ = false;
    int rowTop_ = 0;
    int rowHeight_ = 0;
    int targetY_ = 0;
};

}  // namespace lum2::ui
