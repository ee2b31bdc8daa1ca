#include <gtest/gtest.h>

#include "framework/LDrawObj.h"
#include "framework/LFont.h"
#include "framework/LFrameStyle.h"
#include "tests/framework/FakeServices.h"

namespace {

struct Snapshot {
    i32 ox, oy, px, py;
    LRgn clip;
};

Snapshot Take(LDrawCtx& c) {
    return {c.fOriginX, c.fOriginY, c.fClipOffsetX, c.fClipOffsetY, c.fClip};
}

// The same clip once the pending offset is applied (reads in between apply it early).
void ExpectSameEffect(LDrawCtx& c, const Snapshot& s) {
    EXPECT_EQ(c.fOriginX, s.ox);
    EXPECT_EQ(c.fOriginY, s.oy);
    LRgn want = s.clip;
    want.Offset(s.px, s.py);
    EXPECT_TRUE(LRgn::Equal(c.GetClipRgn(), want));
}

}  // namespace

TEST(DrawCtx, NestedOriginAndClipScopesRestoreExactly) {
    FakeGraphics g;
    LDrawCtx ctx(&g);
    ctx.SetClipRgn(LRgn(LRect(0, 0, 100, 100)));
    Snapshot outer = Take(ctx);
    {
        LOriginScope o1(ctx, 10, 20);
        EXPECT_EQ(ctx.GetClipRgn().GetBounds(),
                  LRect(-10, -20, 90, 80));  // the clip follows the origin
        {
            LClipScope c1 = LClipScope::Make(ctx, LRgn(LRect(0, 0, 50, 50)));
            EXPECT_EQ(ctx.GetClipRgn().GetBounds(), LRect(0, 0, 50, 50));
            LOriginScope o2(ctx, 5, 5);
            LTransformScope t(o2);
            EXPECT_EQ(ctx.GetClipRgn().GetBounds(), LRect(-5, -5, 45, 45));
            {
                LOriginScope o3(ctx, 0, 0);  // no change at all
                LClipScope c2(ctx, LRgn(LRect(0, 0, 10, 10)));
                EXPECT_EQ(ctx.GetClipRgn().GetBounds(), LRect(0, 0, 10, 10));
                LOriginScope o4(ctx, -3, 7);
                EXPECT_EQ(ctx.GetClipRgn().GetBounds(), LRect(3, -7, 13, 3));
            }
            EXPECT_EQ(ctx.fOriginX, 15);
            EXPECT_EQ(ctx.GetClipRgn().GetBounds(), LRect(-5, -5, 45, 45));
        }
        EXPECT_EQ(ctx.GetClipRgn().GetBounds(), LRect(-10, -20, 90, 80));
    }
    ExpectSameEffect(ctx, outer);
    EXPECT_EQ(g.Joined(), "translate 5,5; translate -5,-5");
    EXPECT_TRUE(ctx.fChanged & LDrawCtx::kClipChanged);
    ctx.ApplyClip();
    EXPECT_EQ(g.fCalls.back(), "clip 0,0,100,100");
}

TEST(DrawCtx, DrawScopeSetsUpAndUndoesInReverse) {
    FakeGraphics g;
    LDrawCtx port(&g);
    port.SetClipRgn(LRgn(LRect(0, 0, 200, 200)));
    LPenRef frameBg, paneBg, original;
    MakePenByGray(&frameBg, 1);
    MakePenById(&paneBg, 6);
    MakePenById(&original, 3);
    port.fBackground = original;
    LDrawEnv env;
    env.fClip = LRgn(LRect(20, 30, 120, 130));
    env.fOriginX = 20;
    env.fOriginY = 30;
    env.fFrameBackground = frameBg;
    env.fBackground = paneBg;
    {
        LDrawScope scope(port, env);
        EXPECT_EQ(port.fOriginX, 20);
        EXPECT_EQ(port.GetClipRgn().GetBounds(), LRect(0, 0, 100, 100));
        EXPECT_EQ(port.fBackground.Get(), paneBg.Get());
    }
    EXPECT_EQ(port.fOriginX, 0);
    EXPECT_EQ(port.GetClipRgn().GetBounds(), LRect(0, 0, 200, 200));
    EXPECT_EQ(port.fBackground.Get(), frameBg.Get());  // the window frame's colour stays
    EXPECT_EQ(g.Joined(), "translate 20,30; translate -20,-30");
}

// A pane narrows the clip with a scope and draws: the platform gets the
// narrowed clip before the first fill (outside its saved state, where a
// restore would drop it), once, and the wider one back after the scope.
TEST(DrawObjects, ANarrowedClipReachesThePlatformBeforeTheFill) {
    FakeGraphics g;
    LDrawCtx ctx(&g);
    ctx.SetClipRgn(LRgn(LRect(0, 0, 100, 100)));
    ctx.ApplyClip();
    LPenRef pen;
    MakePenById(&pen, 4);
    g.Clear();
    {
        LClipScope clip(ctx, LRgn(LRect(10, 10, 20, 20)));
        LSolidFill(LRect(0, 0, 50, 50), pen).Draw(ctx);
        LSolidFill(LRect(0, 0, 50, 50), pen).Draw(ctx);
    }
    LSolidFill(LRect(0, 0, 50, 50), pen).Draw(ctx);
    const std::string fill = "pen id 4; save; blend normal; fill 0,0,50,50; blend normal; restore";
    EXPECT_EQ(g.Joined(),
              "clip 10,10,20,20; " + fill + "; " + fill + "; clip 0,0,100,100; " + fill);
}

