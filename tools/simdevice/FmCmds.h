#pragma once
// File commands of a simulated device: remove ("/.cmd/fmrm//P"), move
// ("/.cmd/fmmv//A//B"), make a folder ("/.cmd/fmmkdir//P"), format the USB
// storage ("/.cmd/fmmkfs//ums"), and the device's own copy ("/.cmd/fmcp//S//D")
// with its progress ("/.cmd/fmcpstatus//S//D") and stop ("/.cmd/fmcpstop//S//D");
// listings of the USB storage itself and of its folders. Every command is logged
//   fm dev=SERNO op=OP path=P [to=Q] result=CODE

#include "tools/simdevice/Control.h"

namespace simdev {

// Gives a new device the commands (installed after the folder listings, whose
// "/ums" part they take over).
void InstallFmCmds(Sim& sim, Device& d);
// fm-set, fm-cpstatus, fm-clear.
void AddFmCommands(Control& control, Sim& sim);

}  // namespace simdev
