// The application in process, offscreen, in namespaces of the test's own (root
// only), lists three simulated devices and saves its window as kvsapp_devwin.png.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "devices/AppPrefStore.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevWin.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "platform/qt/CAppPrefs.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtAppPrefStore.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtWindows.h"
#include "records/DeviceKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tests/platform/QtDrawFixture.h"
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
    const std::vector<std::string> adds = {"serno=1201 addr=198.18.1.11/24",
                                           "serno=305 addr=198.18.1.12/24",
                                           "serno=42 addr=198.19.7.13/24"};
    const std::vector<u32> want = {42, 305, 1201};
    for (const std::string& add : adds) {
        const std::string serno = add.substr(6, add.find(' ') - 6);
        const std::string r =
            sim.Cmd("add-device " + add + " listen=any root=" + dir.Path() + "/" + serno);
        ASSERT_EQ(r.rfind("ok", 0), 0u) << r;
    }
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        AppLaunch launch("offscreen", dir.Path() + "/config");
        ASSERT_TRUE(launch.PrefsWritten());
        const u32 t0 = LTickMs();
        CKvsApp* kvs = launch.Launch();
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
        // The first answer was selected; the selection stays with it as rows come.
        const i32 row = win->SelectedRow();
        ASSERT_GE(row, 0);
        ASSERT_LT(row, i32(want.size()));
        EXPECT_EQ(win->fFrame->Serial(), serials[size_t(row)]);
        // Let the state of the selected device arrive, then look at it.
        RunUntil([&] { return !win->fFrame->fClock.GetText().IsEmpty(); }, 3000);
        QCoreApplication::processEvents();
        QWidget* top = AsMWindow(win->GetNativeWindow());
        const QImage shot = top->grab().toImage();
        EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/kvsapp_devwin.png")));
        EXPECT_EQ(CutPanes(win), "");
        EXPECT_EQ(RowFieldsAtEverySize(*win, kLabels), "");
        std::printf("launch to window shown: %u ms; to %zu devices listed: %u ms\n", shown,
                    want.size(), listed);
        launch.Terminate();
        // Saved when the application ended: the choice and the window's place.
        QtAppPrefStore& store = launch.Store();
        CPrefNode* prefs = store.OpenPrefs(false);
        ASSERT_NE(prefs, nullptr);
        LString ntif;
        EXPECT_TRUE(prefs->GetString("ntif", &ntif));
        EXPECT_STREQ(ntif.CStr(), "eth0");
        {
            CPrefNode devc(prefs, "devc", false);
            EXPECT_TRUE(devc.IsOpen());
        }
        store.ClosePrefs(prefs, false);
    }));
}

// What the quit says while the device window is still there.
std::vector<std::string> gSaid;
QWidget* gDevWindow = nullptr;
void NoteWithWindow(const std::string& text) {
    gSaid.push_back(text + (gDevWindow && gDevWindow->isVisible() ? "" : " [no window]"));
}

// Preferences that cannot be written are said once, at Quit, while the windows
// are still up; the end's own save says nothing more.
TEST(KvsApp, PreferencesThatCannotBeWrittenAreSaidAtQuitWithTheWindowsUp) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("kvsappq"), "");
    TempDir dir;
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        AppLaunch launch("offscreen", dir.Path() + "/config");
        ASSERT_TRUE(launch.PrefsWritten());
        CKvsApp* kvs = launch.Launch();
        auto* win = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        ASSERT_TRUE(RunUntil([&] { return win->IsShown(); }, 5000));
        gDevWindow = AsMWindow(win->GetNativeWindow());
        // The file's place taken by a folder while the program runs.
        const std::string path = CAppPrefs::PathFor(LString()).toStdString();
        ASSERT_EQ(std::remove(path.c_str()), 0) << path;
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        gSaid.clear();
        QtAppPrefStore::SetReportHook(NoteWithWindow);
        EXPECT_TRUE(CMainLoop::Current()->RunQuitProtocol());
        const std::vector<std::string> atQuit = gSaid;
        launch.Terminate();
        QtAppPrefStore::SetReportHook(nullptr);
        gDevWindow = nullptr;
        ASSERT_EQ(atQuit.size(), 1u);
        EXPECT_NE(atQuit[0].find("could not be saved"), std::string::npos) << atQuit[0];
        EXPECT_EQ(atQuit[0].find("[no window]"), std::string::npos) << atQuit[0];
        EXPECT_EQ(gSaid.size(), 1u) << "said again as the windows went";
    }));
}

}  // namespace
