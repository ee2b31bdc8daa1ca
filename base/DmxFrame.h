#pragma once
// DMX512 frames: slot 0 is the start code, slots 1..512 the channels.

#include "base/Types.h"

constexpr u32 kDmxSlots = 513;

struct DmxFrame {
    u16 count = 0;
    u8 owner = 0;  // the owner's byte; the frame operations leave it alone
    u8 slots[kDmxSlots] = {};

    // Raises the slot count to min(n, 513), zero-filling the added slots.
    void Extend(u32 n);
    // Sets the slot count to min(n, 513); slots cut off are zero-filled.
    void SetCount(u32 n);
};

struct CDmxFrameBuf {
    u32 count = 1;
    u8 slots[kDmxSlots] = {};

    CDmxFrameBuf() = default;
    CDmxFrameBuf(const CDmxFrameBuf& other) { Assign(other); }
    CDmxFrameBuf& operator=(const CDmxFrameBuf& other) {
        Assign(other);
        return *this;
    }
    void Assign(const CDmxFrameBuf& other);
    bool Equals(const CDmxFrameBuf& other) const;
    bool operator==(const CDmxFrameBuf& other) const { return Equals(other); }
};
