// Schedule condition texts, matching, periods and the event in effect, checked
// against a second-by-second reference.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "records/NsqPrefKinds.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"

namespace {

struct Kinds {
    Kinds() { RegisterAllRecordKinds(); }
} sKinds;

CalDateTime At(u16 y, u8 mo, u8 d, u8 h, u8 mi, u8 s) {
    CalDateTime t{y, mo, d, 0, h, mi, s};
    NormaliseDateTime(t);
    return t;
}

// Seconds since 1970 and back, independent of the code under test.
i64 Sec(const CalDateTime& d) {
    return DaysFromCivil(d.year, d.month, d.day) * 86400 + d.hour * 3600 + d.minute * 60 + d.second;
}
CalDateTime FromSec(i64 s) {
    CenturyTime c{u32(s - DaysFromCivil(2000, 1, 1) * 86400), 20};
    CalDateTime d;
    CenturyToDate(c, d);
    return d;
}

struct EventSpec {
    std::string y, mo, d, w, h, mi, s;
    struct Per {
        u8 kind;
        std::vector<u32> strt, endp;
    };
    std::vector<Per> periods;
    u32 duration = 0;
};

CRecord* NewSchedule(const std::vector<EventSpec>& specs) {
    CRecord* sch = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSchd));
    for (const EventSpec& e : specs) {
        const u32 i = sch->GetListCount(SchdF::flts);
        InsertNewScheduleEvent(sch, nullptr, i);
        CRecord* ev = sch->GetListItem(SchdF::flts, i);
        ev->SetString(nullptr, ScevF::fcpy, LString(e.y.c_str()));
        ev->SetString(nullptr, ScevF::fcpm, LString(e.mo.c_str()));
        ev->SetString(nullptr, ScevF::fcpd, LString(e.d.c_str()));
        ev->SetString(nullptr, ScevF::fcpw, LString(e.w.c_str()));
        ev->SetString(nullptr, ScevF::fcph, LString(e.h.c_str()));
        ev->SetString(nullptr, ScevF::fcpn, LString(e.mi.c_str()));
        ev->SetString(nullptr, ScevF::fcps, LString(e.s.c_str()));
        for (const EventSpec::Per& p : e.periods) {
            const i32 pi = SchEventAddPeriod(ev, nullptr);
            CRecord* pr = ev->GetListItem(ScevF::prds, u32(pi));
            pr->SetU8(nullptr, ScepF::rang, p.kind);
            for (u32 k = 0; k < p.strt.size(); ++k)
                SchPeriodSetTimePart(pr, nullptr, ScepF::strt, k, p.strt[k]);
            for (u32 k = 0; k < p.endp.size(); ++k)
                SchPeriodSetTimePart(pr, nullptr, ScepF::endp, k, p.endp[k]);
        }
        ev->GetChild(ScevF::axud)->SetU32(nullptr, ScexF::tmdr, e.duration);
    }
    return sch;
}

CompiledScheduleEvent Compile(const EventSpec& e) {
    CRecord* sch = NewSchedule({e});
    CompiledScheduleEvent ev;
    LoadScheduleEvent(ev, sch->GetListItem(SchdF::flts, 0));
    CRecord::Destroy(sch);
    return ev;
}

std::vector<u32> Matching(const char* text, u32 upTo) {
    RangeList r;
    r.Parse(text);
    std::vector<u32> out;
    for (u32 v = 0; v <= upTo; ++v)
        if (r.Matches(v)) out.push_back(v);
    return out;
}

