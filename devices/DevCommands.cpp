#include "devices/DevCommands.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "devlink/AnswerLimits.h"
#include "base/Calendar.h"
#include "base/Clock.h"
#include "devices/CDevSettingsDlgs.h"
#include "devices/CFirmwareUpdate.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevFrm.h"
#include "devlink/NetIf.h"
#include "editors/CKvsPlayCmd.h"
#include "devlink/ReqQueue.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/OneShotFields.h"

namespace {

constexpr u32 kBroadcast = 0xFFFFFFFFu;

// A field's value into a byte of the device: limited, never wrapped.
u8 ByteOf(f64 value) {
    return u8(std::clamp(std::lround(value), 0L, 255L));
}

namespace Cmd {
constexpr const char* initAddr = "cInitAddr";
constexpr const char* setClock = "cSetClock";
constexpr const char* network = "cNetwSetn";
constexpr const char* calibrate = "cCalibTouch";
constexpr const char* clockRate = "cClockRate";
constexpr const char* rotate = "cRotateDisp";
constexpr const char* shutdown = "cShutDwDly";
constexpr const char* firmware = "cSetnFwUpd";
constexpr const char* language = "cDevLang";
constexpr const char* english = "cLangEn";
constexpr const char* japanese = "cLangJp";
constexpr const char* openPlayFile = "cOpenPlaySetn";
}  // namespace Cmd

constexpr u32 kLangEnglish = FourCC("US  ");
constexpr u32 kLangJapanese = FourCC("JP  ");

LString Decimal(u32 v) {
    return LString(std::to_string(v).c_str());
}

LString IsoText(const DateTime& utc) {
    LTextStream text;
    DateTime::FormatIso(utc, text);
    return LString(text.CStr());
}

// Sent through the channel, then emptied behind the listeners' backs, so that
// the same text sent again is again a change.
void SendClockCommand(CKvsDevCtl* ctl, const LString& text) {
    CRecord* cmd = ctl->Record(CKvsDevCtl::kCommands);
    if (!cmd) return;
    SetCommandOneShotText(cmd, DvcmF::srtc, text);
}

CRecord* AppPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc ? doc->Root() : nullptr;
}

// The dialogs' own modal runs, parented by the document.
struct DialogAsk : MDevCmdAsk {
    explicit DialogAsk(LHandler* parent) : fParent(parent) {}
    bool Confirm(const LString& text) override {
        CSimpleMessageDialog dialog(fParent, LPaneOpt::Window(kWindowDialog, 0));
        return dialog.Run(text, 0, true) == 1;
    }
    LHandler* fParent;
};

}  // namespace

LString ClockTextFromLocal(i32 year, i32 month, i32 day, i32 hour, i32 minute, i32 second) {
    DateTime local;
    DateTime::FromFields(local, year, month, day, hour, minute, second);
    DateTime utc;
    DateTime::FromAbsolute(utc, AbsTimeFromLocal(DateTime::ToAbsolute(local)));
    return IsoText(utc);
}

LString ClockTextNextSecond() {
    const AbsTime first = GetAbsTimeNow();
    AbsTime t = first;
    const u32 ms = 1;
    while (std::floor(t) == std::floor(first)) {
        SleepForMs(&ms);
        t = GetAbsTimeNow();
    }
    DateTime utc;
    DateTime::FromAbsolute(utc, t);
    return IsoText(utc);
}

i32 LocalZoneMinutes() {
    return LocalZoneOffsetAt(GetAbsTimeNow()) / 60;
}

// ---- Direct command transfers

struct CKvsDevCommands::Pending {
    CKvsDevCommands* owner;
    CTftpSession* session = nullptr;
    u32 after = kAfterNothing;
    u16 serial = 0;
};

CKvsDevCommands::CKvsDevCommands(CKvsDevDoc* doc)
    : fBroadcast(LNetAddr::IPv4(kBroadcast, kTftpPort)), fDoc(doc) {
    LoadFirmwareImage(&fImage);
    if (!FirmwareImageUsable(fImage.Data(), fImage.Capacity())) fImage.Free();
}

CKvsDevCommands::~CKvsDevCommands() {
    for (Pending* p : fPending) {
        fDoc->Transfers().Release(p->session);
        delete p;
    }
}

