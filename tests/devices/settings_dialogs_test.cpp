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
#include "tests/framework/HeadlessAppTest.h"

namespace {

bool Visible(const LPane& p) {
    return (p.State() & 1) != 0;
}

class SettingsDialogs : public HeadlessAppTest {};

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
    // Each types the text into its dialog's field and answers what is taken from it.
    using Run = std::function<f64(const char*)>;
    const Run serial = [&](const char* t) {
        CInitAddrDlg d(owner);
        Type(d.fSerial, t);
        return f64(d.Serial());
    };
    const Run delay = [&](const char* t) {
        CKvsShtdwDlyDlg d(owner);
        Type(d.fDelay, t);
        return d.fDelay.GetValue();
    };
    const Run interval = [&](const char* t) {
        CKvsNetwDlg d(owner);
        Type(d.fInterval, t);
        return d.fInterval.GetValue();
    };
    const Run subnet = [&](const char* t) {
        CKvsDrMXSetnDlg d(owner);
        d.fArtNet.fNet.SetValue(1);
        d.fArtNet.fUni.SetValue(3);
        Type(d.fArtNet.fSub, t);
        d.Store(prdr);
        return f64(prdr->GetU32(PrdrF::univ));
    };
    const Run net = [&](const char* t) {
        CKvsDrMXSetnDlg d(owner);
        Type(d.fArtNet.fNet, t);
        d.Store(prdr);
        return f64(prdr->GetU32(PrdrF::univ) >> 8);
    };
    const Run artnet = [&](const char* t) {
        CKvsAnSetnDlg d(owner);
        Type(d.fNumber, t);
        d.Store(st);
        return f64(st->GetU32(DvstF::aidl));
    };
    const Run sacn = [&](const char* t) {
        CKvsSACNSetnDlg d(owner);
        Type(d.fNumber, t);
        d.Store(st);
        return f64(st->GetU32(DvstF::saus));
    };
    const Run minute = [&](const char* t) {  // 23:mm:30 on 30 April: month, day and time
        CKvsClockDlg d(owner);
        d.SetManual(true);
        d.SetFields(CalDateTime{2014, 4, 30, 0, 23, 0, 30});
        Type(d.fMinute, t);
        i32 f[6];
        d.GetFields(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]);
        return f64(f[1] * 1000000 + f[2] * 10000 + f[3] * 100 + f[4]);
    };
    const Run seconds = [&](const char* t) {
        CKvsClkRateDlg d(owner);
        Type(d.fSeconds, t);
        return d.fSeconds.GetValue();
    };
    const Run days = [&](const char* t) {
        CKvsClkRateDlg d(owner);
        Type(d.fDays, t);
        return d.fDays.GetValue();
    };
    const Run number = [&](const char* t) {
        CCSetNDlg d(owner);
        Type(d.fField, t);
        return d.fField.GetValue();
    };
    const struct {
        const char* what;
        const Run& run;
        const char* typed;
        f64 taken;
    } cases[] = {
        {"initial serial", serial, "7000", 2999},
        {"initial serial", serial, "5", 1000},
        {"shutdown delay", delay, "75", 60},
        {"shutdown delay", delay, "300", 60},
        {"network interval", interval, "30", 24},
        {"network interval", interval, "0", 1},
        {"DrMX sub-net", subnet, "20", (1 << 8) | (15 << 4) | 3},
        {"DrMX net", net, "99999999999", 127},
        {"Art-Net", artnet, "500", 1000},
        {"Art-Net", artnet, "-4", 10},
        {"sACN", sacn, "99999", 32768},
        {"clock minute", minute, "75", 4302359},
        {"clock-rate seconds", seconds, "99", 12},
        {"clock-rate days", days, "0", 1},
        {"number dialog", number, "5000", 1000},
    };
    for (const auto& c : cases) EXPECT_EQ(c.run(c.typed), c.taken) << c.what << " " << c.typed;
}

}  // namespace
