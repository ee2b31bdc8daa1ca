#include "records/NsqSets.h"

#include <algorithm>

#include "records/NsqPrefKinds.h"
#include "records/RecordIdClock.h"
#include "records/Sequences.h"
#include "records/ShowOpsSupport.h"

using showops::FindIndexById;
using showops::NewOf;
using showops::OpenGroup;

i32 NSqSetFindSeqIndex(const CRecord* set, u32 id) {
    return FindIndexById(set, SsetF::seqs, SseqF::sqid, id);
}

CRecord* NSqSetFindSeq(const CRecord* set, u32 id) {
    const i32 i = NSqSetFindSeqIndex(set, id);
    return i < 0 ? nullptr : set->GetListItem(SsetF::seqs, u32(i));
}

namespace {
u32 FreshNsqId(const CRecord* set) {
    u32 id = u32(RecordIdClock());
    while (id == 0 || NSqSetFindSeqIndex(set, id) >= 0) ++id;
    return id;
}
}  // namespace

u32 NSqSetNewSeq(CRecord* set, LHandler* ctx, u32 position) {
    CRecord* seq = NSqNewSeq();
    if (!seq) return position;
    seq->SetU32(nullptr, SseqF::sqid, FreshNsqId(set));
    position = std::min(position, set->GetListCount(SsetF::seqs));
    set->InsertItem(ctx, SsetF::seqs, position, seq);
    return position;
}

void NSqSetInsertSeq(CRecord* set, LHandler* ctx, u32 position, CRecord* seq, bool rename) {
    if (!seq) return;
    const u32 id = seq->GetU32(SseqF::sqid);
    if (id == 0 || NSqSetFindSeqIndex(set, id) >= 0)
        seq->SetU32(nullptr, SseqF::sqid, FreshNsqId(set));
    if (rename)
        seq->SetString(
            nullptr, SseqF::name,
            MakeUniqueName(set, SsetF::seqs, SseqF::name, seq->GetString(SseqF::name), seq));
    set->InsertItem(ctx, SsetF::seqs, std::min(position, set->GetListCount(SsetF::seqs)), seq);
}

void NSqSetRemoveSeq(CRecord* set, LHandler* ctx, u32 index) {
    if (index < set->GetListCount(SsetF::seqs)) set->RemoveItem(ctx, SsetF::seqs, index);
}

void NSqSetRemoveAllSeqs(CRecord* set) {
    for (u32 n = set->GetListCount(SsetF::seqs); n > 0; --n)
        set->RemoveItem(nullptr, SsetF::seqs, n - 1);
}

u32 NSqSeqAddTrack(CRecord* sequence, LHandler* ctx, u32 position) {
    CRecord* trk = NSqNewTrack();
    position = std::min(position, sequence->GetListCount(SseqF::trks));
    if (trk) sequence->InsertItem(ctx, SseqF::trks, position, trk);
    return position;
}

// How many scenes start at or before time; the scenes are sorted by their unsigned times.
static u32 ScenesUpTo(const CRecord* track, u32 time) {
    u32 lo = 0, hi = track->GetListCount(StrkF::scns);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (track->GetListItem(StrkF::scns, mid)->GetU32(SscnF::time) <= time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

u32 NSqTrkInsertScene(CRecord* track, LHandler* ctx, CRecord* scene) {
    if (!scene) return 0;
    // Times are unsigned; compare them as such.
    const u32 time = scene->GetU32(SscnF::time);
    const u32 at = ScenesUpTo(track, time);
    track->InsertItem(ctx, StrkF::scns, at, scene);
    return at;
}

u32 NSqTrkAddScene(CRecord* track, LHandler* ctx, u32 time, u32 itemKind) {
    CRecord* scene = NSqNewScene();
    if (!scene) return 0;
    scene->SetU32(nullptr, SscnF::time, time);
    if (CRecord* item = NewOf(kFamNsq, itemKind)) scene->ReplaceChild(nullptr, SscnF::prms, item);
    return NSqTrkInsertScene(track, ctx, scene);
}

void NSqTrkRemoveScene(CRecord* track, LHandler* ctx, u32 index) {
    if (index < track->GetListCount(StrkF::scns)) track->RemoveItem(ctx, StrkF::scns, index);
}

i32 NSqTrkFindSceneAt(const CRecord* track, u32 time) {
    return i32(ScenesUpTo(track, time)) - 1;
}

void NSqTrkSetSceneTime(CRecord* track, LHandler* ctx, u32 index, u32 time) {
    const u32 n = track->GetListCount(StrkF::scns);
    if (index >= n) return;
    auto group = OpenGroup(ctx, track);
    track->GetListItem(StrkF::scns, index)->SetU32(ctx, SscnF::time, time);
    const bool before =
        index > 0 && track->GetListItem(StrkF::scns, index - 1)->GetU32(SscnF::time) > time;
    const bool after =
        index + 1 < n && track->GetListItem(StrkF::scns, index + 1)->GetU32(SscnF::time) < time;
    if (!before && !after) return;
    if (CRecord* taken = track->DetachItem(ctx, StrkF::scns, index))
        NSqTrkInsertScene(track, ctx, taken);
}

u32 ChildTypeTag(const CRecord* record) {
    const CRecord* c = record->FieldCount() > 1 && record->Desc(1).type == kRecChild
                           ? record->GetChild(1)
                           : nullptr;
    return c ? c->Kind() : 0;
}
