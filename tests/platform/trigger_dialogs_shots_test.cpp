// The scene trigger dialog at three sources and the master fader dialog as
// PNGs (<build>/shots/), drawn by the Qt controls on the offscreen platform.
#include <gtest/gtest.h>

#include <QDir>

#include "ControlFixture.h"
#include "base/Resources.h"
#include "editors/CExtCtlF.h"
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

}  // namespace
