// The device document's Art-Net monitor, in a namespace of the test's own (the
// document polls by broadcast).
#include <net/if.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevDoc.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devlink/NetIf.h"
#include "records/AppPrefsDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/LoopbackUdp.h"

using namespace testtftp;

namespace {

struct Top : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        seen.push_back(msg.name);
        return LMessage();
    }
    std::vector<std::string> seen;
};

TEST(NetMonDoc, UsnmStoredOnStartsTheMonitorAtLaunchAndTogglesIt) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("netmondoc"), "");
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    prefs.Root()->SetU8(nullptr, PrefF::usnm, 1);
    SetAppPrefsDoc(&prefs);
    const std::string name = "kvtest-netmondoc-" + std::to_string(getpid());
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        CVirtualRunLoop loop;
        LoopClock fake{&loop};
        CKvsNetMon::sDocPort = portsharetest::FreeUdpPort();
        CKvsNetMon::sDocName = name.c_str();
        testtftp::Eth0Prefs eth;
        CLocalAddrWatch watch(&eth);
        View view;
        Top top;
        auto doc = std::make_unique<CKvsDevDoc>(&top, nullptr, &view);
        CKvsNetMon* mon = doc->NetMon();
        ASSERT_TRUE(mon);
        EXPECT_TRUE(mon->IsEnabled()) << "on from the launch";
        EXPECT_TRUE(mon->Client().IsConnected());
        EXPECT_TRUE(mon->ExpiryTimer().IsRunning());
        CKvsDevCtl* ctl = doc->FindOrCreateController(42);
        EXPECT_EQ(ctl->NetMon(), mon);

        prefs.Root()->SetU8(nullptr, PrefF::usnm, 0);
        EXPECT_FALSE(mon->IsEnabled());
        EXPECT_FALSE(mon->Client().IsConnected());
        prefs.Root()->SetU8(nullptr, PrefF::usnm, 1);
        EXPECT_TRUE(mon->IsEnabled());

        // The document tells its controllers and keeps the message.
        top.seen.clear();
        LHandler::Send(CKvsNetMon_Change, mon, doc.get());
        for (const std::string& s : top.seen) EXPECT_NE(s, CKvsNetMon_Change);
        doc.reset();
        CKvsNetMon::sDocPort = kUdpMuxPort;
        CKvsNetMon::sDocName = kUdpMuxName;
    }));
    SetAppPrefsDoc(nullptr);
}

}  // namespace
