#pragma once
// The owner of one malloc'ed block of fixed-size elements, and the growable byte
// buffer built on it. Allocation failures answer false; nothing throws.

#include "base/Types.h"

class LHandle {
public:
    LHandle() = default;
    LHandle(const LHandle&) = delete;
    LHandle& operator=(const LHandle&) = delete;

    // Binds the handle to its owner's block and capacity fields, zeroes them and allocates n
    // elements.
    bool Init(void** block, u32* capacity, u32 elementSize, u32 n);
    bool Resize(u32 n, bool keep);
    bool Reserve(u32 need, u32 extra, bool keep);
    bool Assign(const void* data, u32 n);
    void* Detach();
    void Free();

    u32 ElementSize() const { return fElementSize; }

private:
    void** fBlock = nullptr;
    u32* fCapacity = nullptr;
    u32 fElementSize = 1;
};

class LDataBuf {
public:
    LDataBuf() { fHandle.Init(reinterpret_cast<void**>(&fData), &fCapacity, 1, 0); }
    virtual ~LDataBuf() { fHandle.Free(); }
    LDataBuf(const LDataBuf&) = delete;
    LDataBuf& operator=(const LDataBuf&) = delete;

    u32 Capacity() const { return fCapacity; }
    u8* Data() const { return fData; }
    LHandle& Handle() { return fHandle; }
    bool Resize(u32 n, bool keep) { return fHandle.Resize(n, keep); }
    bool Reserve(u32 need, u32 extra, bool keep) { return fHandle.Reserve(need, extra, keep); }
    bool Assign(const void* data, u32 n) { return fHandle.Assign(data, n); }
    void Free() { fHandle.Free(); }

private:
    u32 fCapacity = 0;
    u8* fData = nullptr;
    LHandle fHandle;
};
