#pragma once
// What the walks of the whole program under Xvfb share: Qt's warnings kept for
// the walk's end, waiting on the event loop, the program's windows on screen,
// a user's pointer and keys on menus and fields, and the walk's own process.
#include <QApplication>
#include <QGuiApplication>
#include <QStyleHints>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <typeinfo>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "AppLaunch.h"
#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "XvfbKeys.h"
#include "base/Clock.h"
#include "framework/InputState.h"
#include "framework/LDrop.h"
#include "framework/LPane.h"
#include "framework/LWindow.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtWindows.h"

// Every Qt warning of the walk; each is echoed as it comes.
inline std::vector<std::string> gWarnings;

inline void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg) gWarnings.push_back(text.toStdString());
    std::fprintf(stderr, "qt: %s\n", text.toUtf8().constData());
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

// The values a text field stored on every change sent to the device as a
// person typed `whole` into it: each what was typed so far, growing (one write
// may carry several keys when the device was busy), the whole text last and
// once. "" when so, else what is wrong and the values.
inline std::string TypedWrites(const std::vector<std::string>& values, const std::string& whole) {
    std::string all;
    for (const std::string& v : values) all += " '" + v + "'";
    if (values.empty()) return "nothing written";
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string& v = values[i];
        if (v.empty() || whole.compare(0, v.size(), v) != 0) return "not what was typed:" + all;
        if (i > 0 && v.size() <= values[i - 1].size()) return "not growing:" + all;
    }
    if (values.back() != whole) return "not whole at the end:" + all;
    return "";
}

// Whether keys and clicks sent now go to the window as a person means them:
// it is the active window, has been for 150 ms (a click sooner is taken as
// the one that activated it), and holds the X input focus.
inline bool TakesInput(const XvfbHarness& x, QWidget* w) {
    auto* m = dynamic_cast<MWindow*>(w);
    return w && QApplication::activeWindow() == w && (!m || m->ActiveForMs() >= 150) &&
           std::strtoull(x.Run("xdotool getwindowfocus").c_str(), nullptr, 10) == u64(w->winId());
}

// Waits until the window is on screen (mapped and exposed) and the program has
// drawn it: what a person waits for before using a window just opened.
inline bool WaitShown(QWidget* w, u32 ms = 5000) {
    const bool shown = Await(
        "'" + (w ? w->windowTitle().toStdString() : std::string("(none)")) + "' on screen",
        [&] { return w && w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed(); },
        ms);
    LoopDrained();
    return shown;
}

// A view's window of that kind (a menu command opens it), once shown; null
// when it is not within ms.
template <class View, class Kind>
LFrame* ShownWindowOf(View* view, Kind kind, u32 ms = 5000) {
    LFrame* frame = nullptr;
    const bool shown = WaitUntil(
        [&] {
            frame = view->Window(kind);
            return frame && frame->IsShown();
        },
        ms);
    return shown ? frame : nullptr;
}

// A point of a pane on the screen, from the pane's top left.
inline QPoint ScreenPoint(LPane* pane, LPoint at) {
    LWindow* w = LWindow::FindByNative(pane->GetNativeWindow());
    const LRect c = w ? w->GetContentScreenRect() : LRect();
    const u64 tl = pane->GetTopLeftIn(nullptr);
    return QPoint(c.left + i32(LPane::UnpackX(tl)) + at.x, c.top + i32(LPane::UnpackY(tl)) + at.y);
}

// A screen point inside a pane: vertically centred, near its left edge, where a
// field's text is (a number field's stepper is at its right).
inline QPoint PaneCenter(LPane* pane) {
    return ScreenPoint(
        pane, LPoint{std::min(12, pane->Bounds().Width() / 2), pane->Bounds().Height() / 2});
}

// The real pointer and keyboard on the program's windows and their menu bars.
class MenuDriver {
public:
    // clickGapMs: between the clicks of a double click.
    explicit MenuDriver(const XvfbHarness& x, int clickGapMs = 60)
        : fX(x), fGap(clickGapMs), fKeys(x) {}

