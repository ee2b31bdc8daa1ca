#pragma once
// Loopback UDP endpoints for the port-sharing tests and benchmark.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "base/Types.h"

namespace portsharetest {

// A UDP socket bound to 127.0.0.1 on a port the system picks; *port gets it.
inline int BindLoopbackUdp(u16* port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    *port = ntohs(sa.sin_port);
    return fd;
}

// Binds the wildcard address on port (0: the system picks); answers the port,
// or 0 when it is taken on any address.
inline u16 TryBindAnyUdp(u16 port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons(port);
    socklen_t len = sizeof sa;
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
                    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0;
    close(fd);
    return ok ? ntohs(sa.sin_port) : 0;
}

// Whether some IPv4 UDP socket on this machine is bound to port, as the kernel's
// table says. Unlike a trial bind it takes nothing: a server binding the port at
// that moment is never turned away by the check meant to see it serving.
inline bool UdpPortBound(u16 port) {
    FILE* f = fopen("/proc/net/udp", "r");
    if (!f) return false;
    char line[512];
    bool bound = false;
    if (fgets(line, sizeof line, f)) {  // the heading
        unsigned local;
        while (!bound && fgets(line, sizeof line, f))
            bound = sscanf(line, " %*d: %*x:%x", &local) == 1 && local == port;
    }
    fclose(f);
    return bound;
}

// A UDP port nobody uses right now, on any address, for a server under test.
// Free on the wildcard: the servers bind it, and a port free on 127.0.0.1 alone
// may be held by a simulated device on 127.0.0.2. Below the kernel's ephemeral
// range: a port the kernel handed out and took back could be handed to a socket
// of a test running alongside before the server binds it.
inline u16 FreeUdpPort() {
    // A random start: processes started together, of one suite or two, would
    // otherwise walk the same ports.
    const unsigned first = 20000, count = 12000;
    const unsigned start = std::random_device{}();
    for (unsigned i = 0; i < count; ++i) {
        const u16 port = u16(first + (start + i) % count);
        if (TryBindAnyUdp(port) == port) return port;
    }
    return TryBindAnyUdp(0);
}

}  // namespace portsharetest
