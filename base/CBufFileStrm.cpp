#include "base/CBufFileStrm.h"

#include <cstring>
#include <new>

namespace {
constexpr u64 kBlockMask = ~u64(CBufFileStrm::kBlockSize - 1);
constexpr u64 kMaxOffset = u64(INT64_MAX);
}  // namespace

CBufFileStrm::CBufFileStrm(const LString& fileUrl, u32 mode) : CForkStrm(fileUrl, mode, 0) {
    EmptyBuffer();
    fBlock = new (std::nothrow) u8[kBlockSize];
    if (!fBlock) SetError(kErrWrite);
}

CBufFileStrm::~CBufFileStrm() {
    Flush();
    delete[] fBlock;
}

void CBufFileStrm::Flush() {
    if (!fDirty) return;
    const u64 saved = fPosition;
    CForkStrm::SetPosition(fBufStart);
    CForkStrm::Write(fBlock, fValid);
    fPosition = saved;
    fDirty = false;
}

void CBufFileStrm::Fill() {
    const u64 saved = fPosition;
    fBufStart = saved & kBlockMask;
    CForkStrm::SetPosition(fBufStart);
    u64 got = kBlockSize;
    CForkStrm::Read(fBlock, &got);
    fPosition = saved;
    // Only bytes that exist count as valid: padding up to a position past the end of the
    // file would otherwise be read back as data and flushed into the file. The rest of
    // the block is zeroed so that a write there leaves zeros in the gap, never older
    // buffer contents.
    std::memset(fBlock + got, 0, size_t(kBlockSize - got));
    fValid = got;
}

void CBufFileStrm::SetPosition(u64 position) {
    Flush();
    CForkStrm::SetPosition(position);
    if (fPosition < fBufStart || fPosition > fBufStart + fValid) EmptyBuffer();
}

void CBufFileStrm::SetSize() {
    Flush();
    CForkStrm::SetSize();
    EmptyBuffer();
}

void CBufFileStrm::SeekToEnd() {
    Flush();
    CForkStrm::SeekToEnd();
    if (fPosition < fBufStart || fPosition > fBufStart + fValid) EmptyBuffer();
}

void CBufFileStrm::Write(const void* bytes, u64 length) {
    if (fError != kErrNone) return;
    if (fMode != kModeWrite) {
        SetError(kErrReadOnly);
        return;
    }
    if (length == 0) return;
    if (length > kMaxOffset || fPosition > kMaxOffset - length) {
        SetError(kErrWrite);
        return;
    }
    const u8* src = static_cast<const u8*>(bytes);
    u64 r = length;
    while (r > 0 && fError == kErrNone) {
        if (r < kBlockSize || (fPosition & ~kBlockMask) != 0) {
            if (fValid == 0) {
                Fill();
                if (fError != kErrNone) return;
            }
            const u64 offset = fPosition - fBufStart;
            const u64 room = kBlockSize - offset;
            const u64 k = r < room ? r : room;
            std::memcpy(fBlock + offset, src, size_t(k));
            fDirty = true;
            fPosition += k;
            src += k;
            r -= k;
            if (offset + k > fValid) fValid = offset + k;
            if (r == 0) return;
        }
        Flush();
        EmptyBuffer();
        if (r >= kBlockSize) {
            const u64 whole = r & kBlockMask;
            CForkStrm::Write(src, whole);
            src += whole;
            r -= whole;
            EmptyBuffer();
        }
    }
}

void CBufFileStrm::Read(void* buffer, u64* length) {
    u64 n = *length;
    *length = 0;
    if (fError != kErrNone) return;
    if (n > kMaxOffset - (fPosition < kMaxOffset ? fPosition : kMaxOffset))
        n = kMaxOffset - (fPosition < kMaxOffset ? fPosition : kMaxOffset);
    u8* dst = static_cast<u8*>(buffer);
    u64 r = n;
    for (;;) {
        if (fPosition >= fBufStart && fPosition <= fBufStart + fValid) {
            const u64 avail = fBufStart + fValid - fPosition;
            const u64 k = r < avail ? r : avail;
            if (k) {
                std::memcpy(dst, fBlock + (fPosition - fBufStart), size_t(k));
                dst += k;
                fPosition += k;
                r -= k;
            }
        }
        if (r == 0) break;
        Flush();
        if (fError != kErrNone) break;
        if (r < kBlockSize || (fPosition & ~kBlockMask) != 0) {
            const u64 oldEnd = fBufStart + fValid;
            Fill();
            if (fBufStart + fValid <= oldEnd) break;  // end of file
            continue;
        }
        u64 got = r & kBlockMask;
        CForkStrm::Read(dst, &got);
        if (got == 0) break;
        dst += got;
        r -= got;
        EmptyBuffer();
        if (r == 0) break;
    }
    *length = n - r;
}
