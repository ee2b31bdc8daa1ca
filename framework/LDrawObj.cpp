#include "framework/LDrawObj.h"

template <class F>
void LDrawObj::Paint(LDrawCtx& ctx, F paint) const {
    LNativeGraphics* g = ctx.fNative;
    if (!g) return;
    // A pane narrows the clip with a scope and draws: the native context
    // learns of the narrowed clip here, outside the saved state, else a pane
    // would paint over its neighbours wherever it reaches past its bounds.
    ctx.ApplyClip();
    if (fPen) g->ApplyPen(*fPen);
    g->SaveState();
    g->SetBlendMode(BlendModeFromDrawMode(fDrawMode));
    paint(g);
    g->SetBlendMode(LBlendMode::kNormal);
    g->RestoreState();
}

void FillRectList(LNativeGraphics* native, const LRect* rects, u32 count) {
    LArray cg(sizeof(CGRect), 64);
    for (u32 i = 0; i < count; ++i) {
        CGRect g;
        RectToCGRect(&g, rects[i]);
        if (!cg.InsertAt(cg.Count(), &g)) return;
    }
    native->FillRects(cg.DataAs<CGRect>(), cg.Count());
}

void LRgnFill::Draw(LDrawCtx& ctx) {
    if (fRegion.IsEmpty()) return;
    Paint(ctx, [this](LNativeGraphics* g) {
        LArray cg(sizeof(CGRect), 64);
        fRegion.GetCGRects(cg);
        g->FillRects(cg.DataAs<CGRect>(), cg.Count());
    });
}

void LSolidFill::Draw(LDrawCtx& ctx) {
    Paint(ctx, [this](LNativeGraphics* g) {
        CGRect r;
        RectToCGRect(&r, fRect);
        g->FillRects(&r, 1);
    });
}

void CDrawPattern::Draw(LDrawCtx& ctx) {
    if (!fRects || fCount == 0) return;
    Paint(ctx, [this](LNativeGraphics* g) { FillRectList(g, fRects, fCount); });
}

void CFillStyle::Draw(LDrawCtx& ctx) {
    LRect inner = fRect;
    inner.Inset(i32(fHLineWidth), i32(fVLineWidth));
    LRgn outline(fRect);
    outline.Subtract(LRgn(inner));
    if (outline.IsEmpty()) return;
    Paint(ctx, [&outline](LNativeGraphics* g) {
        LArray cg(sizeof(CGRect), 64);
        outline.GetCGRects(cg);
        g->FillRects(cg.DataAs<CGRect>(), cg.Count());
    });
}

bool LPolyline::AddPoint(i32 x, i32 y) {
    LPoint p{x, y};
    return fPoints.InsertAt(fPoints.Count(), &p);
}

void LPolyline::Draw(LDrawCtx& ctx) {
    if (fPoints.Count() < 2) return;
    Paint(ctx, [this](LNativeGraphics* g) {
        const LPoint* pts = fPoints.DataAs<LPoint>();
        g->SetLineWidth(f64(fLineWidth));
        g->MoveTo(pts[0].x, pts[0].y);
        for (u32 i = 1; i < fPoints.Count(); ++i) g->LineTo(pts[i].x, pts[i].y);
        if (fMode == 1)
            g->FillPath();
        else
            g->StrokePath();
    });
}
