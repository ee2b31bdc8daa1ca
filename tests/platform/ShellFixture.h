#pragma once
// The Qt shell in a test process: a QApplication, the Qt services and the
// singletons, with a stand-in application object and frames that record the
// messages they get.
#include <QApplication>

#include <functional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "framework/AppSingletons.h"
#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/qt/QtWindows.h"

inline std::vector<std::string> gLog;

class RecApp : public CMainLoopBase {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CMainLoopBase_Deferred)) {
            gLog.push_back(msg.name);
            if (fNest) {
                fNest = false;
                RunLoop()->RequestUpdate();
                for (int i = 0; i < 3; ++i) RunLoop()->RunModalTurn(this);
                gLog.push_back("nested done");
            }
        }
        return CMainLoopBase::HandleMessage(msg);
    }
    bool fNest = false;
};

class RecFrame : public LFrame {
public:
    RecFrame(u32 type, u32 kind) : LFrame(gApp, nullptr, LPaneOpt::Window(type, kind)) {}
    LMessage HandleMessage(const LMessage& msg) override {
        LKeyboard* kb = LKeyboard::Instance();
        if (msg.source == GetWindow() || msg.source == kb) gLog.push_back(msg.name);
        if (msg.Is(LKeyboard_Down)) {
            fKeys.push_back({kb->fChar, kb->fModifiers, u32(kb->GetNavKey())});
            if (fWantChar) kb->fUsed = 0;
            return LMessage();
        }
        if (msg.Is(LWindow_Context)) {
            if (!fTakeContext) LMouse::Instance()->fUsed = 0;
            return LMessage();
        }
        if (msg.Is(LWindowPlacer_Grow) && fMaxW) {
            static_cast<LWindowPlacer*>(msg.source)->SetSizeAndMax(fMinW, 100, fMaxW, 400);
            return LMessage();
        }
        if (msg.Is(LWindow_Wheel)) {
            LMouse* m = LMouse::Instance();
            fWheel = {m->Position(), m->Modifiers(), m->GetWheelX(), m->GetWheelY()};
        }
        if (msg.Is(LWindow_Click) || msg.Is(LWindow_Wheel) || msg.Is(LWindow_Close)) return LMessage();
        return LFrame::HandleMessage(msg);
    }
    LWindow* GetWindow() const { return fWindow; }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }

    struct Key {
        u32 ch, modifiers, nav;
    };
    std::vector<Key> fKeys;
    struct Wheel {
        LPoint pos;
        u32 modifiers;
        i32 dx, dy;
    } fWheel{};
    bool fWantChar = false;
    bool fTakeContext = false;
    i32 fMinW = 0, fMaxW = 0;
};

inline CQtMainLoop* Loop() {
    return static_cast<CQtMainLoop*>(CMainLoop::Current());
}

inline int Count(const char* name) {
    int n = 0;
    for (const std::string& s : gLog) n += s == name;
    return n;
}

// Runs the event loop until pred holds, for at most ms of real time.
inline bool RunUntil(const std::function<bool()>& pred, u32 ms = 3000) {
    for (const u32 start = LTickMs(); !pred() && LTickMs() - start < ms;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

// One application per test program, on the given Qt platform.
class ShellEnv {
public:
    explicit ShellEnv(const char* platform) {
        qputenv("QT_QPA_PLATFORM", platform);
        static int argc = 1;
        static char name[] = "shelltest";
        static char* argv[] = {name, nullptr};
        fApp = new QApplication(argc, argv);
        fShell = new QtShell;
        InitAppSingletons([] { return static_cast<CMainLoopBase*>(new RecApp); });
    }
    ~ShellEnv() {
        ShutdownAppSingletons();
        QCoreApplication::processEvents();
        delete fShell;
        delete fApp;
    }
    QApplication* fApp;
    QtShell* fShell;
};
