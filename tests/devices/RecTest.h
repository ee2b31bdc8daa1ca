#pragma once
// What the record control and the basic play edit tests share: a controller of
// a simulated device on loopback, a window to build in, and an owner that
// answers every dialog from its scripts and turns the loop in every wait.
#include <deque>
#include <memory>
#include <string>

#include "devices/CDevSettingsDlgs.h"
#include "devices/CKvsDevCtl.h"
#include "devices/files/CKvsRenDlg.h"
#include "devices/recordings/DrcServices.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LEditText.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/NsqPrefKinds.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/HostDeviceTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace rectest {

inline std::string Text(const char* list, u32 n) {
    return std::string(StdDialogText(list, n).View());
}

struct Owner : LHandler {
    using LHandler::LHandler;
    std::function<void()> turn;
    std::function<void()> onRename;  // as the name dialog opens
    std::deque<std::string> names;   // typed into the name dialog; cancel when none
    std::deque<bool> answers;        // message dialogs; yes when none
    u32 type = 2, threshold = 40;    // the detect-start dialog
    bool cancelSettings = false;
    std::vector<std::string> titles, messages;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        if (auto* r = dynamic_cast<CKvsRenDlg*>(msg.source)) {
            titles.push_back(std::string(r->fOk.GetTitle().View()) + ":" +
                             std::string(r->Name().View()));
            if (onRename) onRename();
            if (names.empty()) return Send(LStdCtl_Selected, &r->fCancel, r), LMessage();
            r->fName.SetText(LString(names.front().c_str()));
            names.pop_front();
            Send(LEditText_Change, &r->fName, r);
            Send(LStdCtl_Selected, &r->fOk, r);
        } else if (auto* d = dynamic_cast<CKvsDetStartDlg*>(msg.source)) {
            d->SetType(type);
            d->fLevel.SetValue(f32(threshold));
            Send(LStdCtl_Selected, &d->fOk, d);
        } else if (auto* s = dynamic_cast<CKvsSettingsDlg*>(msg.source); s && cancelSettings) {
            Send(LStdCtl_Selected, &s->fCancel, s);
        } else if (auto* m = dynamic_cast<CSimpleMessageDialog*>(msg.source)) {
            messages.push_back(std::string(m->fMessage.GetText().View()));
            bool yes = true;
            if (!answers.empty()) yes = answers.front(), answers.pop_front();
            Send(LStdCtl_Selected, yes ? &m->fOk : &m->fCancelBtn, m);
        } else if (turn) {
            turn();
        }
        return LMessage();
    }
};

class RecDeviceTest : public devtest::HostDeviceTest {
protected:
    void SetUp() override {
        HostDeviceTest::SetUp();
        AddDevice(serial, 1);
        owner = std::make_unique<Owner>(app.get());
        owner->turn = [this] { Step(); };
        // The owner turns the loop in the controller's waits too.
        OpenHost(owner.get(), serial, LRect(0, 0, 1000, 600));
    }
    // The test's views go first.
    void TearDown() override {
        host.reset();
        ctl.reset();
        owner.reset();
        HostDeviceTest::TearDown();
    }
    // One turn of a modal loop: what the device sent is taken in, then the due
    // timers fire or the clock moves on (at most 100 ms).
    void Step() {
        fLoop.RunUntil([] { return false; }, 30);
        SettleSim(fLoop, fSim);
        const i32 wait = LTimer::NextWaitMs(nullptr, nullptr, true);
        const u32 ms = wait < 0 || wait > 100 ? 100 : u32(wait);
        if (wait == 0)
            LTimer::FireDue(fLoop.NowMs(), nullptr, nullptr, true);
        else if (!fLoop.AdvanceToNext(ms))
            fLoop.Advance(ms);
    }
    bool Run(const std::function<bool()>& pred, u32 limitMs = 10000) {
        return RunVirtual(fLoop, pred, limitMs, [this] { SettleSim(fLoop, fSim); });
    }
    // The values written to a command field ("rcct"), in order.
    std::string Writes(const char* field) {
        std::string out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "path") == std::string("/.cmd/udkvtcmd/") + field)
                out += (out.empty() ? "" : " ") + Field(l, "value");
        return out;
    }

    u16 serial = 3404;
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<Owner> owner;
};

}  // namespace rectest
