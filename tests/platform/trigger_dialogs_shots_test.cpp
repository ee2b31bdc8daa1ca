// The scene trigger dialog at three sources and the master fader dialog as
// PNGs (<build>/shots/), drawn by the Qt controls on the offscreen platform.
#include <gtest/gtest.h>

#include <QDir>
#include <QMenuBar>

#include "ControlFixture.h"
#include "QtDrawFixture.h"
#include "base/Resources.h"
#include "editors/AuxTriggerKinds.h"
#include "editors/CExtCtlF.h"
#include "editors/CKvsAxPlyWin.h"
#include "framework/LListNavi.h"
#include "editors/DeviceHooks.h"
#include "records/CRecordDoc.h"
#include "records/Triggers.h"
#include "editors/CKvsLargeDlg.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

// The window's place and size as it is first shown.
struct ShownAt : QObject {
    QRect at;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && at.isNull()) at = static_cast<QWidget*>(o)->geometry();
        return false;
    }
};

QImage Shot(LFrame& dlg, const char* name) {
    // Over a window of its own, as over the control window that opens it.
    CtlFrame owner;
    owner.ShowWindow();
    ShownAt first;
    MWindow* native = AsMWindow(dlg.GetNativeWindow());
    native->installEventFilter(&first);
    ShowAtLayoutSize(dlg, &owner);
    RunUntil([] { return false; }, 100);
    // Already sized and placed when shown: nothing jumps once it is on screen.
    EXPECT_EQ(first.at, native->geometry()) << name;
    EXPECT_TRUE(owner.Native()->frameGeometry().contains(native->frameGeometry().center())) << name;
    native->removeEventFilter(&first);
    const QImage image = AsMWindow(dlg.GetNativeWindow())->grab().toImage();
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/shots/") + name + ".png"));
    EXPECT_EQ(RowFieldsAtEverySize(dlg, kLabels), "") << name;
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
    // Its headers' titles and its labels whole at every font size.
    EXPECT_EQ(RowFieldsAtEverySize(win, kLabels), "");
}

// A screen of 1280 x 800.
std::string Screen1280() {
    return OffscreenOfSize(1280, 800);
}

// The window as wide as what it shows: the list alone (its bar whole) while no
// aux play is selected; list and triggers, every control of the widest kind in
// sight, on a 1280 x 800 screen, once one is; and narrow again after.
TEST(TriggerDialogShots, AuxPlayWindowFitsWhatItShows) {
    ControlEnv env(Screen1280().c_str());
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecord* plays = seqDoc.Root()->GetChild(SqstF::axps);
    ShotDevice device;
    CKvsAxPlyWin win(gApp, nullptr, &device, seqDoc.Root());
    win.ShowWindow();
    RunUntil([] { return false; }, 100);
    MWindow* w = AsMWindow(win.GetNativeWindow());
    QMenuBar* bar = w->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    const int empty = w->width();
    EXPECT_LE(empty, 420) << "an empty aux-play window is mostly blank";
    EXPECT_GE(bar->width(), bar->sizeHint().width()) << "the bar folds its titles";
    // The list takes the width the window has.
    RunUntil([&] { return win.fNavi->Bounds().right >= win.Bounds().right - 24; }, 1000);
    EXPECT_GE(win.fNavi->Bounds().right, win.Bounds().right - 24);

    // An aux play with the widest kinds' triggers, selected.
    CRecord* stage = plays->GetListItem(AplsF::plys, AddAuxPlay(plays, nullptr));
    for (i32 k : {2, 4, 11})
        TrgSetKindItem(stage->GetListItem(AplyF::trgs, AddAuxTrigger(stage, nullptr)), nullptr, k);
    win.fList->SelectCell(LCell{0, 0});
    RunUntil([&] { return win.EditorShown() && w->width() > empty; }, 1000);
    ASSERT_TRUE(win.EditorShown());
    EXPECT_GT(w->width(), empty + 400);
    EXPECT_LE(w->frameGeometry().width(), 1280);
    LDrawCtx ctx;
    const i32 row = win.fTrgList->GetProtoCell()->GetPrefWidth(&ctx, 0);
    EXPECT_LE(row, win.fTrgList->Bounds().Width()) << "a kind's controls are cut off";
    const QImage shot = w->grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/shots/axplywin_fit.png")));
    EXPECT_GT(LPane::UnpackX(win.fTrgList->GetTopLeftIn(nullptr)), u64(win.fNavi->Bounds().right));

    win.fList->SetSelection(LRgn());
    LHandler::Send(LListPane_SelChange, win.fList, &win);
    RunUntil([&] { return w->width() == empty; }, 1000);
    EXPECT_FALSE(win.EditorShown());
    EXPECT_EQ(w->width(), empty);
}

}  // namespace
