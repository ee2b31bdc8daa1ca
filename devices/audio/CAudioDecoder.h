#pragma once
// Reads the first decodable audio stream of a local file with FFmpeg and hands
// out its samples as interleaved signed integers of 16, 24 or 32 bits at the
// source's own rate and channel count (24 bits as the high three bytes of each
// 32-bit sample). FFmpeg stays behind this class.

#include <atomic>

#include "base/Types.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

class CAudioDecoder {
public:
    enum : i32 { kError = -1, kEnd = 0, kFrame = 1 };

    CAudioDecoder() = default;
    virtual ~CAudioDecoder();
    CAudioDecoder(const CAudioDecoder&) = delete;
    CAudioDecoder& operator=(const CAudioDecoder&) = delete;

    // Opens the file and the decoder of its best audio stream (one thread).
    // Only the local file itself is read: a playlist naming other places fails.
    // Reading stops with an error as soon as *stop is set.
    bool Open(const char* path, const std::atomic<bool>* stop = nullptr);
    void Close();
    bool IsOpen() const { return fFormat != nullptr; }

    // What the stream says before decoding; the first decoded frame decides.
    u32 Rate() const { return fRate; }
    u32 Channels() const { return fChannels; }
    // Bits per sample of the codec: 0 for compressed codecs.
    u32 SourceBits() const { return fSourceBits; }
    // From the stream's duration; 0 when it does not tell.
    u64 TotalFrames() const { return fTotal; }

    // 16, 24 or 32; set before the first Decode.
    void SetOutputBits(u32 bits) { fOutBits = bits; }
    // Decodes up to the next frame of samples. The first frame sets Rate and
    // Channels; a later frame of another rate or channel count is an error.
    // Packets the decoder rejects are skipped; a read error is an error.
    i32 Decode();
    bool FirstFrame() const { return fFrames == 1; }
    // Converts up to maxFrames of what was decoded into out; fewer than maxFrames
    // means the decoded frame is used up. Negative on error.
    i32 Take(u8* out, u32 maxFrames);

private:
    static int Interrupted(void* stop);
    i32 Receive();
    bool Accept();
    bool ScratchFor(u32 frames);

    AVFormatContext* fFormat = nullptr;
    AVCodecContext* fCodec = nullptr;
    AVPacket* fPacket = nullptr;
    AVFrame* fFrame = nullptr;
    SwrContext* fSwr = nullptr;
    i32 fStream = -1;
    i32 fSwrFormat = -1;
    bool fPending = false;  // fFrame holds samples not yet handed to the resampler
    bool fFlushed = false;
    u32 fRate = 0;
    u32 fChannels = 0;
    u32 fSourceBits = 0;
    u64 fTotal = 0;
    u32 fOutBits = 16;
    u64 fFrames = 0;
    u8* fScratch = nullptr;  // 32-bit samples on their way to three bytes
    u32 fScratchFrames = 0;
};
