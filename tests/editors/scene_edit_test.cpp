// The scene edit frame on the headless fakes.
#include <cstdlib>
#include <limits>

#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnMonF.h"
#include "editors/CKvsScnPrmF.h"
#include "framework/CHeaderFrame.h"
#include "framework/LListNavi.h"
#include "records/AppPrefsDoc.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

constexpr i32 kMax = std::numeric_limits<i32>::max();
constexpr i32 kMin = std::numeric_limits<i32>::min();

// A play file's device: nothing is polled, the command writes are logged.
struct Device : FakePlayDevice {
    Device() { fCmd.AddListener(this, OnWrite); }
    ~Device() override { fCmd.RemoveListener(this, OnWrite); }
    u32 DeviceSerial() const override { return 0; }
    CRecordDoc* SeqStatDoc() override { return &fSeqStat; }
    static void OnWrite(void* self, CRecordNote* n) {
        static const char kTags[] = "srtcplclplsnsedmsiscrcctrclcrcpfpausplcrpsaupcaupltm";
        if (n->kind != CRecordNote::kChanged || n->field == DvcmF::plsn) return;
        static_cast<Device*>(self)->fWrites.push_back(std::string(kTags + 4 * n->field, 4) + "=" +
                                                      std::to_string(n->record->GetI32(n->field)));
    }
    CRecordDoc fSeqStat{NewKind(kFamKvt, kKindSsta)};
    std::vector<std::string> fWrites;
};

struct StubUniverses : MScnUnvFrame {
    explicit StubUniverses(LPane* container) : fPane(new LFrame(container, container)) {}
    LPane* Pane() override { return fPane; }
    void SetActive(bool a) override { fActive = a; }
    void SetShown(bool s) override {
        fShown = s;
        fPane->SetState(s ? LPane::kOpShow : LPane::kOpHide);
    }
    void RefreshUniverseStatus() override {}
    LFrame* fPane;
    bool fActive = false, fShown = false;
};
StubUniverses* sStub = nullptr;

struct Stage : SeqEditStage {
    Stage() {
        SetAppPrefsDoc(&fPrefs);
        DeviceHooks().newScnUnvFrame = [](MPlayDevice&, LPane* c) -> MScnUnvFrame* {
            return sStub = new StubUniverses(c);
        };
        fSeq = AddSeq(1, "S");
        for (i32 t : {0, 10000, 20000}) {
            CRecord* sc = NewKind(kFamKvt, kKindScen);
            sc->SetI32(nullptr, ScenF::sntm, t);
            fSeq->InsertItem(nullptr, SqncF::scns, fSeq->GetListCount(SqncF::scns), sc);
            CRecord* au = NewKind(kFamKvt, kKindScen);
            au->SetI32(nullptr, ScenF::sntm, t);
            fSeq->InsertItem(nullptr, SqncF::auss, fSeq->GetListCount(SqncF::auss), au);
        }
        fEdit = new CKvsScnEdF(&fWin, &fWin, &fDev, Settings());
        fWin.SetWindowBounds(LRect(0, 0, 1000, 500));
        fWin.SetBounds(LRect(0, 0, 1000, 500));
        fEdit->SetBounds(LRect(0, 0, 1000, 500));
    }
    ~Stage() {
        delete fEdit;
        DeviceHooks().newScnUnvFrame = nullptr;
        SetAppPrefsDoc(nullptr);
    }
    void Mode(u32 m) { fDev.fContents.Root()->SetU32(nullptr, DctsF::field0, m); }
    CRecord* Clip(u32 row, u8 list = SqncF::scns) {
        return fSeq->GetListItem(list, row)->GetChild(ScenF::ctdr);
    }
    CKvsScnPrmF::CContent& F() { return fEdit->Params()->Fields(); }
    CRecord* Dvss() { return fDev.fState.Root(); }
    CRecord* Ssta() { return fDev.fSeqStat.Root(); }

    CRecordDoc fPrefs{NewKind(kFamKvs, kKindPref)};
    Device fDev;
    CRecord* fSeq;
    CKvsScnEdF* fEdit;
};

