// The record control against a simulated device on loopback: the buttons'
// commands, the stop of a recording with its rename, the bar, clicks in the
// file list, the status shown, and what the panel shows as pure functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "devices/CKvsUploads.h"
#include "devices/DevCtlCommands.h"
#include "devices/files/DeviceFileOps.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/monitors/CKvsUnivList.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "devices/recordings/CKvsRecSetnDlg.h"
#include "devlink/FileJobQueue.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "tests/devices/RecTest.h"

namespace {

using rectest::Text;

class RecCtl : public rectest::RecDeviceTest {
protected:
    void SetUp() override {
        RecDeviceTest::SetUp();
        view = std::make_unique<CKvsFileListCtl>(owner.get(), *host, ctl.get());
    }
    void TearDown() override {
        view.reset();
        RecDeviceTest::TearDown();
    }
    void Press(LPane& button) { LHandler::Send(LStdCtl_Selected, &button, view.get()); }
    CRecord* Ssta() { return ctl->Record(CKvsDevCtl::kSeqStat); }
    CRecord* Cmd() { return ctl->Record(CKvsDevCtl::kCommands); }
    CKvsRecCtlF& F() { return *view->Frame(); }

    std::unique_ptr<CKvsFileListCtl> view;
};

TEST_F(RecCtl, ButtonsSendTheirCommandsAndTheStatusComesBack) {
    // Each press is taken in before the next (the command channel keeps one
    // pending value a field).
    std::string sent;
    const struct {
        CStateButton* button;
        const char* rcct;
        u8 stat;
        const char* image;
    } presses[] = {{&F().fZero, "1", 0, "PLAYOFBTN"},
                   {&F().fPlay, "3", 2, "PLAYONBTN"},
                   {&F().fPlay, "3", 2, "PLAYONBTN"},
                   {&F().fStop, "2", 0, "PLAYOFBTN"}};
    for (const auto& p : presses) {
        Press(*p.button);
        sent += (sent.empty() ? "" : " ") + std::string(p.rcct);
        ASSERT_TRUE(Run([&] { return Writes("rcct") == sent; })) << Writes("rcct");
        ASSERT_TRUE(Run([&] { return Ssta()->GetU8(SstaF::stat) == p.stat; }));
        EXPECT_STREQ(F().PlayImage(), p.image) << sent;
        EXPECT_EQ(Cmd()->GetI32(DvcmF::rcct), 0) << "put back unnotified";
    }
    EXPECT_TRUE(owner->titles.empty()) << "not recording: no rename";
}

TEST_F(RecCtl, StoppingARecordingRenamesItAndLoadsTheNewName) {
    Press(F().fRec);
    ASSERT_TRUE(Run([&] { return Ssta()->GetU8(SstaF::stat) == 3; }));
    EXPECT_STREQ(F().RecImage(), "RECONBTN");
    EXPECT_EQ(std::string(F().fName.GetText().View()), "REC0001");
    owner->names = {"take1"};
    Press(F().fStop);
    EXPECT_EQ(owner->titles, std::vector<std::string>{Text("KVSRENDLG", 1) + ":REC0001"});
    ASSERT_TRUE(Run([&] { return Writes("rcpf") == "take1.drc"; }))
        << Writes("rcpf") << "|" << (owner->messages.empty() ? "" : owner->messages[0]);
    EXPECT_EQ(Writes("rcct"), "4 2");
    bool moved = false;
    for (const std::string& l : LogOf("req"))
        moved = moved || Field(l, "path") ==
                             "/.cmd/fmmv///sdc/kevrecfiles/REC0001.drc///sdc/kevrecfiles/take1.drc";
    EXPECT_TRUE(moved);
    EXPECT_TRUE(Cmd()->GetString(DvcmF::rcpf).IsEmpty()) << "emptied for the next load";

    // The next take, while a dropped file waits to be uploaded: a name that
    // file will take, in any case, is refused and said; the take keeps its
    // name and the upload writes its own file.
    Press(F().fRec);
    ASSERT_TRUE(Run([&] { return Ssta()->GetU8(SstaF::stat) == 3; }));
    const std::string take(F().fName.GetText().View());
    CKvsFileJobQueue jobs(nullptr, &ctl->FileQueue(), nullptr, nullptr, nullptr, nullptr);
    const std::string local = fDir.Path() + "/Late_gj.drc";
    std::ofstream(local) << std::string(3000, 'L');
    owner->onRename = [&] { jobs.AddJob(0, LString(local.c_str())); };
    owner->names = {"late_GJ"};
    owner->messages.clear();
    Press(F().fStop);
    owner->onRename = nullptr;
    EXPECT_EQ(owner->messages, std::vector<std::string>{Text("KVSFILEOP", 15) + "late_GJ.drc"});
    ASSERT_TRUE(Run([&] { return jobs.IsIdle(); }));
    EXPECT_EQ(Writes("rcpf"), "take1.drc") << "the take is not loaded under another name";
    const std::string card = fDir.Path() + "/" + std::to_string(serial) + "/sdc/kevrecfiles/";
    EXPECT_TRUE(std::filesystem::exists(card + take + ".drc")) << take;
    EXPECT_EQ(std::filesystem::file_size(card + "Late_gj.drc"), 3000u);

    // Another take, and the device begins the next by itself (its schedule) as
    // the stop lands, before anything reads its status again: the stop's rename
    // onto that take's name is refused, said, and the stopped take keeps its own.
    Press(F().fRec);
    ASSERT_TRUE(Run([&] { return Ssta()->GetU8(SstaF::stat) == 3; }));
    const std::string third(F().fName.GetText().View());
    const std::string sn = "serno=" + std::to_string(serial);
    owner->onRename = [&] {
        fSim.Cmd("rec-self " + sn + " act=start path=/sdc/kevrecfiles/Next_gj.drc");
    };
    owner->names = {"Next_gj"};
    owner->messages.clear();
    Press(F().fStop);
    owner->onRename = nullptr;
    EXPECT_EQ(owner->messages, std::vector<std::string>{Text("KVSFILEOP", 16) + "Next_gj.drc"});
    ASSERT_EQ(fSim.Cmd("rec-self " + sn + " act=stop"), "ok");
    EXPECT_TRUE(std::filesystem::exists(card + third + ".drc")) << third;
    std::ifstream next(card + "Next_gj.drc");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(next), {}), "DRC");
}

