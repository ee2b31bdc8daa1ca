#include "devices/monitors/CKvsFileListCtl.h"

#include <cstdio>
#include <string>

#include "base/Clock.h"
#include "base/Paths.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/DevCtlOpen.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/files/CKvsFileList.h"
#include "devices/files/DeviceFileOps.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devices/monitors/CKvsUnivList.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"
#include "records/Universes.h"

namespace {

constexpr u8 kPlaying = 2;
constexpr u8 kRecording = 3;
constexpr i64 kDayMs = 86400000;

i32 ClampI32(i64 v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : i32(v);
}

LString LastPart(const LString& path) {
    const std::string p = path.CStr();
    const size_t slash = p.rfind('/');
    return LString((slash == std::string::npos ? p : p.substr(slash + 1)).c_str());
}

}  // namespace

LString RecTimeText(i32 sqtm) {
    // 64 bits: the magnitude of the most negative i32 does not fit in one.
    const i64 magnitude = sqtm < 0 ? -i64(sqtm) : i64(sqtm);
    i64 ms = magnitude % kDayMs;
    if (sqtm < 0 && ms != 0) ms = kDayMs - ms;
    const i64 s = ms / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60),
                  int(s % 60));
    return LString(text);
}

LString RecFileLabel(const LString& cflp) {
    const std::string leaf = LastPart(cflp).CStr();
    const size_t dot = leaf.rfind('.');
    return LString((dot == std::string::npos || dot == 0 ? leaf : leaf.substr(0, dot)).c_str());
}

RecBarRange RecBarFor(i32 sqtm, i32 sqtt, i32 sqet) {
    RecBarRange r;
    if (sqtt >= sqet) return r;
    r.value = sqtm;
    r.min = sqtt;
    r.max = sqet;
    r.page = ClampI32((i64(sqet) - i64(sqtt)) / 12);
    return r;
}

LString RecRenameSource(const LString& cflp) {
    const LString leaf = LastPart(cflp);
    // "", "." and ".." would rename the folder or nothing at all.
    if (!IsDeviceFileName(leaf.CStr(), u32(leaf.Length()))) return LString();
    return leaf;
}

// ---- CKvsFileListCtl

CKvsFileListCtl::CKvsFileListCtl(LHandler* parent, LFrame& container, CKvsDevCtl* ctl)
    : LHandler(parent), fCtl(ctl), fUndo(parent, 65536), fTimer(this) {
    CRecord* ssta = ctl->Record(CKvsDevCtl::kSeqStat);
    fFrame = new CKvsRecCtlF(this, &container, ctl, ssta ? ssta->GetChild(SstaF::uvst) : nullptr);
    fLastScroll = LTickMs() - 2000;
    PollDelayStamp(&fStamp);
    fTimer.Start(0u);
    fPrefs = AppPrefsDoc();
    RefreshStatus();
    RefreshUniverses();
    fCtl->Doc(CKvsDevCtl::kSeqStat).AddListener(this, OnChange);
    fCtl->Doc(CKvsDevCtl::kSettings).AddListener(this, OnChange);
    if (fPrefs) fPrefs->AddListener(this, OnChange);
}

CKvsFileListCtl::~CKvsFileListCtl() {
    if (fPrefs) fPrefs->RemoveListener(this, OnChange);
    fCtl->Doc(CKvsDevCtl::kSettings).RemoveListener(this, OnChange);
    fCtl->Doc(CKvsDevCtl::kSeqStat).RemoveListener(this, OnChange);
    fTimer.Stop();
    fCtl->SeqStatChannel().CancelFor(this, OnRead);
    CKvsRecCtlF* frame = fFrame;
    fFrame = nullptr;
    delete frame;
}

bool CKvsFileListCtl::ShowsRecordings() const {
    const CRecord* contents = fCtl->Record(CKvsDevCtl::kContents);
    return contents && contents->GetU8(DctsF::field0) == 0;
}

void CKvsFileListCtl::Command(i32 rcct) {
    SetCommandOneShot(fCtl->Record(CKvsDevCtl::kCommands), DvcmF::rcct, rcct);
}

void CKvsFileListCtl::Locate(i32 position) {
    SetCommandOneShot(fCtl->Record(CKvsDevCtl::kCommands), DvcmF::rclc, position);
}

