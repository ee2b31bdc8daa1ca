// Port sharing end to end on loopback: local stream sockets, the framed channel,
// the server and its clients, and the takeover when the owning process goes.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <poll.h>

#include "devlink/LocalSocket.h"
#include "devlink/UdpMux.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/TestTftpClient.h"
#include "tools/testkit/LoopbackUdp.h"

using enginetest::RunUntil;
using portsharetest::FreeUdpPort;

namespace {

std::string UniqueName(const char* what) {
    static int n = 0;
    return std::string("kvtest-") + what + "-" + std::to_string(getpid()) + "-" +
           std::to_string(++n);
}

// A plain UDP socket on 127.0.0.1, outside the code under test.
struct UdpSender : testtftp::TestTftpClient {
    void Send(u16 port, const std::vector<u8>& data) {
        ASSERT_TRUE(TestTftpClient::Send(0x7F000001, port, data));
    }
};

// A raw client of a local name, outside the code under test.
int RawConnect(const std::string& name) {
    sockaddr_un sa;
    socklen_t len;
    if (!LocalSocketAddress(name.c_str(), &sa, &len)) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), len) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void Nop(void*, u32) {}

// Waits until fd has something to read (or its peer hung up), at most ms.
bool Readable(int fd, int ms = 3000) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

// A listener with one accepted channel whose other end is a raw socket.
struct AcceptedPair {
    std::string name = UniqueName("pair");
    CLocalStream listener{nullptr, Nop};
    CFrameChannel channel{nullptr, Nop};
    int raw = -1;

    bool Setup() {
        if (listener.Listen(name.c_str()) != 0) return false;
        raw = RawConnect(name);
        return raw >= 0 && Readable(listener.Descriptor()) &&
               listener.Accept(nullptr, Nop, &channel.Stream()) == 0;
    }
    ~AcceptedPair() {
        if (raw >= 0) close(raw);
    }
};

std::vector<u8> Frame(u32 ip, u16 port, const std::vector<u8>& payload) {
    // Sized once: g++ 12 at -O2 misreads growing an eight-byte vector as an
    // out-of-bounds copy.
    std::vector<u8> f(8 + payload.size());
    const u8 head[8] = {u8(ip >> 24),
                        u8(ip >> 16),
                        u8(ip >> 8),
                        u8(ip),
                        u8(port >> 8),
                        u8(port),
                        u8(payload.size() >> 8),
                        u8(payload.size())};
    std::copy(head, head + 8, f.begin());
    std::copy(payload.begin(), payload.end(), f.begin() + 8);
    return f;
}

TEST(LocalStream, ConnectToNobodyFailsAndKeepsNothing) {
    CLocalStream s(nullptr, Nop);
    EXPECT_EQ(s.Connect(UniqueName("nobody").c_str()), 1u);
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.State(), CLocalStream::kNone);
}

TEST(LocalStream, NamesArePrivateToTheUser) {
    sockaddr_un sa;
    socklen_t len;
    ASSERT_TRUE(LocalSocketAddress("svc", &sa, &len));
    const std::string uid = std::to_string(geteuid());
    if (sa.sun_path[0] == 0) {
        // Abstract: the name carries the user id.
        const std::string n(sa.sun_path + 1, len - offsetof(sockaddr_un, sun_path) - 1);
        EXPECT_EQ(n, "svc." + uid);
    } else {
        EXPECT_EQ(std::string(sa.sun_path).rfind(std::getenv("XDG_RUNTIME_DIR"), 0), 0u);
    }
    EXPECT_EQ(std::string(sa.sun_path).find("/var/tmp"), std::string::npos);
    EXPECT_FALSE(LocalSocketAddress(std::string(200, 'x').c_str(), &sa, &len));
}

// Runs fn as another user in a child process, which keeps what fn opened until
// this object goes; Start answers fn's one-character verdict.
struct OtherUser {
    pid_t pid = -1;
    int link[2] = {-1, -1};
    char Start(const std::function<char()>& fn) {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, link) != 0) return 0;
        pid = fork();
        if (pid == 0) {
            close(link[0]);
            char r = setuid(65534) == 0 ? fn() : '3';
            (void)!write(link[1], &r, 1);
            (void)!read(link[1], &r, 1);  // until the parent closes its end
            _exit(0);
        }
        close(link[1]);
        char r = 0;
        (void)!read(link[0], &r, 1);
        return r;
    }
    ~OtherUser() {
        close(link[0]);
        if (pid > 0) waitpid(pid, nullptr, 0);
    }
};

