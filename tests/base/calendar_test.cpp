#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "base/CharReader.h"
#include "base/LTextSink.h"

namespace {

CalDateTime Cal(u16 y, u8 mo, u8 d, u8 h = 0, u8 mi = 0, u8 s = 0) {
    CalDateTime c;
    c.year = y;
    c.month = mo;
    c.day = d;
    c.hour = h;
    c.minute = mi;
    c.second = s;
    c.weekday = 0;
    return c;
}

std::string Str(const CalDateTime& c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u w%u", c.year, c.month, c.day,
                  c.hour, c.minute, c.second, c.weekday);
    return buf;
}

AbsTime Utc(int y, int mo, int d, int h, int mi, int s = 0) {
    DateTime dt;
    DateTime::FromFields(dt, y, mo, d, h, mi, s);
    return DateTime::ToAbsolute(dt);
}

std::string IsoOf(AbsTime t) {
    DateTime dt;
    DateTime::FromAbsolute(dt, t);
    LTextStream s;
    DateTime::FormatIso(dt, s);
    return s.CStr();
}

// Sets TZ for the lifetime of the object.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        fHad = old != nullptr;
        if (fHad) fOld = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (fHad)
            setenv("TZ", fOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool fHad = false;
    std::string fOld;
};

}  // namespace

// ---------------------------------------------------------------------------
// Gregorian arithmetic

TEST(Calendar, AgreesWithPythonDatetime) {
    const char* script =
        "python3 -c \""
        "import random, datetime\n"
        "random.seed(20240506)\n"
        "lo = datetime.datetime(1900,1,1); span = "
        "int((datetime.datetime(2401,1,1)-lo).total_seconds())\n"
        "for i in range(3000):\n"
        "    t = lo + datetime.timedelta(seconds=random.randrange(span))\n"
        "    c = t.year // 100\n"
        "    cs = int((t - datetime.datetime(c*100,1,1)).total_seconds())\n"
        "    ab = int((t - datetime.datetime(2001,1,1)).total_seconds())\n"
        "    print(t.year, t.month, t.day, t.hour, t.minute, t.second, (t.weekday()+1)%7, c, cs, "
        "ab, "
        "t.isoweekday())\n"
        "\"";
    FILE* py = popen(script, "r");
    ASSERT_NE(py, nullptr);
    int count = 0;
    unsigned y, mo, d, h, mi, s, wd, c, iso;
    unsigned long cs;
    long long ab;
    while (std::fscanf(py, "%u %u %u %u %u %u %u %u %lu %lld %u", &y, &mo, &d, &h, &mi, &s, &wd, &c,
                       &cs, &ab, &iso) == 11) {
        ++count;
        CalDateTime date = Cal(u16(y), u8(mo), u8(d), u8(h), u8(mi), u8(s));
        NormaliseDateTime(date);
        ASSERT_EQ(date.weekday, wd) << Str(date);
        CenturyTime ct;
        ASSERT_TRUE(DateToCentury(ct, date)) << Str(date);
        ASSERT_EQ(ct.century, c) << Str(date);
        ASSERT_EQ(ct.seconds, cs) << Str(date);
        CalDateTime back = Cal(0, 0, 0);
        ASSERT_TRUE(CenturyToDate(ct, back));
        ASSERT_EQ(Str(back), Str(date));

        DateTime dt;
        DateTime::FromFields(dt, i32(y), i32(mo), i32(d), i32(h), i32(mi), s);
        ASSERT_EQ(DateTime::ToAbsolute(dt), double(ab)) << Str(date);
        DateTime::FromAbsolute(dt, double(ab) + 0.25);
        ASSERT_EQ(dt.year, i32(y));
        ASSERT_EQ(dt.month, mo);
        ASSERT_EQ(dt.day, d);
        ASSERT_EQ(dt.hour, h);
        ASSERT_EQ(dt.minute, mi);
        ASSERT_EQ(dt.second, s + 0.25);
        ASSERT_EQ(dt.dayOfWeek, iso);
    }
    const int status = pclose(py);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count, 3000);
}

