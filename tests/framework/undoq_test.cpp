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
constexpr u32 kFam = FourCC("UQTS"), kItemKind = FourCC("ITEM");
enum : u8 { fNum, fByte, fGain, fText, fNums, fStrs, fOpt, fRows };
enum : u8 { iId, iName, iBytes };
const RecFieldDesc kItem[] = {U32(1), Str(2), Array(3, kRecU8)};
// clang-format off
const RecFieldDesc kRoot[] = {U32(1, 1), U8(2), F32(3, 0.5f, 2), Str(4, "t"), Array(5, kRecU32),
    Array(6, kRecString), Child(7, kFam, kItemKind, kRecOptional), List(8, kFam, kItemKind)};
// clang-format on
CRecordSchema gItem(kFam, kItemKind, 3, kItem);
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

CRecord* Item(u32 id) {
    CRecord* r = CRecord::New(&gItem);
    r->SetU32(nullptr, iId, id);
    return r;
}

struct UndoQTest : ::testing::Test {
    static void SetUpTestSuite() {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
    }
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
    using Snaps = std::vector<std::vector<u8>>;
    // Undoes every kept step (the last snapshot is the current tree), then redoes them all,
    // each against its snapshot; answers how many there were.
    size_t UndoAndRedoAll(CUndoQ& uq, const Snaps& snaps) {
        size_t n = 0;
        bool ok = true;
        for (; ok && uq.CanUndo() && n + 1 < snaps.size(); ++n)
            ok = uq.Undo() && Snap() == snaps[snaps.size() - 2 - n];
        for (size_t k = n; ok && k-- > 0;) ok = uq.Redo() && Snap() == snaps[snaps.size() - 1 - k];
        EXPECT_TRUE(ok) << "after " << n << " undos";
        EXPECT_FALSE(uq.CanRedo());
        return n;
    }
    // The command's item as the menu shows it ("-" when disabled); chosen when asked.
    std::string Menu(const char* command, bool choose = false) {
        LMenuBar bar(nullptr, "APP");
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
        [&] {
            root()->SetArrayElement(c, fNums, 0, &nine, 1),
                root()->SetArrayElement(c, fNums, 0, &seven, 1);
        },
        [&] { root()->SetArray(c, fNums, nums, 2, 1), root()->SetArray(c, fNums, nums + 1, 2, 1); },
        [&] { root()->SetF32(c, fGain, 1, 2.5f), root()->SetF32(c, fGain, 1, 3.5f); },
        [&] { root()->InsertArrayElement(c, fNums, 0, &nine); },
        [&] { root()->RemoveArrayElement(c, fNums, 2); },
        [&] { root()->GrowArray(c, fNums, &seven, 6); },
        [&] { CRecord::Destroy(root()->ReplaceChild(c, fOpt, Item(1))); },
        [&] { root()->GetChild(fOpt)->SetArray(c, iBytes, &byte, 1); },
        [&] { root()->InsertItem(c, fRows, 0, Item(2)); },
        [&] { root()->InsertItem(c, fRows, 0, Item(3)); },
        [&] { root()->MoveItem(c, fRows, 0, 2); },
        [&] { root()->GetListItem(fRows, 1)->SetString(c, iName, LString("renamed")); },
        [&] { root()->RemoveItem(c, fRows, 0); },
        [&] { root()->RemoveChild(c, fOpt); },
    };
    Snaps snaps{Snap()};
    for (auto& e : edits) {
        CRecord::ClearCoalescing();  // each edit its own step
        e();
        snaps.push_back(Snap());
    }
    EXPECT_EQ(Menu(LStdCmd_Undo) + Menu(LStdCmd_Redo), "Undo-");
    const u64 end = q.LogEnd();
    EXPECT_EQ(UndoAndRedoAll(q, snaps), std::size(edits));
    EXPECT_EQ(q.LogEnd(), end);  // the replays recorded nothing

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
    EXPECT_EQ(Menu(LStdCmd_Redo, true), "Redo Typing");
    EXPECT_EQ(Menu(LStdCmd_Redo), "-");

    CUndoQ::ClearFrom(c);
    EXPECT_EQ(Menu(LStdCmd_Undo) + Menu(LStdCmd_Redo), "--");

