// The media a show refers to: what the card holds and what it lacks, each once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/CShowMediaScan.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

CRecord* New(u32 family, u32 kind) {
    return CRecord::New(CRecordSchema::Find(family, kind));
}

std::vector<std::string> Texts(const CStrArray& a) {
    std::vector<std::string> v;
    for (u32 i = 0; i < a.Count(); ++i) v.emplace_back(a.At(i).CStr());
    return v;
}

class MediaScan : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterAllRecordKinds();
        contents = NewDeviceContentsRecord();
        show = New(kFamKvt, kKindSqst);
        for (const char* r : {"a.drc", "b.drc", "a.wav"})
            NodeListInsertSorted(contents, 0, r, "1", "");
        for (const char* r : {"song.wav", "a.drc", "x.wav"})
            NodeListInsertSorted(contents, 1, r, "1", "");
    }
    void TearDown() override {
        CRecord::Destroy(show);
        CRecord::Destroy(contents);
    }
    // A sequence whose DMX scenes and aux scenes name these files.
    void Sequence(std::vector<const char*> dmx, std::vector<const char*> aux) {
        CRecord* seq = New(kFamKvt, kKindSqnc);
        for (auto [field, names] : {std::pair{SqncF::scns, dmx}, std::pair{SqncF::auss, aux}}) {
            for (const char* n : names) {
                CRecord* scene = New(kFamKvt, kKindScen);
                scene->GetChild(ScenF::ctdr)->SetString(nullptr, SnctF::flnm, LString(n));
                seq->InsertItem(nullptr, field, seq->GetListCount(field), scene);
            }
        }
        show->InsertItem(nullptr, SqstF::sqcs, show->GetListCount(SqstF::sqcs), seq);
    }
    // An NSQ track with one item per (kind, file).
    void Track(std::vector<std::pair<u32, const char*>> items) {
        CRecord* set = show->GetChild(SqstF::nsqs);
        if (set->GetListCount(SsetF::seqs) == 0) NSqSetNewSeq(set, nullptr, 0);
        CRecord* seq = set->GetListItem(SsetF::seqs, 0);
        const u32 t = NSqSeqAddTrack(seq, nullptr, 99);
        CRecord* track = seq->GetListItem(SseqF::trks, t);
        u32 time = 0;
        for (auto [kind, file] : items) {
            const u32 i = NSqTrkAddScene(track, nullptr, time += 100, kind);
            CRecord* item = track->GetListItem(StrkF::scns, i)->GetChild(SscnF::prms);
            ASSERT_TRUE(item && item->Kind() == kind);
            if (kind != kKindPseq) item->SetString(nullptr, PdmxF::file, LString(file));
        }
    }
    CRecord* contents = nullptr;
    CRecord* show = nullptr;
};

TEST_F(MediaScan, PresentAndMissingEachOnce) {
    Sequence({"a.drc", "gone.drc", "a.drc", "", "song.wav"}, {"song.wav", "a.drc", "gone.wav"});
    Sequence({"gone.drc", "b.drc"}, {"gone.wav", ""});
    Track({{kKindPaud, "x.wav"}, {kKindPdmx, "b.drc"}, {kKindPaud, "nsqgone.wav"}});
    Track({{kKindPvid, "gone.mov"},
           {kKindPvid, "a.wav"},
           {kKindPseq, ""},
           {kKindPdmx, ""},
           {kKindPdmx, "a.wav"},
           {kKindPaud, "song.wav"}});
    CShowMediaScan scan(contents);
    scan.ScanShow(show);
    // Recordings are looked up among recordings, audio among audio files only.
    EXPECT_EQ(
        Texts(scan.Present()),
        (std::vector<std::string>{"kevrecfiles/a.drc", "audiofiles/song.wav", "audiofiles/a.drc",
                                  "kevrecfiles/b.drc", "audiofiles/x.wav", "kevrecfiles/a.wav"}));
    EXPECT_EQ(Texts(scan.Missing()),
              (std::vector<std::string>{"gone.drc", "song.wav", "gone.wav", "nsqgone.wav"}));
}

TEST_F(MediaScan, AddNameIgnoresEmptyAndRepeatedPaths) {
    CShowMediaScan scan(contents);
    for (const char* p : {"audiofiles/a.wav", "", "kevrecfiles/a.drc", "audiofiles/a.wav"})
        scan.AddName(LString(p));
    EXPECT_EQ(Texts(scan.Present()),
              (std::vector<std::string>{"audiofiles/a.wav", "kevrecfiles/a.drc"}));
    EXPECT_EQ(scan.Missing().Count(), 0u);
}

TEST_F(MediaScan, WithoutContentsEveryNameIsMissingAndOtherRecordsAreNotRead) {
    Sequence({"a.drc"}, {"song.wav"});
    CShowMediaScan none(nullptr);
    none.ScanShow(show);
    EXPECT_EQ(Texts(none.Missing()), (std::vector<std::string>{"a.drc", "song.wav"}));
    CShowMediaScan wrong(contents);
    wrong.ScanShow(contents);  // not sequence settings
    EXPECT_EQ(wrong.Present().Count() + wrong.Missing().Count(), 0u);
}

}  // namespace
