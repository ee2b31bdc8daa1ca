// Device folder listings merged into the contents record, their polling, the
// media information requests and the status node accessors.

#include <array>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "devlink/FileListPoller.h"
#include "devlink/MedInfoReq.h"
#include "devlink/StatNodes.h"
#include "records/ShowOps.h"
#include "tests/devlink/FileLinkTestUtil.h"
#include "tests/devlink/FileTestUtil.h"

namespace {

std::string Entries(const CRecord* c, u32 kind) {
    std::string out;
    const u8 f = kind == 0 ? DctsF::recordings : DctsF::audio;
    for (u32 i = 0; i < c->GetListCount(f); ++i) {
        const CRecord* e = c->GetListItem(f, i);
        for (u8 k : {DfifF::name, DfifF::number, DfifF::info})
            out += std::string(e->GetString(k).CStr()) + (k == DfifF::info ? ";" : "|");
    }
    return out;
}

void Merge(CRecord* c, u32 k, const std::string& b) {
    MergeFileListing(c, k, b.data(), b.size());
}

// Counts notices about the root (field 1 only) and about the entries.
void Count(void* counts, CRecordNote* n) {
    static_cast<u32*>(counts)[n->record->Parent() ? 1 : n->field == DctsF::field1 ? 0 : 2]++;
}

// Entries as older data may hold them: each name as many times as asked, the
// information texts counting up from "o0".
std::vector<std::array<std::string, 3>> Dupes(
    std::initializer_list<std::pair<const char*, u32>> names) {
    std::vector<std::array<std::string, 3>> out;
    for (const auto& [name, n] : names)
        for (u32 i = 0; i < n; ++i)
            out.push_back({name, std::to_string(i), "o" + std::to_string(i)});
    return out;
}

TEST(FileListMerge, KeepsOnlyUsableNamesOfTheKindOnce) {
    const struct {
        u32 kind;
        std::string body, want;
        std::vector<std::array<std::string, 3>> before;  // entries already listed
    } cases[] = {
        {0, "\xEF\xBB\xBFx.drc,1,i1\r\n.h.drc,2,i2\r\ny.wav,3,i3\r\n", "x.drc|1|i1;", {}},
        {1, "a.WAV,5,t\nb.drc,1,u\n,2,v\n\"c,d.wav\",7,w", "a.WAV|5|t;c,d.wav|7|w;", {}},
        {0,
         "a/b.drc,1,x\nc\x01.drc,1,x\n\xff.drc,1,x\n\xC0\xAF.drc,1,x\n\xED\xA0\x80.drc,1,x\n"
         "d.drc,1,first\nd.drc,2,second\n..drc,1,x\nE.DRC\n",
         "d.drc|1|first;E.DRC||;",
         {}},
        // Duplicates: one entry stays, with the listing's texts; a name gone takes
        // all of its entries. Enough of them that sorting them may reorder them.
        {0, "a.drc,9,new\nc.drc,1,z\n", "a.drc|9|new;c.drc|1|z;",
         Dupes({{"a.drc", 20}, {"b.drc", 20}, {"c.drc", 1}})},
        {0, "a.drc,9,new\na.drc,8,again\n", "a.drc|9|new;", Dupes({{"a.drc", 3}})},
        {1, "b.wav,1,x\n", "b.wav|1|x;", Dupes({{"a.wav", 2}, {"b.wav", 2}})},
    };
    for (const auto& c : cases) {
        CRecordDoc doc(NewDeviceContentsRecord());
        for (const auto& e : c.before)
            NodeListInsertSorted(doc.Root(), c.kind, e[0].c_str(), e[1].c_str(), e[2].c_str());
        Merge(doc.Root(), c.kind, c.body);
        EXPECT_EQ(Entries(doc.Root(), c.kind), c.want) << c.body;
        EXPECT_EQ(Entries(doc.Root(), 1 - c.kind), "");
    }
}

TEST(FileListMerge, UpdatesInPlaceRemovesVanishedAndAnnounces) {
    u32 counts[3] = {};  // field 1, entries, other root fields
    CRecordDoc doc(NewDeviceContentsRecord());
    CRecord* c = doc.Root();
    Merge(c, 0, "a.drc,1,x\nb.drc,1,y\nc.drc,1,z\n");
    const CRecord* a = c->GetListItem(DctsF::recordings, 0);
    doc.AddListener(counts, Count);
    for (u32 pass = 1; pass <= 2; ++pass) {
        Merge(c, 0, "c.drc,1,z\na.drc,2,x2\n");
        EXPECT_EQ(Entries(c, 0), "a.drc|2|x2;c.drc|1|z;");
        EXPECT_EQ(c->GetListItem(DctsF::recordings, 0), a);
        EXPECT_EQ(c->GetU8(DctsF::field1), 255);
        EXPECT_EQ(counts[0], pass);
        EXPECT_TRUE(pass == 1 || counts[1] == 0) << "an unchanged listing changes no entry";
        counts[1] = 0;
    }
}

TEST(StatNodes, DefaultsAndQuietChildren) {
    RegisterAllRecordKinds();
    u32 counts[3] = {};
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamUnd, kKindPrms)));
    doc.AddListener(counts, Count);
    CRecord* snd = StatNodeGetSndDev(doc.Root());
    ASSERT_TRUE(snd && StatNodeGetSndDev(doc.Root()) == snd && StatNodeGetFsStat(doc.Root()));
    EXPECT_EQ(counts[0] + counts[1] + counts[2], 0u) << "reading must not write to the device";
    for (const CRecord* n : {static_cast<const CRecord*>(snd), (const CRecord*)nullptr})
        EXPECT_EQ(std::vector<i32>({StatNodeGetFreeb(n), SndDevGetOper(n), SndDevGetInChannels(n),
                                    SndDevGetOutChannels(n), SndDevGetRate(n), SndDevGetBits(n)}),
                  std::vector<i32>({0, 0, 1, 2, 44100, 16}));
    SndDevSetRate(snd, nullptr, 48000);
    EXPECT_EQ(SndDevGetRate(snd), 48000);
    EXPECT_GT(counts[1], 0u);
}

