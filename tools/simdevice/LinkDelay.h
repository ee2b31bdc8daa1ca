#pragma once
// A device's distance on the network: everything it sends leaves after a set delay,
// optionally with seeded jitter, and in the order it was sent. On loopback a round
// trip is tens of microseconds; flow windows matter at the round trips of real
// devices, a millisecond or more away.

#include "tools/simdevice/SimDevice.h"

#include <functional>
#include <map>
#include <utility>

namespace simdev {

class Control;

class DelayLine {
public:
    explicit DelayLine(Loop& loop);
    ~DelayLine();
    DelayLine(const DelayLine&) = delete;
    DelayLine& operator=(const DelayLine&) = delete;

    // Runs send once the device's delay has passed; false (nothing kept) when the
    // device has none, so that the caller sends at once.
    bool Defer(Device& d, std::function<void()> send);
    size_t Pending() const { return fDue.size(); }

private:
    void OnTimer();
    void Arm();

    Loop& fLoop;
    int fFd = -1;
    uint64_t fSeq = 0;
    std::map<std::pair<uint64_t, uint64_t>, std::function<void()>> fDue;  // (due ns, seq)
};

// set-delay serno=N delay-ms=MS [jitter-ms=MS] [seed=S]
void AddLinkDelayCommands(Control& control, Sim& sim);

}  // namespace simdev
