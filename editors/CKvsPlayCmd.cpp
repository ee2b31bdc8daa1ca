#include "editors/CKvsPlayCmd.h"

#include <algorithm>
#include <memory>
#include <string>

#include "base/Paths.h"
#include "devlink/CDevRequestQueue.h"
#include "editors/UnsentSettings.h"
#include "framework/CMainLoop.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/BtnLabelLayout.h"
#include "records/CChunkStrm.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PlayGrid.h"
#include "records/PropRecord.h"
#include "records/ScreenLayout.h"
#include "records/ShowKinds.h"

namespace {

namespace Cmd {
constexpr const char* download = "cPlayDownload";
constexpr const char* copyUms = "cCopyUms";
constexpr const char* blackout = "cScnCrtBo";
constexpr const char* exportFile = "cPlayExport";
constexpr const char* importFile = "cPlayImport";
constexpr const char* useSchedule = "cScnUseSch";
constexpr const char* buttons = "cScnBtnWin";
constexpr const char* autoPlay = "cScnAutWin";
constexpr const char* pwdw = "cScnPwdWin";
constexpr const char* trigger = "cScnTrgSet";
constexpr const char* devSync = "cDevSync";
constexpr const char* fader = "cMstFdr";
constexpr const char* bgm = "cBGMWin";
constexpr const char* monitor = "cScnShowMon";
constexpr const char* auxPlay = "cAxPly";
constexpr const char* seqFormat = "cSeqFmt";
}  // namespace Cmd

CRecord* NewRoot(CRecord* (*make)()) {
    RegisterAllRecordKinds();
    return make();
}

CRecord* NewOf(u32 family, u32 kind) {
    const CRecordSchema* schema = CRecordSchema::Find(family, kind);
    return schema ? CRecord::New(schema) : nullptr;
}

CRecord* AppPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc ? doc->Root() : nullptr;
}

u32 NonNegative(i32 v) {
    return v < 0 ? 0u : u32(v);
}

// The clip of a basic scene as the parameters of an NSQ scene.
CRecord* MakeNsqItem(const CRecord* clip, bool withRate) {
    CRecord* item = NewOf(kFamNsq, withRate ? kKindPdmx : kKindPaud);
    if (!item || !clip) return item;
    item->SetString(nullptr, PdmxF::file, clip->GetString(SnctF::flnm));
    item->SetU32(nullptr, PdmxF::rngf, NonNegative(clip->GetI32(SnctF::sttm)));
    item->SetU32(nullptr, PdmxF::rngt, NonNegative(clip->GetI32(SnctF::entm)));
    item->SetU8(nullptr, PdmxF::loop, clip->GetU8(SnctF::lpmd) != 0 ? 1 : 0);
    item->SetU32(nullptr, PdmxF::fdtm, NonNegative(clip->GetI32(SnctF::fdtm)));
    item->SetU32(nullptr, PdmxF::volm, clip->GetU32(SnctF::volm));
    if (withRate) item->SetF32(nullptr, PdmxF::rate, 0, clip->GetF32(SnctF::rate));
    return item;
}

CRecord* MakeNsqTrack(const CRecord* sequence, u8 listField, const char* name, bool dmx) {
    CRecord* track = NSqNewTrack();
    if (!track) return nullptr;
    track->SetString(nullptr, StrkF::name, LString(name));
    const u32 n = sequence->GetListCount(listField);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* scene = sequence->GetListItem(listField, i);
        // A scene before the start never plays in a timeline.
        if (scene->GetI32(ScenF::sntm) < 0) continue;
        CRecord* out = NSqNewScene();
        if (!out) continue;
        out->SetU32(nullptr, SscnF::time, u32(scene->GetI32(ScenF::sntm)));
        if (CRecord* old = out->ReplaceChild(nullptr, SscnF::prms,
                                             MakeNsqItem(scene->GetChild(ScenF::ctdr), dmx)))
            CRecord::Destroy(old);
        track->InsertItem(nullptr, StrkF::scns, track->GetListCount(StrkF::scns), out);
    }
    return track;
}

}  // namespace

// ---- the registry and the hooks