TEST(Calendar, CenturyBoundaries) {
    CenturyTime ct;
    ASSERT_TRUE(DateToCentury(ct, Cal(2000, 1, 1)));
    EXPECT_EQ(ct.century, 20);
    EXPECT_EQ(ct.seconds, 0u);
    ASSERT_TRUE(DateToCentury(ct, Cal(2100, 3, 1)));
    EXPECT_EQ(ct.century, 21);
    EXPECT_EQ(ct.seconds, 59u * 86400);

    // One second before a century starts is the last second of the one before.
    ct = {0, 21};
    ASSERT_TRUE(CenturyAddSeconds(ct, -1));
    EXPECT_EQ(ct.century, 20);
    EXPECT_EQ(ct.seconds, kLongCenturySeconds - 1);
    CalDateTime d;
    ASSERT_TRUE(CenturyToDate(ct, d));
    EXPECT_EQ(Str(d), "2099-12-31 23:59:59 w4");
    ct = {0, 22};
    ASSERT_TRUE(CenturyAddSeconds(ct, -1));
    EXPECT_EQ(ct.century, 21);
    EXPECT_EQ(ct.seconds, kShortCenturySeconds - 1);
    ASSERT_TRUE(CenturyToDate(ct, d));
    EXPECT_EQ(Str(d), "2199-12-31 23:59:59 w2");
    // And forwards again.
    ASSERT_TRUE(CenturyAddSeconds(ct, 2));
    EXPECT_EQ(ct.century, 22);
    EXPECT_EQ(ct.seconds, 1u);
    ct = {5, 21};
    ASSERT_TRUE(CenturyAddSeconds(ct, -5));
    EXPECT_EQ(ct.century, 21);
    EXPECT_EQ(ct.seconds, 0u);

    // No century before 0 and none after 255.
    ct = {10, 0};
    EXPECT_FALSE(CenturyAddSeconds(ct, -11));
    EXPECT_EQ(ct.century, 0);
    ct = {kLongCenturySeconds - 1, 255};
    EXPECT_FALSE(CenturyAddSeconds(ct, 1));
    EXPECT_EQ(ct.century, 255);
    EXPECT_EQ(CenturyCompare({1, 20}, {0, 21}), -1);
    EXPECT_EQ(CenturyCompare({7, 21}, {7, 21}), 0);
}

TEST(Calendar, ConversionsRefuseFieldsOutOfRange) {
    const CalDateTime bad[] = {
        Cal(2024, 0, 1),           Cal(2024, 13, 1), Cal(2024, 99, 1),    Cal(2024, 5, 0),
        Cal(2023, 2, 29),          Cal(2024, 4, 31), Cal(2024, 5, 6, 99), Cal(2024, 5, 6, 1, 60),
        Cal(2024, 5, 6, 1, 2, 60), Cal(65535, 1, 1)};
    for (const CalDateTime& b : bad) {
        CenturyTime ct{123, 45};
        EXPECT_FALSE(DateToCentury(ct, b)) << Str(b);
        // The answer still stands for a date in range.
        EXPECT_LT(ct.seconds, CenturyLengthSeconds(ct.century)) << Str(b);
    }
    CalDateTime d = Cal(0, 0, 0);
    EXPECT_FALSE(CenturyToDate({0xFFFFFFFFu, 21}, d));
    EXPECT_EQ(Str(d), "2199-12-31 23:59:59 w2");
    EXPECT_FALSE(CenturyToDate({kShortCenturySeconds, 21}, d));
}

