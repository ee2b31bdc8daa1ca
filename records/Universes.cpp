#include "records/Universes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "records/DeviceKinds.h"
#include "records/ShowKinds.h"
#include "records/ShowOpsSupport.h"

using showops::NewOf;

namespace {
u32 UniverseLowerBound(const CRecord* status, u32 univ) {
    u32 lo = 0, hi = status->GetListCount(DrcStatF::unvs);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (status->GetListItem(DrcStatF::unvs, mid)->GetU32(UnvsF::univ) < univ)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}
}  // namespace

CRecord* FindUniverseRec(const CRecord* status, u32 univ) {
    const u32 i = UniverseLowerBound(status, univ);
    if (i < status->GetListCount(DrcStatF::unvs)) {
        CRecord* u = status->GetListItem(DrcStatF::unvs, i);
        if (u->GetU32(UnvsF::univ) == univ) return u;
    }
    return nullptr;
}

CRecord* FindOrAddUniverseRec(CRecord* status, u32 univ) {
    if (CRecord* u = FindUniverseRec(status, univ)) return u;
    CRecord* u = NewOf(kFamDrc, kKindUnvs);
    if (!u) return nullptr;
    u->SetU32(nullptr, UnvsF::univ, univ);
    const u32 pos = UniverseLowerBound(status, univ);
    return status->InsertItem(nullptr, DrcStatF::unvs, pos, u) ? u : nullptr;
}

void ClearUniverseRecs(CRecord* status) {
    for (u32 n = status->GetListCount(DrcStatF::unvs); n > 0; --n)
        status->RemoveItem(nullptr, DrcStatF::unvs, n - 1);
}

void SetUniverseRecData(CRecord* universe, const u8* bytes, u32 length) {
    if (universe->GetArrayCount(UnvsF::stat) == length &&
        (length == 0 || std::memcmp(universe->GetArrayData(UnvsF::stat), bytes, length) == 0))
        return;
    universe->SetArray(nullptr, UnvsF::stat, bytes, length);
}

u32 InsertNewUvadRecord(CRecord* record, LHandler* ctx, u32 index) {
    index = std::min(index, record->GetListCount(0));
    if (CRecord* u = NewOf(kFamKvt, kKindUvad)) record->InsertItem(ctx, 0, index, u);
    return index;
}

void FormatArtNetPortAddress(i32 address, char out[10]) {
    const u32 a = u32(address);
    std::snprintf(out, 10, "%3u/%2u/%2u", (a >> 8) & 0x7F, (a >> 4) & 0xF, a & 0xF);
}

void FormatSacnUniverse(u32 universe, char out[6]) {
    // Five characters hold at most 99999, the value shown for universe 99998.
    if (universe >= 99999) {
        std::snprintf(out, 6, "%5s", "?");
        return;
    }
    std::snprintf(out, 6, "%5u", universe + 1);
}
