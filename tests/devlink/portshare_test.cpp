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

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "EngineTestUtil.h"
#include "devlink/LocalSocket.h"
#include "devlink/UdpMux.h"
#include "platform/RunLoop.h"
#include "platform/Services.h"
#include "tools/testkit/LoopbackUdp.h"

using enginetest::EnsureApp;
using enginetest::RunUntil;
using portsharetest::BindLoopbackUdp;
using portsharetest::FreeUdpPort;

namespace {

std::string UniqueName(const char* what) {
    static int n = 0;
    return std::string("kvtest-") + what + "-" + std::to_string(getpid()) + "-" +
           std::to_string(++n);
}

class UdpSender {
public:
    UdpSender() { fFd = BindLoopbackUdp(&fPort); }
    ~UdpSender() { close(fFd); }
    int fd() const { return fFd; }
    u16 Port() const { return fPort; }
    void Send(u16 port, const std::vector<u8>& data) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(
            sendto(fFd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
            ssize_t(data.size()));
    }
    // One datagram within timeoutMs, or an empty vector.
    std::vector<u8> Receive(u32 timeoutMs, sockaddr_in* from = nullptr) {
        std::vector<u8> buf(4096);
        timeval tv{time_t(timeoutMs / 1000), suseconds_t((timeoutMs % 1000) * 1000)};
        setsockopt(fFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        const ssize_t n =
            recvfrom(fFd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&sa), &len);
        if (from) *from = sa;
        buf.resize(n < 0 ? 0 : size_t(n));
        return buf;
    }

private:
    int fFd;
    u16 fPort = 0;
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

// A listener with one accepted channel whose other end is a raw socket.
struct AcceptedPair {
    std::string name = UniqueName("pair");
    CLocalStream listener{nullptr, Nop};
    CFrameChannel channel{nullptr, Nop};
    int raw = -1;

    bool Setup() {
        if (listener.Listen(name.c_str()) != 0) return false;
        raw = RawConnect(name);
        if (raw < 0) return false;
        for (int i = 0; i < 200; ++i) {
            if (listener.Accept(nullptr, Nop, &channel.Stream()) == 0) return true;
            SleepMs(5);
        }
        return false;
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

// Another user can neither be served nor serve us under our name.
TEST(LocalStream, OtherUsersAreRefusedBothWays) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user (setuid)";
    const uid_t other = 65534;
    {
        AcceptedPair p;
        ASSERT_EQ(p.listener.Listen(p.name.c_str()), 0u);
        sockaddr_un sa;
        socklen_t len;
        ASSERT_TRUE(LocalSocketAddress(p.name.c_str(), &sa, &len));
        const pid_t pid = fork();
        if (pid == 0) {
            if (setuid(other) != 0) _exit(3);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            const int r = connect(fd, reinterpret_cast<sockaddr*>(&sa), len);
            const char msg[] = "intruder";
            if (r == 0) (void)!write(fd, msg, sizeof msg);
            usleep(300 * 1000);
            _exit(0);
        }
        SleepMs(100);
        CFrameChannel ch(nullptr, Nop);
        EXPECT_EQ(p.listener.Accept(nullptr, Nop, &ch.Stream()), 1u);
        EXPECT_FALSE(ch.Stream().IsOpen());
        int status = 0;
        waitpid(pid, &status, 0);
    }
    {
        // A squatter of another user listens under our name.
        const std::string name = UniqueName("squat");
        sockaddr_un sa;
        socklen_t len;
        ASSERT_TRUE(LocalSocketAddress(name.c_str(), &sa, &len));
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            close(ready[0]);
            if (setuid(other) != 0) _exit(3);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            const bool ok =
                bind(fd, reinterpret_cast<sockaddr*>(&sa), len) == 0 && listen(fd, 4) == 0;
            (void)!write(ready[1], ok ? "1" : "0", 1);
            usleep(500 * 1000);
            _exit(0);
        }
        close(ready[1]);
        char c = 0;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        CLocalStream s(nullptr, Nop);
        EXPECT_EQ(s.Connect(name.c_str()), 1u)
            << (c == '1' ? "squatter listening" : "squatter could not bind");
        EXPECT_FALSE(s.IsOpen());
        int status = 0;
        waitpid(pid, &status, 0);
    }
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
        SleepMs(5);
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
    SleepMs(5);
    ASSERT_EQ(p.channel.ReadFrame(&addr, &data), 1);
    EXPECT_EQ(data[0], 42);

    // End of stream is an error.
    p.channel.Consume();
    close(p.raw);
    p.raw = -1;
    SleepMs(5);
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
    void SetUp() override { EnsureApp(); }
};

TEST_F(PortShare, TwoClientsEachGetEveryDatagramAsOneFrame) {
    // The real port and name: whoever serves them on this machine for this user.
    ClientState sa, sb;
    CUdpMuxClient a(&sa, ClientState::Callback), b(&sb, ClientState::Callback);
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
            tx.Send(kUdpMuxPort, probe);
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
        tx.Send(kUdpMuxPort, d);
        if (i == 10) tx.Send(kUdpMuxPort, {});  // gives no frame
    }
    tx.Send(kUdpMuxPort, {0xEE});  // the end
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
    ASSERT_TRUE(ReceiveN(c, &r, 2, 3000));
    enginetest::RunFor(100);
    ReceiveN(c, &r, 3, 0);
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
    sockaddr_in from{};
    EXPECT_EQ(rx.Receive(3000, &from), payload);
    EXPECT_EQ(ntohs(from.sin_port), port);
    // And the answer comes back to the client as a frame.
    rx.Send(port, {9, 8, 7});
    LNetAddr a;
    const u8* d = nullptr;
    i32 n = 0;
    for (int i = 0; i < 300 && (n = ch.ReadFrame(&a, &d)) == 0; ++i) SleepMs(10);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(a.port, rx.Port());
    // A client that hangs up is dropped.
    ch.Close();
    for (int i = 0; i < 300 && server.ClientCount() != 0; ++i) {
        rx.Send(port, {1});
        SleepMs(10);
    }
    EXPECT_EQ(server.ClientCount(), 0u);
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