// Another user can neither be served nor serve us under our name.
TEST(LocalStream, OtherUsersAreRefusedBothWays) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user (setuid)";
    AcceptedPair p;
    ASSERT_EQ(p.listener.Listen(p.name.c_str()), 0u);
    sockaddr_un sa;
    socklen_t len;
    ASSERT_TRUE(LocalSocketAddress(p.name.c_str(), &sa, &len));
    OtherUser intruder;
    EXPECT_EQ(intruder.Start([&] {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        return connect(fd, reinterpret_cast<sockaddr*>(&sa), len) == 0 ? '1' : '0';
    }),
              '1');
    ASSERT_TRUE(Readable(p.listener.Descriptor()));
    CFrameChannel ch(nullptr, Nop);
    EXPECT_EQ(p.listener.Accept(nullptr, Nop, &ch.Stream()), 1u);
    EXPECT_FALSE(ch.Stream().IsOpen());

    const std::string name = UniqueName("squat");
    ASSERT_TRUE(LocalSocketAddress(name.c_str(), &sa, &len));
    OtherUser squatter;
    const char c = squatter.Start([&] {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        return bind(fd, reinterpret_cast<sockaddr*>(&sa), len) == 0 && listen(fd, 4) == 0 ? '1'
                                                                                          : '0';
    });
    CLocalStream s(nullptr, Nop);
    EXPECT_EQ(s.Connect(name.c_str()), 1u)
        << (c == '1' ? "squatter listening" : "squatter could not bind");
    EXPECT_FALSE(s.IsOpen());
}

