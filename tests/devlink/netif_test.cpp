// The interface every transfer is bound to: the chosen one while it runs, else
// the one of the lowest-metric default route; kept current through link and
// address changes (root only: builds a namespace with its own interfaces).

#include <net/if.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "devlink/NetIf.h"
#include "services/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/NetnsHarness.h"

using namespace enginetest;
using namespace testtftp;

namespace {

class FakePrefs : public CNetIfPrefSource {
public:
    LString ChosenInterfaceName() override { return name; }
    void AddChangeListener(void* object, ChangeFn fn) override {
        obj = object;
        this->fn = fn;
    }
    void RemoveChangeListener(void*, ChangeFn) override { fn = nullptr; }
    void Set(const char* n) {
        name = n;
        if (fn) fn(obj);
    }
    LString name;
    void* obj = nullptr;
    ChangeFn fn = nullptr;
};

TEST(NetIf, ChosenInterfaceDefaultRouteAndChanges) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build a network namespace";
    CVirtualRunLoop loop;
    NetnsHarness net;
    ASSERT_EQ(net.Setup("netif"), "");
    const std::string ns = net.AppNs();
    auto ip = [&](const std::string& args) {
        const std::string cmd = "ip -n " + ns + " " + args;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    };
    ip("link add dum0 type veth peer name dum0p");
    ip("link set dum0p up");
    ip("addr add 198.18.9.2/24 dev dum0");
    ip("link set dum0 up");
    ip("link add dum1 type veth peer name dum1p");  // its peer stays down: no carrier
    ip("addr add 198.18.8.2/24 dev dum1");
    ip("link set dum1 up");
    ip("route add default via 198.18.1.1 dev eth0 metric 100");
    ip("route add default via 198.18.9.1 dev dum0 metric 50");
    ASSERT_TRUE(net.InNs(ns, [&] {
        const u32 eth0 = if_nametoindex("eth0"), dum0 = if_nametoindex("dum0");
        EXPECT_EQ(DefaultInterfaceIndex(), dum0);
        FakePrefs prefs;
        {
            CLocalAddrWatch watch(&prefs);
            EXPECT_TRUE(watch.IsWatching());
            EXPECT_EQ(CLocalAddrWatch::Current(), dum0);
            prefs.Set("eth0");
            EXPECT_EQ(watch.Index(), eth0);
            // Chosen but not running: the default.
            prefs.Set("dum1");
            EXPECT_EQ(watch.Index(), dum0);
            prefs.Set("");
            // The default interface goes down: the next one takes over at once.
            ip("link set dum0 down");
            EXPECT_TRUE(RunUntil([&] { return watch.Index() == eth0; }, 3000));
            ip("link set dum0 up");
            ip("route add default via 198.18.9.1 dev dum0 metric 50");
            EXPECT_TRUE(RunUntil([&] { return watch.Index() == dum0; }, 3000));
        }
        EXPECT_EQ(CLocalAddrWatch::Current(), 0u);
    }));
}

}  // namespace
