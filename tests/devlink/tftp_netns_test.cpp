// The broadcast status poll and wrapped sessions, inside network namespaces of
// the test's own (root only): the poll never leaves them. On the virtual clock.

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "services/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/FileTestUtil.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace enginetest;
using namespace testtftp;
using namespace filetest;

namespace {

constexpr u32 kBroadcast = 0xFFFFFFFFu;
constexpr u32 kDev11 = 0xC612010B;  // 198.18.1.11
constexpr u32 kDev13 = 0xC613070D;  // 198.19.7.13: a subnet the application is not on

class Netns : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
        // A parameterised test's name holds a slash, which a namespace's may not.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        const std::string why = net.Setup(name);
        ASSERT_EQ(why, "");
    }
    // Runs the test body with the main thread inside the application's namespace.
    void InApp(const std::function<void()>& body) {
        ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
            mgr = std::make_unique<CTftpManager>(MainRunLoopWakeSource(), 1);
            eth0 = if_nametoindex("eth0");
            body();
            for (CTftpSession* s : sessions) mgr->Release(s);
            mgr.reset();
        }));
    }
    CTftpSession* Poll(Recorder& rec) {
        CTftpSession* s = mgr->StartTransfer(LNetAddr::IPv4(kBroadcast, kTftpPort), false,
                                             "/.cmd/udkvtstat", &rec, Recorder::Callback, eth0);
        sessions.push_back(s);
        s->AddOption("serno", "0");
        s->Start();
        return s;
    }
    std::unique_ptr<SimDeviceProcess> Devices(const std::vector<std::string>& adds) {
        auto sim = std::make_unique<SimDeviceProcess>(NetnsHarness::NsPath(net.DevNs()));
        EXPECT_TRUE(sim->Ok());
        for (auto& a : adds) {
            std::string r = sim->Cmd(a);
            EXPECT_EQ(r.rfind("ok", 0), 0u) << a << ": " << r;
        }
        return sim;
    }

    CVirtualRunLoop loop;
    NetnsHarness net;
    TempDir dir;
    std::unique_ptr<CTftpManager> mgr;
    std::vector<CTftpSession*> sessions;
    u32 eth0 = 0;
};

TEST_F(Netns, StatusPollIsWrappedByteExactAndSentElevenTimes) {
    // Listens where the devices would.
    int cap = -1;
    ASSERT_TRUE(net.InNs(net.DevNs(), [&] {
        cap = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(kTftpPort);
        bind(cap, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }));
    ASSERT_GE(cap, 0);
    InApp([&] {
        Recorder rec;
        const u32 start = LTickMs();
        CTftpSession* s = Poll(rec);
        EXPECT_TRUE(s->Wrapper());
        EXPECT_TRUE(s->Broadcast());
        std::vector<std::pair<u32, std::string>> got;
        while (!rec.Done()) {
            pollfd p{cap, POLLIN, 0};
            ASSERT_TRUE(loop.RunUntil([&] { return poll(&p, 1, 0) == 1; }));
            char buf[600];
            const ssize_t n = recv(cap, buf, sizeof buf, 0);
            got.emplace_back(LTickMs() - start, std::string(buf, size_t(n > 0 ? n : 0)));
            ASSERT_TRUE(loop.AdvanceToNext());
        }
        const std::string want = std::string("YTFW\xFF\xFF\xFF\xFF\x00\x01", 10) +
                                 std::string("/.cmd/udkvtstat\0", 16) +
                                 std::string(
                                     "octet\0blksize\0"
                                     "1420\0serno\0"
                                     "0\0",
                                     27);
        ASSERT_EQ(got.size(), 11u);
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].second, want);
            EXPECT_EQ(got[i].first, 1000u * i);
        }
        EXPECT_EQ(s->Result(), 2u);
        EXPECT_EQ(rec.events.back().tick - start, 11000u);
        EXPECT_EQ(rec.events.size(), 1u);
    });
    close(cap);
}

