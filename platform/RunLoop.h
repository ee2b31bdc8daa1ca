#pragma once
// Run-loop services of the main thread: one-shot timers, the wake-up source that
// owns them, and signalled sources that run a callback on their owning thread.
// The device link is driven entirely by these. No Qt here: platform/qt/ has them.

#include "base/Types.h"

using LRunLoopFn = void (*)(void* context);

// The holder of the main run loop's wake-up source; handed to every timer of the
// device link so that they fire on the main thread.
class LRunLoopHolder;
LRunLoopHolder* MainRunLoopWakeSource();

// A one-shot timer of the holder's run loop. Nothing is scheduled until StartMs.
class LRunLoopTimer {
public:
    LRunLoopTimer(LRunLoopHolder* holder, void* context, LRunLoopFn callback);
    ~LRunLoopTimer();
    LRunLoopTimer(const LRunLoopTimer&) = delete;
    LRunLoopTimer& operator=(const LRunLoopTimer&) = delete;

    // Fires *ms from now (0: at the next turn); an armed timer moves. May be called
    // from any thread; the callback always runs on the holder's thread.
    void StartMs(const u32* ms);
    void StartMs(u32 ms) { StartMs(&ms); }
    // Fires no more until the next StartMs.
    void Disarm();

    class Impl;

private:
    Impl* fImpl;
};

// A source of the creating thread's run loop: Signal, from any thread, makes the
// callback run once on that thread; signals that come before it ran coalesce.
class CRunLoopSrc {
public:
    static CRunLoopSrc* New(void* context, LRunLoopFn callback);
    virtual ~CRunLoopSrc() = default;
    virtual void Signal() = 0;

protected:
    CRunLoopSrc() = default;
};

// Runs the calling thread's run loop for one turn, waiting at most maxWaitMs for
// something to do. For the modal progress loops and for tests.
void RunLoopRunOnce(u32 maxWaitMs);
