// What the sender takes for a confirmed block, and how a receiver treats broken
// input: against a scripted peer on the virtual clock.

#include <gtest/gtest.h>

#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/TestTftpClient.h"

using namespace enginetest;
using namespace testtftp;

namespace {

const Bytes kOack8 = Oack({{"blksize", "8"}});

// A peer's move and the DATA blocks the engine sends in answer ({} : none). The
// acknowledgements in `then` arrive with the first one, taken in by the same pass.
struct Move {
    enum Kind { kAck, kTimeout } kind;
    unsigned block;
    std::vector<unsigned> sent;
    std::vector<unsigned> then = {};
};
struct Story {
    const char* name;
    std::vector<Move> moves;
    bool device = false;  // the peer names itself in its option acknowledgement
};

// Blocks of 8 bytes; the device acknowledges every copy it gets, kept or not.
const Story kStories[] = {
    // Block 2 lost, block 3 dropped for arriving early; its acknowledgement comes
    // only after the resent copy of 3 left, and that copy is lost too.
    {"LateAckOfADroppedCopyDoesNotConfirmTheResentOne",
     {{Move::kAck, 1, {2, 3}},
      {Move::kTimeout, 0, {2}},
      {Move::kAck, 2, {3}},
      {Move::kAck, 3, {3}},  // the first copy's: not a confirmation; 3 goes again at once
      {Move::kAck, 3, {3}},  // perhaps the first copy's again, delivered twice
      {Move::kAck, 3, {4, 5}}}},
    // Nothing answered before the time-out: every later copy is in doubt. A doubtful
    // acknowledgement sends its block again at once only while nothing else is out;
    // with later blocks out their answers tell soon enough.
    {"DoubtfulAckWaitsWhileLaterBlocksAreOut",
     {{Move::kAck, 1, {2, 3}},
      {Move::kAck, 2, {4}},
      {Move::kAck, 3, {5, 6}},
      {Move::kTimeout, 0, {4}},
      {Move::kAck, 4, {5}},
      {Move::kAck, 5, {5}},
      {Move::kAck, 5, {5}},
      {Move::kAck, 5, {6, 7}},
      {Move::kAck, 6, {}},
      {Move::kAck, 7, {6}},
      {Move::kAck, 6, {6}},
      {Move::kAck, 6, {7}},
      {Move::kAck, 7, {7}},
      {Move::kAck, 7, {8, 9}}}},
    // A server that acknowledges only what it keeps, in order, and never a block
    // twice: after a time-out its first word on a block that had gone again is all
    // there will be. Three silent time-outs later that word counts.
    {"InOrderPeerIsTakenAtItsWordAfterThreeSilentTimeOuts",
     {{Move::kAck, 1, {2, 3}},
      {Move::kAck, 2, {4}},
      {Move::kTimeout, 0, {3}},
      {Move::kAck, 3, {4}},
      {Move::kAck, 4, {4}},
      {Move::kTimeout, 0, {4}},
      {Move::kTimeout, 0, {4}},
      {Move::kTimeout, 0, {5}},
      {Move::kAck, 5, {6}}}},
    // The same silence from a peer that answered a block twice behind its latest
    // (a device answers every copy it gets): loss, not a server's habit, so its
    // doubtful word never counts.
    {"PeerThatAnsweredACopyTwiceIsNeverTakenAtItsWord",
     {{Move::kAck, 1, {2, 3}},
      {Move::kAck, 2, {4}},
      {Move::kAck, 1, {3}},
      {Move::kAck, 3, {4}},
      {Move::kAck, 4, {4}},
      {Move::kTimeout, 0, {4}},
      {Move::kTimeout, 0, {4}},
      {Move::kTimeout, 0, {4}},
      {Move::kTimeout, 0, {4}},
      {Move::kAck, 4, {4}},
      {Move::kAck, 4, {5}}}},
    // A peer that once acknowledged a block while an earlier one had no answer may
    // acknowledge what it drops: its doubtful word never counts, however long it is silent.
    {"PeerThatAcknowledgedOutOfOrderIsNeverTakenAtItsWord",
     {{Move::kAck, 1, {2, 3}},
      {Move::kAck, 3, {2}},
      {Move::kAck, 2, {3}},
      {Move::kAck, 3, {3}},
      {Move::kAck, 3, {4, 5}},
      {Move::kTimeout, 0, {4}},
      {Move::kAck, 4, {5}},
      {Move::kAck, 5, {5}},
      {Move::kTimeout, 0, {5}},
      {Move::kTimeout, 0, {5}},
      {Move::kTimeout, 0, {5}},
      {Move::kTimeout, 0, {5}},
      {Move::kAck, 5, {5}},
      {Move::kAck, 5, {6}}}},
    // The same acknowledgement early is a loss. The early copy may have reached the
    // device twice and been answered twice, the second answer late: one answer after
    // the resent copy left is not yet its own.
    {"EarlyAckIsALossAndTheResentCopyConfirmsOnceAnsweredMoreThanTwice",
     {{Move::kAck, 1, {2, 3}},
      {Move::kAck, 3, {2}},
      {Move::kAck, 2, {3}},
      {Move::kAck, 3, {3}},
      {Move::kAck, 3, {4, 5}}}},
    // Seen on the lossy link test: DATA 2 lost, DATA 3 early and duplicated on its
    // way, the device's second ACK 3 held back behind ACK 2 of the resent 2, which
    // was duplicated too. Its copy of 3 was dropped: 3 must go again, never be taken.
    {"EarlyCopyAnsweredTwiceIsNotHeld",
     {{Move::kAck, 1, {2, 3}},
      {Move::kAck, 3, {2}},
      {Move::kAck, 2, {3}, {3, 2}},
      {Move::kAck, 3, {4}},
      {Move::kAck, 4, {5, 6}}}},
    // The silence of a device is loss, however long: DATA 2 lost, DATA 3 early and
    // dropped, its ACK held back behind ACK 2 of the resent 2, and then every copy of
    // 3 or its answer lost (a seed of the lossy device model).
    {"DeviceIsNeverTakenAtItsWord",
     {{Move::kAck, 1, {2, 3}},
      {Move::kTimeout, 0, {2}},
      {Move::kAck, 2, {3}, {3}},
      {Move::kTimeout, 0, {3}},
      {Move::kTimeout, 0, {3}},
      {Move::kTimeout, 0, {3}},
      {Move::kTimeout, 0, {3}},
      {Move::kAck, 3, {3}},
      {Move::kAck, 3, {4}},
      {Move::kAck, 4, {5, 6}}},
     true},
};

class Confirm : public ScriptedPeerTest, public ::testing::WithParamInterface<Story> {};

TEST_P(Confirm, OnlySoundAcksMoveTheWindow) {
    std::vector<u8> src = Pattern(80, 9);
    rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(50); };
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Begin(true);
    ASSERT_TRUE(Next());
    peer.Send(kPeerIp, s->Socket().LocalPort(),
              GetParam().device ? Oack({{"blksize", "8"}, {"serno", "7"}}) : kOack8);
    ASSERT_EQ(Next()->block, 1u);
    const auto& moves = GetParam().moves;
    for (size_t i = 0; i < moves.size(); ++i) {
        const Move& m = moves[i];
        if (m.kind == Move::kAck) {
            peer.Send(kPeerIp, s->Socket().LocalPort(), MakeAck(m.block));
            for (unsigned b : m.then) peer.Send(kPeerIp, s->Socket().LocalPort(), MakeAck(b));
        } else
            ASSERT_TRUE(loop.AdvanceToNext()) << i;
        std::vector<unsigned> got;
        for (size_t k = 0; k < m.sent.size(); ++k) {
            auto d = Next();
            ASSERT_TRUE(d) << "move " << i;
            EXPECT_EQ(d->op, kDATA) << "move " << i;
            got.push_back(d->block);
        }
        EXPECT_EQ(got, m.sent) << "move " << i;
        while (auto extra = Next(30))
            ADD_FAILURE() << "move " << i << " (from 0) sent block " << extra->block << " too";
    }
    EXPECT_TRUE(rec.peerResults.empty());
}