// The take being recorded goes onto its name when it stops, over whatever holds
// that name then: every writer of the card keeps off it while it records. Each
// refused write is said; at the stop the card holds the take and Draft_c.
TEST_F(RecCtl, WhileRecordingNothingIsWrittenOntoTheTakesName) {
    const std::string card = fDir.Path() + "/" + std::to_string(serial) + "/sdc/kevrecfiles/";
    std::filesystem::create_directories(card);
    std::ofstream(card + "Draft_c.drc") << "draft";
    Press(F().fRec);
    ASSERT_TRUE(Run([&] { return Ssta()->GetU8(SstaF::stat) == 3; }));
    const std::string take(F().fName.GetText().View());
    ASSERT_EQ(take, "REC0001");
    const std::string local = fDir.Path() + "/" + take + ".drc";
    std::ofstream(local) << std::string(3000, 'L');
    CKvsFileJobQueue jobs(nullptr, &ctl->FileQueue(), nullptr, nullptr, nullptr, nullptr);
    const std::string refused = Text("KVSFILEOP", 16);
    const struct {
        const char* what;
        std::function<void()> write;
        std::string said;
    } writers[] = {
        {"Device > Rename of Draft_c to the take's name",
         [&] {
             owner->names = {take};
             RenameDeviceFile(owner.get(), &ctl->FileQueue(), ctl->Record(CKvsDevCtl::kContents),
                              LString("Draft_c.drc"), 0);
         },
         refused + take + ".drc"},
        {"the same in small letters",
         [&] {
             owner->names = {"rec0001"};
             RenameDeviceFile(owner.get(), &ctl->FileQueue(), ctl->Record(CKvsDevCtl::kContents),
                              LString("Draft_c.drc"), 0);
         },
         refused + "rec0001.drc"},
        {"a drop of a local file of the take's name",
         [&] {
             F().fFiles->fDrop.SetKind(0);
             F().fFiles->fDrop.AddDropped(LString(local.c_str()));
             ASSERT_TRUE(Run([&] { return !owner->messages.empty(); }));
         },
         refused + take + ".drc"},
        // Dropped before the take began: the upload's own check ends it.
        {"an upload queued before the take began",
         [&] {
             jobs.AddJob(0, LString(local.c_str()));
             ASSERT_TRUE(Run([&] { return jobs.IsIdle(); }));
             LString path;
             u32 status = 0;
             ASSERT_TRUE(jobs.TakeFinished(&path, &status));
             EXPECT_EQ(status, CKvsFileJobQueue::kNameTaken);
         },
         ""},
    };
    for (const auto& w : writers) {
        owner->messages.clear();
        w.write();
        EXPECT_EQ(owner->messages, w.said.empty() ? std::vector<std::string>{}
                                                  : std::vector<std::string>{w.said})
            << w.what;
        EXPECT_EQ(ctl->Uploads() ? ctl->Uploads()->Jobs().JobsAdded() : 0u, 0u) << w.what;
    }
    for (const std::string& l : LogOf("req")) {
        EXPECT_NE(Field(l, "path").rfind("/.cmd/fmmv", 0), 0u) << l;
        EXPECT_NE(Field(l, "path"), "/sdc/kevrecfiles/" + take + ".drc") << l;
    }
    // Stopped, the rename of the take declined: both files are on the card.
    owner->names.clear();
    Press(F().fStop);
    ASSERT_TRUE(Run([&] { return Ssta()->GetU8(SstaF::stat) == 0; }));
    ASSERT_TRUE(Run([&] { return std::filesystem::exists(card + take + ".drc"); }));
    std::ifstream draft(card + "Draft_c.drc");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(draft), {}), "draft");
    EXPECT_NE(std::filesystem::file_size(card + take + ".drc"), 3000u);
}

