#include "framework/StdDialogs.h"

#include "base/FileOps.h"
#include "base/Paths.h"
#include "base/TextFormat.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/WindowPlacement.h"
#include "framework/layout/LExprEval.h"
#include "framework/layout/LLayoutVM.h"
#include "services/ControlServices.h"

namespace {

LImageRef AppIcon() {
    return LoadPngImage("APP");
}

void SetUpIcon(CPicturePane& icon) {
    icon.SetImage(AppIcon());
}

}  // namespace

// Runs the three items of a direct layout over the frame's children and sizes
// the window to the rectangle they give.
void SizeDirectly(LFrame& frame, const char* name, void (*pre)(LFrame&, LLayoutEval&)) {
    LResId id{0, name};
    LStrListRes list(&id, nullptr, kLayoutResType);
    if (list.Count() < 2) return;
    LDrawCtx ctx;
    LLayoutEval eval(&ctx, const_cast<LList*>(&frame.Children()));
    LString item;
    eval.Run(list.GetItem(&item, 0));
    if (pre) pre(frame, eval);
    eval.Run(list.GetItem(&item, 1));
    eval.Run(list.GetItem(&item, 2));
    frame.SetWindowBounds(eval.ResultRect());
}

LString StdDialogText(const char* listName, u32 n) {
    LResId id{0, listName};
    LStrListRes list(&id, nullptr, kTextsResType);
    LString item;
    return list.GetItem(&item, n);
}

// ---- CCSetNDlg

CCSetNDlg::CCSetNDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fPrompt(this, LTextBox::kWrap),
      fField(this) {
    const char* name = "CCSETNDLG";
    SetTitle(StdDialogText(name, 0));
    fOk.SetTitle(StdDialogText(name, 1));
    fCancel.SetTitle(StdDialogText(name, 2));
    fPrompt.SetText(StdDialogText(name, 3));
    fField.SetRange(0, 1000, 1);
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    SetLayoutByName(name, 1);
}

// ---- CAboutDlg

CAboutDlg::CAboutDlg(LHandler* parent, const LString& link)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fLink(link),
      fOk(this),
      fLinkButton(this),
      fHeading(this, LTextBox::kWrap),
      fIcon(this),
      fVersion(this),
      fTitle(this) {
    const char* name = "ABOUT";
    SetTitle(StdDialogText(name, 0));
    fOk.SetTitle(StdDialogText(name, 1));
    fLinkButton.SetTitle(StdDialogText(name, 2));
    fHeading.SetText(StdDialogText(name, 3));
    fHeading.SetStyle(LFont(2));
    SetUpIcon(fIcon);
    fVersion.SetStyle(LFont(2));
    LFont big(0);
    big.SetScalePercent(200);
    fTitle.SetStyle(big);

    const LString title = StdDialogText(name, 6);
    if (title.IsEmpty())
        fTitle.SetState(kOpHide);
    else
        fTitle.SetText(title);
    if (fLink.IsEmpty()) fLink = StdDialogText(name, 4);
    if (fLink.IsEmpty()) fLinkButton.SetState(kOpHide);
    LString version;
    CBundleInfo(gProcessInfo ? gProcessInfo->fBundlePath : LString()).GetVersion(&version);
    if (version.IsEmpty()) {
        fVersion.SetState(kOpHide);
    } else {
        const LString prefix = StdDialogText(name, 5);
        fVersion.SetText(
            LString((std::string(prefix.View()) + std::string(version.View())).c_str()));
    }
    SetDefaultButton(&fOk);
    SetCancelButton(&fOk);
    SizeDirectly(*this, name, nullptr);
}

void CMainLoopBase::ShowAbout() {
    CAboutDlg about(this);
    about.RunModal();
}

