#include <gtest/gtest.h>

#include "base/Clock.h"
#include "base/LRect.h"

TEST(Rect, ContainmentIsHalfOpen) {
    LRect r(0, 0, 10, 10);
    EXPECT_FALSE(r.Contains(10, 10));
    EXPECT_FALSE(r.Contains(10, 5));
    EXPECT_FALSE(r.Contains(5, 10));
    EXPECT_TRUE(r.Contains(9, 9));
    EXPECT_TRUE(r.Contains(0, 0));
    EXPECT_FALSE(LRect(5, 5, 5, 9).Contains(5, 5));
}

TEST(Rect, IntersectionsAndUnions) {
    EXPECT_FALSE(LRect(0, 0, 10, 10).Intersects(LRect(10, 0, 20, 10)));
    EXPECT_TRUE(LRect(0, 0, 10, 10).Intersects(LRect(9, 9, 20, 20)));

    LRect a(0, 0, 10, 10);
    EXPECT_EQ(a.Intersect(LRect(20, 20, 30, 30)), LRect(0, 0, 0, 0));
    LRect b(0, 0, 10, 10);
    EXPECT_EQ(b.Intersect(LRect(5, -5, 20, 7)), LRect(5, 0, 10, 7));
    // Touching rectangles intersect in nothing, which is all zeros.
    LRect c(0, 0, 10, 10);
    EXPECT_EQ(c.Intersect(LRect(10, 0, 20, 10)), LRect());

    LRect e(7, 7, 7, 20);
    e.Union(LRect(1, 2, 3, 4));
    EXPECT_EQ(e, LRect(1, 2, 3, 4));
    LRect f(0, 0, 5, 5);
    f.Union(LRect(100, 100, 50, 200));
    EXPECT_EQ(f, LRect(0, 0, 5, 5));
    f.Union(LRect(-3, 2, 4, 9));
    EXPECT_EQ(f, LRect(-3, 0, 5, 9));
}

TEST(Rect, OffsetInsetNormalizeSameSize) {
    LRect r(1, 2, 3, 4);
    r.Offset(10, -2);
    EXPECT_EQ(r, LRect(11, 0, 13, 2));
    r.Inset(-1, -2);
    EXPECT_EQ(r, LRect(10, -2, 14, 4));
    LRect n(10, 20, 0, 5);
    n.Normalize();
    EXPECT_EQ(n, LRect(0, 5, 10, 20));
    EXPECT_TRUE(LRect(0, 0, 4, 5).SameSize(LRect(10, 10, 14, 15)));
    EXPECT_FALSE(LRect(0, 0, 4, 5).SameSize(LRect(10, 10, 14, 16)));
    // Edges saturate instead of wrapping.
    LRect big(0, 0, INT32_MAX, 10);
    big.Offset(10, 0);
    EXPECT_EQ(big.right, INT32_MAX);
    EXPECT_EQ(big.left, 10);
}

TEST(Rect, FitCenterMap) {
    LRect r(0, 0, 200, 100);
    r.FitInto(LRect(0, 0, 100, 100));
    EXPECT_EQ(r, LRect(0, 25, 100, 75));
    LRect t(0, 0, 100, 300);
    t.FitInto(LRect(0, 0, 100, 100));
    EXPECT_EQ(t, LRect(33, 0, 67, 100));
    // A zero-sized source takes the full width and no height, centred.
    LRect z(0, 0, 0, 0);
    z.FitInto(LRect(0, 0, 100, 50));
    EXPECT_EQ(z, LRect(0, 25, 100, 25));

    LRect c(0, 0, 3, 3);
    c.CenterIn(LRect(0, 0, 10, 10));
    EXPECT_EQ(c, LRect(3, 3, 6, 6));
    LRect neg(0, 0, 4, 4);
    neg.CenterIn(LRect(-11, -11, -4, -4));  // truncates toward zero
    EXPECT_EQ(neg, LRect(-9, -9, -5, -5));

    LRect m(5, 5, 10, 10);
    m.Map(LRect(0, 0, 10, 10), LRect(0, 0, 100, 50));
    EXPECT_EQ(m, LRect(50, 25, 100, 50));
    LRect m2(3, 3, 7, 7);
    m2.Map(LRect(0, 0, 0, 10), LRect(20, 30, 120, 130));
    EXPECT_EQ(m2, LRect(20, 60, 20, 100));
    LRect m3(1, 1, 2, 2);
    m3.Map(LRect(0, 0, 3, 3), LRect(0, 0, 10, 10));  // 3.33 -> 3, 6.67 -> 7
    EXPECT_EQ(m3, LRect(3, 3, 7, 7));
}

TEST(Rect, CGRectConversions) {
    CGRect g;
    RectToCGRect(&g, LRect(-1, 2, 9, 12));
    EXPECT_EQ(g.x, -1);
    EXPECT_EQ(g.y, 2);
    EXPECT_EQ(g.width, 10);
    EXPECT_EQ(g.height, 10);
    LRect r = CGRectToRect(CGRect{0.5, 0.5, 1.2, 0});
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 2);
    LRect huge = CGRectToRect(CGRect{-1e12, 0, 3e12, 5});
    EXPECT_EQ(huge, LRect(INT32_MIN, 0, INT32_MAX, 5));
}

TEST(Rect, SwapBytes) {
    EXPECT_EQ(SwapBytes32(0x11223344u), 0x44332211u);
    EXPECT_EQ(SwapBytes32(FourCC("YKVT")), FourCC("TVKY"));
    EXPECT_EQ(SwapBytes32(SwapBytes32(0xDEADBEEFu)), 0xDEADBEEFu);
}

TEST(Rect, PollPacing) {
    u32 stamp = 0;
    PollDelayStamp(&stamp);
    EXPECT_EQ(PollDelayNext(&stamp, 400), 2000u);
    EXPECT_EQ(PollDelayNext(&stamp, 100), 500u);
    EXPECT_EQ(PollDelayNext(&stamp, 1), 100u);
    u32 now = PollDelayRestamp(&stamp);
    EXPECT_EQ(now, stamp);
    stamp = LTickMs() - 2000;
    EXPECT_EQ(PollDelayNext(&stamp, 400), 2000u);
    EXPECT_EQ(PollDelayNext(&stamp, 100), 1000u);
    EXPECT_EQ(PollDelayNext(&stamp, 1), 1000u);
    // Huge counts do not wrap to a short delay.
    EXPECT_EQ(PollDelayNext(&stamp, 0xFFFFFFFFu), 0xFFFFFFFFu);
}
