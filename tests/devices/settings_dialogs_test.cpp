// The device settings dialogs on the headless framework: what they show for
// the values handed in, what the user's edits turn into.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "devices/CDevSettingsDlgs.h"
#include "devices/CInputSetnDlgs.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
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

// Typed into the field, which still has the focus: nothing fixed the text yet
// when the dialog is confirmed and read.
void Type(CNumVol& field, const char* text) {
    field.RequestFocus();
    field.SetText(LString(text));
}

TEST_F(SettingsDialogs, TypedValuesAreReadWithinTheirRange) {
    CRecordDoc doc(NewDeviceSettingsRecord());
    CRecord* st = doc.Root();
    CRecord* prdr = st->GetChild(DvstF::prdr);
    ASSERT_NE(prdr, nullptr);
    LHandler* owner = app.get();
    const struct {
        const char* what;
        const char* typed;
        std::function<f64()> run;  // types, confirms, answers what was taken
        f64 taken;
    } cases[] = {
        {"initial serial", "7000", [&] { CInitAddrDlg d(owner); d.SetValues(false, 1000);
             Type(d.fSerial, "7000"); return f64(d.Serial()); }, 2999},
        {"initial serial low", "5", [&] { CInitAddrDlg d(owner); Type(d.fSerial, "5");
             return f64(d.Serial()); }, 1000},
        {"shutdown delay", "75", [&] { CKvsShtdwDlyDlg d(owner); Type(d.fDelay, "75");
             return d.fDelay.GetValue(); }, 60},
        {"shutdown delay", "300", [&] { CKvsShtdwDlyDlg d(owner); Type(d.fDelay, "300");
             return d.fDelay.GetValue(); }, 60},
        {"network interval", "30", [&] { CKvsNetwDlg d(owner); Type(d.fInterval, "30");
             return d.fInterval.GetValue(); }, 24},
        {"network interval", "0", [&] { CKvsNetwDlg d(owner); Type(d.fInterval, "0");
             return d.fInterval.GetValue(); }, 1},
        {"DrMX sub-net", "20", [&] { CKvsDrMXSetnDlg d(owner); d.Load(prdr);
             d.fNet.SetValue(1); d.fUni.SetValue(3); Type(d.fSub, "20"); d.Store(prdr);
             return f64(prdr->GetU32(PrdrF::univ)); }, (1 << 8) | (15 << 4) | 3},
        {"DrMX net", "99999999999", [&] { CKvsDrMXSetnDlg d(owner); d.Load(prdr);
             Type(d.fNet, "99999999999"); d.Store(prdr);
             return f64(prdr->GetU32(PrdrF::univ) >> 8); }, 127},
        {"Art-Net", "500", [&] { CKvsAnSetnDlg d(owner); d.Load(st); Type(d.fNumber, "500");
             d.Store(st); return f64(st->GetU32(DvstF::aidl)); }, 1000},
        {"Art-Net", "-4", [&] { CKvsAnSetnDlg d(owner); d.Load(st); Type(d.fNumber, "-4");
             d.Store(st); return f64(st->GetU32(DvstF::aidl)); }, 10},
        {"sACN", "99999", [&] { CKvsSACNSetnDlg d(owner); d.Load(st); Type(d.fNumber, "99999");
             d.Store(st); return f64(st->GetU32(DvstF::saus)); }, 32768},
        {"clock minute", "75", [&] { CKvsClockDlg d(owner); d.SetManual(true);
             d.SetFields(CalDateTime{2014, 4, 30, 0, 23, 0, 30}); Type(d.fMinute, "75");
             i32 f[6]; d.GetFields(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]);
             return f64(f[1] * 1000000 + f[2] * 10000 + f[3] * 100 + f[4]); }, 4302359},
        {"clock-rate seconds", "99", [&] { CKvsClkRateDlg d(owner); d.SetRate(1e-6f);
             Type(d.fSeconds, "99"); return d.fSeconds.GetValue(); }, 12},
        {"clock-rate days", "0", [&] { CKvsClkRateDlg d(owner); d.SetRate(1e-6f);
             Type(d.fDays, "0"); return d.fDays.GetValue(); }, 1},
        {"number dialog", "5000", [&] { CCSetNDlg d(owner); Type(d.fField, "5000");
             return d.fField.GetValue(); }, 1000},
    };
    for (const auto& c : cases) EXPECT_EQ(c.run(), c.taken) << c.what << " " << c.typed;
}

}  // namespace
