#include "devices/CKvsDevCtl.h"

#include "base/Resources.h"
#include "devices/CDevSettingsDlgs.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevSet.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsUploads.h"
#include "devices/DevCtlCommands.h"
#include "devices/files/CKvsFileDrop.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "editors/CKvsPlayCmd.h"
#include "editors/CUvadWin.h"
#include "editors/UnsentSettings.h"
#include "framework/CMainLoop.h"
#include "framework/LMenu.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"

namespace {

constexpr u32 kSysStatPeriodMs = 10000;
// From the device's file list when its files changed: the free space follows.
constexpr const char* kFileListChanged = "CKvsFileList_FlChanged";

CRecord* NewRootOf(u32 family, u32 kind) {
    RegisterAllRecordKinds();
    const CRecordSchema* schema = CRecordSchema::Find(family, kind);
    return schema ? CRecord::New(schema) : nullptr;
}

struct DocKind {
    u32 family, kind;
};
// In the order of the controller's documents.
constexpr DocKind kDocKinds[CKvsDevCtl::kDocCount] = {
    {kFamDrc, kKindDrcStat}, {kFamKvt, kKindDvst}, {kFamKvt, kKindDvcm}, {kFamKvt, kKindDvss},
    {kFamKvs, kKindDcts},    {kFamKvt, kKindSsta}, {kFamUnd, kKindPrms},
};

}  // namespace

CKvsDevCtl::Docs::Docs() {
    for (u32 i = 0; i < kDocCount; ++i)
        docs[i] = new CRecordDoc(NewRootOf(kDocKinds[i].family, kDocKinds[i].kind));
}

CKvsDevCtl::Docs::~Docs() {
    for (u32 i = kDocCount; i-- > 0;) delete docs[i];
}

CKvsDevCtl::CKvsDevCtl(LHandler* doc, CKvsDevSet* set, u32 serial)
    : LHandler(doc),
      fSet(set),
      fSerial(serial),
      fFileQueue(set, serial),
      fChanQueue(set, serial),
      fRefused(this, serial),
      fSeqStatChan(&fChanQueue, Record(kSeqStat), "/.cmd/udseqstat", nullptr, nullptr),
      fSysStatChan(&fChanQueue, Record(kSysStat), "/.cmd/udsysstat", nullptr, nullptr),
      fSettingsChan(&fChanQueue, Record(kSettings), "/.cmd/udkvtset", this, SettingsRead),
      fCommandChan(&fChanQueue, Record(kCommands), "/.cmd/udkvtcmd", nullptr, nullptr),
      fSysTimer(this) {
    Doc(kSettings).AddListener(this, StatusChanged);
    Doc(kSysStat).AddListener(this, StatusChanged);
    fRefused.Watch(fSettingsChan);
    // A play-settings file has no device to read from.
    if (serial == 0) return;
    fSettingsChan.Refresh();
    fSysStatChan.Refresh();
    fSysTimer.StartRepeating(kSysStatPeriodMs);
}

CKvsDevCtl::~CKvsDevCtl() {
    CloseUvadWindow();
    if (fScreen && fScreen->IsShown()) fScreen->CloseWindow();
    delete fScreen;
    fScreen = nullptr;
    delete fUploads;
    fUploads = nullptr;
    fSysTimer.Stop();
    fRefused.Flush();
    TellUnsentSettings(this, fSerial, {&fSettingsChan});
    Doc(kSettings).RemoveListener(this, StatusChanged);
    Doc(kSysStat).RemoveListener(this, StatusChanged);
}

LMessage CKvsDevCtl::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fSysTimer) {
        fSysStatChan.Refresh();
        return LMessage();
    }
    if (msg.Is(kFileListChanged)) fSysStatChan.Refresh();  // and passes on
    if (msg.Is(LFrame_Close) && fUvadWin && msg.source == fUvadWin) {
        CloseUvadWindow();
        return LMessage();
    }
    if (msg.Is(CKvsFileDrop_Dropped) && msg.source) {
        // The pane empties its paths once this send returns: read them now.
        const auto* drop = static_cast<const CKvsFileDrop*>(msg.source);
        std::vector<LString> paths;
        for (u32 i = 0; i < drop->Paths().Count(); ++i) paths.push_back(drop->Paths().At(i));
        if (!paths.empty()) DropFiles(drop->Kind(), paths, drop->Targets());
        return LMessage();
    }
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        EnableControlCommands(*this, static_cast<LMenuBar*>(msg.source));
    } else if (msg.Is(LMenuItem_Selected) && msg.source &&
               RunControlCommand(*this, static_cast<LMenuItem*>(msg.source))) {
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}

void CKvsDevCtl::SettingsRead(void* self) {
    CKvsDevCtl* ctl = static_cast<CKvsDevCtl*>(self);
    if (!ctl->fSettingsKnown) {
        ctl->fSettingsKnown = true;
        Send(CKvsDevCtl_SettingsRead, ctl, ctl->Parent());
    }
    CRecord* settings = ctl->Settings();
    if (!settings || settings->GetU32(DvstF::uicy) != 0) return;
    const u32 japanese = FourCC("JP  ");
    if (CPrefLocale().GetResLanguage() == japanese)
        settings->SetU32(nullptr, DvstF::uicy, japanese);
}

