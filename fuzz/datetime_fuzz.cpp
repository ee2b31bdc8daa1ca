// Date-time, timecode and CSV text from devices and files.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/Calendar.h"
#include "base/CharReader.h"
#include "base/LTextSink.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // The caller's starting fields come from the input too and may be out of range.
    CalDateTime start;
    if (size > 0) std::memcpy(&start, data, size >= sizeof start ? sizeof start : size);
    std::vector<char> text(data, data + size);
    text.push_back(0);

    CalDateTime d = start;
    const i32 offset = size >= 4 ? i32(data[size - 1]) * 600 - 76800 : 0;
    if (ParseIsoDateTime(d, text.data(), offset)) {
        if (!IsValidDateTime(d) || d.weekday != WeekdayOf(d.year, d.month, d.day)) std::abort();
    } else if (std::memcmp(&d, &start, sizeof d) != 0) {
        std::abort();  // a refused text leaves the date-time alone
    }

    for (u32 rate : {1u, 25u, 29u, 30u, 100u}) {
        Timecode tc;
        tc.Init(rate);
        tc.Parse(text.data());
        const u32 f = Timecode::CountedRate(rate);
        if (tc.minutes > 59 || tc.seconds > 59 || tc.frames >= f) std::abort();
        LTextStream out;
        tc.Format(out);
        tc.FromUnits(tc.ToUnits(1000), 1000);
        if (tc.hours > 23 || tc.minutes > 59 || tc.seconds > 59 || tc.frames >= f) std::abort();
    }

    LMemReader reader(data, u32(size));
    for (int guard = 0; guard < 100000; ++guard) {
        LTextStream field;
        if (!CsvReadField(reader, field) && !ReaderSkipLine(reader)) break;
    }
    return 0;
}
