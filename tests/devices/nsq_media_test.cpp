// The NSQ play edit of a device in format 2 and its files' durations, against a
// simulated device on loopback: the edit asks the device for every listed file
// one at a time, scene lengths and the position indicator follow the answers, a
// refused file waits aside without holding back the others, a damaged answer or
// one without a whole duration is no length, names that are no device file names are never asked;
// the play time beside the sequence list.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtl.h"
#include "devices/DeviceHookInstall.h"
#include "devlink/MedInfoReq.h"
#include "editors/nsq/CKvsNPosInd.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTrkViewF.h"
#include "records/DeviceKinds.h"
#include "records/MediaIndex.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"
#include "tests/devices/PlayDeviceTest.h"
#include "tests/devices/PlayTest.h"

namespace {

constexpr u16 kSerial = 342;

class NsqMedia : public devtest::PlayDeviceTest {
protected:
    void SetUp() override {
        PlayDeviceTest::SetUp();
        playtest::EmptyHooks();
        InstallDeviceHooks();
        owner.ShowWindow();
        AddDevice(kSerial, 1);
    }
    void RegisterKinds() override {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
    }
    void TearDown() override {
        Close();
        playtest::EmptyHooks();
        PlayDeviceTest::TearDown();
    }
    // A file on the device's card ("kevrecfiles/a.drc"), with the duration
    // the device reports for it (0: none set, the device answers its size).
    void Put(const std::string& rel, u32 dura) {
        const std::string path = fDir.Path() + "/" + std::to_string(kSerial) + "/sdc/" + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "data of " << rel;
        if (dura) {
            ASSERT_EQ(
                fSim.Cmd("medinfo-set serno=342 path=/sdc/" + rel + " dura=" + std::to_string(dura))
                    .rfind("ok", 0),
                0u);
        }
    }
    void Open() {
        if (!ctl) {
            ASSERT_NO_FATAL_FAILURE(OpenController(kSerial));
        }
        edit.reset(
            static_cast<CNSqTrkViewF*>(NewPlayView(kSeqFormatNsq, &root, &owner, ctl.get())));
        ASSERT_NO_FATAL_FAILURE(LoadEdit(*edit));
        ASSERT_NE(edit->MediaRequester(), nullptr);
        ASSERT_NE(edit->Frame(), nullptr);
    }
    void Close() {
        edit.reset();
        ctl.reset();
    }
    CRecord* Index() { return ctl->MediaIndex(); }
    CRecord* State() { return ctl->StateDoc()->Root(); }
    // Every file of the index settled and no request left.
    bool Settled(u32 files) {
        const CRecord* index = Index();
        if (!index || index->GetListCount(MdisF::meds) != files) return false;
        for (u32 i = 0; i < files; ++i)
            if (!index->GetListItem(MdisF::meds, i)->GetU8(MdifF::work1)) return false;
        return !edit->MediaRequester()->IsBusy() && ctl->FileRequests().IsIdle();
    }
    std::string Stat(const char* name) {
        const CRecord* m = FindMediaFile(Index(), name);
        return m ? std::to_string(m->GetU8(MdifF::stat)) + "/" +
                       std::to_string(m->GetU32(MdifF::dura))
                 : "none";
    }
    // The media requests the device received, by file name, in order.
    std::vector<std::string> Asked(u16 serial = kSerial) {
        std::vector<std::string> out;
        for (const std::string& l : LogOf("pkt")) {
            const std::string path = Field(l, "path");
            if (Field(l, "dir") == "in" && Field(l, "fate") != "late" &&
                Field(l, "dev") == std::to_string(serial) && path.rfind("/.cmd/medinfo//", 0) == 0)
                out.push_back(path.substr(path.rfind('/') + 1));
        }
        return out;
    }
    CRecord* NewSequence(CNSqTrkViewF* in = nullptr) {
        CRecord* set = (in ? in : edit.get())->SeqSettings()->GetChild(SqstF::nsqs);
        const u32 at = set->GetListCount(SsetF::seqs);
        NSqSetNewSeq(set, nullptr, at);
        NSqSeqAddTrack(set->GetListItem(SsetF::seqs, at), nullptr, 0);
        return set->GetListItem(SsetF::seqs, at);
    }

