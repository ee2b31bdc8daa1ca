#include "framework/LRgn.h"

#include <cstdlib>
#include <cstring>
#include <new>

LRgnObj::~LRgnObj() {
    std::free(fData);
}

namespace {

i32 Sat(i64 v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return i32(v);
}

// A growable malloc'd array that records allocation failure instead of throwing.
template <class T>
struct GrowBuf {
    T* p = nullptr;
    u32 n = 0;
    u32 cap = 0;
    bool err = false;

    GrowBuf() = default;
    GrowBuf(const GrowBuf&) = delete;
    GrowBuf& operator=(const GrowBuf&) = delete;
    ~GrowBuf() { std::free(p); }

    bool Reserve(u32 more) {
        if (err) return false;
        if (u64(n) + more <= cap) return true;
        u64 want = u64(cap) * 2 + more + 16;
        if (want > 0x3FFFFFFF) {
            err = true;
            return false;
        }
        T* q = static_cast<T*>(std::realloc(p, size_t(want) * sizeof(T)));
        if (!q) {
            err = true;
            return false;
        }
        p = q;
        cap = u32(want);
        return true;
    }
    void Push(T v) {
        if (Reserve(1)) p[n++] = v;
    }
    T* Release() {
        T* q = p;
        p = nullptr;
        n = cap = 0;
        return q;
    }
};

// Walks the bands of a region; a plain rectangle reads as one band and its closing band.
struct BandCursor {
    const i32* w = nullptr;
    u32 n = 0;
    u32 pos = 1;
    i32 plain[7] = {};
    const i32* spans = nullptr;  // current band's spans
    u32 k = 0;

    explicit BandCursor(const LRgnObj* o) {
        if (!o) return;
        if (o->fData) {
            w = o->fData;
            n = u32(w[0]);
        } else {
            const LRect& b = o->fBounds;
            i32 d[7] = {7, b.top, 1, b.left, b.right, b.bottom, 0};
            std::memcpy(plain, d, sizeof d);
            w = plain;
            n = 7;
        }
    }
    bool HasNext() const {
        if (pos + 1 >= n) return false;
        u32 kk = u32(w[pos + 1]);
        return kk <= (n - pos - 2) / 2;
    }
    i64 NextY() const { return HasNext() ? i64(w[pos]) : INT64_MAX; }
    void Advance() {
        k = u32(w[pos + 1]);
        spans = w + pos + 2;
        pos += 2 + 2 * k;
    }
};

enum class SpanOp { kAnd, kOr, kXor, kSub };

// Combines two sorted span lists; touching pieces of the result are merged.
void CombineSpans(const i32* a, u32 ka, const i32* b, u32 kb, SpanOp op, GrowBuf<i32>& out) {
    out.n = 0;
    u32 na = 2 * ka, nb = 2 * kb, i = 0, j = 0;
    bool inA = false, inB = false, inR = false;
    i32 start = 0;
    while (i < na || j < nb) {
        i64 x = INT64_MAX;
        if (i < na) x = a[i];
        if (j < nb && b[j] < x) x = b[j];
        while (i < na && a[i] == x) {
            inA = !inA;
            ++i;
        }
        while (j < nb && b[j] == x) {
            inB = !inB;
            ++j;
        }
        bool r = false;
        switch (op) {
            case SpanOp::kAnd:
                r = inA && inB;
                break;
            case SpanOp::kOr:
                r = inA || inB;
                break;
            case SpanOp::kXor:
                r = inA != inB;
                break;
            case SpanOp::kSub:
                r = inA && !inB;
                break;
        }
        if (r && !inR) {
            start = i32(x);
        } else if (!r && inR) {
            out.Push(start);
            out.Push(i32(x));
        }
        inR = r;
    }
}

// Writes normalised scan data: repeated bands are skipped, and a band that a
// later one starts at the same y (zero height, as clamping can make) is dropped.
class RgnBuilder {
public:
    RgnBuilder() { fWords.Push(0); }

