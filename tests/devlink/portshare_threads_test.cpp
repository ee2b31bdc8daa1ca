// The port-sharing server under concurrent use: its worker, the reactor thread,
// reader threads per client, clients coming and going while datagrams flow.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/Threads.h"
#include "devlink/LocalSocket.h"
#include "devlink/UdpMux.h"
#include "services/Services.h"
#include "tools/testkit/LoopbackUdp.h"

using portsharetest::BindLoopbackUdp;
using portsharetest::FreeUdpPort;

namespace {

// A client on its own thread: counts frames and checks their numbering.
struct Reader {
    LEventFlag wake{0};
    CFrameChannel channel{this, OnReady};
    std::atomic<u32> frames{0};
    std::atomic<u32> outOfOrder{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> failed{false};

    static void OnReady(void* self, u32) { static_cast<Reader*>(self)->wake.Set(); }

    void Run() {
        u32 expect = 0;
        while (!stop.load()) {
            LNetAddr from;
            const u8* p;
            const i32 n = channel.ReadFrame(&from, &p);
            if (n < 0) {
                failed = true;
                return;
            }
            if (n == 0) {
                wake.Wait();
                continue;
            }
            const u32 seq = u32(p[0]) << 8 | p[1];
            if (seq != expect) outOfOrder.fetch_add(1);
            expect = seq + 1;
            channel.Consume();
            frames.fetch_add(1);
        }
    }
};

TEST(PortShareThreads, ReadersOnTheirOwnThreadsGetEveryDatagramInOrder) {
    const u16 port = FreeUdpPort();
    const std::string name = "kvtest-thr-" + std::to_string(getpid());
    CUdpMuxServer server(2048);
    ASSERT_EQ(server.Start(port, name.c_str()), 0u);

    Reader r1, r2;
    ASSERT_EQ(r1.channel.Stream().Connect(name.c_str()), 0u);
    ASSERT_EQ(r2.channel.Stream().Connect(name.c_str()), 0u);
    for (int i = 0; i < 300 && server.ClientCount() < 2; ++i) SleepMs(5);
    ASSERT_EQ(server.ClientCount(), 2u);
    std::thread t1([&] { r1.Run(); }), t2([&] { r2.Run(); });

    // A client that keeps connecting and hanging up while traffic flows.
    std::atomic<bool> churnStop{false};
    std::thread churn([&] {
        while (!churnStop.load()) {
            CFrameChannel c(nullptr, [](void*, u32) {});
            c.Stream().Connect(name.c_str());
            SleepMs(2);
            c.Close();
        }
    });

    // And one that sends frames out through the server.
    u16 rxPort = 0;
    const int rx = BindLoopbackUdp(&rxPort);
    std::atomic<u32> writerConnect{9}, writerQueued{0};
    std::atomic<bool> writerDone{false};
    std::thread writer([&] {
        CFrameChannel c(nullptr, [](void*, u32) {});
        writerConnect = c.Stream().Connect(name.c_str());
        if (writerConnect != 0) return;
        const u8 payload[4] = {1, 2, 3, 4};
        for (int i = 0; i < 200; ++i) {
            if (c.QueueFrame(LNetAddr::IPv4(0x7F000001, rxPort), payload, 4) == 4) ++writerQueued;
            SleepMs(1);
        }
        for (int i = 0; i < 100 && c.RingFill(); ++i) {
            c.Flush();
            SleepMs(5);
        }
        // Stay connected until the datagrams are counted.
        while (!writerDone.load()) SleepMs(5);
    });

    const int tx = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const u32 total = 3000;
    std::vector<u8> d(530, 0x5A);
    for (u32 i = 0; i < total; ++i) {
        d[0] = u8(i >> 8);
        d[1] = u8(i);
        sendto(tx, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        // Stay within the server's receive buffer however slowly it runs: a datagram
        // the kernel drops is not the server's fault.
        int w = 0;
        while (w++ < 2000 && (i >= r1.frames.load() + 100 || i >= r2.frames.load() + 100))
            SleepMs(1);
        if (w > 2000) break;  // a reader stalled: the counts below tell
    }
    for (int i = 0; i < 500 && (r1.frames.load() < total || r2.frames.load() < total); ++i)
        SleepMs(10);
    churnStop = true;
    churn.join();
    r1.stop = r2.stop = true;
    r1.wake.Set();
    r2.wake.Set();
    t1.join();
    t2.join();

    EXPECT_EQ(r1.frames.load(), total);
    EXPECT_EQ(r2.frames.load(), total);
    EXPECT_EQ(r1.outOfOrder.load(), 0u);
    EXPECT_EQ(r2.outOfOrder.load(), 0u);
    EXPECT_FALSE(r1.failed.load());
    EXPECT_FALSE(r2.failed.load());

    timeval tv{0, 500000};
    setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    u32 got = 0;
    u8 buf[64];
    while (recv(rx, buf, sizeof buf, 0) == 4) ++got;
    writerDone = true;
    writer.join();
    EXPECT_EQ(writerConnect.load(), 0u);
    EXPECT_EQ(writerQueued.load(), 200u);
    EXPECT_EQ(got, 200u);
    close(rx);
    close(tx);
    r1.channel.Close();
    r2.channel.Close();
    server.Stop();
    EXPECT_FALSE(server.IsServing());
}

}  // namespace
