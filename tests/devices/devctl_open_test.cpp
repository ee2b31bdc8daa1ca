// Opening and closing a device for editing against a simulated device on
// loopback: the edit mode sent and reset, the settings read, and the give-up
// after 10 s without progress; the control window's texts.
#include "devices/DevCtlOpen.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devlink/StatNodes.h"
#include "records/PrefNodes.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

// Every nested turn lets the loop run a little, then moves the clock on.
struct Turns : LHandler {
    CVirtualRunLoop* loop;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        loop->RunUntil([] { return false; }, 10);
        if (!loop->AdvanceToNext(100)) loop->Advance(100);
        return LMessage();
    }
};

class DevCtlOpen : public devtest::DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        turns.loop = &fLoop;
    }
    std::string Sedm() {
        std::string out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "path") == "/.cmd/udkvtcmd/sedm") out += Field(l, "value") + " ";
        return out;
    }
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    Turns turns;
};

TEST_F(DevCtlOpen, EditModeSettingsAndGivingUp) {
    for (const bool silent : {false, true}) {
        const u16 serial = silent ? 306 : 305;
        AddDevice(serial, silent ? 2 : 1);
        if (silent) {
            ASSERT_EQ(fSim.Cmd("fault drop serno=306 dir=in opcode=RRQ path=/.cmd/udkvtset/")
                          .rfind("ok", 0),
                      0u);
        }
        CKvsDevCtl ctl(&turns, &fSet, serial);
        ASSERT_TRUE(fLoop.RunUntil([&] { return !ctl.SettingsChannel().IsBusy() || silent; }));
        CSimpleProgressDialog progress(&turns, LPaneOpt::Window(kWindowDialog, 2));
        const u32 t0 = LTickMs();
        EXPECT_EQ(OpenDeviceSettings(ctl, &progress), !silent);
        const u32 took = LTickMs() - t0;
        EXPECT_EQ(ctl.Record(CKvsDevCtl::kCommands)->GetI32(DvcmF::sedm), -1);
        if (silent) {
            EXPECT_GE(took, kChannelIdleLimitMs);
            EXPECT_LT(took, kChannelIdleLimitMs + 1000);
        }
        // Nothing on screen tells of the edit mode's end: a silent device holds
        // the closing (and a quit) only a short while.
        if (silent) {
            ASSERT_EQ(fSim.Cmd("fault drop serno=306 dir=in").rfind("ok", 0), 0u);
        }
        for (const bool leftWithout : {false, true}) {
            ctl.SetLeftWithoutDevice(leftWithout);
            const u32 t1 = LTickMs();
            CloseDeviceSettings(ctl);
            if (silent) {
                // Gone on without the device at its question: not waited for.
                EXPECT_LT(LTickMs() - t1, leftWithout ? 200 : kWindowlessIdleLimitMs + 1500);
            }
        }
        EXPECT_EQ(ctl.Record(CKvsDevCtl::kCommands)->GetI32(DvcmF::sedm), -1);
        fSim.Cmd("fault-clear");
        fSim.Cmd("log clear");
    }
}

TEST_F(DevCtlOpen, EachEditModeSentReachesTheDevice) {
    AddDevice(305, 1);
    CKvsDevCtl ctl(&turns, &fSet, 305);
    ASSERT_TRUE(fLoop.RunUntil([&] { return !ctl.SettingsChannel().IsBusy(); }));
    fSim.Cmd("log clear");
    // Closed twice while the opening is still on its way: two closings.
    for (i32 mode : {1, 0, 0}) SendEditMode(ctl, mode);
    ASSERT_TRUE(fLoop.RunUntil([&] { return !ctl.CommandChannel().IsBusy(); }));
    EXPECT_EQ(Sedm(), "1 0 0 ");
}

TEST_F(DevCtlOpen, ControlWindowOpensShowsAndCloses) {
    AddDevice(305, 1);
    CKvsDevCtl ctl(&turns, &fSet, 305);
    ASSERT_TRUE(fLoop.RunUntil([&] { return !ctl.SettingsChannel().IsBusy(); }));
    EXPECT_FALSE(ctl.WindowShown());
    fSim.Cmd("log clear");
    const auto real = std::chrono::steady_clock::now();
    const u32 t0 = LTickMs();
    ctl.ShowWindow();
    ASSERT_TRUE(ctl.WindowShown());
    // The figure of the opening: virtual ms of the device link, real ms of this run.
    RecordProperty("open_virtual_ms", int(LTickMs() - t0));
    RecordProperty("open_real_ms", int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - real)
                                           .count()));
    // The opening's read of the settings follows the edit mode on the device.
    std::string order;
    for (const std::string& l : fSim.Log()) {
        if (l.rfind("chan ", 0) == 0 && Field(l, "path") == "/.cmd/udkvtcmd/sedm")
            order += "sedm=" + Field(l, "value") + " ";
        if (l.rfind("req ", 0) == 0 && Field(l, "path") == "/.cmd/udkvtset/") order += "read ";
    }
    EXPECT_EQ(order, "sedm=1 read ");
    CKvsDevCtlWin& win = ctl.Screen()->Window();
    ASSERT_NE(windows.Find(win.Window()->Native()), nullptr);
    EXPECT_STREQ(windows.Find(win.Window()->Native())->title.CStr(), "305 -KEVOrune");
    CRecord* fs = StatNodeGetFsStat(ctl.Record(CKvsDevCtl::kSysStat));
    NodeSetInt(fs, nullptr, "freeb", 1536);
    EXPECT_STREQ(win.fFree.GetText().CStr(), "1.5G");
    NodeSetInt(fs, nullptr, "freeb", 1023);
    EXPECT_STREQ(win.fFree.GetText().CStr(), "1023M");
    LHandler::Send(LFrame_Close, &win, ctl.Screen());
    EXPECT_FALSE(ctl.WindowShown());
    fLoop.RunUntil([&] { return Sedm() == "1 0 "; }, 2000);
    EXPECT_EQ(Sedm(), "1 0 ");
    EXPECT_STREQ(FreeSpaceText(1024).CStr(), "1.0G");
    EXPECT_EQ(std::string(ControlWindowTitle(0).CStr()),
              std::string(StdDialogText("KVSDEVCTLWIN", 4).CStr()) + " -KEVOrune");
    // A play-settings file without a device: no choice of view.
    CKvsDevCtlWin file(nullptr, 0);
    EXPECT_FALSE(file.fView.IsUsable());
    EXPECT_TRUE(win.fView.IsUsable());
}

