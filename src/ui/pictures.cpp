#include "ui/pictures.h"

#include <QApplication>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>
#include <functional>

namespace lum2::ui {
namespace {

// The direction colours are the ones the task list, the editor and the
// tray's run summary share, so a direction has one colour everywhere.
const QColor kPalmToPcColour(0x1f, 0x6f, 0xd6);
const QColor kPcToPalmColour(0x2b, 0x9a, 0x41);
const QColor kSyncColour(0xef, 0x8a, 0x00);
const QColor kNoConversionColour(0x86, 0x8e, 0x96);
const QColor kPlaceholderColour(0xa8, 0xae, 0xb4);

const QColor kBodyLight(0x64, 0x73, 0x82);
const QColor kBodyDark(0x2e, 0x38, 0x42);
const QColor kLcd(0xcf, 0xdf, 0xbf);
const QColor kLcdLit(0x8e, 0xf0, 0xc6);
const QColor kLcdInk(0x41, 0x52, 0x36);

qreal ScreenRatio() { return qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0; }

// Paints on a transparent square of size device-independent pixels whose
// painter coordinates run from 0 to grid, so that each picture is designed
// once on its own grid and scaled.
QPixmap Paint(int size, qreal ratio, qreal grid, const std::function<void(QPainter&)>& draw) {
    size = std::max(size, 1);
    ratio = std::max(ratio, 1.0);
    const int pixels = static_cast<int>(std::ceil(size * ratio));
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / grid, size / grid);
    draw(painter);
    return pixmap;
}

// A horizontal arrow on the line y with its tip at x1.
QPainterPath Arrow(qreal x0, qreal x1, qreal y, qreal shaft, qreal head, qreal headLength) {
    const qreal neck = x1 > x0 ? x1 - headLength : x1 + headLength;
    QPainterPath path;
    path.moveTo(x0, y - shaft / 2);
    path.lineTo(neck, y - shaft / 2);
    path.lineTo(neck, y - head / 2);
    path.lineTo(x1, y);
    path.lineTo(neck, y + head / 2);
    path.lineTo(neck, y + shaft / 2);
    path.lineTo(x0, y + shaft / 2);
    path.closeSubpath();
    return path;
}

// Filled lighter at the top and outlined a shade darker, so that the shape
// holds against both light and dark list backgrounds.
void FillShape(QPainter& painter, const QPainterPath& path, const QColor& colour, qreal outline) {
    const QRectF box = path.boundingRect();
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, colour.lighter(130));
    fill.setColorAt(1, colour);
    painter.setPen(QPen(colour.darker(150), outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(path);
}

// "Nothing moves": a plain dash, grey like everything inactive.
void DrawDash(QPainter& painter, qreal x0, qreal x1, qreal y, qreal thickness, qreal outline) {
    QPainterPath dash;
    dash.addRoundedRect(QRectF(x0, y - thickness / 2, x1 - x0, thickness), thickness / 3, thickness / 3);
    FillShape(painter, dash, kNoConversionColour, outline);
}

// --- Direction pictures, small: the arrows alone on a 16 grid --------------

void DrawSmallDirection(QPainter& painter, int direction) {
    switch (direction) {
    case kPicturePalmToPc: FillShape(painter, Arrow(15, 1, 8, 5, 13, 7), kPalmToPcColour, 1); break;
    case kPicturePcToPalm: FillShape(painter, Arrow(1, 15, 8, 5, 13, 7), kPcToPalmColour, 1); break;
    case kPictureSync:
        FillShape(painter, Arrow(1.5, 15, 4.5, 3, 8, 5), kSyncColour, 1);
        FillShape(painter, Arrow(14.5, 1, 11.5, 3, 8, 5), kSyncColour, 1);
        break;
    case kPictureNoConversion: DrawDash(painter, 1.5, 14.5, 8, 4.5, 1); break;
    default: {
        QPen dashed(kPlaceholderColour, 1.2, Qt::CustomDashLine, Qt::FlatCap);
        dashed.setDashPattern({2, 1.6});
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(2, 2, 12, 12), 2.5, 2.5);
        break;
    }
    }
}

// --- Direction pictures, large: PC, arrows and handheld on a 48 grid --------

void DrawMonitor(QPainter& painter, const QRectF& screen) {
    const qreal unit = screen.width() / 18;
    // Stand first, so that the bezel covers its top.
    const qreal cx = screen.center().x();
    QPainterPath stand;
    stand.moveTo(cx - 2.2 * unit, screen.bottom() - unit);
    stand.lineTo(cx + 2.2 * unit, screen.bottom() - unit);
    stand.lineTo(cx + 3 * unit, screen.bottom() + 3.5 * unit);
    stand.lineTo(cx - 3 * unit, screen.bottom() + 3.5 * unit);
    stand.closeSubpath();
    stand.addRoundedRect(QRectF(cx - 6 * unit, screen.bottom() + 3.2 * unit, 12 * unit, 1.8 * unit), 0.8 * unit,
                         0.8 * unit);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBodyLight.darker(110));
    painter.drawPath(stand.simplified());

