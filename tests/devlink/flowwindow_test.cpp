// The flow window: growth, loss, time-out and the retransmission delay.

#include <gtest/gtest.h>

#include "devlink/FlowWindow.h"

namespace {

CFlowWindow Fresh(u32 cap) {
    CFlowWindow w;
    w.Reset(0);
    w.SetMax(1);
    w.SetMax(cap);
    return w;
}

TEST(FlowWindow, RaisedCapGrowsByCongestionAvoidanceFromTheStart) {
    CFlowWindow w = Fresh(50);
    EXPECT_EQ(w.window, 1u);
    EXPECT_EQ(w.threshold, 1u);
    std::vector<u32> after;
    for (int i = 0; i < 6; ++i) {
        w.OnSend(0);
        w.OnAck(2);
        after.push_back(w.window);
    }
    EXPECT_EQ(after, (std::vector<u32>{2, 2, 3, 3, 3, 4}));
    for (int i = 0; i < 5000; ++i) {
        w.OnSend(0);
        w.OnAck(1);
    }
    EXPECT_EQ(w.window, 50u);
}

TEST(FlowWindow, CapOneNeverGrows) {
    CFlowWindow w = Fresh(1);
    for (int i = 0; i < 100; ++i) {
        w.OnSend(0);
        w.OnAck(1);
    }
    EXPECT_EQ(w.window, 1u);
}

TEST(FlowWindow, TwoLossesInARowHalveTheThresholdOnce) {
    CFlowWindow w = Fresh(50);
    w.window = 16;
    w.outstanding = 10;
    w.OnLoss();
    EXPECT_EQ(w.threshold, 8u);
    EXPECT_EQ(w.window, 1u);
    EXPECT_EQ(w.outstanding, 0u);
    w.OnLoss();
    EXPECT_EQ(w.threshold, 8u);
    // An acknowledgement while nothing is outstanding changes nothing.
    w.OnAck(5);
    EXPECT_EQ(w.mode, 1u);
    EXPECT_EQ(w.window, 1u);
    // The first good one ends recovery and leaves the window alone.
    w.OnSend(10);
    w.OnAck(12);
    EXPECT_EQ(w.mode, 0u);
    EXPECT_EQ(w.window, 1u);
    // Slow start below the threshold.
    w.OnSend(20);
    w.OnAck(22);
    EXPECT_EQ(w.window, 2u);
}

TEST(FlowWindow, TimeoutsNeverRaiseTheSmoothedPartAboveOneSecond) {
    CFlowWindow w = Fresh(50);
    EXPECT_EQ(w.Rto(), 1000u);
    for (int i = 0; i < 40; ++i) w.OnTimeout();
    EXPECT_EQ(w.srtt, 8000u);
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
