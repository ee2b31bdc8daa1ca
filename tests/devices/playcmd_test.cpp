// The play edit on the headless framework, without a device.
#include <sys/stat.h>

#include <memory>
#include <string>

#include "base/CForkStrm.h"
#include "base/Paths.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "framework/InputState.h"
#include "records/AppPrefsDoc.h"
#include "records/CChunkFile.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"
#include "records/DeviceKinds.h"
#include "records/NsqSets.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

using playtest::Choose;
using playtest::Enabled;

class PlayCmd : public ::testing::Test {
protected:
    void SetUp() override {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
        prefs = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(prefs.get());
        root.loop = &loop;
        playtest::EmptyHooks();
        owner.ShowWindow();
    }
    void TearDown() override {
        playtest::EmptyHooks();
        SetAppPrefsDoc(nullptr);
    }
    std::unique_ptr<CKvsPlayCmd> Edit(u32 serial) {
        ctl = std::make_unique<CKvsDevCtl>(&root, &set, serial);
        return std::make_unique<CKvsPlayCmd>(&root, &owner, ctl.get());
    }
    void Pass(u32 ms) {
        for (u32 t = 0; t < ms; t += 50) {
            loop.Advance(50);
            LTimer::FireDue(loop.NowMs(), nullptr, nullptr, true);
        }
    }
    std::string Url(const std::string& name) {
        LString url;
        PosixPathToFileUrl(&url, LString((dir.Path() + "/" + name).c_str()));
        return url.CStr();
    }

    CVirtualRunLoop loop;
    LoopClock services{&loop};
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    playtest::Root root;
    LFrame owner{&root, nullptr, LPaneOpt::Window(kWindowOrdinary, 9)};
    CKvsDevSet set;
    std::unique_ptr<CRecordDoc> prefs;
    std::unique_ptr<CKvsDevCtl> ctl;
    testtftp::TempDir dir;
};

TEST_F(PlayCmd, MenuFollowsDeviceHooksAndRecords) {
    LMenuBar bar(nullptr, "PLAYW");
    {
        auto edit = Edit(0);
        EXPECT_EQ(Enabled(bar, edit.get()), "cPlayExport cPlayImport cDevSync cScnShowMon ");
    }
    playtest::FillHooks();
    auto edit = Edit(305);
    CRecord* seq = edit->SeqSettings();
    CRecord* play = edit->PlaySettings();
    const std::string all =
        "cPlayExport cPlayImport cPlayDownload cCopyUms cScnBtnWin cScnAutWin cScnPwdWin "
        "cBGMWin cAxPly cScnUseSch cScnTrgSet cMstFdr cDevSync cScnShowMon ";
    EXPECT_EQ(Enabled(bar, edit.get()), all + "cScnCrtBo ");
    seq->SetU8(nullptr, SqstF::sqfm, 1);
    seq->SetU8(nullptr, SqstF::ussc, 1);
    seq->GetChild(SqstF::sntg)->SetU8(nullptr, SntgF::tgmd, 3);
    play->GetChild(PlysF::plat)->SetU32(nullptr, PlatF::sqid, 9);
    play->SetU32(nullptr, PlysF::pwdw, 4);
    play->SetU32(nullptr, PlysF::bgmq, 2);
    AddAuxPlay(seq->GetChild(SqstF::axps), nullptr);
    ctl->Settings()->GetChild(DvstF::prds)->SetU8(nullptr, PrdsF::brcv, 1);
    ctl->Settings()->GetChild(DvstF::prpc)->SetU8(nullptr, PrpcF::mfct, 1);
    prefs->Root()->SetU8(nullptr, PrefF::snmn, 1);
    EXPECT_EQ(Enabled(bar, edit.get()),
              "cPlayExport cPlayImport cPlayDownload cCopyUms cScnBtnWin cScnAutWin* cScnPwdWin* "
              "cBGMWin* cAxPly* cScnUseSch* cScnTrgSet* cMstFdr* cDevSync* cScnShowMon* cSeqFmt "
              "cScnCrtBo ");
    Choose(bar, edit.get(), "cScnShowMon");
    EXPECT_EQ(prefs->Root()->GetU8(PrefF::snmn), 0);
    Choose(bar, edit.get(), "cScnTrgSet");
    EXPECT_EQ(seq->GetU32(SqstF::tgmk), 12u);
    EXPECT_EQ(seq->GetU8(SqstF::extg), 1);
    Choose(bar, edit.get(), "cMstFdr");
    EXPECT_EQ(play->GetU8(PlysF::vsmf), 1);
}

