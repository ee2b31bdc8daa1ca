#include "editors/nsq/CNSqTrkViewF.h"

#include <cmath>
#include <cstdio>

#include "devlink/FileListPoller.h"
#include "devlink/MedInfoReq.h"
#include "editors/CKvsSeqList.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqUScnF.h"
#include "editors/nsq/NSqSceneOps.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/MediaIndex.h"
#include "records/NsqSets.h"
#include "records/NsqPrefKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kScaleKey = "vwtmscl";

CRecord* PrefsRoot() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc ? doc->Root() : nullptr;
}

CRecord* MiscPrefs() {
    CRecord* prefs = PrefsRoot();
    return prefs ? prefs->GetChild(PrefF::misc) : nullptr;
}

CRecord* NsqSet(CRecord* seqSettings) {
    return seqSettings ? seqSettings->GetChild(SqstF::nsqs) : nullptr;
}

CKvsPlayCmd* NewView(LHandler* parent, LPane* owner, MPlayDevice* device) {
    return new CNSqTrkViewF(parent, owner, device);
}

bool IsNsq(const CRecord* r, u32 kind) {
    return r && r->Family() == kFamNsq && r->Kind() == kind;
}

}  // namespace

void CNSqTrkViewF::Register() {
    PlayViews().nsq = NewView;
}

CNSqTrkViewF::CNSqTrkViewF(LHandler* parent, LPane* owner, MPlayDevice* device)
    : CKvsPlayCmd(parent, owner, device),
      fSceneMenu(new LMenu(this, "KVSTRKVWCTXMENU")),
      fCtx(NsqSet(SeqSettings()), device),
      fScale(&fCtx),
      fRedraw(this) {
    const CRecord* misc = MiscPrefs();
    fScale.SetScale(misc ? NodeGetFloatOr(misc, kScaleKey, 1.0f) : 1.0f);
    CRecord* index = fCtx.MediaIndex();
    if (Serial() != 0 && device->ObjLink()) {
        fFetch = new CKvsFileListFetch2(device->ObjLink());
        // Listening before the first listing arrives, so that its files are asked for.
        if (index) fMedInfo = new CMedInfoReq(this, device->ObjLink(), index);
        fFetch->Begin();
    }
    CheckMonitorWindow();
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->AddListener(this, OnDevice);
    if (CRecordDoc* prefs = AppPrefsDoc()) prefs->AddListener(this, OnPrefs);
    CRecordDoc* media = index ? index->GetOwner() : nullptr;
    if (media && media != AppPrefsDoc()) media->AddListener(this, OnPrefs);
    fScale.Selection().Doc().AddListener(this, OnSelection);
    if (owner) {
        fFrame = new CKvsPlay2Frm(this, owner, device, &fScale, SeqSettings(), fSceneMenu);
        SetTrackEditor(fFrame->TrackEdit());
        CheckMonitorWindow();
    }
}

CNSqTrkViewF::~CNSqTrkViewF() {
    fScale.Selection().Doc().RemoveListener(this, OnSelection);
    CRecordDoc* media = fCtx.MediaIndex() ? fCtx.MediaIndex()->GetOwner() : nullptr;
    if (media && media != AppPrefsDoc()) media->RemoveListener(this, OnPrefs);
    if (CRecordDoc* prefs = AppPrefsDoc()) prefs->RemoveListener(this, OnPrefs);
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->RemoveListener(this, OnDevice);
    DeleteMonitor();
    fRedraw.Stop();
    delete fMedInfo;
    delete fFetch;
    fEditor = nullptr;
    CKvsPlay2Frm* frame = fFrame;
    fFrame = nullptr;
    delete frame;
    fScale.Selection().SetSequence(nullptr);
    delete fSceneMenu;
}

bool CNSqTrkViewF::IsNsqFormat() const {
    return SeqSettings() && SeqSettings()->GetU8(SqstF::sqfm) == kSeqFormatNsq;
}

bool CNSqTrkViewF::AcceptsOwnFormat() const {
    return IsNsqFormat();
}

CRecord* CNSqTrkViewF::CommandRecord() const {
    if (Serial() == 0 || !fDevice->CommandDoc()) return nullptr;
    return fDevice->CommandDoc()->Root();
}

// ---- the shown sequence and playing

void CNSqTrkViewF::SetShownSequence(CRecord* sequence) {
    fCtx.SetSequenceSet(NsqSet(SeqSettings()));
    fShown = sequence;
    if (fFrame) {
        fFrame->SeqPrm()->SetSequence(sequence);
        fFrame->Link().SetSequence(sequence);
    }
    fScale.Selection().SetSequence(sequence);
    // The time belongs to the sequence playing: another one shown shows none.
    UpdateTimeText();
}

bool CNSqTrkViewF::ShownIsPlaying() const {
    return fShown && fShown->GetU32(SseqF::sqid) == fCtx.Status()->GetU32(NsqStatF::sqid);
}

