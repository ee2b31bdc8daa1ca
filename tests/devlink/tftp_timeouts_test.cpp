// The engine's waiting times at their real values, against a silent or
// half-silent scripted peer on loopback.

#include <gtest/gtest.h>

#include <memory>

#include "platform/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/TestTftpClient.h"

using namespace enginetest;
using namespace testtftp;

namespace {

class Timeouts : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        ASSERT_TRUE(server.Ok());
        mgr = std::make_unique<CTftpManager>(MainRunLoopWakeSource(), 1);
    }
    void TearDown() override {
        if (s) mgr->Release(s);
    }
    void Begin(bool write) {
        s = mgr->StartTransfer(LNetAddr::IPv4(0x7F000001, server.Port()), write, "/sdc/t", &rec,
                               Recorder::Callback, LoopbackIndex());
        s->Start();
    }
    std::optional<Datagram> Next(u32 ms) {
        std::optional<Datagram> d;
        RunUntil([&] { return bool(d = server.Recv(0)); }, ms);
        return d;
    }
    u16 Port() { return s->Socket().LocalPort(); }

    TestTftpClient server{Ip(127, 0, 0, 1)};
    std::unique_ptr<CTftpManager> mgr;
    CTftpSession* s = nullptr;
    Recorder rec;
};

TEST_F(Timeouts, UnansweredRequestIsSentElevenTimesASecondApart) {
    const u32 start = LTickMs();
    Begin(false);
    std::vector<u32> at;
    RunUntil(
        [&] {
            while (auto d = server.Recv(0)) at.push_back(LTickMs() - start);
            return rec.Done();
        },
        15000);
    ASSERT_EQ(at.size(), 11u);
    for (size_t i = 1; i < at.size(); ++i) {
        EXPECT_GE(at[i] - at[i - 1], 950u);
        EXPECT_LE(at[i] - at[i - 1], 1200u);
    }
    ASSERT_TRUE(rec.Done());
    EXPECT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(s->Result(), 2u);
    EXPECT_GE(rec.events[0].tick - start, 10900u);
}

TEST_F(Timeouts, KeepTryingResendsWithoutEnd) {
    mgr->Times().resendMs = 20;
    s = mgr->StartTransfer(LNetAddr::IPv4(0x7F000001, server.Port()), false, "/sdc/t", &rec,
                           Recorder::Callback, LoopbackIndex());
    s->SetKeepTrying(true);
    s->Start();
    u32 sends = 0;
    RunUntil(
        [&] {
            while (server.Recv(0)) ++sends;
            return sends >= 40;
        },
        5000);
    EXPECT_GE(sends, 40u);
    EXPECT_FALSE(rec.Done());
}

TEST_F(Timeouts, ReceiverGivesUpTwentySecondsAfterTheLastFullBlock) {
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    Begin(false);
    ASSERT_TRUE(Next(2000));
    server.Send(Ip(127, 0, 0, 1), Port(),
                Bytes{0, 6, 'b', 'l', 'k', 's', 'i', 'z', 'e', 0, '8', 0});
    auto ack0 = Next(2000);
    ASSERT_TRUE(ack0 && ack0->op == kACK && ack0->block == 0);
    server.Send(Ip(127, 0, 0, 1), Port(), MakeData(1, Bytes(8, 'd')));
    const u32 lastFull = LTickMs();
    ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 25000));
    const u32 waited = rec.events.back().tick - lastFull;
    EXPECT_GE(waited, 19900u);
    EXPECT_LE(waited, 20500u);
    EXPECT_EQ(rec.peerResults, std::vector<u32>{2});
}

TEST_F(Timeouts, SenderGivesUpThirtySecondsAfterTheLastGoodAck) {
    std::vector<u8> src = Pattern(100, 1);
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Begin(true);
    ASSERT_TRUE(Next(2000));
    server.Send(Ip(127, 0, 0, 1), Port(),
                Bytes{0, 6, 'b', 'l', 'k', 's', 'i', 'z', 'e', 0, '8', 0});
    auto d1 = Next(2000);
    ASSERT_TRUE(d1 && d1->op == kDATA && d1->block == 1);
    server.Send(Ip(127, 0, 0, 1), Port(), MakeAck(1));
    const u32 lastAck = LTickMs();
    u32 resends = 0;
    ASSERT_TRUE(RunUntil(
        [&] {
            while (auto d = server.Recv(0)) resends += d->op == kDATA && d->block == 2;
            return rec.Done();
        },
        35000));
    const u32 waited = rec.events.back().tick - lastAck;
    EXPECT_GE(waited, 29900u);
    // At the first time-out firing from then on: the time-out is about 2 s here
    // (1000 ms of smoothed RTT plus the deviation left by the one sample).
    EXPECT_LE(waited, 32500u);
    EXPECT_EQ(rec.peerResults, std::vector<u32>{2});
    // Retransmitting all the while.
    EXPECT_GE(resends, 14u);
}

}  // namespace
