#pragma once
// The list-box frame the theme draws around list panes.

#include "framework/LFrameStyle.h"

class LThemeFrame {
public:
    // Unites the style's border ring of r into both regions, only while one of
    // state bits 0-2 is set.
    static void AddBorderRgn(const LFrameStyle& style, const LRect& r, u32 state, LRgn* a, LRgn* b);
    // Active with state bit 1, focused with bits 1 and 2.
    static void Draw(const LFrameStyle& style, LDrawCtx& ctx, const LRect* r, u32 state);
};
