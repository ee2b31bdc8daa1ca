// The record control under real input against the simulated device on
// loopback: a double click on a recording loads and plays it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ControlFixture.h"
#include "XvfbHarness.h"
#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/files/CKvsFileList.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "devlink/NetIf.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

struct LoopbackPrefs : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("lo"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

// The values the device took for one command field, in order.
std::string Writes(testtftp::SimDeviceProcess& sim, const char* field) {
    std::string out;
    const std::string path = std::string("/.cmd/udkvtcmd/") + field;
    for (const std::string& l : sim.Log())
        if (l.rfind("chan ", 0) == 0 && testtftp::SimDeviceProcess::Field(l, "path") == path)
            out += (out.empty() ? "" : " ") + testtftp::SimDeviceProcess::Field(l, "value");
    return out;
}

TEST(RecCtlXvfb, DoubleClickOnARecordingLoadsAndPlaysIt) {
    XvfbHarness x;
    if (!x.Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    ControlEnv env("xcb");
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    SetAppPrefsDoc(&prefs);
    LoopbackPrefs netPrefs;
    CLocalAddrWatch watch(&netPrefs);
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    ASSERT_TRUE(sim.Ok());
    const u32 ip = (127u << 24) | (27u << 16) | ((20u + u32(getpid()) % 200u) << 8) | 1;
    const std::string ipText = "127.27." + std::to_string((ip >> 8) & 255) + ".1";
    ASSERT_EQ(
        sim.Cmd("add-device serno=307 addr=" + ipText + " root=" + dir.Path() + "/d port=61007")
            .rfind("ok", 0),
        0u);
    std::filesystem::create_directories(dir.Path() + "/d/sdc/kevrecfiles");
    std::ofstream(dir.Path() + "/d/sdc/kevrecfiles/a.drc") << "DRC";

    CKvsDevSet set;
    set.Add(307)->SetU32(nullptr, DevcF::address, ip);
    CKvsDevCtl ctl(gApp, &set, 307);
    LFrame win(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
    win.Window()->SetContentRect(LRect(100, 100, 800, 500));
    CKvsFileListCtl view(gApp, win, &ctl);
    view.Frame()->SetBounds(LRect(0, 0, 700, 400));
    win.ShowWindow();
    CKvsFileList* list = view.Frame()->fFiles->fList;
    ASSERT_TRUE(RunUntil([&] { return list->Count() == 1; }, 10000));
    RunUntil([] { return false; }, 300);

    const LRect c = win.Window()->GetContentScreenRect();
    const u64 at = list->GetTopLeftIn(&win);
    const int px = c.left + i32(LPane::UnpackX(at)) + 30;
    const int py = c.top + i32(LPane::UnpackY(at)) + 8;
    x.Xdotool("mousemove " + std::to_string(px) + " " + std::to_string(py) + " click --repeat 2 1");
    ASSERT_TRUE(RunUntil([&] { return Writes(sim, "rcct") == "3"; }, 5000))
        << Writes(sim, "rcct") << "|" << Writes(sim, "rcpf");
    EXPECT_EQ(Writes(sim, "rcpf").substr(0, 22), "/sdc/kevrecfiles/a.drc");
    ASSERT_TRUE(RunUntil(
        [&] {
            return ctl.Record(CKvsDevCtl::kSeqStat)->GetString(SstaF::cflp) ==
                   "/sdc/kevrecfiles/a.drc";
        },
        5000));
    x.Screenshot(KEVO_BINARY_DIR "/rec_xvfb_dblclk.png");
    win.HideWindow();
    SetAppPrefsDoc(nullptr);
}

}  // namespace