void CKvsFileListCtl::LoadEntry(const LString& name, bool play) {
    CRecord* cmd = fCtl->Record(CKvsDevCtl::kCommands);
    if (!cmd) return;
    const std::string path = std::string(kRecordingsFolder) + "/" + name.CStr();
    SetCommandOneShotText(cmd, DvcmF::rcpf, LString(path.c_str()));
    if (play) Command(kPlay);
}

void CKvsFileListCtl::Stop() {
    const CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
    LString path;
    if (ssta && ssta->GetU8(SstaF::stat) == kRecording) path = ssta->GetString(SstaF::cflp);
    Command(kStop);
    const LString old = RecRenameSource(path);
    if (old.IsEmpty()) return;
    // The device writes the recording out when the stop reaches it: the
    // rename goes after the command, not beside it on the other queue.
    if (!WaitChannel(*fCtl, fCtl->CommandChannel(), nullptr)) return;
    const LString renamed =
        RenameDeviceFile(this, &fCtl->FileQueue(), fCtl->Record(CKvsDevCtl::kContents), old, 0);
    SignalFileListChanged(fCtl->Record(CKvsDevCtl::kContents));
    if (renamed.IsEmpty()) return;
    CRecord* cmd = fCtl->Record(CKvsDevCtl::kCommands);
    SetCommandOneShotText(cmd, DvcmF::rcpf, renamed);
}

void CKvsFileListCtl::RefreshStatus() {
    const CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
    if (!ssta) return;
    const u8 stat = ssta->GetU8(SstaF::stat);
    fFrame->SetPlayState(stat);
    fFrame->SetRecState(stat);
    fFrame->fName.SetText(RecFileLabel(ssta->GetString(SstaF::cflp)));
    RefreshPosition();
}

void CKvsFileListCtl::RefreshPosition() {
    const CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
    if (!ssta) return;
    const i32 sqtm = ssta->GetI32(SstaF::sqtm);
    fFrame->fTime.SetText(RecTimeText(sqtm));
    const RecBarRange r = RecBarFor(sqtm, ssta->GetI32(SstaF::sqtt), ssta->GetI32(SstaF::sqet));
    // A bar the user just moved stays where the hand left it for a moment.
    if (r.max != r.min && LTickMs() - fLastScroll < kScrollHoldMs) return;
    fFrame->fBar.SetRange(r.value, r.min, r.max, r.page);
}

void CKvsFileListCtl::RefreshUniverses() {
    const CRecord* prefs = fPrefs ? fPrefs->Root() : nullptr;
    CRecord* settings = fCtl->Settings();
    const bool saco = settings && settings->GetU8(DvstF::saco) != 0;
    const bool monitor = prefs && prefs->GetU8(PrefF::usnm) != 0 && !saco;
    CKvsUnvList* list = fFrame->fUniverses;
    if (monitor) {
        CRecord* status = fCtl->Record(CKvsDevCtl::kDrcStat);
        if (CKvsNetMon* mon = fCtl->NetMon()) {
            const CRecord* device =
                fCtl->DeviceSet() ? fCtl->DeviceSet()->Find(u16(fCtl->Serial())) : nullptr;
            const u32 address = device ? device->GetU32(DevcF::address) : 0;
            const CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
            if (ssta && ssta->GetU8(SstaF::stat) == kPlaying) {
                // While it plays, only what the device itself sends is its output.
                if (address == 0)
                    ClearUniverseRecs(status);
                else
                    mon->PublishUniverses(status, address, 0);
            } else {
                // Otherwise its own output is no input to show.
                mon->PublishUniverses(status, 0, address);
            }
        }
        list->SetSource(status);
    } else {
        CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
        list->SetSource(ssta ? ssta->GetChild(SstaF::uvst) : nullptr);
    }
    list->SetNumberFormat(saco ? 1 : 0);
}

void CKvsFileListCtl::NetMonChanged() {
    const CRecord* prefs = fPrefs ? fPrefs->Root() : nullptr;
    if (prefs && prefs->GetU8(PrefF::usnm)) RefreshUniverses();
}

