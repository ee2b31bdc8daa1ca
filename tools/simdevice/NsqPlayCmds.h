#pragma once
// How a simulated device in the NSQ format plays: a written `plsn` that names
// one of its NSQ sequences makes that sequence the playing one (state `sqid`),
// a written `pltm` puts the play position (state `sqtm`) there, and from then
// on the position runs with the device's clock until `stps` stops it. Tests
// see the position move as a user sees a device play.

#include "tools/simdevice/Control.h"

namespace simdev {

// Wraps the command channel and the status read of a new device (after
// InstallChannels).
void InstallNsqPlayCmds(Sim& sim, Device& d);

}  // namespace simdev
