#include "devices/recordings/CKvsRecSetnDlg.h"

#include <algorithm>

#include "records/CRecord.h"
#include "records/DeviceKinds.h"

CKvsRecSetnDlg::CKvsRecSetnDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "KVSRECSETNDLG"),
      fStandby(this),
      fSourceLabel(this),
      fSource(this),
      fArtNet(this, this, "KVSSCNTRGANT", "KVSRECSETNDLG", 5),
      fSacn(this, this, "KVSSCNTRGSAC", "KVSRECSETNDLG", 8),
      fChannels(this, this),
      fRecLabel(&fChannels),
      fPlayLabel(&fChannels),
      fRecChannel(&fChannels),
      fPlayChannel(&fChannels) {
    fStandby.SetTitle(Text(3));
    Label(fSourceLabel, 4);
    Label(fRecLabel, 9);
    Label(fPlayLabel, 10);
    for (u32 i = 11; i <= 14; ++i) fSource.AddItem(Text(i));
    fRecChannel.SetRange(0, 512, 1);
    fPlayChannel.SetRange(0, 512, 1);
    fChannels.SetLayoutByName("KVSRECSETNDMX", 1);
    Finish();
}

LMessage CKvsRecSetnDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LPopupList_Changed) && msg.source == &fSource) {
        UpdateSource();
        return LMessage();
    }
    return CKvsSettingsDlg::HandleMessage(msg);
}

void CKvsRecSetnDlg::Load(const CRecord* prrc) {
    if (!prrc) return;
    fStandby.SetState(prrc->GetU8(PrrcF::rcsb) ? 1 : 0);
    // A source this program does not know shows as none.
    const u8 source = prrc->GetU8(PrrcF::rcct);
    fSource.Select(source <= kSourceSacn ? i32(source) : i32(kSourceNone));
    const u32 a = prrc->GetU32(PrrcF::anun);
    fArtNet.SetAddress(a);
    fSacn.SetUniverse(a);
    fRecChannel.SetValue(f32(std::min<u32>(prrc->GetU32(PrrcF::chrc), 512)));
    fPlayChannel.SetValue(f32(std::min<u32>(prrc->GetU32(PrrcF::chpl), 512)));
    UpdateSource();
}

void CKvsRecSetnDlg::Save(CRecord* prrc) {
    if (!prrc) return;
    prrc->SetU8(nullptr, PrrcF::rcsb, fStandby.GetState() ? 1 : 0);
    const i32 source = fSource.GetSelected();
    prrc->SetU8(nullptr, PrrcF::rcct, u8(source < 0 ? 0 : source));
    // The frame shown decides: the sACN frame only for the sACN source.
    const u32 anun = source == kSourceSacn ? fSacn.GetUniverse() : fArtNet.GetAddress();
    prrc->SetU32(nullptr, PrrcF::anun, anun);
    prrc->SetU32(nullptr, PrrcF::chrc, Whole(fRecChannel));
    prrc->SetU32(nullptr, PrrcF::chpl, Whole(fPlayChannel));
}

void CKvsRecSetnDlg::UpdateSource() {
    i32 s = fSource.GetSelected();
    if (s < 0 || s > 3) s = kSourceNone;
    fArtNet.SetState(s == kSourceArtNet ? kOpShow : kOpHide);
    fSacn.SetState(s == kSourceSacn ? kOpShow : kOpHide);
    fChannels.SetState(s != kSourceNone ? kOpShow : kOpHide);
}
