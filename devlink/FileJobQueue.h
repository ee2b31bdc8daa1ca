#pragma once
// Files dropped on a device reach its card one at a time: recordings (".drc")
// unchanged, audio files after their conversion to WAV. Before each upload the
// command record's `frfl` is pulsed and the command channel given a moment to
// go quiet. Driven by a run-loop timer on the main thread; the conversion runs
// on a pool thread and only arms that timer.
//
// What the queue will write is part of the card as it will be: a command that
// writes a name to the card checks it against the listing and against these
// names (QueuedCardFiles). Another program's writes cannot be known here, so
// each upload reads its folder again just before it starts and ends, said in
// the Uploads window, when a file of its name is there that the user did not
// agree to replace: the agreement covers the file as it stood when the user
// answered, listed or still queued, not one of that name that came since. The
// take the device is recording goes onto its name at its stop, and the device
// may have begun it by itself since the drop: a recording's upload reads the
// device's status with its folder, and one to the take's name ends the same way.

#include <vector>

#include "base/LList.h"
#include "base/LString.h"
#include "base/Threads.h"
#include "devlink/AudioConvJob.h"
#include "devlink/ConfirmedUpload.h"
#include "devlink/UploadCheck.h"
#include "framework/LHandler.h"
#include "services/RunLoop.h"

class CBufFileStrm;
class CDevRequestQueue;
class CRecord;
class CReqQueue;
class CStrm;
class CTempFile;

// The file name's extension is "drc", in any case.
bool IsDrcFileName(const char* path);
// The name an upload of kind (0 a recording, 1 an audio file) gives the local
// file on the card: as DeviceNameForLocalFile, with the kind's extension, composed.
LString UploadCardName(u32 kind, const char* localPath);
struct QueuedCardFile {
    LString name;
    u64 job = 0;  // the upload's own number, never 0
};
// The names that the file job queues of this request queue (one device) will
// still write in folder kind, each with the upload that writes it: uploads
// waiting, converting or under way.
std::vector<QueuedCardFile> QueuedCardFiles(const CReqQueue* queue, u32 kind);

// What an upload onto a name the card holds, or will hold, was agreed to
// replace: the file as it stood when the user answered. A file of that name
// that came since is another one, which nobody agreed to replace.
struct CardAgreement {
    LString name;  // the card's exact name; empty: nothing to replace
    // Listed then, with its size and change text; not found: it was not listed.
    CListedFile listed;
    // The queued uploads that were to write it: the file one of them puts in place.
    std::vector<u64> queued;
};

class CKvsFileJobQueue : public LHandler {
public:
    enum : u32 { kRecording = 0, kAudio = 1 };
    // kNotConfirmed: the transfer ended well, yet the device's listing does not show
    // the file in place (missing, another size, or the older file unchanged).
    // kNameTaken: the folder read just before the upload holds a file of the same
    // name to the card (CardNameKey) that the user did not agree to replace.
    enum : u32 { kUploaded = 0, kNotAccepted = 1, kNotSent = 2, kNotConfirmed = 3, kNameTaken = 4 };
    static constexpr u32 kPrepareStepMs = 100;
    static constexpr u32 kPrepareLimitMs = 999;

    // The queue, the command record ('YKVT'/'DVCM') and its channel of
    // "/.cmd/udkvtcmd", and the contents record ('YKVS'/'DCTS') are the
    // device's; the conversion is this queue's alone.
    CKvsFileJobQueue(LHandler* parent, CReqQueue* queue, CRecord* command,
                     CDevRequestQueue* commandChannel, CRecord* contents,
                     MAudioConvJob* conversion);
    ~CKvsFileJobQueue() override;

    // kind 0 a recording, 1 an audio file; other kinds are ignored. agreed: the
    // file on the card, or queued, that it is to replace (CheckCardNames); its
    // name is written even where it only reads the same as the local file's.
    // Without one, the name the local file gives.
    void AddJob(u32 kind, const LString& path, const CardAgreement& agreed = CardAgreement());
    // The oldest finished job (every one of them failed: status 1 to 4).
    bool TakeFinished(LString* path, u32* status);
    // Forgets the finished jobs; the counts keep only the jobs still under way.
    void ClearDone();
    void CancelAll();

    f32 GetUploadProgress() const;
    f32 GetConvertProgress() const;
    LString GetUploadName() const;
    LString GetConvertName() const;
    u32 JobsAdded() const { return fAdded; }
    u32 JobsFinished() const { return fFinished; }
    bool IsIdle() const;

private:
    struct Job;
    class Pool;
    friend std::vector<QueuedCardFile> QueuedCardFiles(const CReqQueue* queue, u32 kind);

    // The folder read just before the upload: the job goes on, or ends as kNameTaken.
    static void OnListed(void* self, CStrm* data, const u32* status);
    // The device's recording state read with it: its take's name is no free one.
    static void OnStatus(void* self, CStrm* data, const u32* status);
    // Both answered: the upload starts, or the job ends.
    void Checked();
    void StartUpload(Job* job, const std::vector<u8>& before);

    static void OnWorker(void* self);
    static void OnConverted(void* self);
    static void OnUploaded(void* self, CConfirmedUpload* upload);
    // Ends the upload under way: counted when in place, else finished with status.
    void EndUpload(u32 status);
    // The file the upload job put in place, for the uploads agreed to replace it.
    void NoteWritten(u64 job, const CListedFile& file);
    void Step();
    bool StepNew();
    bool StepConvert();
    bool StepUpload();
    void Finish(Job* job, u32 status);
    static void Drop(Job* job);
    static void ReleaseList(LList& list);

    CReqQueue* fQueue;
    CRecord* fCommand;
    CDevRequestQueue* fChannel;
    CRecord* fContents;
    LRunLoopTimer fWorker;
    Pool* fPool;
    LList fNew, fWaiting, fReady, fDone;
    Job* fConverting = nullptr;
    Job* fUploading = nullptr;
    Job* fChecking = nullptr;  // its folder being read before its upload
    u8 fCheckWaiting = 0;      // answers still to come of that reading
    u8 fCheckFailed = 0;
    std::vector<u8> fCheckListing;
    LString fCheckTake;
    MAudioConvJob* fConversion;
    // The folder listed before and after the upload, so that a transfer the
    // device never completed is not counted.
    CConfirmedUpload fUpload;
    u64 fUploadSize = 0;
    LString fUploadName;
    u32 fAdded = 0;
    u32 fFinished = 0;
    u32 fPrepareTick = 0;
    u8 fPreparing = 0;
    VideoConvSettings fVideo;
};
