#pragma once
// The framework's standard dialogs: number entry, the about box, the
// save-changes question, the progress dialog and the message dialog. Each takes
// its layout from the 'TLYO' and its texts from the 'CST#' of its name (the
// message dialog has its layout built in) and shows the application icon.

#include <functional>

#include "framework/CNumVol.h"
#include "framework/CPicturePane.h"
#include "framework/LDialog.h"
#include "framework/LTextPane.h"

class LLayoutEval;

inline constexpr u32 kTextsResType = FourCC("CST#");

// Item n of the 'CST#' list of that name; empty when missing.
LString StdDialogText(const char* listName, u32 n);
// Runs the three items of the direct layout of that name over the frame's
// children (pre, when given, sets variables after item 0) and sizes the window.
void SizeDirectly(LFrame& frame, const char* name, void (*pre)(LFrame&, LLayoutEval&));

// Asks for a number between 0 and 1000.
class CCSetNDlg : public LDialog {
public:
    explicit CCSetNDlg(LHandler* parent);

    LStdButton fOk;
    LStdButton fCancel;
    LTextPane fPrompt;
    CNumVol fField;
};

class CAboutDlg : public LDialog {
public:
    CAboutDlg(LHandler* parent, const LString& link = LString());
    LMessage HandleMessage(const LMessage& msg) override;

    LString fLink;
    LStdButton fOk;
    LStdButton fLinkButton;
    LTextPane fHeading;
    CPicturePane fIcon;
    LTextPane fVersion;
    LTextPane fTitle;
};

class CSaveChangesDialog : public LDialog {
public:
    enum : u32 { kClosing = 0, kQuitting = 1 };
    explicit CSaveChangesDialog(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    // 1 save (default button), 0 cancel, 2 the third button; also kept in fAnswer.
    i32 Ask(u32 kind);

    i32 fAnswer = 0;
    LString fWindowTitle;
    LString fDocName;
    LStdButton fSave;
    LStdButton fCancelBtn;
    LStdButton fDontSave;
    LTextPane fMessage;
    CPicturePane fIcon;
};

class CSimpleProgressDialog : public LDialog {
public:
    CSimpleProgressDialog(LHandler* parent, const LPaneOpt& options);
    void PreLayout(LDrawCtx* ctx, LLayoutEval& eval) override;

    void SetMessage(const LString& text);
    void SetMsgChars(u32 n);
    void ShowSpinner();
    void Spin();
    // One modal turn of ms; true when the user pressed its button. At the
    // session's end every dialog answers by itself: that is nobody's choice.
    bool StepPressed(u32 ms);

    LStdButton fButton;
    LTextPane fMessage;
    CProgressBar fBar;
    CPicturePane fIcon;
    LTextPane fBusy;
    u32 fMsgChars = 20;
    u32 fPhase = 0;
};

class CSimpleMessageDialog : public LDialog {
public:
    CSimpleMessageDialog(LHandler* parent, const LPaneOpt& options);
    virtual void Layout();
    // Other font sizes: laid out anew, as for a new text.
    void StateChanged(u32 op) override;

    // 1 for OK; with two buttons 0 for Cancel and for a time-out, else 1 for
    // both. A time-out under 1 s waits for a button.
    i32 Run(const LString& text, u32 timeoutSeconds, bool twoButtons);
    LMessage HandleMessage(const LMessage& msg) override;
    // A message that follows what it tells of: after every turn without an
    // answer (at least every kWatchStepMs), false ends the dialog and Run
    // answers -1. It may change the text meanwhile.
    std::function<bool()> fWatch;
    // A new text for the message up: laid out anew and centred again.
    void ChangeText(const LString& text);
    static constexpr u32 kWatchStepMs = 100;

    LStdButton fOk;
    LStdButton fCancelBtn;
    LTextPane fMessage;
    CPicturePane fIcon;
    u8 fWrap = 1;
    // With two buttons, Escape and the close box answer as OK: for a question
    // whose second button gives something up, a key pressed only to be rid of
    // the question must not be that answer. The second button still answers 0.
    u8 fEscapeIsOk = 0;
};
