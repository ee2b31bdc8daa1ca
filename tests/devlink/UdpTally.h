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
#include <chrono>
#include <string>

#include "devlink/UdpSocket.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/devlink/WireCalls.h"

namespace testtftp {

class UdpTally : public WireCountingCalls {
public:
    // self: the test's own address (host order), whose broadcasts come back to it.
    explicit UdpTally(u32 self) : fSelf(self) {}
    UdpTally(const UdpTally&) = delete;
    UdpTally& operator=(const UdpTally&) = delete;

    long SendTo(int fd, const void* data, u32 length, const void* to, u32 toLength) override {
        const long n = WireCountingCalls::SendTo(fd, data, length, to, toLength);
        if (n >= 0 && Counts(to)) ++fSent;
        return n;
    }
    long RecvFrom(int fd, void* buffer, u32 size, void* from, u32* fromLength) override {
        const long n = WireCountingCalls::RecvFrom(fd, buffer, size, from, fromLength);
        if (n >= 0 && Counts(from)) ++fReceived;
        return n;
    }
    long RecvMsg(int fd, void* msg) override {
        const long n = WireCountingCalls::RecvMsg(fd, msg);
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

// Runs the loop, the clock standing still, until every datagram this process sent
// has reached the simulated devices, every one they sent has been taken in here and
// none is held back on a delayed link: then nothing is on its way, and the clock
// may move however slowly a loaded machine runs the devices. A datagram that has
// not arrived within limitMs of real time (sent to a socket closed meanwhile) is
// given up for lost; false then.
template <class SimProcess>
bool SettleTraffic(CVirtualRunLoop& loop, SimProcess& sim, UdpTally& tally, u32 limitMs = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        loop.RunDue();
        const u64 sent = tally.Sent(), received = tally.Received();
        const std::string t = sim.Cmd("traffic");
        if (t.rfind("ok", 0) != 0) return false;
        const u64 in = std::stoull(SimProcess::Field(t, "in"));
        const u64 out = std::stoull(SimProcess::Field(t, "out"));
        const bool balanced = in + tally.lostSent >= sent && received + tally.lostReceived >= out &&
                              SimProcess::Field(t, "held") == "0";
        if (balanced && tally.Sent() == sent) return true;
        if (std::chrono::steady_clock::now() >= end) {
            if (sent > in + tally.lostSent) tally.lostSent = sent - in;
            if (out > received + tally.lostReceived) tally.lostReceived = out - received;
            return false;
        }
        loop.RunUntil([] { return false; }, 1);
    }
}

}  // namespace testtftp