TEST_F(PlayCmd, WindowsOpenOnceAndTheScheduleFollowsUssc) {
    playtest::FillHooks();
    LMenuBar bar(nullptr, "PLAYW");
    auto edit = Edit(0);
    Choose(bar, edit.get(), "cScnBtnWin");
    Choose(bar, edit.get(), "cScnBtnWin");
    EXPECT_EQ(playtest::gWindowsMade, 1);
    LFrame* buttons = edit->Window(PlayWindow::kButtons);
    ASSERT_NE(buttons, nullptr);
    LHandler::Send(LFrame_Close, buttons, edit.get());
    EXPECT_EQ(edit->Window(PlayWindow::kButtons), nullptr);

    CRecord* seq = edit->SeqSettings();
    CRecord* play = edit->PlaySettings();
    Choose(bar, edit.get(), "cScnUseSch");
    LFrame* schedule = edit->Window(PlayWindow::kSchedule);
    ASSERT_NE(schedule, nullptr);
    EXPECT_EQ(play->GetU8(PlysF::vsst), 1);
    LHandler::Send(LFrame_Close, schedule, edit.get());
    EXPECT_EQ(seq->GetU8(SqstF::ussc), 0);
    EXPECT_EQ(edit->Window(PlayWindow::kSchedule), nullptr);
    EXPECT_EQ(play->GetU8(PlysF::vsst), 0);
    Choose(bar, edit.get(), "cScnUseSch");
    EXPECT_NE(edit->Window(PlayWindow::kSchedule), nullptr);
    seq->SetU8(nullptr, SqstF::ussc, 0);
    EXPECT_EQ(edit->Window(PlayWindow::kSchedule), nullptr);
    seq->SetU8(nullptr, SqstF::ussc, 1);
    EXPECT_NE(edit->Window(PlayWindow::kSchedule), nullptr);
    EXPECT_EQ(playtest::gWindowsMade, 4);
    owner.HideWindow();
    edit->SyncWindowVisibility();
    EXPECT_FALSE(edit->Window(PlayWindow::kSchedule)->IsShown());
    owner.ShowWindow();
    edit->SyncWindowVisibility();
    EXPECT_TRUE(edit->Window(PlayWindow::kSchedule)->IsShown());
}

TEST_F(PlayCmd, StatusFlagFromScheduleTriggerAndVisibility) {
    auto edit = Edit(0);
    CRecord* seq = edit->SeqSettings();
    CRecord* play = edit->PlaySettings();
    const struct {
        u8 ussc, tgmd, vsbl, vsst;
    } cases[] = {{0, 0, 0, 0}, {1, 0, 0, 1}, {0, 7, 0, 1},
                 {0, 0, 1, 1}, {1, 2, 1, 1}, {0, 0, 0, 0}};
    for (const auto& c : cases) {
        seq->SetU8(nullptr, SqstF::ussc, c.ussc);
        seq->GetChild(SqstF::sntg)->SetU8(nullptr, SntgF::tgmd, c.tgmd);
        play->SetU8(nullptr, PlysF::vsbl, c.vsbl);
        EXPECT_EQ(play->GetU8(PlysF::vsst), c.vsst) << int(c.ussc) << int(c.tgmd) << int(c.vsbl);
    }
}

