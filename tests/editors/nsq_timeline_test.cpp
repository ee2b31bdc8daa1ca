// The NSQ timeline's logic: scene kinds and lengths, the time scale, the scene
// selection, the scene scrap, drops, deletes and moves in time.
#include <cmath>

#include "editors/nsq/CNSqKinds.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/NSqSceneOps.h"
#include "records/CChunkFile.h"
#include "records/MediaIndex.h"
#include "records/NsqSets.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

const LString kLabels[5] = {LString("?"), LString("seq"), LString("dmx"), LString("aud"),
                            LString("vid")};

struct Nsq : SeqEditStage {
    Nsq() {
        fSeq = AddNsq(7, "Main");
        for (u32 t = 0; t < 4; ++t) NSqSeqAddTrack(fSeq, nullptr, t);
        fScale.Selection().SetSequence(fSeq);
        fScale.Selection().Doc().AddListener(this, OnSel);
    }
    ~Nsq() { fScale.Selection().Doc().RemoveListener(this, OnSel); }
    static void OnSel(void* self, CRecordNote* n) {
        const CRecord* r = n->record;
        if (n->field == SlntF::field0 && r->GetU8(0))
            static_cast<Nsq*>(self)->fNotes += std::to_string(r->GetU8(0)) + ":" +
                                               std::to_string(r->GetU32(1)) + "." +
                                               std::to_string(r->GetU32(2)) + " ";
    }
    CRecord* Set() { return Settings()->GetChild(SqstF::nsqs); }
    CRecord* Track(u32 t) { return fSeq->GetListItem(SseqF::trks, t); }
    void Add(u32 t, std::initializer_list<u32> times, u32 kind = kKindPaud) {
        for (u32 ms : times) NSqTrkAddScene(Track(t), nullptr, ms, kind);
    }
    void Select(u32 t, u32 s) { fScale.Selection().SetSelected(t, s, true); }
    // Every track's scene times, selected ones starred.
    std::string Times() {
        std::string out;
        for (u32 t = 0; t < fSeq->GetListCount(SseqF::trks); ++t) {
            out += t ? "|" : "";
            for (u32 s = 0; s < Track(t)->GetListCount(StrkF::scns); ++s) {
                const CRecord* sc = Track(t)->GetListItem(StrkF::scns, s);
                out += (s ? " " : "") + std::to_string(sc->GetU32(SscnF::time)) +
                       (fScale.Selection().IsSelected(sc) ? "*" : "");
            }
        }
        return out;
    }
    CRecord* fSeq;
    CNSqDevCtx fCtx{Set(), &fDevice, kLabels};
    CNSqTimeScale fScale{&fCtx};
    LHandler fOwner{&fUndo};
    std::string fNotes;
};

}  // namespace

TEST(NsqKinds, RoundingAndSequenceScenes) {
    Nsq s;
    for (auto [in, out] : {std::pair<u32, u32>{4, 0}, {5, 10}, {15, 20}, {0xFFFFFFFF, 4294967290}})
        EXPECT_EQ(s.fCtx.RoundTime(in), out) << in;
    s.AddNsq(9, "Other");
    s.Add(0, {0, 10, 20}, kKindPseq);
    const CRecord* trk = s.Track(0);
    trk->GetListItem(StrkF::scns, 1)->GetChild(SscnF::prms)->SetU32(nullptr, PseqF::sqid, 9);
    trk->GetListItem(StrkF::scns, 2)->GetChild(SscnF::prms)->SetU32(nullptr, PseqF::sqid, 4);
    for (auto [i, name] : {std::pair<u32, const char*>{0, ""}, {1, "Other"}, {2, "?"}}) {
        CNSqSceneInfo info;
        s.fCtx.DescribeScene(trk->GetListItem(StrkF::scns, i), &info);
        EXPECT_STREQ(info.name.CStr(), name);
        EXPECT_EQ(info.length, kNSqOpenEnded);
        EXPECT_STREQ(info.label.CStr(), "seq");
    }
}

