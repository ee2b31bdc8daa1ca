#pragma once
// The one line the device window shows under its list about the device search.

#include "base/LString.h"
#include "base/Types.h"

// sendErrno: the first send error of the search (0: it went out); ifIndex:
// the interface it went out on (0: the system's default); devices: how many
// devices the list holds after it. Empty when there is nothing to say.
LString SearchStatusText(i32 sendErrno, u32 ifIndex, u32 devices);