    QLinearGradient bezel(screen.topLeft(), screen.bottomLeft());
    bezel.setColorAt(0, kBodyLight);
    bezel.setColorAt(1, kBodyDark);
    painter.setPen(QPen(kBodyDark.darker(130), 0.8 * unit));
    painter.setBrush(bezel);
    painter.drawRoundedRect(screen, 1.6 * unit, 1.6 * unit);

    const QRectF glass = screen.adjusted(1.6 * unit, 1.6 * unit, -1.6 * unit, -1.6 * unit);
    QLinearGradient shine(glass.topLeft(), glass.bottomRight());
    shine.setColorAt(0, QColor(0xf4, 0xf9, 0xff));
    shine.setColorAt(1, QColor(0xb9, 0xd4, 0xee));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawRect(glass);

    // A few lines of text: the PC file.
    painter.setPen(QPen(QColor(0x5a, 0x74, 0x90), 1.1 * unit, Qt::SolidLine, Qt::RoundCap));
    const qreal left = glass.left() + 1.8 * unit;
    const qreal widths[] = {0.78, 0.55, 0.7};
    for (int i = 0; i < 3; ++i) {
        const qreal y = glass.top() + (2.2 + 2.6 * i) * unit;
        painter.drawLine(QPointF(left, y), QPointF(left + (glass.width() - 3.6 * unit) * widths[i], y));
    }
}

// The Palm handheld, also the program's emblem: a dark body, the pale LCD
// with a page of text and the row of application buttons.
void DrawHandheld(QPainter& painter, const QRectF& body, bool lit = false, qreal lineShift = 0) {
    const qreal unit = body.width() / 20;
    QLinearGradient shell(body.topLeft(), body.topRight());
    shell.setColorAt(0, kBodyLight);
    shell.setColorAt(1, kBodyDark);
    painter.setPen(QPen(QColor(0x1d, 0x24, 0x2b), 1.2 * unit));
    painter.setBrush(shell);
    painter.drawRoundedRect(body, 4 * unit, 4 * unit);

    const QRectF screen(body.left() + 3 * unit, body.top() + 3 * unit, body.width() - 6 * unit, 16 * unit);
    painter.setPen(QPen(QColor(0x1d, 0x24, 0x2b), 0.8 * unit));
    painter.setBrush(lit ? kLcdLit : kLcd);
    painter.drawRoundedRect(screen, 1.2 * unit, 1.2 * unit);

    painter.save();
    painter.setClipRect(screen.adjusted(unit, unit, -unit, -unit));
    // Small, the lines are whole pixels thick to stay crisp; large, they are
    // finer and more, so the screen looks like a page rather than bars.
    const bool fine = painter.transform().m11() * unit > 2.5;
    const qreal pitch = fine ? 2.6 : 4;
    painter.setPen(QPen(kLcdInk, (fine ? 1.3 : 2) * unit, Qt::SolidLine, Qt::FlatCap));
    const qreal widths[] = {1.0, 0.7, 1.0, 0.55, 0.85, 0.95, 0.4};
    for (int i = 0; i < (fine ? 7 : 5); ++i) {
        const qreal y = screen.top() + (3.5 + pitch * i + lineShift) * unit;
        const qreal x = screen.left() + 2.5 * unit;
        painter.drawLine(QPointF(x, y), QPointF(x + (screen.width() - 5 * unit) * widths[i], y));
    }
    painter.restore();

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xa9, 0xb8, 0xc6));
    const qreal buttonsY = body.top() + 24.5 * unit;
    for (int i = -1; i <= 1; ++i) {
        painter.drawEllipse(QPointF(body.center().x() + i * 5 * unit, buttonsY), 1.8 * unit, 1.8 * unit);
    }
}

