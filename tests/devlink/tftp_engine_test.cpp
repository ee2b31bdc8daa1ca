// The transfer engine: scripted exchanges with a peer on loopback and failing
// sockets on the virtual clock, and long transfers against the simulated device.

#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <linux/capability.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "base/Threads.h"
#include "devlink/SocketReactor.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/FileTestUtil.h"
#include "tools/testkit/SimDeviceProcess.h"
#include "tools/testkit/WireGate.h"

using namespace enginetest;
using namespace testtftp;
using namespace filetest;

namespace {

// One answer of the peer and what the engine sends back: {op, block, payload
// size (-1 any)}; an empty list: nothing.
struct Step {
    Bytes answer;
    std::vector<std::array<int, 3>> replies;
    std::optional<u32> wrapTarget = std::nullopt;
};
struct Exchange {
    const char* name;
    bool write;
    size_t source;  // bytes to send (writes)
    u64 failAt;     // the stream fails past this many bytes
    std::vector<Step> steps;
    u32 peerResult, peerError;  // ~0u: still running
    size_t received;            // reads: bytes stored
};

Bytes Blocks(u32 n, u8 fill) {
    return Bytes(n, fill);
}

const Exchange kExchanges[] = {
    {"ServerIgnoringTheOptionsOnRead",
     false,
     0,
     ~u64(0),
     {{MakeData(1, Blocks(512, 'a')), {{kACK, 1, -1}}},
      {MakeData(2, Blocks(100, 'b')), {{kACK, 2, -1}}}},
     0,
     0,
     612},
    {"ServerIgnoringTheOptionsOnWrite",
     true,
     600,
     ~u64(0),
     {{MakeAck(0), {{kDATA, 1, 512}}}, {MakeAck(1), {{kDATA, 2, 88}}}, {MakeAck(2), {}}},
     0,
     0,
     0},
    {"OversizedFirstDataBlock",
     false,
     0,
     ~u64(0),
     {{MakeData(1, Blocks(513, 'a')), {{kERROR, 4, -1}}}},
     3,
     4,
     0},
    {"BlockSizeAboveTheLimitInCapitals",
     false,
     0,
     ~u64(0),
     {{Oack({{"BLKSIZE", "1429"}}), {{kERROR, 8, -1}}}},
     3,
     8,
     0},
    {"RepeatedOackDrawsAckZeroAgainAndRepeatedDataIsWrittenOnce",
     false,
     0,
     ~u64(0),
     {{Oack({{"blksize", "8"}}), {{kACK, 0, -1}}},
      {Oack({{"blksize", "8"}}), {{kACK, 0, -1}}},
      {MakeData(1, Blocks(8, 'a')), {{kACK, 1, -1}}},
      {MakeData(1, Blocks(8, 'a')), {{kACK, 1, -1}}},
      {MakeData(2, {}), {{kACK, 2, -1}}}},
     0,
     0,
     8},
    {"WrappedAnswerNamingAForeignAddressIsIgnored",
     false,
     0,
     ~u64(0),
     {{Oack({{"blksize", "8"}}), {}, 0x7F000009},
      {Oack({{"blksize", "8"}}), {{kACK, 0, -1}}, 0x7F000001}},
     ~0u,
     0,
     0},
    {"FailingSinkEndsWithAnErrorInsteadOfAnAck",
     false,
     0,
     10,
     {{Oack({{"blksize", "8"}}), {{kACK, 0, -1}}},
      {MakeData(1, Blocks(8, 'a')), {{kACK, 1, -1}}},
      {MakeData(2, Blocks(8, 'b')), {{kERROR, 3, -1}}}},
     3,
     3,
     8},
    {"FailingSourceIsNotTakenForTheEndOfTheFile",
     true,
     24,
     10,
     {{Oack({{"blksize", "8"}}), {{kDATA, 1, 8}}}, {MakeAck(1), {{kERROR, 0, -1}}}},
     3,
     0,
     0},
    {"EmptySourceSendsOneEmptyBlock",
     true,
     0,
     ~u64(0),
     {{Oack({{"blksize", "8"}}), {{kDATA, 1, 0}}}, {MakeAck(1), {}}},
     0,
     0,
     0},
    // The device's acknowledgements are not cumulative: a later block's is a loss,
    // and the window goes back to the oldest unacknowledged block at once.
    {"WindowGrowsAndALaterAckIsALoss",
     true,
     64,
     ~u64(0),
     {{Oack({{"blksize", "8"}}), {{kDATA, 1, 8}}},
      {MakeAck(1), {{kDATA, 2, 8}, {kDATA, 3, 8}}},
      {MakeAck(3), {{kDATA, 2, 8}}},
      {MakeAck(2), {{kDATA, 3, 8}}}},
     ~0u,
     0,
     0},
};

class Scripted : public ScriptedPeerTest, public ::testing::WithParamInterface<Exchange> {};

TEST_P(Scripted, Exchange) {
    const Exchange& x = GetParam();
    std::vector<u8> data = Pattern(x.source, 3);
    rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(50); };
    rec.makeStream = [&](CTftpPeer*) {
        return x.write ? new VecStrm(&data, 0, x.failAt)
                       : new VecStrm(&data, CStrm::kModeWrite, x.failAt);
    };
    Begin(x.write);
    ASSERT_TRUE(Next());
    for (size_t i = 0; i < x.steps.size(); ++i) {
        const Step& st = x.steps[i];
        peer.Send(kPeerIp, s->Socket().LocalPort(), st.answer, st.wrapTarget);
        for (const auto& [op, block, size] : st.replies) {
            auto d = Next();
            ASSERT_TRUE(d) << "step " << i;
            EXPECT_EQ(d->op, op) << "step " << i;
            EXPECT_EQ(int(d->block), block) << "step " << i;
            if (size >= 0) {
                EXPECT_EQ(int(d->payload.size()), size) << "step " << i;
            }
        }
        if (st.replies.empty()) {
            EXPECT_FALSE(Next(30)) << "step " << i;
        }
    }
    if (x.peerResult == ~0u) {
        EXPECT_TRUE(rec.peerResults.empty());
    } else {
        EXPECT_EQ(rec.peerResults, std::vector<u32>{x.peerResult});
        EXPECT_EQ(rec.peerErrors, std::vector<u32>{x.peerError});
        EXPECT_TRUE(rec.Done());
    }
    if (!x.write) {
        EXPECT_EQ(data.size(), x.received);
    }
}

