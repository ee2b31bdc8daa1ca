#include "framework/LDrawCtx.h"

LRgn& LDrawCtx::GetClipRgn() {
    if (fClipOffsetX || fClipOffsetY) {
        fClip.Offset(fClipOffsetX, fClipOffsetY);
        fClipOffsetX = fClipOffsetY = 0;
    }
    return fClip;
}

void LDrawCtx::SetClipRgn(const LRgn& clip) {
    fClip = clip;
    fClipOffsetX = fClipOffsetY = 0;
    fChanged |= kClipChanged;
}

void LDrawCtx::ApplyClip() {
    if (!(fChanged & kClipChanged)) return;
    fChanged &= u8(~kClipChanged);
    if (!fNative) return;
    LArray rects(sizeof(LRect), 64);
    GetClipRgn().GetRects(rects);
    fNative->SetClipRects(rects.DataAs<LRect>(), rects.Count());
}

LBlendMode BlendModeFromDrawMode(u32 drawMode) {
    switch (drawMode) {
        case 1:
            return LBlendMode::kDifference;
        case 2:
            return LBlendMode::kMultiply;
        case 3:
            return LBlendMode::kScreen;
        default:
            return LBlendMode::kNormal;
    }
}

void SetBlendModeFromDrawMode(LDrawCtx* ctx, const u32* drawMode) {
    if (ctx && ctx->fNative) ctx->fNative->SetBlendMode(BlendModeFromDrawMode(*drawMode));
}

LOriginScope::LOriginScope(LDrawCtx& ctx, i32 dx, i32 dy)
    : fCtx(ctx), fOldX(ctx.fOriginX), fOldY(ctx.fOriginY) {
    if (dx == 0 && dy == 0) return;
    ctx.fOriginX += dx;
    ctx.fOriginY += dy;
    ctx.fClipOffsetX -= dx;
    ctx.fClipOffsetY -= dy;
    ctx.fChanged |= LDrawCtx::kOriginChanged | LDrawCtx::kClipChanged;
}

void LOriginScope::Restore() {
    if (fCtx.fOriginX == fOldX && fCtx.fOriginY == fOldY) return;
    fCtx.fClipOffsetX += fCtx.fOriginX - fOldX;
    fCtx.fClipOffsetY += fCtx.fOriginY - fOldY;
    fCtx.fOriginX = fOldX;
    fCtx.fOriginY = fOldY;
    fCtx.fChanged |= LDrawCtx::kOriginChanged | LDrawCtx::kClipChanged;
}

LTransformScope::LTransformScope(LOriginScope& origin)
    : fOrigin(origin),
      fDx(origin.fCtx.fOriginX - origin.fOldX),
      fDy(origin.fCtx.fOriginY - origin.fOldY) {
    if (origin.fCtx.fNative && (fDx || fDy)) origin.fCtx.fNative->Translate(fDx, fDy);
}

LTransformScope::~LTransformScope() {
    if (fOrigin.fCtx.fNative && (fDx || fDy)) fOrigin.fCtx.fNative->Translate(-fDx, -fDy);
    fOrigin.Restore();
}

LClipScope::LClipScope(LDrawCtx& ctx, const LRgn& region) : fCtx(&ctx), fKept(ctx.GetClipRgn()) {
    ctx.fClip.Intersect(region);
    ctx.fChanged |= LDrawCtx::kClipChanged;
}

LClipScope::LClipScope(LClipScope&& o) noexcept : fCtx(o.fCtx), fKept(o.fKept) {
    o.fCtx = nullptr;
}

LClipScope::~LClipScope() {
    if (!fCtx) return;
    fCtx->fClip = fKept;
    fCtx->fClipOffsetX = fCtx->fClipOffsetY = 0;
    fCtx->fChanged |= LDrawCtx::kClipChanged;
}

LBackgroundScope::LBackgroundScope(LDrawCtx& ctx, const LPenRef& background)
    : LBackgroundScope(ctx) {
    ctx.fBackground = background;
    ctx.fChanged |= LDrawCtx::kBackgroundChanged;
}

LBackgroundScope::~LBackgroundScope() {
    fCtx.fBackground = fKept;
    fCtx.fChanged |= LDrawCtx::kBackgroundChanged;
}

LDrawCtx& LDrawScope::SetFrameBackground(LDrawCtx& port, const LDrawEnv& env) {
    port.fBackground = env.fFrameBackground;
    port.fChanged |= LDrawCtx::kBackgroundChanged;
    return port;
}

LDrawScope::LDrawScope(LDrawCtx& port, const LDrawEnv& env)
    : fPort(port),
      fClip(port, env.fClip),
      fOrigin(port, env.fOriginX, env.fOriginY),
      fTransform(fOrigin),
      fBackground(SetFrameBackground(port, env), env.fBackground) {}
