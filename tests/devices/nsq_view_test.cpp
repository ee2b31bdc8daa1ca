// The NSQ play edit of a device in format 2 against a simulated device on
// loopback: plays from a time, stop, the play position text, the detected
// start of a clip, the redraw after media durations change, the monitor window.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevCtl.h"
#include "devices/DeviceHookInstall.h"
#include "devices/monitors/CKvsScnUnvF.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devices/CKvsDevCtlWin.h"
#include "editors/CKvsSeqList.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqTrkViewF.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/MediaIndex.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PlayDeviceTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

constexpr u16 kSerial = 341;

double sDetected = 0;
bool MoveLater(LHandler*, u32* ms, u32* follow) {
    *ms += 1000;
    *follow = 1;
    return true;
}
bool Detect(MPlayDevice&, LHandler*, const LString&, double* seconds) {
    *seconds = sDetected;
    return true;
}

class NsqView : public devtest::PlayDeviceTest {
protected:
    void SetUp() override {
        PlayDeviceTest::SetUp();
        playtest::EmptyHooks();
        InstallDeviceHooks();
        DeviceHooks().drcDetectStart = Detect;
        owner.ShowWindow();
        AddDevice(kSerial, 1);
        ASSERT_NO_FATAL_FAILURE(OpenController(kSerial));
        edit.reset(
            static_cast<CNSqTrkViewF*>(NewPlayView(kSeqFormatNsq, &root, &owner, ctl.get())));
        ASSERT_NO_FATAL_FAILURE(LoadEdit(*edit));
        CRecord* set = edit->SeqSettings()->GetChild(SqstF::nsqs);
        for (u32 i = 0; i < 3; ++i) {
            NSqSetNewSeq(set, nullptr, i);
            NSqSeqAddTrack(set->GetListItem(SsetF::seqs, i), nullptr, 0);
        }
        third = set->GetListItem(SsetF::seqs, 2);
        edit->SetShownSequence(third);
        fSim.Cmd("log clear");
    }
    void RegisterKinds() override {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
    }
    void TearDown() override {
        edit.reset();
        ctl.reset();
        playtest::EmptyHooks();
        PlayDeviceTest::TearDown();
    }
    CRecord* State() { return ctl->StateDoc()->Root(); }
    CRecord* AddDmxScene(u32 ms, const char* file) {
        CRecord* trk = third->GetListItem(SseqF::trks, 0);
        const u32 at = NSqTrkAddScene(trk, nullptr, ms, kKindPdmx);
        CRecord* prms = trk->GetListItem(StrkF::scns, at)->GetChild(SscnF::prms);
        prms->SetString(nullptr, PdmxF::file, LString(file));
        edit->Scale().Selection().SelectOnly(0, at);
        return prms;
    }

    std::unique_ptr<CNSqTrkViewF> edit;
    CRecord* third = nullptr;
};

TEST_F(NsqView, PlayFromTimeStopAndPosition) {
    const CRecord* cmd = ctl->CommandDoc()->Root();
    State()->SetU32(nullptr, DvssF::sqid, 99);  // another sequence plays
    edit->PlayFrom(12.5);
    EXPECT_STREQ(cmd->GetString(DvcmF::plsn).CStr(), "");
    EXPECT_EQ(cmd->GetI32(DvcmF::pltm), -1);
    edit->StopPlay();
    EXPECT_EQ(cmd->GetU8(DvcmF::stps), 0);
    ASSERT_TRUE(Run([&] { return Writes().size() >= 3; }));
    EXPECT_EQ(Writes(), (std::vector<std::string>{"plsn=/nsqs/seqs/2", "pltm=12500", "stps=1"}));
    // The time shows only while the shown sequence is the one playing.
    State()->SetU32(nullptr, DvssF::sqtm, 3723400);
    EXPECT_STREQ(edit->PlayTimeText().CStr(), "--:--:--");
    State()->SetU32(nullptr, DvssF::sqid, third->GetU32(SseqF::sqid));
    EXPECT_STREQ(edit->PlayTimeText().CStr(), "01:02:03");
    EXPECT_EQ(edit->Context().Status()->GetU32(NsqStatF::time), 3723400u);
}

