#include "editors/nsq/CNSqUScnF.h"

#include <algorithm>
#include <cmath>

#include "editors/nsq/CNSqKinds.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "framework/LFont.h"
#include "framework/StdDialogs.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/RecordKinds.h"

namespace {

bool IsNsq(const CRecord* r, u32 kind) {
    return r && r->Family() == kFamNsq && r->Kind() == kind;
}

void Show(LPane& p, bool on) {
    if (p.IsShown() != on) p.SetState(on ? LPane::kOpShow : LPane::kOpHide);
}

}  // namespace

CNSqUScnF::CNSqUScnF(LPane* container, CNSqTimeScale* scale)
    : LFrame(container, container),
      fScale(scale),
      fKind(this),
      fTimeLabel(this),
      fTime(this, 0, 100, 0),
      fPrev(this, 0),
      fNext(this, 0) {
    fKind.SetStyle(LFont(2));
    fKind.SetAlignment(LTextBox::kAlignCentre);
    fTimeLabel.SetStyle(LFont(2));
    fTimeLabel.SetText(StdDialogText("NSQUSCNF", 0));
    fTime.SetRange(0.0f, 86399.9f, 0.1f);
    fPrev.SetText(LString("\xE2\x86\x90"));
    fNext.SetText(LString("\xE2\x86\x92"));
    fPrev.SetFont(LFont(2));
    fNext.SetFont(LFont(2));
    SetLayoutByName("NSQUSCNF", 1);
    fScale->Doc().AddListener(this, OnChange);
    UpdateButtons();
}

CNSqUScnF::~CNSqUScnF() {
    SetScene(nullptr);
    fScale->Doc().RemoveListener(this, OnChange);
}

void CNSqUScnF::SetScene(CRecord* scene) {
    if (fDoc) fDoc->RemoveListener(this, OnChange);
    fDoc = nullptr;
    fScene = scene;
    fTrack = scene && IsNsq(scene->Parent(), kKindStrk) ? scene->Parent() : nullptr;
    CNSqSceneInfo info;
    if (scene) {
        fTime.SetTime(i32(std::min<u32>(scene->GetU32(SscnF::time), 0x7FFFFFFFu)), 1000);
        fDoc = scene->GetOwner();
        if (fDoc) fDoc->AddListener(this, OnChange);
        if (fScale->Kinds()) fScale->Kinds()->DescribeScene(scene, &info);
    }
    fKind.SetText(info.label);
    UpdateButtons();
}

void CNSqUScnF::UpdateButtons() {
    static const u8 kWhite[3] = {255, 255, 255};
    static const u8 kNear[3] = {255, 191, 191};
    const u32 n = fTrack ? fTrack->GetListCount(StrkF::scns) : 0;
    const u32 i = fScene && fTrack ? fScene->GetIndex() : 0;
    auto time = [this](u32 k) { return fTrack->GetListItem(StrkF::scns, k)->GetU32(SscnF::time); };
    const bool prev = fScene && fTrack && i > 0;
    const bool next = fScene && fTrack && i + 1 < n;
    fPrev.SetState(prev ? kOpEnable : kOpDisable);
    fNext.SetState(next ? kOpEnable : kOpDisable);
    fPrev.SetColor(prev && fScale->IsNarrow(time(i) - time(i - 1)) ? kNear : kWhite);
    fNext.SetColor(next && fScale->IsNarrow(time(i + 1) - time(i)) ? kNear : kWhite);
}

void CNSqUScnF::Step(i32 step) {
    if (!fScene || !fTrack) return;
    const i64 to = i64(fScene->GetIndex()) + step;
    if (to < 0 || to >= i64(fTrack->GetListCount(StrkF::scns))) return;
    fScale->Selection().SelectOnly(fTrack->GetIndex(), u32(to));
    Send(CNSqUScnF_BringScn, this, fParent);
}

LMessage CNSqUScnF::HandleMessage(const LMessage& msg) {
    if (msg.Is(CNumVol_Fix) && msg.source == &fTime && fScene && fTrack) {
        const double ms = std::round(fTime.GetValue() * 1000.0);
        const u32 t = fScale->Kinds()->RoundTime(u32(ms < 0 ? 0 : ms > 86399999 ? 86399999 : ms));
        // Taken out and put back at its sorted place, the scene leaves the
        // selection and this frame on the way: both take it back.
        CRecord* scene = fScene;
        CRecord* track = fTrack;
        const bool selected = fScale->Selection().IsSelected(scene);
        NSqTrkSetSceneTime(track, this, scene->GetIndex(), t < kNSqDayMs ? t : 86399990);
        if (scene->Parent() != track) return LMessage();
        if (selected) fScale->Selection().SetSelected(track->GetIndex(), scene->GetIndex(), true);
        SetScene(scene);
        return LMessage();
    }
    if (msg.Is(CColorBtn_rSelected) && (msg.source == &fPrev || msg.source == &fNext)) {
        Step(msg.source == &fPrev ? -1 : 1);
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CNSqUScnF::OnChange(void* self, CRecordNote* note) {
    auto* f = static_cast<CNSqUScnF*>(self);
    CRecord* r = note->record;
    if (IsNsq(r, kKindEdts)) {
        if (note->field == EdtsF::tmsc) f->UpdateButtons();
        return;
    }
    if (!f->fScene) return;
    if (r == f->fTrack && note->field == StrkF::scns) {
        f->UpdateButtons();
    } else if (IsNsq(r, kKindSscn) && note->kind == CRecordNote::kDetached) {
        if (r == f->fScene)
            f->SetScene(nullptr);
        else
            f->UpdateButtons();
    } else if (IsNsq(r, kKindSscn) && note->kind == CRecordNote::kChanged &&
               note->field == SscnF::time) {
        if (r == f->fScene)
            f->fTime.SetTime(i32(std::min<u32>(r->GetU32(SscnF::time), 0x7FFFFFFFu)), 1000);
        f->UpdateButtons();
    }
}

// ---- the sequence's loop

CNSqUSqPrmF::CNSqUSqPrmF(LPane* container)
    : LFrame(container, container), fLoop(this), fText(this) {
    fLoop.SetTitle(StdDialogText("NSQUSQPRMF", 0));
    fText.SetStyle(LFont(3));
    SetLayoutByName("NSQUSQPRMF", 1);
    SetState(kOpHide);
}

CNSqUSqPrmF::~CNSqUSqPrmF() {
    SetSequence(nullptr);
}

void CNSqUSqPrmF::SetSequence(CRecord* sequence) {
    if (fDoc) fDoc->RemoveListener(this, OnChange);
    fDoc = nullptr;
    fSeq = sequence;
    Show(*this, sequence != nullptr);
    if (!sequence) return;
    fLoop.SetState(sequence->GetU8(SseqF::loop) ? 1 : 0);
    fDoc = sequence->GetOwner();
    if (fDoc) fDoc->AddListener(this, OnChange);
}

LMessage CNSqUSqPrmF::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCheck_Change) && msg.source == &fLoop && fSeq) {
        fSeq->SetU8(this, SseqF::loop, fLoop.GetState() ? 1 : 0);
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CNSqUSqPrmF::OnChange(void* self, CRecordNote* note) {
    auto* f = static_cast<CNSqUSqPrmF*>(self);
    if (note->record != f->fSeq) return;
    if (note->kind == CRecordNote::kDetached)
        f->SetSequence(nullptr);
    else
        f->fLoop.SetState(f->fSeq->GetU8(SseqF::loop) ? 1 : 0);
}
