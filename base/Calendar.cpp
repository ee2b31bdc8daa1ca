// Gregorian arithmetic, century seconds and the platform's absolute time.

#include "base/Calendar.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

const u8 kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// Days before each month in a year of 365 days.
const u16 kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

u32 ClampMonth(u32 month) {
    return month < 1 ? 1 : month > 12 ? 12 : month;
}

i64 FloorDiv(i64 a, i64 b) {
    i64 q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days from 1970-01-01 back to the calendar fields.
void CivilFromDays(i64 z, i64* year, u32* month, u32* day) {
    z += 719468;
    const i64 era = FloorDiv(z, 146097);
    const i64 doe = z - era * 146097;
    const i64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const i64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const i64 mp = (5 * doy + 2) / 153;
    *day = u32(doy - (153 * mp + 2) / 5 + 1);
    *month = u32(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

// Evaluated at compile time for the reference date, so that absolute times are
// right even in code that runs during static start-up.
constexpr i64 DaysFromCivilConst(i64 year, i32 month, i32 day) {
    const i64 y = year - (month <= 2 ? 1 : 0);
    const i64 era = (y >= 0 ? y : y - 399) / 400;
    const i64 yoe = y - era * 400;
    const i64 doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const i64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr i64 kRefDays = DaysFromCivilConst(2001, 1, 1);

// Keeps absolute times within a range where every field fits (about +-300,000 years).
double SaneAbs(double t) {
    if (!std::isfinite(t)) return 0;
    constexpr double kLimit = 1e13;
    return t < -kLimit ? -kLimit : t > kLimit ? kLimit : t;
}

void Put2(LTextSink& sink, u32 v) {
    char buf[4];
    buf[0] = char('0' + (v / 10) % 10);
    buf[1] = char('0' + v % 10);
    sink.Write(buf, 2);
}

}  // namespace

i64 DaysFromCivil(i64 year, i32 month, i32 day) {
    return DaysFromCivilConst(year, month, day);
}

// ---------------------------------------------------------------------------
// Broken-down dates

bool IsLeapYear(u32 year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

u8 DaysInMonth(u32 year, u32 month) {
    month = ClampMonth(month);
    if (month == 2 && IsLeapYear(year)) return 29;
    return kMonthDays[month - 1];
}

u8 DaysInMonth(const CalDateTime& date) {
    return DaysInMonth(date.year, date.month);
}

u8 WeekdayOf(u32 year, u32 month, u32 day) {
    month = ClampMonth(month);
    // 400 years are a whole number of weeks; the shift keeps y positive for year 0.
    i64 y = i64(year) + 400;
    i64 m = month;
    if (month <= 2) {
        y -= 1;
        m += 12;
    }
    return u8((i64(day) + y + y / 4 - y / 100 + y / 400 + (13 * m + 8) / 5) % 7);
}

void NormaliseDateTime(CalDateTime& date) {
    date.month = u8(ClampMonth(date.month));
    if (date.hour > 23) date.hour = 23;
    if (date.minute > 59) date.minute = 59;
    if (date.second > 59) date.second = 59;
    const u8 dim = DaysInMonth(date);
    if (date.day < 1)
        date.day = 1;
    else if (date.day > dim)
        date.day = dim;
    date.weekday = WeekdayOf(date.year, date.month, date.day);
}

bool IsValidDateTime(const CalDateTime& date) {
    return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= DaysInMonth(date) &&
           date.hour <= 23 && date.minute <= 59 && date.second <= 59;
}

// ---------------------------------------------------------------------------
// Century seconds

u32 CenturyLengthSeconds(u32 century) {
    return century % 4 == 0 ? kLongCenturySeconds : kShortCenturySeconds;
}

int CenturyCompare(const CenturyTime& a, const CenturyTime& b) {
    if (a.century != b.century) return a.century < b.century ? -1 : 1;
    if (a.seconds != b.seconds) return a.seconds < b.seconds ? -1 : 1;
    return 0;
}

bool DateToCentury(CenturyTime& out, const CalDateTime& date) {
    CalDateTime d = date;
    bool ok = IsValidDateTime(d) && d.year <= kMaxCalendarYear;
    if (!ok) {
        if (d.year > kMaxCalendarYear) d.year = kMaxCalendarYear;
        NormaliseDateTime(d);
    }
    const u32 century = d.year / 100;
    const u32 y = d.year % 100;
    i64 days = i64(y % 4) * 365 + i64(y / 4) * 1461;
    if (y % 4 != 0 || d.month > 2) days += 1;
    if (century % 4 != 0 && (y != 0 || d.month > 2)) days -= 1;
    days += kDaysBefore[d.month - 1];
    const i64 secs = (((days + d.day) * 24 + d.hour) * 60 + d.minute) * 60 + d.second - 86400;
    out.century = u8(century);
    out.seconds = u32(secs);
    return ok;
}

bool CenturyToDate(const CenturyTime& time, CalDateTime& out) {
    const u32 length = CenturyLengthSeconds(time.century);
    const bool ok = time.seconds < length;
    const u32 secs = ok ? time.seconds : length - 1;
    u32 days = secs / 86400;
    if (time.century % 4 != 0 && secs > 5097599)
        days += 1;  // the short century has no 29 February in year 00
    const u32 q = days / 1461;
    u32 r = days % 1461;
    u32 year = u32(time.century) * 100 + 4 * q;
    u32 month = 1;
    u32 day = 1;
    if (r == 59) {
        month = 2;
        day = 29;
    } else {
        if (r >= 60) r -= 1;
        year += r / 365;
        u32 doy = r % 365;
        month = 12;
        while (month > 1 && kDaysBefore[month - 1] > doy) --month;
        day = doy - kDaysBefore[month - 1] + 1;
    }
    const u32 inDay = secs % 86400;
    out.year = u16(year);
    out.month = u8(month);
    out.day = u8(day);
    out.hour = u8(inDay / 3600);
    out.minute = u8(inDay / 60 % 60);
    out.second = u8(inDay % 60);
    NormaliseDateTime(out);
    return ok;
}

bool CenturyAddSeconds(CenturyTime& time, i32 delta) {
    i64 secs = i64(time.seconds) + delta;
    i32 century = time.century;
    while (secs < 0) {
        if (century == 0) {
            time.century = 0;
            time.seconds = 0;
            return false;
        }
        --century;
        secs += CenturyLengthSeconds(u32(century));
    }
    while (secs >= i64(CenturyLengthSeconds(u32(century)))) {
        if (century == 255) {
            time.century = 255;
            time.seconds = CenturyLengthSeconds(255) - 1;
            return false;
        }
        secs -= CenturyLengthSeconds(u32(century));
        ++century;
    }
    time.century = u8(century);
    time.seconds = u32(secs);
    return true;
}

// ---------------------------------------------------------------------------
// Absolute time

void GetAbsTimeNow(AbsTime* out) {
    *out = GetAbsTimeNow();
}

AbsTime GetAbsTimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) - kAbsTimeUnixOffset + double(ts.tv_nsec) * 1e-9;
}

i32 AbsTimeDiffSeconds(AbsTime a, AbsTime b) {
    const double d = std::round(a - b);
    if (!(d == d)) return 0;
    if (d >= 2147483647.0) return 2147483647;
    if (d <= -2147483648.0) return -2147483647 - 1;
    return i32(d);
}

i32 LocalZoneOffsetAt(AbsTime t) {
    const time_t unix = time_t(std::floor(SaneAbs(t) + kAbsTimeUnixOffset));
    tm local{};
    if (!localtime_r(&unix, &local)) return 0;
    return i32(local.tm_gmtoff);
}

AbsTime AbsTimeToLocal(AbsTime t) {
    return t + LocalZoneOffsetAt(t);
}

AbsTime AbsTimeFromLocal(AbsTime t) {
    // The offsets in force a day either side cover any single daylight-saving
    // change; an offset fits when the instant it gives really has that offset.
    const i32 candidates[3] = {LocalZoneOffsetAt(t - 86400), LocalZoneOffsetAt(t),
                               LocalZoneOffsetAt(t + 86400)};
    bool found = false;
    i32 best = 0;
    i32 smallest = candidates[0];
    for (i32 o : candidates) {
        if (o < smallest) smallest = o;
        if (LocalZoneOffsetAt(t - o) == o && (!found || o < best)) {
            best = o;
            found = true;
        }
    }
    // Skipped local times take the offset from before the jump (the smaller one).
    return t - (found ? best : smallest);
}

// ---------------------------------------------------------------------------
// DateTime

void DateTime::FromAbsolute(DateTime& date, AbsTime t) {
    t = SaneAbs(t);
    i64 days = i64(std::floor(t / 86400.0));
    double inDay = t - double(days) * 86400.0;
    if (inDay < 0) {
        inDay += 86400.0;
        --days;
    } else if (inDay >= 86400.0) {
        inDay -= 86400.0;
        ++days;
    }
    days += kRefDays;
    i64 year;
    u32 month, day;
    CivilFromDays(days, &year, &month, &day);
    date.year = i32(year);
    date.month = u8(month);
    date.day = u8(day);
    u32 whole = u32(inDay);
    if (whole > 86399) whole = 86399;
    date.hour = u8(whole / 3600);
    date.minute = u8(whole / 60 % 60);
    date.second = inDay - double(whole - whole % 60);
    const i64 dow = ((days % 7) + 7 + 3) % 7;  // 1970-01-01 was a Thursday
    date.dayOfWeek = u8(dow + 1);
}

namespace {

double FieldsToAbs(i64 year, i64 month, i64 day, i64 hour, i64 minute, double second) {
    const i64 months = year * 12 + (month - 1);
    const i64 y = FloorDiv(months, 12);
    const i32 m = i32(months - y * 12 + 1);
    const i64 days = DaysFromCivil(y, m, 1) + (day - 1) - kRefDays;
    return double(days * 86400 + hour * 3600 + minute * 60) + second;
}

}  // namespace

void DateTime::FromFields(DateTime& date, i32 year, i32 month, i32 day, i32 hour, i32 minute,
                          double second) {
    FromAbsolute(date,
                 FieldsToAbs(year, month, day, hour, minute, std::isfinite(second) ? second : 0));
}

AbsTime DateTime::ToAbsolute(const DateTime& date) {
    return FieldsToAbs(date.year, date.month, date.day, date.hour, date.minute,
                       std::isfinite(date.second) ? date.second : 0);
}

void DateTime::FormatDate(const DateTime& date, LTextSink& sink) {
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", int(date.year),
                                unsigned(date.month), unsigned(date.day));
    sink.Write(buf, u32(n));
}

void DateTime::FormatTime(const DateTime& date, LTextSink& sink) {
    double s = std::isfinite(date.second) ? std::floor(date.second) : 0;
    s = s < 0 ? 0 : s > 99 ? 99 : s;
    Put2(sink, date.hour);
    sink.PutChar(':');
    Put2(sink, date.minute);
    sink.PutChar(':');
    Put2(sink, u32(s));
}

void DateTime::FormatIso(const DateTime& date, LTextSink& sink) {
    FormatDate(date, sink);
    sink.PutChar('T');
    FormatTime(date, sink);
}

namespace {

bool AtYearZeroStart(const CalDateTime& d, int depth) {
    // depth: how many of month, day, hour, minute, second must be at their minimum
    const bool parts[5] = {d.month == 1, d.day == 1, d.hour == 0, d.minute == 0, d.second == 0};
    if (d.year != 0) return false;
    for (int i = 0; i < depth; ++i)
        if (!parts[i]) return false;
    return true;
}

// The steps work on valid fields and leave normalising to the caller.
void StepMonth(CalDateTime& d) {
    if (d.month == 1) {
        --d.year;
        d.month = 12;
    } else {
        --d.month;
    }
}

void StepDay(CalDateTime& d) {
    if (d.day == 1) {
        d.day = 31;
        StepMonth(d);
    } else {
        --d.day;
    }
}

void StepHour(CalDateTime& d) {
    if (d.hour == 0) {
        d.hour = 23;
        StepDay(d);
    } else {
        --d.hour;
    }
}

void StepMinute(CalDateTime& d) {
    if (d.minute == 0) {
        d.minute = 59;
        StepHour(d);
    } else {
        --d.minute;
    }
}

void StepSecond(CalDateTime& d) {
    if (d.second == 0) {
        d.second = 59;
        StepMinute(d);
    } else {
        --d.second;
    }
}

// Year 0 has nothing before it: stepping back from its first unit changes nothing.
void StepBack(CalDateTime& d, int depth, void (*step)(CalDateTime&)) {
    NormaliseDateTime(d);
    if (AtYearZeroStart(d, depth)) return;
    step(d);
    NormaliseDateTime(d);
}

}  // namespace

void DateTime::DecYear(CalDateTime& date) {
    StepBack(date, 0, [](CalDateTime& d) { --d.year; });
}
void DateTime::DecMonth(CalDateTime& date) {
    StepBack(date, 1, StepMonth);
}
void DateTime::DecDay(CalDateTime& date) {
    StepBack(date, 2, StepDay);
}
void DateTime::DecHour(CalDateTime& date) {
    StepBack(date, 3, StepHour);
}
void DateTime::DecMinute(CalDateTime& date) {
    StepBack(date, 4, StepMinute);
}
void DateTime::DecSecond(CalDateTime& date) {
    StepBack(date, 5, StepSecond);
}

void DateTime::EndOfMonth(CalDateTime& date) {
    NormaliseDateTime(date);
    date.day = DaysInMonth(date);
    EndOfDay(date);
}

void DateTime::EndOfDay(CalDateTime& date) {
    date.hour = 23;
    EndOfHour(date);
}

void DateTime::EndOfHour(CalDateTime& date) {
    date.minute = 59;
    EndOfMinute(date);
}

void DateTime::EndOfMinute(CalDateTime& date) {
    date.second = 59;
    NormaliseDateTime(date);
}
