// The play edit against the simulated device on loopback.
#include <algorithm>
#include <chrono>
#include <random>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/CMemStrm.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "base/TextFormat.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "editors/UnsentSettings.h"
#include "framework/InputState.h"
#include "records/AppPrefsDoc.h"
#include "records/CChunkFile.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PlayGrid.h"
#include "records/PropRecord.h"
#include "records/Schedule.h"
#include "records/Sequences.h"
#include "records/CShowMediaScan.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/devices/PlayDeviceTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/KillRounds.h"

namespace {

using playtest::Choose;

constexpr u16 kSerial = 305;

class PlayFiles : public devtest::PlayDeviceTest {
protected:
    void SetUp() override {
        PlayDeviceTest::SetUp();
        playtest::EmptyHooks();
        owner.ShowWindow();
    }
    void TearDown() override {
        edit.reset();
        ctl.reset();
        ctl2.reset();
        playtest::EmptyHooks();
        PlayDeviceTest::TearDown();
    }
    // The device, its controller, and a play edit loaded from it.
    void Open() {
        if (!fSet.Find(kSerial)) AddDevice(kSerial, 1);
        ASSERT_NO_FATAL_FAILURE(OpenController(kSerial));
        edit = std::make_unique<CKvsPlayCmd>(&root, &owner, ctl.get());
        ASSERT_NO_FATAL_FAILURE(LoadEdit(*edit));
        fSim.Cmd("log clear");
    }
    bool Idle() {
        return Run([&] { return !edit->SeqChannel()->IsBusy() && !edit->PlayChannel()->IsBusy(); });
    }
    // "OP path" as the device received them, resent copies once; by default the card's files.
    std::vector<std::string> Requests(const std::string& prefix = "") {
        std::vector<std::string> out;
        std::string last;
        for (const std::string& l : LogOf("pkt")) {
            const std::string op = Field(l, "op"), path = Field(l, "path");
            if (Field(l, "dir") != "in" || (op != "RRQ" && op != "WRQ")) continue;
            if (prefix.empty() ? path.rfind("/sdc/", 0) != 0 && path != "/.cmd/fsflush"
                               : path.rfind(prefix, 0) != 0)
                continue;
            const std::string entry = op + " " + path, from = entry + " " + Field(l, "peer");
            if (from != last) out.push_back(entry);
            last = from;
        }
        return out;
    }
    CRecord* CardFile(const char* name) {
        const std::string bytes =
            playtest::ReadFile(fDir.Path() + "/" + std::to_string(kSerial) + "/sdc/" + name);
        std::vector<u8> copy(bytes.begin(), bytes.end());
        CMemStrm strm(copy.data(), u32(copy.size()));
        CRecord* r = PropRecord::ReadNew(&strm);
        EXPECT_EQ(strm.Position(), copy.size()) << name;
        return r;
    }
    void Modify() {
        edit->SeqSettings()->SetU32(edit.get(), SqstF::tgmk,
                                    edit->SeqSettings()->GetU32(SqstF::tgmk) + 1);
        edit->PlaySettings()->SetU32(edit.get(), PlysF::pwdw,
                                     edit->PlaySettings()->GetU32(PlysF::pwdw) + 1);
        ASSERT_TRUE(Idle());
        fSim.Cmd("log clear");
    }
    std::string Url(const std::string& name) {
        LString url;
        PosixPathToFileUrl(&url, LString((fDir.Path() + "/" + name).c_str()));
        return url.CStr();
    }
    void ChanLoad(const char* channel, const CRecord* record) {
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, record);
        const std::string file = fDir.Path() + "/load.chunk";
        playtest::WriteFile(file,
                            std::string(reinterpret_cast<char*>(buffer.Data()), strm.Position()));
        ASSERT_EQ(fSim.Cmd("chan-load serno=305 path=" + std::string(channel) + " file=" + file)
                      .rfind("ok", 0),
                  0u);
    }
    void ExpectIdleLimitSince(u32 t0) {
        EXPECT_GE(LTickMs() - t0, CKvsPlayCmd::kIdleLimitMs);
        EXPECT_LT(LTickMs() - t0, CKvsPlayCmd::kIdleLimitMs + 300);
    }
    void AddSequence(CRecord* seq, u32 id) {
        CRecord* sq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
        sq->SetU32(nullptr, SqncF::sqid, id);
        CRecord* scene = NewSceneRecord();
        scene->SetI32(nullptr, ScenF::sntm, 100);
        sq->InsertItem(nullptr, SqncF::scns, 0, scene);
        seq->InsertItem(nullptr, SqstF::sqcs, seq->GetListCount(SqstF::sqcs), sq);
    }

    std::unique_ptr<CKvsPlayCmd> edit;
    std::unique_ptr<CKvsDevCtl> ctl2;
};

TEST_F(PlayFiles, SettingFilesInOrderEachOneRecordChunk) {
    Open();
    // Nothing pending, not forced: nothing goes out.
    EXPECT_TRUE(edit->SendPlayData(true, false));
    EXPECT_TRUE(Requests().empty());
    const struct { bool modify, force; } cases[] = {{true, false}, {false, true}};
    for (const auto& c : cases) {
        if (c.modify) Modify();
        const u32 t0 = fLoop.NowMs();
        EXPECT_TRUE(edit->SendPlayData(true, c.force));
        // The card is given a second after the flush, on the test's clock.
        EXPECT_GE(fLoop.NowMs() - t0, 1000u);
        EXPECT_EQ(Requests(),
                  (std::vector<std::string>{"WRQ /sdc/playersetting", "WRQ /sdc/sequencesetting",
                                            "RRQ /.cmd/fsflush"}));
        EXPECT_FALSE(edit->SeqDoc().IsModified());
        EXPECT_FALSE(edit->PlayDoc().IsModified());
        fSim.Cmd("log clear");
    }
    CRecord* play = CardFile("playersetting");
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->Kind(), kKindPlys);
    EXPECT_NE(play->GetChild(PlysF::uifs), nullptr);
    EXPECT_EQ(play->GetU32(PlysF::pwdw), 1u);
    CRecord::Destroy(play);
    CRecord* seq = CardFile("sequencesetting");
    ASSERT_NE(seq, nullptr);
    EXPECT_EQ(seq->GetU32(SqstF::tgmk), 1u);
    CRecord::Destroy(seq);
    EXPECT_TRUE(root.texts.empty());
}

TEST_F(PlayFiles, AnErrorOnTheFirstFileStopsThereAndKeepsBothFlags) {
    Open();
    fSim.Cmd("fault error code=2 dir=in opcode=WRQ path=/sdc/playersetting");
    for (const bool report : {false, true}) {
        Modify();
        EXPECT_FALSE(edit->SendPlayData(report, false));
        EXPECT_EQ(Requests(), (std::vector<std::string>{"WRQ /sdc/playersetting"}));
        EXPECT_TRUE(edit->SeqDoc().IsModified());
        EXPECT_TRUE(edit->PlayDoc().IsModified());
        EXPECT_EQ(root.texts.size(), report ? 1u : 0u);
    }
    EXPECT_EQ(root.texts[0], StdDialogText("KVSPLAYEDIT", 2).CStr());
}

// The write's Cancel is there from its first second: the user gives up when
// he likes, at once or after watching a silent device for a while.
TEST_F(PlayFiles, ASilentDeviceCanBeGivenUpOnFromTheFirstSecond) {
    Open();
    for (const u32 patience : {0u, CKvsPlayCmd::kIdleLimitMs}) {
        SCOPED_TRACE(patience);
        Modify();
        edit->RebuildUiLayout();
        ASSERT_TRUE(Idle());
        fSim.Cmd("fault drop serno=305 dir=in");
        root.cancelledAt = 0;
        root.patienceMs = patience;
        root.texts.clear();
        const u32 t0 = LTickMs();
        EXPECT_FALSE(edit->SendPlayData(true, false));
        ASSERT_NE(root.cancelledAt, 0u);
        EXPECT_GE(root.cancelledAt - t0, patience);
        EXPECT_LT(root.cancelledAt - t0, patience + 300);
        EXPECT_TRUE(edit->PlayDoc().IsModified());
        EXPECT_EQ(root.texts.size(), 1u);
        // The cancelled request is gone: the next write goes through.
        fSim.Cmd("fault-clear");
        EXPECT_TRUE(edit->SendPlayData(true, false));
        EXPECT_FALSE(edit->PlayDoc().IsModified());
    }
}

TEST_F(PlayFiles, ChannelWaitGivesUpOnlyAfterTenSecondsWithoutProgress) {
    Open();
    fSim.Cmd("fault drop dir=in opcode=WRQ path=/.cmd/udseqset/tgmk");
    edit->SeqSettings()->SetU32(edit.get(), SqstF::tgmk, 9);
    ASSERT_TRUE(edit->SeqChannel()->IsBusy());
    CSimpleProgressDialog progress(&root, LPaneOpt::Window(kWindowDialog, 2));
    const u32 t0 = LTickMs();
    EXPECT_FALSE(edit->WaitChannels(&progress));
    ExpectIdleLimitSince(t0);
}

