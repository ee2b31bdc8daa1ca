#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "RecTestUtil.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

using Bytes = std::vector<u8>;
using rt::ReadInto;
using rt::ReadRec;
using rt::WriteRec;

// Every registered kind, field by field, with the defaults a new record gets
// and its default chunk, against a reviewed golden file. After a deliberate
// change to a kind, rewrite the file with KEVO_UPDATE_GOLDEN=1 and review the diff.
const char* const kGolden = KEVO_SOURCE_DIR "/tests/records/golden/kinds.txt";

std::string CodeText(u32 c) {
    if (!c) return "-";
    return {char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
}

std::string Hex(const Bytes& b) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (u8 c : b) s += {kDigits[c >> 4], kDigits[c & 15]};
    return s;
}

std::string DescribeKinds() {
    static const char* const kTypes[] = {"i32", "u32",   "u8",    "f32",
                                         "str", "array", "child", "list"};
    std::ostringstream out;
    u32 n = 0;
    const RecKindCode* all = AllRecordKinds(&n);
    for (u32 k = 0; k < n; ++k) {
        const CRecordSchema* s = CRecordSchema::Find(all[k].family, all[k].kind);
        out << CodeText(all[k].family) << "/" << CodeText(all[k].kind);
        if (!s) {
            out << " unregistered\n";
            continue;
        }
        CRecord* r = CRecord::New(s);
        out << (r ? "" : " refuses new") << "\n";
        for (u32 i = 0; i < s->Count(); ++i) {
            const RecFieldDesc& d = s->Field(i);
            out << "  " << CodeText(d.tag) << " " << (d.type < 8 ? kTypes[d.type] : "?")
                << " flags=" << int(d.flags);
            if (d.type == kRecF32) out << " digits=" << int(d.digits);
            if (d.type == kRecArray) out << " elem=" << int(d.elemType);
            if (d.type == kRecString) out << " def=\"" << d.def.text << "\"";
            if (d.type >= kRecChild)
                out << " of=" << CodeText(d.def.rec.family) << "/" << CodeText(d.def.rec.kind);
            if (r) {
                const u8 f = u8(i);
                if (d.type <= kRecF32) {
                    char slot[20];
                    std::snprintf(slot, sizeof slot, "%016llx", (unsigned long long)r->GetField(f));
                    out << " new=" << slot;
                } else if (d.type == kRecString) {
                    out << " new=\"" << r->GetString(f).CStr() << "\"";
                } else if (d.type == kRecArray) {
                    out << " new=" << r->GetArrayCount(f);
                } else if (d.type == kRecList) {
                    out << " new=" << r->GetListCount(f);
                } else {
                    const CRecord* c = r->GetChild(f);
                    out << " new="
                        << (c ? CodeText(c->Family()) + "/" + CodeText(c->Kind()) : "null");
                }
            }
            out << "\n";
        }
        if (r) {
            out << "  chunk " << Hex(WriteRec(r)) << "\n";
            CRecord::Destroy(r);
        }
    }
    return out.str();
}

class RecordKinds : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterAllRecordKinds(); }
};

