// The control window of a play-settings file and the setting-file write's
// dialog as they look on the Qt platform (offscreen): saved as
// play_ctlwin.png and play_write_dialog.png in the build folder.
#include <gtest/gtest.h>

#include <QWidget>

#include "QtDrawFixture.h"
#include "ControlFixture.h"
#include "PlayFileOnDisk.h"
#include "base/Paths.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevSet.h"
#include "devices/DeviceHookInstall.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "editors/CKvsPlayCmd.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "records/Sequences.h"
#include "editors/CKvsScnPrmF.h"
#include "framework/LListNavi.h"
#include "framework/LDrawCtx.h"
#include "editors/CKvsSeqList.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqTrkViewF.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqUScnF.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CChunkFile.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/DeviceKinds.h"
#include "framework/CViewPrefs.h"
#include "records/NsqSets.h"
#include "records/ShowKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

QImage Save(LPane* pane, const char* name) {
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(pane->GetNativeWindow());
    const QImage shot = top ? top->grab().toImage() : QImage();
    EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/") + name));
    EXPECT_EQ(CutPanes(pane), "") << name;
    return shot;
}

// Every font slot at a small and a large size: nothing of the window is cut
// off, no field of a list's row is squeezed out of its row (the name fields
// of the sequence lists among them); the shots at 24 points are saved.
void SweepFonts(LFrame* win, const char* name) {
    RegisterPrefNodeKinds();
    CRecord* node = NewParamNodeRecord();
    CViewPrefs::Instance().Attach(node);
    ForEachSlotFont([&](u32 slot, f32 points) {
        // As large as its content asks, as the user makes it.
        LDrawCtx ctx;
        win->SetWindowBounds(LRect(0, 0, win->GetPrefWidth(&ctx, 0), win->GetPrefHeight(&ctx, 0)));
        LoopDrained();
        EXPECT_EQ(CutRowFields(win), "") << name << ": slot " << slot << " at " << points;
        EXPECT_EQ(CutNames(win, kLabels), "") << name << ": slot " << slot << " at " << points;
        QWidget* top = AsMWindow(win->GetNativeWindow());
        if (points > 12 && top)
            top->grab().save(QStringLiteral(KEVO_BINARY_DIR "/%1_slot%2_24.png")
                                 .arg(QString::fromUtf8(name))
                                 .arg(slot));
    });
    CViewPrefs::Instance().Attach(nullptr);
    CRecord::Destroy(node);
}

std::string WriteShow(const std::string& path, const CRecord* seq) {
    if (!WritePlayFile(path, seq)) return "";
    LString url;
    PosixPathToFileUrl(&url, LString(path.c_str()));
    return url.CStr();
}

TEST(PlayView, ControlWindowOfAnNsqShow) {
    ControlEnv env(LargeOffscreen().c_str());
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    testtftp::TempDir dir;
    CRecordDoc seq(NewSeqSettingsRecord());
    seq.Root()->SetU8(nullptr, SqstF::sqfm, 2);
    CRecord* set = seq.Root()->GetChild(SqstF::nsqs);
    const u32 kinds[] = {kKindPdmx, kKindPaud, kKindPvid};
    for (u32 i = 0; i < 2; ++i) NSqSetNewSeq(set, nullptr, i);
    CRecord* show = set->GetListItem(SsetF::seqs, 1);
    show->SetString(nullptr, SseqF::name, LString("Evening"));
    for (u32 t = 0; t < 3; ++t) {
        NSqSeqAddTrack(show, nullptr, t);
        CRecord* track = show->GetListItem(SseqF::trks, t);
        const u32 at = NSqTrkAddScene(track, nullptr, 2000 + t * 30000, kinds[t]);
        CRecord* p = track->GetListItem(StrkF::scns, at)->GetChild(SscnF::prms);
        p->SetString(nullptr, PdmxF::file, LString("clip.drc"));
        p->SetU32(nullptr, PdmxF::rngt, 20000);
    }
    const std::string url = WriteShow(dir.Path() + "/nsq.kvplay", seq.Root());
    InstallDeviceHooks();
    ASSERT_FALSE(url.empty());
    {
        CKvsDevSet devices;
        CKvsDevCtl ctl(gApp, &devices, 0);
        ctl.OpenFile(LString(url.c_str()));
        ASSERT_TRUE(RunUntil([&] { return ctl.WindowShown(); }, 3000));
        auto* view = dynamic_cast<CNSqTrkViewF*>(ctl.Screen()->PlayView());
        ASSERT_NE(view, nullptr);
        ASSERT_NE(view->Frame(), nullptr);
        EXPECT_TRUE(view->Frame()->IsShown());
        view->Frame()->List()->SelectCell(LCell{0, 1});
        ASSERT_NE(view->ShownSequence(), nullptr);
        EXPECT_STREQ(view->ShownSequence()->GetString(SseqF::name).CStr(), "Evening");
        view->Scale().Selection().SelectOnly(0, 0);
        EXPECT_TRUE(view->Frame()->SceneFrame()->IsShown());
        const QImage shot = Save(&ctl.Screen()->Window(), "play2_ctlwin.png");
        EXPECT_GE(shot.width(), 640);
        // Each pane in its own place: the parameters below the scene frame.
        const LRect scn = view->Frame()->SceneFrame()->Bounds();
        const LRect prm = view->Frame()->ScenePrm()->Bounds();
        EXPECT_GE(prm.top, scn.bottom);
        EXPECT_GT(prm.Height(), 0);
        // The kind's frame fills the parameter frame in its own coordinates, and
        // the window is wide enough for all of its controls.
        auto* clip = dynamic_cast<CNSqClipPrmF*>(view->Frame()->ScenePrm()->Shown());
        ASSERT_NE(clip, nullptr);
        EXPECT_EQ(clip->Bounds(), LRect(0, 0, prm.Width(), prm.Height()));
        EXPECT_LE(clip->Loop().Bounds().right, prm.Width());
        SweepFonts(&ctl.Screen()->Window(), "play2_ctlwin");
        ctl.Screen()->CloseWindow();
    }
    SetAppPrefsDoc(nullptr);
}

