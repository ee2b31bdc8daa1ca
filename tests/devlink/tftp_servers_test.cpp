// The engine against standard TFTP servers we did not write (tftpd-hpa, also
// with the options ignored, and atftpd), unicast over loopback.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/FileTestUtil.h"
#include "tools/testkit/LoopbackUdp.h"
#include "tools/testkit/SimDeviceProcess.h"
#include "tools/testkit/StandardServers.h"

using namespace enginetest;
using namespace filetest;

namespace {

// Whether any thread of the server or of the children it forked per transfer is
// running or ready to run (or in a disk wait): a datagram it was sent wakes it at
// once, so while one is, the server is still at work, however late a loaded
// machine lets it run.
bool ServerAtWork(pid_t server) {
    auto busy = [](const std::string& statPath, pid_t* parent) {
        std::ifstream in(statPath);
        std::string line;
        if (!std::getline(in, line)) return false;
        // pid (comm) state ppid ...: the name may hold spaces and parentheses.
        const size_t close = line.rfind(')');
        if (close == std::string::npos || close + 4 > line.size()) return false;
        const char state = line[close + 2];
        if (parent) *parent = pid_t(std::atoi(line.c_str() + close + 4));
        return state == 'R' || state == 'D';
    };
    auto anyThreadBusy = [&](pid_t p) {
        const std::string tasks = "/proc/" + std::to_string(p) + "/task";
        DIR* d = opendir(tasks.c_str());
        if (!d) return false;
        bool any = false;
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.' && busy(tasks + "/" + e->d_name + "/stat", nullptr)) any = true;
        closedir(d);
        return any;
    };
    if (anyThreadBusy(server)) return true;
    DIR* d = opendir("/proc");
    if (!d) return false;
    bool any = false;
    while (dirent* e = readdir(d)) {
        const pid_t p = pid_t(std::atoi(e->d_name));
        pid_t parent = 0;
        if (p <= 0 || p == server) continue;
        busy("/proc/" + std::to_string(p) + "/stat", &parent);
        if (parent == server && anyThreadBusy(p)) any = true;
    }
    closedir(d);
    return any;
}

struct ServerCase {
    const char* name;
    u32 blockSize;  // what the server grants
};

class Servers : public ::testing::TestWithParam<ServerCase> {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the servers are started as root here";
        const std::string which = GetParam().name;
        const std::string p = std::to_string(port);
        std::vector<std::string> argv = {testkit::TftpdHpaPath(),
                                         "-L",
                                         "-a",
                                         "127.0.0.1:" + p,
                                         "-s",
                                         "-c",
                                         "-u",
                                         "root",
                                         "-p",
                                         dir.Path()};
        if (which == "atftpd")
            argv = {testkit::AtftpdPath(), "--daemon",  "--no-fork", "--port",    p,
                    "--bind-address",      "127.0.0.1", "--user",    "root.root", "--prevent-sas",
                    "--logfile",           "/dev/null", dir.Path()};
        else if (which == "tftpd_hpa_ignoring_options")
            argv.insert(argv.begin() + 1, {"-r", "blksize"});
        if (access(argv[0].c_str(), X_OK) != 0)
            GTEST_SKIP() << "no " << argv[0] << " (scripts/deps-test.sh)";
        pid = fork();
        if (pid == 0) {
            std::vector<char*> a;
            for (auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
            a.push_back(nullptr);
            execv(a[0], a.data());
            _exit(127);
        }
        // Serving once the port is taken. Looked up, not tried: a trial bind
        // holding the port the moment the server binds it would turn it away.
        ASSERT_TRUE(RunUntil(
            [&] {
                return portsharetest::UdpPortBound(port) && waitpid(pid, nullptr, WNOHANG) == 0;
            },
            5000));
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    void Run(bool write, const std::string& path, std::vector<u8>* data, u32 cap) {
        Recorder rec;
        rec.onNewPeer = [cap](CTftpPeer* p) { p->Window().SetMax(cap); };
        rec.makeStream = [&](CTftpPeer*) {
            return new VecStrm(data, write ? 0u : u32(CStrm::kModeWrite));
        };
        CTftpSession* s =
            mgr.StartTransfer(LNetAddr::IPv4(0x7F000001, port), write, LString(path.c_str()), &rec,
                              Recorder::Callback, LoopbackIndex());
        s->Start();
        // The clock stands still: nothing is lost on loopback, and a slow server is
        // never taken for a lost packet.
        EXPECT_TRUE(loop.RunUntil([&] { return rec.Done(); }, 60000)) << path;
        EXPECT_EQ(rec.peerResults, std::vector<u32>{0}) << path;
        EXPECT_EQ(s->PeerCount() ? s->PeerAt(0)->BlockSize() : 0, GetParam().blockSize) << path;
        mgr.Release(s);
    }

    CVirtualRunLoop loop;
    testtftp::TempDir dir;
    u16 port = portsharetest::FreeUdpPort();
    pid_t pid = -1;
    CTftpManager mgr{nullptr, 0};
};

TEST_P(Servers, ReadsAndWritesEndingOnAndOffABlockBoundary) {
    for (size_t size : {size_t(0), size_t(1428 * 40), size_t(1428 * 700 + 17)}) {
        const auto content = Pattern(size, u32(size));
        const std::string name = "r" + std::to_string(size) + ".bin";
        WriteFile(dir.Path() + "/" + name, content);
        std::vector<u8> got;
        Run(false, "/" + name, &got, 1);
        EXPECT_TRUE(got == content) << name;
        for (u32 cap : {1u, 50u}) {
            std::vector<u8> src = Pattern(size, u32(size) + cap);
            const std::string up = "w" + std::to_string(size) + "_" + std::to_string(cap) + ".bin";
            WriteFile(dir.Path() + "/" + up, {});  // tftpd-hpa writes only over existing files
            Run(true, "/" + up, &src, cap);
            // The server may still be closing the file after its last ACK.
            EXPECT_TRUE(RunUntil([&] { return ReadFile(dir.Path() + "/" + up) == src; }, 3000))
                << up;
        }
    }
}

// A loaded machine wakes the engine late: its timer fires while the blocks it
// waits for are already taken in by the server, and everything then in flight is in
// doubt. These servers never acknowledge a block twice; every upload must still end
// whole. The time-out is forced at a different point of each upload, and the clock
// otherwise moves only while the server is silent.
TEST_P(Servers, UploadsEndWholeAfterSpuriousTimeOuts) {
    constexpr u32 kUploads = 200;
    u32 failed = 0, corrupt = 0, stalls = 0, busyTurns = 0;
    for (u32 i = 0; i < kUploads; ++i) {
        std::vector<u8> src = Pattern(size_t(GetParam().blockSize) * (40 + i % 37) + i, i);
        const std::string up = "s" + std::to_string(i) + ".bin";
        WriteFile(dir.Path() + "/" + up, {});
        Recorder rec;
        rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(50); };
        rec.makeStream = [&](CTftpPeer*) { return new VecStrm(&src); };
        CTftpSession* s =
            mgr.StartTransfer(LNetAddr::IPv4(0x7F000001, port), true, LString(("/" + up).c_str()),
                              &rec, Recorder::Callback, LoopbackIndex());
        s->Start();
        const u64 at = u64(GetParam().blockSize) * (3 + i % 29);
        ASSERT_TRUE(loop.RunUntil(
            [&] { return rec.Done() || (s->PeerCount() && s->PeerAt(0)->Position() >= at); },
            10000));
        if (!rec.Done()) loop.AdvanceToNext();  // the late wake-up
        while (!rec.Done()) {
            if (!loop.RunUntil([&] { return rec.Done(); }, 20)) {
                // A server the machine has not let run yet is slow, not silent:
                // the clock waits for it (a spinning one, at most 10 s).
                if (ServerAtWork(pid) && ++busyTurns < 500) continue;
                busyTurns = 0;
                ++stalls;
                ASSERT_TRUE(loop.AdvanceToNext());
            }
        }
        if (rec.peerResults != std::vector<u32>{0}) {
            ++failed;
            std::printf("%s: upload %u failed: result %u, error %u\n", GetParam().name, i,
                        rec.peerResults.empty() ? 0u : rec.peerResults[0],
                        rec.peerErrors.empty() ? 0u : rec.peerErrors[0]);
        } else if (!RunUntil([&] { return ReadFile(dir.Path() + "/" + up) == src; }, 3000)) {
            ++corrupt;
        }
        mgr.Release(s);
        std::remove((dir.Path() + "/" + up).c_str());
    }
    std::printf("%s: %u uploads, %u failed, %u wrong, %u silent spells\n", GetParam().name,
                kUploads, failed, corrupt, stalls);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(corrupt, 0u);
}

INSTANTIATE_TEST_SUITE_P(Stock, Servers,
                         ::testing::Values(ServerCase{"tftpd_hpa", 1428},
                                           ServerCase{"atftpd", 1428},
                                           ServerCase{"tftpd_hpa_ignoring_options", 512}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
