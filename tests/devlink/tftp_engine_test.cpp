// The transfer engine against the simulated device over loopback.

#include <sys/socket.h>
#include <sys/syscall.h>
#include <linux/capability.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/FileTestUtil.h"
#include "tests/devlink/SimDeviceProcess.h"
#include "tests/devlink/TestTftpClient.h"

using namespace enginetest;
using namespace testtftp;
using namespace filetest;
namespace fs = std::filesystem;

namespace {

// The packet-log lines of the device that contain every one of the words.
std::vector<std::string> Lines(SimDeviceProcess& sim, std::initializer_list<std::string> words) {
    std::vector<std::string> out;
    for (auto& l : sim.Log()) {
        bool all = true;
        for (auto& w : words) all = all && l.find(w) != std::string::npos;
        if (all) out.push_back(l);
    }
    return out;
}

long Field(const std::string& line, const std::string& key) {
    std::string v = SimDeviceProcess::Field(line, key);
    return v.empty() ? -1 : std::stol(v);
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        ASSERT_NE(LoopbackIndex(), 0u);
        ASSERT_TRUE(sim.Ok()) << "cannot start " << SimDeviceProcess::ProgramPath();
        root = dir.Path() + "/dev305";
        std::string a = sim.Cmd("add-device serno=305 addr=127.0.0.2/8 root=" + root + " port=0");
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
        port = u16(std::stoi(SimDeviceProcess::Field(a, "port")));
        mgr = std::make_unique<CTftpManager>(MainRunLoopWakeSource(), 1);
    }
    void TearDown() override {
        if (HasFailure())
            for (auto& l : sim.Log()) std::printf("%s\n", l.c_str());
        for (CTftpSession* s : sessions) mgr->Release(s);
        mgr.reset();
    }

    // Runs one transfer to the device; streams come from vectors.
    CTftpSession* Transfer(bool write, const std::string& path, Recorder& rec, u32 cap = 1,
                           u32 timeoutMs = 20000) {
        rec.onNewPeer = [cap](CTftpPeer* p) { p->Window().SetMax(cap); };
        CTftpSession* s =
            mgr->StartTransfer(LNetAddr::IPv4(0x7F000002, port), write, LString(path.c_str()), &rec,
                               Recorder::Callback, LoopbackIndex());
        sessions.push_back(s);
        s->AddOption("serno", "305");
        s->Start();
        EXPECT_TRUE(RunUntil([&] { return rec.Done(); }, timeoutMs)) << path;
        sim.WaitIdle(3000);  // the device has seen our last word before its log is read
        return s;
    }

    TempDir dir;
    SimDeviceProcess sim;
    std::string root;
    u16 port = 0;
    std::unique_ptr<CTftpManager> mgr;
    std::vector<CTftpSession*> sessions;
};

TEST_F(Engine, ReadsEndingOnABlockBoundaryEndWithAnEmptyBlock) {
    const auto content = Pattern(1428 * 3, 1);
    WriteFile(root + "/sdc/even.bin", content);
    std::vector<u8> got;
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    CTftpSession* s = Transfer(false, "/sdc/even.bin", rec);
    EXPECT_EQ(s->Result(), 0u);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{0});
    EXPECT_TRUE(got == content);
    // A host inside a connected subnet gets the request unwrapped, offering 1428.
    auto rq = Lines(sim, {"op=RRQ", "dir=in"});
    ASSERT_EQ(rq.size(), 1u);
    EXPECT_NE(rq[0].find("opt.blksize=1428"), std::string::npos) << rq[0];
    EXPECT_NE(rq[0].find("wrap=0"), std::string::npos) << rq[0];
    EXPECT_FALSE(s->Wrapper());
    auto empty = Lines(sim, {"op=DATA", "block=4", "size=0", "dir=out"});
    EXPECT_EQ(empty.size(), 1u);
}

TEST_F(Engine, RepeatedDataIsAcknowledgedAgainAndWrittenOnce) {
    const auto content = Pattern(1428 * 4 + 100, 2);
    WriteFile(root + "/sdc/dup.bin", content);
    sim.Cmd("fault dup dir=out opcode=DATA block=2 count=1");
    std::vector<u8> got;
    VecStrm* strm = nullptr;
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return strm = new VecStrm(&got, CStrm::kModeWrite); };
    Transfer(false, "/sdc/dup.bin", rec);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{0});
    EXPECT_TRUE(got == content);
    EXPECT_EQ(strm->writes, 5u);
    EXPECT_EQ(Lines(sim, {"op=ACK", "block=2 ", "dir=in"}).size(), 2u);
}

