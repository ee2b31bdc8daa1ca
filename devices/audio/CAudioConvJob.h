#pragma once
// The main thread's hold on the one audio conversion of a device's file job
// queue: starts it, polls its state and progress, and stops it.

#include "devices/audio/CAudioConvertJob.h"
#include "devlink/AudioConvJob.h"

class CAudioConvJob : public MAudioConvJob {
public:
    // pool: where conversions run; null for the process-wide pool.
    explicit CAudioConvJob(CThreadPool* pool = nullptr) : fPool(pool) {}
    ~CAudioConvJob() override;
    CAudioConvJob(const CAudioConvJob&) = delete;
    CAudioConvJob& operator=(const CAudioConvJob&) = delete;

    // The settings and kind are the queue's; an audio conversion needs neither.
    bool Start(const LString& source, const LString& destination, const VideoConvSettings& settings,
               u32 kind, void* context, LConvDoneFn done) override;
    // While running, takes the end (2 or 3) from the conversion.
    u32 PollState() override;
    // 1.0 whenever not running.
    f32 GetProgress() override;
    // Returns once the conversion's thread let go of both files.
    void Reset() override;

    const CAudioConvertJob* Converter() const { return fConverter; }

private:
    static void OnConverted(void* self);

    u32 fState = kIdle;
    void* fContext = nullptr;
    LConvDoneFn fDone = nullptr;
    CAudioConvertJob* fConverter = nullptr;
    CThreadPool* fPool;
};