TEST(Calendar, SteppingBackAndEndsOfUnits) {
    const struct {
        CalDateTime from;
        void (*step)(CalDateTime&);
        const char* want;
    } cases[] = {
        {Cal(2001, 3, 1, 12), DateTime::DecDay, "2001-02-28 12:00:00 w3"},
        {Cal(2024, 6, 1), DateTime::DecDay, "2024-05-31 00:00:00 w5"},
        {Cal(2024, 3, 31), DateTime::DecMonth, "2024-02-29 00:00:00 w4"},
        {Cal(2024, 1, 15), DateTime::DecMonth, "2023-12-15 00:00:00 w5"},
        {Cal(2024, 2, 29), DateTime::DecYear, "2023-02-28 00:00:00 w2"},
        {Cal(2000, 1, 1), DateTime::DecSecond, "1999-12-31 23:59:59 w5"},
        {Cal(2000, 1, 1, 0, 0, 30), DateTime::DecMinute, "1999-12-31 23:59:30 w5"},
        {Cal(2024, 3, 1, 0, 10), DateTime::DecHour, "2024-02-29 23:10:00 w4"},
        // Nothing lies before year 0: the first second stays.
        {Cal(0, 1, 1), DateTime::DecSecond, "0000-01-01 00:00:00 w6"},
        {Cal(0, 1, 1), DateTime::DecYear, "0000-01-01 00:00:00 w6"},
        {Cal(2024, 2, 10, 3, 4, 5), DateTime::EndOfMonth, "2024-02-29 23:59:59 w4"},
        {Cal(2024, 2, 10, 3, 4, 5), DateTime::EndOfDay, "2024-02-10 23:59:59 w6"},
        {Cal(2024, 2, 9, 7, 4, 5), DateTime::EndOfHour, "2024-02-09 07:59:59 w5"},
        {Cal(2024, 2, 9, 7, 3, 5), DateTime::EndOfMinute, "2024-02-09 07:03:59 w5"},
    };
    for (const auto& c : cases) {
        CalDateTime d = c.from;
        c.step(d);
        EXPECT_EQ(Str(d), c.want) << Str(c.from);
    }
}

// ---------------------------------------------------------------------------
// Absolute time and local zones

TEST(AbsTime, FieldsAndText) {
    DateTime dt;
    DateTime::FromAbsolute(dt, 0);
    EXPECT_EQ(dt.year, 2001);
    EXPECT_EQ(dt.dayOfWeek, 1);                          // a Monday
    DateTime::FromFields(dt, 2024, 2, 30, 25, 61, 1.5);  // carries over
    LTextStream s;
    DateTime::FormatIso(dt, s);
    EXPECT_STREQ(s.CStr(), "2024-03-02T02:01:01");
    DateTime::FromFields(dt, 2024, 13, 1, 0, 0, 0);
    EXPECT_EQ(IsoOf(DateTime::ToAbsolute(dt)), "2025-01-01T00:00:00");
    DateTime::FromFields(dt, 2024, 0, 1, 0, 0, 0);
    EXPECT_EQ(IsoOf(DateTime::ToAbsolute(dt)), "2023-12-01T00:00:00");
    EXPECT_EQ(IsoOf(-1e-20), "2001-01-01T00:00:00");
    EXPECT_EQ(IsoOf(-0.5), "2000-12-31T23:59:59");

    AbsTime now = 0;
    GetAbsTimeNow(&now);
    EXPECT_NEAR(now, double(std::time(nullptr)) - kAbsTimeUnixOffset, 2.0);
    EXPECT_EQ(AbsTimeDiffSeconds(10.6, 0), 11);
    EXPECT_EQ(AbsTimeDiffSeconds(0, 10.4), -10);
    EXPECT_EQ(AbsTimeDiffSeconds(1e12, 0), 2147483647);
}

