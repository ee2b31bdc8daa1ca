#include "framework/InputState.h"

#include "services/GraphicsServices.h"
#include "services/WindowServices.h"

namespace {

LMouse* sMouse = nullptr;
LKeyboard* sKeyboard = nullptr;

bool IsMouseMessage(const LMessage& msg) {
    static const char* const names[] = {LMouse_Click, LMouse_Release, LMouse_Move,  LMouse_Cursor,
                                        LMouse_Wheel, LMouse_Leave,   LMouse_Bkgnd, LMouse_Context};
    for (const char* n : names) {
        if (msg.Is(n)) return true;
    }
    return false;
}

i32 TakeSteps(i32 delta, i32* rest, i32 limit, i32 unit) {
    if (unit < 1) unit = 1;
    // 64 bits: a delta near the limit plus the kept rest must not overflow.
    i64 total = i64(delta) + *rest;
    i64 steps = total / unit;
    *rest = i32(total - steps * unit);
    if (limit >= 1) {
        if (steps > limit) steps = limit;
        if (steps < -limit) steps = -limit;
    }
    return i32(steps);
}

i32 Abs(i32 v) {
    return v < 0 ? -v : v;
}

}  // namespace

LMouse::LMouse() {
    fPrevDownTime = GraphicsServices().NowMs();
    if (!sMouse) sMouse = this;
}

LMouse::~LMouse() {
    if (sMouse == this) sMouse = nullptr;
}

LMouse* LMouse::Instance() {
    return sMouse;
}

LMessage LMouse::HandleMessage(const LMessage& msg) {
    if (msg.source == this && IsMouseMessage(msg)) fUsed = 0;
    return LHandler::HandleMessage(msg);
}

void LMouse::SetEvent(LPoint screenPos, u32 modifiers, bool leftPress, u32 eventNumber,
                      u32 timestampMs) {
    fUsed = 1;
    fPos = screenPos;
    fModifiers = modifiers;
    if (leftPress && (!fHasEvent || eventNumber != fEventNumber)) {
        fPrevDownTime = fLastDownTime;
        fLastDownTime = timestampMs;
        fPrevDownPt = fLastDownPt;
        fLastDownPt = screenPos;
    }
    fHasEvent = true;
    fEventNumber = eventNumber;
}

void LMouse::SetWheelEvent(LPoint screenPos, i32 dx, i32 dy, u32 modifiers) {
    fPos = screenPos;
    fModifiers = modifiers;
    fWheelDx = dx;
    fWheelDy = dy;
}

i32 LMouse::DoubleClickIntervalMs() const {
    return WindowServices().DoubleClickIntervalMs();
}

bool LMouse::IsDoubleClick(u32* stamp) {
    // Only when the press before was the caller's own: a quick click on a
    // button right after a click on another pane is a click, not a double.
    const bool dbl = *stamp == fClickStamp && *stamp == fPrevDownTime &&
                     i64(fLastDownTime - fPrevDownTime) < i64(DoubleClickIntervalMs());
    fClickStamp = fLastDownTime;
    *stamp = fLastDownTime;
    return dbl;
}

u8 LMouse::CountClicks() {
    const bool close = i64(fLastDownTime - fPrevDownTime) < i64(DoubleClickIntervalMs()) &&
                       Abs(fLastDownPt.x - fPrevDownPt.x) < 3 &&
                       Abs(fLastDownPt.y - fPrevDownPt.y) < 3;
    fClickCount = close ? u8(fClickCount + 1) : 0;
    return fClickCount;
}

i32 LMouse::TakeWheelStepsX(i32 limit, i32 unit) {
    return TakeSteps(fWheelDx, &fWheelRestX, limit, unit);
}

i32 LMouse::TakeWheelStepsY(i32 limit, i32 unit) {
    return TakeSteps(fWheelDy, &fWheelRestY, limit, unit);
}

LKeyboard::LKeyboard() {
    if (!sKeyboard) sKeyboard = this;
}

LKeyboard::~LKeyboard() {
    if (sKeyboard == this) sKeyboard = nullptr;
}

LKeyboard* LKeyboard::Instance() {
    return sKeyboard;
}

LMessage LKeyboard::HandleMessage(const LMessage& msg) {
    if (msg.source == this &&
        (msg.Is(LKeyboard_Down) || msg.Is(LKeyboard_Up) || msg.Is(LKeyboard_Char)))
        fUsed = 0;
    return LHandler::HandleMessage(msg);
}

void LKeyboard::SetEvent(u32 ch, u32 modifiers, u32 functionChar, u32 plainChar) {
    fUsed = 1;
    fChar = ch;
    fModifiers = modifiers;
    fFunctionChar = functionChar;
    fPlainChar = plainChar ? plainChar : ch;
}

i32 LKeyboard::GetNavKey() const {
    switch (fChar) {
        case 0xF702:
        case 28:
            return 1;
        case 0xF703:
        case 29:
            return 2;
        case 0xF700:
        case 30:
            return 3;
        case 0xF701:
        case 31:
            return 4;
        case 3:
        case 13:
            return 5;
        default:
            return 0;
    }
}

bool LKeyboard::HasMenuModifier() const {
    return fModifiers & (kModControl | kModOption | kModCommand);
}

u32 LKeyboard::UpperChar() const {
    return fChar >= 'a' && fChar <= 'z' ? fChar - 32 : fChar;
}