LMessage CAboutDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCtl_Selected) && msg.source == &fLinkButton) {
        ControlServices().LaunchUrl(fLink);
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

// ---- CSaveChangesDialog

CSaveChangesDialog::CSaveChangesDialog(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 11)),
      fWindowTitle("Application"),
      fSave(this),
      fCancelBtn(this),
      fDontSave(this),
      fMessage(this, LTextBox::kWrap),
      fIcon(this) {
    const char* name = "CSAVECHANGESDIALOG";
    if (gProcessInfo && !gProcessInfo->fName.IsEmpty()) {
        fWindowTitle = gProcessInfo->fName;
    } else if (gProcessInfo && !gProcessInfo->fBundlePath.IsEmpty()) {
        LString last;
        LastPathComponent(&last, gProcessInfo->fBundlePath.CStr());
        if (!last.IsEmpty()) fWindowTitle = last;
    }
    fSave.SetTitle(StdDialogText(name, 0));
    fCancelBtn.SetTitle(StdDialogText(name, 1));
    fDontSave.SetTitle(StdDialogText(name, 2));
    SetUpIcon(fIcon);
    SetDefaultButton(&fSave);
    SetCancelButton(&fCancelBtn);
    SetLayoutByName(name, 1);
}

LMessage CSaveChangesDialog::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCtl_Selected) && msg.source == &fDontSave) {
        fResult = 3;
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

i32 CSaveChangesDialog::Ask(u32 kind) {
    const LString templ = StdDialogText("CSAVECHANGESDIALOG", kind + 3);
    const LString doc = fDocName.IsEmpty() ? LString("untitled") : fDocName;
    const char* items[] = {doc.CStr()};
    LString text;
    FormatTemplate(&text, templ.CStr(), 1, items);
    fMessage.SetText(text);
    SetTitle(fWindowTitle);
    u32 result = 0;
    while (result < 1 || result > 3) result = ModalStep(kNoLimit);
    fAnswer = result == 1 ? 1 : result == 2 ? 0 : 2;
    return fAnswer;
}

// ---- CSimpleProgressDialog

CSimpleProgressDialog::CSimpleProgressDialog(LHandler* parent, const LPaneOpt& options)
    : LDialog(parent, nullptr, options),
      fButton(this),
      fMessage(this, LTextBox::kWrap),
      fBar(this),
      fIcon(this),
      fBusy(this) {
    const char* name = "CSIMPLEPROGRESSDIALOG";
    SetTitle(StdDialogText(name, 0));
    fButton.SetTitle(StdDialogText(name, 1));
    SetUpIcon(fIcon);
    fBusy.SetStyle(LFont(3));
    fBusy.SetState(kOpHide);
    SetDefaultButton(&fButton);
    SetCancelButton(&fButton);
    SetLayoutByName(name, 0);
}

void CSimpleProgressDialog::PreLayout(LDrawCtx* ctx, LLayoutEval& eval) {
    eval.SetVar("msgchars", i32(fMsgChars));
    LDialog::PreLayout(ctx, eval);
}

void CSimpleProgressDialog::SetMessage(const LString& text) {
    fMessage.SetText(text);
    if (!IsShown()) Relayout();
}

void CSimpleProgressDialog::SetMsgChars(u32 n) {
    if (n == fMsgChars) return;
    fMsgChars = n;
    if (!IsShown()) Relayout();
}

void CSimpleProgressDialog::ShowSpinner() {
    fBar.SetState(kOpHide);
    fBusy.SetState(kOpShow);
}

void CSimpleProgressDialog::Spin() {
    static const char kArrow[] = "--->---";
    fPhase = (fPhase + 1) % 4;
    fBusy.SetText(LString(kArrow + 3 - fPhase, 4));
}

bool CSimpleProgressDialog::StepPressed(u32 ms) {
    const u32 result = ModalStep(ms);
    const CMainLoop* loop = CMainLoop::Current();
    return result != 0 && !(loop && loop->fEnding);
}

// ---- CSimpleMessageDialog

CSimpleMessageDialog::CSimpleMessageDialog(LHandler* parent, const LPaneOpt& options)
    : LDialog(parent, nullptr, options),
      fOk(this),
      fCancelBtn(this),
      fMessage(this, LTextBox::kWrap),
      fIcon(this) {
    const char* name = "CSIMPLEMESSAGEDIALOG";
    SetTitle(StdDialogText(name, 0));
    fOk.SetTitle(StdDialogText(name, 1));
    fCancelBtn.SetTitle(StdDialogText(name, 2));
    SetUpIcon(fIcon);
    SetDefaultButton(&fOk);
    SetCancelButton(&fOk);
}

void CSimpleMessageDialog::Layout() {
    LDrawCtx ctx;
    LLayoutEval eval(&ctx, const_cast<LList*>(&Children()));
    eval.Run("okbtn = 1; cancelbtn = 2; msgtx = 3; icnpn = 4;");
    eval.SetVar("nowrap", 1 - i32(fWrap));
    eval.Run(
        "tw = max(CalcTextBoxW(msgtx), CalcTextW(msgtx, 20), nowrap*wp(msgtx));cw = "
        "CalcStdIconR(icnpn) + max(tw, CalcTwoButtonW(okbtn, cancelbtn)) + kStdSpc;ch = kStdSpc + "
        "hp(msgtx, tw) + kGrpSpc + hp(okbtn) + kStdSpc;pp(0, 40, 40, 40 + cw, 40 + ch);");
    eval.Run(
        "PlaceTwoButton(okbtn, cancelbtn);PlaceStdIcon(icnpn);PlaceTextBoxLTR(msgtx, "
        "GetStdIconR(icnpn), kStdSpc, w(0) -  kStdSpc);");
    SetWindowBounds(eval.ResultRect());
}

LMessage CSimpleMessageDialog::HandleMessage(const LMessage& msg) {
    // The second button is no longer the cancel button then: it answers as
    // one all the same.
    if (fEscapeIsOk && msg.Is(LStdCtl_Selected) && msg.source == &fCancelBtn &&
        fCancel != &fCancelBtn) {
        EndOpenEdit(false);
        return LMessage{LDialog_Escape, this, fParent};
    }
    return LDialog::HandleMessage(msg);
}

void CSimpleMessageDialog::ChangeText(const LString& text) {
    fMessage.SetText(text);
    Layout();
    if (fWindow && fWindow->IsVisible()) CenterOverOwner(fWindow);
}

void CSimpleMessageDialog::StateChanged(u32 op) {
    LDialog::StateChanged(op);
    if (op == kOpStyleChanged && fWindow && fWindow->IsVisible()) ChangeText(fMessage.GetText());
}

i32 CSimpleMessageDialog::Run(const LString& text, u32 timeoutSeconds, bool twoButtons) {
    if (twoButtons) {
        fCancelBtn.SetState(kOpShow);
        SetCancelButton(fEscapeIsOk ? static_cast<LStdCtl*>(&fOk) : &fCancelBtn);
    } else {
        fCancelBtn.SetState(kOpHide);
        SetCancelButton(&fOk);
    }
    fMessage.SetText(text);
    Layout();
    const u32 start = GraphicsServices().NowMs();
    const u64 limit = u64(timeoutSeconds) * 1000;
    for (;;) {
        const u32 result = ModalStep(fWatch ? kWatchStepMs : kNoLimit);
        if (result == 1) return 1;
        if (result == 2) return twoButtons ? 0 : 1;
        if (fWatch && !fWatch()) {
            HideWindow();
            return -1;
        }
        // Elapsed time as a difference of the wrapping clock; a time-out is no
        // consent: with a Cancel button it answers as Cancel.
        if (timeoutSeconds >= 1 && u64(u32(GraphicsServices().NowMs() - start)) >= limit)
            return twoButtons ? 0 : 1;
    }
}
