#include "editors/nsq/CKvsPlaySelLink.h"

#include <algorithm>

#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqUScnF.h"
#include "records/CRecord.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"

CKvsPlaySelLink::CKvsPlaySelLink(LHandler* parent, CNSqTimeScale* scale)
    : LHandler(parent), fScale(scale) {
    fScale->Selection().Doc().AddListener(this, OnChange);
}

CKvsPlaySelLink::~CKvsPlaySelLink() {
    Listen(fSeq, false);
    fScale->Selection().Doc().RemoveListener(this, OnChange);
}

void CKvsPlaySelLink::Listen(CRecord* sequence, bool on) {
    CRecordDoc* doc = sequence ? sequence->GetOwner() : nullptr;
    if (!doc || doc == &fScale->Selection().Doc()) return;
    if (on)
        doc->AddListener(this, OnChange);
    else
        doc->RemoveListener(this, OnChange);
}

void CKvsPlaySelLink::OnChange(void* self, CRecordNote* note) {
    const CRecord* r = note->record;
    if (r && r->Family() == kFamNsq && r->Kind() == kKindSlnt)
        static_cast<CKvsPlaySelLink*>(self)->Update();
}

void CKvsPlaySelLink::SetSceneFrame(CNSqUScnF* frame) {
    fScnF = frame;
    Update();
}

void CKvsPlaySelLink::SetScenePrmFrame(CNSqUScnPrmF* frame) {
    fPrmF = frame;
    Update();
}

void CKvsPlaySelLink::SetSequence(CRecord* sequence) {
    if (sequence == fSeq) return;
    Listen(fSeq, false);
    fSeq = sequence;
    Listen(fSeq, true);
    if (fTrkEdit) fTrkEdit->SetSequence(sequence);
    Update();
    fScale->Selection().SetSequence(sequence);
}

CRecord* CKvsPlaySelLink::CurrentScene() const {
    CNSqScnSel& sel = fScale->Selection();
    if (!fSeq || sel.Count() == 0) return nullptr;
    u32 t = 0, s = 0;
    sel.GetAt(0, &t, &s);
    if (t >= fSeq->GetListCount(SseqF::trks)) return nullptr;
    CRecord* track = fSeq->GetListItem(SseqF::trks, t);
    if (!track || s >= track->GetListCount(StrkF::scns)) return nullptr;
    return track->GetListItem(StrkF::scns, s);
}

void CKvsPlaySelLink::Update() {
    CRecord* scene = CurrentScene();
    if (fScnF) {
        fScnF->SetScene(scene);
        fScnF->SetState(scene ? LPane::kOpShow : LPane::kOpHide);
    }
    if (fPrmF) {
        fPrmF->SetScene(scene);
        fPrmF->SetState(scene ? LPane::kOpShow : LPane::kOpHide);
    }
}

void CKvsPlaySelLink::BringSceneIntoView() {
    CNSqScnSel& sel = fScale->Selection();
    if (!fTrkEdit || !CurrentScene()) return;
    u32 track = 0, index = 0;
    sel.GetAt(0, &track, &index);
    CNSqUTrkList& list = fTrkEdit->List();
    list.ScrollToCell(LCell{0, i32(track)});
    const double t = CurrentScene()->GetU32(SscnF::time) / 1000.0;
    const double v = fScale->ViewTime();
    const double s = fScale->Scale();
    const i32 w = list.SceneArea().Width();
    if (v <= t && t < v + (w - 5) * s) return;
    fScale->SetViewTime(std::max(0.0, t - s * (w / 4)), w * s);
}

LMessage CKvsPlaySelLink::HandleMessage(const LMessage& msg) {
    if (msg.Is(CNSqUScnF_BringScn)) {
        BringSceneIntoView();
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
