// ISO-8601 date-time text, duration text, time-axis steps and the byte-pattern matcher.

#include "base/Calendar.h"
#include "base/CharReader.h"

#include <cmath>
#include <cstdio>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly n digits; false (nothing consumed) when fewer come.
bool ReadDigits(const char*& p, int n, u32* out) {
    u32 v = 0;
    for (int i = 0; i < n; ++i) {
        if (!IsDigit(p[i])) return false;
        v = v * 10 + u32(p[i] - '0');
    }
    p += n;
    *out = v;
    return true;
}

// Skips to the next digit (or the end); answers the last character skipped, 0 for none.
char SkipToDigit(const char*& p) {
    char last = 0;
    while (*p && !IsDigit(*p)) last = *p++;
    return last;
}

bool IsZoneChar(char c) {
    return c == '+' || c == '-' || c == 'Z' || c == 'z';
}

// Skips separators inside the time up to a digit, a zone character or the end.
void SkipTimeSeparators(const char*& p) {
    while (*p && !IsDigit(*p) && !IsZoneChar(*p)) ++p;
}

// A decimal fraction ('.' or ',' and at least one digit) as numerator / denominator.
// Answers false when there is no fraction here; *bad when it is malformed.
bool ReadFraction(const char*& p, u64* num, u64* den, bool* bad) {
    if (*p != '.' && *p != ',') return false;
    if (!IsDigit(p[1])) {
        *bad = true;
        return false;
    }
    ++p;
    u64 n = 0, d = 1;
    for (; IsDigit(*p); ++p) {
        if (d < 1000000000ull) {  // further digits change nothing at whole seconds
            n = n * 10 + u64(*p - '0');
            d *= 10;
        }
    }
    *num = n;
    *den = d;
    return true;
}

struct IsoFields {
    bool hasMonth = false, hasDay = false, hasHour = false, hasMinute = false, hasSecond = false;
    u32 year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool hasZone = false;
    i32 zone = 0;
};

// The zone at p: "Z", or a sign, two digits of hours and optionally, after one
// separator, two digits of minutes. False when malformed or out of range.
bool ReadZone(const char*& p, IsoFields& f) {
    SkipTimeSeparators(p);
    if (*p == 'Z' || *p == 'z') {
        f.hasZone = true;
        f.zone = 0;
        return true;
    }
    if (*p != '+' && *p != '-') return true;  // no zone: the default applies
    const i32 sign = *p == '-' ? -1 : 1;
    ++p;
    u32 zh = 0, zm = 0;
    if (!ReadDigits(p, 2, &zh) || zh > 23) return false;
    if (*p && !IsDigit(*p) && IsDigit(p[1])) ++p;
    if (IsDigit(*p) && (!ReadDigits(p, 2, &zm) || zm > 59)) return false;
    f.hasZone = true;
    f.zone = sign * i32(zh * 3600 + zm * 60);
    return true;
}

bool ReadIsoTime(const char*& p, IsoFields& f) {
    if (!ReadDigits(p, 2, &f.hour)) return false;
    f.hasHour = true;
    u64 num = 0, den = 1;
    bool bad = false;
    if (ReadFraction(p, &num, &den, &bad)) {
        const u64 secs = num * 3600 / den;
        f.minute = u32(secs / 60);
        f.second = u32(secs % 60);
        f.hasMinute = f.hasSecond = true;
        return ReadZone(p, f);
    }
    if (bad) return false;
    SkipTimeSeparators(p);
    if (!IsDigit(*p)) return ReadZone(p, f);
    if (!ReadDigits(p, 2, &f.minute)) return false;
    f.hasMinute = true;
    if (ReadFraction(p, &num, &den, &bad)) {
        f.second = u32(num * 60 / den);
        f.hasSecond = true;
        return ReadZone(p, f);
    }
    if (bad) return false;
    SkipTimeSeparators(p);
    if (!IsDigit(*p)) return ReadZone(p, f);
    if (!ReadDigits(p, 2, &f.second)) return false;
    f.hasSecond = true;
    if (ReadFraction(p, &num, &den, &bad)) {
        // fractions of a second are dropped
    } else if (bad) {
        return false;
    }
    return ReadZone(p, f);
}

// Fills f from the text; false when the text is malformed.
bool ReadIso(const char* p, IsoFields& f) {
    SkipToDigit(p);
    if (!ReadDigits(p, 4, &f.year)) return false;
    char sep = SkipToDigit(p);
    if (!*p) return true;
    if (sep != 'T' && sep != 't') {
        if (!ReadDigits(p, 2, &f.month)) return false;
        f.hasMonth = true;
        sep = SkipToDigit(p);
        if (!*p) return true;
        if (sep != 'T' && sep != 't') {
            if (!ReadDigits(p, 2, &f.day)) return false;
            f.hasDay = true;
            sep = SkipToDigit(p);
            if (!*p || (sep != 'T' && sep != 't')) return true;  // the date alone
        }
    }
    return ReadIsoTime(p, f);
}

}  // namespace

