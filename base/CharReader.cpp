#include "base/CharReader.h"

#include <cstring>

namespace {

bool IsSpaceC(u8 c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsBlankC(u8 c) {
    return c == ' ' || c == '\t';
}
bool IsDigitC(u8 c) {
    return c >= '0' && c <= '9';
}
bool IsBreak(u8 c) {
    return c == '\r' || c == '\n';
}

const u8 kEmpty[1] = {0};

}  // namespace

u32 ReaderReadBlockByChars(LCharReader& reader, void* buffer, u32 n) {
    u8* out = static_cast<u8*>(buffer);
    u32 i = 0;
    while (i < n && reader.GetChar(out + i)) ++i;
    return i;
}

void LMemReader::Init(const void* buffer, u32 length) {
    if (!buffer || length == 0) {
        fStart = fEnd = fCur = kEmpty;
        return;
    }
    fStart = fCur = static_cast<const u8*>(buffer);
    fEnd = fStart + length;
}

bool LMemReader::GetChar(u8* out) {
    if (fCur >= fEnd || *fCur == 0) {
        *out = 0;
        return false;
    }
    *out = *fCur++;
    return true;
}

void LMemReader::Unget() {
    if (fCur > fStart) --fCur;
}

u32 LMemReader::ReadBlock(void* buffer, u32 n) {
    const u64 left = u64(fEnd - fCur);
    const u32 k = n < left ? n : u32(left);
    if (k) std::memcpy(buffer, fCur, k);
    fCur += k;
    return k;
}

LStrReader::LStrReader(const LString& text) : fText(text) {
    Init(fText.CStr(), fText.Length());
}

CUtf8TextReader::CUtf8TextReader(CStrm* source) : fSource(source) {
    if (!fSource) return;
    const u64 mark = fSource->Position();
    u8 bom[3];
    u64 n = 3;
    fSource->Read(bom, &n);
    if (!(n == 3 && bom[0] == 0xEF && bom[1] == 0xBB && bom[2] == 0xBF)) fSource->SetPosition(mark);
}

bool CUtf8TextReader::GetChar(u8* out) {
    u64 n = 1;
    if (fSource)
        fSource->Read(out, &n);
    else
        n = 0;
    if (n == 1) return true;
    *out = 0;
    return false;
}

void CUtf8TextReader::Unget() {
    if (fSource && fSource->Position() > 0) fSource->SetPosition(fSource->Position() - 1);
}

u32 CUtf8TextReader::ReadBlock(void* buffer, u32 n) {
    if (!fSource) return 0;
    u64 got = n;
    fSource->Read(buffer, &got);
    return u32(got);
}

void CopyStream(LCharReader& source, LTextSink& target) {
    u8 block[1024];
    while (u32 n = source.ReadBlock(block, sizeof block)) target.Write(block, n);
}

void ReaderSkipSpace(LCharReader& reader) {
    u8 c;
    while (reader.GetChar(&c)) {
        if (!IsSpaceC(c)) {
            reader.Unget();
            return;
        }
    }
}

void ReaderSkipBlanks(LCharReader& reader) {
    u8 c;
    while (reader.GetChar(&c)) {
        if (!IsSpaceC(c) || IsBreak(c)) {
            reader.Unget();
            return;
        }
    }
}

namespace {

bool ReadIntAfterSkip(LCharReader& reader, i32* out) {
    bool negative = false, lastDigit = false, anyDigit = false;
    // Collected wider than the result and capped just past its range.
    const u64 cap = u64(1) << 31;
    u64 mag = 0;
    u8 c;
    while (reader.GetChar(&c)) {
        if (IsDigitC(c)) {
            anyDigit = lastDigit = true;
            mag = mag * 10 + (c - '0');
            if (mag > cap) mag = cap + 1;
        } else if (!anyDigit && (c == '+' || c == '-')) {
            if (c == '-') negative = true;
            lastDigit = false;
        } else {
            reader.Unget();
            break;
        }
    }
    if (negative)
        *out = mag >= cap ? INT32_MIN : -i32(mag);
    else
        *out = mag >= cap ? INT32_MAX : i32(mag);
    return lastDigit;
}

}  // namespace

bool ReaderReadInt(LCharReader& reader, i32* out) {
    ReaderSkipSpace(reader);
    return ReadIntAfterSkip(reader, out);
}

bool ReaderReadIntInLine(LCharReader& reader, i32* out) {
    ReaderSkipBlanks(reader);
    return ReadIntAfterSkip(reader, out);
}

bool ReaderSkipLine(LCharReader& reader) {
    u8 c;
    while (reader.GetChar(&c)) {
        if (!IsBreak(c)) continue;
        u8 next;
        if (reader.GetChar(&next) && !(IsBreak(next) && next != c)) reader.Unget();
        return true;
    }
    return false;
}

bool ReaderReadWord(LCharReader& reader, LTextSink& sink) {
    ReaderSkipBlanks(reader);
    bool any = false;
    u8 c;
    while (reader.GetChar(&c)) {
        if (IsSpaceC(c)) {
            reader.Unget();
            break;
        }
        sink.Write(&c, 1);
        any = true;
    }
    return any;
}

bool ReaderReadField(LCharReader& reader, LTextSink& sink, u32 delimiter, bool consumeDelimiter) {
    ReaderSkipBlanks(reader);
    bool any = false;
    // Blanks are held back until something other than the field's end follows them.
    char held[64];
    u32 nHeld = 0;
    LTextStream heldMore;
    u8 c;
    while (reader.GetChar(&c)) {
        if (c == delimiter) {
            if (!consumeDelimiter) reader.Unget();
            break;
        }
        if (IsBreak(c)) {
            reader.Unget();
            break;
        }
        if (IsBlankC(c)) {
            if (nHeld < sizeof held)
                held[nHeld++] = char(c);
            else
                heldMore.Write(&c, 1);
            continue;
        }
        if (nHeld) {
            sink.Write(held, nHeld);
            if (heldMore.Length()) sink.Write(heldMore.CStr(), heldMore.Length());
            nHeld = 0;
            heldMore.Clear();
        }
        sink.Write(&c, 1);
        any = true;
    }
    return any;
}

bool ReaderReadLineText(LCharReader& reader, LTextSink& sink) {
    bool any = false;
    u8 c;
    while (reader.GetChar(&c)) {
        if (IsBreak(c)) {
            reader.Unget();
            break;
        }
        sink.Write(&c, 1);
        any = true;
    }
    return any;
}

void ReaderReadNumberText(LCharReader& reader, LTextSink& sink) {
    ReaderSkipBlanks(reader);
    bool digitOrPoint = false, point = false;
    u8 c;
    while (reader.GetChar(&c)) {
        if (IsDigitC(c)) {
            digitOrPoint = true;
        } else if (c == '.' && !point) {
            point = digitOrPoint = true;
        } else if (!((c == '+' || c == '-') && !digitOrPoint)) {
            reader.Unget();
            break;
        }
        sink.Write(&c, 1);
    }
}

u8 ReaderReadNonBlank(LCharReader& reader) {
    ReaderSkipBlanks(reader);
    u8 c;
    return reader.GetChar(&c) ? c : 0;
}

bool ReaderReadLine(LCharReader& reader, LString* out) {
    LTextStream t;
    const bool text = ReaderReadLineText(reader, t);
    *out = t.ToString();
    const bool brk = ReaderSkipLine(reader);
    return text || brk;
}

void WriteLinesWithEol(const char* text, LTextSink& sink, const char* eol) {
    LMemReader reader(text, StrLen(text));
    const u32 eolLen = StrLen(eol);
    for (;;) {
        const bool line = ReaderReadLineText(reader, sink);
        const bool brk = ReaderSkipLine(reader);
        if (brk && eolLen) sink.Write(eol, eolLen);
        if (!line && !brk) break;
    }
}

LString& NormalizeLineBreaks(LString* out, const LString& text, const char* eol) {
    LTextStream t;
    WriteLinesWithEol(text.CStr(), t, eol);
    // Shared only when byte-identical: text behind a zero byte is not carried along.
    if (t.Length() == text.Length() && StrEqual(t.CStr(), text.CStr()))
        *out = text;
    else
        *out = t.ToString();
    return *out;
}

LString& ToLf(LString* out, const LString& text) {
    return NormalizeLineBreaks(out, text, "\n");
}
