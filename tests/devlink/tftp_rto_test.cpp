// The sender's retransmission time-out on the virtual clock: never sooner than an
// acknowledgement as slow as the last one plus a few ticks, doubled by each
// time-out, and back to the measured value with the next sound sample.

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "tests/devlink/EngineTestUtil.h"

using namespace enginetest;
using namespace testtftp;

namespace {

struct Profile {
    const char* name;
    std::vector<u32> rtts;  // ms from each DATA to its ACK
};

const Profile kProfiles[] = {
    {"Instant", {0, 0, 0, 0, 0, 0}},
    {"Lan", {12, 15, 9, 20, 14, 11}},
    {"Jittery", {5, 15, 5, 20, 5, 5, 25, 5}},  // each within the time-out it meets
    {"SlowThenFast", {400, 350, 2, 2, 2, 2, 2, 2, 2, 2}},
};

class Rto : public ScriptedPeerTest, public ::testing::WithParamInterface<Profile> {
protected:
    // Lets the resends of block come until it has gone out `count` more times;
    // answers the intervals between them (the first from now).
    std::vector<u32> Resends(u32 block, u32 count) {
        std::vector<u32> gaps;
        u32 last = loop.NowMs();
        while (gaps.size() < count && loop.AdvanceToNext()) {
            while (auto d = peer.Recv(5)) {
                EXPECT_TRUE(d->op == kDATA && d->block == block);
                gaps.push_back(loop.NowMs() - std::exchange(last, loop.NowMs()));
            }
        }
        return gaps;
    }
    CFlowWindow& Window() { return s->PeerAt(0)->Window(); }
};

TEST_P(Rto, BoundedBelowBacksOffAndComesBack) {
    const Profile& p = GetParam();
    std::vector<u8> src = Pattern(8 * 40, 5);
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Begin(true);
    ASSERT_TRUE(Next());
    ASSERT_EQ(Answer(Oack({{"blksize", "8"}}))->block, 1u);
    u32 block = 1;
    auto sample = [&](u32 rtt) {
        loop.Advance(rtt);
        ASSERT_EQ(Answer(MakeAck(block))->block, block + 1);
        ++block;
    };
    for (u32 rtt : p.rtts) {
        sample(rtt);
        // Never before an answer as slow as the last could come.
        EXPECT_GE(Window().Rto() + 1, rtt + CFlowWindow::kGuardTicks) << p.name;
    }
    // Silence: the time-out is the measured one, then doubles, up to a second.
    const u32 measured = Window().MeasuredRto();
    const std::vector<u32> gaps = Resends(block, 4);
    ASSERT_EQ(gaps.size(), 4u);
    for (u32 i = 0; i < 4; ++i)
        EXPECT_EQ(gaps[i], std::min((measured << i), std::max(measured, 1000u))) << p.name;
    // The resent block's acknowledgement could answer either copy: still backed off.
    sample(p.rtts.back());
    EXPECT_GT(Window().Rto(), Window().MeasuredRto());
    // A block sent once gives a sound sample: the back-off is over.
    sample(p.rtts.back());
    EXPECT_EQ(Window().Rto(), Window().MeasuredRto());
    EXPECT_EQ(Resends(block, 1), std::vector<u32>{Window().MeasuredRto()});
}

INSTANTIATE_TEST_SUITE_P(Profiles, Rto, ::testing::ValuesIn(kProfiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