CPlayHooks& PlayHooks() {
    static CPlayHooks hooks;
    return hooks;
}

CDeviceHooks& DeviceHooks() {
    static CDeviceHooks hooks;
    return hooks;
}

CPlayViewRegistry& PlayViews() {
    static CPlayViewRegistry registry;
    return registry;
}

CKvsPlayCmd* NewPlayView(u32 sqfm, LHandler* parent, LPane* owner, MPlayDevice* device) {
    const bool nsq = sqfm == kSeqFormatNsq;
    const PlayViewFactory factory = nsq ? PlayViews().nsq : PlayViews().basic;
    CKvsPlayCmd* view = factory ? factory(parent, owner, device) : nullptr;
    if (!view) view = new CKvsPlayCmd(parent, owner, device);
    view->fMadeFor = nsq ? kSeqFormatNsq : kSeqFormatBasic;
    return view;
}

// ---- construction

CKvsPlayCmd::CKvsPlayCmd(LHandler* parent, LPane* owner, MPlayDevice* device)
    : LHandler(parent),
      fDevice(device),
      // The edit hands the queue every message first; its own notices (its
      // end above all, while this edit is half gone) go straight up the chain.
      fUndo(parent, kUndoLimit),
      fSeqDoc(NewRoot(NewSeqSettingsRecord)),
      fPlayDoc(NewRoot(NewPlaySetRecord)),
      fRefused(this, device ? device->DeviceSerial() : 0),
      fOwner(owner),
      fLayoutTimer(this),
      fStatusTimer(this) {
    // Heard before its channel: a grid change drops the play-screen layout at
    // its first note, so the drop goes out ahead of the change, and the
    // change's further notes still fold into one write of the row they touch
    // instead of sending it half done.
    fPlayDoc.AddListener(this, OnRecordChange);
    if (Serial() != 0) {
        // A record read back after a drop-out holds settings the card has not
        // got yet: only the load (LoadFromDevice) takes the documents as written.
        fSeqChan = std::make_unique<CDevRequestQueue>(&device->ChannelRequests(), SeqSettings(),
                                                      "/.cmd/udseqset", nullptr, nullptr);
        fPlayChan = std::make_unique<CDevRequestQueue>(&device->ChannelRequests(), PlaySettings(),
                                                       "/.cmd/udplayset", nullptr, nullptr);
        fRefused.Watch(*fSeqChan);
        fRefused.Watch(*fPlayChan);
    }
    fSeqDoc.AddListener(this, OnRecordChange);
    if (fDevice) {
        fDevice->StateDoc()->AddListener(this, OnRecordChange);
        fDevice->SeqStatDoc()->AddListener(this, OnRecordChange);
    }
    fStatusTimer.StartRepeating(kStatusPeriodMs);
    SetCleanMark();
}

CKvsPlayCmd::~CKvsPlayCmd() {
    // The last write below waits in modal steps: a status read asked by a
    // timer meanwhile would be answered after this view is gone.
    fStatusTimer.Stop();
    fLayoutTimer.Stop();
    if (fDevice) {
        fDevice->SeqStatDoc()->RemoveListener(this, OnRecordChange);
        fDevice->StateDoc()->RemoveListener(this, OnRecordChange);
        if (Serial() != 0) fDevice->SeqStatusChannel().CancelFor(this, OnSeqStatRead);
    }
    fPlayDoc.RemoveListener(this, OnRecordChange);
    fSeqDoc.RemoveListener(this, OnRecordChange);
    // Nothing is written to the card here: the close asked first (and the
    // user's answer holds), a view that gives way hands its pending files to
    // the next one, and at the program's end no window is left to wait under.
    // What the device never took goes with the channels below.
    fRefused.Flush();
    TellUnsentSettings(this, Serial(), {fSeqChan.get(), fPlayChan.get()});
    for (u32 i = u32(PlayWindow::kCount); i-- > 0;) DeleteWindow(PlayWindow(i));
    // The channels go before the documents whose records they hold.
    fPlayChan.reset();
    fSeqChan.reset();
}

u32 CKvsPlayCmd::Serial() const {
    return fDevice ? fDevice->DeviceSerial() : 0;
}

