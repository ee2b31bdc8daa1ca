#pragma once
// Descriptors of the device link: the process's open-file limit, and why a
// socket could not be had. A network of thousands of devices needs more than the
// usual soft limit of 1,024 at times; poll() has no ceiling of its own, so the
// program takes what the system allows it (the hard limit) at start.

#include "base/Types.h"

// Raises the soft open-file limit to the hard limit; answers the soft limit now.
u64 RaiseOpenFileLimit();
// The soft open-file limit now.
u64 OpenFileLimit();

// Kept by the transfer engine each time a socket could not be opened.
void NoteSocketOpenFailure(i32 err);
// Failures since the process started, and the errno of the latest (0: none).
u32 SocketOpenFailures();
i32 LastSocketOpenErrno();
