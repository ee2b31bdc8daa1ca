#pragma once
// The scene trigger dialog: the input the device takes scene triggers from
// (the 'SNTG' of the sequence settings) and two options beside it.

#include "editors/CArtNetAddrF.h"
#include "editors/CNoteEdit.h"
#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LTextPane.h"

class CRecord;

class CKvsLargeDlg : public LDialog {
public:
    CKvsLargeDlg(LHandler* parent, LPane* owner);

    LMessage HandleMessage(const LMessage& msg) override;

    void LoadTrigger(const CRecord* sntg);
    // Every field is written whatever the kind; without undo.
    void SaveTrigger(CRecord* sntg);
    void UpdateFrames();

    LStdButton fOk;
    LStdButton fCancel;
    LTextPane fSourceLabel;
    LPopupList fSource;

    CArtNetAddrF fArtNet;
    CSacnUniF fSacn;

    LFrame fChannel;
    LPopupList fChanMode;
    CNumVol fFirst;

    LFrame fOsc;
    LTextPane fOscText1;
    LTextPane fOscText2;

    LFrame fMidi;
    LTextPane fMidiChLabel;
    CNumVol fMidiCh;
    LTextPane fCtlLabel;
    CNumVol fCtl;
    LTextPane fNoteLabel;
    CNoteEdit fNote;

    LFrame fUdp;
    LTextPane fUdpText1;
    LTextPane fUdpText2;

    LFrame fOption;
    LTextPane fNumberLabel;
    CNumVol fNumber;
    LStdCheck fExternal;
};

// Shows a dialog's window at its layout's preferred size, centred over the
// window of the pane over.
void ShowAtLayoutSize(LFrame& frame, LPane* over);

// Whether the pane itself is set to be shown, whether or not its window is.
inline bool PaneSetShown(const LPane& pane) {
    return (pane.State() & LPane::kVisible) != 0;
}
