// The record control under real input against the simulated device on
// loopback: a double click on a recording loads and plays it; the position bar
// dragged while the device reports positions holds, then follows them again.
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QStyleHints>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "XvfbKeys.h"
#include "ControlFixture.h"
#include "MessageWatch.h"
#include "XvfbAnswer.h"
#include "XvfbHarness.h"
#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/files/CKvsFileList.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "framework/LMenu.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/CKvsSeqList.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "devlink/NetIf.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "records/NsqPrefKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

// Qt on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

struct LoopbackPrefs : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("lo"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

// The values the device took for one command field, in order.
std::string Writes(testtftp::SimDeviceProcess& sim, const char* field) {
    std::string out;
    const std::string path = std::string("/.cmd/udkvtcmd/") + field;
    for (const std::string& l : sim.Log())
        if (l.rfind("chan ", 0) == 0 && testtftp::SimDeviceProcess::Field(l, "path") == path)
            out += (out.empty() ? "" : " ") + testtftp::SimDeviceProcess::Field(l, "value");
    return out;
}

// The record control of a simulated device on loopback, in a real window.
class RecCtlXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
        env = std::make_unique<ControlEnv>("xcb");
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
        prefs = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(prefs.get());
        watch = std::make_unique<CLocalAddrWatch>(&netPrefs);
        ASSERT_TRUE(sim.Ok());
        const u32 ip = (127u << 24) | (27u << 16) | ((20u + u32(getpid()) % 200u) << 8) | 1;
        const std::string ipText = "127.27." + std::to_string((ip >> 8) & 255) + ".1";
        ASSERT_EQ(
            sim.Cmd("add-device serno=307 addr=" + ipText + " root=" + dir.Path() + "/d port=61007")
                .rfind("ok", 0),
            0u);
        std::filesystem::create_directories(dir.Path() + "/d/sdc/kevrecfiles");
        std::ofstream(dir.Path() + "/d/sdc/kevrecfiles/a.drc") << "DRC";
        set.Add(307)->SetU32(nullptr, DevcF::address, ip);
        ctl = std::make_unique<CKvsDevCtl>(gApp, &set, 307);
        win = std::make_unique<LFrame>(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
        win->Window()->SetContentRect(LRect(100, 100, 800, 500));
        view = std::make_unique<CKvsFileListCtl>(gApp, *win, ctl.get());
        view->Frame()->SetBounds(LRect(0, 0, 700, 400));
        win->ShowWindow();
        // A press on a window not yet active only brings it forward.
        MWindow* native = AsMWindow(win->GetNativeWindow());
        if (!WaitUntil([&] { return native->isActiveWindow(); }, 1000))
            x.Xdotool("windowactivate " + std::to_string(native->winId()));
        ASSERT_TRUE(Await("the window active",
                          [&] { return native->isActiveWindow() && native->ActiveForMs() > 150; }));
    }
    void TearDown() override {
        if (win) win->HideWindow();
        view.reset();
        win.reset();
        ctl.reset();
        watch.reset();
        SetAppPrefsDoc(nullptr);
        prefs.reset();
        env.reset();
    }
    // Where a pane's top left is on the screen.
    std::pair<int, int> OnScreen(LPane& pane) {
        const LRect c = win->Window()->GetContentScreenRect();
        const u64 at = pane.GetTopLeftIn(win.get());
        return {c.left + i32(LPane::UnpackX(at)), c.top + i32(LPane::UnpackY(at))};
    }
    void ChanSet(const char* field, i32 value) {
        sim.Cmd(std::string("chan-set serno=307 path=/.cmd/udseqstat/") + field +
                " value=" + std::to_string(value));
    }

    XvfbHarness x;
    std::unique_ptr<ControlEnv> env;
    std::unique_ptr<CRecordDoc> prefs;
    LoopbackPrefs netPrefs;
    std::unique_ptr<CLocalAddrWatch> watch;
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    CKvsDevSet set;
    std::unique_ptr<CKvsDevCtl> ctl;
    std::unique_ptr<LFrame> win;
    std::unique_ptr<CKvsFileListCtl> view;
};

