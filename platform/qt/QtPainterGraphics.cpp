#include "platform/qt/QtPainterGraphics.h"

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
    switch (mode) {
        case LBlendMode::kDifference:
            fPainter.setCompositionMode(QPainter::CompositionMode_Difference);
            break;
        case LBlendMode::kMultiply:
            fPainter.setCompositionMode(QPainter::CompositionMode_Multiply);
            break;
        case LBlendMode::kScreen:
            fPainter.setCompositionMode(QPainter::CompositionMode_Screen);
            break;
        default:
            fPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            break;
    }
}

QColor QtPainterGraphics::PenColor(const LPen& pen) {
    switch (pen.fKind) {
        case LPen::kByColor:
            return QColor(int(pen.fRgba >> 24), int((pen.fRgba >> 16) & 0xFF),
                          int((pen.fRgba >> 8) & 0xFF), int(pen.fRgba & 0xFF));
        case LPen::kByGray: {
            static const int kGreys[5] = {0, 64, 128, 192, 230};
            const int g = kGreys[pen.fRgba <= 4 ? pen.fRgba : 0];
            return QColor(g, g, g);
        }
        default: {
            // Selection, drop highlight and focus ring; the text background.
            if (pen.fId == 6) return QColor(255, 255, 255);
            return QColor(48, 140, 198);
        }
    }
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

void QtPainterGraphics::DrawTextFieldFrame(const LRect& rect, bool, bool focused) {
    const QRectF r(rect.left + 0.5, rect.top + 0.5, rect.right - rect.left - 1.0,
                   rect.bottom - rect.top - 1.0);
    fPainter.setPen(QPen(focused ? QColor(48, 140, 198) : QColor(128, 128, 128), 1.0));
    fPainter.setBrush(Qt::NoBrush);
    fPainter.drawRect(r);
}
