// The application object on the headless fakes, in a namespace of the test's own
// (root only): preferences, the network menu, quitting, the recent lists.
#include <net/if.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Resources.h"
#include "devices/AppPrefStore.h"
#include "devices/CKvsApp.h"
#include "records/MediaIndex.h"
#include "framework/AppSingletons.h"
#include "framework/InputState.h"
#include "records/NsqPrefKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

using namespace testtftp;

namespace {

class KvsAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
        ASSERT_EQ(net.Setup(::testing::UnitTest::GetInstance()->current_test_info()->name()), "");
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        InstallAppPrefStore(&store);
    }
    void TearDown() override { InstallAppPrefStore(nullptr); }
    void WithApp(const std::function<void(CKvsApp&)>& body) {
        ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
            auto app = std::make_unique<CKvsApp>(&view);
            body(*app);
        }));
    }
    std::string Stored() { return store.Store().Dump(); }

    CVirtualRunLoop loop;
    LoopClock services{&loop};
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    NetnsHarness net;
    CMemAppPrefStore store;
    View view;
};

TEST_F(KvsAppTest, NetworkMenuChoiceIsKeptAndFollowedAtOnce) {
    WithApp([&](CKvsApp& app) {
        const u32 eth0 = if_nametoindex("eth0");
        ASSERT_NE(eth0, 0u);
        LMenuBar bar(&app, "APP", nullptr);
        LMenu* netw = bar.FindMenu("NETW");
        ASSERT_NE(netw, nullptr);
        LHandler::Send(LMenuBar_Ready, &bar, &app);
        // Loopback is left out; the namespace's one running interface is listed once.
        ASSERT_EQ(netw->CountItems(), 3u);
        LMenuItem* item = netw->ItemAt(2);
        EXPECT_STREQ(item->fTitle.CStr(), "eth0");
        EXPECT_TRUE(netw->ItemAt(0)->fChecked);
        EXPECT_FALSE(item->fChecked);
        LHandler::Send(LMenuItem_Selected, item, &app);
        EXPECT_STREQ(app.Prefs()->GetString(PrefF::ntif).CStr(), "eth0");
        EXPECT_EQ(CLocalAddrWatch::Current(), eth0);
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, &app);
        EXPECT_EQ(netw->CountItems(), 3u);
        EXPECT_TRUE(netw->ItemAt(2)->fChecked);
        EXPECT_FALSE(netw->ItemAt(0)->fChecked);
    });
    // Saved at the end, and read again (before the device document) at the next start.
    EXPECT_NE(Stored().find("ntif = eth0"), std::string::npos) << Stored();
    EXPECT_NE(Stored().find("wplc"), std::string::npos) << Stored();
    WithApp([&](CKvsApp& app) {
        EXPECT_STREQ(app.Prefs()->GetString(PrefF::ntif).CStr(), "eth0");
        EXPECT_EQ(view.placed, LRect(11, 22, 333, 444));
    });
}

TEST_F(KvsAppTest, OpenRequestsOpenNothingAndClosingTheDeviceWindowQuits) {
    WithApp([&](CKvsApp& app) {
        auto* mainLoop = static_cast<FakeMainLoop*>(app.RunLoop());
        LHandler::Send(CExtCmd_Open, &app, &app);
        EXPECT_EQ(mainLoop->fTerminated, 0u);
        // The device menu's refresh starts a refresh; a double click without a device opens
        // nothing.
        LMenuBar bar(&app, "APPW", nullptr);
        LHandler::Send(LMenuBar_Ready, &bar, app.DevDoc());
        LMenuItem* refresh = bar.FindEnabledItemByCommand("cSetnRefr");
        ASSERT_NE(refresh, nullptr);
        // Polls nobody answers end after eleven sends; two of them end the first refresh.
        ASSERT_TRUE(RunVirtual(
            loop, [&] { return app.DevDoc()->RefreshState() == CKvsDevDoc::kSteady; }, 60000));
        LHandler::Send(LMenuItem_Selected, refresh, app.DevDoc());
        EXPECT_EQ(app.DevDoc()->RefreshState(), CKvsDevDoc::kRefreshing);
        EXPECT_TRUE(app.DevDoc()->PollInFlight());
        LHandler::Send(CKvsDevList_DblClk, &view.list, app.DevDoc());
        LHandler::Send(LFrame_Close, &view.window, app.DevDoc());
        EXPECT_EQ(mainLoop->fTerminated, 1u);
    });
}

