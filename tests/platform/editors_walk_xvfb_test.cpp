// The play edit's fields and windows as a user meets them, under a real X
// server with a window manager (Xvfb, openbox, xdotool), against a simulated
// device in namespaces of the test's own (root only): numbers typed into the
// scene parameters and the auto play's delay and ended every way, Tab through
// the scene editor, the sequence dragged onto the background music, the
// schedule's period range, the windows' bars and places. What reaches the
// device is read back from its log. Screenshots go to the build folder
// (walk_<name>.png). One child process per run: one QApplication per process.
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
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
#include "editors/CKvsPlayFrm.h"
#include "editors/CExtCtlF.h"
#include "editors/CKvsScnMonF.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqWins.h"
#include "editors/CSchPrdList.h"
#include "framework/LFrame.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtWindows.h"
#include "base/LTextSink.h"
#include "records/CRecordDoc.h"
#include "records/LRecPath.h"
#include "records/ShowKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/SimDeviceProcess.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

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

void Settle(u32 ms) {
    RunUntil([] { return false; }, ms);
}

std::vector<MWindow*> ShownWindows() {
    std::vector<MWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* m = dynamic_cast<MWindow*>(w);
        if (m && m->isVisible()) out.push_back(m);
    }
    return out;
}

MWindow* WindowTitled(const QString& has) {
    for (MWindow* w : ShownWindows())
        if (w->windowTitle().contains(has)) return w;
    return nullptr;
}

template <class F>
F* FrameOf(MWindow* w) {
    return w && w->Owner() ? dynamic_cast<F*>(w->Owner()->GetFrame()) : nullptr;
}

// A screen point inside a pane: vertically centred, near its left edge, where a
// field's text is (a number field's stepper is at its right).
QPoint PaneAt(LPane* pane, i32 dx = -1) {
    LWindow* w = LWindow::FindByNative(pane->GetNativeWindow());
    const LRect c = w ? w->GetContentScreenRect() : LRect();
    const u64 tl = pane->GetTopLeftIn(nullptr);
    const i32 x = dx >= 0 ? dx : std::min(12, pane->Bounds().Width() / 2);
    return QPoint(c.left + i32(LPane::UnpackX(tl)) + x,
                  c.top + i32(LPane::UnpackY(tl)) + pane->Bounds().Height() / 2);
}

std::string Where(QPoint p) {
    return "mousemove " + std::to_string(p.x()) + " " + std::to_string(p.y());
}

// A screen point in a row of a list, near its left edge.
QPoint RowAt(LCellListPane* list, i32 row, i32 dx = 4) {
    const QPoint top = PaneAt(list, dx) - QPoint(0, list->Bounds().Height() / 2);
    const LRect r = list->GetCellRect(LCell{0, row});
    return top + QPoint(0, r.top - list->Bounds().top + r.Height() / 2);
}

// The bar of a window: every title once and readable (no extension button).
std::string BarTitles(QWidget* w) {
    QMenuBar* bar = w ? w->findChild<QMenuBar*>() : nullptr;
    if (!bar) return "(no bar)";
    QStringList titles;
    for (QAction* a : bar->actions()) titles << a->text().remove('&');
    EXPECT_LE(bar->sizeHint().width(), bar->width()) << titles.join(' ').toStdString();
    return titles.join(' ').toStdString();
}

struct Walk {
    const XvfbHarness& x;
    SimDeviceProcess& sim;
    u32 serial = 1201;

