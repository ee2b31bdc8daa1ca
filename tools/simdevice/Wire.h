#pragma once
// The device protocol on the wire, as the device sees it: TFTP with options,
// optionally preceded by the 8-byte "YTFW" wrapper. Kept apart from the
// application's own engine on purpose.

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace simdev {

using Bytes = std::vector<uint8_t>;
using Options = std::vector<std::pair<std::string, std::string>>;

enum Opcode : int { kRRQ = 1, kWRQ = 2, kDATA = 3, kACK = 4, kERROR = 5, kOACK = 6 };

inline const char* OpName(int op) {
    switch (op) {
        case kRRQ:
            return "RRQ";
        case kWRQ:
            return "WRQ";
        case kDATA:
            return "DATA";
        case kACK:
            return "ACK";
        case kERROR:
            return "ERROR";
        case kOACK:
            return "OACK";
        default:
            return "?";
    }
}

inline void PutU16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
inline void PutU32(Bytes& b, uint32_t v) {
    PutU16(b, v >> 16);
    PutU16(b, v & 0xffff);
}
inline void PutStr(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}
inline unsigned GetU16(const uint8_t* p) {
    return (unsigned(p[0]) << 8) | p[1];
}
inline uint32_t GetU32(const uint8_t* p) {
    return (uint32_t(GetU16(p)) << 16) | GetU16(p + 2);
}

constexpr size_t kWrapLen = 8;

// True when the datagram carries the wrapper; *target gets the embedded address.
inline bool IsWrapped(const uint8_t* p, size_t n, uint32_t* target) {
    if (n < kWrapLen + 1 || std::memcmp(p, "YTFW", 4) != 0) return false;
    if (target) *target = GetU32(p + 4);
    return true;
}

inline Bytes Wrap(uint32_t target, const Bytes& inner) {
    Bytes b;
    b.reserve(inner.size() + kWrapLen);
    b.insert(b.end(), {'Y', 'T', 'F', 'W'});
    PutU32(b, target);
    b.insert(b.end(), inner.begin(), inner.end());
    return b;
}

inline Bytes MakeData(unsigned block, const uint8_t* data, size_t n) {
    Bytes b;
    b.reserve(4 + n);
    PutU16(b, kDATA);
    PutU16(b, block & 0xffff);
    b.insert(b.end(), data, data + n);
    return b;
}
inline Bytes MakeAck(unsigned block) {
    Bytes b;
    PutU16(b, kACK);
    PutU16(b, block & 0xffff);
    return b;
}
inline Bytes MakeError(unsigned code, const std::string& text) {
    Bytes b;
    PutU16(b, kERROR);
    PutU16(b, code);
    PutStr(b, text);
    return b;
}
inline Bytes MakeOack(const Options& opts) {
    Bytes b;
    PutU16(b, kOACK);
    for (auto& [k, v] : opts) {
        PutStr(b, k);
        PutStr(b, v);
    }
    return b;
}

struct Request {
    int op = 0;
    std::string path, mode;
    Options options;
};

// Parses a read or write request (opcode onwards). False when it is malformed:
// a missing terminator, or an option without its value.
inline bool ParseRequest(const uint8_t* p, size_t n, Request* out) {
    if (n < 2) return false;
    out->op = int(GetU16(p));
    std::vector<std::string> fields;
    size_t i = 2;
    while (i < n) {
        const void* z = std::memchr(p + i, 0, n - i);
        if (!z) return false;
        size_t end = size_t(static_cast<const uint8_t*>(z) - p);
        fields.emplace_back(reinterpret_cast<const char*>(p + i), end - i);
        i = end + 1;
    }
    if (fields.size() < 2 || fields.size() % 2 != 0) return false;
    out->path = fields[0];
    out->mode = fields[1];
    out->options.clear();
    for (size_t f = 2; f + 1 < fields.size(); f += 2)
        out->options.emplace_back(fields[f], fields[f + 1]);
    return true;
}

inline std::string IpText(uint32_t ip) {
    return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." +
           std::to_string((ip >> 8) & 255) + "." + std::to_string(ip & 255);
}

// Strict dotted quad: four decimal parts 0..255, nothing else.
inline bool ParseIp(const std::string& s, uint32_t* ip) {
    uint32_t v = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        size_t start = i;
        unsigned part = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 3)
            part = part * 10 + unsigned(s[i++] - '0');
        if (i == start || part > 255) return false;
        v = (v << 8) | part;
        ++parts;
        if (parts < 4) {
            if (i >= s.size() || s[i] != '.') return false;
            ++i;
        }
    }
    if (i != s.size()) return false;
    *ip = v;
    return true;
}

inline bool IsLoopback(uint32_t ip) {
    return (ip >> 24) == 127;
}

}  // namespace simdev
