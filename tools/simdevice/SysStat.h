#pragma once
// The system status a simulated device answers for "/.cmd/udsysstat": named
// values, nested by "/" in the key ("fsstat/freeb", "snddev/oper").

#include "tools/simdevice/Control.h"

namespace simdev {

// sysstat-set serno=N key=NODE/.../NAME value=V: sets a value (an empty value
// removes it); sysstat-get serno=N key=...: answers it.
void AddSysStatCommands(Control& control, Sim& sim);

}  // namespace simdev
