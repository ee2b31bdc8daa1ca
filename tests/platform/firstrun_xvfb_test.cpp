// The program as a new user meets it, under a real X server with a window
// manager (Xvfb, openbox, xdotool) at two screen sizes, against three simulated
// devices in namespaces of the test's own (root only): every menu opened by a
// click, every dialog and window the program has opened from its menus, each
// checked to fit the screen's usable area, to sit over its owner and to be
// filled by its content; no Qt warning; the devices' logs hold only the writes
// meant. Screenshots go to the build folder (firstrun_<screen>_<name>.png).
// Each screen size runs in a child process: one QApplication per process.
#include <QApplication>
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
#include "devices/AppPrefStore.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevWin.h"
#include "framework/AppSingletons.h"
#include "framework/LDrawCtx.h"
#include "framework/LFrame.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtAppPrefStore.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtWindows.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/SimDeviceProcess.h"

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

std::vector<MWindow*> ShownWindows() {
    std::vector<MWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* m = dynamic_cast<MWindow*>(w);
        if (m && m->isVisible()) out.push_back(m);
    }
    return out;
}

// What a user sees of a window, checked against the screen, its owner and its
// own layout; a screenshot is saved under the name.
class WindowCheck {
public:
    WindowCheck(const XvfbHarness& x, std::string screen) : fX(x), fScreen(std::move(screen)) {}

    void Check(MWindow* w, QWidget* owner, const std::string& name) {
        SCOPED_TRACE(name);
        const QRect area = QApplication::primaryScreen()->availableGeometry();
        const QRect frame = w->frameGeometry();
        // Never an empty window: the smallest a placer allows is 40 x 40.
        EXPECT_GE(w->View()->width(), 40);
        EXPECT_GE(w->View()->height(), 40);
        EXPECT_TRUE(area.contains(frame)) << "frame " << Str(frame) << " area " << Str(area);
        if (owner && owner != w) {
            EXPECT_TRUE(owner->frameGeometry().contains(frame.center()))
                << "frame " << Str(frame) << " owner " << Str(owner->frameGeometry());
        }
        // Dialogs sized once from their layout resource have no layout of their own.
        LFrame* f = w->Owner() ? w->Owner()->GetFrame() : nullptr;
        if (f && f->HasLayout()) {
            LDrawCtx ctx;
            const i32 pw = f->GetPrefWidth(&ctx, -1), ph = f->GetPrefHeight(&ctx, 0);
            const LRect c = w->Owner()->GetContentScreenRect();
            // Filled: no larger than the layout asks for (a small margin), and not
            // clipped unless the screen is smaller than the layout.
            EXPECT_LE(c.Width(), pw + kMargin) << "pref " << pw;
            EXPECT_LE(c.Height(), ph + kMargin) << "pref " << ph;
            EXPECT_GE(c.Width(), std::min(pw, area.width() - 40) - 2) << "pref " << pw;
            EXPECT_GE(c.Height(), std::min(ph, area.height() - 80) - 2) << "pref " << ph;
        }
        const std::string png =
            std::string(KEVO_BINARY_DIR) + "/firstrun_" + fScreen + "_" + name + ".png";
        fX.Screenshot(png);
    }

private:
    static constexpr i32 kMargin = 48;
    static std::string Str(const QRect& r) {
        return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
               std::to_string(r.width()) + "x" + std::to_string(r.height());
    }
    const XvfbHarness& fX;
    std::string fScreen;
};

// Clicks through the menus of a window's bar with the real pointer.
class MenuDriver {
public:
    explicit MenuDriver(const XvfbHarness& x) : fX(x) {}

    static QMenuBar* BarOf(QWidget* w) { return w ? w->findChild<QMenuBar*>() : nullptr; }

