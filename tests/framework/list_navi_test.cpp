// The navigator: arrow and page steps, the bars' range, the wheel, who hears
// of user scrolls, and exchanging the list.
#include <gtest/gtest.h>

#include "framework/LListNavi.h"
#include "framework/LStdCtl.h"
#include "tests/framework/ControlPanes.h"

namespace {

class Grid : public LListPane {
public:
    Grid(LPane* owner, i32 rows, i32 cell) : LListPane(owner, 3) {
        SetCellSize(10, cell);
        InsertColumns(0, 1);
        InsertRows(0, rows);
    }
    void DrawCell(LDrawCtx&, LCell, const LRect&) override {}
};

struct NaviStage : ControlStage {
    explicit NaviStage(i32 cell, i32 height = 102) {
        fNavi = new LListNavi(&fBox, LListNavi::kVerticalBar, false);
        fNavi->SetBounds(LRect(0, 0, 120, height));
        fList = new Grid(fNavi, 200, cell);
        fNavi->SetList(fList);
    }
    ~NaviStage() { delete fNavi; }
    void Hit(i32 part) { static_cast<FakeControl*>(fNavi->VBar()->Native())->Hit(part, 0); }
    void Wheel(i32 dy) {
        fMouse.SetWheelEvent(LPoint{5, 5}, 0, dy, 0);
        LHandler::Send(LMouse_Wheel, &fMouse, fNavi);
    }
    i32 Row() const { return fList->First().row; }
    LListNavi* fNavi;
    Grid* fList;
};

TEST(ListNavi, ArrowAndPageSteps) {
    struct Case {
        i32 cell, height, part, moved;
    } cases[] = {
        {4, 102, kScrollPartDown, 4},      {9, 102, kScrollPartDown, 1},
        {10, 102, kScrollPartPageDown, 9},  // 10 full rows less the step
        {4, 102, kScrollPartPageDown, 21},  // 25 less 4
        {10, 17, kScrollPartPageDown, 1},   // one full row: still a step
    };
    for (const Case& c : cases) {
        NaviStage s(c.cell, c.height);
        s.fList->SetScrollPos(LCell{0, 30});
        s.Hit(c.part);
        EXPECT_EQ(s.Row(), 30 + c.moved) << c.cell << " " << c.part;
    }
}

TEST(ListNavi, BarRangeKeepsARowBeyondTheLargestFirst) {
    NaviStage s(10);
    s.fList->SetScrollPos(LCell{0, 195});
    EXPECT_EQ(s.fNavi->VBar()->Max(), 195);
    EXPECT_EQ(s.fNavi->VBar()->GetValue(), 195);
    s.Hit(kScrollPartDown);
    EXPECT_EQ(s.Row(), 195);
    s.Hit(kScrollPartUp);
    EXPECT_EQ(s.Row(), 194);
}

TEST(ListNavi, WheelAccumulatesAndOnlyUserScrollsAreReported) {
    NaviStage s(10);
    s.fBox.Take();
    s.fList->SetScrollPos(LCell{0, 50});
    EXPECT_EQ(s.fBox.Take(), "");
    s.Wheel(3);
    EXPECT_EQ(s.Row(), 50);
    s.Wheel(3);
    EXPECT_EQ(s.Row(), 49);
    EXPECT_EQ(s.fBox.Take(), "LListNavi_Navi");
    s.Hit(kScrollPartDown);
    EXPECT_EQ(s.fBox.Take(), "LListNavi_Navi LPane_ReqFocus LPane_Focus");
    // One row: the wheel is not the navigator's.
    s.fList->RemoveRows(1, 199);
    s.Wheel(40);
    EXPECT_EQ(s.fBox.Take(), "LMouse_Wheel");
}

TEST(ListNavi, ExchangingTheListKeepsTheBarPosition) {
    NaviStage s(10);
    s.fList->SetScrollPos(LCell{0, 20});
    Grid* other = new Grid(s.fNavi, 100, 10);
    s.fNavi->SetList(other);
    EXPECT_EQ(other->First().row, 20);
    EXPECT_EQ(s.fNavi->VBar()->GetValue(), 20);
    EXPECT_FALSE(s.fList->State() & LPane::kVisible);
    EXPECT_EQ(other->Bounds(), LRect(1, 1, 103, 101));
}

}  // namespace