// The devices stand in a row and the arrows run beneath them, from under one
// device to under the other: the arrows get the whole width, so the direction
// still reads at 32 pixels.
void DrawLargeDirection(QPainter& painter, int direction) {
    const bool chosen = direction >= kPictureNoConversion && direction <= kPictureSync;
    if (!chosen) {
        painter.setOpacity(0.4);
    }
    DrawMonitor(painter, QRectF(1.5, 4, 24, 17));
    DrawHandheld(painter, QRectF(32.5, 1.5, 14, 21));
    painter.setOpacity(1);

    constexpr qreal kLine = 37;
    switch (direction) {
    case kPicturePalmToPc: FillShape(painter, Arrow(45, 3, kLine, 7, 17, 10), kPalmToPcColour, 1.3); break;
    case kPicturePcToPalm: FillShape(painter, Arrow(3, 45, kLine, 7, 17, 10), kPcToPalmColour, 1.3); break;
    case kPictureSync:
        FillShape(painter, Arrow(4, 45, kLine - 5, 4.5, 10, 7), kSyncColour, 1.2);
        FillShape(painter, Arrow(44, 3, kLine + 5.5, 4.5, 10, 7), kSyncColour, 1.2);
        break;
    case kPictureNoConversion: DrawDash(painter, 9, 39, kLine, 6, 1.3); break;
    default: {
        QPen dotted(kPlaceholderColour, 2.6, Qt::DotLine, Qt::RoundCap);
        painter.setPen(dotted);
        painter.drawLine(QPointF(8, kLine), QPointF(40, kLine));
        break;
    }
    }
}

QPixmap RenderDirection(int direction, int size, qreal ratio) {
    if (size < 32) {
        return Paint(size, ratio, 16, [&](QPainter& p) { DrawSmallDirection(p, direction); });
    }
    return Paint(size, ratio, 48, [&](QPainter& p) { DrawLargeDirection(p, direction); });
}

// --- Emblem and tray ---------------------------------------------------------

// A round badge in the lower right corner, ringed in white so that it stands
// out from the handheld under it.
void DrawBadge(QPainter& painter, const QColor& colour, const QPainterPath& sign) {
    const QPointF centre(24.5, 24.5);
    painter.setPen(QPen(Qt::white, 1.6));
    QRadialGradient fill(centre - QPointF(2, 2), 9);
    fill.setColorAt(0, colour.lighter(125));
    fill.setColorAt(1, colour);
    painter.setBrush(fill);
    painter.drawEllipse(centre, 7.2, 7.2);
    painter.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(sign);
}

void DrawEmblem(QPainter& painter, TrayPicture picture) {
    const bool badge = picture == TrayPicture::kSuccess || picture == TrayPicture::kErrors;
    const bool busy = picture == TrayPicture::kBusy;
    // With a badge the handheld moves left, so that the badge hides less of it.
    const QRectF body(badge ? 4.5 : 6.5, 1, 19, 30);
    DrawHandheld(painter, body, busy, busy ? 2 : 0);
    if (picture == TrayPicture::kSuccess) {
        QPainterPath check;
        check.moveTo(20.8, 24.8);
        check.lineTo(23.6, 27.6);
        check.lineTo(28.3, 21.6);
        DrawBadge(painter, QColor(0x25, 0x96, 0x3c), check);
    } else if (picture == TrayPicture::kErrors) {
        QPainterPath cross;
        cross.moveTo(21.6, 21.6);
        cross.lineTo(27.4, 27.4);
        cross.moveTo(27.4, 21.6);
        cross.lineTo(21.6, 27.4);
        DrawBadge(painter, QColor(0xd3, 0x2f, 0x2f), cross);
    }
}

TrayPicture KnownTrayPicture(TrayPicture picture) {
    switch (picture) {
    case TrayPicture::kBusy:
    case TrayPicture::kSuccess:
    case TrayPicture::kErrors: return picture;
    default: return TrayPicture::kNormal;
    }
}

