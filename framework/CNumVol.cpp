#include "framework/CNumVol.h"

#include <algorithm>
#include <cmath>

#include "base/LTextSink.h"
#include "framework/InputState.h"
#include "framework/MousePoint.h"
#include "services/WindowServices.h"

i64 Whole(CNumVol& field, i64 floor) {
    const f64 v = field.GetValue();
    // Written so that NaN also gives the floor.
    if (!(v > f64(floor))) return floor;
    return v >= 4294967295.0 ? i64(0xFFFFFFFFu) : std::max(i64(std::llround(v)), floor);
}

// ---- CNumVol

CNumVol::CNumVol(LPane* parent, u32 decimals, u32 flags)
    : LNumEdit(parent, decimals ? 1 : 0, flags), fDecimals(decimals) {}

CNumVol::~CNumVol() {
    StopRepeat();
}

void CNumVol::StopRepeat() {
    delete fRepeat;
    fRepeat = nullptr;
}

f64 CNumVol::Clamp(f64 v) const {
    return std::clamp(v, f64(fMin), std::max(f64(fMin), f64(fMax)));
}

void CNumVol::SetRange(f32 min, f32 max, f32 step) {
    fMin = min;
    fMax = max;
    fStep = step;
}

void CNumVol::SetValue(f32 value) {
    const f64 v = Clamp(value);
    SetValueRaw(v);
    // Kept back while typed in: neither the exact value nor a selection of the
    // typed digits, which the next key would replace.
    if (KeepsTyping()) return;
    KeepExact(v);
    AfterStep();
}

void CNumVol::KeepExact(f64 value) {
    fExact = value;
    fExactText = GetText();
    fHasExact = 1;
}

bool CNumVol::ExactShown() {
    return fHasExact && GetText() == fExactText;
}

bool CNumVol::Step(i32 n) {
    const f64 v = TextValue();
    SetValueRaw(Clamp(v + f64(n) * f64(fStep)));
    AfterStep();
    if (TextValue() == v) return false;
    DropExact();
    return true;
}

f64 CNumVol::GetValue() {
    // Whoever reads the field, and whenever: the typed text may not have been
    // fixed yet (a dialog confirmed while the field still has the focus).
    return ExactShown() ? fExact : TextValue();
}

f64 CNumVol::TextValue() {
    return Clamp(GetFloat());
}

void CNumVol::SetValueRaw(f64 value) {
    SetFloat(fDecimals, value);
}

void CNumVol::AfterStep() {
    ActivateEngine();
}

u32 CNumVol::KeyStep() {
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb || !kb->IsControlDown()) return 0;
    const i32 nav = kb->GetNavKey();
    if (nav != 3 && nav != 4) return 0;
    const f64 amount = kb->IsShiftDown() ? f64(fStep) : std::max(f64(fStep), f64(fMax - fMin) / 10);
    if (amount <= 0) return 2;
    const f64 v = TextValue();
    SetValueRaw(Clamp(v + (nav == 3 ? amount : -amount)));
    AfterStep();
    if (TextValue() == v) return 2;
    DropExact();
    return 1;
}

i32 CNumVol::ClickPart(LPoint local) {
    fPending = local.x < (fBounds.left + fBounds.right + 1) / 2 ? -1 : 1;
    return fPending;
}

f64 CNumVol::WheelUnit(LPoint local) {
    const LString t = GetText();
    const i32 len = i32(t.Length());
    const i32 width = MeasureText(t);
    if (len <= 0 || width <= 0) return 0;
    i32 i = std::max((local.x - HMargin() - fBounds.left) * len / width, 0);
    if (t.CStr()[0] == '-' && i == 0) i = 1;
    i = std::min(i, len - 1);
    const i32 r = len - 1 - i;
    const i32 d = i32(fDecimals);
    const i32 exponent = d == 0 ? r : r - d - (r > d ? 1 : 0);
    return std::pow(10.0, exponent);
}

