#pragma once
// The process clock and the blocking waits built on it (POSIX monotonic clock).

#include "base/Types.h"

// Milliseconds of a monotonic clock; differences of u32 values measure time-outs.
u32 LTickMs();
// What LTickMs reads instead of the monotonic clock: a test's virtual clock. Null
// goes back to the monotonic clock. The caller keeps ownership; NowMs may be
// called from any thread.
class LTickSource {
public:
    virtual ~LTickSource() = default;
    virtual u32 NowMs() = 0;
    // A fixed pause of the main thread under this clock: true when the source
    // moved its own clock on instead, so that the thread need not sleep.
    virtual bool Pause(u32 ms) {
        (void)ms;
        return false;
    }
};
void InstallTickSource(LTickSource* source);
// Blocks the calling thread for *ms of real time, whatever clock LTickMs reads.
void SleepForMs(const u32* ms);
// Blocks the calling thread for ms milliseconds.
void SleepMs(u32 ms);
// Holds the main thread still for ms, as when a device is given time to finish
// writing: real time, or under a virtual clock that clock moves on instead.
// Nothing else runs during the pause either way.
void PauseMainThreadMs(u32 ms);