TEST(ScheduleText, RangesAndSeparators) {
    EXPECT_EQ(Matching("5-10", 20), (std::vector<u32>{5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(Matching("10-5", 20), (std::vector<u32>{10}));
    EXPECT_EQ(Matching("7-", 20), (std::vector<u32>{7}));
    EXPECT_EQ(Matching("1,3 5", 20), (std::vector<u32>{1, 3, 5}));
    EXPECT_EQ(Matching("-4;x2", 20), (std::vector<u32>{2, 4}));  // a leading '-' is no sign
    EXPECT_TRUE(Matching("", 100).empty());
    EXPECT_TRUE(Matching("*/5", 100).size() == 1);  // no step syntax: just 5
    RangeList big;
    big.Parse("99999999999999999999-3");
    EXPECT_TRUE(big.Matches(0xFFFFFFFFu));
    EXPECT_FALSE(big.Matches(3));

    SchedulePart p;
    SplitAtBar(p, "22-23|0-1|5");
    EXPECT_TRUE(p.direct.Matches(22));
    EXPECT_TRUE(p.carry.Matches(1));
    EXPECT_TRUE(p.carry.Matches(5));  // only the first bar splits
    SplitAtBar(p, "3");
    EXPECT_TRUE(p.carry.Empty());
}

TEST(ScheduleMatch, CarryMovesToTheEarlierUnit) {
    EventSpec e;
    e.h = "22-23|0-1";
    e.w = "1";  // Monday
    const CompiledScheduleEvent ev = Compile(e);
    // 2024-03-04 is a Monday.
    EXPECT_TRUE(MatchScheduleEvent(ev, At(2024, 3, 4, 22, 30, 0)));
    EXPECT_TRUE(MatchScheduleEvent(ev, At(2024, 3, 5, 0, 30, 0)));
    EXPECT_FALSE(MatchScheduleEvent(ev, At(2024, 3, 4, 0, 30, 0)));
    EXPECT_FALSE(MatchScheduleEvent(ev, At(2024, 3, 5, 22, 30, 0)));
    EXPECT_FALSE(MatchScheduleEvent(ev, At(2024, 3, 5, 2, 0, 0)));

    EventSpec onlyCarry;
    onlyCarry.h = "|0-1";
    const CompiledScheduleEvent oc = Compile(onlyCarry);
    EXPECT_TRUE(MatchScheduleEvent(oc, At(2024, 3, 1, 0, 30, 0)));  // moves back into February
    EXPECT_FALSE(MatchScheduleEvent(oc, At(2024, 3, 1, 2, 0, 0)));

    const CompiledScheduleEvent any = Compile(EventSpec{});
    EXPECT_TRUE(MatchScheduleEvent(any, At(1999, 12, 31, 23, 59, 59)));

    EventSpec sunday;
    sunday.w = "7";
    EXPECT_TRUE(MatchScheduleEvent(Compile(sunday), At(2024, 3, 3, 12, 0, 0)));
    sunday.w = "0";
    EXPECT_FALSE(MatchScheduleEvent(Compile(sunday), At(2024, 3, 3, 12, 0, 0)));
}

TEST(ScheduleMatch, Periods) {
    EventSpec e;
    e.periods.push_back({kPeriodDay, {0, 0, 22}, {0, 0, 2}});
    const CompiledScheduleEvent ev = Compile(e);
    ASSERT_EQ(ev.periods.size(), 1u);
    EXPECT_TRUE(ev.periods[0].wrap);
    EXPECT_EQ(PeriodContains(ev.periods[0], At(2024, 3, 4, 23, 0, 0)), 1u);
    EXPECT_EQ(PeriodContains(ev.periods[0], At(2024, 3, 4, 1, 0, 0)), 2u);
    EXPECT_EQ(PeriodContains(ev.periods[0], At(2024, 3, 4, 2, 0, 0)), 0u);
    EXPECT_EQ(PeriodContains(ev.periods[0], At(2024, 3, 4, 21, 59, 59)), 0u);

    // The wrapped part's candidate belongs to the day before.
    EventSpec mon = e;
    mon.w = "1";
    const CompiledScheduleEvent em = Compile(mon);
    EXPECT_TRUE(MatchScheduleEvent(em, At(2024, 3, 5, 1, 0, 0)));   // Tuesday 01:00
    EXPECT_FALSE(MatchScheduleEvent(em, At(2024, 3, 4, 1, 0, 0)));  // Monday 01:00 is Sunday's

    // Weekly periods give 1 in their wrapped part: nothing moves.
    EventSpec wk;
    wk.periods.push_back(
        {kPeriodWeek, {0, 0, 22, 5}, {0, 0, 6, 1}});  // Friday 22:00 to Monday 06:00
    wk.w = "1";
    const CompiledScheduleEvent ew = Compile(wk);
    EXPECT_EQ(PeriodContains(ew.periods[0], At(2024, 3, 4, 5, 0, 0)), 1u);
    EXPECT_TRUE(MatchScheduleEvent(ew, At(2024, 3, 4, 5, 0, 0)));
    EXPECT_FALSE(MatchScheduleEvent(ew, At(2024, 3, 4, 6, 0, 0)));

    // Equal start and end: contains nothing.
    EventSpec inst;
    inst.periods.push_back({kPeriodHour, {5, 5}, {5, 5}});
    const CompiledScheduleEvent ei = Compile(inst);
    EXPECT_TRUE(ei.periods[0].instant);
    EXPECT_FALSE(MatchScheduleEvent(ei, At(2024, 3, 4, 5, 5, 5)));

    // Out-of-range parts from a file are held to their ranges.
    EventSpec wild;
    wild.periods.push_back({200, {99, 99, 99, 99, 99, 99, 70000}, {}});
    const CompiledScheduleEvent ex = Compile(wild);
    EXPECT_EQ(ex.periods[0].kind, kPeriodAbsolute);
    EXPECT_EQ(ex.periods[0].start.hour, 23);
    EXPECT_EQ(ex.periods[0].start.month, 12);
    EXPECT_FALSE(MatchScheduleEvent(ex, At(2024, 3, 4, 5, 0, 0)));
}

TEST(ScheduleEffect, DailyPeriodEndsExclusive) {
    EventSpec e;
    e.periods.push_back({kPeriodDay, {0, 0, 22}, {0, 0, 2}});
    CRecord* sch = NewSchedule({e});
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 5, 1, 0, 0)), 0);
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 5, 2, 0, 0)), -1);
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 5, 21, 59, 59)), -1);

    // With a duration the event stays in effect after its occurrence started.
    sch->GetListItem(SchdF::flts, 0)->GetChild(ScevF::axud)->SetU32(nullptr, ScexF::tmdr, 5 * 3600);
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 5, 2, 59, 59)), 0);  // 22:00 + 5 h
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 5, 3, 0, 0)), -1);
    CRecord::Destroy(sch);
}