TEST_F(RecordKinds, EveryKindMatchesTheGoldenFile) {
    const std::string now = DescribeKinds();
    if (std::getenv("KEVO_UPDATE_GOLDEN")) {
        std::ofstream(kGolden, std::ios::binary) << now;
        GTEST_SKIP() << "rewrote " << kGolden;
    }
    std::ifstream in(kGolden, std::ios::binary);
    ASSERT_TRUE(in) << kGolden;
    const std::string golden((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    EXPECT_EQ(now, golden);

    // Each kind is registered once.
    u32 n = 0;
    const RecKindCode* all = AllRecordKinds(&n);
    std::set<std::pair<u32, u32>> registered;
    for (u32 i = 0; i < n; ++i) EXPECT_TRUE(registered.insert({all[i].family, all[i].kind}).second);
}

// ---------------------------------------------------------------- round trips

struct Filler {
    std::mt19937 rng{2024};
    u32 rotate = 0;

    LString Text() {
        static const char kChars[] = "abcXYZ 09_-\n\t\xC3\xA9";
        std::string s;
        const u32 n = rng() % 10;
        for (u32 i = 0; i < n; ++i) s += kChars[rng() % (sizeof(kChars) - 1)];
        return LString(std::string_view(s));
    }

    const CRecordSchema* ItemSchema(const CRecord* r, u8 f) {
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsUntyped()) return CRecordSchema::Find(d.def.rec.family, d.def.rec.kind);
        // Kinds chosen at run time: every kind the field is meant to hold.
        if (r->Kind() == kKindSscn) {
            static const u32 items[] = {kKindPseq, kKindPdmx, kKindPaud, kKindPvid};
            return CRecordSchema::Find(kFamNsq, items[rotate++ % 4]);
        }
        if (r->Kind() == kKindScev) return CRecordSchema::Find(kFamKvt, kKindScex);
        if (r->Kind() == kKindUfrm)
            return CRecordSchema::Find(kFamKvt, rotate++ % 2 ? kKindUbtn : kKindUfrm);
        return nullptr;
    }

    // Fills every field the record chunk carries; the rest keeps its default.
    void Fill(CRecord* r, u32 depth) {
        bool positional = true;
        for (u32 i = 0; i < r->FieldCount(); ++i) {
            const u8 f = u8(i);
            const RecFieldDesc& d = r->Desc(f);
            if (!d.IsTagged()) continue;
            if (d.type >= kRecArray) positional = false;
            if (d.type < kRecArray && !positional) continue;
            switch (d.type) {
                case kRecI32:
                case kRecU32:
                    r->SetU32(nullptr, f, rng());
                    break;
                case kRecU8:
                    r->SetU8(nullptr, f, u8(rng()));
                    break;
                case kRecF32:
                    r->SetF32(nullptr, f, 0, f32(i32(rng() % 4001) - 2000) / 4.0f);
                    break;
                case kRecString:
                    r->SetString(nullptr, f, Text());
                    break;
                case kRecArray: {
                    const u32 n = 1 + rng() % 6;
                    std::vector<u32> words(n);
                    std::vector<u8> bytes(n);
                    for (u32 k = 0; k < n; ++k) words[k] = rng(), bytes[k] = u8(rng());
                    if (d.elemType == kRecU8)
                        r->SetArray(nullptr, f, bytes.data(), n);
                    else
                        r->SetArray(nullptr, f, words.data(), n);
                    break;
                }
                case kRecChild: {
                    if (depth >= 6) break;
                    if (!r->GetChild(f)) {
                        const CRecordSchema* s = ItemSchema(r, f);
                        ASSERT_NE(s, nullptr);
                        CRecord::Destroy(r->ReplaceChild(nullptr, f, CRecord::New(s)));
                    }
                    Fill(r->GetChild(f), depth + 1);
                    break;
                }
                case kRecList: {
                    if (depth >= 4) break;
                    const u32 n = 1 + rng() % 2;
                    for (u32 k = 0; k < n; ++k) {
                        const CRecordSchema* s = ItemSchema(r, f);
                        ASSERT_NE(s, nullptr);
                        CRecord* item = CRecord::New(s);
                        Fill(item, depth + 1);
                        ASSERT_TRUE(r->InsertItem(nullptr, f, k, item));
                    }
                    break;
                }
            }
        }
    }
};

TEST_F(RecordKinds, EveryKindSurvivesTheRecordChunk) {
    u32 n = 0;
    const RecKindCode* all = AllRecordKinds(&n);
    Filler filler;
    for (u32 i = 0; i < n; ++i) {
        const CRecordSchema* s = CRecordSchema::Find(all[i].family, all[i].kind);
        ASSERT_NE(s, nullptr);
        SCOPED_TRACE(CodeText(all[i].family) + "/" + CodeText(all[i].kind));
        std::string why;

        // Defaults
        CRecord* plain = CRecord::New(s);
        CRecord* back = ReadRec(WriteRec(plain));
        ASSERT_TRUE(rt::Equal(plain, back, &why)) << why;
        CRecord::Destroy(back);

        // Filled, nested children and lists included
        CRecord* full = CRecord::New(s);
        filler.Fill(full, 0);
        const Bytes b = WriteRec(full);
        bool tagged = false;
        for (u32 k = 0; k < s->Count(); ++k) tagged |= s->Field(k).IsTagged();
        if (tagged) {
            EXPECT_NE(b, WriteRec(plain));
        }
        back = ReadRec(b);
        ASSERT_TRUE(rt::Equal(full, back, &why)) << why;
        EXPECT_EQ(WriteRec(back), b);
        // Merged into a default record
        ASSERT_TRUE(ReadInto(b, plain));
        ASSERT_TRUE(rt::Equal(full, plain, &why)) << why;
        // and back to defaults by a default chunk
        CRecord* fresh = CRecord::New(s);
        ASSERT_TRUE(ReadInto(WriteRec(fresh), plain));
        ASSERT_TRUE(rt::Equal(fresh, plain, &why)) << why;

        CRecord::Destroy(fresh);
        CRecord::Destroy(back);
        CRecord::Destroy(full);
        CRecord::Destroy(plain);
    }
}

TEST_F(RecordKinds, OptionalChildrenReadBackAbsent) {
    CRecord* cell = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPlcl));
    cell->SetU32(nullptr, PlclF::sqid, 9);
    CRecord* src = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPlcl));
    CRecord::Destroy(src->ReplaceChild(nullptr, PlclF::scnd, NewSceneRecord()));
    ASSERT_TRUE(ReadInto(WriteRec(src), cell));
    ASSERT_NE(cell->GetChild(PlclF::scnd), nullptr);
    // A stored button without its scene drops the one held in memory.
    CRecord::Destroy(src->ReplaceChild(nullptr, PlclF::scnd, nullptr));
    ASSERT_TRUE(ReadInto(WriteRec(src), cell));
    EXPECT_EQ(cell->GetChild(PlclF::scnd), nullptr);
    EXPECT_EQ(cell->GetU32(PlclF::sqid), 0u);
    CRecord::Destroy(src);
    CRecord::Destroy(cell);

    // Any NSQ item kind is accepted in a scene; a typed child of another kind is not.
    CRecord* scn = NSqNewScene();
    CRecord::Destroy(scn->ReplaceChild(nullptr, SscnF::prms, NewNsqStatRecord()));
    CRecord* back = ReadRec(WriteRec(scn));
    ASSERT_NE(back->GetChild(SscnF::prms), nullptr);
    EXPECT_EQ(back->GetChild(SscnF::prms)->Kind(), kKindNsqStat);
    CRecord::Destroy(back);
    CRecord::Destroy(scn);
}

