#include "base/Clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace {

std::atomic<LTickSource*> sTickSource{nullptr};

u32 MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return u32(u64(ts.tv_sec) * 1000u + u64(ts.tv_nsec) / 1000000u);
}

}  // namespace

void InstallTickSource(LTickSource* source) {
    sTickSource.store(source);
}

u32 LTickMs() {
    LTickSource* s = sTickSource.load(std::memory_order_acquire);
    return s ? s->NowMs() : MonotonicMs();
}

void SleepForMs(const u32* ms) {
    // Real time even under a virtual clock, which would never move while we sleep.
    const u32 start = MonotonicMs();
    while (u32(MonotonicMs() - start) < *ms) {
        const u32 left = *ms - u32(MonotonicMs() - start);
        timespec req{time_t(left / 1000), long(left % 1000) * 1000000L};
        nanosleep(&req, nullptr);
    }
}

void SleepMs(u32 ms) {
    SleepForMs(&ms);
}

void PauseMainThreadMs(u32 ms) {
    LTickSource* s = sTickSource.load(std::memory_order_acquire);
    if (s && s->Pause(ms)) return;
    SleepForMs(&ms);
}
