#include "devices/audio/CAudioConvJob.h"

#include <new>

CAudioConvJob::~CAudioConvJob() {
    Reset();
}

bool CAudioConvJob::Start(const LString& source, const LString& destination,
                          const VideoConvSettings&, u32, void* context, LConvDoneFn done) {
    if (fState == kRunning) return false;
    Reset();
    fState = kRunning;
    // Read by the conversion's thread; set before it starts, cleared after it ended.
    fContext = context;
    fDone = done;
    fConverter = new (std::nothrow) CAudioConvertJob(fPool);
    if (fConverter && fConverter->Start(source.CStr(), destination.CStr(), this, OnConverted))
        return true;
    delete fConverter;
    fConverter = nullptr;
    fContext = nullptr;
    fDone = nullptr;
    fState = kIdle;
    return false;
}

void CAudioConvJob::OnConverted(void* self) {
    auto* job = static_cast<CAudioConvJob*>(self);
    if (job->fDone) job->fDone(job->fContext);
}

u32 CAudioConvJob::PollState() {
    if (fState == kRunning && fConverter) {
        const u32 s = fConverter->GetState();
        if (s == kDone || s == kFailed) fState = s;
    }
    return fState;
}

f32 CAudioConvJob::GetProgress() {
    return fState == kRunning && fConverter ? fConverter->GetProgress() : 1.0f;
}

void CAudioConvJob::Reset() {
    if (fConverter) {
        fConverter->Stop();
        delete fConverter;
        fConverter = nullptr;
    }
    fContext = nullptr;
    fDone = nullptr;
    fState = kIdle;
}
