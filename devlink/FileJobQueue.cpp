#include "devlink/FileJobQueue.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "devlink/AnswerLimits.h"
#include "base/CBufFileStrm.h"
#include "base/CMemStrm.h"
#include "base/FileOps.h"
#include "base/LTextSink.h"
#include "base/Paths.h"
#include "base/TextEncoding.h"
#include "devlink/CDevRequestQueue.h"
#include "devlink/ListingLines.h"
#include "devlink/RecordingTake.h"
#include "devlink/ReqQueue.h"
#include "base/Clock.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"

bool IsDrcFileName(const char* path) {
    LString name;
    LastPathComponent(&name, path);
    const char* ext = FindExtension(name.CStr());
    return *ext == '.' && TextEqualNoCase(ext + 1, "drc");
}

namespace {

const char* FolderOf(u32 kind) {
    return kind == CKvsFileJobQueue::kAudio ? kAudioFolder : kRecordingsFolder;
}

// Where a file of the kind goes on the card under name.
std::string DevicePathOf(u32 kind, const LString& name) {
    return std::string(FolderOf(kind)) + "/" + name.CStr();
}

// Every queue of the program, so that a command can see what its device's queue
// will write. Made and destroyed on the main thread, where the commands run.
std::vector<CKvsFileJobQueue*>& LiveQueues() {
    static std::vector<CKvsFileJobQueue*> queues;
    return queues;
}

}  // namespace

LString UploadCardName(u32 kind, const char* localPath) {
    LTextStream composed;
    NormalizeNFC(
        DeviceNameForLocalFile(localPath, kind == CKvsFileJobQueue::kAudio ? "wav" : "drc").CStr(),
        composed);
    return LString(composed.CStr());
}

struct CKvsFileJobQueue::Job : CPooledObj {
    u32 kind = 0;
    LString source;
    // The name it writes on the card: the local file's, or the one it replaces.
    LString target;
    u64 id = 0;
    // The card's file the user agreed to replace, as it stood then.
    CardAgreement agreed;
    // What the queued uploads it agreed to replace put in place since.
    std::vector<CListedFile> written;
    LString extension;
    std::unique_ptr<CTempFile> converted;  // the WAV, deleted with it
    u32 status = kUploaded;

    void Clear() {
        source = LString();
        target = LString();
        agreed = CardAgreement();
        written.clear();
        extension = LString();
        converted.reset();
        status = kUploaded;
    }
};

class CKvsFileJobQueue::Pool : public CObjPool {
protected:
    CPooledObj* Create() override { return new (std::nothrow) Job; }
};

CKvsFileJobQueue::CKvsFileJobQueue(LHandler* parent, CReqQueue* queue, CRecord* command,
                                   CDevRequestQueue* commandChannel, CRecord* contents,
                                   MAudioConvJob* conversion)
    : LHandler(parent),
      fQueue(queue),
      fCommand(command),
      fChannel(commandChannel),
      fContents(contents),
      fWorker(MainRunLoopWakeSource(), this, OnWorker),
      fPool(new Pool),
      fConversion(conversion),
      fUpload(queue, this, OnUploaded) {
    LiveQueues().push_back(this);
}

CKvsFileJobQueue::~CKvsFileJobQueue() {
    std::vector<CKvsFileJobQueue*>& live = LiveQueues();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    CancelAll();
    ReleaseList(fDone);
    fWorker.Disarm();
    fPool->Release();
}

void CKvsFileJobQueue::Drop(Job* job) {
    if (!job) return;
    job->Clear();
    job->Release();
}

void CKvsFileJobQueue::ReleaseList(LList& list) {
    while (LLink* l = list.PopFront()) Drop(static_cast<Job*>(l));
}

void CKvsFileJobQueue::AddJob(u32 kind, const LString& path, const CardAgreement& agreed) {
    if (kind > kAudio) return;
    auto* job = static_cast<Job*>(fPool->Acquire());
    if (!job) return;
    static u64 lastId = 0;
    job->id = ++lastId;
    job->kind = kind;
    job->source = path;
    // Only a name that stays one component of the folder's path.
    if (IsDeviceFileName(agreed.name.CStr(), agreed.name.Length())) job->agreed = agreed;
    // The card holds the name as a rename would give it: a dropped file's
    // tab or newline would make a file that no listing shows and nobody deletes.
    // One that replaces a file goes to that file's own name.
    job->target =
        job->agreed.name.IsEmpty() ? UploadCardName(kind, path.CStr()) : job->agreed.name;
    fNew.PushBack(job);
    ++fAdded;
    fWorker.StartMs(0u);
}