TEST(DrawObjects, FillsReachThePlatform) {
    FakeGraphics g;
    LDrawCtx ctx(&g);
    LPenRef pen;
    MakePenById(&pen, 4);

    LRgnFill rf;
    rf.fPen = pen;
    rf.fDrawMode = 1;
    rf.fRegion = LRgn(LRect(0, 0, 10, 5));
    rf.fRegion.Union(LRgn(LRect(0, 5, 5, 10)));
    rf.Draw(ctx);
    EXPECT_EQ(g.Joined(),
              "pen id 4; save; blend difference; fill 0,0,10,5 0,5,5,10; blend normal; restore");

    g.Clear();
    LSolidFill sf(LRect(1, 2, 3, 4), pen);
    sf.fDrawMode = 3;
    sf.Draw(ctx);
    EXPECT_EQ(g.Joined(), "pen id 4; save; blend screen; fill 1,2,3,4; blend normal; restore");

    g.Clear();
    CDrawPattern empty;
    empty.fPen = pen;
    empty.Draw(ctx);
    LRect list[] = {{0, 0, 1, 1}, {5, 5, 6, 6}};
    CDrawPattern pat;
    pat.fPen = pen;
    pat.fDrawMode = 2;
    pat.fRects = list;
    pat.fCount = 2;
    pat.Draw(ctx);
    EXPECT_EQ(g.Joined(),
              "pen id 4; save; blend multiply; fill 0,0,1,1 5,5,6,6; blend normal; restore");

    g.Clear();
    CFillStyle outline;
    outline.fPen = pen;
    outline.fRect = LRect(0, 0, 10, 6);
    outline.fHLineWidth = 2;
    outline.Draw(ctx);
    EXPECT_EQ(g.Joined(),
              "pen id 4; save; blend normal; fill 0,0,10,1 0,1,2,5 8,1,10,5 0,5,10,6; blend "
              "normal; restore");
    EXPECT_EQ(g.fDepth, 0);

    // Without a native context nothing is drawn and nothing breaks.
    LDrawCtx none;
    rf.Draw(none);
    sf.Draw(none);
}

TEST(DrawObjects, Polylines) {
    FakeGraphics g;
    LDrawCtx ctx(&g);
    LPolyline line;
    MakePenByColorWidth(&line.fPen, 0x11223344, 2, 0.25f);
    line.AddPoint(1, 1);
    line.Draw(ctx);
    EXPECT_TRUE(g.fCalls.empty());  // one point draws nothing
    line.AddPoint(5, 1);
    line.AddPoint(5, 9);
    line.fLineWidth = 3;
    line.Draw(ctx);
    EXPECT_EQ(
        g.Joined(),
        "pen rgba 287454020; save; blend normal; width 3; move 1,1; line 5,1; line 5,9; stroke; "
        "blend normal; restore");
    g.Clear();
    line.fMode = 1;
    line.Draw(ctx);
    EXPECT_NE(g.Joined().find("fillpath"), std::string::npos);
}

