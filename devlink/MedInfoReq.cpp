#include "devlink/MedInfoReq.h"

#include <algorithm>
#include <vector>

#include "devlink/AnswerLimits.h"
#include "base/Clock.h"
#include "base/LTextSink.h"
#include "base/Paths.h"
#include "devlink/ReqQueue.h"
#include "records/LRecPath.h"
#include "records/PrefNodes.h"
#include "records/PropRecord.h"
#include "records/ShowOps.h"

namespace {

bool Before(const LString& a, const LString& b) {
    return StrCompare(a.CStr(), b.CStr()) < 0;
}

// The untagged "known" flag of a media file: asked for no more until its listing
// text changes; a file given up is asked again sooner (see Sync and the constructor).
enum : u8 { kUnasked = 0, kSettled = 1, kGivenUp = 2 };
constexpr u8 kStatKnown = 2, kStatUnknown = 1;

// Files given up of that kind (any kind: 255) are asked again; true when there were any.
bool AskGivenUpAgain(CRecord* index, u32 kind) {
    bool any = false;
    const u32 n = index->GetListCount(MdisF::meds);
    for (u32 i = 0; i < n; ++i) {
        CRecord* m = index->GetListItem(MdisF::meds, i);
        if (m->GetU8(MdifF::work1) == kGivenUp && (kind == 255 || m->GetU8(MdifF::kind) == kind)) {
            m->SetU8(nullptr, MdifF::work1, kUnasked);
            any = true;
        }
    }
    return any;
}

}  // namespace

CMedInfoReq::CMedInfoReq(LHandler* parent, MDevObjLink* device, CRecord* mediaIndex)
    : LHandler(parent),
      fDevice(device),
      fIndex(mediaIndex),
      fTimer(this),
      fReply(CRecord::New(CRecordSchema::Find(kFamKvt, kKindMdif))) {
    CRecord* contents = device->ContentsRecord();
    fContentsDoc = contents ? contents->GetOwner() : nullptr;
    if (fContentsDoc) fContentsDoc->AddListener(this, OnContents);
    // The device may answer now what it refused while the editor was last open;
    // the first listing starts the requests.
    if (fIndex) AskGivenUpAgain(fIndex, 255);
}

CMedInfoReq::~CMedInfoReq() {
    if (fContentsDoc) fContentsDoc->RemoveListener(this, OnContents);
    if (CReqQueue* q = fDevice->DeviceQueue()) q->CancelAll(this, OnReply);
}

void CMedInfoReq::AskAgain() {
    if (!fIndex) return;
    // Only a file asked before is given up or waits aside: until the first
    // listing there is nothing to ask again, and that listing starts the requests.
    const bool waiting = !fRefused.empty();
    fRefused.clear();
    if (AskGivenUpAgain(fIndex, 255) || waiting) fTimer.Start(0u);
}

void CMedInfoReq::OnContents(void* self, CRecordNote* note) {
    auto* r = static_cast<CMedInfoReq*>(self);
    CRecord* contents = r->fDevice->ContentsRecord();
    if (note->kind != CRecordNote::kChanged || note->record != contents ||
        note->field != DctsF::field1)
        return;
    const u32 kind = contents->GetU8(DctsF::field1);
    if (kind <= 1) r->Sync(kind);
}

void CMedInfoReq::Sync(u32 kind) {
    if (!fIndex) return;
    CRecord* contents = fDevice->ContentsRecord();
    const u8 field = kind == 0 ? u8(DctsF::recordings) : u8(DctsF::audio);
    const u32 count = contents->GetListCount(field);
    std::vector<LString> listed;
    listed.reserve(count);
    const u32 had = fIndex->GetListCount(MdisF::meds);
    bool changed = false;
    for (u32 i = 0; i < count; ++i) {
        const CRecord* e = contents->GetListItem(field, i);
        const LString& name = e->GetString(DfifF::name);
        listed.push_back(name);
        CRecord* m = AddMediaFile(fIndex, u8(kind), name.CStr());
        if (!m) continue;
        const LString& info = e->GetString(DfifF::info);
        if (!(m->GetString(MdifF::work2) == info)) {
            // A new version of the file: whatever the device said of the old one is void.
            m->SetString(nullptr, MdifF::work2, info);
            m->SetU8(nullptr, MdifF::work1, kUnasked);
            fRefused.erase(name.CStr());
            changed = true;
        }
    }
    if (fIndex->GetListCount(MdisF::meds) != had) changed = true;
    std::sort(listed.begin(), listed.end(), Before);
    CStrArray mine;
    ListMediaFilesOfKind(fIndex, u8(kind), &mine);
    for (u32 i = 0; i < mine.Count(); ++i)
        if (!std::binary_search(listed.begin(), listed.end(), mine.At(i), Before)) {
            RemoveMediaFile(fIndex, mine.At(i).CStr());
            fRefused.erase(mine.At(i).CStr());
            changed = true;
        }
    // Something happened on the card, so a file given up may now be answered. A
    // listing that changes nothing asks nothing again.
    if (changed) AskGivenUpAgain(fIndex, kind);
    fTimer.Start(0u);
}

