#pragma once
// What the base library, the device link and the framework need of the platform.
// No Qt here: the Qt layer implements the windowing side in platform/qt/, the
// POSIX side lives in platform/posix/.

#include "base/Types.h"
#include "platform/CForkStrm.h"

// Milliseconds of a monotonic clock; differences of u32 values measure time-outs.
u32 LTickMs();
// What LTickMs reads instead of the monotonic clock: a test's virtual clock. Null
// goes back to the monotonic clock. The caller keeps ownership; NowMs may be
// called from any thread.
class LTickSource {
public:
    virtual ~LTickSource() = default;
    virtual u32 NowMs() = 0;
};
void InstallTickSource(LTickSource* source);
// Blocks the calling thread for *ms of real time, whatever clock LTickMs reads.
void SleepForMs(const u32* ms);
// Blocks the calling thread for ms milliseconds.
void SleepMs(u32 ms);
#include "platform/GraphicsServices.h"
#include "platform/RunLoop.h"
#include "platform/DropData.h"