// Framework timers on the link's virtual clock, both run until pred holds.
bool RunBoth(CVirtualRunLoop& loop, FakeServices& services, const std::function<bool()>& pred,
             u32 limitMs) {
    for (const u32 start = loop.NowMs(); !pred();) {
        if (loop.NowMs() - start > limitMs) return false;
        loop.RunUntil([] { return false; }, 20);
        services.fNow = loop.NowMs();
        const i32 wait = LTimer::NextWaitMs(nullptr, nullptr, true);
        if (wait == 0)
            LTimer::FireDue(loop.NowMs(), nullptr, nullptr, true);
        else if (!loop.AdvanceToNext(u32(std::min(wait, 100))))
            loop.Advance(u32(std::min(wait, 100)));
    }
    return true;
}

TEST_F(DevCtlOpen, FreeSpaceFollowsTheDeviceOnTheTimerAndAfterFileChanges) {
    AddDevice(305, 1);
    ASSERT_EQ(fSim.Cmd("sysstat-set serno=305 key=fsstat/freeb value=1536").rfind("ok", 0), 0u);
    EXPECT_EQ(fSim.Cmd("sysstat-get serno=305 key=fsstat/freeb"), "ok value=1536");
    EXPECT_EQ(fSim.Cmd("sysstat-set serno=305 key=fsstat//x value=1").rfind("err", 0), 0u);
    services.fNow = fLoop.NowMs();  // the status timer counts on the link's clock
    CKvsDevCtl ctl(&turns, &fSet, 305);
    ctl.ShowWindow();
    ASSERT_TRUE(ctl.WindowShown());
    CKvsDevCtlWin& win = ctl.Screen()->Window();
    auto shows = [&](const char* text) {
        return RunBoth(
            fLoop, services, [&] { return std::string(win.fFree.GetText().CStr()) == text; }, 1000);
    };
    EXPECT_TRUE(shows("1.5G")) << win.fFree.GetText().CStr();
    // A change of the device's files reads the status at once, not at the next tick.
    fSim.Cmd("sysstat-set serno=305 key=fsstat/freeb value=1023");
    LHandler::Send("CKvsFileList_FlChanged", &win, &ctl);
    EXPECT_TRUE(shows("1023M")) << win.fFree.GetText().CStr();
    // Without one, the 10 s status timer brings it.
    fSim.Cmd("sysstat-set serno=305 key=fsstat/freeb value=2048");
    EXPECT_FALSE(shows("2.0G"));
    EXPECT_TRUE(RunBoth(
        fLoop, services, [&] { return std::string(win.fFree.GetText().CStr()) == "2.0G"; }, 11000));
    LHandler::Send(LFrame_Close, &win, ctl.Screen());
}

TEST_F(DevCtlOpen, ControlWindowKeepsItsPlaceAndGrowsNoLargerThanItsContent) {
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    CRecord* ctlr = prefs.Root()->GetChild(PrefF::ctlr);
    ASSERT_NE(ctlr, nullptr);
    CRecord* prms = ctlr->GetChild(PrctF::prms);
    ASSERT_NE(prms, nullptr);
    const struct {
        const char* stored;
        bool applied;
    } cases[] = {{"100 120 700 620", true}, {"", false}, {"5 5 5 90", false}, {"1 2 3", false}};
    for (const auto& c : cases) {
        NodeSet(prms, nullptr, "ctlplc", LString(c.stored));
        LRect moved;
        {
            CKvsDevCtlWin win(nullptr, 305);
            const LRect r = win.GetWindowBounds();
            EXPECT_EQ(r == LRect(100, 120, 700, 620), c.applied) << c.stored;
            moved = LRect(r.left + 10, r.top + 20, r.right + 10, r.bottom + 20);
            win.SetWindowBounds(moved);
            moved = win.GetWindowBounds();
            // The content's preferred size bounds the window.
            LDrawCtx ctx;
            const LRect pref(0, 0, win.GetPrefWidth(&ctx, 0), win.GetPrefHeight(&ctx, 0));
            LWindowPlacer placer(win.Window(), false);
            LHandler::Send(LWindowPlacer_Grow, &placer, &win);
            EXPECT_LE(placer.fMaxWidth, std::max(pref.Width(), placer.fMinWidth));
            EXPECT_LE(placer.fMaxHeight, std::max(pref.Height(), placer.fMinHeight));
            EXPECT_GT(placer.fMaxWidth, 0);
        }
        EXPECT_EQ(GetRectFromString(prms, "ctlplc"), moved) << c.stored;
    }
    SetAppPrefsDoc(nullptr);
}

}  // namespace
