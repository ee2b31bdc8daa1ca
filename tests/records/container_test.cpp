// The document container, records on the clipboard and the id clock.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <random>
#include <string>
#include <vector>

#include "RecTestUtil.h"
#include "records/CChunkFile.h"
#include "records/PrefNodes.h"
#include "records/RecScrap.h"
#include "records/RecordIdClock.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

CRecord* MergeSource(const char* name, i32 start) {
    CRecord* r = NewMergeSourceRecord();
    r->SetString(nullptr, MgscF::flnm, LString(name));
    r->SetI32(nullptr, MgscF::sttm, start);
    return r;
}

// A pasteboard in memory: items by type name, in the order they were put.
class MemPasteboard final : public CDropSource {
public:
    void Put(const LScrapData& data) {
        for (const LLink* l = data.Items().Head(); l && !l->IsEnd(); l = l->Next()) {
            const LScrapItem* it = static_cast<const LScrapItem*>(l);
            items[it->fTypeName.CStr()].emplace_back(it->fData, it->fData + it->fSize);
        }
    }
    bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) override {
        ++fetches;
        auto it = items.find(type.name.CStr());
        if (it == items.end() || index >= it->second.size()) return false;
        *out = it->second[index];
        return true;
    }
    std::map<std::string, std::vector<std::vector<u8>>> items;
    u32 fetches = 0;
};

class Container : public ::testing::Test {
protected:
    void SetUp() override { RegisterAllRecordKinds(); }
};

