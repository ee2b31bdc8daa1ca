#pragma once
// The drawing context of one window: over the painter of a running paint, or
// over a shared 1 x 1 image outside one (to measure and lay out). It also turns
// screen points into the window content's local points and back.

#include "framework/LDrawCtx.h"

class LWindow;

class LWindowPort : public LDrawCtx {
public:
    // graphics: the paint's, with the clip of the region being painted (in
    // content coordinates); null outside a paint: the clip is the whole content.
    LWindowPort(LWindow* window, LNativeGraphics* graphics, const LRgn* paintRegion);

    // The low byte of the flags becomes 1: the frame's background is in force.
    void SetReadyFlag() { fFlags = u16((fFlags & 0xFF00) | 1); }

    LPoint ScreenToLocal(LPoint screen) const;
    LPoint LocalToScreen(LPoint local) const;

    LWindow* fWindow;
    bool fOwnsDrawRect;
};
