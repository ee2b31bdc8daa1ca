#pragma once
// Loopback UDP endpoints for the port-sharing tests and benchmark.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A UDP port nobody uses right now.
inline u16 FreeUdpPort() {
    u16 port = 0;
    close(BindLoopbackUdp(&port));
    return port;
}

}  // namespace portsharetest
