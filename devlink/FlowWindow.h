#pragma once
// The flow window of one transfer peer: how many DATA blocks may be unacknowledged
// at once (slow start, congestion avoidance, halving on loss) and how long the
// sender waits for an acknowledgement (smoothed RTT and its mean deviation).
// Times are milliseconds of LTickMs.

#include "base/Types.h"

class CFlowWindow {
public:
    // The time-out never comes sooner than this many ticks after the smoothed RTT plus
    // its variation: on a 1 ms clock a sample and a timer are each a tick off.
    static constexpr u32 kGuardTicks = 3;
    // Backing off doubles the time-out up to this (or up to the time-out itself, when
    // the link is that slow).
    static constexpr u32 kMaxBackedOffMs = 1000;
    // How long the largest recent variation keeps the time-out up: a device that
    // paused once (writing to its card) pauses again.
    static constexpr u32 kPeakHoldMs = 1000;

    CFlowWindow();

    void Reset() { Reset(Now()); }
    void Reset(u32 now);
    void SetMax(u32 n);
    // fresh: the block was never sent before (only those are timed).
    void OnSend() { OnSend(Now(), true); }
    void OnSend(u32 now, bool fresh = true);
    // The expected acknowledgement arrived.
    void OnAck() { OnAck(Now()); }
    void OnAck(u32 now);
    // An acknowledgement other than the expected one arrived.
    void OnLoss();
    // The retransmission timer fired.
    void OnTimeout();
    // The delay with which the sender arms its timer after sending.
    u32 Rto() const;
    // The time-out the measurements alone give (no back-off), and its lower bound.
    u32 MeasuredRto() const;
    u32 RtoFloor() const;

    u32 maxWindow = 1;
    u32 window = 1;
    u32 threshold = 1;
    u32 outstanding = 0;
    u32 avoidCount = 0;
    u32 mode = 0;  // 1: recovering from a loss
    u32 srtt = 8000;
    u32 rttvar = 0;
    u32 sentTick = 0;
    u32 lastSample = 1000;
    u8 timing = 0;
    // Not in the window rules: the estimator's own state.
    u8 sampled = 0;      // a first RTT sample was taken
    u32 timedAhead = 0;  // acknowledgements due before the timed block's
    u32 backoff = 0;     // time-outs since the last valid sample
    u32 peakVar = 0, prevPeakVar = 0, peakSince = 0;
    u8 stalled = 0;  // timed out, and not yet shown whether the device had only paused
    u32 stallSince = 0, lastAckTick = 0;

private:
    void Sample(u32 rtt, u32 now);
    void NotePeak(u32 variation, u32 now);
    u32 Variation() const;
    static u32 Now();
};
