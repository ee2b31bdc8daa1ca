// The record control, the basic play edit and the recording dialogs drawn by
// the Qt layer offscreen: rec_control.png, basic_play_edit.png,
// rec_input_dialog.png and detect_start_dialog.png in the build folder.
#include <gtest/gtest.h>

#include <QWidget>

#include "QtDrawFixture.h"
#include "ControlFixture.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/DeviceHookInstall.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "devices/recordings/CKvsRecSetnDlg.h"
#include "devices/recordings/DrcServices.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsSeqList.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

QImage Shot(LPane* pane, const char* name) {
    RunUntil([] { return false; }, 200);
    QWidget* top = AsMWindow(pane->GetNativeWindow());
    const QImage shot = top ? top->grab().toImage() : QImage();
    EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/") + name));
    EXPECT_GT(shot.width(), 200) << name;
    return shot;
}

TEST(RecordingsOffscreen, ViewsAndDialogs) {
    ControlEnv env("offscreen");
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    InstallDeviceHooks();
    CKvsDevSet set;
    {
        // A recording under way, 61 s into it.
        CKvsDevCtl ctl(gApp, &set, 0);
        CRecord* ssta = ctl.Record(CKvsDevCtl::kSeqStat);
        ssta->SetU8(nullptr, SstaF::stat, 3);
        ssta->SetString(nullptr, SstaF::cflp, LString("/sdc/kevrecfiles/REC0007.drc"));
        ssta->SetI32(nullptr, SstaF::sqet, 120000);
        ssta->SetI32(nullptr, SstaF::sqtm, 61000);
        LFrame win(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
        win.SetTitle(LString("rec"));
        CKvsFileListCtl view(gApp, win, &ctl);
        win.SetWindowBounds(LRect(50, 50, 750, 450));
        view.Frame()->SetBounds(LRect(0, 0, 700, 400));
        win.ShowWindow();
        Shot(&win, "rec_control.png");
        EXPECT_EQ(CutPanes(win), "");
        EXPECT_STREQ(view.Frame()->RecImage(), "RECONBTN");
        EXPECT_EQ(std::string(view.Frame()->fTime.GetText().View()), "00:01:01");
        win.HideWindow();
    }
    {
        CKvsDevCtl ctl(gApp, &set, 0);
        LFrame win(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
        win.SetTitle(LString("play"));
        CDrcCmdHandler edit(gApp, &win, &ctl);
        for (u32 i = 0; i < 3; ++i) InsertNewSequence(edit.SeqSettings(), nullptr, i);
        CRecord* first = edit.SeqSettings()->GetListItem(SqstF::sqcs, 0);
        for (u32 i = 0; i < 4; ++i) InsertSceneUnique(first, nullptr, SqncF::scns, i, nullptr);
        edit.Frame()->List()->SelectCell(LCell{0, 0});
        win.SetWindowBounds(LRect(0, 0, 1300, 560));
        edit.Frame()->SetBounds(LRect(0, 0, 1300, 560));
        win.ShowWindow();
        Shot(&win, "basic_play_edit.png");
        win.HideWindow();
    }
    {
        CRecordDoc prrcDoc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindPrrc)));
        prrcDoc.Root()->SetU8(nullptr, PrrcF::rcct, 1);
        prrcDoc.Root()->SetU32(nullptr, PrrcF::anun, 291);
        CKvsRecSetnDlg d(gApp);
        d.Load(prrcDoc.Root());
        d.ShowWindow();
        Shot(&d, "rec_input_dialog.png");
        EXPECT_EQ(CutPanes(d), "");
        EXPECT_EQ(RowFieldsAtEverySize(d, kLabels), "");
        d.HideWindow();
    }
    {
        CKvsDetStartDlg d(gApp);
        d.SetType(2);
        d.fLevel.SetValue(40);
        d.ShowWindow();
        Shot(&d, "detect_start_dialog.png");
        EXPECT_EQ(CutPanes(d), "");
        EXPECT_EQ(RowFieldsAtEverySize(d, kLabels), "");
        d.HideWindow();
    }
    SetAppPrefsDoc(nullptr);
}

}  // namespace
