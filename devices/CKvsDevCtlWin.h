#pragma once
// The control window of a device: its title, the choice of view (device files
// or play settings), the card's free space and the frame that holds the view.
// CKvsDevCtlScreen opens and closes it for its controller.

#include "framework/LDialog.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CKvsDevCtl;
struct CRecordNote;
class CSimpleProgressDialog;

class CKvsDevCtlWin : public LFrame {
public:
    CKvsDevCtlWin(LHandler* parent, u32 serial);
    // Keeps the window's place for the next one.
    ~CKvsDevCtlWin() override;
    LMessage HandleMessage(const LMessage& msg) override;

    void SetFreeSpace(i32 mib);

    LTextPane fTitle;
    LPopupList fView;
    LTextPane fFree;
    LFrame fViewFrame;
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

private:
    static void OnStatus(void* self, CRecordNote* note);
    void UpdateFreeSpace();

    CKvsDevCtl* fCtl;
    CKvsDevCtlWin fWindow;
    LHandler* fView = nullptr;
};
