#pragma once
// What the device-screen tests share: a stand-in for the device window, the
// framework clock tied to the run loop's virtual one, and running both clocks.
#include <functional>
#include <vector>

#include "devices/CKvsDevDoc.h"
#include "framework/LTimer.h"
#include "tests/devlink/UdpTally.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/FakeServices.h"

struct View : MKvsDevView {
    void SetRefreshProgress(u32 v) override { progress.push_back(v); }
    i32 SelectedRow() override { return row; }
    void SelectRow(i32 r) override {
        row = r;
        if (doc) doc->ShowSelected();
    }
    void ShowDevice(u16 s, CRecord*, CRecord* state) override {
        serial = s;
        shownState = state;
    }
    LRect WindowBounds() override { return LRect(11, 22, 333, 444); }
    void PlaceWindow(const LRect& r) override { placed = r; }
    LHandler* WindowHandler() override { return &window; }
    LHandler* ListHandler() override { return &list; }
    void SetStatusText(const LString& text) override { status = text.CStr(); }
    std::string status;
    CKvsDevDoc* doc = nullptr;
    std::vector<u32> progress;
    i32 row = -1;
    u16 serial = 0;
    CRecord* shownState = nullptr;
    LRect placed;
    LHandler window, list;
};

// Timers started from transfer callbacks count from the moment the callback ran.
struct LoopClock : FakeServices {
    explicit LoopClock(CVirtualRunLoop* l) : loop(l) {}
    u32 NowMs() override { return loop->NowMs(); }
    CVirtualRunLoop* loop;
};

// Takes in what the sockets brought, then fires the due framework timers or moves
// the clock to the next deadline of either kind, until pred holds; false when it
// does not within limitMs of virtual time. settle, when given, returns once every
// real peer has answered what it was sent (a round trip to the simulated devices'
// control socket): the clock must not move while an answer is still on its way,
// however slow a loaded machine makes the peer.
// Simulated devices answer in real time while the clock is virtual: before the
// clock moves on, every transfer a device began must have been taken in and
// acknowledged here, or a loaded machine makes a device look silent. Two idle
// reports in a row, so that a request still on its way counts too.
template <class SimProcess>
void SettleSim(CVirtualRunLoop& loop, SimProcess& sim) {
    for (int idle = 0, turns = 0; idle < 2 && turns < 300; ++turns) {
        idle = sim.Cmd("xfers") == "ok active=0" ? idle + 1 : 0;
        loop.RunUntil([] { return false; }, 10);
    }
}

inline bool RunVirtual(CVirtualRunLoop& loop, const std::function<bool()>& pred, u32 limitMs,
                       const std::function<void()>& settle = {}) {
    for (const u32 start = loop.NowMs(); !pred();) {
        if (loop.NowMs() - start > limitMs) return false;
        loop.RunUntil([] { return false; }, 30);
        if (settle) {
            settle();
            loop.RunUntil([] { return false; }, 30);
            if (pred()) break;
        }
        const i32 wait = LTimer::NextWaitMs(nullptr, nullptr, true);
        if (wait == 0)
            LTimer::FireDue(loop.NowMs(), nullptr, nullptr, true);
        else if (!loop.AdvanceToNext(u32(wait)))
            loop.Advance(u32(wait));
    }
    return true;
}
