// The DMX monitor under Xvfb with openbox: a drag along the grid, and a resize;
// every column count and back, each group shown once with its levels; two
// senders on loopback through the port sharing into the record control's list,
// whose row double-clicked opens the monitor and stays unselected;
// a device's control window switched to its play settings and back, walked in
// the program against simulated devices in namespaces of the test's own.
#include <QCursor>
#include <QGuiApplication>
#include <QStyleHints>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "PlayEditWalk.h"
#include "XvfbFrameTest.h"
// The DMX frames have slots of their own: not Qt's keyword.
#undef slots
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devices/monitors/CKvsUnivList.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "tools/testkit/ArtDmxSender.h"
#include "tools/testkit/LoopbackUdp.h"
#include "devices/monitors/CMonWin.h"
#include "framework/CPicturePane.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tests/devices/MonTestUtil.h"

#include <QImage>
#include <QScreen>
#include <QWidget>

// libdbus (the X11 plugin's session bus) keeps a buffer for the process's life.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// The control window of 1201 (its universes sent by 198.18.1.12) opened in
// Device Files, its view chosen as Play Settings and back with the pop-up: the
// window is again the size the files view asks, and each sender is whole.
void WalkViewRoundTrip(const XvfbHarness& x, NetnsHarness& net, const testtftp::TempDir& dir) {
    const std::string levels(64, 'f');
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& p) {
            Walk& w = p.w;
            AlertGuard alerts("switching the view");
            CKvsDevCtlWin& win = p.screen->Window();
            w.Click(PaneAt(&win.fView));
            ASSERT_TRUE(Await("the view pop-up open",
                              [] { return QApplication::activePopupWidget() != nullptr; }));
            w.Key("Up Return");
            auto* files = dynamic_cast<CKvsFileListCtl*>(p.screen->FilesView());
            ASSERT_TRUE(Await("the device files view", [&] {
                return (files = dynamic_cast<CKvsFileListCtl*>(p.screen->FilesView())) &&
                       files->Frame()->IsShown();
            }));
            CKvsUnvList* list = files->Frame()->fUniverses;
            ASSERT_TRUE(Await(
                "both universes listed", [&] { return list->Rows() == 2; }, 5000));
            w.AwaitQuiet("the device files shown");
            w.Shot("ctl_files_again");
            LDrawCtx ctx;
            const LRect c = win.Window()->GetContentScreenRect();
            EXPECT_EQ(c.Width(), win.GetPrefWidth(&ctx, 0));
            EXPECT_EQ(c.Height(), win.GetPrefHeight(&ctx, 0));
            const char* const senders[] = {"+198.18.1.12", " 198.18.1.12"};
            for (i32 row = 0; row < 2; ++row) {
                auto* cell = static_cast<CKvsUnivCell*>(list->GetCellFrame(LCell{0, row}, false));
                ASSERT_TRUE(cell && cell->IsShown()) << row;
                EXPECT_EQ(std::string(cell->fSender.GetText().CStr()), senders[row]);
                const LRect b = cell->fSender.Bounds();
                EXPECT_GE(b.Width(), cell->fSender.GetPrefWidth(&ctx, 0)) << senders[row];
                EXPECT_LE(b.right, list->Bounds().Width()) << senders[row];
            }
            // Each choice of the pop-up reached the device once, and no other.
            EXPECT_EQ(w.Written("fnmd"), (std::vector<std::string>{"1", "0"}));
            EXPECT_EQ(w.WrittenElsewhere("fnmd"), 0u);
            EXPECT_EQ(gWarnings, std::vector<std::string>());
        },
        1,
        {"uvst-set serno=1201 univ=0 hstx=1 host=198.18.1.12 hex=" + levels,
         "uvst-set serno=1201 univ=291 hstx=0 host=198.18.1.12 hex=" + levels});
}

// First in the program: its walk runs in a child process forked from this one,
// which must not yet hold the threads that the suite's own tests start.
TEST(MonWalk, ViewSwitchedAndBackLaysTheFilesViewOutAgain) {
    RunPlayEditWalk("1600x1000", "mv", WalkViewRoundTrip);
}

class MonXvfb : public XvfbSuite {
protected:
    void SetUp() override {
        XvfbSuite::SetUp();
        if (IsSkipped()) return;
        RegisterAllRecordKinds();
        CKvsMonPrefRec::Create();
    }
    void TearDown() override { CKvsMonPrefRec::Dispose(); }
    static std::string Id(CMonWin& win) {
        return std::to_string(AsMWindow(win.GetNativeWindow())->winId());
    }
    static LPoint ScreenPointOf(CMonWin& win, u32 ch) {
        const LRect c = win.Window()->GetContentScreenRect();
        const LPoint p = MonChannelPoint(win.Grid(), ch, 30);
        return LPoint{c.left + p.x, c.top + p.y};
    }
};

