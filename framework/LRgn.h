#pragma once
// Integer regions: immutable shared sets of pixels kept as sorted bands of
// spans. Equal sets have identical data, so they compare word for word.

#include "base/LArray.h"
#include "base/LRect.h"
#include "base/LRef.h"

// A region object is never empty. Scan data (malloc'd i32 words):
//   word 0: word count; then bands {y, k, x1, x2, ...} in increasing y, the
//   last one with k = 0 closing the region. Null data: the region is its bounds.
class LRgnObj final : public LRefObj {
public:
    LRgnObj(const LRect& bounds, i32* data) : fBounds(bounds), fData(data) {}
    ~LRgnObj() override;

    LRect fBounds;
    i32* fData;
};

class LRgn {
public:
    LRgn() = default;
    explicit LRgn(const LRect& r) { SetRect(r); }

    bool IsEmpty() const { return !fObj; }
    void SetEmpty() { fObj.Reset(); }
    void SetRect(const LRect& r);
    LRect GetBounds() const;
    bool ContainsPoint(LPoint pt) const;
    bool ContainsPoint(i32 x, i32 y) const { return ContainsPoint(LPoint{x, y}); }
    bool IntersectsRect(const LRect& r) const;
    static bool Equal(const LRgn& a, const LRgn& b);
    bool operator==(const LRgn& o) const { return Equal(*this, o); }

    void Intersect(const LRgn& other);
    void Union(const LRgn& other);
    void Xor(const LRgn& other);
    void Subtract(const LRgn& other);
    void Offset(i32 dx, i32 dy);
    // Positive amounts remove every pixel closer than the amount to the outside;
    // negative amounts grow the region by that much.
    void Inset(i32 dx, i32 dy);
    // Appends the rectangles (LRect records) bands top to bottom, spans left to right.
    void GetRects(LArray& out) const;
    // The same as CGRect records.
    void GetCGRects(LArray& out) const;
    void MapRect(const LRect& from, const LRect& to);
    bool IsSingleCell() const;

    // Scan data, null for the empty region and plain rectangles.
    const i32* Data() const { return fObj ? fObj->fData : nullptr; }
    const LRgnObj* Object() const { return fObj.Get(); }

private:
    enum class Op { kIntersect, kUnion, kXor, kSubtract };
    void Merge(const LRgn& other, Op op);
    void Erode(i32 sx, i32 sy);

    TRef<LRgnObj> fObj;
};
