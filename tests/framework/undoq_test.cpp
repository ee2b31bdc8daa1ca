#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "base/CBufFileStrm.h"
#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "framework/CUndoQ.h"
#include "framework/LMenu.h"
#include "records/CRecordDoc.h"
#include "records/PropRecord.h"

namespace {

using namespace RecField;
constexpr u32 kFam = FourCC("UQTS");
enum : u8 { fNum, fByte, fGain, fText, fNums, fStrs, fOpt, fRows };
enum : u8 { iId, iName, iBytes };
const RecFieldDesc kItem[] = {U32(FourCC("iden")), Str(FourCC("name")),
                              Array(FourCC("byts"), kRecU8)};
const RecFieldDesc kRoot[] = {U32(FourCC("numb"), 1),
                              U8(FourCC("byte")),
                              F32(FourCC("gain"), 0.5f, 2),
                              Str(FourCC("text"), "t"),
                              Array(FourCC("nums"), kRecU32),
                              Array(FourCC("strs"), kRecString),
                              Child(FourCC("opt "), kFam, FourCC("ITEM"), kRecOptional),
                              List(FourCC("rows"), kFam, FourCC("ITEM"))};
CRecordSchema gItem(kFam, FourCC("ITEM"), 3, kItem);
CRecordSchema gRoot(kFam, FourCC("ROOT"), 8, kRoot);

struct TestQ : CUndoQ {
    using CUndoQ::CUndoQ;
    using CUndoQ::LogEnd;
    using CUndoQ::LogPosition;
    void Poke(u64 at, const void* bytes, u32 n) {
        LogStream()->SetPosition(at);
        LogStream()->Write(bytes, n);
    }
};

CRecord* Item(u32 id, const char* name) {
    CRecord* r = CRecord::New(&gItem);
    r->SetU32(nullptr, iId, id);
    r->SetString(nullptr, iName, LString(name));
    return r;
}

struct UndoQTest : ::testing::Test {
    static void SetUpTestSuite() {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
    }
    UndoQTest() { CRecord::ClearCoalescing(); }
    TestQ q{nullptr, 0x10000};
    LHandler pane{&q};
    CRecordDoc doc{CRecord::New(&gRoot)};
    CRecord* root() { return doc.Root(); }
    std::vector<u8> Snap() {
        LDataBuf buf;
        {
            CMemStrm s(buf);
            PropRecord::Write(&s, root());
        }
        return std::vector<u8>(buf.Data(), buf.Data() + buf.Capacity());
    }
    // The command's item as the menu shows it ("-" when disabled); chosen when asked.
    std::string Menu(const char* command, bool choose = false) {
        LMenuBar bar(nullptr, "APP");
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, &pane);
        LMenuItem* it = bar.FindEnabledItemByCommand(command);
        if (it && choose) LHandler::Send(LMenuItem_Selected, it, &pane);
        return it ? std::string(it->fTitle.View()) : "-";
    }
};

