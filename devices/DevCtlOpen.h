#pragma once
// How a controller opens and closes its device for editing: the device is told
// to enter or leave edit mode (`sedm` of the command record), its settings are
// read, and the waits for the record channels give up only after 10 s in which
// the device queue made no progress at all.

#include "base/LString.h"

class CDevRequestQueue;
class CKvsDevCtl;
class CSimpleProgressDialog;

inline constexpr u32 kChannelIdleLimitMs = 10000;
// A wait nothing on screen tells of (the edit mode's end as the control window
// closes, at a quit too) gives a silent device no longer than this.
inline constexpr u32 kWindowlessIdleLimitMs = 2000;

// Sets `sedm` through the setter (so the command channel sends it) and puts the
// stored value back to its default, so that the same mode can be sent again.
void SendEditMode(CKvsDevCtl& ctl, i32 mode);
// Waits until the channel is idle, in modal turns of 100 ms of the dialog or,
// without one, nested turns of the controller's parent. False after idleLimitMs
// without a change of the device queue's status word.
bool WaitChannel(CKvsDevCtl& ctl, CDevRequestQueue& channel, CSimpleProgressDialog* dialog,
                 u32 idleLimitMs = kChannelIdleLimitMs);
// What the control window says when the device could not be asked because no
// socket could be opened ("KVSDEVCTLR" item 3, with the system's reason).
LString SocketFailureText(i32 err);
// The sequence format of the device: reads `sqfm` alone into a record of its
// own (the play view's records are not touched before the view is chosen);
// 0 when the read did not finish, else 1 or 2, a device's 0 read as 1.
u32 ReadSeqFormat(CKvsDevCtl& ctl, CSimpleProgressDialog* dialog);
// Edit mode on and the settings read; false when they did not arrive.
bool OpenDeviceSettings(CKvsDevCtl& ctl, CSimpleProgressDialog* dialog);
// Edit mode off, waited for without a dialog: a short while at most, and not at
// all when the user has just gone on without the device.
void CloseDeviceSettings(CKvsDevCtl& ctl);

// "1023M", "1.5G": free space given in MiB.
LString FreeSpaceText(i32 mib);
// The serial and " -KEVOrune"; without a device, "KVSDEVCTLWIN" item 4 in its place.
LString ControlWindowTitle(u32 serial);
