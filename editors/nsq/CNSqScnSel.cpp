#include "editors/nsq/CNSqScnSel.h"

#include <algorithm>

#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"

namespace {
CRecord* NewSelectionNote() {
    const CRecordSchema* s = CRecordSchema::Find(kFamNsq, kKindSlnt);
    return s ? CRecord::New(s) : nullptr;
}
bool IsKind(const CRecord* r, u32 kind) {
    return r && r->Family() == kFamNsq && r->Kind() == kind;
}
}  // namespace

CNSqScnSel::CNSqScnSel() : fDoc(NewSelectionNote()) {}

CNSqScnSel::~CNSqScnSel() {
    SetSequence(nullptr);
}

void CNSqScnSel::SetSequence(CRecord* sequence) {
    DeselectAll();
    if (fSeq && fSeq->GetOwner()) fSeq->GetOwner()->RemoveListener(this, OnSequenceChange);
    fSeq = sequence;
    if (fSeq && fSeq->GetOwner()) fSeq->GetOwner()->AddListener(this, OnSequenceChange);
}

void CNSqScnSel::GetAt(u32 i, u32* track, u32* scene) const {
    const CRecord* s = fScenes[i];
    *scene = s->GetIndex();
    *track = s->Parent() ? s->Parent()->GetIndex() : kRecNoIndex;
}

bool CNSqScnSel::IsSelected(const CRecord* scene) const {
    return std::binary_search(fScenes.begin(), fScenes.end(), scene);
}

void CNSqScnSel::SetSelected(u32 track, u32 scene, bool select) {
    if (!fSeq || track >= fSeq->GetListCount(SseqF::trks)) return;
    const CRecord* t = fSeq->GetListItem(SseqF::trks, track);
    if (scene >= t->GetListCount(StrkF::scns)) return;
    CRecord* s = t->GetListItem(StrkF::scns, scene);
    auto at = std::lower_bound(fScenes.begin(), fScenes.end(), s);
    const bool selected = at != fScenes.end() && *at == s;
    if (selected == select) return;
    if (select)
        fScenes.insert(at, s);
    else
        fScenes.erase(at);
    Notify(select ? kSelected : kDeselected, track, scene);
}

void CNSqScnSel::SelectOnly(u32 track, u32 scene) {
    DeselectAll();
    SetSelected(track, scene, true);
}

void CNSqScnSel::DeselectAll() {
    while (!fScenes.empty()) {
        u32 track, scene;
        GetAt(Count() - 1, &track, &scene);
        fScenes.pop_back();
        Notify(kDeselected, track, scene);
    }
}

void CNSqScnSel::Notify(u8 kind, u32 track, u32 scene) {
    CRecord* n = fDoc.Root();
    if (!n) return;
    n->SetU32(nullptr, SlntF::field1, track);
    n->SetU32(nullptr, SlntF::field2, scene);
    n->SetU8(nullptr, SlntF::field0, kind);
    n->Slots()[SlntF::field0] = kAtRest;
}

void CNSqScnSel::Drop(CRecord* scene, u32 track, u32 index) {
    auto at = std::lower_bound(fScenes.begin(), fScenes.end(), scene);
    if (at == fScenes.end() || *at != scene) return;
    fScenes.erase(at);
    Notify(kDeselected, track, index);
}

// A selected scene about to leave its track (or leaving with its track) is
// deselected while its indexes still mean something.
void CNSqScnSel::OnSequenceChange(void* self, CRecordNote* note) {
    auto* sel = static_cast<CNSqScnSel*>(self);
    CRecord* r = note->record;
    if (sel->fScenes.empty() || !r) return;
    if (note->kind == CRecordNote::kWillRemove) {
        if (IsKind(r, kKindSscn) && r->Parent()) {
            sel->Drop(r, r->Parent()->GetIndex(), r->GetIndex());
        } else if (IsKind(r, kKindStrk) || r == sel->fSeq) {
            for (u32 i = sel->Count(); i-- > 0;) {
                CRecord* s = sel->fScenes[i];
                if (s->IsDescendantOf(r)) sel->Drop(s, s->Parent()->GetIndex(), s->GetIndex());
            }
        }
    } else if (note->kind == CRecordNote::kDetached && IsKind(r, kKindSscn)) {
        // The whole tree goes (its document closes): no place to report.
        sel->Drop(r, kRecNoIndex, kRecNoIndex);
    }
}
