#pragma once
// Nested chunks on a byte stream: tag, big-endian length, payload, a pad byte
// after odd payloads. Readers never read past the end of their chunk.

#include "base/CStrm.h"
#include "base/LHandle.h"
#include "base/LString.h"

class CChunkWriter {
public:
    // Remembers the position, writes the tag and a zero length.
    void Open(CStrm* strm, u32 tag);
    void OpenSub(CChunkWriter& parent, u32 tag) { Open(parent.fStrm, tag); }
    // Goes on with a chunk opened at start earlier, from the stream position.
    void Resume(CStrm* strm, u64 start) {
        fStrm = strm;
        fStart = start;
    }
    // Patches the length and pads an odd payload.
    void Close();

    void WriteU8(u8 v) { fStrm->Write(&v, 1); }
    void WriteU32(u32 v);
    void WriteBytes(const void* bytes, u32 count) { fStrm->Write(bytes, count); }
    // Text ends with a 0 byte; CR and CR LF become LF.
    void WriteString(const char* text);
    void WriteText(const char* bytes, u32 count);

    CStrm* Strm() const { return fStrm; }

private:
    CStrm* fStrm = nullptr;
    u64 fStart = 0;
};

class CChunkReader {
public:
    // Reads the header at the stream position; tag 0 when there is none.
    void Open(CStrm* strm);
    // A sub-chunk at the current position, clipped to the parent's end.
    void OpenSub(CChunkReader& parent);
    // Skips whatever of the chunk was not read.
    void Close() { fStrm->SetPosition(fPaddedEnd); }

    bool ReadU8(u8* out);
    bool ReadU32(u32* out);
    bool ReadBytes(void* out, u32 count);
    // Appends the bytes up to and including the 0 to buf (from offset *length), *length
    // counting them; false when the chunk ends first.
    bool ReadText(LDataBuf& buf, u32* length);
    // A text as a string, line breaks as LF.
    bool ReadString(LString* out);

    u32 Tag() const { return fTag; }
    u64 End() const { return fEnd; }
    u64 Remaining() const {
        const u64 pos = fStrm->Position();
        return pos < fEnd ? fEnd - pos : 0;
    }
    CStrm* Strm() const { return fStrm; }

private:
    bool Fail() {
        fStrm->SetPosition(fEnd);
        return false;
    }
    CStrm* fStrm = nullptr;
    u64 fEnd = 0;
    u64 fPaddedEnd = 0;
    u32 fTag = 0;
};

// CR and CR LF to LF.
LString ChunkTextToLf(const char* bytes, u32 count);

// Whether a stream read from a device holds one whole chunk and nothing else:
// the length its header declares (and the pad byte after an odd length, which a
// sender may leave off) accounts for every byte from the stream's start. A chunk
// cut short, or followed by bytes of no chunk, is not taken for a whole one. An
// empty stream passes: it carries no chunk at all, which the reader of the reply
// judges. Leaves the stream at position 0.
bool ReplyChunkWhole(CStrm* strm);
