#pragma once
// Run-loop services of the main thread: one-shot timers, the wake-up source that
// owns them, and signalled sources that run a callback on their owning thread.
// The device link is driven entirely by these. No Qt here: services/RunLoop.cpp
// keeps which loop serves them, platform/qt/core has the Qt one.

#include "base/Types.h"

using LRunLoopFn = void (*)(void* context);

// The holder of the main run loop's wake-up source; handed to every timer of the
// device link so that they fire on the main thread.
class LRunLoopHolder;
LRunLoopHolder* MainRunLoopWakeSource();
// Marks the main run loop as closing: once its application object is gone, a
// timer first started from another thread gives up instead of waiting for a run
// loop that will never come. Called by the entry point at exit.
void MainRunLoopClosing();
bool MainRunLoopIsClosing();

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

    // One timer as the installed run-loop services keep it.
    class Impl {
    public:
        virtual ~Impl() = default;
        virtual void StartMs(u32 ms) = 0;
        virtual void Disarm() = 0;
    };

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

// A timer of the main run loop that, once triggered, runs its callback at the next
// turn; triggers that come before it ran coalesce. Main thread only.
class CEventTimer {
public:
    using Fn = void (*)(void* context, CEventTimer* timer);
    CEventTimer(void* context, Fn callback);
    virtual ~CEventTimer() = default;
    CEventTimer(const CEventTimer&) = delete;
    CEventTimer& operator=(const CEventTimer&) = delete;

    virtual void Trigger();
    bool IsPending() const { return fPending; }

private:
    static void Fired(void* self);

    LRunLoopTimer fTimer;
    void* fContext;
    Fn fCallback;
    bool fPending = false;
};

// Runs the calling thread's run loop for one turn, waiting at most maxWaitMs for
// something to do. For the modal progress loops and for tests.
void RunLoopRunOnce(u32 maxWaitMs);
// Makes the calling thread the main run loop when nothing has claimed it yet: for
// programs without windows (tools, benchmarks, tests on the platform's loop).
void RunLoopMakeMain();

// What stands behind the functions above. The platform's own loop (Qt) is the
// default where a program links it; a test installs one with a virtual clock
// before it creates any timer or source, and takes it out after the last one is
// gone: a timer stays with the services that made it. With neither, the first
// use stops the program with a message.
class LRunLoopServices {
public:
    virtual ~LRunLoopServices() = default;
    virtual LRunLoopHolder* MainWakeSource() = 0;
    virtual LRunLoopTimer::Impl* NewTimer(LRunLoopHolder* holder, void* context,
                                          LRunLoopFn callback) = 0;
    virtual CRunLoopSrc* NewSource(void* context, LRunLoopFn callback) = 0;
    virtual void RunOnce(u32 maxWaitMs) = 0;
    virtual void MakeMain() = 0;
};

// Null goes back to the platform's loop. The caller keeps ownership.
void InstallRunLoopServices(LRunLoopServices* services);
// The platform's own loop makes itself the default with this as the program starts.
void SetPlatformRunLoopServices(LRunLoopServices* services);
LRunLoopServices& RunLoopServices();