    void Click(QPoint p, int count = 1) {
        x.Xdotool(Where(p) + " click --repeat " + std::to_string(count) + " --delay 80 1");
    }
    // Each key pressed and released apart, after the input before it settled.
    void Key(const std::string& keys) {
        Settle(100);
        std::string cmd;
        size_t at = 0;
        while (at < keys.size()) {
            const size_t end = std::min(keys.find(' ', at), keys.size());
            const std::string k = keys.substr(at, end - at);
            cmd += " keydown " + k + " sleep 0.05 keyup " + k + " sleep 0.05";
            at = end + 1;
        }
        x.Xdotool(cmd.substr(1));
        Settle(100);
    }
    void Type(const std::string& text) { x.Xdotool("type --delay 40 '" + text + "'"); }
    void Shot(const std::string& name) {
        Settle(200);
        x.Screenshot(std::string(KEVO_BINARY_DIR) + "/walk_" + name + ".png");
    }
    // The values written to the device for a field (path ending in /TAG), as text.
    std::vector<std::string> Written(const std::string& tag) {
        sim.WaitIdle(3000);
        std::vector<std::string> out;
        for (const std::string& line : sim.Log()) {
            if (line.rfind("chan ", 0) != 0 || line.find("op=write") == std::string::npos) continue;
            const std::string path = SimDeviceProcess::Field(line, "path");
            if (SimDeviceProcess::Field(line, "dev") != std::to_string(serial) ||
                path.size() < tag.size() + 1 ||
                path.substr(path.size() - tag.size() - 1) != "/" + tag)
                continue;
            out.push_back(SimDeviceProcess::Field(line, "value"));
        }
        return out;
    }
    // Waits until the field has been written once more than before; its values.
    std::vector<std::string> WaitWritten(const std::string& tag, size_t count, u32 ms = 4000) {
        std::vector<std::string> got;
        RunUntil(
            [&] {
                got = Written(tag);
                return got.size() >= count;
            },
            ms);
        Settle(300);
        got = Written(tag);
        if (got.size() < count) {
            // What the device saw instead, for the failure's message.
            const std::vector<std::string> log = sim.Log();
            for (size_t i = log.size() > 12 ? log.size() - 12 : 0; i < log.size(); ++i)
                std::fprintf(stderr, "device: %s\n", log[i].c_str());
        }
        return got;
    }
    // Chooses a menu item of a window's bar with the pointer.
    bool Choose(QWidget* w, const QString& title, const QString& prefix) {
        QMenuBar* bar = w ? w->findChild<QMenuBar*>() : nullptr;
        if (!bar) return false;
        for (QAction* a : bar->actions()) {
            if (a->text().remove('&') != title || !a->menu()) continue;
            Click(bar->mapToGlobal(bar->actionGeometry(a).center()));
            QMenu* menu = a->menu();
            if (!RunUntil([&] { return menu->isVisible(); }, 3000)) return false;
            for (QAction* item : menu->actions()) {
                if (!item->text().startsWith(prefix)) continue;
                if (!item->isEnabled()) break;
                x.XdotoolAsync(Where(menu->mapToGlobal(menu->actionGeometry(item).center())) +
                               " click 1");
                RunUntil([&] { return !menu->isVisible(); }, 3000);
                return true;
            }
            Key("Escape");
            return false;
        }
        return false;
    }
    // A number typed into a field from scratch: clicked (a second time when the
    // first click only focused it), the text replaced.
    void TypeNumber(LEditText* field, const std::string& text) {
        // A click on a number field that has the keyboard steps it: only one
        // that has not is clicked.
        if (!field->Engine() || !field->Engine()->Field()->IsFirstResponder() ||
            !QApplication::focusWidget() ||
            LWindow::FindByNative(field->GetNativeWindow())->Native() !=
                static_cast<QWidget*>(QApplication::activeWindow()))
            Click(PaneAt(field));
        RunUntil([&] { return field->Engine() != nullptr; }, 1500);
        Key("ctrl+a BackSpace");
        if (text[0] == '-') Key("minus");
        Type(text[0] == '-' ? text.substr(1) : text);
        RunUntil([&] { return std::string(field->GetText().CStr()) == text; }, 2000);
        EXPECT_EQ(std::string(field->GetText().CStr()), text);
    }
};

