#pragma once
// Modal frames and dialogs. A modal frame maps Return and Enter onto its
// default button, Escape onto its cancel button and the close box onto the
// cancel (else the default) button. A dialog runs nested turns of the event
// loop until a handler sets its result: 1 for the default button, 2 for the
// cancel button, other values set by subclasses.

#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTimer.h"

inline constexpr const char* LDialog_Default = "LDialog_Default";
inline constexpr const char* LDialog_Escape = "LDialog_Escape";

class LModalFrame : public LFrame {
public:
    LModalFrame(LHandler* parent, LPane* container, const LPaneOpt& options);
    LMessage HandleMessage(const LMessage& msg) override;

    LStdCtl* DefaultButton() const { return fDefault; }
    LStdCtl* CancelButton() const { return fCancel; }

    // How long a button shows itself pressed when a key presses it.
    static constexpr u32 kFlashMs = 142;

protected:
    // Shows the button pressed for a moment; answers "LStdCtl_Selected" from it.
    LMessage Press(LStdCtl* button);

    LStdCtl* fDefault = nullptr;
    LStdCtl* fCancel = nullptr;
};

class LDialog : public LModalFrame {
public:
    LDialog(LHandler* parent, LPane* container, const LPaneOpt& options);
    ~LDialog() override;
    LMessage HandleMessage(const LMessage& msg) override;
    bool StoresOnlyConfirmed() const override { return true; }

    void SetDefaultButton(LStdButton* button);
    void SetCancelButton(LStdCtl* button) { fCancel = button; }
    void SetResult(u32 result) { fResult = result; }
    u32 Result() const { return fResult; }

    // One modal turn of at most *limitMs: shows the window first when hidden.
    u32 ModalStep(const u32* limitMs);
    u32 ModalStep(u32 limitMs) { return ModalStep(&limitMs); }
    // Turns until the result is set.
    u32 RunModal();

    static constexpr u32 kNoLimit = 2147483647;

protected:
    u32 fResult = 0;
    LTimer fStepTimer{this};
};