// The save question names the device; Don't Save leaves the card as it is,
// also when the edit ends afterwards, and whether the device refused the write
// or was away (its wait given up on).
TEST_F(PlayFiles, ClosingAfterAFailedWrite) {
    Open();
    // Save changes dialog results: 1 save (sends again), 2 cancel, 3 don't save.
    const struct {
        const char* fault;
        std::vector<u32> answers;
        bool closes;
        size_t writes;
    } cases[] = {
        {"fault error code=2 dir=in opcode=WRQ path=/sdc/playersetting", {2}, false, 1},
        {"fault error code=2 dir=in opcode=WRQ path=/sdc/playersetting", {1, 3}, true, 2},
        {"fault error code=2 dir=in opcode=WRQ path=/sdc/playersetting", {1, 1, 2}, false, 3},
        {"fault error code=2 dir=in opcode=WRQ path=/sdc/playersetting", {3}, true, 1},
        {"fault drop serno=305 dir=in", {3}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault + std::string(" ") + std::to_string(c.answers.size()));
        Modify();
        fSim.Cmd(c.fault);
        size_t asked = 0;
        root.answer = [&](LDialog* d) {
            auto* ask = dynamic_cast<CSaveChangesDialog*>(d);
            if (!ask || asked >= c.answers.size()) return;
            EXPECT_NE(std::string(ask->fMessage.GetText().CStr()).find("\"305\""),
                      std::string::npos)
                << ask->fMessage.GetText().CStr();
            d->SetResult(c.answers[asked++]);
        };
        EXPECT_EQ(edit->SendBeforeClose(), c.closes);
        EXPECT_EQ(asked, c.answers.size());
        EXPECT_EQ(Requests().size(), c.writes);
        fSim.Cmd("fault-clear");
        if (c.closes) {
            // The edit ends with its window: nothing more reaches the card.
            fSim.Cmd("log clear");
            const u32 t0 = LTickMs();
            edit.reset();
            EXPECT_TRUE(Requests().empty());
            EXPECT_LT(LTickMs() - t0, 1000u);
            Open();
        }
        fSim.Cmd("log clear");
    }
    root.answer = nullptr;
}

// A fade typed while the device is away for longer than its write tries.
// Back: the fade reaches it once before the settings are read back, which
// keep it, and it still waits for the card. Gone for good: the edit's end says
// which setting the device never got. Refused: the level and the aux play name
// typed after it still go, the fade shows the device's own again, and the user
// is told which setting was refused, by the names the windows show.
TEST_F(PlayFiles, AFadeTypedWhileTheDeviceIsAway) {
    enum How { kBack, kGone, kRefused };
    for (const How how : {kBack, kGone, kRefused}) {
        SCOPED_TRACE(how == kBack ? "back" : how == kGone ? "gone" : "refused");
        Open();
        AddSequence(edit->SeqSettings(), 1);
        CRecord* seq = edit->SeqSettings()->GetListItem(SqstF::sqcs, 0);
        CRecord* clip = seq->GetListItem(SqncF::scns, 0)->GetChild(ScenF::ctdr);
        ASSERT_NE(clip, nullptr);
        CRecord* aux = CRecord::New(CRecordSchema::Find(kFamKvt, kKindAply));
        CRecord* plays = edit->SeqSettings()->GetChild(SqstF::axps);
        plays->InsertItem(nullptr, AplsF::plys, 0, aux);
        if (how == kRefused) {
            seq->SetString(nullptr, SqncF::sqnm, LString("Intro"));
            seq->GetListItem(SqncF::scns, 0)->SetString(nullptr, ScenF::snnm, LString("Blue"));
        }
        ASSERT_TRUE(Idle());
        ASSERT_TRUE(edit->SendPlayData(true, false));
        root.texts.clear();
        fSim.Cmd("log clear");
        if (how == kRefused) {
            ASSERT_EQ(fSim.Cmd("fault error code=2 dir=in opcode=WRQ "
                               "path=/.cmd/udseqset/sqcs/0/scns/0/ctdr/fdtm count=1")
                          .rfind("ok", 0),
                      0u);
            const u32 kept = clip->GetU32(SnctF::fdtm);
            clip->SetU32(edit.get(), SnctF::fdtm, kept + 1000);
            clip->SetU32(edit.get(), SnctF::volm, 128);
            aux->SetString(edit.get(), AplyF::name, LString("Doors"));
            // The level and the name go at once; 2 s later the record is read back.
            ASSERT_TRUE(
                Run([&] { return !root.texts.empty() && clip->GetU32(SnctF::fdtm) == kept; }));
            ASSERT_TRUE(Idle());
            std::vector<std::string> sent;
            for (const std::string& l : LogOf("chan"))
                if (Field(l, "op") == "write")
                    sent.push_back(Field(l, "path") + "=" + Field(l, "value"));
            EXPECT_EQ(sent, (std::vector<std::string>{"/.cmd/udseqset/sqcs/0/scns/0/ctdr/volm=128",
                                                      "/.cmd/udseqset/axps/plys/0/name=Doors"}));
            EXPECT_EQ(clip->GetU32(SnctF::volm), 128u);
            EXPECT_EQ(aux->GetString(AplyF::name), LString("Doors"));
            EXPECT_EQ(root.texts, std::vector<std::string>{
                                      "Device 305 refused these settings and keeps its own values "
                                      "for them:\n\nSequence 'Intro', Scene 'Blue': Fade"});
            edit.reset();
            EXPECT_EQ(root.texts.size(), 1u) << "nothing was left unsent";
            fSim.Cmd("fault-clear");
            continue;
        }
        ASSERT_EQ(fSim.Cmd("fault drop serno=305 dir=in").rfind("ok", 0), 0u);
        // The device kept the last round's fade.
        const u32 fade = how == kBack ? 7500 : 8500;
        clip->SetU32(edit.get(), SnctF::fdtm, fade);
        // All its tries, and one more.
        EXPECT_TRUE(Run(
            [&] {
                size_t tries = 0;
                for (const std::string& l : LogOf("pkt"))
                    tries += Field(l, "dir") == "in" && Field(l, "op") == "WRQ";
                return tries > 11;
            },
            60000));
        if (how == kBack) {
            fSim.Cmd("fault-clear");
            ASSERT_TRUE(Idle());
            std::vector<std::string> sent;
            for (const std::string& l : LogOf("chan"))
                if (Field(l, "op") == "write") sent.push_back(Field(l, "value"));
            EXPECT_EQ(sent, std::vector<std::string>{"7500"});
            EXPECT_EQ(clip->GetU32(SnctF::fdtm), fade);
            EXPECT_TRUE(edit->SeqDoc().IsModified());
            EXPECT_TRUE(edit->SendPlayData(true, false));
            CRecord* file = CardFile("sequencesetting");
            ASSERT_NE(file, nullptr);
            const CRecord* card = file->GetListItem(SqstF::sqcs, 0)->GetListItem(SqncF::scns, 0);
            EXPECT_EQ(card->GetChild(ScenF::ctdr)->GetU32(SnctF::fdtm), fade);
            CRecord::Destroy(file);
            EXPECT_TRUE(root.texts.empty());
        } else {
            edit.reset();
            ASSERT_FALSE(root.texts.empty());
            EXPECT_EQ(root.texts.back(),
                      "Device 305 did not answer, so these settings never reached it and are not "
                      "stored:\n\nSequence 1, Scene 1: Fade");
        }
        edit.reset();
        fSim.Cmd("fault-clear");
    }
}

// The device refuses one value of a record and takes the others typed with it:
// the message names that value as its window labels it, and the read-back
// shows the device's own value there and the user's everywhere else.
TEST_F(PlayFiles, ARefusedValueIsNamedAloneAndTheOthersOfItsRecordGo) {
    struct Records {
        CRecord* event;  // schedule event 'Evening'
        CRecord* clip;   // the DMX clip of NSQ sequence 'Show B', track 1, scene 1
        CRecord* triggers;
    };
    const struct {
        const char* what;
        const char* refused;  // below /.cmd/udseqset
        std::function<void(const Records&, LHandler*)> type;
        std::vector<std::string> taken;  // path=value, as the device stored them
        const char* named;
        std::function<bool(const Records&)> shown;  // after the read-back
    } rows[] = {
        {"schedule event hour",
         "/schd/flts/0/fcph",
         [](const Records& r, LHandler* ctx) {
             r.event->SetString(ctx, ScevF::fcph, LString("9"));
             r.event->SetString(ctx, ScevF::name, LString("Evening"));
             r.event->SetString(ctx, ScevF::fcpn, LString("30"));
             r.event->GetChild(ScevF::axud)->SetU32(ctx, ScexF::tmdr, 45);
         },
         {"/schd/flts/0/name=Evening", "/schd/flts/0/fcpn=30", "/schd/flts/0/axud/tmdr=45"},
         "Schedule, Event 'Evening': Hour",
         [](const Records& r) {
             return r.event->GetString(ScevF::fcph) == LString("8") &&
                    r.event->GetString(ScevF::name) == LString("Evening") &&
                    r.event->GetString(ScevF::fcpn) == LString("30") &&
                    r.event->GetChild(ScevF::axud)->GetU32(ScexF::tmdr) == 45;
         }},
        {"NSQ scene fade",
         "/nsqs/seqs/0/trks/0/scns/0/prms/fdtm",
         [](const Records& r, LHandler* ctx) {
             r.clip->SetU32(ctx, PdmxF::fdtm, 2500);
             r.clip->SetU32(ctx, PdmxF::volm, 80);
             r.clip->SetF32(ctx, PdmxF::rate, 0, 2.0f);
         },
         {"/nsqs/seqs/0/trks/0/scns/0/prms/volm=80", "/nsqs/seqs/0/trks/0/scns/0/prms/rate=2"},
         "NSQ sequence 'Show B', Track 1, Scene 1: Fade",
         [](const Records& r) {
             return r.clip->GetU32(PdmxF::fdtm) == 0 && r.clip->GetU32(PdmxF::volm) == 80 &&
                    r.clip->GetF32(PdmxF::rate) == 2.0f;
         }},
        {"scene trigger MIDI channel",
         "/sntg/mdch",
         [](const Records& r, LHandler* ctx) {
             r.triggers->SetU8(ctx, SntgF::mdch, 4);
             r.triggers->SetU8(ctx, SntgF::mdnt, 60);
         },
         {"/sntg/mdnt=60"},
         "Scene Triggers: MIDI channel",
         [](const Records& r) {
             return r.triggers->GetU8(SntgF::mdch) == 0 && r.triggers->GetU8(SntgF::mdnt) == 60;
         }},
    };
    Open();
    CRecord* settings = edit->SeqSettings();
    CRecord* schedule = settings->GetChild(SqstF::schd);
    InsertNewScheduleEvent(schedule, edit.get(), 0);
    CRecord* event = schedule->GetListItem(SchdF::flts, 0);
    event->SetString(edit.get(), ScevF::fcph, LString("8"));
    CRecord* nsq = settings->GetChild(SqstF::nsqs);
    NSqSetNewSeq(nsq, edit.get(), 0);
    CRecord* show = nsq->GetListItem(SsetF::seqs, 0);
    show->SetString(edit.get(), SseqF::name, LString("Show B"));
    if (show->GetListCount(SseqF::trks) == 0) NSqSeqAddTrack(show, edit.get(), 0);
    CRecord* track = show->GetListItem(SseqF::trks, 0);
    NSqTrkAddScene(track, edit.get(), 0, kKindPdmx);
    ASSERT_TRUE(Idle());
    const Records records{event, track->GetListItem(StrkF::scns, 0)->GetChild(SscnF::prms),
                          settings->GetChild(SqstF::sntg)};
    ASSERT_NE(records.clip, nullptr);
    ASSERT_EQ(records.clip->Kind(), kKindPdmx);
    ASSERT_NE(records.triggers, nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        root.texts.clear();
        fSim.Cmd("log clear");
        ASSERT_EQ(fSim.Cmd(std::string("fault error code=2 dir=in opcode=WRQ path=/.cmd/udseqset") +
                           row.refused + " count=1")
                      .rfind("ok", 0),
                  0u);
        row.type(records, edit.get());
        // The read-back comes 2 s after the refusal.
        ASSERT_TRUE(Run([&] { return !root.texts.empty() && row.shown(records); }));
        ASSERT_TRUE(Idle());
        std::vector<std::string> taken;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write" && Field(l, "ok") == "1")
                taken.push_back(Field(l, "path").substr(std::string("/.cmd/udseqset").size()) +
                                "=" + Field(l, "value"));
        EXPECT_EQ(taken, row.taken);
        EXPECT_EQ(root.texts, std::vector<std::string>{"Device 305 refused these settings and "
                                                       "keeps its own values for them:\n\n" +
                                                       std::string(row.named)});
        fSim.Cmd("fault-clear");
    }
}