bool CKvsPlayCmd::AcceptsOwnFormat() const {
    const CRecord* seq = SeqSettings();
    return seq && (seq->GetU8(SqstF::sqfm) == kSeqFormatNsq) == (fMadeFor == kSeqFormatNsq);
}

// ---- messages

LMessage CKvsPlayCmd::HandleMessage(const LMessage& msg) {
    if (fUndo.HandleMessage(msg).IsEmpty()) return LMessage();
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        EnableCommands(static_cast<LMenuBar*>(msg.source));
        return LHandler::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected) && msg.source) {
        if (RunCommand(static_cast<LMenuItem*>(msg.source))) return LMessage();
        return LHandler::HandleMessage(msg);
    }
    if (msg.Is(LTimer_Expire)) {
        if (msg.source == &fLayoutTimer) {
            if (PlaySettings() && !PlaySettings()->GetChild(PlysF::uifs)) RebuildUiLayout();
            fLayoutTimer.Stop();
            return LMessage();
        }
        if (msg.source == &fStatusTimer) {
            RequestSeqStatus();
            return LMessage();
        }
    }
    if (msg.Is(LFrame_Close) && msg.source) {
        for (u32 i = 0; i < u32(PlayWindow::kCount); ++i) {
            if (msg.source != fWindows[i]) continue;
            // The schedule window lives exactly while the schedule is in use.
            if (PlayWindow(i) == PlayWindow::kSchedule)
                SeqSettings()->SetU8(this, SqstF::ussc, 0);
            else
                DeleteWindow(PlayWindow(i));
            return LMessage();
        }
    }
    return LHandler::HandleMessage(msg);
}

void CKvsPlayCmd::EnableCommands(LMenuBar* bar) {
    const CPlayHooks& hooks = PlayHooks();
    const CDeviceHooks& device = DeviceHooks();
    const bool attached = Serial() != 0;
    CRecord* seq = SeqSettings();
    CRecord* play = PlaySettings();
    auto enable = [bar](const char* command, bool on, bool checked) {
        if (!on) return;
        bar->EnableCommand(command);
        if (checked) bar->CheckCommand(command);
    };
    auto window = [&hooks](PlayWindow w) { return hooks.windows[u32(w)] != nullptr; };
    const CRecord* sntg = seq->GetChild(SqstF::sntg);
    const CRecord* plat = play->GetChild(PlysF::plat);
    const CRecord* axps = seq->GetChild(SqstF::axps);
    CRecord* settings = fDevice ? fDevice->SettingsDoc()->Root() : nullptr;
    const CRecord* prds = settings ? settings->GetChild(DvstF::prds) : nullptr;
    const CRecord* prpc = settings ? settings->GetChild(DvstF::prpc) : nullptr;
    const CRecord* prefs = AppPrefs();

    enable(Cmd::download, attached, false);
    enable(Cmd::copyUms, attached && device.runCopyToUms, false);
    enable(Cmd::blackout, attached && device.createBlackout, false);
    enable(Cmd::exportFile, true, false);
    enable(Cmd::importFile, true, false);
    enable(Cmd::useSchedule, window(PlayWindow::kSchedule), seq->GetU8(SqstF::ussc) != 0);
    enable(Cmd::buttons, window(PlayWindow::kButtons), false);
    enable(Cmd::autoPlay, window(PlayWindow::kAutoPlay), plat && plat->GetU32(PlatF::sqid) != 0);
    enable(Cmd::pwdw, window(PlayWindow::kPwdw), play->GetU32(PlysF::pwdw) != 0);
    enable(Cmd::trigger, hooks.sceneTrigger, sntg && sntg->GetU8(SntgF::tgmd) != 0);
    enable(Cmd::devSync, fDevice != nullptr,
           prds && (prds->GetU8(PrdsF::bsnd) != 0 || prds->GetU8(PrdsF::brcv) != 0));
    enable(Cmd::fader, hooks.masterFader && prpc, prpc && prpc->GetU8(PrpcF::mfct) != 0);
    enable(Cmd::bgm, window(PlayWindow::kBgm), play->GetU32(PlysF::bgmq) != 0);
    enable(Cmd::monitor, prefs != nullptr, prefs && prefs->GetU8(PrefF::snmn) != 0);
    enable(Cmd::auxPlay, window(PlayWindow::kAuxPlay),
           axps && axps->GetListCount(AplsF::plys) != 0);
    enable(Cmd::seqFormat, hooks.seqFormat && seq->GetU8(SqstF::sqfm) != 0, false);
}

