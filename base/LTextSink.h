#pragma once
// Text sinks: the growable text builder and the fixed-buffer sink.

#include "base/LHandle.h"
#include "base/LString.h"

class LTextSink {
public:
    virtual ~LTextSink() = default;
    virtual const char* CStr() const = 0;
    virtual void Clear() = 0;
    virtual void Reset() = 0;
    virtual void Write(const void* bytes, u32 length) = 0;

    // Conveniences over Write.
    void Put(const char* text) { Write(text, StrLen(text)); }
    void Put(const LString& s) { Write(s.CStr(), s.Length()); }
    void PutChar(char c) { Write(&c, 1); }
    bool Error() const { return fError != 0; }
    u32 Length() const { return fLength; }

protected:
    u8 fError = 0;
    u32 fLength = 0;
};

// Keeps short texts (under 64 bytes) inside the object; longer ones move to the heap.
class LTextStream : public LTextSink {
public:
    static constexpr u32 kInline = 64;
    LTextStream() { Clear(); }
    const char* CStr() const override;
    void Clear() override;
    void Reset() override;
    void Write(const void* bytes, u32 length) override;
    bool IsInline() const { return fLength < kInline; }
    LString ToString() const { return LString(CStr(), fLength); }

private:
    LDataBuf fHeap;
    char fInline[kInline];
};

// Writes into a caller's buffer, cutting what does not fit; never allocates.
class LCharBufSink : public LTextSink {
public:
    LCharBufSink(char* buffer, u32 capacity);
    const char* CStr() const override { return fBuffer; }
    void Clear() override;
    void Reset() override { Clear(); }
    void Write(const void* bytes, u32 length) override;

private:
    u32 fCapacity;
    char* fBuffer;
};
