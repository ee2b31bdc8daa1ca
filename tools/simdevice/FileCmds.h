#pragma once
// Folder listings ("/.cmd/fmls//"), media information ("/.cmd/medinfo//") and
// device services ("/.cmd/svcreq//", "/.cmd/svcpol//") of a simulated device,
// with the commands that script them.

#include "tools/simdevice/Control.h"

namespace simdev {

// Gives a new device the four command files (and forgets what an earlier device
// of that serial was scripted with).
void InstallFileCmds(Sim& sim, Device& d);
// fmls-line, fmls-bom, fmls-clear, medinfo-set, svc-reply, svc-clear. A request or poll
// that must fail or stay unanswered is scripted with the fault rules.
void AddFileCommands(Control& control, Sim& sim);

}  // namespace simdev
