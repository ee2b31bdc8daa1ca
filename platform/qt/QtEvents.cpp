#include "platform/qt/QtEvents.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "base/Clock.h"
#include "framework/InputState.h"

u32 ModifierBits(Qt::KeyboardModifiers mods) {
    u32 bits = 0;
    if (mods & Qt::ShiftModifier) bits |= kModShift;
    if (mods & Qt::MetaModifier) bits |= kModControl;
    if (mods & Qt::AltModifier) bits |= kModOption;
    if (mods & Qt::ControlModifier) bits |= kModCommand;
    return bits;
}

namespace {

// Keys that type no text of their own, or whose text the framework reads
// differently.
u32 SpecialChar(int key) {
    switch (key) {
        case Qt::Key_Up:
            return kCharUp;
        case Qt::Key_Down:
            return kCharDown;
        case Qt::Key_Left:
            return kCharLeft;
        case Qt::Key_Right:
            return kCharRight;
        case Qt::Key_Home:
            return kCharHome;
        case Qt::Key_End:
            return kCharEnd;
        case Qt::Key_PageUp:
            return kCharPageUp;
        case Qt::Key_PageDown:
            return kCharPageDown;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Delete:
            return 127;
        case Qt::Key_Escape:
            return 27;
        default:
            if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return kCharF1 + u32(key - Qt::Key_F1);
            return 0;
    }
}

bool IsModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case 0:
            return true;
        default:
            return false;
    }
}

// The character a printable key stands for when its text cannot be used:
// Qt's letter keys are upper case.
u32 CharFromKey(int key, bool shift) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return u32(shift ? key : key - 'A' + 'a');
    if (key >= 32 && key <= 126) return u32(key);
    return 0;
}

}  // namespace

LKeyChars KeyCharsFromQt(int key, Qt::KeyboardModifiers mods, const QString& text) {
    LKeyChars k;
    k.modifiers = ModifierBits(mods);
    // Backtab is Shift-Tab with the Shift already taken into the key.
    if (key == Qt::Key_Backtab) k.modifiers |= kModShift;
    if (IsModifierKey(key) && text.isEmpty()) {
        k.modifierOnly = true;
        return k;
    }
    const bool shift = k.modifiers & kModShift;
    if (u32 special = SpecialChar(key)) {
        k.ch = k.plain = special;
        return k;
    }
    // With Ctrl the text is a control character (Ctrl-C types 3): the key says
    // which character was meant.
    const bool control = mods & (Qt::ControlModifier | Qt::MetaModifier);
    if (!control && !text.isEmpty()) {
        k.ch = text.toUcs4().value(0);
    } else {
        k.ch = CharFromKey(key, shift);
    }
    k.plain = CharFromKey(key, false);
    if (!k.plain) k.plain = k.ch;
    return k;
}

LKeyChars KeyCharsFromEvent(const QKeyEvent& e) {
    return KeyCharsFromQt(e.key(), e.modifiers(), e.text());
}

bool FillKeyboardFromQt(const QKeyEvent& e) {
    const LKeyChars k = KeyCharsFromEvent(e);
    if (LMouse* mouse = LMouse::Instance()) mouse->fModifiers = k.modifiers;
    if (k.modifierOnly) return false;
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb) return false;
    kb->SetEvent(k.ch, k.modifiers, k.ch >= 0xF700 && k.ch < 0xF900 ? k.ch : 0, k.plain);
    return true;
}

void FillMouseFromQt(const QMouseEvent& e) {
    LMouse* mouse = LMouse::Instance();
    if (!mouse) return;
    // Qt has no event numbers: one event object with one time stamp is one
    // press, however often it is filled.
    static const void* sLastEvent = nullptr;
    static u64 sLastStamp = 0;
    static u32 sNumber = 0;
    const bool press =
        e.type() == QEvent::MouseButtonPress || e.type() == QEvent::MouseButtonDblClick;
    const bool left = press && e.button() == Qt::LeftButton;
    if (left && (&e != sLastEvent || e.timestamp() != sLastStamp)) {
        sLastEvent = &e;
        sLastStamp = e.timestamp();
        ++sNumber;
    }
    // The framework clock measures press times: X11's times are the server's.
    mouse->SetEvent(ToLPoint(e.globalPosition().toPoint()), ModifierBits(e.modifiers()), left,
                    sNumber, LTickMs());
}

void WheelDeltaFromQt(const QWheelEvent& e, f64* dx, f64* dy) {
    const QPoint pixels = e.pixelDelta();
    if (!pixels.isNull()) {
        *dx = pixels.x();
        *dy = pixels.y();
        return;
    }
    const QPoint angle = e.angleDelta();
    *dx = angle.x() / 120.0 * 20.0;
    *dy = angle.y() / 120.0 * 20.0;
}

LPoint ToLPoint(const QPoint& p) {
    return LPoint{p.x(), p.y()};
}