TEST(FrameChannel, FrameSplitAcrossReadsIsReturnedOnceWhole) {
    AcceptedPair p;
    ASSERT_TRUE(p.Setup());
    std::vector<u8> payload(3000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = u8(i * 7);
    const std::vector<u8> f = Frame(0x7F000005, 6454, payload);
    LNetAddr addr;
    const u8* data = nullptr;
    // Pieces: inside the header, inside the payload, the last byte.
    const size_t cuts[] = {0, 3, 8, 1500, f.size() - 1, f.size()};
    for (size_t i = 0; i + 1 < std::size(cuts); ++i) {
        EXPECT_EQ(p.channel.ReadFrame(&addr, &data), 0) << "piece " << i;
        ASSERT_EQ(write(p.raw, f.data() + cuts[i], cuts[i + 1] - cuts[i]),
                  ssize_t(cuts[i + 1] - cuts[i]));
    }
    ASSERT_EQ(p.channel.ReadFrame(&addr, &data), 3000);
    EXPECT_EQ(addr.IPv4Address(), 0x7F000005u);
    EXPECT_EQ(addr.port, 6454);
    EXPECT_EQ(std::vector<u8>(data, data + 3000), payload);
    p.channel.Consume();
    EXPECT_EQ(p.channel.ReadFrame(&addr, &data), 0);

    // An empty frame is skipped, not mistaken for an incomplete one.
    const std::vector<u8> empty = Frame(1, 2, {});
    const std::vector<u8> next = Frame(0x7F000001, 9, {42});
    ASSERT_EQ(write(p.raw, empty.data(), empty.size()), 8);
    ASSERT_EQ(write(p.raw, next.data(), next.size()), 9);
    ASSERT_EQ(p.channel.ReadFrame(&addr, &data), 1);
    EXPECT_EQ(data[0], 42);

    // End of stream is an error.
    p.channel.Consume();
    close(p.raw);
    p.raw = -1;
    EXPECT_LT(p.channel.ReadFrame(&addr, &data), 0);
}

TEST(FrameChannel, RingDropsWhatDoesNotFitAndEmptiesOnClose) {
    AcceptedPair p;
    ASSERT_TRUE(p.Setup());
    const LNetAddr to = LNetAddr::IPv4(0x7F000001, 1234);
    EXPECT_EQ(p.channel.QueueFrame(to, "x", 0), 0);
    // The raw end never reads: fill the socket, then the ring.
    std::vector<u8> big(60000, 0xAB);
    for (int i = 0; i < 200 && p.channel.RingFill() == 0; ++i) {
        ASSERT_EQ(p.channel.QueueFrame(to, big.data(), 50000), 50000);
    }
    ASSERT_GT(p.channel.RingFill(), 0u) << "the socket never filled";
    // Leave between 109 and 50117 bytes free, then pad down to exactly 100.
    while (p.channel.RingFree() > 100 + 8 + 1 + 8 + 50000) {
        ASSERT_EQ(p.channel.QueueFrame(to, big.data(), 50000), 50000);
    }
    const u32 pad = p.channel.RingFree() - 100 - 8;
    ASSERT_EQ(p.channel.QueueFrame(to, big.data(), pad), i32(pad));
    ASSERT_EQ(p.channel.RingFree(), 100u);
    EXPECT_EQ(p.channel.QueueFrame(to, big.data(), 93), 0);
    EXPECT_EQ(p.channel.RingFree(), 100u);
    EXPECT_EQ(p.channel.QueueFrame(to, big.data(), 92), 92);
    EXPECT_EQ(p.channel.RingFree(), 0u);
    EXPECT_EQ(p.channel.QueueFrame(to, big.data(), 1), 0);
    p.channel.Close();
    EXPECT_EQ(p.channel.RingFill(), 0u);
    EXPECT_EQ(p.channel.RingFree(), 1u << CFrameChannel::kRingBits);
}

// ---------------------------------------------------------------------------
// Server and clients

struct ClientState {
    std::atomic<u32> data{0}, connected{0}, failed{0};
    static void Callback(void* self, u32 state) {
        auto* s = static_cast<ClientState*>(self);
        (state == 0 ? s->data : state == 1 ? s->connected : s->failed).fetch_add(1);
    }
};

struct Received {
    LNetAddr from;
    std::vector<u8> data;
};

// Drains the client while running the run loop until n datagrams arrived.
bool ReceiveN(CUdpMuxClient& c, std::vector<Received>* out, size_t n, u32 timeoutMs) {
    return RunUntil(
        [&] {
            u8 buf[4096];
            for (;;) {
                Received r;
                const i32 got = c.Receive(&r.from, buf, sizeof buf);
                if (got <= 0) break;
                r.data.assign(buf, buf + got);
                out->push_back(r);
            }
            return out->size() >= n;
        },
        timeoutMs);
}

class PortShare : public ::testing::Test {
protected:
    CVirtualRunLoop loop;
};

TEST_F(PortShare, TwoClientsEachGetEveryDatagramAsOneFrame) {
    // A port and name of this run's own: the real ones are shared by every run
    // of this user on the machine, and another run's datagrams would mix in.
    const u16 port = FreeUdpPort();
    const std::string name = UniqueName("mux");
    ClientState sa, sb;
    CUdpMuxClient a(&sa, ClientState::Callback, port, name.c_str());
    CUdpMuxClient b(&sb, ClientState::Callback, port, name.c_str());
    a.Open();
    b.Open();
    ASSERT_TRUE(a.IsConnected());
    ASSERT_TRUE(b.IsConnected());
    EXPECT_GE(sa.connected.load(), 1u);
    UdpSender tx;
    // Probe until both are served (the server may not have accepted them yet).
    const std::vector<u8> probe = {0xFF, 0xFE};
    std::vector<Received> pa, pb;
    ASSERT_TRUE(RunUntil(
        [&] {
            tx.Send(port, probe);
            ReceiveN(a, &pa, 1, 20);
            ReceiveN(b, &pb, 1, 20);
            return !pa.empty() && !pb.empty();
        },
        3000));
    std::vector<std::vector<u8>> sent;
    for (u32 i = 0; i < 50; ++i) {
        std::vector<u8> d(1 + i * 37 % 600);
        for (size_t k = 0; k < d.size(); ++k) d[k] = u8(i + k);
        sent.push_back(d);
        tx.Send(port, d);
        if (i == 10) tx.Send(port, {});  // gives no frame
    }
    tx.Send(port, {0xEE});  // the end
    auto upToEnd = [&](CUdpMuxClient& c, std::vector<Received>* r) {
        return RunUntil(
            [&] {
                ReceiveN(c, r, ~size_t(0), 0);
                return !r->empty() && r->back().data == std::vector<u8>{0xEE};
            },
            5000);
    };
    std::vector<Received> ra, rb;
    ASSERT_TRUE(upToEnd(a, &ra));
    ASSERT_TRUE(upToEnd(b, &rb));
    auto strip = [&](std::vector<Received>* r) {
        std::vector<Received> out;
        for (auto& x : *r)
            if (x.data != probe && x.data != std::vector<u8>{0xEE}) out.push_back(x);
        *r = out;
    };
    strip(&ra);
    strip(&rb);
    ASSERT_EQ(ra.size(), sent.size());
    ASSERT_EQ(rb.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(ra[i].data, sent[i]) << i;
        EXPECT_EQ(rb[i].data, sent[i]) << i;
        EXPECT_EQ(ra[i].from.IPv4Address(), 0x7F000001u);
        EXPECT_EQ(ra[i].from.port, tx.Port());
    }
    EXPECT_GT(sa.data.load(), 0u);
    a.Close();
    b.Close();
}

TEST_F(PortShare, OversizeDatagramsAreDroppedNotCut) {
    const u16 port = FreeUdpPort();
    const std::string name = UniqueName("mux");
    ClientState st;
    CUdpMuxClient c(&st, ClientState::Callback, port, name.c_str());
    c.Open();
    ASSERT_TRUE(c.IsConnected());
    ASSERT_TRUE(c.Server().IsServing());
    ASSERT_TRUE(RunUntil([&] { return c.Server().ClientCount() == 1; }, 2000));
    UdpSender tx;
    tx.Send(port, std::vector<u8>(2048, 1));
    tx.Send(port, std::vector<u8>(2049, 2));
    tx.Send(port, std::vector<u8>(9000, 3));
    tx.Send(port, std::vector<u8>(5, 4));
    std::vector<Received> r;
    // The last one came after the others: had they come through, they were first.
    ASSERT_TRUE(ReceiveN(c, &r, 2, 3000));
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].data, std::vector<u8>(2048, 1));
    EXPECT_EQ(r[1].data, std::vector<u8>(5, 4));
    EXPECT_EQ(c.Server().TruncatedCount(), 2u);
    // Receive cuts to the caller's buffer.
    tx.Send(port, std::vector<u8>(100, 9));
    u8 small[10];
    LNetAddr from;
    ASSERT_TRUE(RunUntil([&] { return c.Receive(&from, small, sizeof small) == 10; }, 3000));
    c.Close();
    EXPECT_FALSE(c.Server().IsServing());
    EXPECT_EQ(c.Receive(&from, small, sizeof small), -1);
}

