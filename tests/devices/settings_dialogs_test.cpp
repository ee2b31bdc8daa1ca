// The device settings dialogs on the headless framework: what they show for
// the values handed in, what the user's edits turn into.
#include <gtest/gtest.h>

#include <memory>

#include "devices/CDevSettingsDlgs.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

bool Visible(const LPane& p) {
    return (p.State() & 1) != 0;
}

class SettingsDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        controls.fClock = &services.fNow;
        app = std::make_unique<CMainLoopBase>();
    }
    void TearDown() override { app.reset(); }

    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<CMainLoopBase> app;
};

TEST_F(SettingsDialogs, ClockDayFollowsTheMonth) {
    const struct {
        i32 year, month, day, fixed;
    } cases[] = {{2024, 4, 31, 30}, {2023, 2, 31, 28}, {2024, 2, 30, 29}, {2024, 5, 31, 31}};
    for (const auto& c : cases) {
        CKvsClockDlg d(app.get());
        EXPECT_FALSE(d.IsManual());
        EXPECT_FALSE(Visible(d.fFrame));
        d.SetManual(true);
        EXPECT_TRUE(Visible(d.fFrame));
        d.fYear.SetValue(f32(c.year));
        d.fMonth.SetValue(f32(c.month));
        d.fDay.SetValue(f32(c.day));
        LHandler::Send(CNumVol_Fix, &d.fDay, &d.fFrame);
        i32 y, mo, day, h, mi, s;
        d.GetFields(&y, &mo, &day, &h, &mi, &s);
        EXPECT_EQ(day, c.fixed) << c.year << "-" << c.month;
    }
}

TEST_F(SettingsDialogs, ClockRateOpensOnTheCorrection) {
    const struct {
        f32 ppm;
        i32 choice;
        f64 days, seconds;
        bool frame;
    } cases[] = {
        {11.574f, CKvsClkRateDlg::kFast, 1, 1.0, true},
        {-1.1574074f, CKvsClkRateDlg::kSlow, 10, 1.0, true},
        {0, CKvsClkRateDlg::kNone, 10, 0, false},
        {0.01f, CKvsClkRateDlg::kFast, 100, 0.1, true},  // days limited to 100
    };
    for (const auto& c : cases) {
        CKvsClkRateDlg d(app.get());
        d.SetRate(c.ppm / 1000000.0f);
        EXPECT_EQ(d.Choice(), c.choice) << c.ppm;
        EXPECT_EQ(d.fDays.GetValue(), c.days) << c.ppm;
        EXPECT_NEAR(d.fSeconds.GetValue(), c.seconds, 0.05) << c.ppm;
        EXPECT_EQ(Visible(d.fFrame), c.frame) << c.ppm;
        EXPECT_FALSE(d.Changed()) << c.ppm;
    }
}

TEST_F(SettingsDialogs, InitialAddressHidesTheSerialForAllDevices) {
    CInitAddrDlg d(app.get());
    d.SetValues(true, 1000);
    EXPECT_FALSE(Visible(d.fSerial));
    d.fAll.SetState(0);
    LHandler::Send(LStdCheck_Change, &d.fAll, &d);
    EXPECT_TRUE(Visible(d.fSerial));
    EXPECT_EQ(d.Serial(), 1000u);
    d.SetValues(false, 5000);  // beyond the field's range
    EXPECT_TRUE(Visible(d.fSerial));
    EXPECT_EQ(d.Serial(), 2999u);
}

}  // namespace
