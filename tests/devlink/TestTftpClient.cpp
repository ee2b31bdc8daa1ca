#include "tests/devlink/TestTftpClient.h"

#include "tools/testkit/WireGate.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testtftp {

static void U16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
static void Str(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

Bytes MakeRequest(int op, const std::string& path, const Options& opts, const std::string& mode) {
    Bytes b;
    U16(b, unsigned(op));
    Str(b, path);
    Str(b, mode);
    for (auto& [k, v] : opts) {
        Str(b, k);
        Str(b, v);
    }
    return b;
}
Bytes MakeData(unsigned block, const Bytes& payload) {
    Bytes b;
    U16(b, kDATA);
    U16(b, block & 0xffff);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}
Bytes MakeAck(unsigned block) {
    Bytes b;
    U16(b, kACK);
    U16(b, block & 0xffff);
    return b;
}

TestTftpClient::TestTftpClient(uint32_t bindIp, bool broadcast, uint16_t port) {
    fFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fFd < 0) return;
    int one = 1;
    if (broadcast) setsockopt(fFd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(bindIp);
    sa.sin_port = htons(port);
    socklen_t len = sizeof sa;
    if (bind(fFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        getsockname(fFd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        close(fFd);
        fFd = -1;
        return;
    }
    fPort = ntohs(sa.sin_port);
}

TestTftpClient::~TestTftpClient() {
    if (fFd >= 0) close(fFd);
}

bool TestTftpClient::Send(uint32_t ip, uint16_t port, const Bytes& tftp,
                          std::optional<uint32_t> wrapTarget) {
    Bytes wire;
    if (wrapTarget) {
        wire = {'Y', 'T', 'F', 'W'};
        U16(wire, *wrapTarget >> 16);
        U16(wire, *wrapTarget & 0xffff);
    }
    wire.insert(wire.end(), tftp.begin(), tftp.end());
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(ip);
    sa.sin_port = htons(port);
    const bool sent = sendto(fFd, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&sa),
                             sizeof sa) == ssize_t(wire.size());
    // A peer of the simulated devices like the link's own sockets: counted for the
    // virtual clock's wait.
    if (sent) WireGate::NoteSent(ip);
    return sent;
}

std::optional<Datagram> TestTftpClient::Recv(int timeoutMs) {
    pollfd p{fFd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    uint8_t buf[70000];
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n = recvfrom(fFd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0) return std::nullopt;
    Datagram d;
    d.srcIp = ntohl(sa.sin_addr.s_addr);
    WireGate::NoteReceived(d.srcIp);
    d.srcPort = ntohs(sa.sin_port);
    size_t off = 0;
    if (n >= 9 && std::memcmp(buf, "YTFW", 4) == 0) {
        d.wrapped = true;
        d.target =
            (uint32_t(buf[4]) << 24) | (uint32_t(buf[5]) << 16) | (uint32_t(buf[6]) << 8) | buf[7];
        off = 8;
    }
    d.raw.assign(buf + off, buf + n);
    if (d.raw.size() >= 2) d.op = (d.raw[0] << 8) | d.raw[1];
    if (d.raw.size() >= 4 && (d.op == kDATA || d.op == kACK || d.op == kERROR))
        d.block = (d.raw[2] << 8) | d.raw[3];
    if (d.op == kDATA) d.payload.assign(d.raw.begin() + 4, d.raw.end());
    if (d.op == kOACK) {
        std::vector<std::string> strs;
        std::string cur;
        for (size_t i = 2; i < d.raw.size(); ++i) {
            if (d.raw[i] == 0) {
                strs.push_back(cur);
                cur.clear();
            } else {
                cur += char(d.raw[i]);
            }
        }
        for (size_t i = 0; i + 1 < strs.size(); i += 2)
            d.options.emplace_back(strs[i], strs[i + 1]);
    }
    return d;
}

TestTftpClient::Result TestTftpClient::Read(uint32_t ip, uint16_t port, const std::string& path,
                                            const Options& opts, std::optional<uint32_t> wrapTarget,
                                            int timeoutMs) {
    Result r;
    if (!Send(ip, port, MakeRequest(kRRQ, path, opts), wrapTarget)) {
        r.why = "send failed";
        return r;
    }
    size_t blksize = 512;
    unsigned expected = 1;
    bool havePeer = false;
    for (;;) {
        auto d = Recv(timeoutMs);
        if (!d) {
            r.why = "timeout waiting for block " + std::to_string(expected);
            return r;
        }
        if (havePeer && (d->srcIp != r.peerIp || d->srcPort != r.peerPort)) continue;
        if (!havePeer) {
            havePeer = true;
            r.peerIp = d->srcIp;
            r.peerPort = d->srcPort;
        }
        r.allWrapped = r.allWrapped && d->wrapped;
        auto reply = [&](const Bytes& b) {
            Send(d->srcIp, d->srcPort, b,
                 wrapTarget ? std::optional<uint32_t>(d->srcIp) : std::nullopt);
        };
        if (d->op == kERROR) {
            r.errorCode = d->block;
            r.why = "error " + std::to_string(d->block);
            return r;
        }
        if (d->op == kOACK) {
            if (expected != 1) continue;
            r.oack = d->options;
            for (auto& [k, v] : d->options)
                if (k == "blksize") blksize = size_t(std::stoul(v));
            reply(MakeAck(0));
            continue;
        }
        if (d->op != kDATA) continue;
        reply(MakeAck(d->block));  // duplicates are acknowledged again, like the application does
        if (d->block != (expected & 0xffff)) continue;
        r.blocks.push_back(d->block);
        r.sizes.push_back(d->payload.size());
        r.data.insert(r.data.end(), d->payload.begin(), d->payload.end());
        ++expected;
        if (d->payload.size() < blksize) {
            r.ok = true;
            return r;
        }
    }
}

}  // namespace testtftp
