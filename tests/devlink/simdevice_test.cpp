// The simulated device, checked from the outside: over loopback with a test
// client, against a stock TFTP client, and inside namespaces for the broadcast poll.

#include "tests/devlink/FileTestUtil.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/SimDeviceProcess.h"
#include "tests/devlink/TestTftpClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

using namespace testtftp;
using namespace filetest;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDevIp = Ip(127, 0, 0, 2);
constexpr uint32_t kClientIp = Ip(127, 0, 0, 1);

Bytes RandomBytes(size_t n, unsigned seed) {
    std::mt19937 g(seed);
    Bytes b(n);
    for (auto& c : b) c = uint8_t(g());
    return b;
}

std::string Opt(const Options& o, const std::string& k) {
    for (auto& [key, v] : o)
        if (key == k) return v;
    return "";
}

// One kvsimdev with device 305 at 127.0.0.2 on a free port.
class SimDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        ASSERT_TRUE(sim.Ok()) << "cannot start " << SimDeviceProcess::ProgramPath();
        root = dir.Path() + "/dev305";
        std::string a = sim.Cmd("add-device serno=305 addr=127.0.0.2 root=" + root + " port=0");
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
        port = uint16_t(std::stoi(SimDeviceProcess::Field(a, "port")));
        ASSERT_TRUE(client.Ok());
    }
    std::string DumpLog() {
        std::vector<std::string> data;
        std::string s = sim.Cmd("log", &data) + "\n";
        for (auto& l : data) s += l + "\n";
        return s;
    }
    bool LogHas(const std::string& a, const std::string& b = "") {
        for (auto& l : sim.Log())
            if (l.find(a) != std::string::npos && l.find(b) != std::string::npos) return true;
        return false;
    }

    TempDir dir;
    SimDeviceProcess sim;
    std::string root;
    uint16_t port = 0;
    TestTftpClient client;
};

