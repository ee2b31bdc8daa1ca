// Windows on screens: fitting to the visible areas, choosing among displays,
// the placer's limits and finding windows front to back.
#include <gtest/gtest.h>

#include "FakeWindows.h"
#include "framework/LFrame.h"

namespace {

class Windows : public ::testing::Test {
protected:
    // Main display with a 25-pixel menu bar and a 60-pixel dock; a second one beside it.
    void TwoDisplays() {
        windows.SetDisplays({FakeWindows::MakeDisplay(1, LRect(0, 0, 1440, 900), 25, 60),
                             FakeWindows::MakeDisplay(2, LRect(1440, 0, 2880, 900), 0, 0)});
    }
    FakeServices services;
    FakeWindows windows{services};
};

TEST_F(Windows, ScreenWithLargestOverlap) {
    TwoDisplays();
    struct Case {
        LRect rect;
        u32 display;
    } cases[] = {
        {LRect(1400, 100, 1500, 200), 2},  // 40 against 60
        {LRect(1390, 100, 1490, 200), 1},  // a tie goes to the earlier display
        {LRect(-500, 100, -400, 200), 0},  // on none
        {LRect(10, 10, 20, 20), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LDesktop::ScreenWithLargestOverlap(c.rect), c.display) << c.rect.left;
    // Visible areas leave out the menu bar and dock.
    LRect across(1400, 0, 1500, 900);
    LDesktop::FitRectToScreens(&across);
    EXPECT_EQ(across, LRect(1400, 0, 1500, 900));
    LRect main(10, 0, 20, 900);
    LDesktop::FitRectToScreens(&main);
    EXPECT_EQ(main, LRect(10, 25, 20, 840));
}

TEST_F(Windows, FittingKeepsTheFrameOnTheScreen) {
    LFrame frame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 1));
    struct Case {
        LRect content;
        LRect fitted;
    } cases[] = {
        // Wider than the screen: the frame's left edge on the screen's left edge.
        {LRect(100, 100, 2000, 300), LRect(1, 100, 1901, 300)},
        {LRect(1400, 800, 1500, 900), LRect(1339, 739, 1439, 839)},
        {LRect(100, 0, 200, 100), LRect(100, 47, 200, 147)},
    };
    for (const Case& c : cases) {
        LRect r = c.content;
        LDesktop::FitWindowToScreen(frame.Window(), &r);
        EXPECT_EQ(r, c.fitted) << c.content.left;
    }
    // A platform that gives less than asked gets a second, corrected pass.
    windows.fMaxContentW = 500;
    frame.SetWindowBounds(LRect(300, 300, 1000, 400));
    EXPECT_EQ(frame.GetWindowBounds(), LRect(300, 300, 800, 400));
    EXPECT_EQ(frame.Bounds(), LRect(0, 0, 500, 100));
}

TEST_F(Windows, PlacerLimitsAreTheVisibleAreaLessTheBorders) {
    LFrame frame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 1));
    frame.SetWindowBounds(LRect(100, 100, 300, 200));
    LWindowPlacer placer(frame.Window(), false);
    EXPECT_EQ(placer.fWidth, 200);
    EXPECT_EQ(placer.fMinWidth, 40);
    EXPECT_EQ(placer.fMaxWidth, 1440 - 2 * FakeWindows::kBorder);
    EXPECT_EQ(placer.fMaxHeight, 900 - 25 - 60 - FakeWindows::kTitleBar - FakeWindows::kBorder);
    EXPECT_EQ(placer.fUsable, LRect(1, 25 + FakeWindows::kTitleBar, 1439, 839));
    placer.SetSizeAndMax(100, 5000, 300, 6000);
    EXPECT_EQ(placer.fMinHeight, placer.fMaxHeight);
    EXPECT_EQ(placer.fMaxWidth, 300);
    LWindowPlacer none(nullptr, false);
    EXPECT_EQ(none.fMaxWidth, 0);
}

TEST_F(Windows, DialogsAreFoundBehindOrdinaryWindows) {
    LFrame dialog(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
    LFrame doc(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 1));
    LFrame hidden(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
    dialog.ShowWindow();
    doc.ShowWindow();
    EXPECT_EQ(LDesktop::NextVisibleWindow(nullptr), doc.Window());
    EXPECT_EQ(LDesktop::FindWindowById(kWindowDialog), dialog.Window());
    EXPECT_EQ(LDesktop::FindWindowById(kWindowOrdinary), doc.Window());
    EXPECT_EQ(LDesktop::FindWindowById(kWindowFloating), nullptr);
    // Shown without activation: behind the first visible window of its type.
    hidden.ShowWindowNoActivate();
    EXPECT_EQ(LDesktop::NextVisibleWindow(dialog.Window()), hidden.Window());
    doc.HideWindow();
    EXPECT_EQ(LDesktop::NextVisibleWindow(nullptr), dialog.Window());
    EXPECT_EQ(LWindow::FindByNative(dialog.Window()->Native()), dialog.Window());
}

}  // namespace