INSTANTIATE_TEST_SUITE_P(Peer, Scripted, ::testing::ValuesIn(kExchanges),
                         [](const auto& info) { return std::string(info.param.name); });

using Sockets = ScriptedPeerTest;

TEST_F(Sockets, UnicastSessionRefusesASecondSource) {
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    Begin(false);
    ASSERT_TRUE(Next());
    ASSERT_EQ(Answer(Oack({{"blksize", "8"}}))->op, kACK);
    TestTftpClient intruder;
    intruder.Send(kPeerIp, s->Socket().LocalPort(), MakeData(1, Bytes(8, 'X')));
    std::optional<Datagram> e;
    ASSERT_TRUE(loop.RunUntil([&] { return bool(e = intruder.Recv(0)); }));
    EXPECT_EQ(e->op, kERROR);
    EXPECT_EQ(e->block, 5u);
    ASSERT_EQ(Answer(MakeData(1, Bytes(3, 'a')))->op, kACK);
    EXPECT_EQ(s->PeerCount(), 1u);
    EXPECT_EQ(got, (std::vector<u8>{'a', 'a', 'a'}));
}

// A session that sets a round (the status poll) lets a peer go once its round
// is over: one that trickles is ended (ERROR 0, timed out) a round after its
// first answer, so that the session ends; one done within it is kept; without
// a round a slow peer goes on as long as it keeps coming.
TEST_F(Sockets, APeerNotDoneByTheEndOfItsRoundIsLetGo) {
    const struct {
        const char* name;
        u32 round;
        std::vector<u32> gaps;  // ms before each block; the last one ends the answer
        bool letGo;
    } rows[] = {
        {"trickling", 1000, {400, 400, 400, 400}, true},
        {"done within its round", 1000, {300, 300, 300}, false},
        {"no round", 0, {1500, 1500, 1500, 1500}, false},
    };
    std::vector<u8> got;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        rec = Recorder();
        rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
        s = mgr->StartTransfer(LNetAddr::IPv4(kPeerIp, peer.Port()), false, "/sdc/t", &rec,
                               Recorder::Callback, LoopbackIndex());
        s->SetPeerRound(row.round);
        s->Start();
        ASSERT_TRUE(Next());
        ASSERT_EQ(Answer(Oack({{"blksize", "8"}}))->op, kACK);
        bool letGo = false;
        for (size_t i = 0; i < row.gaps.size() && !letGo; ++i) {
            loop.Advance(row.gaps[i]);
            const bool last = i + 1 == row.gaps.size();
            const auto d = Answer(MakeData(u16(i + 1), Bytes(last ? 3 : 8, 'a')));
            ASSERT_TRUE(d);
            letGo = d->op == kERROR;
            if (!letGo) {
                EXPECT_EQ(d->op, kACK);
            }
        }
        EXPECT_EQ(letGo, row.letGo);
        loop.Advance(10);
        EXPECT_EQ(rec.peerResults, std::vector<u32>{row.letGo ? 2u : 0u});
        EXPECT_TRUE(rec.Done());
        mgr->Release(s);
        s = nullptr;
        while (peer.Recv(0)) {
        }
    }
}