// Every setting the channels write (the sequence and play settings of a play
// edit, the device settings of its controller) named as the windows show it,
// so that no tag reaches a message; then the names of some settings in full.
TEST_F(PlayFiles, EverySettingAChannelWritesIsNamed) {
    const struct {
        const char* channel;
        u32 kind;
    } channels[] = {{"udseqset", kKindSqst}, {"udplayset", kKindPlys}, {"udkvtset", kKindDvst}};
    auto hasWord = [](const std::string& text, const std::string& word) {
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
            const size_t end = at + word.size();
            if ((at == 0 || !std::isalpha(u8(text[at - 1]))) &&
                (end == text.size() || !std::isalpha(u8(text[end]))))
                return true;
        }
        return false;
    };
    for (const auto& c : channels) {
        SCOPED_TRACE(c.channel);
        CRecord* root = CRecord::New(CRecordSchema::Find(kFamKvt, c.kind));
        ASSERT_NE(root, nullptr);
        u32 named = 0;
        // No two settings alike: the user must tell them apart in one list.
        std::map<std::string, std::string> pathOf;
        // Every stored field below the root, items of lists at their first place.
        std::function<void(const CRecordSchema*, const std::string&, std::vector<std::string>)>
            walk = [&](const CRecordSchema* schema, const std::string& at,
                       std::vector<std::string> tags) {
                if (!schema || tags.size() > 8) return;
                for (u32 f = 0; f < schema->Count(); ++f) {
                    const RecFieldDesc& d = schema->Field(f);
                    if (!d.IsTagged() || d.IsTransient()) continue;
                    LString code;
                    OSTypeToString(&code, d.tag);
                    const std::string path = at + "/" + code.CStr();
                    tags.push_back(code.CStr());
                    const std::string name = SettingName(root, LString(path.c_str())).CStr();
                    EXPECT_FALSE(name.empty()) << path;
                    // Inside a setting named whole, every value is a part of it alike;
                    // a child that only holds its list is that list.
                    const bool part = name.find(" (in part)") != std::string::npos;
                    const auto [same, fresh] = pathOf.emplace(name, path);
                    const bool onlyList =
                        path.rfind(same->second + "/", 0) == 0 && schema->Count() == 1;
                    EXPECT_TRUE(fresh || part || onlyList)
                        << path << " and " << same->second << " both " << name;
                    for (const std::string& tag : tags)
                        EXPECT_FALSE(hasWord(name, tag)) << path << " named " << name;
                    ++named;
                    const CRecordSchema* below =
                        d.type == kRecList || d.type == kRecChild
                            ? CRecordSchema::Find(d.def.rec.family, d.def.rec.kind)
                            : nullptr;
                    walk(below, d.type == kRecList ? path + "/0" : path, tags);
                    tags.pop_back();
                }
            };
        walk(root->Schema(), "", {});
        EXPECT_GT(named, 20u);
        CRecord::Destroy(root);
    }

    CRecord* seqs = NewSeqSettingsRecord();
    AddSequence(seqs, 1);
    AddSequence(seqs, 2);
    CRecord* seq = seqs->GetListItem(SqstF::sqcs, 0);
    seq->SetString(nullptr, SqncF::sqnm, LString("Intro"));
    seq->GetListItem(SqncF::scns, 0)->SetString(nullptr, ScenF::snnm, LString("Blue"));
    CRecord* aux = CRecord::New(CRecordSchema::Find(kFamKvt, kKindAply));
    aux->SetString(nullptr, AplyF::name, LString("Doors"));
    seqs->GetChild(SqstF::axps)->InsertItem(nullptr, AplsF::plys, 0, aux);
    CRecord* schedule = seqs->GetChild(SqstF::schd);
    InsertNewScheduleEvent(schedule, nullptr, 0);
    schedule->GetListItem(SchdF::flts, 0)->SetString(nullptr, ScevF::name, LString("Evening"));
    CRecord* nsq = seqs->GetChild(SqstF::nsqs);
    NSqSetNewSeq(nsq, nullptr, 0);
    CRecord* show = nsq->GetListItem(SsetF::seqs, 0);
    show->SetString(nullptr, SseqF::name, LString("Show B"));
    while (show->GetListCount(SseqF::trks) < 2)
        NSqSeqAddTrack(show, nullptr, show->GetListCount(SseqF::trks));
    NSqTrkAddScene(show->GetListItem(SseqF::trks, 0), nullptr, 0, kKindPdmx);
    // Children whose kind the record chooses (a scene's settings, an event's
    // execution) are named by the record at hand, each value apart.
    CRecord* second = show->GetListItem(SseqF::trks, 1);
    std::vector<std::pair<const CRecord*, std::string>> chosen{
        {schedule->GetListItem(SchdF::flts, 0)->GetChild(ScevF::axud), "/schd/flts/0/axud"}};
    const u32 kinds[] = {kKindPseq, kKindPdmx, kKindPaud, kKindPvid};
    for (u32 k = 0; k < 4; ++k) {
        NSqTrkAddScene(second, nullptr, k * 1000, kinds[k]);
        chosen.emplace_back(second->GetListItem(StrkF::scns, k)->GetChild(SscnF::prms),
                            "/nsqs/seqs/0/trks/1/scns/" + std::to_string(k) + "/prms");
    }
    for (const auto& [record, at] : chosen) {
        ASSERT_NE(record, nullptr) << at;
        std::set<std::string> names;
        for (u32 f = 0; f < record->Schema()->Count(); ++f) {
            LString code;
            OSTypeToString(&code, record->Schema()->Field(f).tag);
            const std::string path = at + "/" + code.CStr();
            const std::string name = SettingName(seqs, LString(path.c_str())).CStr();
            EXPECT_FALSE(hasWord(name, code.CStr())) << path << " named " << name;
            EXPECT_TRUE(names.insert(name).second) << path << " named " << name;
        }
    }
    CRecord* plays = NewPlaySetRecord();
    CRecord* settings = CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvst));
    const struct {
        CRecord* root;
        const char* path;
        const char* name;
    } rows[] = {
        {seqs, "/sqcs/0/scns/0/ctdr/fdtm", "Sequence 'Intro', Scene 'Blue': Fade"},
        {seqs, "/sqcs/1/scns/0/ctdr/volm", "Sequence 2, Scene 1: Level"},
        {seqs, "/sqcs/0/auss/0/ctau/volm", "Sequence 'Intro', Audio scene 1, Audio: Volume"},
        {seqs, "/sqcs/0/scns/0/ctau/flnm", "Sequence 'Intro', Scene 'Blue', Audio: File"},
        {seqs, "/sqcs/5/sqnm", "Sequence 6: Name"},  // gone meanwhile
        {seqs, "/sqcs", "Sequences"},
        {seqs, "/nsqs/seqs", "NSQ sequences"},
        {seqs, "/sqcs/0/scns", "Sequence 'Intro': Scenes"},
        {seqs, "/axps/plys/0/name", "Aux play 'Doors': Name"},
        {seqs, "/axps/plys/0/trgs/0/sntg/tgmd", "Aux play 'Doors', Trigger 1: Kind"},
        {seqs, "/axps/plys/0/trgs/0/sntg", "Aux play 'Doors', Trigger 1: Trigger source"},
        {seqs, "/axps/plys/0/trgs/0/sntg/mdnt", "Aux play 'Doors', Trigger 1: Note"},
        {seqs, "/schd/flts/2/fcpd", "Schedule, Event 3: Day"},
        {seqs, "/schd/flts/0/fcph", "Schedule, Event 'Evening': Hour"},
        {seqs, "/schd/flts/0/axud/tmdr", "Schedule, Event 'Evening': Duration"},
        {seqs, "/schd/flts/0/prds/1/endp", "Schedule, Event 'Evening', Period 2: End"},
        {seqs, "/schd/flts/0", "Schedule: Event 'Evening'"},
        {seqs, "/sntg/mdch", "Scene Triggers: MIDI channel"},
        {seqs, "/nsqs/seqs/0/trks/1/scns/0/time", "NSQ sequence 'Show B', Track 2, Scene 1: Time"},
        {seqs, "/nsqs/seqs/0/trks/0/scns/0/prms/fdtm",
         "NSQ sequence 'Show B', Track 1, Scene 1: Fade"},
        {seqs, "/nsqs/seqs/0/trks/0/scns/0/prms/rate",
         "NSQ sequence 'Show B', Track 1, Scene 1: Speed"},
        {seqs, "/nsqs/seqs/0/trks/0/scns/0/prms",
         "NSQ sequence 'Show B', Track 1, Scene 1: Settings"},
        {plays, "/uifs/panl/pans/0/plac", "Screen layout (in part)"},
        {plays, "/uifs", "Screen layout"},
        {plays, "/rows/1/cels/2/bttl", "Button row 2, Button 3: Title"},
        {plays, "/plat/staf", "Auto Play: Start delay"},
        {settings, "/prmc/ccst", "Count-Down"},
        {settings, "/prmc/sndv/prms/0/valu", "Audio Format (in part)"},
        {settings, "/uvas/uvas", "Universes"},
        {settings, "/uvas/uvas/1/univ", "Universe 2: Universe"},
        {settings, "/prpc/chmf", "Master Fader: Channel"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(std::string(SettingName(row.root, LString(row.path)).CStr()), row.name);
    for (CRecord* r : {seqs, plays, settings}) CRecord::Destroy(r);
}

TEST_F(PlayFiles, FormatChangeGoesOutOnlyAfterTheFiles) {
    Open();
    PlayHooks().seqFormat = playtest::StubFormat;
    LMenuBar bar(nullptr, "PLAYW");
    CRecord* seq = edit->SeqSettings();
    seq->SetU8(nullptr, SqstF::sqfm, 1);
    AddSequence(seq, 41);
    ASSERT_TRUE(Idle());
    // A failed write: the conversion goes again and the dialog comes back.
    fSim.Cmd("fault error code=2 dir=in opcode=WRQ path=/sdc/playersetting count=1");
    fSim.Cmd("log clear");
    playtest::gAnswers.nsq = {true};
    Choose(bar, edit.get(), "cSeqFmt");
    EXPECT_EQ(playtest::gAnswers.formatAsked, 2);
    EXPECT_EQ(seq->GetChild(SqstF::nsqs)->GetListCount(SsetF::seqs), 0u);
    EXPECT_EQ(seq->GetU8(SqstF::sqfm), 1);
    EXPECT_FALSE(root.Heard(CKvsPlayEdit_FmtChg));
    ASSERT_TRUE(Idle());
    for (const std::string& l : LogOf("chan")) EXPECT_EQ(l.find("/sqfm"), std::string::npos) << l;

    fSim.Cmd("log clear");
    playtest::gAnswers.nsq = {true};
    Choose(bar, edit.get(), "cSeqFmt");
    EXPECT_TRUE(root.Heard(CKvsPlayEdit_FmtChg));
    EXPECT_EQ(seq->GetU8(SqstF::sqfm), 2);
    EXPECT_FALSE(edit->SeqDoc().IsModified());
    ASSERT_TRUE(Idle());
    // The files carry the new format and the converted sequence ...
    CRecord* card = CardFile("sequencesetting");
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->GetU8(SqstF::sqfm), 2);
    EXPECT_EQ(card->GetChild(SqstF::nsqs)->GetListCount(SsetF::seqs), 1u);
    CRecord::Destroy(card);
    // ... and the channel's one write of the format follows them.
    std::vector<std::string> order;
    for (const std::string& l : fSim.Log()) {
        if (l.rfind("chan ", 0) == 0 && Field(l, "path") == "/.cmd/udseqset/sqfm")
            order.push_back("sqfm=" + Field(l, "value"));
        if (l.rfind("req ", 0) == 0 && Field(l, "path") == "/sdc/sequencesetting" &&
            Field(l, "op") == "WRQ" && Field(l, "x") != "0")
            order.push_back("file");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"file", "sqfm=2"}));
}

