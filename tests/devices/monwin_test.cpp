// The DMX monitor window on the headless fakes: what a frame shows, the packet
// rate, the grid arrangement for a window shape, the channel strip, and what a
// click on a channel does.
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
    // Puts the mouse over a point of the grid's container.
    void MouseOnGrid(LPoint local) {
        const LPoint zero = ScreenPointIn(win->Grid(), LPoint{0, 0});
        mouse.fPos = LPoint{local.x - zero.x, local.y - zero.y};
    }
    LPoint ChannelPoint(u32 ch) {
        CMonGrid* g = win->Grid();
        const i32 group = i32(ch / 64);
        const LCell cell{group % g->Cols(), group / g->Cols()};
        const LRect c = g->GetCellRect(cell);
        const LRect gr = g->GraphInCell();
        return LPoint{c.left + gr.left + 2 * i32(ch % 64) + 1, c.top + gr.top + 10};
    }

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

    // Not DMX levels: ignored, also by the statistics.
    win->ShowFrame(Frame(513, 0xCC, 9));
    EXPECT_EQ(grid[0], 200);
    EXPECT_EQ(win->Stats().fPackets, 1u);

    // An empty frame (a device's empty report) clears the levels but is no packet.
    win->ShowFrame(Frame(0));
    EXPECT_EQ(grid[0], 0);
    EXPECT_EQ(win->Stats().fPackets, 1u);
    EXPECT_EQ(win->Stats().fMax, 24u);

    // A count past 513 reads no further than the frame.
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
    } kRows[] = {{255, "100"}, {128, "50"}, {1, "0"}, {0, "0"}, {254, "100"}, {127, "50"}};
    CDmxFrameBuf f = Frame(1);
    f.count = 1 + 6;
    for (u32 i = 0; i < 6; ++i) f.slots[1 + i] = kRows[i].level;
    win->ShowFrame(f);
    for (u32 i = 0; i < 6; ++i) {
        auto* cell = static_cast<CMonDtlCell*>(list->GetProtoCellFor(LCell{i32(i), 0}));
        ASSERT_TRUE(cell);
        EXPECT_EQ(std::string(cell->fPercent.GetText().CStr()), kRows[i].percent) << i;
        EXPECT_EQ(std::string(cell->fValue.GetText().CStr()), std::to_string(kRows[i].level));
        EXPECT_EQ(std::string(cell->fNumber.GetText().CStr()), std::to_string(i + 1));
        EXPECT_EQ(cell->fMeter.Level(), kRows[i].level);
        EXPECT_EQ(cell->fMeter.LitRect(kRows[i].level).Height(), 1 + (63 * kRows[i].level + 127) / 255);
    }
}

TEST(MonGrid, ColumnsForTheWindowShape) {
    const struct {
        double r;
        i32 cols, rows;
    } kRows[] = {{0.125, 1, 8}, {0.5, 2, 4},  {1, 3, 3},   {1.5, 3, 3}, {2, 4, 2},
                 {4, 8, 1},     {0.01, 1, 8}, {100, 8, 1}, {3, 6, 2},   {2.5, 5, 2}};
    for (const auto& r : kRows) {
        const i32 cols = CMonWin::ColumnsFor(r.r);
        EXPECT_EQ(cols, r.cols) << r.r;
        EXPECT_EQ((cols + 7) / cols, r.rows) << r.r;
    }
}

TEST_F(MonWin, ArrangementsLeaveNoCellPastTheLastGroup) {
    CMonGrid* g = win->Grid();
    for (i32 cols = 1; cols <= 8; ++cols) {
        const i32 rows = (cols + 7) / cols;
        g->SetArrangement(cols, rows);
        i32 bound = 0;
        for (i32 r = 0; r < rows; ++r)
            for (i32 c = 0; c < cols; ++c) bound += g->GetProtoCellFor(LCell{c, r}) != nullptr;
        EXPECT_EQ(bound, 8) << cols;
        EXPECT_EQ(g->Cols(), cols);
        EXPECT_EQ(g->Rows(), rows);
    }
}