TEST_F(RecCtlXvfb, DoubleClickOnARecordingLoadsAndPlaysIt) {
    CKvsFileList* list = view->Frame()->fFiles->fList;
    ASSERT_TRUE(WaitUntil([&] { return list->Count() == 1; }, 10000));
    LoopDrained();
    const auto [px, py] = OnScreen(*list);
    x.Xdotool("mousemove " + std::to_string(px + 30) + " " + std::to_string(py + 8) +
              " click --repeat 2 1");
    ASSERT_TRUE(WaitUntil([&] { return Writes(sim, "rcct") == "3"; }, 5000))
        << Writes(sim, "rcct") << "|" << Writes(sim, "rcpf");
    EXPECT_EQ(Writes(sim, "rcpf").substr(0, 22), "/sdc/kevrecfiles/a.drc");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ctl->Record(CKvsDevCtl::kSeqStat)->GetString(SstaF::cflp) ==
                   "/sdc/kevrecfiles/a.drc";
        },
        5000));
    x.Screenshot(KEVO_BINARY_DIR "/rec_xvfb_dblclk.png");
}

TEST_F(RecCtlXvfb, BarDraggedWhilePositionsArriveHoldsThenFollows) {
    LScrollBar& bar = view->Frame()->fBar;
    ChanSet("sqet", 600000);
    ChanSet("sqtm", 0);
    ASSERT_TRUE(WaitUntil([&] { return bar.Page() == 50000 && bar.GetValue() == 0; }, 5000));
    LoopDrained();
    const auto [bx, by] = OnScreen(bar);
    const i32 height = bar.Bounds().bottom - bar.Bounds().top;
    // The thumb sits at the track's start, past the arrow button.
    const int fromX = bx + height + 20, y = by + height / 2;
    i32 position = 1000;
    ChanSet("sqtm", position);
    x.XdotoolAsync("mousemove " + std::to_string(fromX) + " " + std::to_string(y) +
                   " mousedown 1 sleep 0.2 mousemove " + std::to_string(fromX + 150) + " " +
                   std::to_string(y) + " sleep 0.2 mousemove " + std::to_string(fromX + 300) + " " +
                   std::to_string(y) + " sleep 0.3 mouseup 1");
    // The device reports a new position every 100 ms all the while.
    auto report = [&] {
        position += 100;
        ChanSet("sqtm", position);
    };
    ASSERT_TRUE(WaitUntil(
        [&] {
            report();
            // The device's own rate of reports, the program running between them.
            WaitUntil([] { return false; }, 100);
            return bar.GetValue() > 150000 && !Writes(sim, "rclc").empty();
        },
        5000))
        << bar.GetValue() << " rclc " << Writes(sim, "rclc");
    // Until the hand lets go and the last write is taken in.
    Await("the pointer let go", [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    Await("the device idle after the drag", [&] {
        LoopDrained();
        return sim.Idle();
    });
    const std::string rclc = Writes(sim, "rclc");
    const i32 dropped = std::stoi(rclc.substr(rclc.rfind(' ') + 1));
    EXPECT_EQ(bar.GetValue(), dropped) << rclc;
    EXPECT_GT(dropped, 150000);
    // Positions within the hold do not move it; past it the bar follows them.
    report();
    Await("the report heard",
          [&] { return ctl->Record(CKvsDevCtl::kSeqStat)->GetI32(SstaF::sqtm) == position; });
    LoopDrained();
    EXPECT_EQ(bar.GetValue(), dropped);
    ASSERT_TRUE(WaitUntil(
        [&] {
            report();
            // The device's own rate of reports.
            WaitUntil([] { return false; }, 100);
            // Within a report and the native's step of 60 ms.
            return std::abs(bar.GetValue() - position) <= 200;
        },
        3000))
        << bar.GetValue() << " device " << position;
    x.Screenshot(KEVO_BINARY_DIR "/rec_xvfb_bar.png");
}

// With the audio files shown, two takes each renamed "Take_gj" after their
// stop: the second asks about the first, by its name on the card; declined,
// the device hears no move and both takes stay.
TEST_F(RecCtlXvfb, ASecondTakeRenamedOntoTheFirstAsksWhicheverFolderIsShown) {
    CKvsRecCtlF* rec = view->Frame();
    CKvsFileFrm* files = rec->fFiles;
    LoopDrained();
    auto click = [&](LPane& pane) {
        const auto [px, py] = OnScreen(pane);
        return "mousemove " + std::to_string(px + pane.Bounds().Width() / 2) + " " +
               std::to_string(py + pane.Bounds().Height() / 2) + " click 1";
    };
    x.Xdotool(click(files->fTab1));
    ASSERT_TRUE(WaitUntil([&] { return files->fList->Kind() == 1; }, 5000));
    const std::string card = dir.Path() + "/d/sdc/kevrecfiles/";
    MessageWatch question(x, "key Escape");
    question.ShootNext(KEVO_BINARY_DIR "/rec_xvfb_second_take_asked.png");
    for (const int take : {1, 2}) {
        SCOPED_TRACE(take);
        // The first take's rename (its listing read and question) is over before
        // the next click, however busy the machine.
        ASSERT_TRUE(WaitUntil([] { return !QApplication::activeModalWidget(); }, 10000));
        LoopDrained();
        const auto recording = [&] {
            return ctl->Record(CKvsDevCtl::kSeqStat)->GetU8(SstaF::stat) == 3;
        };
        x.Xdotool(click(rec->fRec));
        // A click a busy machine lost is made again, as a person whose press
        // started nothing would.
        if (!WaitUntil(recording, 6000) && !QApplication::activeModalWidget())
            x.Xdotool(click(rec->fRec));
        ASSERT_TRUE(WaitUntil(recording, 15000));
        Answer typed(x,
                     "key ctrl+a ; xdotool type --delay 120 Take_gj ; xdotool sleep 0.3 key "
                     "Return");
        // The stop's rename runs inside the click: the click goes on its own.
        x.XdotoolAsync(click(rec->fStop));
        EXPECT_TRUE(WaitUntil([&] { return typed.Closed(); }, 8000));
        if (take == 1) {
            EXPECT_TRUE(
                WaitUntil([&] { return std::filesystem::exists(card + "Take_gj.drc"); }, 10000));
        } else {
            EXPECT_TRUE(
                WaitUntil([&] { return question.Shown() == 1 && !question.Open(); }, 10000));
        }
        Await("the device idle after the stop", [&] {
            LoopDrained();
            return sim.Idle();
        });
    }
    EXPECT_EQ(question.Text(), std::string(StdDialogText("KVSFILEOP", 12).View()) + "Take_gj.drc");
    std::string moves;
    for (const std::string& l : sim.Log())
        if (l.rfind("fm ", 0) == 0 && testtftp::SimDeviceProcess::Field(l, "op") == "mv")
            moves += testtftp::SimDeviceProcess::Field(l, "path") + " ";
    EXPECT_EQ(moves, "/sdc/kevrecfiles/REC0001.drc ");
    EXPECT_TRUE(std::filesystem::exists(card + "Take_gj.drc"));
    EXPECT_TRUE(std::filesystem::exists(card + "REC0002.drc"));
    x.Screenshot(KEVO_BINARY_DIR "/rec_xvfb_second_take.png");
    win->HideWindow();
}

// While a take records, Device > Rename… of Draft_c to the take's name is
// refused and said: nothing moves, and the stop leaves both files on the card.
TEST_F(RecCtlXvfb, ARenameOntoTheTakeBeingRecordedIsRefused) {
    CKvsRecCtlF* rec = view->Frame();
    CKvsFileList* list = rec->fFiles->fList;
    const std::string card = dir.Path() + "/d/sdc/kevrecfiles/";
    std::ofstream(card + "Draft_c.drc") << "draft";
    SignalFileListChanged(ctl->Record(CKvsDevCtl::kContents));
    ASSERT_TRUE(WaitUntil([&] { return list->Count() == 2; }, 10000));
    LoopDrained();
    auto click = [&](LPane& pane) {
        const auto [px, py] = OnScreen(pane);
        return "mousemove " + std::to_string(px + pane.Bounds().Width() / 2) + " " +
               std::to_string(py + pane.Bounds().Height() / 2) + " click 1";
    };
    x.Xdotool(click(rec->fRec));
    ASSERT_TRUE(WaitUntil(
        [&] { return ctl->Record(CKvsDevCtl::kSeqStat)->GetU8(SstaF::stat) == 3; }, 15000));
    ASSERT_EQ(std::string(rec->fName.GetText().View()), "REC0001");
    // Chosen without a click, which would load it into the recording device.
    for (u32 row = 0; row < list->Count(); ++row)
        if (list->ItemName(i32(row)) == LString("Draft_c.drc"))
            list->SetSelection(LRgn(LRect(0, i32(row), 1, i32(row) + 1)));
    ASSERT_EQ(list->SelectedNames(false).size(), 1u);
    LMenuBar bar(nullptr);
    bar.AddMenu(new LMenu(&bar, "DEVCTL"));
    LHandler::Send(LMenuBar_Ready, &bar, list);
    LMenuItem* rename = bar.FindEnabledItemByCommand(kCmdRename);
    ASSERT_NE(rename, nullptr);
    MessageWatch refusal(x, "key Return");
    {
        Answer typed(x, "key ctrl+a ; xdotool type --delay 120 REC0001 ; xdotool sleep 0.3 key "
                        "Return");
        LHandler::Send(LMenuItem_Selected, rename, list);
        EXPECT_TRUE(typed.Closed());
    }
    EXPECT_TRUE(WaitUntil([&] { return refusal.Shown() == 1 && !refusal.Open(); }, 10000));
    EXPECT_EQ(refusal.Text(),
              std::string(StdDialogText("KVSFILEOP", 16).View()) + "REC0001.drc");
    // The click on Stop goes to the window once the dialogs' focus is back on it.
    ASSERT_TRUE(WaitUntil([] { return !QApplication::activeModalWidget(); }, 10000));
    MWindow* native = AsMWindow(win->GetNativeWindow());
    if (!WaitUntil([&] { return native->isActiveWindow(); }, 1000))
        x.Xdotool("windowactivate " + std::to_string(native->winId()));
    ASSERT_TRUE(Await("the window active again",
                      [&] { return native->isActiveWindow() && native->ActiveForMs() > 150; }));
    LoopDrained();
    {
        Answer kept(x, "key Escape");
        x.XdotoolAsync(click(rec->fStop));
        EXPECT_TRUE(WaitUntil([&] { return kept.Closed(); }, 8000));
    }
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(card + "REC0001.drc"); }, 10000));
    Await("the device idle after the stop", [&] {
        LoopDrained();
        return sim.Idle();
    });
    for (const std::string& l : sim.Log())
        EXPECT_FALSE(l.rfind("fm ", 0) == 0 &&
                     testtftp::SimDeviceProcess::Field(l, "op") == "mv")
            << l;
    std::ifstream draft(card + "Draft_c.drc");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(draft), {}), "draft");
    win->HideWindow();
}

