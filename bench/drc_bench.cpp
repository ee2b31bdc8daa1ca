// DMX recording frames: an hour of one universe at 44 frames per second
// (48 channels fading, the rest still), its size beside the raw frames and
// beside what gzip -6 makes of them; and the largest blackout recording read
// through its upload stream, whose memory must not depend on its duration.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "devices/recordings/CDrcBlackoutStrm.h"
#include "devices/recordings/DrcFrames.h"

namespace {

constexpr u32 kFps = 44;
constexpr u32 kFrames = 3600 * kFps;  // 158,400
constexpr u32 kFading = 48;

// The slot values of frame i: 48 channels on triangle waves of their own, the
// rest at levels drawn once.
struct Show {
    Show() {
        std::mt19937 rng(44);
        for (u32 s = 1; s < kDmxSlots; ++s) still[s] = u8(rng() % 4 == 0 ? rng() % 256 : 0);
        for (u32 c = 0; c < kFading; ++c) {
            channel[c] = 1 + rng() % 512;
            period[c] = 2 * kFps + rng() % (20 * kFps);
            phase[c] = rng() % period[c];
        }
    }
    void Fill(u32 i, u8* slots) const {
        std::copy(still, still + kDmxSlots, slots);
        for (u32 c = 0; c < kFading; ++c) {
            const u32 p = (i + phase[c]) % period[c], half = period[c] / 2;
            slots[channel[c]] = u8(255 * (p < half ? p : period[c] - p) / half);
        }
    }
    u8 still[kDmxSlots] = {};
    u32 channel[kFading], period[kFading], phase[kFading];
};

u64 EncodeHour(const Show& show, std::vector<u8>* file) {
    CDrcFrameEncoder e;
    e.Init(0);
    u8 slots[kDmxSlots];
    u8 frame[kDrcMaxFrame];
    u64 total = 0;
    for (u32 i = 0; i < kFrames; ++i) {
        show.Fill(i, slots);
        const u32 n =
            e.Encode(true, u32(u64(i) * 1000 / kFps), slots, kDmxSlots, frame, sizeof frame);
        total += n;
        if (file) file->insert(file->end(), frame, frame + n);
    }
    return total;
}

u64 GzipSize(const Show& show) {
    char path[] = "/tmp/drcbenchXXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 0;
    close(fd);
    {
        std::ofstream out(path, std::ios::binary);
        u8 slots[kDmxSlots];
        for (u32 i = 0; i < kFrames; ++i) {
            show.Fill(i, slots);
            out.write(reinterpret_cast<const char*>(slots), kDmxSlots);
        }
    }
    u64 size = 0;
    if (FILE* p = popen((std::string("gzip -6 -c ") + path + " | wc -c").c_str(), "r")) {
        unsigned long long n = 0;
        if (std::fscanf(p, "%llu", &n) == 1) size = n;
        pclose(p);
    }
    std::remove(path);
    return size;
}

void BM_EncodeHourOfOneUniverse(benchmark::State& state) {
    const Show show;
    u64 size = 0;
    for (auto _ : state) benchmark::DoNotOptimize(size = EncodeHour(show, nullptr));
    state.counters["frames"] = kFrames;
    state.counters["drc_bytes"] = double(size);
    state.counters["raw_bytes"] = double(u64(kFrames) * kDmxSlots);
    state.counters["gzip6_bytes"] = double(GzipSize(show));
    state.SetItemsProcessed(i64(state.iterations()) * kFrames);
}
BENCHMARK(BM_EncodeHourOfOneUniverse)->Unit(benchmark::kMillisecond);

long RssKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// 32768 universes: the upload reads blocks of 1428 bytes.
void BM_BlackoutUploadStream(benchmark::State& state) {
    const u32 seconds = u32(state.range(0));
    u64 bytes = 0;
    long rssGrowth = 0;
    size_t heapGrowth = 0;
    for (auto _ : state) {
        const long rss0 = RssKiB();
        const size_t heap0 = mallinfo2().uordblks;
        CDrcBlackoutStrm s(32768, seconds * 1000, 0);
        u8 block[1428];
        for (u64 n = sizeof block; n == sizeof block; bytes += n) {
            n = sizeof block;
            s.Read(block, &n);
        }
        rssGrowth = RssKiB() - rss0;
        heapGrowth = mallinfo2().uordblks - heap0;
    }
    state.SetBytesProcessed(i64(bytes));
    state.counters["size"] = double(bytes / state.iterations());
    state.counters["rss_growth_kib"] = double(rssGrowth);
    state.counters["heap_growth"] = double(heapGrowth);
    state.counters["stream_object"] = double(sizeof(CDrcBlackoutStrm));
}
BENCHMARK(BM_BlackoutUploadStream)->Arg(1)->Arg(999)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