    void Emit(i32 y, const i32* spans, u32 k) {
        while (fStarts.n > 0 && y <= fWords.p[fStarts.p[fStarts.n - 1]]) {
            fWords.n = fStarts.p[--fStarts.n];
        }
        const i32* prev = nullptr;
        u32 pk = 0;
        if (fStarts.n > 0) {
            u32 s = fStarts.p[fStarts.n - 1];
            pk = u32(fWords.p[s + 1]);
            prev = fWords.p + s + 2;
        }
        if (pk == k && (k == 0 || std::memcmp(prev, spans, 8 * size_t(k)) == 0)) return;
        fStarts.Push(fWords.n);
        if (!fWords.Reserve(2 + 2 * k)) return;
        fWords.p[fWords.n++] = y;
        fWords.p[fWords.n++] = i32(k);
        if (k) std::memcpy(fWords.p + fWords.n, spans, 8 * size_t(k));
        fWords.n += 2 * k;
    }

    TRef<LRgnObj> Finish() {
        TRef<LRgnObj> result;
        if (fWords.err || fStarts.err || fWords.n < 5) return result;
        i32* w = fWords.p;
        u32 n = fWords.n;
        // Every producer ends with an empty band; anything else is not a region.
        if (w[fStarts.p[fStarts.n - 1] + 1] != 0) return result;
        w[0] = i32(n);
        LRect b(INT32_MAX, w[1], INT32_MIN, w[fStarts.p[fStarts.n - 1]]);
        for (u32 i = 0; i + 1 < fStarts.n; ++i) {
            u32 s = fStarts.p[i];
            u32 k = u32(w[s + 1]);
            if (!k) continue;
            if (w[s + 2] < b.left) b.left = w[s + 2];
            if (w[s + 1 + 2 * k] > b.right) b.right = w[s + 1 + 2 * k];
        }
        if (n == 7) {
            result.Reset(new (std::nothrow) LRgnObj(b, nullptr));
            return result;
        }
        LRgnObj* o = new (std::nothrow) LRgnObj(b, w);
        if (o) fWords.Release();
        result.Reset(o);
        return result;
    }

private:
    GrowBuf<i32> fWords;
    GrowBuf<u32> fStarts;
};

TRef<LRgnObj> MakeRectObj(const LRect& r) {
    TRef<LRgnObj> o;
    if (!r.IsEmpty()) o.Reset(new (std::nothrow) LRgnObj(r, nullptr));
    return o;
}

// Union of many rectangles, pairwise so that the work stays n log n merges.
LRgn UnionRects(const LRect* rects, u32 n) {
    if (n == 0) return LRgn();
    if (n == 1) return LRgn(rects[0]);
    LRgn a = UnionRects(rects, n / 2);
    LRgn b = UnionRects(rects + n / 2, n - n / 2);
    a.Union(b);
    return a;
}

}  // namespace

void LRgn::SetRect(const LRect& r) {
    fObj = MakeRectObj(r);
}

LRect LRgn::GetBounds() const {
    return fObj ? fObj->fBounds : LRect();
}

bool LRgn::ContainsPoint(LPoint pt) const {
    if (!fObj || !fObj->fBounds.Contains(pt)) return false;
    if (!fObj->fData) return true;
    BandCursor c(fObj.Get());
    bool any = false;
    while (c.HasNext() && c.NextY() <= pt.y) {
        c.Advance();
        any = true;
    }
    if (!any) return false;
    for (u32 i = 0; i < c.k; ++i) {
        if (c.spans[2 * i] <= pt.x && pt.x < c.spans[2 * i + 1]) return true;
    }
    return false;
}

bool LRgn::IntersectsRect(const LRect& r) const {
    if (!fObj || r.IsEmpty()) return false;
    const LRect& b = fObj->fBounds;
    if (b.left >= r.right || r.left >= b.right || b.top >= r.bottom || r.top >= b.bottom)
        return false;
    if (!fObj->fData) return true;
    BandCursor c(fObj.Get());
    while (c.HasNext()) {
        i64 y = c.NextY();
        if (y >= r.bottom) break;
        c.Advance();
        i64 nextY = c.HasNext() ? c.NextY() : y;
        if (nextY > r.top) {
            for (u32 i = 0; i < c.k; ++i) {
                if (c.spans[2 * i] < r.right && r.left < c.spans[2 * i + 1]) return true;
            }
        }
    }
    return false;
}

