#include <gtest/gtest.h>

#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "ControlFixture.h"
#include "WalkSetup.h"
#include "MessageWatch.h"
#include "XvfbAnswer.h"
#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/CKvsUploads.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevWin.h"
#include "devices/CKvsUpldWin.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/files/CKvsFileList.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "framework/StdDialogs.h"
#include "records/DeviceKinds.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "editors/CKvsPlayCmd.h"
#include "editors/CKvsPlayFrm.h"
#include "platform/qt/QtWindows.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"
#include "tools/testkit/SimDeviceProcess.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// A device without a queue: nothing is listed or sent, the contents stay as set.
struct Link : MDevObjLink {
    Link() : contents(NewDeviceContentsRecord()) {}
    CReqQueue* DeviceQueue() override { return nullptr; }
    CRecord* ContentsRecord() override { return contents.Root(); }
    LHandler* DialogOwner() override { return nullptr; }
    CRecordDoc contents;
};

TEST(FilesXvfb, RealFileDragOntoTheDropAreaQueuesUploads) {
    XvfbHarness x;
    if (!x.Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    ControlEnv env("xcb");
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    testtftp::TempDir dir;
    const std::string a = dir.Path() + "/take 1.drc", b = dir.Path() + "/take2.drc";
    std::ofstream(a) << "one";
    std::ofstream(b) << "two";

    CKvsDevSet set;
    Link link;
    link.ContentsRecord()->SetU8(nullptr, DctsF::field0, 1);  // the audio tab
    CKvsDevCtl ctl(gApp, &set, 999);
    LFrame win(&ctl, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
    win.Window()->SetContentRect(LRect(100, 100, 500, 400));
    CKvsFileFrm frm(&win, &win, &link);
    frm.SetBounds(LRect(0, 0, 400, 300));
    win.ShowWindow();
    WaitShown(AsMWindow(win.GetNativeWindow()));
    ASSERT_EQ(frm.fDrop.Kind(), 1u);

    QWidget source;
    source.setWindowTitle("source");
    source.setGeometry(700, 100, 200, 200);
    source.show();
    WaitShown(&source);

    const LRect c = win.Window()->GetContentScreenRect();
    const LRect d = frm.fDrop.Bounds();
    const int toX = c.left + (d.left + d.right) / 2, toY = c.top + (d.top + d.bottom) / 2;
    const QPoint from = source.mapToGlobal(QPoint(100, 100));
    x.Xdotool("mousemove " + std::to_string(from.x()) + " " + std::to_string(from.y()) +
              " mousedown 1");
    Await("the press taken", [] { return bool(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    x.XdotoolAsync("sleep 0.3 mousemove " + std::to_string(from.x() - 30) + " " +
                   std::to_string(from.y()) + " sleep 0.2 mousemove " + std::to_string(toX) + " " +
                   std::to_string(toY) + " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                   QUrl::fromLocalFile(QString::fromStdString(b))});
    // Qt deletes the drag itself once it ended.
    auto* drag = new QDrag(&source);
    drag->setMimeData(mime);
    const Qt::DropAction done = drag->exec(Qt::CopyAction);
    EXPECT_EQ(done, Qt::CopyAction);
    ASSERT_TRUE(WaitUntil([&] { return ctl.Uploads() != nullptr; }, 3000));
    EXPECT_EQ(ctl.Uploads()->Jobs().JobsAdded(), 2u);

    // A second drop that lands on the upload window is refused, and it says why.
    CKvsUpldWin* up = ctl.Uploads()->Window();
    ASSERT_NE(up, nullptr);
    WaitShown(AsMWindow(up->GetNativeWindow()));
    EXPECT_FALSE(up->fHint.IsShown());
    const LRect u = up->Window()->GetContentScreenRect();
    const int upX = (u.left + u.right) / 2, upY = (u.top + u.bottom) / 2;
    x.Xdotool("mousemove " + std::to_string(from.x()) + " " + std::to_string(from.y()) +
              " mousedown 1");
    Await("the press taken", [] { return bool(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    x.XdotoolAsync("sleep 0.3 mousemove " + std::to_string(from.x() - 30) + " " +
                   std::to_string(from.y()) + " sleep 0.2 mousemove " + std::to_string(upX) + " " +
                   std::to_string(upY) + " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
    auto* again = new QMimeData;
    again->setUrls({QUrl::fromLocalFile(QString::fromStdString(a))});
    auto* second = new QDrag(&source);
    second->setMimeData(again);
    EXPECT_EQ(second->exec(Qt::CopyAction), Qt::IgnoreAction);
    WaitUntil([&] { return up->fHint.IsShown(); }, 3000);
    EXPECT_TRUE(up->fHint.IsShown());
    EXPECT_GT(up->fHint.Bounds().Width(), 0);
    EXPECT_EQ(ctl.Uploads()->Jobs().JobsAdded(), 2u) << "nothing more was queued";
    x.Screenshot(KEVO_BINARY_DIR "/files/xvfb_drop_refused.png");
    ctl.Uploads()->Jobs().CancelAll();
    LoopDrained();
    x.Screenshot(KEVO_BINARY_DIR "/files/xvfb_drop.png");
}

}  // namespace

// ---- The whole program in namespaces of the test's own: the device file list
// of a control window as a user meets it, every command by its menu item and
// its key, odd names typed and dropped, read back from the device's log.

namespace {

using testtftp::NetnsHarness;
using testtftp::SimDeviceProcess;

// The paths of the file commands the device took in, in order.
std::string DeviceRequests(SimDeviceProcess& sim, const std::string& prefix) {
    std::string out;
    for (const std::string& l : sim.Log()) {
        if (l.rfind("pkt ", 0) != 0 || SimDeviceProcess::Field(l, "dir") != "in") continue;
        const std::string op = SimDeviceProcess::Field(l, "op");
        const std::string path = SimDeviceProcess::Field(l, "path");
        if ((op != "WRQ" && op != "RRQ") || path.rfind(prefix, 0) != 0) continue;
        if (out.find(path) == std::string::npos) out += (out.empty() ? "" : " ") + path;
    }
    return out;
}

void FilesWalk(const XvfbHarness& x, NetnsHarness& net, const testtftp::TempDir& dir) {
    MenuDriver menus(x);
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    const std::string card = dir.Path() + "/1201/sdc";
    std::filesystem::create_directories(card + "/kevrecfiles");
    std::filesystem::create_directories(card + "/audiofiles");
    for (const char* n : {"a take.drc", "b take.drc", "c take.drc", "d keep.drc", "e spare.drc"})
        std::ofstream(card + "/kevrecfiles/" + n) << "DRC " << n;
    const std::string ouverture = "B\xC3\xBChne Ouvert\xC3\xBCre.wav";
    for (const std::string& n : {ouverture, std::string("My Song 01.wav")})
        std::ofstream(card + "/audiofiles/" + n) << "WAV " << n;
    ASSERT_EQ(
        sim.Cmd("add-device serno=1201 addr=198.18.1.11/24 listen=any root=" + dir.Path() + "/1201")
            .rfind("ok", 0),
        0u);
    const std::string local = dir.Path() + "/local";
    std::filesystem::create_directories(local + "/down");
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.Path().c_str()));
        qInstallMessageHandler(CollectWarnings);
        AppLaunch launch("xcb", dir.Path() + "/config");
        ASSERT_TRUE(launch.PrefsWritten());
        CKvsApp* kvs = launch.Launch();
        auto* devwin = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        ASSERT_TRUE(WaitUntil([&] { return kvs->DevDoc()->DeviceSet().Count() == 1; }, 15000));
        ASSERT_TRUE(menus.WaitActive(AsMWindow(devwin->GetNativeWindow()), 5000))
            << "the device window active";
        // The control window: a double click on the device's row.
        const QPoint row0 = ScreenPoint(devwin->fList, LPoint{60, 8});
        x.Xdotool(Where(row0) + " click --repeat 2 --delay 60 1");
        CKvsDevCtl* ctl = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                ctl = kvs->DevDoc()->FindController(1201);
                return ctl && ctl->WindowShown() && ctl->Screen()->FilesView();
            },
            15000));
        auto* view = dynamic_cast<CKvsFileListCtl*>(ctl->Screen()->FilesView());
        ASSERT_NE(view, nullptr);
        CKvsFileList* list = view->Frame()->fFiles->fList;
        // The record view goes when the play view comes: nothing of it is used after.
        ASSERT_TRUE(WaitUntil([&] { return list->Count() == 5; }, 10000)) << list->Count();
        MWindow* ctlwin = AsMWindow(ctl->Screen()->Window().GetNativeWindow());
        ASSERT_NE(ctlwin, nullptr);
        ASSERT_TRUE(menus.WaitActive(ctlwin, 5000)) << "the control window active";
        const QRect area = QApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(area.contains(ctlwin->frameGeometry()));
        auto rowOf = [&](const char* name) {
            for (u32 i = 0; i < list->Count(); ++i)
                if (list->ItemName(i32(i)) == name) return i32(i);
            return -1;
        };
        auto clickRow = [&](const char* name) {
            const i32 row = rowOf(name);
            EXPECT_GE(row, 0) << name;
            // The driver keeps it past the double-click time since the last
            // click: a click that selects.
            menus.Click(ScreenPoint(list, LPoint{30, row * list->CellHeight() + 6}));
            EXPECT_TRUE(WaitUntil(
                [&] { return list->SelectedNames(false) == std::vector<LString>{LString(name)}; },
                3000))
                << name;
        };
        // The log writes a blank in a path as "%20".
        const std::string rm = "/.cmd/fmrm///sdc/kevrecfiles/";
        const std::string mv = "/.cmd/fmmv///sdc/kevrecfiles/";
        // The Delete key about half a second after the click that chose the
        // file asks as it does later; declined, the file stays chosen.
        for (const char* name : {"d keep.drc", "c take.drc", "d keep.drc"}) {
            SCOPED_TRACE(name);
            clickRow(name);
            const u32 at = LTickMs();
            RunUntil([&] { return LTickMs() - at >= 500; }, 600);
            Answer no(x, "key Escape");
            menus.Key("Delete");
            EXPECT_TRUE(Await(
                "the question answered", [&] { return no.Closed(); }, 8000));
            LoopDrained();
            EXPECT_EQ(list->SelectedNames(false), std::vector<LString>{LString(name)});
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmrm"), "");

        // A press on a file, chosen already or not, in the window in front or
        // in the window behind the device window, where the press both brings
        // it forward and may start a drag; held a while, moved a pixel or not:
        // the Delete key half a second after the release asks about that file.
        // Declined, the device hears nothing; the last one is confirmed.
        struct PressRow {
            const char* what;
            bool behind;
            const char* before;  // the file chosen before the press
            const char* name;    // the file pressed
            const char* press;
        };
        const PressRow presses[] = {
            {"click, in front", false, "c take.drc", "c take.drc", "click 1"},
            {"held, in front", false, "c take.drc", "c take.drc",
             "mousedown 1 sleep 0.2 mouseup 1"},
            {"moved a pixel, in front", false, "c take.drc", "c take.drc",
             "mousedown 1 sleep 0.05 mousemove_relative 1 0 sleep 0.1 mouseup 1"},
            {"click, behind", true, "c take.drc", "c take.drc", "click 1"},
            {"held, behind", true, "c take.drc", "c take.drc", "mousedown 1 sleep 0.2 mouseup 1"},
            {"moved a pixel, behind", true, "c take.drc", "c take.drc",
             "mousedown 1 sleep 0.05 mousemove_relative 1 0 sleep 0.1 mouseup 1"},
            {"another file, behind", true, "d keep.drc", "c take.drc", "click 1"},
            {"another file held, behind", true, "c take.drc", "d keep.drc",
             "mousedown 1 sleep 0.2 mouseup 1"},
            {"another file, behind, confirmed", true, "c take.drc", "e spare.drc", "click 1"},
        };
        MWindow* devmw = AsMWindow(devwin->GetNativeWindow());
        ASSERT_NE(devmw, nullptr);
        auto chosen = [&] {
            std::string out;
            for (const LString& n : list->SelectedNames(false))
                out += "[" + std::string(n.CStr()) + "]";
            return out;
        };
        auto removals = [&] {
            std::string out;
            for (const std::string& l : sim.Log())
                if (l.rfind("fm ", 0) == 0 && SimDeviceProcess::Field(l, "op") == "rm")
                    out += "[" + SimDeviceProcess::Field(l, "dev") + " " +
                           std::filesystem::path(SimDeviceProcess::Field(l, "path"))
                               .filename()
                               .string() +
                           "]";
            return out;
        };
        for (const PressRow& p : presses) {
            SCOPED_TRACE(p.what);
            const bool confirm = &p == std::end(presses) - 1;
            if (chosen() != "[" + std::string(p.before) + "]") clickRow(p.before);
            // Past the double-click time since that click.
            const u32 calm = LTickMs();
            RunUntil([&] { return LTickMs() - calm >= 700; }, 800);
            if (p.behind) {
                x.Xdotool("windowactivate " + std::to_string(devmw->winId()));
                ASSERT_TRUE(menus.WaitActive(devmw, 5000)) << "the device window active";
            }
            ASSERT_EQ(chosen(), "[" + std::string(p.before) + "]");
            Answer answer(x, confirm ? "key Return" : "key Escape");
            x.XdotoolAsync(
                Where(ScreenPoint(list, LPoint{30, rowOf(p.name) * list->CellHeight() + 6})) + " " +
                p.press + " sleep 0.5 key Delete");
            EXPECT_TRUE(Await(
                "the question answered", [&] { return answer.Closed(); }, 8000));
            if (confirm) {
                EXPECT_TRUE(WaitUntil([&] { return list->Count() == 4; }, 10000));
                EXPECT_EQ(rowOf(p.name), -1);
            }
            LoopDrained();
            if (!confirm) {
                EXPECT_EQ(chosen(), "[" + std::string(p.name) + "]");
            }
            ASSERT_TRUE(menus.WaitActive(ctlwin, 5000)) << "the control window active";
        }
        EXPECT_EQ(removals(), "[1201 e%20spare.drc]");
        EXPECT_FALSE(std::filesystem::exists(card + "/kevrecfiles/e spare.drc"));

        sim.Cmd("log clear");

        // Delete by the Edit menu, confirmed with Return.
        clickRow("a take.drc");
        {
            Answer yes(x, "key Return");
            ASSERT_TRUE(menus.Choose(ctlwin, "Edit", "Delete"));
            EXPECT_TRUE(WaitUntil([&] { return yes.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil([&] { return list->Count() == 3; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmrm"), rm + "a%20take.drc");
        EXPECT_FALSE(std::filesystem::exists(card + "/kevrecfiles/a take.drc"));

        // Delete by its key; refused once, then confirmed.
        clickRow("b take.drc");
        {
            Answer no(x, "key Escape");
            menus.Key("Delete");
            EXPECT_TRUE(Await(
                "the question answered", [&] { return no.Closed(); }, 8000));
            LoopDrained();
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmrm"), rm + "a%20take.drc");
        {
            Answer yes(x, "key Return");
            menus.Key("Delete");
            EXPECT_TRUE(WaitUntil([&] { return yes.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil([&] { return list->Count() == 2; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmrm"), rm + "a%20take.drc " + rm + "b%20take.drc");

        // Rename by the Device menu to a name the device rule changes as it is typed.
        clickRow("c take.drc");
        {
            Answer typed(x, "key ctrl+a ; xdotool type 'x/y:z.' ; xdotool sleep 0.3 key Return");
            ASSERT_TRUE(menus.Choose(ctlwin, "Device", "Rename"));
            EXPECT_TRUE(WaitUntil([&] { return typed.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil([&] { return rowOf("x_y_z_.drc") >= 0; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"),
                  mv + "c%20take.drc///sdc/kevrecfiles/x_y_z_.drc");
        EXPECT_TRUE(std::filesystem::exists(card + "/kevrecfiles/x_y_z_.drc"));

        // Onto a name the card holds in other capitals, put there since the
        // list was read: asked by that name; agreed, that file is replaced
        // and the list shows the name once.
        std::ofstream(card + "/kevrecfiles/Loud_gj.DRC") << "DRC loud";
        sim.Cmd("log clear");
        clickRow("x_y_z_.drc");
        {
            Answer typed(x,
                         "key ctrl+a ; xdotool type --delay 100 Loud_gj ; xdotool sleep 0.3 "
                         "key Return");
            MessageWatch question(x, "key Return");
            ASSERT_TRUE(menus.Choose(ctlwin, "Device", "Rename"));
            EXPECT_TRUE(WaitUntil([&] { return typed.Closed() && question.Shown() == 1; }, 10000));
            EXPECT_EQ(question.Text(),
                      std::string(StdDialogText("KVSFILEOP", 12).View()) + "Loud_gj.DRC");
            EXPECT_TRUE(
                WaitUntil([&] { return list->Count() == 2 && rowOf("Loud_gj.DRC") >= 0; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"),
                  mv + "x_y_z_.drc///sdc/kevrecfiles/Loud_gj.DRC");
        EXPECT_FALSE(std::filesystem::exists(card + "/kevrecfiles/Loud_gj.drc"));
        {
            std::string held;
            std::getline(std::ifstream(card + "/kevrecfiles/Loud_gj.DRC"), held);
            EXPECT_EQ(held, "DRC c take.drc");
        }

        // In the audio files, a rename onto a name the card holds in other
        // capitals asks, by that name; declined, the device hears nothing and
        // both files stay; agreed, the move goes onto that file.
        CKvsFileFrm* frame = view->Frame()->fFiles;
        auto clickTab = [&](CStateButton& tab, u32 count) {
            const LRect tb = tab.Bounds();
            menus.Click(ScreenPoint(&tab, LPoint{tb.Width() / 2, tb.Height() / 2}));
            EXPECT_TRUE(WaitUntil([&] { return list->Count() == count; }, 10000)) << count;
        };
        auto heldAudio = [&](const std::string& name) {
            std::string got;
            std::getline(std::ifstream(card + "/audiofiles/" + name), got);
            return got;
        };
        clickTab(frame->fTab1, 2);
        const std::string moved =
            "/.cmd/fmmv///sdc/audiofiles/B%C3%BChne%20Ouvert%C3%BCre.wav///sdc/audiofiles/"
            "My%20Song%2001.wav";
        const std::string asked =
            std::string(StdDialogText("KVSFILEOP", 12).View()) + "My Song 01.wav";
        for (const bool agree : {false, true}) {
            SCOPED_TRACE(agree);
            sim.Cmd("log clear");
            clickRow(ouverture.c_str());
            Answer typed(x,
                         "key ctrl+a ; xdotool type --delay 100 my\\ song\\ 01 ; xdotool sleep 0.3 "
                         "key Return");
            MessageWatch question(x, agree ? "key Return" : "key Escape");
            if (!agree)
                question.ShootNext(std::string(KEVO_BINARY_DIR) + "/files/xvfb_rename_taken.png");
            ASSERT_TRUE(menus.Choose(ctlwin, "Device", "Rename"));
            EXPECT_TRUE(WaitUntil(
                [&] { return typed.Closed() && question.Shown() == 1 && !question.Open(); },
                10000));
            EXPECT_EQ(question.Text(), asked);
            LoopDrained();
            if (!agree) {
                EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"), "");
                EXPECT_EQ(heldAudio(ouverture), "WAV " + ouverture);
                EXPECT_EQ(heldAudio("My Song 01.wav"), "WAV My Song 01.wav");
                EXPECT_GE(rowOf(ouverture.c_str()), 0);
            }
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"), moved);
        EXPECT_TRUE(WaitUntil([&] { return list->Count() == 1; }, 10000));
        EXPECT_EQ(heldAudio("My Song 01.wav"), "WAV " + ouverture);
        x.Screenshot(std::string(KEVO_BINARY_DIR) + "/files/xvfb_walk_audio.png");
        clickTab(frame->fTab0, 2);

        // Download by the Device menu into a folder typed into the chooser.
        clickRow("d keep.drc");
        {
            Answer folder(
                x, "key ctrl+a ; xdotool type '" + local + "/down' ; xdotool sleep 0.3 key Return");
            ASSERT_TRUE(menus.Choose(ctlwin, "Device", "Download"));
            EXPECT_TRUE(WaitUntil([&] { return folder.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil(
                [&] { return std::filesystem::exists(local + "/down/d keep.drc"); }, 10000));
        }
        std::string got;
        std::getline(std::ifstream(local + "/down/d keep.drc"), got);
        EXPECT_EQ(got, "DRC d keep.drc");

        // Files dragged from a window of their own onto the drop area, as a person drags them.
        auto dragFiles = [&](CKvsFileDrop& drop, const std::vector<std::string>& files) {
            QList<QUrl> urls;
            for (const std::string& n : files) {
                if (!std::filesystem::exists(local + "/" + n))
                    std::ofstream(local + "/" + n) << "DRC dropped " << n;
                urls << QUrl::fromLocalFile(QString::fromStdString(local + "/" + n));
            }
            QWidget source;
            source.setWindowTitle("source");
            const QRect cw = ctlwin->frameGeometry();
            source.setGeometry(std::min(cw.right() + 20, area.right() - 220), area.top() + 400, 200,
                               200);
            source.show();
            WaitShown(&source);
            const QPoint to =
                ScreenPoint(&drop, LPoint{drop.Bounds().Width() / 2, drop.Bounds().Height() / 2});
            const QPoint from = source.mapToGlobal(QPoint(100, 100));
            x.Xdotool(Where(from) + " mousedown 1");
            Await("the press taken",
                  [] { return bool(QGuiApplication::mouseButtons() & Qt::LeftButton); });
            x.XdotoolAsync("sleep 0.3 mousemove " + std::to_string(from.x() - 30) + " " +
                           std::to_string(from.y()) + " sleep 0.2 " + Where(to) +
                           " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
            auto* mime = new QMimeData;
            mime->setUrls(urls);
            auto* drag = new QDrag(&source);
            drag->setMimeData(mime);
            EXPECT_EQ(drag->exec(Qt::CopyAction), Qt::CopyAction);
            return to;
        };

        // Two files of one drop that the card would hold as one: said, neither sent,
        // and the card keeps what it holds.
        {
            sim.Cmd("log clear");
            MessageWatch said(x, "key Return");
            said.ShootNext(std::string(KEVO_BINARY_DIR) + "/files/xvfb_drop_one_name.png");
            dragFiles(view->Frame()->fFiles->fDrop, {"Dup_gj.drc", "Dup_gj.DRC"});
            EXPECT_TRUE(WaitUntil([&] { return said.Shown() == 1 && !said.Open(); }, 10000));
            EXPECT_EQ(said.Text(), std::string(StdDialogText("KVSFILEDROP", 3).View()) +
                                       "Dup_gj.drc, Dup_gj.DRC");
            LoopDrained();
            EXPECT_EQ(DeviceRequests(sim, "/sdc/kevrecfiles/Dup"), "");
            EXPECT_FALSE(std::filesystem::exists(card + "/kevrecfiles/Dup_gj.drc"));
        }

        // Files dropped with odd names reach the card as the device rule names them.
        {
            const std::vector<std::string> odd = {"nl\nz.drc", "tab\tq.drc", "x.y.drc"};
            const QPoint to = dragFiles(view->Frame()->fFiles->fDrop, odd);
            auto held = [&] {
                std::string names;
                for (const auto& e : std::filesystem::directory_iterator(card + "/kevrecfiles"))
                    names += "[" + e.path().filename().string() + "]";
                return names;
            };
            ASSERT_TRUE(WaitUntil(
                [&] {
                    return std::filesystem::exists(card + "/kevrecfiles/x_y.drc") &&
                           std::filesystem::exists(card + "/kevrecfiles/nl_z.drc") &&
                           std::filesystem::exists(card + "/kevrecfiles/tab_q.drc");
                },
                20000))
                << held() << " uploads "
                << (ctl->Uploads() ? ctl->Uploads()->Jobs().JobsAdded() : 0);
            // The upload window stands beside the control window, not over its drop area.
            MWindow* up = AsMWindow(ctl->Uploads()->Window()->GetNativeWindow());
            ASSERT_NE(up, nullptr);
            WaitShown(up);
            EXPECT_FALSE(up->frameGeometry().contains(to)) << "over the drop area";
            EXPECT_TRUE(area.contains(up->frameGeometry()));
            for (const auto& e : std::filesystem::directory_iterator(card + "/kevrecfiles"))
                for (const char c : e.path().filename().string())
                    EXPECT_GE(u8(c), 32) << e.path().filename();
            x.Screenshot(std::string(KEVO_BINARY_DIR) + "/files/xvfb_walk_dropped.png");
        }
        EXPECT_TRUE(WaitUntil([&] { return rowOf("nl_z.drc") >= 0; }, 10000));
        x.Screenshot(std::string(KEVO_BINARY_DIR) + "/files/xvfb_walk.png");

        // Record, then stop: the recording is offered for a rename, typed oddly.
        x.Xdotool("windowactivate " + std::to_string(ctlwin->winId()));
        WaitUntil([&] { return QApplication::activeWindow() == ctlwin; }, 3000);
        sim.Cmd("log clear");
        CKvsRecCtlF* rec = view->Frame();
        const LRect rb = rec->fRec.Bounds(), sb = rec->fStop.Bounds();
        ASSERT_TRUE(menus.WaitActive(ctlwin)) << "the control window active";
        menus.Click(ScreenPoint(&rec->fRec, LPoint{rb.Width() / 2, rb.Height() / 2}));
        ASSERT_TRUE(WaitUntil(
            [&] { return ctl->Record(CKvsDevCtl::kSeqStat)->GetU8(SstaF::stat) == 3; }, 5000));
        EXPECT_STREQ(rec->RecImage(), "RECONBTN");
        {
            Answer typed(
                x, "key ctrl+a ; xdotool type --delay 100 ../x/y:z ; xdotool sleep 0.3 key Return");
            x.XdotoolAsync(
                Where(ScreenPoint(&rec->fStop, LPoint{sb.Width() / 2, sb.Height() / 2})) +
                " click 1");
            EXPECT_TRUE(WaitUntil([&] { return typed.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil([&] { return rowOf("___x_y_z.drc") >= 0; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"),
                  mv + "REC0001.drc///sdc/kevrecfiles/___x_y_z.drc");
        EXPECT_TRUE(std::filesystem::exists(card + "/kevrecfiles/___x_y_z.drc"));

        // The play settings view: its own file list takes the same commands.
        x.Xdotool("windowactivate " + std::to_string(ctlwin->winId()));
        ASSERT_TRUE(menus.WaitActive(ctlwin)) << "the control window active";
        LPopupList& pop = ctl->Screen()->Window().fView;
        // The driver's click waits until the window takes clicks (one at once
        // after it came forward only brings it forward).
        menus.Click(ScreenPoint(&pop, LPoint{20, pop.Bounds().Height() / 2}));
        ASSERT_TRUE(WaitUntil([] { return QApplication::activePopupWidget() != nullptr; }, 3000))
            << "the view pop-up open";
        menus.Key("Down Return");
        ASSERT_TRUE(WaitUntil([&] { return ctl->Screen()->PlayView() != nullptr; }, 15000));
        auto* play = dynamic_cast<CKvsPlayCmd*>(ctl->Screen()->PlayView());
        ASSERT_NE(play, nullptr);
        CKvsFileFrm* files = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                auto* basic = dynamic_cast<CDrcCmdHandler*>(play);
                files = basic ? dynamic_cast<CKvsFileFrm*>(basic->Frame()->FilePane()) : nullptr;
                return files && files->IsShown() && files->fList->Count() == 6;
            },
            10000));
        ASSERT_TRUE(menus.WaitActive(ctlwin, 5000)) << "the control window active";
        EXPECT_TRUE(area.contains(ctlwin->frameGeometry()));
        list = files->fList;
        sim.Cmd("log clear");
        clickRow("tab_q.drc");
        {
            Answer yes(x, "key Return");
            ASSERT_TRUE(menus.Choose(ctlwin, "Edit", "Delete"));
            EXPECT_TRUE(WaitUntil([&] { return yes.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil([&] { return list->Count() == 5; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmrm"), rm + "tab_q.drc");
        clickRow("x_y.drc");
        {
            Answer typed(
                x,
                "key ctrl+a ; xdotool type --delay 100 late\\ take ; xdotool sleep 0.3 key Return");
            ASSERT_TRUE(menus.Choose(ctlwin, "Device", "Rename"));
            EXPECT_TRUE(WaitUntil([&] { return typed.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil([&] { return rowOf("late take.drc") >= 0; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"),
                  mv + "x_y.drc///sdc/kevrecfiles/late%20take.drc");
        clickRow("nl_z.drc");
        {
            Answer yes(x, "key Return");
            menus.Key("Delete");
            EXPECT_TRUE(WaitUntil([&] { return yes.Done(); }, 8000));
            EXPECT_TRUE(WaitUntil([&] { return list->Count() == 4; }, 10000));
        }
        EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmrm"), rm + "tab_q.drc " + rm + "nl_z.drc");

        // On a slow card two files are dropped; while the first is written, a
        // rename onto the name the second will take is refused, said: the
        // upload would replace the renamed recording. Both end as they were.
        {
            sim.Cmd("set serno=1201 pause-ms=1500 pause-every=2000");
            sim.Cmd("log clear");
            std::ofstream(local + "/Big_1.drc") << std::string(16000, 'B');
            dragFiles(files->fDrop, {"Big_1.drc", "Late_gj.drc"});
            EXPECT_TRUE(WaitUntil(
                [&] {
                    return StrEqual(ctl->Uploads()->Jobs().GetUploadName().CStr(), "Big_1.drc");
                },
                10000));
            clickRow("late take.drc");
            Answer typed(x,
                         "key ctrl+a ; xdotool type --delay 100 Late_gj ; xdotool sleep 0.3 "
                         "key Return");
            MessageWatch said(x, "key Return");
            said.ShootNext(std::string(KEVO_BINARY_DIR) + "/files/xvfb_rename_queued.png");
            ASSERT_TRUE(menus.Choose(ctlwin, "Device", "Rename"));
            EXPECT_TRUE(WaitUntil([&] { return typed.Closed() && said.Shown() == 1; }, 20000));
            EXPECT_EQ(said.Text(),
                      std::string(StdDialogText("KVSFILEOP", 15).View()) + "Late_gj.drc");
            EXPECT_TRUE(WaitUntil([&] { return !said.Open(); }, 5000));
            EXPECT_TRUE(WaitUntil([&] { return !ctl->Uploads()->Pending(); }, 60000));
            sim.Cmd("set serno=1201 pause-ms=0 pause-every=0");
            EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"), "");
            std::string held;
            std::getline(std::ifstream(card + "/kevrecfiles/Late_gj.drc"), held);
            EXPECT_EQ(held, "DRC dropped Late_gj.drc");
            EXPECT_TRUE(std::filesystem::exists(card + "/kevrecfiles/late take.drc"));
            EXPECT_EQ(ctl->Uploads()->Window()->fList->Count(), 0u) << "none failed";
            EXPECT_TRUE(WaitUntil([&] { return rowOf("Late_gj.drc") >= 0; }, 10000));
        }

        // With the play settings shown nothing reads the device's status, and it
        // begins a take by itself (its schedule): a rename onto the take's name
        // is refused, said, and the take's stop leaves both files on the card.
        {
            ASSERT_EQ(sim.Cmd("rec-self serno=1201 act=start path=/sdc/kevrecfiles/REC0102.drc")
                          .rfind("ok", 0),
                      0u);
            sim.Cmd("log clear");
            clickRow("late take.drc");
            Answer typed(x,
                         "key ctrl+a ; xdotool type --delay 110 REC0102 ; xdotool sleep 0.3 "
                         "key Return");
            MessageWatch said(x, "key Return");
            ASSERT_TRUE(menus.Choose(ctlwin, "Device", "Rename"));
            EXPECT_TRUE(WaitUntil([&] { return typed.Closed() && said.Shown() == 1; }, 20000));
            EXPECT_EQ(said.Text(),
                      std::string(StdDialogText("KVSFILEOP", 16).View()) + "REC0102.drc");
            EXPECT_TRUE(WaitUntil([&] { return !said.Open(); }, 5000));
            EXPECT_EQ(DeviceRequests(sim, "/.cmd/fmmv"), "");
            ASSERT_EQ(sim.Cmd("rec-self serno=1201 act=stop").rfind("ok", 0), 0u);
            std::string take;
            std::getline(std::ifstream(card + "/kevrecfiles/REC0102.drc"), take);
            EXPECT_EQ(take, "DRC");
            EXPECT_TRUE(std::filesystem::exists(card + "/kevrecfiles/late take.drc"));
        }
        x.Screenshot(std::string(KEVO_BINARY_DIR) + "/files/xvfb_walk_play.png");

        // Copy the show to USB storage from the Play menu: a show of one scene
        // whose recording the card no longer holds; every question confirmed.
        {
            auto* basic = dynamic_cast<CDrcCmdHandler*>(play);
            ASSERT_NE(basic, nullptr);
            InsertNewSequence(basic->SeqSettings(), nullptr, 0);
            CRecord* seq = basic->SeqSettings()->GetListItem(SqstF::sqcs, 0);
            InsertSceneUnique(seq, nullptr, SqncF::scns, 0, nullptr);
            seq->GetListItem(SqncF::scns, 0)
                ->GetChild(ScenF::ctdr)
                ->SetString(nullptr, SnctF::flnm, LString("gone.drc"));
            std::filesystem::create_directories(dir.Path() + "/1201/ums");
            sim.Cmd("log clear");
            std::vector<std::string> said;
            QTimer answer;
            std::set<QWidget*> answered;
            u32 seenAt = 0;
            QObject::connect(&answer, &QTimer::timeout, [&] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* m = dynamic_cast<MWindow*>(w);
                    if (!m || !m->isVisible() || answered.count(w) || w == ctlwin) continue;
                    auto* msg = m->Owner()
                                    ? dynamic_cast<CSimpleMessageDialog*>(m->Owner()->GetFrame())
                                    : nullptr;
                    if (!msg) continue;
                    if (!seenAt) seenAt = LTickMs();
                    if (LTickMs() - seenAt < 500) return;
                    said.push_back(msg->fMessage.GetText().CStr());
                    answered.insert(w);
                    seenAt = 0;
                    x.XdotoolAsync("key Return");
                    return;
                }
            });
            answer.start(20);
            ASSERT_TRUE(menus.Choose(ctlwin, "Play", "Copy Show to USB"));
            const std::string last = StdDialogText("KVSCOPYUMS", 8).CStr();
            EXPECT_TRUE(WaitUntil([&] { return said.size() >= 3 && said.back() == last; }, 20000))
                << said.size();
            // The last message answered and gone: nothing more is asked.
            Await("the last message closed", [&] {
                for (QWidget* w : answered)
                    if (QApplication::topLevelWidgets().contains(w) && w->isVisible()) return false;
                return true;
            });
            LoopDrained();
            answer.stop();
            ASSERT_GE(said.size(), 3u);
            // The show's files counted in a question that reads right for one.
            EXPECT_NE(said[0].find("(1)"), std::string::npos) << said[0];
            EXPECT_NE(said[0].find("gone.drc"), std::string::npos) << said[0];
            EXPECT_EQ(said[0].find("These 1"), std::string::npos) << said[0];
            EXPECT_EQ(said.back(), std::string(StdDialogText("KVSCOPYUMS", 8).CStr()));
            EXPECT_NE(DeviceRequests(sim, "/.cmd/fsflush"), "");
        }
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    }));
}

TEST(FilesWalk, EveryCommandOfTheFileListByMenuAndKeyReachesTheDevice) {
    std::filesystem::create_directories(KEVO_BINARY_DIR "/files");
    WalkInChild("1280x800", "fileswalk", FilesWalk);
}

}  // namespace
