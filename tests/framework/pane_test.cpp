// Panes: the state operations and what each reports, focus hand-over, the
// focus ring, hit tests and the regions invalidated in the container.
#include <gtest/gtest.h>

#include "FakeServices.h"
#include "TestPanes.h"

namespace {

using Ops = std::vector<u32>;

LRgn Rect(i32 l, i32 t, i32 r, i32 b) {
    return LRgn(LRect(l, t, r, b));
}

// A container with one child that is shown and active.
struct Shown {
    TestContainer box;
    TestPane* pane;
    Shown() {
        pane = new TestPane(&box, &box);
        pane->SetState(LPane::kOpContainerShown);
        pane->SetState(LPane::kOpContainerActive);
        pane->SetBounds(LRect(10, 10, 50, 30));
        pane->fOps.clear();
        box.fRedraw.clear();
        box.fErase.clear();
    }
};

TEST(Pane, EveryBitOperationTwiceReportsOnce) {
    TestContainer box;
    for (u32 op = 0; op <= 22; ++op) {
        if (op == 8 || op == 9) continue;
        TestPane* p = new TestPane(&box, &box);
        // Start from the opposite value, so that the first application changes the word.
        const u32 opposite[] = {1,  0,  3,  2,  5,  4,  7,  6,  0,  0,  11, 10,
                                13, 12, 15, 14, 17, 16, 19, 18, 18, 22, 21};
        p->SetState(opposite[op]);
        p->fOps.clear();
        p->SetState(op);
        const size_t once = p->fOps.size();
        EXPECT_GE(once, 1u) << "op " << op;
        p->SetState(op);
        EXPECT_EQ(p->fOps.size(), once) << "op " << op << " reported again";
    }
    for (u32 op : {8u, 9u, 23u, 40u}) {
        TestPane* p = new TestPane(&box, &box);
        p->SetState(op);
        p->SetState(op);
        EXPECT_EQ(p->fOps, (Ops{op, op}));
        EXPECT_EQ(p->State(), 3u);
    }
}

TEST(Pane, DestroyingAFocusedPaneUnfocusesAndLeavesTheContainer) {
    TestContainer box;
    TestPane* p = new TestPane(&box, &box);
    p->SetState(LPane::kOpContainerShown);
    p->SetState(LPane::kOpContainerActive);
    box.fFocus.Set(p);
    p->SetState(LPane::kOpFocus);
    box.fMessages.clear();
    EXPECT_EQ(box.fChildren.Head(), p);
    delete p;
    EXPECT_EQ(box.fMessages, (std::vector<std::string>{LPane_Unfocus}));
    EXPECT_TRUE(box.fChildren.IsEmpty());
    EXPECT_EQ(box.fFocus.Get(), nullptr);
}

TEST(Pane, FocusRingIsPaintedWithTheFocusPen) {
    FakeServices services;
    FakeGraphics g;
    LDrawCtx ctx(&g);
    Shown s;
    s.pane->DrawFocusRing(ctx);
    EXPECT_TRUE(g.fCalls.empty()) << "no ring shown";
    s.pane->SetState(LPane::kOpWindowKey);
    s.pane->SetState(LPane::kOpTabStopRingInside);
    s.pane->SetState(LPane::kOpFocus);
    s.pane->DrawFocusRing(ctx);
    const std::string calls = g.Joined();
    EXPECT_NE(calls.find("pen id 5"), std::string::npos) << calls;
    EXPECT_NE(calls.find("fill"), std::string::npos) << calls;
    EXPECT_EQ(g.fDepth, 0);
}

TEST(Pane, MovingAPaneWithItsRingInvalidatesBothRings) {
    Shown s;
    s.pane->SetState(LPane::kOpWindowKey);
    s.pane->SetState(LPane::kOpTabStopRingOutside);
    s.pane->SetState(LPane::kOpFocus);
    s.box.fRedraw.clear();
    s.box.fErase.clear();
    s.pane->SetBounds(LRect(100, 10, 140, 30));
    LRgn want = Rect(7, 7, 53, 33);
    want.Union(Rect(97, 7, 143, 33));
    EXPECT_EQ(s.box.fRedraw[0], want);
    EXPECT_EQ(s.box.fErase[0], want);
}

TEST(Pane, InvalidationReachesTheContainerOnlyWhenShown) {
    TestContainer box;
    TestPane p(&box, &box);
    p.InvalidateRect(Rect(0, 0, 5, 5), LRgn());
    EXPECT_TRUE(box.fRedraw.empty());
    p.SetState(LPane::kOpContainerShown);
    p.InvalidateRect(Rect(0, 0, 5, 5), LRgn());
    ASSERT_EQ(box.fRedraw.size(), 1u);
    EXPECT_EQ(box.fRedraw[0], Rect(0, 0, 5, 5));
    EXPECT_TRUE(box.fErase[0].IsEmpty());
}

TEST(Pane, RequestsAndPlainAnswers) {
    Shown s;
    s.box.fMessages.clear();
    EXPECT_FALSE(s.pane->AdvanceFocus(0, true));
    s.pane->RequestClickFocus();
    EXPECT_TRUE(s.box.fMessages.empty());
    s.pane->SetState(LPane::kOpTabStopRingInside);
    s.pane->SetState(LPane::kOpClickFocus);
    EXPECT_FALSE(s.pane->AdvanceFocus(0, false));
    s.pane->RequestClickFocus();
    s.pane->RequestUpdateNow();
    EXPECT_EQ(s.box.fMessages,
              (std::vector<std::string>{LPane_ReqFocus, LPane_ReqFocus, LPane_UpdateNow}));

    LPane plain(&s.box, &s.box);
    EXPECT_EQ(plain.GetPrefWidth(nullptr, 0), 16);
    EXPECT_EQ(plain.GetPrefHeight(nullptr, 0), 16);
    EXPECT_EQ(plain.GetPrefHeight(nullptr, -10), 0);
    EXPECT_EQ(plain.GetPrefWidth(nullptr, -13), 0);
    EXPECT_FALSE(plain.FocusNearest({0, 0}));
    EXPECT_EQ(plain.FindFocusable(), nullptr) << "its container is not active";
}

TEST(Pane, PositionsInWindowAndOtherPanes) {
    TestContainer box;
    int window = 0;
    box.fWindow = &window;
    box.fOriginX = 100;
    box.fOriginY = 200;
    TestPane* a = new TestPane(&box, &box);
    TestPane* b = new TestPane(&box, &box);
    a->SetBounds(LRect(10, 20, 30, 40));
    b->SetBounds(LRect(-5, 7, 0, 9));
    EXPECT_EQ(a->GetNativeWindow(), &window);
    const u64 inWindow = a->GetTopLeftIn(nullptr);
    EXPECT_EQ(i32(LPane::UnpackX(inWindow)), 110);
    EXPECT_EQ(i32(LPane::UnpackY(inWindow)), 220);
    // b draws in the container's space, so the answer is a's own top-left there.
    const u64 inB = a->GetTopLeftIn(b);
    EXPECT_EQ(i32(LPane::UnpackX(inB)), 10);
    EXPECT_EQ(i32(LPane::UnpackY(inB)), 20);
    const u64 negative = b->GetTopLeftIn(a);
    EXPECT_EQ(i32(LPane::UnpackX(negative)), -5);
    LPane lonely(nullptr, nullptr);
    EXPECT_EQ(lonely.GetNativeWindow(), nullptr);
}

TEST(Pane, AttachmentsAreDeletedWithThePane) {
    static int deleted = 0;
    struct Tracked : LLink {
        ~Tracked() override { ++deleted; }
    };
    {
        LPane p(nullptr, nullptr);
        p.AddAttachment(new Tracked);
        p.AddAttachment(new Tracked);
    }
    EXPECT_EQ(deleted, 2);
}

}  // namespace
