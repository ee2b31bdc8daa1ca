// The BGM, auto-play and PWDW windows offscreen (seqwin_*.png in the build folder).
#include <gtest/gtest.h>

#include "QtDrawFixture.h"
#include "ShellFixture.h"
#include "editors/CKvsSeqWins.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"

namespace {

struct Device : FakePlayDevice {
    CRecordDoc* SettingsDoc() override { return &fSettings; }
    CRecordDoc fSettings{NewKind(kFamKvt, kKindDvst)};
};

void Shot(LFrame& f, const char* name) {
    f.ShowWindow();
    // Drawn once whatever the show queued has run.
    LoopDrained();
    const QImage image = AsMWindow(f.GetNativeWindow())->grab().toImage();
    EXPECT_EQ(CutPanes(f), "") << name;
    EXPECT_EQ(RowFieldsAtEverySize(f, kLabels), "") << name;
    EXPECT_GT(image.height(), 60) << name;
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/seqwin_") + name + ".png")) << name;
}

TEST(SeqWinsOffscreen, PlaysRefreshesAndFields) {
    ShellEnv env("offscreen");
    QtControlServices controls;
    RegisterAllRecordKinds();
    CUndoQ undo(gApp, 1u << 20);
    Device device;
    CRecordDoc seqs(NewKind(kFamKvt, kKindSqst));
    CRecordDoc play(NewKind(kFamKvt, kKindPlys));
    for (u32 i = 0; i < 3; ++i) {
        CRecord* s = NewKind(kFamKvt, kKindSqnc);
        s->SetU32(nullptr, SqncF::sqid, 10 + i);
        s->SetString(nullptr, SqncF::sqnm, LString(i == 2 ? "Walk-in" : "Other"));
        seqs.Root()->InsertItem(nullptr, SqstF::sqcs, i, s);
    }
    CRecord* p = play.Root();
    p->SetU32(nullptr, PlysF::pwdw, 12);
    p->SetU32(nullptr, PlysF::bgmq, 12);
    {
        CKvsPwdWin pwd(&undo, nullptr, &device, seqs.Root(), p);
        Shot(pwd, "pwdw");
        // The third sequence, twice; a vanished one sends nothing.
        for (int i = 0; i < 2; ++i)
            pwd.HandleMessage(LMessage{LStdCtl_Selected, &pwd.fPlayNow, &pwd});
        p->SetU32(nullptr, PlysF::pwdw, 99);
        pwd.HandleMessage(LMessage{LStdCtl_Selected, &pwd.fPlayNow, &pwd});
        EXPECT_EQ(device.fLog, (std::vector<std::string>{"plsn=/sqcs/2", "plsn=/sqcs/2"}));
    }
    {
        CKvsBgmWin bgm(&undo, nullptr, &device, seqs.Root(), p);
        Shot(bgm, "bgm");
        seqs.Root()->GetListItem(SqstF::sqcs, 2)->SetString(nullptr, SqncF::sqnm, LString("Intro"));
        EXPECT_STREQ(bgm.fSeq.Text().GetText().CStr(), "Intro");
    }
    {
        CKvsAutoWin autoWin(&undo, nullptr, &device, seqs.Root(), p);
        Shot(autoWin, "auto");
        autoWin.fDelay.SetValue(1500);
        autoWin.HandleMessage(LMessage{CNumVol_Fix, &autoWin.fDelay, &autoWin});
        EXPECT_EQ(p->GetChild(PlysF::plat)->GetU32(PlatF::staf), 999u);
        autoWin.fChecks[1].SetState(1);
        autoWin.HandleMessage(LMessage{LStdCheck_Change, &autoWin.fChecks[1], &autoWin});
        const CRecord* prpc = device.fSettings.Root()->GetChild(DvstF::prpc);
        EXPECT_EQ(prpc->GetU8(PrpcF::atbt), 1);
        undo.Undo();  // the delay's step only
        EXPECT_EQ(prpc->GetU8(PrpcF::atbt), 1);
        EXPECT_EQ(p->GetChild(PlysF::plat)->GetU32(PlatF::staf), 10u);
    }
}

}  // namespace
