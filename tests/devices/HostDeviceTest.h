#pragma once
// Views of a simulated device on loopback in a host window of their own: an
// application loop, a controller of the device, and the fake screen.
#include <memory>

#include "devices/CKvsDevCtl.h"
#include "framework/CMainLoop.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PrefsDeviceTest.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace devtest {

class HostDeviceTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        controls.fClock = &clock.fNow;
        app = std::make_unique<CMainLoopBase>();
    }
    // The views go first, then the controller, then the loop.
    void TearDown() override {
        host.reset();
        ctl.reset();
        app.reset();
        PrefsDeviceTest::TearDown();
    }
    // The device's controller, answering to ctlOwner, and the shown host window.
    void OpenHost(LHandler* ctlOwner, u16 serial, const LRect& bounds) {
        ctl = std::make_unique<CKvsDevCtl>(ctlOwner, &fSet, serial);
        host = std::make_unique<LFrame>(app.get(), nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
        host->SetWindowBounds(bounds);
        host->ShowWindow();
    }

    LoopClock clock{&fLoop};
    FakeControls controls;
    FakeWindows windows{clock};
    std::unique_ptr<CMainLoopBase> app;
    std::unique_ptr<CKvsDevCtl> ctl;
    std::unique_ptr<LFrame> host;
};

}  // namespace devtest
