#pragma once
// A file stream with a 512-byte block buffer in front of the fork stream. Whole
// aligned blocks go straight between the caller and the file.

#include "base/CForkStrm.h"

class CBufFileStrm : public CForkStrm {
public:
    static constexpr u32 kBlockSize = 512;

    CBufFileStrm(const LString& fileUrl, u32 mode);
    // Flushes before the fork closes.
    ~CBufFileStrm() override;

    void SetPosition(u64 position) override;
    void SetSize() override;
    void Write(const void* bytes, u64 length) override;
    void Read(void* buffer, u64* length) override;
    void SeekToEnd() override;

    // Writes the dirty buffer through the fork.
    void Flush();

private:
    void Fill();
    void EmptyBuffer() {
        fBufStart = fPosition;
        fValid = 0;
    }

    u64 fBufStart = 0;
    u64 fValid = 0;
    u8* fBlock = nullptr;
    bool fDirty = false;
};