    std::unique_ptr<CNSqTrkViewF> edit;
};

TEST_F(NsqMedia, EveryListedFileAskedOnceAndLengthsFollow) {
    Put("audiofiles/intro.wav", 30000);
    Put("audiofiles/zz.wav", 0);
    Put("kevrecfiles/show.drc", 12000);
    Put("kevrecfiles/.hidden.drc", 5);
    Put("kevrecfiles/notes.txt", 5);
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_TRUE(Run([&] { return Settled(3); }));
    std::vector<std::string> asked = Asked();
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::string>{"intro.wav", "show.drc", "zz.wav"}));
    EXPECT_EQ(Stat("intro.wav"), "2/30000");
    EXPECT_EQ(Stat("show.drc"), "2/12000");
    EXPECT_EQ(Stat("zz.wav"),
              "2/" + std::to_string(std::string("data of audiofiles/zz.wav").size()));

    // The scenes of those files last as long as the device says.
    CRecord* seq = NewSequence();
    edit->SetShownSequence(seq);
    CRecord* trk = seq->GetListItem(SseqF::trks, 0);
    const struct {
        u32 kind;
        const char* file;
        u32 from;
        float rate;
        u32 length;
    } clips[] = {
        {kKindPaud, "intro.wav", 0, 1.0f, 30000},
        {kKindPaud, "intro.wav", 2000, 1.0f, 28000},
        {kKindPdmx, "show.drc", 0, 2.0f, 6000},
        {kKindPdmx, "absent.drc", 0, 1.0f, 0},
    };
    for (const auto& c : clips) {
        const u32 at = NSqTrkAddScene(trk, nullptr, 0, c.kind);
        CRecord* scene = trk->GetListItem(StrkF::scns, at);
        CRecord* prms = scene->GetChild(SscnF::prms);
        prms->SetString(nullptr, PdmxF::file, LString(c.file));
        prms->SetU32(nullptr, PdmxF::rngf, c.from);
        if (c.kind == kKindPdmx) prms->SetF32(nullptr, PdmxF::rate, 0, c.rate);
        CNSqSceneInfo info;
        edit->Context().DescribeScene(scene, &info);
        EXPECT_EQ(info.length, c.length) << c.file << " from " << c.from;
        NSqTrkRemoveScene(trk, nullptr, at);
    }
    // The indicator of the chosen clip shows its file's duration.
    const u32 at = NSqTrkAddScene(trk, nullptr, 1000, kKindPaud);
    trk->GetListItem(StrkF::scns, at)
        ->GetChild(SscnF::prms)
        ->SetString(nullptr, PdmxF::file, LString("intro.wav"));
    edit->Scale().Selection().SelectOnly(0, at);
    auto* clip = dynamic_cast<CNSqClipPrmF*>(edit->Frame()->ScenePrm()->Shown());
    ASSERT_NE(clip, nullptr);
    EXPECT_STREQ(clip->Indicator().Duration().GetText().CStr(), "00:00:30");
    EXPECT_STREQ(clip->Indicator().Position().GetText().CStr(), "--:--:--");

    // A new version of a file (its listing text changes) is asked again, and
    // only that one; a file gone from the card leaves the index.
    fSim.Cmd("log clear");
    std::filesystem::remove(fDir.Path() + "/342/sdc/audiofiles/zz.wav");
    std::filesystem::remove(fDir.Path() + "/342/sdc/kevrecfiles/show.drc");
    Put("kevrecfiles/show.drc", 15000);
    State()->SetU32(nullptr, DvssF::mdcg, State()->GetU32(DvssF::mdcg) + 1);
    ASSERT_TRUE(Run([&] { return Stat("show.drc") == "2/15000" && Settled(2); }));
    EXPECT_EQ(Asked(), std::vector<std::string>{"show.drc"});
    EXPECT_EQ(Stat("zz.wav"), "none");
}