TEST_F(MonXvfb, ADragAlongTheGridSelectsChannelsAndAResizeRearrangesIt) {
    CMonWin win(gApp);
    win.ShowWindow();
    win.SetWindowBounds(LRect(40, 60, 640, 360));
    auto* native = AsMWindow(win.GetNativeWindow());
    if (!WaitUntil([&] { return native->isActiveWindow(); }, 1000))
        gX->Xdotool("windowactivate " + Id(win));
    ASSERT_TRUE(WaitUntil([&] { return native->isActiveWindow() && native->ActiveForMs() > 150; }));

    const LPoint from = ScreenPointOf(win, 10);
    gX->Xdotool("mousemove " + std::to_string(from.x) + " " + std::to_string(from.y) +
                " mousedown 1");
    ASSERT_TRUE(WaitUntil([&] { return win.SelectedChannel() == 10; }, 2000));
    EXPECT_TRUE(win.Opener()->IsOpen()) << "the first click opens the strip";
    for (u32 ch : {14u, 25u, 40u}) {
        const LPoint to = ScreenPointOf(win, ch);
        gX->Xdotool("mousemove " + std::to_string(to.x) + " " + std::to_string(to.y));
        EXPECT_TRUE(WaitUntil([&] { return win.SelectedChannel() == ch; }, 2000)) << ch;
    }
    gX->Xdotool("mouseup 1");
    WaitUntil([] { return !(QApplication::mouseButtons() & Qt::LeftButton); }, 1000);
    const i32 v = win.Detail()->fList->GetVisibleColsFull();
    EXPECT_EQ(win.Detail()->fList->First().col, CMonChList::ScrollStart(40, v));
    gX->Screenshot(KEVO_BINARY_DIR "/xvfb_monwin_drag.png");

    const struct {
        int w, h;
        i32 cols;
    } kRows[] = {{1250, 300, 8}, {300, 700, 2}};
    for (const auto& r : kRows) {
        gX->Xdotool("windowsize " + Id(win) + " " + std::to_string(r.w) + " " +
                    std::to_string(r.h));
        EXPECT_TRUE(WaitUntil([&] { return win.Grid()->Cols() == r.cols; }, 3000))
            << r.w << "x" << r.h << " gave " << win.Grid()->Cols();
        LoopDrained();
        EXPECT_EQ(win.Grid()->Rows(), (r.cols + 7) / r.cols);
        const LRect c = win.Window()->GetContentScreenRect();
        EXPECT_GE(c.Width(), r.cols * win.Grid()->CellWidth()) << "the window holds the grid";
    }
    gX->Screenshot(KEVO_BINARY_DIR "/xvfb_monwin_resized.png");
}

// The title and first channel each cell of the grid shows, row by row: a cell
// the mouse rested on is drawn by its own frame, the others by the stamp.
std::string ShownGroups(CMonGrid* g) {
    std::string out;
    for (i32 y = 0; y < g->Rows(); ++y)
        for (i32 x = 0; x < g->Cols(); ++x) {
            auto* live = static_cast<CMonGrpCell*>(g->GetCellFrame(LCell{x, y}, true));
            auto* cell = live ? live : static_cast<CMonGrpCell*>(g->GetProtoCellFor(LCell{x, y}));
            std::string t = "-";
            if (cell) {
                t = cell->fTitle.GetText().CStr();
                // The graph draws the channels its title names.
                if (std::to_string(cell->fGraph.First() + 1) != t) t += "!";
            }
            out += (out.empty() ? "" : " ") + t;
        }
    return out;
}

