#include "tests/devlink/VirtualRunLoop.h"

#include <algorithm>
#include <chrono>

#include "tests/devlink/WireCalls.h"
#include "tools/testkit/WireGate.h"

// A timer or a source: a source is a timer armed for "now" by Signal.
struct CVirtualRunLoop::Item {
    void* context;
    LRunLoopFn callback;
    bool armed = false;
    u32 due = 0;
    u64 seq = 0;
};

class VirtualTimer final : public LRunLoopTimer::Impl {
public:
    VirtualTimer(CVirtualRunLoop* loop, void* context, LRunLoopFn callback)
        : fLoop(loop), fItem{context, callback} {
        std::lock_guard<std::mutex> lock(loop->fMutex);
        loop->fItems.push_back(&fItem);
    }
    ~VirtualTimer() override { fLoop->Remove(&fItem); }
    void StartMs(u32 ms) override { fLoop->Arm(&fItem, ms); }
    void Disarm() override {
        std::lock_guard<std::mutex> lock(fLoop->fMutex);
        fItem.armed = false;
    }

private:
    CVirtualRunLoop* fLoop;
    CVirtualRunLoop::Item fItem;
};

class VirtualSource final : public CRunLoopSrc {
public:
    VirtualSource(CVirtualRunLoop* loop, void* context, LRunLoopFn callback)
        : fLoop(loop), fItem{context, callback} {
        std::lock_guard<std::mutex> lock(loop->fMutex);
        loop->fItems.push_back(&fItem);
    }
    ~VirtualSource() override { fLoop->Remove(&fItem); }
    void Signal() override {
        std::lock_guard<std::mutex> lock(fLoop->fMutex);
        if (fItem.armed) return;  // signals before the callback ran coalesce
        fItem.armed = true;
        fItem.due = fLoop->fNow;
        fItem.seq = ++fLoop->fSeq;
        fLoop->fWake.notify_all();
    }

private:
    CVirtualRunLoop* fLoop;
    CVirtualRunLoop::Item fItem;
};

CVirtualRunLoop::CVirtualRunLoop(u32 startMs)
    : fCalls(std::make_unique<WireCountingCalls>(true)), fNow(startMs) {
    InstallTickSource(this);
    InstallRunLoopServices(this);
    testtftp::WireGate::SetClock(0);
}

CVirtualRunLoop::~CVirtualRunLoop() {
    testtftp::WireGate::ClearClock();
    InstallRunLoopServices(nullptr);
    InstallTickSource(nullptr);
}

u32 CVirtualRunLoop::NowMs() {
    std::lock_guard<std::mutex> lock(fMutex);
    return fNow;
}

bool CVirtualRunLoop::Pause(u32 ms) {
    // Nothing runs in a pause, so answers cannot be taken in: only what this
    // process sent is waited for.
    Settle(false);
    MoveTo(NowMs() + ms);
    return true;
}

void CVirtualRunLoop::MoveTo(u32 at) {
    u64 ms;
    {
        std::lock_guard<std::mutex> lock(fMutex);
        const i32 by = i32(at - fNow);
        if (by <= 0) return;
        fNow = at;
        fVirtualMs += u32(by);
        ms = fVirtualMs;
    }
    testtftp::WireGate::SetClock(ms);
}

// How far the clock may move before a simulated device goes on from a pause; 0: no limit.
static u64 DeviceWake() {
    u64 in = 0;
    return testtftp::WireGate::NextWake(&in) ? in : 0;
}

LRunLoopTimer::Impl* CVirtualRunLoop::NewTimer(LRunLoopHolder*, void* context,
                                               LRunLoopFn callback) {
    return new VirtualTimer(this, context, callback);
}

CRunLoopSrc* CVirtualRunLoop::NewSource(void* context, LRunLoopFn callback) {
    return new VirtualSource(this, context, callback);
}

void CVirtualRunLoop::Arm(Item* item, u32 ms) {
    std::lock_guard<std::mutex> lock(fMutex);
    item->armed = true;
    item->due = fNow + ms;
    item->seq = ++fSeq;
    fWake.notify_all();
}

