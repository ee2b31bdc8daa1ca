#pragma once
// Device commands of a simulated device: "/.cmd/fsflush" (read), "/.cmd/restart",
// "/.cmd/rstadr", "/.cmd/tchcal", "/.cmd/rotdsp" (writes), each logged
//   cmd dev=SERNO op=fsflush|restart|rstadr|tchcal|rotdsp
// After a restart the device stays silent for a set time, from before or after
// its answer to the restart request.

#include "tools/simdevice/Control.h"

namespace simdev {

void InstallDevCmds(Sim& sim, Device& d);
// restart-set serno=N ms=MS [before=0|1]: how long a restart keeps the device
// silent (default 3000 ms; 0: not at all) and whether it skips its answer.
void AddDevCommands(Control& control, Sim& sim);

}  // namespace simdev
