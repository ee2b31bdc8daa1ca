#include "records/RecordIdClock.h"

namespace {
// From the calendar fields alone, so that it is right whenever it is first asked
// for, static initialisation included.
AbsTime Epoch() {
    static const AbsTime epoch = double(DaysFromCivil(2022, 7, 3)) * 86400.0 - kAbsTimeUnixOffset;
    return epoch;
}
[[maybe_unused]] const AbsTime sEpochAtStart = Epoch();
}  // namespace

i32 RecordIdClockAt(AbsTime now) {
    return AbsTimeDiffSeconds(now, Epoch());
}

i32 RecordIdClock() {
    return RecordIdClockAt(GetAbsTimeNow());
}
