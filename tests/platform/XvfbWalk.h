#pragma once
// What the walks of the whole program under Xvfb share: Qt's warnings kept for
// the walk's end, waiting on the event loop, the program's windows on screen,
// a user's pointer and keys on menus and fields, and the walk's own process.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "base/Clock.h"
#include "framework/LPane.h"
#include "framework/LWindow.h"
#include "platform/qt/QtWindows.h"

// Every Qt warning of the walk; each is echoed as it comes.
inline std::vector<std::string> gWarnings;

inline void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg) gWarnings.push_back(text.toStdString());
    std::fprintf(stderr, "qt: %s\n", text.toUtf8().constData());
}

inline void Settle(u32 ms = 300) {
    RunUntil([] { return false; }, ms);
}

inline std::vector<MWindow*> ShownWindows() {
    std::vector<MWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* m = dynamic_cast<MWindow*>(w);
        if (m && m->isVisible()) out.push_back(m);
    }
    return out;
}

inline std::string Where(QPoint p) {
    return "mousemove " + std::to_string(p.x()) + " " + std::to_string(p.y());
}

// A point of a pane on the screen, from the pane's top left.
inline QPoint ScreenPoint(LPane* pane, LPoint at) {
    LWindow* w = LWindow::FindByNative(pane->GetNativeWindow());
    const LRect c = w ? w->GetContentScreenRect() : LRect();
    const u64 tl = pane->GetTopLeftIn(nullptr);
    return QPoint(c.left + i32(LPane::UnpackX(tl)) + at.x, c.top + i32(LPane::UnpackY(tl)) + at.y);
}

// The real pointer and keyboard on the program's windows and their menu bars.
class MenuDriver {
public:
    // clickGapMs: between the clicks of a double click.
    explicit MenuDriver(const XvfbHarness& x, int clickGapMs = 60) : fX(x), fGap(clickGapMs) {}

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
    // On a loaded machine the click that opens a menu can land while the
    // previous popup is still closing: the bar then takes it as a close, and a
    // second click opens it.
    QMenu* OpenAgain(QWidget* w, const QString& title) {
        if (QMenu* menu = Open(w, title)) return menu;
        Close();
        return Open(w, title);
    }
    void Close() {
        fX.Xdotool("key Escape");
        RunUntil([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
    }
    // Chooses the item whose text starts with the prefix; false when it is not
    // there or disabled. The click is sent without waiting: a modal window it
    // opens runs its loop in the caller's next wait.
    bool Choose(QWidget* w, const QString& menuTitle, const QString& prefix) {
        QMenu* menu = OpenAgain(w, menuTitle);
        if (!menu) return false;
        for (QAction* a : menu->actions()) {
            if (!a->text().startsWith(prefix)) continue;
            // An item may be enabled by a device reply still on its way.
            if (!RunUntil([&] { return a->isEnabled(); }, 3000)) break;
            fX.XdotoolAsync(Where(menu->mapToGlobal(menu->actionGeometry(a).center())) +
                            " click 1");
            return true;
        }
        Close();
        return false;
    }
    // The same, then waits for the menu to go and the command to take effect.
    bool ChooseSettled(QWidget* w, const QString& menuTitle, const QString& prefix,
                       u32 settleMs = 300) {
        if (!Choose(w, menuTitle, prefix)) return false;
        RunUntil([] { return QApplication::activePopupWidget() == nullptr; }, 3000);
        Settle(settleMs);
        return true;
    }
    // Whether the item of that menu is enabled, as the bar shows it when opened.
    bool Enabled(QWidget* w, const QString& menuTitle, const QString& prefix) {
        QMenu* menu = OpenAgain(w, menuTitle);
        if (!menu) return false;
        bool on = false;
        for (QAction* a : menu->actions())
            if (a->text().startsWith(prefix)) on = a->isEnabled();
        Close();
        return on;
    }
    // mods: keys held down meanwhile ("shift", "ctrl").
    void Click(QPoint p, int count = 1, const std::string& mods = "") {
        std::string cmd = Where(p);
        if (!mods.empty()) cmd += " keydown " + mods;
        cmd +=
            " click --repeat " + std::to_string(count) + " --delay " + std::to_string(fGap) + " 1";
        if (!mods.empty()) cmd += " keyup " + mods;
        fX.Xdotool(cmd);
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
        if (!cmd.empty()) fX.Xdotool(cmd.substr(1));
        Settle(100);
    }
    void Type(const std::string& text) { fX.Xdotool("type --delay 40 '" + text + "'"); }

protected:
    const XvfbHarness& fX;
    int fGap;
};

// The walk in a child process of its own (one QApplication a process); a
// failure there fails the test.
template <class F>
void InChildProcess(F walk) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        walk();
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
