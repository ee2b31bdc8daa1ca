#include "devlink/ArtDmx.h"

#include <cstring>

bool ParseArtDmx(const u8* bytes, u32 size, ArtDmxPacket* out) {
    // The data length sits in bytes 16-17: nothing shorter than the header may be
    // read, and the sum is taken in 32 bits so that a length near 65535 cannot
    // wrap round and pass a short datagram.
    if (!bytes || size < kArtDmxHeader) return false;
    if (std::memcmp(bytes, "Art-Net", 8) != 0) return false;  // with its zero byte
    const u32 opcode = u32(bytes[8]) | u32(bytes[9]) << 8;
    if (opcode != kArtDmxOpcode) return false;
    const u32 length = u32(bytes[16]) << 8 | u32(bytes[17]);
    if (length + kArtDmxHeader > size) return false;
    // Bit 15 is no part of a port address; kept, it would make a second entry
    // that shows as the same universe.
    out->port = u16((u32(bytes[14]) | u32(bytes[15]) << 8) & 0x7FFF);
    out->length = length;
    out->data = bytes + kArtDmxHeader;
    return true;
}
