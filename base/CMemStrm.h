#pragma once
// The memory stream over a growable byte buffer, a byte array or a caller's fixed buffer.

#include <vector>

#include "base/CStrm.h"

class LArray;
class LDataBuf;

class CMemStrm : public CStrm {
public:
    // Starts empty over the buffer and overwrites it.
    explicit CMemStrm(LDataBuf& buffer);
    // Starts empty over a byte array (element size 1).
    explicit CMemStrm(LArray& array);
    // A fixed buffer starts full (ready to be read) when non-null.
    CMemStrm(u8* buffer, u32 size);
    // A stream over a buffer or array without an error commits its end.
    ~CMemStrm() override;

    void SetPosition(u64 position) override;
    void SetSize() override { Commit(); }
    void Write(const void* bytes, u64 length) override;
    void Read(void* buffer, u64* length) override;

    void Commit();

    u64 End() const { return fEnd; }
    u32 Capacity() const { return fCapacity; }
    u8* Data() const { return fData; }

private:
    u32 fCapacity = 0;
    u64 fEnd = 0;
    u8* fData = nullptr;
    LDataBuf* fBuf = nullptr;
    LArray* fArray = nullptr;
};

// Every byte of a stream from its start, up to its end or its first read error.
std::vector<u8> ReadAllBytes(CStrm* strm);
