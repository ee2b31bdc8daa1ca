// Number and time fields: press, repeat and drag, keys, the wheel over a
// digit, step requests, and the time slider's text and fields.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/CNumVol.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct Stage : ControlStage {
    void Run(u32 ms) {
        fServices.Advance(ms);
        LTimer::FireDue(fServices.fNow, nullptr, nullptr, true);
    }
};

// Initial delay 30/60 s, repeat 6/60 s on the fake.
constexpr u32 kDelay = 500, kRepeat = 100;

TEST(NumVol, PressFocusesFirstThenStepsRepeatsAndDrags) {
    Stage s;
    CNumVol v(&s.fBox);
    v.SetBounds(LRect(10, 10, 110, 30));
    v.SetValue(50);
    s.Click(&v, 100, 20);
    EXPECT_EQ(v.GetValue(), 50) << "a quick click on an unfocused field only focuses it";
    s.Mouse(LMouse_Release, &v, 100, 20);

    s.fBox.Take();
    s.Click(&v, 100, 20);
    EXPECT_EQ(v.GetValue(), 51);
    EXPECT_EQ(s.fBox.Take(), "LPane_ReqCapture CNumVol_Move CNumVol_Fix");
    s.Run(kDelay - 1);
    EXPECT_EQ(v.GetValue(), 51);
    s.Run(1);
    EXPECT_EQ(v.GetValue(), 52);
    s.Run(kRepeat);
    EXPECT_EQ(v.GetValue(), 53);
    s.Mouse(LMouse_Move, &v, 103, 20);
    s.Run(kRepeat);
    EXPECT_EQ(v.GetValue(), 54) << "a 3-pixel move keeps repeating";
    s.Mouse(LMouse_Move, &v, 105, 20);
    EXPECT_EQ(v.GetValue(), 64) << "a 5-pixel move drags 10 steps";
    EXPECT_FALSE(v.RepeatRunning());
    s.Mouse(LMouse_Release, &v, 105, 20);

    v.SetValue(100);
    s.fBox.Take();
    s.Click(&v, 100, 20);
    EXPECT_EQ(s.fBox.Take(), "LPane_ReqCapture") << "no move past the maximum";
    s.Mouse(LMouse_Release, &v, 100, 20);
}

// The keys gone to a control beside the field (a check box clicked) while the
// field kept the focus: the next click brings them back without a step, so the
// digits typed after it land in the field; the click after that steps.
TEST(NumVol, ClickAfterTheKeysWentElsewhereOnlyTakesThemBack) {
    Stage s;
    CNumVol v(&s.fBox);
    v.SetBounds(LRect(10, 10, 110, 30));
    v.SetValue(50);
    s.Click(&v, 100, 20);
    s.Mouse(LMouse_Release, &v, 100, 20);
    ASSERT_NE(v.Engine(), nullptr);
    auto* field = static_cast<FakeTextField*>(v.Engine()->Field());
    ASSERT_TRUE(field->IsFirstResponder());
    field->fFirstResponder = false;
    for (const char* what : {"the keys come back", "then it steps"}) {
        SCOPED_TRACE(what);
        s.Click(&v, 100, 20);
        s.Mouse(LMouse_Release, &v, 100, 20);
        EXPECT_TRUE(field->IsFirstResponder());
    }
    EXPECT_EQ(v.GetValue(), 51);
}

TEST(NumVol, ControlArrowsStepATenthOrOne) {
    Stage s;
    CNumVol v(&s.fBox);
    v.SetRange(0, 1000, 1);
    v.SetValue(0);
    s.Key(&v, 30, kModControl);
    EXPECT_EQ(v.GetValue(), 100);
    s.Key(&v, 30, kModControl | kModShift);
    EXPECT_EQ(v.GetValue(), 101);
}

TEST(NumVol, WheelStepsTheDigitUnderThePointer) {
    const struct {
        i32 x;
        f64 value;
    } cases[] = {{15, 223.45}, {36, 124.45}, {50, 123.46}};
    for (const auto& c : cases) {
        Stage s;
        CNumVol v(&s.fBox, 2);
        v.SetBounds(LRect(10, 10, 110, 30));
        v.SetRange(0, 1000, 1);
        v.RequestFocus();
        v.SetValue(123.45f);
        s.fMouse.fWheelDy = 1;
        s.Mouse(LMouse_Wheel, &v, c.x, 20);
        EXPECT_NEAR(v.GetValue(), c.value, 1e-4) << "at x " << c.x;
    }
}

TEST(NumVol, StepRequestsInTenthsOfAPercent) {
    const struct {
        f32 max, step;
        i32 n;
        f64 moved;
        const char* log;
    } cases[] = {{100, 1, 10, 1, "CNumVol_Fix"},
                 {100, 1, 50, 5, "CNumVol_Fix"},
                 {100, 1, 5, 5, "CNumVol_Fix"},
                 {1000, 1, 10, 10, "CNumVol_Fix"},
                 {100, 0, 10, 0, ""}};
    for (const auto& c : cases) {
        Stage s;
        CNumVol v(&s.fBox);
        v.SetRange(0, c.max, c.step);
        v.SetValue(20);
        CGenCtlEv ev(c.n);
        s.fBox.Take();
        LHandler::Send(CGenCtlEv_Step, &ev, &v);
        EXPECT_EQ(v.GetValue(), 20 + c.moved) << c.n << " of 0.." << c.max;
        EXPECT_EQ(s.fBox.Take(), c.log);
    }
}

TEST(TimeSlider, TextSignAndRange) {
    Stage s;
    CTimeSlider plain(&s.fBox, 0, 25, 0), sign(&s.fBox, 0, 25, 1);
    plain.SetValueRaw(-1);
    sign.SetValueRaw(-1);
    EXPECT_EQ(std::string(plain.GetText().View()), "23:59:59:00");
    EXPECT_EQ(std::string(sign.GetText().View()), "-00:00:01:00");
    EXPECT_EQ(sign.GetValue(), -1);
    EXPECT_EQ(sign.GetScaledValue(1000), -1000);
    EXPECT_EQ(sign.Min(), -86399);
    EXPECT_EQ(sign.Max(), 86399);
    EXPECT_EQ(plain.Max(), 86400);
}

TEST(TimeSlider, SteppedFieldStaysSelected) {
    Stage s;
    CTimeSlider t(&s.fBox, 0, 25, 1);
    t.SetBounds(LRect(10, 10, 134, 30));  // 120 pixels between the margins
    t.RequestFocus();
    s.Click(&t, 92, 20);  // the right half of the seconds
    EXPECT_EQ(std::string(t.GetText().View()), " 00:00:01:00");
    EXPECT_EQ(t.SelectedField(), 3u);
    u32 start, length;
    t.Engine()->GetSelection(&start, &length);
    EXPECT_EQ(start, 7u);
    EXPECT_EQ(length, 2u);
    s.Mouse(LMouse_Release, &t, 92, 20);
}

TEST(TimeSlider, NoRoomGivesTheFirstField) {
    Stage s;
    CTimeSlider narrow(&s.fBox, 0, 25, 0);
    narrow.SetBounds(LRect(10, 10, 13, 30));
    EXPECT_EQ(narrow.HalfFieldAt(12), 0);
}

}  // namespace
