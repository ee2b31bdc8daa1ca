// Colour buttons, level meters and threshold meters.
#include <gtest/gtest.h>

#include "framework/CColorBtn.h"
#include "framework/CLevelMeter.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct Box : ClipBox {
    void InvalidateRect(const LRgn& redraw, const LRgn&) override { fRedraw.push_back(redraw); }
    std::vector<LRgn> fRedraw;
};

struct Stage : ControlStage {
    Box fArea;
    void At(LPane* pane, const char* name, i32 x, i32 y) { Mouse(name, pane, x, y); }
};

TEST(LevelMeter, LitLengthClampsAndRedrawsOnlyTheDifference) {
    Stage s;
    CLevelMeter m(&s.fArea);
    m.SetBounds(LRect(0, 0, 100, 8));
    m.SetMax(255);
    EXPECT_EQ(m.LitLength(128), 50);
    const struct {
        i32 level, shown;
        LRect changed;
    } cases[] = {{300, 255, {0, 0, 100, 8}}, {128, 128, {50, 0, 100, 8}}, {-5, 0, {0, 0, 50, 8}}};
    for (const auto& c : cases) {
        s.fArea.fRedraw.clear();
        m.SetLevel(c.level);
        EXPECT_EQ(m.Level(), c.shown);
        ASSERT_EQ(s.fArea.fRedraw.size(), 1u);
        EXPECT_EQ(s.fArea.fRedraw[0], LRgn(c.changed)) << c.level;
    }
    // Taller than wide: lit from the bottom up.
    m.SetBounds(LRect(0, 0, 8, 100));
    EXPECT_EQ(m.LitRect(128), LRect(0, 50, 8, 100));
}

TEST(LevelMeter, LongScenesAndCollapsedMetersComputeSafely) {
    Stage s;
    CThresholdMeter m(&s.fArea);
    m.SetBounds(LRect(0, 0, 300, 8));
    m.SetMax(2 * 3600 * 1000);  // a 2-hour scene in ms
    EXPECT_EQ(m.LitLength(3600 * 1000), 150);
    EXPECT_EQ(m.PointAt({150, 4}), 3600 * 1000);
    m.SetBounds(LRect(5, 5, 5, 5));
    EXPECT_EQ(m.PointAt({5, 5}), 0);
}

TEST(ThresholdMeter, DragWithinOneStepReportsThePointOnly) {
    Stage s;
    CThresholdMeter m(&s.fArea);
    m.SetBounds(LRect(0, 0, 100, 8));  // maximum 10: ten pixels a step
    s.At(&m, LMouse_Click, 31, 4);
    s.At(&m, LMouse_Move, 33, 4);
    s.At(&m, LMouse_Move, 34, 4);
    s.At(&m, LMouse_Move, 36, 4);
    EXPECT_EQ(s.fArea.Take(),
              "CThresholdMeter_Threshold LPane_ReqCapture CThresholdMeter_Point "
              "CThresholdMeter_Point CThresholdMeter_Threshold");
    EXPECT_EQ(m.Point(), 4);
}

TEST(ColorBtn, PressTracksTheMouseAndSelectsOnlyInside) {
    Stage s;
    CColorBtn b(&s.fArea, 0);
    b.SetBounds(LRect(0, 0, 20, 20));
    const LRect raised = b.ContentRect();
    s.At(&b, LMouse_Click, 5, 5);
    EXPECT_TRUE(b.IsPressed());
    LRect down = raised;
    down.Offset(0, 1);
    EXPECT_EQ(b.ContentRect(), down);
    s.At(&b, LMouse_Move, 50, 5);
    EXPECT_FALSE(b.IsPressed());
    s.At(&b, LMouse_Release, 50, 5);
    EXPECT_EQ(s.fArea.Take(), "CColorBtn::rClicked LPane_ReqCapture");
    s.At(&b, LMouse_Click, 5, 5);
    s.At(&b, LMouse_Release, 6, 6);
    EXPECT_EQ(s.fArea.Take(), "CColorBtn::rClicked LPane_ReqCapture CColorBtn::rSelected");
}

TEST(ColorBtn, HalfTransparentColourDrawsADarkAndALightTriangle) {
    Stage s;
    CColorBtn b(&s.fArea, CColorBtn::kFlat);
    b.SetBounds(LRect(0, 0, 20, 20));
    const u8 rgb[3] = {100, 150, 200};
    b.SetColor(rgb);
    b.SetAlpha(0.5f);
    FakeGraphics g;
    LDrawCtx ctx(&g);
    b.Draw(ctx);
    std::vector<u32> pens;
    for (const std::string& c : g.fCalls)
        if (c.rfind("pen rgba ", 0) == 0) pens.push_back(u32(std::stoul(c.substr(9))));
    ASSERT_EQ(pens.size(), 2u);
    for (int i = 0; i < 3; ++i) {
        const u32 dark = pens[0] >> (24 - 8 * i) & 0xFF, light = pens[1] >> (24 - 8 * i) & 0xFF;
        EXPECT_LT(dark, rgb[i]);
        EXPECT_GT(light, rgb[i]);
    }
    EXPECT_EQ(g.fDepth, 0);
}

}  // namespace
