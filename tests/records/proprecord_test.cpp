#include <gtest/gtest.h>

#include <clocale>

#include "RecTestUtil.h"
#include "base/CMemStrm.h"
#include "records/LRecPath.h"
#include "records/PropRecord.h"

namespace {

using namespace rt;
using Bytes = std::vector<u8>;

TEST(RecordChunk, RandomTreesSurviveWriteAndRead) {
    std::mt19937 rng(12345);
    for (int i = 0; i < 200; ++i) {
        CRecord* r = RandomRoot(rng);
        const Bytes b = WriteRec(r);
        CRecord* back = ReadRec(b);
        std::string why;
        ASSERT_TRUE(Equal(r, back, &why)) << "tree " << i << ": " << why;
        EXPECT_EQ(WriteRec(back), b);
        // Merging into an unrelated tree of the same kind gives the same tree too.
        CRecord* other = RandomRoot(rng);
        ASSERT_TRUE(ReadInto(b, other));
        ASSERT_TRUE(Equal(r, other, &why)) << "merge " << i << ": " << why;
        CRecord::Destroy(other);
        CRecord::Destroy(back);
        CRecord::Destroy(r);
    }
}

// Items nested `levels` deep through the untyped 'subs' list.
Bytes Nested(u32 levels) {
    CRecord* top = NewItem(0);
    CRecord* cur = top;
    for (u32 i = 1; i < levels; ++i) {
        cur->InsertItem(nullptr, iSubs, 0, NewItem(i));
        cur = cur->GetListItem(iSubs, 0);
    }
    Bytes b = WriteRec(top);
    CRecord::Destroy(top);
    return b;
}

TEST(RecordChunk, NestingDepthIsCapped) {
    CRecord* ok = ReadRec(Nested(PropRecord::kMaxDepth));
    ASSERT_NE(ok, nullptr);
    CRecord::Destroy(ok);
    EXPECT_EQ(ReadRec(Nested(PropRecord::kMaxDepth + 1)), nullptr);
    // Far deeper, though not so deep that building it (the writer and the tree's
    // end recurse, records in memory being trusted) runs out of stack in an
    // unoptimised sanitizer build.
    EXPECT_EQ(ReadRec(Nested(PropRecord::kMaxDepth * 8)), nullptr);

    // Merging a too deep chunk fails and changes nothing at all.
    CRecordDoc doc(NewItem(1));
    doc.Root()->InsertItem(nullptr, iSubs, 0, NewItem(2));
    CRecord* before = CRecord::Copy(doc.Root(), nullptr);
    NoteLog log;
    log.Attach(doc);
    Bytes deep = Nested(PropRecord::kMaxDepth + 1);
    EXPECT_FALSE(ReadInto(deep, doc.Root()));
    EXPECT_TRUE(Equal(doc.Root(), before));
    EXPECT_TRUE(log.notes.empty());
    // The depth counts from the root of the tree read into.
    CRecord* inner = doc.Root()->GetListItem(iSubs, 0);
    EXPECT_FALSE(ReadInto(Nested(PropRecord::kMaxDepth), inner));
    EXPECT_TRUE(ReadInto(Nested(PropRecord::kMaxDepth - 1), inner));
    doc.RemoveListener(&log, NoteLog::Fn);
    CRecord::Destroy(before);
}

TEST(RecordChunk, DocumentReadResolvesTypedKinds) {
    CRecordDoc doc(NewRoot());
    std::mt19937 rng(3);
    CRecord* src = RandomRoot(rng);
    Bytes b = WriteRec(src);
    CMemStrm s(b.data(), u32(b.size()));
    ASSERT_TRUE(PropRecord::ReadFromStream(&s, &doc));
    EXPECT_TRUE(Equal(doc.Root(), src));
    EXPECT_TRUE(doc.IsModified());
    CRecordDoc empty(nullptr);
    CMemStrm s2(b.data(), u32(b.size()));
    EXPECT_FALSE(PropRecord::ReadFromStream(&s2, &empty));
    CRecord::Destroy(src);
}

TEST(RecordChunk, LengthsPastTheStreamAllocateNothingForThem) {
    // Both the record and its array claim about 2 GB; two elements are really there.
    const Bytes b = {'T', 'E', 'S', 'T', 0x7F, 0xFF, 0xFF, 0xF0, 'I', 'T', 'E', 'M',
                     'U', 'D', 'P', 'A', 0x7F, 0xFF, 0xFF, 0x00, 'v', 'a', 'l', 's',
                     0,   0,   0,   5,   0xFF, 0xFF, 0xFF, 0xFE, 0,   0};
    CRecord* r = ReadRec(b);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->GetArrayCount(iVals), 2u);
    EXPECT_EQ(static_cast<const i32*>(r->GetArrayData(iVals))[1], -2);
    CRecord::Destroy(r);
}

TEST(RecordChunk, TruncatedInputNeverReadsPastTheEnd) {
    std::mt19937 rng(99);
    CRecord* src = RandomRoot(rng);
    const Bytes full = WriteRec(src);
    for (size_t n = 0; n < full.size(); n += 3) {
        Bytes cut(full.begin(), full.begin() + long(n));
        CRecord* r = ReadRec(cut);  // whatever comes back, nothing overruns (sanitizer build)
        CRecord::Destroy(r);
    }
    CRecord::Destroy(src);
}

}  // namespace
