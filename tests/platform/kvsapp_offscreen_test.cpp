// The whole application in this process, offscreen, inside network namespaces
// of the test's own (root only): three simulated devices, two on the
// application's subnet and one reached only through wrapped requests, are
// listed by serial; the device window is saved as kvsapp_devwin.png.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "devices/AppPrefStore.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevWin.h"
#include "framework/AppSingletons.h"
#include "platform/qt/AppDelegate.h"
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
    for (const char* add : {"serno=1201 addr=198.18.1.11/24", "serno=305 addr=198.18.1.12/24",
                            "serno=42 addr=198.19.7.13/24"}) {
        const std::string r =
            sim.Cmd(std::string("add-device ") + add + " listen=any root=" + dir.Path() + "/" +
                    std::to_string(std::strtoul(add + 6, nullptr, 10)));
        ASSERT_EQ(r.rfind("ok", 0), 0u) << r;
    }
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "kevoruneset", *argv[] = {name, nullptr};
        auto* app = new QApplication(argc, argv);
        auto* shell = new QtShell;
        // The namespace has no default route: the preferences choose its interface.
        CPrefNode* prefs = AppPrefStore().OpenPrefs(true);
        ASSERT_NE(prefs, nullptr);
        prefs->SetString("ntif", LString("eth0"));
        AppPrefStore().ClosePrefs(prefs, true);
        const u32 t0 = LTickMs();
        InitAppSingletons(NewKvsApp);
        CKvsApp* kvs = static_cast<CKvsApp*>(gApp);
        ASSERT_NE(kvs, nullptr);
        auto* win = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        EXPECT_TRUE(RunUntil([&] { return win->IsShown(); }, 5000));
        const u32 shown = LTickMs() - t0;
        CKvsDevSet& set = kvs->DevDoc()->DeviceSet();
        EXPECT_TRUE(RunUntil([&] { return set.Count() == 3; }, 15000));
        const u32 listed = LTickMs() - t0;
        std::vector<u32> serials;
        for (u32 i = 0; i < set.Count(); ++i) serials.push_back(set.At(i)->GetU32(DevcF::serial));
        EXPECT_EQ(serials, (std::vector<u32>{42, 305, 1201}));
        EXPECT_EQ(win->fList->Rows(), 3);
        // The first answer was selected; the selection stays with it as rows come.
        const i32 row = win->SelectedRow();
        ASSERT_GE(row, 0);
        ASSERT_LT(row, 3);
        EXPECT_EQ(win->fFrame->Serial(), serials[size_t(row)]);
        EXPECT_TRUE(win->fFrame->IsShown());
        // Let the state of the selected device arrive, then look at it.
        RunUntil([&] { return !win->fFrame->fClock.GetText().IsEmpty(); }, 3000);
        QCoreApplication::processEvents();
        QWidget* top = AsMWindow(win->GetNativeWindow());
        const QImage shot = top->grab().toImage();
        EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/kvsapp_devwin.png")));
        std::printf("launch to window shown: %u ms; to 3 devices listed: %u ms\n", shown, listed);
        ShutdownAppSingletons();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete shell;
        delete app;
    }));
}

}  // namespace
