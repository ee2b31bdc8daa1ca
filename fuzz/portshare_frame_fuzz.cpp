// Feeds arbitrary bytes through a real local stream into the port-sharing frame
// reader, as another local process could, and checks every frame it hands out
// against a plain reading of the same bytes: no frame invented, lost, cut or
// read past, however the lengths lie.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "devlink/LocalSocket.h"

namespace {

struct Ends {
    CLocalStream listener{nullptr, nullptr};
    CLocalStream writer{nullptr, nullptr};
    CFrameChannel reader{nullptr, nullptr};
    char name[64];
};

Ends& Shared() {
    static Ends* ends = [] {
        auto* e = new Ends;
        std::snprintf(e->name, sizeof e->name, "kvfuzzframes%d", int(getpid()));
        if (e->listener.Listen(e->name) != 0) __builtin_trap();
        return e;
    }();
    return *ends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Stays within one stream buffer, so the writer never has to wait for the reader.
    if (size > 70000) return 0;
    Ends& e = Shared();
    e.writer.Close();
    e.reader.Close();
    if (e.writer.Connect(e.name) == 1) __builtin_trap();
    // The connection is pending on the listener at once for a local stream.
    while (e.listener.Accept(nullptr, nullptr, &e.reader.Stream()) != 0) {
    }
    u32 sent = 0;
    while (sent < size) {
        const i32 n = e.writer.Send(data + sent, u32(size - sent));
        if (n < 0) __builtin_trap();
        sent += u32(n);
    }
    shutdown(e.writer.Descriptor(), SHUT_WR);

    size_t at = 0;
    for (;;) {
        // The frame the bytes hold next: empty frames are skipped.
        while (at + 8 <= size && (data[at + 6] << 8 | data[at + 7]) == 0) at += 8;
        const bool whole = at + 8 <= size && at + 8 + (data[at + 6] << 8 | data[at + 7]) <= size;
        LNetAddr from;
        const u8* payload = nullptr;
        const i32 n = e.reader.ReadFrame(&from, &payload);
        if (!whole) {
            // End of stream with a partial frame or nothing left: an error, never a frame.
            if (n > 0) __builtin_trap();
            break;
        }
        const u8* h = data + at;
        const u32 length = u32(h[6]) << 8 | h[7];
        if (n != i32(length)) __builtin_trap();
        const u32 ip = u32(h[0]) << 24 | u32(h[1]) << 16 | u32(h[2]) << 8 | h[3];
        if (from.IPv4Address() != ip || from.port != (u32(h[4]) << 8 | h[5])) __builtin_trap();
        if (std::memcmp(payload, h + 8, length) != 0) __builtin_trap();
        e.reader.Consume();
        at += 8 + length;
    }
    return 0;
}
