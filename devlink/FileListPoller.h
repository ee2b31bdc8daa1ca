#pragma once
// Mirrors a device's two file folders ("/sdc/kevrecfiles", "/sdc/audiofiles")
// in its contents record: one listing polled every 5 s or fetched once, or both
// listings fetched one after the other.

#include "base/CStrm.h"
#include "base/LString.h"
#include "devlink/DevObjLink.h"
#include "services/RunLoop.h"

class CRecord;
class CReqQueue;
class CSimpleProgressDialog;

using LFileListDoneFn = void (*)(void* context);

class CKvsFileListPoller {
public:
    static constexpr u32 kPollMs = 5000;

    explicit CKvsFileListPoller(MDevObjLink* owner);
    ~CKvsFileListPoller();
    CKvsFileListPoller(const CKvsFileListPoller&) = delete;
    CKvsFileListPoller& operator=(const CKvsFileListPoller&) = delete;

    // kind 0: recordings, 1: audio files. Polls until destroyed or restarted.
    void Start(u32 kind);
    void Restart();
    // One successful fetch, then fn(context); a failed fetch is retried in 5 s.
    void StartWithCallback(u32 kind, void* context, LFileListDoneFn fn);

    u32 Kind() const { return fKind; }
    // A fetch with a completion is under way, or a listing is in flight.
    bool IsFetching() const { return fDone != nullptr || fInFlight != 0; }

private:
    void Arm(u32 ms);
    static void OnTimer(void* self);
    static void OnReply(void* self, CStrm* data, const u32* status);

    MDevObjLink* fOwner;
    u32 fKind = 0;
    LRunLoopTimer fTimer;
    u32 fState = 0;  // 0 idle, 1 requesting, 2 waiting for the reply
    void* fContext = nullptr;
    LFileListDoneFn fDone = nullptr;
    // The request in flight and the kind it asked for: a Start with another kind
    // meanwhile must not file its answer under the new kind.
    u8 fInFlight = 0;
    u8 fAgain = 0;  // the timer fired during the request in flight
    u32 fAskedKind = 0;
};

// Fetches the recordings, then the audio files.
class CKvsFileListFetch2 : public CKvsFileListPoller {
public:
    explicit CKvsFileListFetch2(MDevObjLink* owner) : CKvsFileListPoller(owner) {}
    // From the first phase again: now when idle, else after the listing in flight.
    void Begin();

private:
    void Step();
    static void OnListDone(void* self);

    u8 fPhase = 0;
    u8 fStarted = 0;
};

// Merges a listing reply of kind k into list k of the contents record and
// announces it through field 1 (set to k, then back to 255 without notice).
// Lines whose name is empty, hidden, of another extension, or unusable in a
// device path are skipped; a name is taken once.
void MergeFileListing(CRecord* contents, u32 kind, const void* bytes, u64 length);

// How long a request queue has made no progress: its status changes with every
// step of a request, and each change turns the dialog's spinner.
class CQueueIdle {
public:
    explicit CQueueIdle(CReqQueue& queue);
    u32 Ms(CSimpleProgressDialog* progress);

private:
    CReqQueue& fQueue;
    u32 fStatus;
    u32 fSince;
};

enum : u32 { kListingRead = 0, kListingCancelled = 1, kListingFailed = 2 };
// A listing whose queue makes no progress this long has failed.
inline constexpr u32 kListingIdleLimitMs = 10000;
// Reads the listing of folder kind once, now, into the contents record, the
// dialog's modal loop turning meanwhile; its button gives up (kListingCancelled).
// The file lists poll only the folder shown, and that one every 5 s: what must
// know what a folder holds now reads it here. take, where given, gets the name
// of the take the device is recording into the folder, read in the same wait
// (the status is polled only while a view shows it). kListingFailed when the
// device refuses the listing or the status, or the queue makes no progress for
// kListingIdleLimitMs.
u32 ReadListingModal(CSimpleProgressDialog* progress, CReqQueue* queue, CRecord* contents, u32 kind,
                     LString* take = nullptr);
