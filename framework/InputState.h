#pragma once
// The mouse and keyboard state singletons. The platform fills them from every
// native event before it sends the matching message, and learns from the
// used bytes whether the framework took the event.

#include "base/LRect.h"
#include "framework/LHandler.h"

class LPane;

inline constexpr const char* LMouse_Click = "LMouse_Click";
inline constexpr const char* LMouse_Release = "LMouse_Release";
inline constexpr const char* LMouse_Move = "LMouse_Move";
inline constexpr const char* LMouse_Cursor = "LMouse_Cursor";
inline constexpr const char* LMouse_Wheel = "LMouse_Wheel";
inline constexpr const char* LMouse_Leave = "LMouse_Leave";
inline constexpr const char* LMouse_Bkgnd = "LMouse_Bkgnd";
inline constexpr const char* LMouse_Context = "LMouse_Context";

inline constexpr const char* LKeyboard_Down = "LKeyboard_Down";
inline constexpr const char* LKeyboard_Up = "LKeyboard_Up";
inline constexpr const char* LKeyboard_Char = "LKeyboard_Char";

// Native modifier bits of mouse and key events.
enum : u32 {
    kModShift = 1u << 17,
    kModControl = 1u << 18,
    kModOption = 1u << 19,
    kModCommand = 1u << 20,
};

class LMouse : public LHandler {
public:
    LMouse();
    ~LMouse() override;

    // The singleton, or null outside the application's lifetime.
    static LMouse* Instance();

    // A mouse message that comes back unconsumed clears used.
    LMessage HandleMessage(const LMessage& msg) override;

    // Fills the state from a native event. A new left-button press (an event
    // number not seen before) shifts the last press time and point into the
    // previous ones.
    void SetEvent(LPoint screenPos, u32 modifiers, bool leftPress, u32 eventNumber,
                  u32 timestampMs);
    void SetPosition(LPoint screenPos) { fPos = screenPos; }
    // Stores a gathered wheel event before "LWindow_Wheel" is sent.
    void SetWheelEvent(LPoint screenPos, i32 dx, i32 dy, u32 modifiers);
    void SetCaptureTarget(LPane* pane) { fCapture = pane; }

    // A double click: the press before this one was the caller's own last
    // tested one, within the interval. The caller's stamp and the click stamp
    // both become the last press time.
    bool IsDoubleClick(u32* stamp);
    // Counts up while presses come within the double-click interval and less
    // than 3 pixels apart; resets otherwise.
    u8 CountClicks();
    i32 DoubleClickIntervalMs() const;

    i32 GetWheelX() const { return fWheelDx; }
    i32 GetWheelY() const { return fWheelDy; }
    // Whole steps of (delta + kept remainder) / unit, clamped to limit when >= 1.
    i32 TakeWheelStepsX(i32 limit, i32 unit);
    i32 TakeWheelStepsY(i32 limit, i32 unit);

    bool IsShiftDown() const { return fModifiers & kModShift; }
    bool IsCommandDown() const { return fModifiers & kModCommand; }
    bool IsOptionDown() const { return fModifiers & kModOption; }
    bool IsControlDown() const { return fModifiers & kModControl; }

    LPoint Position() const { return fPos; }
    u32 Modifiers() const { return fModifiers; }
    LPane* Capture() const { return fCapture; }
    LPoint LastDownPoint() const { return fLastDownPt; }

    LPoint fPos;
    u32 fModifiers = 0;
    u32 fLastDownTime = 0;
    u32 fPrevDownTime = 0;
    LPoint fPrevDownPt;
    LPoint fLastDownPt;
    u32 fClickStamp = 0;
    LPane* fCapture = nullptr;
    i32 fWheelDx = 0;
    i32 fWheelDy = 0;
    i32 fWheelRestX = 0;
    i32 fWheelRestY = 0;
    u32 fEventNumber = 0;
    bool fHasEvent = false;
    u8 fUsed = 0;
    u8 fClickCount = 0;
};

class LKeyboard : public LHandler {
public:
    LKeyboard();
    ~LKeyboard() override;

    static LKeyboard* Instance();

    // A key message that comes back unconsumed clears used.
    LMessage HandleMessage(const LMessage& msg) override;

    // Fills the state from a native key event: its first character, modifiers,
    // function-key character and first character without modifiers.
    void SetEvent(u32 ch, u32 modifiers, u32 functionChar = 0, u32 plainChar = 0);

    // 1 left, 2 right, 3 up, 4 down arrow, 5 Enter or Return, else 0.
    i32 GetNavKey() const;
    bool IsShiftDown() const { return fModifiers & kModShift; }
    bool IsControlDown() const { return fModifiers & kModControl; }
    bool IsOptionDown() const { return fModifiers & kModOption; }
    bool IsCommandDown() const { return fModifiers & kModCommand; }
    // Control, Option or Command is down.
    bool HasMenuModifier() const;
    // The character upper-cased (ASCII letters only).
    u32 UpperChar() const;

    u32 fChar = 0;
    u32 fModifiers = 0;
    u8 fUsed = 0;
    u32 fFunctionChar = 0;
    u32 fPlainChar = 0;
};
