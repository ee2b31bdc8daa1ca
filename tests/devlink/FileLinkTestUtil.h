#pragma once
// A device object for the file-link tests (the device's request queue and its
// contents record, against a simulated device) and ways to move the virtual
// clock that also serve the framework timers.

#include <algorithm>
#include <chrono>

#include "devlink/DevObjLink.h"
#include "framework/LTimer.h"
#include "records/PrefNodes.h"
#include "tests/devlink/DeviceTestUtil.h"

namespace filelink {

class FileLinkTest : public devtest::DeviceLinkTest, public MDevObjLink {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        if (HasFatalFailure()) return;
        RegisterAllRecordKinds();
        AddDevice(305, 1);
        fQueue = std::make_unique<CReqQueue>(&fSet, 305);
        fContents = std::make_unique<CRecordDoc>(NewDeviceContentsRecord());
    }
    void TearDown() override { fQueue.reset(), DeviceLinkTest::TearDown(); }
    CReqQueue* DeviceQueue() override { return fQueue.get(); }
    CRecord* ContentsRecord() override { return fContents->Root(); }
    LHandler* DialogOwner() override { return nullptr; }

    static void FireTimers() { LTimer::FireDue(LTickMs(), nullptr, nullptr, true); }
    // The clock stands; transfers run in real time until pred holds.
    bool Settle(const std::function<bool()>& pred, u32 realMs = 5000) {
        return fLoop.RunUntil([&] { return FireTimers(), pred(); }, realMs);
    }
    // Moves the clock ms forward, serving both kinds of timer at their deadlines.
    void Advance(u32 ms) {
        for (FireTimers(); ms > 0; FireTimers()) {
            const i32 next = LTimer::NextWaitMs(nullptr, nullptr, true);
            const u32 step = next > 0 && u32(next) < ms ? u32(next) : ms;
            fLoop.Advance(step);
            ms -= step;
        }
    }
    // Until pred holds: transfers settle at a standing clock, then the clock
    // jumps to the next timer of either kind; at most maxMs of virtual time.
    bool Drive(const std::function<bool()>& pred, u32 maxMs = 60000) {
        const u32 start = LTickMs();
        const auto realEnd = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(Settle([&] { return pred() || fQueue->IsIdle(); }, 300) && pred())) {
            const u32 left = maxMs - std::min(maxMs, u32(LTickMs() - start));
            const u32 next = u32(LTimer::NextWaitMs(nullptr, nullptr, true));  // 2^31-1: none
            if (left == 0 || std::chrono::steady_clock::now() > realEnd) return pred();
            if (fLoop.AdvanceToNext(std::min(next, left))) continue;
            if (next <= left)
                Advance(next);
            else
                Settle(pred, 20);  // only another thread can bring something now
        }
        return true;
    }

    std::string Sdc(const std::string& rel) { return fDir.Path() + "/305/sdc/" + rel; }
    bool Ok(const std::string& cmd) { return fSim.Cmd(cmd).rfind("ok", 0) == 0; }
    // Requests of the path the device saw (a delayed one once).
    size_t Asked(const std::string& path) {
        size_t n = 0;
        for (const std::string& l : LogOf("pkt"))
            n += Field(l, "dir") == "in" && Field(l, "path") == path && Field(l, "fate") != "late";
        return n;
    }
    std::unique_ptr<CReqQueue> fQueue;
    std::unique_ptr<CRecordDoc> fContents;
};

}  // namespace filelink
