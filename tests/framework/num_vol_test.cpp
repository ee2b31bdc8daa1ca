// Number and time fields: press, repeat and drag, keys, the wheel over a
// digit, step requests, and the time slider's text and fields.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

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

// A value set from outside may carry more than the field shows. However the
// field ends unchanged (also with the same text typed again) it gives that
// value back whole; a typed value is taken, clamped, and fixed once.
TEST(NumVol, EndedUnchangedGivesBackTheExactValue) {
    enum End { kReturn, kTab, kFocusLeaves, kEditEnded /* a dialog's default button */ };
    const struct {
        i32 decimals;  // -1: a time field to the hundredth, read in ms
        f32 max;
        f64 set;
        const char* shown;
        const char* typed;
        f64 typedValue;
    } fields[] = {
        {-1, 0, 1234, "00:00:01.23", "00:00:02.50", 2500},  // a clip start
        {1, 10, 2.55f, "2.5", "12", 10},                    // fades
        {1, 10, 2.5f, "2.5", "3.7", 3.7f},
        {0, 100, 49.609375, "50", "150", 100},  // a level of 127/256
        {2, 5, 1.234f, "1.23", "-2", -2},       // a rate change in percent
    };
    for (const auto& f : fields) {
        for (End end : {kReturn, kTab, kFocusLeaves, kEditEnded}) {
            for (const std::string typing : {"", "same", "other"}) {
                SCOPED_TRACE(std::string(f.shown) + " end " + std::to_string(end) + " " + typing);
                Stage s;
                s.fBox.fTake = {CNumVol_Fix};
                CTimeSlider* time = f.decimals < 0 ? new CTimeSlider(&s.fBox, 0, 100, 0) : nullptr;
                std::unique_ptr<CNumVol> v(time ? time : new CNumVol(&s.fBox, u32(f.decimals)));
                if (time) time->SetTime(i32(f.set), 1000);
                if (!time) v->SetRange(-f.max, f.max, 1);
                if (!time) v->SetValue(f32(f.set));
                EXPECT_EQ(std::string(v->GetText().View()), f.shown);
                v->SetBounds(LRect(10, 10, 130, 30));
                v->RequestFocus();
                ASSERT_NE(v->Engine(), nullptr);
                v->Engine()->SelectAll();
                if (!typing.empty())
                    s.fControls.fField->Type(typing == "other" ? f.typed : f.shown);
                s.fBox.Take();
                LEditText elsewhere(&s.fBox);
                if (end == kReturn || end == kTab) s.Key(v.get(), end == kReturn ? 13 : 9);
                if (end == kFocusLeaves) elsewhere.RequestFocus();
                if (end == kEditEnded) v->EndOpenEdit(true);
                // What follows ends nothing more.
                s.Key(v.get(), 13);
                elsewhere.RequestFocus();
                const std::string log = s.fBox.Take();
                EXPECT_EQ(log.find(CNumVol_Fix) != std::string::npos, !typing.empty()) << log;
                EXPECT_EQ(log.find(CNumVol_Fix), log.rfind(CNumVol_Fix)) << log;
                EXPECT_NEAR(time ? time->GetScaledValue(1000) : v->GetValue(),
                            typing == "other" ? f.typedValue : f.set, 1e-9);
            }
        }
    }
}

TEST(NumVol, OnlyAStepThatMovesDropsTheExactValue) {
    Stage s;
    CNumVol v(&s.fBox, 1);
    v.SetRange(0, 10, 0.1f);
    v.SetValue(2.55f);
    v.RequestFocus();
    s.Key(&v, 30, kModControl | kModShift);
    s.Key(&v, 31, kModControl | kModShift);
    EXPECT_NEAR(v.GetValue(), 2.5, 1e-6) << "stepped to what is shown";
    v.SetValue(9.96f);  // shown as 10.0, the top of the range
    s.Key(&v, 30, kModControl | kModShift);
    EXPECT_NEAR(v.GetValue(), 9.96, 1e-6);
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
