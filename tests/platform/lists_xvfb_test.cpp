// The editor lists of a control window as a user meets them, under a real X
// server with a window manager (Xvfb, openbox, xdotool) against a simulated
// device in namespaces of the test's own (root only): names of several
// characters typed into the sequence, scene, schedule and aux-play rows and
// the title of a new play button, each edit ended another way; rows chosen
// with Shift and Control; Cut, Copy, Paste, Delete, Undo and Redo from the
// menus and their keys. The device's log is read back: every name written
// once, whole, to the device meant. Screenshots: lists_<name>.png in the
// build folder. One QApplication per process: the walk runs in a child.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "XvfbHarness.h"
#include "base/Clock.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevWin.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/PlayHooks.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtWindows.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

constexpr u32 kSerial = 305;

std::vector<std::string> gWarnings;

void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg) gWarnings.push_back(text.toStdString());
    std::fprintf(stderr, "qt: %s\n", text.toUtf8().constData());
}

bool RunUntil(const std::function<bool()>& pred, u32 ms) {
    for (const u32 start = LTickMs(); !pred() && LTickMs() - start < ms;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

void Settle(u32 ms = 300) {
    RunUntil([] { return false; }, ms);
}

// A point of a pane on the screen.
QPoint At(LPane* pane, LPoint at) {
    LWindow* w = LWindow::FindByNative(pane->GetNativeWindow());
    const LRect c = w ? w->GetContentScreenRect() : LRect();
    const u64 tl = pane->GetTopLeftIn(nullptr);
    return QPoint(c.left + i32(LPane::UnpackX(tl)) + at.x, c.top + i32(LPane::UnpackY(tl)) + at.y);
}

QPoint Center(LPane* pane) {
    return At(pane, LPoint{pane->Bounds().Width() / 2, pane->Bounds().Height() / 2});
}

// A row of a list: x from its left, or from the right of what is seen of it
// when negative (where the rows keep their name fields).
QPoint Row(LListPane* list, i32 row, i32 x) {
    const i32 w = std::min(list->CellWidth(), list->Bounds().Width());
    return At(list, LPoint{x >= 0 ? x : w + x, row * list->CellHeight() + list->CellHeight() / 2});
}

std::string Rows(const LListPane* list) {
    std::string out;
    LSelIter it;
    it.Init(list->Selection(), false, false);
    while (it.Next()) out += std::to_string(it.Cell().row) + " ";
    return out;
}

class User {
public:
    explicit User(const XvfbHarness& x) : fX(x) {}
    void Click(QPoint p, const std::string& mods = "", int count = 1) {
        std::string cmd = Where(p);
        if (!mods.empty()) cmd += " keydown " + mods;
        cmd += " click --repeat " + std::to_string(count) + " --delay 60 1";
        if (!mods.empty()) cmd += " keyup " + mods;
        fX.Xdotool(cmd);
        Settle(250);
    }
    void Key(const std::string& keys) {
        fX.Xdotool("key " + keys);
        Settle(250);
    }
    void Type(const std::string& text) {
        fX.Xdotool("type --delay 40 '" + text + "'");
        Settle(250);
    }
    // Chooses the item of a menu of the window's bar with the pointer; false
    // when it is missing or disabled.
    bool Choose(QWidget* w, const QString& title, const QString& prefix) {
        QMenuBar* bar = w ? w->findChild<QMenuBar*>() : nullptr;
        if (!bar) return false;
        for (QAction* a : bar->actions()) {
            if (a->text().remove('&') != title || !a->menu()) continue;
            fX.Xdotool(Where(bar->mapToGlobal(bar->actionGeometry(a).center())) + " click 1");
            QMenu* menu = a->menu();
            if (!RunUntil([&] { return menu->isVisible(); }, 3000)) return false;
            for (QAction* item : menu->actions()) {
                if (!item->text().startsWith(prefix)) continue;
                if (!item->isEnabled()) break;
                fX.Xdotool(Where(menu->mapToGlobal(menu->actionGeometry(item).center())) +
                           " click 1");
                Settle(300);
                return true;
            }
            Key("Escape");
            return false;
        }
        return false;
    }
    // Whether the item of that menu is enabled, as the bar shows it when opened.
    bool Enabled(QWidget* w, const QString& title, const QString& prefix) {
        QMenuBar* bar = w ? w->findChild<QMenuBar*>() : nullptr;
        if (!bar) return false;
        bool on = false;
        for (QAction* a : bar->actions()) {
            if (a->text().remove('&') != title || !a->menu()) continue;
            fX.Xdotool(Where(bar->mapToGlobal(bar->actionGeometry(a).center())) + " click 1");
            QMenu* menu = a->menu();
            RunUntil([&] { return menu->isVisible(); }, 3000);
            for (QAction* item : menu->actions())
                if (item->text().startsWith(prefix)) on = item->isEnabled();
            Key("Escape");
        }
        return on;
    }
    void Shot(const std::string& name) {
        fX.Screenshot(std::string(KEVO_BINARY_DIR) + "/lists_" + name + ".png");
    }

private:
    static std::string Where(QPoint p) {
        return "mousemove " + std::to_string(p.x()) + " " + std::to_string(p.y());
    }
    const XvfbHarness& fX;
};

// The values written to a field of the device's channels, in order.
std::vector<std::string> Written(SimDeviceProcess& sim, const std::string& field) {
    std::vector<std::string> out;
    for (const std::string& line : sim.Log()) {
        if (line.rfind("chan ", 0) != 0 || line.find("op=write") == std::string::npos) continue;
        const std::string path = SimDeviceProcess::Field(line, "path");
        if (SimDeviceProcess::Field(line, "dev") != std::to_string(kSerial)) continue;
        if (path.size() > field.size() &&
            path.substr(path.size() - field.size() - 1) == "/" + field)
            out.push_back(SimDeviceProcess::Field(line, "value"));
    }
    return out;
}

// Every name typed reached the device whole and once, and nothing else was
// written there.
void ExpectNames(SimDeviceProcess& sim, const std::string& field, std::vector<std::string> names) {
    sim.WaitIdle(5000);
    RunUntil([&] { return Written(sim, field).size() >= names.size(); }, 5000);
    sim.WaitIdle(3000);
    std::vector<std::string> got = Written(sim, field);
    std::sort(got.begin(), got.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(got, names) << field;
}

MWindow* WindowOf(LFrame* f) {
    return f ? AsMWindow(f->GetNativeWindow()) : nullptr;
}

void Walk(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    ASSERT_EQ(
        sim.Cmd("add-device serno=305 addr=198.18.1.12/24 listen=any root=" + dir.Path() + "/305")
            .rfind("ok", 0),
        0u);
    // The device shows its play settings in the control window.
    sim.Cmd("chan-set serno=305 path=/.cmd/udkvtset/fnmd value=1");
    User user(x);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.Path().c_str()));
        qInstallMessageHandler(CollectWarnings);
        AppLaunch launch("xcb", dir.Path() + "/config");
        QtMenuServices::SetAppName(QStringLiteral("KEVOruneSet"));
        CKvsApp* kvs = launch.Launch();
        auto* devwin = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        CKvsDevSet& set = kvs->DevDoc()->DeviceSet();
        ASSERT_TRUE(RunUntil([&] { return set.Count() == 1 && devwin->IsShown(); }, 15000));
        Settle(500);

        // The control window, opened with a double click on the device's row.
        user.Click(Row(devwin->fList, 0, 40));
        Settle(700);
        user.Click(Row(devwin->fList, 0, 40), "", 2);
        CKvsDevCtl* ctl = kvs->DevDoc()->FindController(kSerial);
        ASSERT_NE(ctl, nullptr);
        ASSERT_TRUE(
            RunUntil([&] { return ctl->WindowShown() && ctl->Screen()->PlayView(); }, 20000));
        auto* view = dynamic_cast<CDrcCmdHandler*>(ctl->Screen()->PlayView());
        ASSERT_NE(view, nullptr);
        MWindow* ctlwin = WindowOf(&ctl->Screen()->Window());
        ASSERT_TRUE(RunUntil([&] { return QApplication::activeWindow() == ctlwin; }, 5000));
        Settle(500);
        CKvsPlayFrm* frame = view->Frame();
        CKvsSeqList* seqs = frame->List();
        CKvsScnList* scenes = frame->SceneEdit()->List();
        CRecord* settings = view->SeqSettings();

        // ---- sequences: two added with the plus button, each named.
        sim.Cmd("log clear");
        for (int i = 0; i < 2; ++i) user.Click(Center(&frame->PlusButton()));
        ASSERT_TRUE(RunUntil([&] { return settings->GetListCount(SqstF::sqcs) == 2; }, 3000));
        Settle(500);
        user.Click(Row(seqs, 0, -30));
        user.Type("Opening");
        user.Key("Return");
        user.Click(Row(seqs, 1, -30));
        user.Type("Finale");
        user.Key("Tab");
        auto seqName = [&](u32 i) {
            return std::string(
                settings->GetListItem(SqstF::sqcs, i)->GetString(SqncF::sqnm).CStr());
        };
        EXPECT_EQ(seqName(0), "Opening");
        EXPECT_EQ(seqName(1), "Finale");
        ExpectNames(sim, "sqnm", {"Opening", "Finale"});
        user.Shot("sequences");

        // ---- scenes of the first sequence: three added, two named.
        user.Click(Row(seqs, 0, 8));
        ASSERT_EQ(Rows(seqs), "0 ");
        CRecord* seq = settings->GetListItem(SqstF::sqcs, 0);
        for (int i = 0; i < 3; ++i) user.Click(Center(&frame->SceneEdit()->PlusButton()));
        ASSERT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        Settle(500);
        sim.Cmd("log clear");
        user.Click(Row(scenes, 0, -30));
        user.Type("Intro");
        user.Key("Return");
        user.Click(Row(scenes, 1, -30));
        user.Type("Chorus");
        // Ended by a click elsewhere: the sequence list's empty part.
        user.Click(Row(seqs, 4, 8));
        auto scnName = [&](u32 i) {
            return std::string(seq->GetListItem(SqncF::scns, i)->GetString(ScenF::snnm).CStr());
        };
        EXPECT_EQ(scnName(0), "Intro");
        EXPECT_EQ(scnName(1), "Chorus");
        ExpectNames(sim, "snnm", {"Intro", "Chorus"});
        user.Shot("scenes");

        // ---- rows chosen: Shift extends, Control adds or takes away.
        user.Click(Row(seqs, 0, 8));
        user.Click(Row(scenes, 0, 8));
        EXPECT_EQ(Rows(scenes), "0 ");
        user.Click(Row(scenes, 2, -30), "shift");
        EXPECT_EQ(Rows(scenes), "0 1 2 ");
        user.Click(Row(scenes, 1, -30), "ctrl");
        EXPECT_EQ(Rows(scenes), "0 2 ");
        user.Click(Row(scenes, 1, 8), "ctrl");
        EXPECT_EQ(Rows(scenes), "0 1 2 ");

        // ---- the Edit menu on the scene list: Copy, Paste, Delete, Undo, Redo, Cut.
        user.Click(Row(scenes, 0, 8));
        EXPECT_TRUE(user.Enabled(ctlwin, "Edit", "Delete"));
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Copy"));
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Paste"));
        EXPECT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 4; }, 3000));
        // The copy goes before the selected row, under a name of its own.
        EXPECT_EQ(scnName(0), "Intro_2");
        EXPECT_EQ(scnName(1), "Intro");
        user.Key("Delete");
        EXPECT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        user.Key("ctrl+z");
        EXPECT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 4; }, 3000));
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Redo"));
        EXPECT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        // Cut by its key, pasted by its key at the end (nothing selected there).
        user.Click(Row(scenes, 1, 8));
        ASSERT_EQ(scnName(1), "Chorus");
        user.Key("ctrl+x");
        EXPECT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 2; }, 3000));
        user.Click(Row(scenes, 0, 8));
        user.Key("ctrl+v");
        EXPECT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        EXPECT_EQ(scnName(0), "Chorus");
        // Reordered by a drag of the row below the last one.
        {
            const QPoint from = Row(scenes, 0, 8);
            const QPoint to = Row(scenes, 3, 8) - QPoint(0, scenes->CellHeight() / 2 - 3);
            auto xy = [](QPoint p) { return std::to_string(p.x()) + " " + std::to_string(p.y()); };
            x.Xdotool("mousemove " + xy(from) + " mousedown 1");
            x.XdotoolAsync("sleep 0.6 mousemove " + xy(from + QPoint(6, 8)) +
                           " sleep 0.3 mousemove " + xy(to) +
                           " sleep 0.3 mousemove_relative 1 1 sleep 0.3 mouseup 1");
            EXPECT_TRUE(RunUntil([&] { return scnName(2) == "Chorus"; }, 8000));
            Settle(300);
        }
        EXPECT_EQ(seq->GetListCount(SqncF::scns), 3u);
        EXPECT_EQ(scnName(0), "Intro");

        // ---- the sequence list: Copy and Paste by the keys, Delete by the menu.
        user.Click(Row(seqs, 1, 8));
        user.Key("ctrl+c");
        user.Key("ctrl+v");
        EXPECT_TRUE(RunUntil([&] { return settings->GetListCount(SqstF::sqcs) == 3; }, 3000));
        EXPECT_EQ(seqName(1), "Finale_2");
        EXPECT_EQ(seqName(2), "Finale");
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Delete"));
        EXPECT_TRUE(RunUntil([&] { return settings->GetListCount(SqstF::sqcs) == 2; }, 3000));
        user.Shot("edited");
        sim.WaitIdle(3000);
        Settle(1500);
        sim.WaitIdle(3000);
        // The device holds what the window shows.
        EXPECT_EQ(SimDeviceProcess::Field(sim.Cmd("chan-get serno=305 path=/.cmd/udseqset/sqcs"),
                                          "value"),
                  "2");

        // ---- Play Buttons: a fresh grid shows its one button, titled whole.
        sim.Cmd("log clear");
        ASSERT_TRUE(user.Choose(ctlwin, "Play", "Play Buttons"));
        LFrame* btnwin = nullptr;
        ASSERT_TRUE(RunUntil(
            [&] {
                btnwin = view->Window(PlayWindow::kButtons);
                return btnwin && btnwin->IsShown();
            },
            5000));
        auto* asn = dynamic_cast<CKvsPlayAsnWin*>(btnwin);
        ASSERT_NE(asn, nullptr);
        Settle(700);
        user.Shot("buttons_fresh");
        EXPECT_EQ(asn->fList.Cols() * 10 + asn->fList.Rows(), 11);
        EXPECT_GT(asn->fList.CellWidth(), 20);
        EXPECT_GT(asn->fList.CellHeight(), 20);
        user.Click(Row(&asn->fList, 0, 40));
        ASSERT_TRUE(RunUntil([&] { return asn->fPrm.IsShown(); }, 3000));
        user.Click(At(&asn->fPrm.fTitle, LPoint{10, asn->fPrm.fTitle.Bounds().Height() / 2}));
        user.Type("Go");
        user.Key("Return");
        const CRecord* button = PlaySetGetCell(view->PlaySettings(), 0, 0);
        ASSERT_NE(button, nullptr);
        EXPECT_STREQ(button->GetString(PlclF::bttl).CStr(), "Go");
        ExpectNames(sim, "bttl", {"Go"});
        user.Shot("buttons_titled");
        btnwin->HideWindow();
        Settle(300);

        // ---- the schedule's events, named.
        sim.Cmd("log clear");
        ASSERT_TRUE(user.Choose(ctlwin, "Play", "Use Schedule"));
        LFrame* schwin = nullptr;
        ASSERT_TRUE(RunUntil(
            [&] {
                schwin = view->Window(PlayWindow::kSchedule);
                return schwin && schwin->IsShown();
            },
            5000));
        auto* sch = dynamic_cast<CKvsSchWin*>(schwin);
        ASSERT_NE(sch, nullptr);
        Settle(700);
        CKvsSchEditFrm* edit = sch->EditFrame();
        for (int i = 0; i < 2; ++i) user.Click(Center(&edit->fAdd));
        const CRecord* schd = settings->GetChild(SqstF::schd);
        ASSERT_TRUE(RunUntil([&] { return schd->GetListCount(SchdF::flts) == 2; }, 3000));
        Settle(500);
        sim.Cmd("log clear");
        // The name sits between the play button and the sequence.
        const i32 nameX =
            static_cast<CKvsSchCell*>(edit->fList->GetProtoCell())->fName.Bounds().left + 12;
        user.Click(Row(edit->fList, 0, nameX));
        user.Type("Morning");
        user.Key("Return");
        user.Click(Row(edit->fList, 1, nameX));
        user.Type("Evening");
        user.Click(Row(edit->fList, 0, 8));
        EXPECT_STREQ(schd->GetListItem(SchdF::flts, 0)->GetString(ScevF::name).CStr(), "Morning");
        EXPECT_STREQ(schd->GetListItem(SchdF::flts, 1)->GetString(ScevF::name).CStr(), "Evening");
        ExpectNames(sim, "name", {"Morning", "Evening"});
        // Its list's commands by their keys: copied, pasted, deleted, undone.
        user.Click(Row(edit->fList, 1, 8));
        user.Key("ctrl+c");
        user.Key("ctrl+v");
        EXPECT_TRUE(RunUntil([&] { return schd->GetListCount(SchdF::flts) == 3; }, 3000));
        user.Key("Delete");
        EXPECT_TRUE(RunUntil([&] { return schd->GetListCount(SchdF::flts) == 2; }, 3000));
        user.Key("ctrl+z");
        EXPECT_TRUE(RunUntil([&] { return schd->GetListCount(SchdF::flts) == 3; }, 3000));
        user.Key("ctrl+shift+z");
        EXPECT_TRUE(RunUntil([&] { return schd->GetListCount(SchdF::flts) == 2; }, 3000));
        user.Shot("schedule");
        schwin->HideWindow();
        Settle(300);

        // ---- aux plays, named; the last name ended by closing the window.
        ASSERT_TRUE(user.Choose(ctlwin, "Play", "Aux Play"));
        LFrame* auxwin = nullptr;
        ASSERT_TRUE(RunUntil(
            [&] {
                auxwin = view->Window(PlayWindow::kAuxPlay);
                return auxwin && auxwin->IsShown();
            },
            5000));
        auto* aux = dynamic_cast<CKvsAxPlyWin*>(auxwin);
        ASSERT_NE(aux, nullptr);
        Settle(700);
        for (int i = 0; i < 2; ++i) user.Click(Center(aux->fAdd));
        const CRecord* axps = settings->GetChild(SqstF::axps);
        ASSERT_TRUE(RunUntil([&] { return axps->GetListCount(AplsF::plys) == 2; }, 3000));
        Settle(500);
        sim.Cmd("log clear");
        user.Click(Row(aux->fList, 0, -30));
        user.Type("Aux1");
        user.Key("Tab");
        user.Click(Row(aux->fList, 1, -30));
        user.Type("Stage");
        user.Shot("auxplay");
        auxwin->HideWindow();
        Settle(300);
        auto axName = [&](u32 i) {
            return std::string(axps->GetListItem(AplsF::plys, i)->GetString(AplyF::name).CStr());
        };
        EXPECT_EQ(axName(0), "Aux1");
        EXPECT_EQ(axName(1), "Stage");
        ExpectNames(sim, "name", {"Aux1", "Stage"});
        // Its Delete key, and Undo from the control window's Edit menu.
        auxwin->ShowWindow();
        ASSERT_TRUE(
            RunUntil([&] { return QApplication::activeWindow() == WindowOf(auxwin); }, 3000));
        Settle(300);
        user.Click(Row(aux->fList, 0, 8));
        EXPECT_EQ(Rows(aux->fList), "0 ");
        user.Key("Delete");
        EXPECT_TRUE(RunUntil([&] { return axps->GetListCount(AplsF::plys) == 1; }, 3000));
        EXPECT_EQ(axName(0), "Stage");
        user.Key("ctrl+z");
        EXPECT_TRUE(RunUntil([&] { return axps->GetListCount(AplsF::plys) == 2; }, 3000));
        auxwin->HideWindow();
        Settle(300);

        // Nothing went to another device, and no Qt warning.
        for (const std::string& line : sim.Log()) {
            if (line.rfind("chan ", 0) != 0) continue;
            EXPECT_EQ(SimDeviceProcess::Field(line, "dev"), std::to_string(kSerial)) << line;
        }
        EXPECT_EQ(gWarnings, std::vector<std::string>());
        view->SetCleanMark();
        ctl->Screen()->CloseWindow();
        Settle(500);
    }));
}

TEST(ListsWalk, EveryListUnderRealInput) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    if (system("(command -v Xvfb && command -v openbox && command -v xdotool) >/dev/null"))
        GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    XvfbHarness x("1280x800x24");
    ASSERT_TRUE(x.Ok());
    NetnsHarness net;
    ASSERT_EQ(net.Setup("lists"), "");
    TempDir dir;
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Walk(x, net, dir);
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