    // Opens the menu of that title on the window's bar; the open popup or null.
    QMenu* Open(QWidget* w, const QString& title) {
        QMenuBar* bar = BarOf(w);
        if (!bar) return nullptr;
        for (QAction* a : bar->actions()) {
            if (a->text().remove('&') != title || !a->menu()) continue;
            const QPoint p = bar->mapToGlobal(bar->actionGeometry(a).center());
            Click(p);
            QMenu* menu = a->menu();
            if (RunUntil([&] { return menu->isVisible(); }, 3000)) return menu;
            return nullptr;
        }
        return nullptr;
    }
    void Close() {
        fX.Xdotool("key Escape");
        RunUntil([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
    }
    // Chooses the item whose text starts with the prefix; false when it is not
    // there or disabled.
    bool Choose(QWidget* w, const QString& menuTitle, const QString& prefix) {
        QMenu* menu = Open(w, menuTitle);
        if (!menu) return false;
        for (QAction* a : menu->actions()) {
            if (!a->text().startsWith(prefix)) continue;
            if (!a->isEnabled()) break;
            fX.XdotoolAsync(Where(menu->mapToGlobal(menu->actionGeometry(a).center())) +
                            " click 1");
            return true;
        }
        Close();
        return false;
    }
    void Click(QPoint p, int count = 1) {
        fX.Xdotool(Where(p) + " click --repeat " + std::to_string(count) + " --delay 60 1");
    }

private:
    static std::string Where(QPoint p) {
        return "mousemove " + std::to_string(p.x()) + " " + std::to_string(p.y());
    }
    const XvfbHarness& fX;
};

// Waits (also inside a dialog's own modal loop) for a window that was not
// there before, lets it settle, checks it and closes it: Escape, then Return
// for a window without a cancel button, the close command for a plain window.
class NewWindowProbe {
public:
    NewWindowProbe(const XvfbHarness& x, WindowCheck& check, QWidget* owner, std::string name,
                   bool close)
        : fX(x), fCheck(check), fOwner(owner), fName(std::move(name)), fClose(close) {
        for (MWindow* w : ShownWindows()) fBefore.insert(w);
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Step(); });
        fTimer.start(20);
    }
    MWindow* Window() const { return fSeen.data(); }
    bool Done() const { return fDone; }
    std::string State() const {
        return std::string("seen ") + (fFound ? "1" : "0") + " checked " + (fChecked ? "1" : "0") +
               " returned " + (fReturned ? "1" : "0");
    }

private:
    void Step() {
        if (!fFound) {
            for (MWindow* w : ShownWindows()) {
                if (!fBefore.count(w)) {
                    fSeen = w;
                    fFound = true;
                    fAt = LTickMs();
                }
            }
            return;
        }
        if (!fChecked) {
            if (LTickMs() - fAt < 400 && fSeen) return;
            fChecked = true;
            EXPECT_TRUE(fSeen) << fName << ": closed before it could be looked at";
            if (!fSeen) {
                fDone = true;
                fTimer.stop();
                return;
            }
            fCheck.Check(fSeen, fOwner, fName);
            if (!fClose) {
                fDone = true;
                fTimer.stop();
                return;
            }
            fX.XdotoolAsync("key Escape");
            fAt = LTickMs();
            return;
        }
        const std::vector<MWindow*> shown = ShownWindows();
        const bool open = fSeen && std::count(shown.begin(), shown.end(), fSeen.data()) != 0;
        if (!open) {
            fDone = true;
            fTimer.stop();
            return;
        }
        if (LTickMs() - fAt > 700 && !fReturned) {
            fReturned = true;
            fX.XdotoolAsync("key Return");
        } else if (LTickMs() - fAt > 1400 && fReturned && fSeen->Owner()) {
            // A window that is not a dialog closes like any window.
            fSeen->Owner()->GetFrame()->HideWindow();
        }
    }

    const XvfbHarness& fX;
    WindowCheck& fCheck;
    QWidget* fOwner;
    std::string fName;
    bool fClose;
    std::set<MWindow*> fBefore;
    QTimer fTimer;
    QPointer<MWindow> fSeen;
    u32 fAt = 0;
    bool fFound = false, fChecked = false, fDone = false, fReturned = false;
};

struct Opened {
    const char* menu;
    const char* item;
    const char* shot;
};

// What the device window's menus open; every one is closed without a change.
const Opened kDevWinDialogs[] = {
    {"KEVOruneSet", "About", "about"},         {"KEVOruneSet", "Preferences", "viewprefs"},
    {"Device", "Initial Address", "initaddr"}, {"Device", "Set Clock", "clock"},
    {"Device", "Clock Rate", "clockrate"},     {"Device", "Network Settings", "network"},
    {"Device", "Shutdown Delay", "shutdown"},  {"Device", "Rotate Display", "rotate"},
};

// What the control window's own menu opens.
const Opened kCtlWinDialogs[] = {
    {"Device", "DrMX Input", "drmx"},       {"Device", "Art-Net Input", "artnet"},
    {"Device", "sACN Input", "sacn"},       {"Device", "Count-Down", "countdown"},
    {"Device", "Audio Format", "audiofmt"},
};

