#pragma once
// A dropped file as the application's path to it. Links (the system's aliases)
// are followed to their target; when that fails the given path is kept and
// the status says why.

#include "base/LString.h"

class CDropFileRef {
public:
    enum : u32 { kResolved = 0, kOther = 1, kFolderMissing = 2, kFileMissing = 3 };

    // fileUrl: an application file path ("file:///...").
    explicit CDropFileRef(const LString& fileUrl);

    u32 Status() const { return fStatus; }
    bool WasAlias() const { return fAlias != 0; }
    // The target's path when resolved, else the given one.
    const LString& Path() const { return fPath; }

private:
    u32 fStatus = kOther;
    u8 fAlias = 0;
    LString fPath;
};
