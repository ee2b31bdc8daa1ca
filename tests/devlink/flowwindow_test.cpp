// The flow window: growth, loss, time-out and the retransmission delay.

#include <gtest/gtest.h>

#include "devlink/FlowWindow.h"

namespace {

CFlowWindow Fresh(u32 cap) {
    CFlowWindow w;
    w.Reset(0);
    w.SetMax(1);  // as a new peer starts: the cap is raised after the reset
    w.SetMax(cap);
    return w;
}

// The window after each of a run of acknowledged sends.
std::vector<u32> Grow(CFlowWindow& w, int acks, u32 rtt = 2) {
    std::vector<u32> after;
    for (int i = 0; i < acks; ++i) {
        w.OnSend(0);
        w.OnAck(rtt);
        after.push_back(w.window);
    }
    return after;
}

TEST(FlowWindow, RaisedCapGrowsByCongestionAvoidanceUpToTheCap) {
    CFlowWindow w = Fresh(50);
    EXPECT_EQ(Grow(w, 6), (std::vector<u32>{2, 2, 3, 3, 3, 4}));
    EXPECT_EQ(Grow(w, 5000).back(), 50u);
    CFlowWindow one = Fresh(1);
    EXPECT_EQ(Grow(one, 100).back(), 1u);
}

TEST(FlowWindow, TwoLossesInARowHalveTheThresholdOnce) {
    CFlowWindow w = Fresh(50);
    w.window = 16;
    w.outstanding = 10;
    w.OnLoss();
    w.OnLoss();
    EXPECT_EQ(w.threshold, 8u);
    EXPECT_EQ(w.window, 1u);
    EXPECT_EQ(w.outstanding, 0u);
    w.OnAck(5);  // nothing outstanding: changes nothing
    EXPECT_EQ(w.mode, 1u);
    // The first good acknowledgement ends recovery and leaves the window alone;
    // below the threshold it then grows by one per acknowledgement.
    EXPECT_EQ(Grow(w, 3), (std::vector<u32>{1, 2, 3}));
    EXPECT_EQ(w.mode, 0u);
}

TEST(FlowWindow, RetransmissionDelay) {
    CFlowWindow w = Fresh(50);
    EXPECT_EQ(w.Rto(), 1000u);
    for (int i = 0; i < 40; ++i) w.OnTimeout();
    EXPECT_EQ(w.srtt, 8000u) << "time-outs never raise the smoothed part above one second";
    EXPECT_EQ(w.Rto(), 1000u);
}

TEST(FlowWindow, FastLinkDrivesTheTimeoutDownToItsFloor) {
    CFlowWindow w = Fresh(50);
    u32 now = 0;
    for (int i = 0; i < 300; ++i) {
        w.OnSend(now);
        now += 2;
        w.OnAck(now);
    }
    EXPECT_LE(w.srtt, 24u);
    EXPECT_LT(w.Rto(), 10u);
    EXPECT_GE(w.Rto(), 2 + CFlowWindow::kGuardTicks);
}

}  // namespace
