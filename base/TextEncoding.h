#pragma once
// Text at the edges of the application: UTF-16 for collation, the legacy text
// encoding (UTF-8 here) for resource names and length-prefixed strings, single
// UTF-8 characters, comparisons that are not byte compares, and the Unicode
// normalisations used to compare and compose file names.

#include "base/CharReader.h"
#include "base/LHandle.h"
#include "base/LString.h"
#include "base/LTextSink.h"

// Converters into a buffer whose capacity becomes the converted byte count. A source
// that is not valid text leaves the buffer unchanged and answers false.
bool Utf8ToUtf16Buf(const char* bytes, u32 length, LDataBuf& out);
bool Utf8CStrToUtf16Buf(const char* text, LDataBuf& out);
// Unpaired surrogates become '?'.
bool Utf16ToUtf8Buf(const u16* units, u32 count, LDataBuf& out);
bool Utf8ToAppEncodingBuf(const char* text, LDataBuf& out);

// The units as UTF-8; the empty string when they cannot be converted.
LString& StringFromUtf16(LString* out, const u16* units, u32 count);

// Text in the application's legacy encoding, followed by a zero byte.
class CAppEncodedText {
public:
    explicit CAppEncodedText(const char* utf8);
    explicit CAppEncodedText(const LString& utf8) : CAppEncodedText(utf8.CStr()) {}
    const char* Text() const { return fText; }
    u32 Length() const { return fLength; }

private:
    LDataBuf fBuf;
    const char* fText = "";
    u32 fLength = 0;
};

// out[0] = min(strlen(text), max), then that many bytes; max is at most 255.
void CopyToPascal(const char* text, u8* out, u32 max);
// The text in the legacy encoding as a length-prefixed string, cut at a character
// boundary.
void ToPascalString(const char* utf8, u8* out, u32 max);

// Text as UTF-16 code units in host byte order, for the collation service.
class Utf16Text {
public:
    explicit Utf16Text(const char* utf8) { Assign(utf8); }
    void Assign(const char* utf8);
    const u16* Units() const { return reinterpret_cast<const u16*>(fBuf.Data()); }
    u32 Count() const { return fCount; }

private:
    LDataBuf fBuf;
    u32 fCount = 0;
};

// Past the character at p: null stays null, the terminating zero stays put.
const char* Utf8NextChar(const char* p);

enum : i32 { kUtf8Ok = 0, kUtf8End = 1, kUtf8Malformed = 2 };
// Reads one character. Overlong forms, encoded surrogates, values above U+10FFFF
// and truncated sequences are malformed.
i32 ReadUtf8Char(LCharReader& reader, u32* out);
// False, writing nothing, above U+10FFFF and for surrogates.
bool Utf8Encode(LTextSink& sink, u32 codePoint);

// Order in the user's collation (negative, 0, positive).
i32 TextCompareLocale(const char* a, const char* b);
// Equivalent in the user's collation when case is ignored (accents and punctuation count).
bool TextEqualNoCase(const char* a, const char* b);
// Byte-wise after upper-casing each byte; null reads as empty.
bool StrEqualNoCase(const char* a, const char* b);

// Canonical decomposition (NFD). False, with what was written so far, for malformed
// UTF-8. Names are compared by decomposing both and comparing the bytes.
bool DecomposeToNfd(const char* utf8, LTextSink& out);
// Canonical composition (NFC). Text that is not valid UTF-8 is written unchanged.
bool NormalizeNFC(const char* utf8, LTextSink& out);
// Simple Unicode case folding, one character for one, the same in every locale
// ("I" folds to "i" in Turkish too). False, with what was written so far, for
// malformed UTF-8.
bool FoldCaseSimple(const char* utf8, LTextSink& out);
