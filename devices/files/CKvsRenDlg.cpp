#include "devices/files/CKvsRenDlg.h"

#include "base/Paths.h"
#include "framework/StdDialogs.h"

namespace {
constexpr const char* kName = "KVSRENDLG";
}

LString FilterRenameText(const char* text) {
    return FilterDeviceBaseName(text);
}

CKvsRenDlg::CKvsRenDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fPrompt(this),
      fName(this) {
    SetTitle(StdDialogText(kName, 0));
    fOk.SetTitle(StdDialogText(kName, 1));
    fCancel.SetTitle(StdDialogText(kName, 2));
    fPrompt.SetText(StdDialogText(kName, 3));
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    SetLayoutByName(kName, 1);
    fOk.SetState(kOpDisable);
}

void CKvsRenDlg::SetName(const LString& name) {
    fName.SetText(name);
    Filter();
}

void CKvsRenDlg::Filter() {
    const LString text = fName.GetText();
    const LString filtered = FilterRenameText(text.CStr());
    if (!StrEqual(filtered.CStr(), text.CStr())) fName.SetText(filtered);
    fOk.SetState(filtered.IsEmpty() ? kOpDisable : kOpEnable);
}

LMessage CKvsRenDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LEditText_Change) && msg.source == &fName) {
        Filter();
        return LMessage();
    }
    // An empty name is never confirmed, also not by the Return key.
    if (msg.Is(LStdCtl_Selected) && msg.source == &fOk && fName.GetText().IsEmpty())
        return LMessage();
    return LDialog::HandleMessage(msg);
}