    // Whether keys sent now reach the window the program takes as active: the
    // window manager hands the X input focus over on its own time, and keys
    // sent before it has go to the window that had it.
    bool KeysReachActive() const {
        if (QApplication::activePopupWidget()) return true;
        QWidget* active = QApplication::activeWindow();
        if (!active) return false;
        const std::string focus = fX.Run("xdotool getwindowfocus");
        return std::strtoull(focus.c_str(), nullptr, 10) == u64(active->winId());
    }
    // Waits until the window holds the X input focus and the program knows it.
    bool WaitActive(QWidget* window, u32 ms = 3000) const {
        return RunUntilEvery(
            [&] { return QApplication::activeWindow() == window->window() && KeysReachActive(); },
            ms);
    }

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
            if (WaitUntil([&] { return menu->isVisible(); }, 3000)) return menu;
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
        WaitUntil([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
    }
    // Chooses the item whose text starts with the prefix; false when it is not
    // there or disabled. The click is sent without waiting: a modal window it
    // opens runs its loop in the caller's next wait.
    bool Choose(QWidget* w, const QString& menuTitle, const QString& prefix) {
        walkwatch::Note("choosing " + menuTitle.toStdString() + " > " + prefix.toStdString());
        QMenu* menu = OpenAgain(w, menuTitle);
        if (!menu) return false;
        for (QAction* a : menu->actions()) {
            if (!a->text().startsWith(prefix)) continue;
            // An item may be enabled by a device reply still on its way.
            if (!WaitUntil([&] { return a->isEnabled(); }, 3000)) break;
            fChoseAt = InputSeen::Instance().Releases();
            fX.XdotoolAsync(Where(menu->mapToGlobal(menu->actionGeometry(a).center())) +
                            " click 1");
            return true;
        }
        Close();
        return false;
    }
    // The same, then waits for the menu to go and the program to have taken
    // the click (the command runs as the item takes it). settleMs: no longer
    // used, kept for the callers that pass it.
    bool ChooseSettled(QWidget* w, const QString& menuTitle, const QString& prefix,
                       u32 settleMs = 300) {
        (void)settleMs;
        if (!Choose(w, menuTitle, prefix)) return false;
        const u64 before = fChoseAt;
        return Await("the menu item '" + prefix.toStdString() + "' taken", [&] {
            return QApplication::activePopupWidget() == nullptr &&
                   InputSeen::Instance().Releases() > before;
        });
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
        // Which window the click lands on, and which has the keys: a click
        // that lands on another window than meant says so in a failure's steps.
        auto titleOf = [](const QWidget* w) {
            return w ? "'" + w->window()->windowTitle().toStdString() + "'" : std::string("none");
        };
        walkwatch::Note("click " + std::to_string(count) + " at " + std::to_string(p.x()) + "," +
                        std::to_string(p.y()) + " on " + titleOf(QApplication::widgetAt(p)) +
                        ", active " + titleOf(QApplication::activeWindow()));
        // The program takes a click that comes at once after its window became
        // active as the one that activated it, and drops it.
        // A window under the pointer that is not active may be on its way
        // there (the window manager hands it back once a dialog over it has
        // closed): a person waits for it to come forward before clicking.
        if (QWidget* under = QApplication::widgetAt(p))
            if (auto* m = dynamic_cast<MWindow*>(under->window())) {
                // With none active, the window manager is still between
                // windows: on a busy machine that takes more than a second.
                if (!QApplication::activeWindow())
                    WaitUntil([] { return QApplication::activeWindow() != nullptr; }, 5000);
                if (!m->isActiveWindow()) WaitUntil([&] { return m->isActiveWindow(); }, 1000);
                if (m->isActiveWindow()) WaitUntil([&] { return m->ActiveForMs() >= 150; }, 1000);
            }
        // Two clicks within the double-click time are a double click to the
        // program's lists, wherever the second lands: a click meant on its own
        // waits until the last is older, as a person's next click is.
        {
            const u32 dbl = u32(QGuiApplication::styleHints()->mouseDoubleClickInterval()) + 50;
            WaitUntil([&] { return LTickMs() - fLastClickAt > dbl; }, dbl + 50);
        }
        std::string cmd = Where(p);
        if (!mods.empty()) cmd += " keydown " + mods;
        cmd +=
            " click --repeat " + std::to_string(count) + " --delay " + std::to_string(fGap) + " 1";
        if (!mods.empty()) cmd += " keyup " + mods;
        const u64 seen = InputSeen::Instance().Releases();
        // Sent beside the program, whose loop runs until xdotool is done.
        std::vector<std::string> args;
        for (size_t at = 0; at < cmd.size();) {
            const size_t end = std::min(cmd.find(' ', at), cmd.size());
            if (end > at) args.push_back(cmd.substr(at, end - at));
            at = end + 1;
        }
        const pid_t pid = fX.XdotoolStart(args);
        WaitUntil([&] { return XvfbHarness::Finished(pid); }, 5000);
        fLastClickAt = LTickMs();
        // Back once the program has the clicks (a click that opens a modal
        // window is taken in that window's loop, so this wait is bounded).
        if (fClicksTaken)
            WaitUntil([&] { return InputSeen::Instance().Releases() >= seen + u64(count); }, 2000);
    }
    // Each key pressed and released apart at a person's pace, each sent once
    // the active window holds the X focus; back once the program has taken
    // every key.
    void Key(const std::string& keys) {
        walkwatch::Note("keys " + keys);
        fKeys.Keys(keys, [this] { return KeysReachActive(); });
    }
    // The text typed a character at a time at a person's pace, the program
    // running between the keys.
    void Type(const std::string& text) {
        walkwatch::Note("typing " + text);
        fKeys.Text(text, [this] { return KeysReachActive(); });
    }

protected:
    void WaitKeysReach() {
        EXPECT_TRUE(WaitUntil([&] { return KeysReachActive(); }, 3000))
            << "the X focus is not on the active window";
    }
    const XvfbHarness& fX;
    int fGap;
    PacedKeys fKeys;
    u32 fLastClickAt = 0;
    u64 fChoseAt = 0;

public:
    // Clicks wait until the program has taken them. Off by default, as the
    // walks written before it send theirs; two clicks taken on one spot within
    // the double-click time are a double click, so a walk that waits leaves
    // that time between them.
    bool fClicksTaken = false;
};

// A drag with the real pointer, one step at a time, each sent once the program
// has taken the one before: the press reached a pane that holds the mouse, the
// move past the start distance began the platform drag, the target took the
// drag over it, the release ended the drag. QDrag::exec runs an event loop of
// its own, so the steps run from a timer, not from the caller's waits: start
// it, then WaitUntil(Done()).
class PointerDrag {
public:
    // entered: the target takes the drag (by default the drag object of the
    // window under `to` has a target pane).
    // held: a key held down from the drag's start to its end ("ctrl" for a copy).
    PointerDrag(const XvfbHarness& x, QPoint from, QPoint to,
                std::function<bool()> entered = nullptr, u32 stepMs = 5000, std::string held = "")
        : fX(x),
          fFrom(from),
          fTo(to),
          fEntered(std::move(entered)),
          fStepMs(stepMs),
          fHeld(std::move(held)) {
        if (!fEntered) fEntered = [this] { return TargetTakes(); };
        fBaseLevel = QThread::currentThread()->loopLevel();
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(20);
        fAt = LTickMs();
    }
    bool Done() const { return fStep == kDone || fStep == kFailed; }
    bool Ok() const { return fStep == kDone; }
    // The step that did not come about, for a failure's message.
    std::string Failure() const { return fFailure; }

private:
    enum Step { kActive, kPressed, kStarted, kEntered, kEnded, kDone, kFailed };