TEST_F(Engine, RepeatedOackWhileBlockOneIsAwaitedDrawsAckZeroAgain) {
    WriteFile(root + "/sdc/o.bin", Pattern(3000, 3));
    sim.Cmd("fault delay dir=out opcode=DATA block=1 count=1 ms=300");
    sim.Cmd("fault dup dir=out opcode=OACK count=1 ms=100");
    std::vector<u8> got;
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    Transfer(false, "/sdc/o.bin", rec);
    EXPECT_TRUE(got == Pattern(3000, 3));
    EXPECT_EQ(rec.Count(kTftpEventPeerNew), 1u);
    EXPECT_GE(Lines(sim, {"op=ACK", "block=0 ", "dir=in"}).size(), 2u);
}

TEST_F(Engine, BlockNumbersWrapAfter65535BothWays) {
    sim.Cmd("set serno=305 maxblk=8 window=16");
    const auto content = Pattern(65537 * 8 + 3, 4);
    WriteFile(root + "/ums/long.bin", content);
    std::vector<u8> got;
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    Transfer(false, "/ums/long.bin", rec, 1, 120000);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{0});
    EXPECT_TRUE(got == content);

    std::vector<u8> src = Pattern(65537 * 8 + 5, 5);
    Recorder wrec;
    wrec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Transfer(true, "/ums/up.bin", wrec, 50, 120000);
    ASSERT_EQ(wrec.peerResults, std::vector<u32>{0});
    ASSERT_TRUE(sim.WaitIdle(5000));
    EXPECT_TRUE(ReadFile(root + "/ums/up.bin") == src);
}

TEST_F(Engine, OversizedBlockSizeInTheOackDrawsError8) {
    WriteFile(root + "/sdc/a.bin", Pattern(100, 6));
    sim.Cmd("set serno=305 blksize-reply=1500");
    Recorder rec;
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    Transfer(false, "/sdc/a.bin", rec);
    EXPECT_EQ(rec.Count(kTftpEventPeerNew), 0u);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{3});
    EXPECT_EQ(rec.peerErrors, std::vector<u32>{8});
    EXPECT_EQ(Lines(sim, {"op=ERROR", "code=8", "dir=in"}).size(), 1u);
}

TEST_F(Engine, WindowCapOneKeepsOneBlockInFlightAndCap50GrowsButStaysBelow) {
    for (u32 cap : {1u, 50u}) {
        sim.Cmd("log clear");
        std::vector<u8> src = Pattern(1428 * 300 + 7, cap);
        Recorder rec;
        rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
        const std::string path = "/sdc/w" + std::to_string(cap) + ".bin";
        CTftpSession* s = Transfer(true, path, rec, cap);
        ASSERT_EQ(rec.peerResults, std::vector<u32>{0});
        // Reported once, even after the request's resend time has passed.
        RunFor(1100);
        EXPECT_EQ(rec.Count(kTftpEventSessionDone), 1u);
        mgr->Release(s);
        sessions.pop_back();
        ASSERT_TRUE(sim.WaitIdle(5000));
        EXPECT_TRUE(ReadFile(root + path) == src);
        // In flight = DATA received minus ACKs sent, read off the device's log in order.
        long inFlight = 0, maxInFlight = 0, acks = 0;
        u32 allowed = 1, avoid = 0;
        for (auto& l : sim.Log()) {
            if (l.find("op=DATA") != std::string::npos && l.find("dir=in") != std::string::npos)
                ++inFlight;
            if (l.find("op=ACK") != std::string::npos && l.find("dir=out") != std::string::npos &&
                Field(l, "block") > 0) {
                --inFlight;
                ++acks;
                // The window's growth: 2 after the first ACK, 3 after two more, 4 after three
                // more...
                if (allowed < cap && ++avoid >= allowed) {
                    ++allowed;
                    avoid = 0;
                }
            }
            maxInFlight = std::max(maxInFlight, inFlight);
            ASSERT_LE(inFlight, long(allowed) + 1) << "after " << acks << " acks";
        }
        EXPECT_LE(maxInFlight, long(cap));
        if (cap == 1) {
            EXPECT_EQ(maxInFlight, 1);
        }
    }
}

