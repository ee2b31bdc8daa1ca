// Show-data operations: unique names and ids, sorted scenes, NSQ sets, trigger
// labels, the play-button grid and its device-screen layout, universes, media.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "RecTestUtil.h"
#include "records/BtnLabelLayout.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordIdClock.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"

namespace {

struct Kinds {
    Kinds() {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
    }
} sKinds;

CRecord* New(u32 family, u32 kind) {
    return CRecord::New(CRecordSchema::Find(family, kind));
}

CRecord* NewSeq(u32 id, const char* name) {
    CRecord* s = New(kFamKvt, kKindSqnc);
    s->SetU32(nullptr, SqncF::sqid, id);
    s->SetString(nullptr, SqncF::sqnm, LString(name));
    return s;
}

std::string Name(const CRecord* r, u8 f) {
    return r->GetString(f).CStr();
}

TEST(ShowOpsSequences, UniqueNamesAndIds) {
    CRecordDoc doc(NewSeqSettingsRecord());
    CRecord* st = doc.Root();
    InsertSequenceUnique(st, nullptr, 0, NewSeq(5, "Intro"));
    InsertSequenceUnique(st, nullptr, 1, NewSeq(6, "Intro_2"));
    InsertSequenceUnique(st, nullptr, 2, NewSeq(5, "Intro"));  // pasted copy
    ASSERT_EQ(st->GetListCount(SqstF::sqcs), 3u);
    const CRecord* pasted = st->GetListItem(SqstF::sqcs, 2);
    EXPECT_EQ(Name(pasted, SqncF::sqnm), "Intro_3");
    EXPECT_NE(pasted->GetU32(SqncF::sqid), 5u);
    EXPECT_NE(pasted->GetU32(SqncF::sqid), 6u);
    EXPECT_NE(pasted->GetU32(SqncF::sqid), 0u);

    // A name read with a NUL in it counts up to the NUL, as names compare: the
    // copy is "Intro_4", not a name that ends at the NUL again (this once
    // searched for ever).
    CRecord* nul = NewSeq(8, "");
    nul->SetString(nullptr, SqncF::sqnm, LString("Intro\0x", 7));
    InsertSequenceUnique(st, nullptr, 3, nul);
    EXPECT_EQ(Name(st->GetListItem(SqstF::sqcs, 3), SqncF::sqnm), "Intro_4");

    InsertSequenceUnique(st, nullptr, 0, NewSeq(77, ""));
    EXPECT_EQ(Name(st->GetListItem(SqstF::sqcs, 0), SqncF::sqnm), "");  // empty stays empty
    EXPECT_EQ(FindSequenceIndexById(st, 77), 0);
    EXPECT_EQ(FindSequenceById(st, 12345), nullptr);

    // The counter is kept: asked twice with nothing taken in between, the same value.
    const u32 a = NextFreeSequenceId(st);
    EXPECT_EQ(NextFreeSequenceId(st), a);
    EXPECT_LT(FindSequenceIndexById(st, a), 0);
    InsertNewSequence(st, nullptr, 99);
    EXPECT_EQ(st->GetListItem(SqstF::sqcs, st->GetListCount(SqstF::sqcs) - 1)->GetU32(SqncF::sqid),
              a);
    EXPECT_NE(NextFreeSequenceId(st), a);

    // Every id stays unique.
    std::set<u32> ids;
    for (u32 i = 0; i < st->GetListCount(SqstF::sqcs); ++i)
        ids.insert(st->GetListItem(SqstF::sqcs, i)->GetU32(0));
    EXPECT_EQ(ids.size(), st->GetListCount(SqstF::sqcs));
}

TEST(ShowOpsSequences, ScenesStaySorted) {
    CRecord* seq = NewSeq(1, "S");
    for (i32 t : {1000, 2000}) {
        CRecord* sc = NewSceneRecord();
        sc->SetI32(nullptr, ScenF::sntm, t);
        sc->SetString(nullptr, ScenF::snnm, LString("Cue"));
        InsertSceneUnique(seq, nullptr, SqncF::scns, seq->GetListCount(SqncF::scns), sc);
    }
    CRecord* late = NewSceneRecord();
    late->SetI32(nullptr, ScenF::sntm, 5000);
    late->SetString(nullptr, ScenF::snnm, LString("Cue"));
    InsertSceneUnique(seq, nullptr, SqncF::scns, 1, late);
    EXPECT_EQ(seq->GetListItem(SqncF::scns, 1)->GetI32(ScenF::sntm), 2000);
    EXPECT_EQ(Name(seq->GetListItem(SqncF::scns, 1), ScenF::snnm), "Cue_3");
    EXPECT_EQ(Name(seq->GetListItem(SqncF::scns, 2), ScenF::snnm), "Cue_2");

    InsertSceneUnique(seq, nullptr, SqncF::scns, 0, nullptr);  // a new scene at the front
    EXPECT_EQ(seq->GetListItem(SqncF::scns, 0)->GetI32(ScenF::sntm), 0);

    // Moving a key keeps the order: later goes before equal keys, earlier after them.
    EXPECT_EQ(MoveSortedItem(seq, nullptr, SqncF::scns, 0, 2000), 1u);
    std::vector<i32> keys;
    for (u32 i = 0; i < seq->GetListCount(SqncF::scns); ++i)
        keys.push_back(seq->GetListItem(SqncF::scns, i)->GetI32(0));
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(LowerBoundByKey(seq, SqncF::scns, 2000), 1u);
    EXPECT_EQ(UpperBoundByKey(seq, SqncF::scns, 2000), 4u);
    EXPECT_EQ(MoveSortedItem(seq, nullptr, SqncF::scns, 3, 0), 0u);
    EXPECT_EQ(MoveSortedItem(seq, nullptr, SqncF::scns, 99, 0), 99u);  // beyond the list: nothing
    CRecord::Destroy(seq);
}

TEST(ShowOpsSequences, APastesNamesAreThoseOfItsScenesInsertedOneByOne) {
    // The names in use gathered once for a whole paste answer what asking
    // the list again for every scene answers.
    const char* had[] = {"Cue", "Cue_2", "Cue_4", "Intro", "", "Cue_x"};
    const char* pasted[] = {"Cue", "Cue",   "Cue",   "Intro", "",
                            "",    "Outro", "Outro", "Cue_2", "Cue_3"};
    std::vector<std::string> names[2];
    for (int batch = 0; batch < 2; ++batch) {
        CRecord* seq = NewSeq(1, "S");
        for (const char* n : had) {
            CRecord* sc = NewSceneRecord();
            sc->SetString(nullptr, ScenF::snnm, LString(n));
            seq->InsertItem(nullptr, SqncF::scns, seq->GetListCount(SqncF::scns), sc);
        }
        CUniqueNames unique(seq, SqncF::scns, ScenF::snnm);
        u32 at = 1;
        for (const char* n : pasted) {
            CRecord* sc = NewSceneRecord();
            sc->SetString(nullptr, ScenF::snnm, LString(n));
            InsertSceneUnique(seq, nullptr, SqncF::scns, at++, sc, batch ? &unique : nullptr);
        }
        for (u32 i = 0; i < seq->GetListCount(SqncF::scns); ++i)
            names[batch].push_back(Name(seq->GetListItem(SqncF::scns, i), ScenF::snnm));
        CRecord::Destroy(seq);
    }
    EXPECT_EQ(names[1], names[0]);
    EXPECT_EQ(names[0][1], "Cue_3");
    EXPECT_EQ(names[0][3], "Cue_6");
}

TEST(ShowOpsSequences, NsqSetIdsFromTheClockAndTracks) {
    CRecord* set = New(kFamNsq, kKindSset);
    const u32 clock = u32(RecordIdClock());
    EXPECT_EQ(NSqSetNewSeq(set, nullptr, 7), 0u);
    EXPECT_EQ(NSqSetNewSeq(set, nullptr, 0), 0u);
    const u32 id0 = set->GetListItem(SsetF::seqs, 0)->GetU32(SseqF::sqid);
    const u32 id1 = set->GetListItem(SsetF::seqs, 1)->GetU32(SseqF::sqid);
    EXPECT_NE(id0, id1);
    EXPECT_GE(std::min(id0, id1), clock);
    EXPECT_LE(std::max(id0, id1), u32(RecordIdClock()) + 2);

    CRecord* copy = CRecord::Copy(set->GetListItem(SsetF::seqs, 0), nullptr);
    copy->SetString(nullptr, SseqF::name, LString("Show"));
    set->GetListItem(SsetF::seqs, 1)->SetString(nullptr, SseqF::name, LString("Show"));
    NSqSetInsertSeq(set, nullptr, 99, copy, true);
    EXPECT_EQ(Name(set->GetListItem(SsetF::seqs, 2), SseqF::name), "Show_2");
    EXPECT_LT(NSqSetFindSeqIndex(set, 0), 0);
    EXPECT_EQ(NSqSetFindSeqIndex(set, set->GetListItem(SsetF::seqs, 2)->GetU32(0)), 2);

    CRecord* seq = set->GetListItem(SsetF::seqs, 0);
    CRecord* trk = seq->GetListItem(SseqF::trks, NSqSeqAddTrack(seq, nullptr, 50));
    EXPECT_EQ(NSqTrkAddScene(trk, nullptr, 300, kKindPdmx), 0u);
    EXPECT_EQ(NSqTrkAddScene(trk, nullptr, 100, kKindPaud), 0u);
    EXPECT_EQ(NSqTrkAddScene(trk, nullptr, 300, kKindPvid), 2u);  // after the equal time
    EXPECT_EQ(ChildTypeTag(trk->GetListItem(StrkF::scns, 2)), kKindPvid);
    EXPECT_EQ(NSqTrkFindSceneAt(trk, 50), -1);
    EXPECT_EQ(NSqTrkFindSceneAt(trk, 299), 0);
    EXPECT_EQ(NSqTrkFindSceneAt(trk, 300), 2);
    NSqTrkSetSceneTime(trk, nullptr, 0, 1000);
    EXPECT_EQ(trk->GetListItem(StrkF::scns, 2)->GetU32(SscnF::time), 1000u);
    EXPECT_EQ(ChildTypeTag(trk->GetListItem(StrkF::scns, 2)), kKindPaud);

    NSqSetRemoveAllSeqs(set);
    EXPECT_EQ(set->GetListCount(SsetF::seqs), 0u);
    CRecord::Destroy(set);
}

TEST(ShowOpsTriggers, InputLabels) {
    CRecord* tg = New(kFamKvt, kKindSntg);
    auto label = [&](u8 kind, u32 n) {
        tg->SetU8(nullptr, SntgF::tgmd, kind);
        LString s;
        return std::string(TriggerInputLabel(&s, tg, n).CStr());
    };
    for (u32 n = 0; n < 9; ++n) EXPECT_EQ(label(3, n), std::to_string(n + 1));
    EXPECT_EQ(label(3, 9), "0");
    EXPECT_EQ(label(3, 10), "");
    EXPECT_EQ(label(4, 0), "A");
    EXPECT_EQ(label(4, 25), "Z");
    EXPECT_EQ(label(4, 26), "");
    EXPECT_EQ(label(0, 0), "");
    EXPECT_EQ(label(16, 0), "");
    EXPECT_EQ(label(5, 31), "32");
    EXPECT_EQ(label(5, 32), "");
    EXPECT_EQ(label(6, 100000), "100000");
    EXPECT_EQ(label(7, 128), "");
    EXPECT_EQ(label(12, 7), "8");
    EXPECT_EQ(label(12, 8), "");
    EXPECT_EQ(label(13, 254), "255");
    tg->SetU32(nullptr, SntgF::bsch, 500);
    EXPECT_EQ(label(1, 12), "512");  // base channel + n
    EXPECT_EQ(label(1, 13), "");
    tg->SetU8(nullptr, SntgF::sgch, 1);
    EXPECT_EQ(label(14, 253), "254");
    EXPECT_EQ(label(2, 254), "");
    tg->SetU8(nullptr, SntgF::mdch, 14);
    EXPECT_EQ(label(8, 1), "16");
    EXPECT_EQ(label(8, 2), "");
    tg->SetU8(nullptr, SntgF::mdct, 120);
    EXPECT_EQ(label(9, 7), "127");
    EXPECT_EQ(label(9, 8), "");
    tg->SetU8(nullptr, SntgF::mdnt, 60);
    EXPECT_EQ(label(10, 1), "C#4");
    EXPECT_EQ(label(10, 68), "");
    CRecord::Destroy(tg);

    // The signed form: a negative value switches single channels off.
    CRecord* aps = New(kFamKvt, kKindApls);
    CRecord* play = aps->GetListItem(AplsF::plys, AddAuxPlay(aps, nullptr));
    CRecord* trig = play->GetListItem(AplyF::trgs, AddAuxTrigger(play, nullptr));
    AuxTriggerSetModeSigned(trig, nullptr, 5, -3);
    EXPECT_EQ(trig->GetChild(AptgF::sntg)->GetU8(SntgF::sgch), 0);
    EXPECT_EQ(trig->GetI32(AptgF::valu), 0);
    AuxTriggerSetModeSigned(trig, nullptr, 5, 9);
    EXPECT_EQ(trig->GetChild(AptgF::sntg)->GetU8(SntgF::sgch), 1);
    EXPECT_EQ(trig->GetI32(AptgF::valu), 9);
    CRecord::Destroy(aps);
}

TEST(ShowOpsUniverses, AddressTexts) {
    char art[10];
    FormatArtNetPortAddress(0x123, art);
    EXPECT_STREQ(art, "  1/ 2/ 3");
    FormatArtNetPortAddress(0x7FFF, art);
    EXPECT_STREQ(art, "127/15/15");
    FormatArtNetPortAddress(-1, art);  // masked to 15 bits
    EXPECT_STREQ(art, "127/15/15");

    // Guard bytes around the 6-byte buffer catch writes past it.
    char buf[16];
    auto sacn = [&](u32 v) {
        std::memset(buf, '#', sizeof buf);
        FormatSacnUniverse(v, buf + 4);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(buf[i], '#');
        for (int i = 10; i < 16; ++i) EXPECT_EQ(buf[i], '#');
        return std::string(buf + 4);
    };
    EXPECT_EQ(sacn(0), "    1");
    EXPECT_EQ(sacn(63998), "63999");
    EXPECT_EQ(sacn(99998), "99999");
    EXPECT_EQ(sacn(99999), "    ?");
    EXPECT_EQ(sacn(0xFFFFFFFFu), "    ?");

    CRecord* st = NewDevStatRecord();
    for (u32 u : {7u, 3u, 9u, 3u}) FindOrAddUniverseRec(st, u);
    ASSERT_EQ(st->GetListCount(DrcStatF::unvs), 3u);
    EXPECT_EQ(st->GetListItem(DrcStatF::unvs, 0)->GetU32(UnvsF::univ), 3u);
    EXPECT_EQ(st->GetListItem(DrcStatF::unvs, 2)->GetU32(UnvsF::univ), 9u);
    EXPECT_EQ(FindUniverseRec(st, 8), nullptr);
    const u8 bytes[3] = {1, 2, 3};
    SetUniverseRecData(FindUniverseRec(st, 7), bytes, 3);
    EXPECT_EQ(FindUniverseRec(st, 7)->GetArrayCount(UnvsF::stat), 3u);
    ClearUniverseRecs(st);
    EXPECT_EQ(st->GetListCount(DrcStatF::unvs), 0u);
    CRecord::Destroy(st);
}

// ---- play grid and the device-screen layout

CRecord* NewPlaySet(u32 rows, u32 cols) {
    CRecord* ps = NewPlaySetRecord();
    ps->SetU32(nullptr, PlysF::btrs, rows);
    ps->SetU32(nullptr, PlysF::btcs, cols);
    return ps;
}

void SetCell(CRecord* ps, u32 c, u32 r, u32 sqid, const char* title) {
    CRecord* cell = PlaySetGetOrAddCell(ps, nullptr, c, r);
    cell->SetU32(nullptr, PlclF::sqid, sqid);
    cell->SetString(nullptr, PlclF::bttl, LString(title));
}

TEST(ShowOpsGrid, CellsMoveAndTake) {
    rt::RecordingUndo undo;
    CRecordDoc doc(NewPlaySet(2, 3));
    CRecord* ps = doc.Root();
    EXPECT_EQ(PlaySetGetCell(ps, 0, 0), nullptr);
    SetCell(ps, 2, 1, 0, "x");
    EXPECT_EQ(ps->GetListCount(PlysF::rows), 2u);
    EXPECT_EQ(ps->GetListItem(PlysF::rows, 1)->GetListCount(PlrwF::cels), 3u);
    EXPECT_EQ(ps->GetListItem(PlysF::rows, 0)->GetListCount(PlrwF::cels), 0u);

    SetCell(ps, 0, 0, 11, "A");
    SetCell(ps, 1, 0, 12, "B");
    // Onto an occupied cell: the target's previous cell is destroyed. One undo step.
    const size_t before = undo.steps.size();
    PlaySetMoveCell(ps, rt::RecordingUndo::Handler(), 0, 0, 1, 0);
    EXPECT_EQ(undo.steps.size(), before + 1);
    EXPECT_EQ(PlaySetGetCell(ps, 1, 0)->GetU32(PlclF::sqid), 11u);
    EXPECT_EQ(PlaySetGetCell(ps, 0, 0)->GetU32(PlclF::sqid), 0u);
    // Outside the grid: the moved cell is destroyed.
    PlaySetMoveCell(ps, nullptr, 1, 0, 5, 0);
    EXPECT_EQ(PlaySetGetCell(ps, 1, 0)->GetU32(PlclF::sqid), 0u);
    EXPECT_EQ(PlaySetGetCell(ps, 5, 0), nullptr);
    // From a cell that does not exist: an empty cell lands on the target.
    SetCell(ps, 2, 0, 13, "C");
    PlaySetMoveCell(ps, nullptr, 0, 1, 2, 0);  // row 1 has cells 0..2: exists, empty
    EXPECT_EQ(PlaySetGetCell(ps, 2, 0)->GetU32(PlclF::sqid), 0u);

    CRecord* mine = New(kFamKvt, kKindPlcl);
    EXPECT_EQ(PlaySetTakeCell(ps, nullptr, 9, 9, mine), mine);  // nothing there: our own back
    CRecord::Destroy(mine);
    CRecord* taken = PlaySetTakeCell(ps, nullptr, 0, 0, nullptr);
    ASSERT_NE(taken, nullptr);
    EXPECT_NE(PlaySetGetCell(ps, 0, 0), nullptr);
    CRecord::Destroy(taken);

    // Button layouts: copy out, change, apply back.
    CRecord* lay = NewBtnLayoutFromPlaySet(ps);
    EXPECT_EQ(lay->GetU32(BtlyF::btcs), 3u);
    EXPECT_EQ(lay->GetListCount(BtlyF::rows), 2u);
    ps->InsertItem(nullptr, PlysF::blys, 0, lay);
    lay->SetU32(nullptr, BtlyF::btrs, 4);
    ps->SetU32(nullptr, PlysF::btrs, 1);
    PlaySetApplyBtnLayout(ps, nullptr, 0);
    EXPECT_EQ(ps->GetU32(PlysF::btrs), 4u);
    PlaySetApplyBtnLayout(ps, nullptr, 3);  // no such layout
    EXPECT_EQ(ps->GetU32(PlysF::btrs), 4u);
}

// Fixed metrics: every glyph 10 units wide, ascent 8, descent 2.
class FixedFonts : public CBtnLabelFontSource {
public:
    std::set<u32> chars;
    f32 scale = 0;
    int measured = 0;
    u8 info[CBtnLabelFont::kInfoSize] = {};
    std::vector<u32> cps;
    std::vector<u8> images;

