#pragma once
// Whether the program has anything of its own under way with a device.

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "editors/CKvsPlayCmd.h"

// No setting waiting in a channel of the device or of its open play view, and
// no request of its channel queue waiting or in flight. The one in flight
// counts: between the device's last answer to it and its end here, the device
// is idle and the channels behind it have not sent their next write yet.
inline bool ProgramQuiet(CKvsDevCtl* dev) {
    if (dev->SettingsChannel().IsBusy() || dev->CommandChannel().IsBusy() ||
        !dev->ChannelQueue().IsIdle() || dev->ChannelQueue().PendingCount() != 0)
        return false;
    CKvsDevCtlScreen* screen = dev->Screen();
    CKvsPlayCmd* play = screen ? screen->PlayView() : nullptr;
    if (!play) return true;
    for (const CDevRequestQueue* c : {play->SeqChannel(), play->PlayChannel()})
        if (c && c->IsBusy()) return false;
    return true;
}
