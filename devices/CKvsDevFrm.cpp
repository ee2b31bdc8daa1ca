#include "devices/CKvsDevFrm.h"

#include <cstdio>
#include <initializer_list>
#include <utility>

#include "base/Calendar.h"
#include "base/LTextSink.h"
#include "devices/CKvsDevSet.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "framework/CNumVol.h"
#include "services/GraphicsServices.h"
#include "records/DeviceKinds.h"

namespace {

constexpr const char* kTexts = "DEVFRM";
enum : u32 {
    kTxtAddr = 0,
    kTxtMode = 1,
    kTxtCsad = 2,
    kTxtCsmk = 3,
    kTxtDhcp = 4,
    kTxtUnicast = 5,
    kTxtBackup = 6,
    kTxtBackupWarn = 7,
    kTxtBuma = 8,
    kTxtClock = 9,
    kTxtMode0 = 10,
    kTxtBadAddress = 13,
    kTxtSyncOff = 14,
    kTxtSyncOn = 15,
};
constexpr u8 kCustomMode = 2;

LString Text(u32 n) {
    return StdDialogText(kTexts, n);
}

// True when the pane changed.
bool ShowPane(LPane& pane, bool show) {
    if (((pane.State() & LPane::kVisible) != 0) == show) return false;
    pane.SetState(show ? LPane::kOpShow : LPane::kOpHide);
    return true;
}

}  // namespace

bool ParseIPv4(const char* text, u32* out) {
    *out = 0;
    if (!text) return false;
    u32 address = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *p++ != '.') return false;
        if (*p < '0' || *p > '9') return false;
        u32 value = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + u32(*p++ - '0');
            if (++digits > 3 || value > 255) return false;
        }
        address = (address << 8) | value;
    }
    if (*p) return false;
    *out = address;
    return true;
}

u32 ParseIPv4Text(const char* text) {
    u32 address;
    return ParseIPv4(text, &address) ? address : 0;
}

LString IPv4Text(u32 a) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255,
                  a & 255);
    return LString(buf);
}

bool IsUsableDeviceAddress(u32 a) {
    u32 hostMask;
    if (a < 0x80000000u) {
        if (a < 0x01000000u || a >= 0x7F000000u) return false;
        hostMask = 0xFFFFFF;
    } else if (a < 0xC0000000u) {
        hostMask = 0xFFFF;
    } else if (a < 0xE0000000u) {
        hostMask = 0xFF;
    } else {
        return false;
    }
    const u32 host = a & hostMask;
    return host != 0 && host != hostMask;
}

LString DeviceClockText(const LString& crtc) {
    CalDateTime utc;
    if (crtc.IsEmpty() || !ParseIsoDateTime(utc, crtc.CStr(), 0)) return LString();
    DateTime d;
    DateTime::FromFields(d, utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second);
    DateTime::FromAbsolute(d, AbsTimeToLocal(DateTime::ToAbsolute(d)));
    LTextStream out;
    DateTime::FormatDate(d, out);
    out.PutChar(' ');
    DateTime::FormatTime(d, out);
    return LString(out.CStr());
}

CKvsDevFrm::CKvsDevFrm(LPane* parent, CKvsDevSet* set)
    : LFrame(parent, parent),
      fAddrLabel(this),
      fAddr(this),
      fModeLabel(this),
      fMode(this),
      fCustom(this, this),
      fCsadLabel(&fCustom),
      fCsad(&fCustom),
      fCsmkLabel(&fCustom),
      fCsmk(&fCustom),
      fDhcp(this),
      fUnicast(this),
      fBackup(this),
      fBackupWarn(this),
      fBackupFrm(this, this),
      fBumaLabel(&fBackupFrm),
      fBuma(&fBackupFrm),
      fClockFrm(this, this),
      fClockLabel(&fClockFrm),
      fClock(&fClockFrm),
      fSync(&fClockFrm),
      fFields{&fCsad, &fCsmk, &fBuma},
      fRefocus(this),
      fSet(set) {
    fAddrLabel.SetText(Text(kTxtAddr));
    fAddr.SetStyle(LFont(3));
    fModeLabel.SetText(Text(kTxtMode));
    for (u32 i = 0; i < 3; ++i) fMode.AddItem(Text(kTxtMode0 + i));
    fCsadLabel.SetText(Text(kTxtCsad));
    fCsmkLabel.SetText(Text(kTxtCsmk));
    fDhcp.SetTitle(Text(kTxtDhcp));
    fUnicast.SetTitle(Text(kTxtUnicast));
    fBackup.SetTitle(Text(kTxtBackup));
    fBackupWarn.SetText(Text(kTxtBackupWarn));
    LPenRef red;
    MakePenByColor(&red, 0xFF0000FFu, 0);
    fBackupWarn.SetColor(red);
    fBumaLabel.SetText(Text(kTxtBuma));
    fClockLabel.SetText(Text(kTxtClock));
    fCustom.SetLayoutByName("DEVCSTFRM", 1);
    fBackupFrm.SetLayoutByName("DEVBUPFRM", 1);
    fClockFrm.SetLayoutByName("DEVCLKFRM", 1);
    SetLayoutByName("DEVFRM", 1);
    // Tab reaches the mode and the boxes too, and the one it reaches shows it.
    for (LPane* pane : std::initializer_list<LPane*>{&fMode, &fDhcp, &fUnicast, &fBackup})
        pane->SetState(kOpTabStopRingOutside);
    fSet->AddChangeListener(this, OnChange);
    Refresh();
}

