#include "base/TextFormat.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The C locale's classes, fixed so that parsing never follows LC_CTYPE.
bool IsSpaceC(u8 c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigitC(u8 c) {
    return c >= '0' && c <= '9';
}
bool IsBlankC(u8 c) {
    return c == ' ' || c == '\t';
}

// Writes the decimal digits of v into the end of buf; returns the first digit.
char* UnsignedDigits(char* end, u64 v) {
    char* p = end;
    do {
        *--p = char('0' + v % 10);
        v /= 10;
    } while (v);
    return p;
}

// Skips white space and one sign; answers whether the sign was '-'.
const char* SkipSpaceAndSign(const char* p, bool* negative) {
    while (IsSpaceC(u8(*p))) ++p;
    *negative = false;
    if (*p == '+' || *p == '-') {
        *negative = *p == '-';
        ++p;
    }
    return p;
}

u32 PackCode(const char* text, u32 empty) {
    if (StrIsEmpty(text)) return empty;
    u32 code = 0;
    int i = 0;
    for (; i < 4 && text[i]; ++i) code = (code << 8) | u8(text[i]);
    for (; i < 4; ++i) code = (code << 8) | u8(' ');
    return code;
}

}  // namespace

void AppendNum(long value, LTextSink& sink) {
    char buf[24];
    char* end = buf + sizeof buf;
    const u64 mag = value < 0 ? 0 - u64(value) : u64(value);
    char* p = UnsignedDigits(end, mag);
    if (value < 0) *--p = '-';
    sink.Write(p, u32(end - p));
}

LString& NumToStr(LString* out, long value) {
    LTextStream t;
    AppendNum(value, t);
    *out = t.ToString();
    return *out;
}

LString& ULongToStr(LString* out, u64 value) {
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = UnsignedDigits(end, value);
    *out = LString(p, u32(end - p));
    return *out;
}

void HexToSink(LTextSink& sink, u64 value, bool prefix, bool upperCase, u32 minDigits) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    char buf[16];
    char* end = buf + sizeof buf;
    char* p = end;
    do {
        *--p = digits[value & 15];
        value >>= 4;
    } while (value);
    if (prefix) sink.Write("0x", 2);
    u32 n = u32(end - p);
    // Zero padding in bounded chunks, so a large minDigits cannot blow the stack.
    static const char kZeros[32] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0',
                                    '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0',
                                    '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
    for (u32 pad = minDigits > n ? minDigits - n : 0; pad && !sink.Error();) {
        const u32 k = pad < sizeof kZeros ? pad : u32(sizeof kZeros);
        sink.Write(kZeros, k);
        pad -= k;
    }
    sink.Write(p, n);
}

LString& HexToStr(LString* out, u64 value, bool prefix, bool upperCase, u32 minDigits) {
    // Room for "0x" and all 16 digits even when padding is cut.
    char buf[64];
    const u32 room = sizeof buf - 1 - (prefix ? 2 : 0);
    LCharBufSink sink(buf, sizeof buf);
    HexToSink(sink, value, prefix, upperCase, minDigits < room ? minDigits : room);
    *out = LString(buf, sink.Length());
    return *out;
}

LString& FloatToStrFixed(LString* out, u32 decimals, double value) {
    if (decimals > kMaxFixedDecimals) decimals = kMaxFixedDecimals;
    // The largest double has 309 integer digits.
    char buf[1 + 309 + 1 + kMaxFixedDecimals + 8];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, int(decimals));
    *out = r.ec == std::errc() ? LString(buf, u32(r.ptr - buf)) : LString();
    return *out;
}

LString& FloatToStr(LString* out, u32 decimals, double value) {
    if (decimals > 15) decimals = 15;
    char buf[1 + 309 + 1 + 15 + 8];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, int(decimals));
    if (r.ec != std::errc()) {
        *out = LString();
        return *out;
    }
    u32 len = u32(r.ptr - buf);
    u32 cut = len;
    bool point = false;
    for (u32 i = 0; i < len; ++i) {
        if (buf[i] == '.') {
            point = true;
            cut = i;
        } else if (point && buf[i] >= '1' && buf[i] <= '9') {
            cut = i + 1;
        }
    }
    if (point) {
        len = cut;
        if (len == 2 && buf[0] == '-' && buf[1] == '0') {
            buf[0] = '0';
            len = 1;
        }
    }
    *out = LString(buf, len);
    return *out;
}

