#pragma once
// The record control view of a device's control window: drives the record
// control panel, turns its buttons, bar and file clicks into device commands
// ('YKVT'/'DVCM' `rcct`, `rclc`, `rcpf`) and shows the device's playback status
// ('YKVT'/'SSTA'), which it polls, with the universes it plays.

#include "framework/CUndoQ.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"

class CKvsDevCtl;
class CKvsRecCtlF;
class LFrame;

class CKvsFileListCtl : public LHandler {
public:
    enum : u32 { kScrollHoldMs = 1000, kScrollStepMs = 1000 };
    // `rcct` values.
    enum : i32 { kZero = 1, kStop = 2, kPlay = 3, kRecord = 4 };

    CKvsFileListCtl(LHandler* parent, LFrame& container, CKvsDevCtl* ctl);
    ~CKvsFileListCtl() override;
    LMessage HandleMessage(const LMessage& msg) override;

    // The Art-Net monitor's content changed.
    void NetMonChanged();
    void RefreshStatus();
    void RefreshPosition();
    void RefreshUniverses();
    // `rcpf` = the recordings folder + "/" + name; with play, `rcct` = 3 too.
    void LoadEntry(const LString& name, bool play);

    CKvsRecCtlF* Frame() const { return fFrame; }
    LTimer& PollTimer() { return fTimer; }

private:
    static void OnChange(void* self, CRecordNote* note);
    static void OnRead(void* self, bool success);
    void Command(i32 rcct);
    void Locate(i32 position);
    void Stop();
    bool ShowsRecordings() const;

    CKvsDevCtl* fCtl;
    CUndoQ fUndo;
    CKvsRecCtlF* fFrame = nullptr;
    LTimer fTimer;
    u32 fStamp = 0;
    u32 fLastScroll;
    CRecordDoc* fPrefs = nullptr;
};

// What the record control shows of the device's status, as pure functions.
// sqtm as a time of day ("HH:MM:SS"): negative times count back from midnight.
LString RecTimeText(i32 sqtm);
// The recording's name: cflp's last part without its extension.
LString RecFileLabel(const LString& cflp);
// The bar over sqtt..sqet: value, min, max, page; all 0 for an empty range.
struct RecBarRange {
    i32 value = 0, min = 0, max = 0, page = 0;
};
RecBarRange RecBarFor(i32 sqtm, i32 sqtt, i32 sqet);
// The name a stopped recording may be renamed from: cflp's last part when the
// device file name rule accepts it, else empty (nothing to rename).
LString RecRenameSource(const LString& cflp);
