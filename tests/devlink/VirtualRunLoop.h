#pragma once
// A run loop whose clock moves only when the test moves it. From construction to
// destruction it stands in for the platform's loop and for LTickMs: create it
// before any device-link object and destroy it after the last one. Timers and
// sources run on the thread that drives the loop; other threads (the socket
// reactor) may start timers and signal sources at any time, and wake it.
// Move the clock only while no real peer may still answer: a reply that comes
// after the jump is taken for a lost one. The simulated devices on loopback are
// waited for here: the clock moves only once every datagram exchanged with them
// has been handled and taken in (tools/testkit/WireGate.h), however slowly a
// loaded machine runs them. Exact send times are best read off the socket calls
// (FakeSysCalls in EngineTestUtil.h), not off their delivery.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "services/RunLoop.h"
#include "services/Services.h"

class WireCountingCalls;

class CVirtualRunLoop final : public LRunLoopServices, public LTickSource {
public:
    // Starts a little before the u32 tick wraps, so that time-outs measured
    // across the wrap are tested too.
    explicit CVirtualRunLoop(u32 startMs = 0xFFFFC000u);
    ~CVirtualRunLoop() override;
    CVirtualRunLoop(const CVirtualRunLoop&) = delete;
    CVirtualRunLoop& operator=(const CVirtualRunLoop&) = delete;

    u32 NowMs() override;
    // The clock moves on by ms without running anything: the paused thread is
    // the one that would run it.
    bool Pause(u32 ms) override;
    // Runs the oldest source or timer due now, if any: a test may stop between
    // two steps that the loop would otherwise run in one go.
    bool RunOne();
    // Runs the signalled sources and the timers due now, oldest first, until none
    // is left; answers how many ran.
    u32 RunDue();
    // The clock stands still: runs what falls due (woken by other threads too)
    // until pred holds or realMs of real time passed; answers pred().
    bool RunUntil(const std::function<bool()>& pred, u32 realMs = 5000);
    // Moves the clock ms forward; each timer runs with the clock at its deadline.
    void Advance(u32 ms);
    // Moves the clock to the earliest armed timer no more than limitMs away and
    // runs what is due then; false (the clock unmoved) when there is none. The end
    // of a simulated device's pause counts as a timer.
    bool AdvanceToNext(u32 limitMs = 0xFFFFFFFFu);

    LRunLoopHolder* MainWakeSource() override { return nullptr; }
    LRunLoopTimer::Impl* NewTimer(LRunLoopHolder* holder, void* context,
                                  LRunLoopFn callback) override;
    CRunLoopSrc* NewSource(void* context, LRunLoopFn callback) override;
    // Never moves the clock: waits real time for another thread's wake-up.
    void RunOnce(u32 maxWaitMs) override;
    void MakeMain() override {}

    struct Item;

private:
    // Returns once nothing is on its way to or from the simulated devices, running
    // what falls due meanwhile (run false: only what this process sent, nothing run).
    void Settle(bool run = true);
    // Moves the clock forward to at and tells the simulated devices.
    void MoveTo(u32 at);
    Item* NextDueLocked(u32 at);
    void Arm(Item* item, u32 ms);
    void Remove(Item* item);
    friend class VirtualTimer;
    friend class VirtualSource;

    std::unique_ptr<WireCountingCalls> fCalls;
    std::mutex fMutex;
    std::condition_variable fWake;
    std::vector<Item*> fItems;
    u32 fNow;
    u64 fVirtualMs = 0;  // since construction, for the simulated devices' pauses
    u64 fSeq = 0;
};

// A virtual run loop as a test fixture's first base: made before, and gone
// after, everything the fixture's later bases and members make on it.
struct VirtualLoopFirst {
    CVirtualRunLoop loop;
};

