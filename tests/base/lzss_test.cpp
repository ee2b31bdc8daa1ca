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