TEST_F(MonXvfb, EveryColumnCountAndBackShowsEachGroupOnce) {
    CMonWin win(gApp);
    win.ShowWindow();
    win.SetWindowBounds(LRect(40, 60, 640, 460));
    ASSERT_TRUE(Activate(AsMWindow(win.GetNativeWindow())));
    // A known pattern: channel c (1-based) at level c / 2, so each group's
    // graph rises from left to right from its own first level.
    CDmxFrameBuf f;
    f.count = 513;
    for (u32 c = 1; c < 513; ++c) f.slots[c] = u8(c / 2);
    win.ShowFrame(f);
    const std::string all = "1 65 129 193 257 321 385 449";
    // A user dragging the corner through shapes from tall to wide and back.
    const struct {
        int w, h;
    } kSizes[] = {{700, 460},  {300, 700},  {1270, 200}, {300, 700}, {700, 460},  {900, 280},
                  {1100, 240}, {1000, 300}, {150, 760},  {600, 420}, {1250, 300}, {1150, 330},
                  {1000, 330}, {950, 260},  {1270, 220}, {700, 460}};
    std::set<i32> seen;
    for (const auto& r : kSizes) {
        // The pointer passed over a cell of the second row (away from the first
        // group, whose place never changes).
        {
            CMonGrid* g = win.Grid();
            const LRect c = win.Window()->GetContentScreenRect();
            const LRect cell = g->GetCellRect(LCell{0, std::min(1, g->Rows() - 1)});
            const u64 tl = g->GetTopLeftIn(&win);
            const int x = c.left + i32(LPane::UnpackX(tl)) + (cell.left + cell.right) / 2;
            const int y = c.top + i32(LPane::UnpackY(tl)) + (cell.top + cell.bottom) / 2;
            gX->Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) +
                        " mousemove_relative 3 3");
            Await("the pointer over the cell", [&] {
                QWidget* under = QApplication::widgetAt(QPoint(x + 3, y + 3));
                return under && under->window() == AsMWindow(win.GetNativeWindow()) &&
                       QCursor::pos() == QPoint(x + 3, y + 3);
            });
            LoopDrained();
        }
        const i32 before = win.Grid()->Cols();
        gX->Xdotool("windowsize " + Id(win) + " " + std::to_string(r.w) + " " +
                    std::to_string(r.h));
        MWindow* native = AsMWindow(win.GetNativeWindow());
        // Taken in: the size asked for (or a new column count where the window
        // keeps a size of its own), and the window manager done placing it.
        WaitUntil([&] { return native->size() == QSize(r.w, r.h) || win.Grid()->Cols() != before; },
                  1500);
        WaitUntil(
            [&] {
                return QApplication::primaryScreen()->availableGeometry().contains(
                    native->frameGeometry());
            },
            1500);
        seen.insert(win.Grid()->Cols());
        LoopDrained();
        std::string want = all;
        for (i32 extra = win.Grid()->Cols() * win.Grid()->Rows() - 8; extra > 0; --extra)
            want += " -";
        const i32 cols = win.Grid()->Cols();
        EXPECT_EQ(ShownGroups(win.Grid()), want) << cols << " columns";
        // Channel 400 (group 385) answers where the grid shows it.
        EXPECT_EQ(win.Grid()->ChannelAt(MonChannelPoint(win.Grid(), 400, 30)), 400)
            << cols << " columns";
        EXPECT_EQ(win.Grid()->Levels()[399], 200);
        const QRect screen = QApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(screen.contains(AsMWindow(win.GetNativeWindow())->frameGeometry()))
            << cols << " columns";
        gX->Screenshot(KEVO_BINARY_DIR "/xvfb_monwin_cols" + std::to_string(cols) + ".png");
    }
    std::string counts;
    for (i32 c : seen) counts += std::to_string(c) + " ";
    EXPECT_GE(seen.size(), 6u) << counts;
    EXPECT_TRUE(seen.count(1) && seen.count(2) && seen.count(3)) << counts;
}

