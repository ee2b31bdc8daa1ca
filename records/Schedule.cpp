#include "records/Schedule.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "records/CUndoStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"

// ---------------------------------------------------------------- range lists

void RangeList::Parse(const char* text) {
    fPairs.clear();
    if (!text) return;
    const char* p = text;
    while (*p) {
        if (*p < '0' || *p > '9') {
            ++p;  // separators, and a '-' that follows no number
            continue;
        }
        auto readNumber = [&p]() {
            u64 v = 0;
            while (*p >= '0' && *p <= '9') {
                v = v * 10 + u32(*p - '0');
                if (v > 0xFFFFFFFFu) v = 0xFFFFFFFFu;  // saturate like strtol
                ++p;
            }
            return u32(v);
        };
        const u32 a = readNumber();
        fPairs.push_back({a, a});
        if (*p == '-') {
            ++p;
            if (*p >= '0' && *p <= '9') {
                const u32 b = readNumber();
                if (a <= b) fPairs.push_back({a, b});
            }
        }
    }
}

bool RangeList::Matches(u32 value) const {
    for (const RangePair& r : fPairs)
        if (r.lo <= value && value <= r.hi) return true;
    return false;
}

bool RangeList::Covers(u32 lo, u32 hi) const {
    for (u32 v = lo; v <= hi; ++v)
        if (!Matches(v)) return false;
    return true;
}

void SplitAtBar(SchedulePart& part, const char* text) {
    if (!text) text = "";
    const char* bar = std::strchr(text, '|');
    if (!bar) {
        part.direct.Parse(text);
        part.carry.Clear();
        return;
    }
    std::string before(text, size_t(bar - text));
    part.direct.Parse(before.c_str());
    part.carry.Parse(bar + 1);
}

// ---------------------------------------------------------------- periods

namespace {

// The parts a period kind compares, most significant first.
u32 KindParts(u8 kind, const CalDateTime& d, u32* out) {
    u32 n = 0;
    if (kind == kPeriodWeek) {
        out[n++] = d.weekday;
    } else {
        if (kind >= kPeriodAbsolute) out[n++] = d.year;
        if (kind >= kPeriodYear) out[n++] = d.month;
        if (kind >= kPeriodMonth) out[n++] = d.day;
    }
    if (kind >= kPeriodDay) out[n++] = d.hour;
    if (kind >= kPeriodHour) out[n++] = d.minute;
    out[n++] = d.second;
    return n;
}

bool HasCycle(u8 kind) {
    return kind != kPeriodWeek && kind != kPeriodAbsolute;
}

void CycleBack(u8 kind, CalDateTime& d) {
    switch (kind) {
        case kPeriodMinute:
            DateTime::DecMinute(d);
            break;
        case kPeriodHour:
            DateTime::DecHour(d);
            break;
        case kPeriodDay:
            DateTime::DecDay(d);
            break;
        case kPeriodMonth:
            DateTime::DecMonth(d);
            break;
        case kPeriodYear:
            DateTime::DecYear(d);
            break;
        default:
            break;
    }
}

u32 Weekday17(const CalDateTime& d) {
    return d.weekday == 0 ? 7 : d.weekday;
}

}  // namespace

bool PeriodCompare(u8 kind, const CalDateTime& a, const CalDateTime& b) {
    u32 pa[7], pb[7];
    const u32 n = KindParts(kind, a, pa);
    KindParts(kind, b, pb);
    for (u32 i = 0; i < n; ++i)
        if (pa[i] != pb[i]) return pa[i] < pb[i];
    return false;
}

void PeriodCopyParts(u8 kind, CalDateTime& dst, const CalDateTime& src) {
    switch (kind) {
        case kPeriodAbsolute:
            dst.year = src.year;
            [[fallthrough]];
        case kPeriodYear:
            dst.month = src.month;
            [[fallthrough]];
        case kPeriodMonth:
            dst.day = src.day;
            [[fallthrough]];
        case kPeriodDay:
            dst.hour = src.hour;
            [[fallthrough]];
        case kPeriodHour:
            dst.minute = src.minute;
            [[fallthrough]];
        case kPeriodMinute:
            dst.second = src.second;
            break;
        case kPeriodWeek:
            dst.weekday = src.weekday;
            dst.hour = src.hour;
            dst.minute = src.minute;
            dst.second = src.second;
            break;
        default:
            break;
    }
}

