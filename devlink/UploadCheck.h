#pragma once
// Whether a device holds an uploaded file, read off its folder listings. The
// transfer alone cannot always tell: a device acknowledges a block it drops for
// arriving early exactly as one it keeps, and when such blocks also reach us out of
// order, a transfer it never completed looks complete. A device renames an upload
// into place only once every block arrived, so the listing after the upload shows
// the file (of the size sent, with a change text other than before) or shows that
// it did not arrive.

#include "base/LString.h"
#include "base/Types.h"

// One line of a folder listing ("/.cmd/fmls//" + folder): name, size, change text.
struct CListedFile {
    bool found = false;
    u64 size = 0;
    LString change;
};

// The listing's line of that name (compared byte for byte); found false when none.
// A size that is not a plain decimal number counts as no size at all.
CListedFile FindListedFile(const void* listing, u64 length, const char* name);

// The upload of sentSize bytes is in place: listed after it with that size, and,
// when the name was listed before, with another change text (a device that kept
// the old file of the same size still lists it unchanged).
bool UploadInPlace(const CListedFile& before, const CListedFile& after, u64 sentSize);

// The listing request of the folder that holds a device path ("/sdc/f/a.drc" ->
// "/.cmd/fmls///sdc/f"); empty when the path names no folder.
LString FolderListingPath(const char* devicePath);