LMessage CNumVol::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    const bool fromMouse = mouse && msg.source == mouse;
    if (!fReadOnly && !fStatic) {
        if (fromMouse && msg.Is(LMouse_Click)) {
            fMoved = 0;
            fX = mouse->Position().x;
            fY = mouse->Position().y;
            ClickPart(MousePointIn(this));
            if (!fRepeat) fRepeat = new LTimer(this);
            fRepeat->Start(u32(KeyInitialDelayMs()));
            Send(LPane_ReqCapture, this, fParent);
            if (!FocusedInKey() || !KeysInField()) {
                // The first click only focuses. So does a click on a field that
                // kept the focus while the keys went to a control beside it (a
                // check box clicked): the keys come back, the value stays, and
                // what is typed next goes into the field.
                RequestFocus();
                AfterStep();
                return LMessage();
            }
            if (Step(fPending)) {
                fEdited = 0;
                fMoved = 1;
                return LMessage{CNumVol_Move, this, fParent};
            }
            return LMessage();
        }
        if (fRepeat && msg.source == fRepeat && msg.Is(LTimer_Expire)) {
            if (fPending && Step(fPending)) {
                fEdited = 0;
                fMoved = 1;
                fRepeat->Start(u32(KeyRepeatIntervalMs()));
                return LMessage{CNumVol_Move, this, fParent};
            }
            return LMessage();
        }
        if (fromMouse && msg.Is(LMouse_Move)) {
            const LPoint p = mouse->Position();
            const i32 dx = p.x - fX, dy = fY - p.y;
            const i32 d = std::abs(dx) < std::abs(dy) ? dy : dx;
            // A little jitter of the pressing hand does not start a drag.
            if (fPending && std::abs(d) < 5) return LMessage();
            StopRepeat();
            fPending = 0;
            fX = p.x;
            fY = p.y;
            if (Step(d * ((std::abs(d) + 3) / 4))) {
                fEdited = 0;
                fMoved = 1;
                return LMessage{CNumVol_Move, this, fParent};
            }
            return LMessage();
        }
        if (fromMouse && msg.Is(LMouse_Release)) {
            StopRepeat();
            fPending = 0;
            if (fMoved) return LMessage{CNumVol_Fix, this, fParent};
            return LMessage();
        }
        if (fromMouse && msg.Is(LMouse_Cursor)) {
            WindowServices().SetStdCursor(kCursorArrow);
            return LMessage();
        }
        if (fromMouse && msg.Is(LMouse_Wheel)) {
            if (!FocusedInKey()) return LNumEdit::HandleMessage(msg);
            const f64 unit = WheelUnit(MousePointIn(this));
            const f64 v = TextValue();
            const i32 n = mouse->TakeWheelStepsY(1, 0);
            if (unit == 0 || n == 0) return LMessage();
            SetValueRaw(Clamp(n * unit + v));
            AfterStep();
            if (TextValue() != v) {
                DropExact();
                fEdited = 0;
                return LMessage{CNumVol_Fix, this, fParent};
            }
            return LMessage();
        }
        if (msg.Is(CGenCtlEv_Step) && msg.source) {
            i32 n = static_cast<CGenCtlEv*>(msg.source)->fSteps;
            // No step size, no step: nothing to divide by and nothing to send.
            if (fStep == 0) return LMessage();
            if (std::abs(n) >= 10) {
                const f64 perTenth =
                    std::max(std::round(f64(fMax - fMin) / (f64(fStep) * 100)), 1.0);
                n = i32(std::trunc(perTenth * n / 10));
            }
            if (Step(n)) {
                fEdited = 0;
                return LMessage{CNumVol_Fix, this, fParent};
            }
            return LMessage();
        }
    }
    if (msg.Is(LKeyboard_Down)) {
        switch (KeyStep()) {
            case 1:
                fEdited = 0;
                return LMessage{CNumVol_Fix, this, fParent};
            case 2:
                return LMessage();
            default:
                return LNumEdit::HandleMessage(msg);
        }
    }
    if (msg.source == this && msg.Is(CNumVol_Move)) {
        fMoved = 0;
        return LMessage{CNumVol_Fix, this, fParent};
    }
    if (msg.source == this && msg.Is(LNumEdit_Enter)) {
        // The same text typed again keeps the value it stood for.
        if (!ExactShown()) SetValueRaw(Clamp(TextValue()));
        AfterStep();
        Send(CNumVol_Fix, this, fParent);
        // Stored; a Return then goes on as in any number field, to a dialog's
        // default button. Kept here, it left the dialog open with its number
        // typed, and a second Return was needed to confirm it.
        return LNumEdit::HandleMessage(msg);
    }
    return LNumEdit::HandleMessage(msg);
}

// ---- CTimeSlider

CTimeSlider::CTimeSlider(LPane* parent, u32 flags, u32 rateCode, u8 isSigned)
    : CNumVol(parent, 0, flags), fRate(rateCode), fSigned(isSigned) {
    const f32 limit = isSigned ? 86399.0f : 86400.0f;
    SetRange(-limit, limit, 1.0f);
    SetValueRaw(0);
}

f64 CTimeSlider::FieldUnit(i32 field) const {
    switch (field) {
        case 0:
            return 3600;
        case 1:
            return 60;
        case 2:
            return 1;
        default:
            switch (fRate) {
                case 1:
                    return 0;
                case 24:
                    return 1.0 / 24;
                case 25:
                    return 1.0 / 25;
                case 29:
                    return 1.0 / 29.97;
                case 100:
                    return 1.0 / 100;
                default:
                    return 1.0 / 30;
            }
    }
}