u32 PeriodContains(const SchedulePeriod& p, const CalDateTime& t) {
    if (!p.wrap)
        return !PeriodCompare(p.kind, t, p.start) && PeriodCompare(p.kind, t, p.end) ? 1 : 0;
    if (!PeriodCompare(p.kind, t, p.start)) return 1;
    if (PeriodCompare(p.kind, t, p.end)) return p.kind == kPeriodWeek ? 1 : 2;
    return 0;
}

// ---------------------------------------------------------------- record operations

u32 SchPeriodGetTimePart(const CRecord* period, u8 field, u32 part) {
    static const u32 kMin[kSchPartCount] = {0, 0, 0, 1, 1, 1, 0};
    if (part >= kSchPartCount) return 0;
    u32 v = 0;
    if (period->GetArrayCount(field) > part)
        v = static_cast<const u32*>(period->GetArrayData(field))[part];
    return std::max(v, kMin[part]);
}

void SchPeriodSetTimePart(CRecord* period, LHandler* ctx, u8 field, u32 part, u32 value) {
    const u32 zero = 0;
    period->GrowArray(ctx, field, &zero, part + 1);
    if (period->GetArrayCount(field) > part) period->SetArrayElement(ctx, field, part, &value);
}

void InsertNewScheduleEvent(CRecord* schedule, LHandler* ctx, u32 index) {
    const CRecordSchema* evs = CRecordSchema::Find(kFamKvt, kKindScev);
    const CRecordSchema* exs = CRecordSchema::Find(kFamKvt, kKindScex);
    if (!evs || !exs) return;
    CRecord* ev = CRecord::New(evs);
    if (!ev) return;
    if (CRecord* ex = CRecord::New(exs)) ev->ReplaceChild(nullptr, ScevF::axud, ex);
    schedule->InsertItem(ctx, SchdF::flts, std::min(index, schedule->GetListCount(SchdF::flts)),
                         ev);
}

i32 SchEventAddPeriod(CRecord* event, LHandler* ctx) {
    const CRecordSchema* ps = CRecordSchema::Find(kFamKvt, kKindScep);
    CRecord* p = ps ? CRecord::New(ps) : nullptr;
    if (!p) return -1;
    const u32 n = event->GetListCount(ScevF::prds);
    return event->InsertItem(ctx, ScevF::prds, n, p) ? i32(n) : -1;
}

// ---------------------------------------------------------------- compiling

namespace {

void LoadPeriodTime(const CRecord* rec, u8 field, CalDateTime& d) {
    static const u32 kMax[kSchPartCount] = {59, 59, 23, 7, 31, 12, 65535};
    u32 v[kSchPartCount];
    for (u32 i = 0; i < kSchPartCount; ++i)
        v[i] = std::min(SchPeriodGetTimePart(rec, field, i), kMax[i]);
    d.second = u8(v[kSchSecond]);
    d.minute = u8(v[kSchMinute]);
    d.hour = u8(v[kSchHour]);
    d.weekday = u8(v[kSchWeekday] % 7);
    d.day = u8(v[kSchDay]);
    d.month = u8(v[kSchMonth]);
    d.year = u16(v[kSchYear]);
}

}  // namespace

void LoadScheduleEvent(CompiledScheduleEvent& ev, const CRecord* rec) {
    static const u8 kFields[kSchPartCount] = {ScevF::fcps, ScevF::fcpn, ScevF::fcph, ScevF::fcpw,
                                              ScevF::fcpd, ScevF::fcpm, ScevF::fcpy};
    for (u32 i = 0; i < kSchPartCount; ++i)
        SplitAtBar(ev.parts[i], rec->GetString(kFields[i]).CStr());
    ev.periods.clear();
    const u32 n = rec->GetListCount(ScevF::prds);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* pr = rec->GetListItem(ScevF::prds, i);
        SchedulePeriod p;
        // Kinds from files beyond the table compare everything.
        p.kind = std::min<u8>(pr->GetU8(ScepF::rang), kPeriodAbsolute);
        LoadPeriodTime(pr, ScepF::strt, p.start);
        LoadPeriodTime(pr, ScepF::endp, p.end);
        p.wrap = PeriodCompare(p.kind, p.end, p.start);
        p.instant = !p.wrap && !PeriodCompare(p.kind, p.start, p.end);
        ev.periods.push_back(p);
    }
}

