#pragma once
// The record control panel of a control window: zero, stop, play and record
// buttons, the position as a time of day and a bar, the current recording's
// name, the universes the device plays and the card's files. CKvsFileListCtl
// turns its controls into device commands and shows the device's status in it.

#include "framework/LFrame.h"
#include "framework/LListNavi.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CKvsDevCtl;
class CKvsFileFrm;
class CKvsUnvList;
class CRecord;

class CKvsRecCtlF : public LFrame {
public:
    // universes: the status record the universe pane starts on.
    CKvsRecCtlF(LHandler* parent, LPane* container, CKvsDevCtl* ctl, CRecord* universes);
    ~CKvsRecCtlF() override;

    // 2 playing; 3 recording, 4 record standby.
    void SetPlayState(u32 state);
    void SetRecState(u32 state);
    // The image names the buttons show (for tests and pictures).
    const char* PlayImage() const { return fPlayImage; }
    const char* RecImage() const { return fRecImage; }

    LFrame fControls;
    CStateButton fZero;
    CStateButton fStop;
    CStateButton fPlay;
    CStateButton fRec;
    LTextPane fTime;
    LTextPane fName;
    LScrollBar fBar;
    LListNavi* fNavi;
    CKvsUnvList* fUniverses;
    CKvsFileFrm* fFiles;

private:
    const char* fPlayImage = "";
    const char* fRecImage = "";
};