void CKvsFileListCtl::OnRead(void* self, bool) {
    auto* c = static_cast<CKvsFileListCtl*>(self);
    const CRecord* ssta = c->fCtl->Record(CKvsDevCtl::kSeqStat);
    const CRecord* uvst = ssta ? ssta->GetChild(SstaF::uvst) : nullptr;
    c->fTimer.Start(PollDelayNext(&c->fStamp, uvst ? uvst->GetListCount(DrcStatF::unvs) : 0));
}

void CKvsFileListCtl::OnChange(void* self, CRecordNote* note) {
    auto* c = static_cast<CKvsFileListCtl*>(self);
    const CRecord* r = note->record;
    if (!r) return;
    CRecord* ssta = c->fCtl->Record(CKvsDevCtl::kSeqStat);
    const CRecord* prefs = c->fPrefs ? c->fPrefs->Root() : nullptr;
    if (r == ssta || r->IsDescendantOf(ssta)) {
        if (r == ssta && note->kind == CRecordNote::kChanged) {
            if (note->field == SstaF::cflp) {
                if (CKvsNetMon* mon = c->fCtl->NetMon()) {
                    const CRecord* device = c->fCtl->DeviceSet()
                                                ? c->fCtl->DeviceSet()->Find(u16(c->fCtl->Serial()))
                                                : nullptr;
                    if (device) mon->RemoveSender(device->GetU32(DevcF::address));
                }
            }
            if (note->field == SstaF::stat && prefs && prefs->GetU8(PrefF::usnm))
                c->RefreshUniverses();
        }
        c->RefreshStatus();
        PollDelayRestamp(&c->fStamp);
        return;
    }
    const bool saco = r == c->fCtl->Settings() && note->field == DvstF::saco;
    const bool usnm = prefs && r == prefs && note->field == PrefF::usnm;
    if ((saco || usnm) && note->kind == CRecordNote::kChanged) c->RefreshUniverses();
}

LMessage CKvsFileListCtl::HandleMessage(const LMessage& msg) {
    if (fUndo.HandleMessage(msg).IsEmpty()) return LMessage();
    // The panel's panes speak while it is being built.
    if (!fFrame) return LHandler::HandleMessage(msg);
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        fCtl->SeqStatChannel().Request("/", this, OnRead);
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected)) {
        if (msg.source == &fFrame->fZero) {
            Command(kZero);
            return LMessage();
        }
        if (msg.source == &fFrame->fPlay) {
            Command(kPlay);
            return LMessage();
        }
        if (msg.source == &fFrame->fRec) {
            Command(kRecord);
            return LMessage();
        }
        if (msg.source == &fFrame->fStop) {
            Stop();
            return LMessage();
        }
    }
    if (msg.source == &fFrame->fBar &&
        (msg.Is(LScrollBar_Change) || msg.Is(LScrollBar_Up) || msg.Is(LScrollBar_Dw))) {
        LScrollBar& bar = fFrame->fBar;
        if (msg.Is(LScrollBar_Up)) bar.SetValue(ClampI32(i64(bar.GetValue()) - kScrollStepMs));
        if (msg.Is(LScrollBar_Dw)) bar.SetValue(ClampI32(i64(bar.GetValue()) + kScrollStepMs));
        Locate(bar.GetValue());
        fLastScroll = LTickMs();
        return LMessage();
    }
    CKvsFileList* list = fFrame->fFiles->fList;
    if (msg.source == list && ShowsRecordings()) {
        if (msg.Is(CKvsFileList_SglClk) || msg.Is(CKvsFileList_DblClk)) {
            const std::vector<LString> names = list->SelectedNames(false);
            if (!names.empty()) LoadEntry(names[0], msg.Is(CKvsFileList_DblClk));
            return LMessage();
        }
        if (msg.Is(CKvsFileList_WillDelete)) {
            const CRecord* ssta = fCtl->Record(CKvsDevCtl::kSeqStat);
            if (ssta && list->IsSelectedPath(ssta->GetString(SstaF::cflp).CStr())) {
                CRecord* cmd = fCtl->Record(CKvsDevCtl::kCommands);
                SetCommandOneShotText(cmd, DvcmF::rcpf, LString(" "));
                // The delete goes on the other queue: the device lets go of
                // the file before it is asked to delete it.
                WaitChannel(*fCtl, fCtl->CommandChannel(), nullptr);
            }
            return LHandler::HandleMessage(msg);
        }
    }
    return LHandler::HandleMessage(msg);
}