// Bursts larger than what the server takes in one call and in one pass, with
// empty and oversize datagrams among them: every client gets every other datagram,
// whole and in order, each as its own frame.
TEST_F(PortShare, BurstsReachEveryClientWholeAndInOrder) {
    const u16 port = FreeUdpPort();
    const std::string name = UniqueName("mux");
    CUdpMuxServer server(2048);
    ASSERT_EQ(server.Start(port, name.c_str()), 0u);
    constexpr int kClients = 3;
    std::unique_ptr<CFrameChannel> clients[kClients];
    for (auto& c : clients) {
        c = std::make_unique<CFrameChannel>(nullptr, Nop);
        ASSERT_EQ(c->Stream().Connect(name.c_str()), 0u);
    }
    ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == kClients; }, 3000));
    UdpSender tx;
    std::vector<std::vector<u8>> want[kClients];
    size_t got[kClients] = {};
    u32 oversize = 0;
    for (u32 burst = 0; burst < 6; ++burst) {
        for (u32 i = 0; i < 300; ++i) {
            const u32 k = burst * 300 + i;
            std::vector<u8> d(k % 89 == 0 ? 0 : k % 97 == 0 ? 2049 : 1 + k * 131 % 1400);
            for (size_t b = 0; b < d.size(); ++b) d[b] = u8(k * 7 + b);
            tx.Send(port, d);
            if (d.size() > 2048) ++oversize;
            if (d.empty() || d.size() > 2048) continue;
            for (auto& w : want) w.push_back(d);
        }
        ASSERT_TRUE(RunUntil(
            [&] {
                bool all = true;
                for (int c = 0; c < kClients; ++c) {
                    LNetAddr from;
                    const u8* p;
                    i32 n;
                    while ((n = clients[c]->ReadFrame(&from, &p)) > 0) {
                        EXPECT_LT(got[c], want[c].size());
                        if (got[c] < want[c].size()) {
                            EXPECT_TRUE(std::vector<u8>(p, p + n) == want[c][got[c]])
                                << "client " << c << " frame " << got[c];
                        }
                        EXPECT_EQ(from.port, tx.Port());
                        ++got[c];
                        clients[c]->Consume();
                    }
                    all = all && got[c] == want[c].size();
                }
                return all;
            },
            5000))
            << "burst " << burst;
    }
    EXPECT_EQ(server.TruncatedCount(), oversize);
    server.Stop();
}

