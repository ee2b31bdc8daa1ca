#pragma once
// A simulated device follows its schedule commands as a device does: `plsn`
// "/schd/flts/N" (N below its event count) puts event N in effect (`scen`),
// `sisc` 0 or 1 sets `insc`.

#include "tools/simdevice/Control.h"

namespace simdev {

// Wraps the device's "/.cmd/udkvtcmd" writes; call after InstallChannels.
void InstallScheduleCmds(Device& d);

}  // namespace simdev
