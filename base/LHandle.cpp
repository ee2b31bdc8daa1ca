#include "base/LHandle.h"

#include <cstdlib>
#include <cstring>

bool LHandle::Init(void** block, u32* capacity, u32 elementSize, u32 n) {
    fBlock = block;
    fCapacity = capacity;
    fElementSize = elementSize ? elementSize : 1;
    *fBlock = nullptr;
    *fCapacity = 0;
    return n == 0 || Resize(n, false);
}

bool LHandle::Resize(u32 n, bool keep) {
    if (n == 0) {
        Free();
        return true;
    }
    const size_t bytes = size_t(n) * fElementSize;
    if (*fBlock && (keep || *fCapacity >= n)) {
        void* p = std::realloc(*fBlock, bytes);
        if (!p) return false;
        *fBlock = p;
    } else {
        void* p = std::malloc(bytes);
        if (!p) return false;
        std::free(*fBlock);
        *fBlock = p;
    }
    *fCapacity = n;
    return true;
}

bool LHandle::Reserve(u32 need, u32 extra, bool keep) {
    if (*fCapacity >= need) return true;
    const u64 want = u64(need) + extra;
    if (want > 0xFFFFFFFFu) return Resize(need, keep);
    return Resize(u32(want), keep);
}

bool LHandle::Assign(const void* data, u32 n) {
    if (!Resize(n, false)) return false;
    if (n && data) std::memcpy(*fBlock, data, size_t(n) * fElementSize);
    return true;
}

void* LHandle::Detach() {
    void* b = *fBlock;
    *fBlock = nullptr;
    *fCapacity = 0;
    return b;
}

void LHandle::Free() {
    if (fBlock) {
        std::free(*fBlock);
        *fBlock = nullptr;
    }
    if (fCapacity) *fCapacity = 0;
}
