#include <gtest/gtest.h>

#include "RecTestUtil.h"
#include "base/CMemStrm.h"
#include "records/LRecPath.h"
#include "records/PropRecord.h"

namespace {

using namespace rt;
using Bytes = std::vector<u8>;

std::string PathOf(const CRecord* top, const CRecord* r, u8 field, u32 index = kRecNoIndex) {
    LTextStream t;
    if (!LRecPath::Append(top, r, field, index, t)) return "<fail>";
    return t.CStr();
}

Bytes WriteValue(const CRecord* r, u8 field) {
    LDataBuf buf;
    u64 end;
    {
        CMemStrm s(buf);
        if (!LRecPath::WriteValue(r, field, kRecNoIndex, &s)) return {};
        end = s.Position();
    }
    return Bytes(buf.Data(), buf.Data() + end);
}

bool ReadValue(CRecord* r, u8 field, Bytes b) {
    CMemStrm s(b.data(), u32(b.size()));
    return LRecPath::ReadValue(r, field, kRecNoIndex, &s);
}

struct PathFixture : ::testing::Test {
    CRecordDoc doc{NewRoot()};
    CRecord* root() { return doc.Root(); }
    void SetUp() override {
        for (u32 k = 0; k < 4; ++k) root()->InsertItem(nullptr, rRows, k, NewItem(k));
        root()->GetListItem(rRows, 2)->InsertItem(nullptr, iSubs, 0, NewItem(20));
    }
};

TEST_F(PathFixture, PathsAndResolution) {
    CRecord* item2 = root()->GetListItem(rRows, 2);
    EXPECT_EQ(PathOf(root(), item2, iSqid), "/rows/2/sqid");
    EXPECT_EQ(PathOf(root(), root(), rVers), "/vers");
    EXPECT_EQ(PathOf(root(), root(), kRecSelf), "/");
    EXPECT_EQ(PathOf(root(), root(), rRows, 3), "/rows/3");
    EXPECT_EQ(PathOf(root(), item2->GetListItem(iSubs, 0), iVals, 1), "/rows/2/subs/0/vals/1");
    EXPECT_EQ(PathOf(root(), root()->GetChild(rMain), iName), "/main/name");
    EXPECT_EQ(PathOf(root(), item2, kRecSelf), "/rows/2");
    EXPECT_EQ(PathOf(item2, item2, iSqid), "/sqid");
    EXPECT_EQ(PathOf(root(), root(), rScratch), "<fail>");  // untagged
    EXPECT_EQ(PathOf(root(), nullptr, 0), "<fail>");
    EXPECT_EQ(PathOf(root(), root(), 200), "<fail>");

    u8 f;
    u32 i;
    EXPECT_EQ(LRecPath::Resolve("/", root(), &f, &i), root());
    EXPECT_EQ(f, kRecSelf);
    EXPECT_EQ(LRecPath::Resolve("/rows/2/sqid", root(), &f, &i), item2);
    EXPECT_EQ(f, iSqid);
    EXPECT_EQ(i, kRecNoIndex);
    EXPECT_EQ(LRecPath::Resolve("//rows// 2/subs/0/vals/1\nrest", root(), &f, &i),
              item2->GetListItem(iSubs, 0));
    EXPECT_EQ(f, iVals);
    EXPECT_EQ(i, 1u);
    EXPECT_EQ(LRecPath::Resolve("/rows/3", root(), &f, &i), root());
    EXPECT_EQ(f, rRows);
    EXPECT_EQ(i, 3u);
    EXPECT_EQ(LRecPath::Resolve("/main/name", root(), &f, &i), root()->GetChild(rMain));
    EXPECT_EQ(LRecPath::Resolve("/opt /name", root(), &f, &i), nullptr);  // null child
    EXPECT_EQ(LRecPath::Resolve("/rows/4/sqid", root(), &f, &i), nullptr);
    EXPECT_EQ(LRecPath::Resolve("/rows/x", root(), &f, &i), nullptr);
    EXPECT_EQ(LRecPath::Resolve("/nope", root(), &f, &i), nullptr);
    EXPECT_EQ(LRecPath::Resolve("/vers/1", root(), &f, &i), nullptr);
    EXPECT_EQ(LRecPath::Resolve("/nums/1/2", root(), &f, &i), nullptr);
    EXPECT_EQ(LRecPath::Resolve("rows", root(), &f, &i), nullptr);
    EXPECT_EQ(LRecPath::Resolve("/", nullptr, &f, &i), nullptr);
}

TEST_F(PathFixture, EveryKindOfValueGoesThroughItsBox) {
    RecordingUndo undo;
    CRecordDoc other(NewRoot());
    std::mt19937 rng(5);
    CRecord* src = RandomRoot(rng);
    src->SetF32(nullptr, rGain, 0, 3.125f);
    CRecord* dst = other.Root();
    NoteLog log;
    log.Attach(other);
    for (u8 f : {rVers, rTitl, rGain, rMode, rTrns, rNums, rMain, rOpt, rAny, rRows}) {
        const Bytes b = WriteValue(src, f);
        ASSERT_FALSE(b.empty()) << int(f);
        EXPECT_TRUE(ReadValue(dst, f, b)) << int(f);
    }
    std::string why;
    EXPECT_TRUE(Equal(src, dst, &why)) << why;
    EXPECT_FALSE(log.notes.empty());
    EXPECT_TRUE(undo.opens.empty());  // reading a value records nothing

    // The record itself.
    CRecord* item = src->GetChild(rMain);
    const Bytes whole = WriteValue(item, kRecSelf);
    CRecord* target = NewItem(0);
    EXPECT_TRUE(ReadValue(target, kRecSelf, whole));
    EXPECT_TRUE(Equal(item, target));
    CRecord::Destroy(target);

    // A box of the wrong type is refused; the null record empties an array.
    EXPECT_FALSE(ReadValue(dst, rVers, WriteValue(src, rTitl)));
    EXPECT_FALSE(ReadValue(dst, rTrns, WriteValue(src, rVers)));  // i32 field, u32 box
    const u32 nums[] = {1, 2};
    dst->SetArray(nullptr, rNums, nums, 2);
    EXPECT_TRUE(ReadValue(dst, rNums, Bytes{}));  // no box at all
    EXPECT_EQ(dst->GetArrayCount(rNums), 0u);
    dst->SetArray(nullptr, rNums, nums, 2);
    LDataBuf nb;
    u64 end;
    {
        CMemStrm s(nb);
        PropRecord::Write(&s, nullptr);
        end = s.Position();
    }
    EXPECT_TRUE(ReadValue(dst, rNums, Bytes(nb.Data(), nb.Data() + end)));
    EXPECT_EQ(dst->GetArrayCount(rNums), 0u);
    // The null record clears an optional child and leaves a required one.
    CRecord::Destroy(dst->ReplaceChild(nullptr, rOpt, NewItem(1)));
    EXPECT_TRUE(ReadValue(dst, rOpt, Bytes(nb.Data(), nb.Data() + end)));
    EXPECT_EQ(dst->GetChild(rOpt), nullptr);
    EXPECT_FALSE(ReadValue(dst, rMain, Bytes(nb.Data(), nb.Data() + end)));
    EXPECT_NE(dst->GetChild(rMain), nullptr);
    EXPECT_FALSE(ReadValue(nullptr, rVers, WriteValue(src, rVers)));
    EXPECT_FALSE(ReadValue(dst, 200, WriteValue(src, rVers)));
    EXPECT_TRUE(undo.opens.empty());
    other.RemoveListener(&log, NoteLog::Fn);
    CRecord::Destroy(src);
}

TEST_F(PathFixture, AListValueFollowsManyEditsAnywhere) {
    // A list's value written once, then followed through runs of insertions
    // and removals at one place (a paste, its Undo), moves and edits here
    // and there: finished, it is the value the list now writes.
    LDataBuf buf;
    LRecListValue layout;
    {
        CMemStrm s(buf);
        ASSERT_TRUE(LRecPath::WriteValue(root(), rRows, kRecNoIndex, &s, &layout));
    }
    u32 id = 100;
    const auto insert = [&](u32 at) {
        root()->InsertItem(nullptr, rRows, at, NewItem(id++));
        return LRecPath::ChangeListValue(root(), rRows, CRecordNote::kInserted, at, kRecNoIndex,
                                         &layout);
    };
    const auto remove = [&](u32 at) {
        root()->RemoveItem(nullptr, rRows, at);
        return LRecPath::ChangeListValue(root(), rRows, CRecordNote::kRemoved, at, kRecNoIndex,
                                         &layout);
    };
    for (u32 k = 0; k < 40; ++k) ASSERT_TRUE(insert(1 + k));
    for (u32 k = 40; k-- > 10;) ASSERT_TRUE(remove(1 + k));
    for (u32 at : {0u, 13u, 5u, 14u, 2u}) ASSERT_TRUE(insert(at));
    for (u32 at : {3u, 0u, 11u}) ASSERT_TRUE(remove(at));
    const CRecord* moved = root()->GetListItem(rRows, 2);
    root()->MoveItem(nullptr, rRows, 2, 9);
    ASSERT_TRUE(LRecPath::ChangeListValue(root(), rRows, CRecordNote::kMoved, 2, moved->Position(),
                                          &layout));
    for (u32 k = 0; k < 20; ++k) ASSERT_TRUE(insert(root()->GetListCount(rRows)));
    LDataBuf out;
    u64 end;
    {
        CMemStrm finished(out);
        ASSERT_TRUE(LRecPath::FinishListValue(buf.Data(), &finished, &layout));
        end = finished.Position();
    }
    EXPECT_EQ(Bytes(out.Data(), out.Data() + end), WriteValue(root(), rRows));
}

}  // namespace