// DATA 5 after DATA 6 and ACK 5 before ACK 6: the device drops the early block
// yet acknowledges it, so the transfer looks whole while the card never gets the
// file. Only the file read back tells.
TEST_F(PlayFiles, ASettingFileTheCardDoesNotHoldFailsTheWrite) {
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecordDoc playDoc(NewPlaySetRecord());
    // Both files some dozens of blocks long.
    for (u32 i = 0; i < 300; ++i) AddSequence(seqDoc.Root(), i + 1);
    CRecord* play = playDoc.Root();
    play->SetU32(nullptr, PlysF::btrs, 16);
    play->SetU32(nullptr, PlysF::btcs, 16);
    for (u32 r = 0; r < 16; ++r)
        for (u32 c = 0; c < 16; ++c)
            PlaySetGetOrAddCell(play, nullptr, c, r)
                ->SetString(nullptr, PlclF::bttl,
                            LString(("Button number " + std::to_string(r * 16 + c)).c_str()));
    AddDevice(kSerial, 1);
    ChanLoad("/.cmd/udseqset", seqDoc.Root());
    ChanLoad("/.cmd/udplayset", play);
    Open();
    // The device gives up on a file it never completed within the test.
    fSim.Cmd("set serno=305 idle=1500");
    const std::vector<std::string> play2 = {"WRQ /sdc/playersetting", "RRQ /sdc/playersetting"};
    const std::vector<std::string> seq2 = {"WRQ /sdc/sequencesetting", "RRQ /sdc/sequencesetting"};
    const struct {
        const char* what;
        u32 skip;  // block 5 of the uploads before the one crossed
        std::vector<std::string> requests;
    } cases[] = {
        {"play settings crossed", 0, play2},
        {"sequence settings crossed", 1, {play2[0], play2[1], seq2[0], seq2[1]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Modify();
        root.texts.clear();
        for (const char* rule : {"fault reorder dir=in opcode=DATA block=5 count=1 skip=",
                                 "fault reorder dir=out opcode=ACK block=6 count=1 skip="})
            ASSERT_EQ(fSim.Cmd(rule + std::to_string(c.skip)).rfind("ok", 0), 0u);
        EXPECT_FALSE(edit->SendPlayData(true, false));
        EXPECT_EQ(Requests(), c.requests);
        // Kept for the next send, and said so.
        EXPECT_TRUE(edit->SeqDoc().IsModified());
        EXPECT_TRUE(edit->PlayDoc().IsModified());
        ASSERT_EQ(root.texts.size(), 1u);
        EXPECT_EQ(root.texts[0], StdDialogText("KVSPLAYEDIT", 2).CStr());
        u32 fired = 0;
        std::vector<std::string> rules;
        fSim.Cmd("faults", &rules);
        for (const std::string& l : rules) fired += Field(l, "fired") == "1";
        EXPECT_EQ(fired, 2u) << "both blocks and both acknowledgements crossed";
        fSim.Cmd("fault-clear");
        ASSERT_TRUE(fSim.WaitIdle(10000));
    }
    // Whole again: both files on the card as sent.
    fSim.Cmd("log clear");
    EXPECT_TRUE(edit->SendPlayData(true, false));
    EXPECT_EQ(Requests(), (std::vector<std::string>{play2[0], play2[1], seq2[0], seq2[1],
                                                    "RRQ /.cmd/fsflush"}));
    EXPECT_FALSE(edit->PlayDoc().IsModified());
    CRecord* card = CardFile("sequencesetting");
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->GetListCount(SqstF::sqcs), 300u);
    CRecord::Destroy(card);
}

// Real-time figures; meaningful in a Release build.
TEST_F(PlayFiles, LargeShowWrittenAndImported) {
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecordDoc playDoc(NewPlaySetRecord());
    CRecord* seq = seqDoc.Root();
    CRecord* play = playDoc.Root();
    for (u32 i = 0; i < 1000; ++i) {
        CRecord* sq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
        sq->SetU32(nullptr, SqncF::sqid, i + 1);
        sq->SetString(nullptr, SqncF::sqnm, LString(("Sequence " + std::to_string(i)).c_str()));
        for (u32 n = 0; n < 20; ++n) {
            CRecord* scene = NewSceneRecord();
            scene->SetI32(nullptr, ScenF::sntm, i32(n * 1000));
            scene->GetChild(ScenF::ctdr)
                ->SetString(nullptr, SnctF::flnm,
                            LString(("rec" + std::to_string(n) + ".drc").c_str()));
            sq->InsertItem(nullptr, SqncF::scns, n, scene);
        }
        seq->InsertItem(nullptr, SqstF::sqcs, i, sq);
    }
    play->SetU32(nullptr, PlysF::btrs, 8);
    play->SetU32(nullptr, PlysF::btcs, 8);
    for (u32 r = 0; r < 8; ++r)
        for (u32 c = 0; c < 8; ++c) {
            CRecord* cell = PlaySetGetOrAddCell(play, nullptr, c, r);
            cell->SetU32(nullptr, PlclF::sqid, r * 8 + c + 1);
            cell->SetString(nullptr, PlclF::bttl,
                            LString(("Button " + std::to_string(r * 8 + c)).c_str()));
        }
    AddDevice(kSerial, 1);
    ChanLoad("/.cmd/udseqset", seq);
    ChanLoad("/.cmd/udplayset", play);
    Open();
    ASSERT_EQ(edit->SeqSettings()->GetListCount(SqstF::sqcs), 1000u);
    using Clock = std::chrono::steady_clock;
    const auto ms = [](auto d) {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    auto t = Clock::now();
    ASSERT_TRUE(edit->SendPlayData(true, true));
    const int write = ms(Clock::now() - t);
    CRecord* card = CardFile("sequencesetting");
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->GetListCount(SqstF::sqcs), 1000u);
    CRecord::Destroy(card);
    ASSERT_TRUE(edit->WritePlayFile(LString(Url("large.kvplay").c_str())));
    playtest::FakePanels panels;
    ctl2 = std::make_unique<CKvsDevCtl>(&root, &fSet, 0);
    CKvsPlayCmd other(&root, &owner, ctl2.get());
    t = Clock::now();
    ASSERT_TRUE(other.LoadPlayData(LString(Url("large.kvplay").c_str())));
    const int import = ms(Clock::now() - t);
    EXPECT_EQ(other.SeqSettings()->GetListCount(SqstF::sqcs), 1000u);
    EXPECT_EQ(other.PlaySettings()->GetListCount(PlysF::rows), 8u);
    std::printf(
        "large show: both files written in %d ms (1000 of them the flush pause), "
        "play file imported in %d ms\n",
        write, import);
}

// An import takes a whole play file only; anything else leaves the show as it was
// and a message says why.
TEST_F(PlayFiles, ImportTakesOnlyAWholePlayFile) {
    playtest::FakePanels panels;
    ctl2 = std::make_unique<CKvsDevCtl>(&root, &fSet, 0);
    CKvsPlayCmd source(&root, &owner, ctl2.get());
    source.SeqSettings()->SetU32(nullptr, SqstF::tgmk, 77);
    AddSequence(source.SeqSettings(), 9);
    source.PlaySettings()->SetU32(nullptr, PlysF::pwdw, 1234);
    ASSERT_TRUE(source.WritePlayFile(LString(Url("show.kvplay").c_str())));
    const std::string good = playtest::ReadFile(fDir.Path() + "/show.kvplay");
    ASSERT_GT(good.size(), 100u);

    CKvsPlayCmd target(&root, &owner, ctl2.get());
    target.SeqSettings()->SetU32(nullptr, SqstF::tgmk, 5);
    const auto show = [&] {
        std::string out;
        for (CRecord* r : {target.SeqSettings(), target.PlaySettings()}) {
            LDataBuf buffer;
            CMemStrm strm(buffer);
            PropRecord::Write(&strm, r);
            out.append(reinterpret_cast<const char*>(buffer.Data()), size_t(strm.Position()));
        }
        return out;
    };
    const std::string before = show();
    auto flip = [&](size_t at, u8 bits) {
        std::string b = good;
        b[at] = char(u8(b[at]) ^ bits);
        return b;
    };
    std::string single;
    {
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, source.SeqSettings());
        single.assign(reinterpret_cast<const char*>(buffer.Data()), size_t(strm.Position()));
    }
    CRecordDoc scenes(NewSceneRecord());
    playtest::WriteChunks(fDir.Path() + "/scenes", FourCC("YNST"), FourCC("SCSN"), {scenes.Root()});
    const struct {
        const char* what;
        std::string bytes;
        u32 item;
    } cases[] = {
        {"empty", "", CKvsPlayCmd::kImportNotPlayFile},
        {"7 bytes", good.substr(0, 7), CKvsPlayCmd::kImportNotPlayFile},
        {"10 bytes", good.substr(0, 10), CKvsPlayCmd::kImportCutOff},
        {"the header alone", good.substr(0, 12), CKvsPlayCmd::kImportCutOff},
        {"header and one chunk header", good.substr(0, 24), CKvsPlayCmd::kImportCutOff},
        {"half", good.substr(0, good.size() / 2), CKvsPlayCmd::kImportCutOff},
        {"the last byte missing", good.substr(0, good.size() - 1), CKvsPlayCmd::kImportCutOff},
        {"a byte more", good + "x", CKvsPlayCmd::kImportNotPlayFile},
        {"outer length flipped", flip(6, 0x40), CKvsPlayCmd::kImportCutOff},
        {"first record's family flipped", flip(12, 0x01), CKvsPlayCmd::kImportNotPlayFile},
        {"first record's length flipped", flip(19, 0x04), CKvsPlayCmd::kImportNotPlayFile},
        {"first record's kind flipped", flip(20, 0x20), CKvsPlayCmd::kImportNotPlayFile},
        {"first sub-chunk's tag flipped", flip(24, 0x02), CKvsPlayCmd::kImportNotPlayFile},
        {"a picture", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
         CKvsPlayCmd::kImportNotPlayFile},
        {"a text", "[General]\nprefs=1\n", CKvsPlayCmd::kImportNotPlayFile},
        {"a setting file", single, CKvsPlayCmd::kImportNotPlayFile},
        {"scenes", playtest::ReadFile(fDir.Path() + "/scenes"), CKvsPlayCmd::kImportNoSettings},
    };
    for (const auto& c : cases) {
        playtest::WriteFile(fDir.Path() + "/bad.kvplay", c.bytes);
        root.texts.clear();
        panels.answers = {Url("bad.kvplay")};
        target.ImportPlayFile();
        EXPECT_EQ(show(), before) << c.what;
        ASSERT_EQ(root.texts.size(), 1u) << c.what;
        EXPECT_EQ(root.texts[0], StdDialogText("KVSPLAYEDIT", c.item).CStr()) << c.what;
        // Opened on its own, it leaves no editor whose Save could write over it.
        root.texts.clear();
        auto opened = std::make_unique<CKvsDevCtl>(&root, &fSet, 0);
        EXPECT_FALSE(opened->OpenFile(LString(Url("bad.kvplay").c_str()))) << c.what;
        EXPECT_EQ(root.texts.size(), 1u) << c.what;
        EXPECT_FALSE(opened->WindowShown()) << c.what;
        EXPECT_EQ(opened->Screen()->PlayView(), nullptr) << c.what;
        EXPECT_EQ(playtest::ReadFile(fDir.Path() + "/bad.kvplay"), c.bytes) << c.what;
    }
    // A file that cannot be read.
    ASSERT_EQ(mkdir((fDir.Path() + "/folder.kvplay").c_str(), 0700), 0);
    root.texts.clear();
    panels.answers = {Url("folder.kvplay")};
    target.ImportPlayFile();
    EXPECT_EQ(show(), before);
    ASSERT_EQ(root.texts.size(), 1u);
    EXPECT_EQ(root.texts[0], StdDialogText("KVSPLAYEDIT", CKvsPlayCmd::kImportUnreadable).CStr());

    // Opening a damaged file (the Open command, a file handed to the program) says
    // so too, instead of showing an empty show under its name.
    root.texts.clear();
    playtest::WriteFile(fDir.Path() + "/bad.kvplay", good.substr(0, good.size() / 2));
    ctl = std::make_unique<CKvsDevCtl>(&root, &fSet, 0);
    ctl->OpenFile(LString(Url("bad.kvplay").c_str()));
    ASSERT_EQ(root.texts.size(), 1u);
    EXPECT_EQ(root.texts[0], StdDialogText("KVSPLAYEDIT", CKvsPlayCmd::kImportCutOff).CStr());

    // Whole files are taken, under any outer tag.
    for (const char* tag : {"YKVS", "ZZZZ"}) {
        std::string bytes = good;
        bytes.replace(0, 4, tag);
        playtest::WriteFile(fDir.Path() + "/other.kvplay", bytes);
        target.SeqSettings()->SetU32(nullptr, SqstF::tgmk, 5);
        root.texts.clear();
        panels.answers = {Url("other.kvplay")};
        target.ImportPlayFile();
        EXPECT_TRUE(root.texts.empty()) << tag;
        EXPECT_EQ(target.SeqSettings()->GetU32(SqstF::tgmk), 77u) << tag;
        EXPECT_EQ(target.PlaySettings()->GetU32(PlysF::pwdw), 1234u) << tag;
    }
}