bool CKvsFileJobQueue::TakeFinished(LString* path, u32* status) {
    auto* job = static_cast<Job*>(fDone.PopFront());
    if (!job) return false;
    *path = job->source;
    *status = job->status;
    Drop(job);
    return true;
}

void CKvsFileJobQueue::ClearDone() {
    ReleaseList(fDone);
    // Jobs still under way stay counted, so that they keep showing as pending.
    fAdded = fAdded > fFinished ? fAdded - fFinished : 0;
    fFinished = 0;
}

void CKvsFileJobQueue::CancelAll() {
    ReleaseList(fNew);
    ReleaseList(fWaiting);
    ReleaseList(fReady);
    if (fConversion) fConversion->Reset();
    Drop(fConverting);
    fConverting = nullptr;
    if (fChecking && fQueue) {
        fQueue->CancelAll(this, OnListed);
        fQueue->CancelAll(this, OnStatus);
    }
    Drop(fChecking);
    fChecking = nullptr;
    // The request queue frees the upload stream with the request.
    fUpload.Cancel();
    Drop(fUploading);
    fUploading = nullptr;
    fUploadSize = 0;
    fUploadName = LString();
    // The next upload must be preceded by its own pulse.
    fPreparing = 0;
    fAdded = 0;
    fFinished = 0;
}

f32 CKvsFileJobQueue::GetUploadProgress() const {
    if (!fUploading) return 0;
    if (fUploadSize == 0) return 1;
    const u64 at = fUpload.SentBytes();
    return at >= fUploadSize ? 1.0f : f32(double(at) / double(fUploadSize));
}

f32 CKvsFileJobQueue::GetConvertProgress() const {
    return fConverting && fConversion ? fConversion->GetProgress() : 0;
}

LString CKvsFileJobQueue::GetUploadName() const {
    return fUploading ? fUploadName : LString();
}

LString CKvsFileJobQueue::GetConvertName() const {
    return fConverting ? fConverting->source : LString();
}

bool CKvsFileJobQueue::IsIdle() const {
    return fNew.IsEmpty() && fWaiting.IsEmpty() && fReady.IsEmpty() && !fConverting && !fChecking &&
           !fUploading && !fPreparing;
}

void CKvsFileJobQueue::Finish(Job* job, u32 status) {
    job->status = status;
    job->converted.reset();
    ++fFinished;
    fDone.PushBack(job);
}

void CKvsFileJobQueue::OnWorker(void* self) {
    static_cast<CKvsFileJobQueue*>(self)->Step();
}

// From the conversion's own thread: only the timer may be touched.
void CKvsFileJobQueue::OnConverted(void* self) {
    static_cast<CKvsFileJobQueue*>(self)->fWorker.StartMs(0u);
}

void CKvsFileJobQueue::Step() {
    fVideo.Load();
    for (;;) {
        bool changed = StepNew();
        changed = StepConvert() || changed;
        changed = StepUpload() || changed;
        if (!changed) break;
    }
}

bool CKvsFileJobQueue::StepNew() {
    auto* job = static_cast<Job*>(fNew.PopFront());
    if (!job) return false;
    if (job->kind == kAudio) {
        job->extension = LString("wav");
        fWaiting.PushBack(job);
    } else {
        job->extension = LString("drc");
        if (IsDrcFileName(job->source.CStr()))
            fReady.PushBack(job);
        else
            Finish(job, kNotAccepted);
    }
    return true;
}

bool CKvsFileJobQueue::StepConvert() {
    if (!fConverting) {
        auto* job = static_cast<Job*>(fWaiting.PopFront());
        if (!job) return false;
        // The conversion writes into the very file made here, which was created
        // exclusively (numbered when the tick's name was taken).
        auto wav = std::make_unique<CTempFile>("kvscnv", nullptr);
        // The converter works on local paths; the temporary file's is an application path.
        LString wavLocal;
        if (!wav->Failed()) FileUrlToPosixPath(&wavLocal, wav->Path());
        if (wavLocal.IsEmpty() || !fConversion ||
            !fConversion->Start(job->source, wavLocal, fVideo, job->kind, this, OnConverted)) {
            Finish(job, kNotAccepted);
            return true;
        }
        job->converted = std::move(wav);
        fConverting = job;
        return true;
    }
    switch (fConversion->PollState()) {
        case MAudioConvJob::kDone:
            fReady.PushBack(fConverting);
            break;
        case MAudioConvJob::kFailed:
            Finish(fConverting, kNotAccepted);
            break;
        case MAudioConvJob::kIdle:
            Drop(fConverting);
            ++fFinished;
            break;
        default:
            return false;
    }
    fConverting = nullptr;
    fConversion->Reset();
    return true;
}