TEST_F(PlayCmd, OneLayoutRebuildAfterABurstOfEdits) {
    auto edit = Edit(0);
    CRecord* play = edit->PlaySettings();
    play->SetU32(nullptr, PlysF::btrs, 2);
    play->SetU32(nullptr, PlysF::btcs, 2);
    CRecord* cell = PlaySetGetOrAddCell(play, nullptr, 1, 1);
    cell->SetU32(nullptr, PlclF::sqid, 7);
    Pass(1000);
    ASSERT_NE(play->GetChild(PlysF::uifs), nullptr);
    struct Count {
        CVirtualRunLoop* loop;
        CRecord* play;
        int n = 0;
        u32 at = 0;
    } count{&loop, play};
    const CRecordDoc::ListenerFn onNote = [](void* o, CRecordNote* note) {
        auto* c = static_cast<Count*>(o);
        if (note->record == c->play && note->field == PlysF::uifs && c->play->GetChild(PlysF::uifs))
            ++c->n, c->at = c->loop->NowMs();
    };
    edit->PlayDoc().AddListener(&count, onNote);
    const u32 t0 = loop.NowMs();
    for (const char* title : {"A", "AB", "ABC", "ABCD"}) {
        cell->SetString(nullptr, PlclF::bttl, LString(title));
        Pass(300);
    }
    edit->PlayDoc().SetModified(false);
    Pass(2000);
    EXPECT_EQ(count.n, 1);
    EXPECT_EQ(count.at - t0, 900u + 1000u);
    EXPECT_FALSE(edit->PlayDoc().IsModified());
    cell->SetU8(nullptr, PlclF::syof, 1);
    NSqSetNewSeq(edit->SeqSettings()->GetChild(SqstF::nsqs), nullptr, 0);
    EXPECT_FALSE(edit->LayoutTimer().IsRunning());
    // A layout that is already there when the timer fires stays.
    cell->SetString(nullptr, PlclF::bttl, LString("Z"));
    edit->RebuildUiLayout();
    edit->LayoutTimer().Start(1000u);
    const CRecord* built = play->GetChild(PlysF::uifs);
    Pass(1500);
    EXPECT_EQ(play->GetChild(PlysF::uifs), built);
    EXPECT_EQ(count.n, 2);
    // The counter goes before the edit does: a listener left behind would be told of
    // the document's end.
    edit->PlayDoc().RemoveListener(&count, onNote);
}

TEST_F(PlayCmd, BasicSequencesBecomeNsqSequences) {
    auto edit = Edit(0);
    CRecord* seq = edit->SeqSettings();
    const struct {
        bool audio;
        u32 tracks;
    } cases[] = {{false, 1}, {true, 2}};
    for (const auto& c : cases) {
        while (seq->GetListCount(SqstF::sqcs)) seq->RemoveItem(nullptr, SqstF::sqcs, 0);
        CRecord* sq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
        sq->SetU32(nullptr, SqncF::sqid, 7);
        sq->SetString(nullptr, SqncF::sqnm, LString("Show"));
        sq->SetU8(nullptr, SqncF::rept, 1);
        for (i32 t : {-1, 500}) {
            CRecord* scene = NewSceneRecord();
            scene->SetI32(nullptr, ScenF::sntm, t);
            CRecord* clip = scene->GetChild(ScenF::ctdr);
            clip->SetString(nullptr, SnctF::flnm, LString("a.drc"));
            clip->SetI32(nullptr, SnctF::sttm, -5);
            clip->SetI32(nullptr, SnctF::entm, 9000);
            clip->SetU8(nullptr, SnctF::lpmd, 2);
            clip->SetU32(nullptr, SnctF::fdtm, 100);
            clip->SetU32(nullptr, SnctF::volm, 128);
            clip->SetF32(nullptr, SnctF::rate, 0, 0.5f);
            sq->InsertItem(nullptr, SqncF::scns, sq->GetListCount(SqncF::scns), scene);
            if (c.audio) sq->InsertItem(nullptr, SqncF::auss, 0, CRecord::Copy(scene, nullptr));
        }
        seq->InsertItem(nullptr, SqstF::sqcs, 0, sq);
        ConvertSeqsToNsq(seq);
        const CRecord* set = seq->GetChild(SqstF::nsqs);
        ASSERT_EQ(set->GetListCount(SsetF::seqs), 1u);
        const CRecord* out = set->GetListItem(SsetF::seqs, 0);
        EXPECT_EQ(out->GetU32(SseqF::sqid), 7u);
        EXPECT_STREQ(out->GetString(SseqF::name).CStr(), "Show");
        EXPECT_EQ(out->GetU8(SseqF::loop), 1);
        ASSERT_EQ(out->GetListCount(SseqF::trks), c.tracks);
        for (u32 t = 0; t < c.tracks; ++t) {
            const CRecord* track = out->GetListItem(SseqF::trks, t);
            EXPECT_STREQ(track->GetString(StrkF::name).CStr(), t == 0 ? "DMX" : "Audio");
            ASSERT_EQ(track->GetListCount(StrkF::scns), 1u);
            const CRecord* scene = track->GetListItem(StrkF::scns, 0);
            EXPECT_EQ(scene->GetU32(SscnF::time), 500u);
            const CRecord* p = scene->GetChild(SscnF::prms);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p->Kind(), t == 0 ? kKindPdmx : kKindPaud);
            EXPECT_STREQ(p->GetString(PdmxF::file).CStr(), "a.drc");
            EXPECT_EQ(p->GetU32(PdmxF::rngf), 0u);
            EXPECT_EQ(p->GetU32(PdmxF::rngt), 9000u);
            EXPECT_EQ(p->GetU8(PdmxF::loop), 1);
            EXPECT_EQ(p->GetU32(PdmxF::fdtm), 100u);
            EXPECT_EQ(p->GetU32(PdmxF::volm), 128u);
            if (t == 0) {
                EXPECT_EQ(p->GetF32(PdmxF::rate), 0.5f);
            }
        }
    }
}

