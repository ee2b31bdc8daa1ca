// Labels, text slots, pictures, openers and swipe panes.
#include <gtest/gtest.h>

#include "base/Resources.h"
#include "framework/CHeaderFrame.h"
#include "framework/CPicturePane.h"
#include "framework/LEmbeddedPane.h"
#include "framework/LTextPane.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct Stage : ControlStage {
    Stage() {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
    }
    void Run(u32 ms) {
        fServices.Advance(ms);
        LTimer::FireDue(fServices.fNow, nullptr, nullptr, true);
    }
};

TEST(TextPane, WrappedHeightForAWidthOneLineInModeZero) {
    Stage s;
    LTextPane wrap(&s.fBox, 2), one(&s.fBox, 0);
    wrap.SetText("aaa bbb ccc ddd");  // 7 pixels a byte, lines 13 high
    one.SetText("aaa\nbbb");
    EXPECT_EQ(wrap.GetPrefHeight(nullptr, 100), 26);
    EXPECT_EQ(wrap.GetPrefHeight(nullptr, 200), 13);
    EXPECT_EQ(one.GetPrefHeight(nullptr, 100), 13);
    EXPECT_EQ(one.GetPrefHeight(nullptr, 0), 13);
}

TEST(TextSlot, BackspaceAndClicksByOptions) {
    const struct {
        u8 options;
        const char* backspace;
        const char* click;
        bool focused;
    } cases[] = {
        {0, "LKeyboard_Char", "CTextSlot_Click", false},
        {CTextSlot::kClearable, "CTextSlot_Changed", "CTextSlot_Click LPane_ReqFocus LPane_Focus",
         true},
        {CTextSlot::kEditable, "CTextSlot_Changed", "CTextSlot_Click LPane_ReqFocus LPane_Focus",
         true},
    };
    for (const auto& c : cases) {
        Stage s;
        CTextSlot slot(&s.fBox, c.options);
        slot.SetBounds(LRect(10, 10, 110, 30));
        slot.SetText("scene");
        s.fKeys.fChar = 8;
        LHandler::Send(LKeyboard_Char, &s.fKeys, &slot);
        EXPECT_EQ(s.fBox.Take(), c.backspace) << int(c.options);
        EXPECT_EQ(slot.GetText().IsEmpty(), c.options != 0);
        s.Click(&slot, 20, 20);
        EXPECT_EQ(s.fBox.Take(), c.click) << int(c.options);
        EXPECT_EQ((slot.State() & LPane::kFocused) != 0, c.focused);
    }
}

// The text colour a pane draws with: 0 for the plain one.
template <class Pane>
struct Peek : Pane {
    using Pane::Pane;
    u32 PenId() const { return this->fColor ? this->fColor->fId : 0; }
};

TEST(TextSlot, FocusedSlotsAndSelectedHeaderItemsUseTheSelectedTextColour) {
    Stage s;
    Peek<CTextSlot> slot(&s.fBox, CTextSlot::kEditable);
    Peek<CRespText> item(&s.fBox, 0, 1);
    const struct {
        bool on;
        u32 pen;
    } cases[] = {{true, kPenSelectedText}, {false, 0}, {true, kPenSelectedText}};
    for (const auto& c : cases) {
        slot.SetState(c.on ? LPane::kOpFocus : LPane::kOpUnfocus);
        item.SetSelected(c.on, LPenRef());
        EXPECT_EQ(slot.PenId(), c.pen) << c.on;
        EXPECT_EQ(item.PenId(), c.pen) << c.on;
    }
}

TEST(Opener, SharedImagesLiveWithTheLastOpener) {
    Stage s;
    auto* a = new COpener(&s.fBox);
    COpener* b = new COpener(&s.fBox);
    EXPECT_EQ(s.fControls.fImagesMade, 7);
    EXPECT_EQ(a->GetPrefWidth(nullptr, 0), 13);
    delete a;
    EXPECT_NE(COpener::SharedImage(COpener::kMoving), nullptr);
    delete b;
    EXPECT_EQ(COpener::SharedImage(COpener::kMoving), nullptr);
    COpener c(&s.fBox);
    EXPECT_EQ(s.fControls.fImagesMade, 14);
}

TEST(Opener, ReleaseInsideTogglesThroughTheMovingImage) {
    Stage s;
    COpener o(&s.fBox);
    o.SetBounds(LRect(0, 0, 13, 13));
    s.Click(&o, 5, 5);
    EXPECT_EQ(o.Image().Get(), COpener::SharedImage(COpener::kClosedHlt));
    s.Mouse(LMouse_Release, &o, 50, 5);
    EXPECT_FALSE(o.IsOpen());
    s.fBox.Take();
    s.Click(&o, 5, 5);
    s.Mouse(LMouse_Release, &o, 5, 5);
    EXPECT_EQ(s.fBox.Take(), "LPane_ReqCapture COpener_Selected COpener_Change");
    EXPECT_TRUE(o.IsOpen());
    EXPECT_EQ(o.Image().Get(), COpener::SharedImage(COpener::kMoving));
    s.Run(249);
    EXPECT_EQ(o.Image().Get(), COpener::SharedImage(COpener::kMoving));
    s.Run(1);
    EXPECT_EQ(o.Image().Get(), COpener::SharedImage(COpener::kOpened));
}

struct Swipe : Stage {
    // Sums the coasting steps until the pane comes to rest.
    void Coast(CSwipePane& p, i32* distance, u32* duration) {
        *distance = 0;
        const u32 start = fServices.fNow;
        while (p.Phase() == CSwipePane::kCoasting && fServices.fNow - start < 10000) {
            Run(33);
            *distance += p.StepX();
        }
        *duration = fServices.fNow - start;
    }
};

TEST(SwipePane, FlingCoastsAndARestedDragDoesNot) {
    Swipe s;
    CSwipePane p(&s.fBox);
    s.Click(&p, 0, 0);
    s.fServices.Advance(10);
    s.Mouse(LMouse_Move, &p, 10, 0);  // 1 pixel per ms
    s.Mouse(LMouse_Release, &p, 10, 0);
    i32 distance;
    u32 duration;
    s.Coast(p, &distance, &duration);
    EXPECT_NEAR(duration, 2000, 33);
    EXPECT_NEAR(distance, 1000, 20);

    s.Click(&p, 0, 0);
    s.fServices.Advance(10);
    s.Mouse(LMouse_Move, &p, 10, 0);
    s.Run(60);
    s.Mouse(LMouse_Release, &p, 10, 0);
    s.fBox.Take();
    s.Run(33);
    EXPECT_EQ(s.fBox.Take(), "CSwipePane_Swipe");
    EXPECT_EQ(p.StepX(), 0);
    EXPECT_EQ(p.Phase(), CSwipePane::kIdle);
}

TEST(EmbeddedPane, FollowsItsNativeView) {
    Stage s;
    {
        LEmbeddedPane pane(nullptr, &s);
        pane.SetBounds(LRect(0, 0, 120, 40));
        EXPECT_EQ(s.fControls.fEmbeddedW + s.fControls.fEmbeddedH, 160);
        EXPECT_FALSE(pane.IsShown() && (pane.State() & LPane::kContainerActive));
        s.fControls.fEmbedded->EmbeddedInWindow();
        EXPECT_TRUE(pane.IsShown() && (pane.State() & LPane::kContainerActive));
    }
    EXPECT_EQ(s.fControls.fEmbedded, nullptr);
}

}  // namespace
