#include "framework/CLevelMeter.h"

#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/MousePoint.h"

// ---- CLevelMeter

CLevelMeter::CLevelMeter(LPane* parent) : LPane(parent, parent) {
    LSharedImage::InitEmptyRef(&fLitImage);
    LSharedImage::InitEmptyRef(&fOffImage);
    MakePenByColor(&fLitColor, 0x00FF00FFu, 0);
    // A plain meter only shows; the mouse goes to what is behind it.
    fState |= kDimmed;
}

LMessage CLevelMeter::HandleMessage(const LMessage& msg) {
    return LPane::HandleMessage(msg);
}

i32 CLevelMeter::LitLength(i32 level) const {
    const i64 span = Length();
    const i64 base = fBase;
    i64 lit = base;
    if (fMax >= 1) lit = base + ((span - base) * i64(Clamp(level)) + fMax / 2) / fMax;
    if (lit < 0) lit = 0;
    if (lit > span) lit = span < 0 ? 0 : span;
    return i32(lit);
}

LRect CLevelMeter::LitRect(i32 level) const {
    const i32 lit = LitLength(level);
    LRect r = fBounds;
    if (IsVertical())
        r.top = r.bottom - lit;
    else
        r.right = r.left + lit;
    return r;
}

LRgn CLevelMeter::GetSpanRgn(i32 a, i32 b) const {
    LRgn span;
    if (Clamp(a) == Clamp(b)) return span;
    span.SetRect(LitRect(a));
    span.Xor(LRgn(LitRect(b)));
    return span;
}

void CLevelMeter::SetLevel(i32 level) {
    level = Clamp(level);
    if (level == fLevel) return;
    const LRgn span = GetSpanRgn(fLevel, level);
    fLevel = level;
    if (!span.IsEmpty()) InvalidateRect(span, span);
}

void CLevelMeter::SetImages(const LImageRef& lit, const LImageRef& unlit, u32 baseLength) {
    fLitImage = lit;
    fOffImage = unlit;
    fBase = baseLength;
    fLitColor.Reset();
}

void CLevelMeter::SetOffColor(const LPenRef& pen) {
    if (pen.Get() == fOffColor.Get()) return;
    fOffColor = pen;
    if (fLitColor) InvalidateRect(LRgn(fBounds), LRgn(fBounds));
}

i32 CLevelMeter::TouchesRgn(const LRgn& region) {
    if (!fFrameStyle) return LPane::TouchesRgn(region);
    if ((fState & (kVisible | kContainerShown)) != (kVisible | kContainerShown)) return 0;
    return fFrameStyle->TouchesRgn(region, fBounds, fState) ? 1 : 0;
}

i32 CLevelMeter::GetPrefWidth(LDrawCtx*, i32) {
    return fLitColor ? 8 : ImageWidth(fLitImage.Get());
}

i32 CLevelMeter::GetPrefHeight(LDrawCtx*, i32) {
    return fLitColor ? 8 : ImageHeight(fLitImage.Get());
}

void CLevelMeter::Draw(LDrawCtx& ctx) {
    if (fFrameStyle) fFrameStyle->Draw(ctx, fBounds, 3);
    const LRect lit = LitRect(fLevel);
    LRgn unlit(fBounds);
    unlit.Subtract(LRgn(lit));
    if (fLitColor) {
        if (!lit.IsEmpty()) LSolidFill(lit, fLitColor).Draw(ctx);
        if (fOffColor && !unlit.IsEmpty()) {
            LRgnFill fill;
            fill.fPen = fOffColor;
            fill.fRegion = unlit;
            fill.Draw(ctx);
        }
        return;
    }
    if (!lit.IsEmpty() && fLitImage && fLitImage->IsValid()) {
        LClipScope clip(ctx, LRgn(lit));
        DrawSharedImage(ctx, fLitImage.Get(), fBounds);
    }
    if (!unlit.IsEmpty() && fOffImage && fOffImage->IsValid()) {
        LClipScope clip(ctx, unlit);
        DrawSharedImage(ctx, fOffImage.Get(), fBounds);
    }
}

// ---- CThresholdMeter

CThresholdMeter::CThresholdMeter(LPane* parent) : CLevelMeter(parent) {
    fState &= ~u32(kDimmed);
}

i32 CThresholdMeter::PointAt(LPoint pt) const {
    const bool vertical = IsVertical();
    const i64 size = vertical ? fBounds.Height() : fBounds.Width();
    // A collapsed meter has no scale to divide by.
    if (size <= 0 || fMax < 1) return 0;
    const i64 along = vertical ? i64(fBounds.bottom) - pt.y : i64(pt.x) - fBounds.left;
    const i64 point = (along * fMax + size / 2) / size;
    return point < 0 ? 0 : (point > fMax ? fMax : i32(point));
}

void CThresholdMeter::SetPoint(i32 point) {
    if (point == fPoint) return;
    fPoint = point;
    InvalidateRect(LRgn(fBounds), LRgn(fBounds));
}

void CThresholdMeter::SetPointVisible(u8 shown) {
    if (shown == fPointShown) return;
    fPointShown = shown;
    InvalidateRect(LRgn(fBounds), LRgn(fBounds));
}

void CThresholdMeter::TrackTo(LPoint pt) {
    const i32 point = PointAt(pt);
    if (point != fPoint) {
        SetPoint(point);
        Send(CThresholdMeter_Threshold, this, fParent);
    } else {
        Send(CThresholdMeter_Point, this, fParent);
    }
}

LMessage CThresholdMeter::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        if (msg.Is(LMouse_Click)) {
            TrackTo(MousePointIn(this));
            return LMessage{LPane_ReqCapture, this, fParent};
        }
        if (msg.Is(LMouse_Move)) {
            TrackTo(MousePointIn(this));
            return LMessage();
        }
    }
    return CLevelMeter::HandleMessage(msg);
}

void CThresholdMeter::Draw(LDrawCtx& ctx) {
    CLevelMeter::Draw(ctx);
    if (!fPointShown) return;
    const i32 lit = LitLength(fPoint);
    LRect marker = fBounds;
    if (IsVertical()) {
        marker.top = fBounds.bottom - lit - 1;
        marker.bottom = fBounds.bottom - lit + 1;
    } else {
        marker.left = fBounds.left + lit - 1;
        marker.right = fBounds.left + lit + 1;
    }
    marker.Intersect(fBounds);
    if (!marker.IsEmpty()) LSolidFill(marker, LPenRef()).Draw(ctx);
}
