// The DMX monitor window on the headless fakes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devices/monitors/CMonWin.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/CPicturePane.h"
#include "framework/InputState.h"
#include "framework/MousePoint.h"
#include "base/TextFormat.h"
#include "framework/StdDialogs.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tests/devices/MonTestUtil.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

CDmxFrameBuf Frame(u32 count, u8 start = 0, u8 level = 200) {
    CDmxFrameBuf f;
    f.count = count;
    f.slots[0] = start;
    for (u32 i = 1; i < kDmxSlots; ++i) f.slots[i] = i < count ? level : 0;
    return f;
}

class MonWin : public ::testing::Test {
protected:
    void SetUp() override {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
        CKvsMonPrefRec::Create();
        controls.fClock = &services.fNow;
        services.fNow = 100000;
        app = std::make_unique<CMainLoopBase>();
        win = new CMonWin(app.get());
        win->ShowWindow();
    }
    void TearDown() override {
        delete win;
        app.reset();
        CKvsMonPrefRec::Dispose();
    }
    void Advance(u32 ms) {
        for (u32 i = 0; i < ms; ++i) {
            services.Advance(1);
            LTimer::FireDue(services.fNow, nullptr, nullptr, true);
        }
    }
    std::string Rate() { return win->RateLine().GetText().CStr(); }
    std::string Item(u32 n) { return StdDialogText("TURNSTAT", n).CStr(); }
    void MouseOnGrid(LPoint local) {
        const LPoint zero = ScreenPointIn(win->Grid(), LPoint{0, 0});
        mouse.fPos = LPoint{local.x - zero.x, local.y - zero.y};
    }
    LPoint ChannelPoint(u32 ch) { return MonChannelPoint(win->Grid(), ch, 10); }

    CVirtualRunLoop loop;
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<CMainLoopBase> app;
    CMonWin* win = nullptr;
};

TEST_F(MonWin, PacketRateLine) {
    const std::string none = Item(0);
    struct Row {
        const char* what;
        u32 frames, ms;
        const char* rate;  // "%2" of item 1, null for item 0
    } kRows[] = {
        {"200 frames in 1000 ms", 200, 1000, "200"},
        {"1 frame in 3000 ms", 1, 3000, "0"},
        {"none in a second", 0, 1000, nullptr},
    };
    for (const Row& r : kRows) {
        win->ResetStats();
        EXPECT_EQ(Rate(), none);
        win->RateTimer().Start(r.ms);
        win->Stats().fLastTick = services.fNow;
        for (u32 i = 0; i < r.frames; ++i) win->ShowFrame(Frame(25));
        Advance(r.ms);
        std::string want = none;
        if (r.rate) {
            const char* items[] = {"24", "24", r.rate};
            LString t;
            FormatTemplate(&t, Item(1).c_str(), 3, items);
            want = t.CStr();
        }
        EXPECT_EQ(Rate(), want) << r.what;
    }
}

TEST_F(MonWin, WhatAFrameShows) {
    win->ShowFrame(Frame(25, 0, 200));
    const u8* grid = win->Grid()->Levels();
    const u8* strip = win->Detail()->fList->Levels();
    for (u32 ch = 0; ch < 512; ++ch) {
        EXPECT_EQ(grid[ch], ch < 24 ? 200 : 0) << ch;
        EXPECT_EQ(strip[ch], grid[ch]) << ch;
    }
    EXPECT_EQ(win->Stats().fMin, 24u);
    EXPECT_EQ(win->Stats().fMax, 24u);
    EXPECT_EQ(win->Stats().fPackets, 1u);

    win->ShowFrame(Frame(513, 0xCC, 9));
    EXPECT_EQ(grid[0], 200);
    EXPECT_EQ(win->Stats().fPackets, 1u);

    win->ShowFrame(Frame(0));
    EXPECT_EQ(grid[0], 0);
    EXPECT_EQ(win->Stats().fPackets, 1u);
    EXPECT_EQ(win->Stats().fMax, 24u);

    CDmxFrameBuf big = Frame(513, 0, 7);
    big.count = 4000;
    win->ShowFrame(big);
    EXPECT_EQ(grid[511], 7);
    EXPECT_EQ(win->Shown().count, 513u);
    EXPECT_EQ(win->Stats().fMax, 3999u);
}

