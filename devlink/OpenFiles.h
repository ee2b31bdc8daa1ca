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

// Counted by the transfer engine each time a socket could not be opened (the
// reason stays with the request's queue).
void NoteSocketOpenFailure();
// Failures since the process started.
u32 SocketOpenFailures();
