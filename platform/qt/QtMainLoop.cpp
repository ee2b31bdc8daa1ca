#include "platform/qt/QtMainLoop.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>

#include <algorithm>
#include <climits>
#include <cmath>

#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/LTimer.h"
#include "framework/LWindow.h"

namespace {

const QEvent::Type kDeferredEvent = QEvent::Type(QEvent::User + 0x4b44);
CQtMainLoop::TerminateFn sTerminate = nullptr;
CQtMainLoop* sReady = nullptr;

LHandler* DialogHandler() {
    LWindow* w = LDesktop::FindWindowById(kWindowDialog);
    return w ? w->GetFrame() : nullptr;
}

}  // namespace

bool CQtLoopAgent::event(QEvent* e) {
    if (e->type() != kDeferredEvent) return QObject::event(e);
    fLoop->DeliverDeferred();
    return true;
}

CQtMainLoop::CQtMainLoop(CMainLoopBase* owner) : CMainLoop(owner), fAgent(this) {
    fTimer.setSingleShot(true);
    fTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&fTimer, &QTimer::timeout, &fAgent, [this] { Fire(); });
    sReady = this;
    // Timers started while the framework part was being made.
    RearmTimer();
}

CQtMainLoop::~CQtMainLoop() {
    if (sReady == this) sReady = nullptr;
    fTimer.stop();
}

CQtMainLoop* CQtMainLoop::Ready() {
    return sReady;
}

void CQtMainLoop::SetTerminateHandler(TerminateFn fn) {
    sTerminate = fn;
}

void CQtMainLoop::ArmNativeTimer(u32 ms) {
    fArmedMs = ms;
    fTimer.start(int(std::min<u32>(ms, INT_MAX)));
}

void CQtMainLoop::Fire() {
    // Inside a menu's or a drag's own loop the pointer belongs to them.
    const bool tracking = QApplication::activePopupWidget() != nullptr;
    const QPoint at = QCursor::pos();
    const LPoint pos{at.x(), at.y()};
    TimerFired(tracking ? nullptr : &pos);
}

void CQtMainLoop::ScrollWheel(LWindow* window, LPoint screenPos, f64 dx, f64 dy, u32 modifiers) {
    // Each delta joins the sum truncated as it arrives.
    const i32 sumX = i32(std::trunc(f64(fWheelDx) + dx));
    const i32 sumY = i32(std::trunc(f64(fWheelDy) + dy));
    AddWheel(window, screenPos.x, screenPos.y, sumX - fWheelDx, sumY - fWheelDy, modifiers);
    fImmediatePending = 1;
    ArmNativeTimer(10);
}

void CQtMainLoop::ForgetWindow(LWindow* window) {
    if (fWheelWindow != window) return;
    fWheelWindow = nullptr;
    fWheelDx = fWheelDy = 0;
}

void CQtMainLoop::RunModalStep() {
    const i32 wait = LTimer::NextWaitMs(ModalTop(), DialogHandler(), fActive);
    fModalWaitMs = u32(std::clamp(wait, 10, 1000));
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(int(fModalWaitMs));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void CQtMainLoop::Terminate() {
    if (sTerminate)
        sTerminate();
    else
        QCoreApplication::exit(0);
}

void CQtMainLoop::RequestUpdate() {
    if (fUpdatePosted) return;
    fUpdatePosted = true;
    // High priority: ahead of the repaints Qt posts at low priority.
    QCoreApplication::postEvent(&fAgent, new QEvent(kDeferredEvent), Qt::HighEventPriority);
}

void CQtMainLoop::DeliverDeferred() {
    fUpdatePosted = false;
    if (fInPass) {
        // A modal loop inside the pass: the request waits for the pass to end.
        fPassMissed = true;
        return;
    }
    fInPass = true;
    SendDeferred();
    fInPass = false;
    if (fPassMissed) {
        fPassMissed = false;
        RequestUpdate();
    }
}
