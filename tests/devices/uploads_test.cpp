// Files dropped on a controller: the upload window, closing refused while any
// file is under way (a second batch too), the list of what failed.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/CKvsUploads.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/StdDialogs.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

class Uploads : public ::testing::Test {
protected:
    void SetUp() override {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        controls.fClock = &services.fNow;
        app = std::make_unique<CMainLoopBase>();
    }
    void TearDown() override { app.reset(); }
    LString File(const char* name) {
        const std::string path = dir.Path() + "/" + name;
        std::ofstream(path) << "recording";
        return LString(path.c_str());
    }
    void RunFor(u32 ms) {
        const u32 end = loop.NowMs() + ms;
        while (i32(end - loop.NowMs()) > 0) {
            loop.RunDue();
            LTimer::FireDue(services.fNow, nullptr, nullptr, true);
            loop.Advance(50);
            services.Advance(50);
        }
    }

    CVirtualRunLoop loop;
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<CMainLoopBase> app;
    CKvsDevSet set;
    testtftp::TempDir dir;
};

TEST_F(Uploads, ClosingRefusedWhileFilesAreUnderWay) {
    // A device that is not in the list: its uploads wait for ever.
    CKvsDevCtl ctl(app.get(), &set, 999);
    EXPECT_TRUE(ctl.CanClose());
    ctl.DropFiles(0, {File("a.drc"), File("b.drc")});
    CKvsUploads* up = ctl.Uploads();
    ASSERT_TRUE(up && up->Window());
    EXPECT_TRUE(up->Window()->Window()->IsVisible());
    RunFor(2000);
    EXPECT_FALSE(ctl.CanClose());
    LHandler::Send(LFrame_Close, up->Window(), up);
    EXPECT_TRUE(up->Window()->Window()->IsVisible());
    // A second batch joins the first.
    ctl.DropFiles(0, {File("c.drc")});
    EXPECT_EQ(up->Jobs().JobsAdded(), 3u);
    EXPECT_FALSE(ctl.CanClose());
    LHandler::Send(LStdCtl_Selected, &up->Window()->fCancel, up);
    RunFor(2000);
    EXPECT_TRUE(ctl.CanClose());
    LHandler::Send(LFrame_Close, up->Window(), up);
    EXPECT_FALSE(up->Window()->Window()->IsVisible());
}

TEST_F(Uploads, FailedFilesListedAFreshListAfterEachIdleDrop) {
    CKvsDevCtl ctl(app.get(), &set, 0);  // no device: every upload fails at once
    for (const char* name : {"a.drc", "b.drc"}) {
        ctl.DropFiles(0, {LString((std::string("/nowhere/") + name).c_str())});
        RunFor(3000);
        CKvsUpldList* list = ctl.Uploads()->Window()->fList;
        ASSERT_EQ(list->Count(), 1u);
        EXPECT_STREQ(list->ItemName(0).CStr(), name);
        EXPECT_STREQ(list->ItemStatus(0).CStr(), StdDialogText("UPLDLIST", 1).CStr());
    }
}

}  // namespace
