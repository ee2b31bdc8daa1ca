#include "platform/qt/QtPainterGraphics.h"

#include <QApplication>
#include <QFrame>
#include <QStyle>
#include <QStyleOptionFrame>

#include "platform/qt/QtColors.h"

QtPainterGraphics::QtPainterGraphics(QPainter& painter, const QRegion& baseClip)
    : fPainter(painter), fBase(baseClip) {
    fPainter.setClipRegion(fBase);
}

void QtPainterGraphics::SaveState() {
    fPainter.save();
}

void QtPainterGraphics::RestoreState() {
    fPainter.restore();
}

void QtPainterGraphics::SetBlendMode(LBlendMode mode) {
    fPainter.setCompositionMode(QtCompositionMode(mode));
}

QColor QtPainterGraphics::PenColor(const LPen& pen) {
    return QtPenColor(&pen);
}

void QtPainterGraphics::ApplyPen(const LPen& pen) {
    fColor = PenColor(pen);
    if (pen.fWidth > 0) fLineWidth = pen.fWidth;
}

void QtPainterGraphics::Translate(i32 dx, i32 dy) {
    fPainter.translate(dx, dy);
}

void QtPainterGraphics::SetClipRects(const LRect* rects, u32 count) {
    QRegion region;
    for (u32 i = 0; i < count; ++i) {
        const LRect& r = rects[i];
        if (r.right > r.left && r.bottom > r.top)
            region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    // The framework's clip is in current coordinates, the base one in the
    // device's: map the framework's to the device before narrowing.
    const QRegion device = fPainter.transform().map(region) & fBase;
    const QTransform t = fPainter.transform();
    fPainter.setClipRegion(t.inverted().map(device));
}

void QtPainterGraphics::FillRects(const CGRect* rects, u32 count) {
    for (u32 i = 0; i < count; ++i)
        fPainter.fillRect(QRectF(rects[i].x, rects[i].y, rects[i].width, rects[i].height), fColor);
}

void QtPainterGraphics::SetLineWidth(f64 width) {
    fLineWidth = width;
}

void QtPainterGraphics::MoveTo(i32 x, i32 y) {
    fPath.moveTo(x, y);
}

void QtPainterGraphics::LineTo(i32 x, i32 y) {
    fPath.lineTo(x, y);
}

void QtPainterGraphics::FillPath() {
    fPainter.fillPath(fPath, fColor);
    fPath = QPainterPath();
}

void QtPainterGraphics::StrokePath() {
    fPainter.strokePath(fPath, QPen(fColor, fLineWidth));
    fPath = QPainterPath();
}

namespace {
// The theme's frame around rect: the list box a plain frame, the text field a
// line-edit frame; focus shows as the style's focus state.
void DrawThemeFrame(QPainter& painter, const LRect& rect, bool active, bool focused,
                    QStyle::PrimitiveElement element) {
    QStyleOptionFrame opt;
    opt.rect = QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    opt.palette = QGuiApplication::palette();
    opt.state = QStyle::State_Sunken;
    if (active) opt.state |= QStyle::State_Enabled | QStyle::State_Active;
    if (focused) opt.state |= QStyle::State_HasFocus;
    opt.lineWidth = 1;
    opt.frameShape = QFrame::StyledPanel;
    QApplication::style()->drawPrimitive(element, &opt, &painter, nullptr);
    // Not every theme shows focus on a bare frame: the focus ring colour does.
    if (focused) {
        painter.save();
        painter.setPen(
            QPen(QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(opt.rect).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.restore();
    }
}
}  // namespace

void QtPainterGraphics::DrawTextFieldFrame(const LRect& rect, bool active, bool focused) {
    DrawThemeFrame(fPainter, rect, active, focused, QStyle::PE_FrameLineEdit);
}

void QtPainterGraphics::DrawListFrame(const LRect& rect, bool active, bool focused) {
    DrawThemeFrame(fPainter, rect, active, focused, QStyle::PE_Frame);
}
