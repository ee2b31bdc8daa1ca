#include "devices/files/CKvsRenDlg.h"

#include "base/CharReader.h"
#include "base/Paths.h"
#include "base/TextEncoding.h"
#include "framework/StdDialogs.h"

namespace {
constexpr const char* kName = "KVSRENDLG";
}

LString FilterRenameText(const char* text) {
    const char* t = text ? text : "";
    const u32 n = StrLen(t);
    LTextStream out;
    LMemReader reader(t, n);
    for (;;) {
        u32 c = 0;
        const i32 r = ReadUtf8Char(reader, &c);
        if (r == kUtf8End) break;
        if (r != kUtf8Ok) {
            // One "_" for each malformed sequence (the reader always passes a byte).
            out.PutChar('_');
            continue;
        }
        // DEL is kept out as well: the device listing drops names holding it.
        const bool keep = c >= 128 || (c >= 32 && c != 127 && c != '.' && IsValidNameChar(c));
        if (keep)
            Utf8Encode(out, c);
        else
            out.PutChar('_');
    }
    return out.ToString();
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
