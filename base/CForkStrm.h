#pragma once
// The file-fork byte stream: positioned reads and writes on one open fork of a file.

#include "base/CStrm.h"
#include "base/LString.h"

class CForkStrm : public CStrm {
public:
    enum : u32 {
        kFlagUncached = 2,
        kFlagResourceFork = 4,
    };

    // Opens nothing: call Init.
    CForkStrm() : CStrm(0) {}
    // Records error 1 when the fork cannot be opened.
    CForkStrm(const LString& fileUrl, u32 mode, u32 flags = 0) : CStrm(0) {
        Init(fileUrl, mode, flags);
    }
    ~CForkStrm() override;

    // fileUrl is an application file path ("file:///..."); one that names no
    // local place records error 1, as does a folder or a missing file.
    void Init(const LString& fileUrl, u32 mode, u32 flags);
    void Close();
    bool IsOpen() const { return fFd >= 0; }

    void SetPosition(u64 position) override;
    void SetSize() override;
    void Write(const void* data, u64 length) override;
    void Read(void* buffer, u64* length) override;
    void SeekToEnd() override;

private:
    int fFd = -1;
};