TEST_F(PlayCmd, FitsBasicFormatUnlessNsqOnlyPartsAreUsed) {
    auto edit = Edit(0);
    CRecord* play = edit->PlaySettings();
    CRecord* seq = edit->SeqSettings();
    EXPECT_TRUE(edit->FitsBasicFormat());
    const std::function<void(bool)> parts[] = {
        [&](bool on) {
            CRecord* plat = play->GetChild(PlysF::plat);
            CRecord::Destroy(
                plat->ReplaceChild(nullptr, PlatF::scnd, on ? NewSceneRecord() : nullptr));
        },
        [&](bool on) {
            CRecord* cell = PlaySetGetOrAddCell(play, nullptr, 2, 1);
            CRecord::Destroy(
                cell->ReplaceChild(nullptr, PlclF::scnd, on ? NewSceneRecord() : nullptr));
        },
        [&](bool on) {
            if (on) {
                CRecord* sq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
                sq->ReplaceChild(nullptr, SqncF::ctau,
                                 CRecord::New(CRecordSchema::Find(kFamKvt, kKindSnct)));
                seq->InsertItem(nullptr, SqstF::sqcs, 0, sq);
            } else {
                seq->RemoveItem(nullptr, SqstF::sqcs, 0);
            }
        },
    };
    for (const auto& part : parts) {
        part(true);
        EXPECT_FALSE(edit->FitsBasicFormat());
        part(false);
        EXPECT_TRUE(edit->FitsBasicFormat());
    }
}

TEST_F(PlayCmd, PlayFileWrittenWholeOrNotAtAll) {
    playtest::FakePanels panels;
    auto edit = Edit(0);
    edit->SeqSettings()->SetU32(nullptr, SqstF::tgmk, 42);
    edit->PlaySettings()->SetU32(nullptr, PlysF::bgmq, 5);
    panels.answers.push_back(Url("show.kvplay"));
    EXPECT_TRUE(edit->ExportPlayFile(false));
    ASSERT_EQ(panels.starts.size(), 1u);
    EXPECT_NE(panels.starts[0].find("|untitled.kvplay"), std::string::npos) << panels.starts[0];
    EXPECT_EQ(panels.starts[0].find(dir.Path()), std::string::npos);
    EXPECT_STREQ(prefs->Root()->GetString(PrefF::plst).CStr(), Url("show.kvplay").c_str());
    const std::string bytes = playtest::ReadFile(dir.Path() + "/show.kvplay");
    CChunkFile file;
    ASSERT_TRUE(file.OpenRead(bytes.data(), u32(bytes.size())));
    EXPECT_EQ(file.FirstCode(), FourCC("YKVS"));
    EXPECT_EQ(file.SecondCode(), FourCC("DPLS"));
    const u32 kinds[] = {kKindSqst, kKindPlys};
    for (u32 kind : kinds) {
        CRecord* r = file.ReadRecord();
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Kind(), kind);
        CRecord::Destroy(r);
    }
    EXPECT_EQ(file.ReadRecord(), nullptr);
    // A place that cannot take the file keeps what is there.
    ASSERT_EQ(mkdir((dir.Path() + "/taken").c_str(), 0755), 0);
    panels.answers.push_back(Url("taken"));
    EXPECT_FALSE(edit->ExportPlayFile(false));
    EXPECT_NE(panels.starts[1].find("show.kvplay"), std::string::npos) << panels.starts[1];
    ASSERT_EQ(root.texts.size(), 1u);
    EXPECT_EQ(root.texts[0], StdDialogText("KVSPLAYEDIT", 3).CStr());
    EXPECT_EQ(playtest::ListDir(dir.Path()).size(), 2u);
    EXPECT_EQ(DefaultPlayFilePath(LString("file:///x/y.kvplay"), LString("kvplay")),
              LString("file:///x/y.kvplay"));
    EXPECT_NE(std::string(DefaultPlayFilePath(LString(), LString()).CStr()).find("/untitled"),
              std::string::npos);
    EXPECT_EQ(std::string(DefaultPlayFilePath(LString(), LString()).CStr()).find("untitled."),
              std::string::npos);
}

