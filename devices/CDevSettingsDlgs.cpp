#include "devices/CDevSettingsDlgs.h"

#include <algorithm>
#include <cmath>

#include "devices/CKvsDevFrm.h"
#include "framework/StdDialogs.h"
#include "records/CRecord.h"
#include "records/DeviceKinds.h"

namespace {

constexpr f64 kSecondsPerDay = 86400.0;
// The largest correction a device takes: 0.5 s per hour.
constexpr f64 kMaxRate = 1.0 / 7200.0;

void Ring(std::initializer_list<CRadioBtn*> buttons) {
    CRadioBtn* prev = nullptr;
    CRadioBtn* first = nullptr;
    for (CRadioBtn* b : buttons) {
        if (prev) prev->SetNext(b);
        if (!first) first = b;
        prev = b;
    }
    if (prev) prev->SetNext(first);
}

void Show(LPane& pane, bool on) {
    pane.SetState(on ? LPane::kOpShow : LPane::kOpHide);
}

i32 Int(CNumVol& field) {
    return i32(std::lround(field.GetValue()));
}

}  // namespace

// ---- CKvsSettingsDlg

CKvsSettingsDlg::CKvsSettingsDlg(LHandler* parent, const char* name)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fName(name),
      fOk(this),
      fCancel(this) {
    SetTitle(Text(0));
    fOk.SetTitle(Text(1));
    fCancel.SetTitle(Text(2));
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
}

LString CKvsSettingsDlg::Text(u32 n) const {
    return StdDialogText(fName, n);
}

void CKvsSettingsDlg::Finish() {
    SetLayoutByName(fName, 1);
}

// ---- CInitAddrDlg

CInitAddrDlg::CInitAddrDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "INITADDRDLG"),
      fNote(this, LTextBox::kWrap),
      fAll(this),
      fSerialLabel(this),
      fSerial(this) {
    Label(fNote, 3);
    fNote.SetStyle(LFont(2));
    fAll.SetTitle(Text(4));
    Label(fSerialLabel, 5);
    fSerial.SetRange(1000, 2999, 1);
    Finish();
}

void CInitAddrDlg::SetValues(bool allDevices, u32 serial) {
    fAll.SetState(allDevices ? 1 : 0);
    fSerial.SetValue(f32(serial));
    ApplyAll();
}

void CInitAddrDlg::ApplyAll() {
    Show(fSerial, !AllDevices());
}

LMessage CInitAddrDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCheck_Change) && msg.source == &fAll) {
        ApplyAll();
        return LMessage();
    }
    return CKvsSettingsDlg::HandleMessage(msg);
}

// ---- CKvsNetwDlg

CKvsNetwDlg::CKvsNetwDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "NETWDLG"),
      fLabels{LTextPane(this), LTextPane(this), LTextPane(this), LTextPane(this), LTextPane(this),
              LTextPane(this), LTextPane(this), LTextPane(this), LTextPane(this)},
      fAddr{LAsciiEdit(this), LAsciiEdit(this), LAsciiEdit(this), LAsciiEdit(this)},
      fServer(this),
      fInterval(this) {
    const LFont small(2);
    for (u32 i = 0; i < 9; ++i) {
        Label(fLabels[i], 3 + i);
        fLabels[i].SetStyle(small);
    }
    for (LAsciiEdit& a : fAddr) a.SetStyle(small);
    fServer.SetStyle(small);
    fInterval.SetStyle(small);
    fInterval.SetRange(1, 24, 1);
    Finish();
}

LAsciiEdit* CKvsNetwDlg::InvalidAddress() {
    for (LAsciiEdit& a : fAddr) {
        const LString text = a.GetText();
        u32 address;
        if (!text.IsEmpty() && !ParseIPv4(text.CStr(), &address)) return &a;
    }
    return nullptr;
}

u32 CKvsNetwDlg::Address(u32 field) {
    return field < kAddrFields ? ParseIPv4Text(fAddr[field].GetText().CStr()) : 0;
}

