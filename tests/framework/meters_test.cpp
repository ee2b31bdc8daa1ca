// Colour buttons, level meters and threshold meters.
#include <gtest/gtest.h>

#include "framework/CColorBtn.h"
#include "framework/CLevelMeter.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct Stage : ControlStage {
    struct Box : ClipBox {
        void InvalidateRect(const LRgn& redraw, const LRgn&) override { fRedraw.push_back(redraw); }
        std::vector<LRgn> fRedraw;
    } fArea;
};

TEST(LevelMeter, LevelsClampRedrawOnlyTheDifferenceAndComputeIn64Bits) {
    Stage s;
    CThresholdMeter m(&s.fArea);
    m.SetBounds(LRect(0, 0, 100, 8));
    m.SetMax(255);
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
    m.SetBounds(LRect(0, 0, 8, 100));  // taller than wide: lit from the bottom up
    EXPECT_EQ(m.LitRect(128), LRect(0, 50, 8, 100));
    m.SetBounds(LRect(0, 0, 600, 8));  // pixels x level pass 32 bits
    m.SetMax(2 * 3600 * 1000);         // a 2-hour scene in ms
    EXPECT_EQ(m.LitLength(2 * 3600 * 1000), 600);
    EXPECT_EQ(m.PointAt({600, 4}), 2 * 3600 * 1000);
    m.SetBounds(LRect(5, 5, 5, 5));  // collapsed
    EXPECT_EQ(m.PointAt({5, 5}), 0);
}

TEST(ThresholdMeter, DragWithinOneStepReportsThePointOnly) {
    Stage s;
    CThresholdMeter m(&s.fArea);
    m.SetBounds(LRect(0, 0, 100, 8));  // maximum 10: ten pixels a step
    s.Mouse(LMouse_Click, &m, 31, 4);
    for (i32 x : {33, 34, 36}) s.Mouse(LMouse_Move, &m, x, 4);
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
    s.Mouse(LMouse_Click, &b, 5, 5);
    EXPECT_EQ(b.ContentRect(), LRect(raised.left, raised.top + 1, raised.right, raised.bottom + 1));
    s.Mouse(LMouse_Move, &b, 50, 5);
    EXPECT_FALSE(b.IsPressed());
    s.Mouse(LMouse_Release, &b, 50, 5);
    EXPECT_EQ(s.fArea.Take(), "CColorBtn::rClicked LPane_ReqCapture");
    s.Mouse(LMouse_Click, &b, 5, 5);
    s.Mouse(LMouse_Release, &b, 6, 6);
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
    std::vector<u32> pens;  // the two triangles' colours, 0xRRGGBBAA
    for (const std::string& c : g.fCalls)
        if (c.rfind("pen rgba ", 0) == 0) pens.push_back(u32(std::stoul(c.substr(9))));
    ASSERT_EQ(pens.size(), 2u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_LT(pens[0] >> (24 - 8 * i) & 0xFF, rgb[i]);
        EXPECT_GT(pens[1] >> (24 - 8 * i) & 0xFF, rgb[i]);
    }
}

}  // namespace
