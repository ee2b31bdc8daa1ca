#pragma once
// What the base library, the device link and the framework need of the platform.
// No Qt here: the Qt layer implements the windowing side in platform/qt/, the
// POSIX side lives in platform/posix/.

#include "base/Types.h"
#include "platform/CForkStrm.h"

// Milliseconds of a monotonic clock; differences of u32 values measure time-outs.
u32 LTickMs();
// Blocks the calling thread until the tick has advanced by *ms.
void SleepForMs(const u32* ms);
// Blocks the calling thread for ms milliseconds.
void SleepMs(u32 ms);
#include "platform/GraphicsServices.h"
#include "platform/RunLoop.h"
#include "platform/DropData.h"
