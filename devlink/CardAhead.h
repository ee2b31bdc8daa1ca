#pragma once
// The card as it will be, for the one check before a name is written to a
// folder of a device's card (CheckCardNames): the folder's listing read now,
// the names the device's file job queues will still write there, the take the
// device is recording, read now as well, and, once the names are checked, the
// file each of them was agreed to replace.

#include <vector>

#include "base/LString.h"
#include "base/Types.h"
#include "devlink/FileJobQueue.h"

class CRecord;
class CReqQueue;
class CSimpleProgressDialog;

class CCardAhead {
public:
    // queue: the device's file request queue (one of no device has no card:
    // the contents are all there is); contents: the record the listing of
    // folder kind (0 recordings, 1 audio files) merges into.
    CCardAhead(CReqQueue* queue, CRecord* contents, u32 kind);

    // What is written is this file of the folder under a new name: it is no
    // other file to that name, and a take of its name is its own (the stop's rename).
    void SetMoved(const char* from) { fMoved = LString(from ? from : ""); }
    // What is written joins the job queue behind the uploads already there (a
    // drop), so that a queued name is one to replace like a listed one;
    // otherwise it is written now, and a queued upload would replace it later.
    void SetQueuedAfter() { fQueuedAfter = true; }

    // Reads the folder's listing and the device's recording state now, the
    // dialog's modal loop turning (ReadListingModal's outcome). The uploads
    // queued before the listing count as well as those queued by its end: one
    // may end while the listing is read, after the device listed the folder.
    u32 Read(CSimpleProgressDialog* progress);

    CReqQueue* Queue() const { return fQueue; }
    CRecord* Contents() const { return fContents; }
    u32 Kind() const { return fKind; }
    const LString& Moved() const { return fMoved; }
    bool QueuedAfter() const { return fQueuedAfter; }
    // The listed names (ListedCount of them), then the queued ones, in Queued's order.
    const std::vector<LString>& Names() const { return fNames; }
    u32 ListedCount() const { return fListed; }
    const std::vector<QueuedCardFile>& Queued() const { return fQueued; }
    // The take being recorded into the folder as the device told it, empty when none.
    const LString& Take() const { return fTake; }
    // For each name checked, the file as it stands now that writing it replaces
    // (its name empty: none).
    std::vector<CardAgreement>& Agreements() { return fAgreed; }
    const CardAgreement& Agreed(size_t n) const { return fAgreed[n]; }

private:
    CReqQueue* fQueue;
    CRecord* fContents;
    u32 fKind;
    LString fMoved;
    bool fQueuedAfter = false;
    std::vector<LString> fNames;
    u32 fListed = 0;
    std::vector<QueuedCardFile> fQueued;
    LString fTake;
    std::vector<CardAgreement> fAgreed;
};
