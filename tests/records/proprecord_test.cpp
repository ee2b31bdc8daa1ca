#include <gtest/gtest.h>

#include <clocale>

#include "RecTestUtil.h"
#include "base/CMemStrm.h"
#include "records/LRecPath.h"
#include "records/PropRecord.h"

namespace {

using namespace rt;
using Bytes = std::vector<u8>;

TEST(RecordChunk, NullRecordAndStringBoxBytes) {
    EXPECT_EQ(WriteRec(nullptr),
              (Bytes{0x59, 0x55, 0x4E, 0x44, 0, 0, 0, 4, 0x55, 0x44, 0x4E, 0x4C}));
    CRecord* box = CRecord::New(CRecordSchema::Find(RecBox::kFamily, RecBox::kStr));
    ASSERT_NE(box, nullptr);
    box->SetString(nullptr, 0, LString("ab"));
    EXPECT_EQ(WriteRec(box), (Bytes{'Y', 'U', 'N', 'D', 0, 0, 0, 16, 'C', 'M', 'S', 'T',
                                    'U', 'D', 'P', 'R', 0, 0, 0, 3,  'a', 'b', 0,   0}));
    box->SetString(nullptr, 0, LString(""));
    const Bytes empty = WriteRec(box);
    ASSERT_EQ(empty.size(), 22u);  // one 0 byte for the empty text, padded
    EXPECT_EQ(empty[15 + 4], 1u);
    CRecord::Destroy(box);
}

std::string FloatText(f32 v, u8 digits) {
    const RecFieldDesc f[] = {RecField::F32(FourCC("flt "), 0, digits)};
    CRecordSchema s(FourCC("FLTS"), FourCC("FLTK"), 1, f);
    CRecord* r = CRecord::New(&s);
    r->SetF32(nullptr, 0, 0, v);
    const Bytes b = WriteRec(r);
    CRecord::Destroy(r);
    // family, length, kind, 'UDPR', length, text
    return std::string(reinterpret_cast<const char*>(b.data()) + 20);
}

TEST(RecordChunk, FloatsAsTextWithTheFieldsDigits) {
    EXPECT_EQ(FloatText(1.0f, 5), "1");
    EXPECT_EQ(FloatText(0.5f, 2), "0.5");
    EXPECT_EQ(FloatText(-0.0f, 3), "0");
    EXPECT_EQ(FloatText(2.125f, 2), "2.12");
    EXPECT_EQ(FloatText(-12.75f, 1), "-12.8");

    // The same bytes, and the same values back, whatever the locale says.
    std::mt19937 rng(7);
    CRecord* r = RandomRoot(rng);
    const Bytes inC = WriteRec(r);
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    const bool german =
        std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE.utf8");
    EXPECT_EQ(FloatText(1.5f, 2), "1.5");
    EXPECT_EQ(WriteRec(r), inC);
    CRecord* back = ReadRec(inC);
    std::setlocale(LC_ALL, saved.c_str());
    std::string why;
    EXPECT_TRUE(Equal(r, back, &why)) << why;
    CRecord::Destroy(back);
    CRecord::Destroy(r);
    if (!german) GTEST_SKIP() << "no German locale installed; checked in the C locale only";
}

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

TEST(RecordChunk, ListsMergeByPosition) {
    CRecordDoc doc(NewRoot());
    CRecord* root = doc.Root();
    for (u32 k = 0; k < 5; ++k) root->InsertItem(nullptr, rRows, k, NewItem(k));
    CRecord* first = root->GetListItem(rRows, 0);
    CRecord* second = root->GetListItem(rRows, 1);

    CRecord* src = NewRoot();
    src->InsertItem(nullptr, rRows, 0, NewItem(70));
    src->InsertItem(nullptr, rRows, 1, NewItem(71));
    NoteLog log;
    log.Attach(doc);
    ASSERT_TRUE(ReadInto(WriteRec(src), root));
    ASSERT_EQ(root->GetListCount(rRows), 2u);
    EXPECT_EQ(root->GetListItem(rRows, 0), first);
    EXPECT_EQ(root->GetListItem(rRows, 1), second);
    EXPECT_EQ(first->GetU32(iSqid), 70u);
    EXPECT_EQ(log.Count(CRecordNote::kRemoved), 3u);
    EXPECT_TRUE(log.notes.size() >= 5u);
    for (auto& n : log.notes) EXPECT_EQ(n.context, nullptr);

    // A chunk without the list empties it.
    CRecord* none = NewRoot();
    ASSERT_TRUE(ReadInto(WriteRec(none), root));
    EXPECT_EQ(root->GetListCount(rRows), 0u);
    doc.RemoveListener(&log, NoteLog::Fn);
    CRecord::Destroy(none);
    CRecord::Destroy(src);
}

TEST(RecordChunk, UnmentionedFieldsAreReset) {
    CRecord* r = NewRoot();
    r->SetU32(nullptr, rLate, 99);    // after the first array: never in the chunk
    r->SetU32(nullptr, rScratch, 5);  // untagged: never touched
    r->SetArray(nullptr, rNums, &r, 0);
    const u32 nums[] = {1, 2, 3};
    r->SetArray(nullptr, rNums, nums, 3);
    CRecord::Destroy(r->ReplaceChild(nullptr, rOpt, NewItem(4)));
    r->GetChild(rWork)->SetU32(nullptr, iSqid, 6);

    // A chunk holding only the kind: every tagged field goes back to its default.
    const Bytes onlyKind = {'T', 'E', 'S', 'T', 0, 0, 0, 4, 'R', 'O', 'O', 'T'};
    r->SetU32(nullptr, rVers, 42);
    ASSERT_TRUE(ReadInto(onlyKind, r));
    EXPECT_EQ(r->GetU32(rVers), 1u);
    EXPECT_EQ(r->GetU32(rLate), 7u);
    EXPECT_EQ(r->GetArrayCount(rNums), 0u);
    EXPECT_EQ(r->GetChild(rOpt), nullptr);
    EXPECT_EQ(r->GetU32(rScratch), 5u);
    EXPECT_EQ(r->GetChild(rWork)->GetU32(iSqid), 6u);

    // A truncated scalar run keeps what was read and resets the rest.
    const Bytes partial = {'T', 'E', 'S', 'T', 0, 0, 0, 18, 'R', 'O', 'O', 'T', 'U',
                           'D', 'P', 'R', 0,   0, 0, 6, 0,  0,   0,   9,   'h', 'i'};
    r->SetString(nullptr, rTitl, LString("zzz"));
    ASSERT_TRUE(ReadInto(partial, r));
    EXPECT_EQ(r->GetU32(rVers), 9u);
    EXPECT_STREQ(r->GetString(rTitl).CStr(), "untitled");
    CRecord::Destroy(r);
}

TEST(RecordChunk, OtherKindChangesNothing) {
    CRecord* r = NewRoot();
    r->SetU32(nullptr, rVers, 3);
    CRecord* copy = CRecord::Copy(r, nullptr);
    CRecord* item = NewItem(4);
    Bytes b = WriteRec(item);
    b.push_back(0xAB);
    u64 pos = 0;
    EXPECT_FALSE(ReadInto(b, r, true, &pos));
    EXPECT_EQ(pos, b.size() - 1);  // the chunk was skipped
    EXPECT_TRUE(Equal(r, copy));
    CRecord::Destroy(item);
    CRecord::Destroy(copy);
    CRecord::Destroy(r);
}

TEST(RecordChunk, ChildRules) {
    CRecord* r = NewRoot();
    CRecord::Destroy(r->ReplaceChild(nullptr, rOpt, NewItem(4)));
    CRecord* main = r->GetChild(rMain);
    // Build a chunk whose children are the null record.
    LDataBuf buf;
    u64 end;
    {
        CMemStrm s(buf);
        CChunkWriter w, u1, u2;
        w.Open(&s, kFam);
        w.WriteU32(kRootKind);
        u1.OpenSub(w, PropRecord::kChild);
        u1.WriteU32(FourCC("opt "));
        PropRecord::WriteSub(u1, nullptr);
        u1.Close();
        u2.OpenSub(w, PropRecord::kChild);
        u2.WriteU32(FourCC("main"));
        PropRecord::WriteSub(u2, nullptr);
        u2.Close();
        w.Close();
        end = s.Position();
    }
    ASSERT_TRUE(ReadInto(Bytes(buf.Data(), buf.Data() + end), r));
    EXPECT_EQ(r->GetChild(rOpt), nullptr);  // optional: cleared
    EXPECT_EQ(r->GetChild(rMain), main);    // not optional: unchanged
    // An untyped child accepts any registered kind.
    CRecord* src = NewRoot();
    CRecord* anyRoot = NewRoot();
    anyRoot->SetU32(nullptr, rVers, 77);
    CRecord::Destroy(src->ReplaceChild(nullptr, rAny, anyRoot));
    ASSERT_TRUE(ReadInto(WriteRec(src), r));
    ASSERT_NE(r->GetChild(rAny), nullptr);
    EXPECT_EQ(r->GetChild(rAny)->Schema(), RootSchema());
    EXPECT_EQ(r->GetChild(rAny)->GetU32(rVers), 77u);
    CRecord::Destroy(src);
    CRecord::Destroy(r);
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
    EXPECT_EQ(ReadRec(Nested(5000)), nullptr);

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
