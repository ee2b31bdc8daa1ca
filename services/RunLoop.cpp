// The registry behind services/RunLoop.h: which run-loop services serve the
// timers and sources, and the timer and source handles that reach them. No Qt
// here, so that the device link and what lies below it link without it; the
// platform's own loop (platform/qt/core) puts itself in as the default when a
// program links it.

#include "services/RunLoop.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<LRunLoopServices*> sPlatform{nullptr};
std::atomic<LRunLoopServices*> sInstalled{nullptr};
std::atomic<bool> sMainClosing{false};

}  // namespace

void SetPlatformRunLoopServices(LRunLoopServices* services) {
    sPlatform.store(services);
}

void InstallRunLoopServices(LRunLoopServices* services) {
    sInstalled.store(services);
}

LRunLoopServices& RunLoopServices() {
    if (LRunLoopServices* s = sInstalled.load()) return *s;
    if (LRunLoopServices* s = sPlatform.load()) return *s;
    // A timer with nothing to run it would never fire: say so at once instead.
    std::fputs(
        "kevorune: no run loop: this program links no platform run loop "
        "(kvqtrunloop) and none is installed\n",
        stderr);
    std::abort();
}

LRunLoopHolder* MainRunLoopWakeSource() {
    return RunLoopServices().MainWakeSource();
}

void MainRunLoopClosing() {
    sMainClosing.store(true);
}

bool MainRunLoopIsClosing() {
    return sMainClosing.load();
}

CEventTimer::CEventTimer(void* context, Fn callback)
    : fTimer(MainRunLoopWakeSource(), this, Fired), fContext(context), fCallback(callback) {}

void CEventTimer::Trigger() {
    if (fPending) return;
    fPending = true;
    fTimer.StartMs(0u);
}

void CEventTimer::Fired(void* self) {
    CEventTimer* t = static_cast<CEventTimer*>(self);
    t->fPending = false;
    t->fCallback(t->fContext, t);
}

LRunLoopTimer::LRunLoopTimer(LRunLoopHolder* holder, void* context, LRunLoopFn callback)
    : fImpl(RunLoopServices().NewTimer(holder, context, callback)) {}

LRunLoopTimer::~LRunLoopTimer() {
    delete fImpl;
}

void LRunLoopTimer::StartMs(const u32* ms) {
    fImpl->StartMs(*ms);
}

void LRunLoopTimer::Disarm() {
    fImpl->Disarm();
}

CRunLoopSrc* CRunLoopSrc::New(void* context, LRunLoopFn callback) {
    return RunLoopServices().NewSource(context, callback);
}

void RunLoopRunOnce(u32 maxWaitMs) {
    RunLoopServices().RunOnce(maxWaitMs);
}

void RunLoopMakeMain() {
    RunLoopServices().MakeMain();
}
