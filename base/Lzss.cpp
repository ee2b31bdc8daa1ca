#include "base/Lzss.h"

#include <cstring>
#include <new>

namespace {

constexpr u32 kOffsetBits = 13;
constexpr u32 kLengthBits = 4;
// Larger windows are not a format of ours; refusing them keeps a bad call from
// asking for gigabytes.
constexpr u32 kMaxOffsetBits = 24;
constexpr u32 kMaxLengthBits = 16;

}  // namespace

void CBitReader::Init(CStrm* source, u64 limit) {
    fBitsLeft = 0;
    fByte = 0;
    fSource = source;
    fLimit = limit;
}

bool CBitReader::Read(u32* inOut) {
    u32 want = *inOut > 32 ? 32 : *inOut;
    u64 value = 0;
    while (want) {
        if (fBitsLeft == 0) {
            u64 n = 1;
            if (fSource && fSource->Position() < fLimit)
                fSource->Read(&fByte, &n);
            else
                n = 0;
            if (n != 1) {
                *inOut = 0;
                return false;
            }
            fBitsLeft = 8;
        }
        const u32 take = want < fBitsLeft ? want : fBitsLeft;
        value = (value << take) | (u32(fByte) >> (8 - take));
        fByte = u8(u32(fByte) << take);
        fBitsLeft -= take;
        want -= take;
    }
    *inOut = u32(value);
    return true;
}

LZWindow::LZWindow(u32 offsetBits, u32 lengthBits)
    : fOffsetBits(offsetBits),
      fLengthBits(lengthBits),
      fWindowSize(offsetBits <= kMaxOffsetBits ? u32(1) << offsetBits : 0),
      fThreshold((offsetBits + lengthBits + 1) / 9),
      fMaxMatch(lengthBits <= kMaxLengthBits ? (u32(1) << lengthBits) + fThreshold : 0) {
    if (fWindowSize && fMaxMatch) fWindow = new (std::nothrow) u8[fWindowSize]();
}

LZWindow::~LZWindow() {
    delete[] fWindow;
}

LZExpandWindow::LZExpandWindow(u32 offsetBits, u32 lengthBits) : LZWindow(offsetBits, lengthBits) {
    if (fWindow) {
        fMatch = new (std::nothrow) u8[fMaxMatch]();
        if (!fMatch) {
            delete[] fWindow;
            fWindow = nullptr;
        }
    }
}

LZExpandWindow::~LZExpandWindow() {
    delete[] fMatch;
}

void LZExpandWindow::Put(u8 byte) {
    if (!fWindow) return;
    fWindow[fIndex] = byte;
    fIndex = (fIndex + 1) & (fWindowSize - 1);
}

u32 LZExpandWindow::CopyMatch(u32 offset, u32 lengthCode) {
    if (!fWindow) return 0;
    const u64 want = u64(lengthCode) + fThreshold + 1;
    const u32 count = want < fMaxMatch ? u32(want) : fMaxMatch;
    const u32 mask = fWindowSize - 1;
    for (u32 i = 0; i < count; ++i) {
        const u8 b = fWindow[(fIndex - offset) & mask];
        fMatch[i] = b;
        fWindow[fIndex] = b;
        fIndex = (fIndex + 1) & mask;
    }
    return count;
}

CLzssReader::CLzssReader(CStrm* source, u64 start, u64 end)
    : fSource(source), fStart(start), fEnd(end), fWindow(kOffsetBits, kLengthBits) {
    fBits.Init(fSource, fEnd);
}

void CLzssReader::Rewind() {
    if (fSource) fSource->SetPosition(fStart);
    fBits.Reset();
    fMatchIndex = fMatchLength = 0;
}

u32 CLzssReader::Read(u8* out, u32 n) {
    if (!fWindow.IsValid()) return 0;
    u32 done = 0;
    while (done < n) {
        if (fMatchIndex < fMatchLength) {
            u32 k = fMatchLength - fMatchIndex;
            if (k > n - done) k = n - done;
            std::memcpy(out + done, fWindow.Match() + fMatchIndex, k);
            fMatchIndex += k;
            done += k;
            continue;
        }
        u32 flag = 1;
        if (!fBits.Read(&flag)) break;
        if (flag) {
            u32 byte = 8;
            if (!fBits.Read(&byte)) break;
            out[done++] = u8(byte);
            fWindow.Put(u8(byte));
            continue;
        }
        u32 offset = kOffsetBits;
        if (!fBits.Read(&offset) || offset == 0) break;
        u32 length = kLengthBits;
        if (!fBits.Read(&length)) break;
        fMatchLength = fWindow.CopyMatch(offset, length);
        fMatchIndex = 0;
    }
    return done;
}

u8 CLzssReader::ReadByte() {
    u8 b = 0;
    if (Read(&b, 1) != 1) b = 0;
    fLastByte = b;
    return b;
}

void CLzssReader::ReadCString(LTextSink& sink) {
    u8 buf[256];
    u32 n = 0;
    u8 b;
    while (Read(&b, 1) == 1 && b != 0) {
        buf[n++] = b;
        if (n == sizeof buf) {
            sink.Write(buf, n);
            n = 0;
        }
    }
    if (n) sink.Write(buf, n);
}

void CLzssReader::ReadToStream(CStrm& out) {
    u8 block[4096];
    for (;;) {
        const u32 n = Read(block, sizeof block);
        if (n) out.Write(block, n);
        if (n < sizeof block) break;
    }
    // Whatever follows the end mark inside the range is consumed and dropped.
    while (Read(block, sizeof block) == sizeof block) {
    }
}
