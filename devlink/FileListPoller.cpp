#include "devlink/FileListPoller.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "devlink/AnswerLimits.h"
#include "base/CMemStrm.h"
#include "base/Calendar.h"
#include "base/Clock.h"
#include "base/CharReader.h"
#include "base/LTextSink.h"
#include "base/Paths.h"
#include "base/TextEncoding.h"
#include "devlink/ListingLines.h"
#include "devlink/RecordingTake.h"
#include "devlink/ReqQueue.h"
#include "framework/StdDialogs.h"
#include "records/PrefNodes.h"

namespace {

// Plain ASCII needs no collation; anything else may still match (full-width letters).
bool ExtensionIs(const char* ext, const char* filter) {
    for (const char* p = ext; *p; ++p)
        if (u8(*p) >= 0x80) return TextEqualNoCase(ext, filter);
    return StrEqualNoCase(ext, filter);
}

u8 ListFieldOf(u32 kind) {
    return kind == 0 ? u8(DctsF::recordings) : u8(DctsF::audio);
}

struct Known {
    LString name;
    CRecord* entry;
    bool seen;
};

bool ByName(const Known& a, const Known& b) {
    return StrCompare(a.name.CStr(), b.name.CStr()) < 0;
}

struct Fresh {
    LString name, number, info;
};

bool SameText(const LString& stored, const LTextStream& text) {
    return stored.Length() == text.Length() && StrEqual(stored.CStr(), text.CStr());
}

}  // namespace

void MergeFileListing(CRecord* contents, u32 kind, const void* bytes, u64 length) {
    if (!contents || contents->Family() != kFamKvs || contents->Kind() != kKindDcts || kind > 1)
        return;
    const u8 field = ListFieldOf(kind);
    const char* filter = kind == 0 ? ".drc" : ".wav";

    std::vector<Known> known;
    const u32 count = contents->GetListCount(field);
    known.reserve(count);
    for (u32 i = 0; i < count; ++i) {
        CRecord* e = contents->GetListItem(field, i);
        known.push_back({e->GetString(DfifF::name), e, false});
    }
    // Stable: of entries sharing a name (left by older data) the first in the list
    // is the one a listing line finds and updates, so the others stand after it.
    std::stable_sort(known.begin(), known.end(), ByName);
    std::unordered_set<std::string> taken;  // new names of this listing
    std::vector<Fresh> fresh;

    for (CListingLines line(bytes, length); line.Next();) {
        const LTextStream* fields = line.fields;
        const u32 got = line.got;
        const LTextStream& name = fields[0];
        const char* ext = FindExtension(name.CStr());
        if (got > 0 && IsDeviceFileName(name.CStr(), name.Length()) && ExtensionIs(ext, filter)) {
            Known probe{LString(name.CStr()), nullptr, false};
            auto it = std::lower_bound(known.begin(), known.end(), probe, ByName);
            if (it != known.end() && StrEqual(it->name.CStr(), name.CStr())) {
                if (!it->seen) {
                    it->seen = true;
                    CRecord* e = it->entry;
                    if (!SameText(e->GetString(DfifF::number), fields[1]) ||
                        !SameText(e->GetString(DfifF::info), fields[2]))
                        NodeListSetItemTexts(contents, kind, e->GetIndex(), fields[1].CStr(),
                                             fields[2].CStr());
                }
            } else if (taken.insert(std::string(name.CStr(), name.Length())).second) {
                fresh.push_back({probe.name, LString(fields[1].CStr()), LString(fields[2].CStr())});
            }
        }
    }

    // In the list's own order, so that each lands at the end of what is already
    // there instead of moving every entry behind it.
    std::sort(fresh.begin(), fresh.end(), [](const Fresh& a, const Fresh& b) {
        return TextCompareLocale(a.name.CStr(), b.name.CStr()) < 0;
    });
    for (const Fresh& f : fresh)
        NodeListInsertSorted(contents, kind, f.name.CStr(), f.number.CStr(), f.info.CStr());

    // Gone from the device, from the last entry to the first: removing by name
    // takes the last entry of the name, which is then the one meant (a duplicate
    // goes, the entry updated above stays), and the search from the end passes
    // only entries that stay.
    std::vector<const Known*> gone;
    for (const Known& k : known)
        if (!k.seen) gone.push_back(&k);
    std::sort(gone.begin(), gone.end(), [](const Known* a, const Known* b) {
        return a->entry->GetIndex() > b->entry->GetIndex();
    });
    for (const Known* k : gone) NodeListRemoveByName(contents, kind, k->name.CStr());

    contents->SetU8(nullptr, DctsF::field1, u8(kind));
    contents->Slots()[DctsF::field1] = 255;
}

// ---------------------------------------------------------------- poller

CKvsFileListPoller::CKvsFileListPoller(MDevObjLink* owner)
    : fOwner(owner), fTimer(MainRunLoopWakeSource(), this, OnTimer) {}

CKvsFileListPoller::~CKvsFileListPoller() {
    if (CReqQueue* q = fOwner->DeviceQueue()) q->CancelAll(this, OnReply);
}

void CKvsFileListPoller::Arm(u32 ms) {
    fTimer.StartMs(ms);
}

void CKvsFileListPoller::Start(u32 kind) {
    fKind = kind;
    fState = 0;
    fDone = nullptr;
    fContext = nullptr;
    Arm(0);
}

void CKvsFileListPoller::Restart() {
    fState = 0;
    Arm(0);
}

void CKvsFileListPoller::StartWithCallback(u32 kind, void* context, LFileListDoneFn fn) {
    Start(kind);
    fContext = context;
    fDone = fn;
}