QPixmap RenderTray(TrayPicture picture, int size, qreal ratio) {
    return Paint(size, ratio, 32, [&](QPainter& p) { DrawEmblem(p, KnownTrayPicture(picture)); });
}

// --- Question picture ----------------------------------------------------------

QPixmap RenderPrompt(int size, qreal ratio) {
    return Paint(size, ratio, 32, [](QPainter& painter) {
        const QPointF centre(16, 16);
        QRadialGradient fill(QPointF(12, 10), 22);
        fill.setColorAt(0, QColor(0x5b, 0xa2, 0xf0));
        fill.setColorAt(1, QColor(0x1b, 0x5c, 0xb5));
        painter.setPen(QPen(QColor(0x15, 0x4a, 0x94), 1));
        painter.setBrush(fill);
        painter.drawEllipse(centre, 15, 15);

        QPainterPath hook;
        const QRectF round(11.2, 7, 9.6, 9.6);
        hook.arcMoveTo(round, 155);
        hook.arcTo(round, 155, -235);
        hook.lineTo(16, 18.2);
        hook.lineTo(16, 19.8);
        painter.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(hook);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(16, 24.6), 2.1, 2.1);
    });
}

// An icon drawn afresh for each place at its own size and density: a set of
// fixed pixmaps would be scaled there, and for a double-density screen QIcon
// would pick the one drawn for twice the size, which for the direction is the
// large picture with the PC and the handheld, too busy at list size.
class PaintedIconEngine : public QIconEngine {
public:
    using Render = std::function<QPixmap(int size, qreal ratio)>;
    PaintedIconEngine(Render render, QList<int> sizes) : render_(std::move(render)), sizes_(std::move(sizes)) {}

    QIconEngine* clone() const override { return new PaintedIconEngine(render_, sizes_); }
    QString key() const override { return QStringLiteral("lum2-painted"); }

    // QIcon asks for the size in device pixels, with the ratio they are for.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/, qreal scale) override {
        scale = std::max(scale, 1.0);
        QPixmap pixmap = render_(static_cast<int>(std::lround(std::min(size.width(), size.height()) / scale)), scale);
        if (mode == QIcon::Disabled) {
            // Greyed as the style greys every other picture.
            QStyleOption option;
            option.palette = QApplication::palette();
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        return pixmap;
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal scale = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap picture = scaledPixmap(rect.size() * scale, mode, state, scale);
        const QSizeF shown = picture.deviceIndependentSize();
        painter->drawPixmap(
            QPointF(rect.x() + (rect.width() - shown.width()) / 2, rect.y() + (rect.height() - shown.height()) / 2),
            picture);
    }
    // Any size is drawn; these are offered to those who take a set, such as
    // the window manager and the tray.
    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        QList<QSize> sizes;
        for (int size : sizes_) sizes << QSize(size, size);
        return sizes;
    }
    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

private:
    Render render_;
    QList<int> sizes_;
};

QIcon PaintedIcon(PaintedIconEngine::Render render, QList<int> sizes) {
    return QIcon(new PaintedIconEngine(std::move(render), std::move(sizes)));
}

}  // namespace

QPixmap DirectionPicture(int direction, int size) { return RenderDirection(direction, size, ScreenRatio()); }

QPixmap DirectionPictureForRatio(int direction, int size, qreal ratio) {
    return RenderDirection(direction, size, ratio);
}

QIcon DirectionIcon(int direction) {
    return PaintedIcon(
        [direction](int size, qreal ratio) {
            return Paint(size, ratio, 16, [direction](QPainter& p) { DrawSmallDirection(p, direction); });
        },
        {16, 22, 32});
}

QPixmap TrayPixmap(TrayPicture picture, int size) { return RenderTray(picture, size, ScreenRatio()); }

QIcon TrayIcon(TrayPicture picture) {
    return PaintedIcon([picture](int size, qreal ratio) { return RenderTray(picture, size, ratio); },
                       {16, 22, 24, 32, 48});
}

QIcon ApplicationIcon() {
    return PaintedIcon([](int size, qreal ratio) { return RenderTray(TrayPicture::kNormal, size, ratio); },
                       {16, 22, 32, 48, 64, 128, 256});
}

QPixmap PromptPicture(int size) { return RenderPrompt(size, ScreenRatio()); }

}  // namespace lum2::ui
