#pragma once
// The process-wide socket reactor: one pool thread waits in poll() on every
// registered descriptor and calls the descriptor's owner back when it becomes
// readable or writable. Interest is one-shot: a direction is watched only after
// Arm, and each Arm yields at most one callback.

#include "base/Types.h"

// direction: 0 readable, 1 writable. Runs on the reactor thread with the
// reactor's mutex held: it must only hand work over (arm a timer, set a flag).
using LReactorFn = void (*)(void* context, u32 direction);

namespace CSocketReactor {

enum : u32 { kRead = 0, kWrite = 1 };

// Makes the descriptor non-blocking and registers both directions, idle. The
// first registration starts the reactor; false when its thread cannot start.
bool Register(i32 fd, void* context, LReactorFn callback);
// Watches the descriptor in that direction until it is ready once. An entry
// already armed is left alone.
void Arm(i32 fd, u32 direction);
// For a non-blocking call that just failed (errno set): 0 with the direction
// armed when it would block, -1 for a real error.
i32 ArmIfWouldBlock(i32 fd, u32 direction);
// Forgets the descriptor and makes it blocking again. The last one stops the
// reactor and waits until its thread has left poll().
void Unregister(i32 fd);

// For tests: whether a reactor runs, and how many reactors were started so far.
bool Running();
u32 StartCount();

}  // namespace CSocketReactor
