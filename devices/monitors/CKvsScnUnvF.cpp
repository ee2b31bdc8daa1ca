#include "devices/monitors/CKvsScnUnvF.h"

#include <string>

#include "devlink/AnswerLimits.h"
#include "base/CMemStrm.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devices/monitors/CKvsUnivList.h"
#include "framework/LListNavi.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/PropRecord.h"
#include "records/Universes.h"

namespace {

constexpr const char* kScenePath = "/.cmd/drcscnunv";
constexpr u8 kPlaying = 2;

u8 PrefU8(CRecordDoc* doc, u8 field) {
    return doc && doc->Root() ? doc->Root()->GetU8(field) : 0;
}

}  // namespace

CKvsScnUnvF* CKvsScnUnvF::New(LPane* parent, CKvsDevCtl* ctl, u32 mode) {
    return new CKvsScnUnvF(parent, ctl, mode);
}

CKvsScnUnvF::CKvsScnUnvF(LPane* parent, CKvsDevCtl* ctl, u32 mode)
    : LFrame(parent, parent), fCtl(ctl), fTimer(this), fMode(mode), fOwn(NewDevStatRecord()) {
    PollDelayStamp(&fStamp);
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, false);
    fList = new CKvsUnvList(fNavi, Played());
    fNavi->SetList(fList);
    SetLayoutByName("KVSSCNUNVF", 1);
    fAppPrefs = AppPrefsDoc();
    Rebind();
    fCtl->Doc(CKvsDevCtl::kContents).AddListener(this, OnChange);
    fCtl->Doc(CKvsDevCtl::kSeqStat).AddListener(this, OnChange);
    fCtl->Doc(CKvsDevCtl::kSettings).AddListener(this, OnChange);
    if (fAppPrefs) fAppPrefs->AddListener(this, OnChange);
    Reevaluate();
}

CKvsScnUnvF::~CKvsScnUnvF() {
    fTimer.Stop();
    fCtl->ChannelQueue().CancelAll(this, OnSceneRead);
    fCtl->SeqStatChannel().CancelFor(this, OnLiveRead);
    fCtl->Doc(CKvsDevCtl::kContents).RemoveListener(this, OnChange);
    fCtl->Doc(CKvsDevCtl::kSeqStat).RemoveListener(this, OnChange);
    fCtl->Doc(CKvsDevCtl::kSettings).RemoveListener(this, OnChange);
    if (fAppPrefs) fAppPrefs->RemoveListener(this, OnChange);
    // The list listens to the own status record, which goes before the base frame
    // would delete its children.
    delete fNavi;
    fNavi = nullptr;
    fList = nullptr;
}

CRecord* CKvsScnUnvF::Played() const {
    CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
    return ssta ? ssta->GetChild(SstaF::uvst) : nullptr;
}

bool CKvsScnUnvF::UsesMonitor() const {
    return PrefU8(fAppPrefs, PrefF::usnm) != 0 && fCtl->Settings()->GetU8(DvstF::saco) == 0;
}

void CKvsScnUnvF::Rebind() {
    if (UsesMonitor()) {
        RefreshUniverseStatus();
        fList->SetSource(fCtl->Record(CKvsDevCtl::kDrcStat));
    } else {
        fList->SetSource(fMode == kScene ? fOwn.Root() : Played());
    }
    fList->SetNumberFormat(fCtl->Settings()->GetU8(DvstF::saco) != 0 ? 1 : 0);
}

void CKvsScnUnvF::RefreshUniverseStatus() {
    CKvsNetMon* mon = fCtl->NetMon();
    if (!mon || !UsesMonitor()) return;
    CRecord* status = fCtl->Record(CKvsDevCtl::kDrcStat);
    const CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
    if (ssta && ssta->GetU8(SstaF::stat) == kPlaying) {
        // While it plays, only what the device itself sends is its output.
        const CRecord* device =
            fCtl->DeviceSet() ? fCtl->DeviceSet()->Find(u16(fCtl->Serial())) : nullptr;
        const u32 address = device ? device->GetU32(DevcF::address) : 0;
        if (address == 0)
            ClearUniverseRecs(status);
        else
            mon->PublishUniverses(status, address, 0);
    } else {
        mon->PublishUniverses(status, 0, 0);
    }
}

void CKvsScnUnvF::SetActive(bool active) {
    if (u8(active) == fActive) return;
    fActive = active;
    Reevaluate();
}

void CKvsScnUnvF::SetSceneName(const LString& path) {
    fPath = path;
    // Another scene is asked for at once; an answer in flight is the old scene's.
    Reevaluate(true);
}