TEST_F(PlayCmd, ImportTakesBothRecordsAnyContainerAndEmptiesTheHistory) {
    auto edit = Edit(0);
    CRecordDoc seq(NewSeqSettingsRecord()), play(NewPlaySetRecord()), other(NewDeviceSettingsRecord());
    seq.Root()->SetU32(nullptr, SqstF::tgmk, 77);
    play.Root()->SetU32(nullptr, PlysF::pwdw, 3);
    const struct {
        u32 outer;
        bool seq, play, taken;
    } cases[] = {{FourCC("ABCD"), false, false, false},
                 {FourCC("ABCD"), true, true, true},
                 {FourCC("YKVS"), false, true, true}};
    int n = 0;
    for (const auto& c : cases) {
        edit->SeqSettings()->SetU32(edit.get(), SqstF::tgmk, 1);
        edit->PlaySettings()->SetU32(edit.get(), PlysF::pwdw, 1);
        ASSERT_TRUE(edit->UndoQueue().CanUndo());
        const std::string name = "f" + std::to_string(n++);
        playtest::WriteChunks(dir.Path() + "/" + name, c.outer, FourCC("XXXX"),
                              {other.Root(), c.seq ? seq.Root() : other.Root(),
                               c.play ? play.Root() : other.Root()});
        const std::string url = Url(name);
        EXPECT_EQ(edit->LoadPlayData(LString(url.c_str())), c.taken);
        EXPECT_EQ(edit->SeqSettings()->GetU32(SqstF::tgmk), c.seq ? 77u : 1u);
        EXPECT_EQ(edit->PlaySettings()->GetU32(PlysF::pwdw), c.play ? 3u : 1u);
        EXPECT_EQ(edit->UndoQueue().CanUndo(), !c.taken);
    }
    EXPECT_FALSE(edit->LoadPlayData(LString(Url("missing").c_str())));
}

