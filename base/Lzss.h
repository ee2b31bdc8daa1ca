#pragma once
// Expansion of the LZSS variant the firmware resource is packed with.
// Tokens, bits most significant first: 1 + 8-bit literal, or 0 + 13-bit offset
// + 4-bit length code (length code + 3 bytes copied from offset bytes back).
// Offset 0, or the source running out inside a token, ends the data.

#include "base/CStrm.h"
#include "base/LTextSink.h"

class CBitReader {
public:
    // limit: the source position before which bytes may be taken.
    void Init(CStrm* source, u64 limit = ~u64(0));
    // *inOut: bits wanted (1..32) on entry, their value on exit, first bit
    // read as the most significant. False (value 0) when the source ran out.
    bool Read(u32* inOut);
    void Reset() { fBitsLeft = 0; }

private:
    u32 fBitsLeft = 0;
    u8 fByte = 0;  // unread bits moved to the top
    CStrm* fSource = nullptr;
    u64 fLimit = ~u64(0);
};

class LZWindow {
public:
    LZWindow(u32 offsetBits, u32 lengthBits);
    virtual ~LZWindow();
    LZWindow(const LZWindow&) = delete;
    LZWindow& operator=(const LZWindow&) = delete;

    bool IsValid() const { return fWindow != nullptr; }
    u32 WindowSize() const { return fWindowSize; }
    u32 Threshold() const { return fThreshold; }
    u32 MaxMatch() const { return fMaxMatch; }

protected:
    u32 fOffsetBits;
    u32 fLengthBits;
    u32 fWindowSize;
    u32 fThreshold;
    u32 fMaxMatch;
    u32 fIndex = 0;
    u8* fWindow = nullptr;  // zero-filled, so matches reaching before the start read zeros
};

class LZExpandWindow : public LZWindow {
public:
    LZExpandWindow(u32 offsetBits, u32 lengthBits);
    ~LZExpandWindow() override;

    void Put(u8 byte);
    // Copies lengthCode + threshold + 1 bytes from offset back into the match
    // buffer and the history; answers the count (0 without a window).
    u32 CopyMatch(u32 offset, u32 lengthCode);
    const u8* Match() const { return fMatch; }

private:
    u8* fMatch = nullptr;
};

class CLzssReader {
public:
    // Expands source[start, end); the source position is not changed here.
    CLzssReader(CStrm* source, u64 start, u64 end);
    ~CLzssReader() = default;
    CLzssReader(const CLzssReader&) = delete;
    CLzssReader& operator=(const CLzssReader&) = delete;

    // Back to start; the history is kept.
    void Rewind();
    // Answers the bytes delivered; fewer than n means the data ended.
    u32 Read(u8* out, u32 n);
    // The next expanded byte, 0 when none is left.
    u8 ReadByte();
    // Expanded bytes up to (not including) the next zero byte or the end.
    void ReadCString(LTextSink& sink);
    // Expands everything into out, then drains whatever follows the end mark.
    void ReadToStream(CStrm& out);

    u8 LastByte() const { return fLastByte; }

private:
    CStrm* fSource;
    u64 fStart;
    u64 fEnd;
    CBitReader fBits;
    LZExpandWindow fWindow;
    u32 fMatchIndex = 0;
    u32 fMatchLength = 0;
    u8 fLastByte = 0;
};