void CKvsScnUnvF::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if (op == kOpShow || op == kOpHide || op == kOpContainerShown || op == kOpContainerHidden)
        Reevaluate();
}

void CKvsScnUnvF::Reevaluate(bool restart) {
    const bool folderRecordings = fCtl->Record(CKvsDevCtl::kContents)->GetU32(DctsF::field0) == 0;
    const bool poll = fActive && IsShown() &&
                      ((fMode == kLive && folderRecordings) ||
                       (fMode == kScene && PrefU8(fAppPrefs, PrefF::usnm) != 0) ||
                       (fMode == kScene && !fPath.IsEmpty()));
    if (poll) {
        if (!fPolling || restart) {
            fCtl->ChannelQueue().CancelAll(this, OnSceneRead);
            fTimer.Start(0u);
        }
        fPolling = 1;
        fNavi->SetState(kOpShow);
    } else {
        fPolling = 0;
        fTimer.Stop();
        fNavi->SetState(kOpHide);
    }
}

void CKvsScnUnvF::Poll() {
    if (fMode == kScene) {
        if (fPath.IsEmpty()) return;
        const std::string path = std::string(kScenePath) + fPath.CStr();
        ++fRequests;
        fCtl->ChannelQueue().Enqueue(this, OnSceneRead, path.c_str(), 0,
                                     new CGrowMemStrm(kChannelAnswerLimit), nullptr, 0);
        return;
    }
    if (fCtl->Record(CKvsDevCtl::kContents)->GetU32(DctsF::field0) != 0) return;
    ++fRequests;
    fCtl->SeqStatChannel().Request("/", this, OnLiveRead);
}

void CKvsScnUnvF::OnSceneRead(void* self, CStrm* data, const u32* status) {
    auto* f = static_cast<CKvsScnUnvF*>(self);
    bool ok = data && status && status[0] == 0 && status[1] == 0;
    // A reply cut short is no list of the scene's universes: asked again later.
    if (ok)
        ok =
            PropRecord::ReplyWhole(data) && LRecPath::ReadValue(f->fOwn.Root(), 255, u32(-1), data);
    if (!f->fPolling) return;
    if (!ok) {
        ClearUniverseRecs(f->fOwn.Root());
        f->fTimer.Start(kRetryMs);
        return;
    }
    f->fTimer.Start(PollDelayNext(&f->fStamp, f->fOwn.Root()->GetListCount(DrcStatF::unvs)));
}

void CKvsScnUnvF::OnLiveRead(void* self, bool) {
    auto* f = static_cast<CKvsScnUnvF*>(self);
    if (!f->fPolling) return;
    const CRecord* played = f->Played();
    f->fTimer.Start(PollDelayNext(&f->fStamp, played ? played->GetListCount(DrcStatF::unvs) : 0));
}

void CKvsScnUnvF::OnChange(void* self, CRecordNote* note) {
    auto* f = static_cast<CKvsScnUnvF*>(self);
    const CRecord* r = note->record;
    if (!r) return;
    if (r == f->fCtl->Record(CKvsDevCtl::kContents) && note->field == DctsF::field0 &&
        note->kind == CRecordNote::kChanged) {
        f->Reevaluate();
        return;
    }
    const CRecord* played = f->Played();
    if (played && (r == played || r->IsDescendantOf(played))) {
        PollDelayRestamp(&f->fStamp);
        return;
    }
    const bool saco = r == f->fCtl->Settings() && note->field == DvstF::saco;
    const bool usnm = f->fAppPrefs && r == f->fAppPrefs->Root() && note->field == PrefF::usnm;
    if ((saco || usnm) && note->kind == CRecordNote::kChanged) {
        f->Rebind();
        f->Reevaluate();
    }
}

LMessage CKvsScnUnvF::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        Poll();
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

// ---- CKvsDrcMonWin

CKvsDrcMonWin::CKvsDrcMonWin(LHandler* parent, CKvsDevCtl* ctl)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
    LPenRef back;
    MakePenById(&back, 1);
    SetBackColor(back);
    SetTitle(StdDialogText("KVSDRCMONWIN", 0));
    fFrame = CKvsScnUnvF::New(this, ctl, CKvsScnUnvF::kScene);
    SetLayoutByName("KVSDRCMONWIN", 1);
    fFrame->SetActive(true);
}

void CKvsDrcMonWin::SetSceneName(const LString& path) {
    fFrame->SetSceneName(path);
}

void CKvsDrcMonWin::RefreshUniverseStatus() {
    fFrame->RefreshUniverseStatus();
}