TEST(FrameStyles, RegionsAndDrawing) {
    FakeGraphics g;
    LDrawCtx ctx(&g);
    LRect r(10, 10, 20, 20);

    LFocusRingStyle ring(2);
    LRgn redraw, erase;
    ring.AddToRgns(r, 3, &redraw, &erase);
    EXPECT_TRUE(redraw.IsEmpty());
    ring.AddToRgns(r, 7, &redraw, &erase);
    EXPECT_EQ(redraw.GetBounds(), LRect(8, 8, 22, 22));
    EXPECT_FALSE(redraw.ContainsPoint(10, 10));
    EXPECT_TRUE(erase.ContainsPoint(9, 15));
    ring.Draw(ctx, r, 7);
    EXPECT_EQ(g.fCalls.front(), "pen id 5");
    EXPECT_EQ(g.fCalls[3], "fill 8,8,22,10 8,10,10,20 20,10,22,20 8,20,22,22");

    g.Clear();
    LTextFieldFrameStyle field;
    EXPECT_EQ(field.GetWidth(), 4);
    LRgn fr, fe;
    field.AddToRgns(r, 0, &fr, &fe);
    EXPECT_TRUE(fr.IsEmpty());
    field.AddToRgns(r, 4, &fr, &fe);
    EXPECT_EQ(fe.GetBounds(), LRect(6, 6, 24, 24));
    field.Draw(ctx, r, 2);
    field.Draw(ctx, r, 6);
    field.Draw(ctx, r, 4);
    EXPECT_EQ(g.Joined(),
              "textframe 10,10,20,20 active; textframe 10,10,20,20 active focused; textframe "
              "10,10,20,20");

    g.Clear();
    CBevelDrawer bevel;
    LRgn br, be;
    bevel.AddToRgns(r, 4, &br, &be);
    EXPECT_TRUE(br.IsEmpty());
    bevel.AddToRgns(r, 1, &br, &be);
    EXPECT_EQ(br.GetBounds(), LRect(9, 9, 21, 21));
    // The border reaches one pixel into the pane, where frames draw their edge.
    EXPECT_TRUE(br.ContainsPoint(10, 10));
    EXPECT_TRUE(br.ContainsPoint(19, 15));
    EXPECT_FALSE(br.ContainsPoint(11, 11));
    EXPECT_FALSE(bevel.TouchesRgn(LRgn(LRect(22, 10, 30, 20)), r, 0));
    EXPECT_TRUE(bevel.TouchesRgn(LRgn(LRect(20, 10, 30, 20)), r, 0));
    // A rectangle of two pixels has no inside left.
    LRgn thin;
    bevel.GetBorderRgn(&thin, LRect(10, 10, 12, 12));
    EXPECT_TRUE(thin.ContainsPoint(11, 11));
    bevel.Draw(ctx, r, 2);
    std::string s = g.Joined();
    EXPECT_NE(s.find("pen grey 2; save; blend normal; fill 9,9,21,10"), std::string::npos) << s;
    EXPECT_NE(s.find("pen grey 2; save; blend normal; fill 9,10,10,20"), std::string::npos) << s;
    EXPECT_NE(s.find("pen grey 4; save; blend normal; fill 9,20,21,21"), std::string::npos) << s;
    EXPECT_NE(s.find("pen grey 4; save; blend normal; fill 20,10,21,20"), std::string::npos) << s;
    g.Clear();
    bevel.Draw(ctx, r, 0);
    EXPECT_EQ(g.fCalls.front(), "pen grey 3");
}

TEST(Fonts, InternedAndBuiltOnce) {
    FakeServices fake;
    LFont a(1), b(1), c(2);
    EXPECT_EQ(a.Rec(), b.Rec());
    EXPECT_NE(a.Rec(), c.Rec());
    EXPECT_TRUE(LFont::Equals(a, b));
    EXPECT_TRUE(LFont::Equals(LFont(), LFont()));
    EXPECT_FALSE(LFont::Equals(a, LFont()));

    LFont big = a;
    big.SetScalePercent(200);
    EXPECT_NE(big.Rec(), a.Rec());
    EXPECT_EQ(a.Rec()->fScalePercent, -1);
    LFont big2(1);
    big2.SetScalePercent(200);
    EXPECT_EQ(big.Rec(), big2.Rec());
    LFont styled(1);
    styled.SetStyleCode(2);
    EXPECT_FALSE(LFont::Equals(styled, a));

    LFont face1(LString("Helvetica")), face2(LString("Helvetica")), face3(LString("Courier"));
    EXPECT_EQ(face1.Rec(), face2.Rec());
    EXPECT_FALSE(LFont::Equals(face1, face3));

    int before = fake.fFontsBuilt;
    EXPECT_EQ(a.GetPointSize(), 13.0);
    EXPECT_EQ(b.GetPointSize(), 13.0);
    EXPECT_EQ(big.GetPointSize(), 26.0);
    EXPECT_EQ(face3.GetFamilyName(), "Courier");
    EXPECT_EQ(fake.fFontsBuilt, before + 3);
    LFont::FlushNativeCache();
    EXPECT_EQ(a.GetPointSize(), 13.0);
    EXPECT_EQ(fake.fFontsBuilt, before + 4);
    EXPECT_EQ(LFont().GetPointSize(), 12.0);

    EXPECT_EQ(DefaultTextStyle().fFont.Rec(), LFont(0).Rec());
    LTextStyle ts;
    int dummy = 0;
    ts.Set(&dummy, 14, a);
    EXPECT_EQ(ts.fExplicit, 1);
    ts.Set(12, a);
    EXPECT_EQ(ts.fExplicit, 0);
    EXPECT_EQ(ts.fPointer, nullptr);
}

TEST(Fonts, KeyThresholdsAreCapped) {
    FakeServices fake;
    fake.fInitialThreshold = 15;
    fake.fRepeatThreshold = 3;
    EXPECT_EQ(KeyInitialDelayMs(), 250);
    EXPECT_EQ(KeyRepeatIntervalMs(), 50);
    fake.fInitialThreshold = 120;
    fake.fRepeatThreshold = 0x7FFFFFFF;
    EXPECT_EQ(KeyInitialDelayMs(), 1000);
    EXPECT_EQ(KeyRepeatIntervalMs(), 500);
    fake.fRepeatThreshold = -5;
    EXPECT_EQ(KeyRepeatIntervalMs(), 0);
}
