#include "editors/nsq/CKvsNPosInd.h"

#include "framework/LFont.h"
#include "records/DeviceKinds.h"
#include "records/MediaIndex.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"

namespace {
constexpr const char* kUnknown = "--:--:--";
}

CKvsNPosInd::CKvsNPosInd(LPane* container, CNSqDevCtx* ctx)
    : LFrame(container, container), fCtx(ctx), fPos(this), fSep(this), fDur(this) {
    for (LTextPane* p : {&fPos, &fSep, &fDur}) p->SetStyle(LFont(3));
    fSep.SetText(LString(" / "));
    fPos.SetText(LString(kUnknown));
    fDur.SetText(LString(kUnknown));
    SetLayoutByName("KVSNPOSIND", 1);
}

CKvsNPosInd::~CKvsNPosInd() {
    Listen(false);
}

void CKvsNPosInd::Listen(bool on) {
    if (on == fListening) return;
    fListening = on;
    if (on) {
        fCtx->AddListener(this, OnChange);
        const CRecord* media = fCtx->MediaIndex();
        fMediaDoc = media ? media->GetOwner() : nullptr;
        if (fMediaDoc) fMediaDoc->AddListener(this, OnChange);
    } else {
        if (fMediaDoc) fMediaDoc->RemoveListener(this, OnChange);
        fMediaDoc = nullptr;
        fCtx->RemoveListener(this, OnChange);
    }
}

void CKvsNPosInd::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if ((op == kOpShow || op == kOpContainerShown) && IsShown()) {
        Refresh();
        Listen(true);
    } else if (op == kOpHide || op == kOpContainerHidden) {
        Listen(false);
    }
}

void CKvsNPosInd::SetClip(const CNSqClip& clip) {
    if (clip == fClip) return;
    fClip = clip;
    if (IsShown()) Refresh();
}

void CKvsNPosInd::Refresh() {
    const CRecord* media = fCtx->MediaIndex();
    const CRecord* m = media ? FindMediaFile(media, fClip.file.CStr()) : nullptr;
    u32 duration = 0;
    const bool known = m && m->GetU8(MdifF::stat) == 2;
    if (known) duration = m->GetU32(MdifF::dura);
    fDur.SetText(known ? NSqClockText(duration) : LString(kUnknown));
    const CRecord* st = fCtx->Status();
    u32 pos;
    const bool playing =
        NSqClipPosition(fClip, st->GetU32(NsqStatF::sqid), st->GetU32(NsqStatF::time),
                        known ? &duration : nullptr, &pos);
    fPos.SetText(playing ? NSqClockText(pos) : LString(kUnknown));
}

void CKvsNPosInd::OnChange(void* self, CRecordNote* note) {
    auto* p = static_cast<CKvsNPosInd*>(self);
    const CRecord* r = note->record;
    const bool status = r == p->fCtx->Status();
    const bool media = r->Family() == kFamKvs && (r->Kind() == kKindMdis || r->Kind() == kKindMdif);
    if (status || media) p->Refresh();
}
