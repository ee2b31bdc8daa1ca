#include "editors/CKvsBtnPrmF.h"

#include <cmath>
#include <memory>

#include "editors/EditorKit.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kName = "KVSBTNPRMF";
constexpr u32 kMsPerSecond = 1000;

const CRecord* SequenceById(const CRecord* settings, u32 sqid) {
    if (!settings || sqid == 0) return nullptr;
    for (u32 i = 0; i < settings->GetListCount(SqstF::sqcs); ++i) {
        const CRecord* s = settings->GetListItem(SqstF::sqcs, i);
        if (s->GetU32(SqncF::sqid) == sqid) return s;
    }
    return nullptr;
}

}  // namespace

CKvsBtnPrmF::CKvsBtnPrmF(LHandler* parent, LPane* container, MPlayDevice* device,
                         CRecord* seqSettings)
    : LFrame(parent, container),
      fTitleLabel(this),
      fTitle(this),
      fSeqLabel(this),
      fSlot(this, this, device, seqSettings),
      fSync(this, this),
      fSyncLabel(&fSync),
      fMode(&fSync),
      fOffsetLabel(&fSync),
      fOffset(&fSync, 0, 100, 1),
      fSettings(seqSettings) {
    fTitleLabel.SetText(StdDialogText(kName, 0));
    fSeqLabel.SetText(StdDialogText(kName, 1));
    fSyncLabel.SetText(StdDialogText(kName, 2));
    fOffsetLabel.SetText(StdDialogText(kName, 3));
    for (u32 i = 4; i < 8; ++i) fMode.AddItem(StdDialogText(kName, i));
    fSync.SetLayoutByName("KVSBTNSYNCF", 1);
    SetLayoutByName(kName, 1);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
    Refresh();
}

CKvsBtnPrmF::~CKvsBtnPrmF() {
    Listen(false);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
}

void CKvsBtnPrmF::Listen(bool on) {
    if (!on) {
        if (fCellDoc) fCellDoc->RemoveListener(this, Listener);
        fCellDoc = nullptr;
        return;
    }
    CRecordDoc* doc = fCell ? fCell->GetOwner() : nullptr;
    if (!doc || doc == (fSettings ? fSettings->GetOwner() : nullptr)) return;
    doc->AddListener(this, Listener);
    fCellDoc = doc;
}

void CKvsBtnPrmF::SetCell(CRecord* cell) {
    if (cell == fCell) {
        Refresh();
        return;
    }
    Listen(false);
    fCell = cell;
    Listen(true);
    Refresh();
}

void CKvsBtnPrmF::Refresh() {
    const u32 sqid = fCell ? fCell->GetU32(PlclF::sqid) : 0;
    const u8 mode = fCell ? fCell->GetU8(PlclF::symd) : 0;
    if (!fKeepTitle && !(fTitle.GetText() == (fCell ? fCell->GetString(PlclF::bttl) : LString())))
        fTitle.SetText(fCell ? fCell->GetString(PlclF::bttl) : LString());
    fSlot.SetSequence(fSettings, sqid);
    fMode.Select(mode);
    const u32 op = mode != 0 ? kOpShow : kOpHide;
    fOffsetLabel.SetState(op);
    static_cast<LPane&>(fOffset).SetState(op);
    if (mode != 0) fOffset.SetTime(fCell ? fCell->GetI32(PlclF::syof) : 0, kMsPerSecond);
}

bool CKvsBtnPrmF::Prepare() {
    if (!fCell) Send(CKvsBtnPrmF_Prep, this, fParent);
    return fCell != nullptr;
}

void CKvsBtnPrmF::ChooseSequence(u32 sqid) {
    if (!Prepare()) return;
    auto group = UndoGroup(this);
    fCell->SetU32(this, PlclF::sqid, sqid);
    if (fCell->GetString(PlclF::bttl).IsEmpty())
        if (const CRecord* seq = SequenceById(fSettings, sqid))
            fCell->SetString(this, PlclF::bttl, seq->GetString(SqncF::sqnm));
}

LMessage CKvsBtnPrmF::HandleMessage(const LMessage& msg) {
    if (msg.Is(LEditText_Change) && msg.source == &fTitle) {
        // The first key typed for an empty button makes its cell, whose empty
        // title must not replace what the field already holds.
        const LString typed = fTitle.GetText();
        fKeepTitle = true;
        const bool ready = Prepare();
        fKeepTitle = false;
        if (ready) fCell->SetString(this, PlclF::bttl, typed);
        return LMessage();
    }
    if (msg.source == &fSlot && msg.Is(CKvsSeqSlot_Delete)) {
        if (fCell) {
            auto group = UndoGroup(this);
            fCell->SetU32(this, PlclF::sqid, 0);
            fCell->SetString(this, PlclF::bttl, LString());
        }
        return LMessage();
    }
    if (msg.source == &fSlot && msg.Is(CKvsSeqSlotEx_Seq)) {
        ChooseSequence(fSlot.ChosenId());
        return LMessage();
    }
    if (msg.source == &fMode && msg.Is(LPopupList_Changed)) {
        if (Prepare()) fCell->SetU8(this, PlclF::symd, u8(std::max(fMode.GetSelected(), 0)));
        return LMessage();
    }
    if (msg.source == &fOffset && msg.Is(CNumVol_Fix)) {
        if (Prepare())
            fCell->SetI32(this, PlclF::syof, i32(std::lround(fOffset.GetValue() * kMsPerSecond)));
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsBtnPrmF::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsBtnPrmF*>(self)->OnChange(note);
}

void CKvsBtnPrmF::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r || !fCell) return;
    if (r == fCell && note->kind == CRecordNote::kChanged) {
        Refresh();
        return;
    }
    // The cell left its grid (deleted, shifted out, replaced): no longer ours to show.
    if (note->kind == CRecordNote::kDetached && r == fCell) {
        SetCell(nullptr);
        return;
    }
    if (note->kind != CRecordNote::kChanged) return;
    for (CRecord* p = r; p; p = p->Parent())
        if (p->Parent() == fSettings && p->ParentField() == SqstF::sqcs &&
            p->GetU32(SqncF::sqid) == fCell->GetU32(PlclF::sqid)) {
            Refresh();
            return;
        }
}
