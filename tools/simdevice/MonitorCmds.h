#pragma once
// The universes a simulated device reports: those of a recorded scene
// ("/.cmd/drcscnunv" followed by the scene's record path) and those it plays
// (`uvst` of its sequence status 'SSTA'), with the commands that set them.

#include "tools/simdevice/Control.h"

namespace simdev {

// Gives a new device the scene-universe command file (and forgets the scenes an
// earlier device of that serial had).
void InstallMonitorCmds(Sim& sim, Device& d);
// scnunv-set, scnunv-clear, uvst-set, uvst-clear.
void AddMonitorCommands(Control& control, Sim& sim);

}  // namespace simdev