bool CKvsPlayCmd::RunCommand(LMenuItem* item) {
    const CDeviceHooks& device = DeviceHooks();
    if (item->HasCommand(Cmd::copyUms)) {
        CopyShowToUms();
    } else if (item->HasCommand(Cmd::download)) {
        SavePlayFile(true);
    } else if (item->HasCommand(Cmd::exportFile)) {
        SavePlayFile(false);
    } else if (item->HasCommand(Cmd::importFile)) {
        ImportPlayFile();
    } else if (item->HasCommand(Cmd::useSchedule)) {
        SeqSettings()->SetU8(this, SqstF::ussc, 1);
        if (LFrame* w = Window(PlayWindow::kSchedule)) w->ShowWindow();
    } else if (item->HasCommand(Cmd::buttons)) {
        OpenWindow(PlayWindow::kButtons);
    } else if (item->HasCommand(Cmd::autoPlay)) {
        OpenWindow(PlayWindow::kAutoPlay);
    } else if (item->HasCommand(Cmd::pwdw)) {
        OpenWindow(PlayWindow::kPwdw);
    } else if (item->HasCommand(Cmd::trigger)) {
        RunSceneTrigger();
    } else if (item->HasCommand(Cmd::devSync)) {
        if (fDevice) fDevice->RunDeviceSyncDialog(this);
    } else if (item->HasCommand(Cmd::fader)) {
        RunMasterFader();
    } else if (item->HasCommand(Cmd::bgm)) {
        OpenWindow(PlayWindow::kBgm);
    } else if (item->HasCommand(Cmd::blackout)) {
        if (Serial() != 0 && device.createBlackout) device.createBlackout(*fDevice, this);
    } else if (item->HasCommand(Cmd::monitor)) {
        if (CRecord* prefs = AppPrefs())
            prefs->SetU8(nullptr, PrefF::snmn, prefs->GetU8(PrefF::snmn) != 0 ? 0 : 1);
    } else if (item->HasCommand(Cmd::auxPlay)) {
        OpenWindow(PlayWindow::kAuxPlay);
    } else if (item->HasCommand(Cmd::seqFormat)) {
        // The view may be replaced by the answer: nothing of it is used after.
        if (ChangeSeqFormat()) Send(CKvsPlayEdit_FmtChg, this, fParent);
    } else {
        return false;
    }
    return true;
}

// ---- windows and dialogs

void CKvsPlayCmd::OpenWindow(PlayWindow which) {
    const u32 i = u32(which);
    if (!fWindows[i]) {
        const PlayWindowFactory make = PlayHooks().windows[i];
        if (!make) return;
        CPlayWindowArgs args;
        args.parent = this;
        args.owner = which == PlayWindow::kAuxPlay ? nullptr : fOwner;
        args.device = fDevice;
        args.seqSettings = SeqSettings();
        args.playSettings = PlaySettings();
        fWindows[i] = make(args);
        if (!fWindows[i]) return;
    }
    fWindows[i]->ShowWindow();
}

void CKvsPlayCmd::DeleteWindow(PlayWindow which) {
    LFrame* w = fWindows[u32(which)];
    fWindows[u32(which)] = nullptr;
    delete w;
}

void CKvsPlayCmd::SyncWindowVisibility() {
    const bool shown = fOwner && fOwner->IsShown();
    for (LFrame* w : fWindows) {
        if (!w) continue;
        if (shown)
            w->ShowWindowNoActivate();
        else
            w->HideWindow();
    }
}

