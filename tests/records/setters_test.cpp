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

struct Order {
    std::vector<std::pair<u32, u32>> seen;  // (kind, sqid or 0 for the root)
    static void Fn(void* self, CRecordNote* n) {
        const u32 id = n->record->Schema() == ItemSchema() ? n->record->GetU32(iSqid) : 0;
        static_cast<Order*>(self)->seen.push_back({n->kind, id});
    }
};

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

TEST_F(DocFixture, PlacesFollowEveryListEdit) {
    // Places are counted again only when asked: asked of one item, or of all,
    // between edits and after Undo and Redo, every answer is the item's place.
    struct Edit {
        char kind;  // i insert, r remove, m move
        u32 a, b;
        bool askAll;
    } edits[] = {{'i', 0, 0, false}, {'i', 3, 0, true},  {'r', 1, 0, false}, {'m', 0, 4, true},
                 {'i', 7, 0, false}, {'r', 0, 0, false}, {'m', 5, 1, false}, {'i', 1, 0, true}};
    const auto placesRight = [this](bool all) {
        const u32 n = root()->GetListCount(rRows);
        for (u32 k = all ? 0 : n - 1; k < n; ++k) {
            const CRecord* item = root()->GetListItem(rRows, k);
            if (item->Position() != k || item->GetIndex() != k) return false;
        }
        return true;
    };
    u32 id = 100;
    for (const Edit& e : edits) {
        if (e.kind == 'i')
            root()->InsertItem(ctx, rRows, e.a, NewItem(id++));
        else if (e.kind == 'r')
            root()->RemoveItem(ctx, rRows, e.a);
        else
            root()->MoveItem(ctx, rRows, e.a, e.b);
        EXPECT_TRUE(placesRight(e.askAll)) << e.kind << e.a;
    }
    EXPECT_TRUE(placesRight(true));
    while (undo.Undo()) EXPECT_TRUE(placesRight(false));
    EXPECT_TRUE(placesRight(true));
    while (undo.Redo()) EXPECT_TRUE(placesRight(false));
    EXPECT_TRUE(placesRight(true));
}

}  // namespace