// However large the show, an import sends the device the same writes, in kind
// and order, as a small one does; the device then holds the file's show, and
// so does the card once the setting files are written.
TEST_F(PlayFiles, AnImportSendsWhatASmallOneSends) {
    Open();
    const auto bytesOf = [](const CRecord* r) {
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, r);
        return std::string(reinterpret_cast<const char*>(buffer.Data()), size_t(strm.Position()));
    };
    // Sequences of named scenes, schedule events and aux-play triggers.
    const auto writeShow = [&](const std::string& name, u32 sequences, u32 scenes) {
        CRecordDoc seq(NewSeqSettingsRecord()), play(NewPlaySetRecord());
        CRecord* settings = seq.Root();
        settings->SetU32(nullptr, SqstF::tgmk, 3);
        for (u32 i = 0; i < sequences; ++i) {
            InsertNewSequence(settings, nullptr, i);
            CRecord* sq = settings->GetListItem(SqstF::sqcs, i);
            for (u32 j = 0; j < scenes; ++j) {
                InsertSceneUnique(sq, nullptr, SqncF::scns, j, nullptr);
                sq->GetListItem(SqncF::scns, j)
                    ->SetString(
                        nullptr, ScenF::snnm,
                        LString(("Cue " + std::to_string(i) + "." + std::to_string(j)).c_str()));
            }
        }
        for (u32 e = 0; e < sequences / 2 + 1; ++e)
            InsertNewScheduleEvent(settings->GetChild(SqstF::schd), nullptr, e);
        CRecord* aux = settings->GetChild(SqstF::axps);
        CRecord* auxPlay = aux->GetListItem(AplsF::plys, AddAuxPlay(aux, nullptr));
        for (u32 t = 0; t < sequences / 4 + 1; ++t)
            AuxTriggerSetModeAndValue(
                auxPlay->GetListItem(AplyF::trgs, AddAuxTrigger(auxPlay, nullptr)), nullptr, 1, t);
        play.Root()->SetU32(nullptr, PlysF::pwdw, 1234);
        playtest::WriteChunks(fDir.Path() + "/" + name, FourCC("YKVS"), FourCC("DPLS"),
                              {settings, play.Root()});
        return bytesOf(settings);
    };
    writeShow("before.kvplay", 3, 2);
    const struct {
        const char* what;
        u32 sequences, scenes;
    } sizes[] = {{"5 x 5", 5, 5}, {"60 x 20", 60, 20}};
    std::vector<std::string> small;
    for (const auto& c : sizes) {
        // Each import replaces the same show.
        ASSERT_TRUE(edit->LoadPlayData(LString(Url("before.kvplay").c_str()))) << c.what;
        ASSERT_TRUE(Idle()) << c.what;
        const std::string file = writeShow("show.kvplay", c.sequences, c.scenes);
        fSim.Cmd("log clear");
        ASSERT_TRUE(edit->LoadPlayData(LString(Url("show.kvplay").c_str()))) << c.what;
        ASSERT_TRUE(Idle()) << c.what;
        std::vector<std::string> writes;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write")
                writes.push_back(Field(l, "path") + (Field(l, "ok") == "1" ? "" : " refused"));
        ASSERT_FALSE(writes.empty()) << c.what;
        if (small.empty()) small = writes;
        EXPECT_EQ(writes, small) << c.what;
        EXPECT_EQ(bytesOf(edit->SeqSettings()), file) << c.what;
        CKvsPlayCmd device(&root, &owner, ctl.get());
        ASSERT_NO_FATAL_FAILURE(LoadEdit(device));
        EXPECT_EQ(bytesOf(device.SeqSettings()), file) << c.what;
        ASSERT_TRUE(edit->SendPlayData(true, true)) << c.what;
        EXPECT_EQ(playtest::ReadFile(fDir.Path() + "/" + std::to_string(kSerial) +
                                     "/sdc/sequencesetting"),
                  file)
            << c.what;
    }
}

