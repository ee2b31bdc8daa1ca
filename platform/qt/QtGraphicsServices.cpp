#include "platform/qt/QtGraphicsServices.h"

#include <QGuiApplication>
#include <QStyleHints>

#include "base/Clock.h"
#include "platform/qt/QtFonts.h"
#include "platform/qt/QtKeyRepeat.h"
#include "platform/qt/QtMainLoop.h"

u32 QtGraphicsServices::NowMs() {
    return LTickMs();
}

void QtGraphicsServices::RearmMainTimer() {
    if (CQtMainLoop* loop = CQtMainLoop::Ready()) loop->RearmTimer();
}

void QtGraphicsServices::GetKeyThresholds(i32* initial, i32* repeat) {
    if (QtX11KeyRepeat(initial, repeat)) return;
    // Qt knows the repeat rate (keys per second) but not the first delay.
    const int rate = QGuiApplication::styleHints()->keyboardAutoRepeatRate();
    *initial = 30;
    *repeat = rate > 0 ? std::max(1, 60 / rate) : 2;
}

LNativeFontRef QtGraphicsServices::MakeNativeFont(const LFontRequest& request) {
    return QtMakeNativeFont(request);
}
