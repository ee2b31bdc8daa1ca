#pragma once
// Counts the datagrams the device link exchanges with peers outside the process's
// own addresses, through the socket calls every CUdpSocket makes. A test on the
// virtual clock sets them against the simulated devices' counts ("traffic"): while
// they differ, an answer is still on its way, and moving the clock would make a
// device that a loaded machine slowed down look silent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>

#include "devlink/UdpSocket.h"

namespace testtftp {

class UdpTally : public LUdpSysCalls {
public:
    // self: the test's own address (host order), whose broadcasts come back to it.
    explicit UdpTally(u32 self) : fSelf(self) { InstallUdpSysCalls(this); }
    ~UdpTally() override { InstallUdpSysCalls(nullptr); }
    UdpTally(const UdpTally&) = delete;
    UdpTally& operator=(const UdpTally&) = delete;

    long SendTo(int fd, const void* data, u32 length, const void* to, u32 toLength) override {
        const long n = LUdpSysCalls::SendTo(fd, data, length, to, toLength);
        if (n >= 0 && Counts(to)) ++fSent;
        return n;
    }
    long RecvFrom(int fd, void* buffer, u32 size, void* from, u32* fromLength) override {
        const long n = LUdpSysCalls::RecvFrom(fd, buffer, size, from, fromLength);
        if (n >= 0 && Counts(from)) ++fReceived;
        return n;
    }
    long RecvMsg(int fd, void* msg) override {
        const long n = LUdpSysCalls::RecvMsg(fd, msg);
        if (n >= 0 && Counts(static_cast<msghdr*>(msg)->msg_name)) ++fReceived;
        return n;
    }

    u64 Sent() const { return fSent; }
    u64 Received() const { return fReceived; }
    // Datagrams given up for lost (sent to a socket closed meanwhile), so that
    // later comparisons do not wait for them again.
    u64 lostSent = 0, lostReceived = 0;

private:
    bool Counts(const void* address) const {
        const auto* sa = static_cast<const sockaddr_in*>(address);
        if (!sa || sa->sin_family != AF_INET) return false;
        const u32 ip = ntohl(sa->sin_addr.s_addr);
        return ip >> 24 != 127 && ip != fSelf;
    }
    const u32 fSelf;
    std::atomic<u64> fSent{0}, fReceived{0};
};

}  // namespace testtftp