TEST_F(MonWin, PercentagesAndValuesOfTheStrip) {
    CMonChList* list = win->Detail()->fList;
    const struct {
        u8 level;
        const char* percent;
    } kRows[] = {{255, "100"}, {128, "50"}, {1, "0"}};
    CDmxFrameBuf f = Frame(4);
    for (u32 i = 0; i < 3; ++i) f.slots[1 + i] = kRows[i].level;
    win->ShowFrame(f);
    for (u32 i = 0; i < 3; ++i) {
        auto* cell = static_cast<CMonDtlCell*>(list->GetProtoCellFor(LCell{i32(i), 0}));
        ASSERT_TRUE(cell);
        EXPECT_EQ(std::string(cell->fPercent.GetText().CStr()), kRows[i].percent) << i;
    }
}

TEST_F(MonWin, ColumnsForTheWindowShapeAndNoCellPastTheLastGroup) {
    const struct {
        double r;
        i32 cols, rows;
    } kRows[] = {{0.125, 1, 8}, {0.5, 2, 4}, {1, 3, 3}, {1.5, 3, 3}, {2, 4, 2}, {4, 8, 1}};
    CMonGrid* g = win->Grid();
    for (const auto& r : kRows) {
        ASSERT_EQ(CMonWin::ColumnsFor(r.r), r.cols) << r.r;
        g->SetArrangement(r.cols, r.rows);
        i32 bound = 0;
        for (i32 y = 0; y < g->Rows(); ++y)
            for (i32 x = 0; x < g->Cols(); ++x) bound += g->GetProtoCellFor(LCell{x, y}) != nullptr;
        EXPECT_EQ(bound, 8) << r.r;
    }
}

// The title each cell shows: a cell the mouse has been over is drawn by its
// own frame, the others by the stamp.
std::string ShownTitles(CMonGrid* g) {
    std::string out;
    for (i32 y = 0; y < g->Rows(); ++y)
        for (i32 x = 0; x < g->Cols(); ++x) {
            auto* live = static_cast<CMonGrpCell*>(g->GetCellFrame(LCell{x, y}, true));
            auto* cell = live ? live : static_cast<CMonGrpCell*>(g->GetProtoCellFor(LCell{x, y}));
            out +=
                std::string(out.empty() ? "" : " ") + (cell ? cell->fTitle.GetText().CStr() : "-");
        }
    return out;
}

TEST_F(MonWin, EveryGroupShownOnceThroughColumnChanges) {
    const char* kAll8 = "1 65 129 193 257 321 385 449";
    const struct {
        i32 cols;
        const char* titles;
    } kSteps[] = {{3, "1 65 129 193 257 321 385 449 -"},
                  {2, kAll8},
                  {8, kAll8},
                  {2, kAll8},
                  {3, "1 65 129 193 257 321 385 449 -"},
                  {4, kAll8},
                  {2, kAll8},
                  {5, "1 65 129 193 257 321 385 449 - -"},
                  {1, kAll8}};
    CMonGrid* g = win->Grid();
    for (const auto& s : kSteps) {
        // The mouse went over every cell of the old arrangement and rests on
        // the first of the second row.
        for (i32 y = g->Rows() - 1; y >= 0; --y)
            for (i32 x = g->Cols() - 1; x >= 0; --x) {
                const LRect r = g->GetCellRect(LCell{x, y});
                g->FindPaneAt(LPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            }
        const LRect rest = g->GetCellRect(LCell{0, std::min(1, g->Rows() - 1)});
        g->FindPaneAt(LPoint{rest.left + 4, rest.top + 4});
        g->SetArrangement(s.cols, (s.cols + 7) / s.cols);
        // Sized as the window's layout would size it.
        const LRect at = g->Bounds();
        g->SetBounds(LRect(at.left, at.top, at.left + s.cols * g->CellWidth(),
                           at.top + g->Rows() * g->CellHeight()));
        EXPECT_EQ(ShownTitles(g), s.titles) << s.cols << " columns";
        // Channel 400 (group 7 starts at 449: 385-448 is group 6) lies in its group's cell.
        const LCell six{6 % s.cols, 6 / s.cols};
        auto* cell = static_cast<CMonGrpCell*>(g->GetCellFrame(six, false));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->fGraph.First(), 384u) << s.cols << " columns";
        EXPECT_EQ(g->ChannelAt(MonChannelPoint(g, 400, 10)), 400) << s.cols << " columns";
    }
}