// ---------------------------------------------------------------- matching

bool MatchScheduleEvent(const CompiledScheduleEvent& ev, const CalDateTime& t0) {
    CalDateTime t = t0;
    NormaliseDateTime(t);
    // Reused: the searches call this for many seconds.
    thread_local std::vector<CalDateTime> cands, next;
    cands.clear();
    if (ev.periods.empty()) {
        cands.push_back(t);
    } else {
        for (const SchedulePeriod& p : ev.periods) {
            const u32 c = PeriodContains(p, t);
            if (!c) continue;
            CalDateTime copy = t;
            if (c == 2) CycleBack(p.kind, copy);
            cands.push_back(copy);
        }
    }
    static const u32 kOrder[kSchPartCount] = {kSchSecond, kSchMinute, kSchHour, kSchWeekday,
                                              kSchDay,    kSchMonth,  kSchYear};
    for (u32 part : kOrder) {
        if (cands.empty()) return false;
        const SchedulePart& sp = ev.parts[part];
        if (!sp.HasCondition()) continue;
        next.clear();
        for (const CalDateTime& c : cands) {
            u32 v = 0;
            switch (part) {
                case kSchSecond:
                    v = c.second;
                    break;
                case kSchMinute:
                    v = c.minute;
                    break;
                case kSchHour:
                    v = c.hour;
                    break;
                case kSchWeekday:
                    v = Weekday17(c);
                    break;
                case kSchDay:
                    v = c.day;
                    break;
                case kSchMonth:
                    v = c.month;
                    break;
                default:
                    v = c.year;
                    break;
            }
            if (part == kSchWeekday) {
                if (sp.direct.Matches(v)) next.push_back(c);
                continue;
            }
            if (part == kSchYear) {
                if (sp.direct.Matches(v) || sp.carry.Matches(v)) next.push_back(c);
                continue;
            }
            if (sp.direct.Matches(v)) next.push_back(c);
            if (sp.carry.Matches(v)) {
                CalDateTime m = c;
                switch (part) {
                    case kSchSecond:
                        DateTime::DecMinute(m);
                        break;
                    case kSchMinute:
                        DateTime::DecHour(m);
                        break;
                    case kSchHour:
                        DateTime::DecDay(m);
                        break;
                    case kSchDay:
                        DateTime::DecMonth(m);
                        break;
                    default:
                        DateTime::DecYear(m);
                        break;
                }
                next.push_back(m);
            }
        }
        cands.swap(next);
    }
    return !cands.empty();
}

// ---------------------------------------------------------------- searching
//
// Both searches walk back over calendar blocks (years, months, days, hours,
// minutes). A block is skipped when no second of it can match, and taken whole
// when every second of it surely matches; only the remaining minutes are looked
// at second by second, with MatchScheduleEvent itself. The level tests below
// follow the candidate moves of the matcher: a carry match moves a candidate at
// most one unit of each larger part back.

