// Network addresses and the UDP socket, with the system's calls and with failing ones.

#include <net/if.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "devlink/NetIf.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/NetnsHarness.h"

using namespace testtftp;

namespace {

TEST(NetAddr, IPv4ComparesOnlyItsFourBytes) {
    LNetAddr a = LNetAddr::IPv4(0x7F000001, 61007), b = a;
    b.address[9] = 0x55;
    EXPECT_TRUE(a == b);
    a.family = b.family = 1;
    EXPECT_FALSE(a == b);
    b = a;
    b.port = 1;
    EXPECT_FALSE(a == b);
    EXPECT_EQ(LNetAddr::IPv4(0xC6120102, 7).IPv4Address(), 0xC6120102u);
}

struct Ready {
    std::atomic<int> calls[2] = {0, 0};
    static void Fn(void* self, u32 direction) { static_cast<Ready*>(self)->calls[direction & 1]++; }
    // Callbacks come on the reactor's thread: no run loop is involved.
    bool WaitFor(int want, u32 direction = 0) {
        for (int i = 0; i < 2000 && calls[direction].load() < want; ++i) SleepMs(1);
        return calls[direction].load() >= want;
    }
};

// Two rounds of a probe socket through the reactor: a callback still due to us
// would have come first.
void Quiet() {
    Ready r;
    CUdpSocket probe(&r, Ready::Fn);
    u8 b[8];
    LNetAddr from;
    ASSERT_EQ(probe.Open(0, 0, 0, 0), 0u);
    for (int round = 1; round <= 2; ++round) {
        EXPECT_EQ(probe.RecvFrom(&from, b, sizeof b), 0);
        probe.SendTo(LNetAddr::IPv4(0x7F000001, probe.LocalPort()), "q", 1);
        ASSERT_TRUE(r.WaitFor(round));
        EXPECT_EQ(probe.RecvFrom(&from, b, sizeof b), 1);
    }
}

TEST(UdpSocket, ReceiveArmsOneCallbackPerEmptyRead) {
    Ready ready;
    CUdpSocket rx(&ready, Ready::Fn), tx(nullptr, nullptr);
    ASSERT_EQ(rx.Open(0, 0, 0, 0), 0u);
    const i32 fd = rx.Descriptor();
    EXPECT_EQ(rx.Open(0, 0, 0, 0), 0u);  // already open: nothing changes
    EXPECT_EQ(rx.Descriptor(), fd);
    ASSERT_EQ(tx.Open(0, 0, 0, 0), 0u);
    const LNetAddr to = LNetAddr::IPv4(0x7F000001, rx.LocalPort());
    u8 buf[64];
    LNetAddr from;
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 0);
    EXPECT_EQ(tx.SendTo(to, "hello", 5), 5);
    ASSERT_TRUE(ready.WaitFor(1));
    EXPECT_EQ(tx.SendTo(to, "again", 5), 5);
    Quiet();
    EXPECT_EQ(ready.calls[0].load(), 1);
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 5);
    EXPECT_EQ(std::memcmp(buf, "hello", 5), 0);
    EXPECT_EQ(from, LNetAddr::IPv4(0x7F000001, tx.LocalPort()));
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 5);
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 0);

    // Packet information names the destination and the interface.
    ASSERT_TRUE(rx.EnablePacketInfo(true));
    tx.SendTo(to, "x", 1);
    ASSERT_TRUE(ready.WaitFor(2));
    u32 ifIndex = 0, dst = 0;
    EXPECT_EQ(rx.RecvMsg(&from, buf, sizeof buf, &ifIndex, &dst), 1);
    EXPECT_EQ(dst, 0x7F000001u);
    EXPECT_NE(ifIndex, 0u);

    rx.Close();
    EXPECT_FALSE(rx.IsOpen());
    EXPECT_EQ(rx.SendTo(to, "x", 1), -1);
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), -1);
}

