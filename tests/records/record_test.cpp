#include <gtest/gtest.h>

#include "RecTestUtil.h"
#include "base/Paths.h"

namespace {

using namespace rt;

TEST(Record, CopyOfLongerListKeepsTargetItems) {
    CRecord* src = NewRoot();
    for (u32 k = 0; k < 5; ++k) src->InsertItem(nullptr, rRows, k, NewItem(100 + k));
    src->SetString(nullptr, rTitl, LString("copied"));
    const u32 nums[] = {4, 5, 6};
    src->SetArray(nullptr, rNums, nums, 3);
    CRecord* tgt = NewRoot();
    tgt->InsertItem(nullptr, rRows, 0, NewItem(1));
    tgt->InsertItem(nullptr, rRows, 1, NewItem(2));
    CRecord* keep0 = tgt->GetListItem(rRows, 0);
    CRecord* keep1 = tgt->GetListItem(rRows, 1);
    CRecord* oldMain = tgt->GetChild(rMain);
    (void)oldMain;

    CRecord* out = CRecord::Copy(src, tgt);
    ASSERT_EQ(out, tgt);
    ASSERT_EQ(out->GetListCount(rRows), 5u);
    EXPECT_EQ(out->GetListItem(rRows, 0), keep0);
    EXPECT_EQ(out->GetListItem(rRows, 1), keep1);
    for (u32 k = 0; k < 5; ++k) {
        CRecord* item = out->GetListItem(rRows, k);
        EXPECT_NE(item, src->GetListItem(rRows, k));
        EXPECT_EQ(item->GetU32(iSqid), 100 + k);
        EXPECT_EQ(item->Parent(), out);
        EXPECT_EQ(item->GetIndex(), k);
    }
    EXPECT_STREQ(out->GetString(rTitl).CStr(), "copied");
    EXPECT_EQ(out->GetArrayCount(rNums), 3u);
    EXPECT_EQ(static_cast<const u32*>(out->GetArrayData(rNums))[2], 6u);
    EXPECT_NE(out->GetChild(rMain), src->GetChild(rMain));
    EXPECT_EQ(out->GetChild(rMain)->Parent(), out);
    std::string why;
    EXPECT_TRUE(Equal(src, out, &why)) << why;

    // Shorter source: surplus target items go.
    CRecord* shorter = NewRoot();
    shorter->InsertItem(nullptr, rRows, 0, NewItem(7));
    out = CRecord::Copy(shorter, out);
    EXPECT_EQ(out->GetListCount(rRows), 1u);
    EXPECT_EQ(out->GetListItem(rRows, 0), keep0);
    EXPECT_TRUE(Equal(shorter, out));

    CRecord::Destroy(shorter);
    CRecord::Destroy(src);
    CRecord::Destroy(out);
}

TEST(Record, CopyOntoOtherKindReplacesAndNullDestroys) {
    CRecord* item = NewItem(5);
    CRecord* root = NewRoot();
    CRecord* out = CRecord::Copy(item, root);  // root destroyed, a new item made
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->Schema(), ItemSchema());
    EXPECT_EQ(out->GetU32(iSqid), 5u);
    EXPECT_EQ(CRecord::Copy(nullptr, out), nullptr);
    CRecord* fresh = CRecord::Copy(item, nullptr);
    EXPECT_TRUE(Equal(item, fresh));
    CRecord::Destroy(fresh);
    CRecord::Destroy(item);
}

// A kind whose hook refuses the n-th new record, to fail a copy at every point
// where it makes one: the fresh target, a child, an item copied in place, an
// appended item.
i32 gRefuseIn = -1;
i32 RefusingHook(u32 op, void*) {
    return op == CRecordSchema::kHookDefaults && gRefuseIn >= 0 && gRefuseIn-- == 0;
}
constexpr u32 kCopyKind = FourCC("COPY");
const RecFieldDesc kCopyFields[] = {
    RecField::U32(FourCC("numb")),
    RecField::Str(FourCC("name")),
    RecField::Child(FourCC("chld"), kFam, kCopyKind, kRecOptional),
    RecField::List(FourCC("list"), kFam, kCopyKind),
};
CRecordSchema gCopySchema(kFam, kCopyKind, 4, kCopyFields, RefusingHook);

CRecord* CopyTree(u32 items, u32 seed) {
    CRecord* r = CRecord::New(&gCopySchema);
    r->SetU32(nullptr, 0, seed);
    r->ReplaceChild(nullptr, 2, CRecord::New(&gCopySchema));
    for (u32 k = 0; k < items; ++k) {
        CRecord* item = CRecord::New(&gCopySchema);
        item->SetString(nullptr, 1, LString(std::to_string(seed + k).c_str()));
        item->ReplaceChild(nullptr, 2, CRecord::New(&gCopySchema));
        r->InsertItem(nullptr, 3, k, item);
    }
    return r;
}

