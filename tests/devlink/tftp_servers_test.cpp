// The engine against standard TFTP servers we did not write (tftpd-hpa and
// atftpd), unicast over loopback.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/FileTestUtil.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace enginetest;
using namespace filetest;

namespace {

std::string TftpdHpa() {
    if (const char* p = std::getenv("KEVO_TFTPD_HPA")) return p;
    return "/usr/local/lib/kevo/tftpd-hpa/usr/sbin/in.tftpd";
}

u16 FreePort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(0x7F000001);
    bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    close(fd);
    return ntohs(sa.sin_port);
}

struct Server {
    pid_t pid = -1;
    ~Server() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    bool Start(const std::vector<std::string>& argv) {
        pid = fork();
        if (pid == 0) {
            std::vector<char*> a;
            for (auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
            a.push_back(nullptr);
            execv(a[0], a.data());
            _exit(127);
        }
        usleep(300 * 1000);
        return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0;
    }
};

class Servers : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        EnsureApp();
        if (geteuid() != 0) GTEST_SKIP() << "the servers are started as root here";
        const std::string which = GetParam();
        port = FreePort();
        if (which == "tftpd-hpa") {
            if (access(TftpdHpa().c_str(), X_OK) != 0)
                GTEST_SKIP() << "no " << TftpdHpa() << " (scripts/deps.sh)";
            ASSERT_TRUE(server.Start({TftpdHpa(), "-L", "-a", "127.0.0.1:" + std::to_string(port),
                                      "-s", "-c", "-u", "root", "-p", dir.Path()}));
        } else {
            if (access("/usr/sbin/atftpd", X_OK) != 0)
                GTEST_SKIP() << "no atftpd (scripts/deps.sh)";
            ASSERT_TRUE(
                server.Start({"/usr/sbin/atftpd", "--daemon", "--no-fork", "--port",
                              std::to_string(port), "--bind-address", "127.0.0.1", "--user",
                              "root.root", "--prevent-sas", "--logfile", "/dev/null", dir.Path()}));
        }
        mgr = std::make_unique<CTftpManager>(MainRunLoopWakeSource(), 0);
    }
    u32 Run(bool write, const std::string& path, std::vector<u8>* data, u32 cap) {
        Recorder rec;
        rec.onNewPeer = [cap](CTftpPeer* p) { p->Window().SetMax(cap); };
        rec.makeStream = [&](CTftpPeer*) {
            return new VecStrm(data, write ? 0u : u32(CStrm::kModeWrite));
        };
        CTftpSession* s =
            mgr->StartTransfer(LNetAddr::IPv4(0x7F000001, port), write, LString(path.c_str()), &rec,
                               Recorder::Callback, LoopbackIndex());
        s->Start();
        EXPECT_TRUE(RunUntil([&] { return rec.Done(); }, 60000));
        u32 blk = s->PeerCount() ? s->PeerAt(0)->BlockSize() : 0;
        EXPECT_EQ(rec.peerResults, std::vector<u32>{0}) << path;
        mgr->Release(s);
        return blk;
    }

    testtftp::TempDir dir;
    Server server;
    u16 port = 0;
    std::unique_ptr<CTftpManager> mgr;
};

TEST_P(Servers, ReadsAndWritesWithBlockSize1428) {
    for (size_t size : {size_t(0), size_t(1428 * 40), size_t(1428 * 700 + 17)}) {
        const auto content = Pattern(size, u32(size));
        const std::string name = "r" + std::to_string(size) + ".bin";
        WriteFile(dir.Path() + "/" + name, content);
        std::vector<u8> got;
        EXPECT_EQ(Run(false, "/" + name, &got, 1), 1428u);
        EXPECT_TRUE(got == content) << name;

        for (u32 cap : {1u, 50u}) {
            std::vector<u8> src = Pattern(size, u32(size) + cap);
            const std::string up = "w" + std::to_string(size) + "_" + std::to_string(cap) + ".bin";
            WriteFile(dir.Path() + "/" + up,
                      {});  // tftpd-hpa writes only over existing files without -c
            Run(true, "/" + up, &src, cap);
            RunFor(100);
            EXPECT_TRUE(ReadFile(dir.Path() + "/" + up) == src) << up;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stock, Servers, ::testing::Values("tftpd-hpa", "atftpd"));

}  // namespace