void CKvsDevCommands::SetFirmware(const u8* data, u32 size) {
    fImage.Free();
    if (FirmwareImageUsable(data, size)) fImage.Assign(data, size);
}

void CKvsDevCommands::Send(const LNetAddr& to, const char* path, u32 serial, bool withSerial,
                           u32 after) {
    Pending* p = new Pending{this};
    p->after = after;
    p->serial = u16(serial);
    p->session = fDoc->Transfers().StartTransfer(to, true, LString(path), p, OnTransfer,
                                                 CLocalAddrWatch::Current());
    if (withSerial) p->session->AddOption(LString("serno"), Decimal(serial));
    fPending.push_back(p);
    p->session->Start();
}

void CKvsDevCommands::OnTransfer(void* self, u32 event, void* object) {
    Pending* p = static_cast<Pending*>(self);
    if (event == kTftpEventPeerNew)
        static_cast<CTftpPeer*>(object)->Accept(new CGrowMemStrm(kUnkeptAnswerLimit));
    else if (event == kTftpEventSessionDone)
        p->owner->Ended(p);
}

void CKvsDevCommands::Ended(Pending* p) {
    for (size_t i = 0; i < fPending.size(); ++i) {
        if (fPending[i] != p) continue;
        fPending.erase(fPending.begin() + long(i));
        break;
    }
    fDoc->Transfers().Release(p->session);
    const u32 after = p->after;
    const u16 serial = p->serial;
    delete p;
    if (after == kAfterRefreshAll)
        fDoc->RefreshAllSettings();
    else if (after == kAfterCalibrate)
        Calibrate(serial);
}

void CKvsDevCommands::Calibrate(u16 serial) {
    // The device that was rotated, wherever the selection moved meanwhile; a
    // device that left the list gets nothing.
    CRecord* device = fDoc->DeviceSet().Find(serial);
    if (!device) return;
    Send(LNetAddr::IPv4(device->GetU32(DevcF::address), kTftpPort), "/.cmd/tchcal", serial, true,
         kAfterNothing);
}

// ---- Menu

CRecord* CKvsDevCommands::SelectedDevice() {
    const i32 row = fDoc->View()->SelectedRow();
    if (row < 0 || u32(row) >= fDoc->DeviceSet().Count()) return nullptr;
    return fDoc->DeviceSet().At(u32(row));
}

void CKvsDevCommands::Enable(LMenuBar* bar) {
    bar->EnableCommand(Cmd::openPlayFile);
    bar->EnableCommand(Cmd::initAddr);
    if (!SelectedDevice()) return;
    for (const char* c :
         {Cmd::setClock, Cmd::network, Cmd::calibrate, Cmd::clockRate, Cmd::rotate, Cmd::shutdown})
        bar->EnableCommand(c);
    if (fImage.Capacity() > 0 && !fDoc->AnyControlWindowShown()) bar->EnableCommand(Cmd::firmware);
    CKvsDevCtl* ctl = fDoc->SelectedController();
    if (!ctl || !ctl->Settings()) return;
    bar->EnableCommand(Cmd::language);
    bar->EnableCommand(Cmd::english);
    bar->EnableCommand(Cmd::japanese);
    const bool jp = ctl->Settings()->GetU32(DvstF::uicy) == kLangJapanese;
    bar->CheckCommand(jp ? Cmd::japanese : Cmd::english);
}

bool CKvsDevCommands::Run(LMenuItem* item) {
    if (item->HasCommand(Cmd::openPlayFile)) return Run(Cmd::openPlayFile);
    for (const char* c :
         {Cmd::initAddr, Cmd::setClock, Cmd::network, Cmd::calibrate, Cmd::clockRate, Cmd::rotate,
          Cmd::shutdown, Cmd::firmware, Cmd::english, Cmd::japanese})
        if (item->HasCommand(c)) return Run(c);
    return false;
}