TEST_F(NsqView, DetectedStart) {
    struct Case {
        double seconds;
        u32 rngf;
    } cases[] = {{2.5, 2500}, {-1, 700}, {NAN, 700}, {INFINITY, 700}, {4294968.0, 700}};
    for (const Case& c : cases) {
        CRecord* clip = AddDmxScene(1000, "a.drc");
        clip->SetU32(nullptr, PdmxF::rngf, 700);
        sDetected = c.seconds;
        EXPECT_EQ(edit->DetectStart(), c.rngf != 700) << c.seconds;
        EXPECT_EQ(clip->GetU32(PdmxF::rngf), c.rngf) << c.seconds;
        if (c.rngf != 700) {
            ASSERT_TRUE(edit->UndoQueue().Undo());
            EXPECT_EQ(clip->GetU32(PdmxF::rngf), 700u);
        }
    }
}

TEST_F(NsqView, ZoomPreferenceAndMediaRedraw) {
    // The unit is the width of "0" as soon as the editor is built, with no style
    // change yet (7 in the stand-in font): 9 x 7 s gives a 120 s grid at 1 s a pixel.
    EXPECT_EQ(edit->Scale().Unit(), 7u);
    EXPECT_DOUBLE_EQ(edit->Scale().Grid(), 120.0);
    edit->SetZoom(-150);
    LString stored;
    NodeFind(prefs->Root()->GetChild(PrefF::misc), "vwtmscl", &stored);
    EXPECT_STREQ(stored.CStr(), "0.032");
    EXPECT_NEAR(edit->Scale().Scale(), 0.0316228, 1e-6);
    CRecord* media = ctl->MediaIndex();
    ASSERT_TRUE(media);
    AddMediaFile(media, 0, "a.drc")->SetU32(nullptr, MdifF::dura, 5000);
    ASSERT_TRUE(edit->RedrawTimer().IsRunning());
    EXPECT_EQ(edit->RedrawTimer().Deadline(), fLoop.NowMs() + 1000);
}

TEST_F(NsqView, MonitorWindowFollowsPreferenceAndSelection) {
    EXPECT_FALSE(edit->MonitorWindow());
    prefs->Root()->SetU8(nullptr, PrefF::snmn, 1);
    ASSERT_TRUE(edit->MonitorWindow());
    AddDmxScene(0, "b.drc");
    auto* mon = static_cast<CKvsDrcMonWin*>(edit->MonitorWindow());
    EXPECT_STREQ(mon->Frame()->SceneName().CStr(), "/nsqs/seqs/2/trks/0/scns/0/prms");
    edit->Scale().Selection().DeselectAll();
    EXPECT_STREQ(mon->Frame()->SceneName().CStr(), "");
    LHandler::Send(LFrame_Close, mon, edit.get());
    EXPECT_EQ(prefs->Root()->GetU8(PrefF::snmn), 0);
    EXPECT_FALSE(edit->MonitorWindow());
}

TEST_F(NsqView, MoveTimeCommandKeepsTheChoice) {
    PlayHooks().moveTimeDialog = MoveLater;
    AddDmxScene(4000, "a.drc");
    LMenuItem item(nullptr);
    item.SetCommand("cScnMoveTime");
    LHandler::Send(LMenuItem_Selected, &item, edit.get());
    const CRecord* trk = third->GetListItem(SseqF::trks, 0);
    EXPECT_EQ(trk->GetListItem(StrkF::scns, 0)->GetU32(SscnF::time), 5000u);
    const CRecord* node = NodeGetSubNode(prefs->Root()->GetChild(PrefF::misc), "nsquprf");
    ASSERT_TRUE(node);
    EXPECT_EQ(NodeGetIntOr(node, "mvtmflws", -1), 1);
}

