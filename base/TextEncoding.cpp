#include "base/TextEncoding.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <climits>
#include <cstring>

#include "base/LArray.h"

static_assert(sizeof(UChar) == sizeof(u16));

// ---- Converters

bool Utf8ToUtf16Buf(const char* bytes, u32 length, LDataBuf& out) {
    if (!bytes) length = 0;
    if (length > u32(INT32_MAX)) return false;
    UErrorCode status = U_ZERO_ERROR;
    int32_t units = 0;
    u_strFromUTF8(nullptr, 0, &units, bytes ? bytes : "", int32_t(length), &status);
    if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) return false;
    if (u64(units) * 2 > 0xFFFFFFFFu) return false;
    if (!out.Resize(u32(units) * 2, false)) return false;
    if (units == 0) return true;
    status = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(out.Data()), units, nullptr, bytes, int32_t(length),
                  &status);
    return U_SUCCESS(status);
}

bool Utf8CStrToUtf16Buf(const char* text, LDataBuf& out) {
    return Utf8ToUtf16Buf(text, StrLen(text), out);
}

bool Utf16ToUtf8Buf(const u16* units, u32 count, LDataBuf& out) {
    if (!units) count = 0;
    if (count > u32(INT32_MAX)) return false;
    static const UChar kNone = 0;
    const UChar* src = units ? reinterpret_cast<const UChar*>(units) : &kNone;
    UErrorCode status = U_ZERO_ERROR;
    int32_t bytes = 0;
    u_strToUTF8WithSub(nullptr, 0, &bytes, src, int32_t(count), '?', nullptr, &status);
    if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) return false;
    if (!out.Resize(u32(bytes), false)) return false;
    if (bytes == 0) return true;
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(reinterpret_cast<char*>(out.Data()), bytes, nullptr, src, int32_t(count),
                       '?', nullptr, &status);
    return U_SUCCESS(status);
}

namespace {

bool IsValidUtf8(const char* text, u32 length) {
    LMemReader reader(text, length);
    u32 c;
    i32 r;
    while ((r = ReadUtf8Char(reader, &c)) == kUtf8Ok) {
    }
    return r == kUtf8End;
}

}  // namespace

// The legacy encoding is UTF-8: a checked copy.
bool Utf8ToAppEncodingBuf(const char* text, LDataBuf& out) {
    const u32 n = StrLen(text);
    if (!IsValidUtf8(text, n)) return false;
    return out.Assign(text, n);
}

LString& StringFromUtf16(LString* out, const u16* units, u32 count) {
    LDataBuf buf;
    if (!Utf16ToUtf8Buf(units, count, buf)) return LString::FromCStr(out, "");
    *out = LString(reinterpret_cast<const char*>(buf.Data()), buf.Capacity());
    return *out;
}

// ---- Legacy encoding

CAppEncodedText::CAppEncodedText(const char* utf8) {
    Utf8ToAppEncodingBuf(utf8, fBuf);
    const u32 n = fBuf.Capacity();
    if (fBuf.Resize(n + 1, true)) {
        fBuf.Data()[n] = 0;
        fText = reinterpret_cast<const char*>(fBuf.Data());
        fLength = n;
    }
}

void CopyToPascal(const char* text, u8* out, u32 max) {
    if (max > 255) max = 255;
    const u32 n = std::min(StrLen(text), max);
    out[0] = u8(n);
    if (n) std::memcpy(out + 1, text, n);
}

void ToPascalString(const char* utf8, u8* out, u32 max) {
    CAppEncodedText text(utf8);
    if (max > 255) max = 255;
    u32 n = std::min(text.Length(), max);
    // A multi-byte encoding: never keep half a character.
    if (n < text.Length())
        while (n > 0 && (u8(text.Text()[n]) & 0xC0) == 0x80) --n;
    out[0] = u8(n);
    if (n) std::memcpy(out + 1, text.Text(), n);
}

void Utf16Text::Assign(const char* utf8) {
    if (!Utf8CStrToUtf16Buf(utf8, fBuf)) fBuf.Free();
    fCount = fBuf.Capacity() / 2;
}

// ---- UTF-8 characters

const char* Utf8NextChar(const char* p) {
    if (!p || !*p) return p;
    ++p;
    while ((u8(*p) & 0xC0) == 0x80) ++p;
    return p;
}

