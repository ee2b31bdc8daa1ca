#include "devices/recordings/CKvsRecSetnDlg.h"

#include <algorithm>
#include <cmath>

#include "devices/CInputSetnDlgs.h"
#include "records/CRecord.h"
#include "records/DeviceKinds.h"

namespace {

u32 Whole(CNumVol& field) {
    const f64 v = field.GetValue();
    return v <= 0 ? 0 : u32(std::lround(v));
}

}  // namespace

CKvsRecSetnDlg::CKvsRecSetnDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "KVSRECSETNDLG"),
      fStandby(this),
      fSourceLabel(this),
      fSource(this),
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
      fChannels(this, this),
      fRecLabel(&fChannels),
      fPlayLabel(&fChannels),
      fRecChannel(&fChannels),
      fPlayChannel(&fChannels) {
    fStandby.SetTitle(Text(3));
    Label(fSourceLabel, 4);
    Label(fNetLabel, 5);
    Label(fSubLabel, 6);
    Label(fUniLabel, 7);
    Label(fSacnLabel, 8);
    Label(fRecLabel, 9);
    Label(fPlayLabel, 10);
    for (u32 i = 11; i <= 14; ++i) fSource.AddItem(Text(i));
    fNet.SetRange(0, 127, 1);
    fSub.SetRange(0, 15, 1);
    fUni.SetRange(0, 15, 1);
    fSacnUni.SetRange(1, 32768, 1);
    fRecChannel.SetRange(0, 512, 1);
    fPlayChannel.SetRange(0, 512, 1);
    fArtNet.SetLayoutByName("KVSSCNTRGANT", 1);
    fSacn.SetLayoutByName("KVSSCNTRGSAC", 1);
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
    fNet.SetValue(f32((a >> 8) & 127));
    fSub.SetValue(f32((a >> 4) & 15));
    fUni.SetValue(f32(a & 15));
    // Stored 0-based, shown from 1; kept inside the field's range.
    fSacnUni.SetValue(f32(a >= 32767 ? 32768 : a + 1));
    fRecChannel.SetValue(f32(std::min<u32>(prrc->GetU32(PrrcF::chrc), 512)));
    fPlayChannel.SetValue(f32(std::min<u32>(prrc->GetU32(PrrcF::chpl), 512)));
    UpdateSource();
}

void CKvsRecSetnDlg::Save(CRecord* prrc) {
    if (!prrc) return;
    prrc->SetU8(nullptr, PrrcF::rcsb, fStandby.GetState() ? 1 : 0);
    const i32 source = fSource.GetSelected();
    prrc->SetU8(nullptr, PrrcF::rcct, u8(source < 0 ? 0 : source));
    const u32 sacn = Whole(fSacnUni);
    // The frame shown decides: the sACN frame only for the sACN source.
    const u32 anun = source == kSourceSacn
                         ? (sacn == 0 ? 0 : sacn - 1)
                         : ArtNetPortAddress(Whole(fNet), Whole(fSub), Whole(fUni));
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