void CKvsPlayCmd::RunSceneTrigger() {
    const auto run = PlayHooks().sceneTrigger;
    CRecord* seq = SeqSettings();
    CRecord* sntg = seq->GetChild(SqstF::sntg);
    if (!run || !sntg) return;
    f32 number = f32(seq->GetU32(SqstF::tgmk));
    bool external = seq->GetU8(SqstF::extg) == 1;
    if (!run(this, fOwner, sntg, &number, &external)) return;
    seq->SetU32(this, SqstF::tgmk, number <= 0 ? 0u : u32(number));
    seq->SetU8(this, SqstF::extg, external ? 1 : 0);
}

void CKvsPlayCmd::RunMasterFader() {
    const auto run = PlayHooks().masterFader;
    CRecord* settings = fDevice ? fDevice->SettingsDoc()->Root() : nullptr;
    CRecord* prpc = settings ? settings->GetChild(DvstF::prpc) : nullptr;
    if (!run || !prpc) return;
    bool vsmf = PlaySettings()->GetU8(PlysF::vsmf) != 0;
    if (!run(this, fOwner, prpc, &vsmf)) return;
    PlaySettings()->SetU8(this, PlysF::vsmf, vsmf ? 1 : 0);
}

// ---- record changes

void CKvsPlayCmd::OnRecordChange(void* self, CRecordNote* note) {
    auto* cmd = static_cast<CKvsPlayCmd*>(self);
    const CRecord* r = note->record;
    if (!r || note->kind > CRecordNote::kMoved || r->Family() != kFamKvt) return;
    const u32 kind = r->Kind();
    const u8 f = note->field;
    const bool layout =
        (kind == kKindPlcl && (f == PlclF::sqid || f == PlclF::bttl)) ||
        (kind == kKindPlrw && f == PlrwF::cels) ||
        (kind == kKindPlys && (f == PlysF::btrs || f == PlysF::btcs || f == PlysF::rows));
    if (layout) {
        PlaySetDropUiLayout(cmd->PlaySettings());
        cmd->fLayoutTimer.Start(kLayoutDelayMs);
    } else if ((kind == kKindPlys && f == PlysF::vsbl) || (kind == kKindSntg && f == SntgF::tgmd)) {
        cmd->UpdateStatusFlag();
    } else if (kind == kKindSqst && f == SqstF::ussc && r == cmd->SeqSettings()) {
        cmd->SyncScheduleWindow();
        cmd->UpdateStatusFlag();
    }
}

void CKvsPlayCmd::UpdateStatusFlag() {
    const CRecord* seq = SeqSettings();
    const CRecord* sntg = seq->GetChild(SqstF::sntg);
    const bool on = seq->GetU8(SqstF::ussc) != 0 || (sntg && sntg->GetU8(SntgF::tgmd) != 0) ||
                    PlaySettings()->GetU8(PlysF::vsbl) != 0;
    PlaySettings()->SetU8(nullptr, PlysF::vsst, on ? 1 : 0);
}

void CKvsPlayCmd::SyncScheduleWindow() {
    const u32 i = u32(PlayWindow::kSchedule);
    if (SeqSettings()->GetU8(SqstF::ussc) == 0) {
        DeleteWindow(PlayWindow::kSchedule);
        return;
    }
    if (!fWindows[i]) {
        const PlayWindowFactory make = PlayHooks().windows[i];
        if (!make) return;
        CPlayWindowArgs args{this, fOwner, fDevice, SeqSettings(), PlaySettings()};
        fWindows[i] = make(args);
        if (!fWindows[i]) return;
    }
    if (fOwner && fOwner->IsShown()) fWindows[i]->ShowWindowNoActivate();
}

void CKvsPlayCmd::RebuildUiLayout() {
    CRecord* play = PlaySettings();
    const bool wasModified = fPlayDoc.IsModified();
    const bool wasClean = !EditedSinceMark();
    CRecord* layout = NewUiLayoutRecord();
    if (!layout) return;
    const auto renderer = PlayHooks().newLabelRenderer;
    std::unique_ptr<CBtnLabelFontSource> fonts(renderer ? renderer(fOwner) : nullptr);
    if (!UiLayoutToStore(BuildPlaySetUiLayout(play, layout, fonts.get()), layout)) {
        CRecord::Destroy(layout);
        fLayoutTimer.Stop();
        return;
    }
    if (CRecord* old = play->ReplaceChild(nullptr, PlysF::uifs, layout)) CRecord::Destroy(old);
    // A layout made from the settings is no edit of them.
    if (!wasModified) fPlayDoc.SetModified(false);
    if (wasClean) SetCleanMark();
    fLayoutTimer.Stop();
}

