#pragma once
// The byte-stream family: an abstract stream with a 64-bit position, a mode and
// a sticky first error. Once an error is recorded, positioning, writes and size
// changes do nothing and reads deliver 0 bytes, so a caller can run a whole
// sequence of operations and test the error once at the end.

#include "base/Types.h"

class CStrm {
public:
    enum : u32 { kModeWrite = 1 };
    enum : u32 {
        kErrNone = 0,
        kErrOpen = 1,      // opening the file failed
        kErrReadOnly = 2,  // write or size change on a stream whose mode is not 1
        kErrRead = 3,      // a read or a size query failed (the end of a file is not an error)
        kErrWrite = 4,     // a write or resize failed, or would pass the end of a fixed buffer
    };

    explicit CStrm(u32 mode) : fMode(mode) {}
    virtual ~CStrm() = default;
    CStrm(const CStrm&) = delete;
    CStrm& operator=(const CStrm&) = delete;

    virtual void SetPosition(u64 position) = 0;
    // Makes the current position the end of the data (Commit for memory, SetSize for files).
    virtual void SetSize() = 0;
    virtual void Write(const void* bytes, u64 length) = 0;
    // length in: wanted; out: delivered.
    virtual void Read(void* buffer, u64* length) = 0;
    virtual void SeekToEnd() { SetError(kErrRead); }

    void SetError(u32 code) {
        if (fError == kErrNone) fError = code;
    }
    u32 Error() const { return fError; }
    u32 Mode() const { return fMode; }
    u64 Position() const { return fPosition; }

protected:
    u64 fPosition = 0;
    u32 fMode;
    u32 fError = kErrNone;
};
