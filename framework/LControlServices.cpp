// The installer of the platform's control services and the headless defaults.

#include "services/ControlServices.h"

namespace {

LHeadlessControls sHeadless;
LControlServices* sInstalled = nullptr;

}  // namespace

void InstallControlServices(LControlServices* services) {
    sInstalled = services;
}

LControlServices& ControlServices() {
    return sInstalled ? *sInstalled : sHeadless;
}
