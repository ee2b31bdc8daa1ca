#include "base/Clock.h"

#include <ctime>
#include <cerrno>

u32 LTickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return u32(u64(ts.tv_sec) * 1000u + u64(ts.tv_nsec) / 1000000u);
}

void SleepForMs(const u32* ms) {
    const u32 start = LTickMs();
    while (u32(LTickMs() - start) < *ms) {
        const u32 left = *ms - u32(LTickMs() - start);
        timespec req{time_t(left / 1000), long(left % 1000) * 1000000L};
        nanosleep(&req, nullptr);
    }
}

void SleepMs(u32 ms) {
    SleepForMs(&ms);
}
