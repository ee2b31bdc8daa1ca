// The installer of the drag services and their headless default: no window
// accepts drags and a drag ends at once with nothing dropped.

#include "services/DragServices.h"

namespace {

class HeadlessDrags final : public LDragServices {
public:
    void AcceptDrops(LNativeWindow, bool) override {}
    void SetDropOperation(LNativeWindow, i32, bool) override {}
    u32 RunDrag(const LDragStart&) override { return 0; }
};

HeadlessDrags sHeadless;
LDragServices* sInstalled = nullptr;

}  // namespace

void InstallDragServices(LDragServices* services) {
    sInstalled = services;
}

LDragServices& DragServices() {
    return sInstalled ? *sInstalled : sHeadless;
}