// The writes in a device log ("chan ... op=write" and command files), with
// the device and path only.
std::vector<std::string> Writes(SimDeviceProcess& sim) {
    std::vector<std::string> out;
    for (const std::string& line : sim.Log()) {
        const bool chan = line.rfind("chan ", 0) == 0 && line.find("op=write") != std::string::npos;
        const bool cmd = line.rfind("cmd ", 0) == 0;
        if (!chan && !cmd) continue;
        std::string kept;
        for (const char* key : {"dev", "op", "path"}) {
            const std::string v = SimDeviceProcess::Field(line, key);
            if (!v.empty()) kept += std::string(kept.empty() ? "" : " ") + key + "=" + v;
        }
        out.push_back(kept);
    }
    return out;
}

// The whole first run at one screen size; in the child process.
void FirstRun(const std::string& screen, const XvfbHarness& x, NetnsHarness& net,
              const TempDir& dir) {
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    for (const char* add : {"serno=1201 addr=198.18.1.11/24", "serno=305 addr=198.18.1.12/24",
                            "serno=42 addr=198.19.7.13/24"}) {
        const std::string serno = std::string(add).substr(6, std::string(add).find(' ') - 6);
        ASSERT_EQ(sim.Cmd(std::string("add-device ") + add + " listen=any root=" + dir.Path() +
                          "/" + serno)
                      .rfind("ok", 0),
                  0u);
    }
    WindowCheck check(x, screen);
    MenuDriver menus(x);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.Path().c_str()));
        qputenv("XDG_CONFIG_HOME", QByteArray((dir.Path() + "/config").c_str()));
        qInstallMessageHandler(CollectWarnings);
        static int argc = 1;
        static char name[] = "kevoruneset", *argv[] = {name, nullptr};
        auto* app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QtMenuServices::SetAppName(QStringLiteral("KEVOruneSet"));
        auto* shell = new QtShell;
        auto* controls = new QtControlServices;
        auto* delegate = new AppDelegate(QStringList());
        QtAppPrefStore store;
        InstallAppPrefStore(&store);
        CPrefNode* prefs = store.OpenPrefs(true);
        ASSERT_NE(prefs, nullptr);
        prefs->SetString("ntif", LString("eth0"));
        store.ClosePrefs(prefs, true);
        const u32 t0 = LTickMs();
        delegate->WillFinishLaunching(NewKvsApp);
        delegate->DidFinishLaunching();
        auto* kvs = static_cast<CKvsApp*>(gApp);
        auto* win = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        CKvsDevSet& set = kvs->DevDoc()->DeviceSet();
        EXPECT_TRUE(RunUntil([&] { return set.Count() == 3 && win->IsShown(); }, 15000));
        std::printf("[%s] start to the device window with 3 devices listed: %u ms\n",
                    screen.c_str(), LTickMs() - t0);
        RunUntil([&] { return !win->fFrame->fClock.GetText().IsEmpty(); }, 3000);
        MWindow* devwin = AsMWindow(win->GetNativeWindow());
        ASSERT_NE(devwin, nullptr);
        RunUntil([&] { return QApplication::activeWindow() == devwin; }, 3000);
        check.Check(devwin, nullptr, "devwin");

        // Rows chosen with the pointer: the top row, then the one below it.
        const LRect list = win->fList->Bounds();
        const LRect content = win->Window()->GetContentScreenRect();
        const u64 tl = win->fList->GetTopLeftIn(nullptr);
        const QPoint row0(content.left + i32(LPane::UnpackX(tl)) + list.Width() / 2,
                          content.top + i32(LPane::UnpackY(tl)) + 8);
        const i32 rowH = std::max(1, i32(win->fList->CellHeight()));
        for (const i32 row : {0, 2, 1}) {
            menus.Click(row0 + QPoint(0, row * rowH));
            EXPECT_TRUE(RunUntil([&] { return win->SelectedRow() == row; }, 3000)) << row;
        }
        check.Check(devwin, nullptr, "devwin_row1");

        // Every menu of the bar opens, on screen; one bar, one Device menu.
        QMenuBar* bar = MenuDriver::BarOf(devwin);
        ASSERT_NE(bar, nullptr);
        QStringList titles;
        for (QAction* a : bar->actions()) titles << a->text().remove('&');
        EXPECT_EQ(titles.join(' ').toStdString(),
                  "KEVOruneSet File Edit Network Device Window Help");
        const QRect area = QApplication::primaryScreen()->availableGeometry();
        for (const QString& t : titles) {
            QMenu* menu = menus.Open(devwin, t);
            ASSERT_NE(menu, nullptr) << t.toStdString();
            EXPECT_TRUE(area.contains(menu->geometry())) << t.toStdString();
            if (t == "Window") {
                // The open windows are listed.
                QStringList items;
                for (QAction* a : menu->actions()) items << a->text();
                EXPECT_TRUE(items.contains("KEVOruneSet")) << items.join('|').toStdString();
            }
            if (t == "Help") {
                ASSERT_FALSE(menu->actions().isEmpty());
                EXPECT_FALSE(menu->actions().front()->isEnabled());
            }
            x.Screenshot(std::string(KEVO_BINARY_DIR) + "/firstrun_" + screen + "_menu_" +
                         t.toStdString() + ".png");
            menus.Close();
        }

        // Every dialog of the device window's menus, closed without a change.
        sim.Cmd("log clear");
        for (const Opened& o : kDevWinDialogs) {
            NewWindowProbe probe(x, check, devwin, o.shot, true);
            ASSERT_TRUE(menus.Choose(devwin, o.menu, o.item)) << o.item;
            EXPECT_TRUE(RunUntil([&] { return probe.Done(); }, 8000)) << o.item << probe.State();
            RunUntil([&] { return ShownWindows().size() == 1; }, 3000);
        }
        // Menu Keys arms the registry: the next item chosen opens its key dialog.
        {
            NewWindowProbe probe(x, check, devwin, "menukeys", true);
            ASSERT_TRUE(menus.Choose(devwin, "KEVOruneSet", "Menu Keys"));
            RunUntil([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
            // An item without a key of its own: its key dialog, not the refusal.
            ASSERT_TRUE(menus.Choose(devwin, "Device", "Set Clock"));
            EXPECT_TRUE(RunUntil([&] { return probe.Done(); }, 8000)) << probe.State();
            RunUntil([&] { return ShownWindows().size() == 1; }, 3000);
        }
        EXPECT_EQ(Writes(sim), std::vector<std::string>());

        // The control window of the selected device, and its menu's dialogs: its
        // bar lends only its own Device menu.
        {
            NewWindowProbe probe(x, check, nullptr, "control", false);
            // Past the double-click interval since the last click, on the selected row.
            const i32 row = std::max(0, win->SelectedRow());
            RunUntil([] { return false; }, 700);
            menus.Click(row0 + QPoint(0, row * rowH), 2);
            EXPECT_TRUE(RunUntil([&] { return probe.Done(); }, 15000));
            const u32 serial = win->fFrame->Serial();
            MWindow* ctl = probe.Window();
            ASSERT_NE(ctl, nullptr);
            RunUntil([&] { return QApplication::activeWindow() == ctl; }, 3000);
            QStringList ctlTitles;
            for (QAction* a : MenuDriver::BarOf(ctl)->actions()) ctlTitles << a->text().remove('&');
            EXPECT_EQ(ctlTitles.join(' ').toStdString(),
                      "KEVOruneSet File Edit Network Device Window Help");
            sim.Cmd("log clear");
            for (const Opened& o : kCtlWinDialogs) {
                NewWindowProbe dlg(x, check, ctl, o.shot, true);
                ASSERT_TRUE(menus.Choose(ctl, o.menu, o.item)) << o.item;
                EXPECT_TRUE(RunUntil([&] { return dlg.Done(); }, 8000)) << o.item << dlg.State();
                RunUntil([&] { return QApplication::activeWindow() == ctl; }, 3000);
            }
            // Nothing was changed: nothing written to any device.
            EXPECT_EQ(Writes(sim), std::vector<std::string>());
            // Closing it tells only its own device to leave the edit mode.
            ASSERT_TRUE(menus.Choose(ctl, "File", "Close"));
            EXPECT_TRUE(RunUntil([&] { return !ctl->isVisible(); }, 5000));
            sim.WaitIdle(3000);
            for (const std::string& w : Writes(sim))
                EXPECT_NE(w.find("dev=" + std::to_string(serial)), std::string::npos) << w;
        }
        EXPECT_EQ(gWarnings, std::vector<std::string>());

        delegate->WillTerminate();
        InstallAppPrefStore(nullptr);
        delete delegate;
        delete controls;
        delete shell;
        delete app;
    }));
}

// Runs the first run in a child (a QApplication of its own); its failures are
// printed there and make it exit with 1.
void InChild(const std::string& screen) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    if (system("(command -v Xvfb && command -v openbox && command -v xdotool) >/dev/null"))
        GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    // The display, the namespaces and the folder belong to this process: they
    // go even when the child dies.
    XvfbHarness x(screen + "x24");
    ASSERT_TRUE(x.Ok());
    NetnsHarness net;
    ASSERT_EQ(net.Setup("firstrun"), "");
    TempDir dir;
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FirstRun(screen, x, net, dir);
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "first run at " << screen << ": status " << status;
}

TEST(FirstRun, Screen1600x1000) {
    InChild("1600x1000");
}

TEST(FirstRun, Screen1280x800) {
    InChild("1280x800");
}

}  // namespace