TEST(MonGrid, MeterImagesLoad) {
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    for (const char* name : {"DTLMTROF", "DTLMTRON"}) {
        LImageRef image = LoadPngImage(name);
        ASSERT_TRUE(image && image->IsValid()) << name;
    }
}

TEST(MonGrid, BarsAndMarks) {
    const LRect b(10, 20, 140, 88);
    const struct {
        u32 k;
        u8 level;
        LRect bar;
    } kRows[] = {
        {0, 255, {11, 88 - 66, 12, 86}},
        {0, 128, {11, 88 - 35, 12, 86}},
        {63, 0, {137, 85, 138, 86}},
        {5, 4, {21, 84, 22, 86}},
    };
    for (const auto& r : kRows) EXPECT_EQ(CKvsLevelGraph::BarRect(b, r.k, r.level), r.bar) << r.k;
    EXPECT_EQ(CKvsLevelGraph::MarkAt(b, 3).x, 16);
    EXPECT_EQ(CKvsLevelGraph::MarkAt(b, 3).y, 88 - 35);
}

TEST_F(MonWin, ScrollToChannelCentresIt) {
    const struct {
        i32 n, v, first;
    } kRows[] = {{510, 20, 492}, {3, 20, 0}, {100, 20, 90}, {511, 1, 511}, {0, 512, 0}};
    for (const auto& r : kRows) EXPECT_EQ(CMonChList::ScrollStart(r.n, r.v), r.first) << r.n;
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
    // Dragging along the grid follows.
    MouseOnGrid(ChannelPoint(301));
    LHandler::Send(LMouse_Move, &mouse, win->Grid());
    EXPECT_EQ(win->SelectedChannel(), 301u);
    // Between the graphs nothing is selected.
    EXPECT_EQ(win->Grid()->ChannelAt(LPoint{-5, -5}), -1);
    // Closing the opener hides the strip again.
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
        EXPECT_LE(placer.fWidth, 16 + std::max(r.cols * win->Grid()->CellWidth(), 300));
        EXPECT_GE(placer.fHeight, 16 + r.rows * win->Grid()->CellHeight());
    }
    LWindowPlacer grow(win->Window(), false);
    LHandler::Send(LWindowPlacer_Grow, &grow, win);
    EXPECT_EQ(grow.fMaxWidth, 16383);
    EXPECT_EQ(grow.fMaxHeight, 16383);
}

TEST_F(MonWin, AWindowOffEveryScreenComesBack) {
    // Moved there by the user (the window system keeps it where it was put).
    windows.Find(win->Window()->Native())->content = LRect(-4000, -4000, -3500, -3700);
    LRect off = win->GetWindowBounds();
    LDesktop::FitRectToScreens(&off);
    ASSERT_TRUE(off.IsEmpty()) << "the window is off every screen";
    LHandler::Send(LWindow_Place, win->Window(), win);
    LRect on = win->GetWindowBounds();
    LDesktop::FitRectToScreens(&on);
    EXPECT_GE(on.Width(), 8);
    EXPECT_GE(on.Height(), 8);
    // Partly on screen is left where it is.
    win->SetWindowBounds(LRect(-400, 100, 100, 400));
    const LRect partly = win->GetWindowBounds();
    LHandler::Send(LWindow_Place, win->Window(), win);
    EXPECT_EQ(win->GetWindowBounds(), partly);
}

TEST_F(MonWin, TheMenuTogglesWhatTheStripShows) {
    CRecord* p = CKvsMonPrefRec::Get()->Root()->GetChild(DmxPrefF::mntr);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->GetU8(PfmnF::vsvl0), 1);
    p->SetU8(nullptr, PfmnF::vsvl0, 0);
    win->ShowFrame(Frame(3, 0, 77));
    auto* cell = static_cast<CMonDtlCell*>(win->Detail()->fList->GetProtoCellFor(LCell{0, 0}));
    ASSERT_TRUE(cell);
    EXPECT_FALSE(cell->fValue.State() & LPane::kVisible);
    EXPECT_TRUE(cell->fPercent.State() & LPane::kVisible);
}

}  // namespace
