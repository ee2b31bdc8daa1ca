#pragma once
// The process clock and the blocking waits built on it (POSIX monotonic clock).

#include "base/Types.h"

// Milliseconds of a monotonic clock; differences of u32 values measure time-outs.
u32 LTickMs();
// Blocks the calling thread until the tick has advanced by *ms.
void SleepForMs(const u32* ms);
// Blocks the calling thread for ms milliseconds.
void SleepMs(u32 ms);
