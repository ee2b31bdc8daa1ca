// Feeds arbitrary datagrams to the ArtDmx check and reads every byte it hands
// out, so that a length that lies is caught by the sanitizers.
#include <cstddef>
#include <cstring>
#include <vector>

#include "devlink/ArtDmx.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // A copy of exactly the datagram's size: a read past it is a heap overflow.
    std::vector<u8> datagram(data, data + size);
    ArtDmxPacket p;
    if (!ParseArtDmx(datagram.data(), u32(size), &p)) return 0;
    if (p.port > 0x7FFF) __builtin_trap();
    if (p.data < datagram.data() || p.data + p.length > datagram.data() + size) __builtin_trap();
    u32 sum = 0;
    for (u32 i = 0; i < p.length; ++i) sum += p.data[i];
    volatile u32 sink = sum;
    (void)sink;
    return 0;
}
