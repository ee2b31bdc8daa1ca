// The simulated device, checked from the outside with a test client written
// apart from the engine and with a stock TFTP client: the device-facing tests
// are only as good as its answers.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>

#include "tests/devlink/FileTestUtil.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/SimDeviceProcess.h"
#include "tests/devlink/TestTftpClient.h"

using namespace testtftp;
using namespace filetest;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDevIp = Ip(127, 0, 0, 2);

Bytes Fill(size_t n, unsigned seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 31 + seed);
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
        ASSERT_TRUE(sim.Ok()) << "cannot start " << SimDeviceProcess::ProgramPath();
        std::string a = sim.Cmd("add-device serno=305 addr=127.0.0.2 root=" + root + " port=0");
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
        port = uint16_t(std::stoi(SimDeviceProcess::Field(a, "port")));
    }
    TempDir dir;
    SimDeviceProcess sim;
    std::string root = dir.Path() + "/dev305";
    uint16_t port = 0;
    TestTftpClient client;
};

struct ReadCase {
    const char* setting;  // a "set serno=305 ..." first, or ""
    size_t size;
    Options opts;
    bool wrapped;
    std::vector<size_t> sizes;  // DATA payloads; empty: an ERROR is the answer
    const char* blksize;        // in the OACK ("" none)
    unsigned error;
};

TEST_F(SimDevice, ReadsAnswerAsTheDevicesDo) {
    const ReadCase cases[] = {
        {"", 64, {{"blksize", "8"}}, false, {8, 8, 8, 8, 8, 8, 8, 8, 0}, "8", 0},
        {"", 17, {{"BLKSIZE", "8"}, {"SerNo", "305"}}, false, {8, 8, 1}, "8", 0},
        {"", 0, {{"blksize", "8"}}, false, {0}, "8", 0},
        {"", 1500, {}, false, {512, 512, 476}, "", 0},  // no options: no OACK
        {"", 10, {{"blksize", "2000"}, {"serno", "0"}}, false, {10}, "1428", 0},
        {"", 3000, {{"blksize", "1428"}, {"serno", "305"}}, true, {1420, 1420, 160}, "1420", 0},
        {"maxblk=600", 10, {{"blksize", "1428"}}, false, {10}, "600", 0},
        {"maxblk=1428 blksize-reply=1500", 10, {{"blksize", "1428"}}, false, {}, "1500", 0},
        {"blksize-reply=0", 10, {{"blksize", "4"}}, false, {}, "", 8},
        {"", 10, {{"blksize", "12x"}}, false, {}, "", 8},
        {"options=ignore", 10, {{"blksize", "8"}, {"serno", "305"}}, false, {10}, "", 0},
    };
    for (const ReadCase& c : cases) {
        if (*c.setting) sim.Cmd(std::string("set serno=305 ") + c.setting);
        const Bytes content = Fill(c.size, unsigned(c.size));
        WriteFile(root + "/sdc/r.bin", content);
        auto r = client.Read(kDevIp, port, "/sdc/r.bin", c.opts,
                             c.wrapped ? std::optional<uint32_t>(kDevIp) : std::nullopt);
        SCOPED_TRACE(std::to_string(c.size) + " " + c.setting);
        EXPECT_EQ(Opt(r.oack, "blksize"), c.blksize);
        EXPECT_EQ(r.errorCode, c.error);
        if (c.sizes.empty()) continue;
        ASSERT_TRUE(r.ok) << r.why;
        EXPECT_EQ(r.sizes, c.sizes);
        EXPECT_EQ(r.data, content);
        EXPECT_EQ(r.allWrapped, c.wrapped);
        if (!Opt(c.opts, "serno").empty() || !Opt(c.opts, "SerNo").empty()) {
            EXPECT_EQ(Opt(r.oack, "serno"), c.blksize[0] ? "305" : "");
        }
    }
}

