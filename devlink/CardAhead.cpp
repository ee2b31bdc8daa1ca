#include "devlink/CardAhead.h"

#include <algorithm>

#include "devlink/FileListPoller.h"
#include "devlink/ReqQueue.h"
#include "records/PrefNodes.h"

CCardAhead::CCardAhead(CReqQueue* queue, CRecord* contents, u32 kind)
    : fQueue(queue), fContents(contents), fKind(kind) {}

u32 CCardAhead::Read(CSimpleProgressDialog* progress) {
    fNames.clear();
    fListed = 0;
    fTake = LString();
    fAgreed.clear();
    if (fKind > 1) return kListingFailed;
    fQueued = QueuedCardFiles(fQueue, fKind);
    if (fQueue && fQueue->Serial() != 0) {
        const u32 read = ReadListingModal(progress, fQueue, fContents, fKind, &fTake);
        if (read != kListingRead) return read;
    }
    fListed = fContents ? NodeListCount(fContents, fKind) : 0;
    fNames.resize(fListed);
    for (u32 i = 0; i < fListed; ++i) NodeListText(&fNames[i], fContents, fKind, i);
    // What the job queue writes after the listing was read, as the card will hold it.
    for (const QueuedCardFile& file : QueuedCardFiles(fQueue, fKind))
        if (std::none_of(fQueued.begin(), fQueued.end(),
                         [&](const QueuedCardFile& q) { return q.job == file.job; }))
            fQueued.push_back(file);
    for (const QueuedCardFile& file : fQueued) fNames.push_back(file.name);
    return kListingRead;
}