bool CKvsDevCommands::Run(const char* c) {
    const std::string command = c;
    CKvsDevCtl* ctl = fDoc->SelectedController();
    if (command == Cmd::openPlayFile) {
        OpenPlayFile();
    } else if (command == Cmd::initAddr) {
        InitialAddress();
    } else if (command == Cmd::setClock) {
        if (ctl) SetClock(ctl);
    } else if (command == Cmd::network) {
        if (ctl) Network(ctl);
    } else if (command == Cmd::clockRate) {
        if (ctl) ClockRate(ctl);
    } else if (command == Cmd::shutdown) {
        ShutdownDelay();
    } else if (command == Cmd::calibrate) {
        if (CRecord* device = SelectedDevice()) Calibrate(u16(device->GetU32(DevcF::serial)));
    } else if (command == Cmd::rotate) {
        RotateDisplay();
    } else if (command == Cmd::firmware) {
        FirmwareUpdate();
    } else if (command == Cmd::english || command == Cmd::japanese) {
        if (ctl && ctl->Settings())
            ctl->Settings()->SetU32(nullptr, DvstF::uicy,
                                    command == Cmd::japanese ? kLangJapanese : kLangEnglish);
    } else {
        return false;
    }
    return true;
}

// ---- The commands

void CKvsDevCommands::OpenPlayFile() {
    LString path;
    // Cancelled: no controller is made.
    if (!RunPlayImportPanel(fDoc, &path)) return;
    CKvsDevCtl* ctl = fDoc->AddFileController();
    if (!ctl->OpenFile(path)) fDoc->DropFileController(ctl);
}

void CKvsDevCommands::InitialAddress() {
    CRecord* prefs = fDoc->Prefs();
    CInitAddrDlg dialog(fDoc);
    dialog.SetValues(prefs && prefs->GetU8(PrdvF::iaal) != 0,
                     prefs ? prefs->GetU32(PrdvF::iasn) : 1000);
    if (dialog.RunModal() != 1) return;
    const bool all = dialog.AllDevices();
    const u32 serial = dialog.Serial();
    if (prefs) {
        prefs->SetU8(nullptr, PrdvF::iaal, all ? 1 : 0);
        prefs->SetU32(nullptr, PrdvF::iasn, serial);
    }
    Send(fBroadcast, "/.cmd/rstadr", serial, !all, kAfterRefreshAll);
}

void CKvsDevCommands::SetClock(CKvsDevCtl* ctl) {
    CRecord* prefs = AppPrefs();
    CKvsClockDlg dialog(fDoc);
    const LString manual = prefs ? prefs->GetString(PrefF::mnck) : LString();
    CalDateTime utc;
    if (!manual.IsEmpty() && ParseIsoDateTime(utc, manual.CStr(), 0)) {
        DateTime u;
        DateTime::FromFields(u, utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second);
        DateTime local;
        DateTime::FromAbsolute(local, AbsTimeToLocal(DateTime::ToAbsolute(u)));
        CalDateTime shown;
        shown.year = u16(std::clamp(local.year, 0, 65535));
        shown.month = local.month;
        shown.day = local.day;
        shown.hour = local.hour;
        shown.minute = local.minute;
        shown.second = u8(local.second);
        dialog.SetFields(shown);
        dialog.SetManual(true);
    }
    if (dialog.RunModal() != 1) return;
    dialog.HideWindow();
    CSimpleProgressDialog progress(fDoc, LPaneOpt::Window(kWindowDialog, 2));
    progress.fBar.SetState(LPane::kOpHide);
    progress.fButton.SetState(LPane::kOpHide);
    progress.SetMessage(StdDialogText("KVSDOC", 2));
    progress.ShowWindow();
    if (CRecord* settings = ctl->Settings())
        settings->SetI32(nullptr, DvstF::tmzn, LocalZoneMinutes());
    LString text;
    if (dialog.IsManual()) {
        i32 y, mo, d, h, mi, s;
        dialog.GetFields(&y, &mo, &d, &h, &mi, &s);
        text = ClockTextFromLocal(y, mo, d, h, mi, s);
        if (prefs) prefs->SetString(nullptr, PrefF::mnck, text);
    } else {
        text = ClockTextNextSecond();
        if (prefs) prefs->SetString(nullptr, PrefF::mnck, LString());
    }
    SendClockCommand(ctl, text);
}

