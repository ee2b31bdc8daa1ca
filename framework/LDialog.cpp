#include "framework/LDialog.h"

#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/WindowPlacement.h"

// ---- LModalFrame

LModalFrame::LModalFrame(LHandler* parent, LPane* container, const LPaneOpt& options)
    : LFrame(parent, container, options) {
    if (fWindow) {
        LPenRef pen;
        MakePenById(&pen, fWindow->Type() == kWindowDialog ? 2 : 1);
        SetBackColor(pen);
    }
}

LMessage LModalFrame::Press(LStdCtl* button) {
    if (LNativeControl* native = button->Native()) native->Highlight(true);
    Send(LPane_UpdateNow, this, fParent);
    ControlServices().FlashPause(kFlashMs);
    if (LNativeControl* native = button->Native()) native->Highlight(false);
    return LMessage{LStdCtl_Selected, button, this};
}

LMessage LModalFrame::HandleMessage(const LMessage& msg) {
    if (msg.Is(LKeyboard_Down)) {
        LKeyboard* kb = LKeyboard::Instance();
        const u32 ch = kb ? (kb->fChar & 0xFF) : 0;
        LStdCtl* button = (ch == 13 || ch == 3) ? fDefault : ch == 27 ? fCancel : nullptr;
        if (button && button->IsFocusable()) return Press(button);
        return LFrame::HandleMessage(msg);
    }
    if (msg.Is(LWindow_Close) && fWindow && msg.source == fWindow) {
        LStdCtl* button = fCancel ? fCancel : fDefault;
        if (button) {
            if (button->IsUsable()) return LMessage{LStdCtl_Selected, button, this};
            return LMessage();
        }
        return LFrame::HandleMessage(msg);
    }
    if (msg.Is(LStdCtl_Selected) && msg.source) {
        // A button that is both answers as the default. What was typed into the
        // focused field counts as entered when the dialog is confirmed, and
        // counts for nothing when it is cancelled.
        if (msg.source == fDefault) {
            EndOpenEdit(true);
            return LMessage{LDialog_Default, this, fParent};
        }
        if (msg.source == fCancel) {
            EndOpenEdit(false);
            return LMessage{LDialog_Escape, this, fParent};
        }
    }
    return LFrame::HandleMessage(msg);
}

// ---- LDialog

LDialog::LDialog(LHandler* parent, LPane* container, const LPaneOpt& options)
    : LModalFrame(parent, container, options) {}

LDialog::~LDialog() {
    fStepTimer.Stop();
}

void LDialog::SetDefaultButton(LStdButton* button) {
    if (button == fDefault) return;
    if (auto* old = static_cast<LStdButton*>(fDefault)) old->SetDefault(false);
    fDefault = button;
    if (button) button->SetDefault(true);
}

u32 LDialog::ModalStep(const u32* limitMs) {
    CMainLoopBase* app = CMainLoop::Owner();
    const CMainLoop* loop = app ? app->RunLoop() : nullptr;
    if (loop && loop->fEnding) {
        // Still a turn: a caller waiting for a device keeps being served.
        fStepTimer.Start(limitMs);
        Send(LHandler_Mode, this, fParent);
        fStepTimer.Stop();
        EndOpenEdit(false);
        fResult = 2;
        return fResult;
    }
    if (fWindow && !fWindow->IsVisible()) {
        // Sized by its layout first, then placed: centred at its real size.
        if (fBounds.IsEmpty()) Relayout();
        CenterOverOwner(fWindow);
        ShowWindow();
    }
    fResult = 0;
    fStepTimer.Start(limitMs);
    Send(LHandler_Mode, this, fParent);
    fStepTimer.Stop();
    if (fResult == 0 && loop && loop->fEnding) {
        EndOpenEdit(false);
        fResult = 2;
    }
    return fResult;
}

u32 LDialog::RunModal() {
    u32 result = 0;
    while (result == 0) result = ModalStep(kNoLimit);
    return result;
}

LMessage LDialog::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMenuBar_Ready)) {
        // Above a dialog nothing but Help is enabled.
        CMainLoopBase* app = CMainLoop::Owner();
        const bool help = app && app->HasHelp();
        static_cast<LMenuBar*>(msg.source)->EnableCommand(LStdCmd_Help, LString(), !help);
        return LMessage::CopyRetarget(msg, msg.source);
    }
    if (msg.Is(LMenuItem_Selected) &&
        !static_cast<LMenuItem*>(msg.source)->HasCommand(LStdCmd_Help))
        return LMessage::CopyRetarget(msg, msg.source);
    if (msg.Is(LTimer_Expire) && msg.source == &fStepTimer) {
        fStepTimer.Start(0u);
        return LMessage();
    }
    if (msg.source == this && msg.Is(LDialog_Default)) {
        fResult = 1;
        return LMessage();
    }
    if (msg.source == this && msg.Is(LDialog_Escape)) {
        fResult = 2;
        return LMessage();
    }
    return LModalFrame::HandleMessage(msg);
}