std::vector<QueuedCardFile> QueuedCardFiles(const CReqQueue* queue, u32 kind) {
    std::vector<QueuedCardFile> names;
    for (const CKvsFileJobQueue* q : LiveQueues()) {
        if (!queue || q->fQueue != queue) continue;
        auto add = [&](const LLink* link) {
            const auto* job = static_cast<const CKvsFileJobQueue::Job*>(link);
            // A recording of another extension is refused before it is sent.
            if (job->kind == kind &&
                (kind != CKvsFileJobQueue::kRecording || IsDrcFileName(job->source.CStr())))
                names.push_back({job->target, job->id});
        };
        for (const LList* list : {&q->fNew, &q->fWaiting, &q->fReady})
            for (const LLink* l = list->Head(); !l->IsEnd(); l = l->Next()) add(l);
        for (const CKvsFileJobQueue::Job* job : {q->fConverting, q->fChecking, q->fUploading})
            if (job) add(job);
    }
    return names;
}

bool CKvsFileJobQueue::StepUpload() {
    if (fUploading || fChecking) return false;
    if (!fPreparing) {
        if (fReady.IsEmpty()) return false;
        fPreparing = 1;
        fPrepareTick = LTickMs();
        fWorker.StartMs(kPrepareStepMs);
        // Tells the device that files are coming; the command channel sends it.
        // One pulse per upload, never folded into the last one still waiting.
        if (fCommand) SetCommandOneShot(fCommand, DvcmF::frfl, 1);
        return true;
    }
    if (fChannel && fChannel->IsBusy() && u32(LTickMs() - fPrepareTick) <= kPrepareLimitMs) {
        fWorker.StartMs(kPrepareStepMs);
        return false;
    }
    fPreparing = 0;
    auto* job = static_cast<Job*>(fReady.PopFront());
    if (!job) return true;

    if (!fQueue) {
        Finish(job, kNotSent);
        return true;
    }
    // Another program, or a command of this one, may have written the name
    // since the drop was checked: the folder is read again first.
    fChecking = job;
    fCheckWaiting = 1;
    fCheckFailed = 0;
    fCheckListing.clear();
    fCheckTake = LString();
    const LString listing = FolderListingPath(DevicePathOf(job->kind, job->target).c_str());
    fQueue->Enqueue(this, OnListed, listing.CStr(), 0, new CGrowMemStrm(kListingAnswerLimit),
                    nullptr, 0);
    // A take the device began under this name since the drop, by itself or
    // asked, writes over the upload when it stops: its status is read as well.
    if (job->kind == kRecording) {
        ++fCheckWaiting;
        fQueue->Enqueue(this, OnStatus, kSeqStatusRead, 0, new CGrowMemStrm(kChannelAnswerLimit),
                        nullptr, 0);
    }
    return true;
}

void CKvsFileJobQueue::OnListed(void* self, CStrm* data, const u32* status) {
    auto* q = static_cast<CKvsFileJobQueue*>(self);
    if (!q->fChecking) return;
    // Without the folder nothing tells that the name is free: nothing is written.
    if (!data || status[0] != 0 || status[1] != 0)
        q->fCheckFailed = 1;
    else
        q->fCheckListing = ReadAllBytes(data);
    q->Checked();
}

void CKvsFileJobQueue::OnStatus(void* self, CStrm* data, const u32* status) {
    auto* q = static_cast<CKvsFileJobQueue*>(self);
    if (!q->fChecking) return;
    // Nor without the device's word on what it records.
    if (!data || status[0] != 0 || status[1] != 0 || !TakeFromStatusReply(data, &q->fCheckTake))
        q->fCheckFailed = 1;
    q->Checked();
}

