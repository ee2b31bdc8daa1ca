// kvmuxholder: owns a shared UDP port in a process of its own, so that tests can
// make the owner of the port go away. Prints "ready" once it serves, "busy" when
// the port or the name is taken; serves until standard input ends or it is killed.
//   kvmuxholder PORT NAME

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "devlink/UdpMux.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kvmuxholder PORT NAME\n");
        return 2;
    }
    const long port = std::strtol(argv[1], nullptr, 10);
    if (port <= 0 || port > 65535) return 2;
    CUdpMuxServer server(2048);
    if (server.Start(u16(port), argv[2]) != 0) {
        std::printf("busy\n");
        std::fflush(stdout);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
    return 0;
}
