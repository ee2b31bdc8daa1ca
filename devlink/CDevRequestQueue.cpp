#include "devlink/CDevRequestQueue.h"

#include "base/LTextSink.h"
#include "devlink/AnswerLimits.h"
#include "records/LRecPath.h"
#include "records/OneShotFields.h"
#include "records/PropRecord.h"

namespace {
constexpr u32 kRetryMs = 2000;
}

CDevRequestQueue::CDevRequestQueue(CReqQueue* queue, CRecord* record, const char* basePath,
                                   void* context, LChannelDoneFn done)
    : fQueue(queue),
      fRecord(record),
      fBasePath(basePath),
      fContext(context),
      fDone(done),
      fSendTimer(MainRunLoopWakeSource(), this, OnSendTimer),
      fRestartTimer(MainRunLoopWakeSource(), this, OnRestartTimer),
      fDoc(record ? record->GetOwner() : nullptr) {
    if (fDoc) {
        fDoc->AddListener(this, OnChange);
        fHeardChanges = fDoc->ChangeCount();
    }
}

CDevRequestQueue::~CDevRequestQueue() {
    if (fDoc) fDoc->RemoveListener(this, OnChange);
    if (fQueue) fQueue->CancelAll(this, OnDone);
    fSendTimer.Disarm();
    fRestartTimer.Disarm();
    delete fInFlight;
    fInFlight = nullptr;
    fPending.DeleteAll();
    fFree.DeleteAll();
}

CDevRequestQueue::ChanReq* CDevRequestQueue::Take(const char* path, bool merge, u8 write) {
    ChanReq* r = nullptr;
    // Only the last waiting request of the same kind merges; a read someone waits
    // for is never taken over.
    auto* last = static_cast<ChanReq*>(fPending.Tail());
    if (merge && last && last->write == write && !last->fn && !last->oneShot &&
        last->path == LString(path)) {
        fPending.Remove(last);
        r = last;
    } else {
        r = static_cast<ChanReq*>(fFree.PopFront());
        if (!r) r = new ChanReq;
    }
    r->fn = nullptr;
    r->context = nullptr;
    r->oneShot = 0;
    r->marker = 0;
    r->failed = 0;
    r->path = LString(path);
    r->write = write;
    r->listRecord = nullptr;
    r->list.Clear();
    // A fresh, empty body: the previous one may carry an error. A read's is
    // where the device's answer goes.
    delete r->body;
    r->body = write ? new CGrowMemStrm : new CGrowMemStrm(kChannelAnswerLimit);
    return r;
}

void CDevRequestQueue::Recycle(ChanReq* r) {
    r->listRecord = nullptr;
    r->list.Clear();
    r->fn = nullptr;
    r->context = nullptr;
    r->marker = 0;
    r->failed = 0;
    fFree.PushFront(r);
}

void CDevRequestQueue::Refresh() {
    fPending.PushBack(Take("/", true, 0));
    Send();
}

void CDevRequestQueue::Request(const char* relativePath, void* context, LChannelClientFn fn) {
    ChanReq* r = Take(relativePath, false, 0);
    r->context = context;
    r->fn = fn;
    fPending.PushBack(r);
    Send();
}

void CDevRequestQueue::CancelFor(void* context, LChannelClientFn fn) {
    if (fInFlight && fInFlight->context == context && fInFlight->fn == fn) fInFlight->fn = nullptr;
    LLink* prev = &fPending;
    while (!prev->Next()->IsEnd()) {
        auto* r = static_cast<ChanReq*>(prev->Next());
        if (r->context == context && r->fn == fn) {
            fPending.RemoveNext(prev);
            Recycle(r);
        } else {
            prev = r;
        }
    }
}

void CDevRequestQueue::AfterQueued(void* context, LChannelClientFn fn) {
    ChanReq* r = Take("", false, 0);
    r->marker = 1;
    r->context = context;
    r->fn = fn;
    fPending.PushBack(r);
    Send();
}

CDevRequestQueue::Step::~Step() {
    if (--fChannel->fSteps != 0 || !fChannel->fSendDue) return;
    fChannel->fSendDue = 0;
    fChannel->Send();
}

