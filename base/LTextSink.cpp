#include "base/LTextSink.h"

#include <algorithm>
#include <cstring>

const char* LTextStream::CStr() const {
    if (fLength == 0) return "";
    if (fLength < kInline) return fInline;
    return reinterpret_cast<const char*>(fHeap.Data());
}

void LTextStream::Clear() {
    fLength = 0;
    fError = 0;
    fInline[0] = 0;
}

void LTextStream::Reset() {
    Clear();
    fHeap.Free();
}

void LTextStream::Write(const void* bytes, u32 n) {
    const u64 need64 = u64(fLength) + n + 1;
    if (need64 > 0xFFFFFFFFu) {
        fError = 1;
        return;
    }
    const u32 need = u32(need64);
    if (need <= kInline) {
        if (n) std::memcpy(fInline + fLength, bytes, n);
        fLength += n;
        fInline[fLength] = 0;
        return;
    }
    const bool wasInline = fLength < kInline;
    bool moved = false;
    if (wasInline) {
        // Moving to the heap: the reservation need not keep old heap contents.
        if (fHeap.Reserve(need, need, false)) {
            std::memcpy(fHeap.Data(), fInline, fLength + 1);
            moved = true;
        } else {
            fError = 1;
        }
    }
    if (!fHeap.Reserve(need, need, true)) {
        fError = 1;
        return;
    }
    if (wasInline && !moved) std::memcpy(fHeap.Data(), fInline, fLength + 1);
    std::memcpy(fHeap.Data() + fLength, bytes, n);
    fLength += n;
    fHeap.Data()[fLength] = 0;
}

LCharBufSink::LCharBufSink(char* buffer, u32 capacity) : fCapacity(capacity), fBuffer(buffer) {
    Clear();
}

void LCharBufSink::Clear() {
    fLength = 0;
    fError = 0;
    if (fBuffer && fCapacity) fBuffer[0] = 0;
}

void LCharBufSink::Write(const void* bytes, u32 n) {
    if (!fBuffer || fCapacity == 0) {
        if (n) fError = 1;
        return;
    }
    const u64 room = u64(fCapacity) - fLength;
    const u64 k = std::min<u64>(u64(n) + 1, room);
    if (k >= 2) {
        std::memcpy(fBuffer + fLength, bytes, size_t(k - 1));
        fLength += u32(k - 1);
        fBuffer[fLength] = 0;
    }
    if (k - 1 < n) fError = 1;
}
