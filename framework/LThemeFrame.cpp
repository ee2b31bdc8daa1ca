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
    // Applied outside the saved state: inside it the restore would drop the
    // clip that the context then takes for applied.
    ctx.ApplyClip();
    g->SaveState();
    g->DrawListFrame(*r, (state & 2) != 0, (state & 6) == 6);
    g->RestoreState();
}