// Each transfer has a port of its own, however many run: two on one port would
// each take some of the other's datagrams.
TEST_F(SimDevice, TransfersAtOnceEachHaveAPortOfTheirOwn) {
    WriteFile(root + "/sdc/r.bin", Fill(100, 1));
    std::vector<std::unique_ptr<TestTftpClient>> clients;
    for (int i = 0; i < 500; ++i) {
        clients.push_back(std::make_unique<TestTftpClient>());
        ASSERT_TRUE(clients.back()->Ok());
        clients.back()->Send(kDevIp, port, MakeRequest(1, "/sdc/r.bin", {{"blksize", "8"}}));
    }
    std::set<uint16_t> ports;
    for (auto& c : clients) {
        // No acknowledgement: every transfer stays open.
        const auto d = c->Recv(5000);
        ASSERT_TRUE(d.has_value());
        ports.insert(d->srcPort);
    }
    EXPECT_EQ(ports.size(), clients.size());
}

TEST_F(SimDevice, RefusesStrangersAndPathsOutsideItsTree) {
    WriteFile(dir.Path() + "/secret", Bytes(4, 's'));
    WriteFile(root + "/sdc/a", Bytes(3, 'a'));
    const struct {
        int op;
        const char* path;
        unsigned code;  // 0: no answer at all
        const char* serno;
        uint32_t wrap;
    } cases[] = {{kRRQ, "/sdc/../../secret", 2, "305", 0},
                 {kRRQ, "/etc/passwd", 1, "305", 0},
                 {kRRQ, "/sdc", 2, "305", 0},
                 {kWRQ, "/sdc/../x", 2, "305", 0},
                 {kRRQ, "/.cmd/nothing", 1, "305", 0},
                 {kWRQ, "/.cmd/udkvtstat", 2, "305", 0},
                 {kRRQ, "/sdc/a", 0, "3050", 0},
                 {kRRQ, "/sdc/a", 0, "abc", 0},
                 {kRRQ, "/sdc/a", 0, "305 ", 0},
                 {kRRQ, "/sdc/a", 0, "305", Ip(127, 0, 0, 9)}};
    for (auto& c : cases) {
        client.Send(kDevIp, port, MakeRequest(c.op, c.path, {{"serno", c.serno}}),
                    c.wrap ? std::optional<uint32_t>(c.wrap) : std::nullopt);
        auto d = client.Recv(c.code ? 2000 : 100);
        ASSERT_EQ(bool(d), c.code != 0) << c.path << " " << c.serno;
        if (d) {
            EXPECT_EQ(d->op, kERROR) << c.path;
            EXPECT_EQ(d->block, c.code) << c.path;
        }
    }
    EXPECT_FALSE(fs::exists(dir.Path() + "/x"));
}

TEST(SimDeviceControl, AnswersBadCommandsWithErrors) {
    SimDeviceProcess sim;
    ASSERT_TRUE(sim.Ok());
    TempDir dir;
    const std::string root = " root=" + dir.Path();
    EXPECT_EQ(sim.Cmd("frobnicate"), "err unknown command frobnicate");
    for (const std::string& bad : std::vector<std::string>{
             "add-device addr=127.0.0.2" + root, "add-device serno=1 addr=127.0.0.256" + root,
             "add-device serno=1 addr=127.0.0.2 root=relative"})
        EXPECT_EQ(sim.Cmd(bad).rfind("err", 0), 0u) << bad;
    if (NetnsHarness::InHostNetns()) {  // outside a namespace only loopback addresses
        EXPECT_EQ(sim.Cmd("add-device serno=1 addr=198.18.1.11" + root).rfind("err", 0), 0u);
    }
    EXPECT_EQ(sim.Cmd("add-device serno=1 addr=127.0.0.2 port=0" + root).rfind("ok", 0), 0u);
    EXPECT_EQ(sim.Cmd("add-device serno=1 addr=127.0.0.3 port=0" + root), "err serno 1 exists");
    EXPECT_EQ(sim.Cmd("set serno=1 window=0"), "err bad window");
    EXPECT_EQ(sim.Cmd("fault explode"), "err unknown action explode");
    EXPECT_EQ(sim.Cmd("fault drop opcode=NOPE"), "err bad opcode");
    EXPECT_EQ(sim.Cmd("remove-device serno=1"), "ok");
    EXPECT_EQ(sim.Cmd("remove-device serno=1").rfind("err", 0), 0u);
}

