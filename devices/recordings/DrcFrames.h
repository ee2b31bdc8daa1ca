#pragma once
// The frames of a DMX recording (".drc"): a 10-byte header, then the slot
// values of one universe at one moment, run-packed, or as differences to the
// universe's previous frame, run- or bit-packed. The byte pair 00 00 marks the
// start of a frame and never occurs inside a payload.

#include "base/DmxFrame.h"
#include "base/Types.h"

enum : u8 {
    kDrcKeyDiff = 0xC0,   // key frame of a stream that also holds difference frames
    kDrcKeyOnly = 0x80,   // key frame of a stream without difference frames
    kDrcDiffBits = 0x60,  // difference frame, bit-packed
    kDrcDiffRuns = 0x40,  // difference frame, run-packed
};

constexpr u32 kDrcHeaderLen = 10;
constexpr u32 kDrcKeyIntervalMs = 1000;
// The longest payload of up to 513 slots: the run packer adds one length byte
// per literal of 127 bytes, and one more literal for a lone zero at the end; the
// bit packer at most one byte per 7 bits with zero stuffing, plus its mode byte.
constexpr u32 kDrcMaxPayload = kDmxSlots + (kDmxSlots + 126) / 127 + 2;
constexpr u32 kDrcMaxFrame = kDrcHeaderLen + kDrcMaxPayload;

// The 10 header bytes; the count is cut to 513, the time to 28 bits, the port to 15.
void DrcWriteFrameHeader(u8 kind, u32 count, u32 timeMs, u32 port, u8* out);

// Run-packs n bytes (n up to 513) into out (room for kDrcMaxPayload); answers the length.
u32 DrcRunPack(const u8* in, u32 n, u8* out);

struct DrcPlan {
    u8 mode = 0;   // 0 all 0..127, 1 all -127..0, 2 mixed signs
    u8 width = 0;  // bits per difference, 0..7
    bool packable = false;
    u32 estimate = 0;  // 1 + ceil(n x width / 8), without stuffed bits
    u32 changes = 0;   // positions whose value differs from the one before (0 before the first)
    u32 stretch = 0;   // longest run without a change, less one
};

// Plans the bit packing of n differences (bytes read as signed).
DrcPlan DrcDeltaPlan(const u8* diffs, u32 n);
// Bit-packs n differences (n up to 513) by a packable plan into out (room for
// kDrcMaxPayload); answers the length.
u32 DrcDeltaPack(const DrcPlan& plan, const u8* diffs, u32 n, u8* out);

// The frames of one universe of a recording.
class CDrcFrameEncoder {
public:
    CDrcFrameEncoder() { Init(0); }
    void Init(u32 port);
    // Writes one frame of the slots (count cut to 513) into out, at most room
    // bytes; answers its length, header included. A frame that does not fit is
    // not written (0) and leaves the encoder as it was.
    u32 Encode(bool allowDiff, u32 timeMs, const u8* slots, u32 count, u8* out, u32 room);

    u32 Port() const { return fPort; }
    u8 PrevKind() const { return fPrevKind; }

private:
    u32 fPort = 0;
    u32 fLastKeyMs = 0;
    u32 fPrevCount = 0;  // 0: no frame yet
    u8 fPrevKind = 0;
    u8 fPrev[kDmxSlots] = {};
};