i32 CTimeSlider::HalfFieldAt(i32 x) {
    const i32 m = HMargin();
    const i32 len = i32(GetText().Length());
    const i32 span = fBounds.Width() - 2 * m;
    // A field narrower than its margins has room for no field but the first.
    if (span <= 0) return 0;
    const i32 h = (x - m - fBounds.left) * 2 * len / span;
    return std::clamp((h + (fSigned ? 0 : 2) - 1) / 3, 0, 7);
}

i32 CTimeSlider::ClickPart(LPoint local) {
    const i32 g = HalfFieldAt(local.x);
    fPending = (g % 2 == 0 && g != 7) ? -1 : 1;
    fStep = f32(FieldUnit(g / 2));
    return fPending;
}

f64 CTimeSlider::WheelUnit(LPoint local) {
    return FieldUnit(HalfFieldAt(local.x) / 2);
}

void CTimeSlider::SetValueRaw(f64 seconds) {
    i64 units = i64(std::llround(seconds * 1024));
    const i64 day = 86400LL * 1024;
    const bool negative = units < 0;
    if (fSigned) {
        units = negative ? -units : units;
    } else if (negative) {
        units = ((units % day) + day) % day;
    }
    Timecode tc;
    tc.Init(fRate);
    tc.FromUnits(u32(std::min<i64>(units, 0xFFFFFFFFLL)), 1024);
    LTextStream s;
    if (fSigned) s.Write(negative && units != 0 ? "-" : " ", 1);
    tc.Format(s);
    SetText(LString(s.CStr()));
}

f64 CTimeSlider::TextValue() {
    Timecode tc;
    tc.Init(fRate);
    const i32 sign = tc.Parse(GetText().CStr());
    return f64(sign) * f64(tc.ToUnits(1024)) * 0.0009765625;
}

void CTimeSlider::AfterStep() {
    if (!fEngine) return;
    if (fField == 0) {
        fEngine->SelectAll();
        return;
    }
    const u32 at = 3 * fField - 2 - (fSigned ? 0 : 1);
    fEngine->SetSelection(at, 2);
}

u32 CTimeSlider::KeyStep() {
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb || !kb->IsControlDown()) return 0;
    const i32 nav = kb->GetNavKey();
    if (nav != 3 && nav != 4) return 0;
    const f64 amount = kb->IsShiftDown() ? 1 : 60;
    SetValueRaw(TextValue() + (nav == 3 ? amount : -amount));
    AfterStep();
    DropExact();
    return 1;
}

bool CTimeSlider::AcceptChar(const u8* byte) {
    if ((*byte == ':' || *byte == ' ') && fEngine) {
        // A separator typed in the middle starts the rest of the time afresh.
        u32 start, length;
        fEngine->GetSelection(&start, &length);
        const LString text = fEngine->GetText();
        if (start + length < text.Length()) {
            fEngine->SetText(LString(text.CStr(), start + length));
            fEngine->SetSelection(start, length);
        }
    }
    return true;
}

bool CTimeSlider::Guarded() {
    // A focused field whose user put the caret somewhere is being typed into.
    return (fState & kFocused) && fEngine && !fEngine->HasSelection();
}

void CTimeSlider::SetTime(i32 value, u32 unitsPerSecond) {
    if (Guarded() || unitsPerSecond == 0) return;
    const f64 seconds = f64(value) / f64(unitsPerSecond);
    SetValueRaw(seconds);
    KeepExact(seconds);
    AfterStep();
}

void CTimeSlider::SetTimecode(const Timecode& tc) {
    if (Guarded()) return;
    Timecode shown = tc;
    shown.SetFps(fRate);
    LTextStream s;
    if (fSigned) s.Write(" ", 1);
    shown.Format(s);
    SetText(LString(s.CStr()));
    DropExact();
    AfterStep();
}

Timecode CTimeSlider::GetTimecode() {
    Timecode tc;
    tc.Init(fRate);
    tc.Parse(GetText().CStr());
    return tc;
}

i32 CTimeSlider::GetScaledValue(u32 unitsPerSecond) {
    if (ExactShown()) {
        const f64 units = std::round(fExact * f64(unitsPerSecond));
        return i32(std::clamp(units, -2147483648.0, 2147483647.0));
    }
    Timecode tc;
    tc.Init(fRate);
    const i32 sign = tc.Parse(GetText().CStr());
    return sign * i32(tc.ToUnits(unitsPerSecond));
}

void CTimeSlider::StateChanged(u32 op) {
    if (op == kOpFocus) fField = 0;
    CNumVol::StateChanged(op);
}

LMessage CTimeSlider::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse && msg.Is(LMouse_Click) && FocusedInKey() && !fReadOnly &&
        !fStatic)
        fField = u32(HalfFieldAt(MousePointIn(this).x) / 2 + 1);
    if (msg.source == this && msg.Is(LEditText_Change)) return LMessage();
    return CNumVol::HandleMessage(msg);
}