TEST_F(MonXvfb, TwoSendersOfAUniverseAreToldApartAndMerged) {
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    prefs.Root()->SetU8(nullptr, PrefF::usnm, 1);
    {
        struct Sink : LHandler {
            LMessage HandleMessage(const LMessage& msg) override {
                if (msg.Is(CKvsNetMon_Change) && view) view->NetMonChanged();
                return LMessage();
            }
            CKvsFileListCtl* view = nullptr;
        } sink;
        const u16 port = portsharetest::FreeUdpPort();
        const std::string name = "kvtest-monxvfb-" + std::to_string(getpid());
        CKvsNetMon mon(&sink, port, name.c_str());
        CKvsDevSet set;
        CKvsDevCtl ctl(gApp, &set, 0);
        ctl.SetNetMon(&mon);
        LFrame win(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
        CKvsFileListCtl view(gApp, win, &ctl);
        sink.view = &view;
        LDrawCtx ctx;
        const i32 pw = view.Frame()->GetPrefWidth(&ctx, 0),
                  ph = view.Frame()->GetPrefHeight(&ctx, 0);
        win.SetWindowBounds(LRect(40, 60, 40 + pw, 60 + ph));
        view.Frame()->SetBounds(LRect(0, 0, pw, ph));
        win.ShowWindow();
        mon.SetEnabled(true);
        ASSERT_TRUE(mon.Client().IsConnected());
        // The longest addresses there are: shown whole, they tell the two apart.
        artdmxtest::ArtDmxSender a(0x7FFFFFFD), b(0x7FFFFFFC);
        ASSERT_TRUE(a.Ok() && b.Ok());
        std::vector<u8> la(512, 0), lb(512, 0);
        la[0] = 10, la[1] = 200, lb[0] = 100, lb[1] = 50, lb[511] = 7;
        CKvsUnvList* list = view.Frame()->fUniverses;
        ASSERT_TRUE(WaitUntil(
            [&] {
                a.Send(port, 0x21, la.data(), 512, 0);
                b.Send(port, 0x21, lb.data(), 512, 0);
                // The senders' own rate, the program running between their packets.
                WaitUntil([] { return false; }, 30);
                return list->Rows() == 1;
            },
            5000));
        LoopDrained();
        auto* cell = static_cast<CKvsUnivCell*>(list->GetProtoCellFor(LCell{0, 0}));
        ASSERT_TRUE(cell);
        const std::string sender = cell->fSender.GetText().CStr();
        EXPECT_TRUE(sender == "+127.255.255.253" || sender == "+127.255.255.252") << sender;
        EXPECT_GE(cell->fSender.Bounds().Width(), cell->fSender.GetPrefWidth(&ctx, 0));
        EXPECT_LE(cell->fSender.Bounds().right, list->Bounds().Width());
        EXPECT_EQ(std::string(cell->fUniverse.GetText().CStr()), "  0/ 2/ 1");
        // Double-clicked: the monitor shows the larger of the two on each channel.
        const LRect c = win.Window()->GetContentScreenRect();
        const u64 tl = list->GetTopLeftIn(&win);
        const int x = c.left + i32(LPane::UnpackX(tl)) + 20,
                  y = c.top + i32(LPane::UnpackY(tl)) + 6;
        const u64 released = InputSeen::Instance().Releases();
        gX->Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) +
                    " click 1 sleep 0.6 click --repeat 2 --delay 80 1");
        ASSERT_TRUE(WaitUntil([&] { return list->Monitor() && list->Monitor()->IsShown(); }, 5000));
        CMonWin* monwin = list->Monitor();
        // The double click's release reached the list behind the monitor it
        // opened: no row stays selected, in the list nor as drawn (the row's
        // margin the colour of the empty list below it).
        ASSERT_TRUE(WaitUntil([&] { return InputSeen::Instance().Releases() >= released + 3; }));
        LoopDrained();
        EXPECT_TRUE(list->Selection().IsEmpty());
        {
            const QImage drawn = AsMWindow(win.GetNativeWindow())->View()->grab().toImage();
            const LRect row = list->GetCellRect(LCell{0, 0});
            const int mx = i32(LPane::UnpackX(tl)) + row.left + 2,
                      my = i32(LPane::UnpackY(tl)) + (row.top + row.bottom) / 2,
                      below = i32(LPane::UnpackY(tl)) + row.bottom + row.Height() / 2;
            ASSERT_LT(below, i32(LPane::UnpackY(tl)) + list->Bounds().Height());
            EXPECT_EQ(drawn.pixelColor(mx, my).name().toStdString(),
                      drawn.pixelColor(mx, below).name().toStdString());
            drawn.save(KEVO_BINARY_DIR "/xvfb_universe_list_after_double_click.png");
        }
        gX->Screenshot(KEVO_BINARY_DIR "/xvfb_universe_monitor_opened.png");
        ASSERT_TRUE(WaitUntil(
            [&] {
                a.Send(port, 0x21, la.data(), 512, 0);
                b.Send(port, 0x21, lb.data(), 512, 0);
                // The senders' own rate.
                WaitUntil([] { return false; }, 30);
                return monwin->Grid()->Levels()[0] == 100 && monwin->Grid()->Levels()[1] == 200 &&
                       monwin->Grid()->Levels()[511] == 7;
            },
            5000))
            << int(monwin->Grid()->Levels()[0]) << " " << int(monwin->Grid()->Levels()[1]);
        // Fed on change only: steady levels are no updates, and the line says so.
        WaitUntil(
            [&] {
                return std::string(monwin->RateLine().GetText().CStr()) ==
                       StdDialogText("TURNSTAT", 0).CStr();
            },
            5000);
        EXPECT_EQ(std::string(monwin->RateLine().GetText().CStr()),
                  std::string(StdDialogText("TURNSTAT", 0).CStr()));
        gX->Screenshot(KEVO_BINARY_DIR "/xvfb_two_senders.png");
        mon.SetEnabled(false);
        sink.view = nullptr;
        ctl.SetNetMon(nullptr);
        win.HideWindow();
    }
    SetAppPrefsDoc(nullptr);
}

}  // namespace