// Two file windows open, each edited: the Save a close asks for writes the
// window's own file, whatever file was opened or exported last; a window that
// has no file asks where, starting at "untitled", never at another's file.
TEST_F(PlayCmd, SaveAtACloseWritesTheWindowsOwnFile) {
    playtest::FakePanels panels;
    std::unique_ptr<CKvsDevCtl> ctls[4];
    std::unique_ptr<CKvsPlayCmd> edits[3];
    for (u32 i = 0; i < 4; ++i) ctls[i] = std::make_unique<CKvsDevCtl>(&root, &set, 0);
    for (u32 i = 0; i < 3; ++i)
        edits[i] = std::make_unique<CKvsPlayCmd>(&root, &owner, ctls[i].get());
    const char* files[] = {"a1201.kvplay", "n305.kvplay"};
    for (u32 i = 0; i < 2; ++i) {
        edits[i]->SeqSettings()->SetU32(nullptr, SqstF::tgmk, i + 1);
        ASSERT_TRUE(edits[i]->WritePlayFile(LString(Url(files[i]).c_str())));
        ASSERT_TRUE(edits[i]->LoadPlayData(LString(Url(files[i]).c_str())));
        edits[i]->SetCleanMark();
    }
    // The last file opened, as the open panel remembers it.
    prefs->Root()->SetPathField(nullptr, PrefF::plst, LString(Url(files[1]).c_str()));
    root.answer = [&](LDialog* d) {
        if (dynamic_cast<CSaveChangesDialog*>(d)) d->SetResult(1);
    };
    const struct {
        const char* what;
        u32 edit;
        u32 value;
        const char* written;  // the file that must hold the value
        const char* panel;    // the panel's answer; null: no panel may open
    } cases[] = {
        {"the 1201 file's window", 0, 11, "a1201.kvplay", nullptr},
        {"the NSQ file's window", 1, 22, "n305.kvplay", nullptr},
        {"the 1201 file's window again", 0, 12, "a1201.kvplay", nullptr},
        {"a window without a file", 2, 33, "new.kvplay", "new.kvplay"},
    };
    for (const auto& c : cases) {
        const size_t asked = panels.starts.size();
        if (c.panel) panels.answers.push_back(Url(c.panel));
        edits[c.edit]->SeqSettings()->SetU32(edits[c.edit].get(), SqstF::tgmk, c.value);
        EXPECT_TRUE(edits[c.edit]->CanCloseFile()) << c.what;
        EXPECT_EQ(panels.starts.size(), asked + (c.panel ? 1 : 0)) << c.what;
        if (c.panel && panels.starts.size() > asked) {
            EXPECT_NE(panels.starts.back().find("|untitled.kvplay"), std::string::npos)
                << panels.starts.back();
        }
        CKvsPlayCmd check(&root, &owner, ctls[3].get());
        ASSERT_TRUE(check.LoadPlayData(LString(Url(c.written).c_str()))) << c.what;
        EXPECT_EQ(check.SeqSettings()->GetU32(SqstF::tgmk), c.value) << c.what;
    }
    // Each file holds its own window's last show.
    for (u32 i = 0; i < 2; ++i) {
        CKvsPlayCmd check(&root, &owner, ctls[3].get());
        ASSERT_TRUE(check.LoadPlayData(LString(Url(files[i]).c_str())));
        EXPECT_EQ(check.SeqSettings()->GetU32(SqstF::tgmk), i == 0 ? 12u : 22u) << files[i];
    }
    root.answer = nullptr;
}

TEST_F(PlayCmd, FileWindowAsksBeforeLosingEdits) {
    playtest::FakePanels panels;
    auto edit = Edit(0);
    EXPECT_TRUE(edit->CanCloseFile());
    edit->SeqSettings()->SetU32(edit.get(), SqstF::tgmk, 3);
    // Save changes dialog: 1 save, 2 cancel, 3 don't save.
    const struct {
        u32 answer;
        const char* path;  // what the save panel answers
        bool closes;
    } cases[] = {{2, "", false}, {1, "", false}, {3, "", true}, {1, "saved.kvplay", true}};
    for (const auto& c : cases) {
        int asked = 0;
        root.answer = [&](LDialog* d) {
            if (dynamic_cast<CSaveChangesDialog*>(d)) ++asked, d->SetResult(c.answer);
        };
        if (*c.path) panels.answers.push_back(Url(c.path));
        EXPECT_EQ(edit->CanCloseFile(), c.closes) << c.answer;
        EXPECT_EQ(asked, 1);
    }
    EXPECT_TRUE(edit->CanCloseFile());
    EXPECT_FALSE(playtest::ReadFile(dir.Path() + "/saved.kvplay").empty());
    // The question names the file the show was saved to, then one it was read from.
    playtest::WriteFile(dir.Path() + "/show.kvplay",
                        playtest::ReadFile(dir.Path() + "/saved.kvplay"));
    for (const char* name : {"saved.kvplay", "show.kvplay"}) {
        if (std::string(name) == "show.kvplay") {
            ASSERT_TRUE(edit->LoadPlayData(LString(Url(name).c_str())));
        }
        edit->SeqSettings()->SetU32(edit.get(), SqstF::tgmk, 4);
        std::string text;
        root.answer = [&](LDialog* d) {
            if (auto* q = dynamic_cast<CSaveChangesDialog*>(d))
                text = q->fMessage.GetText().CStr(), d->SetResult(3);
        };
        EXPECT_TRUE(edit->CanCloseFile());
        EXPECT_NE(text.find(std::string("\"") + name + "\""), std::string::npos) << text;
    }
    // Serial 0: nothing is sent.
    EXPECT_TRUE(edit->SendPlayData(true, true));
    EXPECT_TRUE(edit->SendBeforeClose());
}

}  // namespace