    static bool DragRunning() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->findChild<QDrag*>()) return true;
        return false;
    }
    // By the windows' places: while the drag runs, its image is the top window
    // under the pointer.
    bool TargetTakes() const {
        for (MWindow* w : ShownWindows()) {
            if (!w->frameGeometry().contains(fTo)) continue;
            LDrop* drop = LDropMgr::Instance().DropFor(static_cast<QWidget*>(w));
            if (drop && drop->Target()) return true;
        }
        return false;
    }
    void Tick() {
        if (Done()) return;
        bool met = false;
        switch (fStep) {
            case kActive: {
                // A press on a window not yet active only brings it forward.
                QWidget* under = QApplication::widgetAt(fFrom);
                auto* w = under ? dynamic_cast<MWindow*>(under->window()) : nullptr;
                met = w && QApplication::activeWindow() == w && w->ActiveForMs() >= 150 &&
                      std::strtoull(fX.Run("xdotool getwindowfocus").c_str(), nullptr, 10) ==
                          u64(w->winId());
                if (met) {
                    fSource = w;
                    // A pane left holding the mouse by an earlier click is no sign of this press.
                    fCaptureBefore = LMouse::Instance() ? LMouse::Instance()->Capture() : nullptr;
                    fX.Xdotool(Where(fFrom) + " mousedown 1");
                }
                break;
            }
            case kPressed:
                met = (QGuiApplication::mouseButtons() & Qt::LeftButton) && LMouse::Instance() &&
                      LMouse::Instance()->Capture() &&
                      LMouse::Instance()->Capture() != fCaptureBefore;
                if (met)
                    fX.Xdotool("mousemove " + std::to_string(fFrom.x() + 10) + " " +
                               std::to_string(fFrom.y() + 10));
                break;
            case kStarted:
                met = QThread::currentThread()->loopLevel() > fBaseLevel && DragRunning();
                if (met) fX.Xdotool((fHeld.empty() ? "" : "keydown " + fHeld + " ") + Where(fTo));
                break;
            case kEntered:
                met = fEntered();
                if (met) fX.Xdotool("mouseup 1");
                break;
            case kEnded:
                met = QThread::currentThread()->loopLevel() == fBaseLevel &&
                      !(QGuiApplication::mouseButtons() & Qt::LeftButton);
                if (met && !fHeld.empty()) fX.Xdotool("keyup " + fHeld);
                break;
            default:
                break;
        }
        if (met) {
            fStep = Step(fStep + 1);
            fAt = LTickMs();
            if (fStep == kDone) fTimer.stop();
            return;
        }
        if (LTickMs() - fAt < fStepMs) return;
        static const char* const names[] = {"source window active", "press taken", "drag started",
                                            "target entered", "drag ended"};
        fFailure = names[fStep];
        // What held the mouse and how long the source window had been active.
        LPane* capture = LMouse::Instance() ? LMouse::Instance()->Capture() : nullptr;
        fFailure += std::string(" (mouse held by ") +
                    (capture ? typeid(*capture).name() : "nothing") +
                    (capture && capture == fCaptureBefore ? ", as before the press" : "") +
                    "; source active for " +
                    (fSource ? std::to_string(fSource->ActiveForMs()) : std::string("-")) +
                    " ms; active window " +
                    (QApplication::activeWindow()
                         ? QApplication::activeWindow()->windowTitle().toStdString()
                         : std::string("none")) +
                    ")";
        fTimer.stop();
        // Nothing left held down for the walk's next steps.
        if (fStep != kActive) fX.Xdotool("mouseup 1" + (fHeld.empty() ? "" : " keyup " + fHeld));
        fStep = kFailed;
    }

    const XvfbHarness& fX;
    QPoint fFrom, fTo;
    std::function<bool()> fEntered;
    u32 fStepMs;
    std::string fHeld;
    int fBaseLevel = 0;
    QTimer fTimer;
    Step fStep = kActive;
    QPointer<MWindow> fSource;
    LPane* fCaptureBefore = nullptr;
    u32 fAt = 0;
    std::string fFailure;
};

