// The sequence format, move-time and speed windows offscreen (seqdlg_*.png in the build folder).
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "QtDrawFixture.h"
#include "ControlFixture.h"
#include "framework/CViewPrefsDlg.h"
#include "editors/CKvsSeqDlgs.h"

namespace {

QImage Shot(LFrame& frame, const char* file) {
    frame.ShowWindow();
    RunUntil([&] { return AsMWindow(frame.Window()->Native())->isVisible(); }, 2000);
    LoopDrained();
    const QImage image = AsMWindow(frame.Window()->Native())->grab().toImage();
    EXPECT_TRUE(image.save(QString(KEVO_BINARY_DIR "/") + file));
    EXPECT_EQ(CutPanes(frame), "") << file;
    EXPECT_EQ(RowFieldsAtEverySize(frame, kLabels), "") << file;
    frame.HideWindow();
    return image;
}

TEST(SeqDlgsOffscreen, Windows) {
    ControlEnv env(LargeOffscreen().c_str());
    CKvsSeqFmtDlg fmt(gApp);
    fmt.fFirst.SelectIndex(1);
    fmt.UpdateVisibility();
    EXPECT_GT(Shot(fmt, "seqdlg_format.png").height(), 80);
    CKvsMoveTimeDlg move(gApp);
    move.fTime.SetTime(90000, 1000);
    EXPECT_GT(Shot(move, "seqdlg_movetime.png").height(), 100);
    CKvsSpdCalcDlg speed(gApp);
    speed.fDuration.SetTime(100, 1);
    speed.fDiff.SetValue(10);
    speed.Recompute();
    EXPECT_STREQ(speed.fResult.GetText().CStr(), "-9.09");
    EXPECT_GT(Shot(speed, "seqdlg_speed.png").height(), 80);
    // The font preferences' own rows, whatever size they set.
    CViewPrefsDlg prefs(gApp);
    EXPECT_GT(Shot(prefs, "view_prefs.png").height(), 80);
}

}  // namespace
