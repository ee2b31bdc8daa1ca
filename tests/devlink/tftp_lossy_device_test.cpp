// Uploads to a modelled device over a lossy link, on the virtual clock: whatever the
// engine reports complete, the device holds whole. The device keeps only the block
// it expects and acknowledges every DATA it gets, kept or not. On the way in a DATA
// is lost or delivered twice; on the way out an acknowledgement is lost or held back
// behind the next one (15 ms at most). DATA arrives in the order it left, as on the
// simulated device's lossy links. One seed replays one upload exactly.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/TestTftpClient.h"

using namespace enginetest;
using namespace testtftp;

namespace {

// A device names itself in its option acknowledgement.
const Bytes kDeviceOack = Oack({{"blksize", "8"}, {"serno", "7"}});

struct Link {
    const char* name;
    u32 dropIn, dupIn, dropOut, holdOut;  // percent of each datagram
    u32 uploads;
};
const Link kLinks[] = {
    {"AsOnTheLossyLinkTest", 5, 5, 5, 5, 1500},
    {"FifteenPercentOfEach", 15, 15, 15, 15, 1500},
};

u32 Draw(u64* state) {
    u64 z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return u32((z ^ (z >> 31)) % 100);
}

class LossyDevice : public ScriptedPeerTest, public ::testing::WithParamInterface<Link> {
protected:
    struct Outcome {
        bool reported = false;  // the engine reported the upload complete
        bool held = false;      // the device holds the whole file
    };

    Outcome Upload(u64 seed) {
        const Link& link = GetParam();
        u64 rng = seed;
        std::vector<u8> src = Pattern(8 * (1 + seed % 30) + seed % 9, u32(seed));
        rec = Recorder();
        rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(50); };
        rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
        Begin(true);
        Outcome o;
        if (!Next()) {
            ADD_FAILURE() << "no request, seed " << seed;
            return o;
        }
        const u16 port = s->Socket().LocalPort();
        const u32 base = calls.received;
        u32 delivered = 1;
        peer.Send(kPeerIp, port, kDeviceOack);

        std::vector<u8> kept;
        u32 expected = 1;
        std::vector<unsigned> out, held;
        u32 heldUntil = 0;
        auto answer = [&](unsigned block) {
            const u32 r = Draw(&rng);
            if (r < link.dropOut) return;
            if (r < link.dropOut + link.holdOut) {
                if (held.empty()) heldUntil = loop.NowMs() + 15;
                held.push_back(block);
                return;
            }
            out.push_back(block);
            out.insert(out.end(), held.begin(), held.end());
            held.clear();
        };
        auto arrive = [&](const Datagram& d) {
            if (!o.held && d.block == (expected & 0xFFFF)) {
                kept.insert(kept.end(), d.payload.begin(), d.payload.end());
                ++expected;
                o.held = d.payload.size() < 8;
            }
            answer(d.block);
        };
        for (u32 step = 0; step < 200000 && !rec.Done(); ++step) {
            // Everything sent to the engine is taken in before its answers are read.
            if (!loop.RunUntil([&] { return calls.received - base >= delivered; })) {
                ADD_FAILURE() << "acknowledgements not taken in, seed " << seed;
                break;
            }
            bool moved = false;
            while (auto d = peer.Recv(0)) {
                moved = true;
                if (d->op != kDATA) continue;
                const u32 r = Draw(&rng);
                if (r < link.dropIn) continue;
                arrive(*d);
                if (r < link.dropIn + link.dupIn) arrive(*d);
            }
            if (out.empty() && !moved) {
                // Nothing on the way: time passes, to the engine's timer or to the
                // release of the acknowledgements held back.
                if (held.empty()) {
                    if (!loop.AdvanceToNext()) break;
                } else if (!loop.AdvanceToNext(heldUntil - loop.NowMs())) {
                    loop.Advance(heldUntil - loop.NowMs());
                    out.swap(held);
                }
            }
            for (unsigned b : out) peer.Send(kPeerIp, port, MakeAck(b));
            delivered += u32(out.size());
            out.clear();
        }
        EXPECT_TRUE(rec.Done()) << "seed " << seed;
        o.reported = rec.peerResults == std::vector<u32>{CTftpPeer::kResultDone};
        o.held = o.held && kept == src;
        mgr->Release(s);
        s = nullptr;
        while (peer.Recv(0)) {
        }
        return o;
    }
};

TEST_P(LossyDevice, EveryUploadReportedCompleteIsHeldWhole) {
    const Link& link = GetParam();
    u32 reported = 0, wrong = 0;
    for (u32 i = 0; i < link.uploads; ++i) {
        const u64 seed = u64(link.dropIn) << 32 | i;
        const Outcome o = Upload(seed);
        if (HasFatalFailure()) return;
        reported += o.reported;
        if (o.reported && !o.held) {
            ++wrong;
            ADD_FAILURE() << "reported complete, not held: seed " << seed;
        }
    }
    std::printf("%s: %u of %u uploads reported complete, %u of them not held\n", link.name,
                reported, link.uploads, wrong);
    EXPECT_EQ(wrong, 0u);
    // The link is lossy, not dead: most uploads get through.
    EXPECT_GE(reported, link.uploads * 9 / 10);
}

