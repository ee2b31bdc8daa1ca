#include <gtest/gtest.h>

#include "RecTestUtil.h"

namespace {

using namespace rt;

struct DocFixture : ::testing::Test {
    RecordingUndo undo;
    NoteLog log;  // outlives the document, which reports its teardown
    CRecordDoc doc{NewRoot()};
    LHandler* ctx = RecordingUndo::Handler();
    CRecord* root() { return doc.Root(); }
    void SetUp() override {
        for (u32 k = 0; k < 5; ++k) root()->InsertItem(nullptr, rRows, k, NewItem(10 + k));
        log.Attach(doc);
        doc.SetModified(false);
    }
    std::vector<u32> RowIds() {
        std::vector<u32> ids;
        for (u32 k = 0; k < root()->GetListCount(rRows); ++k)
            ids.push_back(root()->GetListItem(rRows, k)->GetU32(iSqid));
        return ids;
    }
};

TEST_F(DocFixture, SameValueSendsNothingAndRecordsNothing) {
    const u32 changes = doc.ChangeCount();
    root()->SetU32(ctx, rVers, 1);
    root()->SetString(ctx, rTitl, LString("untitled"));
    root()->SetF32(ctx, rGain, 0, 0.5f);
    root()->SetU8(ctx, rMode, 2);
    EXPECT_TRUE(log.notes.empty());
    EXPECT_TRUE(undo.steps.empty());
    ASSERT_EQ(undo.opens.size(), 4u);
    for (auto& o : undo.opens) EXPECT_EQ(o.mode, 1u);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.ChangeCount(), changes);

    root()->SetU32(ctx, rVers, 3);
    ASSERT_EQ(log.notes.size(), 1u);
    EXPECT_EQ(log.notes[0].kind, CRecordNote::kChanged);
    EXPECT_EQ(log.notes[0].field, rVers);
    EXPECT_EQ(log.notes[0].record, root());
    EXPECT_EQ(log.notes[0].context, ctx);
    EXPECT_EQ(undo.steps.size(), 1u);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.ChangeCount(), changes + 1);

    EXPECT_TRUE(undo.Undo());
    EXPECT_EQ(root()->GetU32(rVers), 1u);
    EXPECT_TRUE(undo.Redo());
    EXPECT_EQ(root()->GetU32(rVers), 3u);
}

TEST_F(DocFixture, CoalescingCodes) {
    CRecord* item = root()->GetListItem(rRows, 2);
    item->SetU32(ctx, iSqid, 100, 1);
    item->SetU32(ctx, iSqid, 101, 1);
    ASSERT_EQ(undo.opens.size(), 2u);
    EXPECT_EQ(undo.opens[0].merge, 1u);
    EXPECT_EQ(undo.opens[1].merge, 2u);
    EXPECT_EQ(undo.steps.size(), 1u);  // the queue continued the first step
    EXPECT_TRUE(undo.steps[0].continued);

    item->SetString(ctx, iName, LString("other"), 1);  // another field in between
    item->SetU32(ctx, iSqid, 102, 1);
    EXPECT_EQ(undo.opens[2].merge, 1u);
    EXPECT_EQ(undo.opens[3].merge, 1u);

    // Without flag bit 0 there is never a continuation.
    item->SetU32(ctx, iSqid, 103, 0);
    EXPECT_EQ(undo.opens.back().merge, 1u);
    // Another record of the same kind, same field: a new step.
    root()->GetListItem(rRows, 3)->SetU32(ctx, iSqid, 5, 1);
    EXPECT_EQ(undo.opens.back().merge, 1u);
    // A structural edit in between ends the run.
    item->SetU32(ctx, iSqid, 104, 1);
    item->SetU32(ctx, iSqid, 105, 1);
    EXPECT_EQ(undo.opens.back().merge, 2u);
    root()->MoveItem(ctx, rRows, 0, 5);
    item = root()->GetListItem(rRows, 1);
    item->SetU32(ctx, iSqid, 106, 1);
    EXPECT_EQ(undo.opens.back().merge, 1u);

    // Array elements: a different element index starts a new step.
    const i32 vals[] = {1, 2, 3};
    item->SetArray(nullptr, iVals, vals, 3);
    const i32 v = 9, w = 8;
    item->SetArrayElement(ctx, iVals, 0, &v, 1);
    item->SetArrayElement(ctx, iVals, 0, &w, 1);
    EXPECT_EQ(undo.opens.back().merge, 2u);
    item->SetArrayElement(ctx, iVals, 1, &v, 1);
    EXPECT_EQ(undo.opens.back().merge, 1u);
}