void CKvsDevCtl::StatusChanged(void* self, CRecordNote* note) {
    CKvsDevCtl* ctl = static_cast<CKvsDevCtl*>(self);
    // A device whose DHCP use was switched off has new addresses: read them all.
    if (note->kind == CRecordNote::kChanged && note->record == ctl->Settings() &&
        note->field == DvstF::usdh && ctl->Settings()->GetU8(DvstF::usdh) == 0)
        ctl->fSettingsChan.Refresh();
}

void CKvsDevCtl::NetMonChanged() {
    if (!fScreen) return;
    if (auto* files = dynamic_cast<CKvsFileListCtl*>(fScreen->FilesView())) files->NetMonChanged();
    if (CKvsPlayCmd* play = fScreen->PlayView()) play->RefreshMonitor();
}

bool CKvsDevCtl::CanClose(bool quitting) {
    if (fUploads && fUploads->Pending()) return false;
    // A shown play view decides: its pending settings go out first. A quit
    // asks a hidden one too: a reopening that failed closed the window over
    // edits (an import, a format's files) that the card has not got yet.
    const bool shown = fScreen && fScreen->IsShown();
    if (shown && !fScreen->PlayViewMayClose()) return false;
    if (!shown && quitting && fScreen && !fScreen->HiddenPlayViewMayEnd()) return false;
    if (fSerial == 0 || (!shown && !quitting)) return true;
    CKvsPlayCmd* play = fScreen ? fScreen->PlayView() : nullptr;
    CDevRequestQueue* seq = play ? play->SeqChannel() : nullptr;
    CDevRequestQueue* plays = play ? play->PlayChannel() : nullptr;
    // A window's close leaves the device's own settings with the controller,
    // which goes on sending them; a quit ends them all.
    const bool settled = quitting
                             ? SettleUnsentSettings(this, fSerial, UnsentEnd::kQuit,
                                                    {seq, plays, &fSettingsChan, &fCommandChan})
                             : SettleUnsentSettings(this, fSerial, UnsentEnd::kClose, {seq, plays});
    fLeftWithoutDevice = !settled;
    // At the session's end nothing is asked and nothing more waits for a device
    // that already left a setting unanswered: the end stays short.
    const CMainLoop* loop = CMainLoop::Current();
    if (quitting && loop && loop->fEndForced) {
        // The setting files still pending: the device did not take them.
        if (play && (play->SeqDoc().IsModified() || play->PlayDoc().IsModified()))
            fLeftWithoutDevice = true;
        for (const CDevRequestQueue* c : {seq, plays, &fSettingsChan, &fCommandChan})
            if (c && c->DeviceSilent()) fLeftWithoutDevice = true;
    }
    return true;
}

CRecord* CKvsDevCtl::MediaIndex() {
    return fSerial ? CKvsApp::TouchRecent(AppPrefsDoc(), fSerial) : nullptr;
}

bool CKvsDevCtl::RunDeviceSyncDialog(LHandler* parent) {
    CRecord* prds = Settings() ? Settings()->GetChild(DvstF::prds) : nullptr;
    if (!prds) return false;
    CKvsDevSyDlg dialog(parent);
    dialog.LoadFromRecord(prds);
    if (dialog.RunModal() != 1) return false;
    dialog.SaveToRecord(prds);
    return true;
}

bool CKvsDevCtl::OpenFile(const LString& path) {
    ++fShowRequests;
    if (!fScreen) fScreen = new CKvsDevCtlScreen(this);
    return fScreen->OpenFile(path);
}

void CKvsDevCtl::DropFiles(u32 kind, const std::vector<LString>& paths,
                           const std::vector<CardAgreement>& targets) {
    if (!fUploads) fUploads = new CKvsUploads(this, this);
    fUploads->Dropped(kind, paths, targets);
}

void CKvsDevCtl::ShowWindow() {
    ++fShowRequests;
    if (!fScreen) fScreen = new CKvsDevCtlScreen(this);
    fScreen->ShowWindow();
}

bool CKvsDevCtl::WindowShown() const {
    return fScreen && fScreen->IsShown();
}

void CKvsDevCtl::OpenUvadWindow() {
    if (!fUvadWin) {
        CRecordDoc* prefs = AppPrefsDoc();
        CRecord* misc = prefs && prefs->Root() ? prefs->Root()->GetChild(PrefF::misc) : nullptr;
        CRecord* node = misc ? NodeGetOrCreate(misc, nullptr, "uvad") : nullptr;
        LHandler* parent = fScreen ? static_cast<LHandler*>(&fScreen->Window()) : this;
        fUvadWin = CUvadWin::New(parent, node, Settings(), fSerial);
    }
    fUvadWin->Open();
}

void CKvsDevCtl::CloseUvadWindow() {
    delete fUvadWin;
    fUvadWin = nullptr;
}
