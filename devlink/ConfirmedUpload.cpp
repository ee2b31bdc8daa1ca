#include "devlink/ConfirmedUpload.h"

#include <cstring>
#include <vector>

#include "devlink/AnswerLimits.h"
#include "base/CMemStrm.h"
#include "base/Paths.h"

namespace {

// The sink of a read-back: holds nothing, only whether every byte that arrived
// equals the one sent at its place, and how far from the start they reach.
class CCompareStrm : public CStrm {
public:
    CCompareStrm(const u8* expected, u64 size)
        : CStrm(kModeWrite), fExpected(expected), fSize(size) {}
    void SetPosition(u64 position) override { fPosition = position; }
    void SetSize() override {}
    void Write(const void* bytes, u64 length) override {
        if (fPosition > fSize || length > fSize - fPosition ||
            std::memcmp(fExpected + fPosition, bytes, size_t(length)) != 0)
            fDiffers = true;
        // Only bytes that join what came before count as read.
        if (fPosition <= fCovered && fPosition + length > fCovered) fCovered = fPosition + length;
        fPosition += length;
    }
    void Read(void*, u64* length) override { *length = 0; }
    bool Same() const { return !fDiffers && fCovered == fSize; }

private:
    const u8* fExpected;
    u64 fSize;
    u64 fCovered = 0;
    bool fDiffers = false;
};

CListedFile ListedFile(CStrm* data, const LString& name) {
    const std::vector<u8> bytes = ReadAllBytes(data);
    return FindListedFile(bytes.data(), bytes.size(), name.CStr());
}

bool Succeeded(CStrm* data, const u32* status) {
    return data && status[0] == 0 && status[1] == 0;
}

}  // namespace

CConfirmedUpload::CConfirmedUpload(CReqQueue* queue, void* context, DoneFn done)
    : fQueue(queue), fContext(context), fDone(done) {}

CConfirmedUpload::~CConfirmedUpload() {
    Cancel();
}

void CConfirmedUpload::StartListed(const char* path, CStrm* body, u64 size, u32 flags,
                                   const std::vector<u8>* before) {
    Begin(path, body, size, kByListing, flags, before);
}

void CConfirmedUpload::StartReadBack(const char* path, const u8* data, u64 size, u32 flags) {
    fData = data;
    // The stream only reads the caller's bytes; the queue deletes the stream, not them.
    Begin(path, new CMemStrm(const_cast<u8*>(data), u32(size)), size, kByReadBack, flags);
}

void CConfirmedUpload::Begin(const char* path, CStrm* body, u64 size, u32 how, u32 flags,
                             const std::vector<u8>* before) {
    Cancel();
    fPath = LString(path);
    fHow = how;
    fFlags = flags;
    fSize = size;
    fBody = body;
    fOutcome = kRunning;
    fStatus[0] = fStatus[1] = fStatus[2] = 0;
    fBefore = CListedFile();
    fAfter = CListedFile();
    fBeforeRead = false;
    fListingPath = LString();
    fName = LString();
    if (how == kByListing && size >= kOneBlock) {
        fListingPath = FolderListingPath(path);
        LastPathComponent(&fName, path);
    }
    if (!fListingPath.IsEmpty() && before) {
        fBefore = FindListedFile(before->data(), before->size(), fName.CStr());
        fBeforeRead = true;
        fPhase = kPhaseWrite;
    } else if (!fListingPath.IsEmpty()) {
        // The folder as it was, then the file: the queue runs them in this order.
        fPhase = kPhaseBefore;
        fQueue->Enqueue(this, OnStep, fListingPath.CStr(), 0, new CGrowMemStrm(kListingAnswerLimit),
                        nullptr, fFlags);
    } else {
        fPhase = kPhaseWrite;
    }
    fQueue->Enqueue(this, OnStep, path, 1, body, nullptr, fFlags);
}

void CConfirmedUpload::Cancel() {
    if (fPhase == kPhaseIdle || fPhase == kPhaseEnded) return;
    fQueue->CancelAll(this, OnStep);
    fBody = nullptr;
    fCompare = nullptr;
    fPhase = kPhaseEnded;
    fOutcome = kCancelled;
}

u64 CConfirmedUpload::SentBytes() const {
    if (fBody) return fBody->Position();
    return fPhase == kPhaseCheck || fOutcome == kConfirmed || fOutcome == kNotConfirmed ? fSize : 0;
}

void CConfirmedUpload::End(u32 outcome) {
    fPhase = kPhaseEnded;
    fOutcome = outcome;
    if (fDone) fDone(fContext, this);
}

void CConfirmedUpload::OnStep(void* self, CStrm* data, const u32* status) {
    auto* u = static_cast<CConfirmedUpload*>(self);
    switch (u->fPhase) {
        case kPhaseBefore:
            // Without the folder as it was, an older file of the same size could
            // pass for this one: the write still goes, but cannot be confirmed.
            u->fBeforeRead = Succeeded(data, status);
            if (u->fBeforeRead) u->fBefore = ListedFile(data, u->fName);
            u->fPhase = kPhaseWrite;
            return;
        case kPhaseWrite: {
            u->fBody = nullptr;
            for (u32 i = 0; i < 3; ++i) u->fStatus[i] = status[i];
            if (status[0] != 0 || status[1] != 0) return u->End(kWriteFailed);
            if (u->fSize < kOneBlock) return u->End(kConfirmed);
            if (u->fHow == kByListing) {
                if (!u->fBeforeRead) return u->End(kNotConfirmed);
                u->fPhase = kPhaseCheck;
                u->fQueue->Enqueue(u, OnStep, u->fListingPath.CStr(), 0,
                                   new CGrowMemStrm(kListingAnswerLimit), nullptr, u->fFlags);
                return;
            }
            u->fPhase = kPhaseCheck;
            u->fCompare = new CCompareStrm(u->fData, u->fSize);
            u->fQueue->Enqueue(u, OnStep, u->fPath.CStr(), 0, u->fCompare, nullptr, u->fFlags);
            return;
        }
        case kPhaseCheck: {
            bool held = false;
            // The queue frees the sink once this returns.
            if (Succeeded(data, status)) {
                if (u->fHow == kByListing) {
                    u->fAfter = ListedFile(data, u->fName);
                    held = UploadInPlace(u->fBefore, u->fAfter, u->fSize);
                } else {
                    held = data == u->fCompare && static_cast<CCompareStrm*>(data)->Same();
                }
            }
            u->fCompare = nullptr;
            return u->End(held ? kConfirmed : kNotConfirmed);
        }
        default:
            return;
    }
}
