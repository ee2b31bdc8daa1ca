#pragma once
// Play edits of a simulated device on loopback: a controller on the virtual
// loop, an owner window for the edit, and the fake screen it draws on.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevCtl.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/devices/PrefsDeviceTest.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace devtest {

class PlayDeviceTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        root.loop = &fLoop;
    }
    bool Run(const std::function<bool()>& pred, u32 limitMs = 20000) {
        return RunVirtual(fLoop, pred, limitMs, [&] { fSim.Cmd("ping"); });
    }
    // A controller of the device, its settings read.
    void OpenController(u16 serial) {
        ctl = std::make_unique<CKvsDevCtl>(&root, &fSet, serial);
        ASSERT_TRUE(Run([&] { return !ctl->SettingsChannel().IsBusy(); }));
    }
    template <class Edit>
    void LoadEdit(Edit& edit) {
        CSimpleProgressDialog progress(&root, LPaneOpt::Window(kWindowDialog, 2));
        ASSERT_TRUE(edit.LoadFromDevice(&progress));
    }
    // The command channel's writes that reached the device, "field=value".
    std::vector<std::string> Writes() {
        std::vector<std::string> out;
        for (const std::string& l : LogOf("chan")) {
            const std::string path = Field(l, "path");
            if (Field(l, "op") == "write" && path.rfind("/.cmd/udkvtcmd/", 0) == 0)
                out.push_back(path.substr(15) + "=" + Field(l, "value"));
        }
        return out;
    }

    LoopClock services{&fLoop};
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    playtest::Root root;
    LFrame owner{&root, nullptr, LPaneOpt::Window(kWindowOrdinary, 9)};
    std::unique_ptr<CKvsDevCtl> ctl;
};

}  // namespace devtest
