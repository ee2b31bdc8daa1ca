#pragma once
// Number fields that change without typing: by pressing on either half (with
// auto-repeat), by dragging, by the wheel over a digit, by Control with the Up
// and Down keys and by step requests. Values are clamped to a range and shown
// with fixed decimals. The time slider shows a time of day or a signed span as
// a timecode whose fields step one at a time.

#include "base/Calendar.h"
#include "framework/LEditText.h"
#include "framework/LTimer.h"

inline constexpr const char* CNumVol_Move = "CNumVol_Move";
inline constexpr const char* CNumVol_Fix = "CNumVol_Fix";
inline constexpr const char* CGenCtlEv_Step = "CGenCtlEv_Step";

class CNumVol;

// A number field's value as a whole number to store: rounded to nearest, never
// below floor (text that is no number at all gives the floor too), and no
// larger than a u32 holds, so that unsigned fields store it as it is.
i64 Whole(CNumVol& field, i64 floor = 0);

// The source of a "CGenCtlEv_Step": a signed step count.
class CGenCtlEv : public LHandler {
public:
    explicit CGenCtlEv(i32 steps) : fSteps(steps) {}
    i32 fSteps;
};

class CNumVol : public LNumEdit {
public:
    CNumVol(LPane* parent, u32 decimals = 0, u32 flags = 0);
    ~CNumVol() override;

    LMessage HandleMessage(const LMessage& msg) override;

    // 0 not handled, 1 value changed, 2 consumed without change.
    virtual u32 KeyStep();
    virtual i32 ClickPart(LPoint local);
    virtual f64 WheelUnit(LPoint local);
    // The text read as a number, within the range.
    virtual f64 TextValue();
    virtual void SetValueRaw(f64 value);
    virtual void AfterStep();

    // The value within the range, also while typed text is not yet fixed. While
    // the field still shows the text of the value last set from outside, that
    // value exactly: fewer decimals are shown than many stored values carry, and
    // a field ended without a change (Return, Tab, a dialog confirmed, the same
    // text typed again) must give back what it was given, not its rounding.
    f64 GetValue();
    void SetRange(f32 min, f32 max, f32 step);
    void SetValue(f32 value);
    bool Step(i32 n);

    f32 Min() const { return fMin; }
    f32 Max() const { return fMax; }
    f32 StepSize() const { return fStep; }
    bool RepeatRunning() const { return fRepeat && fRepeat->IsRunning(); }

protected:
    f64 Clamp(f64 v) const;
    void StopRepeat();
    bool FocusedInKey() const { return (fState & 0xC0) == 0xC0; }
    // The value just shown came from outside: remember it with its text.
    void KeepExact(f64 value);
    // The value was stepped: from now on the text is the value.
    void DropExact() { fHasExact = 0; }
    bool ExactShown();

    u32 fDecimals;
    i32 fX = 0;
    i32 fY = 0;
    LTimer* fRepeat = nullptr;
    u8 fMoved = 0;
    i32 fPending = 0;
    f32 fMin = 0.0f;
    f32 fMax = 100.0f;
    f32 fStep = 1.0f;
    u8 fHasExact = 0;
    f64 fExact = 0;
    LString fExactText;
};

class CTimeSlider : public CNumVol {
public:
    CTimeSlider(LPane* parent, u32 flags, u32 rateCode, u8 isSigned);

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    bool AcceptChar(const u8* byte) override;
    u32 KeyStep() override;
    i32 ClickPart(LPoint local) override;
    f64 WheelUnit(LPoint local) override;
    f64 TextValue() override;
    void SetValueRaw(f64 seconds) override;
    void AfterStep() override;

    void SetTime(i32 value, u32 unitsPerSecond);
    void SetTimecode(const Timecode& tc);
    Timecode GetTimecode();
    i32 GetScaledValue(u32 unitsPerSecond);

    // 0..7: the half-field under x (even: the left half of field g / 2).
    i32 HalfFieldAt(i32 x);
    u32 SelectedField() const { return fField; }

private:
    f64 FieldUnit(i32 field) const;
    bool Guarded();

    u32 fRate;
    u32 fField = 0;
    u8 fSigned;
};
