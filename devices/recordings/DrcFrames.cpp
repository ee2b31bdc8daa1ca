#include "devices/recordings/DrcFrames.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

u32 BitLength(u32 v) {
    return u32(std::bit_width(v));
}

// The literal of the run packer: a stretch of the input still to be written.
struct RunPacker {
    const u8* in;
    u8* out;
    u32 len = 0;
    u32 litStart = 0;
    u32 litLen = 0;

    void FlushLiteral() {
        if (litLen == 0) return;
        out[len++] = u8(litLen);
        std::memcpy(out + len, in + litStart, litLen);
        len += litLen;
        litLen = 0;
    }
    // Answers true when the literal filled up and was written.
    bool Append(u32 index) {
        if (litLen == 0) litStart = index;
        ++litLen;
        if (litLen < 127) return false;
        FlushLiteral();
        return true;
    }
};

}  // namespace

void DrcWriteFrameHeader(u8 kind, u32 count, u32 timeMs, u32 port, u8* out) {
    count = std::min(count, kDmxSlots);
    out[0] = 0;
    out[1] = 0;
    out[2] = u8((kind & 0xE0) | ((count >> 8) & 3));
    out[3] = u8(count);
    out[4] = u8(0x80 | ((timeMs >> 21) & 0x7F));
    out[5] = u8(0x80 | ((timeMs >> 14) & 0x7F));
    out[6] = u8(0x80 | ((timeMs >> 7) & 0x7F));
    out[7] = u8(0x80 | (timeMs & 0x7F));
    out[8] = u8(port);
    out[9] = u8(0x80 | ((port >> 8) & 0x7F));
}

u32 DrcRunPack(const u8* in, u32 n, u8* out) {
    RunPacker p{in, out};
    u32 reps = 0;
    bool zeroPending = false;  // a new zero whose follower decides where it goes
    bool afterToken = false;   // the last byte completed a token: an equal one repeats at once
    for (u32 i = 0; i < n; ++i) {
        const u8 v = in[i];
        const bool equal = i > 0 && v == in[i - 1];
        if (reps > 0) {
            if (equal) {
                if (reps == 128) {
                    out[p.len++] = 0xFF;
                    reps = 0;
                }
                ++reps;
                continue;
            }
            out[p.len++] = u8(0x80 | (reps - 1));
            reps = 0;
        } else if (equal) {
            if (zeroPending) {
                // A zero pair: the literal before it, then the pair's own token.
                p.FlushLiteral();
                out[p.len++] = 0x00;
                zeroPending = false;
                afterToken = true;
                continue;
            }
            if (afterToken) {
                afterToken = false;
                reps = 1;
                continue;
            }
            if (p.litLen >= 2 && in[i - 2] == v) {
                // The third equal byte: the literal keeps the first of the run.
                --p.litLen;
                p.FlushLiteral();
                reps = 2;
                continue;
            }
            afterToken = p.Append(i);
            continue;
        }
        // A new value.
        afterToken = false;
        if (v == 0) {
            zeroPending = true;
            continue;
        }
        if (zeroPending) {
            zeroPending = false;
            p.Append(i - 1);
        }
        afterToken = p.Append(i);
    }
    if (reps > 0) out[p.len++] = u8(0x80 | (reps - 1));
    p.FlushLiteral();
    if (zeroPending) {
        out[p.len++] = 1;
        out[p.len++] = 0;
    }
    return p.len;
}

