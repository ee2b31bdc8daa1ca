#pragma once
// Creating a blackout recording on a device: the dialog, the replace question,
// the upload into the device's recordings with a progress dialog, the outcome.

#include "base/LString.h"

class CKvsDevCtl;
class LHandler;

// Nothing was sent: the dialog or the replace question was cancelled.
constexpr i32 kBlackoutNotSent = -1;

// Item index of the string list "KVSBOCRT" in a message dialog with one or two
// buttons; answers the dialog's result (1 confirmed).
i32 ConfirmBlackout(LHandler* frame, u32 index, bool twoButtons);

// The device file name for the name the user typed: "/" and control bytes
// become "_", so does a leading "."; the extension becomes "drc".
LString BlackoutFileName(const LString& name);

// The whole operation for the device of the calling window (frame: the dialogs'
// parent). Answers kBlackoutNotSent, or the upload's result (kTransferOk ...).
i32 CreateBlackoutRecording(LHandler* frame, CKvsDevCtl& device);