TEST_F(DocFixture, UntaggedAndTransientFields) {
    // A tagged field below the untagged child: notices, but the document stays unmodified.
    CRecord* work = root()->GetChild(rWork);
    work->SetU32(ctx, iSqid, 77);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(log.Count(CRecordNote::kChanged), 1u);
    EXPECT_EQ(log.notes.back().record, work);
    // The untagged scalar of the root: notice, no modification.
    root()->SetU32(nullptr, rScratch, 1);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(log.Count(CRecordNote::kChanged), 2u);
    // A transient tagged field: modified, but no notice.
    root()->SetI32(nullptr, rTrns, 5);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(log.Count(CRecordNote::kChanged), 2u);
    // Inserts into a transient list send neither attach nor pre-insert notices.
    log.notes.clear();
    root()->InsertItem(nullptr, rTlst, 0, NewItem(1));
    EXPECT_EQ(log.notes.size(), 0u);
}

TEST_F(DocFixture, NoticesGoToTheOwnerOnlyOnce) {
    CRecord* item = root()->GetListItem(rRows, 3);
    item->SetString(nullptr, iName, LString("x"));
    ASSERT_EQ(log.notes.size(), 1u);  // not repeated for the parents
    EXPECT_EQ(log.notes[0].record, item);
    EXPECT_EQ(log.notes[0].index, 3u);
    EXPECT_EQ(log.notes[0].context, nullptr);

    // A free tree has no owner: values change, nobody hears, nothing is recorded.
    CRecord* free = NewItem(1);
    free->SetU32(ctx, iSqid, 2);
    EXPECT_EQ(free->GetU32(iSqid), 2u);
    EXPECT_EQ(log.notes.size(), 1u);
    EXPECT_TRUE(undo.opens.empty());
    CRecord::Destroy(free);

    // Another document's listeners are not told.
    CRecordDoc other(NewRoot());
    other.Root()->SetU32(nullptr, rVers, 5);
    EXPECT_EQ(log.notes.size(), 1u);
}

TEST_F(DocFixture, MoveItem) {
    root()->MoveItem(ctx, rRows, 1, 3);
    EXPECT_EQ(RowIds(), (std::vector<u32>{10, 12, 11, 13, 14}));
    ASSERT_EQ(log.notes.size(), 1u);
    EXPECT_EQ(log.notes[0].kind, CRecordNote::kMoved);
    EXPECT_EQ(log.notes[0].extra, 1u);
    EXPECT_EQ(log.notes[0].index, 2u);
    for (u32 k = 0; k < 5; ++k) EXPECT_EQ(root()->GetListItem(rRows, k)->GetIndex(), k);

    root()->MoveItem(ctx, rRows, 3, 1);
    EXPECT_EQ(RowIds(), (std::vector<u32>{10, 13, 12, 11, 14}));
    // Moving onto itself (to = from or from + 1) and from past the end do nothing.
    root()->MoveItem(ctx, rRows, 2, 3);
    root()->MoveItem(ctx, rRows, 2, 2);
    root()->MoveItem(ctx, rRows, 7, 0);
    EXPECT_EQ(log.notes.size(), 2u);
    // Past the end goes to the end.
    root()->MoveItem(ctx, rRows, 0, 99);
    EXPECT_EQ(RowIds(), (std::vector<u32>{13, 12, 11, 14, 10}));

    EXPECT_TRUE(undo.Undo());
    EXPECT_TRUE(undo.Undo());
    EXPECT_TRUE(undo.Undo());
    EXPECT_EQ(RowIds(), (std::vector<u32>{10, 11, 12, 13, 14}));
    EXPECT_TRUE(undo.Redo());
    EXPECT_EQ(RowIds(), (std::vector<u32>{10, 12, 11, 13, 14}));
}

