#include "devlink/UploadCheck.h"

#include <cstring>

#include "devlink/ListingLines.h"

namespace {

bool ParseSize(const LTextStream& text, u64* out) {
    const char* s = text.CStr();
    if (!*s) return false;
    u64 v = 0;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return false;
        const u64 next = v * 10 + u64(*s - '0');
        if (next / 10 != v) return false;  // more than 64 bits
        v = next;
    }
    *out = v;
    return true;
}

}  // namespace

CListedFile FindListedFile(const void* listing, u64 length, const char* name) {
    CListedFile found;
    const u32 nameLen = u32(std::strlen(name));
    for (CListingLines line(listing, length); line.Next();) {
        const LTextStream* fields = line.fields;
        const u32 got = line.got;
        if (got > 0 && fields[0].Length() == nameLen &&
            std::memcmp(fields[0].CStr(), name, nameLen) == 0 && !found.found) {
            u64 size = 0;
            // A line we cannot read says nothing about the file: as good as missing.
            if (got >= 2 && ParseSize(fields[1], &size)) {
                found.found = true;
                found.size = size;
                found.change = LString(fields[2].CStr());
            }
        }
    }
    return found;
}

bool UploadInPlace(const CListedFile& before, const CListedFile& after, u64 sentSize) {
    if (!after.found || after.size != sentSize) return false;
    if (!before.found) return true;
    return !(after.change.Length() == before.change.Length() &&
             std::memcmp(after.change.CStr(), before.change.CStr(), after.change.Length()) == 0);
}

LString FolderListingPath(const char* devicePath) {
    const char* slash = std::strrchr(devicePath, '/');
    if (!slash || slash == devicePath) return LString();
    LTextStream path;
    path.Put("/.cmd/fmls//");
    path.Put(LString(devicePath, u32(slash - devicePath)).CStr());
    return LString(path.CStr());
}
