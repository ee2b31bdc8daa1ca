#pragma once
// An upload of a file to a device that counts only once the device is seen to
// hold it. The transfer alone cannot tell (devlink/UploadCheck.h): a device
// acknowledges an early block it drops exactly as one it keeps, so blocks and
// acknowledgements that both arrive out of order make a transfer the device
// never completed look complete. Where the folder can be listed, it is listed
// before and after the upload; elsewhere the file is read back and compared
// byte for byte. All steps run on the device's request queue, in order.

#include <vector>

#include "base/LString.h"
#include "base/Types.h"
#include "devlink/ReqQueue.h"
#include "devlink/UploadCheck.h"

class CConfirmedUpload {
public:
    enum : u32 {
        kByListing = 0,   // the file's folder listed before and after
        kByReadBack = 1,  // the file read back
    };
    enum : u32 {
        kRunning = 0,
        kConfirmed = 1,
        kWriteFailed = 2,   // the transfer itself failed: Status() holds its words
        kNotConfirmed = 3,  // the transfer ended well, yet the device does not hold the file
        kCancelled = 4,
    };
    // A body shorter than this travels as one DATA block whatever the block size
    // agreed, and a single block cannot arrive out of order: no check is needed.
    static constexpr u64 kOneBlock = 512;

    // Called once when the upload ends (not after Cancel).
    using DoneFn = void (*)(void* context, CConfirmedUpload* upload);

    CConfirmedUpload(CReqQueue* queue, void* context, DoneFn done);
    // Forgets the steps still queued.
    ~CConfirmedUpload();
    CConfirmedUpload(const CConfirmedUpload&) = delete;
    CConfirmedUpload& operator=(const CConfirmedUpload&) = delete;

    // Sends body (the queue owns it from here) of size bytes to path, the folder
    // listed before and after. flags as for CReqQueue::Enqueue. before: the
    // folder's listing the caller has just read, which is then not read again.
    void StartListed(const char* path, CStrm* body, u64 size, u32 flags,
                     const std::vector<u8>* before = nullptr);
    // Sends the size bytes at data (which must outlive the upload; fewer than
    // 4 GiB) to path and reads them back.
    void StartReadBack(const char* path, const u8* data, u64 size, u32 flags);
    // Drops every step still queued; the outcome becomes kCancelled, nothing is called.
    void Cancel();

    u32 Outcome() const { return fOutcome; }
    bool Done() const { return fOutcome != kRunning; }
    bool Confirmed() const { return fOutcome == kConfirmed; }
    // The transfer of the file is still under way (a cancel would stop the write).
    bool Writing() const { return fPhase == kPhaseBefore || fPhase == kPhaseWrite; }
    // The bytes sent so far: the body's position while it is written, then all.
    u64 SentBytes() const;
    // The file's line of the listing after a confirmed upload; not found when
    // it was confirmed without one (a single block, or read back).
    const CListedFile& After() const { return fAfter; }
    // The request queue's words of the write (session, peer, error code).
    const u32* Status() const { return fStatus; }

private:
    enum : u8 { kPhaseIdle, kPhaseBefore, kPhaseWrite, kPhaseCheck, kPhaseEnded };

    void Begin(const char* path, CStrm* body, u64 size, u32 how, u32 flags,
               const std::vector<u8>* before = nullptr);
    void End(u32 outcome);
    static void OnStep(void* self, CStrm* data, const u32* status);

    CReqQueue* fQueue;
    void* fContext;
    DoneFn fDone;
    LString fPath;
    LString fListingPath;
    LString fName;
    u32 fHow = kByListing;
    u32 fFlags = 0;
    u8 fPhase = kPhaseIdle;
    u32 fOutcome = kRunning;
    u32 fStatus[3] = {0, 0, 0};
    CStrm* fBody = nullptr;  // only while the write is queued or in flight
    u64 fSize = 0;
    const u8* fData = nullptr;
    CStrm* fCompare = nullptr;  // the read-back's sink, while it is queued or in flight
    CListedFile fBefore;
    CListedFile fAfter;
    bool fBeforeRead = false;
};
