// The whole application in this process, offscreen, inside network namespaces
// of the test's own (root only): three simulated devices, two on the
// application's subnet and one reached only through wrapped requests, are
// listed by serial; the device window is saved as kvsapp_devwin.png.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "devices/AppPrefStore.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevWin.h"
#include "framework/AppSingletons.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtAppPrefStore.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtWindows.h"
#include "records/DeviceKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

bool RunUntil(const std::function<bool()>& pred, u32 ms) {
    for (const u32 start = LTickMs(); !pred() && LTickMs() - start < ms;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

TEST(KvsApp, ListsThreeSimulatedDevicesOffscreen) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("kvsapp"), "");
    TempDir dir;
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    std::vector<std::string> adds = {"serno=1201 addr=198.18.1.11/24",
                                     "serno=305 addr=198.18.1.12/24",
                                     "serno=42 addr=198.19.7.13/24"};
    std::vector<u32> want = {42, 305, 1201};
    // KVSAPP_DEVICES=N (up to 200) lists that many for the speed figure.
    const char* more = std::getenv("KVSAPP_DEVICES");
    const u32 count = more ? u32(std::strtoul(more, nullptr, 10)) : 3;
    for (u32 i = 3; i < count && i < 200; ++i) {
        const std::string ip = "198.18.1." + std::to_string(20 + i);
        ASSERT_EQ(
            std::system(("ip -n " + net.DevNs() + " addr add " + ip + "/24 dev eth0").c_str()), 0);
        adds.push_back("serno=" + std::to_string(2000 + i) + " addr=" + ip + "/24");
        want.push_back(2000 + i);
    }
    for (const std::string& add : adds) {
        const std::string serno = add.substr(6, add.find(' ') - 6);
        const std::string r =
            sim.Cmd("add-device " + add + " listen=any root=" + dir.Path() + "/" + serno);
        ASSERT_EQ(r.rfind("ok", 0), 0u) << r;
    }
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "kevoruneset", *argv[] = {name, nullptr};
        auto* app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        auto* shell = new QtShell;
        auto* controls = new QtControlServices;
        auto* delegate = new AppDelegate(QStringList());
        // The preferences live in the INI file of a configuration folder of our own.
        // The namespace has no default route: they choose its interface.
        qputenv("XDG_CONFIG_HOME", QByteArray((dir.Path() + "/config").c_str()));
        QtAppPrefStore store;
        InstallAppPrefStore(&store);
        CPrefNode* prefs = store.OpenPrefs(true);
        ASSERT_NE(prefs, nullptr);
        prefs->SetString("ntif", LString("eth0"));
        store.ClosePrefs(prefs, true);
        const u32 t0 = LTickMs();
        delegate->WillFinishLaunching(NewKvsApp);
        delegate->DidFinishLaunching();
        CKvsApp* kvs = static_cast<CKvsApp*>(gApp);
        ASSERT_NE(kvs, nullptr);
        auto* win = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        EXPECT_TRUE(RunUntil([&] { return win->IsShown(); }, 5000));
        const u32 shown = LTickMs() - t0;
        CKvsDevSet& set = kvs->DevDoc()->DeviceSet();
        EXPECT_TRUE(RunUntil([&] { return set.Count() == want.size(); }, 15000));
        const u32 listed = LTickMs() - t0;
        std::vector<u32> serials;
        for (u32 i = 0; i < set.Count(); ++i) serials.push_back(set.At(i)->GetU32(DevcF::serial));
        EXPECT_EQ(serials, want);
        EXPECT_EQ(win->fList->Rows(), i32(want.size()));
        // The first answer was selected; the selection stays with it as rows come.
        const i32 row = win->SelectedRow();
        ASSERT_GE(row, 0);
        ASSERT_LT(row, i32(want.size()));
        EXPECT_EQ(win->fFrame->Serial(), serials[size_t(row)]);
        EXPECT_TRUE(win->fFrame->IsShown());
        // Let the state of the selected device arrive, then look at it.
        RunUntil([&] { return !win->fFrame->fClock.GetText().IsEmpty(); }, 3000);
        QCoreApplication::processEvents();
        QWidget* top = AsMWindow(win->GetNativeWindow());
        const QImage shot = top->grab().toImage();
        EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/kvsapp_devwin.png")));
        std::printf("launch to window shown: %u ms; to %zu devices listed: %u ms\n", shown,
                    want.size(), listed);
        delegate->WillTerminate();
        // Saved when the application ended: the choice and the window's place.
        prefs = store.OpenPrefs(false);
        ASSERT_NE(prefs, nullptr);
        LString ntif;
        EXPECT_TRUE(prefs->GetString("ntif", &ntif));
        EXPECT_STREQ(ntif.CStr(), "eth0");
        {
            CPrefNode devc(prefs, "devc", false);
            EXPECT_TRUE(devc.IsOpen());
        }
        store.ClosePrefs(prefs, false);
        InstallAppPrefStore(nullptr);
        delete delegate;
        delete controls;
        delete shell;
        delete app;
    }));
}

}  // namespace