TEST(SceneEdit, ConversionsBothWays) {
    Stage s;
    s.fEdit->SetSequence(s.fSeq);
    CRecord* clip = s.Clip(0);
    ASSERT_EQ(s.fEdit->Params()->Content(), clip);
    struct Case {
        CNumVol CKvsScnPrmF::CContent::*field;
        f32 entered;
        u8 rec;
        f64 stored;
    };
    const Case in[] = {{&CKvsScnPrmF::CContent::fVol, 50, SnctF::volm, 128},
                       {&CKvsScnPrmF::CContent::fRate, 1.5f, SnctF::rate, 1.015},
                       {&CKvsScnPrmF::CContent::fFade, 2.5f, SnctF::fdtm, 2500}};
    for (const Case& c : in) {
        FixNum(s.F().*c.field, c.entered);
        const f64 got = c.rec == SnctF::rate ? f64(clip->GetF32(c.rec)) : f64(clip->GetU32(c.rec));
        EXPECT_NEAR(got, c.stored, 1e-6) << c.entered;
    }
    clip->SetU32(nullptr, SnctF::volm, 200);
    clip->SetF32(nullptr, SnctF::rate, 0, 0.99f);
    EXPECT_STREQ(s.F().fVol.GetText().CStr(), "78");
    EXPECT_NEAR(s.F().fRate.GetValue(), -1, 1e-6);
    s.fEdit->Params()->SetContent(0, nullptr);
    auto& f = s.F();
    EXPECT_STREQ(f.fFile.GetText().CStr(), "");
    EXPECT_TRUE(f.fStart.GetScaledValue(1000) == 0 && f.fEnd.GetScaledValue(1000) == 0 &&
                f.fLoop.GetState() == 0 && f.fFade.GetValue() == 0 && f.fVol.GetValue() == 100 &&
                f.fRate.GetValue() == 0);
}

// The clip's values carry more than the fields show: each shown text typed
// again and fixed with Return stores nothing; another value is stored.
TEST(SceneEdit, TheShownTextTypedAgainKeepsTheStoredValue) {
    Stage s;
    s.fEdit->SetSequence(s.fSeq);
    CRecord* clip = s.Clip(0);
    clip->SetI32(nullptr, SnctF::sttm, 1234);
    clip->SetU32(nullptr, SnctF::fdtm, 2550);
    clip->SetU32(nullptr, SnctF::volm, 127);
    clip->SetF32(nullptr, SnctF::rate, 0, 1.01234f);
    s.fWin.SetState(LPane::kOpWindowKey);
    s.fWin.SetState(LPane::kOpFocus);
    auto& f = s.F();
    auto retype = [&](CNumVol& field, const char* text) {
        field.RequestFocus();
        ASSERT_NE(field.Engine(), nullptr);
        field.Engine()->SelectAll();
        s.fControls.fField->Type(text);
        LKeyboard keys;
        keys.fChar = 13;
        LHandler::Send(LKeyboard_Down, &keys, &field);
    };
    const std::pair<CNumVol*, const char*> shown[] = {
        {&f.fStart, "00:00:01.23"}, {&f.fFade, "2.5"}, {&f.fVol, "50"}, {&f.fRate, "1.23"}};
    for (const auto& [field, text] : shown) {
        EXPECT_STREQ(field->GetText().CStr(), text);
        retype(*field, text);
    }
    EXPECT_EQ(clip->GetI32(SnctF::sttm), 1234);
    EXPECT_EQ(clip->GetU32(SnctF::fdtm), 2550u);
    EXPECT_EQ(clip->GetU32(SnctF::volm), 127u);
    EXPECT_EQ(clip->GetF32(SnctF::rate), 1.01234f);
    retype(f.fVol, "75");
    EXPECT_EQ(clip->GetU32(SnctF::volm), 192u);
}

