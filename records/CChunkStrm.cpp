#include "records/CChunkStrm.h"

#include <cstring>

namespace {
u32 GetBE32(const u8* p) {
    return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | u32(p[3]);
}
void PutBE32(u8* p, u32 v) {
    p[0] = u8(v >> 24);
    p[1] = u8(v >> 16);
    p[2] = u8(v >> 8);
    p[3] = u8(v);
}
}  // namespace

// ---------------------------------------------------------------- writer

void CChunkWriter::Open(CStrm* strm, u32 tag) {
    fStrm = strm;
    fStart = strm->Position();
    u8 header[8];
    PutBE32(header, tag);
    PutBE32(header + 4, 0);
    strm->Write(header, 8);
}

void CChunkWriter::Close() {
    const u64 end = fStrm->Position();
    const u64 length = end - fStart - 8;
    u8 b[4];
    PutBE32(b, u32(length));
    fStrm->SetPosition(fStart + 4);
    fStrm->Write(b, 4);
    fStrm->SetPosition(end);
    if ((end - fStart) & 1) WriteU8(0);
}

void CChunkWriter::WriteU32(u32 v) {
    u8 b[4];
    PutBE32(b, v);
    fStrm->Write(b, 4);
}

void CChunkWriter::WriteString(const char* text) {
    WriteText(text, text ? u32(std::strlen(text)) : 0);
}

void CChunkWriter::WriteText(const char* bytes, u32 count) {
    // Runs without CR go out in one write.
    u32 start = 0;
    for (u32 i = 0; i < count; ++i) {
        if (bytes[i] != '\r') continue;
        if (i > start) fStrm->Write(bytes + start, i - start);
        const u8 lf = '\n';
        fStrm->Write(&lf, 1);
        if (i + 1 < count && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (count > start) fStrm->Write(bytes + start, count - start);
    WriteU8(0);
}

// ---------------------------------------------------------------- reader

void CChunkReader::Open(CStrm* strm) {
    fStrm = strm;
    const u64 pos = strm->Position();
    u8 header[8];
    u64 n = 8;
    strm->Read(header, &n);
    if (n != 8) {
        fTag = 0;
        fEnd = fPaddedEnd = pos;
        strm->SetPosition(pos);
        return;
    }
    fTag = GetBE32(header);
    fEnd = pos + 8 + GetBE32(header + 4);
    fPaddedEnd = fEnd + (fEnd & 1);
}

void CChunkReader::OpenSub(CChunkReader& parent) {
    fStrm = parent.fStrm;
    const u64 pos = fStrm->Position();
    if (pos >= parent.fEnd || parent.fEnd - pos < 8) {
        fTag = 0;
        fEnd = fPaddedEnd = pos;
        return;
    }
    Open(fStrm);
    if (fTag == 0 && fEnd == pos) return;
    if (fEnd > parent.fEnd) fEnd = parent.fEnd;
    if (fPaddedEnd > parent.fEnd) fPaddedEnd = parent.fEnd;
}

bool CChunkReader::ReadBytes(void* out, u32 count) {
    if (Remaining() < count) return Fail();
    u64 n = count;
    fStrm->Read(out, &n);
    if (n != count) return Fail();
    return true;
}

bool CChunkReader::ReadU8(u8* out) {
    return ReadBytes(out, 1);
}

bool CChunkReader::ReadU32(u32* out) {
    u8 b[4];
    if (!ReadBytes(b, 4)) return false;
    *out = GetBE32(b);
    return true;
}

bool CChunkReader::ReadText(LDataBuf& buf, u32* length) {
    // Reads in blocks and steps back behind the terminator: far fewer stream calls
    // than one byte at a time.
    for (;;) {
        const u64 remaining = Remaining();
        if (remaining == 0) return Fail();
        u8 block[256];
        u64 n = remaining < sizeof(block) ? remaining : sizeof(block);
        const u64 pos = fStrm->Position();
        fStrm->Read(block, &n);
        if (n == 0) return Fail();
        const u8* zero = static_cast<const u8*>(std::memchr(block, 0, size_t(n)));
        const u32 take = zero ? u32(zero - block) + 1 : u32(n);
        if (!buf.Reserve(*length + take, *length + take, true)) return Fail();
        std::memcpy(buf.Data() + *length, block, take);
        *length += take;
        if (zero) {
            fStrm->SetPosition(pos + take);
            return true;
        }
    }
}

bool CChunkReader::ReadString(LString* out) {
    // Short texts need no heap buffer.
    const u64 remaining = Remaining();
    if (remaining == 0) return Fail();
    u8 block[128];
    u64 n = remaining < sizeof(block) ? remaining : sizeof(block);
    const u64 pos = fStrm->Position();
    fStrm->Read(block, &n);
    if (const u8* zero = static_cast<const u8*>(std::memchr(block, 0, size_t(n)))) {
        const u32 len = u32(zero - block);
        fStrm->SetPosition(pos + len + 1);
        *out = ChunkTextToLf(reinterpret_cast<const char*>(block), len);
        return true;
    }
    fStrm->SetPosition(pos);
    LDataBuf buf;
    u32 length = 0;
    if (!buf.Reserve(128, 0, false) || !ReadText(buf, &length)) return false;
    *out = ChunkTextToLf(reinterpret_cast<const char*>(buf.Data()), length - 1);
    return true;
}

LString ChunkTextToLf(const char* bytes, u32 count) {
    if (!std::memchr(bytes, '\r', count)) return LString(bytes, count);
    LString out;
    char small[256];
    char* dst = count <= sizeof(small) ? small : new char[count];
    u32 n = 0;
    for (u32 i = 0; i < count; ++i) {
        if (bytes[i] == '\r') {
            dst[n++] = '\n';
            if (i + 1 < count && bytes[i + 1] == '\n') ++i;
        } else {
            dst[n++] = bytes[i];
        }
    }
    out = LString(dst, n);
    if (dst != small) delete[] dst;
    return out;
}

bool ReplyChunkWhole(CStrm* strm) {
    strm->SetPosition(0);
    u8 header[8];
    u64 got = sizeof header;
    strm->Read(header, &got);
    bool whole = got == 0;
    if (got == sizeof header) {
        const u64 end = 8 + u64(GetBE32(header + 4));
        // The last declared byte must be there, and after it at most the pad byte.
        u8 tail[2];
        strm->SetPosition(end - 1);
        u64 last = 1;
        strm->Read(tail, &last);
        u64 after = sizeof tail;
        if (last == 1) strm->Read(tail, &after);
        whole = last == 1 && (after == 0 || (after == 1 && (end & 1) != 0));
    }
    strm->SetPosition(0);
    return whole && strm->Error() == CStrm::kErrNone;
}