// The basic play edit of the same device: a start typed into the Start field
// and confirmed with Return leaves the caret there; a detected start then
// shows in the field at once, and reaches the device's request as asked.
TEST_F(RecCtlXvfb, ADetectedStartShowsInTheStartFieldAtOnce) {
    view.reset();
    CDrcCmdHandler edit(gApp, win.get(), ctl.get());
    CRecord* settings = edit.SeqSettings();
    InsertNewSequence(settings, nullptr, 0);
    CRecord* seq = settings->GetListItem(SqstF::sqcs, 0);
    for (u32 i = 0; i < 3; ++i) {
        InsertSceneUnique(seq, nullptr, SqncF::scns, i, nullptr);
        seq->GetListItem(SqncF::scns, i)
            ->GetChild(ScenF::ctdr)
            ->SetString(nullptr, SnctF::flnm, LString(("s" + std::to_string(i) + ".drc").c_str()));
    }
    edit.Frame()->SetBounds(LRect(0, 0, 700, 400));
    win->Window()->SetContentRect(LRect(100, 100, 1180, 760));
    edit.Frame()->SetBounds(LRect(0, 0, 1080, 660));
    edit.Frame()->List()->SelectCell(LCell{0, 0});
    edit.Frame()->SceneEdit()->List()->SelectCell(LCell{0, 1});
    edit.Frame()->SceneEdit()->Update();
    LoopDrained();
    CKvsScnPrmF* params = edit.Frame()->SceneEdit()->Params();
    CRecord* clip = seq->GetListItem(SqncF::scns, 1)->GetChild(ScenF::ctdr);
    ASSERT_EQ(params->Content(), clip);
    CTimeSlider& start = params->Fields().fStart;
    ASSERT_TRUE(start.IsShown());

    // Typed and confirmed with Return; then a click puts the caret in it.
    const auto [fx, fy] = OnScreen(start);
    const int cx = fx + 40, cy = fy + start.Bounds().Height() / 2;
    x.Xdotool("mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " click 1");
    const u32 clickedAt = LTickMs();
    Await("the start field taking keys", [&] { return start.Engine() != nullptr; });
    PacedKeys keys(x);
    keys.Keys("ctrl+a");
    keys.Text("00:00:05.00");
    keys.Keys("Return");
    ASSERT_TRUE(WaitUntil([&] { return clip->GetI32(SnctF::sttm) == 5000; }, 3000))
        << clip->GetI32(SnctF::sttm);
    // A click of its own, not the second of a double click.
    WaitUntil(
        [&] {
            return LTickMs() - clickedAt >
                   u32(QGuiApplication::styleHints()->mouseDoubleClickInterval()) + 50;
        },
        2000);
    const u64 seen = InputSeen::Instance().Releases();
    x.Xdotool("click 1");
    Await("the click taken", [&] { return InputSeen::Instance().Releases() > seen; });
    LoopDrained();
    ASSERT_TRUE(start.State() & LPane::kFocused);

    sim.Cmd("svc-clear serno=307");
    sim.Cmd("svc-reply serno=307 name=drcfindev text=100%201.234");
    // The detect dialog answered with Return as it comes, inside its own loop.
    {
        Answer detect(x, "key Return");
        edit.DetectStart();
        EXPECT_TRUE(detect.Done());
    }
    EXPECT_EQ(clip->GetI32(SnctF::sttm), 1234);
    LoopDrained();
    // The field shows the start in its own hundredths, and gives it back whole.
    EXPECT_STREQ(start.GetText().CStr(), "00:00:01.23");
    EXPECT_EQ(start.GetScaledValue(1000), 1234);
    // Asked about the clip of the scene selected, once.
    std::string asked;
    for (const std::string& l : sim.Log())
        if (l.rfind("svc ", 0) == 0 && testtftp::SimDeviceProcess::Field(l, "op") == "req")
            asked += testtftp::SimDeviceProcess::Field(l, "name") + " ";
    EXPECT_EQ(asked, "drcfindev//s1.drc//real ");
    x.Screenshot(KEVO_BINARY_DIR "/rec_xvfb_detect_start.png");
    win->HideWindow();
}

// Trim, join and merge of the selected scenes, each name typed into its dialog
// with real keys: the device takes the requests for the clips chosen, under
// the names as the device rule makes them.
TEST_F(RecCtlXvfb, TrimJoinAndMergeOfSeveralScenesReachTheDevice) {
    view.reset();
    CDrcCmdHandler edit(gApp, win.get(), ctl.get());
    CRecord* settings = edit.SeqSettings();
    InsertNewSequence(settings, nullptr, 0);
    CRecord* seq = settings->GetListItem(SqstF::sqcs, 0);
    for (u32 i = 0; i < 4; ++i) {
        InsertSceneUnique(seq, nullptr, SqncF::scns, i, nullptr);
        seq->GetListItem(SqncF::scns, i)
            ->GetChild(ScenF::ctdr)
            ->SetString(nullptr, SnctF::flnm, LString(("s" + std::to_string(i) + ".drc").c_str()));
    }
    CRecord* clip = seq->GetListItem(SqncF::scns, 1)->GetChild(ScenF::ctdr);
    clip->SetI32(nullptr, SnctF::sttm, 2000);
    clip->SetI32(nullptr, SnctF::entm, 10250);
    win->Window()->SetContentRect(LRect(100, 100, 1180, 760));
    edit.Frame()->SetBounds(LRect(0, 0, 1080, 660));
    edit.Frame()->List()->SelectCell(LCell{0, 0});
    edit.Frame()->SceneEdit()->List()->SelectCell(LCell{0, 1});
    edit.Frame()->SceneEdit()->Update();
    LoopDrained();
    for (const char* name : {"drctrim", "drcjoin", "drcmerge"})
        sim.Cmd(std::string("svc-reply serno=307 name=") + name + " text=100");
    // The name dialog comes up inside the command's own loop: answered from there.
    auto typed = [&](const std::string& name) {
        return std::make_unique<Answer>(
            x, "key ctrl+a ; xdotool type --delay 100 " + name + " ; xdotool sleep 0.3 key Return");
    };
    {
        auto a = typed("cut/1");
        edit.TrimClip();
        EXPECT_TRUE(a->Done());
    }
    Await("the name dialog closed", [&] {
        LoopDrained();
        return sim.Idle();
    });
    // Rows 1 to 3: one block, so join as well as merge.
    edit.Frame()->SceneEdit()->List()->SetSelection(LRgn(LRect(0, 1, 1, 4)));
    {
        auto a = typed("all:3");
        edit.JoinScenes();
        EXPECT_TRUE(a->Done());
    }
    Await("the name dialog closed", [&] {
        LoopDrained();
        return sim.Idle();
    });
    {
        auto a = typed("mix.down");
        edit.MergeScenes();
        EXPECT_TRUE(a->Done());
    }
    Await("the name dialog closed", [&] {
        LoopDrained();
        return sim.Idle();
    });
    std::string asked;
    for (const std::string& l : sim.Log())
        if (l.rfind("svc ", 0) == 0 && testtftp::SimDeviceProcess::Field(l, "op") == "req")
            asked += testtftp::SimDeviceProcess::Field(l, "name") + " ";
    EXPECT_EQ(asked,
              "drctrim//s1.drc//cut_1.drc//2//10.25 drcjoin//all_3.drc drcmerge//mix_down.drc ");
    x.Screenshot(KEVO_BINARY_DIR "/rec_xvfb_services.png");
    win->HideWindow();
}

}  // namespace
