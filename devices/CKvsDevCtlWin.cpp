#include "devices/CKvsDevCtlWin.h"

#include <algorithm>
#include <string>

#include "base/TextFormat.h"
#include "devices/CKvsDevCtl.h"
#include "devices/DevCtlOpen.h"
#include "devlink/StatNodes.h"
#include "editors/CKvsPlayCmd.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "framework/WindowPlacement.h"
#include "services/GraphicsServices.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/ShowKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kWin = "KVSDEVCTLWIN";
constexpr const char* kTexts = "KVSDEVCTLR";
constexpr const char* kPlacement = "ctlplc";
LCtlViewFactory gViewFactory = nullptr;

// The parameter list of the controller preferences, null without one.
CRecord* ControllerPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    CRecord* ctlr = doc && doc->Root() ? doc->Root()->GetChild(PrefF::ctlr) : nullptr;
    return ctlr ? ctlr->GetChild(PrctF::prms) : nullptr;
}

}  // namespace

void SetControlViewFactory(LCtlViewFactory factory) {
    gViewFactory = factory;
}

// ---- CKvsDevCtlWin

CKvsDevCtlWin::CKvsDevCtlWin(LHandler* parent, u32 serial)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 9)),
      fTitle(this),
      fView(this),
      fFree(this),
      fScroll(this, this),
      fViewFrame(&fScroll.GetPort(), &fScroll.GetPort()),
      fScreen(parent) {
    LPenRef pen;
    MakePenById(&pen, 1);
    SetBackColor(pen);
    fTitle.SetStyle(LFont(2));
    fTitle.SetText(StdDialogText(kWin, 1));
    fView.AddItem(StdDialogText(kWin, 2));
    fView.AddItem(StdDialogText(kWin, 3));
    fFree.SetStyle(LFont(2));
    if (serial == 0) fView.SetState(kOpDisable);
    SetTitle(ControlWindowTitle(serial));
    fViewFrame.SetLayoutByName("KVSDEVCTLMODEF", 1);
    SetWindowMenu(new LWindowMenu(this, "PLAYW"));
    SetLayoutByName(kWin, 1);
    if (CRecord* prefs = ControllerPrefs()) {
        const LRect r = GetRectFromString(prefs, kPlacement);
        if (r.left < r.right && r.top < r.bottom) {
            SetWindowBounds(r);
            fPlaced = 1;
        }
    }
}

CKvsDevCtlWin::~CKvsDevCtlWin() {
    if (CRecord* prefs = ControllerPrefs(); prefs && Window())
        SetRectAsString(prefs, kPlacement, GetWindowBounds());
    fParent = fScreen;
}

