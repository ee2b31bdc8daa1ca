#include "editors/CKvsScnMonF.h"

#include <algorithm>
#include <limits>

#include "devlink/CDevRequestQueue.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kTexts = "KVSSCNMONF";
constexpr u32 kMsPerSecond = 1000;
enum : u32 { kContents, kState, kSeqStat, kCommands };

}  // namespace

CKvsScnMonF::CKvsScnMonF(LHandler* parent, LPane* container, MPlayDevice* device)
    : LFrame(parent, container),
      fDevice(device),
      fTimer(this),
      fPosCap(this),
      fPos(this, 0, 100, 0),
      fLenCap(this),
      fLen(this, 0, 100, 0),
      fBar(this, 0, 1),
      fPlay(this, Style2()),
      fArrow(this) {
    fPosCap.SetText(StdDialogText(kTexts, 0));
    fLenCap.SetText(StdDialogText(kTexts, 1));
    fPos.SetReadOnly(true);
    fLen.SetReadOnly(true);
    fLen.SetStatic(true);
    fPlay.SetTitle(LString("\xE2\x96\xB6"));
    SetFocusSide(0);
    SetLayoutByName(kTexts, 1);
    for (u32 d : {kContents, kState, kSeqStat})
        if (CRecordDoc* doc = Doc(d)) doc->AddListener(this, Listener);
    Display();
}

CKvsScnMonF::~CKvsScnMonF() {
    for (u32 d : {kSeqStat, kState, kContents})
        if (CRecordDoc* doc = Doc(d)) doc->RemoveListener(this, Listener);
    // A read still under way must not call back into a frame that is gone.
    if (fDevice && fDevice->DeviceSerial() != 0)
        fDevice->SeqStatusChannel().CancelFor(this, OnPosition);
}

CRecordDoc* CKvsScnMonF::Doc(u32 which) const {
    if (!fDevice) return nullptr;
    switch (which) {
        case kContents:
            return fDevice->ContentsDoc();
        case kState:
            return fDevice->StateDoc();
        case kSeqStat:
            return fDevice->SeqStatDoc();
        default:
            return fDevice->CommandDoc();
    }
}

u32 CKvsScnMonF::Mode() const {
    const CRecordDoc* d = Doc(kContents);
    return d && d->Root() ? d->Root()->GetU32(DctsF::field0) : 0;
}

i32 CKvsScnMonF::MsFromSeconds(i64 seconds) {
    return i32(std::clamp<i64>(seconds * kMsPerSecond, std::numeric_limits<i32>::min(),
                               std::numeric_limits<i32>::max()));
}

void CKvsScnMonF::SetActive(bool active) {
    if (u8(active) == fActive) return;
    fActive = u8(active);
    Display();
    fTimer.Start(0u);
}

void CKvsScnMonF::SetFocusSide(u32 side) {
    fArrow.SetText(LString(side == 0 ? "\xE2\x96\xB3" : "\xE2\x96\xBD"));
}

void CKvsScnMonF::Display() {
    const u32 mode = Mode();
    const CRecordDoc* state = Doc(kState);
    const CRecordDoc* seq = Doc(kSeqStat);
    i64 pos = 0, len = 0;
    bool shown = false;
    if (fActive && mode == 1 && state && state->Root()) {
        pos = state->Root()->GetI32(DvssF::autm);
        len = state->Root()->GetU32(DvssF::audr);
        shown = true;
    } else if (fActive && mode == 0 && seq && seq->Root()) {
        pos = seq->Root()->GetI32(SstaF::sqtm);
        len = seq->Root()->GetI32(SstaF::sqet);
        shown = true;
    }
    if (shown) {
        fPos.SetTime(i32(pos), kMsPerSecond);
        fLen.SetTime(i32(std::min<i64>(len, std::numeric_limits<i32>::max())), kMsPerSecond);
        const i32 max = i32(std::max<i64>(len / kMsPerSecond, 0));
        fBar.SetRange(i32(std::clamp<i64>(pos / kMsPerSecond, 0, max)), 0, max, 1);
    } else {
        fPos.SetText(LString());
        fLen.SetText(LString());
        fBar.SetRange(0, 0, 0, 1);
    }
}

void CKvsScnMonF::StateChanged(u32 op) {
    const bool was = IsShown();
    LFrame::StateChanged(op);
    if (!was && IsShown()) fTimer.Start(0u);
}

void CKvsScnMonF::Poll() {
    if (!fActive || !IsShown() || Mode() != 0 || !fDevice || fDevice->DeviceSerial() == 0) return;
    CDevRequestQueue& channel = fDevice->SeqStatusChannel();
    channel.Request("/sqtm", this, OnPosition);
    channel.Request("/sqet", nullptr, nullptr);
}

void CKvsScnMonF::OnPosition(void* self, bool) {
    static_cast<CKvsScnMonF*>(self)->fTimer.Start(kPollMs);
}

LMessage CKvsScnMonF::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        Poll();
        return LMessage();
    }
    if (msg.Is(LScrollBar_Change) && msg.source == &fBar) {
        const u32 mode = Mode();
        const CRecordDoc* cmd = Doc(kCommands);
        if (mode < 2 && cmd && cmd->Root())
            SetCommandOneShot(cmd->Root(), mode == 1 ? DvcmF::psau : DvcmF::paus,
                              MsFromSeconds(fBar.GetValue()));
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsScnMonF::Listener(void* self, CRecordNote* note) {
    auto* f = static_cast<CKvsScnMonF*>(self);
    const CRecord* r = note->record;
    if (!r || note->kind != CRecordNote::kChanged) return;
    const CRecordDoc* contents = f->Doc(kContents);
    if (contents && r == contents->Root() && note->field == DctsF::field0) {
        f->Display();
        f->fTimer.Start(0u);
        return;
    }
    const u32 mode = f->Mode();
    const CRecordDoc* state = f->Doc(kState);
    const CRecordDoc* seq = f->Doc(kSeqStat);
    if ((mode == 0 && seq && r == seq->Root() &&
         (note->field == SstaF::sqtm || note->field == SstaF::sqet)) ||
        (mode == 1 && state && r == state->Root() &&
         (note->field == DvssF::autm || note->field == DvssF::audr)))
        f->Display();
}
