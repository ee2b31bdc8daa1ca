#pragma once
// Reusable drawing objects: region, rectangle and rectangle-list fills,
// outlines and polylines. Each applies its pen, saves the native state, sets
// the blend mode of its draw mode, draws, and puts everything back.

#include "base/LArray.h"
#include "framework/LDrawCtx.h"

class LDrawObj {
public:
    virtual ~LDrawObj() = default;
    virtual void Draw(LDrawCtx& ctx) = 0;

    LPenRef fPen;
    u32 fDrawMode = 0;

protected:
    // Runs paint between the common set-up and tear-down; nothing without a native context.
    template <class F>
    void Paint(LDrawCtx& ctx, F paint) const;
};

class LRgnFill : public LDrawObj {
public:
    void Draw(LDrawCtx& ctx) override;
    LRgn fRegion;
};

class LSolidFill : public LDrawObj {
public:
    LSolidFill() = default;
    LSolidFill(const LRect& r, const LPenRef& pen) : fRect(r) { fPen = pen; }
    void Draw(LDrawCtx& ctx) override;
    LRect fRect;
};

class CDrawPattern : public LDrawObj {
public:
    void Draw(LDrawCtx& ctx) override;
    const LRect* fRects = nullptr;
    u32 fCount = 0;
};

// Fills the outline of its rectangle: the rectangle minus the rectangle inset
// by the two line widths.
class CFillStyle : public LDrawObj {
public:
    void Draw(LDrawCtx& ctx) override;
    u32 fHLineWidth = 1;
    u32 fVLineWidth = 1;
    LRect fRect;
};

class LPolyline : public LDrawObj {
public:
    LPolyline() : fPoints(sizeof(LPoint)) {}
    bool AddPoint(i32 x, i32 y);
    void Draw(LDrawCtx& ctx) override;

    u32 fLineWidth = 1;
    u32 fMode = 0;  // 1 fill, else stroke
    LArray fPoints;
};

// Fills a list of rectangles with one native call.
void FillRectList(LNativeGraphics* native, const LRect* rects, u32 count);
