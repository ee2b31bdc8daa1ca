#pragma once
// The check of an Art-Net DMX datagram (ArtDmx) as received from the network:
// anyone on the network can send anything to port 6454, so every length is
// checked against the datagram before a byte of it is read.

#include "base/Types.h"

constexpr u32 kArtDmxHeader = 18;  // header bytes before the channel data
constexpr u32 kArtDmxMaxChannels = 512;
constexpr u16 kArtDmxOpcode = 0x5000;

struct ArtDmxPacket {
    u16 port = 0;              // 15-bit port address: net 8-14, sub-net 4-7, universe 0-3
    u32 length = 0;            // data length as sent (may exceed 512)
    const u8* data = nullptr;  // length bytes inside the datagram
};

// True for an ArtDmx datagram whose data lie wholly inside it; *out then points
// into bytes.
bool ParseArtDmx(const u8* bytes, u32 size, ArtDmxPacket* out);
