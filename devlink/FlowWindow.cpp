#include "devlink/FlowWindow.h"

#include "services/Services.h"

namespace {

constexpr u32 kMaxBackoff = 16;
constexpr u32 kMaxSampleMs = 600000;

u32 Max(u32 a, u32 b) {
    return a > b ? a : b;
}

}  // namespace

u32 CFlowWindow::Now() {
    return LTickMs();
}

CFlowWindow::CFlowWindow() : sentTick(Now()) {}

void CFlowWindow::Reset(u32 now) {
    window = 1;
    threshold = maxWindow;
    outstanding = 0;
    avoidCount = 0;
    mode = 0;
    srtt = 8000;
    rttvar = 0;
    sentTick = now;
    lastSample = 1000;
    timing = 0;
    sampled = 0;
    timedAhead = 0;
    backoff = 0;
    peakVar = prevPeakVar = 0;
    peakSince = now;
    stalled = 0;
    stallSince = lastAckTick = now;
}

void CFlowWindow::SetMax(u32 n) {
    maxWindow = n;
    if (window > n) window = n;
    if (threshold > n) threshold = n;
}

void CFlowWindow::OnSend(u32 now, bool fresh) {
    // One block is timed at a time, and never one sent before: its acknowledgement
    // could answer either copy (Karn). The timed block going out again ends its timing.
    if (timing && !fresh && outstanding == timedAhead) timing = 0;
    if (!timing && fresh) {
        timing = 1;
        sentTick = now;
        timedAhead = outstanding;
    }
    ++outstanding;
}

void CFlowWindow::Sample(u32 rtt, u32 now) {
    if (rtt > kMaxSampleMs) rtt = kMaxSampleMs;
    lastSample = rtt;
    if (!sampled) {
        // The starting second is a guess, not a measurement: the first sample replaces
        // it, with half of it as the variation until more samples come.
        sampled = 1;
        srtt = rtt << 3;
        rttvar = rtt << 1;
        backoff = 0;
        peakSince = now;
        return;
    }
    const i32 err = i32(rtt) - i32(srtt >> 3);
    srtt = u32(i32(srtt) + err);
    const u32 absErr = err < 0 ? u32(-i64(err)) : u32(err);
    rttvar = rttvar - (rttvar >> 2) + absErr;
    // A valid sample ends the back-off: the link answers again.
    backoff = 0;
    stalled = 0;
    NotePeak(0, now);  // lets a pause seen long ago go
}

void CFlowWindow::NotePeak(u32 variation, u32 now) {
    const u32 age = now - peakSince;
    if (age >= kPeakHoldMs) {
        prevPeakVar = age >= 2 * kPeakHoldMs ? 0 : peakVar;
        peakVar = 0;
        peakSince = now;
    }
    peakVar = Max(peakVar, variation);
}

void CFlowWindow::OnAck(u32 now) {
    // The timed block keeps its place across a loss or a time-out: when its own
    // acknowledgement comes before it was sent again, the sample is sound, and it is
    // the one that shows how long the device paused.
    if (timing) {
        if (timedAhead > 0) {
            --timedAhead;
        } else {
            timing = 0;
            Sample(now - sentTick, now);
        }
    }
    // After a time-out only the oldest block went again: the acknowledgement of a
    // block that did not is one the device sent for the first copy. The time-out
    // was spurious, the device had only paused; how long it did is remembered as a
    // variation, so that its next pause does not fire the timer again.
    if (stalled && outstanding == 0) {
        stalled = 0;
        backoff = 0;
        NotePeak(now - stallSince, now);
    }
    lastAckTick = now;
    if (outstanding == 0) return;
    --outstanding;
    if (mode == 0) {
        if (window < threshold) {
            ++window;
        } else if (window < maxWindow) {
            ++avoidCount;
            if (window <= avoidCount) {
                ++window;
                avoidCount = 0;
            }
        }
    } else {
        avoidCount = 0;
        mode = 0;
    }
}

void CFlowWindow::OnLoss() {
    if (mode != 0) return;
    threshold = window / 2 < 1 ? 1 : window / 2;
    window = 1;
    outstanding = 0;
    mode = 1;
}

void CFlowWindow::OnTimeout() {
    if (mode == 0) {
        threshold = window / 2 < 1 ? 1 : window / 2;
        mode = 1;
    }
    // The time-out backs off, the estimate stays what was measured.
    if (backoff < kMaxBackoff) ++backoff;
    if (!stalled) {
        stalled = 1;
        stallSince = lastAckTick;
    }
    window = 1;
    outstanding = 0;
}

u32 CFlowWindow::Variation() const {
    return Max(rttvar & 0x3FFFFFFFu, Max(peakVar, prevPeakVar) & 0x3FFFFFFFu);
}

u32 CFlowWindow::RtoFloor() const {
    return kGuardTicks + Variation();
}

u32 CFlowWindow::MeasuredRto() const {
    // Before any sample: the first time-out of one second.
    if (!sampled) return (srtt >> 3) + (rttvar & 0x3FFFFFFFu);
    return (srtt >> 3) + RtoFloor();
}

u32 CFlowWindow::Rto() const {
    const u32 base = MeasuredRto();
    const u32 cap = Max(base, kMaxBackedOffMs);
    const u64 v = u64(base) << backoff;
    return v > cap ? cap : u32(v);
}
