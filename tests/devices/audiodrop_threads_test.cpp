// An audio file dropped on a controller reaches the simulated device on
// loopback as a WAV; a file that does not convert is reported and never sent.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsUploads.h"
#include "devices/audio/CAudioConvertJob.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "tests/devices/AudioTestUtil.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

class AudioDrop : public devtest::DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        if (HasFatalFailure()) return;
        // The conversions' temporary files go where this test can count them.
        setenv("TMPDIR", temp.Path().c_str(), 1);
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        app = std::make_unique<CMainLoopBase>();
        AddDevice(305, 1);
    }
    void TearDown() override {
        app.reset();
        unsetenv("TMPDIR");
        DeviceLinkTest::TearDown();
    }
    std::vector<std::string> TempFiles() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(temp.Path()))
            if (!e.is_directory()) names.push_back(e.path().filename().string());
        return names;
    }

    LoopClock services{&fLoop};
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<CMainLoopBase> app;
    testtftp::TempDir local, temp;
};

TEST_F(AudioDrop, SongAiffBecomesSongWavOnTheCard) {
    const std::string song = audiotest::Make(local.Path(), "Song.aiff", "-ac 2 -c:a pcm_s24be");
    ASSERT_FALSE(song.empty());
    const std::string text = local.Path() + "/x.mp3";
    std::ofstream(text) << "x.mp3 holding text";

    CKvsDevCtl ctl(app.get(), &fSet, 305);
    ctl.DropFiles(1, {LString(song.c_str()), LString(text.c_str())});
    CKvsFileJobQueue& jobs = ctl.Uploads()->Jobs();
    ASSERT_TRUE(RunVirtual(
        fLoop, [&] { return jobs.IsIdle() && jobs.JobsFinished() == 2; }, 120000,
        [&] { fSim.Cmd("ping"); }));
    ctl.Uploads()->UpdateWindow();

    // The same conversion made here, apart from the queue.
    const std::string reference = local.Path() + "/reference.wav";
    std::ofstream(reference) << "";
    {
        CAudioConvertJob job;
        ASSERT_TRUE(job.Start(song.c_str(), reference.c_str(), nullptr, nullptr));
        ASSERT_TRUE(RunVirtual(
            fLoop, [&] { return job.GetState() == CAudioConvertJob::kDone; }, 60000));
    }
    const std::string onCard = fDir.Path() + "/305/sdc/audiofiles/Song.wav";
    EXPECT_EQ(audiotest::ReadAll(onCard), audiotest::ReadAll(reference));
    const audiotest::Wave w = audiotest::ReadWave(onCard);
    EXPECT_TRUE(w.ok && w.rate == 48000 && w.channels == 2 && w.width == 3 && w.frames == 48000);

    CKvsUpldList* failed = ctl.Uploads()->Window()->fList;
    ASSERT_EQ(failed->Count(), 1u);
    EXPECT_STREQ(failed->ItemName(0).CStr(), "x.mp3");
    // An audio file that does not convert says so, not that it is no recording.
    EXPECT_STREQ(failed->ItemStatus(0).CStr(), StdDialogText("UPLDLIST", 2).CStr());
    for (const std::string& l : LogOf("req"))
        EXPECT_EQ(Field(l, "path").find("x."), std::string::npos) << l;
    EXPECT_TRUE(TempFiles().empty()) << TempFiles().front();
}

TEST_F(AudioDrop, DroppedNamesReachTheCardAsTheDeviceNameRuleGivesThem) {
    const struct {
        const char* local;
        const char* onCard;
    } kRows[] = {{"nl\nz.drc", "nl_z.drc"},
                 {"tab\tq.drc", "tab_q.drc"},
                 {"\x01"
                  "ctl.drc",
                  "_ctl.drc"},
                 {"a:b?.drc", "a_b_.drc"},
                 {"x.y.drc", "x_y.drc"},
                 {".hidden.drc", "_hidden.drc"},
                 {"Caf\xC3\xA9.drc", "Caf\xC3\xA9.drc"}};
    std::vector<LString> paths;
    for (const auto& r : kRows) {
        const std::string p = local.Path() + "/" + r.local;
        std::ofstream(p) << "DRC " << r.onCard;
        paths.push_back(LString(p.c_str()));
    }
    CKvsDevCtl ctl(app.get(), &fSet, 305);
    ctl.DropFiles(0, paths);
    CKvsFileJobQueue& jobs = ctl.Uploads()->Jobs();
    ASSERT_TRUE(RunVirtual(
        fLoop, [&] { return jobs.IsIdle() && jobs.JobsFinished() == std::size(kRows); }, 120000,
        [&] { fSim.Cmd("ping"); }));
    ctl.Uploads()->UpdateWindow();
    EXPECT_EQ(ctl.Uploads()->Window()->fList->Count(), 0u) << "every upload went through";
    std::vector<std::string> held;
    for (const auto& e : std::filesystem::directory_iterator(fDir.Path() + "/305/sdc/kevrecfiles"))
        held.push_back(e.path().filename().string());
    std::sort(held.begin(), held.end());
    std::vector<std::string> want;
    for (const auto& r : kRows) want.push_back(r.onCard);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(held, want);
    for (const auto& r : kRows) {
        const std::string body = std::string("DRC ") + r.onCard;
        EXPECT_EQ(audiotest::ReadAll(fDir.Path() + "/305/sdc/kevrecfiles/" + r.onCard),
                  std::vector<u8>(body.begin(), body.end()));
    }
}

}  // namespace