CKvsDevFrm::~CKvsDevFrm() {
    Listen(false);
    // Fields that lose the focus while the frame goes store and refuse nothing.
    fSettings = nullptr;
    fState = nullptr;
    fSet->RemoveChangeListener(this, OnChange);
}

void CKvsDevFrm::Listen(bool on) {
    for (CRecord* r : {fSettings, fState}) {
        CRecordDoc* doc = r ? r->GetOwner() : nullptr;
        if (!doc) continue;
        if (on)
            doc->AddListener(this, OnChange);
        else
            doc->RemoveListener(this, OnChange);
    }
}

bool CKvsDevFrm::SetDevice(u16 serial, CRecord* settings, CRecord* state) {
    // What was typed belongs to the device it was typed for, never to the next.
    if (serial != fSerial && !EndEdits()) return false;
    const bool other = serial != fSerial || settings != fSettings;
    Listen(false);
    fSerial = serial;
    fSettings = settings;
    fState = state;
    Listen(true);
    Refresh(other);
    return true;
}

bool CKvsDevFrm::EndEdits() {
    if (!fSettings || fRefusing) return fRefusing == nullptr;
    for (LAsciiEdit* field : fFields)
        if (!EndEdit(field)) return false;
    return true;
}

i32 CKvsDevFrm::FieldIndex(const LHandler* pane) const {
    for (u32 i = 0; i < kAddrFields; ++i)
        if (fFields[i] == pane) return i32(i);
    return -1;
}

void CKvsDevFrm::ShowAddress(u32 index, u32 address, bool emptyForZero, bool force) {
    LAsciiEdit* field = fFields[index];
    // The user is typing there, or the text is being refused and stays for
    // the correction (the field is unfocused while the message is up).
    if (!force && ((field->State() & kFocused) || field == fRefusing || field == fRefocusField))
        return;
    const LString text = address == 0 && emptyForZero ? LString() : IPv4Text(address);
    field->SetText(text);
    fShown[index] = text;
}

void CKvsDevFrm::OnChange(void* self, CRecordNote* note) {
    CKvsDevFrm* f = static_cast<CKvsDevFrm*>(self);
    CRecord* r = note->record;
    if (!r) return;
    if (r->Kind() == kKindDevc) {
        if (f->fSerial != 0 && note->field == DevcF::address &&
            u16(r->GetU32(DevcF::serial)) == f->fSerial)
            f->Refresh();
        return;
    }
    if ((f->fSettings && r->IsDescendantOf(f->fSettings)) ||
        (f->fState && r->IsDescendantOf(f->fState)) || r == f->fSettings || r == f->fState)
        f->Refresh();
}

void CKvsDevFrm::Refresh() {
    Refresh(false);
}

void CKvsDevFrm::Refresh(bool force) {
    CRecord* device = fSerial ? fSet->Find(fSerial) : nullptr;
    bool moved = false;
    fAddr.SetText(IPv4Text(device ? device->GetU32(DevcF::address) : 0));
    // Nothing of a record not yet read may pass for the device's own values.
    const u32 op = fSettings ? kOpEnable : kOpDisable;
    LPane* editable[] = {&fMode, &fCsad, &fCsmk, &fDhcp, &fUnicast, &fBackup, &fBuma};
    for (LPane* pane : editable)
        if (((pane->State() & kEnabled) != 0) != (fSettings != nullptr)) pane->SetState(op);
    if (fSettings) {
        const u8 mode = fSettings->GetU8(DvstF::admd);
        fMode.Select(mode);
        moved |= ShowPane(fCustom, mode == kCustomMode);
        ShowAddress(0, fSettings->GetU32(DvstF::csad), false, force);
        ShowAddress(1, fSettings->GetU32(DvstF::csmk), false, force);
        fDhcp.SetState(fSettings->GetU8(DvstF::usdh));
        fUnicast.SetState(fSettings->GetU8(DvstF::usuc));
        const bool backup = fSettings->GetU8(DvstF::bkup) != 0;
        fBackup.SetState(backup ? 1 : 0);
        moved |= ShowPane(fBackupWarn, fState && fState->GetU8(DvssF::bumt) != 0);
        if (backup || force) ShowAddress(2, fSettings->GetU32(DvstF::buma), true, force);
        moved |= ShowPane(fBackupFrm, backup);
    } else {
        for (u32 i = 0; i < kAddrFields; ++i) {
            fFields[i]->SetText(LString());
            fShown[i] = LString();
        }
        for (LStdCheck* box : {&fDhcp, &fUnicast, &fBackup}) box->SetState(0);
        moved |= ShowPane(fBackupWarn, false);
    }
    if (fState) {
        fClock.SetText(DeviceClockText(fState->GetString(DvssF::crtc)));
        if (!fSettings || fSettings->GetString(DvstF::ntsl).IsEmpty())
            fSync.SetText(LString());
        else
            fSync.SetText(Text(fState->GetU8(DvssF::ntsy) ? kTxtSyncOn : kTxtSyncOff));
    } else {
        fClock.SetText(LString());
        fSync.SetText(LString());
    }
    // Hidden panes take no room: the others move up, and the window hears at
    // once that the frame wants another size.
    if (moved) {
        Relayout();
        if (fContainer) Send(LPane_Pref, this, fContainer);
    }
}

