#pragma once
// Integer rectangles (half-open: the right and bottom edges are outside) and a
// few small utilities that live beside them.

#include "base/Types.h"

struct LPoint {
    i32 x = 0;
    i32 y = 0;
    bool operator==(const LPoint&) const = default;
};

// The platform's floating-point rectangle, kept as a plain struct so that the
// conversions below do not need the graphics library.
struct CGRect {
    f64 x = 0;
    f64 y = 0;
    f64 width = 0;
    f64 height = 0;
};

struct LRect {
    i32 left = 0;
    i32 top = 0;
    i32 right = 0;
    i32 bottom = 0;

    constexpr LRect() = default;
    constexpr LRect(i32 l, i32 t, i32 r, i32 b) : left(l), top(t), right(r), bottom(b) {}

    bool operator==(const LRect&) const = default;

    i32 Width() const { return right - left; }
    i32 Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }

    void Offset(i32 dx, i32 dy);
    void Inset(i32 dx, i32 dy);
    bool Contains(LPoint pt) const;
    bool Contains(i32 x, i32 y) const { return Contains(LPoint{x, y}); }
    bool SameSize(const LRect& other) const;
    bool Intersects(const LRect& other) const;
    void Normalize();
    void Union(const LRect& other);
    LRect& Intersect(const LRect& other);
    void CenterIn(const LRect& bounds);
    void FitInto(const LRect& bounds);
    void Map(const LRect& from, const LRect& to);
};

void RectToCGRect(CGRect* out, const LRect& r);
LRect CGRectToRect(const CGRect& r);

// Pacing of periodic list refreshes.
void PollDelayStamp(u32* stamp);
u32 PollDelayRestamp(u32* stamp);
u32 PollDelayNext(const u32* stamp, u32 n);

u32 SwapBytes32(u32 v);
