#include "base/LRect.h"

#include <algorithm>
#include <cmath>

#include "base/Clock.h"

namespace {

// Edges are i32; sums and products are taken in 64 bits and brought back so
// that extreme rectangles cannot overflow.
i32 ClampI32(i64 v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return i32(v);
}

}  // namespace

void LRect::Offset(i32 dx, i32 dy) {
    left = ClampI32(i64(left) + dx);
    right = ClampI32(i64(right) + dx);
    top = ClampI32(i64(top) + dy);
    bottom = ClampI32(i64(bottom) + dy);
}

void LRect::Inset(i32 dx, i32 dy) {
    left = ClampI32(i64(left) + dx);
    right = ClampI32(i64(right) - dx);
    top = ClampI32(i64(top) + dy);
    bottom = ClampI32(i64(bottom) - dy);
}

bool LRect::Contains(LPoint pt) const {
    return left <= pt.x && pt.x < right && top <= pt.y && pt.y < bottom;
}

bool LRect::SameSize(const LRect& o) const {
    return i64(right) - left == i64(o.right) - o.left && i64(bottom) - top == i64(o.bottom) - o.top;
}

bool LRect::Intersects(const LRect& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
}

void LRect::Normalize() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
}

void LRect::Union(const LRect& o) {
    if (o.IsEmpty()) return;
    if (IsEmpty()) {
        *this = o;
        return;
    }
    left = std::min(left, o.left);
    top = std::min(top, o.top);
    right = std::max(right, o.right);
    bottom = std::max(bottom, o.bottom);
}

LRect& LRect::Intersect(const LRect& o) {
    left = std::max(left, o.left);
    top = std::max(top, o.top);
    right = std::min(right, o.right);
    bottom = std::min(bottom, o.bottom);
    if (IsEmpty()) *this = LRect();
    return *this;
}

void LRect::CenterIn(const LRect& b) {
    i64 dx = ((i64(b.left) + b.right) - (i64(left) + right)) / 2;
    i64 dy = ((i64(b.top) + b.bottom) - (i64(top) + bottom)) / 2;
    Offset(ClampI32(dx), ClampI32(dy));
}

void LRect::FitInto(const LRect& b) {
    i64 w = i64(b.right) - b.left, h = i64(b.bottom) - b.top;
    i64 rw = i64(right) - left, rh = i64(bottom) - top;
    i64 hForW = rw > 0 ? (rh * w + rw - 1) / rw : 0;
    i64 wForH = rh > 0 ? (rw * h + rh - 1) / rh : 0;
    if (h < hForW) {
        right = ClampI32(left + wForH);
        bottom = ClampI32(top + h);
    } else {
        right = ClampI32(left + w);
        bottom = ClampI32(top + hForW);
    }
    CenterIn(b);
}

namespace {

i32 MapCoord(i32 v, i32 fromOrg, i64 fromSize, i32 toOrg, i64 toSize) {
    if (fromSize == 0) return toOrg;
    i64 num = (i64(v) - fromOrg) * toSize + fromSize / 2;
    return ClampI32(toOrg + num / fromSize);
}

}  // namespace

void LRect::Map(const LRect& from, const LRect& to) {
    i64 fw = i64(from.right) - from.left, fh = i64(from.bottom) - from.top;
    i64 tw = i64(to.right) - to.left, th = i64(to.bottom) - to.top;
    left = MapCoord(left, from.left, fw, to.left, tw);
    right = MapCoord(right, from.left, fw, to.left, tw);
    top = MapCoord(top, from.top, fh, to.top, th);
    bottom = MapCoord(bottom, from.top, fh, to.top, th);
}

void RectToCGRect(CGRect* out, const LRect& r) {
    out->x = r.left;
    out->y = r.top;
    out->width = f64(r.right) - f64(r.left);
    out->height = f64(r.bottom) - f64(r.top);
}

LRect CGRectToRect(const CGRect& r) {
    // Outwards to whole numbers first, as the platform's integral rectangle does.
    f64 x0 = std::floor(r.x), y0 = std::floor(r.y);
    f64 x1 = std::ceil(r.x + r.width), y1 = std::ceil(r.y + r.height);
    if (std::isnan(x0) || std::isnan(y0) || std::isnan(x1) || std::isnan(y1)) return LRect();
    auto clampD = [](f64 v) -> i32 {
        if (v < -2147483648.0) return INT32_MIN;
        if (v > 2147483647.0) return INT32_MAX;
        return i32(v);
    };
    return LRect(clampD(x0), clampD(y0), clampD(x1), clampD(y1));
}

void PollDelayStamp(u32* stamp) {
    *stamp = LTickMs();
}

u32 PollDelayRestamp(u32* stamp) {
    *stamp = LTickMs();
    return *stamp;
}

u32 PollDelayNext(const u32* stamp, u32 n) {
    u64 perItem = u64(n) * 1000 / 200;
    u32 floor = (LTickMs() - *stamp) < 1000 ? 100 : 1000;
    u64 v = std::max<u64>(perItem, floor);
    return v > UINT32_MAX ? UINT32_MAX : u32(v);
}

u32 SwapBytes32(u32 v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