void CKvsDevFrm::ShowRefusal(const LString& text) {
    CSimpleMessageDialog dialog(this, LPaneOpt::Window(kWindowDialog, 0));
    dialog.Run(text, 0, false);
}

void CKvsDevFrm::Refuse(LEditText* field, bool leaving) {
    // The message's own window takes the focus: the field's end of editing that
    // this causes is not another refusal.
    fRefusing = field;
    ShowRefusal(Text(kTxtBadAddress));
    fRefusing = nullptr;
    if (leaving) {
        fRefocusField = field;
        fRefocus.Start(0u);
        return;
    }
    TakeFocusBack(field);
}

void CKvsDevFrm::TakeFocusBack(LEditText* field) {
    field->RequestFocus();
    field->ActivateEngine();
}

LEditText* CKvsDevFrm::FocusedField() const {
    // Down the frames' own focus, not by the panes' focus bits alone: only one
    // pane at a time is the end of that chain.
    for (LAsciiEdit* field : fFields) {
        const auto* holder = static_cast<const LFrame*>(field->Parent());
        if ((field->State() & kFocused) && holder->Focus() == field && Focus() == holder)
            return field;
    }
    return nullptr;
}

bool CKvsDevFrm::EndEdit(LEditText* field, bool leaving) {
    const i32 index = FieldIndex(field);
    if (index < 0 || !fSettings) return true;
    const LString text = field->GetText();
    if (text == fShown[index]) return true;  // nothing typed, nothing to store
    u32 address = 0;
    const bool parsed = ParseIPv4(text.CStr(), &address);
    if (field == &fCsad) {
        if (!parsed || !IsUsableDeviceAddress(address)) {
            Refuse(field, leaving);
            return false;
        }
        fSettings->SetU32(nullptr, DvstF::csad, address);
    } else if (text.IsEmpty()) {
        // An emptied mask keeps the device's mask (the field shows it again); an
        // emptied backup address clears it.
        if (field == &fCsmk) {
            ShowAddress(u32(index), fSettings->GetU32(DvstF::csmk), false, true);
            return true;
        }
        fSettings->SetU32(nullptr, DvstF::buma, 0);
    } else if (!parsed) {
        // A typo would otherwise store 0 over the setting, or nothing without a word.
        Refuse(field, leaving);
        return false;
    } else {
        fSettings->SetU32(nullptr, field == &fCsmk ? DvstF::csmk : DvstF::buma, address);
    }
    fShown[index] = text;
    return true;
}

LMessage CKvsDevFrm::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fRefocus) {
        LEditText* field = std::exchange(fRefocusField, nullptr);
        if (fSettings && field && field->IsUsable()) TakeFocusBack(field);
        return LMessage();
    }
    if (!fSettings) return LFrame::HandleMessage(msg);
    if (msg.Is(CNumVol_Move)) return LMessage();
    if (msg.Is(LPopupList_Changed) && msg.source == &fMode) {
        fSettings->SetU8(nullptr, DvstF::admd, u8(fMode.GetSelected()));
    } else if (msg.Is(LStdCheck_Change)) {
        const struct {
            LStdCheck* box;
            u8 field;
        } checks[] = {{&fDhcp, DvstF::usdh}, {&fUnicast, DvstF::usuc}, {&fBackup, DvstF::bkup}};
        for (const auto& c : checks)
            if (msg.source == c.box) fSettings->SetU8(nullptr, c.field, c.box->GetState());
    } else if (msg.Is(LEditText_Unfocused)) {
        const i32 index = FieldIndex(msg.source);
        if (index >= 0 && fFields[index] != fRefusing) {
            LEditText* field = fFields[index];
            // Still focused: the edit was ended in place, the focus stays.
            if (!EndEdit(field, !(field->State() & kFocused))) return LMessage();
        }
    } else if (msg.Is(LKeyboard_Down) && LKeyboard::Instance()) {
        const u32 ch = LKeyboard::Instance()->fChar;
        LEditText* field = ch == 3 || ch == 13 ? FocusedField() : nullptr;
        if (field && field != fRefusing && !EndEdit(field)) return LMessage();
    }
    return LFrame::HandleMessage(msg);
}
