#include "devices/CInputSetnDlgs.h"

#include <cmath>

#include "records/CRecord.h"
#include "records/DeviceKinds.h"

namespace {

u32 Whole(CNumVol& field) {
    const f64 v = field.GetValue();
    return v <= 0 ? 0 : u32(std::lround(v));
}

}  // namespace

u32 ArtNetPortAddress(u32 net, u32 subNet, u32 universe) {
    return ((net & 127) << 8) | ((subNet & 15) << 4) | (universe & 15);
}

// ---- CKvsDrMXSetnDlg

CKvsDrMXSetnDlg::CKvsDrMXSetnDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "KVSDRMXSETNDLG"),
      fNote(this, LTextBox::kWrap),
      fFrame(this, this),
      fNetLabel(&fFrame),
      fNet(&fFrame),
      fSubLabel(&fFrame),
      fSub(&fFrame),
      fUniLabel(&fFrame),
      fUni(&fFrame),
      fCheck1(this),
      fCheck2(this) {
    Label(fNote, 3);
    Label(fNetLabel, 4);
    Label(fSubLabel, 5);
    Label(fUniLabel, 6);
    fCheck1.SetTitle(Text(7));
    fCheck2.SetTitle(Text(8));
    fNet.SetRange(0, 127, 1);
    fSub.SetRange(0, 15, 1);
    fUni.SetRange(0, 15, 1);
    fFrame.SetLayoutByName("KVSSCNTRGANT", 1);
    Finish();
}

void CKvsDrMXSetnDlg::Load(const CRecord* prdr) {
    if (!prdr) return;
    const u32 univ = prdr->GetU32(PrdrF::univ);
    fNet.SetValue(f32((univ >> 8) & 127));
    fSub.SetValue(f32((univ >> 4) & 15));
    fUni.SetValue(f32(univ & 15));
    fCheck1.SetState(prdr->GetU8(PrdrF::usrc) ? 1 : 0);
    fCheck2.SetState(prdr->GetU8(PrdrF::uspl) ? 1 : 0);
}

void CKvsDrMXSetnDlg::Store(CRecord* prdr) {
    if (!prdr) return;
    prdr->SetU32(nullptr, PrdrF::univ, ArtNetPortAddress(Whole(fNet), Whole(fSub), Whole(fUni)));
    prdr->SetU8(nullptr, PrdrF::usrc, fCheck1.GetState() ? 1 : 0);
    prdr->SetU8(nullptr, PrdrF::uspl, fCheck2.GetState() ? 1 : 0);
}

// ---- Number dialogs

CKvsNumberSetnDlg::CKvsNumberSetnDlg(LHandler* parent, const char* name, f32 min, f32 max)
    : CKvsSettingsDlg(parent, name), fLabel(this), fNumber(this) {
    Label(fLabel, 3);
    fNumber.SetRange(min, max, 1);
    Finish();
}

CKvsSACNSetnDlg::CKvsSACNSetnDlg(LHandler* parent)
    : CKvsNumberSetnDlg(parent, "KVSSACNSETNDLG", 0, 32768) {}

void CKvsSACNSetnDlg::Load(const CRecord* settings) {
    if (settings) fNumber.SetValue(f32(settings->GetU32(DvstF::saus)));
}

void CKvsSACNSetnDlg::Store(CRecord* settings) {
    if (settings) settings->SetU32(nullptr, DvstF::saus, Whole(fNumber));
}

CKvsAnSetnDlg::CKvsAnSetnDlg(LHandler* parent)
    : CKvsNumberSetnDlg(parent, "KVSANSETNDLG", 1, 100) {}

void CKvsAnSetnDlg::Load(const CRecord* settings) {
    if (settings) fNumber.SetValue(f32(settings->GetU32(DvstF::aidl) / 10));
}

void CKvsAnSetnDlg::Store(CRecord* settings) {
    if (settings) settings->SetU32(nullptr, DvstF::aidl, Whole(fNumber) * 10);
}