INSTANTIATE_TEST_SUITE_P(Stories, Confirm, ::testing::ValuesIn(kStories),
                         [](const auto& info) { return std::string(info.param.name); });

struct Receive : ScriptedPeerTest {
    void BeginReceive() {
        rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
        Begin(false);
        ASSERT_TRUE(Next());
    }
    std::vector<u8> got;
};

TEST_F(Receive, OversizedBlockAfterTheFirstIsRefusedWithErrorFour) {
    BeginReceive();
    ASSERT_EQ(Answer(kOack8)->block, 0u);
    ASSERT_EQ(Answer(MakeData(1, Bytes(8, 'a')))->block, 1u);
    auto e = Answer(MakeData(2, Bytes(9, 'b')));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->op, kERROR);
    EXPECT_EQ(e->block, 4u);  // the error code's place
    ASSERT_TRUE(loop.RunUntil([&] { return rec.Done(); }));
    EXPECT_EQ(rec.peerResults, std::vector<u32>{CTftpPeer::kResultError});
    EXPECT_EQ(rec.peerErrors, std::vector<u32>{4});
    EXPECT_EQ(got, Bytes(8, 'a')) << "nothing of the oversized block is written";
}

struct ReadFailures {
    const char* name;
    u32 failures;  // failing reads before the socket works again
    u32 ackAtMs;   // virtual time by which the waiting OACK is answered
};
const ReadFailures kReadFailures[] = {
    {"FewerThanAPassTakes", 5, 0},
    {"ExactlyOnePass", 8, 10},
    {"ThreePasses", 20, 20},
};

