#include "devices/recordings/CDrcBlackoutStrm.h"

#include <algorithm>
#include <cstring>

CDrcBlackoutStrm::CDrcBlackoutStrm(u32 universes, u32 durationMs, u8 level)
    : CStrm(0), fUniverses(universes), fSteps(durationMs / kStepMs + 1) {
    fSlots[0] = 0;
    std::memset(fSlots + 1, level, kDmxSlots - 1);
    if (universes == 0 || universes > kMaxUniverses) {
        SetError(kErrOpen);
        return;
    }
    // The frames' lengths differ from step to step only: one pass over the
    // steps gives the size that the progress needs before the upload starts.
    Rewind();
    do {
        if (fFrameLen == 0) {
            SetError(kErrOpen);
            return;
        }
        fSize += u64(fFrameLen) * fUniverses;
    } while (NextStep() || fFrameLen == 0);
    Rewind();
}

void CDrcBlackoutStrm::Rewind() {
    fModel.Init(0);
    fStep = 0;
    fStepStart = 0;
    fFrameLen = fModel.Encode(true, 0, fSlots, kDmxSlots, fFrame, sizeof fFrame);
    fPort = 0;
}

bool CDrcBlackoutStrm::NextStep() {
    if (fStep + 1 >= fSteps) return false;
    fStepStart += u64(fFrameLen) * fUniverses;
    ++fStep;
    fFrameLen = fModel.Encode(true, fStep * kStepMs, fSlots, kDmxSlots, fFrame, sizeof fFrame);
    fPort = 0;
    return fFrameLen != 0;
}

void CDrcBlackoutStrm::SetPort(u32 port) {
    if (port == fPort) return;
    fPort = port;
    fFrame[8] = u8(port);
    fFrame[9] = u8(0x80 | ((port >> 8) & 0x7F));
}

void CDrcBlackoutStrm::Read(void* buffer, u64* length) {
    const u64 want = *length;
    *length = 0;
    if (fError != kErrNone || fPosition >= fSize) return;
    u8* to = static_cast<u8*>(buffer);
    u64 done = 0;
    if (fPosition < fStepStart) Rewind();
    while (done < want && fPosition < fSize) {
        const u64 stepLen = u64(fFrameLen) * fUniverses;
        if (fPosition >= fStepStart + stepLen) {
            if (!NextStep()) break;
            continue;
        }
        const u64 offset = fPosition - fStepStart;
        SetPort(u32(offset / fFrameLen));
        const u32 at = u32(offset % fFrameLen);
        const u64 n = std::min<u64>(fFrameLen - at, want - done);
        std::memcpy(to + done, fFrame + at, size_t(n));
        done += n;
        fPosition += n;
    }
    *length = done;
}