LMessage CMedInfoReq::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        AskNext();
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}

void CMedInfoReq::AskNext() {
    CReqQueue* q = fDevice->DeviceQueue();
    if (fBusy || !fIndex || !q) return;
    const u32 now = LTickMs();
    u32 wait = 0;  // until the first refused file may be asked again; 0: none waits
    const u32 n = fIndex->GetListCount(MdisF::meds);
    for (u32 i = 0; i < n; ++i) {
        CRecord* m = fIndex->GetListItem(MdisF::meds, i);
        if (m->GetU8(MdifF::work1)) continue;
        const u8 kind = m->GetU8(MdifF::kind);
        const LString& name = m->GetString(MdifF::name);
        // The index is kept in the preferences, which anyone may have edited: a
        // name that is no single device file name would ask for another path.
        if (kind > 1 || !IsDeviceFileName(name.CStr(), name.Length())) {
            m->SetU8(nullptr, MdifF::stat, kStatUnknown);
            m->SetU8(nullptr, MdifF::work1, kSettled);
            continue;
        }
        const auto refused = fRefused.find(name.CStr());
        if (refused != fRefused.end()) {
            const i32 left = i32(refused->second.due - now);
            if (left > 0) {
                if (wait == 0 || u32(left) < wait) wait = u32(left);
                continue;
            }
        }
        fName = name;
        LTextStream path;
        path.Put("/.cmd/medinfo//");
        path.Put(kind == 0 ? kRecordingsFolder : kAudioFolder);
        path.PutChar('/');
        path.Put(name);
        fBusy = 1;
        q->Enqueue(this, OnReply, path.CStr(), 0, new CGrowMemStrm(kMedInfoAnswerLimit), nullptr,
                   0);
        return;
    }
    if (wait) fTimer.Start(wait);
}

void CMedInfoReq::Settle(bool ok, u32 dura) {
    fRefused.erase(fName.CStr());
    CRecord* m = fIndex ? FindMediaFile(fIndex, fName.CStr()) : nullptr;
    if (!m) return;
    if (ok) {
        m->SetU32(nullptr, MdifF::dura, dura);
        m->SetU8(nullptr, MdifF::stat, kStatKnown);
        m->SetU8(nullptr, MdifF::work1, kSettled);
        return;
    }
    // A request that failed says nothing of the file: a length the device gave
    // before (this session or one the preferences kept) stays, so its scenes keep
    // their size and the saved index keeps it.
    if (m->GetU8(MdifF::stat) != kStatKnown) m->SetU8(nullptr, MdifF::stat, kStatUnknown);
    m->SetU8(nullptr, MdifF::work1, kGivenUp);
}

// An ERROR may come from a file still being written, so it is asked again a few
// times; until then it waits aside, and the files after it are asked.
void CMedInfoReq::Refused() {
    Refusal& r = fRefused[fName.CStr()];
    if (++r.count > kErrorRetries) {
        Settle(false, 0);
        return;
    }
    r.due = LTickMs() + kRetryMs;
}

void CMedInfoReq::OnReply(void* self, CStrm* data, const u32* status) {
    auto* r = static_cast<CMedInfoReq*>(self);
    r->fBusy = 0;
    if (data && status[0] == 0 && status[1] == 0) {
        bool ok = false;
        u32 dura = 0;
        u8 field;
        u32 index;
        CRecord* root = r->fReply.Root();
        CRecord* target = root ? LRecPath::Resolve("/", root, &field, &index) : nullptr;
        // A record cut short, one whose lengths do not add up, or a sound one
        // without a whole duration in it would read as a duration of its
        // default: a known length of 0.
        if (target && PropRecord::ReplyWhole(data) &&
            PropRecord::ReplyHoldsValues(data, root->Schema())) {
            ok = LRecPath::ReadValue(target, field, index, data);
            dura = root->GetU32(0);
        }
        r->Settle(ok, dura);
        r->AskNext();
        return;
    }
    // A request too long to send never goes: given up at once.
    if (status[0] == 1) {
        r->Settle(false, 0);
        r->AskNext();
        return;
    }
    if (status[1] == 3) {
        r->Refused();
        r->AskNext();
        return;
    }
    // No answer: the device is away or busy, and every file would fare alike.
    r->fTimer.Start(kRetryMs);
}