TEST_F(Netns, WrappedSessionTakes1420AndRefuses1428) {
    auto sim =
        Devices({"add-device serno=13 addr=198.19.7.13/24 listen=any root=" + dir.Path() + "/c",
                 "add-device serno=11 addr=198.18.1.11/24 listen=any root=" + dir.Path() + "/a"});
    InApp([&] {
        for (const char* reply : {"1420", "1428"}) {
            sim->Cmd(std::string("set serno=13 blksize-reply=") + reply);
            Recorder rec;
            std::vector<u8> got;
            rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
            CTftpSession* s = mgr->StartTransfer(LNetAddr::IPv4(kDev13, kTftpPort), false,
                                                 "/.cmd/udkvtstat", &rec, Recorder::Callback, eth0);
            sessions.push_back(s);
            s->AddOption("serno", "13");
            EXPECT_TRUE(s->Wrapper());
            EXPECT_FALSE(s->Broadcast());
            s->Start();
            ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 5000));
            if (std::string(reply) == "1420") {
                EXPECT_EQ(rec.peerResults, std::vector<u32>{0});
                EXPECT_FALSE(got.empty());
            } else {
                EXPECT_EQ(rec.peerResults, std::vector<u32>{3});
                EXPECT_EQ(rec.peerErrors, std::vector<u32>{8});
            }
        }
        // A host inside the connected subnet: unwrapped, offering 1428.
        Recorder rec;
        std::vector<u8> got;
        rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&got, CStrm::kModeWrite); };
        CTftpSession* s = mgr->StartTransfer(LNetAddr::IPv4(kDev11, kTftpPort), false,
                                             "/.cmd/udkvtstat", &rec, Recorder::Callback, eth0);
        sessions.push_back(s);
        s->AddOption("serno", "11");
        EXPECT_FALSE(s->Wrapper());
        s->Start();
        ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 5000));
        EXPECT_EQ(rec.peerResults, std::vector<u32>{0});
    });
    bool wrapped1420 = false, plain1428 = false;
    for (auto& l : sim->Log()) {
        if (l.find("op=RRQ") == std::string::npos || l.find("dir=in") == std::string::npos)
            continue;
        if (l.find("dev=13") != std::string::npos &&
            l.find("opt.blksize=1420") != std::string::npos &&
            l.find("wrap=1") != std::string::npos)
            wrapped1420 = true;
        if (l.find("dev=11") != std::string::npos &&
            l.find("opt.blksize=1428") != std::string::npos &&
            l.find("wrap=0") != std::string::npos)
            plain1428 = true;
    }
    EXPECT_TRUE(wrapped1420);
    EXPECT_TRUE(plain1428);
}

