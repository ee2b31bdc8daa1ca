#pragma once
// Settings that a record channel still holds for its device when the channel
// ends: the device did not answer, and they never reached it. The user is told
// which, named as the editors show them.

#include <initializer_list>

#include "base/LString.h"

class CDevRequestQueue;
class LHandler;

// One line per setting: where it is ("Sequence 1, Scene 2") and what ("Fade").
LString UnsentSettingsText(const CDevRequestQueue& channel);

// A message over parent naming the settings that the channels never got to a
// device that left them unanswered; nothing when there are none, or at a forced
// end with nobody to read it.
void TellUnsentSettings(LHandler* parent, u32 serial,
                        std::initializer_list<const CDevRequestQueue*> channels);

// Before the channels of a device are left (a quit, the close of its window):
// what they still send is waited for under a dialog that says so, its Cancel
// there from the start. Settings the device has not confirmed when the wait
// ends (it left one unanswered, or the user cancelled) are named, and the user
// chooses to wait for them, again cancellable, or to go on without them: those
// are then dropped, never sent later. Nothing is asked at a forced end.
enum class UnsentEnd : u32 { kClose = 0, kQuit = 1 };
void SettleUnsentSettings(LHandler* parent, u32 serial, UnsentEnd end,
                          std::initializer_list<CDevRequestQueue*> channels);
