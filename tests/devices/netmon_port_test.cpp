// The Art-Net monitor through the real port sharing on loopback.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "devices/monitors/CKvsNetMon.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tools/testkit/ArtDmxSender.h"
#include "tools/testkit/LoopbackUdp.h"

namespace {

std::string UniqueName() {
    static int n = 0;
    return "kvtest-netmon-" + std::to_string(getpid()) + "-" + std::to_string(++n);
}

const CKvsNetMon::Entry* Find(CKvsNetMon& mon, u16 port) {
    for (u32 i = 0; i < mon.EntryCount(); ++i)
        if (mon.EntryAt(i).port == port) return &mon.EntryAt(i);
    return nullptr;
}

bool SendUntilSeen(CVirtualRunLoop& loop, CKvsNetMon& mon, artdmxtest::ArtDmxSender& tx, u16 port,
                   u16 u, u32 ms = 5000) {
    const u8 levels[4] = {1, 2, 3, u8(u)};
    for (u32 waited = 0; waited < ms; waited += 20) {
        tx.Send(port, u, levels, 4);
        if (loop.RunUntil([&] { return Find(mon, u) != nullptr; }, 20)) return true;
    }
    return false;
}

// The port's owner in a process of its own.
struct Holder {
    Holder(u16 port, const std::string& name) {
        const std::string prog = std::string(KEVO_BINARY_DIR) + "/tools/simdevice/kvmuxholder";
        if (access(prog.c_str(), X_OK) != 0) return;
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        const std::string portText = std::to_string(port);
        if ((pid = fork()) == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            execl(prog.c_str(), prog.c_str(), portText.c_str(), name.c_str(), nullptr);
            _exit(127);
        }
        close(in[0]), close(out[1]);
        toChild = in[1], fromChild = out[0];
        char line[16] = {};
        ready = read(fromChild, line, sizeof line - 1) > 0 && std::string(line) == "ready\n";
    }
    void Kill() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~Holder() {
        Kill();
        if (toChild >= 0) close(toChild), close(fromChild);
    }
    pid_t pid = -1;
    int toChild = -1, fromChild = -1;
    bool ready = false;
};

TEST(NetMonPort, ReceivesThroughTheSharedPortAlsoAfterItsOwnerLeft) {
    CVirtualRunLoop loop;
    const u16 port = portsharetest::FreeUdpPort();
    const std::string name = UniqueName();
    Holder holder(port, name);
    ASSERT_TRUE(holder.ready);
    LHandler sink;
    CKvsNetMon mon(&sink, port, name.c_str());
    mon.SetEnabled(true);
    ASSERT_TRUE(mon.Client().IsConnected());
    EXPECT_FALSE(mon.Client().Server().IsServing()) << "the holder owns the port";
    artdmxtest::ArtDmxSender tx(0x7F000002);
    ASSERT_TRUE(tx.Ok());
    ASSERT_TRUE(SendUntilSeen(loop, mon, tx, port, 5));
    const CKvsNetMon::Entry* e = Find(mon, 5);
    EXPECT_EQ(e->slots[1].sender, 0x7F000002u);
    EXPECT_EQ(e->slots[1].frame.count, 5);
    EXPECT_EQ(e->slots[1].frame.slots[4], 5);

    holder.Kill();
    ASSERT_TRUE(SendUntilSeen(loop, mon, tx, port, 6)) << "received after a reconnect";
    EXPECT_TRUE(mon.Client().Server().IsServing()) << "the monitor's process took the port over";
    mon.SetEnabled(false);
}

TEST(NetMonPort, APortHeldByAnotherProgramIsTriedAgainAtEachCheck) {
    CVirtualRunLoop loop;
    u16 port = 0;
    int blocker = portsharetest::BindLoopbackUdp(&port);
    LHandler sink;
    CKvsNetMon mon(&sink, port, UniqueName().c_str());
    mon.SetEnabled(true);
    EXPECT_FALSE(mon.Client().IsConnected());
    mon.ExpiryCheck();
    EXPECT_FALSE(mon.Client().IsConnected()) << "still held";
    close(blocker);
    // The next check takes the port. The suite around binds ports by the
    // thousand: should one of them take the freed port first, for a moment,
    // the check after does.
    bool connected = false;
    for (int check = 0; check < 10 && !connected; ++check) {
        mon.ExpiryCheck();
        connected = loop.RunUntil([&] { return mon.Client().IsConnected(); }, 500);
    }
    ASSERT_TRUE(connected);
    artdmxtest::ArtDmxSender tx(0x7F000009);
    EXPECT_TRUE(SendUntilSeen(loop, mon, tx, port, 0x7FFF));
    EXPECT_EQ(Find(mon, 0x7FFF)->slots[1].sender, 0x7F000009u);
    mon.SetEnabled(false);
}

}  // namespace
