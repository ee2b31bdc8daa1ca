// The sequence format and move-time dialogs on the headless main loop (Return
// presses the default button), the move-time command and the speed formula.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "editors/CKvsSeqDlgs.h"
#include "framework/AppSingletons.h"
#include "framework/InputState.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"
#include "tests/framework/HeadlessAppTest.h"

namespace {

class SeqDlgs : public HeadlessAppTest {
protected:
    void SetUp() override {
        HeadlessAppTest::SetUp();
        RegisterAllRecordKinds();
        FirstTick();
        SetAppPrefsDoc(&prefs);
    }
    void TearDown() override {
        SetAppPrefsDoc(nullptr);
        HeadlessAppTest::TearDown();
    }
    void PressReturn() { windows.ScriptTurn({FakeEvent{FakeEvent::kKeyDown, 13, 0, {}}}); }
    CRecord* Sequence(const std::vector<i32>& times) {
        CRecord* seq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
        for (i32 t : times) {
            CRecord* s = CRecord::New(CRecordSchema::Find(kFamKvt, kKindScen));
            s->SetI32(nullptr, ScenF::sntm, t);
            seq->InsertItem(nullptr, SqncF::scns, seq->GetListCount(SqncF::scns), s);
        }
        return seq;
    }
    static std::vector<i32> Times(const CRecord* seq) {
        std::vector<i32> v;
        for (u32 i = 0; i < seq->GetListCount(SqncF::scns); ++i)
            v.push_back(seq->GetListItem(SqncF::scns, i)->GetI32(ScenF::sntm));
        return v;
    }
    static LRgn Rows(u32 first, u32 last) { return LRgn(LRect(0, i32(first), 1, i32(last) + 1)); }

    CRecordDoc prefs{CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref))};
};

TEST_F(SeqDlgs, SpeedFormula) {
    const struct {
        i32 seconds;
        f64 diff;
        bool shorter;
        const char* text;
    } cases[] = {{100, 10, false, "-9.09"}, {100, 10, true, "11.11"}, {0, 5, false, " - "},
                 {60, 0, false, "0"},       {10, 10, true, " - "},    {3, 0.0001, true, "0"}};
    for (const auto& c : cases)
        EXPECT_STREQ(SpeedChangeText(c.seconds, c.diff, c.shorter).CStr(), c.text) << c.seconds;
}

TEST_F(SeqDlgs, MoveTimes) {
    const i32 kMin = -2147000000;
    const struct {
        std::vector<i32> before;
        u32 first, last;
        i32 to;
        u32 mode;
        std::vector<i32> after;
        LRect selected;
    } cases[] = {
        {{30000, 60000, 120000}, 1, 1, 90000, 0, {30000, 90000, 150000}, {0, 1, 1, 3}},
        {{30000, 60000, 120000}, 1, 1, 90000, 1, {30000, 90000, 120000}, {0, 1, 1, 2}},
        {{30000, 60000, 120000}, 2, 2, 45000, 0, {30000, 45000}, {0, 1, 1, 2}},
        {{30000, 60000, 120000}, 1, 1, 86400000, 0, {30000, 86399990, 86399990}, {0, 1, 1, 3}},
        {{30000, 60000, 120000}, 0, 1, 130000, 1, {120000, 130000, 160000}, {0, 1, 1, 3}},
        // Device times far apart: their difference does not fit 32 bits.
        {{kMin, 0}, 0, 0, 86000000, 1, {0, 86000000}, {0, 1, 1, 2}},
        {{kMin, 0}, 0, 0, 86000000, 0, {86000000, 86399990}, {0, 0, 1, 2}},
    };
    for (const auto& c : cases) {
        CRecord* seq = Sequence(c.before);
        LRgn sel = Rows(c.first, c.last);
        EXPECT_TRUE(MoveSceneTimes(seq, nullptr, SqncF::scns, &sel, c.to, c.mode));
        EXPECT_EQ(Times(seq), c.after) << c.to << " mode " << c.mode;
        EXPECT_EQ(sel.GetBounds(), c.selected) << c.to << " mode " << c.mode;
        CRecord::Destroy(seq);
    }
    CRecord* seq = Sequence({1000, 2000});
    LRgn sel = Rows(0, 0);
    EXPECT_FALSE(MoveSceneTimes(seq, nullptr, SqncF::scns, &sel, 1000, 0));
    LRgn none;
    EXPECT_FALSE(MoveSceneTimes(seq, nullptr, SqncF::scns, &none, 5000, 0));
    EXPECT_EQ(Times(seq), (std::vector<i32>{1000, 2000}));
    CRecord::Destroy(seq);
}

TEST_F(SeqDlgs, FormatCheckBoxOnlyWithTheSecondFormat) {
    for (bool nsq : {false, true}) {
        CKvsSeqFmtDlg d(app.get());
        d.fFirst.SelectIndex(nsq ? 1 : 0);
        d.UpdateVisibility();
        EXPECT_EQ((d.fCheck.State() & LPane::kVisible) != 0, nsq);
    }
    bool nsq = true, dmct = true;
    PressReturn();
    EXPECT_TRUE(RunSeqFormatDialog(app.get(), nullptr, &nsq, &dmct));
    EXPECT_TRUE(nsq && dmct);
}

TEST_F(SeqDlgs, MoveCommandKeepsTheRadioAndTheTimeField) {
    // The radio stored under "mvtmother" comes back; the time field starts at the top scene's.
    // Stored as "01": OK writes it back as "1".
    NodeSet(prefs.Root()->GetChild(PrefF::misc), nullptr, "mvtmother", LString("01"));
    CRecord* seq = Sequence({30000, 60000, 120000});
    PressReturn();
    RunMoveTimeCommand(app.get(), nullptr, seq, SqncF::scns, Rows(1, 1));
    EXPECT_EQ(Times(seq), (std::vector<i32>{30000, 60000, 120000}));  // same time: no change
    LString stored;
    NodeGetText(&stored, prefs.Root()->GetChild(PrefF::misc), "mvtmother", "");
    EXPECT_STREQ(stored.CStr(), "1");
    CRecord::Destroy(seq);
}

TEST_F(SeqDlgs, MoveTimeConfirmedUnchangedMovesNothing) {
    // The field shows hundredths: the top scene's 61.234 s confirmed as it is
    // is not 61.23 s, which would move every chosen scene by 4 ms.
    CRecord* seq = Sequence({30000, 61234, 120007});
    PressReturn();
    RunMoveTimeCommand(app.get(), nullptr, seq, SqncF::scns, Rows(1, 2));
    EXPECT_EQ(Times(seq), (std::vector<i32>{30000, 61234, 120007}));
    CRecord::Destroy(seq);
    u32 ms = 61234, follow = 0;
    PressReturn();
    ASSERT_TRUE(RunMoveTimeDialog(app.get(), &ms, &follow));
    EXPECT_EQ(ms, 61234u);
}

}  // namespace
