#include "base/LArray.h"

#include <cstring>

namespace {
constexpr u64 kMaxCount = 0xFFFFFFFFu;
}

LArray::LArray(u32 elementSize, u32 initialCapacity) {
    fHandle.Init(&fData, &fCapacity, elementSize, initialCapacity);
}

LArray::~LArray() {
    fHandle.Free();
}

bool LArray::InsertAt(u32 index, const void* element) {
    if (u64(fCount) + 1 > kMaxCount) return false;
    const u32 need = fCount + 1;
    const u32 extra = need > 32 ? need : 32;
    if (!fHandle.Reserve(need, extra, true)) return false;
    const u32 i = index < fCount ? index : fCount;
    const size_t es = ElementSize();
    u8* base = static_cast<u8*>(fData);
    std::memmove(base + (i + 1) * es, base + i * es, (fCount - i) * es);
    if (element)
        std::memcpy(base + i * es, element, es);
    else
        std::memset(base + i * es, 0, es);
    fCount = need;
    return true;
}

bool LArray::InsertN(u32 index, const void* elements, u32 n) {
    if (n == 0) return true;
    if (u64(fCount) + n > kMaxCount) return false;
    const u32 need = fCount + n;
    if (!fHandle.Reserve(need, 0, true)) return false;
    const u32 i = index < fCount ? index : fCount;
    const size_t es = ElementSize();
    u8* base = static_cast<u8*>(fData);
    std::memmove(base + (size_t(i) + n) * es, base + i * es, (fCount - i) * es);
    if (elements)
        std::memcpy(base + i * es, elements, size_t(n) * es);
    else
        std::memset(base + i * es, 0, size_t(n) * es);
    fCount = need;
    return true;
}

bool LArray::SetRange(u32 index, const void* elements, u32 n) {
    const u64 end = u64(index) + n;
    if (end > kMaxCount) return false;
    if (end > fCount && !fHandle.Reserve(u32(end), 0, true)) return false;
    const size_t es = ElementSize();
    u8* base = static_cast<u8*>(fData);
    if (end > fCount) {
        // Never expose whatever the block held before: the gap and the new room start zeroed.
        std::memset(base + size_t(fCount) * es, 0, size_t(end - fCount) * es);
    }
    if (elements && n) std::memcpy(base + size_t(index) * es, elements, size_t(n) * es);
    if (end > fCount) fCount = u32(end);
    return true;
}

bool LArray::SetAll(const void* elements, u32 n) {
    if (!fHandle.Reserve(n, 0, false)) return false;
    const size_t es = ElementSize();
    if (n) {
        if (elements)
            std::memcpy(fData, elements, size_t(n) * es);
        else
            std::memset(fData, 0, size_t(n) * es);
    }
    fCount = n;
    return true;
}

bool LArray::CopyFrom(const LArray& other) {
    if (&other == this) return true;
    if (other.ElementSize() != ElementSize()) return false;
    if (!fHandle.Assign(other.fData, other.fCount)) return false;
    fCount = other.fCount;
    return true;
}

u32 LArray::RemoveAt(u32 index, u32 n) {
    const u32 old = fCount;
    if (index >= fCount) return old;
    if (u64(index) + n < fCount) {
        const size_t es = ElementSize();
        u8* base = static_cast<u8*>(fData);
        std::memmove(base + size_t(index) * es, base + (size_t(index) + n) * es,
                     size_t(fCount - index - n) * es);
        fCount -= n;
    } else {
        fCount = index;
    }
    return old;
}