// Every shown percent is the stored value converted and rounded half up, and
// ending a field on what it shows keeps the finer stored value; another value
// typed is stored.
TEST(SceneEdit, ShownPercentsAreRoundedAndKeepTheStoredValue) {
    Stage s;
    s.fEdit->SetSequence(s.fSeq);
    CRecord* clip = s.Clip(0);
    s.fWin.SetState(LPane::kOpWindowKey);
    s.fWin.SetState(LPane::kOpFocus);
    auto& f = s.F();
    auto end = [&](CNumVol& field, const char* typed) {
        field.RequestFocus();
        ASSERT_NE(field.Engine(), nullptr);
        field.Engine()->SelectAll();
        if (typed) s.fControls.fField->Type(typed);
        LKeyboard keys;
        keys.fChar = 13;
        LHandler::Send(LKeyboard_Down, &keys, &field);
    };
    struct Case {
        u32 volm;
        const char* shown;
        const char* typed;  // null: ended unchanged
        u32 stored;
    };
    const Case volumes[] = {
        {84, "33", nullptr, 84},    {84, "33", "33", 84},      {85, "33", nullptr, 85},
        {32, "13", nullptr, 32},    {160, "63", nullptr, 160}, {200, "78", "78", 200},
        {2, "1", nullptr, 2},       {1, "0", nullptr, 1},      {256, "100", nullptr, 256},
        {300, "100", nullptr, 300}, {85, "33", "34", 87},      {32, "13", "12", 31},
    };
    for (const Case& c : volumes) {
        clip->SetU32(nullptr, SnctF::volm, c.volm);
        EXPECT_STREQ(f.fVol.GetText().CStr(), c.shown) << c.volm;
        EXPECT_EQ(CKvsScnPrmF::ShownOf(clip).volume, std::atof(c.shown)) << c.volm;
        end(f.fVol, c.typed);
        EXPECT_EQ(clip->GetU32(SnctF::volm), c.stored)
            << c.volm << " " << (c.typed ? c.typed : "-");
    }
    struct RateCase {
        f32 rate;
        const char* shown;
        const char* typed;
        f32 stored;
    };
    const RateCase rates[] = {
        {1.015f, "1.50", nullptr, 1.015f},
        {0.99f, "-1.00", nullptr, 0.99f},
        {1.05f, "5.00", nullptr, 1.05f},
        {0.95f, "-5.00", "-5", 0.95f},
        {1.00004f, "0.00", nullptr, 1.00004f},
        {1.2f, "5.00", nullptr, 1.2f},
        {1.00004f, "0.00", "0.01", 1.0001f},
        {std::numeric_limits<f32>::quiet_NaN(), "0.00", "1", 1.01f},
    };
    for (const RateCase& c : rates) {
        clip->SetF32(nullptr, SnctF::rate, 0, c.rate);
        EXPECT_STREQ(f.fRate.GetText().CStr(), c.shown) << c.rate;
        end(f.fRate, c.typed);
        EXPECT_EQ(clip->GetF32(SnctF::rate), c.stored) << c.rate;
    }
    const struct {
        u32 fdtm;
        const char* shown;
    } fades[] = {{2500, "2.5"}, {0, "0.0"}, {10000, "10.0"}, {100, "0.1"}, {20000, "10.0"}};
    for (const auto& c : fades) {
        clip->SetU32(nullptr, SnctF::fdtm, c.fdtm);
        EXPECT_STREQ(f.fFade.GetText().CStr(), c.shown) << c.fdtm;
        end(f.fFade, nullptr);
        EXPECT_EQ(clip->GetU32(SnctF::fdtm), c.fdtm);
    }
}