void CKvsFileJobQueue::Checked() {
    if (fCheckWaiting > 0 && --fCheckWaiting > 0) return;
    Job* job = fChecking;
    fChecking = nullptr;
    fWorker.StartMs(0u);
    if (fCheckFailed) return Finish(job, kNotSent);
    const std::vector<u8> bytes = std::move(fCheckListing);
    fCheckListing.clear();
    const std::string key = CardNameKey(job->target.CStr());
    if (!fCheckTake.IsEmpty() && CardNameKey(fCheckTake.CStr()) == key)
        return Finish(job, kNameTaken);
    // The file agreed to be replaced goes: the one listed when the user
    // answered, or the one an upload queued then put in place, unchanged. Any
    // other of the same name to the card is one nobody was asked about (it came
    // since, or the agreed one went and another took its place).
    bool agreed = false, other = false;
    const CListedFile now =
        job->agreed.name.IsEmpty()
            ? CListedFile()
            : FindListedFile(bytes.data(), bytes.size(), job->agreed.name.CStr());
    auto same = [&now](const CListedFile& seen) {
        // An upload put in place without a listing after it left only its size.
        return seen.found && now.found && seen.size == now.size &&
               (seen.change.IsEmpty() || StrEqual(seen.change.CStr(), now.change.CStr()));
    };
    for (CListingLines line(bytes.data(), bytes.size()); line.Next();) {
        if (line.got == 0) continue;
        const char* name = line.fields[0].CStr();
        // The folder holds the files of its one extension; another is no file to it.
        const char* ext = FindExtension(name);
        if (*ext != '.' || !TextEqualNoCase(ext + 1, job->extension.CStr())) continue;
        if (CardNameKey(name) != key) continue;
        if (!job->agreed.name.IsEmpty() && StrEqual(name, job->agreed.name.CStr()) &&
            (same(job->agreed.listed) ||
             std::any_of(job->written.begin(), job->written.end(), same)))
            agreed = true;
        else
            other = true;
    }
    if (other && !agreed) return Finish(job, kNameTaken);
    // The listing just read is the one the upload compares with afterwards.
    StartUpload(job, bytes);
}

void CKvsFileJobQueue::StartUpload(Job* job, const std::vector<u8>& before) {
    // Streams open application paths; the job's source is a local path.
    LString url;
    if (job->converted)
        url = job->converted->Path();
    else
        PosixPathToFileUrl(&url, job->source);
    auto* strm = new (std::nothrow) CBufFileStrm(url, 0);
    if (strm) {
        strm->SeekToEnd();
        fUploadSize = strm->Position();
        strm->SetPosition(0);
    }
    if (!strm || strm->Error()) {
        delete strm;
        Finish(job, kNotSent);
        return;
    }
    fUploadName = job->target;
    fUploading = job;
    fUpload.StartListed(DevicePathOf(job->kind, job->target).c_str(), strm, fUploadSize, 0,
                        &before);
}

void CKvsFileJobQueue::OnUploaded(void* self, CConfirmedUpload* upload) {
    auto* q = static_cast<CKvsFileJobQueue*>(self);
    if (!q->fUploading) return;
    switch (upload->Outcome()) {
        case CConfirmedUpload::kConfirmed:
            return q->EndUpload(kUploaded);
        case CConfirmedUpload::kWriteFailed:
            return q->EndUpload(kNotSent);
        default:
            return q->EndUpload(kNotConfirmed);
    }
}

void CKvsFileJobQueue::NoteWritten(u64 id, const CListedFile& file) {
    auto note = [&](LLink* link) {
        auto* job = static_cast<Job*>(link);
        const std::vector<u64>& q = job->agreed.queued;
        if (std::find(q.begin(), q.end(), id) != q.end()) job->written.push_back(file);
    };
    for (CKvsFileJobQueue* other : LiveQueues()) {
        if (other->fQueue != fQueue) continue;
        for (LList* list : {&other->fNew, &other->fWaiting, &other->fReady})
            for (LLink* l = list->Head(); !l->IsEnd(); l = l->Next()) note(l);
        for (Job* job : {other->fConverting, other->fChecking, other->fUploading})
            if (job) note(job);
    }
}

void CKvsFileJobQueue::EndUpload(u32 status) {
    Job* job = fUploading;
    fUploading = nullptr;
    const u64 size = fUploadSize;
    fUploadSize = 0;
    fUploadName = LString();
    if (job) {
        if (status != kUploaded) {
            Finish(job, status);
        } else {
            // As listed after it; a file of one block is confirmed without a
            // listing, and leaves only its size (no change text).
            CListedFile written = fUpload.After();
            if (!written.found) written = CListedFile{true, size, LString()};
            NoteWritten(job->id, written);
            ++fFinished;
            Drop(job);
        }
    }
    fWorker.StartMs(0u);
    SignalFileListChanged(fContents);
}