i32 ReadUtf8Char(LCharReader& reader, u32* out) {
    u8 b;
    if (!reader.GetChar(&b)) return kUtf8End;
    if (b < 0x80) {
        *out = b;
        return kUtf8Ok;
    }
    u32 more, cp, least;
    if (b < 0xC0) {
        return kUtf8Malformed;
    } else if (b < 0xE0) {
        more = 1, cp = b & 0x1F, least = 0x80;
    } else if (b < 0xF0) {
        more = 2, cp = b & 0x0F, least = 0x800;
    } else if (b < 0xF8) {
        more = 3, cp = b & 0x07, least = 0x10000;
    } else {
        return kUtf8Malformed;
    }
    while (more--) {
        if (!reader.GetChar(&b)) return kUtf8Malformed;
        if ((b & 0xC0) != 0x80) {
            reader.Unget();
            return kUtf8Malformed;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms and surrogates would let two different byte strings read as one
    // name ("C0 AF" as "/").
    if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return kUtf8Malformed;
    *out = cp;
    return kUtf8Ok;
}

bool Utf8Encode(LTextSink& sink, u32 c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    u8 b[4];
    u32 n;
    if (c < 0x80) {
        b[0] = u8(c);
        n = 1;
    } else if (c < 0x800) {
        b[0] = u8(0xC0 | (c >> 6));
        b[1] = u8(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        b[0] = u8(0xE0 | (c >> 12));
        b[1] = u8(0x80 | ((c >> 6) & 0x3F));
        b[2] = u8(0x80 | (c & 0x3F));
        n = 3;
    } else {
        b[0] = u8(0xF0 | (c >> 18));
        b[1] = u8(0x80 | ((c >> 12) & 0x3F));
        b[2] = u8(0x80 | ((c >> 6) & 0x3F));
        b[3] = u8(0x80 | (c & 0x3F));
        n = 4;
    }
    sink.Write(b, n);
    return true;
}

// ---- Comparison

namespace {

// Collators are not shared between threads: each thread opens its own.
class CCollator {
public:
    explicit CCollator(bool ignoreCase) {
        UErrorCode status = U_ZERO_ERROR;
        // Equality serves protocol keys and file extensions: it must not depend on the
        // locale ("BLKSIZE" is not "blksize" in Turkish). The C locale's collation is
        // byte order, which knows no case: the root one stands in for it.
        const char* locale = ignoreCase ? "" : uloc_getDefault();
        if (std::strncmp(locale, "en_US_POSIX", 11) == 0) locale = "";
        fCollator = ucol_open(locale, &status);
        if (U_FAILURE(status)) {
            if (fCollator) ucol_close(fCollator);
            fCollator = nullptr;
            return;
        }
        status = U_ZERO_ERROR;
        ucol_setAttribute(fCollator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
        if (ignoreCase) ucol_setStrength(fCollator, UCOL_SECONDARY);
    }
    ~CCollator() {
        if (fCollator) ucol_close(fCollator);
    }
    CCollator(const CCollator&) = delete;
    CCollator& operator=(const CCollator&) = delete;

    // Null when the collation service is unavailable.
    UCollator* Get() const { return fCollator; }

private:
    UCollator* fCollator = nullptr;
};

i32 Collate(bool ignoreCase, const char* a, const char* b) {
    thread_local CCollator sPlain(false);
    thread_local CCollator sNoCase(true);
    UCollator* coll = ignoreCase ? sNoCase.Get() : sPlain.Get();
    if (!coll) return StrCompare(a, b);
    Utf16Text ua(a), ub(b);
    static const UChar kNone = 0;
    const UChar* pa = ua.Count() ? reinterpret_cast<const UChar*>(ua.Units()) : &kNone;
    const UChar* pb = ub.Count() ? reinterpret_cast<const UChar*>(ub.Units()) : &kNone;
    return i32(ucol_strcoll(coll, pa, i32(ua.Count()), pb, i32(ub.Count())));
}

}  // namespace

i32 TextCompareLocale(const char* a, const char* b) {
    return Collate(false, a, b);
}

bool TextEqualNoCase(const char* a, const char* b) {
    return Collate(true, a, b) == 0;
}

bool StrEqualNoCase(const char* a, const char* b) {
    if (StrIsEmpty(a) || StrIsEmpty(b)) return StrIsEmpty(a) && StrIsEmpty(b);
    for (;; ++a, ++b) {
        if (std::toupper(u8(*a)) != std::toupper(u8(*b))) return false;
        if (!*a) return true;
    }
}

// ---- Canonical decomposition

// Generated from the Unicode Character Database (cmake/gen_nfd.py).
extern const u32 kNfdDecompTrie[];
extern const u16 kNfdDecompPool[];
extern const u32 kNfdClassTrie[];

namespace {

// Tries keyed by bits 15..20, 10..14, 5..9 and 0..4; each node is a presence mask
// followed by its present children (or leaves) in key order.
bool TrieFind(const u32* trie, u32 cp, u32* leaf) {
    static constexpr u32 kShift[4] = {15, 10, 5, 0};
    if (cp >= 0x100000) return false;
    u32 node = 0;
    for (u32 level = 0; level < 4; ++level) {
        const u32 key = (cp >> kShift[level]) & 0x1F;
        const u32 mask = trie[node];
        if (!(mask & (1u << key))) return false;
        const u32 v = trie[node + 1 + std::popcount(mask & ((1u << key) - 1))];
        if (level == 3) {
            *leaf = v;
            return true;
        }
        node = v;
    }
    return false;
}

struct Mark {
    u32 cp;
    u32 cls;
};

class CDecomposer {
public:
    explicit CDecomposer(LTextSink& out) : fOut(out) {}

    bool Put(u32 c) {
        if (c < 0xC0 || c >= 0x100000) return Plain(c);
        if (c >= 0xAC00 && c <= 0xD7A3) {
            const u32 s = c - 0xAC00;
            if (!Plain(0x1100 + s / 588) || !Plain(0x1161 + (s % 588) / 28)) return false;
            return s % 28 == 0 || Plain(0x11A7 + s % 28);
        }
        u32 leaf;
        if (TrieFind(kNfdDecompTrie, c, &leaf)) {
            const u16* u = kNfdDecompPool + (leaf >> 8);
            const u16* end = u + (leaf & 0xFF);
            while (u < end) {
                u32 d = *u++;
                if (d >= 0xD800 && d <= 0xDBFF && u < end)
                    d = 0x10000 + ((d - 0xD800) << 10) + (*u++ - 0xDC00);
                if (!Put(d)) return false;
            }
            return true;
        }
        if (TrieFind(kNfdClassTrie, c, &leaf)) {
            const Mark m{c, leaf};
            return fMarks.InsertAt(fMarks.Count(), &m);
        }
        return Plain(c);
    }

    // Writes the pending marks in canonical order: stable by class.
    bool Flush() {
        Mark* m = fMarks.DataAs<Mark>();
        const u32 n = fMarks.Count();
        if (n > 1)
            std::stable_sort(m, m + n, [](const Mark& x, const Mark& y) { return x.cls < y.cls; });
        for (u32 i = 0; i < n; ++i) Utf8Encode(fOut, m[i].cp);
        fMarks.SetAll(nullptr, 0);
        return true;
    }

private:
    bool Plain(u32 c) {
        Flush();
        return Utf8Encode(fOut, c);
    }

    LTextSink& fOut;
    LArray fMarks{sizeof(Mark)};
};

}  // namespace

bool DecomposeToNfd(const char* utf8, LTextSink& out) {
    LMemReader reader(utf8, StrLen(utf8));
    CDecomposer d(out);
    for (;;) {
        u32 c;
        const i32 r = ReadUtf8Char(reader, &c);
        if (r == kUtf8Malformed) return false;
        if (r == kUtf8End) return d.Flush();
        // Only an allocation failure stops here.
        if (!d.Put(c)) return false;
    }
}

// ---- Canonical composition

bool NormalizeNFC(const char* utf8, LTextSink& out) {
    const u32 n = StrLen(utf8);
    LDataBuf src;
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status) || !Utf8ToUtf16Buf(utf8, n, src)) {
        out.Write(utf8 ? utf8 : "", n);
        return true;
    }
    const UChar* s = reinterpret_cast<const UChar*>(src.Data());
    const int32_t len = int32_t(src.Capacity() / 2);
    if (len == 0) return true;
    int32_t outLen = unorm2_normalize(nfc, s, len, nullptr, 0, &status);
    LDataBuf dst;
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        if (u64(outLen) * 2 > 0xFFFFFFFFu || !dst.Resize(u32(outLen) * 2, false))
            status = U_MEMORY_ALLOCATION_ERROR;
        else
            outLen = unorm2_normalize(nfc, s, len, reinterpret_cast<UChar*>(dst.Data()), outLen,
                                      &status);
    }
    LDataBuf utf;
    if (U_FAILURE(status) ||
        !Utf16ToUtf8Buf(reinterpret_cast<const u16*>(dst.Data()), u32(outLen), utf)) {
        out.Write(utf8, n);
        return true;
    }
    out.Write(utf.Data(), utf.Capacity());
    return true;
}

bool FoldCaseSimple(const char* utf8, LTextSink& out) {
    const char* t = utf8 ? utf8 : "";
    LMemReader reader(t, StrLen(t));
    for (;;) {
        u32 c = 0;
        const i32 r = ReadUtf8Char(reader, &c);
        if (r == kUtf8End) return true;
        if (r != kUtf8Ok) return false;
        Utf8Encode(out, u32(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT)));
    }
}
