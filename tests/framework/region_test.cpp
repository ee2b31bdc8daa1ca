#include <gtest/gtest.h>

#include <bitset>
#include <random>
#include <vector>

#include "framework/LRgn.h"

namespace {

// The region must be well formed: word count, increasing bands, sorted
// non-adjacent spans, no repeated band, an empty band last, matching bounds.
void ExpectWellFormed(const LRgn& r) {
    if (r.IsEmpty()) return;
    LRect b = r.GetBounds();
    ASSERT_FALSE(b.IsEmpty());
    const i32* d = r.Data();
    if (!d) return;
    i32 n = d[0];
    ASSERT_GT(n, 7);
    i32 pos = 1;
    i64 lastY = INT64_MIN;
    std::vector<i32> prev;
    i32 left = INT32_MAX, right = INT32_MIN;
    i32 lastK = -1;
    while (pos < n) {
        ASSERT_LE(pos + 2, n);
        i32 y = d[pos], k = d[pos + 1];
        ASSERT_GT(i64(y), lastY);
        ASSERT_GE(k, 0);
        ASSERT_LE(pos + 2 + 2 * k, n);
        std::vector<i32> spans(d + pos + 2, d + pos + 2 + 2 * k);
        for (i32 i = 0; i < 2 * k; i += 2) {
            ASSERT_LT(spans[i], spans[i + 1]);
            if (i > 0) {
                ASSERT_LT(spans[i - 1], spans[i]);
            }
        }
        ASSERT_NE(spans, prev);
        if (k) {
            left = std::min(left, spans.front());
            right = std::max(right, spans.back());
        }
        if (lastY == INT64_MIN) {
            EXPECT_EQ(y, b.top);
        }
        lastK = k;
        prev = spans;
        lastY = y;
        pos += 2 + 2 * k;
    }
    EXPECT_EQ(lastK, 0) << "not closed";
    EXPECT_EQ(lastY, b.bottom);
    EXPECT_EQ(left, b.left);
    EXPECT_EQ(right, b.right);
}

constexpr int kSize = 64;
using Bits = std::bitset<kSize * kSize>;

Bits ToBits(const LRgn& r) {
    Bits b;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (r.ContainsPoint(x, y)) b.set(size_t(y * kSize + x));
    return b;
}

// Pixels of the model region also checked through the rectangle list.
Bits RectsToBits(const LRgn& r) {
    Bits b;
    LArray rects(sizeof(LRect));
    r.GetRects(rects);
    for (u32 i = 0; i < rects.Count(); ++i) {
        LRect q = rects.DataAs<LRect>()[i];
        for (int y = std::max(q.top, 0); y < std::min(q.bottom, kSize); ++y)
            for (int x = std::max(q.left, 0); x < std::min(q.right, kSize); ++x)
                b.set(size_t(y * kSize + x));
    }
    return b;
}

bool At(const Bits& b, int x, int y) {
    return x >= 0 && y >= 0 && x < kSize && y < kSize && b.test(size_t(y * kSize + x));
}

Bits Shift(const Bits& b, int dx, int dy) {
    Bits out;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (At(b, x - dx, y - dy)) out.set(size_t(y * kSize + x));
    return out;
}

Bits Erode(const Bits& b, int sx, int sy) {
    Bits out;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            bool keep = true;
            for (int j = -sy; j <= sy && keep; ++j)
                for (int i = -sx; i <= sx && keep; ++i) keep = At(b, x + i, y + j);
            if (keep) out.set(size_t(y * kSize + x));
        }
    return out;
}

Bits Dilate(const Bits& b, int gx, int gy) {
    Bits out;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            bool any = false;
            for (int j = -gy; j <= gy && !any; ++j)
                for (int i = -gx; i <= gx && !any; ++i) any = At(b, x + i, y + j);
            if (any) out.set(size_t(y * kSize + x));
        }
    return out;
}

struct Model {
    LRgn rgn;
    Bits bits;
};

Model RandomRegion(std::mt19937& rng, int minRects = 1) {
    std::uniform_int_distribution<int> count(minRects, 5), coord(2, 47), len(1, 16);
    Model m;
    int n = count(rng);
    for (int i = 0; i < n; ++i) {
        LRect r(coord(rng), coord(rng), 0, 0);
        r.right = r.left + len(rng);
        r.bottom = r.top + len(rng);
        m.rgn.Union(LRgn(r));
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) m.bits.set(size_t(y * kSize + x));
    }
    return m;
}

}  // namespace

