// The basic play edit and its recording services against a simulated device
// on loopback: the requests' texts, the output names asked for, the start found
// in a recording, join and merge bodies, the play frame's buttons and menus.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "devices/recordings/CDrcCmdHandler.h"
#include "devlink/FileJobQueue.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "framework/LMenu.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "tests/devices/PlayTest.h"
#include "tests/devices/RecTest.h"

namespace {

using rectest::Text;

class DrcEdit : public rectest::RecDeviceTest {
protected:
    void SetUp() override {
        serial = 3505;
        RecDeviceTest::SetUp();
        edit = std::make_unique<CDrcCmdHandler>(owner.get(), host.get(), ctl.get());
        ForgetDrcNames();
        // One sequence of six scenes, clips "s0.drc" to "s5.drc".
        CRecord* settings = edit->SeqSettings();
        InsertNewSequence(settings, nullptr, 0);
        seq = settings->GetListItem(SqstF::sqcs, 0);
        for (u32 i = 0; i < 6; ++i) {
            InsertSceneUnique(seq, nullptr, SqncF::scns, i, nullptr);
            Clip(i)->SetString(nullptr, SnctF::flnm,
                               LString(("s" + std::to_string(i) + ".drc").c_str()));
        }
    }
    void TearDown() override {
        edit.reset();
        RecDeviceTest::TearDown();
    }
    CRecord* Clip(u32 i) { return seq->GetListItem(SqncF::scns, i)->GetChild(ScenF::ctdr); }
    // The service requests the device took in, and the command writes.
    std::string Requests() {
        std::string out;
        for (const std::string& l : LogOf("svc"))
            if (Field(l, "op") == "req") out += (out.empty() ? "" : " ") + Field(l, "name");
        return out;
    }
    std::string LastBody() {
        std::string body;
        for (const std::string& l : LogOf("svc"))
            if (Field(l, "op") == "req") body = Field(l, "body");
        return body;
    }
    void SelectScenes(const LRgn& rows) {
        edit->Frame()->List()->SelectCell(LCell{0, 0});
        edit->Frame()->SceneEdit()->List()->SetSelection(rows);
    }

