#include "editors/CKvsSeqSlot.h"

#include <memory>

#include "base/Paths.h"
#include "base/TextFormat.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "editors/SeqDropHelpers.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/ScrapTypeNames.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kDlg = "KVSSEQWRAPDLG";

bool OffersSequenceOrNames(CDropSource* s) {
    return s && (s->HasType(ScrapTypeOf(kScrapSequence)) || s->HasType(ScrapTypeOf(kScrapNsqSeq)) ||
                 s->HasType(ScrapTypeOf(kScrapDrcFileName)));
}

CDropSource* SourceOf(LDropPane& pane) {
    return pane.Drag() ? pane.Drag()->Source() : nullptr;
}

}  // namespace

// ---------------------------------------------------------------- slot

CKvsSeqSlot::CKvsSeqSlot(LHandler* parent, LPane* container)
    : LFrame(parent, container), fText(this, CTextSlot::kClearable), fDrop(this, 0) {
    SetLayoutByName("KVSSEQSLOT", 1);
}

LMessage CKvsSeqSlot::HandleMessage(const LMessage& msg) {
    if (msg.source == &fDrop) {
        switch (ClassifySeqDrop(msg, &fDrop)) {
            case kSeqDropEntered:
                return LMessage();
            case kSeqDropDropped:
                // A drag of none of the three kinds is no drop on a slot.
                if (!OffersSequenceOrNames(SourceOf(fDrop))) return LMessage();
                return LMessage{CKvsSeqSlot_Drop, this, fParent};
            default:
                break;
        }
    }
    if (msg.Is(CTextSlot_Changed)) {
        if (msg.source == &fText) return LMessage{CKvsSeqSlot_Delete, this, fParent};
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

i32 CKvsSeqSlot::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    if (hint <= -10 && hint >= -12)
        return fText.GetPrefHeight(ctx, hint) + (fText.Bounds().top - fBounds.top);
    return LFrame::GetPrefHeight(ctx, hint);
}

LString CKvsSeqSlot::SequenceText(const CRecord* settings, u32 sqid) {
    if (sqid == 0) return LString();
    if (settings) {
        const CRecord* found = nullptr;
        u8 nameField = 0;
        if (const CRecord* set = settings->GetChild(SqstF::nsqs)) {
            found = NSqSetFindSeq(set, sqid);
            nameField = SseqF::name;
        }
        if (!found) {
            found = FindSequenceById(settings, sqid);
            nameField = SqncF::sqnm;
        }
        if (found) {
            const LString& name = found->GetString(nameField);
            return name.IsEmpty() ? LString(" ") : name;
        }
    }
    return LString("?");
}

void CKvsSeqSlot::SetSequence(const CRecord* settings, u32 sqid) {
    fText.SetText(SequenceText(settings, sqid));
}

// ---------------------------------------------------------------- wrap helper

CKvsSeqWrapHlpr::CKvsSeqWrapHlpr(LHandler* parent, MPlayDevice* device)
    : LHandler(parent), fDevice(device), fTimer(this) {}

bool CKvsSeqWrapHlpr::OfferDrop(CDropSource* source) {
    if (!source || ReadDroppedSequenceId(source) != 0 || !DragHasFileNames(source)) return false;
    fNames.Clear();
    ReadDroppedFileNames(source, &fNames);
    fTimer.Start(0u);
    return true;
}

LMessage CKvsSeqWrapHlpr::HandleMessage(const LMessage& msg) {
    if (msg.source == &fTimer) {
        if (msg.Is(LTimer_Expire)) Send(CKvsSeqWrapHlpr_Drop, this, fParent);
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}

LString CKvsSeqWrapHlpr::BaseName() const {
    LString base;
    if (fNames.Count() > 0) ReplaceExtension(&base, fNames.At(0).CStr(), nullptr);
    return base;
}

u32 CKvsSeqWrapHlpr::Wrap(LHandler* ctx, CRecord* settings, u32 chosen) {
    if (!settings || fNames.Count() == 0) return 0;
    CRecord* seq = chosen ? FindSequenceById(settings, chosen) : nullptr;
    if (!seq) {
        const u32 n = settings->GetListCount(SqstF::sqcs);
        InsertNewSequence(settings, ctx, n);
        if (settings->GetListCount(SqstF::sqcs) != n + 1) return 0;
        seq = settings->GetListItem(SqstF::sqcs, n);
    }
    seq->SetString(ctx, SqncF::sqnm, BaseName());
    CRecord* contents =
        fDevice && fDevice->ContentsDoc() ? fDevice->ContentsDoc()->Root() : nullptr;
    const bool audio = contents && NodeListFindLast(contents, 1, fNames.At(0).CStr()) >= 0;
    const u8 list = audio ? SqncF::auss : SqncF::scns;
    for (u32 i = seq->GetListCount(list); i-- > 0;) seq->RemoveItem(ctx, list, i);
    for (u32 i = 0; i < fNames.Count(); ++i) {
        CRecord* scene = CRecord::New(CRecordSchema::Find(kFamKvt, kKindScen));
        if (!scene) break;
        LString base;
        ReplaceExtension(&base, fNames.At(i).CStr(), nullptr);
        scene->SetString(nullptr, ScenF::snnm, base);
        if (CRecord* ctdr = scene->GetChild(ScenF::ctdr))
            ctdr->SetString(nullptr, SnctF::flnm, fNames.At(i));
        if (!seq->InsertItem(ctx, list, seq->GetListCount(list), scene)) {
            CRecord::Destroy(scene);
            break;
        }
    }
    return seq->GetU32(SqncF::sqid);
}

// ---------------------------------------------------------------- extended slot

CKvsSeqSlotEx::CKvsSeqSlotEx(LHandler* parent, LPane* container, MPlayDevice* device,
                             CRecord* seqSettings)
    : CKvsSeqSlot(parent, container),
      fDevice(device),
      fSettings(seqSettings),
      fHelper(this, device) {}

LMessage CKvsSeqSlotEx::HandleMessage(const LMessage& msg) {
    if (msg.source == this && msg.Is(CKvsSeqSlot_Delete)) {
        fChosen = 0;
        return LMessage{CKvsSeqSlotEx_Seq, this, fParent};
    }
    if (msg.source == this && msg.Is(CKvsSeqSlot_Drop)) {
        HandleDrop();
        return LMessage();
    }
    if (msg.source == &fHelper && msg.Is(CKvsSeqWrapHlpr_Drop)) {
        RunWrap();
        return LMessage();
    }
    return CKvsSeqSlot::HandleMessage(msg);
}

void CKvsSeqSlotEx::HandleDrop() {
    CDropSource* source = SourceOf(fDrop);
    if (!source || fHelper.OfferDrop(source)) return;
    const u32 id = ReadDroppedSequenceId(source);
    // Sequence data without a record would clear the caller's reference.
    if (id == 0) return;
    fChosen = id;
    auto group = UndoGroup(this);
    Send(CKvsSeqSlotEx_Seq, this, fParent);
}

bool CKvsSeqSlotEx::ChooseSequence(u32* chosen) {
    *chosen = 0;
    const LString base = fHelper.BaseName();
    for (u32 i = 0; i < fSettings->GetListCount(SqstF::sqcs); ++i) {
        const CRecord* seq = fSettings->GetListItem(SqstF::sqcs, i);
        if (!(seq->GetString(SqncF::sqnm) == base)) continue;
        const u32 answer = CKvsSeqWrapDlg::sAsk(this, base);
        if (answer == CKvsSeqWrapDlg::kCancel) return false;
        if (answer == CKvsSeqWrapDlg::kReplace) {
            *chosen = seq->GetU32(SqncF::sqid);
            return true;
        }
    }
    return true;
}

void CKvsSeqSlotEx::RunWrap() {
    if (!fSettings || fHelper.Names().Count() == 0) return;
    u32 chosen = 0;
    if (!ChooseSequence(&chosen)) return;
    auto group = UndoGroup(this);
    const u32 id = fHelper.Wrap(this, fSettings, chosen);
    if (id == 0) return;
    fChosen = id;
    Send(CKvsSeqSlotEx_Seq, this, fParent);
    if (fDevice && fDevice->ContentsDoc()) SignalSequenceChosen(fDevice->ContentsDoc()->Root(), id);
}

// ---------------------------------------------------------------- wrap dialog

CKvsSeqWrapDlg::AskFn CKvsSeqWrapDlg::sAsk = CKvsSeqWrapDlg::AskModal;

CKvsSeqWrapDlg::CKvsSeqWrapDlg(LHandler* parent, const LString& name)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fNew(this),
      fCancelBtn(this),
      fReplace(this),
      fMessage(this, LTextBox::kWrap) {
    SetTitle(StdDialogText(kDlg, 0));
    fNew.SetTitle(StdDialogText(kDlg, 1));
    fCancelBtn.SetTitle(StdDialogText(kDlg, 2));
    fReplace.SetTitle(StdDialogText(kDlg, 3));
    const LString templ = StdDialogText(kDlg, 4);
    const char* items[] = {name.CStr()};
    LString text;
    FormatTemplate(&text, templ.CStr(), 1, items);
    fMessage.SetText(text);
    SetDefaultButton(&fNew);
    SetCancelButton(&fCancelBtn);
    SetLayoutByName(kDlg, 1);
}

LMessage CKvsSeqWrapDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCtl_Selected) && msg.source == &fReplace) {
        fResult = kReplace;
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

u32 CKvsSeqWrapDlg::Ask() {
    u32 result = 0;
    while (result < kNew || result > kReplace) result = ModalStep(kNoLimit);
    return result;
}

u32 CKvsSeqWrapDlg::AskModal(LHandler* parent, const LString& name) {
    CKvsSeqWrapDlg dlg(parent, name);
    return dlg.Ask();
}
