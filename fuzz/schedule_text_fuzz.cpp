// Schedule condition texts come from setting files and devices.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "records/Schedule.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back(0);

    RangeList r;
    r.Parse(text.data());
    for (u32 i = 0; i < r.Count(); ++i)
        if (!r.Matches(r.At(i).lo) || !r.Matches(r.At(i).hi)) std::abort();

    SchedulePart part;
    SplitAtBar(part, text.data());
    if (!std::strchr(text.data(), '|') && !part.carry.Empty()) std::abort();

    // The same text as every condition of an event, matched at a date from the input.
    CompiledScheduleEvent ev;
    for (SchedulePart& p : ev.parts) SplitAtBar(p, text.data());
    CalDateTime t;
    if (size >= sizeof t) std::memcpy(&t, data, sizeof t);
    NormaliseDateTime(t);
    MatchScheduleEvent(ev, t);
    return 0;
}
