#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "devices/recordings/DrcFrames.h"
#include "tests/devices/DrcDecoder.h"

namespace {

using Bytes = std::vector<u8>;

using drctest::Hex;

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Signed(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) b.push_back(u8(v));
    return b;
}

Bytes RunPack(const Bytes& in) {
    Bytes out(kDrcMaxPayload + 16, 0xEE);
    out.resize(DrcRunPack(in.data(), u32(in.size()), out.data()));
    return out;
}

Bytes BitPack(const Bytes& diffs) {
    const DrcPlan plan = DrcDeltaPlan(diffs.data(), u32(diffs.size()));
    Bytes out(kDrcMaxPayload + 16, 0xEE);
    out.resize(DrcDeltaPack(plan, diffs.data(), u32(diffs.size()), out.data()));
    return out;
}

Bytes Encode(CDrcFrameEncoder& e, bool allowDiff, u32 t, const Bytes& slots) {
    Bytes out(kDrcMaxFrame, 0xEE);
    out.resize(
        e.Encode(allowDiff, t, slots.data(), u32(slots.size()), out.data(), u32(out.size())));
    return out;
}

TEST(DrcFrames, Header) {
    const struct {
        u8 kind;
        u32 count, time, port;
        const char* bytes;
    } cases[] = {
        {0x40, 513, 500, 300, "00 00 42 01 80 80 83 F4 2C 81"},
        {0xC0, 1, (1u << 28) + 5, 0, "00 00 C0 01 80 80 80 85 00 80"},   // 28 bits of time
        {0x60, 3, 0x0FFFFFFF, 0x8001, "00 00 60 03 FF FF FF FF 01 80"},  // 15 bits of port
        {0x80, 600, 0, 0x7FFF, "00 00 82 01 80 80 80 80 FF FF"},         // count cut to 513
    };
    for (const auto& c : cases) {
        Bytes h(10);
        DrcWriteFrameHeader(c.kind, c.count, c.time, c.port, h.data());
        EXPECT_EQ(Hex(h), c.bytes) << c.count << " " << c.time;
    }
}

