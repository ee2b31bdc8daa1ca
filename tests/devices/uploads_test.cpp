// Files dropped on a controller: the upload window, closing refused while any
// file is under way (a second batch too), the list of what failed.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/CKvsUploads.h"
#include "devices/CKvsUpldWin.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/StdDialogs.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/HeadlessAppTest.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

class Uploads : protected VirtualLoopFirst, public HeadlessAppTest {
protected:
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

TEST(UploadWindow, EachFailureSaysWhatWentWrongForItsKind) {
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    const struct {
        u32 kind, status, item;
    } kRows[] = {
        {CKvsFileJobQueue::kRecording, CKvsFileJobQueue::kNotAccepted, 0},
        {CKvsFileJobQueue::kAudio, CKvsFileJobQueue::kNotAccepted, 2},
        {CKvsFileJobQueue::kRecording, CKvsFileJobQueue::kNotSent, 1},
        {CKvsFileJobQueue::kAudio, CKvsFileJobQueue::kNotSent, 1},
        {CKvsFileJobQueue::kAudio, CKvsFileJobQueue::kNotConfirmed, 3},
        // The card came to hold the name meanwhile, converted or not.
        {CKvsFileJobQueue::kRecording, CKvsFileJobQueue::kNameTaken, 4},
        {CKvsFileJobQueue::kAudio, CKvsFileJobQueue::kNameTaken, 4},
    };
    std::set<std::string> texts;
    for (const auto& r : kRows) {
        const LString t = UploadStatusText(r.kind, r.status);
        EXPECT_STREQ(t.CStr(), StdDialogText("UPLDLIST", r.item).CStr()) << r.kind << r.status;
        // Whole in the cell, which keeps 20 characters for it.
        EXPECT_LE(t.Length(), 20u) << t.CStr();
        texts.insert(t.CStr());
    }
    EXPECT_EQ(texts.size(), 5u);
}

TEST(UploadWindow, PlacedBesideItsOwnerWithinTheScreen) {
    const LRect screen(0, 0, 1280, 800);
    const struct {
        const char* what;
        LRect owner;
        LRect placed;
    } kRows[] = {
        {"room on the right", LRect(100, 100, 800, 600), LRect(816, 100, 1216, 400)},
        {"room on the left only", LRect(500, 100, 1200, 600), LRect(84, 100, 484, 400)},
        {"room below only", LRect(0, 50, 1200, 400), LRect(0, 448, 400, 748)},
        {"room above only", LRect(0, 400, 1200, 790), LRect(0, 52, 400, 352)},
        {"no room: the far corner", LRect(0, 30, 1270, 790), LRect(864, 484, 1264, 784)},
    };
    for (const auto& r : kRows)
        EXPECT_EQ(PlaceBesideOwner(r.owner, 400, 300, screen), r.placed) << r.what;
}

}  // namespace
