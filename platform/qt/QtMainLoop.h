#pragma once
// The framework's run loop on Qt's event loop: one single-shot precise QTimer
// serves every framework timer, a modal turn is one processEvents that waits
// at most clamp(LTimer::NextWaitMs, 10, 1000) ms, and an update request is one
// coalesced high-priority event that sends "CMainLoopBase_Deferred" before the
// windows repaint.

#include <QObject>
#include <QTimer>

#include "framework/CMainLoop.h"
#include "services/RunLoop.h"

class CQtMainLoop;

// Receives the loop's posted events; a QObject of the main thread.
class CQtLoopAgent : public QObject {
public:
    explicit CQtLoopAgent(CQtMainLoop* loop) : fLoop(loop) {}
    bool event(QEvent* e) override;

private:
    CQtMainLoop* fLoop;
};

class CQtMainLoop : public CMainLoop {
public:
    explicit CQtMainLoop(CMainLoopBase* owner);
    ~CQtMainLoop() override;

    void RunModalStep() override;
    void Terminate() override;
    void RequestUpdate() override;
    void ArmNativeTimer(u32 ms) override;

    // An event timer of the main run loop; the caller owns it.
    CEventTimer* NewEventTimer(CEventTimer::Fn callback, void* context) {
        return new CEventTimer(context, callback);
    }
    // A wheel event over a window (null: not a framework window): gathered for
    // 10 ms into one "LWindow_Wheel".
    void ScrollWheel(LWindow* window, LPoint screenPos, f64 dx, f64 dy, u32 modifiers);
    // The window goes: a gathered wheel event over it is dropped.
    void ForgetWindow(LWindow* window);

    // The delay the native timer was last armed with, and the wait of the last
    // modal turn (for tests).
    u32 ArmedMs() const { return fArmedMs; }
    i32 RemainingMs() const { return fTimer.remainingTime(); }
    u32 LastModalWaitMs() const { return fModalWaitMs; }

    // Called by the entry point to end the application; null for none.
    using TerminateFn = void (*)();
    static void SetTerminateHandler(TerminateFn fn);
    // The loop once it is fully built (the menu bar's timers start while the
    // framework part is still being made); null before and after.
    static CQtMainLoop* Ready();

private:
    friend class CQtLoopAgent;
    void Fire();
    void DeliverDeferred();

    CQtLoopAgent fAgent;
    QTimer fTimer;
    u32 fArmedMs = 0;
    u32 fModalWaitMs = 0;
    bool fUpdatePosted = false;
    bool fInPass = false;
    bool fPassMissed = false;
};
