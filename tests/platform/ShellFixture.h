#pragma once
// The Qt shell in a test process: a QApplication, the Qt services and the
// singletons, a stand-in application object and frames that record messages.
#include <QAbstractEventDispatcher>
#include <QApplication>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "base/Clock.h"
#include "framework/AppSingletons.h"
#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/LTimer.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/qt/QtWindows.h"

inline std::vector<std::string> gLog;

// On "CMainLoopBase_Deferred" with fNest: asks for another pass, runs three modal turns.
class RecApp : public CMainLoopBase {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CMainLoopBase_Deferred) || msg.Is(LTimer_Expire)) gLog.push_back(msg.name);
        if (msg.Is(CMainLoopBase_Deferred) && fNest) {
            fNest = false;
            RunLoop()->RequestUpdate();
            for (int i = 0; i < 3; ++i) RunLoop()->RunModalTurn(this);
            gLog.push_back("nested done");
        }
        return CMainLoopBase::HandleMessage(msg);
    }
    bool fNest = false;
};

// Logs what its window and the keyboard send; keeps each key and the last wheel.
class RecFrame : public LFrame {
public:
    RecFrame(u32 type, u32 kind) : LFrame(gApp, nullptr, LPaneOpt::Window(type, kind)) {}
    LMessage HandleMessage(const LMessage& msg) override {
        LKeyboard* kb = LKeyboard::Instance();
        LMouse* m = LMouse::Instance();
        if (msg.source == fWindow || msg.source == kb) gLog.push_back(msg.name);
        // The frame itself may hold the mouse (fOnClick takes it).
        if (msg.source == m && msg.Is(LMouse_Release)) gLog.push_back(msg.name);
        if (msg.Is(LWindow_Click) && msg.source == fWindow && fOnClick) fOnClick();
        if (msg.Is(LKeyboard_Down)) {
            fKeys.push_back({kb->fChar, kb->fModifiers, u32(kb->GetNavKey())});
            if (fWantChar) kb->fUsed = 0;
            return LMessage();
        }
        if (msg.Is(LWindow_Context) && !fTakeContext) m->fUsed = 0;
        if (msg.Is(LWindow_Wheel)) fWheel = {m->GetWheelY(), m->Position(), m->Modifiers()};
        if (msg.Is(LWindowPlacer_Grow) && fMaxW)
            static_cast<LWindowPlacer*>(msg.source)->SetSizeAndMax(fMinW, 100, fMaxW, 400);
        else if (msg.source != fWindow || msg.Is(LWindow_Update) || msg.Is(LWindow_Place))
            return LFrame::HandleMessage(msg);
        return LMessage();
    }
    LWindow* GetWindow() const { return fWindow; }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }

    std::vector<std::tuple<u32, u32, u32>> fKeys;  // character, modifiers, navigation code
    std::tuple<i32, LPoint, u32> fWheel;           // vertical delta, position, modifiers
    std::function<void()> fOnClick;                // run as a click is handled
    bool fWantChar = false, fTakeContext = false;
    i32 fMinW = 0, fMaxW = 0;
};

inline CQtMainLoop* Loop() {
    return static_cast<CQtMainLoop*>(CMainLoop::Current());
}

inline int Count(const char* name) {
    return int(std::count(gLog.begin(), gLog.end(), name));
}

// Runs the event loop until pred holds, for at most ms of real time.
inline bool RunUntil(const std::function<bool()>& pred, u32 ms = 3000) {
    for (const u32 start = LTickMs(); !pred() && LTickMs() - start < ms;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

// Runs the loop until a pass of it finds nothing to do: whatever the last
// change queued (painting, posted messages, timers due now) has run. What is
// still to come from outside (the X server, a device) is not covered.
inline bool LoopDrained(u32 ms = 2000) {
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    for (const u32 start = LTickMs(); LTickMs() - start < ms;) {
        QCoreApplication::sendPostedEvents();
        if (!d->processEvents(QEventLoop::AllEvents)) return true;
    }
    return false;
}

// One application per test program, on the given Qt platform.
struct ShellEnv {
    explicit ShellEnv(const char* platform) {
        qputenv("QT_QPA_PLATFORM", platform);
        static int argc = 1;
        static char name[] = "shelltest", *argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        shell = new QtShell;
        InitAppSingletons([] { return static_cast<CMainLoopBase*>(new RecApp); });
    }
    ~ShellEnv() {
        ShutdownAppSingletons();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete shell;
        delete app;
    }
    QApplication* app;
    QtShell* shell;
};