void CDevRequestQueue::Send() {
    if (fSteps) {
        fSendDue = 1;
        return;
    }
    ChanReq* r = nullptr;
    for (;;) {
        if (fWaitingRestart || fInFlight || !fQueue) return;
        r = static_cast<ChanReq*>(fPending.PopFront());
        if (!r) return;
        if (!r->marker) break;
        // Everything before it has been answered: its caller goes now, and may
        // queue more behind it.
        const LChannelClientFn fn = r->fn;
        void* const context = r->context;
        const bool ok = !r->failed;
        Recycle(r);
        if (fn) {
            Step step(this);
            fn(context, ok);
        }
    }
    fInFlight = r;
    Finish(r);
    // Should it come back into line (unanswered), a change of its list writes
    // the list whole again.
    r->list.Clear();
    LTextStream full;
    full.Put(fBasePath);
    full.Put(r->path);
    CStrm* body = r->body;
    if (r->write) {
        // The device queue owns what it sends; the setting stays here until
        // the device has taken it.
        auto* copy = new CGrowMemStrm;
        copy->Write(r->body->Data(), r->body->End());
        copy->SetPosition(0);
        body = copy;
    } else {
        r->body = nullptr;
    }
    fQueue->Enqueue(this, OnDone, full.CStr(), r->write, body, nullptr, 0);
}

void CDevRequestQueue::OnSendTimer(void* self) {
    auto* c = static_cast<CDevRequestQueue*>(self);
    // Once a step: what the writes waiting followed is put together, and
    // the items its changes wrote on their own are let go.
    for (LLink* l = c->fPending.Head(); !l->IsEnd(); l = l->Next())
        Finish(static_cast<ChanReq*>(l));
    c->Send();
}

void CDevRequestQueue::Finish(ChanReq* r) {
    if (!r->list.changed || !r->body) return;
    auto* body = new CGrowMemStrm;
    if (!LRecPath::FinishListValue(r->body->Data(), body, &r->list)) {
        // Out of memory: the last whole value stays, and no more changes are followed.
        delete body;
        r->list.Clear();
        return;
    }
    body->SetPosition(0);
    delete r->body;
    r->body = body;
}

std::vector<u8> CDevRequestQueue::LastWriteBytes(const char* path) const {
    const ChanReq* found =
        fInFlight && fInFlight->write && fInFlight->path == LString(path) ? fInFlight : nullptr;
    for (const LLink* l = fPending.Head(); !l->IsEnd(); l = l->Next()) {
        auto* r = static_cast<const ChanReq*>(l);
        if (r->write && r->path == LString(path)) found = r;
    }
    if (!found || !found->body) return {};
    const CMemStrm* body = found->body;
    // Put together aside: what the channel sends stays its own doing.
    CGrowMemStrm finished;
    LRecListValue layout = found->list;
    if (layout.changed) {
        if (!LRecPath::FinishListValue(body->Data(), &finished, &layout)) return {};
        body = &finished;
    }
    return std::vector<u8>(body->Data(), body->Data() + body->End());
}

void CDevRequestQueue::OnRestartTimer(void* self) {
    auto* c = static_cast<CDevRequestQueue*>(self);
    c->fWaitingRestart = 0;
    // What waits goes first; the record read back behind it then holds it.
    if (c->fContext == NoRereadContext())
        c->Send();
    else
        c->Refresh();
}

std::vector<LString> CDevRequestQueue::UnsentPaths() const {
    std::vector<LString> paths;
    auto add = [&paths](const ChanReq* r) {
        if (!r->write || r->oneShot) return;
        for (const LString& p : paths)
            if (p == r->path) return;
        paths.push_back(r->path);
    };
    if (fInFlight) add(fInFlight);
    for (const LLink* l = fPending.Head(); !l->IsEnd(); l = l->Next())
        add(static_cast<const ChanReq*>(l));
    return paths;
}

