#include <gtest/gtest.h>

#include <clocale>

#include "RecTestUtil.h"
#include "base/CMemStrm.h"
#include "records/LRecPath.h"
#include "records/PropRecord.h"

namespace {

using namespace rt;
using Bytes = std::vector<u8>;

bool ReplyWhole(Bytes b) {
    CMemStrm s(b.empty() ? nullptr : b.data(), u32(b.size()));
    return PropRecord::ReplyWhole(&s) && s.Position() == 0;
}

TEST(RecordChunk, RandomTreesSurviveWriteAndRead) {
    std::mt19937 rng(12345);
    for (int i = 0; i < 200; ++i) {
        CRecord* r = RandomRoot(rng);
        const Bytes b = WriteRec(r);
        ASSERT_TRUE(ReplyWhole(b)) << "tree " << i;
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

// A chunk laid out as the writer does (the pad after an odd payload), its
// length field off by `off`.
Bytes Chunk(const char* tag, std::initializer_list<Bytes> parts, i32 off = 0) {
    Bytes payload;
    for (const Bytes& p : parts) payload.insert(payload.end(), p.begin(), p.end());
    Bytes b(tag, tag + 4);
    const u32 n = u32(payload.size()) + u32(off);
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(u8(n >> shift));
    b.insert(b.end(), payload.begin(), payload.end());
    if (payload.size() & 1) b.push_back(0);
    return b;
}
Bytes Text(const char* four) {
    return Bytes(four, four + 4);
}

// Whether a reply gives each value field of its record (a box, or a test item
// or root) a whole value, as its reader would take them.
bool HoldsValues(Bytes b) {
    u32 kind = 0;
    for (size_t i = 8; i < 12 && b.size() >= 12; ++i) kind = (kind << 8) | b[i];
    const CRecordSchema* schema = RecBox::Schema(kind);
    if (!schema) schema = kind == ItemSchema()->Kind() ? ItemSchema() : RootSchema();
    CMemStrm s(b.empty() ? nullptr : b.data(), u32(b.size()));
    return PropRecord::ReplyHoldsValues(&s, schema) && s.Position() == 0;
}

// A device's reply whose lengths do not add up would be read with the value cut
// at a chunk's end as missing, its default: it is no whole reply, however deep.
// One that adds up may still leave a value out, which reads as its default too.
TEST(RecordChunk, AReplyWhoseLengthsDoNotAddUpIsNotWhole) {
    const Bytes value = Chunk("UDPR", {{0, 0, 0x84, 0xD0}});
    const Bytes item = Chunk("TEST", {Text("ITEM"), value});
    const Bytes itemShort = Chunk("TEST", {Text("ITEM"), value}, -1);
    Bytes unpadded = Chunk("YUND", {Text("CMST"), Chunk("UDPR", {{'a', 'b', 0}})}, -1);
    unpadded.pop_back();  // the text's pad, and so the box's, left off
    const struct {
        const char* what;
        Bytes bytes;
        bool whole;
        bool holds;  // every value field whole
    } cases[] = {
        {"a u32 box", Chunk("YUND", {Text("CMUI"), value}), true, true},
        {"a text box whose pads were left off", unpadded, true, true},
        {"a list box", Chunk("YUND", {Text("CMAR"), item, item}), true, true},
        {"a u32 box one short: its last byte read as the pad",
         Chunk("YUND", {Text("CMUI"), value}, -1), false, false},
        {"a child one short",
         Chunk("TEST", {Text("ROOT"), Chunk("UDUD", {Text("main"), itemShort})}), false, false},
        {"a list box's item one short", Chunk("YUND", {Text("CMAR"), item, itemShort}), false,
         true},
        {"bytes of no chunk after the values", Chunk("YUND", {Text("CMUI"), value, {0, 0}}), false,
         true},
        {"a u32 box without a value block", Chunk("YUND", {Text("CMUI")}), true, false},
        {"a u32 box with an empty value block", Chunk("YUND", {Text("CMUI"), Chunk("UDPR", {})}),
         true, false},
        {"a u32 box with half its value", Chunk("YUND", {Text("CMUI"), Chunk("UDPR", {{0, 0}})}),
         true, false},
        {"a u32 box with only an unknown block",
         Chunk("YUND", {Text("CMUI"), Chunk("XTRA", {{0, 0, 0x84, 0xD0}})}), true, false},
        {"a u32 box with its value and more",
         Chunk("YUND", {Text("CMUI"), value, Chunk("XTRA", {})}), true, true},
        {"an item with its first value alone", item, true, false},
        {"an item with every value",
         Chunk("TEST", {Text("ITEM"), Chunk("UDPR", {{0, 0, 0, 1, 'n', 0, '1', 0, 4}})}), true,
         true},
        {"nothing", {}, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplyWhole(c.bytes), c.whole) << c.what;
        EXPECT_EQ(HoldsValues(c.bytes), c.holds) << c.what;
    }
}

TEST(RecordChunk, TruncatedInputNeverReadsPastTheEnd) {
    std::mt19937 rng(99);
    CRecord* src = RandomRoot(rng);
    const Bytes full = WriteRec(src);
    for (size_t n = 0; n < full.size(); n += 3) {
        Bytes cut(full.begin(), full.begin() + long(n));
        EXPECT_EQ(ReplyWhole(cut), n == 0) << n;
        CRecord* r = ReadRec(cut);  // whatever comes back, nothing overruns (sanitizer build)
        CRecord::Destroy(r);
    }
    CRecord::Destroy(src);
}

}  // namespace