CRecord* NewEntry(u32 kind) {
    return CRecord::New(CRecordSchema::Find(kFamKvs, kind));
}

TEST(KvsAppPrefs, DocsTrimmedAndRecentDevicesFirst) {
    CRecordDoc doc(NewEntry(kKindPref));
    CRecord* root = doc.Root();
    // 24 entries: a duplicate, an empty one, an open duplicate and the rest distinct.
    std::vector<std::string> specs;
    for (int i = 0; i < 24; ++i) specs.push_back("file:///s" + std::to_string(i));
    specs[3] = specs[1];
    specs[5] = "";
    specs[7] = specs[2];
    for (size_t i = 0; i < specs.size(); ++i) {
        CRecord* e = NewEntry(kKindPrdc);
        e->SetString(nullptr, PrdcF::fspc, LString(specs[i].c_str()));
        if (i == 7 || i == 23) e->SetU8(nullptr, PrdcF::work, 1);
        root->InsertItem(nullptr, PrefF::docs, u32(i), e);
    }
    CKvsApp::TrimDocs(root);
    std::vector<std::string> kept;
    for (u32 i = 0; i < root->GetListCount(PrefF::docs); ++i) {
        CRecord* e = root->GetListItem(PrefF::docs, i);
        kept.push_back(e->GetString(PrdcF::fspc).CStr());
        EXPECT_EQ(e->GetU8(PrdcF::lsto), e->GetU8(PrdcF::work)) << i;
    }
    std::vector<std::string> want;
    for (int i : {0, 1, 2, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 23})
        want.push_back(specs[size_t(i)]);
    EXPECT_EQ(kept, want);

    for (u32 s = 1; s <= 25; ++s) CKvsApp::TouchRecent(&doc, s);
    EXPECT_EQ(root->GetListCount(PrefF::mdis), 21u);
    EXPECT_EQ(root->GetListItem(PrefF::mdis, 0)->GetU32(MdisF::sern), 25u);
    CKvsApp::TouchRecent(&doc, 10);
    EXPECT_EQ(root->GetListCount(PrefF::mdis), 21u);
    EXPECT_EQ(root->GetListItem(PrefF::mdis, 0)->GetU32(MdisF::sern), 10u);
    EXPECT_EQ(root->GetListItem(PrefF::mdis, 1)->GetU32(MdisF::sern), 25u);

    // An index an open editor holds outlives the trim.
    CRecord* held = CKvsApp::TouchRecent(&doc, 10);
    HoldMediaIndex(held);
    for (u32 s = 100; s <= 130; ++s) CKvsApp::TouchRecent(&doc, s);
    EXPECT_EQ(root->GetListCount(PrefF::mdis), 21u);
    EXPECT_EQ(root->GetListItem(PrefF::mdis, 20), held);
    ReleaseMediaIndex(held);

    // A listener told of the insertion or the move brings another device to
    // the front (as an editor on show does when it looks its own index up):
    // the device asked for still gets its own entry.
    struct Reorder {
        CRecordDoc* doc;
        u32 serial;
        static void On(void* self, CRecordNote* note) {
            if (note->kind != CRecordNote::kInserted && note->kind != CRecordNote::kMoved) return;
            auto* r = static_cast<Reorder*>(self);
            const u32 s = r->serial;
            r->serial = 0;  // once
            if (s) CKvsApp::TouchRecent(r->doc, s);
        }
    } reorder{&doc, 0};
    doc.AddListener(&reorder, Reorder::On);
    for (u32 s : {500u, 10u, 501u}) {
        reorder.serial = 25;
        CRecord* got = CKvsApp::TouchRecent(&doc, s);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->GetU32(MdisF::sern), s);
    }
    doc.RemoveListener(&reorder, Reorder::On);
}

}  // namespace
