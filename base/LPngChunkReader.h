#pragma once
// Walks the chunk headers of a PNG image held in any stream.

#include "base/CStrm.h"

class LPngChunkReader {
public:
    // Reads and checks the 8-byte signature at the source's current position.
    explicit LPngChunkReader(CStrm* source);

    // Moves to the next chunk header; false once failed or at a short read.
    // The chunk's data follows at the source's position after a true answer.
    bool Next();

    u32 Length() const { return fLength; }
    u32 Type() const { return fType; }
    bool Failed() const { return fFailed; }

private:
    CStrm* fSource;
    u64 fNext = 0;
    u32 fLength = 0;
    u32 fType = 0;
    bool fFailed = false;
};