TEST(DrcFrames, RunPacker) {
    const struct {
        const char* what;
        Bytes in;
        const char* out;
    } cases[] = {
        {"513 zeros", Bytes(513, 0), "00 FF FF FF FE"},
        {"zero start code, 512 x 255", Cat({0}, Bytes(512, 255)), "02 00 FF FF FF FF FE"},
        {"three equal", {5, 5, 5}, "01 05 81"},
        {"run after values", {1, 2, 3, 3, 3, 3}, "03 01 02 03 82"},
        {"zero pair ends the literal", {1, 2, 3, 0, 0}, "03 01 02 03 00"},
        {"three zeros", {0, 0, 0}, "00 80"},
        {"lone zero at the end", {7, 0}, "01 07 01 00"},
        {"zeros after a run", {9, 9, 9, 0, 0, 0, 0}, "01 09 81 00 81"},
        {"129 equal bytes", Bytes(129, 3), "01 03 FF"},
        {"130 equal bytes", Bytes(130, 3), "01 03 FF 80"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(RunPack(c.in)), c.out) << c.what;
    EXPECT_TRUE(RunPack({}).empty());

    // Literals hold 127 bytes at most; an equal byte right after a full one repeats.
    Bytes ramp;
    for (u32 i = 0; i < 127; ++i) ramp.push_back(u8(i + 1));
    const Bytes full = RunPack(Cat(ramp, {127, 127, 128}));
    ASSERT_EQ(full.size(), 1 + 127 + 1 + 2u);
    EXPECT_EQ(full[0], 127);
    EXPECT_EQ(Hex(Bytes(full.end() - 3, full.end())), "81 01 80");
}

TEST(DrcFrames, BitPacker) {
    const struct {
        const char* what;
        Bytes diffs;
        const char* out;
    } cases[] = {
        {"mode 0", {1, 2, 3}, "0A 6C"},
        {"mode 1", Signed({-1, -2}), "12 90"},
        {"mode 2", Signed({1, -1}), "1A 70"},
        {"width 3", {5, 5, 5, 5}, "0B B6 D0"},
        {"stuffed bit opens the next byte", {0, 0, 0, 0, 0, 0, 0, 0, 1}, "09 00 C0"},
        {"last byte only the stuffed bit", Signed({-1, -1, -1, -1, -1, -1, -1, -1}), "11 00 80"},
        {"mode 2 at both ends", Signed({-64, 63}), "1F 80 FC"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(BitPack(c.diffs)), c.out) << c.what;
}

TEST(DrcFrames, Planning) {
    const struct {
        const char* what;
        Bytes diffs;
        u32 mode, width, changes, stretch;
        bool packable;
    } cases[] = {
        {"one change", {5, 5, 5, 5}, 0, 3, 1, 2, true},
        {"three changes", {1, 2, 3}, 0, 2, 3, 0, true},
        {"stretch in the middle", {0, 7, 7, 7, 7, 1}, 0, 3, 2, 3, true},
        {"-127 fits mode 1", Signed({-127, 0}), 1, 7, 2, 0, true},
        {"-128 does not", Signed({-128, -1}), 1, 0, 2, 0, false},
        {"mixed reaching -65", Signed({-65, 1}), 2, 0, 2, 0, false},
        {"mixed reaching 64", Signed({64, -1}), 2, 0, 2, 0, false},
    };
    for (const auto& c : cases) {
        const DrcPlan p = DrcDeltaPlan(c.diffs.data(), u32(c.diffs.size()));
        EXPECT_EQ(p.packable, c.packable) << c.what;
        EXPECT_EQ(p.mode, c.mode) << c.what;
        EXPECT_EQ(p.changes, c.changes) << c.what;
        EXPECT_EQ(p.stretch, c.stretch) << c.what;
        if (c.packable) {
            EXPECT_EQ(p.width, c.width) << c.what;
        }
    }
}

TEST(DrcFrames, EncoderChoices) {
    const struct {
        const char* what;
        bool allowDiff;
        std::vector<std::pair<u32, Bytes>> frames;  // time, slots
        std::vector<const char*> out;
    } cases[] = {
        {"key then bit-packed",
         true,
         {{0, {0, 0, 0}}, {500, {1, 2, 3}}},
         {"00 00 C0 03 80 80 80 80 00 80 00 80", "00 00 60 03 80 80 83 F4 00 80 0A 6C"}},
        {"without differences",
         false,
         {{0, {0, 0, 0}}, {500, {1, 2, 3}}},
         {"00 00 80 03 80 80 80 80 00 80 00 80", "00 00 80 03 80 80 83 F4 00 80 03 01 02 03"}},
        {"-128 is not bit-packed",
         true,
         {{0, {200, 200, 200, 200}}, {500, {72, 199, 72, 199}}},
         {"00 00 C0 04 80 80 80 80 00 80 01 C8 82",
          "00 00 40 04 80 80 83 F4 00 80 04 80 FF 80 FF"}},
        {"unchanged: run-packed differences",
         true,
         {{0, {9, 9}}, {400, {9, 9}}},
         {"00 00 C0 02 80 80 80 80 00 80 02 09 09", "00 00 40 02 80 80 83 90 00 80 00"}},
        {"slots beyond the previous count are plain",
         true,
         {{0, {1}}, {10, {2, 50}}},
         {"00 00 C0 01 80 80 80 80 00 80 01 01", "00 00 60 02 80 80 80 8A 00 80 0E 07 20"}},
    };
    for (const auto& c : cases) {
        CDrcFrameEncoder e;
        e.Init(0);
        for (size_t i = 0; i < c.frames.size(); ++i)
            EXPECT_EQ(Hex(Encode(e, c.allowDiff, c.frames[i].first, c.frames[i].second)), c.out[i])
                << c.what << " frame " << i;
    }
}

TEST(DrcFrames, KindsOverTime) {
    // Key frames at whole seconds; one change in 513 slots is shorter run-packed.
    CDrcFrameEncoder e;
    e.Init(7);
    Bytes slots(513, 0);
    std::string kinds;
    for (u32 t = 0; t <= 3000; t += 500) {
        slots[1] = u8(t / 100);
        kinds += Hex({Encode(e, true, t, slots)[2]}) + " ";
    }
    EXPECT_EQ(kinds, "C2 42 C2 42 C2 42 C2 ");
    // Mixed differences beyond -64..63 always go run-packed.
    for (int big : {-65, 64, -128, 127}) {
        CDrcFrameEncoder m;
        m.Init(0);
        Bytes a(40, 100), b(40, 100);
        Encode(m, true, 0, a);
        b[3] = u8(100 + big);
        b[20] = u8(big < 0 ? 101 : 99);
        EXPECT_EQ(Encode(m, true, 500, b)[2], 0x40) << big;
    }
}

TEST(DrcFrames, EncodeKeepsToItsRoom) {
    const Bytes slots = {0, 1, 2, 3, 4, 5, 6, 7};
    CDrcFrameEncoder sizing;
    const u32 need = u32(Encode(sizing, true, 0, slots).size());
    ASSERT_EQ(need, 10 + 9u);
    for (u32 room : {0u, 9u, need - 1, need}) {
        CDrcFrameEncoder e;
        e.Init(1);
        Bytes out(need + 8, 0xEE);
        const u32 got = e.Encode(true, 0, slots.data(), u32(slots.size()), out.data(), room);
        EXPECT_EQ(got, room >= need ? need : 0u) << room;
        for (u32 i = std::max(got, room); i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << room;
        // A frame that did not fit is not the previous frame: the next one is a key frame.
        EXPECT_EQ(Encode(e, true, 500, slots)[2] & 0xE0, room >= need ? 0x40 : 0xC0) << room;
    }
}

// Universes of changing content, interleaved, decoded back exactly.
TEST(DrcFrames, SeededRoundTrip) {
    std::mt19937 rng(20261207);
    auto pick = [&](u32 lo, u32 hi) { return std::uniform_int_distribution<u32>(lo, hi)(rng); };
    for (const bool allowDiff : {true, false}) {
        constexpr u32 kPorts = 5;
        CDrcFrameEncoder enc[kPorts];
        Bytes cur[kPorts];
        const u32 ports[kPorts] = {0, 1, 300, 0x7FFF, 17};
        for (u32 p = 0; p < kPorts; ++p) {
            enc[p].Init(ports[p]);
            cur[p].assign(600, 0);
        }
        Bytes file;
        std::vector<Bytes> want;
        std::vector<u32> wantPort, wantTime;
        u32 kinds[256] = {};
        u32 t = 0;
        for (u32 i = 0; i < 4000; ++i) {
            const u32 p = pick(0, kPorts - 1);
            Bytes& s = cur[p];
            switch (pick(0, 7)) {
                case 0:  // static
                    break;
                case 1:  // a few small rises
                    for (u32 k = pick(1, 6); k-- > 0;) s[pick(0, 599)] += u8(pick(1, 5));
                    break;
                case 2:  // small changes of both signs
                    for (u32 k = pick(1, 40); k-- > 0;)
                        s[pick(0, 599)] += u8(int(pick(0, 20)) - 10);
                    break;
                case 3:  // large changes
                    for (u32 k = pick(1, 600); k-- > 0;) s[pick(0, 599)] = u8(pick(0, 255));
                    break;
                case 4:  // a fade down on a block
                    for (u32 k = pick(0, 500), e = k + pick(1, 100); k < e && k < 600; ++k)
                        s[k] -= u8(pick(0, 128));
                    break;
                case 6:    // every slot moves a little, one way
                case 7: {  // or both ways
                    const bool both = pick(0, 1) == 1;
                    const int reach = int(pick(1, both ? 70 : 130));
                    for (u8& v : s)
                        v += u8(both ? int(pick(0, u32(2 * reach))) - reach
                                     : -int(pick(0, u32(reach))));
                    break;
                }
                default:  // zeros and runs
                    std::fill(s.begin() + pick(0, 300), s.begin() + pick(300, 600),
                              u8(pick(0, 1) * 255));
                    break;
            }
            const u32 count = pick(0, 9) == 0 ? pick(1, 600) : 513;
            t += pick(0, 3) == 0 ? pick(0, 1500) : pick(20, 60);
            Bytes out(kDrcMaxFrame);
            const u32 n = enc[p].Encode(allowDiff, t, s.data(), count, out.data(), u32(out.size()));
            ASSERT_GT(n, 10u);
            ++kinds[out[2] & 0xE0];
            file.insert(file.end(), out.begin(), out.begin() + n);
            want.emplace_back(s.begin(), s.begin() + std::min(count, 513u));
            wantPort.push_back(ports[p]);
            wantTime.push_back(t);
        }
        drctest::Decoder d;
        ASSERT_EQ(d.Decode(file), "") << allowDiff;
        ASSERT_EQ(d.frames.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(d.frames[i].slots, want[i]) << "frame " << i;
            ASSERT_EQ(d.frames[i].port, wantPort[i]) << "frame " << i;
            ASSERT_EQ(d.frames[i].timeMs, wantTime[i]) << "frame " << i;
        }
        if (allowDiff) {
            EXPECT_GT(kinds[0xC0], 100u);
            EXPECT_GT(kinds[0x60], 100u);
            EXPECT_GT(kinds[0x40], 100u);
        } else {
            EXPECT_EQ(kinds[0x80], want.size());
        }
    }
}

// The reader must refuse what the writer must never write.
TEST(DrcFrames, StrictReaderRefuses) {
    const Bytes key = {0, 0, 0xC0, 3, 0x80, 0x80, 0x80, 0x80, 0, 0x80, 3, 1, 2, 3};
    const struct {
        const char* what;
        Bytes file;
        const char* reason;
    } cases[] = {
        {"header mark", {0, 1, 0xC0, 1, 0x80, 0x80, 0x80, 0x80, 0, 0x80, 1, 5}, "bad header mark"},
        {"count 0", {0, 0, 0xC0, 0, 0x80, 0x80, 0x80, 0x80, 0, 0x80}, "count outside"},
        {"count 514", {0, 0, 0xC2, 2, 0x80, 0x80, 0x80, 0x80, 0, 0x80}, "count outside"},
        {"token past the frame", {0, 0, 0xC0, 1, 0x80, 0x80, 0x80, 0x80, 0, 0x80, 0}, "token past"},
        {"00 00 in a literal",
         {0, 0, 0xC0, 3, 0x80, 0x80, 0x80, 0x80, 0, 0x80, 3, 0, 0, 1},
         "00 00 inside"},
        {"difference first",
         {0, 0, 0x40, 1, 0x80, 0x80, 0x83, 0xF4, 0, 0x80, 1, 0},
         "difference without"},
        {"stuffed bit 0",
         Cat(key, {0, 0, 0x60, 3, 0x80, 0x80, 0x83, 0xF4, 0, 0x80, 0x0F, 0, 0x40, 0, 0}),
         "stuffed bit not 1"},
        {"bit run past the frame",
         Cat(key, {0, 0, 0x60, 3, 0x80, 0x80, 0x83, 0xF4, 0, 0x80, 0x0F, 0xFF}), "bit run past"},
    };
    for (const auto& c : cases) {
        drctest::Decoder d;
        EXPECT_NE(d.Decode(c.file).find(c.reason), std::string::npos) << c.what;
    }
}

}  // namespace
