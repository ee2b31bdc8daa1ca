#include "base/CMemStrm.h"

#include <cstring>

#include "base/LArray.h"
#include "base/LHandle.h"

namespace {
constexpr u64 kMaxStore = 0xFFFFFFFFu;

// position + n <= limit, without wrapping.
bool Fits(u64 position, u64 n, u64 limit) {
    return n <= limit && position <= limit - n;
}
}  // namespace

CMemStrm::CMemStrm(LDataBuf& buffer)
    : CStrm(kModeWrite), fCapacity(buffer.Capacity()), fData(buffer.Data()), fBuf(&buffer) {}

CMemStrm::CMemStrm(LArray& array)
    : CStrm(kModeWrite),
      fCapacity(array.Capacity()),
      fData(static_cast<u8*>(array.Data())),
      fArray(&array) {
    if (array.ElementSize() != 1) SetError(kErrWrite);
}

CMemStrm::CMemStrm(u8* buffer, u32 size)
    // Without a buffer there is no room at all.
    : CStrm(kModeWrite), fCapacity(buffer ? size : 0), fEnd(buffer ? size : 0), fData(buffer) {}

CMemStrm::~CMemStrm() {
    if ((fBuf || fArray) && fError == kErrNone) {
        fPosition = fEnd;
        Commit();
    }
}

void CMemStrm::SetPosition(u64 position) {
    if (fError != kErrNone) return;
    fPosition = position;
}

void CMemStrm::Commit() {
    if (fError != kErrNone) return;
    if (fMode != kModeWrite) {
        SetError(kErrReadOnly);
        return;
    }
    if (fArray) {
        if (fPosition > kMaxStore) {
            SetError(kErrWrite);
            return;
        }
        const u32 count = fArray->Count();
        const u32 want = u32(fPosition);
        // SetRange zero-fills the room it appends.
        const bool ok = want > count ? fArray->SetRange(count, nullptr, want - count)
                                     : (fArray->RemoveAt(want, count - want), true);
        if (!ok) {
            SetError(kErrWrite);
            return;
        }
        fData = static_cast<u8*>(fArray->Data());
        fCapacity = fArray->Capacity();
        fEnd = fPosition;
        return;
    }
    if (fBuf) {
        if (fPosition > kMaxStore || !fBuf->Resize(u32(fPosition), true)) {
            SetError(kErrWrite);
            return;
        }
        fData = fBuf->Data();
        fCapacity = fBuf->Capacity();
    } else if (fPosition > fCapacity) {
        // The end of a fixed buffer can never pass its capacity.
        SetError(kErrWrite);
        return;
    }
    // Bytes between the old end and the new one were never written (or are left over
    // from the buffer's earlier contents): they read as zeros.
    if (fPosition > fEnd) std::memset(fData + fEnd, 0, size_t(fPosition - fEnd));
    fEnd = fPosition;
}

void CMemStrm::Write(const void* bytes, u64 length) {
    if (fError != kErrNone) return;
    if (fMode != kModeWrite) {
        SetError(kErrReadOnly);
        return;
    }
    if (fArray) {
        if (!Fits(fPosition, length, kMaxStore)) {
            SetError(kErrWrite);
            return;
        }
        // SetRange zero-fills any gap past the array's count.
        if (!fArray->SetRange(u32(fPosition), bytes, u32(length))) {
            SetError(kErrWrite);
            return;
        }
        fData = static_cast<u8*>(fArray->Data());
        fCapacity = fArray->Capacity();
        fPosition += length;
        if (fPosition > fEnd) fEnd = fPosition;
        return;
    }
    if (fBuf) {
        if (!Fits(fPosition, length, kMaxStore)) {
            SetError(kErrWrite);
            return;
        }
        const u32 need = u32(fPosition + length);
        u32 extra = need;
        while (!fBuf->Reserve(need, extra, true)) {
            if (extra == 0) break;
            extra /= 2;
        }
        fData = fBuf->Data();
        fCapacity = fBuf->Capacity();
    }
    if (!Fits(fPosition, length, fCapacity)) {
        SetError(kErrWrite);
        return;
    }
    if (fPosition > fEnd) std::memset(fData + fEnd, 0, size_t(fPosition - fEnd));
    if (length) std::memcpy(fData + fPosition, bytes, size_t(length));
    fPosition += length;
    if (fPosition > fEnd) fEnd = fPosition;
}

void CMemStrm::Read(void* buffer, u64* length) {
    const u64 wanted = *length;
    *length = 0;
    if (fError != kErrNone || fPosition >= fEnd) return;
    const u64 k = wanted < fEnd - fPosition ? wanted : fEnd - fPosition;
    if (k) std::memcpy(buffer, fData + fPosition, size_t(k));
    fPosition += k;
    *length = k;
}

std::vector<u8> ReadAllBytes(CStrm* strm) {
    std::vector<u8> bytes;
    strm->SetPosition(0);
    u8 chunk[4096];
    for (;;) {
        u64 got = sizeof chunk;
        strm->Read(chunk, &got);
        if (got == 0 || strm->Error()) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}