bool LRgn::Equal(const LRgn& a, const LRgn& b) {
    const LRgnObj* x = a.fObj.Get();
    const LRgnObj* y = b.fObj.Get();
    if (x == y) return true;
    if (!x || !y) return false;
    if (!x->fData && !y->fData) return x->fBounds == y->fBounds;
    if (!x->fData || !y->fData) return false;
    if (x->fData[0] != y->fData[0]) return false;
    return std::memcmp(x->fData, y->fData, 4 * size_t(x->fData[0])) == 0;
}

void LRgn::Merge(const LRgn& other, Op op) {
    SpanOp sop = op == Op::kIntersect ? SpanOp::kAnd
                 : op == Op::kUnion   ? SpanOp::kOr
                 : op == Op::kXor     ? SpanOp::kXor
                                      : SpanOp::kSub;
    BandCursor a(fObj.Get()), b(other.fObj.Get());
    RgnBuilder out;
    GrowBuf<i32> spans;
    for (;;) {
        i64 ya = a.NextY(), yb = b.NextY();
        if (ya == INT64_MAX && yb == INT64_MAX) break;
        i64 y = ya < yb ? ya : yb;
        if (ya == y) a.Advance();
        if (yb == y) b.Advance();
        CombineSpans(a.spans, a.k, b.spans, b.k, sop, spans);
        if (spans.err) {
            fObj.Reset();
            return;
        }
        out.Emit(i32(y), spans.p, spans.n / 2);
    }
    fObj = out.Finish();
}

void LRgn::Intersect(const LRgn& other) {
    if (!fObj) return;
    if (!other.fObj) {
        fObj.Reset();
        return;
    }
    LRect ib = fObj->fBounds;
    ib.Intersect(other.fObj->fBounds);
    if (ib.IsEmpty()) {
        fObj.Reset();
        return;
    }
    if (!fObj->fData && !other.fObj->fData) {
        if (fObj->RefCount() == 1)
            fObj->fBounds = ib;
        else
            fObj = MakeRectObj(ib);
        return;
    }
    Merge(other, Op::kIntersect);
}

void LRgn::Union(const LRgn& other) {
    if (!other.fObj) return;
    if (!fObj) {
        fObj = other.fObj;
        return;
    }
    Merge(other, Op::kUnion);
}

void LRgn::Xor(const LRgn& other) {
    if (!other.fObj) return;
    if (!fObj) {
        fObj = other.fObj;
        return;
    }
    if (Equal(*this, other)) {
        fObj.Reset();
        return;
    }
    Merge(other, Op::kXor);
}

void LRgn::Subtract(const LRgn& other) {
    if (!fObj || !other.fObj) return;
    Merge(other, Op::kSubtract);
}

void LRgn::Offset(i32 dx, i32 dy) {
    if (!fObj || (dx == 0 && dy == 0)) return;
    if (!fObj->fData) {
        LRect r = fObj->fBounds;
        r.Offset(dx, dy);  // saturates
        if (r.IsEmpty())
            fObj.Reset();
        else if (fObj->RefCount() == 1)
            fObj->fBounds = r;
        else
            fObj = MakeRectObj(r);
        return;
    }
    // Every coordinate saturates; bands squeezed to zero height vanish and the
    // closing band is always kept, so the result stays a well-formed region.
    BandCursor c(fObj.Get());
    RgnBuilder out;
    GrowBuf<i32> spans;
    while (c.HasNext()) {
        i32 y = Sat(i64(c.NextY()) + dy);
        c.Advance();
        spans.n = 0;
        for (u32 i = 0; i < c.k; ++i) {
            i32 x1 = Sat(i64(c.spans[2 * i]) + dx), x2 = Sat(i64(c.spans[2 * i + 1]) + dx);
            if (x1 >= x2) continue;
            if (spans.n > 0 && spans.p[spans.n - 1] >= x1) {
                if (x2 > spans.p[spans.n - 1]) spans.p[spans.n - 1] = x2;
                continue;
            }
            spans.Push(x1);
            spans.Push(x2);
        }
        if (spans.err) {
            fObj.Reset();
            return;
        }
        out.Emit(y, spans.p, spans.n / 2);
    }
    fObj = out.Finish();
}