TEST_F(Container, ReadingEndsAtNullUnregisteredAndShortData) {
    LDataBuf buf;
    u32 size;
    {
        CChunkFile file;
        file.OpenWrite(1, 1, buf);
        CRecord* a = MergeSource("a", 1);
        file.WriteRecord(a);
        file.WriteRecord(nullptr);
        file.WriteRecord(a);
        CRecord::Destroy(a);
        file.Close();
        size = file.WrittenSize();
    }
    CChunkFile in;
    ASSERT_TRUE(in.OpenRead(buf.Data(), size));
    CRecord* a = in.ReadRecord();
    EXPECT_NE(a, nullptr);
    CRecord::Destroy(a);
    EXPECT_EQ(in.ReadRecord(), nullptr);  // the null record

    // Shorter than a header: no first code, no records.
    const u8 shortData[7] = {0, 0, 0, 1, 0, 0, 0};
    EXPECT_FALSE(in.OpenRead(shortData, sizeof(shortData)));
    EXPECT_EQ(in.FirstCode(), 0u);
    EXPECT_EQ(in.ReadRecord(), nullptr);
    EXPECT_FALSE(in.OpenRead(nullptr, 0));
    // A header without the second code.
    const u8 noSecond[8] = {0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(in.OpenRead(noSecond, sizeof(noSecond)));
    EXPECT_EQ(in.FirstCode(), 1u);

    // An unregistered kind.
    const u8 unknown[] = {0,   0,   0,   1,   0, 0, 0, 16, 0,   0,   0,   1,
                          'Z', 'Z', 'Z', 'Z', 0, 0, 0, 4,  'Q', 'Q', 'Q', 'Q'};
    ASSERT_TRUE(in.OpenRead(unknown, sizeof(unknown)));
    EXPECT_EQ(in.ReadRecord(), nullptr);
}

TEST_F(Container, TruncatedAndCorruptedContainersReadSafely) {
    std::mt19937 rng(7);
    LDataBuf buf;
    u32 size;
    std::vector<CRecord*> written;
    {
        CChunkFile file;
        file.OpenWrite(1, 1, buf);
        for (int i = 0; i < 3; ++i) {
            written.push_back(rt::RandomRoot(rng));
            file.WriteRecord(written.back());
        }
        file.Close();
        size = file.WrittenSize();
    }
    CChunkFile in;
    ASSERT_TRUE(in.OpenRead(buf.Data(), size));
    for (CRecord* w : written) {
        CRecord* r = in.ReadRecord();
        std::string why;
        EXPECT_TRUE(r && rt::Equal(w, r, &why)) << why;
        CRecord::Destroy(r);
    }
    // Every cut reads a prefix of whole records and nothing past the bytes.
    for (u32 cut = 0; cut < size; cut += 3) {
        std::vector<u8> part(buf.Data(), buf.Data() + cut);
        CChunkFile p;
        p.OpenRead(part.data(), cut);
        for (CRecord* r; (r = p.ReadRecord());) CRecord::Destroy(r);
    }
    // Random byte flips.
    for (int round = 0; round < 200; ++round) {
        std::vector<u8> bad(buf.Data(), buf.Data() + size);
        for (int k = 0; k < 4; ++k) bad[rng() % size] = u8(rng());
        CChunkFile p;
        p.OpenRead(bad.data(), size);
        for (int n = 0; n < 10; ++n) CRecord::Destroy(p.ReadRecord());
    }
    for (CRecord* w : written) CRecord::Destroy(w);
}

// Whole: the declared length is the file's and every chunk nests whole. Every cut,
// and every flip of a bit in a chunk's tag, length or kind, is found out.
TEST_F(Container, OnlyAWholeContainerIsWhole) {
    std::mt19937 rng(108);
    LDataBuf buf;
    u32 size;
    {
        CChunkFile file;
        file.OpenWrite(FourCC("YKVS"), FourCC("DPLS"), buf);
        for (int i = 0; i < 2; ++i) {
            CRecord* r = rt::RandomRoot(rng);
            file.WriteRecord(r);
            CRecord::Destroy(r);
        }
        file.Close();
        size = file.WrittenSize();
    }
    const std::vector<u8> whole(buf.Data(), buf.Data() + size);
    CChunkFile in;
    ASSERT_TRUE(in.OpenRead(whole.data(), size));
    EXPECT_TRUE(in.IsWhole());
    while (CRecord* r = in.ReadRecord()) CRecord::Destroy(r);
    EXPECT_TRUE(in.AtEnd());

    // Whatever the writer writes is whole.
    for (int round = 0; round < 50; ++round) {
        LDataBuf any;
        CChunkFile file;
        file.OpenWrite(1, 1, any);
        CRecord* r = rt::RandomRoot(rng);
        file.WriteRecord(r);
        file.WriteRecord(nullptr);
        CRecord::Destroy(r);
        file.Close();
        CChunkFile back;
        ASSERT_TRUE(back.OpenRead(any.Data(), file.WrittenSize()));
        EXPECT_TRUE(back.IsWhole()) << "round " << round;
    }

    // Any outer tag and second code, an empty container.
    {
        std::vector<u8> other = whole;
        other[0] = 'Z', other[11] = 'Z';
        ASSERT_TRUE(in.OpenRead(other.data(), size));
        EXPECT_TRUE(in.IsWhole());
        const u8 empty[12] = {0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 1};
        ASSERT_TRUE(in.OpenRead(empty, sizeof empty));
        EXPECT_TRUE(in.IsWhole());
    }

    // Every cut, and the same file with bytes after it.
    u32 wholeCuts = 0;
    for (u32 cut = 0; cut < size; ++cut) {
        in.OpenRead(whole.data(), cut);
        wholeCuts += in.IsWhole();
    }
    EXPECT_EQ(wholeCuts, 0u);
    std::vector<u8> longer = whole;
    longer.insert(longer.end(), {0, 0});
    in.OpenRead(longer.data(), u32(longer.size()));
    EXPECT_FALSE(in.IsWhole());

    // The places of the structure: each chunk's tag and length, each record's kind.
    // An array's length is the one place a flip may go unseen: grown over the next
    // array whose size it matches exactly, it still nests whole (no checksum tells).
    std::vector<u32> structure;
    std::set<u32> arrayLengths;
    std::function<void(u32, u32, bool)> walk = [&](u32 pos, u32 end, bool records) {
        while (pos + 8 <= end) {
            const u32 tag = (u32(whole[pos]) << 24) | (u32(whole[pos + 1]) << 16) |
                            (u32(whole[pos + 2]) << 8) | whole[pos + 3];
            const u32 len = (u32(whole[pos + 4]) << 24) | (u32(whole[pos + 5]) << 16) |
                            (u32(whole[pos + 6]) << 8) | whole[pos + 7];
            for (u32 i = 0; i < 8; ++i) structure.push_back(pos + i);
            if (tag == FourCC("UDPA"))
                for (u32 i = 4; i < 8; ++i) arrayLengths.insert(pos + i);
            const u32 bodyEnd = pos + 8 + len;
            if (records) {
                for (u32 i = 8; i < 12; ++i) structure.push_back(pos + i);
                walk(pos + 12, bodyEnd, false);
            } else if (tag == FourCC("UDUD") || tag == FourCC("UDAR")) {
                walk(pos + 12, bodyEnd, true);
            }
            pos = bodyEnd + (bodyEnd & 1);
        }
    };
    structure.push_back(4), structure.push_back(5), structure.push_back(6), structure.push_back(7);
    walk(12, size, true);
    ASSERT_GT(structure.size(), 40u);
    u32 taken = 0, arrayFlips = 0;
    for (const u32 at : structure)
        for (u32 bit = 0; bit < 8; ++bit) {
            std::vector<u8> bad = whole;
            bad[at] ^= u8(1u << bit);
            in.OpenRead(bad.data(), size);
            if (arrayLengths.count(at)) {
                ++arrayFlips;
                taken += in.IsWhole();
                continue;
            }
            EXPECT_FALSE(in.IsWhole()) << "byte " << at << " bit " << bit;
        }
    EXPECT_LT(taken * 10, arrayFlips);
    std::printf("%zu flips of the structure refused; %u of %u flips of array lengths taken\n",
                structure.size() * 8 - arrayFlips, taken, arrayFlips);
}

TEST_F(Container, DeeplyNestedRecordIsRefused) {
    CRecord* root = NewParamNodeRecord();
    CRecord* node = root;
    for (int i = 0; i < 100; ++i) node = NodeGetOrCreate(node, nullptr, "deeper");
    ASSERT_NE(node, nullptr);
    LDataBuf buf;
    u32 size;
    {
        CChunkFile file;
        file.OpenWrite(1, 1, buf);
        file.WriteRecord(root);
        file.WriteRecord(root);
        file.Close();
        size = file.WrittenSize();
    }
    CChunkFile in;
    ASSERT_TRUE(in.OpenRead(buf.Data(), size));
    EXPECT_EQ(in.ReadRecord(), nullptr);
    CRecord::Destroy(root);
}

TEST_F(Container, RecordsTravelThroughThePasteboard) {
    const LScrapType type{LString("com.kevorune.records"), FourCC("KREC")};
    CRecord* a = MergeSource("pasted", 42);
    CRecord* b = NewJoinParamRecord();
    b->SetU32(nullptr, JnprF::sqid, 77);
    CRecClipStream clip;
    clip.Write(a);
    clip.Write(b);
    LScrapData* data = clip.Detach(type);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(clip.Detach(type), nullptr);

    MemPasteboard* board = new MemPasteboard;
    board->Put(*data);
    data->Release();
    {
        CRecScrapReader reader(board, type);
        EXPECT_EQ(reader.File().FirstCode(), kRecScrapCode);
        EXPECT_EQ(reader.File().SecondCode(), kRecScrapCode);
        CRecord* ra = reader.ReadRecord();
        CRecord* rb = reader.ReadRecord();
        std::string why;
        EXPECT_TRUE(ra && rt::Equal(a, ra, &why)) << why;
        EXPECT_TRUE(rb && rt::Equal(b, rb, &why)) << why;
        EXPECT_EQ(reader.ReadRecord(), nullptr);
        CRecord::Destroy(ra);
        CRecord::Destroy(rb);

        // The reader fetches an item once and keeps its bytes.
        const void* d1;
        const void* d2;
        u32 s1, s2;
        const u32 before = board->fetches;
        EXPECT_TRUE(reader.GetData(type, 0, &d1, &s1));
        EXPECT_TRUE(reader.GetData(type, 0, &d2, &s2));
        EXPECT_EQ(d1, d2);
        EXPECT_EQ(s1, reader.Size());
        EXPECT_EQ(board->fetches, before);
    }
    {
        // Nothing of the type: an empty container.
        CRecScrapReader reader(board, LScrapType{LString("public.text"), 0});
        EXPECT_EQ(reader.Size(), 0u);
        EXPECT_EQ(reader.File().FirstCode(), 0u);
        EXPECT_EQ(reader.ReadRecord(), nullptr);
    }
    {
        CRecScrapReader reader(nullptr, type);
        EXPECT_EQ(reader.ReadRecord(), nullptr);
    }
    board->Release();
    CRecord::Destroy(a);
    CRecord::Destroy(b);
}

}  // namespace