TEST_F(Engine, EmptyStreamSendsOneEmptyBlock) {
    std::vector<u8> src;
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Transfer(true, "/sdc/empty.bin", rec, 50);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{0});
    auto data = Lines(sim, {"op=DATA", "dir=in"});
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(Field(data[0], "block"), 1);
    EXPECT_EQ(Field(data[0], "size"), 0);
}

TEST_F(Engine, FirstRetransmissionComesAfterOneSecond) {
    sim.Cmd("fault drop dir=in opcode=DATA block=1 count=1");
    std::vector<u8> src = Pattern(2000, 7);
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Transfer(true, "/sdc/rto.bin", rec, 50);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{0});
    auto first = Lines(sim, {"op=DATA", "block=1 ", "dir=in"});
    ASSERT_EQ(first.size(), 2u);
    const long gap = Field(first[1], "t") - Field(first[0], "t");
    EXPECT_GE(gap, 950);
    EXPECT_LE(gap, 1300);
}

TEST_F(Engine, RequestThatDoesNotFitSendsNothing) {
    Recorder rec;
    const std::string path = "/sdc/" + std::string(600, 'x');
    CTftpSession* s = Transfer(false, path, rec);
    EXPECT_EQ(s->State(), CTftpSession::kFinished);
    EXPECT_EQ(s->Result(), 1u);
    EXPECT_TRUE(Lines(sim, {"op=RRQ", "dir=in"}).empty());
    // Just short enough fits: 2 + path + 1 + 6 + 8 + 5 + "serno" 305 = 512.
    Recorder ok;
    ok.makeStream = [](CTftpPeer*) { return nullptr; };
    const std::string fits = "/sdc/" + std::string(512 - 2 - 6 - 8 - 5 - 6 - 4 - 1 - 5, 'y');
    s = Transfer(false, fits, ok);
    EXPECT_NE(s->Result(), 1u);
    EXPECT_EQ(Lines(sim, {"op=RRQ", "dir=in"}).size(), 1u);
}

TEST_F(Engine, FailingSinkEndsThePeerWithAnErrorInsteadOfAcknowledging) {
    WriteFile(root + "/sdc/big.bin", Pattern(1428 * 5, 8));
    std::vector<u8> got;
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) {
        return new VecStrm(&got, CStrm::kModeWrite, 1428 * 2 + 10);
    };
    Transfer(false, "/sdc/big.bin", rec);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{3});
    EXPECT_EQ(rec.peerErrors, std::vector<u32>{3});
    EXPECT_TRUE(Lines(sim, {"op=ACK", "block=3 ", "dir=in"}).empty());
    EXPECT_EQ(Lines(sim, {"op=ERROR", "dir=in"}).size(), 1u);
}

TEST_F(Engine, FailingSourceIsNotMistakenForTheEndOfTheFile) {
    std::vector<u8> src = Pattern(1428 * 5, 9);
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src, 0, 1428 * 2 + 10); };
    Transfer(true, "/sdc/trunc.bin", rec, 50);
    ASSERT_EQ(rec.peerResults, std::vector<u32>{3});
    EXPECT_EQ(Lines(sim, {"op=ERROR", "dir=in"}).size(), 1u);
    ASSERT_TRUE(sim.WaitIdle(5000));
    EXPECT_FALSE(fs::exists(root + "/sdc/trunc.bin"));
}