TEST_F(RecCtl, BarWritesPositionsAndHoldsAfterAUserScroll) {
    Ssta()->SetI32(nullptr, SstaF::sqet, 60000);
    Ssta()->SetI32(nullptr, SstaF::sqtm, 20000);
    EXPECT_EQ(F().fBar.GetValue(), 20000);
    EXPECT_EQ(F().fBar.Page(), 5000);
    // Each write is taken in before the next scroll.
    std::string sent;
    for (const auto& [what, value] : {std::pair{LScrollBar_Up, "19000"},
                                      {LScrollBar_Dw, "20000"},
                                      {LScrollBar_Change, "30000"}}) {
        if (what == LScrollBar_Change) F().fBar.SetValue(30000);
        LHandler::Send(what, &F().fBar, view.get());
        sent += (sent.empty() ? "" : " ") + std::string(value);
        ASSERT_TRUE(Run([&] { return Writes("rclc") == sent; })) << Writes("rclc");
    }
    Ssta()->SetI32(nullptr, SstaF::sqtm, 40000);
    EXPECT_EQ(F().fBar.GetValue(), 30000) << "held after the user's scroll";
    fLoop.Advance(1000);
    Ssta()->SetI32(nullptr, SstaF::sqtm, 41000);
    EXPECT_EQ(Cmd()->GetI32(DvcmF::rclc), -1);
    EXPECT_EQ(F().fBar.GetValue(), 41000);
}

TEST_F(RecCtl, FileClicksLoadOnlyRecordings) {
    CKvsFileList* list = F().fFiles->fList;
    CRecord* dcts = ctl->Record(CKvsDevCtl::kContents);
    const std::string folder = fDir.Path() + "/" + std::to_string(serial) + "/sdc/kevrecfiles";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/a.drc") << "DRC";
    ASSERT_TRUE(Run([&] { return list->Count() == 1; }));
    list->SelectCell(LCell{0, 0});
    LHandler::Send(CKvsFileList_SglClk, list, view.get());
    ASSERT_TRUE(Run([&] { return !Writes("rcpf").empty(); }));
    LHandler::Send(CKvsFileList_DblClk, list, view.get());
    ASSERT_TRUE(Run([&] { return Writes("rcct") == "3"; }))
        << Writes("rcct") << "|" << Writes("rcpf");
    ASSERT_TRUE(Run([&] { return Ssta()->GetString(SstaF::cflp) == "/sdc/kevrecfiles/a.drc"; }));
    LHandler::Send(CKvsFileList_WillDelete, list, view.get());
    ASSERT_TRUE(Run([&] { return Writes("rcpf").size() > 45; }));
    dcts->SetU8(nullptr, DctsF::field0, 1);
    LHandler::Send(CKvsFileList_SglClk, list, view.get());
    LHandler::Send(CKvsFileList_DblClk, list, view.get());
    fLoop.Advance(2000);
    SettleSim(fLoop, fSim);
    EXPECT_EQ(Writes("rcct"), "3") << "audio shown: nothing loaded";
    EXPECT_EQ(Writes("rcpf"), "/sdc/kevrecfiles/a.drc /sdc/kevrecfiles/a.drc %20");
}