std::string SelfExe() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

// Exports a show of 200 sequences to $KV_EXPORT over and over, marking each for the
// killer; or, with KV_FULL set, once onto a full disk, checking what is left.
TEST_F(PlayFiles, ExportChild) {
    const char* target = getenv("KV_EXPORT");
    if (!target) GTEST_SKIP() << "run by the kill and full-disk tests";
    ctl2 = std::make_unique<CKvsDevCtl>(&root, &fSet, 0);
    CKvsPlayCmd source(&root, &owner, ctl2.get());
    for (u32 i = 0; i < 200; ++i) AddSequence(source.SeqSettings(), i + 1);
    LString url;
    PosixPathToFileUrl(&url, LString(target));
    if (!getenv("KV_FULL")) {
        for (;;) {
            testkit::MarkSave('b');
            source.WritePlayFile(url);
            testkit::MarkSave('e');
        }
    }
    const std::string folder = std::filesystem::path(target).parent_path();
    const std::string old = playtest::ReadFile(target);
    ASSERT_TRUE(testkit::FillDisk(folder, "filler"));
    EXPECT_FALSE(source.WritePlayFile(url));
    ASSERT_EQ(root.texts.size(), 1u);
    EXPECT_EQ(root.texts[0], StdDialogText("KVSPLAYEDIT", 3).CStr());
    EXPECT_EQ(playtest::ReadFile(target), old);
    std::vector<std::string> names = playtest::ListDir(folder);
    std::sort(names.begin(), names.end());
    const std::vector<std::string> want = old.empty()
                                              ? std::vector<std::string>{"filler"}
                                              : std::vector<std::string>{"filler", "show.kvplay"};
    EXPECT_EQ(names, want);
}

// Exports killed at random moments, to new and existing files: the file is the old
// or the new one, whole, or absent, and nothing a user sees is left beside it.
TEST(ExportSafety, KilledExportsLeaveTheOldOrTheNewFile) {
    testtftp::TempDir dir;
    const std::string local = dir.Path() + "/local", runs = dir.Path() + "/runs";
    const std::string target = local + "/show.kvplay";
    std::mt19937 rng(5108);
    std::string fresh;
    u32 rounds = 0, midSave = 0, hidden = 0;
    for (const bool existing : {false, true}) {
        for (u32 i = 0; i < 5; ++i) {
            std::filesystem::remove_all(local);
            std::filesystem::remove_all(runs);
            std::filesystem::create_directories(local);
            std::filesystem::create_directories(runs);
            if (existing) playtest::WriteFile(target, "old");
            const testkit::KillResult k = testkit::KillDuringSavesExec(
                {SelfExe(), "--gtest_filter=PlayFiles.ExportChild"},
                {"KV_EXPORT=" + target, "TMPDIR=" + runs}, 100000, 20000, rng);
            ASSERT_TRUE(k.started);
            ++rounds;
            midSave += k.midSave;
            const std::string got = playtest::ReadFile(target);
            if (k.completed > 0 && fresh.empty()) fresh = got;
            // A whole export: the container's declared length is the file's.
            CChunkFile file;
            const bool whole =
                got.size() > 12 && file.OpenRead(got.data(), u32(got.size())) && file.IsWhole();
            const bool absent = !std::filesystem::exists(target);
            EXPECT_TRUE(whole || (existing ? got == "old" : absent))
                << "cut off: " << got.size() << " bytes";
            EXPECT_TRUE(!whole || fresh.empty() || got == fresh);
            for (const std::string& n : playtest::ListDir(local)) {
                EXPECT_TRUE(n == "show.kvplay" || n[0] == '.') << n;
                hidden += n[0] == '.';
            }
            LString url;
            PosixPathToFileUrl(&url, LString(local.c_str()));
            RemoveDeadTemporaries(url);
            EXPECT_EQ(playtest::ListDir(local).size(), absent ? 0u : 1u);
        }
    }
    std::printf("%u killed exports, %u inside an export, %u hidden leftovers swept\n", rounds,
                midSave, hidden);
}

// A full disk (a small tmpfs in a mount namespace of the test's own): the export
// says it failed, the old file stays, nothing partial is left.
TEST(ExportSafety, FullDiskKeepsTheOldFile) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a mount namespace";
    testtftp::TempDir dir;
    const std::string local = dir.Path() + "/local";
    for (const bool existing : {false, true}) {
        std::filesystem::create_directories(local);
        const std::string cmd =
            "unshare -m --propagation private sh -c 'mount -t tmpfs -o size=96k kvsmall " + local +
            (existing ? " && echo old >" + local + "/show.kvplay" : std::string()) +
            " && TMPDIR=" + dir.Path() + " KV_EXPORT=" + local + "/show.kvplay KV_FULL=1 exec " +
            SelfExe() + " --gtest_filter=PlayFiles.ExportChild' >/dev/null 2>&1";
        EXPECT_EQ(system(cmd.c_str()), 0) << (existing ? "existing" : "new") << " file";
    }
}

TEST_F(PlayFiles, FileListsForTheCopyToUsbStorage) {
    Open();
    DeviceHooks().runCopyToUms = playtest::StubCopy;
    root.pressButtons = false;  // this dialog's button is there from the start
    // Both lists, recordings first; then the setting files go first in the copy.
    edit->CopyShowToUms();
    EXPECT_EQ(Requests("/.cmd/fmls"),
              (std::vector<std::string>{"RRQ /.cmd/fmls///sdc/kevrecfiles",
                                        "RRQ /.cmd/fmls///sdc/audiofiles"}));
    EXPECT_EQ(playtest::gCopied, (std::vector<std::string>{"sequencesetting", "playersetting"}));
    // The recordings the show plays follow them; one the card lacks is only confirmed.
    playtest::gCopied.clear();
    const std::string recordings = fDir.Path() + "/" + std::to_string(kSerial) + "/sdc/kevrecfiles";
    std::filesystem::create_directories(recordings);
    std::ofstream(recordings + "/a.drc").put('x');
    CRecord* seq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
    for (const char* clip : {"a.drc", "gone.drc"}) {
        CRecord* scene = NewSceneRecord();
        CRecord* ctdr = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSnct));
        ctdr->SetString(nullptr, SnctF::flnm, LString(clip));
        if (CRecord* old = scene->ReplaceChild(nullptr, ScenF::ctdr, ctdr)) CRecord::Destroy(old);
        seq->InsertItem(nullptr, SqncF::scns, seq->GetListCount(SqncF::scns), scene);
    }
    edit->SeqSettings()->InsertItem(nullptr, SqstF::sqcs, 0, seq);
    static std::vector<std::string> missing;
    DeviceHooks().confirmFileOp = [](MPlayDevice&, LHandler*, const CShowMediaScan* scan) {
        for (u32 i = 0; scan && i < scan->Missing().Count(); ++i)
            missing.push_back(scan->Missing().At(i).CStr());
        return true;
    };
    edit->CopyShowToUms();
    EXPECT_EQ(playtest::gCopied,
              (std::vector<std::string>{"sequencesetting", "playersetting", "kevrecfiles/a.drc"}));
    EXPECT_EQ(missing, (std::vector<std::string>{"gone.drc"}));
    // A device that sends no list: item 5 after 10 s; the button gives up silently.
    fSim.Cmd("fault drop dir=in opcode=RRQ path=/.cmd/fmls///sdc/kevrecfiles");
    const u32 t0 = LTickMs();
    EXPECT_FALSE(edit->FetchFileLists());
    ExpectIdleLimitSince(t0);
    EXPECT_EQ(root.texts, (std::vector<std::string>{StdDialogText("KVSPLAYEDIT", 5).CStr()}));
    root.pressButtons = true;
    root.patienceMs = 0;
    EXPECT_FALSE(edit->FetchFileLists());
    EXPECT_EQ(root.texts.size(), 1u);
}

CKvsPlayCmd* gMadeBasic = nullptr;
CKvsPlayCmd* gMadeNsq = nullptr;