TEST(SceneEdit, FileSlotDropAndLoop) {
    Stage s;
    s.fEdit->SetSequence(s.fSeq);
    CRecord* clip = s.Clip(0);
    clip->SetString(nullptr, SnctF::flnm, LString("take 3.drc"));
    EXPECT_STREQ(s.F().fFile.GetText().CStr(), "take 3");
    LHandler::Send(CTextSlot_Changed, &s.F().fFile, &s.F());
    EXPECT_STREQ(clip->GetString(SnctF::flnm).CStr(), "");

    const u64 at = s.F().fDrop.GetTopLeftIn(nullptr);
    const i32 x = i32(LPane::UnpackX(at)) + 5, y = i32(LPane::UnpackY(at)) + 5;
    struct Case {
        std::vector<std::string> names;
        const char* type;
        u32 op;
        const char* flnm;
    };
    const Case cases[] = {
        {{"a.drc", "b.drc"}, kScrapDrcFileName, 3, "a.drc"},
        {{"x/y.drc"}, kScrapDrcFileName, 0, "a.drc"},
        {{".hidden"}, kScrapDrcFileName, 0, "a.drc"},
        {{"c.drc"}, kScrapScene, 0, "a.drc"},
    };
    for (const Case& c : cases) {
        auto* d = new LScrapData;
        for (const std::string& n : c.names)
            d->AddItem(ScrapTypeOf(c.type), n.data(), u32(n.size()), 0);
        EXPECT_EQ(s.DropFromOutside(d, x, y), c.op) << c.names[0];
        d->Release();
        EXPECT_STREQ(clip->GetString(SnctF::flnm).CStr(), c.flnm);
    }
    EXPECT_TRUE(s.fUndo.Undo());
    EXPECT_STREQ(clip->GetString(SnctF::flnm).CStr(), "");

    clip->SetI32(nullptr, SnctF::sttm, 0);
    s.F().fEnd.SetTime(5000, 1000);
    LHandler::Send(CNumVol_Fix, &s.F().fEnd, &s.F());
    EXPECT_TRUE(s.F().fLoop.IsUsable());
    s.F().fStart.SetTime(10000, 1000);
    LHandler::Send(CNumVol_Fix, &s.F().fStart, &s.F());
    EXPECT_EQ(clip->GetI32(SnctF::sttm), 10000);
    EXPECT_FALSE(s.F().fLoop.IsUsable());
}

TEST(SceneEdit, ModesActiveSceneAndMonitor) {
    Stage s;
    s.fEdit->SetSequence(s.fSeq);
    EXPECT_EQ(s.fEdit->List()->Selection().GetBounds(), LRect(0, 0, 1, 1));
    struct Case {
        u32 mode;
        bool list, loop, vol0, vol1, scene;
    };
    for (const Case& c :
         {Case{0, true, true, true, false, true}, Case{1, true, false, false, true, true},
          Case{2, false, true, true, false, false}}) {
        SCOPED_TRACE(c.mode);
        s.Mode(c.mode);
        EXPECT_EQ(s.fEdit->Navi()->IsShown(), c.list);
        EXPECT_EQ(s.fEdit->Header()->IsShown(), c.list);
        EXPECT_EQ(s.fEdit->SceneFrame().IsShown(), c.scene);
        if (c.mode == 2) continue;
        EXPECT_EQ(s.F().fLoop.IsShown(), c.loop);
        EXPECT_EQ(s.F().fRate.IsShown(), c.loop);
        EXPECT_EQ(s.F().fVolCap0.IsShown(), c.vol0);
        EXPECT_EQ(s.F().fVolCap1.IsShown(), c.vol1);
    }
    s.Mode(0);
    s.fEdit->List()->SelectCell(LCell{0, 2});
    CKvsScnMonF* mon = s.fEdit->Monitor();
    s.Ssta()->SetI32(nullptr, SstaF::sqtm, 23500);
    s.Ssta()->SetI32(nullptr, SstaF::sqet, 61000);
    EXPECT_FALSE(mon->IsActive());
    EXPECT_EQ(mon->Bar().Max(), 0);
    s.Dvss()->SetString(nullptr, DvssF::crsn, LString("/sqcs/0/scns/2"));
    EXPECT_TRUE(mon->IsActive());
    EXPECT_TRUE(sStub->fActive);
    EXPECT_EQ(mon->Position().GetScaledValue(1000), 23500);
    EXPECT_EQ(mon->Length().GetScaledValue(1000), 61000);
    EXPECT_EQ(mon->Bar().GetValue(), 23);
    EXPECT_EQ(mon->Bar().Max(), 61);
    s.Mode(1);
    EXPECT_FALSE(mon->IsActive());
    s.fEdit->List()->SelectCell(LCell{0, 2});
    s.Dvss()->SetString(nullptr, DvssF::cras, LString("/sqcs/0/auss/2"));
    s.Dvss()->SetI32(nullptr, DvssF::autm, 4000);
    s.Dvss()->SetU32(nullptr, DvssF::audr, 9000);
    EXPECT_TRUE(mon->IsActive());
    EXPECT_EQ(mon->Bar().GetValue(), 4);
    EXPECT_EQ(mon->Bar().Max(), 9);
    s.fEdit->List()->SelectCell(LCell{0, 1});
    EXPECT_FALSE(mon->IsActive());
    EXPECT_STREQ(mon->Position().GetText().CStr(), "");
    EXPECT_EQ(mon->Bar().Max(), 0);
}