class ReadErrors : public Receive, public ::testing::WithParamInterface<ReadFailures> {};

// The waiting datagram is taken in although the reactor does not report the socket again.
TEST_P(ReadErrors, SessionReadsAgainAfterAShortBackOff) {
    const ReadFailures& f = GetParam();
    BeginReceive();
    const u32 at = loop.NowMs();
    calls.recv = {ECONNREFUSED, f.failures};
    peer.Send(kPeerIp, s->Socket().LocalPort(), kOack8);
    std::optional<Datagram> ack;
    for (u32 step = 0; step < 10 && !(ack = Next(300)); ++step) ASSERT_TRUE(loop.AdvanceToNext(10));
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->op, kACK);
    EXPECT_EQ(loop.NowMs() - at, f.ackAtMs);
    EXPECT_EQ(calls.recv.count, 0u);
}

INSTANTIATE_TEST_SUITE_P(Counts, ReadErrors, ::testing::ValuesIn(kReadFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// Still given up on time: 20000 ms after its ACK 0.
TEST_F(Receive, EndlessReadErrorsStillGiveUpOnTime) {
    BeginReceive();
    ASSERT_EQ(Answer(kOack8)->block, 0u);
    const u32 acked = calls.TicksOf(kACK, 0).back();
    calls.recv = {ECONNREFUSED, ~0u};
    peer.Send(kPeerIp, s->Socket().LocalPort(), MakeData(1, Bytes(8, 'a')));
    ASSERT_TRUE(loop.RunUntil([&] { return loop.AdvanceToNext(10); }));
    while (!rec.Done() && loop.AdvanceToNext(10)) {
    }
    ASSERT_TRUE(rec.Done());
    EXPECT_EQ(rec.peerResults, std::vector<u32>{CTftpPeer::kResultTimedOut});
    EXPECT_EQ(rec.events.back().tick - acked, 20000u);
    for (int i = 0; i < 3 && loop.AdvanceToNext(); ++i) {
    }
    EXPECT_FALSE(loop.AdvanceToNext()) << "a finished session stops looking";
}

}  // namespace
