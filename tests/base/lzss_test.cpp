#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "base/Lzss.h"

namespace {

using Bytes = std::vector<u8>;

// Packs bits most significant first, the last byte padded with zeros.
class BitWriter {
public:
    void Put(u32 value, u32 bits) {
        for (u32 i = bits; i-- > 0;) {
            fCur = u8((fCur << 1) | ((value >> i) & 1));
            if (++fN == 8) Flush();
        }
    }
    void Literal(u8 b) { Put(1, 1), Put(b, 8); }
    void Match(u32 offset, u32 code) { Put(0, 1), Put(offset, 13), Put(code, 4); }
    void End() { Put(0, 1), Put(0, 13); }
    Bytes Finish() {
        if (fN) {
            fCur = u8(fCur << (8 - fN));
            Flush();
        }
        return fOut;
    }
    u64 Bits() const { return fOut.size() * 8 + fN; }

private:
    void Flush() {
        fOut.push_back(fCur);
        fCur = 0;
        fN = 0;
    }
    Bytes fOut;
    u8 fCur = 0;
    u32 fN = 0;
};

// A plain greedy packer, only to produce realistic input for the expander.
Bytes Pack(const Bytes& in, bool endMark = true) {
    BitWriter w;
    size_t i = 0;
    while (i < in.size()) {
        u32 bestLen = 0, bestOff = 0;
        const size_t from = i > 8191 ? i - 8191 : 0;
        for (size_t j = from; j < i; ++j) {
            u32 len = 0;
            while (len < 18 && i + len < in.size() && in[j + len] == in[i + len]) ++len;
            if (len > bestLen) bestLen = len, bestOff = u32(i - j);
        }
        if (bestLen >= 3) {
            w.Match(bestOff, bestLen - 3);
            i += bestLen;
        } else {
            w.Literal(in[i++]);
        }
    }
    if (endMark) w.End();
    return w.Finish();
}

Bytes Expand(Bytes packed, u32 block) {
    CMemStrm src(packed.data(), u32(packed.size()));
    CLzssReader r(&src, 0, packed.size());
    Bytes out;
    std::vector<u8> buf(block);
    for (;;) {
        const u32 n = r.Read(buf.data(), block);
        out.insert(out.end(), buf.begin(), buf.begin() + n);
        if (n < block) break;
    }
    return out;
}

Bytes Str(const char* s) {
    return Bytes(s, s + std::char_traits<char>::length(s));
}

Bytes Sample(size_t n, u32 seed) {
    std::mt19937 rng(seed);
    Bytes b;
    const char* words[] = {"scene ",           "button ", "universe ", "DMX ",
                           "\x00\x00\x00\x00", "fade ",   "\xff"};
    while (b.size() < n) {
        if (rng() % 4 == 0)
            b.push_back(u8(rng()));
        else {
            const char* w = words[rng() % 7];
            const size_t len = w[0] ? std::char_traits<char>::length(w) : 4;
            b.insert(b.end(), w, w + len);
        }
    }
    b.resize(n);
    return b;
}

}  // namespace

TEST(Lzss, BitLevelTokens) {
    {
        BitWriter w;
        w.Literal(0x41);
        w.End();
        EXPECT_EQ(Expand(w.Finish(), 100), Str("A"));
    }
    {
        BitWriter w;
        w.Literal('A'), w.Literal('B'), w.Match(2, 1), w.End();
        EXPECT_EQ(Expand(w.Finish(), 100), Str("ABABAB"));
    }
    {
        BitWriter w;
        w.Literal('x'), w.Match(1, 15), w.End();
        EXPECT_EQ(Expand(w.Finish(), 100), Bytes(19, 'x'));
    }
    {
        // The history starts as zeros: a match reaching before the first byte reads them.
        BitWriter w;
        w.Literal('q'), w.Match(100, 0), w.Literal('r'), w.End();
        EXPECT_EQ(Expand(w.Finish(), 100), Bytes({'q', 0, 0, 0, 'r'}));
    }
    {
        // Offsets reach the whole 8 KiB history.
        Bytes in = Sample(8191, 3);
        BitWriter w;
        for (u8 b : in) w.Literal(b);
        w.Match(8191, 0);
        w.End();
        Bytes want = in;
        want.insert(want.end(), {in[0], in[1], in[2]});
        EXPECT_EQ(Expand(w.Finish(), 50000), want);
    }
}

