#include "records/MediaIndex.h"

#include <cstring>
#include <map>

#include "records/DeviceKinds.h"
#include "records/ShowOpsSupport.h"

using showops::NewOf;

namespace {
int NameCompare(const LString& a, const char* b) {
    return std::strcmp(a.CStr(), b ? b : "");
}

u32 MediaLowerBound(const CRecord* index, const char* name, bool* found) {
    u32 lo = 0, hi = index->GetListCount(MdisF::meds);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (NameCompare(index->GetListItem(MdisF::meds, mid)->GetString(MdifF::name), name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    *found = lo < index->GetListCount(MdisF::meds) &&
             NameCompare(index->GetListItem(MdisF::meds, lo)->GetString(MdifF::name), name) == 0;
    return lo;
}
}  // namespace

CRecord* FindMediaFile(const CRecord* index, const char* name) {
    bool found;
    const u32 i = MediaLowerBound(index, name, &found);
    return found ? index->GetListItem(MdisF::meds, i) : nullptr;
}

CRecord* AddMediaFile(CRecord* index, u8 kind, const char* name) {
    bool found;
    const u32 i = MediaLowerBound(index, name, &found);
    if (found) return index->GetListItem(MdisF::meds, i);
    CRecord* m = NewOf(kFamKvs, kKindMdif);
    if (!m) return nullptr;
    m->SetU8(nullptr, MdifF::kind, kind);
    m->SetString(nullptr, MdifF::name, LString(name ? name : ""));
    return index->InsertItem(nullptr, MdisF::meds, i, m) ? m : nullptr;
}

void RemoveMediaFile(CRecord* index, const char* name) {
    bool found;
    const u32 i = MediaLowerBound(index, name, &found);
    if (found) index->RemoveItem(nullptr, MdisF::meds, i);
}

void ListMediaFilesOfKind(const CRecord* index, u8 kind, CStrArray* names) {
    const u32 n = index->GetListCount(MdisF::meds);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* m = index->GetListItem(MdisF::meds, i);
        if (m->GetU8(MdifF::kind) == kind)
            names->InsertAt(names->Count(), m->GetString(MdifF::name));
    }
}

LString& StripExtension(LString* out, const char* name) {
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    *out = dot ? LString(name, u32(dot - name)) : LString(name ? name : "");
    return *out;
}

namespace {
std::map<const CRecord*, u32>& Holds() {
    static std::map<const CRecord*, u32> holds;
    return holds;
}
}  // namespace

void HoldMediaIndex(const CRecord* index) {
    if (index) ++Holds()[index];
}

void ReleaseMediaIndex(const CRecord* index) {
    auto it = Holds().find(index);
    if (it != Holds().end() && --it->second == 0) Holds().erase(it);
}

bool IsMediaIndexHeld(const CRecord* index) {
    return Holds().count(index) != 0;
}
