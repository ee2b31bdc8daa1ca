// The scene trigger dialog at three sources and the master fader dialog as
// PNGs (<build>/shots/), drawn by the Qt controls on the offscreen platform.
#include <gtest/gtest.h>

#include <QDir>

#include "ControlFixture.h"
#include "base/Resources.h"
#include "editors/AuxTriggerKinds.h"
#include "editors/CExtCtlF.h"
#include "editors/CKvsAxPlyWin.h"
#include "editors/DeviceHooks.h"
#include "records/CRecordDoc.h"
#include "records/Triggers.h"
#include "editors/CKvsLargeDlg.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

QImage Shot(LFrame& dlg, const char* name) {
    ShowAtLayoutSize(dlg);
    RunUntil([] { return false; }, 100);
    const QImage image = AsMWindow(dlg.GetNativeWindow())->grab().toImage();
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/shots/") + name + ".png"));
    dlg.HideWindow();
    return image;
}

TEST(TriggerDialogShots, SceneTriggerAndMasterFader) {
    ControlEnv env("offscreen");
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    QDir().mkpath(KEVO_BINARY_DIR "/shots");
    CRecord* sntg = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSntg));
    sntg->SetU32(nullptr, SntgF::anuv, 0x123);
    sntg->SetU8(nullptr, SntgF::mdnt, 63);
    for (u8 kind : {1, 10, 15}) {
        sntg->SetU8(nullptr, SntgF::tgmd, kind);
        CKvsLargeDlg d(gApp, nullptr);
        d.LoadTrigger(sntg);
        d.fNumber.SetValue(5);
        const QImage shot = Shot(d, ("scntrg_k" + std::to_string(kind)).c_str());
        EXPECT_GT(shot.width(), 200);
        EXPECT_GT(shot.height(), 100);
    }
    CRecord::Destroy(sntg);
    CRecord* prpc = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPrpc));
    prpc->SetU8(nullptr, PrpcF::mfct, 1);
    prpc->SetU32(nullptr, PrpcF::anun, 0x123);
    CKvsMstFdrDlg m(gApp, nullptr);
    m.LoadFromRecord(prpc);
    m.fShowFader.SetState(1);
    EXPECT_GT(Shot(m, "mstfdr").width(), 200);
    CRecord::Destroy(prpc);
}

// A device of records only: nothing is sent.
struct ShotDevice : MPlayDevice {
    u32 DeviceSerial() const override { return 0; }
    CRecordDoc* SettingsDoc() override { return nullptr; }
    CRecordDoc* CommandDoc() override { return nullptr; }
    CRecordDoc* ContentsDoc() override { return nullptr; }
    CRecordDoc* StateDoc() override { return &fState; }
    CRecordDoc* SeqStatDoc() override { return nullptr; }
    CReqQueue& FileRequests() override { std::abort(); }
    CReqQueue& ChannelRequests() override { std::abort(); }
    CDevRequestQueue& SeqStatusChannel() override { std::abort(); }
    CRecord* MediaIndex() override { return nullptr; }
    MDevObjLink* ObjLink() override { return nullptr; }
    bool RunDeviceSyncDialog(LHandler*) override { return false; }
    CRecordDoc fState{CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvss))};
};

TEST(TriggerDialogShots, AuxPlayWindowOneTriggerPerKind) {
    ControlEnv env("offscreen");
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    QDir().mkpath(KEVO_BINARY_DIR "/shots");
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecord* plays = seqDoc.Root()->GetChild(SqstF::axps);
    for (const char* n : {"Doors", "Stage"}) {
        plays->GetListItem(AplsF::plys, AddAuxPlay(plays, nullptr))
            ->SetString(nullptr, AplyF::name, LString(n));
    }
    CRecord* stage = plays->GetListItem(AplsF::plys, 1);
    for (i32 k = 0; k < kTrgKindItems; ++k) {
        CRecord* t = stage->GetListItem(AplyF::trgs, AddAuxTrigger(stage, nullptr));
        t->SetString(nullptr, AptgF::name, LString(("Cue " + std::to_string(k)).c_str()));
        TrgSetKindItem(t, nullptr, k);
    }
    ShotDevice device;
    const i32 fired[2] = {0, 3};
    device.fState.Root()->SetArray(nullptr, DvssF::aptg, fired, 2);
    CKvsAxPlyWin win(gApp, nullptr, &device, seqDoc.Root());
    win.fList->SelectCell(LCell{0, 1});
    win.BindSelected();
    win.ShowWindow();
    win.SetWindowBounds(LRect(40, 40, 40 + win.GetPrefWidth(nullptr, 0), 40 + 560));
    RunUntil([] { return false; }, 200);
    const QImage shot = AsMWindow(win.GetNativeWindow())->grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/shots/axplywin.png")));
    EXPECT_GT(shot.width(), 600);
}

}  // namespace