LMessage CKvsNetwDlg::HandleMessage(const LMessage& msg) {
    const bool confirms = (msg.Is(LStdCtl_Selected) && msg.source == DefaultButton()) ||
                          (msg.Is(LDialog_Default) && msg.source == this);
    if (confirms) {
        if (LAsciiEdit* bad = InvalidAddress()) {
            // Stays open with nothing taken: a typing error must not become
            // "no gateway" on the device.
            // Each field says what it wants: a mask or a router is no host address.
            CSimpleMessageDialog message(this, LPaneOpt::Window(kWindowDialog, 0));
            message.Run(Text(12 + u32(bad - fAddr)), 0, false);
            bad->RequestFocus();
            bad->ActivateEngine();
            return LMessage();
        }
    }
    return CKvsSettingsDlg::HandleMessage(msg);
}

// ---- CKvsClockDlg

CKvsClockDlg::CKvsClockDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "CLOCKDLG"),
      fAuto(this),
      fManual(this),
      fFrame(this, this),
      fYear(&fFrame),
      fL5(&fFrame),
      fMonth(&fFrame),
      fL6(&fFrame),
      fDay(&fFrame),
      fHour(&fFrame),
      fL7(&fFrame),
      fMinute(&fFrame),
      fL8(&fFrame),
      fSecond(&fFrame) {
    fAuto.SetTitle(Text(3));
    fManual.SetTitle(Text(4));
    Ring({&fAuto, &fManual});
    Label(fL5, 5);
    Label(fL6, 6);
    Label(fL7, 7);
    Label(fL8, 8);
    fYear.SetRange(2014, 2199, 1);
    fMonth.SetRange(1, 12, 1);
    fDay.SetRange(1, 31, 1);
    fHour.SetRange(0, 23, 1);
    fMinute.SetRange(0, 59, 1);
    fSecond.SetRange(0, 59, 1);
    DateTime now;
    DateTime::FromAbsolute(now, AbsTimeToLocal(GetAbsTimeNow()));
    CalDateTime local;
    local.year = u16(now.year);
    local.month = now.month;
    local.day = now.day;
    local.hour = now.hour;
    local.minute = now.minute;
    local.second = u8(now.second);
    SetFields(local);
    fFrame.SetLayoutByName("CLKMANUF", 1);
    Finish();
    SetManual(false);
}

void CKvsClockDlg::SetFields(const CalDateTime& local) {
    fYear.SetValue(local.year);
    fMonth.SetValue(local.month);
    fDay.SetValue(local.day);
    fHour.SetValue(local.hour);
    fMinute.SetValue(local.minute);
    fSecond.SetValue(local.second);
}

void CKvsClockDlg::GetFields(i32* year, i32* month, i32* day, i32* hour, i32* minute, i32* second) {
    *year = Int(fYear);
    *month = Int(fMonth);
    *day = Int(fDay);
    *hour = Int(fHour);
    *minute = Int(fMinute);
    *second = Int(fSecond);
}

void CKvsClockDlg::SetManual(bool on) {
    fAuto.SelectIndex(on ? 1 : 0);
    ApplyManual();
}

void CKvsClockDlg::ApplyManual() {
    Show(fFrame, IsManual());
}

void CKvsClockDlg::Normalise() {
    i32 y, mo, d, h, mi, s;
    GetFields(&y, &mo, &d, &h, &mi, &s);
    CalDateTime t;
    t.year = u16(y);
    t.month = u8(mo);
    t.day = u8(d);
    t.hour = u8(h);
    t.minute = u8(mi);
    t.second = u8(s);
    NormaliseDateTime(t);
    fDay.SetValue(t.day);
}

LMessage CKvsClockDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCheck_Change) && (msg.source == &fAuto || msg.source == &fManual)) {
        ApplyManual();
        return LMessage();
    }
    if (msg.Is(CNumVol_Fix) &&
        (msg.source == &fYear || msg.source == &fMonth || msg.source == &fDay ||
         msg.source == &fHour || msg.source == &fMinute || msg.source == &fSecond)) {
        Normalise();
        return LMessage();
    }
    return CKvsSettingsDlg::HandleMessage(msg);
}