// Steps run on a modal window that a menu command opens (its own loop runs
// meanwhile): each step waits for its delay, then acts on the window's frame.
class ModalScript {
public:
    struct Step {
        u32 afterMs;
        std::function<void(LFrame*)> act;
    };
    explicit ModalScript(std::vector<Step> steps) : fSteps(std::move(steps)) {
        for (MWindow* w : ShownWindows()) fBefore.insert(w);
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(30);
    }
    bool Done() const { return fNext == fSteps.size() && (!fWindow || !fWindow->isVisible()); }
    bool Seen() const { return fSeen; }

private:
    void Tick() {
        if (!fWindow) {
            for (MWindow* w : ShownWindows())
                if (!fBefore.count(w) && w->Owner()) fWindow = w;
            if (!fWindow) return;
            fSeen = true;
            fAt = LTickMs();
        }
        if (fNext >= fSteps.size() || LTickMs() - fAt < fSteps[fNext].afterMs) return;
        if (fWindow->Owner()) fSteps[fNext].act(fWindow->Owner()->GetFrame());
        ++fNext;
        fAt = LTickMs();
    }
    std::vector<Step> fSteps;
    std::set<MWindow*> fBefore;
    QPointer<MWindow> fWindow;
    QTimer fTimer;
    size_t fNext = 0;
    u32 fAt = 0;
    bool fSeen = false;
};

