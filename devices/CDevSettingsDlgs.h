#pragma once
// The small modal dialogs that ask for device settings: initial address,
// network, clock, clock rate, shutdown delay and device sync. They present and
// collect values; the device commands write them to the device's records.

#include "base/Calendar.h"
#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LTextPane.h"

class CRecord;

// Each dialog's layout and texts share its name; texts 0 to 2: title, OK, Cancel.
class CKvsSettingsDlg : public LDialog {
public:
    CKvsSettingsDlg(LHandler* parent, const char* name);

protected:
    // The dialog's text n.
    LString Text(u32 n) const;
    void Label(LTextPane& pane, u32 n) { pane.SetText(Text(n)); }
    void Finish();

    const char* fName;

public:
    LStdButton fOk;
    LStdButton fCancel;
};

class CInitAddrDlg : public CKvsSettingsDlg {
public:
    explicit CInitAddrDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    void SetValues(bool allDevices, u32 serial);
    bool AllDevices() const { return fAll.GetState() != 0; }
    u32 Serial() { return u32(fSerial.GetValue()); }

    LTextPane fNote;
    LStdCheck fAll;
    LTextPane fSerialLabel;
    CNumVol fSerial;

private:
    void ApplyAll();
};

class CKvsNetwDlg : public CKvsSettingsDlg {
public:
    enum : u32 { kAddress, kMask, kRouter, kDns, kAddrFields };
    explicit CKvsNetwDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    // The first address field whose text is neither empty nor an address; null
    // when every one will do.
    LAsciiEdit* InvalidAddress();
    // The four addresses (0 for an empty field); only when none is invalid.
    u32 Address(u32 field);

    LTextPane fLabels[9];
    LAsciiEdit fAddr[kAddrFields];
    LAsciiEdit fServer;
    CNumVol fInterval;
};

class CKvsClockDlg : public CKvsSettingsDlg {
public:
    explicit CKvsClockDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    void SetManual(bool on);
    bool IsManual() const { return fManual.GetState() != 0; }
    // The six fields, taken as they stand.
    void SetFields(const CalDateTime& local);
    void GetFields(i32* year, i32* month, i32* day, i32* hour, i32* minute, i32* second);

    CRadioBtn fAuto;
    CRadioBtn fManual;
    LFrame fFrame;
    CNumVol fYear;
    LTextPane fL5;
    CNumVol fMonth;
    LTextPane fL6;
    CNumVol fDay;
    CNumVol fHour;
    LTextPane fL7;
    CNumVol fMinute;
    LTextPane fL8;
    CNumVol fSecond;

private:
    void ApplyManual();
    void Normalise();
};

class CKvsClkRateDlg : public CKvsSettingsDlg {
public:
    enum : i32 { kNone, kSlow, kFast };
    explicit CKvsClkRateDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    // c: the correction as a fraction (ppm / 1000000).
    void SetRate(f32 c);
    f32 GetRate();
    i32 Choice() const { return fNone.SelectedIndex(); }
    // Whether the user changed anything since SetRate.
    bool Changed();

    CRadioBtn fNone;
    CRadioBtn fSlow;
    CRadioBtn fFast;
    LFrame fFrame;
    LTextPane fL6;
    CNumVol fSeconds;
    LTextPane fL7;
    CNumVol fDays;

private:
    void ApplyChoice();
    i32 fSetChoice = kNone;
    f64 fSetSeconds = 0;
    f64 fSetDays = 10;
};

class CKvsShtdwDlyDlg : public CKvsSettingsDlg {
public:
    explicit CKvsShtdwDlyDlg(LHandler* parent);

    LTextPane fLabel;
    CNumVol fDelay;
    LTextPane fUnit;
};

class CKvsDevSyDlg : public CKvsSettingsDlg {
public:
    explicit CKvsDevSyDlg(LHandler* parent);
    // The 'YKVT'/'PRDS' record: `bsnd` and `brcv`.
    void LoadFromRecord(const CRecord* prds);
    void SaveToRecord(CRecord* prds);

    LStdCheck fSend;
    LStdCheck fReceive;
};

// The clock-rate correction, in ppm, that the clock-rate dialog asks to store:
// 0 for no correction, else its own deviation limited to 0.5 s per hour.
f32 ClockRateToStore(i32 choice, f32 rate);
