#include "editors/CExtCtlF.h"

#include "editors/CKvsLargeDlg.h"
#include "framework/StdDialogs.h"
#include "records/CRecord.h"
#include "records/DeviceKinds.h"

namespace {

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
      fArtNet(this, this, "CEXTCTLFANU", "CEXTCTLF", 1),
      fSacn(this, this, "CEXTCTLFSAU", "CEXTCTLF", 4),
      fDmx(this, this),
      fChannelLabel(&fDmx),
      fChannel(&fDmx) {
    const char* texts = "CEXTCTLF";
    fKindLabel.SetText(StdDialogText(texts, 0));
    fChannelLabel.SetText(StdDialogText(texts, 5));
    fChannel.SetRange(1, 512, 1);
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
    fArtNet.SetAddress(address);
    fSacn.SetUniverse(address);
}

u32 CExtCtlF::GetAddress() {
    return PaneSetShown(fSacn) ? fSacn.GetUniverse() : fArtNet.GetAddress();
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