DrcPlan DrcDeltaPlan(const u8* diffs, u32 n) {
    DrcPlan plan;
    i32 prev = 0;
    u32 since = 0, longest = 0;
    u32 orPos = 0, orNeg = 0, orMixed = 0;
    bool anyNeg = false, anyPos = false;
    for (u32 i = 0; i < n; ++i) {
        const i32 d = i8(diffs[i]);
        if (d == prev) continue;
        prev = d;
        longest = std::max(longest, i + 1 - since);
        since = i + 1;
        ++plan.changes;
        if (d < 0) {
            anyNeg = true;
            orNeg |= u32(-d);
            orMixed |= u32(~d) & 127;
        } else {
            anyPos = anyPos || d > 0;
            orPos |= u32(d);
            orMixed |= u32(d);
        }
    }
    longest = std::max(longest, n - since);
    plan.stretch = longest > 0 ? longest - 1 : 0;
    u32 width;
    if (!anyNeg) {
        plan.mode = 0;
        width = BitLength(orPos);
    } else if (!anyPos) {
        // Stored as d + 2^width - 1, so width bits hold -127..0 at most: a
        // difference of -128 needs a width the mode byte has no room for.
        plan.mode = 1;
        width = BitLength(orNeg);
    } else {
        plan.mode = 2;
        width = 1 + BitLength(orMixed);
    }
    plan.packable = width <= 7;
    plan.width = u8(plan.packable ? width : 0);
    plan.estimate = 1 + (n * width + 7) / 8;
    return plan;
}

u32 DrcDeltaPack(const DrcPlan& plan, const u8* diffs, u32 n, u8* out) {
    const u32 w = plan.width;
    u32 len = 0;
    out[len++] = u8(((plan.mode + 1) << 3) | (w & 7));
    if (w == 0) return len;
    const u32 mask = (1u << w) - 1;
    const u32 offset = plan.mode == 1 ? mask : 0;
    u32 acc = 0, pending = 0;
    for (u32 i = 0; i < n; ++i) {
        const u32 value = (u32(i32(i8(diffs[i]))) + offset) & mask;
        acc = (acc << w) | value;
        pending += w;
        while (pending >= 8) {
            const u8 byte = u8(acc >> (pending - 8));
            out[len++] = byte;
            if (byte == 0) {
                // The stuffed 1 opens the next byte, so that 00 00 never follows.
                acc |= 1u << (pending - 8);
                pending -= 7;
            } else {
                pending -= 8;
            }
            acc &= (1u << pending) - 1;
        }
    }
    if (pending > 0) out[len++] = u8(acc << (8 - pending));
    return len;
}

void CDrcFrameEncoder::Init(u32 port) {
    fPort = port;
    fLastKeyMs = 0;
    fPrevCount = 0;
    fPrevKind = 0;
}

u32 CDrcFrameEncoder::Encode(bool allowDiff, u32 timeMs, const u8* slots, u32 count, u8* out,
                             u32 room) {
    const u32 n = std::min(count, kDmxSlots);
    if (n == 0 || room < kDrcHeaderLen) return 0;
    u8 scratch[kDrcMaxFrame];
    u8* frame = room >= kDrcMaxFrame ? out : scratch;
    u8* payload = frame + kDrcHeaderLen;
    const bool key =
        !allowDiff || fPrevCount == 0 || u64(timeMs) >= u64(fLastKeyMs) + kDrcKeyIntervalMs;
    u8 kind;
    u32 len;
    if (key) {
        kind = allowDiff ? kDrcKeyDiff : kDrcKeyOnly;
        len = DrcRunPack(slots, n, payload);
    } else {
        u8 diffs[kDmxSlots];
        for (u32 i = 0; i < n; ++i) diffs[i] = i < fPrevCount ? u8(slots[i] - fPrev[i]) : slots[i];
        const DrcPlan plan = DrcDeltaPlan(diffs, n);
        bool bits = false;
        if (plan.packable && plan.changes > 0) {
            const u32 a = plan.changes, b = plan.stretch;
            const u32 limit = (n - b) / a <= 2 ? n - b + 2 : 3 * a + 1;
            bits = plan.estimate < limit;
        }
        kind = bits ? kDrcDiffBits : kDrcDiffRuns;
        len = bits ? DrcDeltaPack(plan, diffs, n, payload) : DrcRunPack(diffs, n, payload);
    }
    const u32 total = kDrcHeaderLen + len;
    if (total > room) return 0;
    DrcWriteFrameHeader(kind, n, timeMs, fPort, frame);
    if (frame != out) std::memcpy(out, frame, total);
    if (key) fLastKeyMs = timeMs;
    fPrevKind = kind;
    std::memcpy(fPrev, slots, n);
    fPrevCount = n;
    return total;
}
