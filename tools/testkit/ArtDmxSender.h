#pragma once
// A loopback Art-Net DMX sender for the monitor's tests and benchmark: ArtDmx
// datagrams from any 127.x.x.x source address to 127.0.0.1.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "base/Types.h"

namespace artdmxtest {

// One ArtDmx datagram: universe is the 15-bit port address.
inline std::vector<u8> Datagram(u16 universe, const u8* levels, u32 count, u8 sequence = 0) {
    std::vector<u8> d = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, sequence, 0};
    d.push_back(u8(universe & 0xFF));
    d.push_back(u8(universe >> 8));
    d.push_back(u8(count >> 8));
    d.push_back(u8(count & 0xFF));
    d.insert(d.end(), levels, levels + count);
    return d;
}

class ArtDmxSender {
public:
    // source: a loopback address (host order); nothing else is accepted.
    explicit ArtDmxSender(u32 source = 0x7F000001) {
        if ((source >> 24) != 127) return;
        fFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(source);
        if (fFd >= 0 && bind(fFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            close(fFd);
            fFd = -1;
        }
    }
    ~ArtDmxSender() {
        if (fFd >= 0) close(fFd);
    }
    ArtDmxSender(const ArtDmxSender&) = delete;
    ArtDmxSender& operator=(const ArtDmxSender&) = delete;

    bool Ok() const { return fFd >= 0; }
    bool SendRaw(u16 port, const std::vector<u8>& datagram) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return fFd >= 0 &&
               sendto(fFd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                      sizeof to) == ssize_t(datagram.size());
    }
    bool Send(u16 port, u16 universe, const u8* levels, u32 count, u8 sequence = 0) {
        return SendRaw(port, Datagram(universe, levels, count, sequence));
    }

private:
    int fFd = -1;
};

}  // namespace artdmxtest