// A stock TFTP client nobody here wrote, for plain reads and writes.
TEST_F(SimDevice, StockClientReadsAndWrites) {
    if (system("command -v atftp >/dev/null 2>&1") != 0) GTEST_SKIP() << "atftp is not installed";
    WriteFile(root + "/sdc/r.bin", Fill(5000, 10));
    const std::string got = dir.Path() + "/got.bin", up = dir.Path() + "/up.bin";
    WriteFile(up, Fill(2900, 11));
    const std::string p = " 127.0.0.2 " + std::to_string(port) + " >/dev/null 2>&1";
    for (const char* opt : {"--option \"blksize 100\" ", ""}) {
        const std::string base = std::string("timeout 20 atftp ") + opt;
        ASSERT_EQ(system((base + "-g -r /sdc/r.bin -l " + got + p).c_str()), 0);
        EXPECT_EQ(ReadFile(got), Fill(5000, 10));
        ASSERT_EQ(system((base + "-p -r /ums/up.bin -l " + up + p).c_str()), 0);
        EXPECT_EQ(ReadFile(root + "/ums/up.bin"), Fill(2900, 11));
    }
}

}  // namespace

namespace {

// A device set some way off answers that much later, in the order it answered,
// whatever its jitter.
struct DelayCase {
    const char* setting;
    int minMs;  // earliest answer after the request (the machine may be slow: no latest)
};
const DelayCase kDelays[] = {{"delay-ms=0", 0}, {"delay-ms=5", 5}, {"delay-ms=20 jitter-ms=15 seed=3", 20}};

TEST_F(SimDevice, SetDelayHoldsBackEverythingTheDeviceSendsInOrder) {
    WriteFile(root + "/sdc/d.bin", Fill(8 * 100, 1));
    for (const DelayCase& c : kDelays) {
        ASSERT_EQ(sim.Cmd(std::string("set-delay serno=305 ") + c.setting).rfind("ok", 0), 0u);
        ASSERT_EQ(sim.Cmd("set serno=305 window=50").rfind("ok", 0), 0u);
        const auto t0 = std::chrono::steady_clock::now();
        client.Send(kDevIp, port, MakeRequest(1, "/sdc/d.bin", {{"blksize", "8"}}));
        auto oack = client.Recv(3000);
        ASSERT_TRUE(oack && oack->op == 6) << c.setting;
        const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - t0);
        EXPECT_GE(waited.count(), c.minMs * 1000) << c.setting;
        client.Send(kDevIp, oack->srcPort, MakeAck(0));
        std::vector<unsigned> blocks;
        for (int i = 0; i < 50; ++i) {
            auto d = client.Recv(3000);
            ASSERT_TRUE(d && d->op == 3) << c.setting << " block " << i;
            blocks.push_back(d->block);
        }
        for (unsigned i = 0; i < blocks.size(); ++i) EXPECT_EQ(blocks[i], i + 1) << c.setting;
        client.Send(kDevIp, oack->srcPort, Bytes{0, 5, 0, 0, 0});  // ends the read
        ASSERT_TRUE(sim.WaitIdle(3000));
    }
    for (const char* bad : {"serno=305 delay-ms=x", "serno=305 delay-ms=60001", "serno=9 delay-ms=1",
                            "delay-ms=1"})
        EXPECT_EQ(sim.Cmd(std::string("set-delay ") + bad).rfind("err", 0), 0u) << bad;
}

}  // namespace
