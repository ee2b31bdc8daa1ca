#pragma once
// What a device service shows while it runs: a progress dialog with one button,
// its modal turns, and a message. The device screens hand in the framework's
// standard progress and message dialogs; tests hand in a double.

#include "base/LString.h"

class LHandler;

class MDevServiceUi {
public:
    virtual ~MDevServiceUi() = default;
    // Opens the progress dialog owned by owner, with the message and the bar's maximum.
    virtual void OpenProgress(LHandler* owner, const LString& message, u32 maximum) = 0;
    virtual void SetProgress(u32 value) = 0;
    // One modal turn of at most limitMs; answers the dialog's result (1: its
    // button was pressed, 0: nothing yet).
    virtual u32 ModalStep(u32 limitMs) = 0;
    virtual void CloseProgress() = 0;
    // A message dialog with one button, run until it is answered.
    virtual void ShowMessage(LHandler* parent, const LString& text) = 0;
};