LMessage CKvsDevCtlWin::HandleMessage(const LMessage& msg) {
    if (Window() && msg.Is(LWindowPlacer_Grow)) {
        LFrame::HandleMessage(msg);
        // Never larger than what the content asks for.
        LWindowPlacer* placer = static_cast<LWindowPlacer*>(msg.source);
        LDrawCtx ctx;
        LRect pref;
        if (RunPref(&ctx, &pref) && pref.Width() > 0 && pref.Height() > 0) {
            placer->fMaxWidth =
                std::max(placer->fMinWidth, std::min(placer->fMaxWidth, pref.Width()));
            placer->fMaxHeight =
                std::max(placer->fMinHeight, std::min(placer->fMaxHeight, pref.Height()));
        }
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsDevCtlWin::SetViewHandler(LHandler* view) {
    fParent = view ? view : fScreen;
}

void CKvsDevCtlWin::SetFreeSpace(i32 mib) {
    fFree.SetText(FreeSpaceText(mib));
}

// ---- CKvsDevCtlScreen

CKvsDevCtlScreen::CKvsDevCtlScreen(CKvsDevCtl* ctl)
    : LHandler(ctl), fCtl(ctl), fWindow(this, ctl->Serial()) {
    fCtl->Doc(CKvsDevCtl::kSysStat).AddListener(this, OnStatus);
    UpdateFreeSpace();
}

CKvsDevCtlScreen::~CKvsDevCtlScreen() {
    fCtl->Doc(CKvsDevCtl::kSysStat).RemoveListener(this, OnStatus);
    delete fView;
    DropPlayView();
}

void CKvsDevCtlScreen::OnStatus(void* self, CRecordNote*) {
    static_cast<CKvsDevCtlScreen*>(self)->UpdateFreeSpace();
}

void CKvsDevCtlScreen::UpdateFreeSpace() {
    CRecord* stat = fCtl->Record(CKvsDevCtl::kSysStat);
    CRecord* fs = stat ? StatNodeGetFsStat(stat) : nullptr;
    fWindow.SetFreeSpace(fs ? StatNodeGetFreeb(fs) : 0);
}

bool CKvsDevCtlScreen::IsShown() const {
    return fWindow.Window() && fWindow.Window()->IsVisible();
}

void CKvsDevCtlScreen::ShowWindow() {
    if (!IsShown() && !OpenWindow()) return;
    if (!fWindow.fPlaced) {
        // Opened for the first time without a stored place: beside the window
        // it was opened from, never over it at the screen's corner.
        fWindow.fPlaced = 1;
        if (fWindow.Bounds().IsEmpty()) fWindow.Relayout();
        PlaceBesideOwner(fWindow.Window());
    }
    fWindow.ShowWindow();
    if (fPlay) fPlay->SyncWindowVisibility();
}

void CKvsDevCtlScreen::EndViewEdits() {
    if (!fWindow.StoresOnlyConfirmed()) fWindow.EndOpenEdit(true);
    for (const LHandler* view : {fView, static_cast<LHandler*>(fPlay)})
        if (view) LFrame::EndOpenEditsOfWindowsUnder(view);
}

bool CKvsDevCtlScreen::OpenWindow() {
    // The views are built anew below, and the windows a play view opened go
    // with it: a value still being typed in any of them is stored first, as
    // Return would store it, while the view that sends it is still there.
    EndViewEdits();
    CSimpleProgressDialog progress(this, LPaneOpt::Window(kWindowDialog, 2));
    progress.SetMessage(StdDialogText(kTexts, 0));
    progress.ShowSpinner();
    u32 failure = 0;
    // A play-settings file has no device: nothing is sent, and it always shows
    // the play settings.
    const bool device = fCtl->Serial() != 0;
    // A format just chosen or imported may still be on its way in the play
    // view's channels, behind the rest of a show: a read that overtook it would
    // hear the old format and build the editor the view is leaving. When the
    // device does not take them, that is what the user is told.
    if (device && fPlay && !WaitPlayChannels(&progress)) {
        failure = 4;
    } else if (device && !OpenDeviceSettings(*fCtl, &progress)) {
        failure = 1;
    } else {
        const u32 fnmd = !device ? 1 : fCtl->Settings() ? fCtl->Settings()->GetU8(DvstF::fnmd) : 0;
        delete fView;
        fView = nullptr;
        bool ok = true;
        if (fnmd == 1) {
            ok = OpenPlayView(&progress);
        } else {
            DropPlayView();
            if (gViewFactory) fView = gViewFactory(*fCtl, fWindow.fViewFrame, fnmd, &progress, &ok);
        }
        if (!ok) failure = 2;
        fWindow.fView.Select(fnmd == 1 ? 1 : 0);
        if (IsShown()) {
            // A view built into the shown window (the pop-up, a format change) is
            // laid out as when the window opens in it: its lists size their rows
            // before the frames place them, and the window takes the size the
            // view asks, a smaller one too.
            LDesktop::SendViewPrefsChanged(&fWindow);
            fWindow.RelayoutExact();
        } else {
            Send(LPane_Pref, &fWindow.fViewFrame, &fWindow);
        }
    }
    progress.HideWindow();
    if (failure == 0) return true;
    CloseWindow();
    CSimpleMessageDialog message(this, LPaneOpt::Window(kWindowDialog, 0));
    const i32 socketErrno = failure == 1 ? fCtl->ChannelQueue().SocketErrno() : 0;
    message.Run(socketErrno ? SocketFailureText(socketErrno) : StdDialogText(kTexts, failure), 0,
                false);
    return false;
}

void CKvsDevCtlScreen::CloseWindow() {
    fCtl->CloseUvadWindow();
    fWindow.HideWindow();
    if (fPlay) fPlay->SyncWindowVisibility();
    if (fCtl->Serial() != 0) CloseDeviceSettings(*fCtl);
}

bool CKvsDevCtlScreen::WaitPlayChannels(CSimpleProgressDialog* progress) {
    const bool busy = fPlay->SeqChannel()->IsBusy() || fPlay->PlayChannel()->IsBusy();
    if (!busy) return true;
    // The dialog says what it waits for: the settings going out, then the reading.
    progress->SetMessage(UnsentWaitText(fCtl->Serial()));
    const bool ok = fPlay->WaitChannels(progress);
    progress->SetMessage(StdDialogText(kTexts, 0));
    return ok;
}

bool CKvsDevCtlScreen::OpenPlayView(CSimpleProgressDialog* progress) {
    const bool device = fCtl->Serial() != 0;
    u32 format = kSeqFormatBasic;
    // Edits the card has not got yet (an import just read) stay pending for it
    // whichever view shows them next: the load below reads what the device
    // holds, not what its card holds.
    const bool seqPending = fPlay && fPlay->SeqDoc().IsModified();
    const bool playPending = fPlay && fPlay->PlayDoc().IsModified();
    if (device) {
        format = ReadSeqFormat(*fCtl, progress);
        if (format == kSeqFormatNone) return false;
    } else if (fPlay && fPlay->SeqSettings()) {
        format = std::max<u32>(fPlay->SeqSettings()->GetU8(SqstF::sqfm), kSeqFormatBasic);
    }
    // The view judges the format its settings held when it last loaded; the
    // device's may have been changed since by someone else, and then the view
    // gives way too.
    const CRecord* own = fPlay ? fPlay->SeqSettings() : nullptr;
    const bool stale =
        own && (own->GetU8(SqstF::sqfm) == kSeqFormatNsq) != (format == kSeqFormatNsq);
    CKvsPlayCmd* old = nullptr;
    if (!fPlay || stale || !fPlay->AcceptsOwnFormat()) {
        old = fPlay;
        fWindow.SetViewHandler(nullptr);
        fPlay = NewPlayView(format, this, &fWindow.fViewFrame, fCtl);
        // A file's settings live only in its view.
        if (old && !device) {
            fPlay->TakeRecordsFrom(*old);
            delete old;
            old = nullptr;
        }
        fWindow.SetViewHandler(fPlay);
    }
    if (!device) return true;
    if (!fPlay->LoadFromDevice(progress)) {
        // The view that was to give way keeps the edits the card has not got,
        // for the quit to ask about: the new one never read the records.
        if (old) {
            fWindow.SetViewHandler(nullptr);
            delete fPlay;
            fPlay = old;
            fWindow.SetViewHandler(fPlay);
        }
        return false;
    }
    delete old;
    if (seqPending) fPlay->SeqDoc().SetModified(true);
    if (playPending) fPlay->PlayDoc().SetModified(true);
    return true;
}

void CKvsDevCtlScreen::DropPlayView() {
    if (!fPlay) return;
    fWindow.SetViewHandler(nullptr);
    CKvsPlayCmd* play = fPlay;
    fPlay = nullptr;
    delete play;
}

bool CKvsDevCtlScreen::PlayViewMayClose() {
    // Whatever is being typed in the window or in one it opened (the play
    // buttons, a schedule's test) is stored first: the setting files written
    // and the question asked must carry it, however the window closes.
    LFrame::EndOpenEditsOfWindowsUnder(this);
    if (!fPlay) return true;
    // A play-settings file has nothing to send: its edits are asked about.
    return fCtl->Serial() != 0 ? fPlay->SendBeforeClose() : fPlay->CanCloseFile();
}

bool CKvsDevCtlScreen::HiddenPlayViewMayEnd() {
    if (!fPlay || fCtl->Serial() == 0) return true;
    if (!fPlay->SeqDoc().IsModified() && !fPlay->PlayDoc().IsModified()) return true;
    LFrame::EndOpenEditsOfWindowsUnder(this);
    return fPlay->SendBeforeClose();
}

bool CKvsDevCtlScreen::OpenFile(const LString& path) {
    if (fCtl->Serial() != 0) {
        if (CRecord* settings = fCtl->Settings()) settings->SetU8(nullptr, DvstF::fnmd, 1);
    }
    if (!OpenWindow()) return false;
    // A file's window is shown only once its show is read.
    if (fCtl->Serial() != 0) fWindow.ShowWindow();
    if (!fPlay) return false;
    // A file that is not a whole play file opens nothing of it, and the user learns
    // why rather than finding an empty show that might be saved over it.
    u32 why = 0;
    if (!fPlay->LoadPlayData(path, &why)) {
        // No editor stays for it: one would hold an empty show that a Save, or
        // a close answered with Save, could write over the file.
        if (fCtl->Serial() == 0) {
            CloseWindow();
            DropPlayView();
        }
        CSimpleMessageDialog message(this, LPaneOpt::Window(kWindowDialog, 0));
        message.Run(StdDialogText("KVSPLAYEDIT", why), 0, false);
        return false;
    }
    if (fCtl->Serial() == 0) fWindow.ShowWindow();
    fPlay->SetCleanMark();
    // An NSQ file needs the NSQ view: reopen as a format change does.
    if (!fPlay->AcceptsOwnFormat()) {
        OpenWindow();
        if (fPlay) fPlay->SetCleanMark();
    }
    if (fPlay) fPlay->SyncWindowVisibility();
    return true;
}

LMessage CKvsDevCtlScreen::HandleMessage(const LMessage& msg) {
    if (msg.Is(LFrame_Close) && msg.source == &fWindow) {
        if (fCtl->CanClose()) CloseWindow();
        return LMessage();
    }
    if (msg.Is(CKvsPlayEdit_FmtChg)) {
        fReopen.Start(0u);
        return LMessage();
    }
    if (msg.Is(LTimer_Expire) && msg.source == &fReopen) {
        OpenWindow();
        return LMessage();
    }
    if (msg.Is(LPopupList_Changed) && msg.source == &fWindow.fView) {
        CRecord* settings = fCtl->Settings();
        if (!settings) return LMessage();
        // A number being typed when the view is switched is stored first, so
        // that it goes out with the settings rather than with the view.
        fWindow.EndOpenEdit(true);
        if (!fCtl->CanClose()) {
            fWindow.fView.Select(settings->GetU8(DvstF::fnmd) == 1 ? 1 : 0);
        } else {
            settings->SetU8(nullptr, DvstF::fnmd, u8(fWindow.fView.GetSelected()));
            OpenWindow();
        }
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