bool ParseIsoDateTime(CalDateTime& out, const char* text, i32 defaultOffset) {
    if (!text) return false;
    IsoFields f;
    if (!ReadIso(text, f)) return false;
    CalDateTime d = out;
    NormaliseDateTime(d);
    d.year = u16(f.year);
    if (f.hasMonth) {
        if (f.month < 1 || f.month > 12) return false;
        d.month = u8(f.month);
    }
    if (f.hasDay) {
        if (f.day < 1 || f.day > DaysInMonth(d.year, d.month)) return false;
        d.day = u8(f.day);
    }
    if (f.hasHour) {
        if (f.hour > 23) return false;
        d.hour = u8(f.hour);
    }
    if (f.hasMinute) {
        if (f.minute > 59) return false;
        d.minute = u8(f.minute);
    }
    if (f.hasSecond) {
        if (f.second > 60) return false;
        d.second = u8(f.second > 59 ? 59 : f.second);  // a leap second reads as :59
    }
    NormaliseDateTime(d);  // the caller's day may not fit the text's month

    i64 offset = f.hasZone ? f.zone : defaultOffset;
    if (offset < -2147483647) offset = -2147483647;
    CenturyTime ct;
    if (!DateToCentury(ct, d) || !CenturyAddSeconds(ct, i32(-offset))) return false;
    CenturyToDate(ct, d);
    out = d;
    return true;
}

// ---------------------------------------------------------------------------
// CSV fields

bool CsvReadField(LCharReader& reader, LTextSink& sink) {
    bool quoted = false;
    bool justClosed = false;
    bool received = false;
    u8 c;
    while (reader.GetChar(&c)) {
        if (c == '"') {
            if (quoted) {
                quoted = false;
                justClosed = true;
            } else {
                if (justClosed) {  // a doubled quote inside quotes stands for one
                    sink.PutChar('"');
                    received = true;
                }
                quoted = true;
                justClosed = false;
            }
            continue;
        }
        justClosed = false;
        if (!quoted) {
            if (c == ',') return true;
            if (c == '\r' || c == '\n') {
                reader.Unget();
                return received;
            }
        }
        sink.PutChar(char(c));
        received = true;
    }
    return received;
}

// ---------------------------------------------------------------------------
// Durations and time axes

LString& FormatDuration(LString* out, i32 decimals, double seconds) {
    if (!std::isfinite(seconds)) seconds = 0;
    const bool negative = seconds < 0;
    double a = std::fabs(seconds);
    if (a > 1e12) a = 1e12;
    const u32 d = decimals < 0 ? 0 : decimals > 9 ? 9 : u32(decimals);
    u64 scale = 1;
    for (u32 i = 0; i < d; ++i) scale *= 10;
    // Round once at the shown precision so that 59.96 s shows as 01:00.0, never 00:59:60.0.
    const u64 units = decimals < 0 ? u64(std::floor(a)) : u64(std::llround(a * double(scale)));
    const u64 whole = units / scale;
    const u64 frac = units % scale;
    char buf[64];
    int n =
        std::snprintf(buf, sizeof buf, "%s%02llu:%02llu", negative && units != 0 ? "-" : "",
                      (unsigned long long)(whole / 3600), (unsigned long long)(whole / 60 % 60));
    if (decimals >= 0) {
        n += std::snprintf(buf + n, sizeof buf - size_t(n), ":%02llu",
                           (unsigned long long)(whole % 60));
        if (d > 0)
            n += std::snprintf(buf + n, sizeof buf - size_t(n), ".%0*llu", int(d),
                               (unsigned long long)frac);
    }
    *out = LString(buf, u32(n));
    return *out;
}

double NiceTimeStep(double seconds) {
    static const double kSteps[] = {1,   2,   5,    10,   30,    60,    120,
                                    300, 600, 1800, 3600, 10800, 21600, 43200};
    if (!(seconds > 0)) return 1;
    if (seconds >= 1) {
        for (double s : kSteps)
            if (s >= seconds) return s;
        return 86400;
    }
    if (seconds < 1e-9) seconds = 1e-9;
    const double p = std::pow(10.0, -std::ceil(std::log10(seconds)));
    const double v = seconds * p;
    if (2 * v >= 1) return 1 / p;
    if (5 * v >= 1) return 1 / (2 * p);
    return 1 / (5 * p);
}

double FloorToMultiple(double value, double step) {
    if (!(step > 0) || !std::isfinite(step)) return value;
    return std::floor(value / step) * step;
}

double CeilToMultiple(double value, double step) {
    if (!(step > 0) || !std::isfinite(step)) return value;
    return std::ceil(value / step) * step;
}

i32 TimeStepDecimals(double step) {
    if (step >= 60) return -1;
    if (step >= 1 || !(step > 0)) return 0;
    const double d = -std::floor(std::log10(step));
    return d > 9 ? 9 : i32(d);
}

// ---------------------------------------------------------------------------
// KmpMatcher

KmpMatcher::KmpMatcher(const LString& pattern) : fPattern(pattern) {
    const u32 n = fPattern.Length();
    if (!fFailure.SetAll(nullptr, n + 1)) return;
    const u8* pat = reinterpret_cast<const u8*>(fPattern.CStr());
    i32* fail = fFailure.DataAs<i32>();
    fail[0] = -1;
    i32 k = -1;
    for (u32 i = 0; i < n; ++i) {
        while (k >= 0 && pat[k] != pat[i]) k = fail[k];
        ++k;
        fail[i + 1] = k;
    }
    fReady = true;
}

bool KmpMatcher::Feed(u8 byte) {
    const u32 n = fPattern.Length();
    if (!fReady) return false;
    if (fState >= n) return true;
    const u8* pat = reinterpret_cast<const u8*>(fPattern.CStr());
    const i32* fail = fFailure.DataAs<i32>();
    i32 k = i32(fState);
    while (k >= 0 && pat[k] != byte) k = fail[k];
    fState = u32(k + 1);
    return fState >= n;
}