TEST(ScheduleEffect, MatchingEventWinsAndSearchesReachBack) {
    EventSpec longRun;
    longRun.h = "8";
    longRun.duration = 86400;
    EventSpec now;
    now.h = "10";
    CRecord* sch = NewSchedule({longRun, now});
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 4, 10, 0, 0)),
              0);  // still within event 0's day
    CRecord::Destroy(sch);
    sch = NewSchedule({now, longRun});
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 4, 10, 0, 0)), 0);
    // Event 0 ran 10:00-11:00, later than event 1 last began: events run one after another.
    EXPECT_EQ(FindActiveScheduleEntry(sch, At(2024, 3, 4, 11, 0, 0)), -1);
    CRecord::Destroy(sch);

    // Rare dates far back: a leap day, and one year only.
    EventSpec leap;
    leap.mo = "2";
    leap.d = "29";
    leap.h = "12";
    leap.mi = "0";
    leap.s = "0";
    CalDateTime t = At(2027, 6, 1, 0, 0, 0);
    ASSERT_TRUE(FindPrevOccurrence(Compile(leap), t));
    EXPECT_EQ(Sec(t), Sec(At(2024, 2, 29, 12, 0, 0)));
    CalDateTime s = t;
    ASSERT_TRUE(FindOccurrenceStart(Compile(leap), s));
    EXPECT_EQ(Sec(s), Sec(t));

    EventSpec year;
    year.y = "2001";
    t = At(2030, 1, 1, 0, 0, 0);
    ASSERT_TRUE(FindPrevOccurrence(Compile(year), t));
    EXPECT_EQ(Sec(t), Sec(At(2001, 12, 31, 23, 59, 59)));
    ASSERT_TRUE(FindOccurrenceStart(Compile(year), t));
    EXPECT_EQ(Sec(t), Sec(At(2001, 1, 1, 0, 0, 0)));

    // Never: 31 February.
    EventSpec never;
    never.mo = "2";
    never.d = "31";
    t = At(2024, 3, 1, 0, 0, 0);
    EXPECT_FALSE(FindPrevOccurrence(Compile(never), t));

    // No condition at all: the run never closes.
    t = At(2024, 3, 1, 0, 0, 0);
    ASSERT_TRUE(FindOccurrenceStart(Compile(EventSpec{}), t));
    EXPECT_EQ(t.year, 0);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
}