TEST(RecCtlText, StatusShownAsTheDeviceReportsIt) {
    const struct {
        i32 sqtm;
        const char* text;
    } times[] = {{-1000, "23:59:59"},
                 {INT32_MIN, "03:28:36"},
                 {3661000, "01:01:01"},
                 {86400000, "00:00:00"},
                 {-86400000, "00:00:00"}};
    for (const auto& t : times)
        EXPECT_EQ(std::string(RecTimeText(t.sqtm).View()), t.text) << t.sqtm;
    const struct {
        i32 tm, tt, et, value, min, max, page;
    } bars[] = {{100, 0, 60000, 100, 0, 60000, 5000},
                {5, 60000, 60000, 0, 0, 0, 0},
                {5, 70000, 60000, 0, 0, 0, 0},
                {0, INT32_MIN, INT32_MAX, 0, INT32_MIN, INT32_MAX, 357913941}};
    for (const auto& b : bars) {
        const RecBarRange r = RecBarFor(b.tm, b.tt, b.et);
        EXPECT_EQ(r.value, b.value);
        EXPECT_EQ(r.min, b.min);
        EXPECT_EQ(r.max, b.max);
        EXPECT_EQ(r.page, b.page) << b.tt << ".." << b.et;
    }
    const struct {
        const char* cflp;
        const char* label;
        const char* rename;
    } files[] = {{"/sdc/kevrecfiles/REC0007.drc", "REC0007", "REC0007.drc"},
                 {"/sdc/kevrecfiles/", "", ""},
                 {"/sdc/kevrecfiles/.", ".", ""},
                 {"/sdc/kevrecfiles/..", ".", ""},
                 {"", "", ""}};
    for (const auto& f : files) {
        EXPECT_EQ(std::string(RecFileLabel(LString(f.cflp)).View()), f.label) << f.cflp;
        EXPECT_EQ(std::string(RecRenameSource(LString(f.cflp)).View()), f.rename) << f.cflp;
    }
}

}  // namespace

namespace {

TEST_F(RecCtl, RecordingInputLoadsAndSavesEitherAddressForm) {
    CRecord* prrc = ctl->Settings()->GetChild(DvstF::prrc);
    prrc->SetU32(nullptr, PrrcF::anun, 291);
    const struct {
        u8 source;
        bool artnet, sacn, channels;
    } sources[] = {{0, false, false, false},
                   {1, true, false, true},
                   {2, false, false, true},
                   {3, false, true, true},
                   {9, false, false, false}};
    for (const auto& c : sources) {
        prrc->SetU8(nullptr, PrrcF::rcct, c.source);
        CKvsRecSetnDlg d(owner.get());
        d.Load(prrc);
        EXPECT_EQ(d.fArtNet.fNet.GetValue(), 1);
        EXPECT_EQ(d.fArtNet.fSub.GetValue(), 2);
        EXPECT_EQ(d.fArtNet.fUni.GetValue(), 3);
        EXPECT_EQ(d.fSacn.fUni.GetValue(), 292);
        EXPECT_EQ((d.fArtNet.State() & 1) != 0, c.artnet) << int(c.source);
        EXPECT_EQ((d.fSacn.State() & 1) != 0, c.sacn) << int(c.source);
        EXPECT_EQ((d.fChannels.State() & 1) != 0, c.channels) << int(c.source);
        prrc->SetU32(nullptr, PrrcF::anun, 0);
        d.Save(prrc);
        EXPECT_EQ(prrc->GetU32(PrrcF::anun), 291u) << int(c.source);
    }
    // Cancel stores nothing.
    owner->cancelSettings = true;
    prrc->SetU32(nullptr, PrrcF::anun, 7);
    RunControlCommand(*ctl, "cRecSetn");
    EXPECT_EQ(prrc->GetU32(PrrcF::anun), 7u);
}

}  // namespace

namespace {

TEST_F(RecCtl, UniversesComeFromTheMonitorOrTheDevice) {
    CRecord* uvst = Ssta()->GetChild(SstaF::uvst);
    CRecord* monitor = ctl->Record(CKvsDevCtl::kDrcStat);
    CKvsUnvList* list = F().fUniverses;
    const struct {
        u8 usnm, saco;
        CRecord* source;
        u8 format;
    } cases[] = {{0, 0, uvst, 0}, {1, 0, monitor, 0}, {1, 1, uvst, 1}, {0, 1, uvst, 1}};
    for (const auto& c : cases) {
        prefs->Root()->SetU8(nullptr, PrefF::usnm, c.usnm);
        ctl->Settings()->SetU8(nullptr, DvstF::saco, c.saco);
        EXPECT_EQ(list->Status(), c.source) << int(c.usnm) << int(c.saco);
        EXPECT_EQ(list->NumberFormat(), c.format);
    }
    // The status is read every 100 ms for a second after it changed, else each second.
    auto reads = [&] {
        u32 n = 0;
        for (const std::string& l : LogOf("req")) n += Field(l, "path") == "/.cmd/udseqstat/";
        return n;
    };
    const u32 start = fLoop.NowMs();
    ASSERT_TRUE(Run([&] { return fLoop.NowMs() - start > 1500 && reads() >= 2; }, 4000));
    u32 before = reads();
    const u32 t0 = fLoop.NowMs();
    ASSERT_TRUE(Run([&] { return reads() >= before + 2; }, 3000));
    EXPECT_GE(fLoop.NowMs() - t0, 1000u) << "idle: one read a second";
    Ssta()->SetU8(nullptr, SstaF::stat, 2);
    before = reads();
    ASSERT_TRUE(Run([&] { return reads() >= before + 4; }, 1400)) << "fast after a change";
}

}  // namespace