void CDevRequestQueue::DropUnsent() {
    Step step(this);
    const bool writing = fInFlight && fInFlight->write;
    LChannelClientFn fn = nullptr;
    void* context = nullptr;
    if (writing) {
        if (fQueue) fQueue->CancelAll(this, OnDone);
        ChanReq* r = fInFlight;
        fInFlight = nullptr;
        fn = r->fn;
        context = r->context;
        Recycle(r);
    }
    bool dropped = writing;
    LLink* prev = &fPending;
    while (!prev->Next()->IsEnd()) {
        auto* p = static_cast<ChanReq*>(prev->Next());
        // Whoever waits behind them learns that they did not go.
        if (p->marker) p->failed = 1;
        if (p->write) {
            fPending.RemoveNext(prev);
            Recycle(p);
            dropped = true;
        } else {
            prev = p;
        }
    }
    fUnanswered = 0;
    // Told once the lines are in order again: it may queue or cancel.
    if (fn) fn(context, false);
    if (!dropped) return;
    // What stays goes now, as at the end of a restart's wait.
    fRestartTimer.Disarm();
    OnRestartTimer(this);
}

void CDevRequestQueue::RestoreWaitingWrites() {
    // Each value read back is told to the record's listeners, which may queue,
    // cancel or drop writes: the values are taken out of the line first.
    std::vector<std::pair<LString, std::vector<u8>>> waiting;
    for (LLink* l = fPending.Head(); !l->IsEnd(); l = l->Next()) {
        auto* r = static_cast<ChanReq*>(l);
        if (!r->write || r->oneShot) continue;
        Finish(r);
        waiting.emplace_back(r->path,
                             std::vector<u8>(r->body->Data(), r->body->Data() + r->body->End()));
    }
    for (auto& [path, bytes] : waiting) {
        u8 field;
        u32 index;
        CRecord* target = LRecPath::Resolve(path.CStr(), fRecord, &field, &index);
        if (!target || bytes.empty()) continue;
        CMemStrm value(bytes.data(), u32(bytes.size()));
        LRecPath::ReadValue(target, field, index, &value);
    }
}

void CDevRequestQueue::FailMarkers() {
    for (LLink* l = fPending.Head(); !l->IsEnd(); l = l->Next()) {
        auto* p = static_cast<ChanReq*>(l);
        if (p->marker) p->failed = 1;
    }
}

void CDevRequestQueue::DropWaitingPresses() {
    bool dropped = false;
    LLink* prev = &fPending;
    while (!prev->Next()->IsEnd()) {
        auto* p = static_cast<ChanReq*>(prev->Next());
        if (p->marker && dropped) p->failed = 1;
        if (p->write && p->oneShot) {
            fPending.RemoveNext(prev);
            Recycle(p);
            dropped = true;
        } else {
            prev = p;
        }
    }
}

