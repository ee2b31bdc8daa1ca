#include "devlink/ReqQueue.h"

#include <cstdio>
#include <memory>

#include "devlink/AnswerLimits.h"
#include "devlink/NetIf.h"
#include "devlink/OpenFiles.h"
#include "services/Services.h"

namespace {

LString Decimal(u32 v) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", v);
    return LString(text);
}

u32 sPlacesSet = 0;
constexpr u64 kMostPlaces = 128;

}  // namespace

// Main thread only, as the queues are.
struct CTransferPlaces {
    u32 inUse = 0;
    std::list<CReqQueue*> line;
    bool handing = false;

    static CTransferPlaces& Get() {
        static CTransferPlaces* places = new CTransferPlaces;  // queues may end during exit
        return *places;
    }
    // Hands free places to the queues in line, first come first served. A queue
    // that finds nothing to start gives its place back at once.
    void HandOut() {
        if (handing) return;
        handing = true;
        while (inUse < TransferPlaces() && !line.empty()) {
            CReqQueue* q = line.front();
            line.pop_front();
            q->fWaitsForPlace = false;
            ++inUse;
            q->fHasPlace = true;
            q->StartNext();
            if (!q->fCurrent && q->fHasPlace) q->GivePlaceBack();
        }
        handing = false;
    }
};

u32 TransferPlaces() {
    if (sPlacesSet) return sPlacesSet;
    // Half of what the open-file limit leaves beside the program's own files, at
    // most 128: a poll, windows and files keep their descriptors, and the answers
    // of every transfer under way may come in one turn of the run loop, each
    // completion starting the next request.
    static const u32 places = [] {
        const u64 limit = OpenFileLimit();
        const u64 spare = limit > 256 ? (limit - 256) / 2 : 0;
        return u32(spare < 16 ? 16 : spare > kMostPlaces ? kMostPlaces : spare);
    }();
    return places;
}

void SetTransferPlaces(u32 places) {
    sPlacesSet = places;
    CTransferPlaces::Get().HandOut();
}

bool CReqQueue::TakePlace() {
    if (fHasPlace) return true;
    CTransferPlaces& p = CTransferPlaces::Get();
    if (p.inUse < TransferPlaces() && p.line.empty()) {
        ++p.inUse;
        fHasPlace = true;
        return true;
    }
    if (!fWaitsForPlace) {
        fInLine = p.line.insert(p.line.end(), this);
        fWaitsForPlace = true;
    }
    return false;
}

void CReqQueue::GivePlaceBack() {
    if (!fHasPlace) return;
    fHasPlace = false;
    CTransferPlaces& p = CTransferPlaces::Get();
    if (p.inUse > 0) --p.inUse;
    p.HandOut();
}

CReqQueue::CReqQueue(MDevSetLink* owner, u32 serial)
    : fOwner(owner),
      fSerial(serial),
      fSerialText(Decimal(serial)),
      fWake(MainRunLoopWakeSource()),
      fLastActivity(LTickMs()),
      fManager(fWake, 1) {
    if (fOwner) fOwner->AddDeviceListener(u16(fSerial), this, OnDeviceChange);
}

CReqQueue::~CReqQueue() {
    if (fOwner) fOwner->RemoveDeviceListener(u16(fSerial), this, OnDeviceChange);
    if (fWaitsForPlace) {
        CTransferPlaces::Get().line.erase(fInLine);
        fWaitsForPlace = false;
    }
    if (fSession) fManager.Release(fSession);
    fSession = nullptr;
    GivePlaceBack();
    delete fCurrent;
    fCurrent = nullptr;
    fPending.DeleteAll();
    fFree.DeleteAll();
}

u32 CReqQueue::PendingCount() const {
    u32 n = 0;
    for (LLink* l = fPending.Head(); !l->IsEnd(); l = l->Next()) ++n;
    return n;
}

void CReqQueue::Enqueue(void* context, LReqDoneFn done, const char* path, u32 write, CStrm* data,
                        const u32* perm, u32 flags) {
    Request* r = static_cast<Request*>(fFree.PopFront());
    if (!r) r = new Request;
    delete r->data;
    r->path = LString(path);
    // A transfer needs a stream in both directions; a caller without one gets
    // nothing sent and the reply dropped.
    r->data = data ? data : new CGrowMemStrm(kUnkeptAnswerLimit);
    r->write = write ? 1 : 0;
    r->context = context;
    r->done = done;
    r->perm = perm ? *perm : 0;
    r->flags = flags;
    fPending.PushBack(r);
    // What a request that ended without a socket left is not this one's: it has
    // not been tried yet (it may wait for a place or for its device first).
    if (!fCurrent) fSocketErrno = 0;
    StartNext();
}

