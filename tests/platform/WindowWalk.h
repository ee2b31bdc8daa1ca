#pragma once
// Walk steps on whole windows under Xvfb and openbox: a window moved by its
// title bar and closed by its close box as a person does it, the stacking
// read from the window manager, a window of another program, and a drag that
// starts in a window that is not in front.
#include <QApplication>
#include <QDrag>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "base/Clock.h"
#include "framework/CDragger.h"
#include "framework/InputState.h"
#include "framework/LDrop.h"
#include "platform/qt/QtWindows.h"

inline std::string XY(QPoint p) {
    return std::to_string(p.x()) + " " + std::to_string(p.y());
}

// The height of a window's title bar (0 without a frame yet).
inline int TitleHeight(const QWidget* w) {
    return w->geometry().top() - w->frameGeometry().top();
}

// A point on the title bar, left of its middle (where the title is, away from
// the buttons at its right end).
inline QPoint TitlePoint(const QWidget* w) {
    const QRect f = w->frameGeometry();
    return QPoint(f.left() + f.width() / 3, f.top() + TitleHeight(w) / 2);
}

// The close box: openbox puts it at the right end of the title bar, a square
// as high as the bar's inner part.
inline QPoint CloseBoxPoint(const QWidget* w) {
    const QRect f = w->frameGeometry();
    const int h = TitleHeight(w);
    return QPoint(f.right() - h / 2 - 2, f.top() + h / 2);
}

// Where a window stands in the window manager's stacking, bottom 0; -1 when
// it is not managed (hidden).
inline long StackIndex(const XvfbHarness& x, u64 window) {
    const std::vector<u64> stack = x.Stacking();
    for (size_t i = 0; i < stack.size(); ++i)
        if (stack[i] == window) return long(i);
    return -1;
}

// The X window state the window manager keeps for the window (Normal or
// Iconic): what the screen shows, whatever the program believes.
inline std::string XState(const XvfbHarness& x, const QWidget* win) {
    const std::string out = x.Run("xprop -id " + std::to_string(win->winId()) + " WM_STATE");
    const size_t at = out.find("window state: ");
    if (at == std::string::npos) return "-";
    const size_t from = at + 14;
    return out.substr(from, out.find('\n', from) - from);
}

// The X window of one of the program's windows, as the window manager lists it.
inline u64 ClientId(const QWidget* w) {
    return u64(w->winId());
}

// Moves a window by dragging its title bar with the pointer, in steps as a
// hand does; back once the window stands still at its new place or after 5 s.
inline void DragTitle(const XvfbHarness& x, QWidget* w, QPoint by) {
    const QPoint from = TitlePoint(w);
    const QPoint to = from + by;
    const QPoint mid = from + by / 2;
    const QRect before = w->frameGeometry();
    const pid_t pid = x.XdotoolStart(
        {"mousemove", std::to_string(from.x()), std::to_string(from.y()), "sleep", "0.2",
         "mousedown", "1", "sleep", "0.2", "mousemove", std::to_string(from.x() + 6),
         std::to_string(from.y() + 6), "sleep", "0.15", "mousemove", std::to_string(mid.x()),
         std::to_string(mid.y()), "sleep", "0.15", "mousemove", std::to_string(to.x()),
         std::to_string(to.y()), "sleep", "0.2", "mouseup", "1"});
    RunUntil([&] { return w->frameGeometry().topLeft() == before.topLeft() + by; }, 5000);
    Await("the title bar let go", [&] { return XvfbHarness::Finished(pid); }, 5000);
    LoopDrained();
}

