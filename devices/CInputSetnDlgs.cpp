#include "devices/CInputSetnDlgs.h"

#include "records/CRecord.h"
#include "records/DeviceKinds.h"

// ---- CKvsDrMXSetnDlg

CKvsDrMXSetnDlg::CKvsDrMXSetnDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "KVSDRMXSETNDLG"),
      fNote(this, LTextBox::kWrap),
      fArtNet(this, this, "KVSSCNTRGANT", "KVSDRMXSETNDLG", 4),
      fCheck1(this),
      fCheck2(this) {
    Label(fNote, 3);
    fCheck1.SetTitle(Text(7));
    fCheck2.SetTitle(Text(8));
    Finish();
}

void CKvsDrMXSetnDlg::Load(const CRecord* prdr) {
    if (!prdr) return;
    fArtNet.SetAddress(prdr->GetU32(PrdrF::univ));
    fCheck1.SetState(prdr->GetU8(PrdrF::usrc) ? 1 : 0);
    fCheck2.SetState(prdr->GetU8(PrdrF::uspl) ? 1 : 0);
}

void CKvsDrMXSetnDlg::Store(CRecord* prdr) {
    if (!prdr) return;
    prdr->SetU32(nullptr, PrdrF::univ, fArtNet.GetAddress());
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
