// Native-control panes over the fake controls: enabling, placement through a
// clip container, and the protocols of scroll bars, pop-ups, check boxes,
// radio rings, state buttons and sliders.
#include <gtest/gtest.h>

#include "framework/LStdCtl.h"
#include "tests/framework/ControlPanes.h"

namespace {

using K = LControlKind;

TEST(Controls, EnabledExactlyWhenEnabledActiveAndUndimmed) {
    ControlStage s;
    LStdButton b(&s.fBox);
    const u32 ops[] = {3, 2, 7, 12, 6, 13, 14, 2, 15, 3, 6, 2};
    for (u32 op : ops) {
        b.SetState(op);
        EXPECT_EQ(b.Native()->IsEnabled(), (b.State() & 0x3A) == 0x0A) << "after op " << op;
    }
}

TEST(Controls, PartlyVisibleControlUsesClipContainerUntilWhollyIn) {
    ControlStage s;
    LStdButton b(&s.fBox);
    auto* n = static_cast<FakeControl*>(b.Native());
    b.SetBounds(LRect(380, 10, 420, 30));
    EXPECT_TRUE(n->fClipped);
    EXPECT_EQ(n->fVisible, LRect(380, 10, 400, 30));
    b.SetBounds(LRect(300, 10, 340, 30));
    EXPECT_FALSE(n->fClipped);
    EXPECT_EQ(n->fFrame, LRect(300, 10, 340, 30));
    b.SetBounds(LRect(500, 10, 540, 30));
    EXPECT_FALSE(n->fInHost);
}

TEST(Controls, EmptyScrollRangeIsDisabledAndStill) {
    ControlStage s;
    LScrollBar bar(&s.fBox, 1, 1);
    auto* n = static_cast<FakeControl*>(bar.Native());
    bar.SetRange(5, 10, 10, 1);
    bar.SetState(LPane::kOpContainerInactive);
    bar.SetState(LPane::kOpContainerActive);
    EXPECT_FALSE(n->IsEnabled());
    EXPECT_EQ(bar.GetValue(), 10);
    n->Hit(kScrollPartDown, 0);
    EXPECT_EQ(s.fBox.Take(), "LScrollBar_Dw");
    bar.SetRange(0, 0, 10, 3);
    EXPECT_TRUE(n->IsEnabled());
    n->Hit(kScrollPartPageDown, 0);
    EXPECT_EQ(s.fBox.Take(), "LScrollBar_PgDw LScrollBar_Change");
    EXPECT_EQ(bar.GetValue(), 3);
}

TEST(Controls, PopupSelectionAndInsertionStayInRange) {
    ControlStage s;
    LPopupList empty(&s.fBox);
    EXPECT_EQ(empty.Select(5), 0);
    EXPECT_EQ(static_cast<FakeControl*>(empty.Native())->Joined().find("select"),
              std::string::npos);

    LPopupList list(&s.fBox);
    auto* n = static_cast<FakeControl*>(list.Native());
    list.AddItem("b");
    list.InsertItem("c", 99);
    list.InsertItem("a", -5);
    EXPECT_EQ(n->fItems, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list.Select(10), 2);
    EXPECT_EQ(n->fSelected, 2);
    n->Choose(1);
    EXPECT_EQ(s.fBox.Take(), "LStdCtl_Selected LPopupList_Changed");
    n->Choose(1);
    EXPECT_EQ(s.fBox.Take(), "LStdCtl_Selected");
}

TEST(Controls, CheckBoxFlipsOnlyWhenTheClickComesBackUnhandled) {
    ControlStage s;
    LStdCheck box(&s.fBox);
    auto* n = static_cast<FakeControl*>(box.Native());
    n->Click();
    EXPECT_EQ(s.fBox.Take(), "LStdCtl_Selected LStdCheck_Change");
    EXPECT_EQ(box.GetState(), 1);
    s.fBox.fTake = {LStdCtl_Selected};
    n->Click();
    EXPECT_EQ(s.fBox.Take(), "LStdCtl_Selected");
    EXPECT_EQ(box.GetState(), 1);
}

TEST(Controls, RadioRingKeepsOneOnAndSurvivesDeathAndBreaks) {
    ControlStage s;
    CRadioBtn a(&s.fBox), c(&s.fBox);
    auto* b = new CRadioBtn(&s.fBox);
    a.SetNext(b);
    b->SetNext(&c);
    c.SetNext(&a);
    a.SelectIndex(0);
    b->Native()->SetState(1);
    static_cast<FakeControl*>(a.Native())->Click();
    EXPECT_EQ(s.fBox.Take(), "LStdCtl_Selected LStdCheck_Change");
    EXPECT_EQ(a.GetState() + b->GetState() * 2 + c.GetState() * 4, 1);
    EXPECT_EQ(c.SelectedIndex(), 1);

    delete b;
    EXPECT_EQ(a.Next(), &c);
    EXPECT_EQ(c.Next(), &a);

    // A ring that loops back past its start: walks still end.
    CRadioBtn d(&s.fBox);
    a.SetNext(&c);
    c.SetNext(&d);
    d.SetNext(&c);
    a.SelectIndex(2);
    EXPECT_EQ(a.SelectedIndex(), 2);
    a.SetNext(nullptr);
    c.SetNext(nullptr);
    d.SetNext(nullptr);
}

TEST(Controls, StateButtonPushesWhileThePointerIsInside) {
    ControlStage s;
    s.fServices.fNow = 1000;  // the button's own click stamp is not the mouse's
    CStateButton b(&s.fBox);
    b.SetBounds(LRect(10, 10, 50, 30));
    s.Click(&b, 20, 20);
    EXPECT_EQ(s.fBox.Take(), "CStateButton_Push LPane_ReqCapture");
    const struct {
        const char* msg;
        i32 x;
        const char* log;
    } steps[] = {{LMouse_Move, 60, "CStateButton_Unpush"},
                 {LMouse_Move, 20, "CStateButton_Push"},
                 {LMouse_Move, 70, "CStateButton_Unpush"},
                 {LMouse_Release, 70, ""}};
    for (const auto& st : steps) {
        s.Mouse(st.msg, &b, st.x, 20);
        EXPECT_EQ(s.fBox.Take(), st.log) << st.msg << " at " << st.x;
    }
}

TEST(Controls, SliderKnobClickWithoutMoveChangesNothing) {
    ControlStage s;
    CSlider sl(&s.fBox);
    sl.SetBounds(LRect(0, 0, 100, 20));
    auto* n = static_cast<FakeControl*>(sl.Native());
    sl.SetValue(40);
    s.Click(&sl, 40, 10);
    n->Slide(41, 1);
    EXPECT_EQ(s.fBox.Take(), "CSlider_Click");
    EXPECT_EQ(sl.GetValue(), 40);
    s.Click(&sl, 40, 10);
    n->Slide(60, 20);
    EXPECT_EQ(s.fBox.Take(), "CSlider_Click CSlider_Change");
}

}  // namespace
