#pragma once
// Schedule events compiled into range lists: does a local date-time match an
// event, when did it last occur, where did that occurrence start, and which
// event of a schedule is in effect at a given time.

#include <vector>

#include "base/Calendar.h"
#include "base/Types.h"

class CRecord;
class LHandler;

struct RangePair {
    u32 lo;
    u32 hi;
};

// Values matched by a condition text such as "1,3 5-9".
class RangeList {
public:
    // Numbers and ranges a-b; every other character separates items. A range
    // a-b adds {a, a} and, when a <= b, {a, b}: "10-5" matches only 10.
    void Parse(const char* text);
    void Clear() { fPairs.clear(); }
    bool Empty() const { return fPairs.empty(); }
    bool Matches(u32 value) const;
    // True when every value lo..hi matches.
    bool Covers(u32 lo, u32 hi) const;
    u32 Count() const { return u32(fPairs.size()); }
    const RangePair& At(u32 i) const { return fPairs[i]; }

private:
    std::vector<RangePair> fPairs;
};

// One part's condition: values of the part itself, and values that belong to the
// previous unit of the next larger part (the text after '|').
struct SchedulePart {
    RangeList direct;
    RangeList carry;
    bool HasCondition() const { return !direct.Empty() || !carry.Empty(); }
};

void SplitAtBar(SchedulePart& part, const char* text);

// Part indexes, also the element order of a period's `strt` and `endp`.
enum : u32 {
    kSchSecond = 0,
    kSchMinute,
    kSchHour,
    kSchWeekday,
    kSchDay,
    kSchMonth,
    kSchYear,
    kSchPartCount
};

// Period kinds: what repeats (minute, hour, day, week, month, year, never).
enum : u8 {
    kPeriodMinute = 0,
    kPeriodHour,
    kPeriodDay,
    kPeriodWeek,
    kPeriodMonth,
    kPeriodYear,
    kPeriodAbsolute
};

struct SchedulePeriod {
    u8 kind = kPeriodAbsolute;
    CalDateTime start{2020, 1, 1, 3, 0, 0, 0};
    CalDateTime end{2020, 1, 1, 3, 0, 0, 0};
    bool wrap = false;     // the end is earlier than the start in the kind's parts
    bool instant = false;  // start and end are equal in the kind's parts
};

// 0 outside, 1 inside, 2 inside the wrapped part (weekly periods give 1 there).
u32 PeriodContains(const SchedulePeriod& period, const CalDateTime& t);
// True when a is earlier than b in the parts the kind compares.
bool PeriodCompare(u8 kind, const CalDateTime& a, const CalDateTime& b);
void PeriodCopyParts(u8 kind, CalDateTime& destination, const CalDateTime& source);

struct CompiledScheduleEvent {
    SchedulePart parts[kSchPartCount];
    std::vector<SchedulePeriod> periods;
};

// Reads the seven condition texts and the periods of a 'SCEV'.
void LoadScheduleEvent(CompiledScheduleEvent& event, const CRecord* record);
bool MatchScheduleEvent(const CompiledScheduleEvent& event, const CalDateTime& t);
// The latest matching second before t (t is replaced). False when the bounded
// search finds none.
bool FindPrevOccurrence(const CompiledScheduleEvent& event, CalDateTime& t);
// For a matching t: the first second of the run of matching seconds holding t,
// not before the start of the period stretch that holds t. A run that never
// ends going back starts on 1 January of year 0.
bool FindOccurrenceStart(const CompiledScheduleEvent& event, CalDateTime& t);
// The index of the event of a 'SCHD' in effect at t, or -1.
i32 FindActiveScheduleEntry(const CRecord* schedule, const CalDateTime& t);

// ---- schedule record operations

// A new 'SCEV' with an execution record, inserted into `flts` at index.
void InsertNewScheduleEvent(CRecord* schedule, LHandler* ctx, u32 index);
// Appends a new 'SCEP' to `prds`; its index, -1 when the insert fails.
i32 SchEventAddPeriod(CRecord* event, LHandler* ctx);
// Element part (second .. year) of `strt` or `endp`, raised to the part's minimum.
u32 SchPeriodGetTimePart(const CRecord* period, u8 field, u32 part);
void SchPeriodSetTimePart(CRecord* period, LHandler* ctx, u8 field, u32 part, u32 value);