using FileList = filelink::FileLinkTest;

TEST_F(FileList, PollsEveryFiveSecondsAfterReplyOrFailureAndFetchesOnce) {
    for (const char* f : {"kevrecfiles/x.drc", "kevrecfiles/.h.drc", "kevrecfiles/y.wav"})
        filetest::WriteFile(Sdc(f), {1, 2, 3});
    filetest::WriteFile(Sdc("audiofiles/s.wav"), {1});
    ASSERT_TRUE(Ok("fmls-bom serno=305 on=1"));
    // The first listing fails; the others are answered a little later in real
    // time, so that a request just started is seen in flight.
    ASSERT_TRUE(Ok("fault error code=2 dir=in path=/.cmd/fmls///sdc/kevrecfiles count=1"));
    ASSERT_TRUE(Ok("fault delay ms=100 dir=in path=/.cmd/fmls///sdc/kevrecfiles"));
    const std::string recs = "/.cmd/fmls///sdc/kevrecfiles";
    CKvsFileListPoller periodic(this), once(this);
    u32 done = 0;
    periodic.Start(0);
    once.StartWithCallback(1, &done, [](void* d) { ++*static_cast<u32*>(d); });
    ASSERT_TRUE(Settle([&] { return done == 1 && Asked(recs) == 1 && fQueue->IsIdle(); }));
    // The last millisecond passes without waiting for the device, so that the
    // listing it starts is seen in flight (Advance would see it through).
    const auto toTheListing = [&] {
        Advance(4999);
        EXPECT_TRUE(fQueue->IsIdle());
        fLoop.Pause(1);
        return Settle([&] { return !fQueue->IsIdle(); }, 1000);
    };
    for (size_t n = 2; n <= 3; ++n) {  // after the failure, then after a reply
        ASSERT_TRUE(toTheListing());
        ASSERT_TRUE(Settle([&] { return fQueue->IsIdle(); }));
        EXPECT_EQ(Asked(recs), n);
    }
    ASSERT_TRUE(toTheListing());
    periodic.Restart();  // during a listing: asked again as soon as it is in
    EXPECT_TRUE(Settle([&] { return Asked(recs) == 5 && fQueue->IsIdle(); }));
    EXPECT_EQ(Asked("/.cmd/fmls///sdc/audiofiles"), 1u);
    EXPECT_EQ(Entries(ContentsRecord(), 1).substr(0, 6), "s.wav|");
    const std::string x = Entries(ContentsRecord(), 0);
    EXPECT_TRUE(x.rfind("x.drc|3|", 0) == 0 && x.find(';') == x.size() - 1) << x;
}