TEST_F(PortShare, FramesFromClientsGoOutAsDatagrams) {
    const u16 port = FreeUdpPort();
    const std::string name = UniqueName("mux");
    CUdpMuxServer server(2048);
    ASSERT_EQ(server.Start(port, name.c_str()), 0u);
    // Another server cannot have the same port.
    CUdpMuxServer second(2048);
    EXPECT_EQ(second.Start(port, name.c_str()), 1u);
    UdpSender rx;
    CFrameChannel ch(nullptr, Nop);
    ASSERT_EQ(ch.Stream().Connect(name.c_str()), 0u);
    const std::vector<u8> payload = {1, 2, 3, 4, 5};
    ASSERT_EQ(ch.QueueFrame(LNetAddr::IPv4(0x7F000001, rx.Port()), payload.data(), 5), 5);
    auto got = rx.Recv(3000);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->raw, payload);
    EXPECT_EQ(got->srcPort, port);
    // And the answer comes back to the client as a frame.
    rx.Send(port, {9, 8, 7});
    LNetAddr a;
    const u8* d = nullptr;
    ASSERT_TRUE(Readable(ch.Stream().Descriptor()));
    ASSERT_EQ(ch.ReadFrame(&a, &d), 3);
    EXPECT_EQ(a.port, rx.Port());
    // A client that hangs up is dropped.
    ch.Close();
    EXPECT_TRUE(RunUntil(
        [&] {
            rx.Send(port, {1});  // the server notices the hang-up when it forwards
            return server.ClientCount() == 0;
        },
        3000));
}

// The owner of the port is another process; when it goes, our clients reconnect,
// one of them serves, and both keep receiving.
TEST_F(PortShare, AnotherProcessTakesOverWhenTheOwnerExits) {
    const u16 port = FreeUdpPort();
    const std::string name = UniqueName("mux");
    const std::string prog = std::string(KEVO_BINARY_DIR) + "/tools/simdevice/kvmuxholder";
    ASSERT_EQ(access(prog.c_str(), X_OK), 0) << prog;
    int in[2], out[2];
    ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const std::string portText = std::to_string(port);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        execl(prog.c_str(), prog.c_str(), portText.c_str(), name.c_str(), nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    char line[16] = {};
    ASSERT_GT(read(out[0], line, sizeof line - 1), 0);
    ASSERT_EQ(std::string(line), "ready\n");

    ClientState sa, sb;
    CUdpMuxClient a(&sa, ClientState::Callback, port, name.c_str());
    CUdpMuxClient b(&sb, ClientState::Callback, port, name.c_str());
    a.Open();
    b.Open();
    ASSERT_TRUE(a.IsConnected());
    ASSERT_TRUE(b.IsConnected());
    EXPECT_FALSE(a.Server().IsServing());
    EXPECT_FALSE(b.Server().IsServing());
    UdpSender tx;
    std::vector<Received> ra, rb;
    // The holder may not have accepted us yet: send until both hear.
    ASSERT_TRUE(RunUntil(
        [&] {
            tx.Send(port, {1});
            return ReceiveN(a, &ra, 1, 20) && ReceiveN(b, &rb, 1, 20);
        },
        3000));

    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(in[1]);
    close(out[0]);

    ra.clear();
    rb.clear();
    ASSERT_TRUE(RunUntil(
        [&] {
            tx.Send(port, {2});
            ReceiveN(a, &ra, 1, 20);
            ReceiveN(b, &rb, 1, 20);
            return !ra.empty() && !rb.empty();
        },
        5000))
        << "a " << ra.size() << " b " << rb.size();
    EXPECT_TRUE(a.IsConnected());
    EXPECT_TRUE(b.IsConnected());
    EXPECT_TRUE(a.Server().IsServing() != b.Server().IsServing());
    EXPECT_EQ(ra.back().data, std::vector<u8>{2});
}

}  // namespace
