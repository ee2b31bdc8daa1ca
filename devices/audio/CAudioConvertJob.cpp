#include "devices/audio/CAudioConvertJob.h"

#include <cstdlib>

bool CAudioConvertJob::sFailBuffer = false;
std::atomic<void (*)(const CAudioConvertJob*)> CAudioConvertJob::sStepHook{nullptr};

CAudioConvertJob::CAudioConvertJob(CThreadPool* pool)
    : fPool(pool ? pool : &CThreadPool::Global()) {}

CAudioConvertJob::~CAudioConvertJob() {
    Stop();
    fDestination.Abandon();
    fSource.Close();
}

u32 CAudioConvertJob::OutputBits(u32 sourceBits) {
    return sourceBits < 16 ? 16 : sourceBits > 32 ? 32 : sourceBits;
}

u32 CAudioConvertJob::StepBytes(u32 bytesPerFrame) {
    if (bytesPerFrame == 0) return 0;
    const u32 frames = bytesPerFrame > kStepLimit ? 1 : kStepLimit / bytesPerFrame;
    return frames * bytesPerFrame;
}

bool CAudioConvertJob::Fail() {
    fSource.Close();
    fDestination.Abandon();
    fState.store(kFailed, std::memory_order_release);
    return false;
}

bool CAudioConvertJob::Start(const char* source, const char* destination, void* context,
                             LConvDoneFn done) {
    if (fStarted || GetState() != kIdle) return false;
    fStarted = true;
    fCancel.store(false);
    if (!source || !destination || !fSource.Open(source, &fCancel) ||
        !fDestination.Open(destination))
        return Fail();
    fFormat.rate = fSource.Rate();
    fFormat.channels = fSource.Channels();
    fFormat.bits = OutputBits(fSource.SourceBits());
    // A stream without channels or rate (noise under an audio name) has no WAV form.
    if (!fFormat.Fits()) return Fail();
    fTotal = fSource.TotalFrames();
    const u32 frameBytes = fFormat.BytesPerFrame();
    // The sizes of a WAV are 32-bit: refuse before writing what cannot be stated.
    if (fTotal > fDestination.DataLimit() / frameBytes) return Fail();
    fBufferBytes = StepBytes(frameBytes);
    fFramesPerRead = fBufferBytes / frameBytes;
    fSource.SetOutputBits(fFormat.bits);

    fContext = context;
    fDone.store(done, std::memory_order_release);
    fFramesDone.store(0);
    fEnded.Reset();
    fState.store(kRunning, std::memory_order_release);
    if (!fPool->RunJob(this, Work)) {
        fDone.store(nullptr);
        return Fail();
    }
    fRunning = true;
    return true;
}

f32 CAudioConvertJob::GetProgress() const {
    const u64 done = FramesDone();
    return done < fTotal ? f32(double(done) / double(fTotal)) : 1.0f;
}

void CAudioConvertJob::Stop() {
    fDone.store(nullptr, std::memory_order_release);
    if (fRunning) {
        fCancel.store(true, std::memory_order_release);
        fEnded.Wait();
        fRunning = false;
    }
    fState.store(kIdle, std::memory_order_release);
}

void CAudioConvertJob::Work(void* self) {
    static_cast<CAudioConvertJob*>(self)->Run();
}

// Every way out closes both files, gives the final state, calls the completion
// and sets the event: Stop waits on it.
void CAudioConvertJob::Run() {
    u8* buffer = nullptr;
    if (fBufferBytes > 0 && !sFailBuffer) buffer = static_cast<u8*>(std::malloc(fBufferBytes));
    bool ok = buffer && Pump(&buffer);
    const bool cancelled = fCancel.load(std::memory_order_acquire);
    if (ok && !cancelled)
        ok = fDestination.Close();  // done only once the sizes are in and the file closed
    else
        fDestination.Abandon();
    fSource.Close();
    if (!cancelled) fState.store(ok ? kDone : kFailed, std::memory_order_release);
    if (LConvDoneFn done = fDone.load(std::memory_order_acquire)) done(fContext);
    fEnded.Set();
    std::free(buffer);
}

bool CAudioConvertJob::Pump(u8** buffer) {
    u32 fill = 0;
    for (;;) {
        if (fCancel.load(std::memory_order_acquire)) return false;
        const i32 r = fSource.Decode();
        if (r == CAudioDecoder::kError) return false;
        if (r == CAudioDecoder::kEnd) break;
        if (fSource.FirstFrame() && !FirstFrame(buffer)) return false;
        const u32 frameBytes = fFormat.BytesPerFrame();
        for (;;) {
            const i32 n = fSource.Take(*buffer + size_t(fill) * frameBytes, fFramesPerRead - fill);
            if (n < 0) return false;
            fill += u32(n);
            if (fill < fFramesPerRead) break;
            if (!Step(*buffer, fill)) return false;
            fill = 0;
        }
    }
    // A source without a single frame still gives a well-formed, empty WAV.
    if (!fDestination.HasHeader() && !fDestination.WriteHeader(fFormat)) return false;
    return fill == 0 || Step(*buffer, fill);
}

// The first decoded frame, not the stream's description, says what the samples are.
bool CAudioConvertJob::FirstFrame(u8** buffer) {
    WavFormat f = fFormat;
    f.rate = fSource.Rate();
    f.channels = fSource.Channels();
    if (!f.Fits()) return false;
    if (f.BytesPerFrame() != fFormat.BytesPerFrame()) {
        const u32 bytes = StepBytes(f.BytesPerFrame());
        u8* b = static_cast<u8*>(std::realloc(*buffer, bytes));
        if (!b) return false;
        *buffer = b;
        fBufferBytes = bytes;
        fFramesPerRead = bytes / f.BytesPerFrame();
    }
    fFormat = f;
    return fDestination.WriteHeader(fFormat);
}

bool CAudioConvertJob::Step(const u8* buffer, u32 frames) {
    const u32 bytes = frames * fFormat.BytesPerFrame();
    if (!fDestination.Write(buffer, bytes)) return false;
    if (bytes > fLargestStep.load(std::memory_order_relaxed))
        fLargestStep.store(bytes, std::memory_order_relaxed);
    fFramesDone.fetch_add(frames, std::memory_order_relaxed);
    if (auto hook = sStepHook.load(std::memory_order_acquire)) hook(this);
    return true;
}