TEST(Lzss, BitReader) {
    u8 data[] = {0xA5, 0x3C, 0xFF, 0x00, 0x81};
    CMemStrm s(data, sizeof data);
    CBitReader b;
    b.Init(&s);
    u32 v = 3;
    ASSERT_TRUE(b.Read(&v));
    EXPECT_EQ(v, 0b101u);
    v = 13;  // 0 0101 | 0011 1100
    ASSERT_TRUE(b.Read(&v));
    EXPECT_EQ(v, 0b0010100111100u);
    v = 32;  // only 24 bits are left
    EXPECT_FALSE(b.Read(&v));
    EXPECT_EQ(v, 0u);
    u8 word[] = {0xDE, 0xAD, 0xBE, 0xEF};
    CMemStrm s2(word, sizeof word);
    b.Init(&s2);
    v = 32;
    ASSERT_TRUE(b.Read(&v));
    EXPECT_EQ(v, 0xDEADBEEFu);
}

TEST(Lzss, ExpandsPackedDataInAnyBlockSize) {
    for (u32 seed : {1u, 2u, 3u}) {
        const Bytes in = Sample(20000 + seed * 777, seed);
        const Bytes packed = Pack(in);
        ASSERT_LT(packed.size(), in.size());
        const Bytes big = Expand(packed, 1 << 20);
        EXPECT_EQ(big, in);
        // Pending matches carry over between calls.
        for (u32 block : {1u, 2u, 5u, 17u, 4096u}) EXPECT_EQ(Expand(packed, block), big) << block;
    }
}

TEST(Lzss, TruncatedTokenEndsQuietly) {
    BitWriter w;
    w.Literal('A'), w.Literal('B');
    w.Put(0, 1), w.Put(5, 6);  // a match cut inside its offset
    Bytes packed = w.Finish();
    EXPECT_EQ(Expand(packed, 100), Str("AB"));
    // Every cut of a longer stream delivers a prefix of the full output.
    const Bytes in = Sample(3000, 9);
    const Bytes full = Pack(in);
    for (size_t cut = 0; cut < full.size(); cut += 37) {
        const Bytes part(full.begin(), full.begin() + cut);
        const Bytes got = Expand(part, 1000);
        ASSERT_LE(got.size(), in.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), in.begin())) << cut;
    }
}

TEST(Lzss, StaysInsideItsRange) {
    // A prefix and a trailer around the packed bytes, which carry no end mark.
    const Bytes in = Str("hello hello hello world");
    const Bytes packed = Pack(in, false);
    Bytes file = Str("HDR!");
    file.insert(file.end(), packed.begin(), packed.end());
    const Bytes trailer = {0xFF, 0xFF, 0xFF, 0xFF};
    file.insert(file.end(), trailer.begin(), trailer.end());
    CMemStrm src(file.data(), u32(file.size()));
    CLzssReader r(&src, 4, 4 + packed.size());
    r.Rewind();
    // Every byte up to the final match comes, though the last source byte was fetched early.
    Bytes out;
    for (size_t i = 0; i < in.size(); ++i) out.push_back(r.ReadByte());
    EXPECT_EQ(out, in);
    EXPECT_EQ(r.LastByte(), 'd');
    // Nothing from the trailer.
    EXPECT_EQ(r.ReadByte(), 0);
    EXPECT_EQ(src.Position(), 4 + packed.size());

    // Rewinding expands the same bytes again.
    r.Rewind();
    u8 again[64];
    EXPECT_EQ(r.Read(again, sizeof again), in.size());
    EXPECT_EQ(Bytes(again, again + in.size()), in);
}

TEST(Lzss, CStringsAndStreams) {
    Bytes in = Str("first");
    in.push_back(0);
    const Bytes tail = Str("second second second");
    in.insert(in.end(), tail.begin(), tail.end());
    Bytes packed = Pack(in);
    CMemStrm src(packed.data(), u32(packed.size()));
    CLzssReader r(&src, 0, packed.size());
    LTextStream a, b;
    r.ReadCString(a);
    r.ReadCString(b);
    EXPECT_STREQ(a.CStr(), "first");
    EXPECT_STREQ(b.CStr(), "second second second");

    // More than one 4096-byte block, followed by junk behind the end mark.
    const Bytes big = Sample(10000, 4);
    Bytes body = Pack(big);
    Bytes withJunk = body;
    withJunk.insert(withJunk.end(), {0x80, 0x40, 0x20});
    CMemStrm src2(withJunk.data(), u32(withJunk.size()));
    CLzssReader r2(&src2, 0, withJunk.size());
    LDataBuf buf;
    {
        CMemStrm out(buf);
        r2.ReadToStream(out);
        EXPECT_EQ(out.Error(), 0u);
    }
    ASSERT_EQ(buf.Capacity(), big.size());
    EXPECT_EQ(Bytes(buf.Data(), buf.Data() + buf.Capacity()), big);
}
