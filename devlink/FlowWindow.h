#pragma once
// The flow window of one transfer peer: how many DATA blocks may be unacknowledged
// at once (slow start, congestion avoidance, halving on loss) and how long the
// sender waits for an acknowledgement (smoothed RTT and its mean deviation).
// Times are milliseconds of LTickMs.

#include "base/Types.h"

class CFlowWindow {
public:
    CFlowWindow();

    void Reset() { Reset(Now()); }
    void Reset(u32 now);
    void SetMax(u32 n);
    void OnSend() { OnSend(Now()); }
    void OnSend(u32 now);
    // The expected acknowledgement arrived.
    void OnAck() { OnAck(Now()); }
    void OnAck(u32 now);
    // An acknowledgement other than the expected one arrived.
    void OnLoss();
    // The retransmission timer fired.
    void OnTimeout();
    // The delay with which the sender arms its timer after sending.
    u32 Rto() const { return (srtt >> 3) + (rttvar & 0x3FFFFFFFu); }

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

private:
    static u32 Now();
};