// ---- CKvsClkRateDlg

CKvsClkRateDlg::CKvsClkRateDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "CLKRATEDLG"),
      fNone(this),
      fSlow(this),
      fFast(this),
      fFrame(this, this),
      fL6(&fFrame),
      fSeconds(&fFrame, 1),
      fL7(&fFrame),
      fDays(&fFrame) {
    fNone.SetTitle(Text(3));
    fSlow.SetTitle(Text(4));
    fFast.SetTitle(Text(5));
    Ring({&fNone, &fSlow, &fFast});
    Label(fL6, 6);
    Label(fL7, 7);
    fSeconds.SetRange(0, 12, 0.1f);
    fDays.SetRange(1, 100, 1);
    fFrame.SetLayoutByName("CLKRATEADJF", 1);
    Finish();
    SetRate(0);
}

void CKvsClkRateDlg::SetRate(f32 c) {
    if (c == 0) {
        fNone.SelectIndex(kNone);
        fDays.SetValue(10);
        fSeconds.SetValue(0);
    } else {
        const f64 a = std::fabs(f64(c));
        fNone.SelectIndex(c < 0 ? kSlow : kFast);
        const f64 days = std::clamp(std::round((1.0 / kSecondsPerDay) / a), 1.0, 100.0);
        fDays.SetValue(f32(days));
        fSeconds.SetValue(f32(a * kSecondsPerDay * days));
    }
    fSetChoice = Choice();
    fSetSeconds = fSeconds.GetValue();
    fSetDays = fDays.GetValue();
    ApplyChoice();
}

f32 CKvsClkRateDlg::GetRate() {
    const i32 choice = Choice();
    if (choice != kSlow && choice != kFast) return 0;
    const f32 days = f32(fDays.GetValue());
    if (days <= 0) return 0;
    const f32 r = (f32(fSeconds.GetValue()) / days) / f32(kSecondsPerDay);
    return choice == kSlow ? -r : r;
}

bool CKvsClkRateDlg::Changed() {
    return Choice() != fSetChoice || fSeconds.GetValue() != fSetSeconds ||
           fDays.GetValue() != fSetDays;
}

void CKvsClkRateDlg::ApplyChoice() {
    Show(fFrame, Choice() != kNone);
}

LMessage CKvsClkRateDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCheck_Change) &&
        (msg.source == &fNone || msg.source == &fSlow || msg.source == &fFast)) {
        ApplyChoice();
        return LMessage();
    }
    return CKvsSettingsDlg::HandleMessage(msg);
}

f32 ClockRateToStore(i32 choice, f32 rate) {
    if (choice == CKvsClkRateDlg::kNone) return 0;
    return f32(std::clamp(f64(rate), -kMaxRate, kMaxRate) * 1000000.0);
}

// ---- CKvsShtdwDlyDlg

CKvsShtdwDlyDlg::CKvsShtdwDlyDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "KVSSHTDWDLYDLG"), fLabel(this), fDelay(this), fUnit(this) {
    Label(fLabel, 3);
    Label(fUnit, 4);
    fDelay.SetRange(0, 60, 1);
    Finish();
}

// ---- CKvsDevSyDlg

CKvsDevSyDlg::CKvsDevSyDlg(LHandler* parent)
    : CKvsSettingsDlg(parent, "KVSDEVSYDLG"), fSend(this), fReceive(this) {
    fSend.SetTitle(Text(3));
    fReceive.SetTitle(Text(4));
    Finish();
}

void CKvsDevSyDlg::LoadFromRecord(const CRecord* prds) {
    if (!prds) return;
    fSend.SetState(prds->GetU8(PrdsF::bsnd) ? 1 : 0);
    fReceive.SetState(prds->GetU8(PrdsF::brcv) ? 1 : 0);
}

void CKvsDevSyDlg::SaveToRecord(CRecord* prds) {
    if (!prds) return;
    prds->SetU8(nullptr, PrdsF::bsnd, fSend.GetState() ? 1 : 0);
    prds->SetU8(nullptr, PrdsF::brcv, fReceive.GetState() ? 1 : 0);
}
