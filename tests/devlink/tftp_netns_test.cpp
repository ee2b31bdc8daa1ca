// The broadcast status poll and wrapped sessions, inside network namespaces of
// the test's own (root only): the poll never leaves them.

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace enginetest;
using namespace testtftp;

namespace {

constexpr u32 kBroadcast = 0xFFFFFFFFu;
constexpr u32 kDev11 = 0xC612010B;  // 198.18.1.11
constexpr u32 kDev13 = 0xC613070D;  // 198.19.7.13: a subnet the application is not on

class Netns : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
        EnsureApp();
        const std::string why =
            net.Setup(::testing::UnitTest::GetInstance()->current_test_info()->name());
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
        RunUntil(
            [&] {
                pollfd p{cap, POLLIN, 0};
                while (poll(&p, 1, 0) == 1) {
                    char buf[600];
                    const ssize_t n = recv(cap, buf, sizeof buf, 0);
                    got.emplace_back(LTickMs() - start, std::string(buf, size_t(n > 0 ? n : 0)));
                }
                return rec.Done();
            },
            15000);
        const std::string want = std::string("YTFW\xFF\xFF\xFF\xFF\x00\x01", 10) +
                                 std::string("/.cmd/udkvtstat\0", 16) +
                                 std::string(
                                     "octet\0blksize\0"
                                     "1420\0serno\0"
                                     "0\0",
                                     27);
        ASSERT_EQ(got.size(), 11u);
        for (auto& [t, bytes] : got) EXPECT_EQ(bytes, want);
        for (size_t i = 1; i < got.size(); ++i) {
            const u32 gap = got[i].first - got[i - 1].first;
            EXPECT_GE(gap, 950u);
            EXPECT_LE(gap, 1200u);
        }
        ASSERT_TRUE(rec.Done());
        EXPECT_EQ(s->Result(), 2u);
        EXPECT_GE(rec.events.back().tick - start, 10900u);
        EXPECT_EQ(rec.events.size(), 1u);
    });
    close(cap);
}

TEST_F(Netns, ThreeDevicesAnswerOnePoll) {
    auto sim =
        Devices({"add-device serno=11 addr=198.18.1.11/24 listen=any root=" + dir.Path() + "/a",
                 "add-device serno=12 addr=198.18.1.12/24 listen=any root=" + dir.Path() + "/b",
                 "add-device serno=13 addr=198.19.7.13/24 listen=any root=" + dir.Path() + "/c"});
    InApp([&] {
        Recorder rec;
        std::vector<std::unique_ptr<std::vector<u8>>> sinks;
        rec.makeStream = [&](CTftpPeer*) {
            sinks.push_back(std::make_unique<std::vector<u8>>());
            return new VecStrm(sinks.back().get(), CStrm::kModeWrite);
        };
        const u32 start = LTickMs();
        CTftpSession* s = Poll(rec);
        ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 5000));
        EXPECT_EQ(rec.Count(kTftpEventPeerNew), 3u);
        EXPECT_EQ(rec.Count(kTftpEventPeerDone), 3u);
        EXPECT_EQ(rec.Count(kTftpEventSessionDone), 1u);
        EXPECT_EQ(rec.peerResults, (std::vector<u32>{0, 0, 0}));
        // Not before the first resend-timer firing after the answers.
        EXPECT_GE(rec.events.back().tick - start, 990u);
        std::vector<std::string> sernos;
        for (u32 i = 0; i < s->PeerCount(); ++i) {
            const LString* v = s->PeerAt(i)->Option("serno");
            if (v) sernos.emplace_back(v->CStr());
        }
        std::sort(sernos.begin(), sernos.end());
        EXPECT_EQ(sernos, (std::vector<std::string>{"11", "12", "13"}));
        for (auto& sink : sinks) EXPECT_FALSE(sink->empty());
        RunFor(1200);
        EXPECT_EQ(rec.Count(kTftpEventSessionDone), 1u);
    });
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

TEST_F(Netns, SixtyFourDevicesAreAllFoundByOnePoll) {
    std::vector<std::string> adds;
    for (int i = 0; i < 64; ++i) {
        const std::string ip = "198.18.1." + std::to_string(100 + i);
        const std::string cmd = "ip -n " + net.DevNs() + " addr add " + ip + "/24 dev eth0";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        adds.push_back("add-device serno=" + std::to_string(1000 + i) + " addr=" + ip +
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
        const u32 start = LTickMs();
        Poll(rec);
        ASSERT_TRUE(RunUntil([&] { return rec.Done(); }, 10000));
        EXPECT_EQ(rec.Count(kTftpEventPeerNew), 64u);
        EXPECT_EQ(rec.peerResults, std::vector<u32>(64, 0));
        u32 lastAnswer = start;
        for (const Event& e : rec.events)
            if (e.event == kTftpEventPeerNew) lastAnswer = e.tick;
        RecordProperty("ms_to_last_answer", int(lastAnswer - start));
        std::printf("64 devices answered within %u ms\n", lastAnswer - start);
    });
    // One poll: the request reached every device once and was never resent.
    u32 requests = 0;
    for (auto& l : sim->Log())
        requests += l.find("op=RRQ") != std::string::npos && l.find("dir=in") != std::string::npos;
    EXPECT_EQ(requests, 64u);
}

}  // namespace