void CKvsPlayCmd::RequestSeqStatus() {
    // A silent device answers nothing for seconds: never pile reads up behind it.
    if (Serial() == 0 || fStatusReads != 0) return;
    fStatusReads = 2;
    CDevRequestQueue& channel = fDevice->SeqStatusChannel();
    channel.Request("/sqtm", this, OnSeqStatRead);
    channel.Request("/sqet", this, OnSeqStatRead);
}

void CKvsPlayCmd::OnSeqStatRead(void* self, bool) {
    auto* cmd = static_cast<CKvsPlayCmd*>(self);
    if (cmd->fStatusReads) --cmd->fStatusReads;
}

// ---- opening, closing, formats

void CKvsPlayCmd::RefreshChannels() {
    if (fSeqChan) fSeqChan->Refresh();
    if (fPlayChan) fPlayChan->Refresh();
    CUndoQ::ClearFrom(this);
}

bool CKvsPlayCmd::LoadFromDevice(CSimpleProgressDialog* progress) {
    RefreshChannels();
    const bool ok = WaitChannels(progress);
    if (!ok) return false;
    // As the device holds them: nothing is waiting for the card.
    fSeqDoc.SetModified(false);
    fPlayDoc.SetModified(false);
    SetCleanMark();
    return true;
}

bool CKvsPlayCmd::SendBeforeClose() {
    // At the session's end nobody is there to answer, and nothing may refuse.
    const CMainLoop* loop = CMainLoop::Current();
    if (loop && loop->fEndForced) {
        SendPlayData(false, false);
        return true;
    }
    if (SendPlayData(true, false)) return true;
    for (;;) {
        CSaveChangesDialog ask(this);
        // The device as its list and its window show it.
        ask.fDocName = LString(std::to_string(Serial()).c_str());
        switch (ask.Ask(CSaveChangesDialog::kClosing)) {
            case 1:
                if (SendPlayData(true, false)) return true;
                break;
            case 2:
                // The card keeps what it holds: nothing of these edits is
                // written to it later, unless they are edited again.
                fSeqDoc.SetModified(false);
                fPlayDoc.SetModified(false);
                return true;
            default:
                return false;
        }
    }
}

bool CKvsPlayCmd::CanCloseFile() {
    if (!EditedSinceMark()) return true;
    // At the session's end nobody is there to answer or to choose a file, and
    // nothing may refuse: the file stays as it was.
    const CMainLoop* loop = CMainLoop::Current();
    if (loop && loop->fEndForced) return true;
    CSaveChangesDialog ask(this);
    if (!fFilePath.IsEmpty()) GetLeafName(&ask.fDocName, fFilePath);
    switch (ask.Ask(CSaveChangesDialog::kClosing)) {
        case 1:
            return SaveOwnFile();
        case 2:
            return true;
        default:
            return false;
    }
}

bool CKvsPlayCmd::EditedSinceMark() const {
    return fDirty || fSeqDoc.ChangeCount() + fPlayDoc.ChangeCount() != fCleanMark;
}

void CKvsPlayCmd::SetCleanMark() {
    fCleanMark = fSeqDoc.ChangeCount() + fPlayDoc.ChangeCount();
    fDirty = false;
}

void CKvsPlayCmd::TakeRecordsFrom(CKvsPlayCmd& other) {
    CRecordDoc* from[] = {&other.fSeqDoc, &other.fPlayDoc};
    CRecordDoc* to[] = {&fSeqDoc, &fPlayDoc};
    for (u32 i = 0; i < 2; ++i) {
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, from[i]->Root());
        strm.SetPosition(0);
        PropRecord::ReadFromStream(&strm, to[i]);
        to[i]->SetModified(from[i]->IsModified());
    }
    CUndoQ::ClearFrom(this);
    SetCleanMark();
    fDirty = other.EditedSinceMark();
    fFilePath = other.fFilePath;
}

