#pragma once
// The native graphics of a window paint (or of any QPainter): the framework's
// drawing objects paint through it with a top-left origin. Whatever clip they
// set stays inside the base clip, the region Qt asked to repaint.

#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include "services/GraphicsServices.h"

class QtPainterGraphics : public LNativeGraphics {
public:
    QtPainterGraphics(QPainter& painter, const QRegion& baseClip);

    void SaveState() override;
    void RestoreState() override;
    void SetBlendMode(LBlendMode mode) override;
    void ApplyPen(const LPen& pen) override;
    void Translate(i32 dx, i32 dy) override;
    void SetClipRects(const LRect* rects, u32 count) override;
    void FillRects(const CGRect* rects, u32 count) override;
    void SetLineWidth(f64 width) override;
    void MoveTo(i32 x, i32 y) override;
    void LineTo(i32 x, i32 y) override;
    void FillPath() override;
    void StrokePath() override;
    void DrawTextFieldFrame(const LRect& rect, bool active, bool focused) override;
    void DrawListFrame(const LRect& rect, bool active, bool focused) override;

    QPainter& Painter() { return fPainter; }
    // The colour a pen paints with; pens by id follow the system palette.
    static QColor PenColor(const LPen& pen);
    // The colour of the last pen applied.
    const QColor& CurrentColor() const { return fColor; }

private:
    QPainter& fPainter;
    QRegion fBase;  // in device coordinates
    QPainterPath fPath;
    QColor fColor{0, 0, 0};
    f64 fLineWidth = 1.0;
};