TEST(AbsTime, LocalTimeAcrossDaylightSaving) {
    struct Case {
        const char* zone;
        int springMonth, springDay, springUtcHour;  // when the changes happen
        int fallMonth, fallDay, fallUtcHour;
        int standard, summer;  // offsets in hours
    };
    const Case cases[] = {{"Europe/Berlin", 3, 31, 1, 10, 27, 1, 1, 2},
                          {"America/New_York", 3, 10, 7, 11, 3, 6, -5, -4}};
    for (const Case& c : cases) {
        ZoneScope zone(c.zone);
        const AbsTime spring = Utc(2024, c.springMonth, c.springDay, c.springUtcHour, 0);
        const AbsTime fall = Utc(2024, c.fallMonth, c.fallDay, c.fallUtcHour, 0);
        EXPECT_EQ(LocalZoneOffsetAt(spring - 1), c.standard * 3600) << c.zone;
        EXPECT_EQ(LocalZoneOffsetAt(spring), c.summer * 3600) << c.zone;
        EXPECT_EQ(LocalZoneOffsetAt(fall - 1), c.summer * 3600) << c.zone;
        EXPECT_EQ(LocalZoneOffsetAt(fall), c.standard * 3600) << c.zone;
        EXPECT_EQ(AbsTimeToLocal(spring) - spring, c.summer * 3600.0);

        // Every instant around both changes comes back from its local time,
        // except the earlier of two instants sharing a local time.
        for (AbsTime base : {spring, fall}) {
            for (int m = -180; m <= 180; m += 5) {
                const AbsTime u = base + m * 60.0 + 0.5;
                const AbsTime local = AbsTimeToLocal(u);
                const AbsTime back = AbsTimeFromLocal(local);
                const bool repeated = base == fall && m < 0 && m >= -60;
                if (repeated)
                    EXPECT_EQ(back, u + 3600) << c.zone << " " << m;
                else
                    EXPECT_EQ(back, u) << c.zone << " " << m;
            }
        }
        // A local time the spring change skips reads with the offset from before it.
        const AbsTime skipped =
            spring + c.standard * 3600.0 + 1800;  // hh:30 local, not on any clock
        EXPECT_EQ(AbsTimeFromLocal(skipped), spring + 1800) << c.zone;
    }
}

// ---------------------------------------------------------------------------
// ISO-8601 text

TEST(IsoText, ZonesAndShortForms) {
    CalDateTime d;
    ASSERT_TRUE(ParseIsoDateTime(d, "2024-05-06T07:08:09+09:00", 0));
    EXPECT_EQ(Str(d), "2024-05-05 22:08:09 w0");
    ASSERT_TRUE(ParseIsoDateTime(d, "20240506T070809-0130", 0));
    EXPECT_EQ(Str(d), "2024-05-06 08:38:09 w1");
    ASSERT_TRUE(ParseIsoDateTime(d, "2023-12-31T23:30:00-01:00", 3600));
    EXPECT_EQ(Str(d), "2024-01-01 00:30:00 w1");
    ASSERT_TRUE(ParseIsoDateTime(d, "2024-03-01T00:10Z", 7200));
    EXPECT_EQ(Str(d), "2024-03-01 00:10:00 w5");
    // The default offset applies when the text names no zone.
    ASSERT_TRUE(ParseIsoDateTime(d, "2024-03-01T00:10:05.75", 7200));
    EXPECT_EQ(Str(d), "2024-02-29 22:10:05 w4");
    // Fractions of hours and minutes.
    ASSERT_TRUE(ParseIsoDateTime(d, "2024-05-06T07.5Z", 0));
    EXPECT_EQ(Str(d), "2024-05-06 07:30:00 w1");
    ASSERT_TRUE(ParseIsoDateTime(d, "2024-05-06T07:08,25Z", 0));
    EXPECT_EQ(Str(d), "2024-05-06 07:08:15 w1");

    // Fields the text does not give keep the caller's values.
    d = Cal(1999, 7, 14, 10, 11, 12);
    ASSERT_TRUE(ParseIsoDateTime(d, "2024", 0));
    EXPECT_EQ(Str(d), "2024-07-14 10:11:12 w0");
    d = Cal(1999, 7, 31, 10, 11, 12);
    ASSERT_TRUE(ParseIsoDateTime(d, "  2024-02", 0));
    EXPECT_EQ(Str(d), "2024-02-29 10:11:12 w4");
    ASSERT_TRUE(ParseIsoDateTime(d, "2024-05-06 07:08:09", 0));  // no 'T': the date alone
    EXPECT_EQ(Str(d), "2024-05-06 10:11:12 w1");
    ASSERT_TRUE(ParseIsoDateTime(d, "2024-05-06T07+02", 0));
    EXPECT_EQ(Str(d), "2024-05-06 05:11:12 w1");
}