TEST(SceneEdit, PlaysAndMovesAreOneShot) {
    Stage s;
    s.fEdit->SetSequence(s.fSeq);
    CKvsScnMonF* mon = s.fEdit->Monitor();
    auto push = [&] { LHandler::Send(LStdCtl_Selected, &mon->PlayButton(), mon); };
    auto bar = [&](i32 v) {
        mon->Bar().SetRange(v, 0, 100, 1);
        LHandler::Send(LScrollBar_Change, &mon->Bar(), mon);
    };
    push();
    s.Mode(1);
    push();
    s.Mode(0);
    LHandler::Send(LPane_Focus, s.fEdit->List(), s.fEdit->Navi());
    EXPECT_EQ(mon->Arrow(), LString("\xE2\x96\xBD"));
    s.fEdit->List()->SelectCell(LCell{0, 1});
    mon->Bar().SetRange(3, 0, 100, 1);
    push();
    push();
    bar(12);
    s.Mode(1);
    bar(12);
    s.Mode(2);
    bar(12);
    // Each push writes once, the same value again too.
    EXPECT_EQ(s.fDev.fWrites, (std::vector<std::string>{"plcr=1", "pcau=1", "pltm=13000",
                                                        "pltm=13000", "paus=12000", "psau=12000"}));
    const CRecord* cmd = s.fDev.fCmd.Root();
    for (u8 f : {DvcmF::plcr, DvcmF::pcau}) EXPECT_EQ(cmd->GetI32(f), 0);
    for (u8 f : {DvcmF::pltm, DvcmF::paus, DvcmF::psau}) EXPECT_EQ(cmd->GetI32(f), -1);
    for (const auto& [sntm, sec, want] :
         {std::tuple<i32, i64, i32>{kMax - 10, 5, kMax}, {kMin, -3, kMin}, {-500, 2, 1500}})
        EXPECT_EQ(CKvsScnEdF::PlayTime(sntm, sec), want);
    EXPECT_EQ(CKvsScnMonF::MsFromSeconds(4000000), kMax);
}

TEST(SceneEdit, RepeatWithUndoAndTheUniversesFrame) {
    Stage s;
    s.fEdit->SetSequence(s.fSeq);
    s.fEdit->Repeat().SetState(u8(1));
    LHandler::Send(LStdCheck_Change, &s.fEdit->Repeat(), s.fEdit);
    EXPECT_EQ(s.fSeq->GetU8(SqncF::rept), 1);
    EXPECT_TRUE(s.fUndo.Undo());
    EXPECT_EQ(s.fSeq->GetU8(SqncF::rept), 0);
    EXPECT_EQ(s.fEdit->Repeat().GetState(), 0);

    ASSERT_NE(sStub, nullptr);
    EXPECT_FALSE(sStub->fShown);
    s.fPrefs.Root()->SetU8(nullptr, PrefF::snmn, 1);
    EXPECT_TRUE(sStub->fShown);
    EXPECT_TRUE(sStub->fPane->IsShown());
    s.fPrefs.Root()->SetU8(nullptr, PrefF::snmn, 0);
    EXPECT_FALSE(sStub->fPane->IsShown());
}

}  // namespace