bool CKvsPlayCmd::FitsBasicFormat() const {
    const CRecord* play = PlaySettings();
    const CRecord* plat = play->GetChild(PlysF::plat);
    if (plat && plat->GetChild(PlatF::scnd)) return false;
    for (u32 r = 0; r < play->GetListCount(PlysF::rows); ++r) {
        const CRecord* row = play->GetListItem(PlysF::rows, r);
        for (u32 c = 0; c < row->GetListCount(PlrwF::cels); ++c)
            if (row->GetListItem(PlrwF::cels, c)->GetChild(PlclF::scnd)) return false;
    }
    const CRecord* seq = SeqSettings();
    for (u32 i = 0; i < seq->GetListCount(SqstF::sqcs); ++i)
        if (seq->GetListItem(SqstF::sqcs, i)->GetChild(SqncF::ctau)) return false;
    return true;
}

void ConvertSeqsToNsq(CRecord* seqSettings) {
    CRecord* set = seqSettings ? seqSettings->GetChild(SqstF::nsqs) : nullptr;
    if (!set) return;
    NSqSetRemoveAllSeqs(set);
    const u32 n = seqSettings->GetListCount(SqstF::sqcs);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* sq = seqSettings->GetListItem(SqstF::sqcs, i);
        CRecord* out = NSqNewSeq();
        if (!out) continue;
        out->SetU32(nullptr, SseqF::sqid, sq->GetU32(SqncF::sqid));
        out->SetString(nullptr, SseqF::name, sq->GetString(SqncF::sqnm));
        out->SetU8(nullptr, SseqF::loop, sq->GetU8(SqncF::rept) != 0 ? 1 : 0);
        if (sq->GetListCount(SqncF::scns) != 0)
            if (CRecord* t = MakeNsqTrack(sq, SqncF::scns, "DMX", true))
                out->InsertItem(nullptr, SseqF::trks, out->GetListCount(SseqF::trks), t);
        if (sq->GetListCount(SqncF::auss) != 0)
            if (CRecord* t = MakeNsqTrack(sq, SqncF::auss, "Audio", false))
                out->InsertItem(nullptr, SseqF::trks, out->GetListCount(SseqF::trks), t);
        set->InsertItem(nullptr, SsetF::seqs, set->GetListCount(SsetF::seqs), out);
    }
}

bool CKvsPlayCmd::ChangeSeqFormat() {
    const auto ask = PlayHooks().seqFormat;
    CRecord* seq = SeqSettings();
    if (!ask) return false;
    // The files written below carry the settings, and the windows that hold a
    // value still being typed go with this view: it is stored first, as Return
    // would store it.
    LFrame::EndOpenEditsOfWindowsUnder(this);
    for (;;) {
        bool nsq = seq->GetU8(SqstF::sqfm) == kSeqFormatNsq;
        bool dmct = seq->GetU8(SqstF::dmct) != 0;
        if (!ask(this, fOwner, &nsq, &dmct)) return false;
        const u8 format = nsq ? kSeqFormatNsq : kSeqFormatBasic;
        seq->SetU8(nullptr, SqstF::dmct, dmct ? 1 : 0);
        CRecord* set = seq->GetChild(SqstF::nsqs);
        bool converted = false;
        if (format == kSeqFormatNsq && set && set->GetListCount(SsetF::seqs) == 0) {
            ConvertSeqsToNsq(seq);
            converted = true;
        }
        // The files carry the new format; the device hears of it only once they
        // are on the card, so behind the channel's back until then.
        const u64 old = seq->Slots()[SqstF::sqfm];
        seq->Slots()[SqstF::sqfm] = format;
        const bool written = SendPlayData(true, true);
        seq->Slots()[SqstF::sqfm] = old;
        if (written) {
            seq->SetU8(nullptr, SqstF::sqfm, format);
            fSeqDoc.SetModified(false);
            return true;
        }
        if (converted && set) NSqSetRemoveAllSeqs(set);
    }
}
