#include "devices/CSndDevPane.h"

#include <cstdio>

#include "devices/CKvsDevCtl.h"
#include "devlink/StatNodes.h"
#include "framework/StdDialogs.h"
#include "records/DeviceKinds.h"

namespace {

constexpr const char* kName = "SNDFMTDLG";
constexpr u32 kRefreshMs = 1000;

}  // namespace

LString SndDevSummary(CRecord* sysStat) {
    CRecord* dev = sysStat ? StatNodeGetSndDev(sysStat) : nullptr;
    if (!dev || !SndDevGetOper(dev)) return LString();
    char text[128];
    std::snprintf(text, sizeof text, "in:%dch out:%dch %.1fkHz %dbit",
                  int(SndDevGetInChannels(dev)), int(SndDevGetOutChannels(dev)),
                  double(SndDevGetRate(dev)) / 1000.0, int(SndDevGetBits(dev)));
    return LString(text);
}

// ---- CKvsSndFmtDlg

CKvsSndFmtDlg::CKvsSndFmtDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fDone(this),
      fLabels{LTextPane(this), LTextPane(this), LTextPane(this), LTextPane(this), LTextPane(this)},
      fIn(this),
      fOut(this),
      fBits(this),
      fRate(this),
      fSummary(this) {
    SetTitle(StdDialogText(kName, 0));
    fDone.SetTitle(StdDialogText(kName, 1));
    for (u32 i = 0; i < 5; ++i) fLabels[i].SetText(StdDialogText(kName, 2 + i));
    fIn.SetRange(1, 16, 1);
    fOut.SetRange(1, 16, 1);
    for (const char* b : {"16", "24", "32"}) fBits.AddItem(LString(b));
    for (const char* r : {"44.1 kHz", "48 kHz"}) fRate.AddItem(LString(r));
    fSummary.SetStyle(LFont(2));
    SetDefaultButton(&fDone);
    SetCancelButton(&fDone);
    SetLayoutByName(kName, 1);
}

void CKvsSndFmtDlg::SetRate(i32 rate) {
    fRate.Select(rate >= 48000 ? 1 : 0);
}

i32 CKvsSndFmtDlg::GetRate() const {
    return fRate.GetSelected() == 1 ? 48000 : 44100;
}

void CKvsSndFmtDlg::SetBits(i32 bits) {
    fBits.Select(((bits < 16 ? 16 : bits) >> 3) - 2);
}

i32 CKvsSndFmtDlg::GetBits() const {
    const i32 index = fBits.GetSelected();
    return (index < 0 ? 0 : index) * 8 + 16;
}

// ---- CSndDevPane

CSndDevPane::CSndDevPane(LHandler* parent, CKvsDevCtl* ctl)
    : LHandler(parent), fCtl(ctl), fDialog(this), fTimer(this) {
    fCtl->Doc(CKvsDevCtl::kSysStat).AddListener(this, OnStatus);
}

CSndDevPane::~CSndDevPane() {
    fTimer.Stop();
    fCtl->Doc(CKvsDevCtl::kSysStat).RemoveListener(this, OnStatus);
}

CRecord* CSndDevPane::SoundNode() {
    CRecord* settings = fCtl->Settings();
    CRecord* prmc = settings ? settings->GetChild(DvstF::prmc) : nullptr;
    return prmc ? prmc->GetChild(PrmcF::sndv) : nullptr;
}

void CSndDevPane::UpdateSummary() {
    fDialog.fSummary.SetText(SndDevSummary(fCtl->Record(CKvsDevCtl::kSysStat)));
}

void CSndDevPane::OnStatus(void* self, CRecordNote*) {
    static_cast<CSndDevPane*>(self)->UpdateSummary();
}

void CSndDevPane::Run() {
    UpdateSummary();
    fTimer.StartRepeating(kRefreshMs);
    if (CRecord* node = SoundNode()) {
        fDialog.fIn.SetValue(f32(SndDevGetInChannels(node)));
        fDialog.fOut.SetValue(f32(SndDevGetOutChannels(node)));
        fDialog.SetRate(SndDevGetRate(node));
        fDialog.SetBits(SndDevGetBits(node));
    }
    fDialog.RunModal();
    fTimer.Stop();
}

void CSndDevPane::Store() {
    CRecord* node = SoundNode();
    if (!node) return;
    SndDevSetInChannels(node, nullptr, i32(Whole(fDialog.fIn)));
    SndDevSetOutChannels(node, nullptr, i32(Whole(fDialog.fOut)));
    SndDevSetRate(node, nullptr, fDialog.GetRate());
    SndDevSetBits(node, nullptr, fDialog.GetBits());
}

LMessage CSndDevPane::HandleMessage(const LMessage& msg) {
    if (msg.Is(CNumVol_Fix) || msg.Is(LPopupList_Changed)) {
        Store();
        return LMessage();
    }
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        fCtl->SysStatChannel().Refresh();
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