TEST_F(UndoQTest, EditsOfEveryKindUndoAndRedoToIdenticalTrees) {
    LHandler* c = &pane;
    const u32 nums[] = {4, 5, 6}, seven = 7, nine = 9;
    const LString strs[] = {LString("a"), LString("bb")};
    const u8 byte = 3;
    const std::function<void()> edits[] = {
        [&] { root()->SetU32(c, fNum, 42); },
        [&] { root()->SetI32(c, fNum, -3); },
        [&] { root()->SetU8(c, fByte, 200); },
        [&] { root()->SetBool(c, fByte, true); },
        [&] { root()->SetF32(c, fGain, 0, 1.25f); },
        [&] { root()->SetString(c, fText, LString("hello")); },
        [&] {  // one merged step: undo goes back to the value before its first change
            for (const char* t : {"a", "ab", "abcdefghijkl"}) root()->SetString(c, fText, t, 1);
        },
        [&] { root()->SetU32(c, fNum, 5, 1), root()->SetU32(c, fNum, 6, 1); },
        [&] { root()->SetArray(c, fNums, nums, 3); },
        [&] { root()->SetArray(c, fStrs, strs, 2); },
        [&] { root()->SetArrayElement(c, fNums, 1, &seven); },
        [&] { root()->InsertArrayElement(c, fNums, 0, &nine); },
        [&] { root()->RemoveArrayElement(c, fNums, 2); },
        [&] { root()->GrowArray(c, fNums, &seven, 6); },
        [&] { CRecord::Destroy(root()->ReplaceChild(c, fOpt, Item(1, "child"))); },
        [&] { root()->GetChild(fOpt)->SetArray(c, iBytes, &byte, 1); },
        [&] { root()->InsertItem(c, fRows, 0, Item(2, "two")); },
        [&] { root()->InsertItem(c, fRows, 0, Item(3, "three")); },
        [&] { root()->MoveItem(c, fRows, 0, 2); },
        [&] { root()->GetListItem(fRows, 1)->SetString(c, iName, LString("renamed")); },
        [&] { root()->RemoveItem(c, fRows, 0); },
        [&] { root()->RemoveChild(c, fOpt); },
    };
    std::vector<std::vector<u8>> snaps{Snap()};
    for (auto& e : edits) {
        CRecord::ClearCoalescing();  // each edit its own step
        e();
        snaps.push_back(Snap());
    }
    EXPECT_EQ(Menu(LStdCmd_Undo), "Undo");
    const u64 end = q.LogEnd();
    for (size_t k = snaps.size() - 1; k > 0; --k) {
        ASSERT_TRUE(q.Undo()) << k;
        ASSERT_EQ(Snap(), snaps[k - 1]) << "undo of edit " << k - 1;
    }
    EXPECT_FALSE(q.CanUndo());
    EXPECT_EQ(q.LogEnd(), end);  // the replays recorded nothing
    EXPECT_EQ(Menu(LStdCmd_Redo), "Redo");
    for (size_t k = 1; k < snaps.size(); ++k) {
        ASSERT_TRUE(q.Redo());
        ASSERT_EQ(Snap(), snaps[k]) << "redo of edit " << k - 1;
    }
    EXPECT_FALSE(q.CanRedo());

    // A new step after undos drops the redo steps.
    ASSERT_TRUE(q.Undo() && q.Undo());
    {
        std::unique_ptr<CUndoStrm> named(CUndoStrm::Open(c, nullptr, nullptr, "Typing", 0, 1));
        EXPECT_FALSE(q.Undo());  // never inside an open transaction
        root()->SetU32(c, fNum, 77);
        root()->SetString(c, fText, LString("typed"));
    }
    EXPECT_FALSE(q.CanRedo());
    EXPECT_EQ(Menu(LStdCmd_Undo, true), "Undo Typing");
    EXPECT_EQ(Snap(), snaps[snaps.size() - 3]);
    EXPECT_EQ(Menu(LStdCmd_Redo) + Menu(LStdCmd_Undo), "Redo TypingUndo");

    CUndoQ::ClearFrom(c);
    EXPECT_EQ(Menu(LStdCmd_Undo) + Menu(LStdCmd_Redo), "--");
}

TEST_F(UndoQTest, AMergedChangeAfterAnUndoIsAStepOfItsOwn) {
    root()->InsertItem(nullptr, fRows, 0, Item(1, "n"));
    root()->GetListItem(fRows, 0)->SetString(&pane, iName, LString("m"));
    root()->SetString(&pane, fText, LString("x"));
    ASSERT_TRUE(q.Undo());
    root()->SetString(&pane, fText, LString("y"), 1);  // may continue, but not the name's step
    ASSERT_TRUE(q.Undo());
    EXPECT_STREQ(root()->GetString(fText).CStr(), "t");
    EXPECT_STREQ(root()->GetListItem(fRows, 0)->GetString(iName).CStr(), "m");
}

TEST_F(UndoQTest, ARecordThatDoesNotCheckOutEmptiesTheQueue) {
    struct Case {
        bool trailer;
        u32 at;  // from the start of the second record
        u32 value;
    } cases[] = {{false, 0, 9999}, {false, 0, 20}, {false, 16, 0x1234}, {true, 0, 0}};
    for (const Case& k : cases) {
        TestQ tq(nullptr, 0x10000);
        LHandler p(&tq);
        root()->SetU32(&p, fNum, 2);
        const u64 second = tq.LogPosition();
        root()->SetU32(&p, fNum, 3);
        const u64 at = k.trailer ? tq.LogEnd() - 4 : second + k.at;
        tq.Poke(at, &k.value, 4);
        EXPECT_FALSE(tq.Undo());
        EXPECT_FALSE(tq.CanUndo() || tq.CanRedo());
        EXPECT_EQ(root()->GetU32(fNum), 3u);
    }
}

