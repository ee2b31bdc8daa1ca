// The input and sound dialogs of the control window and its upload list, on
// the headless framework.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devices/CInputSetnDlgs.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/CKvsUpldWin.h"
#include "devlink/FileJobQueue.h"
#include "devices/CSndDevPane.h"
#include "devices/DevCtlCommands.h"
#include "devlink/StatNodes.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "records/PrefNodes.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/HeadlessAppTest.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

class InputSettings : protected VirtualLoopFirst, public HeadlessAppTest {
protected:
    void SetUp() override {
        HeadlessAppTest::SetUp();
        ctl = std::make_unique<CKvsDevCtl>(app.get(), &set, 0);
    }
    void TearDown() override {
        ctl.reset();
        HeadlessAppTest::TearDown();
    }

    CKvsDevSet set;
    std::unique_ptr<CKvsDevCtl> ctl;
};

TEST_F(InputSettings, DrMXPortAddress) {
    const struct {
        u32 net, sub, uni, univ;
    } cases[] = {{127, 15, 15, 32767}, {1, 2, 3, 291}, {0, 0, 0, 0}};
    CRecord* prdr = ctl->Settings()->GetChild(DvstF::prdr);
    ASSERT_NE(prdr, nullptr);
    for (const auto& c : cases) {
        CKvsDrMXSetnDlg d(app.get());
        d.fArtNet.fNet.SetValue(f32(c.net));
        d.fArtNet.fSub.SetValue(f32(c.sub));
        d.fArtNet.fUni.SetValue(f32(c.uni));
        d.fCheck2.SetState(1);
        d.Store(prdr);
        EXPECT_EQ(prdr->GetU32(PrdrF::univ), c.univ);
        EXPECT_EQ(prdr->GetU8(PrdrF::usrc) * 10 + prdr->GetU8(PrdrF::uspl), 1);
    }
}

TEST_F(InputSettings, ArtNetInTenthsSacnAsIs) {
    CRecord* settings = ctl->Settings();
    CKvsAnSetnDlg an(app.get());
    an.Load(settings);
    EXPECT_EQ(an.fNumber.GetValue(), 10);  // the default 100
    an.fNumber.SetValue(25);
    an.Store(settings);
    EXPECT_EQ(settings->GetU32(DvstF::aidl), 250u);
    settings->SetU32(nullptr, DvstF::saus, 4321);
    CKvsSACNSetnDlg sacn(app.get());
    sacn.Load(settings);
    sacn.Store(settings);
    EXPECT_EQ(settings->GetU32(DvstF::saus), 4321u);
}

TEST_F(InputSettings, SoundFormatAndSummary) {
    CSndDevPane pane(app.get(), ctl.get());
    CKvsSndFmtDlg& d = pane.Dialog();
    const struct { i32 bits, shown; } bits[] = {{20, 16}, {16, 16}, {24, 24}, {32, 32}, {8, 16}};
    for (const auto& b : bits) {
        d.SetBits(b.bits);
        EXPECT_EQ(d.GetBits(), b.shown) << b.bits;
    }
    d.SetRate(96000);
    EXPECT_EQ(d.GetRate(), 48000);
    // The device's report, rebuilt on every change of the system status.
    CRecord* dev = StatNodeGetSndDev(ctl->Record(CKvsDevCtl::kSysStat));
    ASSERT_NE(dev, nullptr);
    NodeSetInt(dev, nullptr, "ichs", 2);
    NodeSetInt(dev, nullptr, "ochs", 2);
    NodeSetInt(dev, nullptr, "rate", 48000);
    NodeSetInt(dev, nullptr, "bits", 24);
    EXPECT_STREQ(d.fSummary.GetText().CStr(), "");
    NodeSetInt(dev, nullptr, "oper", 1);
    EXPECT_STREQ(d.fSummary.GetText().CStr(), "in:2ch out:2ch 48.0kHz 24bit");
    // An edit writes all four values into the settings' sound node.
    d.fIn.SetValue(4);
    d.fOut.SetValue(6);
    d.SetBits(32);
    d.SetRate(48000);
    LHandler::Send(CNumVol_Fix, &d.fIn, &d);
    CRecord* sndv = ctl->Settings()->GetChild(DvstF::prmc)->GetChild(PrmcF::sndv);
    EXPECT_EQ(SndDevGetInChannels(sndv) * 1000 + SndDevGetOutChannels(sndv), 4006);
    EXPECT_EQ(SndDevGetRate(sndv), 48000);
    EXPECT_EQ(SndDevGetBits(sndv), 32);
}

TEST_F(InputSettings, UploadListAndOverallBar) {
    CKvsUpldWin win(app.get());
    win.fList->AddItem(LString("a.drc"), UploadStatusText(0, CKvsFileJobQueue::kNotAccepted));
    win.fList->AddItem(LString("b.wav"), UploadStatusText(1, CKvsFileJobQueue::kNotSent));
    ASSERT_EQ(win.fList->Count(), 2u);
    EXPECT_EQ(win.fList->Rows(), 2);
    EXPECT_STREQ(win.fList->ItemStatus(0).CStr(), StdDialogText("UPLDLIST", 0).CStr());
    EXPECT_STREQ(win.fList->ItemStatus(1).CStr(), StdDialogText("UPLDLIST", 1).CStr());
    win.fList->Clear();
    EXPECT_EQ(win.fList->Rows(), 0);
    const struct {
        u32 n, d;
        f32 fraction;
        u32 permille;
    } bars[] = {{1, 0, 0, 90}, {1, 0, 0.5f, 545}, {4, 2, 0.5f, 634}, {2, 2, 0, 0}, {0, 0, 0, 0}};
    for (const auto& b : bars)
        EXPECT_EQ(UploadOverall(b.n, b.d, b.fraction), b.permille) << b.n << " " << b.d;
}

TEST_F(InputSettings, ControlMenuFollowsTheSettings) {
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    CKvsDevCtl dev(app.get(), &set, 305);
    LMenuBar bar(nullptr, "PLAYW");
    auto enabled = [&] {
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, &dev);
        std::string out;
        bar.ForEachItem(&out, [](void* o, LMenuItem* item) {
            if (item->fEnabled && item->FirstCommand().CStr()[0] == 'c')
                *static_cast<std::string*>(o) +=
                    std::string(item->FirstCommand().CStr()) + (item->fChecked ? "* " : " ");
        });
        return out;
    };
    const std::string rest = "cCCSetn cAudFmt cUseRcSvr cUnvAdr cRecSetn ";
    EXPECT_EQ(enabled(), "cDrMXSetn cAnSetn cSACNSetn csACNout cMonNet " + rest);
    EXPECT_TRUE(RunControlCommand(dev, "cMonNet"));
    EXPECT_EQ(enabled(), "cDrMXSetn cAnSetn cSACNSetn csACNout cMonNet* " + rest);
    EXPECT_TRUE(RunControlCommand(dev, "csACNout"));
    EXPECT_EQ(enabled(), "cDrMXSetn cAnSetn cSACNSetn csACNout* " + rest);
    EXPECT_TRUE(RunControlCommand(dev, "cUseRcSvr"));
    EXPECT_EQ(enabled(),
              "cDrMXSetn cAnSetn cSACNSetn csACNout* cCCSetn cAudFmt cUseRcSvr* cUnvAdr cRecSetn ");
    SetAppPrefsDoc(nullptr);
}

}  // namespace