void CDevRequestQueue::OnDone(void* self, CStrm* data, const u32* status) {
    auto* c = static_cast<CDevRequestQueue*>(self);
    Step step(c);
    ChanReq* r = c->fInFlight;
    if (!r) {
        c->Send();
        return;
    }
    c->fInFlight = nullptr;
    const bool whole = r->path == LString("/");
    bool ok = data != nullptr && status[0] == 0 && status[1] == 0;
    if (ok) c->fUnanswered = 0;
    // A reply cut short (or longer than its chunk says) would leave every field
    // past the cut at its default, shown as the device's value: it is a failed read.
    if (ok && !r->write && !PropRecord::ReplyWhole(data)) ok = false;
    if (ok && !r->write) {
        u8 field;
        u32 index;
        CRecord* target = LRecPath::Resolve(r->path.CStr(), c->fRecord, &field, &index);
        ok = false;
        if (target) {
            // The record changes here unheard: no list value waiting is known to
            // match it. What they followed so far is put together first.
            for (LLink* l = c->fPending.Head(); !l->IsEnd(); l = l->Next()) {
                auto* p = static_cast<ChanReq*>(l);
                Finish(p);
                p->list.Clear();
            }
            c->fApplying = 1;
            const bool wasModified = c->fDoc && c->fDoc->IsModified();
            data->SetPosition(0);
            ok = LRecPath::ReadValue(target, field, index, data);
            // The user's settings still on their way are newer than the
            // device's copy: the record keeps showing them.
            if (whole && ok) c->RestoreWaitingWrites();
            if (whole && c->fDoc && !wasModified) c->fDoc->SetModified(false);
            c->fApplying = 0;
            if (whole && ok && c->fDone) c->fDone(c->fContext);
        }
    }
    if (!ok) {
        if (!r->write && whole && !r->fn) {
            // The device must be read whole before anything else goes to it.
            c->Recycle(r);
            c->fPending.PushFront(c->Take("/", false, 0));
            c->fWaitingRestart = 1;
            c->fRestartTimer.StartMs(kRetryMs);
            return;
        }
        if (r->write && (status[0] == 2 || status[1] == 2)) {
            // The device did not answer: a setting stays first in line and goes
            // again once it does, before the record is read back, and so do the
            // settings behind it. A command press is not kept, nor the presses
            // behind it: late, they would act when nobody asked.
            if (r->oneShot) c->FailMarkers();
            c->DropWaitingPresses();
            if (!r->oneShot) {
                c->fPending.PushFront(r);
                r = nullptr;
            }
            bool waits = false;
            for (const LLink* l = c->fPending.Head(); !l->IsEnd() && !waits; l = l->Next())
                waits = static_cast<const ChanReq*>(l)->write;
            if (waits) {
                c->fUnanswered = 1;
                c->fWaitingRestart = 1;
                c->fRestartTimer.StartMs(kRetryMs);
            }
            if (!r) return;
        } else if (r->write) {
            // Refused: the device keeps its own value of this one setting; the
            // others were asked for on their own and go as they would have.
            c->fUnanswered = 0;
            c->FailMarkers();
            if (!r->oneShot && c->fRefused) c->fRefused(c->fRefusedContext, *c, r->path);
            // Read back, so that the refused setting shows what the device holds.
            if (c->fContext != NoRereadContext()) c->fRestartTimer.StartMs(kRetryMs);
        }
    }
    const LChannelClientFn fn = r->fn;
    void* const context = r->context;
    c->Recycle(r);
    if (fn) fn(context, ok);
    c->Send();
}

void CDevRequestQueue::OnChange(void* self, CRecordNote* note) {
    auto* c = static_cast<CDevRequestQueue*>(self);
    if (c->fApplying || note->kind > CRecordNote::kMoved) return;
    // Was this notice's change the only one since the last change heard? A
    // change heard inside another's delivery may come after changes whose own
    // notices have not arrived yet, and some changes are told to nobody.
    const u32 changes = c->fDoc ? c->fDoc->ChangeCount() : 0;
    const bool alone = changes == c->fHeardChanges + 1;
    c->fHeardChanges = changes;
    if (!note->record || !c->fRecord) return;
    if (note->record != c->fRecord && !note->record->IsDescendantOf(c->fRecord)) return;
    LTextStream path;
    if (!LRecPath::Append(c->fRecord, note->record, note->field, kRecNoIndex, path) || path.Error())
        return;
    // Two presses of one command are two actions: only settings keep their last value.
    const bool press = OneShotChangeUnderway();
    if (!press && alone && c->ChangeLastList(note, path.CStr())) {
        c->fSendTimer.StartMs(0u);
        return;
    }
    ChanReq* r = c->Take(path.CStr(), !press, 1);
    r->oneShot = press ? 1 : 0;
    if (!LRecPath::WriteValue(note->record, note->field, kRecNoIndex, r->body, &r->list)) {
        c->Recycle(r);
        return;
    }
    r->listRecord = note->record;
    r->listField = note->field;
    r->body->SetPosition(0);
    c->fPending.PushBack(r);
    c->fSendTimer.StartMs(0u);
}

bool CDevRequestQueue::ChangeLastList(const CRecordNote* note, const char* path) {
    auto* last = static_cast<ChanReq*>(fPending.Tail());
    // The write waiting last took every change of the record so far: each
    // one's notice either came here or made another write the last.
    if (!last || !last->list.valid || last->listRecord != note->record ||
        last->listField != note->field || !last->write || last->fn || last->oneShot ||
        !(last->path == LString(path)))
        return false;
    return LRecPath::ChangeListValue(note->record, note->field, note->kind, note->extra,
                                     note->index, &last->list);
}
