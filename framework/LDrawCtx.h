#pragma once
// The drawing context panes draw through, and the scopes that shift its
// origin, narrow its clip or change its background and always put them back.

#include "framework/LRgn.h"
#include "services/GraphicsServices.h"

class LDrawCtx {
public:
    enum : u8 { kOriginChanged = 1, kClipChanged = 2, kBackgroundChanged = 4 };

    explicit LDrawCtx(LNativeGraphics* native = nullptr) : fNative(native) {}
    virtual ~LDrawCtx() = default;
    LDrawCtx(const LDrawCtx&) = delete;
    LDrawCtx& operator=(const LDrawCtx&) = delete;

    // Applies the pending offset and answers the clip in current coordinates.
    LRgn& GetClipRgn();
    void SetClipRgn(const LRgn& clip);
    // Hands a changed clip to the native context.
    void ApplyClip();

    LNativeGraphics* fNative;
    LRgn fClip;
    LPenRef fBackground;
    // Origin changes leave the clip alone and gather here until the clip is read.
    i32 fClipOffsetX = 0;
    i32 fClipOffsetY = 0;
    i32 fOriginX = 0;
    i32 fOriginY = 0;
    u16 fFlags = 256;
    u8 fChanged = 0;
};

// Sets the native blend mode for a drawing mode: 1 difference, 2 multiply,
// 3 screen, anything else normal.
LBlendMode BlendModeFromDrawMode(u32 drawMode);
void SetBlendModeFromDrawMode(LDrawCtx* ctx, const u32* drawMode);

class LOriginScope {
public:
    LOriginScope(LDrawCtx& ctx, i32 dx, i32 dy);
    ~LOriginScope() { Restore(); }
    LOriginScope(const LOriginScope&) = delete;
    LOriginScope& operator=(const LOriginScope&) = delete;
    void Restore();

    LDrawCtx& fCtx;
    i32 fOldX;
    i32 fOldY;
};

// Translates the native context along with an origin scope.
class LTransformScope {
public:
    explicit LTransformScope(LOriginScope& origin);
    ~LTransformScope();
    LTransformScope(const LTransformScope&) = delete;
    LTransformScope& operator=(const LTransformScope&) = delete;

private:
    LOriginScope& fOrigin;
    i32 fDx;
    i32 fDy;
};

class LClipScope {
public:
    // Narrows the clip to region (given in current coordinates).
    LClipScope(LDrawCtx& ctx, const LRgn& region);
    static LClipScope Make(LDrawCtx& ctx, const LRgn& region) { return LClipScope(ctx, region); }
    ~LClipScope();
    LClipScope(LClipScope&& o) noexcept;
    LClipScope(const LClipScope&) = delete;
    LClipScope& operator=(const LClipScope&) = delete;

private:
    LDrawCtx* fCtx;
    LRgn fKept;
};

class LBackgroundScope {
public:
    explicit LBackgroundScope(LDrawCtx& ctx) : fCtx(ctx), fKept(ctx.fBackground) {}
    LBackgroundScope(LDrawCtx& ctx, const LPenRef& background);
    ~LBackgroundScope();
    LBackgroundScope(const LBackgroundScope&) = delete;
    LBackgroundScope& operator=(const LBackgroundScope&) = delete;

private:
    LDrawCtx& fCtx;
    LPenRef fKept;
};

// What a pane needs to draw: its window, clip and origin in the window's
// content, and the background colours around it.
struct LDrawEnv {
    void* fWindow = nullptr;
    LRgn fClip;
    i32 fOriginX = 0;
    i32 fOriginY = 0;
    LPenRef fFrameBackground;  // the window frame's background
    LPenRef fBackground;       // the nearest enclosing background
};

// Sets a port up for drawing in an environment: clip, origin and native
// transform, backgrounds. Undone in reverse order.
class LDrawScope {
public:
    LDrawScope(LDrawCtx& port, const LDrawEnv& env);
    ~LDrawScope() = default;
    LDrawScope(const LDrawScope&) = delete;
    LDrawScope& operator=(const LDrawScope&) = delete;

    LDrawCtx& Ctx() { return fPort; }

private:
    static LDrawCtx& SetFrameBackground(LDrawCtx& port, const LDrawEnv& env);

    LDrawCtx& fPort;
    LClipScope fClip;
    LOriginScope fOrigin;
    LTransformScope fTransform;
    LBackgroundScope fBackground;
};