TEST_F(UndoQTest, AContinuedStepAfterAWrapDropsTheStepsItOverwrites) {
    TestQ tq(nullptr, 2048);
    LHandler p(&tq);
    std::vector<std::vector<u8>> snaps{Snap()};
    for (u64 last = 0; tq.LogPosition() >= last; snaps.push_back(Snap())) {
        last = tq.LogPosition();
        root()->SetU32(&p, fNum, u32(snaps.size()) + 1);
    }
    root()->SetString(&p, fText, LString("a"), 1);
    root()->SetString(&p, fText, LString(std::string(1000, 'b')), 1);
    snaps.push_back(Snap());
    size_t k = snaps.size() - 1;
    for (; tq.CanUndo(); --k) {
        ASSERT_TRUE(tq.Undo());
        ASSERT_EQ(Snap(), snaps[k - 1]);
    }
    EXPECT_LT(snaps.size() - k, 20u);  // the long body took the place of the oldest steps
}

// Undo body of the compound steps: the old and the new value of the root's number.
void ReplayNumber(void* ctx, CUndoStrm* s, bool redo) {
    u64 a, b;
    if (redo ? s->ReadU64(&a) && s->ReadU64(&b) : s->ReadBackU64(&a) && s->ReadBackU64(&b))
        static_cast<CRecordDoc*>(ctx)->Root()->SetU32(nullptr, fNum, u32(b));
}

TEST_F(UndoQTest, AWrappingLogKeepsEveryStepItHolds) {
    std::mt19937 rng(16);
    auto pick = [&](u32 n) { return u32(rng() % n); };
    for (u32 k = 0; k < 8; ++k) root()->InsertItem(nullptr, fRows, k, Item(k, "row"));
    u32 unique = 0;  // every change changes something, so every step records
    auto text = [&](u32 n) {
        return LString(std::string(pick(n), 'a') + std::to_string(++unique));
    };
    auto row = [&] { return root()->GetListItem(fRows, pick(root()->GetListCount(fRows))); };
    auto edit = [&] {
        const u32 rows = root()->GetListCount(fRows);
        switch (rows ? pick(4) : 2) {
            case 0:
                return row()->SetString(&pane, iName, text(400));
            case 1:
                return root()->SetU32(&pane, fNum, ++unique);
            case 2:
                return void(root()->InsertItem(&pane, fRows, pick(8), Item(rng(), "new")));
            default:
                return root()->RemoveItem(&pane, fRows, pick(rows));
        }
    };
    std::vector<std::vector<u8>> snaps{Snap()};
    u32 wraps = 0;
    for (u32 step = 0; step < 2000; ++step) {
        CRecord::ClearCoalescing();
        const u64 before = q.LogPosition();
        const u32 kind = pick(3);
        if (kind == 1 && root()->GetListCount(fRows)) {  // a merged step: one field several times
            CRecord* r = row();
            for (u32 n = 1 + pick(4); n-- > 0;) r->SetString(&pane, iName, text(600), 1);
        } else if (kind < 2) {
            edit();
        } else {
            std::unique_ptr<CUndoStrm> group(CUndoStrm::Open(&pane, nullptr, nullptr, "g", 0, 1));
            for (u32 n = 1 + pick(4); n-- > 0;) edit();
            const u64 v = rng(), old = root()->GetU32(fNum);
            std::unique_ptr<CUndoStrm> two(CUndoStrm::Open(&pane, &doc, ReplayNumber, "", 2, 0));
            two->WriteU64(old);
            two->WriteU64(v);
            root()->SetU32(nullptr, fNum, u32(v));
        }
        snaps.push_back(Snap());
        wraps += q.LogPosition() < before;
        if (pick(50) == 0) {  // undo some, check, redo them or branch off
            u32 n = 1 + pick(10);
            for (u32 k = 0; k < n && q.CanUndo(); ++k) {
                ASSERT_TRUE(q.Undo());
                snaps.pop_back();
                ASSERT_EQ(Snap(), snaps.back()) << "step " << step;
            }
        }
    }
    EXPECT_GE(wraps, 10u);
    u32 kept = 0;
    for (; q.CanUndo(); ++kept) {
        ASSERT_TRUE(q.Undo());
        ASSERT_EQ(Snap(), snaps[snaps.size() - 2 - kept]) << "undo " << kept;
    }
    EXPECT_GT(kept, 20u);
    for (u32 k = kept; k-- > 0;) {
        ASSERT_TRUE(q.Redo());
        ASSERT_EQ(Snap(), snaps[snaps.size() - 1 - k]) << "redo " << k;
    }
    EXPECT_FALSE(q.CanRedo());
}

}  // namespace