// Empty datagrams are read past, by both reads; a long run of them ends the read
// with the interest armed, and the callback comes at once for what is left.
TEST(UdpSocket, EmptyDatagramsNeverReadAsNothingWaiting) {
    Ready ready;
    CUdpSocket rx(&ready, Ready::Fn), tx(nullptr, nullptr);
    ASSERT_EQ(rx.Open(0, 0, 0, 0), 0u);
    ASSERT_EQ(tx.Open(0, 0, 0, 0), 0u);
    ASSERT_TRUE(rx.EnablePacketInfo(true));
    const LNetAddr to = LNetAddr::IPv4(0x7F000001, rx.LocalPort());
    u8 buf[8];
    LNetAddr from;
    u32 ifIndex = 0, dst = 0;
    const struct {
        u32 empties;
        bool recvMsg;
        int callbacks;  // before the datagram is read
    } kRuns[] = {{1, false, 0}, {63, false, 0}, {1, true, 0}, {64, false, 1}, {150, true, 2}};
    for (const auto& r : kRuns) {
        for (u32 i = 0; i < r.empties; ++i) ASSERT_EQ(tx.SendTo(to, "", 0), 0);
        ASSERT_EQ(tx.SendTo(to, "abc", 3), 3);
        Quiet();  // everything has arrived
        const int before = ready.calls[0].load();
        i32 n;
        for (int round = 0;; ++round) {
            n = r.recvMsg ? rx.RecvMsg(&from, buf, sizeof buf, &ifIndex, &dst)
                          : rx.RecvFrom(&from, buf, sizeof buf);
            if (n != 0) break;
            ASSERT_TRUE(ready.WaitFor(before + round + 1)) << r.empties;
        }
        EXPECT_EQ(n, 3) << r.empties;
        EXPECT_EQ(std::memcmp(buf, "abc", 3), 0);
        EXPECT_EQ(ready.calls[0].load() - before, r.callbacks) << r.empties;
        EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 0);
        ASSERT_EQ(tx.SendTo(to, "q", 1), 1);
        ASSERT_TRUE(ready.WaitFor(before + r.callbacks + 1));
        EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 1);
    }
}

// What each failure of the system's calls comes out as.
TEST(UdpSocket, FailingSystemCalls) {
    enginetest::FakeSysCalls calls;
    Ready ready;
    CUdpSocket s(&ready, Ready::Fn);
    calls.bind = {EADDRINUSE, 1};
    EXPECT_EQ(s.Open(61007, 0, 0, 0), 1u);
    EXPECT_FALSE(s.IsOpen());
    ASSERT_EQ(s.Open(0, 0, 0, 0), 0u);
    const LNetAddr self = LNetAddr::IPv4(0x7F000001, s.LocalPort());
    calls.send = {EPERM, 1};
    EXPECT_EQ(s.SendTo(self, "x", 1), -1);
    // A full send queue waits for the socket to become writable.
    for (int err : {EAGAIN, ENOBUFS}) {
        const int before = ready.calls[1].load();
        calls.send = {err, 1};
        EXPECT_EQ(s.SendTo(self, "x", 1), 0) << err;
        EXPECT_TRUE(ready.WaitFor(before + 1, 1)) << err;
    }
    u8 b[4];
    LNetAddr from;
    calls.recv = {ECONNREFUSED, 1};
    EXPECT_EQ(s.RecvFrom(&from, b, sizeof b), -1);
    EXPECT_EQ(s.RecvFrom(&from, b, sizeof b), 0);  // nothing waiting: read interest armed
    EXPECT_EQ(s.SendTo(self, "y", 1), 1);
    ASSERT_TRUE(ready.WaitFor(1));
    EXPECT_EQ(s.RecvFrom(&from, b, sizeof b), 1);
    EXPECT_EQ(b[0], 'y');
}

TEST(UdpSocket, BroadcastNeedsNoFurtherPermission) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build a network namespace";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("udp"), "");
    ASSERT_TRUE(net.InNs(net.AppNs(), [] {
        CUdpSocket s(nullptr, nullptr);
        ASSERT_EQ(s.Open(0, 0, 0, 0), 0u);
        EXPECT_EQ(s.SendTo(LNetAddr::IPv4(0xFFFFFFFF, 61007), "poll", 4), 4);
        const u32 eth0 = if_nametoindex("eth0");
        EXPECT_TRUE(s.BindToInterface(eth0));
        EXPECT_EQ(s.SendTo(LNetAddr::IPv4(0xFFFFFFFF, 61007), "poll", 4), 4);
        bool found = false;
        for (const LIPv4AndMask& am : InterfaceIPv4Addresses(eth0))
            found = found || (am.address == 0xC6120102u && am.mask == 0xFFFFFF00u);
        EXPECT_TRUE(found) << "the interface walk sees the namespace's address";
    }));
}

}  // namespace
