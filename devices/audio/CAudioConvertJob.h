#pragma once
// One conversion of an audio file into a PCM WAV file, run on a pool thread:
// the source's rate and channel count, 16 to 32 bit signed integer samples.
// The main thread starts it, reads its state and counters, and stops it.

#include <atomic>

#include "base/Threads.h"
#include "devices/audio/CAudioDecoder.h"
#include "devices/audio/CWavWriter.h"
#include "devlink/AudioConvJob.h"

class CAudioConvertJob {
public:
    enum : u32 { kIdle = 0, kRunning = 1, kDone = 2, kFailed = 3 };
    // Each step moves the most whole frames that fit in this many bytes.
    static constexpr u32 kStepLimit = 65536;
    // Tests: the worker's buffer cannot be had; a call after every step (on the
    // worker thread), by which a test holds a conversion in the middle.
    static bool sFailBuffer;
    static std::atomic<void (*)(const CAudioConvertJob*)> sStepHook;

    // pool: where the worker runs; null for the process-wide pool.
    explicit CAudioConvertJob(CThreadPool* pool = nullptr);
    virtual ~CAudioConvertJob();
    CAudioConvertJob(const CAudioConvertJob&) = delete;
    CAudioConvertJob& operator=(const CAudioConvertJob&) = delete;

    // Local paths; destination is an existing file, emptied and written. Only
    // from state 0, once. done(context) is called once, on the worker thread,
    // after the final state. False (state 3, both files closed) when it cannot
    // start.
    bool Start(const char* source, const char* destination, void* context, LConvDoneFn done);
    virtual u32 GetState() const { return fState.load(std::memory_order_acquire); }
    virtual f32 GetProgress() const;
    // Forgets the completion, cancels and waits for the worker; state 0.
    virtual void Stop();

    // Bits of the output for bits of the source (0 for compressed codecs).
    static u32 OutputBits(u32 sourceBits);
    // The buffer of one step for frames of this many bytes.
    static u32 StepBytes(u32 bytesPerFrame);

    // The format once started; the first decoded frame may change it, so read
    // it again once the state is final.
    const WavFormat& Format() const { return fFormat; }
    u32 BufferBytes() const { return fBufferBytes; }
    u32 FramesPerRead() const { return fFramesPerRead; }
    u64 TotalFrames() const { return fTotal; }
    u64 FramesDone() const { return fFramesDone.load(std::memory_order_relaxed); }
    u32 LargestStep() const { return fLargestStep.load(std::memory_order_relaxed); }
    bool Cancelled() const { return fCancel.load(std::memory_order_acquire); }

private:
    static void Work(void* self);
    void Run();
    bool Pump(u8** buffer);
    bool FirstFrame(u8** buffer);
    bool Step(const u8* buffer, u32 frames);
    bool Fail();

    CThreadPool* fPool;
    void* fContext = nullptr;
    std::atomic<LConvDoneFn> fDone{nullptr};
    CAudioDecoder fSource;
    CWavWriter fDestination;
    LEventFlag fEnded{1};
    bool fRunning = false;
    bool fStarted = false;
    std::atomic<bool> fCancel{false};
    std::atomic<u32> fState{kIdle};
    u64 fTotal = 0;
    std::atomic<u64> fFramesDone{0};
    std::atomic<u32> fLargestStep{0};
    WavFormat fFormat;
    u32 fBufferBytes = 0;
    u32 fFramesPerRead = 0;
};
