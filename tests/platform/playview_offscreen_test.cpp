// The control window of a play-settings file and the setting-file write's
// dialog as they look on the Qt platform (offscreen): saved as
// play_ctlwin.png and play_write_dialog.png in the build folder.
#include <gtest/gtest.h>

#include <QWidget>

#include "ControlFixture.h"
#include "base/Paths.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevSet.h"
#include "editors/CKvsPlayCmd.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CChunkFile.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

QImage Save(LPane* pane, const char* name) {
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(pane->GetNativeWindow());
    const QImage shot = top ? top->grab().toImage() : QImage();
    EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/") + name));
    return shot;
}

TEST(PlayView, ControlWindowOfAFileAndTheWriteDialog) {
    ControlEnv env("offscreen");
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    testtftp::TempDir dir;
    const std::string path = dir.Path() + "/show.kvplay";
    {
        CRecordDoc seq(NewSeqSettingsRecord());
        CRecordDoc play(NewPlaySetRecord());
        LDataBuf buffer;
        CChunkFile file;
        file.OpenWrite(FourCC("YKVS"), FourCC("DPLS"), buffer);
        file.WriteRecord(seq.Root());
        file.WriteRecord(play.Root());
        file.Close();
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(buffer.Data(), 1, file.WrittenSize(), f);
        std::fclose(f);
    }
    LString url;
    PosixPathToFileUrl(&url, LString(path.c_str()));
    {
        CKvsDevSet set;
        CKvsDevCtl ctl(gApp, &set, 0);
        ctl.OpenFile(url);
        ASSERT_TRUE(RunUntil([&] { return ctl.WindowShown(); }, 3000));
        ASSERT_NE(ctl.Screen()->PlayView(), nullptr);
        CKvsDevCtlWin& win = ctl.Screen()->Window();
        EXPECT_FALSE(win.fView.IsUsable());
        const QImage shot = Save(&win, "play_ctlwin.png");
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
        RunUntil([] { return false; }, 200);
        EXPECT_TRUE(progress.fButton.IsShown());
        EXPECT_STREQ(progress.fButton.GetTitle().CStr(), "Cancel");
        const QImage shot = Save(&progress, "play_write_dialog.png");
        EXPECT_GT(shot.width(), 100);
        progress.HideWindow();
    }
    SetAppPrefsDoc(nullptr);
}

}  // namespace