TEST_F(NsqMedia, RefusedFilesWaitAsideAndBadNamesAreNeverAsked) {
    const std::string a = "/.cmd/medinfo///sdc/kevrecfiles/a.drc";
    const struct {
        const char* what;
        std::string fault;  // on the requests for a.drc
        bool onCard;        // a.drc lies on the card (else only listed)
        size_t askedA;
        const char* statA;
        u32 keptA;             // a length of a.drc the preferences kept (0: none)
        bool reshown = false;  // once given up, its editor hidden and shown again
    } cases[] = {
        {"refused once", "fault error code=2 dir=in count=1 path=" + a, true, 2, "2/1000", 0},
        {"refused three times", "fault error code=2 dir=in count=3 path=" + a, true, 4, "2/1000",
         0},
        {"refused every time", "fault error code=2 dir=in path=" + a, true, 4, "1/0", 0},
        {"refused every time, its length kept", "fault error code=2 dir=in path=" + a, true, 4,
         "2/700", 700},
        {"listed, not on the card", "", false, 4, "1/0", 0},
        // The record's length field one short of its 16 bytes: the last byte reads
        // as a pad, and the duration cut at the record's end would be 0.
        {"answered a length one short, its length kept",
         "reply-damage serno=342 path=" + a + " length=15", true, 1, "2/700", 700},
        {"answered a length one short", "reply-damage serno=342 path=" + a + " length=15", true, 1,
         "1/0", 0},
        // Well-formed records that hold no whole duration: no length either.
        {"answered no value block, its length kept",
         "reply-damage serno=342 path=" + a + " values=none", true, 1, "2/700", 700},
        {"answered no value block", "reply-damage serno=342 path=" + a + " values=none", true, 1,
         "1/0", 0},
        {"answered an empty value block, its length kept",
         "reply-damage serno=342 path=" + a + " values=0", true, 1, "2/700", 700},
        {"answered an empty value block", "reply-damage serno=342 path=" + a + " values=0", true, 1,
         "1/0", 0},
        {"answered half a duration, its length kept",
         "reply-damage serno=342 path=" + a + " values=2", true, 1, "2/700", 700},
        {"answered half a duration", "reply-damage serno=342 path=" + a + " values=2", true, 1,
         "1/0", 0},
        {"answered only an unknown block, its length kept",
         "reply-damage serno=342 path=" + a + " unknown=4", true, 1, "2/700", 700},
        {"answered only an unknown block", "reply-damage serno=342 path=" + a + " unknown=4", true,
         1, "1/0", 0},
        {"refused every time, its editor shown anew", "fault error code=2 dir=in path=" + a, true,
         4, "1/0", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(fDir.Path() + "/342/sdc");
        fSim.Cmd("fault-clear");
        fSim.Cmd("reply-damage serno=342 clear");
        fSim.Cmd("fmls-clear serno=342");
        if (c.onCard)
            Put("kevrecfiles/a.drc", 1000);
        else
            fSim.Cmd("fmls-line serno=342 folder=/sdc/kevrecfiles text=a.drc,9,listed");
        Put("kevrecfiles/b.drc", 2000);
        Put("kevrecfiles/c.drc", 3000);
        if (!c.fault.empty()) {
            ASSERT_EQ(fSim.Cmd(c.fault).rfind("ok", 0), 0u);
        }
        // The audio files are listed only at the second try, 5 s on: until then
        // the index holds what the preferences kept of them.
        ASSERT_EQ(fSim.Cmd("fault error code=2 dir=in count=1 path=/.cmd/fmls///sdc/audiofiles")
                      .rfind("ok", 0),
                  0u);
        fSim.Cmd("log clear");
        ASSERT_NO_FATAL_FAILURE(OpenController(kSerial));
        // Names kept in the preferences that are no file names of the card
        // (anyone may edit them).
        CRecord* index = Index();
        while (index->GetListCount(MdisF::meds)) index->RemoveItem(nullptr, MdisF::meds, 0);
        for (const char* bad : {"../up.wav", "x/y.wav", "", "tab\t.wav"})
            AddMediaFile(index, 1, bad);
        if (c.keptA) {
            CRecord* kept = AddMediaFile(index, 0, "a.drc");
            kept->SetU32(nullptr, MdifF::dura, c.keptA);
            kept->SetU8(nullptr, MdifF::stat, 2);
        }
        ASSERT_NO_FATAL_FAILURE(Open());
        // Passed over while the others are asked.
        ASSERT_TRUE(Run([&] { return Stat("c.drc") == "2/3000"; }));
        for (const char* bad : {"../up.wav", "x/y.wav", "", "tab\t.wav"})
            EXPECT_EQ(Stat(bad), "1/0") << bad;
        ASSERT_TRUE(Run([&] { return Settled(3); }, 60000)) << [&] {
            std::string out;
            for (u32 i = 0; i < Index()->GetListCount(MdisF::meds); ++i) {
                const CRecord* m = Index()->GetListItem(MdisF::meds, i);
                out += std::string(m->GetString(MdifF::name).CStr()) + "=" +
                       std::to_string(m->GetU8(MdifF::work1)) +
                       Stat(m->GetString(MdifF::name).CStr()) + " ";
            }
            for (const std::string& n : Asked()) out += n + ",";
            return out;
        }();
        const std::vector<std::string> asked = Asked();
        EXPECT_EQ(size_t(std::count(asked.begin(), asked.end(), "a.drc")), c.askedA);
        EXPECT_EQ(Stat("a.drc"), c.statA);
        EXPECT_EQ(Stat("b.drc"), "2/2000");
        EXPECT_EQ(Stat("c.drc"), "2/3000");
        // Gone with the audio listing, never asked for.
        for (const char* bad : {"../up.wav", "x/y.wav", "", "tab\t.wav"})
            EXPECT_EQ(Stat(bad), "none") << bad;
        // Asked in name order, each once; a refused one only after those behind it.
        std::vector<std::string> first(asked.begin(),
                                       asked.begin() + std::min<size_t>(3, asked.size()));
        EXPECT_EQ(first, (std::vector<std::string>{"a.drc", "b.drc", "c.drc"}));
        EXPECT_EQ(asked.size(), c.askedA + 2);

        if (c.reshown) {
            // Given up, a.drc is asked again when its editor is shown anew (the same
            // editor: a control window closed and opened again), with no listing.
            fSim.Cmd("fault-clear");
            owner.HideWindow();
            EXPECT_FALSE(Run([&] { return Asked().size() > asked.size(); }, 10000));
            owner.ShowWindow();
            EXPECT_TRUE(Run([&] { return Stat("a.drc") == "2/1000" && Settled(3); }, 60000));
            EXPECT_EQ(Asked().size(), asked.size() + 1);
        } else if (c.statA[0] != '2' || c.keptA) {
            // Given up, a.drc is asked again at the next listing that changes.
            fSim.Cmd("fault-clear");
            fSim.Cmd("reply-damage serno=342 clear");
            Put("kevrecfiles/d.drc", 4000);
            State()->SetU32(nullptr, DvssF::mdcg, State()->GetU32(DvssF::mdcg) + 1);
            EXPECT_TRUE(Run([&] { return Stat("d.drc") == "2/4000" && Settled(4); }, 60000));
            EXPECT_EQ(Stat("a.drc"), c.onCard ? "2/1000" : "1/0");
            EXPECT_EQ(Asked().size(), asked.size() + (c.onCard ? 2 : 5));
        }
        Close();
    }
}

TEST_F(NsqMedia, PlayTimeBesideTheSequencesFollowsTheShownSequence) {
    ASSERT_NO_FATAL_FAILURE(Open());
    CRecord* first = NewSequence();
    CRecord* second = NewSequence();
    LTextPane& text = edit->Frame()->TimeText();
    const struct {
        const char* what;
        CRecord* shown;
        CRecord* playing;  // null: the device plays nothing
        u32 sqtm;
        const char* text;
    } steps[] = {
        {"nothing plays", second, nullptr, 0, "--:--:--"},
        {"another sequence plays", second, first, 3723400, "--:--:--"},
        {"the shown one plays", first, first, 3723400, "01:02:03"},
        {"its time runs on, rounded", first, first, 3724600, "01:02:05"},
        {"the other one shown", second, first, 3725000, "--:--:--"},
        {"back to the playing one", first, first, 3725000, "01:02:05"},
        {"the device stops", first, nullptr, 3725000, "--:--:--"},
    };
    for (const auto& s : steps) {
        if (edit->ShownSequence() != s.shown) edit->SetShownSequence(s.shown);
        State()->SetU32(nullptr, DvssF::sqid, s.playing ? s.playing->GetU32(SseqF::sqid) : 0);
        State()->SetU32(nullptr, DvssF::sqtm, s.sqtm);
        EXPECT_STREQ(text.GetText().CStr(), s.text) << s.what;
        EXPECT_STREQ(edit->PlayTimeText().CStr(), s.text) << s.what;
    }
}

// Two editors of two devices open side by side: each works on its own device's
// media index however the list of recent devices is reordered meanwhile (an
// indicator on show looks its file up on every change of any index, a scene
// is described on every redraw), and a listing that changes nothing asks nothing.
TEST_F(NsqMedia, TwoEditorsKeepTheirOwnIndexes) {
    constexpr u16 kOther = 1201;
    AddDevice(kOther, 2);
    const std::string morning = fDir.Path() + "/1201/sdc/audiofiles/Morning.wav";
    std::filesystem::create_directories(std::filesystem::path(morning).parent_path());
    std::ofstream(morning) << "x";
    ASSERT_EQ(fSim.Cmd("medinfo-set serno=1201 path=/sdc/audiofiles/Morning.wav dura=30000")
                  .rfind("ok", 0),
              0u);
    Put("kevrecfiles/dawn.drc", 8000);
    const struct {
        const char* what;
        std::vector<u32> kept;  // the recent devices the preferences hold, first first
        bool clipShown;         // the first editor's indicator on show when the second opens
    } cases[] = {
        {"no preferences, nothing shown", {}, false},
        {"no preferences, a clip shown", {}, true},
        {"both kept, the first device first", {kSerial, kOther}, true},
        {"both kept, the second device first", {kOther, kSerial}, true},
        {"only the second kept", {kOther}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CRecord* prefsRoot = prefs->Root();
        while (prefsRoot->GetListCount(PrefF::mdis)) prefsRoot->RemoveItem(nullptr, PrefF::mdis, 0);
        for (size_t i = c.kept.size(); i-- > 0;) CKvsApp::TouchRecent(prefs.get(), c.kept[i]);
        fSim.Cmd("log clear");
        ASSERT_NO_FATAL_FAILURE(Open());
        ASSERT_TRUE(Run([&] { return Settled(1); }));
        // A DMX scene of the first device's file and an audio scene of a file
        // only the second device has.
        CRecord* seq = NewSequence();
        edit->SetShownSequence(seq);
        CRecord* trk = seq->GetListItem(SseqF::trks, 0);
        const u32 dmx = NSqTrkAddScene(trk, nullptr, 0, kKindPdmx);
        trk->GetListItem(StrkF::scns, dmx)
            ->GetChild(SscnF::prms)
            ->SetString(nullptr, PdmxF::file, LString("dawn.drc"));
        const u32 aud = NSqTrkAddScene(trk, nullptr, 60000, kKindPaud);
        trk->GetListItem(StrkF::scns, aud)
            ->GetChild(SscnF::prms)
            ->SetString(nullptr, PdmxF::file, LString("Morning.wav"));
        auto* clip = c.clipShown ? [&] {
            edit->Scale().Selection().SelectOnly(0, 0);
            return dynamic_cast<CNSqClipPrmF*>(edit->Frame()->ScenePrm()->Shown());
        }() : nullptr;
        if (c.clipShown) {
            ASSERT_NE(clip, nullptr);
            EXPECT_STREQ(clip->Indicator().Duration().GetText().CStr(), "00:00:08");
        }

        // The second device's editor, in a window of its own.
        auto ctl2 = std::make_unique<CKvsDevCtl>(&root, &fSet, kOther);
        ASSERT_TRUE(Run([&] { return !ctl2->SettingsChannel().IsBusy(); }));
        LFrame owner2{&root, nullptr, LPaneOpt::Window(kWindowOrdinary, 9)};
        owner2.ShowWindow();
        std::unique_ptr<CNSqTrkViewF> edit2(
            static_cast<CNSqTrkViewF*>(NewPlayView(kSeqFormatNsq, &root, &owner2, ctl2.get())));
        ASSERT_NO_FATAL_FAILURE(LoadEdit(*edit2));
        CRecord* seq2 = NewSequence(edit2.get());
        edit2->SetShownSequence(seq2);
        CRecord* trk2 = seq2->GetListItem(SseqF::trks, 0);
        const u32 aud2 = NSqTrkAddScene(trk2, nullptr, 0, kKindPaud);
        trk2->GetListItem(StrkF::scns, aud2)
            ->GetChild(SscnF::prms)
            ->SetString(nullptr, PdmxF::file, LString("Morning.wav"));
        const CRecord* index2 = edit2->Context().MediaIndex();
        auto settled2 = [&] {
            return index2 && index2->GetListCount(MdisF::meds) == 1 &&
                   index2->GetListItem(MdisF::meds, 0)->GetU8(MdifF::work1) &&
                   !edit2->MediaRequester()->IsBusy() && ctl2->FileRequests().IsIdle();
        };
        // Redraws of both editors, one after the other, while both list their cards again.
        for (int round = 0; round < 2; ++round) {
            for (CNSqTrkViewF* v : {edit.get(), edit2.get()}) {
                CNSqSceneInfo info;
                v->Context().DescribeScene(v == edit.get() ? trk->GetListItem(StrkF::scns, 1)
                                                           : trk2->GetListItem(StrkF::scns, 0),
                                           &info);
            }
            for (CKvsDevCtl* d : {ctl.get(), ctl2.get()}) {
                CRecord* state = d->StateDoc()->Root();
                state->SetU32(nullptr, DvssF::mdcg, state->GetU32(DvssF::mdcg) + 1);
            }
            Run([&] { return Settled(1) && settled2(); });
        }
        EXPECT_TRUE(Run([&] { return Settled(1) && settled2(); }));
        // Each editor on its own device's entry, the one its controller names.
        EXPECT_EQ(edit->Context().MediaIndex()->GetU32(MdisF::sern), kSerial);
        EXPECT_EQ(index2->GetU32(MdisF::sern), kOther);
        EXPECT_EQ(Index(), edit->Context().MediaIndex());
        EXPECT_EQ(ctl2->MediaIndex(), index2);
        EXPECT_EQ(Stat("dawn.drc"), "2/8000");
        EXPECT_EQ(Stat("Morning.wav"), "none");
        const CRecord* m = FindMediaFile(index2, "Morning.wav");
        EXPECT_TRUE(m && m->GetU8(MdifF::stat) == 2 && m->GetU32(MdifF::dura) == 30000);
        // Each file asked once, of its own device, however often the cards were listed.
        EXPECT_EQ(Asked(kSerial), std::vector<std::string>{"dawn.drc"});
        EXPECT_EQ(Asked(kOther), std::vector<std::string>{"Morning.wav"});
        // Lengths from the right device: the other device's file is unknown here.
        CNSqSceneInfo info;
        edit->Context().DescribeScene(trk->GetListItem(StrkF::scns, 1), &info);
        EXPECT_EQ(info.length, 0u);
        edit2->Context().DescribeScene(trk2->GetListItem(StrkF::scns, 0), &info);
        EXPECT_EQ(info.length, 30000u);
        if (clip) {
            EXPECT_STREQ(clip->Indicator().Duration().GetText().CStr(), "00:00:08");
        }
        edit2.reset();
        ctl2.reset();
        Close();
        // What the preferences keep: each device's answers under its serial.
        std::map<u32, std::string> kept;
        for (u32 i = 0; i < prefsRoot->GetListCount(PrefF::mdis); ++i) {
            const CRecord* e = prefsRoot->GetListItem(PrefF::mdis, i);
            std::string files;
            for (u32 k = 0; k < e->GetListCount(MdisF::meds); ++k) {
                const CRecord* f = e->GetListItem(MdisF::meds, k);
                files += std::string(f->GetString(MdifF::name).CStr()) + "=" +
                         std::to_string(f->GetU32(MdifF::dura)) + " ";
            }
            kept[e->GetU32(MdisF::sern)] = files;
        }
        EXPECT_EQ(kept, (std::map<u32, std::string>{{kSerial, "dawn.drc=8000 "},
                                                    {kOther, "Morning.wav=30000 "}}));
    }
}

}  // namespace
