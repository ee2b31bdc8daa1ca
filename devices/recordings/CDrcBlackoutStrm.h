#pragma once
// The bytes of a blackout recording, made as they are read: every universe
// holds one level on all 512 channels for the whole duration, one frame per
// universe every 500 ms. Nothing grows with the duration or the number of
// universes, and a reader may go back anywhere (the upload returns to its first
// unacknowledged block).

#include "base/CStrm.h"
#include "devices/recordings/DrcFrames.h"

class CDrcBlackoutStrm : public CStrm {
public:
    static constexpr u32 kStepMs = 500;
    static constexpr u32 kMaxUniverses = 32768;

    // universes 1..32768; frames at 0, 500, ... up to and with durationMs.
    CDrcBlackoutStrm(u32 universes, u32 durationMs, u8 level);

    // The whole recording's length, known before the first byte is read.
    u64 Size() const { return fSize; }

    void SetPosition(u64 position) override { fPosition = position; }
    void SetSize() override { SetError(kErrReadOnly); }
    void Write(const void*, u64) override { SetError(kErrReadOnly); }
    void Read(void* buffer, u64* length) override;
    void SeekToEnd() override { fPosition = fSize; }

private:
    void Rewind();
    // The next step's frame; false past the last step.
    bool NextStep();
    void SetPort(u32 port);

    u32 fUniverses;
    u32 fSteps;
    u64 fSize = 0;
    u8 fSlots[kDmxSlots];
    // Every universe's frames are alike but for the port: one encoder makes the
    // frame of a step, which is then stamped with each universe's port.
    CDrcFrameEncoder fModel;
    u8 fFrame[kDrcMaxFrame];
    u32 fFrameLen = 0;
    u32 fPort = 0;
    u32 fStep = 0;       // the step whose frames fFrame holds
    u64 fStepStart = 0;  // its first byte in the recording
};
