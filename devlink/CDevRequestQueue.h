#pragma once
// A record channel keeps one record of the application in step with the same
// record on a device, through a device command path ("/.cmd/udseqset"): the path
// followed by "/" reads the whole record; every local change of a field is sent
// at once as a write of the path followed by the field's path of tags, carrying
// that one field. Its own small queue sits in front of the device's request
// queue, so that consecutive changes of one setting travel as one write; a
// command press (records/OneShotFields) travels once per press, in order.
// A setting the device did not answer stays first in line and goes again until
// it does: the whole record is read back only after it, and no whole-record
// read puts the device's old value over one still on its way. A setting the
// device refused is dropped alone: the ones behind it go as they would have,
// and the channel's owner hears which it was.

#include <vector>

#include "base/LList.h"
#include "base/LString.h"
#include "devlink/ReqQueue.h"
#include "records/LRecPath.h"
#include "services/RunLoop.h"
#include "records/CRecordDoc.h"

// Called each time a whole-record read has been applied.
using LChannelDoneFn = void (*)(void* context);
// Called once for a read queued with Request.
using LChannelClientFn = void (*)(void* context, bool success);
class CDevRequestQueue;
// Called when the device refused a setting, with its path of tags; the record
// is read back (unless the channel does not re-read) and shows the device's value.
using LChannelRefusedFn = void (*)(void* context, const CDevRequestQueue& channel,
                                   const LString& path);

class CDevRequestQueue {
public:
    // With this completion context a failed write is not followed by a re-read.
    static void* NoRereadContext() { return reinterpret_cast<void*>(~uintptr_t(0)); }

    // Nothing is read until Refresh.
    CDevRequestQueue(CReqQueue* queue, CRecord* record, const char* basePath, void* context,
                     LChannelDoneFn done);
    ~CDevRequestQueue();
    CDevRequestQueue(const CDevRequestQueue&) = delete;
    CDevRequestQueue& operator=(const CDevRequestQueue&) = delete;

    // Reads the whole record (merged with a whole-record read already waiting last).
    void Refresh();
    // Reads one path ("/" or a field's path of tags) into the record.
    void Request(const char* relativePath, void* context, LChannelClientFn fn);
    void CancelFor(void* context, LChannelClientFn fn);
    // Calls fn once everything queued so far has been answered by the device (or
    // given up), before anything queued later is sent; success is false when a
    // write among them failed. A command that depends on these settings goes out
    // from fn: another channel on the same device queue would otherwise take
    // turns with them. Cancelled by CancelFor and with the channel.
    void AfterQueued(void* context, LChannelClientFn fn);
    bool IsBusy() const { return fInFlight != nullptr || !fPending.IsEmpty(); }
    // The paths of the settings the device has not confirmed yet, on their
    // first try or a later one, in the order they go, each once: what is lost
    // when the channel ends now. Presses are not settings and are left out.
    std::vector<LString> UnsentPaths() const;
    // The device left a setting unanswered, and it waits for the next round.
    bool DeviceSilent() const { return fUnanswered != 0; }
    // The user goes on without the settings not yet confirmed: none of them is
    // sent any more, and the record is read anew so that it shows the device's
    // values (unless the completion context says not to re-read).
    void DropUnsent();
    CRecord* Record() const { return fRecord; }
    // The bytes of the last write of the path still waiting or in flight, as
    // they go; empty when there is none.
    std::vector<u8> LastWriteBytes(const char* path) const;
    // Who hears of the settings the device refuses (a press refused is not told).
    void SetRefusedFn(void* context, LChannelRefusedFn fn) {
        fRefusedContext = context;
        fRefused = fn;
    }

private:
    struct ChanReq : LLink {
        ~ChanReq() override { delete body; }
        LString path;
        // A write keeps its body until the device took it: a copy travels.
        CGrowMemStrm* body = nullptr;
        u8 write = 0;
        u8 oneShot = 0;  // a press: neither folded into another write nor taking one in
        u8 marker = 0;   // AfterQueued: sends nothing, answers when it comes first
        u8 failed = 0;   // marker: a write queued before it failed
        void* context = nullptr;
        LChannelClientFn fn = nullptr;
        // A write of a list's value, last in line since it was written: where its
        // items lie, so that a change of the list, wherever it is, writes the
        // item it concerns alone (a paste, a delete and their Undo change a
        // list row by row), the body being put together once before it goes.
        const CRecord* listRecord = nullptr;
        u8 listField = 0;
        LRecListValue list;
    };

    ChanReq* Take(const char* path, bool merge, u8 write);
    bool ChangeLastList(const CRecordNote* note, const char* path);
    // Puts the body of a list's write together after the changes it followed.
    static void Finish(ChanReq* r);
    void Recycle(ChanReq* r);
    void Send();
    void RestoreWaitingWrites();
    // Takes the presses out of the waiting line; the markers behind them hear of it.
    void DropWaitingPresses();
    // The markers waiting answer that a write before them failed.
    void FailMarkers();
    static void OnDone(void* self, CStrm* data, const u32* status);
    static void OnChange(void* self, CRecordNote* note);
    static void OnSendTimer(void* self);
    static void OnRestartTimer(void* self);

    // A step (a reply, a send, a drop) tells listeners and callers as it goes,
    // and they may ask the channel for more (a Refresh, a Request, a CancelFor)
    // or move the device. What they ask joins the lines at once; the send it
    // would start waits for the outermost step's end, and no step keeps a
    // request of a line across a notice.
    class Step {
    public:
        explicit Step(CDevRequestQueue* c) : fChannel(c) { ++c->fSteps; }
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        CDevRequestQueue* fChannel;
    };

    CReqQueue* fQueue;
    CRecord* fRecord;
    LString fBasePath;
    void* fContext;
    LChannelDoneFn fDone;
    u8 fApplying = 0;
    u8 fWaitingRestart = 0;
    u8 fUnanswered = 0;  // a setting waits because the device did not answer
    u32 fSteps = 0;      // steps under way, one inside another
    u8 fSendDue = 0;     // a send was asked for inside a step
    // The document's count of changes when the channel heard its last notice.
    u32 fHeardChanges = 0;
    LRunLoopTimer fSendTimer;
    LRunLoopTimer fRestartTimer;
    LList fPending;
    LList fFree;
    ChanReq* fInFlight = nullptr;
    CRecordDoc* fDoc;
    void* fRefusedContext = nullptr;
    LChannelRefusedFn fRefused = nullptr;
};
