#pragma once
// The small time library: broken-down Gregorian dates, century seconds, the
// platform's absolute time, ISO-8601 and duration text, CSV fields of device
// replies, video timecode, time-axis steps and a byte-pattern matcher.
//
// Everything that takes fields from outside (device text, files, callers'
// structures) range-checks them before using them as table indices.

#include "base/LArray.h"
#include "base/LString.h"
#include "base/LTextSink.h"
#include "base/Types.h"

class LCharReader;

// ---------------------------------------------------------------------------
// Broken-down date-time (no time zone). Weekday 0 = Sunday .. 6 = Saturday.

struct CalDateTime {
    u16 year = 2000;
    u8 month = 1;    // 1..12
    u8 day = 1;      // 1..31
    u8 weekday = 6;  // 0 = Sunday
    u8 hour = 0;     // 0..23
    u8 minute = 0;   // 0..59
    u8 second = 0;   // 0..59
};
static_assert(sizeof(CalDateTime) == 8);

// Month 0 counts as January and months past 12 as December.
u8 DaysInMonth(const CalDateTime& date);
u8 DaysInMonth(u32 year, u32 month);
bool IsLeapYear(u32 year);
// Day of the week (0 = Sunday) of a valid or clamped date.
u8 WeekdayOf(u32 year, u32 month, u32 day);

// Clamps every field into its range and sets the weekday.
void NormaliseDateTime(CalDateTime& date);
// True when month, day, hour, minute and second are all in range.
bool IsValidDateTime(const CalDateTime& date);

// ---------------------------------------------------------------------------
// Seconds within a century (from 00:00:00 on 1 January of year century x 100).

struct CenturyTime {
    u32 seconds = 0;
    u8 century = 0;
};

constexpr u32 kShortCenturySeconds = 36524u * 86400u;  // century not divisible by 4
constexpr u32 kLongCenturySeconds = 36525u * 86400u;   // century divisible by 4
constexpr u32 kMaxCalendarYear = 25599;                // the last year a u8 century holds

u32 CenturyLengthSeconds(u32 century);
// Comparison of two instants (negative, 0, positive).
int CenturyCompare(const CenturyTime& a, const CenturyTime& b);

// False (and out from the clamped fields) when a field is out of range or the
// year is past kMaxCalendarYear.
bool DateToCentury(CenturyTime& out, const CalDateTime& date);
// False (and out clamped) when the seconds reach past the century's length.
bool CenturyToDate(const CenturyTime& time, CalDateTime& out);
// False when the result would lie before year 0 or past century 255; the time
// is then left at the nearest end.
bool CenturyAddSeconds(CenturyTime& time, i32 delta);

// ---------------------------------------------------------------------------
// Absolute time: double seconds since 2001-01-01 00:00:00 UTC.

using AbsTime = double;
// Unix time of the absolute-time reference date.
constexpr double kAbsTimeUnixOffset = 978307200.0;

void GetAbsTimeNow(AbsTime* out);
AbsTime GetAbsTimeNow();
// a - b in whole seconds, rounded to nearest (saturating).
i32 AbsTimeDiffSeconds(AbsTime a, AbsTime b);
// The system time zone's offset from GMT at the instant t, in seconds.
i32 LocalZoneOffsetAt(AbsTime t);
// t plus the system zone's offset at t.
AbsTime AbsTimeToLocal(AbsTime t);
// The instant whose local time is t. A local time that a daylight-saving jump
// skips is read with the offset in force before the jump; a repeated one gives
// the later instant.
AbsTime AbsTimeFromLocal(AbsTime t);

// Gregorian fields of an absolute time, without a time zone (GMT).
// dayOfWeek is 1 = Monday .. 7 = Sunday.
struct DateTime {
    i32 year = 2001;
    u8 month = 1;
    u8 day = 1;
    u8 hour = 0;
    u8 minute = 0;
    double second = 0;
    u8 dayOfWeek = 1;

    static void FromAbsolute(DateTime& date, AbsTime t);
    // Fields outside their ranges carry over (month 13 is January of the next year).
    static void FromFields(DateTime& date, i32 year, i32 month, i32 day, i32 hour, i32 minute,
                           double second);
    static AbsTime ToAbsolute(const DateTime& date);