void CKvsFileListPoller::OnTimer(void* self) {
    auto* p = static_cast<CKvsFileListPoller*>(self);
    // One listing at a time: the reply in flight arms the next, at once when a
    // restart came meanwhile.
    if (p->fInFlight) {
        p->fAgain = 1;
        return;
    }
    p->fState = 1;
    p->fTimer.Disarm();
    CReqQueue* q = p->fOwner->DeviceQueue();
    if (p->fKind > 1 || !q) return;
    LTextStream path;
    path.Put("/.cmd/fmls//");
    path.Put(p->fKind == 0 ? kRecordingsFolder : kAudioFolder);
    p->fState = 2;
    p->fInFlight = 1;
    p->fAskedKind = p->fKind;
    auto* reply = new CGrowMemStrm(kListingAnswerLimit);
    q->Enqueue(p, OnReply, path.CStr(), 0, reply, nullptr, 0);
}

void CKvsFileListPoller::OnReply(void* self, CStrm* data, const u32* status) {
    auto* p = static_cast<CKvsFileListPoller*>(self);
    p->fInFlight = 0;
    if (data && status[0] == 0 && status[1] == 0) {
        const std::vector<u8> bytes = ReadAllBytes(data);
        MergeFileListing(p->fOwner->ContentsRecord(), p->fAskedKind, bytes.data(), bytes.size());
        if (p->fDone && !p->fAgain) {
            const LFileListDoneFn fn = p->fDone;
            p->fDone = nullptr;
            p->fState = 0;
            fn(p->fContext);
            return;
        }
    }
    p->fState = 0;
    p->Arm(p->fAgain ? 0 : kPollMs);
    p->fAgain = 0;
}

// ---------------------------------------------------------------- both listings

void CKvsFileListFetch2::Begin() {
    fPhase = 0;
    // A fetch in flight picks the new phase up when its listing arrives.
    if (!fStarted || !IsFetching()) Step();
}

void CKvsFileListFetch2::Step() {
    fStarted = 1;
    if (fPhase == 0) {
        fPhase = 1;
        StartWithCallback(0, this, OnListDone);
    } else if (fPhase == 1) {
        fPhase = 2;
        StartWithCallback(1, this, OnListDone);
    }
}

void CKvsFileListFetch2::OnListDone(void* self) {
    static_cast<CKvsFileListFetch2*>(self)->Step();
}

// ---------------------------------------------------------------- one listing, now

CQueueIdle::CQueueIdle(CReqQueue& queue)
    : fQueue(queue), fStatus(queue.CurrentStatus()), fSince(LTickMs()) {}

u32 CQueueIdle::Ms(CSimpleProgressDialog* progress) {
    const u32 now = fQueue.CurrentStatus();
    if (now == fStatus) return LTickMs() - fSince;
    fStatus = now;
    fSince = LTickMs();
    if (progress) progress->Spin();
    return 0;
}

namespace {

struct ListingWait {
    std::vector<u8> bytes;
    bool done = false;
    bool ok = false;
};

void ListingDone(void* context, CStrm* data, const u32* status) {
    auto* w = static_cast<ListingWait*>(context);
    w->ok = data && status && status[0] == 0 && status[1] == 0;
    if (w->ok) w->bytes = ReadAllBytes(data);
    w->done = true;
}

struct TakeWait {
    LString take;
    bool done = false;
    bool ok = false;
};

void TakeDone(void* context, CStrm* data, const u32* status) {
    auto* w = static_cast<TakeWait*>(context);
    w->ok =
        data && status && status[0] == 0 && status[1] == 0 && TakeFromStatusReply(data, &w->take);
    w->done = true;
}

constexpr u32 kListingStepMs = 100;

}  // namespace

u32 ReadListingModal(CSimpleProgressDialog* progress, CReqQueue* queue, CRecord* contents, u32 kind,
                     LString* take) {
    if (take) *take = LString();
    if (!progress || !queue || kind > 1) return kListingFailed;
    LTextStream path;
    path.Put("/.cmd/fmls//");
    path.Put(kind == 0 ? kRecordingsFolder : kAudioFolder);
    ListingWait wait;
    TakeWait status;
    queue->Enqueue(&wait, ListingDone, path.CStr(), 0, new CGrowMemStrm(kListingAnswerLimit),
                   nullptr, 0);
    // Only the recordings folder holds a take.
    if (take && kind == 0)
        queue->Enqueue(&status, TakeDone, kSeqStatusRead, 0,
                       new CGrowMemStrm(kChannelAnswerLimit), nullptr, 0);
    else
        status.done = status.ok = true;
    CQueueIdle idle(*queue);
    u32 outcome = kListingRead;
    while (!wait.done || !status.done) {
        if (idle.Ms(progress) >= kListingIdleLimitMs) {
            outcome = kListingFailed;
            break;
        }
        // The user gave up, or the session is ending: nothing waits for a
        // listing then, and the step that wanted it is given up whole.
        if (progress->ModalStep(kListingStepMs) != 0 && !wait.done) {
            outcome = kListingCancelled;
            break;
        }
    }
    queue->CancelAll(&wait, ListingDone);
    queue->CancelAll(&status, TakeDone);
    if (outcome != kListingRead) return outcome;
    // Without the device's word on its recording, a free name may be the take's.
    if (!wait.ok || !status.ok) return kListingFailed;
    if (take) *take = status.take;
    MergeFileListing(contents, kind, wait.bytes.data(), wait.bytes.size());
    return kListingRead;
}