TEST(MonGrid, BarsAndMarks) {
    const LRect b(10, 20, 140, 88);
    EXPECT_EQ(CKvsLevelGraph::BarRect(b, 0, 255).top, 88 - 66);
    EXPECT_EQ(CKvsLevelGraph::MarkAt(b, 3).y, 88 - 35);
}

TEST_F(MonWin, ScrollToChannelCentresIt) {
    CMonChList* list = win->Detail()->fList;
    const LRect b = list->Bounds();
    list->SetBounds(LRect(b.left, b.top, b.left + 20 * list->CellWidth(), b.bottom));
    ASSERT_EQ(list->GetVisibleColsFull(), 20);
    list->ScrollToChannel(510);
    EXPECT_EQ(list->First().col, 492);
    list->ScrollToChannel(3);
    EXPECT_EQ(list->First().col, 0);
}

TEST_F(MonWin, AClickOnAChannelSelectsOpensAndScrolls) {
    ASSERT_FALSE(win->Opener()->IsOpen());
    ASSERT_FALSE(win->Detail()->IsShown());
    const LRect before = win->GetWindowBounds();
    MouseOnGrid(ChannelPoint(300));
    EXPECT_EQ(win->Grid()->ChannelAt(ChannelPoint(300)), 300);
    LHandler::Send(LMouse_Click, &mouse, win->Grid());
    EXPECT_EQ(win->SelectedChannel(), 300u);
    EXPECT_TRUE(win->Opener()->IsOpen());
    EXPECT_TRUE(win->Detail()->IsShown());
    EXPECT_GT(win->GetWindowBounds().Height(), before.Height()) << "the strip adds its height";
    CMonChList* list = win->Detail()->fList;
    const i32 v = list->GetVisibleColsFull();
    ASSERT_GT(v, 0);
    EXPECT_EQ(list->First().col, CMonChList::ScrollStart(300, v));
    MouseOnGrid(ChannelPoint(301));
    LHandler::Send(LMouse_Move, &mouse, win->Grid());
    EXPECT_EQ(win->SelectedChannel(), 301u);
    win->Opener()->SetOpen(false);
    LHandler::Send(COpener_Change, win->Opener(), win);
    EXPECT_FALSE(win->Detail()->IsShown());
    EXPECT_EQ(win->GetWindowBounds().Height(), before.Height());
}

TEST_F(MonWin, ASizeProposalRearrangesTheGridAndAnswersTheLayoutSize) {
    const struct {
        i32 w, h, cols, rows;
    } kRows[] = {{1600, 120, 8, 1}, {150, 1000, 1, 8}, {700, 460, 3, 3}};
    for (const auto& r : kRows) {
        LWindowPlacer placer(win->Window(), false);
        placer.fWidth = r.w;
        placer.fHeight = r.h;
        LHandler::Send(LWindowPlacer_Sizing, &placer, win);
        EXPECT_EQ(win->Grid()->Cols(), r.cols) << r.w << "x" << r.h;
        EXPECT_EQ(win->Grid()->Rows(), r.rows) << r.w << "x" << r.h;
        EXPECT_GE(placer.fWidth, 16 + r.cols * win->Grid()->CellWidth());
        EXPECT_GE(placer.fHeight, 16 + r.rows * win->Grid()->CellHeight());
    }
}

TEST_F(MonWin, AWindowOffEveryScreenComesBack) {
    windows.Find(win->Window()->Native())->content = LRect(-4000, -4000, -3500, -3700);
    LRect off = win->GetWindowBounds();
    LDesktop::FitRectToScreens(&off);
    ASSERT_TRUE(off.IsEmpty()) << "the window is off every screen";
    LHandler::Send(LWindow_Place, win->Window(), win);
    LRect on = win->GetWindowBounds();
    LDesktop::FitRectToScreens(&on);
    EXPECT_GE(on.Width(), 8);
    EXPECT_GE(on.Height(), 8);
    win->SetWindowBounds(LRect(-400, 100, 100, 400));
    const LRect partly = win->GetWindowBounds();
    LHandler::Send(LWindow_Place, win->Window(), win);
    EXPECT_EQ(win->GetWindowBounds(), partly);
}

}  // namespace