// Another program's window: xmessage on the display, at a place and size of
// the screen. Ended by its own process id.
class OtherProgram {
public:
    OtherProgram(const XvfbHarness& x, const QRect& at, const std::string& title) : fX(x) {
        const std::string geometry = std::to_string(at.width()) + "x" +
                                     std::to_string(at.height()) + "+" + std::to_string(at.x()) +
                                     "+" + std::to_string(at.y());
        const std::string out =
            x.Run("sh -c 'xmessage -geometry " + geometry + " -title " + title + " -name " + title +
                  " \"another program\" >/dev/null 2>&1 & echo $!'");
        fPid = pid_t(std::atol(out.c_str()));
        RunUntil(
            [&] {
                const std::string ids = x.Run("xdotool search --name " + title);
                fWindow = std::strtoull(ids.c_str(), nullptr, 10);
                return fWindow != 0 && StackIndex(x, fWindow) >= 0;
            },
            5000);
    }
    ~OtherProgram() {
        if (fPid > 0) kill(fPid, SIGTERM);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    bool Ok() const { return fPid > 0 && fWindow != 0; }
    u64 Window() const { return fWindow; }
    // Made the active window as a click on it does (the program's windows go
    // behind it).
    void Activate() const {
        fX.Xdotool("windowactivate --sync " + std::to_string(fWindow));
        fX.Xdotool("windowraise " + std::to_string(fWindow));
    }

private:
    const XvfbHarness& fX;
    pid_t fPid = -1;
    u64 fWindow = 0;
};

// A drag with the real pointer from a window that is not in front, one step at
// a time, each sent once the program has taken the one before: the press
// reached a list that made its dragger (the window was not only brought
// forward), the move past the start distance began the platform drag, the
// target took the drag over it, the release ended the drag. QDrag::exec runs
// a loop of its own, so the steps run from a timer: start it, then
// RunUntil(Done()). `entered`: the target takes the drag.
class BackgroundDrag {
public:
    BackgroundDrag(const XvfbHarness& x, QPoint from, QPoint to, std::function<bool()> entered,
                   u32 stepMs = 5000)
        : fX(x), fFrom(from), fTo(to), fEntered(std::move(entered)), fStepMs(stepMs) {
        fBaseLevel = QThread::currentThread()->loopLevel();
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(20);
        fAt = LTickMs();
        fX.Xdotool("mousemove " + XY(fFrom));
        fX.Xdotool("mousedown 1");
    }
    bool Done() const { return fStep == kDone || fStep == kFailed; }
    bool Ok() const { return fStep == kDone; }
    std::string Failure() const { return fFailure; }
    // What the step that saw the target take the drag also saw.
    std::function<void()> fOnEntered;

private:
    enum Step { kPressed, kStarted, kEntered, kEnded, kDone, kFailed };

    static bool DragRunning() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->findChild<QDrag*>()) return true;
        return false;
    }
    void Tick() {
        if (Done()) return;
        bool met = false;
        LMouse* mouse = LMouse::Instance();
        switch (fStep) {
            case kPressed:
                met = mouse && dynamic_cast<CDragger*>(mouse->Capture()) != nullptr;
                if (met) fX.Xdotool("mousemove " + XY(fFrom + QPoint(10, 10)));
                break;
            case kStarted:
                met = QThread::currentThread()->loopLevel() > fBaseLevel && DragRunning();
                if (met)
                    fX.Xdotool("mousemove " + XY(fTo - QPoint(3, 3)) + " sleep 0.1 " +
                               "mousemove " + XY(fTo));
                break;
            case kEntered:
                met = fEntered();
                if (met) {
                    if (fOnEntered) fOnEntered();
                    fX.Xdotool("mouseup 1");
                }
                break;
            case kEnded:
                met = QThread::currentThread()->loopLevel() == fBaseLevel &&
                      !(QGuiApplication::mouseButtons() & Qt::LeftButton);
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
        static const char* const names[] = {"press taken by a dragger", "drag started",
                                            "target entered", "drag ended"};
        fFailure = names[fStep];
        LPane* capture = mouse ? mouse->Capture() : nullptr;
        fFailure += std::string(" (mouse held by ") +
                    (capture ? typeid(*capture).name() : "nothing") + "; active window " +
                    (QApplication::activeWindow()
                         ? QApplication::activeWindow()->windowTitle().toStdString()
                         : std::string("none")) +
                    ")";
        fTimer.stop();
        fX.Xdotool("mouseup 1");
        fStep = kFailed;
    }

    const XvfbHarness& fX;
    QPoint fFrom, fTo;
    std::function<bool()> fEntered;
    u32 fStepMs;
    int fBaseLevel = 0;
    QTimer fTimer;
    Step fStep = kPressed;
    u32 fAt = 0;
    std::string fFailure;
};