TEST(PlayView, ControlWindowOfAFileAndTheWriteDialog) {
    ControlEnv env(LargeOffscreen().c_str());
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    testtftp::TempDir dir;
    CRecordDoc seq(NewSeqSettingsRecord());
    const std::string file = WriteShow(dir.Path() + "/show.kvplay", seq.Root());
    ASSERT_FALSE(file.empty());
    InstallDeviceHooks();
    const LString url(file.c_str());
    {
        CKvsDevSet set;
        CKvsDevCtl ctl(gApp, &set, 0);
        ctl.OpenFile(url);
        ASSERT_TRUE(RunUntil([&] { return ctl.WindowShown(); }, 3000));
        ASSERT_NE(ctl.Screen()->PlayView(), nullptr);
        CKvsDevCtlWin& win = ctl.Screen()->Window();
        EXPECT_FALSE(win.fView.IsUsable());
        auto* basic = dynamic_cast<CDrcCmdHandler*>(ctl.Screen()->PlayView());
        ASSERT_NE(basic, nullptr);
        InsertNewSequence(basic->SeqSettings(), nullptr, 0);
        CRecord* first = basic->SeqSettings()->GetListItem(SqstF::sqcs, 0);
        for (u32 i = 0; i < 4; ++i) InsertSceneUnique(first, nullptr, SqncF::scns, i, nullptr);
        basic->Frame()->List()->SelectCell(LCell{0, 0});
        // The window's limit is its content's preferred size: a 1280 x 800
        // screen holds it with its title bar, with and without the universes.
        for (const u8 universes : {0, 1}) {
            prefs.Root()->SetU8(nullptr, PrefF::snmn, universes);
            LDrawCtx ctx;
            const i32 pw = win.GetPrefWidth(&ctx, 0), ph = win.GetPrefHeight(&ctx, 0);
            EXPECT_LE(pw, 1280 - 40) << "pref " << pw << " x " << ph;
            EXPECT_LE(ph, 800 - 60) << "pref " << pw << " x " << ph;
            // Nothing of the view lies beyond the window at that size.
            win.SetWindowBounds(LRect(0, 0, pw, ph));
            LoopDrained();
            const LRect vf = win.fViewFrame.Bounds();
            const CKvsPlayFrm* frame = basic->Frame();
            CKvsScnEdF* edit = frame->SceneEdit();
            EXPECT_TRUE(edit->IsShown());
            EXPECT_EQ(edit->UniversePane()->IsShown(), universes != 0);
            const LPane* shown[] = {edit, frame->FilePane()};
            for (const LPane* p : shown) {
                const LRect b = p->Bounds();
                EXPECT_LE(b.right, vf.Width()) << b.right << " " << universes;
                EXPECT_LE(b.bottom, vf.Height()) << b.bottom << " " << universes;
                EXPECT_GT(b.Width(), 200);
            }
            // The scene list keeps rows to choose from above the scene's fields.
            EXPECT_GE(edit->Navi()->Bounds().Height(), 3 * edit->List()->CellHeight());
            EXPECT_LE(edit->SceneFrame().Bounds().bottom, edit->Bounds().Height());
            // A window left lower than that (the universes shown in a window
            // sized without them) gives up the universes' room, not the list's.
            if (!universes) continue;
            win.SetWindowBounds(LRect(0, 0, pw, ph - 120));
            LoopDrained();
            if (win.Bounds().Height() < ph) {
                EXPECT_GE(edit->Navi()->Bounds().Height(), 3 * edit->List()->CellHeight());
                EXPECT_LE(edit->SceneFrame().Bounds().bottom, edit->Bounds().Height());
            }
        }
        const QImage shot = Save(&win, "play_ctlwin.png");
        SweepFonts(&win, "play_ctlwin");
        EXPECT_GE(shot.width(), 480);
        EXPECT_GE(shot.height(), 320);
        ctl.Screen()->CloseWindow();
    }
    {
        // As a write to a device that stopped answering shows it after 10 s.
        CSimpleProgressDialog progress(gApp, LPaneOpt::Window(kWindowDialog, 2));
        progress.ShowSpinner();
        progress.SetMessage(StdDialogText("KVSPLAYEDIT", 1));
        progress.ShowWindow();
        progress.fButton.SetState(LPane::kOpShow);
        LoopDrained();
        EXPECT_TRUE(progress.fButton.IsShown());
        EXPECT_STREQ(progress.fButton.GetTitle().CStr(), "Cancel");
        const QImage shot = Save(&progress, "play_write_dialog.png");
        EXPECT_GT(shot.width(), 100);
        progress.HideWindow();
    }
    SetAppPrefsDoc(nullptr);
}

}  // namespace
