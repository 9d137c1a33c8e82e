#include "ui/connector_widget.h"

#include <QPainter>
#include <QPainterPath>

namespace lum2::ui {

ConnectorWidget::ConnectorWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("shp_con");
    setFixedWidth(28);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ConnectorWidget::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void ConnectorWidget::LinkRow(int rowTop, int rowHeight, int targetY) {
    linked_ = true;
    rowTop_ = rowTop;
    rowHeight_ = rowHeight;
    targetY_ = targetY;
    update();
}

void ConnectorWidget::Rest(int targetY) {
    linked_ = false;
    targetY_ = targetY;
    update();
}

void ConnectorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor edge = color_.darker(140);
    const int w = width();
    if (!linked_) {
        // At rest: a short tab on the editor's side.
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawRoundedRect(QRectF(w - 10, targetY_ - 6, 10, 12), 3, 3);
        return;
    }
    // A band that starts as high as the row and narrows towards the editor.
    const qreal top = rowTop_;
    const qreal bottom = rowTop_ + rowHeight_;
    const qreal half = 5;
    QPainterPath band;
    band.moveTo(0, top);
    band.cubicTo(w * 0.55, top, w * 0.45, targetY_ - half, w, targetY_ - half);
    band.lineTo(w, targetY_ + half);
    band.cubicTo(w * 0.45, targetY_ + half, w * 0.55, bottom, 0, bottom);
    band.closeSubpath();
    painter.setPen(QPen(edge, 1));
    painter.setBrush(color_);
    painter.drawPath(band);
}

}  // namespace lum2::ui