    // YYYY-MM-DD, hh:mm:ss (whole seconds), and date "T" time.
    static void FormatDate(const DateTime& date, LTextSink& sink);
    static void FormatTime(const DateTime& date, LTextSink& sink);
    static void FormatIso(const DateTime& date, LTextSink& sink);

    // Stepping back on the broken-down form; each normalises afterwards.
    // Year 0 has nothing before it: stepping back from it changes nothing.
    static void DecYear(CalDateTime& date);
    static void DecMonth(CalDateTime& date);
    static void DecDay(CalDateTime& date);
    static void DecHour(CalDateTime& date);
    static void DecMinute(CalDateTime& date);
    static void DecSecond(CalDateTime& date);
    static void EndOfMonth(CalDateTime& date);
    static void EndOfDay(CalDateTime& date);
    static void EndOfHour(CalDateTime& date);
    static void EndOfMinute(CalDateTime& date);
};

// Days from 1970-01-01 to the given calendar day (proleptic Gregorian).
i64 DaysFromCivil(i64 year, i32 month, i32 day);

// ---------------------------------------------------------------------------
// Text.

// Reads an ISO-8601 date-time ("2024-05-06T07:08:09+09:00", "20240506T0708Z",
// "2024-05", "2024") and converts it to UTC. Fields the text does not give keep
// the caller's values (clamped into range). A zone missing from the text means
// defaultOffset seconds east of GMT. False, with the date-time untouched, when
// there is no four-digit year, a field is malformed or out of range.
bool ParseIsoDateTime(CalDateTime& out, const char* text, i32 defaultOffset);

// Reads one comma-separated field into the sink (quotes, doubled quotes, CR/LF).
// True when the field ended at a comma, or ended the line having received text.
bool CsvReadField(LCharReader& reader, LTextSink& sink);

// "-" for negative values, hh:mm of the whole value, and with decimals >= 0
// ":ss" and that many decimals (at most 9).
LString& FormatDuration(LString* out, i32 decimals, double seconds);

// A step for labelling a time axis where labels lie at least `seconds` apart.
double NiceTimeStep(double seconds);
double FloorToMultiple(double value, double step);
double CeilToMultiple(double value, double step);
// -1: no seconds shown, 0: whole seconds, else decimals of the step.
i32 TimeStepDecimals(double step);

// ---------------------------------------------------------------------------
// Video timecode. Rate codes 1, 24, 25 and 100 count that many frames a second,
// 29 is 29.97 drop-frame, every other value counts 30.

struct Timecode {
    u32 rate = 30;
    u8 hours = 0;
    u8 minutes = 0;
    u8 seconds = 0;
    u8 frames = 0;

    static constexpr u32 kDropFrame = 29;
    // Frames a second as counted in the labels (29.97 drop-frame counts 30).
    static u32 CountedRate(u32 rate);

    void Init(u32 rateCode);
    void Set(u8 h, u8 m, u8 s, u8 f);
    // Changes the rate keeping the time (through milliseconds).
    void SetFps(u32 rateCode);
    u32 ToUnits(u32 unitsPerSecond) const;
    // Rounds by half a frame and wraps at 24 hours.
    void FromUnits(u32 value, u32 unitsPerSecond);
    void Format(LTextSink& sink) const;
    // "[-]h:m:s:f" (fields may be fractional or empty). Answers -1 for a
    // leading '-', else 1; the timecode holds the absolute value.
    i32 Parse(const char* text);
};

// ---------------------------------------------------------------------------
// Knuth-Morris-Pratt search for a byte pattern in a stream fed byte by byte.

class KmpMatcher {
public:
    explicit KmpMatcher(const LString& pattern);
    // True once the whole pattern has been seen (and on every later call).
    bool Feed(u8 byte);
    u32 State() const { return fState; }

private:
    LString fPattern;
    u32 fState = 0;
    LArray fFailure{sizeof(i32)};
    bool fReady = false;
};
