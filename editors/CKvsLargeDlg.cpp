#include "editors/CKvsLargeDlg.h"

#include <algorithm>

#include "framework/LDrawCtx.h"
#include "framework/StdDialogs.h"
#include "framework/WindowPlacement.h"
#include "records/CRecord.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kTexts = "KVSSCNTRGDLG";

LString Text(u32 n) {
    return StdDialogText(kTexts, n);
}

void Show(LPane& pane, bool on) {
    pane.SetState(on ? LPane::kOpShow : LPane::kOpHide);
}

}  // namespace

void ShowAtLayoutSize(LFrame& frame, LPane* over) {
    // Sized and placed before it is shown: one moved once on screen shows up
    // where it first was and jumps, and a click meant for its new place can
    // still reach the old one while the window manager catches up.
    LDrawCtx ctx;
    const i32 w = frame.GetPrefWidth(&ctx, 0);
    const i32 h = frame.GetPrefHeight(&ctx, 0);
    if (w > 0 && h > 0) frame.SetWindowBounds(LRect(80, 80, 80 + w, 80 + h));
    CenterOverPane(frame.Window(), over);
    frame.ShowWindow();
}

CKvsLargeDlg::CKvsLargeDlg(LHandler* parent, LPane*)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fSourceLabel(this),
      fSource(this),
      fArtNet(this, this, "KVSSCNTRGANT", kTexts, 4),
      fSacn(this, this, "KVSSCNTRGSAC", kTexts, 7),
      fChannel(this, this),
      fChanMode(&fChannel),
      fFirst(&fChannel),
      fOsc(this, this),
      fOscText1(&fOsc),
      fOscText2(&fOsc),
      fMidi(this, this),
      fMidiChLabel(&fMidi),
      fMidiCh(&fMidi),
      fCtlLabel(&fMidi),
      fCtl(&fMidi),
      fNoteLabel(&fMidi),
      fNote(&fMidi),
      fUdp(this, this),
      fUdpText1(&fUdp),
      fUdpText2(&fUdp),
      fOption(this, this),
      fNumberLabel(&fOption),
      fNumber(&fOption),
      fExternal(&fOption) {
    SetTitle(Text(0));
    fOk.SetTitle(Text(1));
    fCancel.SetTitle(Text(2));
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    fSourceLabel.SetText(Text(3));
    for (u32 i = 19; i <= 34; ++i) fSource.AddItem(Text(i));
    fSource.Select(0);
    fOscText1.SetText(Text(8));
    fOscText2.SetText(Text(9));
    fMidiChLabel.SetText(Text(10));
    fCtlLabel.SetText(Text(11));
    fNoteLabel.SetText(Text(12));
    fUdpText1.SetText(Text(13));
    fUdpText2.SetText(Text(14));
    fNumberLabel.SetText(Text(15));
    fExternal.SetTitle(Text(16));
    fChanMode.AddItem(Text(17));
    fChanMode.AddItem(Text(18));
    fChanMode.Select(0);
    fFirst.SetRange(1, 512, 1);
    fMidiCh.SetRange(1, 16, 1);
    fCtl.SetRange(0, 127, 1);
    fNumber.SetRange(0, 999, 1);
    fChannel.SetLayoutByName("KVSSCNTRGDMX", 1);
    fOsc.SetLayoutByName("KVSSCNTRGOSC", 1);
    fMidi.SetLayoutByName("KVSSCNTRGMIDI", 1);
    fUdp.SetLayoutByName("KVSSCNTRGUDPC", 1);
    fOption.SetLayoutByName("KVSSCNTRGOPT", 1);
    SetLayoutByName("KVSSCNTRGDLG", 1);
    UpdateFrames();
}

LMessage CKvsLargeDlg::HandleMessage(const LMessage& msg) {
    if (msg.source == &fSource && msg.Is(LPopupList_Changed)) {
        UpdateFrames();
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

void CKvsLargeDlg::LoadTrigger(const CRecord* sntg) {
    if (!sntg) return;
    const u8 kind = sntg->GetU8(SntgF::tgmd);
    fSource.Select(kind < 16 ? kind : 0);
    const u32 anuv = sntg->GetU32(SntgF::anuv);
    fArtNet.SetAddress(anuv);
    fSacn.SetUniverse(anuv);
    fChanMode.Select(sntg->GetU8(SntgF::sgch) != 0 ? 1 : 0);
    fFirst.SetValue(f32(sntg->GetU32(SntgF::bsch)));
    fMidiCh.SetValue(f32(sntg->GetU8(SntgF::mdch) + 1));
    fCtl.SetValue(f32(sntg->GetU8(SntgF::mdct)));
    fNote.SetValue(f32(sntg->GetU8(SntgF::mdnt)));
    UpdateFrames();
}

void CKvsLargeDlg::SaveTrigger(CRecord* sntg) {
    if (!sntg) return;
    sntg->SetU8(nullptr, SntgF::tgmd, u8(fSource.GetSelected() < 0 ? 0 : fSource.GetSelected()));
    const u32 anuv = PaneSetShown(fSacn) ? fSacn.GetUniverse() : fArtNet.GetAddress();
    sntg->SetU32(nullptr, SntgF::anuv, anuv);
    sntg->SetU8(nullptr, SntgF::sgch, fChanMode.GetSelected() == 1 ? 1 : 0);
    sntg->SetU32(nullptr, SntgF::bsch, Whole(fFirst));
    // A field without a number reads 0: channel 1, not 0 less one.
    sntg->SetU8(nullptr, SntgF::mdch, u8(std::max<u32>(Whole(fMidiCh), 1) - 1));
    sntg->SetU8(nullptr, SntgF::mdct, u8(Whole(fCtl)));
    sntg->SetU8(nullptr, SntgF::mdnt, u8(Whole(fNote)));
}

void CKvsLargeDlg::UpdateFrames() {
    i32 k = fSource.GetSelected();
    if (k < 0 || k >= 16) k = 0;
    Show(fArtNet, k == 1);
    Show(fSacn, k == 14);
    Show(fChannel, k == 1 || k == 2 || k == 14);
    Show(fOsc, k == 6);
    const bool midi = k >= 7 && k <= 11;
    Show(fMidi, midi);
    Show(fMidiChLabel, midi);
    Show(fMidiCh, midi);
    Show(fCtlLabel, k >= 7 && k <= 9);
    Show(fCtl, k >= 7 && k <= 9);
    Show(fNoteLabel, k == 10);
    Show(fNote, k == 10);
    Show(fUdp, k == 15);
    Show(fOption, true);
}
