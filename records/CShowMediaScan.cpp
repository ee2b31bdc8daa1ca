#include "records/CShowMediaScan.h"

#include "base/LTextSink.h"
#include "base/Paths.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

constexpr u32 kRecordings = 0;
constexpr u32 kAudio = 1;

bool Contains(const CStrArray& list, const char* text) {
    for (u32 i = 0; i < list.Count(); ++i)
        if (list.At(i) == text) return true;
    return false;
}

// The schema says what a field holds; a record of another kind is never read as one.
bool IsKind(const CRecord* r, u32 family, u32 kind) {
    return r && r->Family() == family && r->Kind() == kind;
}

u32 ListCount(const CRecord* r, u8 field) {
    return r ? r->GetListCount(field) : 0;
}

const LString* ClipName(const CRecord* scene) {
    const CRecord* clip =
        IsKind(scene, kFamKvt, kKindScen) ? scene->GetChild(ScenF::ctdr) : nullptr;
    return IsKind(clip, kFamKvt, kKindSnct) ? &clip->GetString(SnctF::flnm) : nullptr;
}

}  // namespace

void CShowMediaScan::AddName(const LString& path) {
    if (path.IsEmpty() || Contains(fPresent, path.CStr())) return;
    fPresent.InsertAt(fPresent.Count(), path);
}

void CShowMediaScan::Check(const LString& name, u32 which) {
    if (name.IsEmpty()) return;
    if (!fContents || NodeListFindLast(fContents, which, name.CStr()) < 0) {
        if (!Contains(fMissing, name.CStr())) fMissing.InsertAt(fMissing.Count(), name);
        return;
    }
    LTextStream path;
    path.Put(which == kRecordings ? kRecordingsLeaf : kAudioLeaf);
    path.PutChar('/');
    path.Put(name.CStr());
    AddName(LString(path.CStr()));
}

void CShowMediaScan::ScanShow(const CRecord* settings) {
    if (!IsKind(settings, kFamKvt, kKindSqst)) return;
    for (u32 i = 0, n = ListCount(settings, SqstF::sqcs); i < n; ++i) {
        const CRecord* seq = settings->GetListItem(SqstF::sqcs, i);
        if (!IsKind(seq, kFamKvt, kKindSqnc)) continue;
        // DMX scenes name recordings; the aux scenes carry audio in the same clip.
        for (const u32 which : {kRecordings, kAudio}) {
            const u8 field = which == kRecordings ? SqncF::scns : SqncF::auss;
            for (u32 k = 0, m = ListCount(seq, field); k < m; ++k)
                if (const LString* name = ClipName(seq->GetListItem(field, k))) Check(*name, which);
        }
    }
    const CRecord* set = settings->GetChild(SqstF::nsqs);
    if (!IsKind(set, kFamNsq, kKindSset)) return;
    for (u32 i = 0, n = ListCount(set, SsetF::seqs); i < n; ++i) {
        const CRecord* seq = set->GetListItem(SsetF::seqs, i);
        if (!IsKind(seq, kFamNsq, kKindSseq)) continue;
        for (u32 t = 0, tn = ListCount(seq, SseqF::trks); t < tn; ++t) {
            const CRecord* track = seq->GetListItem(SseqF::trks, t);
            if (!IsKind(track, kFamNsq, kKindStrk)) continue;
            for (u32 s = 0, sn = ListCount(track, StrkF::scns); s < sn; ++s) {
                const CRecord* scene = track->GetListItem(StrkF::scns, s);
                const CRecord* item =
                    IsKind(scene, kFamNsq, kKindSscn) ? scene->GetChild(SscnF::prms) : nullptr;
                // Sequence references and video are not media of the card's two lists.
                if (IsKind(item, kFamNsq, kKindPaud))
                    Check(item->GetString(PdmxF::file), kAudio);
                else if (IsKind(item, kFamNsq, kKindPdmx))
                    Check(item->GetString(PdmxF::file), kRecordings);
            }
        }
    }
}
