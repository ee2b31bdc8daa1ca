#pragma once
// The sound-device settings of a device: the format dialog over the `sndv`
// values of the device settings, with a summary of what the device reports it
// is playing, refreshed once a second while the dialog is open.

#include "devices/CDevSettingsDlgs.h"
#include "framework/LTimer.h"

class CKvsDevCtl;
struct CRecordNote;

class CKvsSndFmtDlg : public LDialog {
public:
    explicit CKvsSndFmtDlg(LHandler* parent);

    // 44100 or 48000 (index 1 for 48000 and above).
    void SetRate(i32 rate);
    i32 GetRate() const;
    // 16, 24 or 32 (index (max(bits, 16) >> 3) - 2).
    void SetBits(i32 bits);
    i32 GetBits() const;

    LStdButton fDone;
    LTextPane fLabels[5];
    CNumVol fIn;
    CNumVol fOut;
    LPopupList fBits;
    LPopupList fRate;
    LTextPane fSummary;
};

class CSndDevPane : public LHandler {
public:
    CSndDevPane(LHandler* parent, CKvsDevCtl* ctl);
    ~CSndDevPane() override;
    LMessage HandleMessage(const LMessage& msg) override;

    // Loads the values and runs the dialog until it is closed.
    void Run();
    CKvsSndFmtDlg& Dialog() { return fDialog; }
    void UpdateSummary();

private:
    static void OnStatus(void* self, CRecordNote* note);
    CRecord* SoundNode();
    void Store();

    CKvsDevCtl* fCtl;
    CKvsSndFmtDlg fDialog;
    LTimer fTimer;
};

// "in:2ch out:2ch 48.0kHz 24bit" for a working sound device in the system
// status, else empty.
LString SndDevSummary(CRecord* sysStat);
