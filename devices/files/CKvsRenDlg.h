#pragma once
// The rename dialog of a device file: the new name without its extension, kept
// to what the device can store as it is typed.

#include "framework/LDialog.h"
#include "framework/LEditText.h"
#include "framework/LTextPane.h"

class CKvsRenDlg : public LDialog {
public:
    explicit CKvsRenDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    void SetName(const LString& name);
    LString Name() { return fName.GetText(); }

    LStdButton fOk;
    LStdButton fCancel;
    LTextPane fPrompt;
    LAsciiEdit fName;

private:
    void Filter();
};

// Each character that cannot stand in a device file name (control characters,
// DEL, the reserved punctuation, the full stop) and each malformed UTF-8
// sequence becomes "_"; characters from U+0080 on stay.
LString FilterRenameText(const char* text);
