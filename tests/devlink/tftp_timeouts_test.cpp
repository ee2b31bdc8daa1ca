// The waiting times of the engine, the request queue and the record channel: on
// the virtual clock to the millisecond, against a scripted peer on loopback; and
// once per family on the real clock.

#include <gtest/gtest.h>

#include <memory>

#include "devlink/CDevRequestQueue.h"
#include "records/ShowKinds.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/devlink/TestTftpClient.h"
#include "tests/devlink/VirtualRunLoop.h"

using namespace enginetest;
using namespace testtftp;

namespace {

const Bytes kOack8 = Oack({{"blksize", "8"}});

using Virtual = ScriptedPeerTest;

TEST_F(Virtual, UnansweredRequestIsSentElevenTimesASecondApartThenReportsNoAnswer) {
    Begin(false);
    std::vector<u32> at;
    for (int i = 0; i < 11; ++i) {
        ASSERT_TRUE(Next()) << i;
        at.push_back(Elapsed());
        ASSERT_TRUE(loop.AdvanceToNext());
    }
    EXPECT_EQ(at,
              (std::vector<u32>{0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000}));
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].event, kTftpEventSessionDone);
    EXPECT_EQ(rec.events[0].tick - t0, 11000u);
    EXPECT_EQ(s->Result(), u32(CTftpSession::kResultNoAnswer));
    EXPECT_EQ(calls.TicksOf(kRRQ).size(), 11u);
    EXPECT_FALSE(loop.AdvanceToNext()) << "nothing may stay armed";
}

TEST_F(Virtual, KeepTryingResendsWithoutEnd) {
    Begin(false, true);
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(Next()) << i;
        loop.Advance(1000);
    }
    EXPECT_FALSE(rec.Done());
}

TEST_F(Virtual, ReceiverGivesUpTwentySecondsAfterTheLastFullBlock) {
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    Begin(false);
    ASSERT_TRUE(Next());
    ASSERT_EQ(Answer(kOack8)->block, 0u);
    ASSERT_EQ(Answer(MakeData(1, Bytes(8, 'a')))->block, 1u);
    loop.Advance(5000);
    ASSERT_EQ(Answer(MakeData(2, Bytes(8, 'b')))->block, 2u);
    const u32 lastFull = loop.NowMs();
    loop.Advance(19999);
    EXPECT_EQ(rec.Count(kTftpEventPeerDone), 0u);
    loop.Advance(1);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{CTftpPeer::kResultTimedOut});
    EXPECT_EQ(rec.events.back().tick - lastFull, 20000u);
    EXPECT_TRUE(rec.Done());
}

TEST_F(Virtual, SenderGivesUpAtItsFirstTimeoutThirtySecondsAfterTheLastGoodAck) {
    std::vector<u8> src = Pattern(100, 1);
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Begin(true);
    ASSERT_TRUE(Next());
    ASSERT_EQ(Answer(kOack8)->block, 1u);
    ASSERT_EQ(Answer(MakeAck(1))->block, 2u);
    const u32 lastAck = loop.NowMs();
    while (!rec.Done() && loop.AdvanceToNext()) {
    }
    std::vector<u32> resends;
    for (u32 t : calls.TicksOf(kDATA)) resends.push_back(t - lastAck);
    // DATA 1 and 2 went out with the clock still. After an instant acknowledgement
    // the time-out is its floor, a few ticks; each time-out doubles it, up to a second.
    std::vector<u32> want = {0, 0};
    u32 t = 0;
    for (u32 rto = CFlowWindow::kGuardTicks; t + rto < 30000; rto = std::min(2 * rto, 1000u))
        want.push_back(t += rto);
    EXPECT_EQ(resends, want);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{CTftpPeer::kResultTimedOut});
    EXPECT_EQ(rec.events.back().tick - lastAck, want.back() + 1000u);
}

// The request queue and a record channel of a device whose address is a
// scripted peer on port 61007.
class VirtualDevice : public Virtual {
protected:
    void SetUp() override {
        ASSERT_TRUE(device.Ok());
        ASSERT_EQ(CLocalAddrWatch::Current(), LoopbackIndex());
        RegisterAllRecordKinds();
        set.Add(305)->SetU32(nullptr, DevcF::address, devtest::DeviceIp(7));
    }
    devtest::LoopbackPrefs prefs;
    CLocalAddrWatch watch{&prefs};
    CKvsDevSet set;
    TestTftpClient device{devtest::DeviceIp(7), false, u16(kTftpPort)};
};

