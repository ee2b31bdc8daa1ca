// Video timecode at whole and drop-frame rates.

#include "base/Calendar.h"
#include "base/TextFormat.h"

#include <cmath>
#include <cstdio>

u32 Timecode::CountedRate(u32 rate) {
    return (rate == 1 || rate == 24 || rate == 25 || rate == 100) ? rate : 30;
}

void Timecode::Init(u32 rateCode) {
    rate = rateCode;
    hours = minutes = seconds = frames = 0;
}

void Timecode::Set(u8 h, u8 m, u8 s, u8 f) {
    hours = h;
    minutes = m;
    seconds = s;
    frames = f;
}

void Timecode::SetFps(u32 rateCode) {
    if (rateCode == rate) return;
    const u32 ms = ToUnits(1000);
    rate = rateCode;
    FromUnits(ms, 1000);
}

u32 Timecode::ToUnits(u32 unitsPerSecond) const {
    const u64 units = unitsPerSecond;
    const u64 f = CountedRate(rate);
    const u64 framePart = (f / 2 + u64(frames) * units) / f;
    u64 t = (u64(minutes % 10) * 60 + seconds) * units + framePart;
    if (rate == kDropFrame) {
        // Two frame labels are skipped each minute except every tenth one;
        // the frames themselves run 1000/1001 slower than their labels.
        const u64 dropped = u64(minutes % 10) * units * 2 / 30;
        t = t > dropped ? t - dropped : 0;
        t += t / 1000;
    }
    const u64 result = (u64(hours) * 3600 + u64(minutes / 10) * 600) * units + t;
    return result > 0xFFFFFFFFull ? 0xFFFFFFFFu : u32(result);
}

void Timecode::FromUnits(u32 value, u32 unitsPerSecond) {
    hours = minutes = seconds = frames = 0;
    if (unitsPerSecond == 0) return;
    const u64 units = unitsPerSecond;
    const u64 f = CountedRate(rate);
    const u64 v = (u64(value) + units / (2 * f)) % (86400 * units);
    const u64 block = 600 * units;
    const u64 blocks = v / block;
    const u64 r = v % block;
    hours = u8(blocks / 6 % 24);
    minutes = u8((blocks % 6) * 10);
    if (rate != kDropFrame) {
        minutes = u8(minutes + r / (60 * units));
        seconds = u8(r / units % 60);
        frames = u8(f * (r % units) / units);
        return;
    }
    u64 n = (r * 1000 / 1001) * 30 / units;
    if (n > 17981) n = 17981;  // the last frame of a ten-minute block
    if (n < 2) {
        frames = u8(n);
        return;
    }
    minutes = u8(minutes + (n - 2) / 1798);
    const u64 k = (n - 2) % 1798 + 2;
    seconds = u8(k / 30);
    frames = u8(k % 30);
}

void Timecode::Format(LTextSink& sink) const {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", unsigned(hours), unsigned(minutes),
                          unsigned(seconds));
    if (rate != 1)
        n += std::snprintf(buf + n, sizeof buf - size_t(n), "%c%02u", rate == 100 ? '.' : ':',
                           unsigned(frames));
    sink.Write(buf, u32(n));
}

i32 Timecode::Parse(const char* text) {
    if (!text) text = "";
    const char* p = text;
    const i32 sign = *p == '-' ? -1 : 1;
    if (*p == '-') ++p;
    const double f = CountedRate(rate);
    const double scale[4] = {3600, 60, 1, 1 / f};
    double total = 0;
    for (int field = 0; field < 4; ++field) {
        char buf[64];
        u32 len = 0;
        const char* end = p;
        while (*end && *end != ':') {
            if (len < sizeof buf - 1) buf[len++] = *end;
            ++end;
        }
        buf[len] = 0;
        const double v = StrToDouble(buf);
        if (std::isfinite(v)) total += v * scale[field];
        if (*end != ':') break;
        p = end + 1;
    }
    total = std::fabs(total);
    // The fields hold at most 255 hours; a tiny bias keeps 1.52 s at 25 fps from becoming 12
    // frames.
    const double maxFrames = (255.0 * 3600 + 3599) * f + (f - 1);
    double count = std::isfinite(total) ? std::floor(total * f + 1e-6) : 0;
    if (count > maxFrames) count = maxFrames;
    const u64 frameCount = u64(count);
    const u64 fps = u64(f);
    const u64 secs = frameCount / fps;
    hours = u8(secs / 3600);
    minutes = u8(secs / 60 % 60);
    seconds = u8(secs % 60);
    frames = u8(frameCount % fps);
    if (rate == kDropFrame && seconds == 0 && minutes % 10 != 0 && frames < 2) frames = 2;
    return sign;
}
