// The control window, its upload window and the device dialogs, offscreen, against a
// simulated device in namespaces of the test's own; each saved as devctl_*.png.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "devices/AppPrefStore.h"
#include "devices/CDevSettingsDlgs.h"
#include "devices/CFirmwareUpdate.h"
#include "devices/CInputSetnDlgs.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevWin.h"
#include "devices/CKvsUploads.h"
#include "devices/CSndDevPane.h"
#include "framework/AppSingletons.h"
#include "framework/StdDialogs.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtAppPrefStore.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtWindows.h"
#include "records/DeviceKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/QtDrawFixture.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

bool RunUntil(const std::function<bool()>& pred, u32 ms) {
    for (const u32 start = LTickMs(); !pred() && LTickMs() - start < ms;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

// "" when the window was drawn with something on it, else what is wrong with it.
std::string Shot(LFrame& frame, const char* name) {
    frame.ShowWindow();
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(frame.GetNativeWindow());
    if (!top) return std::string(name) + ": no window";
    const QImage shot = top->grab().toImage();
    shot.save(QString::asprintf(KEVO_BINARY_DIR "/devctl_%s.png", name));
    if (std::string cut = CutPanes(frame); !cut.empty()) return std::string(name) + ": " + cut;
    if (std::string cut = RowFieldsAtEverySize(frame, kLabels); !cut.empty())
        return std::string(name) + ": " + cut;
    if (shot.width() <= 0 || shot.height() <= 0) return std::string(name) + ": empty window";
    const QRgb back = shot.pixel(shot.width() - 2, shot.height() - 2);
    i32 drawn = 0;
    for (i32 y = 0; y < shot.height(); ++y)
        for (i32 x = 0; x < shot.width(); x += 2)
            if (shot.pixel(x, y) != back) {
                ++drawn;
                break;
            }
    if (drawn < 20) return std::string(name) + ": nothing drawn";
    return "";
}

TEST(DevCtlOffscreen, ControlUploadAndDialogWindows) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("devctlshot"), "");
    TempDir dir;
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    ASSERT_EQ(
        sim.Cmd("add-device serno=305 addr=198.18.1.11/24 listen=any root=" + dir.Path() + "/305")
            .rfind("ok", 0),
        0u);
    for (const char* kv : {"fsstat/freeb=1536", "snddev/oper=1", "snddev/ichs=1", "snddev/ochs=2",
                           "snddev/rate=48000", "snddev/bits=24"}) {
        const std::string s(kv);
        const size_t eq = s.find('=');
        ASSERT_EQ(
            sim.Cmd("sysstat-set serno=305 key=" + s.substr(0, eq) + " value=" + s.substr(eq + 1))
                .rfind("ok", 0),
            0u);
    }
    // Under way for a while: the device pauses like a slow card.
    const std::string drc = dir.Path() + "/show.drc";
    {
        std::ofstream out(drc, std::ios::binary);
        out << std::string(2 << 20, '\x5a');
    }
    ASSERT_EQ(sim.Cmd("set serno=305 pause-ms=150 pause-every=65536").rfind("ok", 0), 0u);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        AppLaunch launch(LargeOffscreen().c_str(), dir.Path() + "/config");
        ASSERT_TRUE(launch.PrefsWritten());
        CKvsApp* kvs = launch.Launch();
        ASSERT_NE(kvs, nullptr);
        CKvsDevDoc* doc = kvs->DevDoc();
        auto* win = static_cast<CKvsDevWin*>(doc->View());
        ASSERT_TRUE(RunUntil([&] { return doc->DeviceSet().Count() == 1; }, 15000));
        win->SelectRow(0);
        CKvsDevCtl* ctl = doc->SelectedController();
        ASSERT_NE(ctl, nullptr);
        ASSERT_TRUE(RunUntil([&] { return ctl->SettingsKnown(); }, 5000));

        // Double click to the shown control window: the figure is printed.
        const u32 t0 = LTickMs();
        LHandler::Send(CKvsDevList_DblClk, win->fList, doc);
        ASSERT_TRUE(ctl->WindowShown());
        CKvsDevCtlWin& ctlWin = ctl->Screen()->Window();
        RunUntil([&] { return AsMWindow(ctlWin.GetNativeWindow())->isVisible(); }, 2000);
        const u32 openMs = LTickMs() - t0;
        std::printf("double click to the shown control window: %u ms\n", openMs);
        RecordProperty("open_ms", int(openMs));
        RunUntil([&] { return ctlWin.fFree.GetText() == LString("1.5G"); }, 3000);
        EXPECT_STREQ(ctlWin.fFree.GetText().CStr(), "1.5G");
        EXPECT_EQ(Shot(ctlWin, "control"), "");

        ctl->DropFiles(0, {LString(drc.c_str())});
        ASSERT_NE(ctl->Uploads(), nullptr);
        CKvsUploads& up = *ctl->Uploads();
        ASSERT_TRUE(RunUntil(
            [&] {
                return up.Window() && up.Window()->IsShown() &&
                       !up.Window()->fUploadName.GetText().IsEmpty();
            },
            10000));
        // Shot once the bar has moved, while the upload is still under way.
        RunUntil([&] { return up.Window()->fOverall.Value() > 0 || !up.Pending(); }, 5000);
        EXPECT_TRUE(up.Pending());
        EXPECT_EQ(Shot(*up.Window(), "upload"), "");
        EXPECT_TRUE(RunUntil([&] { return !up.Pending(); }, 60000));

        // The dialogs, shown without their modal loop.
        CRecord* st = ctl->Settings();
        {
            CSndDevPane pane(ctl, ctl);
            sim.Cmd("sysstat-set serno=305 key=snddev/ichs value=2");
            LHandler::Send("CKvsFileList_FlChanged", &ctlWin, ctl);
            RunUntil(
                [&] {
                    return std::string(pane.Dialog().fSummary.GetText().CStr()).rfind("in:2", 0) ==
                           0;
                },
                3000);
            EXPECT_STREQ(pane.Dialog().fSummary.GetText().CStr(), "in:2ch out:2ch 48.0kHz 24bit");
            EXPECT_EQ(Shot(pane.Dialog(), "soundformat"), "");
        }
        std::vector<std::string> faults;
        auto look = [&](LDialog& d, const char* name) {
            if (std::string f = Shot(d, name); !f.empty()) faults.push_back(f);
            d.HideWindow();
        };
        {
            CInitAddrDlg initAddr(doc);
            initAddr.SetValues(false, 1000);
            look(initAddr, "initaddr");
            CKvsNetwDlg netw(doc);
            netw.fAddr[CKvsNetwDlg::kAddress].SetText(LString("198.18.1.11"));
            netw.fAddr[CKvsNetwDlg::kMask].SetText(LString("255.255.255.0"));
            netw.fServer.SetText(LString("pool.example"));
            netw.fInterval.SetValue(6);
            look(netw, "network");
            CKvsClockDlg clock(doc);
            clock.SetManual(true);
            look(clock, "clock");
            CKvsClkRateDlg rate(doc);
            rate.SetRate(11.574e-6f);
            look(rate, "clockrate");
            CKvsShtdwDlyDlg shutdown(doc);
            shutdown.fDelay.SetValue(30);
            look(shutdown, "shutdown");
            CKvsDevSyDlg devsync(doc);
            look(devsync, "devsync");
            CKvsDrMXSetnDlg drmx(ctl);
            if (CRecord* prdr = st->GetChild(DvstF::prdr)) drmx.Load(prdr);
            look(drmx, "drmx");
            CKvsSACNSetnDlg sacn(ctl);
            sacn.Load(st);
            look(sacn, "sacn");
            CKvsAnSetnDlg artnet(ctl);
            artnet.Load(st);
            look(artnet, "artnet");
            CFwUpdVerDlg firmware(doc);
            firmware.SetVersions(LString("1.2.3"), LString("1.3.0"));
            look(firmware, "firmware");
            CCSetNDlg number(ctl);
            look(number, "number");
        }
        EXPECT_EQ(faults, std::vector<std::string>{});

        LHandler::Send(LFrame_Close, &ctlWin, ctl->Screen());
        EXPECT_FALSE(ctl->WindowShown());
    }));
}

}  // namespace