void CReqQueue::StartNext() {
    if (fCurrent) return;
    CRecord* device = fOwner ? fOwner->FindDevice(u16(fSerial)) : nullptr;
    if (device) {
        if (fPending.IsEmpty() || !TakePlace()) return;
        Request* r = static_cast<Request*>(fPending.PopFront());
        fCurrent = r;
        const LNetAddr to = LNetAddr::IPv4(device->GetU32(DevcF::address), u16(kTftpPort));
        fSession = fManager.StartTransfer(to, r->write != 0, r->path, this, OnTransfer,
                                          CLocalAddrWatch::Current());
        if (r->flags & kKeepTrying) fSession->SetKeepTrying(true);
        fSession->AddOption(LString("serno"), fSerialText);
        if (r->perm) fSession->AddOption(LString("perm"), Decimal(r->perm));
        fSession->Start();
        // Kept for whoever waits for this request: without a socket it ends at once.
        if (fSession) fSocketErrno = fSession->Socket().IsOpen() ? 0 : fSession->SendErrno();
        return;
    }
    if (fSerial != 0) return;  // the device is gone for now: its requests wait
    Request* r = static_cast<Request*>(fPending.PopFront());
    if (!r) return;
    const LReqDoneFn done = r->done;
    void* const context = r->context;
    delete r->data;
    r->data = nullptr;
    r->done = nullptr;
    fFree.PushBack(r);
    if (done) {
        CGrowMemStrm empty;
        const u32 status[3] = {0, 0, 0};
        done(context, &empty, status);
    }
}

void CReqQueue::Finish(u32 sessionResult, u32 peerResult) {
    Request* r = fCurrent;
    if (!r) return;
    CTftpSession* session = fSession;
    fCurrent = nullptr;
    fSession = nullptr;
    if (session) fLastActivity = session->LastActivity();
    delete r->data;
    r->data = nullptr;
    const LReqDoneFn done = r->done;
    void* const context = r->context;
    r->done = nullptr;
    fFree.PushBack(r);
    fManager.Release(session);
    // The place goes to the queue first in line; this one lines up again for its next.
    GivePlaceBack();
    if (done) {
        const u32 status[3] = {sessionResult, peerResult, 0};
        done(context, nullptr, status);
    }
    StartNext();
}

void CReqQueue::OnTransfer(void* self, u32 event, void* object) {
    auto* q = static_cast<CReqQueue*>(self);
    if (event == kTftpEventPeerNew) {
        auto* peer = static_cast<CTftpPeer*>(object);
        peer->Window().SetMax(50);
        CStrm* data = nullptr;
        if (q->fCurrent) {
            data = q->fCurrent->data;
            q->fCurrent->data = nullptr;
        }
        // A second answering peer gets nothing and is ended.
        peer->Accept(data);
    } else if (event == kTftpEventPeerDone) {
        auto* peer = static_cast<CTftpPeer*>(object);
        Request* r = q->fCurrent;
        if (!r || !r->done) return;
        const LReqDoneFn done = r->done;
        r->done = nullptr;
        const u32 status[3] = {0, peer->Result(), peer->ErrorCode()};
        // Whoever is told may move the device, cancel or queue, and so end this
        // transfer while it reads the answer: the answer is held here until then.
        std::unique_ptr<CStrm> data(peer->Result() == CTftpPeer::kResultDone ? peer->TakeData()
                                                                             : nullptr);
        done(r->context, data.get(), status);
    } else if (event == kTftpEventSessionDone) {
        auto* session = static_cast<CTftpSession*>(object);
        if (session != q->fSession) return;
        q->Finish(session->Result(), 0);
    }
}

void CReqQueue::OnDeviceChange(void* self, CRecordNote* note) {
    auto* q = static_cast<CReqQueue*>(self);
    if (note->kind != CRecordNote::kChanged || note->field != DevcF::address || !note->record)
        return;
    const CRecord* device = note->record;
    if (device->Family() != kFamKvs || device->Kind() != kKindDevc) return;
    if (u16(device->GetU32(DevcF::serial)) != u16(q->fSerial)) return;
    // The transfer in flight still talks to the old address: end it, and ask anew.
    if (q->fCurrent) q->Finish(2, 2);
}

void CReqQueue::CancelAll(void* context, LReqDoneFn done) {
    bool wasInFlight = false;
    if (fCurrent && fCurrent->context == context && fCurrent->done == done) {
        Request* r = fCurrent;
        CTftpSession* session = fSession;
        fCurrent = nullptr;
        fSession = nullptr;
        if (session) fLastActivity = session->LastActivity();
        r->done = nullptr;
        delete r->data;
        r->data = nullptr;
        fFree.PushBack(r);
        fManager.Release(session);
        GivePlaceBack();
        wasInFlight = true;
    }
    LLink* prev = &fPending;
    while (!prev->Next()->IsEnd()) {
        auto* r = static_cast<Request*>(prev->Next());
        if (r->context == context && r->done == done) {
            fPending.RemoveNext(prev);
            delete r->data;
            r->data = nullptr;
            r->done = nullptr;
            fFree.PushBack(r);
        } else {
            prev = r;
        }
    }
    // Other clients' requests must not wait for someone to enqueue again.
    if (wasInFlight) StartNext();
}

u32 CReqQueue::CurrentStatus() {
    if (fSession) fLastActivity = fSession->LastActivity();
    return fLastActivity;
}
