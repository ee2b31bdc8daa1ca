#pragma once
// The control window of a device: its title, the choice of view (device files
// or play settings), the card's free space and the frame that holds the view.
// CKvsDevCtlScreen opens and closes it for its controller.

#include "framework/LDialog.h"
#include "framework/LScrollFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "framework/LTimer.h"

class CKvsDevCtl;
class CKvsPlayCmd;
struct CRecordNote;
class CSimpleProgressDialog;

class CKvsDevCtlWin : public LFrame {
public:
    CKvsDevCtlWin(LHandler* parent, u32 serial);
    // Keeps the window's place for the next one.
    ~CKvsDevCtlWin() override;
    LMessage HandleMessage(const LMessage& msg) override;

    void SetFreeSpace(i32 mib);
    // The view shown puts itself between the window and the screen, so that
    // the window's menus and messages reach it first; null: the screen again.
    void SetViewHandler(LHandler* view);

    LTextPane fTitle;
    LPopupList fView;
    LTextPane fFree;
    // The view scrolls when the window cannot show it whole (small screen,
    // large fonts); fViewFrame is its content.
    LScrollFrame fScroll;
    LFrame fViewFrame;
    // Placed: by the stored placement, or beside its owner when first shown.
    u8 fPlaced = 0;

private:
    LHandler* fScreen;
};

// The view of a control window for fnmd (1 play settings, else device files),
// placed into the view frame; ok false when it failed to load. The screens of
// the recordings and of the play settings provide it; without one the frame
// stays empty.
using LCtlViewFactory = LHandler* (*)(CKvsDevCtl& ctl, LFrame& frame, u32 fnmd,
                                      CSimpleProgressDialog* progress, bool* ok);
void SetControlViewFactory(LCtlViewFactory factory);

class CKvsDevCtlScreen : public LHandler {
public:
    CKvsDevCtlScreen(CKvsDevCtl* ctl);
    ~CKvsDevCtlScreen() override;
    LMessage HandleMessage(const LMessage& msg) override;

    // Opens the window when it is not shown, then brings it to the front.
    void ShowWindow();
    // Reads the settings and builds the view; false (and a message) when the
    // window could not be opened.
    bool OpenWindow();
    void CloseWindow();
    bool IsShown() const;
    CKvsDevCtlWin& Window() { return fWindow; }
    // The play view while the window shows the play settings, else null.
    CKvsPlayCmd* PlayView() const { return fPlay; }
    // The record control view while the window shows the device files, else null.
    LHandler* FilesView() const { return fView; }
    // Whether the play view lets the window close (pending writes, a file's edits).
    bool PlayViewMayClose();
    // At a quit, the play view of a window no longer shown: edits the card has
    // not got are asked about as at a close; a play-settings file's view was
    // asked when its window closed.
    bool HiddenPlayViewMayEnd();
    // Opens the window on the play settings and imports the file into them.
    bool OpenFile(const LString& path);

private:
    static void OnStatus(void* self, CRecordNote* note);
    void UpdateFreeSpace();
    // Ends the open edits of the window's view and of the windows that views opened.
    void EndViewEdits();
    // The play view for the format, kept when it accepts it, loaded from the
    // device; false when the format or the settings could not be read.
    bool OpenPlayView(CSimpleProgressDialog* progress);
    // The play view's settings still going out, before the device is read
    // again: false when the device did not take them or the user gave up.
    bool WaitPlayChannels(CSimpleProgressDialog* progress);
    void DropPlayView();

    CKvsDevCtl* fCtl;
    CKvsDevCtlWin fWindow;
    LHandler* fView = nullptr;
    CKvsPlayCmd* fPlay = nullptr;
    // A format change reopens the window once the view that asked is off the stack.
    LTimer fReopen{this};
};