TEST(NsqKinds, ClipLengths) {
    Nsq s;
    CRecord* index = NewKind(kFamKvs, kKindMdis);
    CRecord* m = AddMediaFile(index, 0, "a.drc");
    m->SetU32(nullptr, MdifF::dura, 12000);
    m->SetU8(nullptr, MdifF::stat, 2);
    AddMediaFile(index, 0, "b.drc")->SetU32(nullptr, MdifF::dura, 12000);
    struct Case {
        u32 from, to;
        bool loop;
        const char* file;
        double rate;
        u32 length;
    } cases[] = {
        {2000, 1000, false, "x.drc", 1, 0},   // no end, no duration
        {2000, 2000, false, "b.drc", 1, 0},   // duration not known yet
        {2000, 0, false, "a.drc", 2, 5000},   // 10 s at double speed
        {2000, 0, false, "a.drc", 0, 10000},  // unusable rates count as 1.0
        {2000, 0, false, "a.drc", -1, 10000},
        {2000, 0, false, "a.drc", NAN, 10000},
        {2000, 0, false, "a.drc", 1e-9, kNSqLongestClip},
        {20000, 0, false, "a.drc", 1, 0},  // starts after the end
        {1000, 4000, true, "a.drc", 1, kNSqOpenEnded},
        {1000, 4000, false, "a.drc", 1, 3000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NSqClipLength(c.from, c.to, c.loop, index, LString(c.file), c.rate), c.length)
            << c.from << " " << c.rate;
    CRecord::Destroy(index);
    // The device's playing sequence follows its state.
    s.fDevice.fState.Root()->SetU32(nullptr, DvssF::sqid, 7);
    EXPECT_EQ(s.fCtx.Status()->GetU32(NsqStatF::sqid), 7u);
}

TEST(NsqTimeScale, GridZoomAndScroll) {
    Nsq s;
    CNSqTimeScale& ts = s.fScale;
    for (auto [scale, grid] : {std::pair<f32, double>{0.01f, 1}, {1, 60}}) {
        ts.SetScale(scale);
        EXPECT_DOUBLE_EQ(ts.Grid(), grid) << scale;
    }
    for (auto [v, scale] : {std::pair<i32, f32>{0, 1}, {200, 100}, {-200, 0.01f}, {100, 10}})
        EXPECT_FLOAT_EQ(CNSqTimeScale::ScaleForSlider(v), scale) << v;
    for (auto [stored, usable] :
         {std::pair<f32, f32>{0, 0.01f}, {-3, 0.01f}, {NAN, 1}, {INFINITY, 1}, {1e6f, 100}})
        EXPECT_FLOAT_EQ(CNSqTimeScale::UsableScale(stored), usable) << stored;
    ts.SetScale(1);
    ts.SetViewTime(90000, 600);  // past the day less the visible span
    EXPECT_DOUBLE_EQ(ts.ViewTime(), 85800);
    auto r = ts.ScrollRangeFor(600);
    EXPECT_EQ(r.max, 85800000);
    EXPECT_EQ(r.page, 600000);
    ts.SetViewTime(5000, 90000);  // a span longer than the day: only 0
    EXPECT_DOUBLE_EQ(ts.ViewTime(), 0);
    EXPECT_EQ(ts.ScrollRangeFor(90000).max, 0);
    EXPECT_TRUE(ts.IsNarrow(4999));
    EXPECT_FALSE(ts.IsNarrow(5000));
}

TEST(NsqSelection, Notices) {
    Nsq s;
    s.Add(1, {0, 1000, 2000});
    CNSqScnSel& sel = s.fScale.Selection();
    sel.SetSelected(1, 1, true);
    sel.SetSelected(1, 1, true);
    sel.SetSelected(1, 0, false);
    sel.SetSelected(1, 9, true);  // no such scene
    sel.SetSelected(1, 2, true);
    EXPECT_EQ(sel.Doc().Root()->GetU8(SlntF::field0), 0);
    NSqTrkRemoveScene(s.Track(1), nullptr, 2);
    EXPECT_EQ(s.fNotes, "1:1.1 1:1.2 2:1.2 ");
    EXPECT_EQ(sel.Count(), 1u);
}

TEST(NsqSelection, DeleteScenesOrTracksAndUndo) {
    Nsq s;
    s.Add(0, {0, 1000});
    s.Add(2, {500});
    s.Select(0, 1);
    s.Select(2, 0);
    NSqDeleteSelectedScenes(&s.fOwner, s.fScale.Selection());
    EXPECT_EQ(s.Times(), "0|||");
    EXPECT_EQ(s.fSeq->GetListCount(SseqF::trks), 4u);
    ASSERT_TRUE(s.fUndo.Undo());
    EXPECT_EQ(s.Times(), "0 1000||500|");
}

TEST(NsqScrap, DropsOnTracks) {
    struct Case {
        const char* what;
        i32 row;
        double seconds;
        const char* times;
    } cases[] = {
        {"anchor track 2 onto the last: the second falls off", 3, 5, "||1000|2000 6000*"},
        {"onto track 2: both land", 2, 5, "||1000 6000*|2000 7000*"},
        {"past the day", 2, 86399.5, "||1000|2000"},
        {"above the list", -1, 5, "||1000*|2000*"},
    };
    for (const Case& c : cases) {
        Nsq s;
        s.Add(2, {1000});
        s.Add(3, {2000});
        s.Select(2, 0);
        s.Select(3, 0);
        LScrapData* data = NSqMakeSceneScrap(s.fScale, 2, 0);
        ASSERT_TRUE(data);
        ScrapSource src(data);
        CNSqScnScrap scrap(&src);
        NSqDropScenes(&s.fOwner, s.fScale, scrap, c.row, c.seconds, false);
        EXPECT_EQ(s.Times(), c.times) << c.what;
        data->Release();
    }
}

TEST(NsqScrap, MoveWithinIsOneStep) {
    Nsq s;
    s.Add(1, {1000, 3000});
    s.Select(1, 0);
    LScrapData* data = NSqMakeSceneScrap(s.fScale, 1, 1000);
    ScrapSource src(data);
    CNSqScnScrap scrap(&src);
    EXPECT_EQ(NSqDropScenes(&s.fOwner, s.fScale, scrap, 2, 4.2, true), 1u);
    EXPECT_EQ(s.Times(), "|3000|4200*|");
    ASSERT_TRUE(s.fUndo.Undo());
    EXPECT_EQ(s.Times(), "|1000 3000||");
    data->Release();
}

TEST(NsqScrap, ForeignData) {
    Nsq s;
    s.Add(0, {100});
    CRecord* scene = s.Track(0)->GetListItem(StrkF::scns, 0);
    auto scrapOf = [&](u32 second, bool foreignFirst) {
        LDataBuf buf;
        CChunkFile f;
        f.OpenWrite(kNSqScrapFirst, second, buf);
        CRecord* other = NewKind(kFamNsq, kKindStrk);
        if (foreignFirst) f.WriteRecord(other);
        f.WriteRecord(scene);
        CRecord* p = NewKind(kFamUnd, kKindPrms);
        NodeSetIntC(p, "trk", 0);
        NodeSetIntC(p, "0", 0);
        NodeSetIntC(p, "1", 2);
        f.WriteRecord(p);
        f.Close();
        CRecord::Destroy(p);
        CRecord::Destroy(other);
        auto* d = new LScrapData;
        d->AddItem(ScrapTypeOf(kScrapNsqScenes), buf.Data(), f.WrittenSize(), 0);
        return d;
    };
    for (auto [second, foreign, track] :
         {std::tuple<u32, bool, i32>{FourCC("XXXX"), false, -1}, {kNSqScrapSecond, true, 2}}) {
        LScrapData* d = scrapOf(second, foreign);
        ScrapSource src(d);
        CNSqScnScrap scrap(&src);
        u32 t = 99;
        CRecord* got = scrap.Next(&t);
        EXPECT_EQ(got ? i32(t) : -1, track);
        if (got) CRecord::Destroy(got);
        d->Release();
    }
}

TEST(NsqMoveTime, Modes) {
    struct Case {
        const char* what;
        u32 to;
        bool followers;
        const char* times;
    } cases[] = {
        {"+1 s with followers", 3000, true, "0 3000* 5000 7000|5000*||"},
        {"+3 s, only the selected, passing", 5000, false, "0 4000 5000* 6000|7000*||"},
        {"earlier with followers: overtaken go", 0, true, "0* 2000 4000|2000*||"},
        {"to the day's end: reaching it goes", 86398000, false, "0 4000 6000 86398000*|||"},
    };
    for (const Case& c : cases) {
        Nsq s;
        s.Add(0, {0, 2000, 4000, 6000});
        s.Add(1, {4000});
        s.Select(0, 1);
        s.Select(1, 0);
        NSqMoveScenesTo(&s.fOwner, s.fScale, c.to, c.followers);
        EXPECT_EQ(s.Times(), c.times) << c.what;
        s.fScale.Selection().DeselectAll();
        s.fUndo.Undo();
        EXPECT_EQ(s.Times(), "0 2000 4000 6000|4000||") << c.what;
    }
}

TEST(NsqPosition, ClipPositions) {
    const u32 fiveSeconds = 5000;
    struct Case {
        const char* what;
        u32 from, to;
        bool loop;
        double rate;
        u32 playing, time;
        const u32* duration;
        const char* text;
    } cases[] = {
        {"past the end", 0, 10000, false, 1, 7, 112000, nullptr, "00:00:10"},
        {"looping", 0, 10000, true, 1, 7, 112000, nullptr, "00:00:02"},
        {"another sequence plays", 0, 10000, false, 1, 8, 112000, nullptr, "--:--:--"},
        {"at the next scene", 0, 10000, false, 1, 7, 150000, nullptr, "--:--:--"},
        {"before the scene", 0, 10000, false, 1, 7, 99999, nullptr, "--:--:--"},
        {"no end: up to the file's length", 1000, 0, false, 1, 7, 108000, &fiveSeconds, "00:00:05"},
        {"double speed", 1000, 0, false, 2, 7, 102000, nullptr, "00:00:05"},
        {"an unusable rate counts 1.0", 1000, 0, false, NAN, 7, 102000, nullptr, "00:00:03"},
    };
    for (const Case& c : cases) {
        CNSqClip clip;
        clip.sequence = 7;
        clip.sceneTime = 100000;
        clip.next = 150000;
        clip.from = c.from;
        clip.to = c.to;
        clip.loop = c.loop;
        clip.rate = c.rate;
        u32 pos;
        const bool in = NSqClipPosition(clip, c.playing, c.time, c.duration, &pos);
        EXPECT_STREQ(in ? NSqClockText(pos).CStr() : "--:--:--", c.text) << c.what;
    }
}

TEST(NsqSceneFrames, ShownAndStoredValues) {
    EXPECT_EQ(NSqVolumeStored(100), 256u);
    EXPECT_EQ(NSqVolumeStored(50), 128u);
    EXPECT_DOUBLE_EQ(NSqVolumeShown(128), 50);
    EXPECT_FLOAT_EQ(NSqRateStored(-5), 0.95f);
    EXPECT_NEAR(NSqRateShown(1.05f), 5, 1e-4);
    EXPECT_EQ(NSqFadeStored(2.5), 2500u);
    Nsq s;
    s.AddNsq(8, "");
    for (auto [id, text] : {std::pair<u32, const char*>{0, ""}, {7, "Main"}, {8, "(2)"}, {99, "?"}})
        EXPECT_STREQ(NSqSeqRefText(s.Set(), id).CStr(), text) << id;
}
