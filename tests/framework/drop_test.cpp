// Drop targets: no drops behind a modal dialog, no highlight and no drop
// without an operation, drags leaving hidden, moved and dying panes; the
// auto-scroller's band and timing, and owners that refuse a drag.
#include <gtest/gtest.h>

#include "framework/LDropPane.h"
#include "framework/LFrame.h"
#include "tests/framework/FakeDrag.h"
#include "tests/framework/FakeWindows.h"

namespace {

// Logs what reaches it; sets its operation on "LDropPane_Enter"; consumes
// "CDropScrollHelper_Enter" when told and feeds drags to its scroll helper.
class Owner : public LFrame {
public:
    explicit Owner(LFrame* window) : LFrame(window, window) { SetBounds(LRect(0, 0, 300, 200)); }
    LMessage HandleMessage(const LMessage& msg) override {
        if (fScroll && fScroll->HandleDrop(msg)) return LMessage();
        const std::string n = msg.name ? msg.name : "";
        if (n.rfind("LDropPane_", 0) == 0 || n.rfind("CDropScrollHelper_", 0) == 0) {
            fLog += (fLog.empty() ? "" : " ") + n;
            if (msg.Is(LDropPane_Enter)) static_cast<LDropPane*>(msg.source)->SetDropOperation(fOp);
            if (msg.Is(CDropScrollHelper_Enter) && !fTakeEnter) return LFrame::HandleMessage(msg);
            return LMessage();
        }
        return LFrame::HandleMessage(msg);
    }
    std::string Take() {
        std::string s = fLog;
        fLog.clear();
        return s;
    }
    u32 fOp = 0;
    bool fTakeEnter = true;
    CDropScrollHelper* fScroll = nullptr;
    std::string fLog;
};

struct DropStage {
    DropStage() {
        fWin.SetBounds(LRect(0, 0, 300, 200));
        fWin.SetWindowBounds(LRect(100, 100, 400, 300));
        fWin.ShowWindow();
        fOwner = new Owner(&fWin);
        fPane = new LDropPane(fOwner, 0);
        fPane->SetBounds(LRect(10, 10, 110, 60));
    }
    LNativeWindow Native() { return fWin.Window()->Native(); }
    // A point of the window's content on the screen.
    LPoint At(i32 x, i32 y) {
        const LRect c = fWin.Window()->GetContentScreenRect();
        return LPoint{c.left + x, c.top + y};
    }
    FakeServices fServices;
    FakeWindows fWindows{fServices};
    FakeDrag fDrag;
    LFrame fWin{nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 0)};
    Owner* fOwner;
    LDropPane* fPane;
};

TEST(DropPane, NeverATargetBehindAModalDialog) {
    DropStage s;
    ASSERT_TRUE(s.fDrag.fAccepting.count(s.Native()));
    {
        LFrame dialog(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
        dialog.ShowWindow();
        s.fOwner->fOp = 3;
        s.fDrag.Over(s.Native(), s.At(20, 20));
        EXPECT_EQ(s.fPane->Drag(), nullptr);
        EXPECT_EQ(s.fOwner->Take(), "");
    }
    s.fDrag.Over(s.Native(), s.At(20, 20));
    EXPECT_NE(s.fPane->Drag(), nullptr);
    EXPECT_EQ(s.fOwner->Take(), "LDropPane_Enter LDropPane_Drag");
}

TEST(DropPane, HighlightAndDropOnlyWithAnOperation) {
    for (u32 op : {0u, 3u}) {
        DropStage s;
        s.fOwner->fOp = op;
        s.fDrag.Over(s.Native(), s.At(20, 20));
        EXPECT_EQ(s.fPane->IsHighlighted(), op != 0);
        EXPECT_EQ(s.fDrag.fShownOp, i32(op));
        s.fOwner->Take();
        EXPECT_EQ(s.fDrag.DropOn(s.Native()), op);
        EXPECT_EQ(s.fOwner->Take(), op ? "LDropPane_Drop" : "");
        EXPECT_FALSE(s.fPane->IsHighlighted());
    }
}

TEST(DropPane, DragLeavesHiddenMovedAndDyingPanes) {
    for (int way = 0; way < 3; ++way) {
        DropStage s;
        LDropPane keep(s.fOwner, 0);  // keeps the window accepting drags
        keep.SetBounds(LRect(200, 100, 250, 150));
        s.fOwner->fOp = 2;
        s.fDrag.Over(s.Native(), s.At(20, 20));
        LDrop* drop = s.fDrag.DropOf(s.Native());
        ASSERT_EQ(drop->Target(), s.fPane);
        s.fOwner->Take();
        if (way == 0) s.fPane->SetState(LPane::kOpHide);
        if (way == 1) s.fPane->SetBounds(LRect(10, 70, 110, 120));
        if (way == 2) delete s.fPane;
        EXPECT_EQ(drop->Target(), nullptr) << way;
        EXPECT_EQ(drop->Operation(), 0);
        if (way < 2) {
            EXPECT_EQ(s.fOwner->Take(), "LDropPane_Leave") << way;
        }
        s.fDrag.Over(s.Native(), s.At(150, 150));
        EXPECT_EQ(s.fDrag.DropOn(s.Native()), 0u);
    }
}

class ScrollLog : public LHandler {
public:
    explicit ScrollLog(FakeServices& clock) : fClock(clock) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CScrollHelper_Scroll)) fTimes.push_back(fClock.fNow);
        return LMessage();
    }
    FakeServices& fClock;
    std::vector<u32> fTimes;
};

TEST(ScrollHelper, EdgeBandAndTiming) {
    FakeServices clock;
    ScrollLog log(clock);
    CScrollHelper sh(&log);
    const LRect zone(0, 0, 100, 100);
    sh.Track(LPoint{50, 50}, zone, 8, 8);
    EXPECT_EQ(sh.Stage(), 0);
    sh.Track(LPoint{50, 3}, zone, 8, 8);
    EXPECT_EQ(sh.DirY(), -1);
    EXPECT_EQ(sh.DirX(), 0);
    for (int i = 0; i < 13; ++i) {
        clock.Advance(100);
        LTimer::FireDue(clock.fNow, nullptr, nullptr, true);
        sh.Track(LPoint{50, 3}, zone, 8, 8);
    }
    EXPECT_EQ(log.fTimes, (std::vector<u32>{500, 1000, 1100, 1200, 1300}));
    sh.Track(LPoint{50, 50}, zone, 8, 8);
    clock.Advance(1000);
    LTimer::FireDue(clock.fNow, nullptr, nullptr, true);
    EXPECT_EQ(log.fTimes.size(), 5u);
}

TEST(DropScrollHelper, AnOwnerRefusingTheEnterHearsNothingMore) {
    for (bool take : {false, true}) {
        DropStage s;
        delete s.fPane;
        CDropScrollHelper helper(s.fOwner);
        s.fOwner->fScroll = &helper;
        s.fOwner->fTakeEnter = take;
        s.fDrag.Over(s.Native(), s.At(150, 100));
        s.fDrag.Over(s.Native(), s.At(160, 100));
        s.fDrag.DropOn(s.Native());
        EXPECT_EQ(s.fOwner->Take(), take ? "CDropScrollHelper_Enter CDropScrollHelper_Move "
                                           "CDropScrollHelper_Move CDropScrollHelper_Drop"
                                         : "CDropScrollHelper_Enter");
        s.fOwner->fScroll = nullptr;
    }
}

}  // namespace
