// The blackout dialog (17 universes) and its progress dialog drawn by the Qt
// layer offscreen, saved as blackout_dialog.png and blackout_progress.png.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "QtDrawFixture.h"
#include "ControlFixture.h"
#include "devices/recordings/CKvsBoDlg.h"
#include "framework/StdDialogs.h"

namespace {

// Rows of the image that are not all one colour: a blank window has none.
int DrawnRows(const QImage& image) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 1; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, y)) {
                ++rows;
                break;
            }
    return rows;
}

QImage Shot(LFrame& frame, const char* file) {
    frame.ShowWindow();
    RunUntil([&] { return AsMWindow(frame.Window()->Native())->isVisible(); }, 2000);
    LoopDrained();
    const QImage image = AsMWindow(frame.Window()->Native())->grab().toImage();
    EXPECT_TRUE(image.save(QString(KEVO_BINARY_DIR "/") + file));
    EXPECT_EQ(CutPanes(frame), "") << file;
    EXPECT_EQ(RowFieldsAtEverySize(frame, kLabels), "") << file;
    return image;
}

TEST(BlackoutOffscreen, DialogAndProgress) {
    ControlEnv env(LargeOffscreen().c_str());
    {
        CKvsBoDlg d(gApp);
        d.fUniverses.SetValue(17);
        d.fLevel.SetValue(0);
        d.fDuration.SetValue(10);
        d.fName.SetText(LString("blackout"));
        d.Update();
        EXPECT_STREQ(d.fAddress.GetText().CStr(), "0/1/0");
        const QImage image = Shot(d, "blackout_dialog.png");
        EXPECT_GT(image.width(), 200);
        EXPECT_GT(image.height(), 150);
        EXPECT_GT(DrawnRows(image), 5 * 12);  // five rows of labels and fields, the buttons
        d.HideWindow();
    }
    {
        CSimpleProgressDialog p(gApp, LPaneOpt::Window(kWindowDialog, 0));
        p.SetMessage(StdDialogText("KVSBOCRT", 1));
        p.fBar.SetMax(256);
        p.fBar.SetValue(100);
        const QImage image = Shot(p, "blackout_progress.png");
        EXPECT_GT(DrawnRows(image), 40);
        p.HideWindow();
    }
}

}  // namespace