namespace {

using Sec = i64;  // seconds since 1970-01-01 00:00:00, local and zone-free

Sec ToSec(const CalDateTime& d) {
    return DaysFromCivil(d.year, d.month, d.day) * 86400 + d.hour * 3600 + d.minute * 60 + d.second;
}

CalDateTime FromSec(Sec s) {
    Sec days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
    Sec rem = s - days * 86400;
    CalDateTime d;
    d.hour = u8(rem / 3600);
    d.minute = u8(rem / 60 % 60);
    d.second = u8(rem % 60);
    d.weekday = u8(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    const Sec z = days + 719468;
    const Sec era = (z >= 0 ? z : z - 146096) / 146097;
    const Sec doe = z - era * 146097;
    const Sec yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const Sec doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const Sec mp = (5 * doy + 2) / 153;
    const Sec day = doy - (153 * mp + 2) / 5 + 1;
    const Sec month = mp < 10 ? mp + 3 : mp - 9;
    d.year = u16(yoe + era * 400 + (month <= 2 ? 1 : 0));
    d.month = u8(month);
    d.day = u8(day);
    return d;
}

const Sec kYearZero = DaysFromCivil(0, 1, 1) * 86400;
constexpr u32 kMaxSearchSteps = 100000;
constexpr u32 kMaxRunSteps = 400000;

enum Level { kLvMinute, kLvHour, kLvDay, kLvMonth, kLvYear };

Sec BlockStart(Level lv, const CalDateTime& d) {
    CalDateTime b = d;
    switch (lv) {
        case kLvYear:
            b.month = 1;
            [[fallthrough]];
        case kLvMonth:
            b.day = 1;
            [[fallthrough]];
        case kLvDay:
            b.hour = 0;
            [[fallthrough]];
        case kLvHour:
            b.minute = 0;
            [[fallthrough]];
        case kLvMinute:
            b.second = 0;
            break;
    }
    return ToSec(b);
}

Sec BlockEnd(Level lv, const CalDateTime& d) {
    CalDateTime b = d;
    switch (lv) {
        case kLvYear:
            b.month = 12;
            [[fallthrough]];
        case kLvMonth:
            b.day = DaysInMonth(b.year, b.month);
            [[fallthrough]];
        case kLvDay:
            b.hour = 23;
            [[fallthrough]];
        case kLvHour:
            b.minute = 59;
            [[fallthrough]];
        case kLvMinute:
            b.second = 59;
            break;
    }
    return ToSec(b);
}

struct Checker {
    const CompiledScheduleEvent& ev;
    bool cover[kSchPartCount];

    explicit Checker(const CompiledScheduleEvent& e) : ev(e) {
        static const u32 kLo[kSchPartCount] = {0, 0, 0, 1, 1, 1, 0};
        static const u32 kHi[kSchPartCount] = {59, 59, 23, 7, 31, 12, 65535};
        for (u32 i = 0; i < kSchPartCount; ++i) {
            const SchedulePart& p = ev.parts[i];
            cover[i] =
                !p.HasCondition() || (i == kSchYear ? false : p.direct.Covers(kLo[i], kHi[i]));
        }
    }

    // Whether the candidate passes the filters from the given part on.
    bool YearOK(const CalDateTime& d) const {
        const SchedulePart& p = ev.parts[kSchYear];
        return !p.HasCondition() || p.direct.Matches(d.year) || p.carry.Matches(d.year);
    }
    template <typename Next>
    bool Step(u32 part, u32 value, const CalDateTime& d, void (*dec)(CalDateTime&),
              Next next) const {
        const SchedulePart& p = ev.parts[part];
        if (!p.HasCondition()) return next(d);
        if (p.direct.Matches(value) && next(d)) return true;
        if (p.carry.Matches(value)) {
            CalDateTime m = d;
            dec(m);
            return next(m);
        }
        return false;
    }
    bool MonthOK(const CalDateTime& d) const {
        return Step(kSchMonth, d.month, d, DateTime::DecYear,
                    [this](const CalDateTime& x) { return YearOK(x); });
    }
    bool DayOK(const CalDateTime& d) const {
        const SchedulePart& w = ev.parts[kSchWeekday];
        if (w.HasCondition() && !w.direct.Matches(Weekday17(d))) return false;
        return Step(kSchDay, d.day, d, DateTime::DecMonth,
                    [this](const CalDateTime& x) { return MonthOK(x); });
    }
    bool HourOK(const CalDateTime& d) const {
        return Step(kSchHour, d.hour, d, DateTime::DecDay,
                    [this](const CalDateTime& x) { return DayOK(x); });
    }
    bool MinuteOK(const CalDateTime& d) const {
        return Step(kSchMinute, d.minute, d, DateTime::DecHour,
                    [this](const CalDateTime& x) { return HourOK(x); });
    }

    bool LevelOK(Level lv, const CalDateTime& d) const {
        switch (lv) {
            case kLvMinute:
                return MinuteOK(d);
            case kLvHour:
                return HourOK(d);
            case kLvDay:
                return DayOK(d);
            case kLvMonth:
                return MonthOK(d);
            default:
                return YearOK(d);
        }
    }
    static void StepBackLevel(Level lv, CalDateTime& d) {
        switch (lv) {
            case kLvMinute:
                DateTime::DecMinute(d);
                break;
            case kLvHour:
                DateTime::DecHour(d);
                break;
            case kLvDay:
                DateTime::DecDay(d);
                break;
            case kLvMonth:
                DateTime::DecMonth(d);
                break;
            default:
                DateTime::DecYear(d);
                break;
        }
    }
    // A candidate in block u reaches the level's test at u or up to two blocks back.
    bool LevelReach(Level lv, CalDateTime u) const {
        const int back = lv == kLvMinute ? 1 : 2;
        for (int i = 0;; ++i) {
            if (LevelOK(lv, u)) return true;
            if (i == back) return false;
            StepBackLevel(lv, u);
        }
    }

    // Which candidate moves the periods can make for seconds of [bs, be]
    // (levels up to a day, where the block is one run of the kinds' parts).
    struct Moves {
        bool any = false;
        bool identity = false;
        bool allIdentity = false;  // some period holds every second unmoved
        u32 allCycles = 0;         // kinds of periods that move every second one cycle back
        u32 cycles = 0;            // bit per kind moved one cycle back
    };
    Moves PeriodMoves(Level lv, Sec bs, Sec be) const {
        Moves m;
        if (ev.periods.empty()) {
            m.any = m.identity = m.allIdentity = true;
            return m;
        }
        if (lv > kLvDay) {
            // Month and year blocks: assume every move.
            m.any = m.identity = true;
            for (const SchedulePeriod& p : ev.periods)
                if (HasCycle(p.kind)) m.cycles |= 1u << p.kind;
            return m;
        }
        const CalDateTime lo = FromSec(bs), hi = FromSec(be);
        for (const SchedulePeriod& p : ev.periods) {
            if (p.instant) continue;
            if (!p.wrap) {
                if (!PeriodCompare(p.kind, hi, p.start) && PeriodCompare(p.kind, lo, p.end)) {
                    m.any = m.identity = true;
                    if (!PeriodCompare(p.kind, lo, p.start) && PeriodCompare(p.kind, hi, p.end))
                        m.allIdentity = true;
                }
                continue;
            }
            const bool inA = !PeriodCompare(p.kind, hi, p.start);  // value 1
            const bool inB = PeriodCompare(p.kind, lo, p.end);     // value 2
            if (inA) m.any = m.identity = true;
            if (inB) {
                m.any = true;
                if (HasCycle(p.kind))
                    m.cycles |= 1u << p.kind;
                else
                    m.identity = true;
            }
            const bool allA = !PeriodCompare(p.kind, lo, p.start);
            const bool allB = PeriodCompare(p.kind, hi, p.end);
            if (allA || (allB && !HasCycle(p.kind)))
                m.allIdentity = true;
            else if (allB)
                m.allCycles |= 1u << p.kind;
        }
        return m;
    }

    // False only when no second of the block [bs, be] can match.
    bool CouldMatch(Level lv, Sec bs, Sec be) const {
        const Moves m = PeriodMoves(lv, bs, be);
        if (!m.any) return false;
        const CalDateTime a = FromSec(bs), b = FromSec(be);
        if (m.identity && (LevelReach(lv, a) || LevelReach(lv, b))) return true;
        for (u8 k = 0; k < kPeriodAbsolute; ++k) {
            if (!(m.cycles & (1u << k))) continue;
            CalDateTime ua = a, ub = b;
            CycleBack(k, ua);
            CycleBack(k, ub);
            if (LevelReach(lv, ua) || LevelReach(lv, ub)) return true;
        }
        return false;
    }

    // True only when every second of the block [bs, be] matches.
    bool AllMatch(Level lv, Sec bs, Sec be) const {
        if (lv > kLvDay && !ev.periods.empty()) return false;
        switch (lv) {
            case kLvYear:
                if (!cover[kSchMonth]) return false;
                [[fallthrough]];
            case kLvMonth:
                if (!cover[kSchDay] || !cover[kSchWeekday]) return false;
                [[fallthrough]];
            case kLvDay:
                if (!cover[kSchHour]) return false;
                [[fallthrough]];
            case kLvHour:
                if (!cover[kSchMinute]) return false;
                [[fallthrough]];
            case kLvMinute:
                if (!cover[kSchSecond]) return false;
                break;
        }
        const Moves m = PeriodMoves(lv, bs, be);
        if (m.allIdentity && LevelOK(lv, FromSec(bs))) return true;
        // A cycle no shorter than the block moves the whole block into one block.
        for (u8 k = 0; k < kPeriodAbsolute; ++k) {
            if (!(m.allCycles & (1u << k)) || u32(k) < u32(lv)) continue;
            CalDateTime u = FromSec(bs);
            CycleBack(k, u);
            if (LevelOK(lv, u)) return true;
        }
        return false;
    }

    bool Match(Sec s) const { return MatchScheduleEvent(ev, FromSec(s)); }
};

// Latest matching second in [limit, from].
bool SearchBack(const Checker& ck, Sec from, Sec limit, Sec* found) {
    static const Level kLevels[] = {kLvYear, kLvMonth, kLvDay, kLvHour, kLvMinute};
    Sec s = from;
    u32 steps = 0;
    while (s >= limit && steps++ < kMaxSearchSteps) {
        const CalDateTime d = FromSec(s);
        bool skipped = false;
        for (Level lv : kLevels) {
            const Sec bs = BlockStart(lv, d);
            if (!ck.CouldMatch(lv, bs, BlockEnd(lv, d))) {
                s = bs - 1;
                skipped = true;
                break;
            }
        }
        if (skipped) continue;
        const Sec ms = std::max(BlockStart(kLvMinute, d), limit);
        for (Sec x = s; x >= ms; --x) {
            if (ck.Match(x)) {
                *found = x;
                return true;
            }
        }
        s = ms - 1;
    }
    return false;
}

// Earliest second of the run of matching seconds that ends at p, not before clip.
Sec RunStart(const Checker& ck, Sec p, Sec clip) {
    static const Level kLevels[] = {kLvYear, kLvMonth, kLvDay, kLvHour, kLvMinute};
    Sec s = p;
    for (u32 steps = 0; steps < kMaxRunSteps; ++steps) {
        if (s <= clip || s <= kYearZero) return std::max(s, std::max(clip, kYearZero));
        const Sec x = s - 1;
        const CalDateTime d = FromSec(x);
        bool whole = false;
        for (Level lv : kLevels) {
            const Sec bs = BlockStart(lv, d);
            if (ck.AllMatch(lv, bs, BlockEnd(lv, d))) {
                s = bs;
                whole = true;
                break;
            }
        }
        if (whole) continue;
        if (!ck.Match(x)) return s;
        s = x;
    }
    return s;
}

// The latest second not after p whose kind parts are the period's start.
bool PeriodStretchStart(const SchedulePeriod& per, Sec p, Sec* out) {
    const CalDateTime pd = FromSec(p);
    CalDateTime d = pd;
    switch (per.kind) {
        case kPeriodMinute:
        case kPeriodHour:
        case kPeriodDay: {
            PeriodCopyParts(per.kind, d, per.start);
            Sec s = ToSec(d);
            if (s > p) {
                CycleBack(per.kind, d);
                s = ToSec(d);
            }
            *out = s;
            return true;
        }
        case kPeriodWeek: {
            d.hour = per.start.hour;
            d.minute = per.start.minute;
            d.second = per.start.second;
            Sec s = ToSec(d);
            for (int i = 0; i < 8; ++i, s -= 86400)
                if (s <= p && FromSec(s).weekday == per.start.weekday) {
                    *out = s;
                    return true;
                }
            return false;
        }
        case kPeriodMonth:
        case kPeriodYear: {
            // A start day that the cycle lacks (the 31st, 29 February) opens the
            // stretch at the first second after it, or not at all in a month: the
            // stretch then begins with the cycle that holds p, never a cycle earlier.
            CalDateTime cycle = pd;
            cycle.day = 1;
            if (per.kind == kPeriodYear) cycle.month = 1;
            cycle.hour = cycle.minute = cycle.second = 0;
            auto firstFrom = [&per](const CalDateTime& c, Sec* at) {
                CalDateTime s = c;
                PeriodCopyParts(per.kind, s, per.start);
                if (!IsValidDateTime(s)) {
                    if (per.kind == kPeriodMonth || s.month >= 12) return false;
                    s.month = u8(s.month + 1);
                    s.day = 1;
                    s.hour = s.minute = s.second = 0;
                }
                *at = ToSec(s);
                return true;
            };
            if (PeriodContains(per, pd) == 1) return firstFrom(cycle, out) && *out <= p;
            CalDateTime previous = cycle;
            if (per.kind == kPeriodMonth ? (cycle.year > 0 || cycle.month > 1) : cycle.year > 0) {
                CycleBack(per.kind, previous);
                if (firstFrom(previous, out)) return true;
            }
            *out = ToSec(cycle);
            return true;
        }
        default:
            if (!IsValidDateTime(per.start)) return false;
            *out = ToSec(per.start);
            return *out <= p;
    }
}

bool PrevOccurrence(const Checker& ck, Sec t, Sec* found) {
    return t > kYearZero && SearchBack(ck, t - 1, kYearZero, found);
}

Sec OccurrenceStart(const Checker& ck, Sec p) {
    const CalDateTime pd = FromSec(p);
    Sec clip = kYearZero;
    for (const SchedulePeriod& per : ck.ev.periods) {
        Sec st;
        if (PeriodContains(per, pd) && PeriodStretchStart(per, p, &st)) clip = std::max(clip, st);
    }
    return RunStart(ck, p, clip);
}

CalDateTime Normalised(const CalDateTime& t) {
    CalDateTime d = t;
    NormaliseDateTime(d);
    return d;
}

}  // namespace

bool FindPrevOccurrence(const CompiledScheduleEvent& ev, CalDateTime& t) {
    Checker ck(ev);
    Sec found;
    if (!PrevOccurrence(ck, ToSec(Normalised(t)), &found)) return false;
    t = FromSec(found);
    return true;
}

bool FindOccurrenceStart(const CompiledScheduleEvent& ev, CalDateTime& t) {
    const CalDateTime d = Normalised(t);
    if (!MatchScheduleEvent(ev, d)) return false;
    Checker ck(ev);
    t = FromSec(OccurrenceStart(ck, ToSec(d)));
    return true;
}

i32 FindActiveScheduleEntry(const CRecord* schedule, const CalDateTime& t0) {
    if (!schedule) return -1;
    const CalDateTime t = Normalised(t0);
    const Sec now = ToSec(t);
    Sec best = kYearZero;
    CompiledScheduleEvent ev;
    const u32 n = schedule->GetListCount(SchdF::flts);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* rec = schedule->GetListItem(SchdF::flts, i);
        LoadScheduleEvent(ev, rec);
        if (MatchScheduleEvent(ev, t)) return i32(i);
        Checker ck(ev);
        Sec p;
        if (!PrevOccurrence(ck, now, &p)) continue;
        if (best > p) continue;
        const Sec s = OccurrenceStart(ck, p);
        Sec dur = 0;
        if (const CRecord* ex = rec->GetChild(ScevF::axud);
            ex && ex->Family() == kFamKvt && ex->Kind() == kKindScex)
            dur = ex->GetU32(ScexF::tmdr);
        const Sec w = std::max(p + 1, std::max(best, s) + dur);
        if (now < w) return i32(i);
        best = w;
    }
    return -1;
}