TEST_F(Sockets, PortThatCannotBeBoundEndsAsNoAnswer) {
    calls.bind = {EADDRINUSE, 1};
    Begin(false);
    EXPECT_FALSE(s->Socket().IsOpen());
    loop.Advance(11000);
    EXPECT_TRUE(rec.Done());
    EXPECT_EQ(s->Result(), u32(CTftpSession::kResultNoAnswer));
}

// The reason a request could not go out is the failure itself, not whatever errno
// held by then: a port that cannot be bound, no descriptor left, a refused send.
TEST_F(Sockets, ARequestThatCannotLeaveSaysWhy) {
    const struct {
        const char* name;
        int want;
    } kCases[] = {{"bind", EADDRINUSE}, {"descriptors", EMFILE}, {"send", ENETUNREACH}};
    for (const auto& c : kCases) {
        const std::string name = c.name;
        Recorder r;
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        if (name == "bind") calls.bind = {EADDRINUSE, 1};
        if (name == "send") calls.send = {ENETUNREACH, 1};
        if (name == "descriptors") {
            // A reactor stopped by the case before may still be handing its
            // thread back to the pool: with no descriptor to spare, the
            // sanitizers' own checks on that thread fail.
            ASSERT_TRUE(loop.RunUntil([] {
                return CSocketReactor::StartCount() == 0 || CSocketReactor::Running() ||
                       CThreadPool::Global().IdleCount() > 0;
            }));
            // The next descriptor would be the first past the limit.
            const int probe = dup(0);
            ASSERT_GE(probe, 0);
            close(probe);
            rlimit low = saved;
            low.rlim_cur = rlim_t(probe);
            ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        }
        CTftpSession* t = mgr->StartTransfer(LNetAddr::IPv4(kPeerIp, peer.Port()), false, "/x", &r,
                                             Recorder::Callback, LoopbackIndex());
        setrlimit(RLIMIT_NOFILE, &saved);
        errno = ENOENT;  // left over from something else
        t->Start();
        EXPECT_EQ(t->SendErrno(), c.want) << name;
        mgr->Release(t);
    }
}

TEST_F(Sockets, FailedFirstDataSendIsRetriedByTheTimer) {
    calls.send = {ENETUNREACH, 1, kDATA};
    std::vector<u8> src = Pattern(20, 4);
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
    Begin(true);
    ASSERT_TRUE(Next());
    peer.Send(kPeerIp, s->Socket().LocalPort(), Oack({{"blksize", "8"}}));
    ASSERT_TRUE(loop.RunUntil([&] { return calls.send.count == 0; }));
    EXPECT_FALSE(Next(30));
    ASSERT_TRUE(loop.AdvanceToNext());
    auto d = Next();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->block, 1u);
    EXPECT_EQ(Elapsed(), 1000u);
    ASSERT_EQ(Answer(MakeAck(1))->block, 2u);
    ASSERT_EQ(Answer(MakeAck(2))->block, 3u);
    peer.Send(kPeerIp, s->Socket().LocalPort(), MakeAck(3));
    ASSERT_TRUE(loop.RunUntil([&] { return rec.Done(); }));
    EXPECT_EQ(rec.peerResults, std::vector<u32>{0});
}

