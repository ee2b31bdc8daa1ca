// Plays from the sequence and scene lists reach a simulated device on
// loopback: each push is one write of the command channel, the same push
// twice is two. A shift of the play buttons is one write of their row.
#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevCtl.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/PlayBtnGrid.h"
#include "framework/InputState.h"
#include "framework/LRgn.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/devices/PlayDeviceTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

constexpr u16 kSerial = 306;

class SeqPlays : public devtest::PlayDeviceTest {
protected:
    void SetUp() override {
        PlayDeviceTest::SetUp();
        playtest::EmptyHooks();
        owner.ShowWindow();
        AddDevice(kSerial, 1);
        ASSERT_NO_FATAL_FAILURE(OpenController(kSerial));
        edit = std::make_unique<CKvsPlayCmd>(&root, &owner, ctl.get());
        ASSERT_NO_FATAL_FAILURE(LoadEdit(*edit));
        fSim.Cmd("log clear");
    }
    void TearDown() override {
        edit.reset();
        ctl.reset();
        playtest::EmptyHooks();
        PlayDeviceTest::TearDown();
    }

    std::unique_ptr<CKvsPlayCmd> edit;
};

TEST_F(SeqPlays, ButtonsOfTheListsReachTheDevice) {
    CRecord* st = edit->SeqSettings();
    for (u32 i = 0; i < 4; ++i) {
        CRecord* seq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
        seq->SetU32(nullptr, SqncF::sqid, 50 + i);
        for (i32 k = 0; k < 3; ++k) {
            CRecord* sc = NewSceneRecord();
            sc->SetI32(nullptr, ScenF::sntm, k * 1000);
            seq->InsertItem(nullptr, SqncF::scns, u32(k), sc);
        }
        st->InsertItem(nullptr, SqstF::sqcs, i, seq);
    }
    CRecord* nsq = CRecord::New(CRecordSchema::Find(kFamNsq, kKindSseq));
    st->GetChild(SqstF::nsqs)->InsertItem(nullptr, SsetF::seqs, 0, nsq);
    CKvsSeqList seqs(&owner, ctl.get(), st, nullptr);
    CKvsNSqSeqList nsqs(&owner, ctl.get(), st, nullptr);
    CKvsScnList scenes(&owner, ctl.get(), st, nullptr);
    scenes.SetSequence(st->GetListItem(SqstF::sqcs, 1));
    // Each push goes out before the next one (the channel sends a field's
    // latest value once).
    auto sent = [&](size_t n) { return Run([&] { return Writes().size() >= n; }); };
    auto trigger = [&](CKvsSeqList& l, i32 row) {
        auto* c = static_cast<CKvsSeqCell*>(l.GetCellFrame(LCell{0, row}, false));
        const size_t n = Writes().size();
        LHandler::Send(CStateButton_Push, &c->fTrigger, c);
        EXPECT_TRUE(sent(n + 1));
    };
    trigger(seqs, 3);
    trigger(seqs, 3);
    trigger(nsqs, 0);
    // From a scene while the device is in none of them: the path, then the time.
    auto* sc = static_cast<CKvsScnCell*>(scenes.GetCellFrame(LCell{0, 2}, false));
    LHandler::Send(CStateButton_Push, &sc->fPlay, sc);
    EXPECT_TRUE(sent(5));
    EXPECT_EQ(Writes(),
              (std::vector<std::string>{"plsn=/sqcs/3", "plsn=/sqcs/3", "plsn=/nsqs/seqs/0",
                                        "plsn=/sqcs/1/scns/2", "pltm=2000"}));
}

// Each shift of the buttons, and its undo, with the play-screen layout built
// before it: the device gets the row once, whole, however many moves the
// shift makes and though the layout is dropped on the way.
TEST_F(SeqPlays, AButtonShiftAndItsUndoAreOneWriteOfTheRow) {
    CRecord* play = edit->PlaySettings();
    play->SetU32(nullptr, PlysF::btcs, 3);
    for (u32 c = 0; c < 3; ++c) {
        CRecord* cell = PlaySetGetOrAddCell(play, nullptr, c, 0);
        cell->SetU32(nullptr, PlclF::sqid, 9);
        cell->SetString(nullptr, PlclF::bttl, LString(std::string(1, "ABD"[c]).c_str()));
    }
    const std::string row = "/.cmd/udplayset/rows/0/cels";
    auto there = [&] {
        std::string s;
        for (u32 c = 0; c < 3; ++c) {
            const std::string at = row + "/" + std::to_string(c) + "/bttl";
            const std::string title = Field(fSim.Cmd("chan-get serno=306 path=" + at), "value");
            s += title.empty() || title == "%" ? '-' : title[0];
        }
        return s;
    };
    auto rowWrites = [&] {
        std::vector<std::string> out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write" && Field(l, "path") == row)
                out.push_back(Field(l, "value"));
        return out;
    };
    // Sent, then the layout a second later.
    auto settled = [&] {
        EXPECT_TRUE(Run([&] { return !edit->PlayChannel()->IsBusy(); }));
        edit->RebuildUiLayout();
        EXPECT_TRUE(Run([&] { return !edit->PlayChannel()->IsBusy(); }));
        fSim.Cmd("log clear");
    };
    settled();
    ASSERT_EQ(there(), "ABD");
    const struct {
        bool insert, horizontal;
        const char* after;
        const char* count;  // the row's cells as the write carries them
    } kShifts[] = {
        {false, true, "BD-", "3"},
        {false, false, "-BD", "3"},
        {true, true, "-AB", "3"},
        {true, false, "-BD", "3"},
    };
    const LRgn first(LRect(0, 0, 1, 1));
    for (const auto& k : kShifts) {
        SCOPED_TRACE(k.after);
        if (k.insert)
            InsertCells(play, edit.get(), first, k.horizontal);
        else
            DeleteCells(play, edit.get(), first, k.horizontal);
        EXPECT_TRUE(Run([&] { return !edit->PlayChannel()->IsBusy(); }));
        EXPECT_EQ(rowWrites(), std::vector<std::string>{k.count});
        EXPECT_EQ(there(), k.after);
        settled();
        ASSERT_TRUE(edit->UndoQueue().Undo());
        EXPECT_TRUE(Run([&] { return !edit->PlayChannel()->IsBusy(); }));
        EXPECT_EQ(rowWrites(), std::vector<std::string>{"3"});
        EXPECT_EQ(there(), "ABD");
        settled();
    }
}

}  // namespace