    // A merged change after an undo may not continue the step before: another field's.
    root()->GetListItem(fRows, 0)->SetString(c, iName, LString("m"));
    root()->SetString(c, fText, LString("x"));
    ASSERT_TRUE(q.Undo());
    root()->SetString(c, fText, LString("y"), 1);
    ASSERT_TRUE(q.Undo());
    EXPECT_EQ(root()->GetString(fText), "typed");
    EXPECT_EQ(root()->GetListItem(fRows, 0)->GetString(iName), "m");
}

TEST_F(UndoQTest, ARecordThatDoesNotCheckOutEmptiesTheQueue) {
    // Offset in the second record (-4: its trailer) and the value put there: its length too
    // long or too short, a function this queue never used, a trailer not matching the length.
    const std::pair<i32, u32> cases[] = {{0, 9999}, {0, 20}, {16, 0x1234}, {-4, 0}};
    for (auto [offset, value] : cases) {
        TestQ tq(nullptr, 0x10000);
        LHandler p(&tq);
        root()->SetU32(&p, fNum, 2);
        const u64 second = tq.LogPosition();
        root()->SetU32(&p, fNum, 3);
        tq.Poke(offset < 0 ? tq.LogEnd() - 4 : second + offset, &value, 4);
        EXPECT_FALSE(tq.Undo());
        EXPECT_FALSE(tq.CanUndo() || tq.CanRedo());
        EXPECT_EQ(root()->GetU32(fNum), 3u);
    }
}

TEST_F(UndoQTest, AContinuedStepAfterAWrapDropsTheStepsItOverwrites) {
    TestQ tq(nullptr, 2048);
    LHandler p(&tq);
    Snaps snaps{Snap()};
    for (u64 last = 0; tq.LogPosition() >= last; snaps.push_back(Snap())) {
        last = tq.LogPosition();
        root()->SetU32(&p, fNum, u32(snaps.size()) + 1);
    }
    root()->SetString(&p, fText, LString("a"), 1);
    root()->SetString(&p, fText, LString(std::string(1000, 'b')), 1);
    snaps.push_back(Snap());
    EXPECT_LT(UndoAndRedoAll(tq, snaps), 20u);  // the long body took the place of the oldest steps
}

void ReplayNumber(void* ctx, CUndoStrm* s, bool redo) {  // body: the old and the new number
    u64 a, b;
    if (redo ? s->ReadU64(&a) && s->ReadU64(&b) : s->ReadBackU64(&a) && s->ReadBackU64(&b))
        static_cast<CRecordDoc*>(ctx)->Root()->SetU32(nullptr, fNum, u32(b));
}

TEST_F(UndoQTest, AWrappingLogKeepsEveryStepItHolds) {
    std::mt19937 rng(16);
    auto pick = [&](u32 n) { return u32(rng() % n); };
    for (u32 k = 0; k < 8; ++k) root()->InsertItem(nullptr, fRows, k, Item(k));
    u32 unique = 0;  // every change changes something, so every step records
    auto text = [&](u32 n) {
        return LString(std::string(pick(n), 'a') + std::to_string(++unique));
    };
    auto row = [&] { return root()->GetListItem(fRows, pick(root()->GetListCount(fRows))); };
    auto edit = [&] {
        const u32 rows = root()->GetListCount(fRows), what = rows ? pick(4) : 2;
        if (what == 0) row()->SetString(&pane, iName, text(400));
        if (what == 1) root()->SetU32(&pane, fNum, ++unique);
        if (what == 2) root()->InsertItem(&pane, fRows, pick(8), Item(rng()));
        if (what == 3) root()->RemoveItem(&pane, fRows, pick(rows));
    };
    Snaps snaps{Snap()};
    u32 wraps = 0;
    for (u32 step = 0; step < 2000; ++step) {
        for (u32 n = pick(50) ? 0 : 1 + pick(10); n-- > 0 && q.CanUndo();) {  // and branch off
            ASSERT_TRUE(q.Undo());
            snaps.pop_back();
            ASSERT_EQ(Snap(), snaps.back()) << "step " << step;
        }
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
            for (u64 w : {old, v}) two->WriteU64(w);
            root()->SetU32(nullptr, fNum, u32(v));
        }
        snaps.push_back(Snap());
        wraps += q.LogPosition() < before;
    }
    EXPECT_GE(wraps, 10u);
    EXPECT_GT(UndoAndRedoAll(q, snaps), 20u);
}

}  // namespace