// 64 devices on the application's subnet and one on a subnet it is not
// connected to: one poll finds them all, each with its own serial.
TEST_F(Netns, SixtyFiveDevicesAreAllFoundByOnePoll) {
    std::vector<std::string> adds = {
        "add-device serno=13 addr=198.19.7.13/24 listen=any root=" + dir.Path() + "/c"};
    std::vector<std::string> want = {"13"};
    for (int i = 0; i < 64; ++i) {
        const std::string ip = "198.18.1." + std::to_string(100 + i);
        const std::string cmd = "ip -n " + net.DevNs() + " addr add " + ip + "/24 dev eth0";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        want.push_back(std::to_string(1000 + i));
        adds.push_back("add-device serno=" + want.back() + " addr=" + ip +
                       "/24 listen=any root=" + dir.Path() + "/d" + std::to_string(i));
    }
    auto sim = Devices(adds);
    InApp([&] {
        Recorder rec;
        std::vector<std::unique_ptr<std::vector<u8>>> sinks;
        rec.makeStream = [&](CTftpPeer*) {
            sinks.push_back(std::make_unique<std::vector<u8>>());
            return new VecStrm(sinks.back().get(), CStrm::kModeWrite);
        };
        // How fast they answer is the benchmark's business; here all of them do,
        // and the session ends at the first resend-timer firing after the answers.
        const u32 start = LTickMs();
        CTftpSession* s = Poll(rec);
        ASSERT_TRUE(loop.RunUntil([&] { return rec.Count(kTftpEventPeerDone) == 65; }, 10000));
        EXPECT_EQ(rec.peerResults, std::vector<u32>(65, 0));
        for (auto& sink : sinks) EXPECT_FALSE(sink->empty());
        EXPECT_FALSE(rec.Done());
        ASSERT_TRUE(loop.AdvanceToNext());
        EXPECT_EQ(rec.Count(kTftpEventSessionDone), 1u);
        EXPECT_EQ(rec.events.back().tick - start, 1000u);
        loop.Advance(60000);
        EXPECT_EQ(rec.Count(kTftpEventSessionDone), 1u);
        std::vector<std::string> sernos;
        for (u32 i = 0; i < s->PeerCount(); ++i)
            if (const LString* v = s->PeerAt(i)->Option("serno")) sernos.emplace_back(v->CStr());
        std::sort(sernos.begin(), sernos.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(sernos, want);
    });
    // One poll: the request reached every device once.
    u32 requests = 0;
    for (auto& l : sim->Log())
        requests += l.find("op=RRQ") != std::string::npos && l.find("dir=in") != std::string::npos;
    EXPECT_EQ(requests, 65u);
}

// The UDP receive-buffer drops the kernel counted in the calling thread's namespace.
u64 RcvbufErrors() {
    std::ifstream f("/proc/thread-self/net/snmp");
    std::string header, values;
    while (std::getline(f, header)) {
        if (header.rfind("Udp:", 0) != 0 || !std::getline(f, values)) continue;
        std::istringstream h(header), v(values);
        std::string key, value;
        while (h >> key && v >> value)
            if (key == "RcvbufErrors") return std::stoull(value);
    }
    return ~u64(0);
}

// A thousand devices answer one poll at once: every answer waits in the poll's
// socket until it is read (none dropped by the kernel), and the poll has them all
// before its first resend, a few hundred milliseconds after the first came.
// A released session's port stays barred for the host it talked to; a session
// that any host may answer (a broadcast, also one to our own subnet) takes no
// port barred for any host. The namespace hands out one port only, one above
// the usual range, so that no earlier session of this process used it.
TEST_F(Netns, ASessionAnyHostMayAnswerTakesNoPortBarredForOne) {
    InApp([&] {
        {
            std::ofstream range("/proc/sys/net/ipv4/ip_local_port_range");
            range << "61500 61500";
        }
        std::ifstream check("/proc/sys/net/ipv4/ip_local_port_range");
        u32 low = 0, high = 0;
        check >> low >> high;
        ASSERT_EQ(low, 61500u);
        ASSERT_EQ(high, 61500u);
        Recorder rec;
        auto start = [&](u32 ip) {
            return mgr->StartTransfer(LNetAddr::IPv4(ip, kTftpPort), false, "/.cmd/udkvtstat",
                                      &rec, Recorder::Callback, eth0);
        };
        CTftpSession* first = start(kDev11);
        ASSERT_TRUE(first->Socket().IsOpen());
        ASSERT_EQ(first->Socket().LocalPort(), 61500);
        mgr->Release(first);  // barred for 198.18.1.11 now
        const struct {
            const char* to;
            u32 ip;
            bool gets;
        } cases[] = {{"another host", 0xC612010C, true},
                     {"our subnet's broadcast", 0xC61201FF, false},
                     {"every host", kBroadcast, false},
                     {"the same host", kDev11, false}};
        for (const auto& c : cases) {
            CTftpSession* s = start(c.ip);
            EXPECT_EQ(s->Socket().IsOpen() && s->Socket().LocalPort() == 61500, c.gets) << c.to;
            mgr->Release(s);
        }
    });
}

TEST_F(Netns, AThousandDevicesAnswerOnePollWithoutADrop) {
    constexpr int kDevices = 1000;
    const std::string batch = dir.Path() + "/addresses";
    std::vector<std::string> adds;
    {
        std::ofstream b(batch);
        for (int i = 0; i < kDevices; ++i) {
            const std::string ip =
                "198.18." + std::to_string(16 + i / 250) + "." + std::to_string(1 + i % 250);
            b << "addr add " << ip << "/20 dev eth0\n";
            adds.push_back("add-device serno=" + std::to_string(2000 + i) + " addr=" + ip +
                           "/20 listen=any root=" + dir.Path() + "/d" + std::to_string(i));
        }
    }
    const std::string cmd = "ip -n " + net.DevNs() + " -batch " + batch;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    adds.push_back("packet-log off");
    auto sim = Devices(adds);
    InApp([&] {
        Recorder rec;
        std::vector<std::unique_ptr<std::vector<u8>>> sinks;
        using Clock = std::chrono::steady_clock;
        Clock::time_point first{}, last{};
        rec.onNewPeer = [&](CTftpPeer*) {
            if (first == Clock::time_point{}) first = Clock::now();
        };
        rec.makeStream = [&](CTftpPeer*) {
            sinks.push_back(std::make_unique<std::vector<u8>>());
            return new VecStrm(sinks.back().get(), CStrm::kModeWrite);
        };
        const u64 drops = RcvbufErrors();
        ASSERT_NE(drops, ~u64(0));
        const u32 start = LTickMs();
        Poll(rec);
        // The main thread is busy elsewhere (drawing) while every device answers:
        // all the answers wait in the socket.
        for (int i = 0; i < 2000 && SimDeviceProcess::Field(sim->Cmd("xfers"), "active") !=
                                        std::to_string(kDevices);
             ++i)
            SleepMs(5);
        ASSERT_TRUE(
            loop.RunUntil([&] { return rec.Count(kTftpEventPeerDone) == size_t(kDevices); }, 30000))
            << rec.Count(kTftpEventPeerDone) << " answered";
        last = Clock::now();
        EXPECT_EQ(RcvbufErrors() - drops, 0u);
        EXPECT_EQ(LTickMs(), start) << "found without a resend of the poll";
        EXPECT_EQ(rec.peerResults, std::vector<u32>(kDevices, 0));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(last - first);
        std::printf("%d devices listed %lld ms after the first answer\n", kDevices,
                    static_cast<long long>(ms.count()));
    });
}

// An empty datagram ahead of every answer, from the answering port or from the
// device's listening port: the poll, a read and a write all go through with the
// clock standing still, as they do without them.
struct EmptyCase {
    const char* name;
    const char* what;  // poll, read or write
    const char* from;
};
const EmptyCase kEmptyCases[] = {
    {"PollFromThePeer", "poll", "peer"},   {"PollFromElsewhere", "poll", "other"},
    {"ReadFromThePeer", "read", "peer"},   {"ReadFromElsewhere", "read", "other"},
    {"WriteFromThePeer", "write", "peer"}, {"WriteFromElsewhere", "write", "other"},
};

class NetnsEmpty : public Netns, public ::testing::WithParamInterface<EmptyCase> {};

TEST_P(NetnsEmpty, EveryAnswerIsTakenWithoutATimer) {
    const EmptyCase& c = GetParam();
    const std::string what = c.what;
    std::vector<std::string> adds;
    for (int i = 0; i < 3; ++i) {
        // Device 11 has its address from the harness; the others get theirs here.
        const std::string ip = "198.18.1." + std::to_string(i == 0 ? 11 : 100 + i);
        const std::string cmd = "ip -n " + net.DevNs() + " addr add " + ip + "/24 dev eth0";
        if (i > 0) {
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
        adds.push_back("add-device serno=" + std::to_string(11 + i) + " addr=" + ip +
                       "/24 listen=any root=" + dir.Path() + "/d" + std::to_string(i));
    }
    for (const char* op : {"OACK", "DATA", "ACK"})
        adds.push_back(std::string("fault empty opcode=") + op + " from=" + c.from);
    const std::vector<u8> content = Pattern(1428 * 5 + 99, 5);
    auto sim = Devices(adds);
    if (what == "read") WriteFile(dir.Path() + "/d0/sdc/f.bin", content);
    InApp([&] {
        Recorder rec;
        std::vector<std::unique_ptr<std::vector<u8>>> sinks;
        std::vector<u8> src = content;
        rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(50); };
        rec.makeStream = [&](CTftpPeer*) -> CStrm* {
            if (what == "write") return new VecStrm(&src);
            sinks.push_back(std::make_unique<std::vector<u8>>());
            return new VecStrm(sinks.back().get(), CStrm::kModeWrite);
        };
        const u32 start = LTickMs();
        const size_t peers = what == "poll" ? 3 : 1;
        if (what == "poll") {
            Poll(rec);
        } else {
            CTftpSession* s = mgr->StartTransfer(LNetAddr::IPv4(kDev11, kTftpPort), what == "write",
                                                 "/sdc/f.bin", &rec, Recorder::Callback, eth0);
            sessions.push_back(s);
            s->AddOption("serno", "11");
            s->Start();
        }
        ASSERT_TRUE(loop.RunUntil([&] { return rec.Count(kTftpEventPeerDone) == peers; }, 10000));
        EXPECT_EQ(LTickMs(), start);
        EXPECT_EQ(rec.peerResults, std::vector<u32>(peers, 0));
        if (what == "read") {
            EXPECT_TRUE(*sinks.at(0) == content);
        }
        for (auto& sink : sinks) EXPECT_FALSE(sink->empty());
    });
    if (what == "write") {
        EXPECT_TRUE(
            RunUntil([&] { return ReadFile(dir.Path() + "/d0/sdc/f.bin") == content; }, 3000));
    }
    // The empty datagrams did go out.
    u32 empties = 0;
    for (auto& l : sim->Log()) empties += l.find("fate=empty") != std::string::npos;
    EXPECT_GE(empties, what == "poll" ? 6u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Cases, NetnsEmpty, ::testing::ValuesIn(kEmptyCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