TEST_F(Engine, FailedFirstSendIsRetriedByTheTimer) {
    // The session's descriptor is swapped for one that cannot send to IPv4 while
    // the first block goes out, and put back afterwards.
    std::vector<u8> src = Pattern(5000, 10);
    int saved = -1, fd = -1;
    Recorder rec;
    rec.onNewPeer = [&](CTftpPeer* p) {
        fd = p->Session()->Socket().Descriptor();
        saved = dup(fd);
        const int unix = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        dup2(unix, fd);
        close(unix);
    };
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    CTftpSession* s = mgr->StartTransfer(LNetAddr::IPv4(0x7F000002, port), true, "/sdc/retry.bin",
                                         &rec, Recorder::Callback, LoopbackIndex());
    sessions.push_back(s);
    s->Start();
    ASSERT_TRUE(RunUntil([&] { return saved >= 0; }, 5000));
    RunFor(200);
    EXPECT_TRUE(Lines(sim, {"op=DATA", "dir=in"}).empty());
    dup2(saved, fd);
    close(saved);
    {
        // The reactor may still wait on the swapped-out socket: a registration change
        // makes it rebuild its set.
        CUdpSocket nudge(nullptr, nullptr);
        nudge.Open(0, 0, 0, 0);
    }
    ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 10000));
    ASSERT_EQ(rec.peerResults, std::vector<u32>{0});
    ASSERT_TRUE(sim.WaitIdle(5000));
    EXPECT_TRUE(ReadFile(root + "/sdc/retry.bin") == src);
}

// Drops CAP_NET_RAW from the calling thread's effective set for the scope.
class NoNetRaw {
public:
    NoNetRaw() {
        hdr.version = _LINUX_CAPABILITY_VERSION_3;
        syscall(SYS_capget, &hdr, saved);
        std::copy(std::begin(saved), std::end(saved), std::begin(now));
        now[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
        syscall(SYS_capset, &hdr, now);
    }
    ~NoNetRaw() { syscall(SYS_capset, &hdr, saved); }

private:
    __user_cap_header_struct hdr{};
    __user_cap_data_struct saved[2]{}, now[2]{};
};

TEST_F(Engine, RecycledSessionThatCannotBeReboundGetsAFreshSocket) {
    auto plain = std::make_unique<CTftpManager>(MainRunLoopWakeSource(), 0);
    CTftpSession* s = plain->StartTransfer(LNetAddr::IPv4(0x7F000002, port), false, "/sdc/x",
                                           nullptr, nullptr, LoopbackIndex());
    const u16 firstPort = s->Socket().LocalPort();
    plain->Release(s);
    {
        NoNetRaw drop;
        // Unbinding needs the privilege we no longer have.
        s = plain->StartTransfer(LNetAddr::IPv4(0x7F000002, port), false, "/sdc/x", nullptr,
                                 nullptr, 0);
    }
    ASSERT_TRUE(s->Socket().IsOpen());
    EXPECT_NE(s->Socket().LocalPort(), firstPort);
    char name[32] = {};
    socklen_t len = sizeof name;
    getsockopt(s->Socket().Descriptor(), SOL_SOCKET, SO_BINDTODEVICE, name, &len);
    EXPECT_STREQ(name, "");
    // The fresh socket works.
    WriteFile(root + "/sdc/x", Pattern(10, 11));
    std::vector<u8> got;
    Recorder rec;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    plain->Release(s);
    s = plain->StartTransfer(LNetAddr::IPv4(0x7F000002, port), false, "/sdc/x", &rec,
                             Recorder::Callback, 0);
    s->Start();
    ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 5000));
    EXPECT_TRUE(got == Pattern(10, 11));
    plain->Release(s);
}

// A scripted peer on loopback for what the device will not do on request.
class Scripted : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        mgr = std::make_unique<CTftpManager>(MainRunLoopWakeSource(), 1);
        ASSERT_TRUE(server.Ok());
    }
    void TearDown() override {
        if (s) mgr->Release(s);
    }
    // Starts a session to the scripted peer and waits for its request.
    std::optional<Datagram> Begin(bool write) {
        s = mgr->StartTransfer(LNetAddr::IPv4(0x7F000001, server.Port()), write, "/sdc/s", &rec,
                               Recorder::Callback, LoopbackIndex());
        s->Start();
        std::optional<Datagram> rq;
        RunUntil([&] { return bool(rq = server.Recv(0)); }, 3000);
        return rq;
    }
    std::optional<Datagram> Next(u32 ms = 2000) {
        std::optional<Datagram> d;
        RunUntil([&] { return bool(d = server.Recv(0)); }, ms);
        return d;
    }
    Bytes Oack(const Options& o) {
        Bytes b = {0, 6};
        for (auto& [k, v] : o) {
            b.insert(b.end(), k.begin(), k.end());
            b.push_back(0);
            b.insert(b.end(), v.begin(), v.end());
            b.push_back(0);
        }
        return b;
    }

    std::unique_ptr<CTftpManager> mgr;
    CTftpSession* s = nullptr;
    Recorder rec;
    TestTftpClient server{Ip(127, 0, 0, 1)};
};