// Downloads from a modelled device over the same kind of link: the device sends a
// window of blocks, resends from its oldest unacknowledged block every 300 ms and
// moves on only at the acknowledgement of that block. On the way out its OACK and
// DATA are lost, delivered twice or held back behind later ones (15 ms at most); on
// the way in an acknowledgement is lost or delivered twice. Whatever the engine
// reports complete must be the device's file, byte for byte.
class LossyDownload : public LossyDevice {
protected:
    Outcome Download(u64 seed) {
        const Link& link = GetParam();
        u64 rng = seed;
        const u32 kBlock = 8, kWindow = 1 + u32(seed % 5), kRtoMs = 300, kTries = 30;
        const std::vector<u8> file = Pattern(kBlock * (1 + seed % 30) + seed % 9, u32(seed));
        const u32 last = u32(file.size() / kBlock + 1);
        std::vector<u8> got;
        rec = Recorder();
        rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
        Begin(false);
        Outcome o;
        if (!Next()) {
            ADD_FAILURE() << "no request, seed " << seed;
            return o;
        }
        const u16 port = s->Socket().LocalPort();
        const u32 base0 = calls.received;
        u32 delivered = 0;
        bool acked0 = false, gaveUp = false;
        u32 base = 1, nextSend = 1, tries = 0;
        u32 deadline = loop.NowMs() + kRtoMs;
        std::vector<Bytes> out, held;
        u32 heldUntil = 0;
        auto emit = [&](const Bytes& b) {
            const u32 r = Draw(&rng);
            if (r < link.dropOut) return;
            if (r < link.dropOut + link.holdOut) {
                if (held.empty()) heldUntil = loop.NowMs() + 15;
                held.push_back(b);
                return;
            }
            out.push_back(b);
            if (r >= 100 - link.dupIn) out.push_back(b);
            out.insert(out.end(), held.begin(), held.end());
            held.clear();
        };
        auto sendWindow = [&] {
            for (; nextSend < base + kWindow && nextSend <= last; ++nextSend) {
                const size_t off = size_t(nextSend - 1) * kBlock;
                const size_t len =
                    off >= file.size() ? 0 : std::min<size_t>(kBlock, file.size() - off);
                emit(MakeData(nextSend & 0xFFFF,
                              Bytes(file.begin() + long(off), file.begin() + long(off + len))));
            }
            deadline = loop.NowMs() + kRtoMs;
        };
        auto ack = [&](unsigned block) {
            if (gaveUp || base > last) return;
            if (!acked0) {
                if (block != 0) return;
                acked0 = true;
                tries = 0;
                sendWindow();
                return;
            }
            if (block != (base & 0xFFFF)) return;
            ++base;
            tries = 0;
            if (nextSend < base) nextSend = base;
            if (base <= last) sendWindow();
        };
        emit(kDeviceOack);
        for (u32 step = 0; step < 200000 && !rec.Done(); ++step) {
            if (!loop.RunUntil([&] { return calls.received - base0 >= delivered; })) {
                ADD_FAILURE() << "device's datagrams not taken in, seed " << seed;
                break;
            }
            bool moved = false;
            while (auto d = peer.Recv(0)) {
                moved = true;
                if (d->op == kRRQ && !acked0) emit(kDeviceOack);
                if (d->op != kACK) continue;
                const u32 r = Draw(&rng);
                if (r < link.dropIn) continue;
                ack(d->block);
                if (r < link.dropIn + link.dupIn) ack(d->block);
            }
            if (out.empty() && !moved) {
                // Nothing on the way: time passes to the engine's timer, the device's
                // resend or the release of what is held back.
                const bool sending = !gaveUp && base <= last;
                u32 until = sending ? deadline : 0xFFFFFFFFu;
                if (!held.empty()) until = std::min(until, heldUntil);
                const u32 now = loop.NowMs();
                if (until == 0xFFFFFFFFu) {
                    if (!loop.AdvanceToNext()) break;
                } else if (!loop.AdvanceToNext(until > now ? until - now : 0)) {
                    if (until > now) loop.Advance(until - now);
                    if (!held.empty() && loop.NowMs() >= heldUntil) out.swap(held);
                    if (sending && loop.NowMs() >= deadline) {
                        if (++tries > kTries) {
                            gaveUp = true;
                        } else if (!acked0) {
                            emit(kDeviceOack);
                            deadline = loop.NowMs() + kRtoMs;
                        } else {
                            nextSend = base;
                            sendWindow();
                        }
                    }
                }
            }
            for (const Bytes& b : out) peer.Send(kPeerIp, port, b);
            delivered += u32(out.size());
            out.clear();
        }
        EXPECT_TRUE(rec.Done()) << "seed " << seed;
        o.reported = rec.peerResults == std::vector<u32>{CTftpPeer::kResultDone};
        o.held = got == file;
        mgr->Release(s);
        s = nullptr;
        while (peer.Recv(0)) {
        }
        return o;
    }
};

TEST_P(LossyDownload, EveryDownloadReportedCompleteIsTheDevicesFile) {
    const Link& link = GetParam();
    u32 reported = 0, wrong = 0;
    for (u32 i = 0; i < link.uploads; ++i) {
        const u64 seed = u64(link.dropIn) << 32 | i;
        const Outcome o = Download(seed);
        if (HasFatalFailure()) return;
        reported += o.reported;
        if (o.reported && !o.held) {
            ++wrong;
            ADD_FAILURE() << "reported complete, not the device's file: seed " << seed;
        }
    }
    std::printf("%s: %u of %u downloads reported complete, %u of them wrong\n", link.name, reported,
                link.uploads, wrong);
    EXPECT_EQ(wrong, 0u);
    EXPECT_GE(reported, link.uploads * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Links, LossyDownload, ::testing::ValuesIn(kLinks),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Links, LossyDevice, ::testing::ValuesIn(kLinks),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
