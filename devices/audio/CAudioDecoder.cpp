#include "devices/audio/CAudioDecoder.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

// A desktop program has nowhere to show the library's own chatter.
void QuietLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

}  // namespace

CAudioDecoder::~CAudioDecoder() {
    Close();
}

void CAudioDecoder::Close() {
    swr_free(&fSwr);
    av_frame_free(&fFrame);
    av_packet_free(&fPacket);
    avcodec_free_context(&fCodec);
    avformat_close_input(&fFormat);
    std::free(fScratch);
    fScratch = nullptr;
    fScratchFrames = 0;
    fStream = -1;
    fSwrFormat = -1;
    fPending = fFlushed = false;
    fRate = fChannels = fSourceBits = 0;
    fTotal = fFrames = 0;
}

int CAudioDecoder::Interrupted(void* stop) {
    return static_cast<const std::atomic<bool>*>(stop)->load(std::memory_order_acquire);
}

bool CAudioDecoder::Open(const char* path, const std::atomic<bool>* stop) {
    Close();
    QuietLibrary();
    fFormat = avformat_alloc_context();
    if (!fFormat) return false;
    // Checked between the reads of the file, however many a frame takes.
    if (stop)
        fFormat->interrupt_callback =
            AVIOInterruptCB{Interrupted, const_cast<std::atomic<bool>*>(stop)};
    // "file:" keeps a name with a colon from being read as another protocol, and
    // the white list keeps a playlist or reference file from reaching anywhere else.
    const std::string url = std::string("file:") + path;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int r = avformat_open_input(&fFormat, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (r < 0) return false;  // the context is freed on failure
    const AVCodec* decoder = nullptr;
    if (avformat_find_stream_info(fFormat, nullptr) < 0 ||
        (fStream = av_find_best_stream(fFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0)) < 0 ||
        !decoder) {
        Close();
        return false;
    }
    const AVStream* st = fFormat->streams[fStream];
    fCodec = avcodec_alloc_context3(decoder);
    fPacket = av_packet_alloc();
    fFrame = av_frame_alloc();
    if (!fCodec || !fPacket || !fFrame || avcodec_parameters_to_context(fCodec, st->codecpar) < 0) {
        Close();
        return false;
    }
    fCodec->thread_count = 1;
    if (avcodec_open2(fCodec, decoder, nullptr) < 0) {
        Close();
        return false;
    }
    const int rate = st->codecpar->sample_rate;
    const int channels = st->codecpar->ch_layout.nb_channels;
    fRate = rate > 0 ? u32(rate) : 0;
    fChannels = channels > 0 ? u32(channels) : 0;
    const int bits = av_get_bits_per_sample(st->codecpar->codec_id);
    fSourceBits = bits > 0 ? u32(bits) : 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0 && rate > 0) {
        const i64 n = av_rescale_q(st->duration, st->time_base, AVRational{1, rate});
        fTotal = n > 0 ? u64(n) : 0;
    }
    return true;
}

i32 CAudioDecoder::Receive() {
    for (;;) {
        const int r = avcodec_receive_frame(fCodec, fFrame);
        if (r == 0) {
            if (fFrame->nb_samples <= 0) {
                av_frame_unref(fFrame);
                continue;
            }
            return Accept() ? kFrame : kError;
        }
        if (r == AVERROR(ENOMEM)) return kError;
        // Wants more input, ended, or could not make a frame: a frame the decoder
        // rejects is left out, as the ffmpeg program does.
        return kEnd;
    }
}

bool CAudioDecoder::Accept() {
    const int rate = fFrame->sample_rate;
    const int channels = fFrame->ch_layout.nb_channels;
    if (rate <= 0 || channels <= 0) return false;
    if (++fFrames == 1) {
        fRate = u32(rate);
        fChannels = u32(channels);
    } else if (u32(rate) != fRate || u32(channels) != fChannels) {
        return false;
    }
    if (fFrame->format != fSwrFormat) {
        // Only the sample format may change between frames: nothing is mixed or
        // resampled, and the resampler holds nothing once a frame is used up.
        swr_free(&fSwr);
        const AVSampleFormat out = fOutBits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
        if (swr_alloc_set_opts2(&fSwr, &fFrame->ch_layout, out, rate, &fFrame->ch_layout,
                                AVSampleFormat(fFrame->format), rate, 0, nullptr) < 0 ||
            swr_init(fSwr) < 0) {
            swr_free(&fSwr);
            return false;
        }
        fSwrFormat = fFrame->format;
    }
    fPending = true;
    return true;
}

i32 CAudioDecoder::Decode() {
    if (!fFormat) return kError;
    if (fPending) av_frame_unref(fFrame), fPending = false;
    for (;;) {
        const i32 got = Receive();
        if (got != kEnd) return got;
        if (fFlushed) return kEnd;
        const int r = av_read_frame(fFormat, fPacket);
        if (r == AVERROR_EOF) {
            fFlushed = true;
            avcodec_send_packet(fCodec, nullptr);  // the decoder's last frames
            continue;
        }
        if (r < 0) return kError;
        if (fPacket->stream_index == fStream) {
            const int s = avcodec_send_packet(fCodec, fPacket);
            if (s == AVERROR(ENOMEM)) {
                av_packet_unref(fPacket);
                return kError;
            }
        }
        av_packet_unref(fPacket);
    }
}

bool CAudioDecoder::ScratchFor(u32 frames) {
    if (frames <= fScratchFrames) return true;
    std::free(fScratch);
    fScratch = static_cast<u8*>(std::malloc(size_t(frames) * fChannels * 4));
    fScratchFrames = fScratch ? frames : 0;
    return fScratch != nullptr;
}

i32 CAudioDecoder::Take(u8* out, u32 maxFrames) {
    if (!fSwr || maxFrames == 0 || maxFrames > 0x7FFFFFFFu) return kError;
    const u8** in = nullptr;
    int inFrames = 0;
    if (fPending) {
        in = const_cast<const u8**>(fFrame->extended_data);
        inFrames = fFrame->nb_samples;
        fPending = false;
    }
    if (fOutBits != 24) {
        const int n = swr_convert(fSwr, &out, int(maxFrames), in, inFrames);
        return n < 0 ? kError : n;
    }
    if (!ScratchFor(maxFrames)) return kError;
    u8* scratch = fScratch;
    const int n = swr_convert(fSwr, &scratch, int(maxFrames), in, inFrames);
    if (n < 0) return kError;
    // Little-endian 32-bit samples: their high three bytes are the 24-bit sample.
    const u8* s = fScratch;
    for (size_t i = 0, count = size_t(n) * fChannels; i < count; ++i, s += 4, out += 3)
        out[0] = s[1], out[1] = s[2], out[2] = s[3];
    return n;
}