TEST_F(Sockets, ReceiveErrorsDoNotLoseTheWaitingDatagram) {
    std::vector<u8> got;
    rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
    Begin(false);
    ASSERT_TRUE(Next());
    calls.recv = {ECONNREFUSED, 3};
    ASSERT_EQ(Answer(MakeData(1, Bytes(5, 'z')))->op, kACK);
    EXPECT_EQ(calls.recv.count, 0u);
    ASSERT_TRUE(loop.RunUntil([&] { return rec.Done(); }));
    EXPECT_EQ(got, Bytes(5, 'z'));
}

TEST_F(Sockets, RequestThatDoesNotFitSendsNothing) {
    // 2 + path + 1 + "octet" 6 + "blksize" 8 + "1428" 5 + "serno" 6 + "305" 4 = 512.
    for (size_t extra : {size_t(0), size_t(1)}) {
        Recorder r;
        const std::string path =
            "/sdc/" + std::string(512 - 2 - 1 - 6 - 8 - 5 - 6 - 4 - 5 + extra, 'y');
        CTftpSession* x =
            mgr->StartTransfer(LNetAddr::IPv4(kPeerIp, peer.Port()), false, LString(path.c_str()),
                               &r, Recorder::Callback, LoopbackIndex());
        x->AddOption("serno", "305");
        x->Start();
        auto rq = Next(extra ? 30 : 3000);
        EXPECT_EQ(bool(rq), extra == 0);
        if (rq) {
            EXPECT_EQ(rq->raw.size(), 512u);
        }
        loop.RunDue();
        EXPECT_EQ(r.Done(), extra == 1);
        if (extra) {
            EXPECT_EQ(x->Result(), u32(CTftpSession::kResultTooLong));
        }
        mgr->Release(x);
    }
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

TEST_F(Sockets, RecycledSessionThatCannotBeUnboundGetsAFreshSocket) {
    Begin(false);
    const u16 firstPort = s->Socket().LocalPort();
    mgr->Release(s);
    {
        NoNetRaw drop;  // unbinding needs the privilege
        s = mgr->StartTransfer(LNetAddr::IPv4(kPeerIp, peer.Port()), false, "/sdc/x", &rec,
                               Recorder::Callback, 0);
    }
    ASSERT_TRUE(s->Socket().IsOpen());
    EXPECT_NE(s->Socket().LocalPort(), firstPort);
    char name[32] = {};
    socklen_t len = sizeof name;
    getsockopt(s->Socket().Descriptor(), SOL_SOCKET, SO_BINDTODEVICE, name, &len);
    EXPECT_STREQ(name, "");
}

// Against the simulated device: what needs many blocks.
class Device : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Ok()) << "cannot start " << SimDeviceProcess::ProgramPath();
        root = dir.Path() + "/dev305";
        std::string a = sim.Cmd("add-device serno=305 addr=" + DottedIp(ProcessDeviceIp()) +
                                "/8 root=" + root + " port=0");
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
        port = u16(std::stoi(SimDeviceProcess::Field(a, "port")));
    }
    // Runs one transfer to the device on a clock that stands still: nothing is
    // lost on loopback unless the device drops it. Answers the peer result.
    u32 Transfer(bool write, const std::string& path, std::vector<u8>* data, u32 cap,
                 const std::function<void()>& midway = nullptr) {
        Recorder rec;
        rec.onNewPeer = [cap](CTftpPeer* p) { p->Window().SetMax(cap); };
        rec.makeStream = [&](CTftpPeer*) {
            return write ? new VecStrm(data) : new VecStrm(data, CStrm::kModeWrite);
        };
        CTftpSession* s =
            mgr.StartTransfer(LNetAddr::IPv4(ProcessDeviceIp(), port), write, LString(path.c_str()),
                              &rec, Recorder::Callback, LoopbackIndex());
        s->AddOption("serno", "305");
        s->Start();
        if (midway) midway();
        EXPECT_TRUE(loop.RunUntil([&] { return rec.Done(); }, 60000)) << path;
        EXPECT_TRUE(sim.WaitIdle(5000));  // the device has seen our last word
        mgr.Release(s);
        return rec.peerResults.size() == 1 ? rec.peerResults[0] : 99;
    }

    CVirtualRunLoop loop;
    FakeSysCalls calls;
    TempDir dir;
    SimDeviceProcess sim;
    std::string root;
    u16 port = 0;
    CTftpManager mgr{nullptr, 1};
};