// The walk in a child process of its own (one QApplication a process); a
// failure there fails the test. The child answers for its own failures only:
// a test that runs several walks one after another fails each once.
template <class F>
void InChildProcess(F walk, const XvfbHarness& x) {
    const testing::TestResult* result =
        testing::UnitTest::GetInstance()->current_test_info()->result();
    const int before = result->total_part_count();
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        walkwatch::Arm();
        walk();
        std::fflush(nullptr);
        bool failed = false;
        for (int i = before; i < result->total_part_count(); ++i)
            failed = failed || result->GetTestPartResult(i).failed();
        _exit(failed ? 1 : 0);
    }
    const std::string shot = std::string("hung-") +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
    const int status = walkwatch::AwaitChild(pid, [&] { x.Screenshot(shot); });
    if (status == -1) {
        ADD_FAILURE() << "the walk hung: stopped after " << walkwatch::LimitSeconds()
                      << " s (its last steps above, the screen in " << shot << ")";
        return;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// The application as a walk starts it on the X display: the runtime and
// configuration folders in the test's own folder, Qt's warnings collected, and
// the name users see in its menus.
class WalkLaunch : public AppLaunch {
public:
    explicit WalkLaunch(const std::string& dir) : AppLaunch("xcb", Prepared(dir) + "/config") {
        QtMenuServices::SetAppName(QStringLiteral("KEVOruneSet"));
    }

private:
    // Before the application is made: it reads both when it starts.
    static const std::string& Prepared(const std::string& dir) {
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.c_str()));
        qInstallMessageHandler(CollectWarnings);
        return dir;
    }
};