TEST_F(DocFixture, WholeArraySetAlwaysNotifiesAndRecords) {
    const u32 nums[] = {1, 2};
    root()->SetArray(ctx, rNums, nums, 2);
    root()->SetArray(ctx, rNums, nums, 2);
    EXPECT_EQ(log.Count(CRecordNote::kChanged), 2u);
    EXPECT_EQ(log.notes[0].extra, kRecNoIndex);
    EXPECT_EQ(undo.steps.size(), 2u);
    // Setting from the array's own data is safe.
    root()->SetArray(nullptr, rNums, root()->GetArrayData(rNums), 1);
    EXPECT_EQ(root()->GetArrayCount(rNums), 1u);
}

struct Order {
    std::vector<std::pair<u32, u32>> seen;  // (kind, sqid or 0 for the root)
    static void Fn(void* self, CRecordNote* n) {
        const u32 id = n->record->Schema() == ItemSchema() ? n->record->GetU32(iSqid) : 0;
        static_cast<Order*>(self)->seen.push_back({n->kind, id});
    }
};

TEST(RecordDoc, DestroySendsDetachNoticesPostOrder) {
    Order order;
    {
        CRecord* root = NewRoot();
        root->InsertItem(nullptr, rRows, 0, NewItem(1));
        root->InsertItem(nullptr, rRows, 1, NewItem(2));
        root->GetListItem(rRows, 0)->InsertItem(nullptr, iSubs, 0, NewItem(11));
        root->GetChild(rMain)->SetU32(nullptr, iSqid, 50);
        root->InsertItem(nullptr, rTlst, 0, NewItem(99));  // transient: not walked
        CRecordDoc doc(root);
        doc.AddListener(&order, Order::Fn);
    }
    // Fields from the last: untagged child, main child, rows from the last item; the root last.
    const std::vector<std::pair<u32, u32>> want = {{5, 0},  {5, 50}, {5, 2},
                                                   {5, 11}, {5, 1},  {5, 0}};
    EXPECT_EQ(order.seen, want);
}

struct SelfRemover {
    CRecordDoc* doc;
    int calls = 0;
    static void Fn(void* self, CRecordNote*) {
        auto* s = static_cast<SelfRemover*>(self);
        ++s->calls;
        s->doc->RemoveListener(s, Fn);
    }
};

TEST_F(DocFixture, ListenerMayRemoveItself) {
    SelfRemover r{&doc};
    doc.AddListener(&r, SelfRemover::Fn);
    root()->SetU32(nullptr, rVers, 9);
    root()->SetU32(nullptr, rVers, 10);
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(log.notes.size(), 2u);
}

i32 gForcePosition = -1;
i32 PositionHook(u32 op, void* arg) {
    if (op == CRecordSchema::kHookNotice && gForcePosition >= 0) {
        auto* n = static_cast<CRecordNote*>(arg);
        if (n->kind == CRecordNote::kWillInsert) n->extra = u32(gForcePosition);
    }
    return 0;
}

TEST_F(DocFixture, InsertNoticesAndPositions) {
    CRecord* item = NewItem(99);
    item->InsertItem(nullptr, iSubs, 0, NewItem(100));
    root()->InsertItem(ctx, rRows, 1000, item);  // clamped: appended
    EXPECT_EQ(root()->GetListCount(rRows), 6u);
    EXPECT_EQ(root()->GetListItem(rRows, 5), item);
    std::vector<u32> kinds;
    for (auto& n : log.notes) kinds.push_back(n.kind);
    EXPECT_EQ(kinds, (std::vector<u32>{6, 4, 4, 1}));
    EXPECT_EQ(log.notes[0].record, item);
    EXPECT_EQ(log.notes[0].field, kRecSelf);
    EXPECT_EQ(log.notes[3].extra, 5u);
    EXPECT_EQ(log.notes[3].index, kRecNoIndex);

    // A hook may move the insertion through the pre-insert notice.
    const RecFieldDesc fields[] = {RecField::List(FourCC("rows"), kFam, kItemKind)};
    CRecordSchema hooked(kFam, FourCC("HOOK"), 1, fields, PositionHook);
    CRecordDoc d2(CRecord::New(&hooked));
    for (u32 k = 0; k < 3; ++k) d2.Root()->InsertItem(nullptr, 0, k, NewItem(k));
    gForcePosition = 0;
    d2.Root()->InsertItem(nullptr, 0, 3, NewItem(42));
    gForcePosition = -1;
    EXPECT_EQ(d2.Root()->GetListItem(0, 0)->GetU32(iSqid), 42u);
    EXPECT_EQ(d2.Root()->GetListItem(0, 3)->GetIndex(), 3u);

    // Removal: pre-remove, removed, then the detach walk.
    log.notes.clear();
    root()->RemoveItem(ctx, rRows, 5);
    kinds.clear();
    for (auto& n : log.notes) kinds.push_back(n.kind);
    EXPECT_EQ(kinds, (std::vector<u32>{7, 2, 5, 5}));
    EXPECT_EQ(root()->DetachItem(ctx, rRows, 5), nullptr);
}

