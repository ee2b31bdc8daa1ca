#include "devlink/ListingLines.h"

#include "base/Calendar.h"

CListingLines::CListingLines(const void* bytes, u64 length) {
    const u8* p = static_cast<const u8*>(bytes);
    u32 n = p ? (length > 0xFFFFFFFFu ? 0xFFFFFFFFu : u32(length)) : 0;
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        p += 3;
        n -= 3;
    }
    fReader.Init(p, n);
}

bool CListingLines::Next() {
    if (fDone) return false;
    for (LTextStream& f : fields) f.Clear();
    got = 0;
    while (got < 3 && CsvReadField(fReader, fields[got])) ++got;
    // The rest of the line, whatever it holds.
    fDone = !ReaderSkipLine(fReader);
    return true;
}
