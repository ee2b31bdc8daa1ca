#pragma once
// Drawing facilities beyond the window's own graphics: native bitmaps over an
// offscreen's pixel buffer, cursors and the font panel. The Qt layer (or a test
// fake) installs an implementation; without one there are no bitmaps or
// cursors and no font panel.

#include "base/LRef.h"
#include "services/FontPanel.h"
#include "services/GraphicsServices.h"

// A native drawing context over pixels that the caller owns and keeps alive.
class LNativeBitmap {
public:
    virtual ~LNativeBitmap() = default;
    // The graphics to draw with until EndGraphics.
    virtual LNativeGraphics* BeginGraphics() = 0;
    virtual void EndGraphics() = 0;
    // A new image holding a copy of the pixels as they are now (the platform's
    // drawable image); null on failure.
    virtual LRef CopyImage() = 0;
};

struct LBitmapFormat {
    u32 width = 0;
    u32 height = 0;
    u32 rowBytes = 0;
    u32 bitsPerPixel = 0;  // 32, 16, 8 or 1
    bool gray = false;
    bool alpha = false;  // 32 bits: premultiplied alpha, else the first byte unused
};

class LNativeCursor : public LRefObj {};
using LNativeCursorRef = TRef<LNativeCursor>;

class LDrawingServices {
public:
    virtual ~LDrawingServices() = default;
    // Null when the platform cannot draw into such pixels.
    virtual LNativeBitmap* MakeBitmap(u8* pixels, const LBitmapFormat& format) = 0;
    // A cursor from PNG bytes with its hot spot; null when they cannot be decoded.
    virtual LNativeCursorRef MakeCursor(const u8* png, u32 size, i32 hotX, i32 hotY) = 0;
    // A system cursor by name ("arrowCursor", "IBeamCursor", ...); null when unknown.
    virtual LNativeCursorRef SystemCursor(const char* name) = 0;
    // Makes the cursor current (null: the arrow).
    virtual void SetCursor(LNativeCursor* cursor) = 0;
    virtual i32 RunFontPanel(bool modal, LFontSpec* spec, void* owner, LFontPanelCallback callback,
                             u32 flags) = 0;
    virtual void CloseFontPanel(void* owner, LFontPanelCallback callback) = 0;
};

// Installs the platform's services (null goes back to the headless ones); the
// caller keeps ownership.
void InstallDrawingServices(LDrawingServices* services);
LDrawingServices& DrawingServices();