    std::unique_ptr<CDrcCmdHandler> edit;
    CRecord* seq = nullptr;
};

TEST_F(DrcEdit, TrimAsksForAFreeNameAndSendsItsRange) {
    // On the card, whatever the list was last told.
    const std::string card = fDir.Path() + "/" + std::to_string(serial) + "/sdc/kevrecfiles/";
    std::filesystem::create_directories(card);
    for (const char* n : {"taken.drc", "Loud.DRC"}) std::ofstream(card + n) << "DRC";
    const struct {
        const char* file;
        f64 start, end;
        std::vector<std::string> typed;
        std::deque<bool> answers;
        const char* request;
        std::vector<u32> items;  // messages of "KVSSVCU"
        // A local file whose upload waits in the device's job queue meanwhile,
        // and what is said of the name it will write.
        const char* queued = "";
        std::string said = "";
        bool recording = false;  // the device records its first take meanwhile
        // A take REC0101.drc the device begins by itself, no view reading its
        // status (1), or one it ended by itself since a view read it recording (2).
        int selfTake = 0;
    } cases[] = {
        {"a.drc", 2, 10.25, {"a_cut"}, {}, "drctrim//a.drc//a_cut.drc//2//10.25", {}},
        {"a.drc", 5, 5, {"a_cut"}, {}, "drctrim//a.drc//a_cut.drc//5", {}},
        // The source's own name: refused, asked again.
        {"a.drc", 0, 1, {"a", "b"}, {}, "drctrim//a.drc//b.drc//0//1", {14}},
        // A listed name: replaced only when confirmed.
        {"a.drc",
         0,
         1,
         {"taken", "taken"},
         {false, true},
         "drctrim//a.drc//taken.drc//0//1",
         {16, 16}},
        // The same to the card in another case: asked, and written onto that file.
        {"a.drc", 0, 1, {"loud"}, {true}, "drctrim//a.drc//Loud.DRC//0//1", {16}},
        {"a.drc", 0, 1, {"A", "b"}, {}, "drctrim//a.drc//b.drc//0//1", {14}},
        // Names that cannot travel in a request: refused, or made safe as typed.
        {"x/y.drc", 0, 1, {}, {}, "", {20}},
        {"a.drc", 0, 1, {"../c"}, {}, "drctrim//a.drc//___c.drc//0//1", {}},
        {"a.drc", 0, 1, {}, {}, "", {}},
        // The name of the take being recorded, in any case: the take goes onto
        // it at its stop, over the trimmed recording. Refused, said; nothing is sent.
        {"a.drc", 0, 1, {"rec0001"}, {}, "", {}, "", Text("KVSFILEOP", 16) + "rec0001.drc", true},
        // A name an upload waits to write, in any case: it would replace the
        // trimmed recording later without a word. Refused, said; nothing is sent.
        {"a.drc",
         0,
         1,
         {"late_GJ"},
         {},
         "",
         {},
         "Late_gj.drc",
         Text("KVSFILEOP", 15) + "late_GJ.drc"},
        {"a.drc", 0, 1, {"Early"}, {}, "drctrim//a.drc//Early.drc//0//1", {}, "Late_gj.drc"},
        // Whatever the program last read, the device is asked.
        {"a.drc",
         0,
         1,
         {"REC0101"},
         {},
         "",
         {},
         "",
         Text("KVSFILEOP", 16) + "REC0101.drc",
         false,
         1},
        {"a.drc",
         0,
         1,
         {"REC0101"},
         {true},
         "drctrim//a.drc//REC0101.drc//0//1",
         {16},
         "",
         "",
         false,
         2},
    };
    for (const auto& c : cases) {
        std::optional<CKvsFileJobQueue> jobs;
        const std::string local = fDir.Path() + "/" + c.queued;
        if (*c.queued) {
            jobs.emplace(nullptr, &ctl->FileQueue(), nullptr, nullptr, nullptr, nullptr);
            std::ofstream(local) << std::string(3000, 'L');
            jobs->AddJob(0, LString(local.c_str()));
        }
        auto record = [&](i32 rcct, u8 stat) {
            SetCommandOneShot(ctl->Record(CKvsDevCtl::kCommands), DvcmF::rcct, rcct);
            // Read until the device is seen to have taken the command.
            return Run([&] {
                if (!ctl->SeqStatChannel().IsBusy()) ctl->SeqStatChannel().Refresh();
                return ctl->Record(CKvsDevCtl::kSeqStat)->GetU8(SstaF::stat) == stat;
            });
        };
        if (c.recording) {
            ASSERT_TRUE(record(4, 3));
        }
        const std::string sn = "serno=" + std::to_string(serial);
        if (c.selfTake) {
            ASSERT_EQ(fSim.Cmd("rec-self " + sn + " act=start path=/sdc/kevrecfiles/REC0101.drc"),
                      "ok");
        }
        if (c.selfTake == 2) {
            ctl->SeqStatChannel().Refresh();
            ASSERT_TRUE(
                Run([&] { return ctl->Record(CKvsDevCtl::kSeqStat)->GetU8(SstaF::stat) == 3; }));
            ASSERT_EQ(fSim.Cmd("rec-self " + sn + " act=stop"), "ok");
        }
        const size_t before = Requests().size();
        owner->messages.clear();
        owner->titles.clear();
        owner->names.assign(c.typed.begin(), c.typed.end());
        owner->answers = c.answers;
        RequestDrcTrim(edit.get(), *ctl, LString(c.file), c.start, c.end);
        SettleSim(fLoop, fSim);
        const std::string all = Requests();
        EXPECT_EQ(all.substr(std::min(all.size(), before + (before ? 1 : 0))), c.request) << c.file;
        std::vector<std::string> want;
        for (u32 i : c.items) want.push_back(Text("KVSSVCU", i));
        if (!c.said.empty()) want.push_back(c.said);
        EXPECT_EQ(owner->messages, want) << c.request;
        if (jobs) {
            ASSERT_TRUE(Run([&] { return jobs->IsIdle(); }));
            EXPECT_EQ(std::filesystem::file_size(card + c.queued), 3000u);
            std::filesystem::remove(card + c.queued);
        }
        if (!c.typed.empty()) {
            EXPECT_EQ(owner->titles[0], Text("KVSSVCU", 17) + ":a") << "starts from the base name";
        }
        if (c.recording) {
            ASSERT_TRUE(record(2, 0));
        }
        if (c.selfTake) {
            ASSERT_EQ(
                fSim.Cmd("chan-set " + sn + " path=/.cmd/udseqstat/stat value=0").substr(0, 2),
                "ok");
            std::filesystem::remove(card + "REC0101.drc");
        }
    }
    // The device had the command record's refresh before the request.
    const std::vector<std::string> chan = LogOf("chan");
    ASSERT_GE(chan.size(), 2u);
    EXPECT_EQ(Field(chan[chan.size() - 2], "path"), "/.cmd/udkvtcmd/plsn");
}

TEST_F(DrcEdit, DetectStartWritesTheStartIntoTheClipAskedAbout) {
    const struct {
        const char* reply;  // "" the device's default answer
        bool changeClip;
        i32 sttm;
        bool noStart;
    } cases[] = {{"100%2012.3456", false, 12346, false},
                 {"100", false, -1, true},
                 {"100%20abc", false, -1, true},
                 {"100%203000000", false, -1, true},
                 {"100%201.5", true, -1, false}};
    SelectScenes(LRgn(LRect(0, 1, 1, 2)));
    edit->Frame()->SceneEdit()->Update();
    for (const auto& c : cases) {
        fSim.Cmd("svc-clear serno=" + std::to_string(serial));
        fSim.Cmd("svc-reply serno=" + std::to_string(serial) + " name=drcfindev text=" + c.reply);
        Clip(1)->SetString(nullptr, SnctF::flnm, LString("s1.drc"));
        Clip(1)->SetI32(nullptr, SnctF::sttm, -1);
        owner->messages.clear();
        // A device report renames the clip while the service runs.
        if (c.changeClip)
            owner->turn = [this] {
                Clip(1)->SetString(nullptr, SnctF::flnm, LString("other.drc"));
                Step();
            };
        edit->DetectStart();
        EXPECT_EQ(Clip(1)->GetI32(SnctF::sttm), c.sttm) << c.reply;
        EXPECT_EQ(owner->messages.size(), c.noStart ? 1u : 0u) << c.reply;
        if (c.noStart) {
            EXPECT_EQ(owner->messages[0], Text("KVSDETSTART", 0));
        }
    }
    EXPECT_EQ(Requests().substr(0, 27), "drcfindev//s1.drc//over//40");
    EXPECT_EQ(
        NodeGetIntOr(NodeGetSubNode(prefs->Root()->GetChild(PrefF::misc), "detstart"), "ovr", 0),
        40);
    owner->type = 0;
    edit->DetectStart();
    EXPECT_NE(Requests().find("drcfindev//other.drc//real"), std::string::npos);
}

TEST_F(DrcEdit, JoinAndMergeSendTheirScenesAndMenusFollowTheSelection) {
    LMenuBar bar(nullptr, "PLAYW");
    auto drc = [&] {
        std::string out;
        for (const char* c : {"cDetStart", "cCntTrim", "cMrgDrc", "cJoinDrc"})
            if (playtest::Enabled(bar, edit.get()).find(c) != std::string::npos)
                out += c + std::string(" ");
        return out;
    };
    EXPECT_EQ(drc(), "") << "no sequence selected";
    SelectScenes(LRgn(LRect(0, 3, 1, 6)));
    EXPECT_EQ(drc(), "cDetStart cCntTrim cMrgDrc cJoinDrc ");
    owner->names = {"joined"};
    playtest::Choose(bar, edit.get(), "cJoinDrc");
    EXPECT_EQ(Requests(), "drcjoin//joined.drc");
    const std::string join = LastBody();
    EXPECT_NE(join.find("snst%3D\"3\"%20snls%3D\"5\""), std::string::npos) << join;

    LRgn two(LRect(0, 4, 1, 5));
    two.Union(LRgn(LRect(0, 1, 1, 2)));
    SelectScenes(two);
    EXPECT_EQ(drc(), "cDetStart cCntTrim cMrgDrc ") << "not one rectangle: no join";
    owner->names = {"s1", "mixed"};
    playtest::Choose(bar, edit.get(), "cMrgDrc");
    EXPECT_EQ(owner->titles.back(), Text("KVSSVCU", 18) + ":s1") << "the merge name starts empty";
    EXPECT_EQ(Requests(), "drcjoin//joined.drc drcmerge//mixed.drc");
    const std::string merge = LastBody();
    EXPECT_LT(merge.find("s1.drc"), merge.find("s4.drc")) << "selection order: " << merge;

    // The device records REC0104 by itself, no view reading its status: a merge
    // or a join onto the take's name is refused and said; nothing is sent.
    const std::string sn = "serno=" + std::to_string(serial);
    ASSERT_EQ(fSim.Cmd("rec-self " + sn + " act=start path=/sdc/kevrecfiles/REC0104.drc"), "ok");
    owner->messages.clear();
    owner->names = {"REC0104"};
    playtest::Choose(bar, edit.get(), "cMrgDrc");
    SelectScenes(LRgn(LRect(0, 3, 1, 6)));
    owner->names = {"rec0104"};
    playtest::Choose(bar, edit.get(), "cJoinDrc");
    EXPECT_EQ(owner->messages, (std::vector<std::string>{Text("KVSFILEOP", 16) + "REC0104.drc",
                                                         Text("KVSFILEOP", 16) + "rec0104.drc"}));
    EXPECT_EQ(Requests(), "drcjoin//joined.drc drcmerge//mixed.drc");
    ASSERT_EQ(fSim.Cmd("chan-set " + sn + " path=/.cmd/udseqstat/stat value=0").substr(0, 2), "ok");

    ctl->Record(CKvsDevCtl::kContents)->SetU8(nullptr, DctsF::field0, 1);
    EXPECT_EQ(drc(), "") << "aux scenes shown";
}

TEST_F(DrcEdit, FrameButtonsAddSequencesAndScenesAndStop) {
    LHandler::Send(LStdCtl_Selected, &edit->Frame()->PlusButton(), edit.get());
    EXPECT_EQ(edit->SeqSettings()->GetListCount(SqstF::sqcs), 2u);
    EXPECT_EQ(edit->Frame()->GetSelectedSeq(), edit->SeqSettings()->GetListItem(SqstF::sqcs, 1));
    SelectScenes(LRgn(LRect(0, 1, 1, 3)));
    LHandler::Send(LStdCtl_Selected, &edit->Frame()->SceneEdit()->PlusButton(), edit.get());
    EXPECT_EQ(seq->GetListCount(SqncF::scns), 7u);
    EXPECT_EQ(edit->Frame()->SceneEdit()->List()->Selection(), LRgn(LRect(0, 3, 1, 4)));
    LHandler::Send(LStdCtl_Selected, &edit->Frame()->StopButton(), edit.get());
    fLoop.Advance(500);
    SettleSim(fLoop, fSim);
    ASSERT_TRUE(RunVirtual(
        fLoop, [&] { return LogOf("chan").size() > 15; }, 5000,
        [this] { SettleSim(fLoop, fSim); }));
    std::string plsn;
    for (const std::string& l : LogOf("chan"))
        if (Field(l, "path") == "/.cmd/udkvtcmd/plsn") plsn += Field(l, "value");
    EXPECT_EQ(plsn, "/");
    // The sequence the device chose is selected.
    const u32 id = edit->SeqSettings()->GetListItem(SqstF::sqcs, 0)->GetU32(SqncF::sqid);
    ctl->Record(CKvsDevCtl::kContents)->SetU32(nullptr, DctsF::seqChosen, id);
    EXPECT_EQ(edit->Frame()->GetSelectedSeq(), seq);
    // Nothing selected or past the end: the scene edit frame empties.
    edit->Frame()->List()->SetSelection(LRgn());
    EXPECT_EQ(edit->Frame()->SceneEdit()->Sequence(), nullptr);
}

TEST_F(DrcEdit, EditorWindowsFollowTheFrameShownOrHidden) {
    const CPlayHooks saved = PlayHooks();
    for (auto& w : PlayHooks().windows) w = playtest::MakeStubWindow;
    LMenuBar bar(nullptr, "PLAYW");
    playtest::Choose(bar, edit.get(), "cScnBtnWin");
    LFrame* win = edit->Window(PlayWindow::kButtons);
    ASSERT_NE(win, nullptr);
    CKvsPlayFrm* frame = edit->Frame();
    // Each step starts from the editor window put the other way, so only a
    // visibility message from the frame can bring it where it belongs.
    const struct {
        const char* step;
        std::function<void()> act;
        bool shown;
    } steps[] = {
        {"container hidden", [&] { host->HideWindow(); }, false},
        {"container shown", [&] { host->ShowWindow(); }, true},
        {"frame hidden", [&] { frame->SetState(LPane::kOpHide); }, true},
        {"frame shown", [&] { frame->SetState(LPane::kOpShow); }, true},
    };
    for (const auto& s : steps) {
        if (s.shown)
            win->HideWindow();
        else
            win->ShowWindowNoActivate();
        s.act();
        EXPECT_EQ(win->IsShown(), s.shown) << s.step;
    }
    // Other state changes leave the windows alone.
    win->HideWindow();
    frame->SetState(LPane::kOpContainerActive);
    EXPECT_FALSE(win->IsShown());
    PlayHooks() = saved;
}

TEST_F(DrcEdit, TrimFromTheMenuSendsTheSelectedClipsRange) {
    SelectScenes(LRgn(LRect(0, 2, 1, 3)));
    Clip(2)->SetString(nullptr, SnctF::flnm, LString("a.drc"));
    Clip(2)->SetI32(nullptr, SnctF::sttm, 2000);
    Clip(2)->SetI32(nullptr, SnctF::entm, 10250);
    edit->Frame()->SceneEdit()->Update();
    LMenuBar bar(nullptr, "PLAYW");
    owner->names = {"a_cut"};
    playtest::Choose(bar, edit.get(), "cCntTrim");
    SettleSim(fLoop, fSim);
    EXPECT_EQ(Requests(), "drctrim//a.drc//a_cut.drc//2//10.25");
    EXPECT_EQ(LastBody(), "%") << "no body";
    EXPECT_EQ(owner->titles, std::vector<std::string>{Text("KVSSVCU", 17) + ":a"});
}

TEST(DrcText, RequestsAndRepliesAsTheDeviceReadsThem) {
    EXPECT_EQ(std::string(DrcFindStartText(LString("a.drc"), 0, 9).View()),
              "drcfindev//a.drc//real");
    EXPECT_EQ(std::string(DrcFindStartText(LString("a.drc"), 1, 9).View()),
              "drcfindev//a.drc//chng");
    EXPECT_EQ(std::string(DrcFindStartText(LString("a.drc"), 2, 40).View()),
              "drcfindev//a.drc//over//40");
    const struct {
        const char* reply;
        bool ok;
        f64 seconds;
    } replies[] = {{"12.3456", true, 12.3456}, {" 7\r\n", true, 7},   {"", false, 0},
                   {"-1", false, 0},           {"2147484", false, 0}, {"1e3", true, 1000},
                   {"nan", false, 0},          {"3x", false, 0}};
    for (const auto& r : replies) {
        f64 s = 0;
        EXPECT_EQ(ParseDrcStartReply(LString(r.reply), &s), r.ok) << r.reply;
        if (r.ok) {
            EXPECT_DOUBLE_EQ(s, r.seconds) << r.reply;
        }
    }
    EXPECT_EQ(std::string(DrcOutputName(LString("x"), LString("a.DRC"), true).View()), "x.DRC");
    EXPECT_EQ(std::string(DrcOutputName(LString("x.wav"), LString(), false).View()), "x.drc");
}

}  // namespace