TEST(IsoText, RefusesFieldsOutOfRangeAndLeavesTheDateAlone) {
    const char* bad[] = {"",
                         "no digits",
                         "202",
                         "2024-00-06T07:08:09Z",
                         "2024-13-06T07:08:09Z",
                         "2024-99-06",
                         "2024-05-00",
                         "2024-04-31",
                         "2023-02-29",
                         "2024-05-06T99:08:09Z",
                         "2024-05-06T24:00:00Z",
                         "2024-05-06T07:60:00Z",
                         "2024-05-06T07:08:61Z",
                         "2024-05-06T07:08:09+25:00",
                         "2024-05-06T07:08:09+05:75",
                         "2024-05-06T07:08:09+5",
                         "2024-5-06",
                         "2024-05-06T7:08",
                         "2024-05-06T07.Z",
                         "0000-01-01T00:00:00+01:00"};
    for (const char* text : bad) {
        CalDateTime d = Cal(1999, 7, 14, 10, 11, 12);
        EXPECT_FALSE(ParseIsoDateTime(d, text, 0)) << text;
        EXPECT_EQ(Str(d), "1999-07-14 10:11:12 w0") << text;
    }
    CalDateTime d;
    EXPECT_FALSE(ParseIsoDateTime(d, nullptr, 0));
    // A caller's own fields out of range are clamped, not used as indices.
    d = Cal(1999, 0, 0, 99, 99, 99);
    ASSERT_TRUE(ParseIsoDateTime(d, "2024", 0));
    EXPECT_EQ(Str(d), "2024-01-01 23:59:59 w1");

    // Every cut of a text ends inside its own bytes (AddressSanitizer watches).
    const std::string full = "2024-05-06T07:08:09.123+09:30";
    for (size_t n = 0; n <= full.size(); ++n) {
        std::vector<char> cut(full.begin(), full.begin() + long(n));
        cut.push_back(0);
        CalDateTime c = Cal(2000, 1, 1);
        const bool ok = ParseIsoDateTime(c, cut.data(), 0);
        const bool malformed = n == 6 || n == 9 || n == 12 || n == 15 || n == 18 || n == 20 ||
                               n == 24 || n == 25 || n == 28;
        EXPECT_EQ(ok, n >= 4 && !malformed) << cut.data();
    }
}

// ---------------------------------------------------------------------------
// CSV fields

TEST(Csv, QuotesCommasAndLineEnds) {
    const char text[] = "a,\"b,\"\"c\"\"\r\nd\",,x\r\n\"\"\"\"\nlast";
    LMemReader r(text, sizeof text - 1);
    std::vector<std::pair<std::string, bool>> got;
    for (int i = 0; i < 20; ++i) {
        LTextStream field;
        const bool more = CsvReadField(r, field);
        got.emplace_back(field.CStr(), more);
        if (!more && !ReaderSkipLine(r)) break;
    }
    // A field ending a line answers whether it received text; so does the end of input.
    const std::vector<std::pair<std::string, bool>> want = {
        {"a", true}, {"b,\"c\"\r\nd", true}, {"", true}, {"x", true}, {"", false}, {"\"", true},
        {"", false}, {"last", true},         {"", false}};
    EXPECT_EQ(got, want);
}

// ---------------------------------------------------------------------------
// Timecode

