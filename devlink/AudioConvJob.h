#pragma once
// What the device file job queue needs of the audio conversion: one conversion
// at a time on a pool thread, polled from the main thread. The conversion calls
// its completion function from its own thread when it ends.

#include "base/LString.h"

// The picture size and quality handed to every conversion.
struct VideoConvSettings {
    u32 width = 1920;
    u32 height = 1080;
    u32 quality = 1;
    // Defaults, then the node "vcnvsetn" of the application preferences' misc branch.
    void Load();
};

using LConvDoneFn = void (*)(void* context);

class MAudioConvJob {
public:
    enum : u32 { kIdle = 0, kRunning = 1, kDone = 2, kFailed = 3 };
    virtual ~MAudioConvJob() = default;
    // Converts the local file source into destination, an existing file the
    // caller made. False when it does not start.
    virtual bool Start(const LString& source, const LString& destination,
                       const VideoConvSettings& settings, u32 kind, void* context,
                       LConvDoneFn done) = 0;
    virtual u32 PollState() = 0;
    virtual f32 GetProgress() = 0;
    // Stops and forgets the conversion (waits for its thread); idle afterwards.
    virtual void Reset() = 0;
};