TEST_F(Scripted, BlockSizeKeyInCapitalsIsCheckedToo) {
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    ASSERT_TRUE(Begin(false));
    const u16 sport = s->Socket().LocalPort();
    server.Send(Ip(127, 0, 0, 1), sport, Oack({{"BLKSIZE", "1500"}}));
    auto e = Next();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->op, kERROR);
    EXPECT_EQ(e->block, 8u);
    EXPECT_EQ(std::string(e->raw.begin() + 4, e->raw.end()), std::string("error\0", 6));
}

TEST_F(Scripted, WindowGrowsOneBlockPerWindowOfAcknowledgements) {
    std::vector<u8> src = Pattern(100 * 64, 12);
    rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(50); };
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    ASSERT_TRUE(Begin(true));
    const u16 sport = s->Socket().LocalPort();
    server.Send(Ip(127, 0, 0, 1), sport, Oack({{"blksize", "64"}}));
    // Collect what is sent before the next acknowledgement.
    auto flight = [&] {
        std::vector<unsigned> blocks;
        while (auto d = Next(150)) {
            if (d->op == kDATA) blocks.push_back(d->block);
        }
        return blocks;
    };
    EXPECT_EQ(flight(), (std::vector<unsigned>{1}));
    // ACK k and count how many new blocks follow: the window after each ACK.
    std::vector<size_t> windows;
    unsigned next = 2;
    for (unsigned k = 1; k <= 6; ++k) {
        server.Send(Ip(127, 0, 0, 1), sport, MakeAck(k));
        auto f = flight();
        if (!f.empty()) {
            EXPECT_EQ(f.front(), next);
        }
        next += unsigned(f.size());
        windows.push_back(next - 1 - k);  // outstanding after sending
    }
    EXPECT_EQ(windows, (std::vector<size_t>{2, 2, 3, 3, 3, 4}));
    // An acknowledgement of a later block is a loss, not a cumulative ACK: the window
    // goes back to one block, the oldest unacknowledged.
    server.Send(Ip(127, 0, 0, 1), sport, MakeAck(9));
    EXPECT_EQ(flight(), (std::vector<unsigned>{next - 4}));
}

TEST_F(Scripted, UnicastSessionRefusesASecondSource) {
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    ASSERT_TRUE(Begin(false));
    const u16 sport = s->Socket().LocalPort();
    server.Send(Ip(127, 0, 0, 1), sport, Oack({{"blksize", "8"}}));
    auto ack0 = Next();
    ASSERT_TRUE(ack0);
    EXPECT_EQ(ack0->op, kACK);
    TestTftpClient intruder{Ip(127, 0, 0, 1)};
    intruder.Send(Ip(127, 0, 0, 1), sport, MakeData(1, Bytes(8, 'X')));
    std::optional<Datagram> e;
    RunUntil([&] { return bool(e = intruder.Recv(0)); }, 2000);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->op, kERROR);
    EXPECT_EQ(e->block, 5u);
    server.Send(Ip(127, 0, 0, 1), sport, MakeData(1, Bytes(3, 'a')));
    ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 3000));
    EXPECT_EQ(s->PeerCount(), 1u);
    EXPECT_EQ(got, (std::vector<u8>{'a', 'a', 'a'}));
}

TEST_F(Scripted, WrappedDatagramNamingAForeignAddressIsIgnored) {
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    ASSERT_TRUE(Begin(false));
    const u16 sport = s->Socket().LocalPort();
    server.Send(Ip(127, 0, 0, 1), sport, Oack({{"blksize", "512"}}), Ip(127, 0, 0, 9));
    RunFor(200);
    EXPECT_EQ(rec.Count(kTftpEventPeerNew), 0u);
    server.Send(Ip(127, 0, 0, 1), sport, Oack({{"blksize", "512"}}), Ip(127, 0, 0, 1));
    ASSERT_TRUE(RunUntil([&] { return rec.Count(kTftpEventPeerNew) == 1; }, 2000));
    auto ack = Next();
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->op, kACK);
    EXPECT_TRUE(ack->wrapped == false);  // the session itself is not wrapped on loopback
}

}  // namespace