TEST_F(SimDevice, ReadsEndWithAShortBlockAndAnEmptyOneOnABoundary) {
    WriteFile(root + "/sdc/even.bin", RandomBytes(64, 1));
    WriteFile(root + "/sdc/odd.bin", RandomBytes(65, 2));
    WriteFile(root + "/sdc/empty.bin", {});

    auto r = client.Read(kDevIp, port, "/sdc/even.bin", {{"blksize", "8"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.data, RandomBytes(64, 1));
    ASSERT_EQ(r.sizes.size(), 9u);
    EXPECT_EQ(r.sizes.back(), 0u);
    EXPECT_EQ(Opt(r.oack, "blksize"), "8");

    r = client.Read(kDevIp, port, "/sdc/odd.bin", {{"blksize", "8"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.data, RandomBytes(65, 2));
    EXPECT_EQ(r.sizes, (std::vector<size_t>{8, 8, 8, 8, 8, 8, 8, 8, 1}));

    r = client.Read(kDevIp, port, "/sdc/empty.bin", {{"blksize", "8"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.sizes, (std::vector<size_t>{0}));

    // Without options there is no OACK: DATA 1 of 512 bytes comes at once.
    WriteFile(root + "/sdc/big.bin", RandomBytes(1500, 3));
    r = client.Read(kDevIp, port, "/sdc/big.bin", {});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_TRUE(r.oack.empty());
    EXPECT_EQ(r.sizes, (std::vector<size_t>{512, 512, 476}));
    EXPECT_TRUE(sim.WaitIdle(3000));
}

TEST_F(SimDevice, BlockNumbersWrapFrom65535ToZero) {
    const size_t blocks = 65536 + 3;  // full blocks; the last block holds 5 bytes
    Bytes content = RandomBytes(blocks * 8 + 5, 4);
    WriteFile(root + "/ums/long.bin", content);
    sim.Cmd("set serno=305 window=8");  // the client acknowledges every block; this only saves time
    auto r = client.Read(kDevIp, port, "/ums/long.bin", {{"blksize", "8"}, {"serno", "305"}},
                         std::nullopt, 5000);
    ASSERT_TRUE(r.ok) << r.why;
    ASSERT_EQ(r.blocks.size(), blocks + 1);
    EXPECT_EQ(r.blocks[65534], 65535u);
    EXPECT_EQ(r.blocks[65535], 0u);
    EXPECT_EQ(r.blocks[65536], 1u);
    EXPECT_EQ(r.blocks.back(), 4u);
    EXPECT_EQ(r.sizes.back(), 5u);
    EXPECT_TRUE(r.data == content);
}

TEST_F(SimDevice, OackCarriesSernoAndTheClampedBlockSize) {
    WriteFile(root + "/sys/info", Bytes(10, 'i'));
    // Too large: clamped to 1428; serno 0 is answered with the device's own.
    auto r = client.Read(kDevIp, port, "/sys/info", {{"blksize", "2000"}, {"serno", "0"}});
    ASSERT_TRUE(r.ok) << r.why;
    ASSERT_EQ(r.oack.size(), 2u);
    EXPECT_EQ(r.oack[0], (std::pair<std::string, std::string>("blksize", "1428")));
    EXPECT_EQ(r.oack[1], (std::pair<std::string, std::string>("serno", "305")));

    // Keys in any case; a size inside the range is granted as asked.
    r = client.Read(kDevIp, port, "/sys/info", {{"BLKSIZE", "100"}, {"SerNo", "305"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(Opt(r.oack, "blksize"), "100");
    EXPECT_EQ(Opt(r.oack, "serno"), "305");

    // Wrapped datagrams are 8 bytes longer: the cap is 1420.
    r = client.Read(kDevIp, port, "/sys/info", {{"blksize", "1428"}, {"serno", "305"}}, kDevIp);
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(Opt(r.oack, "blksize"), "1420");

    // A lower device limit, and a forced reply for the application's own checks.
    sim.Cmd("set serno=305 maxblk=600");
    r = client.Read(kDevIp, port, "/sys/info", {{"blksize", "1428"}});
    EXPECT_EQ(Opt(r.oack, "blksize"), "600");
    sim.Cmd("set serno=305 maxblk=1428 blksize-reply=1500");
    r = client.Read(kDevIp, port, "/sys/info", {{"blksize", "1428"}});
    EXPECT_EQ(Opt(r.oack, "blksize"), "1500");
    sim.Cmd("set serno=305 blksize-reply=0");

    // Below 8 or not a number: ERROR 8.
    r = client.Read(kDevIp, port, "/sys/info", {{"blksize", "4"}});
    EXPECT_EQ(r.errorCode, 8u);
    r = client.Read(kDevIp, port, "/sys/info", {{"blksize", "12x"}});
    EXPECT_EQ(r.errorCode, 8u);

    // A device without option support answers DATA 1 directly.
    sim.Cmd("set serno=305 options=ignore");
    r = client.Read(kDevIp, port, "/sys/info", {{"blksize", "8"}, {"serno", "305"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_TRUE(r.oack.empty());
    EXPECT_EQ(r.sizes, (std::vector<size_t>{10}));
}

TEST_F(SimDevice, AnotherDevicesSernoGetsNoAnswer) {
    WriteFile(root + "/sdc/a", Bytes(3, 'a'));
    for (const char* s : {"999", "3050", "abc", "", "-305", "305 "}) {
        client.Send(kDevIp, port, MakeRequest(kRRQ, "/sdc/a", {{"blksize", "512"}, {"serno", s}}));
        EXPECT_FALSE(client.Recv(300)) << "serno \"" << s << "\" was answered";
    }
    EXPECT_TRUE(LogHas("ans=ignore why=serno"));
    auto r = client.Read(kDevIp, port, "/sdc/a", {{"serno", "305"}});
    EXPECT_TRUE(r.ok) << r.why;
}

TEST_F(SimDevice, WrappedRequestsGetWrappedAnswers) {
    Bytes content = RandomBytes(3000, 5);
    WriteFile(root + "/sdc/w.bin", content);
    auto r =
        client.Read(kDevIp, port, "/sdc/w.bin", {{"blksize", "1420"}, {"serno", "305"}}, kDevIp);
    ASSERT_TRUE(r.ok) << r.why << DumpLog();
    EXPECT_TRUE(r.allWrapped);
    EXPECT_EQ(r.data, content);

    // The wrapper names the asker.
    client.Send(kDevIp, port, MakeRequest(kRRQ, "/sdc/w.bin", {{"serno", "305"}}), kDevIp);
    auto d = client.Recv(1000);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->wrapped);
    EXPECT_EQ(d->target, kClientIp);
    EXPECT_EQ(d->op, kOACK);
    client.Send(d->srcIp, d->srcPort, Bytes{0, 5, 0, 0, 0}, kDevIp);  // ERROR 0 ends it
    // A resent OACK may already be on its way: drop it so the next read starts clean.
    while (client.Recv(200)) {
    }

    // Unwrapped requests get plain answers.
    r = client.Read(kDevIp, port, "/sdc/w.bin", {{"blksize", "1420"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_FALSE(r.allWrapped);

    // A wrapper naming another address is not for this device.
    client.Send(kDevIp, port, MakeRequest(kRRQ, "/sdc/w.bin", {{"serno", "305"}}),
                Ip(127, 0, 0, 9));
    EXPECT_FALSE(client.Recv(300));

    // Writes travel wrapped both ways too.
    auto w = client.Write(kDevIp, port, "/sdc/up.bin", content,
                          {{"blksize", "700"}, {"serno", "305"}}, kDevIp);
    ASSERT_TRUE(w.ok) << w.why;
    EXPECT_TRUE(w.allWrapped);
    EXPECT_EQ(ReadFile(root + "/sdc/up.bin"), content);
}

TEST_F(SimDevice, WritesLandByteIdenticalInTheDeviceTree) {
    Bytes a = RandomBytes(3000, 6), b = RandomBytes(64, 7);
    auto w =
        client.Write(kDevIp, port, "/sdc/show/one.bin", a, {{"blksize", "512"}, {"serno", "305"}});
    ASSERT_TRUE(w.ok) << w.why;
    EXPECT_EQ(ReadFile(root + "/sdc/show/one.bin"), a);
    // A multiple of the block size ends with an empty block; an existing file is replaced.
    WriteFile(root + "/ums/two.bin", Bytes(500, 'x'));
    w = client.Write(kDevIp, port, "/ums/two.bin", b, {{"blksize", "8"}});
    ASSERT_TRUE(w.ok) << w.why;
    EXPECT_EQ(w.blocks.back(), 9u);
    EXPECT_EQ(ReadFile(root + "/ums/two.bin"), b);
    // No temporary file stays behind.
    size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(root)) files += e.is_regular_file();
    EXPECT_EQ(files, 2u);
    EXPECT_TRUE(LogHas("end ", "result=ok code=0 bytes=3000"));
}

TEST_F(SimDevice, ReceiverAcknowledgesEveryBlockAndKeepsOnlyTheExpectedOne) {
    // The application sends a window of blocks and does not take ACKs as cumulative.
    ASSERT_EQ(sim.Cmd("fault reorder dir=in opcode=DATA block=2 count=1").rfind("ok", 0), 0u);
    client.Send(kDevIp, port, MakeRequest(kWRQ, "/sdc/win.bin", {{"blksize", "8"}}));
    auto o = client.Recv(1000);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->op, kOACK);
    Bytes blk[4] = {Bytes(8, '1'), Bytes(8, '2'), Bytes(8, '3'), Bytes(3, '4')};
    for (int i = 0; i < 3; ++i)
        client.Send(o->srcIp, o->srcPort, MakeData(unsigned(i + 1), blk[i]));
    std::vector<unsigned> acks;
    for (int i = 0; i < 3; ++i) {
        auto d = client.Recv(2000);
        ASSERT_TRUE(d);
        acks.push_back(d->block);
    }
    EXPECT_EQ(acks, (std::vector<unsigned>{1, 3, 2}));  // 3 came early: acknowledged, not kept
    client.Send(o->srcIp, o->srcPort, MakeData(3, blk[2]));
    client.Send(o->srcIp, o->srcPort, MakeData(4, blk[3]));
    for (unsigned want : {3u, 4u}) {
        auto d = client.Recv(2000);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->block, want);
    }
    // A repeated final block is acknowledged again.
    client.Send(o->srcIp, o->srcPort, MakeData(4, blk[3]));
    auto d = client.Recv(2000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->block, 4u);
    Bytes want;
    for (auto& x : blk) want.insert(want.end(), x.begin(), x.end());
    EXPECT_EQ(ReadFile(root + "/sdc/win.bin"), want);
}

TEST_F(SimDevice, RefusesPathsOutsideItsTreeAndUnknownFiles) {
    WriteFile(dir.Path() + "/secret", Bytes(4, 's'));
    struct {
        int op;
        const char* path;
        unsigned code;
    } cases[] = {{kRRQ, "/sdc/../../secret", 2}, {kRRQ, "/etc/passwd", 1},
                 {kRRQ, "/sdc/missing", 1},      {kRRQ, "/sdc", 2},
                 {kWRQ, "/sdc/../x", 2},         {kRRQ, "/.cmd/nothing", 1},
                 {kWRQ, "/.cmd/udkvtstat", 2}};
    for (auto& c : cases) {
        client.Send(kDevIp, port, MakeRequest(c.op, c.path, {{"blksize", "512"}}));
        auto d = client.Recv(1000);
        ASSERT_TRUE(d) << c.path;
        EXPECT_EQ(d->op, kERROR) << c.path;
        EXPECT_EQ(d->block, c.code) << c.path;
    }
    EXPECT_FALSE(fs::exists(dir.Path() + "/x"));
}

TEST_F(SimDevice, StatusCommandAnswersTheStatusBody) {
    ASSERT_EQ(sim.Cmd("set-status serno=305 hex=594b56540000000a"), "ok bytes=8");
    auto r = client.Read(kDevIp, port, "/.cmd/udkvtstat", {{"blksize", "1428"}, {"serno", "0"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.data, (Bytes{'Y', 'K', 'V', 'T', 0, 0, 0, 10}));
    EXPECT_EQ(Opt(r.oack, "serno"), "305");
}

TEST_F(SimDevice, ScriptedFaultsHitWhatTheyName) {
    WriteFile(root + "/sdc/f", RandomBytes(40, 8));
    sim.Cmd("set serno=305 rto=150");
    // DATA 3 lost once: it comes again after the device's time-out.
    sim.Cmd("fault drop dir=out opcode=DATA block=3 count=1");
    auto r = client.Read(kDevIp, port, "/sdc/f", {{"blksize", "8"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.data, RandomBytes(40, 8));
    EXPECT_TRUE(LogHas("op=DATA block=3", "fate=drop"));
    sim.Cmd("fault-clear");

    // An ERROR in place of DATA 2.
    sim.Cmd("fault error dir=out opcode=DATA block=2 code=3");
    r = client.Read(kDevIp, port, "/sdc/f", {{"blksize", "8"}});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorCode, 3u);
    EXPECT_EQ(r.blocks, (std::vector<unsigned>{1}));
    sim.Cmd("fault-clear");

    // A request answered by an ERROR.
    sim.Cmd("fault error opcode=RRQ path=/sdc/f code=2");
    r = client.Read(kDevIp, port, "/sdc/f", {});
    EXPECT_EQ(r.errorCode, 2u);
    sim.Cmd("fault-clear");

    // A delayed OACK still arrives, later.
    sim.Cmd("fault delay opcode=OACK ms=300");
    auto t0 = std::chrono::steady_clock::now();
    r = client.Read(kDevIp, port, "/sdc/f", {{"blksize", "8"}});
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(280));
    sim.Cmd("fault-clear");

    // Silence: nothing is answered for a while, then the device is back.
    sim.Cmd("fault silence opcode=RRQ ms=600 count=1");
    client.Send(kDevIp, port, MakeRequest(kRRQ, "/sdc/f", {}));
    EXPECT_FALSE(client.Recv(300));
    client.Send(kDevIp, port, MakeRequest(kRRQ, "/sdc/f", {}));
    EXPECT_FALSE(client.Recv(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    r = client.Read(kDevIp, port, "/sdc/f", {});
    EXPECT_TRUE(r.ok) << r.why;

    EXPECT_EQ(sim.Cmd("fault explode"), "err unknown action explode");
    EXPECT_EQ(sim.Cmd("fault drop opcode=NOPE"), "err bad opcode");
    EXPECT_EQ(sim.Cmd("fault drop colour=red"), "err unknown key colour");
}

// The log of one faulty read, without times, ports and transfer ids.
std::vector<std::string> FaultyRun(uint64_t seed, Bytes* got) {
    TempDir dir;
    SimDeviceProcess sim;
    std::string root = dir.Path() + "/d";
    WriteFile(root + "/sdc/s.bin", RandomBytes(100, 9));
    std::string a = sim.Cmd("add-device serno=7 addr=127.0.0.3 root=" + root + " port=0");
    uint16_t port = uint16_t(std::stoi(SimDeviceProcess::Field(a, "port")));
    sim.Cmd("set serno=7 rto=250 retries=20");
    sim.Cmd("fault loss dir=in opcode=ACK percent=25 seed=" + std::to_string(seed));
    sim.Cmd("fault dup dir=out opcode=DATA percent=20 seed=" + std::to_string(seed + 100));
    TestTftpClient client;
    auto r = client.Read(Ip(127, 0, 0, 3), port, "/sdc/s.bin", {{"blksize", "8"}});
    *got = r.data;
    sim.WaitIdle(3000);
    // Within one direction the order is fixed; in and out lines may interleave differently.
    std::vector<std::string> in, out;
    for (auto& l : sim.Log()) {
        std::string clean;
        std::istringstream s(l);
        for (std::string tok; s >> tok;)
            if (tok.rfind("t=", 0) && tok.rfind("peer=", 0) && tok.rfind("x=", 0))
                clean += tok + " ";
        (l.find(" dir=in ") != std::string::npos ? in : out).push_back(clean);
    }
    in.insert(in.end(), out.begin(), out.end());
    return in;
}

TEST(SimDeviceFaults, TheSameSeedGivesTheSamePacketLog) {
    Bytes a, b, c;
    auto first = FaultyRun(7, &a);
    auto second = FaultyRun(7, &b);
    auto other = FaultyRun(8, &c);
    EXPECT_EQ(a, RandomBytes(100, 9));
    EXPECT_EQ(b, a);
    EXPECT_EQ(c, a);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
    auto count = [&](const char* what) {
        return std::count_if(first.begin(), first.end(), [&](const std::string& l) {
            return l.find(what) != std::string::npos;
        });
    };
    EXPECT_GT(count("fate=drop"), 0);
    EXPECT_GT(count("fate=dup"), 0);
}

TEST(SimDeviceControl, AnswersBadCommandsWithErrors) {
    SimDeviceProcess sim;
    ASSERT_TRUE(sim.Ok());
    TempDir dir;
    EXPECT_EQ(sim.Cmd("frobnicate"), "err unknown command frobnicate");
    EXPECT_EQ(sim.Cmd("add-device addr=127.0.0.2 root=/tmp/x").rfind("err", 0), 0u);
    EXPECT_EQ(sim.Cmd("add-device serno=1 addr=127.0.0.256 root=" + dir.Path()).rfind("err", 0),
              0u);
    EXPECT_EQ(sim.Cmd("add-device serno=1 addr=127.0.0.2 root=relative").rfind("err", 0), 0u);
    // Outside a namespace only loopback addresses.
    if (NetnsHarness::InHostNetns()) {
        EXPECT_EQ(sim.Cmd("add-device serno=1 addr=198.18.1.11 root=" + dir.Path()).rfind("err", 0),
                  0u);
    }
    EXPECT_EQ(sim.Cmd("add-device serno=1 addr=127.0.0.2 port=0 root=" + dir.Path()).rfind("ok", 0),
              0u);
    EXPECT_EQ(sim.Cmd("add-device serno=1 addr=127.0.0.3 port=0 root=" + dir.Path()),
              "err serno 1 exists");
    EXPECT_EQ(sim.Cmd("set serno=1 window=0"), "err bad window");
    EXPECT_EQ(sim.Cmd("remove-device serno=1"), "ok");
    EXPECT_EQ(sim.Cmd("remove-device serno=1").rfind("err", 0), 0u);
}

// A stock TFTP client nobody here wrote, for plain reads and writes.
TEST_F(SimDevice, StockClientReadsAndWrites) {
    if (system("command -v atftp >/dev/null 2>&1") != 0) GTEST_SKIP() << "atftp is not installed";
    Bytes content = RandomBytes(5000, 10);
    WriteFile(root + "/sdc/r.bin", content);
    std::string got = dir.Path() + "/got.bin", up = dir.Path() + "/up.bin";
    WriteFile(up, RandomBytes(2900, 11));
    std::string base = "timeout 20 atftp --option \"blksize 100\" ";
    std::string p = " 127.0.0.2 " + std::to_string(port) + " >/dev/null 2>&1";
    ASSERT_EQ(system((base + "-g -r /sdc/r.bin -l " + got + p).c_str()), 0);
    EXPECT_EQ(ReadFile(got), content);
    ASSERT_EQ(system((base + "-p -r /ums/up.bin -l " + up + p).c_str()), 0);
    EXPECT_EQ(ReadFile(root + "/ums/up.bin"), RandomBytes(2900, 11));
    ASSERT_EQ(system(("timeout 20 atftp -g -r /sdc/r.bin -l " + got + p).c_str()), 0);
    EXPECT_EQ(ReadFile(got), content);
}

// Inside namespaces: the status poll to 255.255.255.255 is answered by every device.
TEST(SimDeviceNetns, BroadcastStatusPollIsAnsweredByEveryDevice) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to create network namespaces";
    NetnsHarness net;
    std::string why = net.Setup("poll");
    if (!why.empty()) GTEST_SKIP() << "cannot create network namespaces: " << why;

    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    ASSERT_EQ(sim.ReadyLine(), "ready hostns=0");
    TempDir dir;
    // Two devices on the application's subnet and one on a subnet it is not connected to.
    std::map<std::string, std::string> body = {{"198.18.1.11", "status of 11"},
                                               {"198.18.1.12", "status of 12"},
                                               {"198.19.7.13", "status of 13"}};
    for (auto& [addr, text] : body) {
        std::string serno = addr.substr(addr.rfind('.') + 1);
        std::string a = sim.Cmd("add-device serno=" + serno + " addr=" + addr +
                                "/24 root=" + dir.Path() + "/" + serno);
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
        EXPECT_EQ(SimDeviceProcess::Field(a, "port"), "61007");
        std::string esc;
        for (char c : text) esc += c == ' ' ? std::string("%20") : std::string(1, c);
        sim.Cmd("set-status serno=" + serno + " text=" + esc);
    }

    std::unique_ptr<TestTftpClient> client;
    bool away = false;
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        away = !NetnsHarness::InHostNetns();
        client = std::make_unique<TestTftpClient>(0, true);
    }));
    EXPECT_TRUE(away);
    ASSERT_TRUE(client->Ok());

    const uint32_t bcast = Ip(255, 255, 255, 255), app = Ip(198, 18, 1, 2);
    ASSERT_TRUE(client->Send(
        bcast, 61007, MakeRequest(kRRQ, "/.cmd/udkvtstat", {{"blksize", "1420"}, {"serno", "0"}}),
        bcast));
    struct Peer {
        uint16_t port = 0;
        std::string serno;
        Bytes data;
        bool done = false;
    };
    std::map<uint32_t, Peer> peers;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        auto d = client->Recv(200);
        if (!d) {
            bool all = peers.size() == 3;
            for (auto& [ip, p] : peers) all = all && p.done;
            if (all) break;
            continue;
        }
        ASSERT_TRUE(d->wrapped);
        ASSERT_EQ(d->target, app);
        Peer& p = peers[d->srcIp];
        p.port = d->srcPort;
        if (d->op == kOACK) {
            p.serno = Opt(d->options, "serno");
            EXPECT_EQ(Opt(d->options, "blksize"), "1420");
            client->Send(bcast, d->srcPort, MakeAck(0), d->srcIp);
        } else if (d->op == kDATA) {
            p.data.insert(p.data.end(), d->payload.begin(), d->payload.end());
            p.done = d->payload.size() < 1420;
            client->Send(bcast, d->srcPort, MakeAck(d->block), d->srcIp);
        }
    }
    ASSERT_EQ(peers.size(), 3u);
    for (auto& [ip, p] : peers) {
        std::string addr = std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." +
                           std::to_string((ip >> 8) & 255) + "." + std::to_string(ip & 255);
        ASSERT_TRUE(body.count(addr)) << addr;
        EXPECT_EQ(p.serno, addr.substr(addr.rfind('.') + 1));
        EXPECT_TRUE(p.done) << addr;
        EXPECT_EQ(std::string(p.data.begin(), p.data.end()), body[addr]) << addr;
    }
    EXPECT_TRUE(sim.WaitIdle(3000));
}

}  // namespace