void LRgn::Erode(i32 sx, i32 sy) {
    if (!fObj) return;
    if (!fObj->fData) {
        LRect r = fObj->fBounds;
        r.Inset(sx, sy);
        SetRect(r);
        return;
    }
    // A pixel stays when no outside pixel lies within (sx, sy) of it: remove
    // the outside, grown by the amounts, from the region.
    LRect around = fObj->fBounds;
    around.Inset(-sx, -sy);
    LRgn outside(around);
    outside.Subtract(*this);
    if (outside.IsEmpty()) return;
    LRgn grown;
    LArray rects(sizeof(LRect));
    outside.GetRects(rects);
    LRect* rs = rects.DataAs<LRect>();
    for (u32 i = 0; i < rects.Count(); ++i) rs[i].Inset(-sx, -sy);
    grown = UnionRects(rs, rects.Count());
    Subtract(grown);
}

void LRgn::Inset(i32 dx, i32 dy) {
    if (!fObj) return;
    if (dx > 0 || dy > 0) Erode(dx > 0 ? dx : 0, dy > 0 ? dy : 0);
    if (fObj && (dx < 0 || dy < 0)) {
        LArray rects(sizeof(LRect));
        GetRects(rects);
        LRect* rs = rects.DataAs<LRect>();
        for (u32 i = 0; i < rects.Count(); ++i) rs[i].Inset(dx < 0 ? dx : 0, dy < 0 ? dy : 0);
        LRgn grown = UnionRects(rs, rects.Count());
        Union(grown);
    }
}

void LRgn::GetRects(LArray& out) const {
    if (!fObj) return;
    if (!fObj->fData) {
        out.InsertAt(out.Count(), &fObj->fBounds);
        return;
    }
    BandCursor c(fObj.Get());
    while (c.HasNext()) {
        i32 y = i32(c.NextY());
        c.Advance();
        if (!c.k || !c.HasNext()) continue;
        i32 bottom = i32(c.NextY());
        for (u32 i = 0; i < c.k; ++i) {
            LRect r(c.spans[2 * i], y, c.spans[2 * i + 1], bottom);
            out.InsertAt(out.Count(), &r);
        }
    }
}

void LRgn::GetCGRects(LArray& out) const {
    out.RemoveAt(0, out.Count());
    LArray rects(sizeof(LRect));
    GetRects(rects);
    const LRect* rs = rects.DataAs<LRect>();
    for (u32 i = 0; i < rects.Count(); ++i) {
        CGRect g;
        RectToCGRect(&g, rs[i]);
        out.InsertAt(out.Count(), &g);
    }
}

void LRgn::MapRect(const LRect& from, const LRect& to) {
    if (!fObj) return;
    if (from.SameSize(to)) {
        Offset(Sat(i64(to.left) - from.left), Sat(i64(to.top) - from.top));
        return;
    }
    // Mapped straight from the source rectangle, so that a source away from
    // the origin lands where an equal-sized one would.
    LArray rects(sizeof(LRect));
    GetRects(rects);
    LRect* rs = rects.DataAs<LRect>();
    for (u32 i = 0; i < rects.Count(); ++i) rs[i].Map(from, to);
    *this = UnionRects(rs, rects.Count());
}

bool LRgn::IsSingleCell() const {
    return fObj && i64(fObj->fBounds.right) - fObj->fBounds.left == 1 &&
           i64(fObj->fBounds.bottom) - fObj->fBounds.top == 1;
}
