#pragma once
// A device document in the application's namespace and the simulated devices it
// finds in a namespace of the test's own (root only: the status poll
// broadcasts), on the virtual clock. The namespaces are named after the test.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "base/Resources.h"
#include "devices/CKvsDevDoc.h"
#include "devlink/NetIf.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/devlink/UdpTally.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace devtest {

class DevDocNsTest : public ::testing::Test {
protected:
    void SetUp() override {
        using testtftp::NetnsHarness;
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
        ASSERT_EQ(net.Setup(::testing::UnitTest::GetInstance()->current_test_info()->name()), "");
        sim = std::make_unique<testtftp::SimDeviceProcess>(NetnsHarness::NsPath(net.DevNs()));
        ASSERT_TRUE(sim->Ok());
    }
    // addr: "A/P"; the device's card is a folder of its own.
    void Add(u32 serno, const char* addr) {
        const std::string r = sim->AddDevice(serno, addr, dir.Path());
        ASSERT_EQ(r.rfind("ok", 0), 0u) << r;
    }
    // body runs in the application's namespace with the document made; the
    // document goes before the interface watch it was made under.
    void InApp(const std::function<void()>& body) {
        ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
            testtftp::Eth0Prefs prefs;
            CLocalAddrWatch watch(&prefs);
            doc = std::make_unique<CKvsDevDoc>(nullptr, nullptr, &view);
            view.doc = doc.get();
            body();
            doc.reset();
        }));
    }
    // The devices answer in real time, the clock is virtual: the clock moves only
    // when nothing is on its way.
    bool RunUntil(const std::function<bool()>& pred, u32 limitMs) {
        return RunVirtual(loop, pred, limitMs, [this] {
            if (sim) testtftp::SettleTraffic(loop, *sim, tally);
        });
    }

    static constexpr u32 kAppAddress = 0xC6120102u;  // 198.18.1.2, the harness's
    testtftp::UdpTally tally{kAppAddress};
    CVirtualRunLoop loop;
    LoopClock fake{&loop};
    testtftp::NetnsHarness net;
    testtftp::TempDir dir;
    std::unique_ptr<testtftp::SimDeviceProcess> sim;
    View view;
    std::unique_ptr<CKvsDevDoc> doc;
};

}  // namespace devtest