TEST_F(DocFixture, UndoAndRedoOfEveryKindOfEdit) {
    CRecord* before = CRecord::Copy(root(), nullptr);
    CRecord* item = root()->GetListItem(rRows, 1);
    const i32 vals[] = {1, 2, 3};
    const i32 nine = 9, seven = 7;
    const LString s1("one"), s2("two");
    const LString strs[] = {s1, s2};

    item->SetF32(ctx, iLevl, 0, 2.25f);
    item->SetString(ctx, iName, LString("renamed"));
    item->SetU8(ctx, iFlag, 1);
    item->SetArray(ctx, iVals, vals, 3);
    item->SetArrayElement(ctx, iVals, 1, &nine);
    item->InsertArrayElement(ctx, iVals, 0, &seven);
    item->RemoveArrayElement(ctx, iVals, 3);
    item->GrowArray(ctx, iVals, &nine, 6);
    item->SetArray(ctx, iStrs, strs, 2);
    item->SetArrayElement(ctx, iStrs, 0, &s2);
    item->InsertArrayElement(ctx, iStrs, 1, &s1);
    item->RemoveArrayElement(ctx, iStrs, 0);
    item->InsertItem(ctx, iSubs, 0, NewItem(500));
    root()->InsertItem(ctx, rRows, 0, NewItem(600));
    root()->RemoveItem(ctx, rRows, 3);
    root()->MoveItem(ctx, rRows, 4, 0);
    CRecord::Destroy(root()->ReplaceChild(ctx, rOpt, NewItem(700)));
    root()->RemoveChild(ctx, rMain);  // non-optional may still be removed by an edit
    root()->GetChild(rOpt)->SetU32(ctx, iSqid, 701);
    CRecord* after = CRecord::Copy(root(), nullptr);
    EXPECT_EQ(item->GetArrayCount(iVals), 6u);

    while (undo.Undo()) {
    }
    std::string why;
    EXPECT_TRUE(Equal(root(), before, &why)) << why;
    while (undo.Redo()) {
    }
    EXPECT_TRUE(Equal(root(), after, &why)) << why;
    CRecord::Destroy(before);
    CRecord::Destroy(after);
}

TEST_F(DocFixture, ResetsUseDefaultsWithoutUndo) {
    root()->SetU32(nullptr, rVers, 5);
    root()->SetString(nullptr, rTitl, LString("t"));
    CRecord::Destroy(root()->ReplaceChild(nullptr, rOpt, NewItem(3)));
    root()->GetChild(rMain)->SetU32(nullptr, iSqid, 8);
    root()->SetU32(nullptr, rScratch, 1);  // untagged: kept
    root()->ResetToDefaults();
    EXPECT_EQ(root()->GetU32(rVers), 1u);
    EXPECT_STREQ(root()->GetString(rTitl).CStr(), "untitled");
    EXPECT_EQ(root()->GetChild(rOpt), nullptr);
    EXPECT_EQ(root()->GetChild(rMain)->GetU32(iSqid), 0u);
    EXPECT_EQ(root()->GetListCount(rRows), 0u);
    EXPECT_EQ(root()->GetU32(rScratch), 1u);
    EXPECT_TRUE(undo.opens.empty());
}

}  // namespace
