// Expansion throughput of the firmware packing.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/CMemStrm.h"
#include "base/Lzss.h"

namespace {

using Bytes = std::vector<u8>;

class BitWriter {
public:
    void Put(u32 value, u32 bits) {
        for (u32 i = bits; i-- > 0;) {
            fCur = u8((fCur << 1) | ((value >> i) & 1));
            if (++fN == 8) fOut.push_back(fCur), fCur = 0, fN = 0;
        }
    }
    Bytes Finish() {
        if (fN) fOut.push_back(u8(fCur << (8 - fN)));
        return fOut;
    }

private:
    Bytes fOut;
    u8 fCur = 0;
    u32 fN = 0;
};

// Greedy packing with one candidate per 3-byte hash: fast enough for megabytes.
Bytes Pack(const Bytes& in) {
    BitWriter w;
    std::vector<i64> last(1 << 16, -1);
    auto hash = [&](size_t i) { return ((in[i] << 8) ^ (in[i + 1] << 4) ^ in[i + 2]) & 0xFFFF; };
    size_t i = 0;
    while (i < in.size()) {
        u32 len = 0, off = 0;
        if (i + 3 <= in.size()) {
            const i64 j = last[hash(i)];
            if (j >= 0 && i - size_t(j) < 8192) {
                while (len < 18 && i + len < in.size() && in[size_t(j) + len] == in[i + len]) ++len;
                off = u32(i - size_t(j));
            }
        }
        if (len >= 3) {
            w.Put(0, 1), w.Put(off, 13), w.Put(len - 3, 4);
            for (u32 k = 0; k < len; ++k)
                if (i + k + 3 <= in.size()) last[hash(i + k)] = i64(i + k);
            i += len;
        } else {
            if (i + 3 <= in.size()) last[hash(i)] = i64(i);
            w.Put(1, 1), w.Put(in[i++], 8);
        }
    }
    w.Put(0, 14);
    return w.Finish();
}

// Firmware-like content: runs of code-ish words with some noise.
Bytes Sample(size_t n) {
    std::mt19937 rng(42);
    Bytes b;
    const char* words[] = {"mov r0, r1\n", "ldr r2, [r3]\n", "\x00\x00\x00\x00", "bl 0x8000\n",
                           "\xff\xff"};
    const size_t lens[] = {11, 13, 4, 10, 2};
    while (b.size() < n) {
        if (rng() % 3 == 0)
            b.push_back(u8(rng()));
        else {
            const u32 k = rng() % 5;
            b.insert(b.end(), words[k], words[k] + lens[k]);
        }
    }
    b.resize(n);
    return b;
}

const Bytes& Packed() {
    static const Bytes packed = Pack(Sample(1 << 20));
    return packed;
}

void BM_LzssReadBlocks(benchmark::State& state) {
    Bytes packed = Packed();
    Bytes out(u32(state.range(0)));
    u64 total = 0;
    for (auto _ : state) {
        CMemStrm src(packed.data(), u32(packed.size()));
        CLzssReader r(&src, 0, packed.size());
        while (u32 n = r.Read(out.data(), u32(out.size()))) {
            total += n;
            if (n < out.size()) break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(i64(total));
}
BENCHMARK(BM_LzssReadBlocks)->Arg(4096)->Arg(64);

void BM_LzssReadByte(benchmark::State& state) {
    Bytes packed = Packed();
    u64 total = 0;
    for (auto _ : state) {
        CMemStrm src(packed.data(), u32(packed.size()));
        CLzssReader r(&src, 0, packed.size());
        u8 acc = 0;
        for (u32 i = 0; i < (1u << 20); ++i) acc ^= r.ReadByte();
        benchmark::DoNotOptimize(acc);
        total += 1u << 20;
    }
    state.SetBytesProcessed(i64(total));
}
BENCHMARK(BM_LzssReadByte);

}  // namespace