// ---- second-by-second reference

std::string RandomCond(std::mt19937& rng, u32 max, bool allowEmpty) {
    auto pick = [&](u32 n) { return u32(rng() % n); };
    if (allowEmpty && pick(3) == 0) return "";
    std::string s;
    const u32 items = 1 + pick(2);
    for (u32 i = 0; i < items; ++i) {
        if (i) s += pick(2) ? "," : " ";
        const u32 a = pick(max + 1);
        if (pick(2)) {
            const u32 b = a + pick(max / 2 + 1);
            s += std::to_string(a) + "-" + std::to_string(std::min(b, max));
        } else {
            s += std::to_string(a);
        }
    }
    if (pick(4) == 0)
        s += "|" + std::to_string(pick(max / 3 + 1)) + "-" + std::to_string(pick(max + 1));
    return s;
}

EventSpec RandomEvent(std::mt19937& rng) {
    auto pick = [&](u32 n) { return u32(rng() % n); };
    EventSpec e;
    // Only weekly-repeating conditions, with a weekday set that is never the
    // whole week, so every occurrence and run lies within the reference window.
    const u32 a = 1 + pick(7);
    const u32 b = a + pick(7 - a + 1);
    e.w = (a == 1 && b == 7) ? "2-7" : std::to_string(a) + "-" + std::to_string(b);
    if (pick(3) == 0) e.w += "," + std::to_string(1 + pick(7));
    e.h = RandomCond(rng, 23, true);
    e.mi = RandomCond(rng, 59, true);
    e.s = pick(2) ? "" : RandomCond(rng, 59, false);
    const u32 np = pick(3);
    for (u32 i = 0; i < np; ++i) {
        EventSpec::Per p;
        p.kind = u8(pick(4));
        for (u32 k = 0; k < 4; ++k) {
            static const u32 kMax[4] = {60, 60, 24, 7};
            p.strt.push_back(pick(kMax[k]));
            p.endp.push_back(pick(kMax[k]));
        }
        e.periods.push_back(p);
    }
    e.duration = pick(3) ? pick(4 * 3600) : 0;
    return e;
}

// Matching decided step by step over a window of time, with the matcher
// itself; every second of a step matches alike.
class Reference {
public:
    Reference(const EventSpec& spec, i64 step, i64 from, i64 to)
        : fEv(Compile(spec)), fStep(step), fFrom(from), fCache(size_t((to - from) / step), -1) {}

