#include "editors/CExtCtlF.h"

#include <algorithm>
#include <cmath>

#include "editors/AuxTriggerKinds.h"
#include "editors/CKvsLargeDlg.h"
#include "framework/StdDialogs.h"
#include "records/CRecord.h"
#include "records/DeviceKinds.h"

namespace {

// The field's whole value within its range: a field emptied or typed past its
// range and never fixed would otherwise store 0 (or, less one, 4294967295).
u32 Whole(CNumVol& field) {
    const f64 v = std::clamp(field.GetValue(), f64(field.Min()), f64(field.Max()));
    return v <= 0 ? 0 : u32(std::lround(v));
}

void Show(LPane& pane, bool on) {
    pane.SetState(on ? LPane::kOpShow : LPane::kOpHide);
}

// `mfct` 1 Art-Net, 2 DMX input, 3 sACN; the frame's kinds number sACN 2, DMX 3.
u32 SwapSacnDmx(u32 k) {
    return k == 1 ? 1 : k == 2 ? 3 : k == 3 ? 2 : 0;
}

}  // namespace

// ---- CExtCtlF

CExtCtlF::CExtCtlF(LHandler* parent, LPane* container)
    : LFrame(parent, container),
      fKindLabel(this),
      fKind(this),
      fArtNet(this, this),
      fNetLabel(&fArtNet),
      fNet(&fArtNet),
      fSubLabel(&fArtNet),
      fSub(&fArtNet),
      fUniLabel(&fArtNet),
      fUni(&fArtNet),
      fSacn(this, this),
      fSacnLabel(&fSacn),
      fSacnUni(&fSacn),
      fDmx(this, this),
      fChannelLabel(&fDmx),
      fChannel(&fDmx) {
    const char* texts = "CEXTCTLF";
    fKindLabel.SetText(StdDialogText(texts, 0));
    fNetLabel.SetText(StdDialogText(texts, 1));
    fSubLabel.SetText(StdDialogText(texts, 2));
    fUniLabel.SetText(StdDialogText(texts, 3));
    fSacnLabel.SetText(StdDialogText(texts, 4));
    fChannelLabel.SetText(StdDialogText(texts, 5));
    fNet.SetRange(0, 127, 1);
    fSub.SetRange(0, 15, 1);
    fUni.SetRange(0, 15, 1);
    fSacnUni.SetRange(1, 32768, 1);
    fChannel.SetRange(1, 512, 1);
    fArtNet.SetLayoutByName("CEXTCTLFANU", 1);
    fSacn.SetLayoutByName("CEXTCTLFSAU", 1);
    fDmx.SetLayoutByName("CEXTCTLFDMX", 1);
    SetLayoutByName("CEXTCTLF", 1);
    UpdateFrames();
}

LMessage CExtCtlF::HandleMessage(const LMessage& msg) {
    if (msg.source == &fKind && msg.Is(LPopupList_Changed)) {
        UpdateFrames();
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CExtCtlF::AddKind(u32 kind) {
    fKinds.push_back(kind);
    fKind.AddItem(StdDialogText("CEXTCTLF", kind + 6));
}

void CExtCtlF::SetKind(u32 kind) {
    i32 entry = 0;
    for (size_t i = 0; i < fKinds.size(); ++i) {
        if (fKinds[i] == kind) {
            entry = i32(i);
            break;
        }
    }
    fKind.Select(entry);
    UpdateFrames();
}

u32 CExtCtlF::GetKind() const {
    const i32 i = fKind.GetSelected();
    return i >= 0 && size_t(i) < fKinds.size() ? fKinds[size_t(i)] : 0;
}

void CExtCtlF::SetAddress(u32 address) {
    // The port address has 15 bits: bit 15 is no part of the net.
    u32 net = 0, sub = 0, uni = 0;
    SplitArtNetAddress(address, &net, &sub, &uni);
    fNet.SetValue(f32(net));
    fSub.SetValue(f32(sub));
    fUni.SetValue(f32(uni));
    fSacnUni.SetValue(f32(f64(address) + 1));
}

u32 CExtCtlF::GetAddress() {
    if (PaneSetShown(fSacn)) return Whole(fSacnUni) - 1;
    return ArtNetAddress(Whole(fNet), Whole(fSub), Whole(fUni));
}

void CExtCtlF::UpdateFrames() {
    const u32 k = GetKind();
    Show(fArtNet, k == kArtNet);
    Show(fSacn, k == kSacn);
    Show(fDmx, k == kArtNet || k == kSacn || k == kDmx);
}

// ---- CKvsMstFdrDlg

CKvsMstFdrDlg::CKvsMstFdrDlg(LHandler* parent, LPane*)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fSource(this, this),
      fShowFader(this),
      fSaveLevel(this),
      fSoundToo(this) {
    const char* texts = "KVSMSTFDRDLG";
    SetTitle(StdDialogText(texts, 0));
    fOk.SetTitle(StdDialogText(texts, 1));
    fCancel.SetTitle(StdDialogText(texts, 2));
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    for (u32 k : {0u, 1u, 2u, 3u}) fSource.AddKind(k);
    fSource.SetKind(0);
    fShowFader.SetTitle(StdDialogText(texts, 3));
    fSaveLevel.SetTitle(StdDialogText(texts, 4));
    fSoundToo.SetTitle(StdDialogText(texts, 5));
    SetLayoutByName("KVSMSTFDRDLG", 1);
}

void CKvsMstFdrDlg::LoadFromRecord(const CRecord* prpc) {
    if (!prpc) return;
    fSource.SetKind(SwapSacnDmx(prpc->GetU8(PrpcF::mfct)));
    fSource.SetAddress(prpc->GetU32(PrpcF::anun));
    fSource.fChannel.SetValue(f32(prpc->GetU32(PrpcF::chmf)));
    fSaveLevel.SetState(prpc->GetU8(PrpcF::svmf) ? 1 : 0);
    fSoundToo.SetState(prpc->GetU8(PrpcF::msmt) ? 1 : 0);
}

void CKvsMstFdrDlg::SaveToRecord(CRecord* prpc) {
    if (!prpc) return;
    prpc->SetU8(nullptr, PrpcF::mfct, u8(SwapSacnDmx(fSource.GetKind())));
    prpc->SetU32(nullptr, PrpcF::anun, fSource.GetAddress());
    prpc->SetU32(nullptr, PrpcF::chmf, Whole(fSource.fChannel));
    prpc->SetU8(nullptr, PrpcF::svmf, fSaveLevel.GetState() ? 1 : 0);
    prpc->SetU8(nullptr, PrpcF::msmt, fSoundToo.GetState() ? 1 : 0);
}