void CVirtualRunLoop::Remove(Item* item) {
    std::lock_guard<std::mutex> lock(fMutex);
    fItems.erase(std::remove(fItems.begin(), fItems.end(), item), fItems.end());
}

// The armed item with the earliest deadline at or before at (ties: first armed).
CVirtualRunLoop::Item* CVirtualRunLoop::NextDueLocked(u32 at) {
    Item* best = nullptr;
    for (Item* i : fItems) {
        if (!i->armed || i32(i->due - at) > 0) continue;
        if (!best || i32(i->due - best->due) < 0 || (i->due == best->due && i->seq < best->seq))
            best = i;
    }
    return best;
}

bool CVirtualRunLoop::RunOne() {
    std::unique_lock<std::mutex> lock(fMutex);
    Item* i = NextDueLocked(fNow);
    if (!i) return false;
    i->armed = false;
    void* const context = i->context;
    const LRunLoopFn callback = i->callback;
    lock.unlock();
    callback(context);
    return true;
}

u32 CVirtualRunLoop::RunDue() {
    u32 ran = 0;
    // Bounded: a timer that restarts itself at 0 ms would otherwise never let go.
    while (ran < 100000 && RunOne()) ++ran;
    return ran;
}

bool CVirtualRunLoop::RunUntil(const std::function<bool()>& pred, u32 realMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    for (;;) {
        RunDue();
        if (pred()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return false;
        // Short slices: pred may wait on something that does not wake the loop
        // (a datagram to the test's own socket).
        const auto slice =
            std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(2));
        std::unique_lock<std::mutex> lock(fMutex);
        fWake.wait_for(lock, slice, [&] { return NextDueLocked(fNow) != nullptr; });
    }
}

void CVirtualRunLoop::RunOnce(u32 maxWaitMs) {
    if (RunDue()) return;
    {
        std::unique_lock<std::mutex> lock(fMutex);
        fWake.wait_for(lock, std::chrono::milliseconds(maxWaitMs),
                       [&] { return NextDueLocked(fNow) != nullptr; });
    }
    RunDue();
}

void CVirtualRunLoop::Settle(bool run) {
    testtftp::WireGate gate;
    while (!gate.Quiet(run)) {
        if (run) RunDue();
        // At most a millisecond: the devices' progress wakes nothing here.
        std::unique_lock<std::mutex> lock(fMutex);
        fWake.wait_for(lock, std::chrono::milliseconds(1),
                       [&] { return run && NextDueLocked(fNow) != nullptr; });
    }
}

void CVirtualRunLoop::Advance(u32 ms) {
    u32 target;
    {
        std::lock_guard<std::mutex> lock(fMutex);
        target = fNow + ms;
    }
    for (bool last = false; !last;) {
        RunDue();
        Settle();
        const u64 wake = DeviceWake();
        u32 to;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            Item* i = NextDueLocked(target);
            u32 step = target - fNow;
            if (i) step = i32(i->due - fNow) > 0 ? i->due - fNow : 0;
            last = !i;
            if (wake && wake < step) step = u32(wake), last = false;
            to = fNow + step;
        }
        MoveTo(to);
    }
    RunDue();
}

bool CVirtualRunLoop::AdvanceToNext(u32 limitMs) {
    Settle();
    const u64 wake = DeviceWake();
    u32 to;
    {
        std::lock_guard<std::mutex> lock(fMutex);
        Item* best = nullptr;
        for (Item* i : fItems)
            if (i->armed && (!best || i32(i->due - best->due) < 0)) best = i;
        if (!best && !wake) return false;
        u64 in = best ? u64(std::max<i32>(0, i32(best->due - fNow))) : ~u64(0);
        if (wake && wake < in) in = wake;
        if (in > limitMs) return false;
        to = fNow + u32(in);
    }
    MoveTo(to);
    RunDue();
    return true;
}
