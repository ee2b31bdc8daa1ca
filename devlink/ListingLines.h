#pragma once
// The lines of a device's folder listing: CSV lines of name, size and change
// text, maybe behind a UTF-8 byte order mark, ended by LF, CR or CR LF.

#include "base/CharReader.h"
#include "base/LTextSink.h"
#include "base/Types.h"

class CListingLines {
public:
    CListingLines(const void* bytes, u64 length);

    // Reads the next line's first three fields (got: how many) and passes over
    // the rest of it. False once the listing is used up; an empty listing still
    // gives one line without fields.
    bool Next();

    LTextStream fields[3];
    u32 got = 0;

private:
    LMemReader fReader;
    bool fDone = false;
};