LString& FormatTemplate(LString* out, const char* templ, u32 count, const char* const* items) {
    if (!templ) {
        *out = LString();
        return *out;
    }
    LTextStream t;
    const char* run = templ;
    const char* p = templ;
    for (; *p; ++p) {
        if (*p != '%') continue;
        t.Write(run, u32(p - run));
        const char c = p[1];
        if (!c) {
            run = p + 1;
            break;
        }
        ++p;
        run = p + 1;
        if (c == '%') {
            t.Write("%", 1);
            continue;
        }
        const u32 index = u32(u8(c)) - u32('0');
        if (index < count && items) t.Put(items[index]);
    }
    t.Write(run, u32(p - run));
    *out = t.ToString();
    return *out;
}

long StrToLong(const char* text) {
    if (!text) return 0;
    bool neg;
    const char* p = SkipSpaceAndSign(text, &neg);
    // Magnitude capped just past the largest negative value, then saturated.
    const u64 cap = u64(LONG_MAX) + 1;
    u64 mag = 0;
    for (; IsDigitC(u8(*p)); ++p) {
        const u64 d = u64(*p - '0');
        mag = mag > (cap - d) / 10 ? cap + 1 : mag * 10 + d;
    }
    if (neg) return mag >= cap ? LONG_MIN : -long(mag);
    return mag > u64(LONG_MAX) ? LONG_MAX : long(mag);
}

u64 StrToULongLong(const char* text) {
    if (!text) return 0;
    bool neg;
    const char* p = SkipSpaceAndSign(text, &neg);
    u64 v = 0;
    bool over = false;
    for (; IsDigitC(u8(*p)); ++p) {
        const u64 d = u64(*p - '0');
        if (v > (UINT64_MAX - d) / 10)
            over = true;
        else
            v = v * 10 + d;
    }
    if (neg) return 0;
    return over ? UINT64_MAX : v;
}

double StrToDouble(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (IsSpaceC(u8(*p))) ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') {
        neg = *p == '-';
        ++p;
    }
    // from_chars takes no '+' and no second sign: a sign here means no number.
    if (*p == '+' || *p == '-') return 0;
    const char* end = p + std::strlen(p);
    double v = 0;
    const auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Tell overflow from underflow by the decimal magnitude of the text.
        long mag = 0;
        const char* q = p;
        while (*q == '0') ++q;
        if (IsDigitC(u8(*q))) {
            while (IsDigitC(u8(*q))) ++mag, ++q;
            if (*q == '.') ++q;
        } else if (*q == '.') {
            ++q;
            while (*q == '0') --mag, ++q;
        }
        while (IsDigitC(u8(*q)) || *q == '.') ++q;
        if (*q == 'e' || *q == 'E') {
            const long e = StrToLong(q + 1);
            mag += e > 100000 ? 100000 : e < -100000 ? -100000 : e;
        }
        v = mag > 0 ? HUGE_VAL : 0.0;
    } else if (r.ec != std::errc()) {
        v = 0;
    }
    return neg ? -v : v;
}

LString& OSTypeToString(LString* out, u32 code) {
    char buf[4];
    u32 n = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const u8 c = u8(code >> shift);
        if (!c) break;
        if (n == 0 && IsBlankC(c)) continue;
        buf[n++] = char(c);
    }
    while (n && IsBlankC(u8(buf[n - 1]))) --n;
    *out = LString(buf, n);
    return *out;
}

u32 StrToOSType(const char* text) {
    return PackCode(text, 0);
}

u32 StrToFourCharCode(const char* text) {
    return PackCode(text, FourCC("    "));
}

LString& Ipv4ToString(LString* out, u32 address) {
    char buf[16];
    char* end = buf + sizeof buf;
    char* p = end;
    for (int i = 0; i < 4; ++i) {
        p = UnsignedDigits(p, (address >> (8 * i)) & 0xFF);
        if (i < 3) *--p = '.';
    }
    *out = LString(p, u32(end - p));
    return *out;
}

bool Ipv4FromString(const char* text, u32* address) {
    *address = 0;
    if (!text) return false;
    const char* p = text;
    u32 value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*p != '.') return false;
            ++p;
        }
        if (!IsDigitC(u8(*p))) return false;
        // No leading zeros: "010" must not be read as eight by anyone.
        if (*p == '0' && IsDigitC(u8(p[1]))) return false;
        u32 n = 0;
        int digits = 0;
        for (; IsDigitC(u8(*p)); ++p) {
            if (++digits > 3) return false;
            n = n * 10 + u32(*p - '0');
        }
        if (n > 255) return false;
        value = (value << 8) | n;
    }
    if (*p) return false;
    *address = value;
    return true;
}