TEST_F(PlayFiles, OpeningReadsTheFormatAloneAndPicksTheView) {
    AddDevice(kSerial, 1);
    PlayViews().basic = [](LHandler* p, LPane* o, MPlayDevice* d) {
        return gMadeBasic = new CKvsPlayCmd(p, o, d);
    };
    PlayViews().nsq = [](LHandler* p, LPane* o, MPlayDevice* d) {
        return gMadeNsq = new CKvsPlayCmd(p, o, d);
    };
    // The device holds an NSQ show.
    CRecordDoc show(NewSeqSettingsRecord());
    show.Root()->SetU8(nullptr, SqstF::sqfm, 2);
    AddSequence(show.Root(), 77);
    ChanLoad("/.cmd/udseqset", show.Root());
    fSim.Cmd("chan-set serno=305 path=/.cmd/udkvtset/fnmd value=1");
    ctl = std::make_unique<CKvsDevCtl>(&root, &fSet, kSerial);
    ASSERT_TRUE(Run([&] { return !ctl->SettingsChannel().IsBusy(); }));
    fSim.Cmd("log clear");
    ctl->ShowWindow();
    ASSERT_TRUE(ctl->WindowShown());
    ASSERT_NE(gMadeNsq, nullptr);
    EXPECT_EQ(ctl->Screen()->PlayView(), gMadeNsq);
    EXPECT_EQ(gMadeNsq->SeqSettings()->GetListCount(SqstF::sqcs), 1u);
    std::vector<std::string> reads = Requests("/.cmd/udseqset");
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(reads[0], "RRQ /.cmd/udseqset/sqfm");
    EXPECT_EQ(reads[1], "RRQ /.cmd/udseqset/");
    // A play file of the other format brings its view, as a format change does;
    // the device hears the file's format last, once (the reset ahead of the
    // file's values may send the default first).
    playtest::FakePanels panels;
    LMenuBar bar(nullptr, "PLAYW");
    for (const u8 to : {kSeqFormatBasic, kSeqFormatNsq}) {
        CRecordDoc seq(NewSeqSettingsRecord()), play(NewPlaySetRecord());
        seq.Root()->SetU8(nullptr, SqstF::sqfm, to);
        AddSequence(seq.Root(), 40 + to);
        playtest::WriteChunks(fDir.Path() + "/other.kvplay", FourCC("YKVS"), FourCC("DPLS"),
                              {seq.Root(), play.Root()});
        CKvsPlayCmd* const old = ctl->Screen()->PlayView();
        CKvsPlayCmd*& made = to == kSeqFormatNsq ? gMadeNsq : gMadeBasic;
        made = nullptr;
        fSim.Cmd("log clear");
        panels.answers = {Url("other.kvplay")};
        Choose(bar, old, "cPlayImport");
        ASSERT_TRUE(Run([&] { return made && ctl->Screen()->PlayView() == made; })) << int(to);
        ASSERT_TRUE(Run([&] { return !made->SeqChannel()->IsBusy(); }));
        EXPECT_EQ(made->SeqSettings()->GetListItem(SqstF::sqcs, 0)->GetU32(SqncF::sqid), 40u + to);
        std::vector<std::string> formats;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write" && Field(l, "path") == "/.cmd/udseqset/sqfm")
                formats.push_back(Field(l, "value"));
        ASSERT_FALSE(formats.empty());
        EXPECT_EQ(formats.back(), std::to_string(to));
        EXPECT_EQ(std::count(formats.begin(), formats.end(), formats.back()), 1);
        // The view that gave way wrote nothing to the card: the file's show
        // stays pending there for the new view, whose close writes it.
        EXPECT_TRUE(Requests().empty());
        EXPECT_TRUE(made->SeqDoc().IsModified());
        EXPECT_TRUE(made->SendBeforeClose());
        CRecord* card = CardFile("sequencesetting");
        ASSERT_NE(card, nullptr);
        EXPECT_EQ(card->GetListItem(SqstF::sqcs, 0)->GetU32(SqncF::sqid), 40u + to);
        CRecord::Destroy(card);
    }
    // Closed and reopened on a basic show: the NSQ view gives way.
    LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
    ASSERT_FALSE(ctl->WindowShown());
    fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/sqfm value=0");
    ctl->ShowWindow();
    ASSERT_TRUE(ctl->WindowShown());
    EXPECT_EQ(ctl->Screen()->PlayView(), gMadeBasic);
    // A device that never tells its format: the window stays closed, item 2.
    LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
    fSim.Cmd("fault drop dir=in opcode=RRQ path=/.cmd/udseqset/sqfm");
    const u32 t0 = LTickMs();
    ctl->ShowWindow();
    EXPECT_FALSE(ctl->WindowShown());
    EXPECT_GE(LTickMs() - t0, CKvsPlayCmd::kIdleLimitMs);
    ASSERT_FALSE(root.texts.empty());
    EXPECT_EQ(root.texts.back(), StdDialogText("KVSDEVCTLR", 2).CStr());
    // Away as a file of the other format (NSQ, the last one written) is
    // imported: the message says that the device did not take the file's
    // settings, not that it sent none of its own.
    fSim.Cmd("fault-clear");
    ctl->ShowWindow();
    ASSERT_TRUE(ctl->WindowShown());
    fSim.Cmd("fault drop serno=305 dir=in");
    panels.answers = {Url("other.kvplay")};
    root.texts.clear();
    Choose(bar, ctl->Screen()->PlayView(), "cPlayImport");
    EXPECT_TRUE(Run([&] { return !ctl->WindowShown(); }, 120000));
    EXPECT_EQ(root.texts, (std::vector<std::string>{StdDialogText("KVSDEVCTLR", 4).CStr()}));
    fSim.Cmd("fault-clear");
}