TEST_F(Device, BlockNumbersWrapAfter65535BothWays) {
    sim.Cmd("set serno=305 maxblk=8 window=16");
    const auto content = Pattern(65537 * 8 + 3, 4);
    WriteFile(root + "/ums/long.bin", content);
    std::vector<u8> got;
    ASSERT_EQ(Transfer(false, "/ums/long.bin", &got, 1), 0u);
    EXPECT_TRUE(got == content);
    std::vector<u8> src = Pattern(65537 * 8 + 5, 5);
    ASSERT_EQ(Transfer(true, "/ums/up.bin", &src, 50), 0u);
    EXPECT_TRUE(ReadFile(root + "/ums/up.bin") == src);
}

TEST_F(Device, WindowNeverHoldsMoreThanItsCapAndGrowsOneBlockPerWindow) {
    for (u32 cap : {1u, 50u}) {
        sim.Cmd("log clear");
        std::vector<u8> src = Pattern(1428 * 300 + 7, cap);
        const std::string path = "/sdc/w" + std::to_string(cap) + ".bin";
        ASSERT_EQ(Transfer(true, path, &src, cap), 0u);
        EXPECT_TRUE(ReadFile(root + path) == src);
        // In flight = DATA received minus ACKs sent, read off the device's log.
        long inFlight = 0, maxInFlight = 0;
        u32 allowed = 1, avoid = 0;
        for (auto& l : sim.Log()) {
            const bool in = l.find("dir=in") != std::string::npos;
            if (l.find("op=DATA") != std::string::npos && in) ++inFlight;
            if (l.find("op=ACK") != std::string::npos && !in &&
                SimDeviceProcess::Field(l, "block") != "0") {
                --inFlight;
                if (allowed < cap && ++avoid >= allowed) {
                    ++allowed;
                    avoid = 0;
                }
            }
            maxInFlight = std::max(maxInFlight, inFlight);
            ASSERT_LE(inFlight, long(allowed) + 1);
        }
        EXPECT_LE(maxInFlight, long(cap));
    }
}

// A machine too busy to run the device for a while (stopped here) must not make
// it look silent: the clock waits while a request is in the device's hands, and
// the engine neither asks again nor gives up.
TEST_F(Device, ADeviceThatRunsLateIsWaitedFor) {
    const struct {
        bool write;
        int request;
    } cases[] = {{false, kRRQ}, {true, kWRQ}};
    WriteFile(root + "/sdc/late.bin", Pattern(5000, 9));
    for (const auto& c : cases) {
        std::vector<u8> data = c.write ? Pattern(5000, 10) : std::vector<u8>();
        const size_t asked = calls.TicksOf(c.request).size();
        ASSERT_EQ(kill(sim.Pid(), SIGSTOP), 0);
        // The device goes on once the clock has been held back for it a while
        // (at most 2 s of real time: a clock that does not wait never is).
        const uint64_t held = testtftp::WireGate::HeldBack();
        std::thread resume([&] {
            testtftp::WireGate::AwaitHeldBack(held + 50, std::chrono::seconds(2));
            kill(sim.Pid(), SIGCONT);
        });
        const u32 result =
            Transfer(c.write, c.write ? "/sdc/up.bin" : "/sdc/late.bin", &data, 50, [&] {
                for (int i = 0; i < 50; ++i) loop.AdvanceToNext();
            });
        resume.join();
        EXPECT_EQ(result, 0u) << c.write;
        EXPECT_EQ(calls.TicksOf(c.request).size(), asked + 1) << c.write;
        EXPECT_TRUE((c.write ? ReadFile(root + "/sdc/up.bin") : data) ==
                    Pattern(5000, c.write ? 10 : 9))
            << c.write;
    }
}

TEST_F(Device, LostFirstBlockIsSentAgainAfterOneSecond) {
    sim.Cmd("fault drop dir=in opcode=DATA block=1 count=1");
    std::vector<u8> src = Pattern(2000, 7);
    ASSERT_EQ(Transfer(true, "/sdc/rto.bin", &src, 50,
                       [&] {
                           // Sent and dropped: only the clock brings it again.
                           ASSERT_TRUE(
                               loop.RunUntil([&] { return calls.TicksOf(kDATA, 1).size() == 1; }));
                           ASSERT_TRUE(loop.AdvanceToNext());
                       }),
              0u);
    const std::vector<u32> t = calls.TicksOf(kDATA, 1);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1] - t[0], 1000u);
}

}  // namespace
