// The socket reactor: one-shot interest, its life with the registrations, and
// descriptors past the old select() limit.

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "devlink/SocketReactor.h"

namespace {

struct Counter {
    std::atomic<int> read{0}, write{0};
    static void Fn(void* ctx, u32 direction) {
        auto* c = static_cast<Counter*>(ctx);
        (direction == CSocketReactor::kRead ? c->read : c->write).fetch_add(1);
    }
};

bool WaitFor(const std::function<bool()>& pred, int ms = 2000) {
    for (int i = 0; i < ms / 5; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

// A datagram socket pair: what is written to one end makes the other readable.
struct Pair {
    int fd[2] = {-1, -1};
    Pair() { socketpair(AF_UNIX, SOCK_DGRAM, 0, fd); }
    ~Pair() {
        close(fd[0]);
        close(fd[1]);
    }
    void Send() { (void)!write(fd[1], "x", 1); }
    void Drain() {
        char b[16];
        while (recv(fd[0], b, sizeof b, MSG_DONTWAIT) > 0) {
        }
    }
};

// Proves that the reactor holds nothing more for us: a probe of our own passes
// twice through its loop, and whatever was armed and ready came in a round
// before the second one ended.
void Quiet() {
    Pair probe;
    Counter c;
    ASSERT_TRUE(CSocketReactor::Register(probe.fd[0], &c, Counter::Fn));
    for (int round = 1; round <= 2; ++round) {
        probe.Send();
        CSocketReactor::Arm(probe.fd[0], CSocketReactor::kRead);
        ASSERT_TRUE(WaitFor([&] { return c.read.load() == round; }));
        probe.Drain();
    }
    CSocketReactor::Unregister(probe.fd[0]);
}

TEST(Reactor, InterestIsOneShotAndNeedsArming) {
    Pair p;
    Counter c;
    ASSERT_TRUE(CSocketReactor::Register(p.fd[0], &c, Counter::Fn));
    // Ready before anyone armed: no callback.
    p.Send();
    Quiet();
    EXPECT_EQ(c.read.load(), 0);
    // Armed twice before it becomes ready: one callback. (Arming while it is
    // ready would let the reactor fire between the two calls, and a second arm
    // after a callback is rightly a new interest.)
    p.Drain();
    CSocketReactor::Arm(p.fd[0], CSocketReactor::kRead);
    CSocketReactor::Arm(p.fd[0], CSocketReactor::kRead);
    p.Send();
    ASSERT_TRUE(WaitFor([&] { return c.read.load() == 1; }));
    Quiet();
    EXPECT_EQ(c.read.load(), 1);
    // Still readable, but not armed again: silence.
    p.Send();
    Quiet();
    EXPECT_EQ(c.read.load(), 1);
    p.Drain();
    CSocketReactor::Arm(p.fd[0], CSocketReactor::kRead);
    Quiet();
    EXPECT_EQ(c.read.load(), 1);
    p.Send();
    ASSERT_TRUE(WaitFor([&] { return c.read.load() == 2; }));
    CSocketReactor::Unregister(p.fd[0]);
}

struct ArmOther {
    int fd = -1;
    std::atomic<int> read{0}, write{0};
    static void Fn(void* ctx, u32 direction) {
        auto* a = static_cast<ArmOther*>(ctx);
        if (direction == CSocketReactor::kRead) {
            a->read.fetch_add(1);
            CSocketReactor::Arm(a->fd, CSocketReactor::kWrite);  // under the reactor's mutex
        } else {
            a->write.fetch_add(1);
        }
    }
};

TEST(Reactor, CallbackMayArmTheOtherDirection) {
    Pair p;
    ArmOther a;
    a.fd = p.fd[0];
    ASSERT_TRUE(CSocketReactor::Register(p.fd[0], &a, ArmOther::Fn));
    p.Send();
    CSocketReactor::Arm(p.fd[0], CSocketReactor::kRead);
    ASSERT_TRUE(WaitFor([&] { return a.write.load() == 1; }));
    EXPECT_EQ(a.read.load(), 1);
    CSocketReactor::Unregister(p.fd[0]);
}

TEST(Reactor, LastUnregisterStopsItAndTheNextRegisterStartsAnother) {
    ASSERT_FALSE(CSocketReactor::Running());
    Pair p, q;
    Counter c;
    const u32 starts = CSocketReactor::StartCount();
    ASSERT_TRUE(CSocketReactor::Register(p.fd[0], &c, Counter::Fn));
    ASSERT_TRUE(CSocketReactor::Register(q.fd[0], &c, Counter::Fn));
    EXPECT_TRUE(CSocketReactor::Running());
    CSocketReactor::Arm(q.fd[0], CSocketReactor::kRead);  // watched while it goes away
    CSocketReactor::Unregister(q.fd[0]);
    EXPECT_TRUE(CSocketReactor::Running());
    CSocketReactor::Unregister(p.fd[0]);
    EXPECT_FALSE(CSocketReactor::Running());
    EXPECT_EQ(CSocketReactor::StartCount(), starts + 1);
    // The descriptor is blocking again.
    EXPECT_EQ(fcntl(p.fd[0], F_GETFL) & O_NONBLOCK, 0);

    ASSERT_TRUE(CSocketReactor::Register(p.fd[0], &c, Counter::Fn));
    EXPECT_EQ(CSocketReactor::StartCount(), starts + 2);
    p.Send();
    CSocketReactor::Arm(p.fd[0], CSocketReactor::kRead);
    ASSERT_TRUE(WaitFor([&] { return c.read.load() == 1; }));
    CSocketReactor::Unregister(p.fd[0]);
}

TEST(Reactor, WatchesDescriptorsAbove1024) {
    rlimit rl{};
    getrlimit(RLIMIT_NOFILE, &rl);
    if (rl.rlim_cur < 1200) {
        rl.rlim_cur = std::min<rlim_t>(rl.rlim_max, 2048);
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    if (rl.rlim_cur < 1200) GTEST_SKIP() << "cannot open descriptors past 1024 here";
    Pair p;
    const int high = fcntl(p.fd[0], F_DUPFD_CLOEXEC, 1100);
    ASSERT_GE(high, 1100);
    Counter c;
    ASSERT_TRUE(CSocketReactor::Register(high, &c, Counter::Fn));
    p.Send();
    CSocketReactor::Arm(high, CSocketReactor::kRead);
    ASSERT_TRUE(WaitFor([&] { return c.read.load() == 1; }));
    CSocketReactor::Unregister(high);
    close(high);
}

// What this asserts by itself: every socket got both its callbacks and the
// reactor stopped with the last registration. Its real point shows only under
// the sanitizers (ThreadSanitizer for data races between arming, callbacks and
// unregistering; AddressSanitizer for a callback reaching a registration that
// is already gone).
TEST(Reactor, ManyThreadsArmingAndUnregisteringAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                Pair p;
                Counter c;
                if (!CSocketReactor::Register(p.fd[0], &c, Counter::Fn)) continue;
                p.Send();
                CSocketReactor::Arm(p.fd[0], CSocketReactor::kRead);
                CSocketReactor::Arm(p.fd[0], CSocketReactor::kWrite);
                if (WaitFor([&] { return c.read.load() == 1 && c.write.load() == 1; }))
                    ok.fetch_add(1);
                CSocketReactor::Unregister(p.fd[0]);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 160);
    EXPECT_FALSE(CSocketReactor::Running());
}

}  // namespace
