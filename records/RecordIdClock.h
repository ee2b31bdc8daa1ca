#pragma once
// The id clock: record ids start from the seconds since 2022-07-03 00:00:00 UTC.

#include "base/Calendar.h"

// Whole seconds (rounded to nearest, saturating) from the epoch to now.
i32 RecordIdClock();
// The same for a given absolute time.
i32 RecordIdClockAt(AbsTime now);