    void AddChars(const char* text) override {
        for (const char* p = text; *p; ++p) chars.insert(u8(*p));
    }
    void MeasureGlyphs() override { ++measured; }
    i32 TextWidth(const char* text) override {
        i32 w = 0;
        for (const char* p = text; *p; ++p) w += chars.count(u8(*p)) ? 10 : 0;
        return w;
    }
    bool RenderGlyphs(f32 s) override {
        scale = s;
        cps.assign(chars.begin(), chars.end());
        images.assign(cps.size() * 4, 0x5A);
        info[128] = 2;
        return true;
    }
    i32 Ascent() const override { return 8; }
    i32 Descent() const override { return 2; }
    u32 FontCount() const override { return cps.empty() ? 0 : 1; }
    bool GetFont(u32 i, CBtnLabelFont* out) const override {
        if (i != 0 || cps.empty()) return false;
        out->info = info;
        out->codePoints = cps.data();
        out->glyphCount = u32(cps.size());
        out->images = images.data();
        out->imageBytes = u32(images.size());
        return true;
    }
};

TEST(ShowOpsLayout, RefusesGridsFromBadData) {
    CRecord* ps = NewPlaySet(1, 1);
    SetCell(ps, 0, 0, 1,
            "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    FixedFonts fonts;
    for (auto [rows, cols] :
         std::vector<std::pair<u32, u32>>{{0, 3}, {2, 0}, {1, 22}, {14, 1}, {1, 0xFFFFFFFFu}}) {
        ps->SetU32(nullptr, PlysF::btrs, rows);
        ps->SetU32(nullptr, PlysF::btcs, cols);
        CRecord* ui = NewUiLayoutRecord();
        EXPECT_FALSE(BuildPlaySetUiLayout(ps, ui, &fonts)) << rows << " x " << cols;
        EXPECT_EQ(ui->GetChild(KvuiF::panl)->GetListCount(UfrmF::pans), 0u);
        CRecord::Destroy(ui);
    }
    // The smallest cells that still hold a label: a positive scale, however long the title.
    ps->SetU32(nullptr, PlysF::btrs, 12);
    ps->SetU32(nullptr, PlysF::btcs, 20);
    CRecord* ui = NewUiLayoutRecord();
    EXPECT_TRUE(BuildPlaySetUiLayout(ps, ui, &fonts));
    EXPECT_GE(fonts.scale, 0.01f);
    CRecord::Destroy(ui);
    CRecord::Destroy(ps);
}

TEST(ShowOpsMedia, IndexSortedByName) {
    CRecord* idx = NewMediaList();
    for (const char* n : {"b.wav", "a.wav", "c.kvs", "a.wav"})
        AddMediaFile(idx, n[2] == 'w' ? 1 : 2, n);
    ASSERT_EQ(idx->GetListCount(MdisF::meds), 3u);
    EXPECT_EQ(Name(idx->GetListItem(MdisF::meds, 0), MdifF::name), "a.wav");
    EXPECT_NE(FindMediaFile(idx, "c.kvs"), nullptr);
    EXPECT_EQ(FindMediaFile(idx, "d"), nullptr);
    CStrArray names;
    ListMediaFilesOfKind(idx, 1, &names);
    ASSERT_EQ(names.Count(), 2u);
    EXPECT_STREQ(names.At(1).CStr(), "b.wav");
    RemoveMediaFile(idx, "a.wav");
    RemoveMediaFile(idx, "zzz");
    EXPECT_EQ(idx->GetListCount(MdisF::meds), 2u);
    LString s;
    EXPECT_STREQ(StripExtension(&s, "show.v2.kvs").CStr(), "show.v2");
    EXPECT_STREQ(StripExtension(&s, "plain").CStr(), "plain");
    CRecord::Destroy(idx);

    LRgb c;
    LRgb::Set(&c, 300, 7, 255);
    EXPECT_EQ(c.r, 255);
    LRgb d{255, 7, 255};
    EXPECT_TRUE(LRgb::Equals(c, d));
}

}  // namespace
