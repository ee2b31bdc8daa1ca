// Plays from the sequence and scene lists reach a simulated device on
// loopback: each push is one write of the command channel, the same push
// twice is two.
#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevCtl.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "framework/InputState.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
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

}  // namespace
