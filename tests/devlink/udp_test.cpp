// Network addresses and the UDP socket.

#include <net/if.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "devlink/NetIf.h"
#include "devlink/UdpSocket.h"
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
    EXPECT_TRUE(a == b);
    b.port = 1;
    EXPECT_FALSE(a == b);
    EXPECT_EQ(LNetAddr::IPv4(0xC6120102, 7).IPv4Address(), 0xC6120102u);
}

struct Ready {
    std::atomic<int> calls{0};
    static void Fn(void* self, u32 direction) {
        if (direction == 0) static_cast<Ready*>(self)->calls.fetch_add(1);
    }
};

bool WaitFor(const std::atomic<int>& v, int want) {
    for (int i = 0; i < 400 && v.load() < want; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return v.load() >= want;
}

TEST(UdpSocket, ReceiveArmsOneCallbackPerEmptyRead) {
    Ready ready;
    CUdpSocket rx(&ready, Ready::Fn), tx(nullptr, nullptr);
    ASSERT_EQ(rx.Open(0, 0, 0, 0), 0u);
    const i32 fd = rx.Descriptor();
    EXPECT_EQ(rx.Open(0, 0, 0, 0), 0u);  // already open: nothing changes
    EXPECT_EQ(rx.Descriptor(), fd);
    ASSERT_EQ(tx.Open(0, 0, 0, 0), 0u);
    ASSERT_NE(rx.LocalPort(), 0);

    u8 buf[64];
    LNetAddr from;
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 0);
    EXPECT_EQ(tx.SendTo(LNetAddr::IPv4(0x7F000001, rx.LocalPort()), "hello", 5), 5);
    ASSERT_TRUE(WaitFor(ready.calls, 1));
    EXPECT_EQ(tx.SendTo(LNetAddr::IPv4(0x7F000001, rx.LocalPort()), "again", 5), 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ready.calls.load(), 1);
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 5);
    EXPECT_EQ(std::memcmp(buf, "hello", 5), 0);
    EXPECT_EQ(from.IPv4Address(), 0x7F000001u);
    EXPECT_EQ(from.port, tx.LocalPort());
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 5);
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), 0);
    EXPECT_EQ(ready.calls.load(), 1);

    // Packet information names the destination and the interface.
    ASSERT_TRUE(rx.EnablePacketInfo(true));
    tx.SendTo(LNetAddr::IPv4(0x7F000001, rx.LocalPort()), "x", 1);
    ASSERT_TRUE(WaitFor(ready.calls, 2));
    u32 ifIndex = 0, dst = 0;
    EXPECT_EQ(rx.RecvMsg(&from, buf, sizeof buf, &ifIndex, &dst), 1);
    EXPECT_EQ(dst, 0x7F000001u);
    EXPECT_NE(ifIndex, 0u);

    rx.Close();
    EXPECT_FALSE(rx.IsOpen());
    EXPECT_EQ(rx.SendTo(LNetAddr::IPv4(0x7F000001, 9), "x", 1), -1);
    EXPECT_EQ(rx.RecvFrom(&from, buf, sizeof buf), -1);
}

TEST(UdpSocket, BroadcastNeedsNoFurtherPermission) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build a network namespace";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("udp"), "");
    ASSERT_TRUE(net.InNs(net.AppNs(), [] {
        CUdpSocket s(nullptr, nullptr);
        ASSERT_EQ(s.Open(0, 0, 0, 0), 0u);
        EXPECT_EQ(s.SendTo(LNetAddr::IPv4(0xFFFFFFFF, 61007), "poll", 4), 4);
        // Bound to an interface, and the binding shows on the socket.
        const u32 eth0 = if_nametoindex("eth0");
        EXPECT_TRUE(s.BindToInterface(eth0));
        EXPECT_EQ(s.SendTo(LNetAddr::IPv4(0xFFFFFFFF, 61007), "poll", 4), 4);
        // The interface walk sees the namespace's address.
        bool found = false;
        for (const LIPv4AndMask& am : InterfaceIPv4Addresses(eth0))
            found = found || (am.address == 0xC6120102u && am.mask == 0xFFFFFF00u);
        EXPECT_TRUE(found);
    }));
}

}  // namespace
