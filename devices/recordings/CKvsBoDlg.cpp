#include "devices/recordings/CKvsBoDlg.h"

#include <cmath>
#include <cstdio>

#include "framework/StdDialogs.h"

namespace {

constexpr const char* kName = "KVSBODLG";

}  // namespace

CKvsBoDlg::CKvsBoDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fLabels{LTextPane(this), LTextPane(this), LTextPane(this), LTextPane(this), LTextPane(this)},
      fUniverses(this),
      fLevel(this),
      fDuration(this),
      fName(this),
      fAddress(this) {
    SetTitle(StdDialogText(kName, 0));
    fOk.SetTitle(StdDialogText(kName, 1));
    fCancel.SetTitle(StdDialogText(kName, 2));
    for (u32 i = 0; i < kLabels; ++i) fLabels[i].SetText(StdDialogText(kName, 3 + i));
    fUniverses.SetRange(1, 32768, 1);
    fLevel.SetRange(0, 255, 1);
    fDuration.SetRange(1, 999, 1);
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    SetLayoutByName(kName, 1);
}

LMessage CKvsBoDlg::HandleMessage(const LMessage& msg) {
    if ((msg.Is(CNumVol_Fix) && msg.source == &fUniverses) ||
        (msg.Is(LEditText_Change) && msg.source == &fName)) {
        Update();
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

void CKvsBoDlg::Update() {
    const long n = std::lround(fUniverses.GetValue()) - 1;
    char text[48];
    std::snprintf(text, sizeof text, "%ld/%ld/%ld", (n >> 8) & 127, (n >> 4) & 15, n & 15);
    fAddress.SetText(LString(text));
    fOk.SetState(fName.GetText().IsEmpty() ? kOpDisable : kOpEnable);
}