TEST_F(NsqView, FormatTwoOpensTheControlWindowOnTheNsqEditor) {
    fSim.Cmd("chan-set serno=341 path=/.cmd/udseqset/sqfm value=2");
    fSim.Cmd("chan-set serno=341 path=/.cmd/udkvtset/fnmd value=1");
    ctl->ShowWindow();
    ASSERT_TRUE(ctl->WindowShown());
    ASSERT_NE(ctl->Screen()->PlayView(), nullptr);
    EXPECT_EQ(ctl->Screen()->PlayView()->SeqSettings()->GetU8(SqstF::sqfm), 2);
    auto* view = dynamic_cast<CNSqTrkViewF*>(ctl->Screen()->PlayView());
    ASSERT_NE(view, nullptr);
    CKvsPlay2Frm* frame = view->Frame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsShown());
    // The "+" button adds a sequence and shows it; the editor follows.
    CRecord* set = view->SeqSettings()->GetChild(SqstF::nsqs);
    const u32 before = set->GetListCount(SsetF::seqs);
    LHandler::Send(LStdCtl_Selected, &frame->PlusButton(), frame);
    ASSERT_EQ(set->GetListCount(SsetF::seqs), before + 1);
    CRecord* seq = set->GetListItem(SsetF::seqs, before);
    EXPECT_EQ(view->ShownSequence(), seq);
    EXPECT_EQ(frame->TrackEdit()->Sequence(), seq);
    // The stop button reaches the device.
    fSim.Cmd("log clear");
    LHandler::Send(LStdCtl_Selected, &frame->StopButton(), frame);
    ASSERT_TRUE(Run([&] { return !Writes().empty(); }));
    EXPECT_EQ(Writes(), (std::vector<std::string>{"stps=1"}));
    LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
    EXPECT_FALSE(ctl->WindowShown());
}

// The registry's views, counted as they are made.
PlayViewFactory sBasic = nullptr, sNsq = nullptr;
u32 sViewsMade = 0;

TEST_F(NsqView, ReopeningKeepsAViewOfItsFormatAndReplacesOneThatIsNot) {
    sBasic = PlayViews().basic;
    sNsq = PlayViews().nsq;
    PlayViews().basic = [](LHandler* p, LPane* o, MPlayDevice* d) {
        return ++sViewsMade, sBasic(p, o, d);
    };
    PlayViews().nsq = [](LHandler* p, LPane* o, MPlayDevice* d) {
        return ++sViewsMade, sNsq(p, o, d);
    };
    fSim.Cmd("chan-set serno=341 path=/.cmd/udkvtset/fnmd value=1");
    const struct {
        u32 sqfm;  // set on the device while the window is closed
        bool nsq, kept;
    } steps[] = {
        {2, true, false},
        {2, true, true},
        // The NSQ view's settings still say NSQ: the device's format decides.
        {1, false, false},
        {1, false, true},
        {0, false, true},  // no format chosen is the basic format
        {2, true, false},
    };
    for (const auto& s : steps) {
        fSim.Cmd("chan-set serno=341 path=/.cmd/udseqset/sqfm value=" + std::to_string(s.sqfm));
        const u32 made = sViewsMade;
        ctl->ShowWindow();
        ASSERT_TRUE(ctl->WindowShown()) << s.sqfm;
        CKvsPlayCmd* view = ctl->Screen()->PlayView();
        EXPECT_EQ(dynamic_cast<CNSqTrkViewF*>(view) != nullptr, s.nsq) << s.sqfm;
        EXPECT_EQ(dynamic_cast<CDrcCmdHandler*>(view) != nullptr, !s.nsq) << s.sqfm;
        EXPECT_EQ(sViewsMade == made, s.kept) << s.sqfm;
        LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
        ASSERT_FALSE(ctl->WindowShown());
    }
    // A format changed in the open window rebuilds it with the new view.
    ctl->ShowWindow();
    auto* nsq = dynamic_cast<CNSqTrkViewF*>(ctl->Screen()->PlayView());
    ASSERT_NE(nsq, nullptr);
    nsq->SeqSettings()->SetU8(nullptr, SqstF::sqfm, 1);
    ASSERT_TRUE(Run([&] { return !Writes().empty(); }));
    LHandler::Send(CKvsPlayEdit_FmtChg, nsq, ctl->Screen());
    ASSERT_TRUE(Run([&] { return dynamic_cast<CDrcCmdHandler*>(ctl->Screen()->PlayView()); }));
    EXPECT_TRUE(ctl->WindowShown());
    LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
    PlayViews().basic = sBasic;
    PlayViews().nsq = sNsq;
}

}  // namespace