// ---------------------------------------------------------------- operations

TEST_F(RecordKinds, SequenceSetGivesInsertedSequencesFreeIds) {
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamNsq, kKindSset)));
    CRecord* set = doc.Root();
    auto insert = [&](u32 id, u32 at) {
        CRecord* seq = NSqNewSeq();
        seq->SetU32(nullptr, SseqF::sqid, id);
        EXPECT_TRUE(set->InsertItem(nullptr, SsetF::seqs, at, seq));
        return set->GetListItem(SsetF::seqs, at)->GetU32(SseqF::sqid);
    };
    EXPECT_EQ(insert(0, 0), 1u);
    EXPECT_EQ(insert(0, 1), 2u);
    EXPECT_EQ(insert(2, 0), 3u);
    EXPECT_EQ(insert(7, 3), 7u);
    EXPECT_EQ(insert(1, 4), 4u);
    EXPECT_EQ(insert(0xFFFFFFFFu, 5), 0xFFFFFFFFu);
    // Wrapping past the top skips 0 and the taken ids.
    EXPECT_EQ(insert(0xFFFFFFFFu, 6), 5u);
    std::set<u32> ids;
    for (u32 i = 0; i < set->GetListCount(SsetF::seqs); ++i)
        ids.insert(set->GetListItem(SsetF::seqs, i)->GetU32(SseqF::sqid));
    EXPECT_EQ(ids.size(), set->GetListCount(SsetF::seqs));
    EXPECT_EQ(ids.count(0), 0u);
}

struct AptgLog {
    std::vector<std::string> texts;
    static void Fn(void* self, CRecordNote* n) {
        if (n->kind == CRecordNote::kChanged && n->field == DvcmF::aptg)
            static_cast<AptgLog*>(self)->texts.push_back(n->record->GetString(DvcmF::aptg).CStr());
    }
};

TEST_F(RecordKinds, AuxTriggerRequestsCanBeRepeated) {
    CRecordDoc doc(NewDeviceCommandRecord());
    AptgLog log;
    doc.AddListener(&log, AptgLog::Fn);
    SetCommandAuxTrigger(doc.Root(), 3, 4000000000u);
    SetCommandAuxTrigger(doc.Root(), 3, 4000000000u);
    EXPECT_EQ(log.texts, (std::vector<std::string>{"3 4000000000", "3 4000000000"}));
    EXPECT_STREQ(doc.Root()->GetString(DvcmF::aptg).CStr(), "");
    doc.RemoveListener(&log, AptgLog::Fn);
    // Only a command record is touched.
    CRecord* state = NewDeviceStateRecord();
    SetCommandAuxTrigger(state, 1, 2);
    EXPECT_STREQ(state->GetString(DvssF::crsn).CStr(), "");
    CRecord::Destroy(state);
}

TEST_F(RecordKinds, StateTriggersOutsideTheArrayReadAsMinusOne) {
    CRecord* state = NewDeviceStateRecord();
    EXPECT_EQ(DeviceStateGetTrigger(state, 0), -1);
    const i32 values[] = {5, -2, 7};
    state->SetArray(nullptr, DvssF::aptg, values, 3);
    EXPECT_EQ(DeviceStateGetTrigger(state, 0), 5);
    EXPECT_EQ(DeviceStateGetTrigger(state, 1), -2);
    EXPECT_EQ(DeviceStateGetTrigger(state, 2), 7);
    EXPECT_EQ(DeviceStateGetTrigger(state, 3), -1);
    EXPECT_EQ(DeviceStateGetTrigger(state, -1), -1);
    EXPECT_EQ(DeviceStateGetTrigger(nullptr, 0), -1);
    CRecord::Destroy(state);
}

TEST_F(RecordKinds, MonitorPreferencesAreOneDocument) {
    CKvsMonPrefRec* prefs = CKvsMonPrefRec::Create();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(CKvsMonPrefRec::Create(), prefs);
    EXPECT_EQ(CKvsMonPrefRec::Get(), prefs);
    CRecord* root = prefs->Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Family(), kFamDmx);
    EXPECT_EQ(root->Kind(), kKindPref);
    EXPECT_EQ(root->GetOwner(), prefs);
    const CRecord* mon = root->GetChild(DmxPrefF::mntr);
    ASSERT_NE(mon, nullptr);
    EXPECT_EQ(mon->GetU8(PfmnF::vsvl0), 1);
    EXPECT_EQ(mon->GetU8(PfmnF::vsvl1), 1);
    CKvsMonPrefRec::Dispose();
    EXPECT_EQ(CKvsMonPrefRec::Get(), nullptr);
}

}  // namespace
