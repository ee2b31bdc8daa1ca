#include "base/LPngChunkReader.h"

#include <cstring>

namespace {
const u8 kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

u32 BigEndian32(const u8* p) {
    return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | u32(p[3]);
}
}  // namespace

LPngChunkReader::LPngChunkReader(CStrm* source) : fSource(source) {
    u8 sig[8];
    u64 got = sizeof sig;
    if (source) source->Read(sig, &got);
    if (!source || got != sizeof sig || std::memcmp(sig, kSignature, sizeof sig) != 0) {
        fFailed = true;
        return;
    }
    fNext = source->Position();
}

bool LPngChunkReader::Next() {
    if (fFailed) return false;
    fSource->SetPosition(fNext);
    u8 header[8];
    u64 got = sizeof header;
    fSource->Read(header, &got);
    if (got != sizeof header) {
        fFailed = true;
        return false;
    }
    fLength = BigEndian32(header);
    fType = BigEndian32(header + 4);
    fNext = fSource->Position() + fLength + 4;
    return true;
}