TEST(Timecode, ConvertsAt25AndAtDropFrame) {
    Timecode tc;
    tc.Init(25);
    tc.Set(0, 0, 1, 13);
    EXPECT_EQ(tc.ToUnits(1000), 1520u);
    tc.FromUnits(1520, 1000);
    EXPECT_EQ(tc.seconds, 1);
    EXPECT_EQ(tc.frames, 13);
    tc.SetFps(30);
    EXPECT_EQ(tc.rate, 30u);
    EXPECT_EQ(tc.seconds, 1);
    EXPECT_EQ(tc.frames, 16);

    tc.Init(Timecode::kDropFrame);
    tc.Set(0, 1, 0, 2);
    const u32 ms = tc.ToUnits(1000);
    Timecode back;
    back.Init(Timecode::kDropFrame);
    back.FromUnits(ms, 1000);
    EXPECT_EQ(back.minutes, 1);
    EXPECT_EQ(back.seconds, 0);
    EXPECT_EQ(back.frames, 2);
    // 1800 real frames into the block at 29.97 frames a second.
    EXPECT_EQ(tc.ToUnits(30000), 1800u * 1001);

    // Wrapping at 24 hours.
    tc.Init(25);
    tc.FromUnits(86400u * 1000 + 40, 1000);
    EXPECT_EQ(tc.hours, 0);
    EXPECT_EQ(tc.frames, 1);
}

