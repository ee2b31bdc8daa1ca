#include "framework/LFrameStyle.h"

#include "framework/LDrawObj.h"

void LFrameStyle::GetBorderRgn(LRgn* out, const LRect& r) const {
    // From one pixel inside the pane: a frame drawn on the pane's edge pixels
    // (a list's frame) is repainted with its border.
    LRect outer = r;
    outer.Inset(-GetWidth(), -GetWidth());
    LRect inner = r;
    inner.Inset(1, 1);
    out->SetRect(outer);
    if (!inner.IsEmpty()) out->Subtract(LRgn(inner));
}

void LFrameStyle::GetOutsideBand(LRgn* out, const LRect& r) const {
    LRect outer = r;
    outer.Inset(-GetWidth(), -GetWidth());
    out->SetRect(outer);
    out->Subtract(LRgn(r));
}

bool LFrameStyle::TouchesRgn(const LRgn& region, const LRect& r, u32 flags) const {
    (void)flags;
    LRect grown = r;
    if (GetWidth() > 0) grown.Inset(-GetWidth(), -GetWidth());
    return region.IntersectsRect(grown);
}

void LFrameStyle::AddBorder(const LRect& r, LRgn* redraw, LRgn* erase) const {
    LRgn band;
    GetBorderRgn(&band, r);
    if (redraw) redraw->Union(band);
    if (erase) erase->Union(band);
}

void LFocusRingStyle::AddToRgns(const LRect& r, u32 state, LRgn* redraw, LRgn* erase) const {
    if ((state & 7) != 7) return;
    // The ring lies wholly outside the pane, which draws its own edge pixels.
    LRgn band;
    GetOutsideBand(&band, r);
    if (redraw) redraw->Union(band);
    if (erase) erase->Union(band);
}

void LFocusRingStyle::Draw(LDrawCtx& ctx, const LRect& r, u32 flags) const {
    if ((flags & 7) != 7) return;
    LRgnFill fill;
    GetOutsideBand(&fill.fRegion, r);
    MakePenById(&fill.fPen, 5);
    fill.Draw(ctx);
}

void LTextFieldFrameStyle::AddToRgns(const LRect& r, u32 state, LRgn* redraw, LRgn* erase) const {
    if (state & 7) AddBorder(r, redraw, erase);
}

void LTextFieldFrameStyle::Draw(LDrawCtx& ctx, const LRect& r, u32 flags) const {
    if (!ctx.fNative) return;
    ctx.ApplyClip();
    ctx.fNative->DrawTextFieldFrame(r, (flags & 2) != 0, (flags & 6) == 6);
}

void CBevelDrawer::AddToRgns(const LRect& r, u32 state, LRgn* redraw, LRgn* erase) const {
    if (state & 3) AddBorder(r, redraw, erase);
}

void CBevelDrawer::Draw(LDrawCtx& ctx, const LRect& rect, u32 flags) const {
    LRect r = rect;
    r.Inset(-1, -1);
    LPenRef light, dark;
    MakePenByGray(&light, (flags & 2) ? 2 : 3);
    MakePenByGray(&dark, 4);
    LSolidFill(LRect(r.left, r.top, r.right, r.top + 1), light).Draw(ctx);
    LSolidFill(LRect(r.left, r.top + 1, r.left + 1, r.bottom - 1), light).Draw(ctx);
    LSolidFill(LRect(r.left, r.bottom - 1, r.right, r.bottom), dark).Draw(ctx);
    LSolidFill(LRect(r.right - 1, r.top + 1, r.right, r.bottom - 1), dark).Draw(ctx);
}