TEST_F(FileList, BeginDuringAFetchRestartsAfterTheListingAndAgainWhenDone) {
    ASSERT_TRUE(Ok("fault delay ms=100 dir=in path=/.cmd/fmls///sdc/kevrecfiles count=1"));
    CKvsFileListFetch2 fetch(this);
    fetch.Begin();
    ASSERT_TRUE(Settle([&] { return !fQueue->IsIdle(); }));
    fetch.Begin();
    EXPECT_EQ(fQueue->PendingCount(), 0u) << "no parallel request";
    ASSERT_TRUE(Drive([&] { return !fetch.IsFetching(); }));
    fetch.Begin();
    ASSERT_TRUE(Drive([&] { return !fetch.IsFetching(); }));
    std::string order;
    for (const std::string& l : LogOf("req"))
        order += Field(l, "path") == "/.cmd/fmls///sdc/kevrecfiles" ? "K" : "A";
    EXPECT_EQ(order, "KKAKA");
}

TEST_F(FileList, MediaInformationOneFileAtATimeWithRetries) {
    for (const char* f : {"a.wav", "u.wav", "z.wav"})
        filetest::WriteFile(Sdc("audiofiles/") + f, {1});
    ASSERT_TRUE(Ok("medinfo-set serno=305 path=/sdc/audiofiles/a.wav dura=1234"));
    const std::string tooLong = std::string(600, 'L') + ".wav";
    for (const std::string& line : {std::string("e.wav,0,gone"), tooLong + ",0,x"})
        ASSERT_TRUE(Ok("fmls-line serno=305 folder=/sdc/audiofiles text=" + line));
    ASSERT_TRUE(Ok("fault drop dir=in path=/.cmd/medinfo///sdc/audiofiles/u.wav count=11"));
    CRecordDoc media(CRecord::New(CRecordSchema::Find(kFamKvs, kKindMdis)));
    CRecord* index = media.Root();
    CMedInfoReq req(nullptr, this, index);
    AddMediaFile(index, 2, "v.mov");
    CKvsFileListPoller list(this);
    auto settled = [&] {
        for (u32 i = 0; i < index->GetListCount(MdisF::meds); ++i)
            if (!index->GetListItem(MdisF::meds, i)->GetU8(MdifF::work1)) return false;
        return !req.IsBusy() && fQueue->IsIdle();
    };
    list.StartWithCallback(1, nullptr, [](void*) {});
    ASSERT_TRUE(Drive(settled, 300000));
    // The refused file waits aside: the one after it is asked before it is asked again.
    std::string order;
    for (const std::string& l : LogOf("pkt")) {
        const std::string path = Field(l, "dir") == "in" ? Field(l, "path") : "";
        if (path == "/.cmd/medinfo///sdc/audiofiles/e.wav") order += 'e';
        if (path == "/.cmd/medinfo///sdc/audiofiles/u.wav" && order.find('u') == std::string::npos)
            order += 'u';
    }
    EXPECT_EQ(order.substr(0, 3), "eue");
    EXPECT_EQ(Asked("/.cmd/medinfo///sdc/audiofiles/u.wav"), 12u) << "unanswered, then again";
    std::string stats;  // the other kinds are not asked
    for (const std::string& n : {std::string("a.wav"), std::string("e.wav"), std::string("u.wav"),
                                 std::string("z.wav"), std::string("v.mov"), tooLong})
        stats += std::to_string(FindMediaFile(index, n.c_str())->GetU8(MdifF::stat));
    EXPECT_EQ(stats, "212211");
    EXPECT_EQ(FindMediaFile(index, "a.wav")->GetU32(MdifF::dura), 1234u);
    const std::string a = "/.cmd/medinfo///sdc/audiofiles/a.wav";
    EXPECT_EQ(Asked("/.cmd/medinfo///sdc/audiofiles/e.wav"), 4u);
    EXPECT_EQ(Asked(a), 1u);

    // A changed file is asked again; vanished ones leave both records.
    std::filesystem::remove(Sdc("audiofiles/z.wav"));
    std::filesystem::remove(Sdc("audiofiles/a.wav"));
    filetest::WriteFile(Sdc("audiofiles/a.wav"), {9, 9});
    ASSERT_TRUE(Ok("fmls-clear serno=305"));
    list.StartWithCallback(1, nullptr, [](void*) {});
    ASSERT_TRUE(Drive([&] { return Asked(a) == 2 && settled(); }));
    EXPECT_TRUE(!FindMediaFile(index, "z.wav") && !FindMediaFile(index, "e.wav"));
    EXPECT_EQ(Entries(ContentsRecord(), 1).find("z.wav"), std::string::npos);
}

}  // namespace
