#pragma once
// The request queue of one device: every queued exchange with the device (record
// channels, file lists, service requests, uploads) waits here in arrival order
// and runs alone, as one transfer to the device's current address. Each request
// carries the device's serial number ("serno") so that only that device answers.

#include <list>

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "base/LList.h"
#include "base/LString.h"
#include "devlink/DevSetLink.h"
#include "devlink/Tftp.h"

// status[0]: the session result (0 done, 1 the request did not fit, 2 no answer or
// the device's address changed); status[1]: the peer result (0 done, 2 timed out,
// 3 error packet received or sent); status[2]: the ERROR packet's code (0 when no
// peer was involved). The stream is the reply (or what was sent) on success, else
// null; it belongs to the queue.
using LReqDoneFn = void (*)(void* context, CStrm* data, const u32* status);

namespace detail {
struct OwnedBuf {
    LDataBuf buffer;
};
}  // namespace detail

// A memory stream that owns its growable buffer; given a limit, a write that
// would take it past that many bytes fails instead (kErrWrite).
class CGrowMemStrm : private detail::OwnedBuf, public CMemStrm {
public:
    CGrowMemStrm() : CMemStrm(buffer) {}
    explicit CGrowMemStrm(u64 limit) : CMemStrm(buffer), fLimit(limit) {}
    void Write(const void* bytes, u64 length) override {
        if (fLimit && (length > fLimit || Position() > fLimit - length)) {
            SetError(kErrWrite);
            return;
        }
        CMemStrm::Write(bytes, length);
    }

private:
    u64 fLimit = 0;
};

class CReqQueue {
public:
    enum : u32 { kKeepTrying = 1 };

    // serial 0: a queue of no device, whose requests complete at once with nothing.
    CReqQueue(MDevSetLink* owner, u32 serial);
    ~CReqQueue();
    CReqQueue(const CReqQueue&) = delete;
    CReqQueue& operator=(const CReqQueue&) = delete;

    // The queue owns data from here on (null: nothing to send, reply not kept).
    void Enqueue(void* context, LReqDoneFn done, const char* path, u32 write, CStrm* data,
                 const u32* perm, u32 flags);
    // Forgets every request of (context, done), in flight or waiting; none of them
    // completes.
    void CancelAll(void* context, LReqDoneFn done);
    // The tick of the last progress of the transfer in flight, else of the last one.
    u32 CurrentStatus();

    bool IsIdle() const { return fCurrent == nullptr; }
    // Waiting for one of the process's transfer places (see TransferPlaces).
    bool WaitsForPlace() const { return fWaitsForPlace; }
    // The errno of the last request's socket that could not be opened; 0 when the
    // last one could (the request then went out).
    i32 SocketErrno() const { return fSocketErrno; }
    u32 PendingCount() const;
    u32 Serial() const { return fSerial; }
    CTftpManager& Manager() { return fManager; }

private:
    struct Request : LLink {
        ~Request() override { delete data; }
        LString path;
        CStrm* data = nullptr;
        u8 write = 0;
        void* context = nullptr;
        LReqDoneFn done = nullptr;
        u32 perm = 0;
        u32 flags = 0;
    };

    void StartNext();
    void Finish(u32 sessionResult, u32 peerResult);
    // A place among the transfers that may run at once, for the next request; false:
    // this queue waits in line and starts when a place is handed to it.
    bool TakePlace();
    void GivePlaceBack();
    friend struct CTransferPlaces;
    static void OnTransfer(void* self, u32 event, void* object);
    static void OnDeviceChange(void* self, CRecordNote* note);

    MDevSetLink* fOwner;
    u32 fSerial;
    LString fSerialText;
    LRunLoopHolder* fWake;
    u32 fLastActivity;
    CTftpManager fManager;
    LList fPending;
    LList fFree;
    Request* fCurrent = nullptr;
    CTftpSession* fSession = nullptr;
    bool fHasPlace = false;
    bool fWaitsForPlace = false;
    std::list<CReqQueue*>::iterator fInLine;
    i32 fSocketErrno = 0;
};

// How many device queues may have a transfer under way at once, in this process.
// Each holds a socket; thousands of devices each reading at once would use up the
// open files (and the devices' answers would crowd the network) for nothing.
// Queues beyond it wait in line, in order, and start as places come free.
u32 TransferPlaces();
// Tests set it; 0 goes back to what the open-file limit allows.
void SetTransferPlaces(u32 places);
