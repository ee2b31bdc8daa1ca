#include "framework/LThemeFrame.h"

void LThemeFrame::AddBorderRgn(const LFrameStyle& style, const LRect& r, u32 state, LRgn* a,
                               LRgn* b) {
    if (!(state & 7)) return;
    LRgn ring;
    style.GetBorderRgn(&ring, r);
    if (a) a->Union(ring);
    if (b) b->Union(ring);
}

void LThemeFrame::Draw(const LFrameStyle&, LDrawCtx& ctx, const LRect* r, u32 state) {
    LNativeGraphics* g = ctx.fNative;
    if (!g || !r) return;
    g->SaveState();
    ctx.ApplyClip();
    g->DrawListFrame(*r, (state & 2) != 0, (state & 6) == 6);
    g->RestoreState();
}