TEST_F(VirtualDevice, QueuedRequestWithoutAnswerEndsAfterElevenSeconds) {
    CReqQueue q(&set, 305);
    u32 status[3] = {9, 9, 9};
    auto done = [](void* ctx, CStrm*, const u32* st) {
        std::copy_n(st, 3, static_cast<u32*>(ctx));
    };
    t0 = loop.NowMs();
    q.Enqueue(status, done, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    loop.Advance(10999);
    EXPECT_EQ(status[0], 9u);
    loop.Advance(1);
    EXPECT_EQ(std::vector<u32>(status, status + 3), (std::vector<u32>{2, 0, 0}));
    std::vector<u32> at;
    for (u32 t : calls.TicksOf(kRRQ)) at.push_back(t - t0);
    EXPECT_EQ(at,
              (std::vector<u32>{0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000}));
}

TEST_F(VirtualDevice, FailedWholeReadOfAChannelIsRetriedAfter2000ms) {
    CReqQueue q(&set, 305);
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst)));
    CDevRequestQueue ch(&q, doc.Root(), "/.cmd/udseqset", nullptr, nullptr);
    ch.Refresh();
    std::optional<Datagram> rq;
    ASSERT_TRUE(loop.RunUntil([&] { return bool(rq = device.Recv(0)); }));
    EXPECT_EQ(std::string(rq->raw.begin() + 2, rq->raw.begin() + 17), "/.cmd/udseqset/");
    device.Send(rq->srcIp, rq->srcPort, {0, 5, 0, 1, 'n', 'o', 0});  // ERROR 1
    ASSERT_TRUE(loop.RunUntil([&] { return q.IsIdle(); }));
    loop.Advance(1999);
    EXPECT_EQ(calls.TicksOf(kRRQ).size(), 1u) << "retried early";
    loop.Advance(1);
    const std::vector<u32> t = calls.TicksOf(kRRQ);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1] - t[0], 2000u);
}

// One of each family on the real clock, with shortened times.
struct RealCase {
    const char* name;
    bool write;
    std::vector<Bytes> answers;  // after the request, each waiting for the engine's reply
    u32 peerResult;              // ~0: the session reports no answer
};

class Real : public ::testing::TestWithParam<RealCase> {};

TEST_P(Real, TimesOutOnTheRealClock) {
    const RealCase& c = GetParam();
    EnsureApp();
    TestTftpClient peer;
    CTftpManager mgr(MainRunLoopWakeSource(), 1);
    // Short times; the request is resent quickly only where nobody answers it, so
    // that a slow test thread never loses the session before its first answer.
    mgr.Times() = CTftpTimes{c.answers.empty() ? 20u : 1000u, 2, 100, 150};
    std::vector<u8> data = Pattern(100, 2);
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) {
        return c.write ? new VecStrm(&data) : new VecStrm(&data, CStrm::kModeWrite);
    };
    CTftpSession* s = mgr.StartTransfer(LNetAddr::IPv4(Ip(127, 0, 0, 1), peer.Port()), c.write,
                                        "/sdc/t", &rec, Recorder::Callback, LoopbackIndex());
    s->Start();
    std::optional<Datagram> d;
    ASSERT_TRUE(RunUntil([&] { return bool(d = peer.Recv(0)); }, 3000));
    for (const Bytes& a : c.answers) {
        peer.Send(Ip(127, 0, 0, 1), s->Socket().LocalPort(), a);
        ASSERT_TRUE(RunUntil([&] { return bool(d = peer.Recv(0)); }, 3000));
    }
    ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 5000));
    if (c.peerResult == ~0u)
        EXPECT_EQ(s->Result(), u32(CTftpSession::kResultNoAnswer));
    else
        EXPECT_EQ(rec.peerResults, std::vector<u32>{c.peerResult});
    mgr.Release(s);
}

INSTANTIATE_TEST_SUITE_P(Families, Real,
                         ::testing::Values(RealCase{"request", false, {}, ~0u},
                                           RealCase{"receiver", false, {kOack8}, 2},
                                           RealCase{"sender", true, {kOack8, MakeAck(1)}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
