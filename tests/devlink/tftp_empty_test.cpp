// Empty datagrams, from the peer or from any other port, are dropped like any
// malformed packet: the session reads on at once, on a clock that never moves.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/TestTftpClient.h"

using namespace enginetest;
using namespace testtftp;

namespace {

const Bytes kOack8 = Oack({{"blksize", "8"}});

struct EmptyCase {
    const char* name;
    bool write;
    bool fromPeer;  // else from a port the session never talked to
    u32 count;      // empty datagrams in a row: a flood is more than one read drops at once
};
const EmptyCase kCases[] = {
    {"ReadOneFromThePeer", false, true, 1},     {"ReadOneFromElsewhere", false, false, 1},
    {"ReadFloodFromThePeer", false, true, 100}, {"WriteOneFromThePeer", true, true, 1},
    {"WriteOneFromElsewhere", true, false, 1},  {"WriteFloodFromElsewhere", true, false, 100},
};

class Empty : public ScriptedPeerTest, public ::testing::WithParamInterface<EmptyCase> {
protected:
    void SendEmpty() {
        for (u32 i = 0; i < GetParam().count; ++i)
            ASSERT_TRUE((GetParam().fromPeer ? peer : stranger)
                            .Send(kPeerIp, s->Socket().LocalPort(), Bytes()));
    }
    TestTftpClient stranger{kPeerIp};
};

TEST_P(Empty, SessionReadsOnAtOnce) {
    const EmptyCase& c = GetParam();
    std::vector<u8> src = Pattern(20, 3), got;
    rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(1); };
    rec.makeStream = [&](CTftpPeer*) {
        return c.write ? new VecStrm(&src) : new VecStrm(&got, CStrm::kModeWrite);
    };
    Begin(c.write);
    ASSERT_TRUE(Next());
    // Before the answer, between blocks and before the last: every one is read past.
    SendEmpty();
    auto d = Answer(kOack8);
    ASSERT_TRUE(d);
    for (unsigned block = 1; block <= 3; ++block) {
        SendEmpty();
        if (c.write) {
            ASSERT_EQ(d->op, kDATA);
            ASSERT_EQ(d->block, block);
            d = Answer(MakeAck(block), block < 3 ? 3000 : 100);
            if (block < 3) {
                ASSERT_TRUE(d) << block;
            }
        } else {
            ASSERT_EQ(d->op, kACK);
            ASSERT_EQ(d->block, block - 1);
            d = Answer(MakeData(block, Bytes(src.begin() + (block - 1) * 8,
                                             src.begin() + std::min<size_t>(block * 8, 20))));
            ASSERT_TRUE(d) << block;
        }
    }
    ASSERT_TRUE(loop.RunUntil([&] { return rec.Done(); }));
    EXPECT_EQ(rec.peerResults, std::vector<u32>{CTftpPeer::kResultDone});
    if (!c.write) {
        EXPECT_EQ(got, src);
    }
    EXPECT_EQ(Elapsed(), 0u) << "no timer was needed";
}

INSTANTIATE_TEST_SUITE_P(Cases, Empty, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
