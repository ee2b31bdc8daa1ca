#pragma once
// A strict reader of DMX recordings for the tests: every frame is parsed by
// its counts alone and refused at the first byte that the format does not
// allow, with the reason.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/Types.h"

namespace drctest {

inline std::string Hex(const u8* b, size_t n) {
    std::string s;
    char t[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(t, sizeof t, "%02X ", b[i]);
        s += t;
    }
    if (!s.empty()) s.pop_back();
    return s;
}
inline std::string Hex(const std::vector<u8>& b) {
    return Hex(b.data(), b.size());
}

struct Frame {
    u8 kind = 0;
    u32 count = 0, timeMs = 0, port = 0;
    u32 offset = 0, length = 0;  // where the frame lies in the file
    std::vector<u8> slots;       // the values after decoding
};

class Decoder {
public:
    // Empty when the whole file decodes; else the reason and the frame's offset.
    std::string Decode(const std::vector<u8>& file) {
        const u8* d = file.data();
        const u32 end = u32(file.size());
        u32 at = 0;
        while (at < end) {
            Frame f;
            f.offset = at;
            if (end - at < 10) return Fail("short header", at);
            if (d[at] != 0 || d[at + 1] != 0) return Fail("bad header mark", at);
            const u8 k = d[at + 2] & 0xE0;
            if ((d[at + 2] & 0x1C) != 0 || (k != 0xC0 && k != 0x80 && k != 0x60 && k != 0x40))
                return Fail("bad kind", at);
            for (u32 i = 4; i < 8; ++i)
                if (!(d[at + i] & 0x80)) return Fail("time byte without bit 7", at);
            if (!(d[at + 9] & 0x80)) return Fail("port byte without bit 7", at);
            f.kind = k;
            f.count = (u32(d[at + 2] & 3) << 8) | d[at + 3];
            if (f.count < 1 || f.count > 513) return Fail("count outside 1..513", at);
            f.timeMs = (u32(d[at + 4] & 0x7F) << 21) | (u32(d[at + 5] & 0x7F) << 14) |
                       (u32(d[at + 6] & 0x7F) << 7) | (d[at + 7] & 0x7F);
            f.port = d[at + 8] | (u32(d[at + 9] & 0x7F) << 8);
            const u32 payload = at + 10;
            std::vector<u8> values;
            u32 next = 0;
            const std::string e = k == 0x60 ? Bits(d, payload, end, f.count, &values, &next)
                                            : Runs(d, payload, end, f.count, &values, &next);
            if (!e.empty()) return Fail(e, at);
            for (u32 i = payload; i + 1 < next; ++i)
                if (d[i] == 0 && d[i + 1] == 0) return Fail("00 00 inside a payload", at);
            if (k == 0x60 || k == 0x40) {
                auto it = fPrev.find(f.port);
                if (it == fPrev.end()) return Fail("difference without an earlier frame", at);
                const std::vector<u8>& prev = it->second;
                for (u32 i = 0; i < f.count && i < prev.size(); ++i)
                    values[i] = u8(values[i] + prev[i]);
            }
            f.slots = values;
            fPrev[f.port] = values;
            f.length = next - at;
            frames.push_back(f);
            at = next;
        }
        return "";
    }

    std::vector<Frame> frames;

private:
    std::string Fail(const std::string& why, u32 at) { return why + " at " + std::to_string(at); }

    static std::string Runs(const u8* d, u32 at, u32 end, u32 count, std::vector<u8>* out,
                            u32* next) {
        while (out->size() < count) {
            if (at >= end) return "payload cut short";
            const u8 t = d[at++];
            if (t == 0) {
                if (out->size() + 2 > count) return "token past the frame";
                out->insert(out->end(), 2, 0);
            } else if (t < 0x80) {
                if (out->size() + t > count) return "token past the frame";
                if (end - at < t) return "literal cut short";
                out->insert(out->end(), d + at, d + at + t);
                at += t;
            } else {
                const u32 n = (t & 0x7F) + 1u;
                if (out->empty()) return "repeat without a byte";
                if (out->size() + n > count) return "token past the frame";
                out->insert(out->end(), n, out->back());
            }
        }
        *next = at;
        return "";
    }

    static std::string Bits(const u8* d, u32 at, u32 end, u32 count, std::vector<u8>* out,
                            u32* next) {
        if (at >= end) return "no mode byte";
        const u8 m = d[at++];
        if (m >= 0x20 || m < 0x08) return "bad mode byte";
        const u32 mode = (m >> 3) - 1, w = m & 7;
        if (w == 0) {
            out->assign(count, 0);
            *next = at;
            return "";
        }
        u32 pos = at, bit = 0;  // bit: bits of d[pos] taken
        auto take = [&](u32* b) -> std::string {
            if (bit == 8) {
                const u8 done = d[pos++];
                bit = 0;
                if (done == 0) {
                    if (pos >= end) return "bit run past the frame";
                    if (!(d[pos] & 0x80)) return "stuffed bit not 1";
                    bit = 1;
                }
            }
            if (pos >= end) return "bit run past the frame";
            *b = (d[pos] >> (7 - bit)) & 1;
            ++bit;
            return "";
        };
        for (u32 i = 0; i < count; ++i) {
            u32 v = 0;
            for (u32 j = 0; j < w; ++j) {
                u32 b = 0;
                const std::string e = take(&b);
                if (!e.empty()) return e;
                v = (v << 1) | b;
            }
            i32 diff;
            if (mode == 0)
                diff = i32(v);
            else if (mode == 1)
                diff = i32(v) - i32((1u << w) - 1);
            else
                diff = (v & (1u << (w - 1))) ? i32(v) - i32(1u << w) : i32(v);
            out->push_back(u8(diff));
        }
        if (bit == 8) {
            if (d[pos] == 0) {
                // The stuffed bit follows even the last full byte.
                if (pos + 1 >= end || d[pos + 1] != 0x80) return "stuffed bit not 1";
                ++pos;
            }
        } else if (u8(d[pos] << bit) != 0) {
            return "padding not zero";
        }
        *next = pos + 1;
        return "";
    }

    std::map<u32, std::vector<u8>> fPrev;
};

}  // namespace drctest