    i64 StepStart(i64 s) const { return s - (s - fFrom) % fStep; }
    bool Match(i64 s) {
        i8& c = fCache.at(size_t((s - fFrom) / fStep));
        if (c < 0) c = MatchScheduleEvent(fEv, FromSec(StepStart(s))) ? 1 : 0;
        return c != 0;
    }
    // Latest matching second before t; false when none lies inside the window.
    bool Prev(i64 t, i64* p) {
        if (Match(t - 1)) return *p = t - 1, true;
        for (i64 h = StepStart(t - 1) - fStep; h >= fFrom; h -= fStep)
            if (Match(h)) return *p = h + fStep - 1, true;
        return false;
    }
    // Start of the run that holds p, clipped to the stretch of each period holding
    // p; at most fFrom when it reaches out of the window.
    i64 Start(i64 p) {
        i64 s = StepStart(p);
        while (s > fFrom && Match(s - 1)) s -= fStep;
        for (const SchedulePeriod& per : fEv.periods) {
            if (!PeriodContains(per, FromSec(p))) continue;
            i64 q = StepStart(p);
            auto atStart = [&] {
                const CalDateTime d = FromSec(q);
                return !PeriodCompare(per.kind, d, per.start) &&
                       !PeriodCompare(per.kind, per.start, d);
            };
            while (q > fFrom && !atStart() && PeriodContains(per, FromSec(q - 1))) q -= fStep;
            s = std::max(s, q);
        }
        return s;
    }
    const CompiledScheduleEvent& Event() const { return fEv; }

private:
    CompiledScheduleEvent fEv;
    i64 fStep, fFrom;
    std::vector<i8> fCache;
};

// Random schedules against the reference: the event in effect (when every answer
// lies inside the window) and both searches for every event.
void CheckAgainstReference(u32 seed, int rounds, int queries, EventSpec (*make)(std::mt19937&),
                           i64 step, i64 from, i64 queryFrom, i64 querySpan) {
    std::mt19937 rng(seed);
    u32 found = 0, checked = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<EventSpec> specs;
        const u32 n = 1 + rng() % 3;
        for (u32 i = 0; i < n; ++i) specs.push_back(make(rng));
        CRecord* sch = NewSchedule(specs);
        std::vector<Reference> refs;
        for (const EventSpec& e : specs) refs.emplace_back(e, step, from, queryFrom + querySpan);
        for (int q = 0; q < queries; ++q) {
            const i64 now = queryFrom + i64(rng() % querySpan);
            const CalDateTime t = FromSec(now);
            SCOPED_TRACE("round " + std::to_string(round) + " at " + std::to_string(now));
            i32 expect = -1;
            bool known = true;
            i64 best = Sec(At(0, 1, 1, 0, 0, 0));
            for (u32 i = 0; i < n && known; ++i) {
                if (refs[i].Match(now)) {
                    expect = i32(i);
                    break;
                }
                i64 p;
                if (!refs[i].Prev(now, &p)) {
                    known = false;
                    break;
                }
                if (best > p) continue;
                const i64 s = refs[i].Start(p);
                known = s > from;
                const i64 w = std::max(p + 1, std::max(best, s) + specs[i].duration);
                if (now < w) {
                    expect = i32(i);
                    break;
                }
                best = w;
            }
            if (known) {
                ASSERT_EQ(FindActiveScheduleEntry(sch, t), expect);
                found += expect >= 0;
                ++checked;
            }
            for (Reference& r : refs) {
                CalDateTime pt = t;
                i64 rp;
                const bool has = FindPrevOccurrence(r.Event(), pt);
                if (!r.Prev(now, &rp)) {
                    if (has) {
                        EXPECT_LT(Sec(pt), from);
                    }
                    continue;
                }
                ASSERT_TRUE(has);
                ASSERT_EQ(Sec(pt), rp);
                ASSERT_TRUE(FindOccurrenceStart(r.Event(), pt));
                const i64 rs = r.Start(rp);
                if (rs > from) {
                    EXPECT_EQ(Sec(pt), rs);
                } else {
                    EXPECT_LE(Sec(pt), from);
                }
            }
        }
        CRecord::Destroy(sch);
    }
    EXPECT_GT(checked, u32(rounds * queries / 3));
    EXPECT_GT(found, checked / 10);  // the random events are not all idle
}

TEST(ScheduleEffect, AgreesWithSecondBySecondReference) {
    const i64 week = Sec(At(2024, 3, 4, 0, 0, 0));
    CheckAgainstReference(20240304, 4, 25, RandomEvent, 1, week - 20 * 86400, week, 7 * 86400);
}

