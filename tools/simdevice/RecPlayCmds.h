#pragma once
// The record and playback model of a simulated device: commands written to
// 'YKVT'/'DVCM' (`rcct`, `rclc`, `rcpf`) move its sequence status 'SSTA'
// (`stat`, `sqtm`, `cflp`); a recording appears in /sdc/kevrecfiles once it
// stops, and the position runs while it plays or records.

#include "tools/simdevice/Control.h"

namespace simdev {

// Wraps the command channel of a new device (after InstallChannels).
void InstallRecPlayCmds(Sim& sim, Device& d);
// rec-self: the device starts or stops a take by itself.
void AddRecPlayCommands(Control& control, Sim& sim);

}  // namespace simdev
