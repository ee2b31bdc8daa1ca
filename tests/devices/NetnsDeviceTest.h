#pragma once
// A simulated device, 305, in a network namespace of the test's own, found by a
// device document in the application's namespace (root only: the status poll
// broadcasts). The namespaces are named after the test suite.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevDoc.h"
#include "devlink/NetIf.h"
#include "framework/InputState.h"
#include "records/RecordKinds.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/devlink/UdpTally.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace devtest {

class NetnsDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        using testtftp::NetnsHarness;
        if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
        ASSERT_EQ(
            net.Setup(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()),
            "");
        fSim = std::make_unique<testtftp::SimDeviceProcess>(NetnsHarness::NsPath(net.DevNs()));
        ASSERT_TRUE(fSim->Ok());
        ASSERT_EQ(fSim->Cmd("add-device serno=305 addr=198.18.1.12/24 listen=any root=" +
                            dir.Path() + "/305")
                      .rfind("ok", 0),
                  0u);
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
    }
    bool Run(const std::function<bool()>& pred) {
        return RunVirtual(loop, pred, 5000, [&] { testtftp::SettleTraffic(loop, *fSim, tally); });
    }
    // body runs in the application's namespace once the document has a controller of 305.
    void InApp(const std::function<void(CKvsDevDoc& doc, CKvsDevCtl& ctl)>& body) {
        ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
            testtftp::Eth0Prefs prefs;
            CLocalAddrWatch watch(&prefs);
            auto doc = std::make_unique<CKvsDevDoc>(nullptr, nullptr, &view);
            view.doc = doc.get();
            ASSERT_TRUE(Run([&] { return doc->FindController(305) != nullptr; }));
            body(*doc, *doc->FindController(305));
            doc.reset();
        }));
    }

    static constexpr u32 kAppAddress = 0xC6120102u;  // 198.18.1.2, the harness's
    testtftp::NetnsHarness net;
    testtftp::TempDir dir;
    std::unique_ptr<testtftp::SimDeviceProcess> fSim;
    // The devices answer in real time, the clock is virtual: the clock moves only
    // when nothing is on its way.
    testtftp::UdpTally tally{kAppAddress};
    CVirtualRunLoop loop;
    LoopClock clock{&loop};
    FakeControls controls;
    FakeWindows windows{clock};
    LMouse mouse;
    LKeyboard keyboard;
    View view;
};

}  // namespace devtest
