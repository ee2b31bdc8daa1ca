#pragma once
// Qt's input events in the framework's terms: modifier bits, characters with
// the function-key code points the framework knows, wheel deltas, and the
// fills of the mouse and keyboard states.

#include <QPoint>
#include <QString>

#include "base/LRect.h"
#include "base/Types.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QEvent;

// Function keys as the framework's characters.
enum : u32 {
    kCharUp = 0xF700,
    kCharDown = 0xF701,
    kCharLeft = 0xF702,
    kCharRight = 0xF703,
    kCharF1 = 0xF704,
    kCharHome = 0xF729,
    kCharEnd = 0xF72B,
    kCharPageUp = 0xF72C,
    kCharPageDown = 0xF72D,
};

// Shift 17, Meta as Control 18, Alt as Option 19, Ctrl as Command 20.
u32 ModifierBits(Qt::KeyboardModifiers mods);

struct LKeyChars {
    u32 ch = 0;     // the character, 0 for a key that types none
    u32 plain = 0;  // the character without Shift, Ctrl, Alt and Meta
    u32 modifiers = 0;
    bool modifierOnly = false;  // Shift, Ctrl, Alt, Meta and the like alone
};
LKeyChars KeyCharsFromQt(int key, Qt::KeyboardModifiers mods, const QString& text);
LKeyChars KeyCharsFromEvent(const QKeyEvent& e);

// Fills the keyboard singleton from a key event; false for a modifier key
// pressed alone, which the framework never hears of.
bool FillKeyboardFromQt(const QKeyEvent& e);
// Fills the mouse singleton from a mouse event. The same event filled twice
// counts as one press in the click history.
void FillMouseFromQt(const QMouseEvent& e);

// A wheel event's deltas in the framework's units: pixel deltas as they are,
// else a notch (angle 120) as 20, the same sign.
void WheelDeltaFromQt(const QWheelEvent& e, f64* dx, f64* dy);

LPoint ToLPoint(const QPoint& p);