void CNSqTrkViewF::PlayFrom(double seconds) {
    CRecord* cmd = CommandRecord();
    if (!cmd || !fShown || !std::isfinite(seconds) || seconds < 0) return;
    if (!ShownIsPlaying()) {
        LTextStream path;
        if (!LRecPath::Append(SeqSettings(), fShown, kRecSelf, kRecNoIndex, path)) return;
        SetField2Transient(cmd, LString(path.CStr()));
    }
    const double ms = std::min(std::trunc(seconds * 1000.0), 2147483647.0);
    SetCommandOneShot(cmd, DvcmF::pltm, i32(ms));
}

void CNSqTrkViewF::AddSequence() {
    CRecord* set = NsqSet(SeqSettings());
    if (!set) return;
    const u32 at = NSqSetNewSeq(set, this, set->GetListCount(SsetF::seqs));
    CKvsNSqSeqList* list = fFrame->List();
    list->SelectCell(LCell{0, i32(at)});
    list->ScrollToCell(LCell{0, i32(at)});
}

void CNSqTrkViewF::StopPlay() {
    if (CRecord* cmd = CommandRecord()) SetCommandOneShot(cmd, DvcmF::stps, 1);
}

LString CNSqTrkViewF::PlayTimeText() const {
    return fTimeText.IsEmpty() ? LString("--:--:--") : fTimeText;
}

void CNSqTrkViewF::SetZoom(i32 sliderValue) {
    const f32 scale = CNSqTimeScale::ScaleForSlider(sliderValue);
    fScale.SetScale(scale);
    if (CRecord* misc = MiscPrefs()) NodeSetFloat(misc, nullptr, kScaleKey, 3, scale);
}

// ---- recording services on the chosen clip

CRecord* CNSqTrkViewF::CurrentDmxClip() const {
    CNSqScnSel& sel = const_cast<CNSqTimeScale&>(fScale).Selection();
    if (sel.Count() != 1) return nullptr;
    CRecord* prms = sel.SceneAt(0)->GetChild(SscnF::prms);
    return IsNsq(prms, kKindPdmx) && !prms->GetString(PdmxF::file).IsEmpty() ? prms : nullptr;
}

bool CNSqTrkViewF::ApplyDetectedStart(CRecord* clip, double seconds) {
    const double ms = std::round(seconds * 1000.0);
    if (!clip || !std::isfinite(ms) || ms < 0 || ms > 4294967295.0) return false;
    clip->SetU32(this, PdmxF::rngf, u32(ms));
    return true;
}

bool CNSqTrkViewF::DetectStart() {
    CRecord* clip = CurrentDmxClip();
    auto detect = DeviceHooks().drcDetectStart;
    if (!clip || !detect || Serial() == 0) return false;
    const LString file = clip->GetString(PdmxF::file);
    double seconds = 0;
    if (!detect(*fDevice, this, file, &seconds)) return false;
    // The clip may have been changed or removed while the device worked.
    if (clip != CurrentDmxClip() || !(clip->GetString(PdmxF::file) == file)) return false;
    return ApplyDetectedStart(clip, seconds);
}

void CNSqTrkViewF::TrimClip() {
    const CRecord* clip = CurrentDmxClip();
    auto trim = DeviceHooks().drcTrim;
    if (!clip || !trim || Serial() == 0) return;
    trim(*fDevice, this, clip->GetString(PdmxF::file), clip->GetU32(PdmxF::rngf) / 1000.0,
         clip->GetU32(PdmxF::rngt) / 1000.0);
}

// ---- the monitor window

void CNSqTrkViewF::CheckMonitorWindow() {
    const CRecord* prefs = PrefsRoot();
    const CDeviceHooks& hooks = DeviceHooks();
    const LPane* shown = fFrame ? static_cast<const LPane*>(fFrame) : Owner();
    const bool wanted = prefs && prefs->GetU8(PrefF::snmn) != 0 && shown && shown->IsShown() &&
                        fDevice && hooks.makeDrcMonitor;
    if (!wanted) {
        DeleteMonitor();
        return;
    }
    if (!fMonitor) fMonitor = hooks.makeDrcMonitor(*fDevice, this);
    UpdateMonitorScene();
}

void CNSqTrkViewF::UpdateMonitorScene() {
    if (!fMonitor || !DeviceHooks().setDrcMonitorScene) return;
    LTextStream path;
    const CRecord* clip = CurrentDmxClip();
    if (clip) LRecPath::Append(SeqSettings(), clip, kRecSelf, kRecNoIndex, path);
    DeviceHooks().setDrcMonitorScene(fMonitor, LString(clip ? path.CStr() : ""));
}

void CNSqTrkViewF::DeleteMonitor() {
    LFrame* w = fMonitor;
    fMonitor = nullptr;
    delete w;
}

void CNSqTrkViewF::RefreshUniverseStatus() {
    if (fMonitor && DeviceHooks().refreshDrcMonitor) DeviceHooks().refreshDrcMonitor(fMonitor);
}