// The walk; in the child process, inside the application's namespace.
void WalkEditors(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    for (const char* add : {"serno=1201 addr=198.18.1.11/24", "serno=305 addr=198.18.1.12/24"}) {
        const std::string serno = std::string(add).substr(6, std::string(add).find(' ') - 6);
        ASSERT_EQ(sim.Cmd(std::string("add-device ") + add + " listen=any root=" + dir.Path() +
                          "/" + serno)
                      .rfind("ok", 0),
                  0u);
    }
    Walk w{x, sim};
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.Path().c_str()));
        qInstallMessageHandler(CollectWarnings);
        AppLaunch launch("xcb", dir.Path() + "/config");
        QtMenuServices::SetAppName(QStringLiteral("KEVOruneSet"));
        ASSERT_TRUE(launch.PrefsWritten());
        CKvsApp* kvs = launch.Launch();
        auto* devwin = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        CKvsDevSet& set = kvs->DevDoc()->DeviceSet();
        ASSERT_TRUE(RunUntil([&] { return set.Count() == 2 && devwin->IsShown(); }, 15000));
        Settle(500);

        // The control window of 1201 (rows sorted by serial: 305, 1201).
        const LRect content = devwin->Window()->GetContentScreenRect();
        const u64 tl = devwin->fList->GetTopLeftIn(nullptr);
        const i32 rowH = std::max(1, i32(devwin->fList->CellHeight()));
        const QPoint row0(content.left + i32(LPane::UnpackX(tl)) + 20,
                          content.top + i32(LPane::UnpackY(tl)) + rowH / 2);
        w.Click(row0 + QPoint(0, rowH));
        ASSERT_TRUE(RunUntil([&] { return devwin->SelectedRow() == 1; }, 3000));
        Settle(700);
        w.Click(row0 + QPoint(0, rowH), 2);
        MWindow* ctl = nullptr;
        ASSERT_TRUE(
            RunUntil([&] { return (ctl = WindowTitled("1201 -KEVOrune")) != nullptr; }, 15000));
        CKvsDevCtl* dev = kvs->DevDoc()->FindController(1201);
        ASSERT_NE(dev, nullptr);
        CKvsDevCtlScreen* screen = dev->Screen();
        ASSERT_NE(screen, nullptr);
        // The play settings view, chosen in the view pop-up with the keyboard.
        Settle(500);
        w.Click(PaneAt(&screen->Window().fView));
        Settle(400);
        w.Key("Down Return");
        ASSERT_TRUE(RunUntil([&] { return screen->PlayView() != nullptr; }, 10000));
        auto* play = dynamic_cast<CDrcCmdHandler*>(screen->PlayView());
        ASSERT_NE(play, nullptr);
        CKvsPlayFrm* frame = play->Frame();
        ASSERT_TRUE(RunUntil([&] { return frame->IsShown(); }, 5000));
        Settle(500);
        EXPECT_EQ(BarTitles(ctl), "KEVOruneSet File Edit Network Device Play Window Help");

        // A sequence with two scenes.
        CRecord* seqs = frame->SeqSettings();
        w.Click(PaneAt(&frame->PlusButton()));
        ASSERT_TRUE(RunUntil([&] { return seqs->GetListCount(SqstF::sqcs) == 1; }, 3000));
        CKvsScnEdF* scenes = frame->SceneEdit();
        ASSERT_TRUE(RunUntil([&] { return scenes->IsShown(); }, 3000));
        CRecord* seq = seqs->GetListItem(SqstF::sqcs, 0);
        for (u32 n = 1; n <= 2; ++n) {
            w.Click(PaneAt(&scenes->PlusButton()));
            ASSERT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == n; }, 3000));
        }
        Settle(500);
        auto selectScene = [&](i32 row) {
            w.Click(RowAt(scenes->List(), row));
            RunUntil(
                [&] { return scenes->SelectedScene() == seq->GetListItem(SqncF::scns, u32(row)); },
                3000);
            Settle(300);
        };
        selectScene(0);
        ASSERT_EQ(scenes->SelectedScene(), seq->GetListItem(SqncF::scns, 0));
        w.Shot("scene_editor");

        // ---- the scene parameters: each edit stored once, range applied,
        // however it ends.
        CKvsScnPrmF::CContent* fp = &scenes->Params()->Fields();
        sim.Cmd("log clear");
        struct Edit {
            const char* what;
            CNumVol* field;
            const char* text;
            const char* tag;
            const char* value;  // as the device holds it
            std::function<void()> end;
        };
        const Edit edits[] = {
            {"fade, Return", &fp->fFade, "2.5", "fdtm", "2500", [&] { w.Key("Return"); }},
            {"level, Tab", &fp->fVol, "75", "volm", "192", [&] { w.Key("Tab"); }},
            {"rate, a click elsewhere", &fp->fRate, "1.5", "rate", "1.015",
             [&] { w.Click(PaneAt(&fp->fFadeCap)); }},
            {"level above the range, Return", &fp->fVol, "150", "volm", "256",
             [&] { w.Key("Return"); }},
            {"fade above the range, Tab", &fp->fFade, "12", "fdtm", "10000", [&] { w.Key("Tab"); }},
            {"rate, Return", &fp->fRate, "-2", "rate", "0.98", [&] { w.Key("Return"); }},
            {"fade, another row", &fp->fFade, "3", "fdtm", "3000", [&] { selectScene(1); }},
        };
        for (const Edit& e : edits) {
            SCOPED_TRACE(e.what);
            const size_t before = w.Written(e.tag).size();
            w.TypeNumber(e.field, e.text);
            Settle(200);
            e.end();
            const std::vector<std::string> got = w.WaitWritten(e.tag, before + 1);
            EXPECT_EQ(got.size(), before + 1);
            if (got.size() > before) {
                EXPECT_EQ(got.back(), e.value);
            }
            // Ended once: Return again, or the focus leaving, writes nothing more.
            w.Key("Return");
            Settle(300);
            EXPECT_EQ(w.Written(e.tag).size(), before + 1);
        }
        selectScene(0);
        w.Shot("scene_params");

        // ---- Tab through the scene editor in reading order: the clip's
        // fields, then back to the first.
        {
            std::vector<LEditText*> order = {&fp->fStart, &fp->fEnd, &fp->fFade, &fp->fVol,
                                             &fp->fRate};
            w.TypeNumber(&fp->fStart, "00:00:01.00");
            w.Key("Escape");
            for (size_t i = 1; i < order.size(); ++i) {
                w.Key("Tab");
                EXPECT_TRUE(RunUntil([&] { return order[i]->Engine() != nullptr; }, 2000))
                    << "Tab " << i;
            }
        }

        // ---- Auto Play: typed digits, Return and Tab; also after the control
        // window had the keyboard in between.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Auto Play"));
        MWindow* autoWin = nullptr;
        ASSERT_TRUE(
            RunUntil([&] { return (autoWin = WindowTitled("Auto Play")) != nullptr; }, 5000));
        auto* autoPlay = FrameOf<CKvsAutoWin>(autoWin);
        ASSERT_NE(autoPlay, nullptr);
        Settle(500);
        EXPECT_EQ(BarTitles(autoWin), "KEVOruneSet File Edit Network Window Help");
        // Opened over its control window, not in a corner of the screen.
        EXPECT_TRUE(ctl->frameGeometry().contains(autoWin->frameGeometry().center()));
        w.Shot("autoplay");
        sim.Cmd("log clear");
        w.TypeNumber(&autoPlay->fDelay, "25");
        w.Key("Return");
        EXPECT_EQ(w.WaitWritten("staf", 1), std::vector<std::string>{"25"});
        // The control window takes the keyboard in between.
        w.Click(PaneAt(&screen->Window().fFree));
        RunUntil([&] { return ctl->isActiveWindow(); }, 2000);
        Settle(400);
        w.TypeNumber(&autoPlay->fDelay, "7");
        w.Shot("autoplay_again");
        w.Key("Tab");
        EXPECT_EQ(w.WaitWritten("staf", 2), (std::vector<std::string>{"25", "7"}));
        w.TypeNumber(&autoPlay->fDelay, "1200");
        w.Key("Return");
        EXPECT_EQ(w.WaitWritten("staf", 3), (std::vector<std::string>{"25", "7", "999"}));
        autoPlay->HideWindow();

        // ---- Background music: stays above its control window, takes the
        // sequence dragged from the sequence list.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Background Music"));
        MWindow* bgmWin = nullptr;
        ASSERT_TRUE(
            RunUntil([&] { return (bgmWin = WindowTitled("Background")) != nullptr; }, 5000));
        auto* bgm = FrameOf<CKvsBgmWin>(bgmWin);
        ASSERT_NE(bgm, nullptr);
        Settle(500);
        EXPECT_EQ(BarTitles(bgmWin), "KEVOruneSet File Edit Network Window Help");
        w.Click(PaneAt(&screen->Window().fFree));
        RunUntil([&] { return ctl->isActiveWindow(); }, 3000);
        Settle(600);
        auto above = [&] {
            const std::vector<u64> stack = x.Stacking();
            auto at = [&](QWidget* q) {
                return std::find(stack.begin(), stack.end(), u64(q->winId())) - stack.begin();
            };
            return at(bgmWin) > at(ctl);
        };
        EXPECT_TRUE(above()) << "the background music window went behind its control window";
        sim.Cmd("log clear");
        {
            const QPoint from = RowAt(frame->List(), 0);
            const QPoint to = PaneAt(&bgm->fSeq, 40);
            x.Xdotool(Where(from) + " mousedown 1");
            x.XdotoolAsync("sleep 0.6 mousemove " + std::to_string(from.x() + 10) + " " +
                           std::to_string(from.y() + 10) + " sleep 0.4 " + Where(to) +
                           " sleep 0.4 mousemove_relative 2 2 sleep 0.4 mouseup 1");
            const std::string id = std::to_string(seq->GetU32(SqncF::sqid));
            EXPECT_EQ(w.WaitWritten("bgmq", 1, 8000), std::vector<std::string>{id});
        }
        w.Shot("bgm");
        bgm->HideWindow();

        // ---- PWDW: the sequence dragged onto its slot, then played now.
        ASSERT_TRUE(w.Choose(ctl, "Play", "PWDW"));
        MWindow* pwdWin = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (pwdWin = WindowTitled("PWDW")) != nullptr; }, 5000));
        auto* pwd = FrameOf<CKvsPwdWin>(pwdWin);
        ASSERT_NE(pwd, nullptr);
        Settle(500);
        EXPECT_TRUE(ctl->frameGeometry().contains(pwdWin->frameGeometry().center()));
        // The drag starts in the control window, made active first.
        w.Click(PaneAt(&screen->Window().fFree));
        RunUntil([&] { return ctl->isActiveWindow(); }, 3000);
        Settle(600);
        sim.Cmd("log clear");
        {
            const QPoint from = RowAt(frame->List(), 0);
            const QPoint to = PaneAt(&pwd->fSeq, 40);
            x.Xdotool(Where(from) + " mousedown 1");
            x.XdotoolAsync("sleep 0.6 mousemove " + std::to_string(from.x() + 10) + " " +
                           std::to_string(from.y() + 10) + " sleep 0.4 " + Where(to) +
                           " sleep 0.4 mousemove_relative 2 2 sleep 0.4 mouseup 1");
            const std::string id = std::to_string(seq->GetU32(SqncF::sqid));
            EXPECT_EQ(w.WaitWritten("pwdw", 1, 8000), std::vector<std::string>{id});
        }
        x.Xdotool("windowactivate " + std::to_string(pwdWin->winId()));
        RunUntil([&] { return pwdWin->isActiveWindow(); }, 3000);
        Settle(300);
        w.Click(PaneAt(&pwd->fPlayNow));
        EXPECT_EQ(w.WaitWritten("plsn", 1).size(), 1u);
        w.Shot("pwdw");
        pwd->HideWindow();

        // ---- The master fader: a source chosen in its dialog, confirmed with Return.
        {
            sim.Cmd("log clear");
            ModalScript script({
                {400,
                 [&](LFrame* d) {
                     auto* dlg = dynamic_cast<CKvsMstFdrDlg*>(d);
                     ASSERT_NE(dlg, nullptr);
                     w.Shot("masterfader");
                     // The source chosen as its pop-up would (kind 1, Art-Net).
                     dlg->fSource.SetKind(CExtCtlF::kArtNet);
                 }},
                {400, [&](LFrame*) { w.Key("Return"); }},
            });
            ASSERT_TRUE(w.Choose(ctl, "Play", "Master Fader"));
            EXPECT_TRUE(RunUntil([&] { return script.Done(); }, 8000));
            EXPECT_TRUE(script.Seen());
            EXPECT_EQ(w.WaitWritten("mfct", 1), std::vector<std::string>{"1"});
        }

        // ---- The scene trigger dialog opens from its menu item; cancelled, it
        // writes nothing.
        {
            sim.Cmd("log clear");
            ModalScript script({
                {500,
                 [&](LFrame*) {
                     w.Shot("scenetrigger");
                     w.Key("Escape");
                 }},
            });
            ASSERT_TRUE(w.Choose(ctl, "Play", "Scene Trigger"));
            EXPECT_TRUE(RunUntil([&] { return script.Done(); }, 8000));
            EXPECT_TRUE(script.Seen());
            EXPECT_EQ(w.Written("sntg").size() + w.Written("tgmk").size(), 0u);
        }

        // ---- The scene monitor: its universes shown from the menu; the device
        // playing the selected scene makes the monitor active.
        {
            ASSERT_TRUE(w.Choose(ctl, "Play", "Show Scene Monitor"));
            EXPECT_TRUE(RunUntil([&] { return scenes->UniversePane()->IsShown(); }, 3000));
            LTextStream path;
            ASSERT_TRUE(LRecPath::Append(seqs, seq->GetListItem(SqncF::scns, 0), kRecSelf,
                                         kRecNoIndex, path));
            const std::string set = sim.Cmd("chan-set serno=1201 path=/.cmd/udkvtstat/crsn value=" +
                                            std::string(path.ToString().CStr()));
            EXPECT_EQ(set.rfind("ok", 0), 0u) << set;
            EXPECT_TRUE(RunUntil([&] { return scenes->SceneActive(); }, 15000))
                << path.ToString().CStr();
            w.Shot("scene_monitor");
            ASSERT_TRUE(w.Choose(ctl, "Play", "Show Scene Monitor"));
        }

        // ---- The schedule window: one bar; a period's range laid out at once.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Use Schedule"));
        MWindow* schWin = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (schWin = WindowTitled("Schedule")) != nullptr; }, 5000));
        auto* sch = FrameOf<CKvsSchWin>(schWin);
        ASSERT_NE(sch, nullptr);
        x.Xdotool("windowactivate " + std::to_string(schWin->winId()));
        RunUntil([&] { return schWin->isActiveWindow(); }, 3000);
        Settle(500);
        EXPECT_EQ(BarTitles(schWin), "KEVOruneSet File Edit Network Schedule Window Help");
        w.Click(PaneAt(&sch->EditFrame()->fAdd));
        ASSERT_TRUE(RunUntil([&] { return sch->EditFrame()->fList->Count() == 1; }, 3000));
        Settle(300);
        w.Click(PaneAt(sch->EditFrame()->fAddPeriod));
        CSchPrdList* periods = sch->EditFrame()->fPeriods;
        ASSERT_TRUE(RunUntil([&] { return periods->Rows() == 1; }, 3000));
        Settle(500);
        {
            // The row as drawn: the white of the fields shown in it.
            auto* cell = static_cast<CSchPrdCell*>(periods->GetProtoCell());
            const LRect r = periods->GetCellRect(LCell{0, 0});
            const QPoint at = RowAt(periods, 0, 0) - QPoint(0, r.Height() / 2);
            auto whites = [&] {
                const QImage shot = schWin->grab().toImage();
                const QPoint o = schWin->mapFromGlobal(at);
                int n = 0;
                for (int y = o.y(); y < o.y() + r.Height(); ++y)
                    for (int x0 = o.x(); x0 < o.x() + r.Width(); ++x0)
                        n += qGray(shot.pixel(x0, y)) > 250 ? 1 : 0;
                return n;
            };
            // The year's selector: the first item over the start group.
            const LRect range = cell->fRange.Bounds();
            const LRect year = cell->fStart.fYear.Bounds();
            const QPoint rangeAt(at.x() + cell->fStart.Bounds().left + (year.left + year.right) / 2,
                                 at.y() + (range.top + range.bottom) / 2);
            const int before = whites();
            sim.Cmd("log clear");
            w.Click(rangeAt);
            EXPECT_EQ(w.WaitWritten("rang", 1), std::vector<std::string>{"6"});
            EXPECT_TRUE(RunUntil([&] { return whites() > 2 * before; }, 2000))
                << "the row still shows the fields of its old range: " << before << " " << whites();
        }
        w.Shot("schedule");

        // ---- Aux Play: no wider than it needs.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Aux Play"));
        MWindow* auxWin = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (auxWin = WindowTitled("Aux Play")) != nullptr; }, 5000));
        Settle(500);
        EXPECT_LE(auxWin->frameGeometry().width(), 1000);
        EXPECT_EQ(BarTitles(auxWin), "KEVOruneSet File Edit Network Window Help");
        w.Shot("auxplay");

        auxWin->Owner()->GetFrame()->HideWindow();

        // ---- Typed, then the control window closed: stored before it goes.
        {
            x.Xdotool("windowactivate " + std::to_string(ctl->winId()));
            RunUntil([&] { return ctl->isActiveWindow(); }, 3000);
            selectScene(0);
            sim.Cmd("log clear");
            w.TypeNumber(&fp->fFade, "4");
            Settle(200);
            ASSERT_TRUE(w.Choose(ctl, "File", "Close"));
            EXPECT_TRUE(RunUntil([&] { return !ctl->isVisible(); }, 10000));
            EXPECT_EQ(w.WaitWritten("fdtm", 1), std::vector<std::string>{"4000"});
        }

        EXPECT_EQ(gWarnings, std::vector<std::string>());
    }));
}

// Run by hand (--gtest_also_run_disabled_tests): under a loaded machine the X
// server now and then drops a key that xdotool sent (no key event reaches the
// application at all), and the PWDW play press, the master fader's Return and
// a modal wait at times still fail or hang; until that is understood the walk
// would make the suite fail at random.
TEST(EditorsWalk, DISABLED_FieldsAndWindowsOfThePlayEdit) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    XvfbHarness x("1600x1000x24");
    if (!x.Ok()) GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("walk"), "");
    TempDir dir;
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        WalkEditors(x, net, dir);
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