TEST(Record, CopyThatCannotMakeARecordFailsWhole) {
    CRecord* src = CopyTree(3, 50);
    CRecord* snapshot = CopyTree(3, 50);
    for (u32 targetItems : {0u, 1u, 5u}) {
        for (i32 n = 0;; ++n) {
            SCOPED_TRACE("target items " + std::to_string(targetItems) + ", refusal " +
                         std::to_string(n));
            CRecord* target = targetItems ? CopyTree(targetItems, 1) : nullptr;
            gRefuseIn = n;
            CRecord* out = CRecord::Copy(src, target);
            const bool refused = gRefuseIn < 0;
            gRefuseIn = -1;
            // The source is untouched; a failed copy leaves nothing behind
            // (the target included) for the leak checker to find.
            EXPECT_TRUE(Equal(src, snapshot));
            if (refused) {
                EXPECT_EQ(out, nullptr);
                continue;
            }
            ASSERT_NE(out, nullptr);
            std::string why;
            EXPECT_TRUE(Equal(src, out, &why)) << why;
            for (u32 k = 0; k < out->GetListCount(3); ++k)
                EXPECT_EQ(out->GetListItem(3, k)->Parent(), out);
            CRecord::Destroy(out);
            EXPECT_GT(n, 3);  // every record made was refusable
            break;
        }
    }
    CRecord::Destroy(snapshot);
    CRecord::Destroy(src);
}

TEST(Record, AccessorsAndRelations) {
    CRecord* root = NewRoot();
    root->InsertItem(nullptr, rRows, 0, NewItem(1));
    root->InsertItem(nullptr, rRows, 1, NewItem(2));
    CRecord* item = root->GetListItem(rRows, 1);
    item->InsertItem(nullptr, iSubs, 0, NewItem(3));
    CRecord* sub = item->GetListItem(iSubs, 0);
    EXPECT_TRUE(sub->IsDescendantOf(root));
    EXPECT_TRUE(sub->IsDescendantOf(item));
    EXPECT_FALSE(sub->IsDescendantOf(sub));
    EXPECT_FALSE(root->IsDescendantOf(sub));
    EXPECT_FALSE(sub->IsDescendantOf(nullptr));
    EXPECT_EQ(item->GetIndex(), 1u);
    EXPECT_EQ(sub->Depth(), 2u);

    const i32 three[] = {1, 2, 3};
    item->SetArray(nullptr, iVals, three, 3);
    EXPECT_EQ(item->GetRectFromArray(iVals), LRect());
    item->SetRectToArray(nullptr, iVals, LRect(10, 20, 30, 40));
    EXPECT_EQ(item->GetRectFromArray(iVals), LRect(10, 20, 30, 40));
    EXPECT_EQ(item->GetArrayCount(iVals), 4u);
    CRecord::Destroy(root);
}

TEST(Record, PathFields) {
    CRecord* item = NewItem(1);
    LString url;
    PosixPathToFileUrl(&url, LString(KEVO_BINARY_DIR));
    item->SetPathField(nullptr, iName, url);
    EXPECT_EQ(item->GetString(iName), url);
    EXPECT_FALSE(item->GetPathField(iName).IsEmpty());
    item->SetPathField(nullptr, iName, LString("file:///Root/%2E%2E/x"));
    EXPECT_TRUE(item->GetPathField(iName).IsEmpty());
    EXPECT_TRUE(item->GetPathField(iSqid).IsEmpty());
    CRecord::Destroy(item);
}

TEST(Record, StringArrayKeepsSharedStrings) {
    CStrArray a(2);
    EXPECT_EQ(a.Count(), 2u);
    EXPECT_TRUE(a.At(0).IsEmpty());
    for (u32 i = 0; i < 20; ++i) ASSERT_TRUE(a.InsertAt(1000, LString(std::to_string(i).c_str())));
    EXPECT_EQ(a.Count(), 22u);
    EXPECT_STREQ(a.At(21).CStr(), "19");
    a.RemoveAt(2);
    EXPECT_STREQ(a.At(2).CStr(), "1");
    CStrArray b;
    b.Assign(a);
    EXPECT_EQ(b.Count(), a.Count());
    EXPECT_EQ(b.At(5).Rep(), a.At(5).Rep());
    const LString two[] = {LString("x"), LString("y")};
    b.Assign(two, 2);
    EXPECT_EQ(b.Count(), 2u);
    EXPECT_STREQ(b.At(1).CStr(), "y");
    b.Grow(5, 3);
    EXPECT_EQ(b.Count(), 5u);
    b.Grow(1, 0);
    EXPECT_EQ(b.Count(), 5u);
    b.Clear();
    EXPECT_EQ(b.Count(), 0u);
}

}  // namespace
