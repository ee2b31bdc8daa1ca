// The universe frame against a simulated device on loopback.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devices/CKvsDevCtl.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devices/monitors/CKvsScnUnvF.h"
#include "devices/monitors/CKvsUnivList.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/LListNavi.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/Universes.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/HostDeviceTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/ArtDmxSender.h"

namespace {

constexpr u16 kSerial = 3303;

class ScnUnv : public devtest::HostDeviceTest {
protected:
    void SetUp() override {
        HostDeviceTest::SetUp();
        AddDevice(kSerial, 1);
        OpenHost(app.get(), kSerial, LRect(100, 100, 500, 400));
    }
    CKvsScnUnvF* Make(u32 mode) {
        CKvsScnUnvF* f = CKvsScnUnvF::New(host.get(), ctl.get(), mode);
        f->SetBounds(LRect(0, 0, 400, 300));
        return f;
    }
    std::string Sim(const std::string& cmd) { return fSim.Cmd(cmd); }
    bool Run(const std::function<bool()>& pred, u32 limitMs = 10000) {
        return RunVirtual(fLoop, pred, limitMs, [this] { SettleSim(fLoop, fSim); });
    }
    u32 Rows(CKvsScnUnvF* f) { return u32(f->List()->Rows()); }
};

TEST_F(ScnUnv, ASceneIsReadAndAnUnreadableAnswerEmptiesTheListAndRetries) {
    ASSERT_EQ(Sim("scnunv-set serno=3303 path=/nsq/0/sc/4 univ=1 hex=000a0b host=10.0.0.2"),
              "ok universes=1");
    ASSERT_EQ(Sim("scnunv-set serno=3303 path=/nsq/0/sc/4 univ=291 hex=00ff hstx=1"),
              "ok universes=2");
    CKvsScnUnvF* f = Make(CKvsScnUnvF::kScene);
    f->SetActive(true);
    EXPECT_FALSE(f->IsPolling()) << "no scene, no monitor";
    f->SetSceneName(LString("/nsq/0/sc/4"));
    EXPECT_TRUE(f->IsPolling());
    EXPECT_TRUE(f->Navi()->IsShown());
    ASSERT_TRUE(Run([&] { return Rows(f) == 2; }));
    EXPECT_EQ(f->OwnStatus()->GetListItem(DrcStatF::unvs, 1)->GetU32(UnvsF::univ), 291u);
    EXPECT_EQ(f->List()->Status(), f->OwnStatus());

    // Gone from the device: the list empties, the next try comes in 1000 ms.
    Sim("scnunv-clear serno=3303");
    ASSERT_TRUE(Run([&] { return Rows(f) == 0; }));
    const u32 failedAt = fLoop.NowMs();
    EXPECT_EQ(f->PollTimer().Deadline() - clock.NowMs(), 1000u);
    const u32 before = f->Requests();
    ASSERT_TRUE(Run([&] { return f->Requests() > before; }));
    EXPECT_GE(fLoop.NowMs() - failedAt, 1000u);
    f->SetSceneName(LString());
    EXPECT_FALSE(f->IsPolling());
    const u32 stopped = f->Requests();
    fLoop.Advance(5000);
    EXPECT_EQ(f->Requests(), stopped);
    EXPECT_FALSE(f->Navi()->IsShown());
}

TEST_F(ScnUnv, ThreeHundredUniversesArePolledEvery1500Ms) {
    for (u32 u = 0; u < 300; ++u)
        ASSERT_EQ(Sim("scnunv-set serno=3303 path=/s univ=" + std::to_string(u) + " hex=0001")
                      .rfind("ok", 0),
                  0u);
    CKvsScnUnvF* f = Make(CKvsScnUnvF::kScene);
    f->SetActive(true);
    f->SetSceneName(LString("/s"));
    ASSERT_TRUE(Run([&] { return Rows(f) == 300; }));
    fLoop.Advance(1200);
    u32 last = f->Requests();
    ASSERT_TRUE(Run([&] { return f->Requests() > last; }));
    last = f->Requests();
    const u32 t = fLoop.NowMs();
    ASSERT_TRUE(Run([&] { return f->Requests() > last; }));
    EXPECT_GE(fLoop.NowMs() - t, 1500u);
    EXPECT_LE(fLoop.NowMs() - t, 1600u);
}

TEST_F(ScnUnv, LiveModeShowsThePlayedUniversesUntilTheAudioFolderIsShown) {
    ASSERT_EQ(Sim("uvst-set serno=3303 univ=5 hex=0001020304 host=10.1.1.1"), "ok universes=1");
    CKvsScnUnvF* f = Make(CKvsScnUnvF::kLive);
    f->SetActive(true);
    EXPECT_TRUE(f->IsPolling());
    ASSERT_TRUE(Run([&] { return Rows(f) == 1; }));
    CRecord* uvst = ctl->Record(CKvsDevCtl::kSeqStat)->GetChild(SstaF::uvst);
    EXPECT_EQ(f->List()->Status(), uvst);
    EXPECT_EQ(f->List()->NumberFormat(), 0);
    // The audio folder shown: polling stops.
    ctl->Record(CKvsDevCtl::kContents)->SetU32(nullptr, DctsF::field0, 1);
    EXPECT_FALSE(f->IsPolling());
    EXPECT_FALSE(f->Navi()->IsShown());
    const u32 stopped = f->Requests();
    fLoop.Advance(3000);
    EXPECT_EQ(f->Requests(), stopped);
    ctl->Record(CKvsDevCtl::kContents)->SetU32(nullptr, DctsF::field0, 0);
    EXPECT_TRUE(f->IsPolling());
    ASSERT_EQ(Sim("uvst-set serno=3303 univ=6 hex=00"), "ok universes=2");
    ASSERT_TRUE(Run([&] { return Rows(f) == 2; }));
}

TEST_F(ScnUnv, TheArtNetMonitorAsTheSource) {
    LHandler sink;
    CKvsNetMon mon(&sink, 1, "kvtest-scnunv-unused");
    ctl->SetNetMon(&mon);
    const u32 device = devtest::DeviceIp(1), other = 0x7F0000FE;
    const u8 a[2] = {10, 20}, b[3] = {30, 40, 50};
    auto feed = [&](u32 sender, u16 u, const u8* l, u32 n) {
        const std::vector<u8> d = artdmxtest::Datagram(u, l, n);
        ASSERT_TRUE(mon.Accept(d.data(), u32(d.size()), sender, 1));
    };
    feed(device, 1, a, 2);
    feed(other, 2, b, 3);
    CKvsScnUnvF* f = Make(CKvsScnUnvF::kLive);
    f->SetActive(true);
    CRecord* published = ctl->Record(CKvsDevCtl::kDrcStat);
    EXPECT_NE(f->List()->Status(), published) << "monitor off";

    prefs->Root()->SetU8(nullptr, PrefF::usnm, 1);
    EXPECT_EQ(f->List()->Status(), published);
    EXPECT_EQ(published->GetListCount(DrcStatF::unvs), 2u) << "not playing: everything";

    ctl->Record(CKvsDevCtl::kSeqStat)->SetU8(nullptr, SstaF::stat, 2);
    f->RefreshUniverseStatus();
    ASSERT_EQ(published->GetListCount(DrcStatF::unvs), 1u);
    EXPECT_EQ(published->GetListItem(DrcStatF::unvs, 0)->GetU32(UnvsF::host), device);
    fSet.Find(kSerial)->SetU32(nullptr, DevcF::address, 0);
    f->RefreshUniverseStatus();
    EXPECT_EQ(published->GetListCount(DrcStatF::unvs), 0u);

    ctl->Settings()->SetU8(nullptr, DvstF::saco, 1);
    EXPECT_EQ(f->List()->NumberFormat(), 1);
    EXPECT_EQ(f->List()->Status(), ctl->Record(CKvsDevCtl::kSeqStat)->GetChild(SstaF::uvst));
    host.reset();
    ctl->SetNetMon(nullptr);
}

}  // namespace