// ---- hour-by-hour reference for monthly and yearly stretches
//
// Conditions on hours and larger parts only, and periods that start and end on
// the hour, match whole hours: the searches can be checked hour by hour over
// years, with the day's carry (one month back) and the month's (one year back).

EventSpec RandomCalendarEvent(std::mt19937& rng) {
    auto pick = [&](u32 n) { return u32(rng() % n); };
    EventSpec e;
    if (pick(2)) e.mo = RandomCond(rng, 12, false);
    if (pick(2)) e.d = RandomCond(rng, 31, false);
    if (pick(3) == 0) e.w = std::to_string(1 + pick(7)) + "-" + std::to_string(1 + pick(7));
    if (pick(2)) e.h = RandomCond(rng, 23, false);
    if (pick(6) == 0) e.y = pick(2) ? "2019-2022" : "2023|2021";
    for (u32 n = pick(3); n > 0; --n) {
        EventSpec::Per p;
        p.kind = u8(kPeriodDay + pick(5));  // day, week, month, year, absolute
        for (auto* v : {&p.strt, &p.endp})
            *v = {0, 0, pick(24), pick(7), 1 + pick(31), 1 + pick(12), 2019 + pick(7)};
        e.periods.push_back(p);
    }
    e.duration = pick(2) ? pick(40) * 86400 : 0;
    return e;
}

TEST(ScheduleEffect, StretchOfAMissingStartDayBeginsWithItsMonth) {
    // An absolute period holds every second since 2020, so only the stretch of
    // the other period clips the run.
    const EventSpec::Per always{
        kPeriodAbsolute, {0, 0, 0, 1, 1, 1, 2020}, {0, 0, 0, 1, 1, 1, 2019}};
    EventSpec e;  // from the 31st 11:00 to the 9th 08:00: February and April have no 31st
    e.periods = {{kPeriodMonth, {0, 0, 11, 1, 31}, {0, 0, 8, 1, 9}}, always};
    CalDateTime t = At(2024, 3, 6, 8, 55, 0);
    ASSERT_TRUE(FindOccurrenceStart(Compile(e), t));
    EXPECT_EQ(Sec(t), Sec(At(2024, 3, 1, 0, 0, 0)));
    t = At(2024, 4, 2, 0, 0, 0);
    ASSERT_TRUE(FindOccurrenceStart(Compile(e), t));
    EXPECT_EQ(Sec(t), Sec(At(2024, 3, 31, 11, 0, 0)));
    EventSpec leap;  // 29 February 12:00 to 1 March: from 1 March in other years
    leap.periods = {{kPeriodYear, {0, 0, 12, 1, 29, 2}, {0, 0, 0, 1, 10, 3}}, always};
    t = At(2023, 3, 5, 0, 0, 0);
    ASSERT_TRUE(FindOccurrenceStart(Compile(leap), t));
    EXPECT_EQ(Sec(t), Sec(At(2023, 3, 1, 0, 0, 0)));
}

TEST(ScheduleEffect, CalendarStretchesAgreeWithHourByHourReference) {
    CheckAgainstReference(202402293, 16, 8, RandomCalendarEvent, 3600, Sec(At(2018, 1, 1, 0, 0, 0)),
                          Sec(At(2024, 1, 1, 0, 0, 0)), 366 * 86400);
}

TEST(ScheduleRecords, PeriodTimeParts) {
    CRecord* p = CRecord::New(CRecordSchema::Find(kFamKvt, kKindScep));
    EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::strt, kSchWeekday), 1u);  // raised to the minimum
    EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::strt, kSchYear), 0u);
    EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::strt, 9), 0u);
    SchPeriodSetTimePart(p, nullptr, ScepF::endp, kSchMonth, 7);
    EXPECT_EQ(p->GetArrayCount(ScepF::endp), 6u);
    EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::endp, kSchMonth), 7u);
    EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::endp, kSchDay), 1u);
    CRecord::Destroy(p);
}

}  // namespace
