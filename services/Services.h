#pragma once
// What the device link and the framework need of the platform. No Qt here: the
// Qt layer implements the windowing side and the run loop in platform/qt/; the
// POSIX pieces that the base library needs itself (clock, file streams) live
// in base/ and are gathered here for the layers above.

#include "base/CForkStrm.h"
#include "base/Clock.h"
#include "base/DropData.h"
#include "services/GraphicsServices.h"
#include "services/RunLoop.h"
