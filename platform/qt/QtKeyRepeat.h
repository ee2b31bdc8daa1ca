#pragma once
// The keyboard's repeat delay and interval in sixtieths of a second, from the
// X server's keyboard extension; false without an X11 display.

#include "base/Types.h"

bool QtX11KeyRepeat(i32* initial, i32* repeat);