void CNSqTrkViewF::SyncWindowVisibility() {
    CKvsPlayCmd::SyncWindowVisibility();
    CheckMonitorWindow();
    // The editor outlives its window: one reopened shows this same editor, and the
    // files it gave up while last on show would otherwise wait for a listing that
    // changes. The user looks at their scenes again, and the device may answer now.
    const LPane* pane = fFrame ? static_cast<const LPane*>(fFrame) : Owner();
    const bool shown = pane && pane->IsShown();
    if (shown && !fOnShow && fMedInfo) fMedInfo->AskAgain();
    fOnShow = shown;
}

// ---- messages and changes

LMessage CNSqTrkViewF::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        if (fScale.Selection().Count() > 0 && PlayHooks().moveTimeDialog)
            bar->EnableCommand("cScnMoveTime");
        const bool clip = CurrentDmxClip() != nullptr && Serial() != 0;
        if (clip && DeviceHooks().drcDetectStart) bar->EnableCommand("cDetStart");
        if (clip && DeviceHooks().drcTrim) bar->EnableCommand("cCntTrim");
    } else if (msg.Is(LMenuItem_Selected) && msg.source) {
        auto* item = static_cast<LMenuItem*>(msg.source);
        if (item->HasCommand("cScnMoveTime")) {
            CRecord* misc = MiscPrefs();
            CRecord* node = misc ? NodeGetOrCreate(misc, nullptr, "nsquprf") : nullptr;
            NSqMoveSceneTimes(this, this, node, fScale);
            return LMessage();
        }
        if (item->HasCommand("cDetStart")) {
            DetectStart();
            return LMessage();
        }
        if (item->HasCommand("cCntTrim")) {
            TrimClip();
            return LMessage();
        }
    } else if (fFrame && msg.Is(LStdCtl_Selected) && msg.source == &fFrame->PlusButton()) {
        AddSequence();
        return LMessage();
    } else if (fFrame && msg.Is(LStdCtl_Selected) && msg.source == &fFrame->StopButton()) {
        StopPlay();
        return LMessage();
    } else if (fFrame && msg.Is(CKvsPlay2Frm_Vis) && msg.source == fFrame) {
        SyncWindowVisibility();
        return LMessage();
    } else if (fFrame && msg.Is(CKvsPlay2Frm_Seq) && msg.source == fFrame) {
        SetShownSequence(fFrame->GetSelectedNsqSeq());
        return LMessage();
    } else if (msg.Is(LTimer_Expire) && msg.source == &fRedraw) {
        fRedraw.Stop();
        if (fEditor) fEditor->List().InvalidateSceneArea();
        return LMessage();
    } else if (fEditor && msg.Is(CSwipePane_DblClk) && msg.source == &fEditor->Swipe()) {
        PlayFrom(fEditor->ClickTime());
        return LMessage();
    } else if (fEditor && msg.Is(CSlider_Change) && msg.source == &fEditor->Slider()) {
        SetZoom(fEditor->Slider().GetValue());
        return LMessage();
    } else if (msg.Is(LFrame_Close) && msg.source && msg.source == fMonitor) {
        if (CRecord* prefs = PrefsRoot()) prefs->SetU8(nullptr, PrefF::snmn, 0);
        return LMessage();
    }
    return CKvsPlayCmd::HandleMessage(msg);
}

void CNSqTrkViewF::OnDevice(void* self, CRecordNote* note) {
    auto* v = static_cast<CNSqTrkViewF*>(self);
    const CRecord* r = note->record;
    if (note->kind != CRecordNote::kChanged || r->Kind() != kKindDvss) return;
    if (note->field == DvssF::mdcg && v->fFetch) v->fFetch->Begin();
    if (note->field == DvssF::sqtm || note->field == DvssF::sqid) {
        v->fCtx.Status()->SetU32(nullptr, NsqStatF::time, r->GetU32(DvssF::sqtm));
        v->UpdateTimeText();
    }
}

void CNSqTrkViewF::UpdateTimeText() {
    const CRecord* state = fDevice && fDevice->StateDoc() ? fDevice->StateDoc()->Root() : nullptr;
    fTimeText = state && ShownIsPlaying() ? NSqClockText(state->GetU32(DvssF::sqtm)) : LString();
    if (fFrame) fFrame->TimeText().SetText(PlayTimeText());
}

void CNSqTrkViewF::OnPrefs(void* self, CRecordNote* note) {
    auto* v = static_cast<CNSqTrkViewF*>(self);
    const CRecord* r = note->record;
    if (note->kind != CRecordNote::kChanged || r->Family() != kFamKvs) return;
    if (r->Kind() == kKindPref && note->field == PrefF::snmn) v->CheckMonitorWindow();
    const bool duration =
        (r->Kind() == kKindMdif && (note->field == MdifF::dura || note->field == MdifF::stat)) ||
        (r->Kind() == kKindMdis && note->field == MdisF::meds);
    if (duration) v->fRedraw.Start(kRedrawDelayMs);
}

void CNSqTrkViewF::OnSelection(void* self, CRecordNote* note) {
    if (note->field == SlntF::field0) static_cast<CNSqTrkViewF*>(self)->UpdateMonitorScene();
}