// A control window closed before the device took a setting of its play view:
// the card's question answered Don't Save, the setting is named, and the
// user's choice holds: closed without it (the device, back, never hears it,
// and the view shows the device's value again), or closed once it is taken.
TEST_F(PlayFiles, AControlWindowClosedBeforeTheDeviceTookASetting) {
    AddDevice(kSerial, 1);
    fSim.Cmd("chan-set serno=305 path=/.cmd/udkvtset/fnmd value=1");
    ctl = std::make_unique<CKvsDevCtl>(&root, &fSet, kSerial);
    ASSERT_TRUE(Run([&] { return !ctl->SettingsChannel().IsBusy(); }));
    const struct {
        const char* what;
        bool popup;  // the view switched to the device's files, else the window closed
        bool wait;
        std::vector<std::string> heard;  // the device's writes of the setting
        u32 shown;                       // the view's value afterwards
    } rows[] = {
        {"closed without it", false, false, {}, 0},
        {"closed once it is taken", false, true, {"9"}, 9},
        // Last: the window then shows the files.
        {"the files shown without it", true, false, {}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/tgmk value=0");
        ctl->ShowWindow();
        ASSERT_TRUE(ctl->WindowShown());
        CKvsPlayCmd* view = ctl->Screen()->PlayView();
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(Run([&] { return !view->SeqChannel()->IsBusy(); }));
        fSim.Cmd("log clear");
        fSim.Cmd("fault drop serno=305 dir=in opcode=WRQ path=/.cmd/udseqset/tgmk");
        view->SeqSettings()->SetU32(view, SqstF::tgmk, 9);
        std::vector<std::string> asked;
        root.answer = [&](LDialog* d) {
            if (dynamic_cast<CSaveChangesDialog*>(d)) d->SetResult(3);
            auto* m = dynamic_cast<CSimpleMessageDialog*>(d);
            if (!m || m->Result() != 0) return;
            const std::string text = m->fMessage.GetText().CStr();
            if (text == StdDialogText("KVSPLAYEDIT", 2).CStr()) return;
            asked.push_back(text);
            if (row.wait) fSim.Cmd("fault-clear");
            m->SetResult(row.wait ? 1 : 2);
        };
        if (row.popup) {
            ctl->Screen()->Window().fView.Select(0);
            LHandler::Send(LPopupList_Changed, &ctl->Screen()->Window().fView, ctl->Screen());
            EXPECT_EQ(ctl->Screen()->PlayView(), nullptr);
        } else {
            LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
            EXPECT_FALSE(ctl->WindowShown());
        }
        root.answer = nullptr;
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_NE(asked[0].find("Device 305"), std::string::npos) << asked[0];
        EXPECT_NE(asked[0].find("close without them"), std::string::npos) << asked[0];
        fSim.Cmd("fault-clear");
        Run([] { return false; }, 10000);
        std::vector<std::string> heard;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write" && Field(l, "path") == "/.cmd/udseqset/tgmk")
                heard.push_back(Field(l, "value"));
        EXPECT_EQ(heard, row.heard);
        if (!row.popup) {
            EXPECT_EQ(view->SeqSettings()->GetU32(SqstF::tgmk), row.shown);
        }
    }
}

// An NSQ play file imported while the device is away: the reopening for the
// file's format fails and the window closes over the import, kept for the
// device. At the quit that hidden view is asked as a shown one is, and what
// reaches the card is what the user answered; the question about settings the
// device has not confirmed follows the device while it is up. The last row: a
// reopening whose load fails after the view gave way keeps the view that holds
// the import.
TEST_F(PlayFiles, AnImportKeptForTheDeviceReachesTheCardAsTheQuitIsAnswered) {
    AddDevice(kSerial, 1);
    enum Away { kBackBeforeQuit, kAwayAtQuit, kLoadFails };
    enum Reply : u32 { kSave = 1, kDontSave = 3 };
    const struct {
        const char* what;
        Away away;
        u32 reply;            // to the card's question, once the write failed
        bool backWhileAsked;  // the device back while the unsent question is up
        bool onCard;          // the file's show reached the card
        bool heard;           // the device took the file's format
    } rows[] = {
        {"back before the quit", kBackBeforeQuit, 0, false, true, true},
        {"away at the quit, Save once back", kAwayAtQuit, kSave, false, true, true},
        {"away at the quit, Don't Save, quit without them", kAwayAtQuit, kDontSave, false, false,
         false},
        {"away at the quit, Don't Save, back while asked", kAwayAtQuit, kDontSave, true, false,
         true},
        {"the reopening's load fails", kLoadFails, 0, false, true, true},
    };
    playtest::FakePanels panels;
    LMenuBar bar(nullptr, "PLAYW");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // A basic show on the device and its card; the file holds an NSQ one.
        CRecordDoc basic(NewSeqSettingsRecord());
        ChanLoad("/.cmd/udseqset", basic.Root());
        fSim.Cmd("chan-set serno=305 path=/.cmd/udkvtset/fnmd value=1");
        std::filesystem::remove(fDir.Path() + "/305/sdc/sequencesetting");
        CRecordDoc seq(NewSeqSettingsRecord()), play(NewPlaySetRecord());
        seq.Root()->SetU8(nullptr, SqstF::sqfm, kSeqFormatNsq);
        AddSequence(seq.Root(), 42);
        play.Root()->SetU32(nullptr, PlysF::pwdw, 3);
        playtest::WriteChunks(fDir.Path() + "/nsq.kvplay", FourCC("YKVS"), FourCC("DPLS"),
                              {seq.Root(), play.Root()});
        ctl = std::make_unique<CKvsDevCtl>(&root, &fSet, kSerial);
        ASSERT_TRUE(Run([&] { return !ctl->SettingsChannel().IsBusy(); }));
        ctl->ShowWindow();
        ASSERT_TRUE(ctl->WindowShown());
        root.texts.clear();
        fSim.Cmd(row.away == kLoadFails ? "fault drop dir=in opcode=RRQ path=/.cmd/udseqset/"
                                        : "fault drop serno=305 dir=in");
        panels.answers = {Url("nsq.kvplay")};
        Choose(bar, ctl->Screen()->PlayView(), "cPlayImport");
        ASSERT_TRUE(Run([&] { return !ctl->WindowShown(); }, 120000));
        EXPECT_EQ(root.texts,
                  (std::vector<std::string>{
                      StdDialogText("KVSDEVCTLR", row.away == kLoadFails ? 2 : 4).CStr()}));
        CKvsPlayCmd* view = ctl->Screen()->PlayView();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->SeqSettings()->GetListCount(SqstF::sqcs), 1u) << "the import is gone";
        EXPECT_TRUE(view->SeqDoc().IsModified());
        if (row.away != kAwayAtQuit) {
            fSim.Cmd("fault-clear");
            ASSERT_TRUE(
                Run([&] { return !view->SeqChannel()->IsBusy() && !view->PlayChannel()->IsBusy(); },
                    60000));
        }
        fSim.Cmd("log clear");
        root.texts.clear();
        std::vector<std::string> unsent;  // the unsent question's texts, as they changed
        u32 saves = 0;
        bool dropped = false;
        u32 askedAt = 0;
        root.answer = [&](LDialog* d) {
            if (dynamic_cast<CSaveChangesDialog*>(d)) {
                ++saves;
                if (row.reply == kSave) fSim.Cmd("fault-clear");
                d->SetResult(row.reply);
                return;
            }
            auto* m = dynamic_cast<CSimpleMessageDialog*>(d);
            if (!m || m->Result() != 0) return;
            const std::string text = m->fMessage.GetText().CStr();
            if (text.find("has not confirmed") == std::string::npos) return;
            if (unsent.empty() || unsent.back() != text) unsent.push_back(text);
            if (!row.backWhileAsked) {
                m->SetResult(2);
                return;
            }
            // Back for all but the last setting the play channel holds, then
            // for that one too; the question stays up meanwhile.
            if (!askedAt) askedAt = root.loop->NowMs();
            if (root.loop->NowMs() - askedAt > 60000) {
                ADD_FAILURE() << "the question stayed up: " << text;
                for (const LString& p : view->SeqChannel()->UnsentPaths())
                    ADD_FAILURE() << "seq " << p.CStr();
                for (const LString& p : view->PlayChannel()->UnsentPaths())
                    ADD_FAILURE() << "play " << p.CStr();
                m->SetResult(2);
                return;
            }
            root.keepUp = true;
            const std::vector<LString> seqLeft = view->SeqChannel()->UnsentPaths();
            const std::vector<LString> playLeft = view->PlayChannel()->UnsentPaths();
            if (!dropped) {
                // One setting kept from the device: the last in its channel's
                // line when it has several (the first would hold up the rest).
                dropped = true;
                fSim.Cmd("fault-clear");
                const bool seqKept = seqLeft.size() >= 2 || playLeft.empty();
                const std::vector<LString>& kept = seqKept ? seqLeft : playLeft;
                if (seqLeft.size() + playLeft.size() >= 2)
                    fSim.Cmd(std::string("fault drop serno=305 dir=in opcode=WRQ path=") +
                             (seqKept ? "/.cmd/udseqset" : "/.cmd/udplayset") + kept.back().CStr());
            } else if (seqLeft.size() + playLeft.size() <= 1 && unsent.size() > 1) {
                fSim.Cmd("fault-clear");
            }
        };
        const u32 t0 = LTickMs();
        EXPECT_TRUE(ctl->CanClose(true));
        root.answer = nullptr;
        EXPECT_LT(LTickMs() - t0, 60000u);
        EXPECT_EQ(saves, row.reply != 0 ? 1u : 0u);
        if (row.reply == kDontSave) {
            ASSERT_GE(unsent.size(), 1u);
            EXPECT_NE(unsent[0].find("Device 305"), std::string::npos) << unsent[0];
        } else {
            EXPECT_TRUE(unsent.empty()) << unsent[0];
        }
        if (row.backWhileAsked) {
            // The question named fewer settings as the device took them, one
            // at the last, and went by itself once none was left.
            ASSERT_GE(unsent.size(), 2u);
            EXPECT_GT(std::count(unsent[0].begin(), unsent[0].end(), '\n'),
                      std::count(unsent.back().begin(), unsent.back().end(), '\n'));
            EXPECT_TRUE(view->PlayChannel()->UnsentPaths().empty());
            EXPECT_FALSE(ctl->LeftWithoutDevice());
        }
        fSim.Cmd("fault-clear");
        Run([] { return false; }, 5000);
        CRecord* card = CardFile("sequencesetting");
        EXPECT_EQ(card && card->GetListCount(SqstF::sqcs) == 1 &&
                      card->GetListItem(SqstF::sqcs, 0)->GetU32(SqncF::sqid) == 42,
                  row.onCard);
        if (card) CRecord::Destroy(card);
        const std::string format = fSim.Cmd("chan-get serno=305 path=/.cmd/udseqset/sqfm");
        EXPECT_EQ(format.find("value=2") != std::string::npos, row.heard) << format;
        ctl.reset();
        fSim.Cmd("fault-clear");
    }
}

TEST_F(PlayFiles, StatusReadsWaitForTheEarlierOnes) {
    Open();
    fSim.Cmd("fault drop dir=in opcode=RRQ path=/.cmd/udseqstat/sqtm");
    fSim.Cmd("fault drop dir=in opcode=RRQ path=/.cmd/udseqstat/sqet");
    Run([] { return false; }, 30000);
    // Back again: only what was asked last is still to be answered.
    fSim.Cmd("fault-clear");
    fSim.Cmd("log clear");
    Run([] { return false; }, 1500);
    EXPECT_LE(Requests("/.cmd/udseqstat/sqtm").size(), 3u);
    EXPECT_GE(Requests("/.cmd/udseqstat/sqtm").size(), 1u);
}

TEST_F(PlayFiles, AFileOpensWithoutADeviceAndAsksBeforeClosing) {
    AddDevice(kSerial, 1);
    CRecordDoc seq(NewSeqSettingsRecord()), play(NewPlaySetRecord());
    seq.Root()->SetU8(nullptr, SqstF::sqfm, 2);
    seq.Root()->SetU32(nullptr, SqstF::tgmk, 77);
    playtest::WriteChunks(fDir.Path() + "/show.kvplay", FourCC("YKVS"), FourCC("DPLS"),
                          {seq.Root(), play.Root()});
    fSim.Cmd("log clear");
    ctl = std::make_unique<CKvsDevCtl>(&root, &fSet, 0);
    ctl->OpenFile(LString(Url("show.kvplay").c_str()));
    ASSERT_TRUE(ctl->WindowShown());
    CKvsPlayCmd* view = ctl->Screen()->PlayView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->AcceptsOwnFormat());
    EXPECT_EQ(view->SeqSettings()->GetU32(SqstF::tgmk), 77u);
    LMenuBar bar(nullptr, "PLAYW");
    EXPECT_NE(playtest::Enabled(bar, &ctl->Screen()->Window()).find("cPlayExport cPlayImport"),
              std::string::npos);
    Run([] { return false; }, 3000);
    EXPECT_TRUE(fSim.Log().empty() || LogOf("req").empty());
    LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
    EXPECT_FALSE(ctl->WindowShown());
    ctl->ShowWindow();
    ASSERT_TRUE(ctl->WindowShown());
    view = ctl->Screen()->PlayView();
    view->SeqSettings()->SetU32(view, SqstF::tgmk, 78);
    int asked = 0;
    root.answer = [&](LDialog* d) {
        if (dynamic_cast<CSaveChangesDialog*>(d)) ++asked, d->SetResult(asked < 3 ? 2 : 3);
    };
    // A Quit (or the device window's close) asks the controller: the same
    // question as the window's own close, and Cancel keeps it.
    EXPECT_FALSE(ctl->CanClose());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(ctl->WindowShown());
    LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
    EXPECT_TRUE(ctl->WindowShown());
    LHandler::Send(LFrame_Close, &ctl->Screen()->Window(), ctl->Screen());
    EXPECT_FALSE(ctl->WindowShown());
    EXPECT_EQ(asked, 3);
    root.answer = nullptr;
}

}  // namespace