TEST(Timecode, EveryLabelRoundTrips) {
    for (u32 rate : {1u, 24u, 25u, 30u, 100u, Timecode::kDropFrame}) {
        const u32 f = Timecode::CountedRate(rate);
        for (u32 units : {1000u, 48000u}) {
            int failures = 0;
            for (u32 h = 0; h < 24 && failures < 5; h += 5) {
                for (u32 m = 0; m < 60 && failures < 5; ++m) {
                    for (u32 s = 0; s < 60; ++s) {
                        for (u32 fr = 0; fr < f; ++fr) {
                            if (rate == Timecode::kDropFrame && s == 0 && fr < 2 && m % 10 != 0)
                                continue;  // labels that drop-frame skips
                            Timecode tc;
                            tc.Init(rate);
                            tc.Set(u8(h), u8(m), u8(s), u8(fr));
                            Timecode back;
                            back.Init(rate);
                            back.FromUnits(tc.ToUnits(units), units);
                            if (back.hours != h || back.minutes != m || back.seconds != s ||
                                back.frames != fr) {
                                ADD_FAILURE()
                                    << "rate " << rate << " units " << units << " " << h << ":" << m
                                    << ":" << s << ":" << fr << " came back as " << int(back.hours)
                                    << ":" << int(back.minutes) << ":" << int(back.seconds) << ":"
                                    << int(back.frames);
                                ++failures;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(Timecode, TextInAndOut) {
    Timecode tc;
    tc.Init(100);
    tc.Set(1, 2, 3, 4);
    LTextStream s;
    tc.Format(s);
    EXPECT_STREQ(s.CStr(), "01:02:03.04");
    tc.Init(1);
    tc.Set(12, 34, 56, 0);
    s.Clear();
    tc.Format(s);
    EXPECT_STREQ(s.CStr(), "12:34:56");
    tc.Init(25);
    tc.Set(0, 0, 1, 13);
    s.Clear();
    tc.Format(s);
    EXPECT_STREQ(s.CStr(), "00:00:01:13");

    tc.Init(25);
    EXPECT_EQ(tc.Parse("-00:00:01:13"), -1);
    EXPECT_EQ(tc.ToUnits(1000), 1520u);
    EXPECT_EQ(tc.rate, 25u);
    EXPECT_EQ(tc.Parse("1:30"), 1);
    EXPECT_EQ(tc.hours, 1);
    EXPECT_EQ(tc.minutes, 30);
    EXPECT_EQ(tc.Parse("::90.5"), 1);  // empty fields are 0; seconds carry into minutes
    EXPECT_EQ(tc.minutes, 1);
    EXPECT_EQ(tc.seconds, 30);
    EXPECT_EQ(tc.frames, 12);
    EXPECT_EQ(tc.Parse("0:0:0:50"), 1);  // frames past the rate carry into seconds
    EXPECT_EQ(tc.seconds, 2);
    EXPECT_EQ(tc.frames, 0);
    EXPECT_EQ(tc.Parse("99999:0:0"), 1);  // beyond what the fields hold
    EXPECT_EQ(tc.hours, 255);
    EXPECT_EQ(tc.Parse("nan:inf"), 1);
    tc.Init(Timecode::kDropFrame);
    tc.Parse("00:01:00:00");
    EXPECT_EQ(tc.frames, 2);
    tc.Parse("00:10:00:00");
    EXPECT_EQ(tc.frames, 0);
}

// ---------------------------------------------------------------------------
// Durations, axis steps, byte patterns

TEST(TimeText, DurationsAndAxisSteps) {
    LString out;
    EXPECT_STREQ(FormatDuration(&out, -1, 3725.5).CStr(), "01:02");
    EXPECT_STREQ(FormatDuration(&out, 0, 3725.5).CStr(), "01:02:06");
    EXPECT_STREQ(FormatDuration(&out, 1, 3725.5).CStr(), "01:02:05.5");
    EXPECT_STREQ(FormatDuration(&out, 2, -0.25).CStr(), "-00:00:00.25");
    EXPECT_STREQ(FormatDuration(&out, 1, 59.96).CStr(), "00:01:00.0");
    EXPECT_STREQ(FormatDuration(&out, 0, 360000).CStr(), "100:00:00");

    EXPECT_EQ(NiceTimeStep(0.54), 1);
    EXPECT_EQ(NiceTimeStep(54), 60);
    EXPECT_EQ(NiceTimeStep(1), 1);
    EXPECT_EQ(NiceTimeStep(50000), 86400);
    EXPECT_DOUBLE_EQ(NiceTimeStep(0.3), 0.5);
    EXPECT_DOUBLE_EQ(NiceTimeStep(0.15), 0.2);
    EXPECT_DOUBLE_EQ(NiceTimeStep(0.012), 0.02);
    EXPECT_GT(NiceTimeStep(1e-320), 0);
    EXPECT_EQ(TimeStepDecimals(60), -1);
    EXPECT_EQ(TimeStepDecimals(5), 0);
    EXPECT_EQ(TimeStepDecimals(0.5), 1);
    EXPECT_EQ(TimeStepDecimals(0.02), 2);
    EXPECT_DOUBLE_EQ(FloorToMultiple(7.3, 2), 6);
    EXPECT_DOUBLE_EQ(CeilToMultiple(7.3, 2), 8);
    EXPECT_DOUBLE_EQ(FloorToMultiple(-0.5, 0.2), -0.6);
    EXPECT_EQ(FloorToMultiple(7.3, 0), 7.3);
}

TEST(KmpMatcher, FindsPatternsAcrossPartialMatches) {
    auto firstMatch = [](const char* pattern, const char* data) {
        KmpMatcher m{LString(pattern)};
        for (int i = 0; data[i]; ++i)
            if (m.Feed(u8(data[i]))) return i;
        return -1;
    };
    EXPECT_EQ(firstMatch("aab", "aaab"), 3);
    EXPECT_EQ(firstMatch("abab", "aabababx"), 4);
    EXPECT_EQ(firstMatch("abcabd", "abcabcabd"), 8);
    EXPECT_EQ(firstMatch("xyz", "xyxyxy"), -1);

    KmpMatcher m{LString("ok")};
    EXPECT_FALSE(m.Feed('o'));
    EXPECT_TRUE(m.Feed('k'));
    EXPECT_TRUE(m.Feed('z'));  // stays matched
    EXPECT_EQ(m.State(), 2u);
}
