#include "platform/qt/QtKeyRepeat.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <cmath>

#include <X11/XKBlib.h>

bool QtX11KeyRepeat(i32* initial, i32* repeat) {
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = app ? app->display() : nullptr;
    if (!display) return false;
    unsigned int delay = 0, interval = 0;
    if (!XkbGetAutoRepeatRate(display, XkbUseCoreKbd, &delay, &interval) || interval == 0)
        return false;
    *initial = std::max(1, i32(std::lround(delay * 60.0 / 1000.0)));
    *repeat = std::max(1, i32(std::lround(interval * 60.0 / 1000.0)));
    return true;
}