TEST(Region, OffsetsSaturateAndStayWellFormed) {
    LRgn r(LRect(0, 0, 10, 10));
    r.Offset(2147483647, 0);
    EXPECT_TRUE(r.IsEmpty());

    LRgn l(LRect(0, 0, 10, 5));
    l.Union(LRgn(LRect(0, 5, 5, 10)));
    LRgn down = l;
    down.Offset(0, 2147483647 - 7);  // the second band and the closing band squeeze together
    ExpectWellFormed(down);
    EXPECT_EQ(down.GetBounds(), LRect(0, 2147483640, 10, 2147483647));
    EXPECT_TRUE(down.ContainsPoint(9, 2147483644));
    EXPECT_TRUE(down.ContainsPoint(4, 2147483646));
    EXPECT_FALSE(down.ContainsPoint(7, 2147483646));

    LRgn far = l;
    far.Offset(0, 2147483647);
    EXPECT_TRUE(far.IsEmpty());
    LRgn up = l;
    up.Offset(-5, INT32_MIN);
    ExpectWellFormed(up);
    EXPECT_EQ(up.GetBounds(), LRect(-5, INT32_MIN, 5, INT32_MIN + 10));
    LRgn upPart = l;
    upPart.Offset(0, -7);
    upPart.Offset(0, INT32_MIN + 2);  // the wide rows are pushed past the top
    EXPECT_EQ(upPart.Data(), nullptr);
    EXPECT_EQ(upPart.GetBounds(), LRect(0, INT32_MIN, 5, INT32_MIN + 5));

    LRgn right = l;
    right.Offset(2147483647 - 7, 0);  // the wide band is cut at the edge
    ExpectWellFormed(right);
    EXPECT_EQ(right.GetBounds().right, 2147483647);
    // Every later operation reads it safely.
    LRgn u = right;
    u.Union(down);
    ExpectWellFormed(u);
    u.Inset(1, 1);
    ExpectWellFormed(u);
}

TEST(Region, MapRect) {
    LRgn r(LRect(2, 2, 4, 4));
    r.MapRect(LRect(0, 0, 10, 10), LRect(100, 100, 110, 110));
    EXPECT_EQ(r.GetBounds(), LRect(102, 102, 104, 104));
    LRgn s(LRect(12, 12, 14, 14));
    s.MapRect(LRect(10, 10, 20, 20), LRect(0, 0, 40, 40));
    EXPECT_EQ(s.GetBounds(), LRect(8, 8, 16, 16));
}

TEST(Region, AgreesWithBitmapModel) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> op(0, 5), d(-6, 6), amount(1, 3), neg(-3, -1);
    for (int iter = 0; iter < 400; ++iter) {
        Model a = RandomRegion(rng);
        Model b = RandomRegion(rng);
        ExpectWellFormed(a.rgn);
        ASSERT_TRUE(ToBits(a.rgn) == a.bits) << "iteration " << iter;
        LRgn r = a.rgn;
        Bits want;
        int which = op(rng);
        switch (which) {
            case 0:
                r.Union(b.rgn);
                want = a.bits | b.bits;
                break;
            case 1:
                r.Intersect(b.rgn);
                want = a.bits & b.bits;
                break;
            case 2:
                r.Subtract(b.rgn);
                want = a.bits & ~b.bits;
                break;
            case 3:
                r.Xor(b.rgn);
                want = a.bits ^ b.bits;
                break;
            case 4: {
                int dx = d(rng), dy = d(rng);
                r.Offset(dx, dy);
                want = Shift(a.bits, dx, dy);
                break;
            }
            default: {
                int sx = amount(rng) - 1, sy = amount(rng);
                if (iter % 2) std::swap(sx, sy);
                if (iter % 3 == 0) {
                    int gx = neg(rng), gy = neg(rng);
                    r.Inset(gx, gy);
                    want = Dilate(a.bits, -gx, -gy);
                } else {
                    r.Inset(sx, sy);
                    want = Erode(a.bits, sx, sy);
                }
                break;
            }
        }
        ExpectWellFormed(r);
        ASSERT_TRUE(ToBits(r) == want) << "iteration " << iter << " op " << which;
        ASSERT_TRUE(RectsToBits(r) == want) << "iteration " << iter << " op " << which;
        // Normalised: any other region with the same pixels has the same words.
        LRgn rebuilt;
        LArray rects(sizeof(LRect));
        r.GetRects(rects);
        for (u32 i = rects.Count(); i-- > 0;) rebuilt.Union(LRgn(rects.DataAs<LRect>()[i]));
        ASSERT_TRUE(LRgn::Equal(rebuilt, r)) << "iteration " << iter;
        // Hit tests agree with the pixels.
        LRect probe(d(rng) + 30, d(rng) + 30, 0, 0);
        probe.right = probe.left + amount(rng) * 4;
        probe.bottom = probe.top + amount(rng) * 4;
        bool hit = false;
        for (int y = probe.top; y < probe.bottom; ++y)
            for (int x = probe.left; x < probe.right; ++x) hit = hit || At(want, x, y);
        ASSERT_EQ(r.IntersectsRect(probe), hit) << "iteration " << iter;
    }
}