void CKvsDevCommands::Network(CKvsDevCtl* ctl) {
    CRecord* settings = ctl->Settings();
    if (!settings) return;
    static constexpr u8 kFields[CKvsNetwDlg::kAddrFields] = {DvstF::axad, DvstF::axmk, DvstF::rtra,
                                                             DvstF::dnsa};
    CKvsNetwDlg dialog(fDoc);
    for (u32 i = 0; i < CKvsNetwDlg::kAddrFields; ++i) {
        const u32 a = settings->GetU32(kFields[i]);
        dialog.fAddr[i].SetText(a ? IPv4Text(a) : LString());
    }
    dialog.fServer.SetText(settings->GetString(DvstF::ntsl));
    dialog.fInterval.SetValue(settings->GetU8(DvstF::ntit));
    if (dialog.RunModal() != 1) return;
    CNetwSettings values;
    values.address = dialog.Address(0);
    values.mask = dialog.Address(1);
    values.router = dialog.Address(2);
    values.dns = dialog.Address(3);
    values.server = dialog.fServer.GetText();
    values.interval = ByteOf(dialog.fInterval.GetValue());
    StoreNetworkSettings(ctl, values);
}

void StoreNetworkSettings(CKvsDevCtl* ctl, const CNetwSettings& values) {
    CRecord* settings = ctl ? ctl->Settings() : nullptr;
    if (!settings) return;
    settings->SetU32(nullptr, DvstF::axad, values.address);
    settings->SetU32(nullptr, DvstF::axmk, values.mask);
    settings->SetU32(nullptr, DvstF::rtra, values.router);
    settings->SetU32(nullptr, DvstF::dnsa, values.dns);
    settings->SetString(nullptr, DvstF::ntsl, values.server);
    settings->SetU8(nullptr, DvstF::ntit, values.interval);
    if (values.server.IsEmpty()) return;
    // The device takes up a new time server with the next clock command. The
    // settings and the command channels take turns on the device's queue: sent
    // now, the command would overtake the mask, router and server still waiting
    // and the device would ask the old server. When a field did not arrive the
    // channel reads the record back instead, and no command follows.
    ctl->SettingsChannel().AfterQueued(ctl, [](void* c, bool ok) {
        if (ok) SendClockCommand(static_cast<CKvsDevCtl*>(c), LString(" "));
    });
}

void CKvsDevCommands::ClockRate(CKvsDevCtl* ctl) {
    CRecord* settings = ctl->Settings();
    if (!settings) return;
    CKvsClkRateDlg dialog(fDoc);
    dialog.SetRate(settings->GetF32(DvstF::ckrt) / 1000000.0f);
    if (dialog.RunModal() != 1) return;
    // The dialog shows the correction itself: what it holds is the new one, and
    // an unchanged dialog leaves the stored value exactly as it was.
    if (!dialog.Changed()) return;
    settings->SetF32(nullptr, DvstF::ckrt, 0, ClockRateToStore(dialog.Choice(), dialog.GetRate()));
}

void CKvsDevCommands::ShutdownDelay() {
    CRecord* device = SelectedDevice();
    if (!device) return;
    CKvsDevCtl* ctl = fDoc->FindOrCreateController(u16(device->GetU32(DevcF::serial)));
    CRecord* settings = ctl ? ctl->Settings() : nullptr;
    if (!settings) return;
    CKvsShtdwDlyDlg dialog(fDoc);
    dialog.fDelay.SetValue(settings->GetU8(DvstF::sddl));
    if (dialog.RunModal() != 1) return;
    settings->SetU8(nullptr, DvstF::sddl, ByteOf(dialog.fDelay.GetValue()));
}

void CKvsDevCommands::RotateDisplay() {
    CRecord* device = SelectedDevice();
    if (!device) return;
    const u16 serial = u16(device->GetU32(DevcF::serial));
    DialogAsk own(fDoc);
    MDevCmdAsk& ask = fAsk ? *fAsk : own;
    if (!ask.Confirm(StdDialogText("KVSDOC", 8))) return;
    // The question may have taken a while: the device is looked up again.
    device = fDoc->DeviceSet().Find(serial);
    if (!device) return;
    Send(LNetAddr::IPv4(device->GetU32(DevcF::address), kTftpPort), "/.cmd/rotdsp", serial, true,
         kAfterCalibrate);
}

void CKvsDevCommands::FirmwareUpdate() {
    CRecord* device = SelectedDevice();
    if (!device || fImage.Capacity() == 0) return;
    CFwUpdateDialogs own(fDoc);
    MFwUpdateUi& ui = fFwUi ? *fFwUi : own;
    const u32 item = UpdateFirmware(&fDoc->DeviceSet(), device->GetU32(DevcF::serial),
                                    fImage.Data(), fImage.Capacity(), ui);
    if (item != 0) fDoc->StartRefresh();
}
