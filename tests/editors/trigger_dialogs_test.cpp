// Note names, the trigger kind table and the trigger and master fader dialogs.
#include <gtest/gtest.h>

#include <memory>

#include "editors/AuxTriggerKinds.h"
#include "editors/CExtCtlF.h"
#include "editors/CKvsLargeDlg.h"
#include "editors/CNoteEdit.h"
#include "editors/PlayHooks.h"
#include "editors/TriggerDialogHooks.h"
#include "framework/AppSingletons.h"
#include "framework/CUndoQ.h"
#include "framework/InputState.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"
#include "tests/framework/HeadlessAppTest.h"

namespace {

constexpr i32 kI32Max = 2147483647;

class TriggerDialogs : public HeadlessAppTest {
protected:
    void SetUp() override {
        HeadlessAppTest::SetUp();
        RegisterAllRecordKinds();
    }
    CRecord* New(u32 kind) { return CRecord::New(CRecordSchema::Find(kFamKvt, kind)); }
    void Key(u32 c) { windows.ScriptTurn({FakeEvent{FakeEvent::kKeyDown, c, 0, {}}}); }
};

TEST(NoteNames, BothWays) {
    const struct {
        i32 note;
        const char* name;
    } names[] = {{60, "C 4"}, {63, "D#4"}, {69, "A 4"}, {0, "C -1"}, {127, "G 9"}};
    for (const auto& n : names) {
        EXPECT_STREQ(CNoteEdit::ValueToText(n.note).CStr(), n.name);
        EXPECT_EQ(ParseMidiNote(n.name), n.note) << n.name;
    }
    const struct {
        const char* text;
        i32 note;
    } parsed[] = {
        {"", 60},   {"d#4", 63}, {"B#4", 72},           {"Db4", 71},          {"D#10", 127},
        {"G-2", 0}, {"H4", 60},  {"C99999999999", 127}, {"C-99999999999", 0}, {"C-", 60},
        {"--", 60}, {"E-x3", 52}};
    for (const auto& p : parsed) EXPECT_EQ(ParseMidiNote(p.text), p.note) << p.text;
}

TEST_F(TriggerDialogs, NoteFieldTakesNamesOnReturn) {
    LHandler parent;
    LFrame win(&parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 0));
    CNoteEdit note(&win);
    const u8 sharp = '#';
    EXPECT_TRUE(note.AcceptChar(&sharp));
    note.SetText(LString("d#4"));
    LHandler::Send(LEditText_Change, &note, &note);
    EXPECT_STREQ(note.GetText().CStr(), "d#4");
    LHandler::Send(LNumEdit_Enter, &note, &note);
    EXPECT_STREQ(note.GetText().CStr(), "D#4");
    EXPECT_EQ(note.GetValue(), 63);
}

TEST_F(TriggerDialogs, KindTableBothWays) {
    // -9: valu left as it was.
    const struct {
        i32 item;
        u8 tgmd, sgch;
        i32 valu;
        TrgFrame frame;
    } rows[] = {{0, 0, 0, -9, TrgFrame::kNone},       {1, 1, 0, 0, TrgFrame::kArtNet},
                {2, 1, 1, 1, TrgFrame::kArtNet},      {3, 14, 0, 0, TrgFrame::kSacn},
                {4, 14, 1, 1, TrgFrame::kSacn},       {5, 2, 0, 0, TrgFrame::kDmx},
                {6, 2, 1, 1, TrgFrame::kDmx},         {7, 3, 0, 0, TrgFrame::kKey},
                {8, 5, 0, 1, TrgFrame::kJoystick},    {9, 6, 0, -1, TrgFrame::kOsc},
                {10, 8, 0, -9, TrgFrame::kMidiCtl},   {11, 7, 0, 0, TrgFrame::kMidiCtl},
                {12, 10, 0, -9, TrgFrame::kMidiNote}, {13, 11, 0, 0, TrgFrame::kMidiProg},
                {14, 12, 0, 0, TrgFrame::kInput},     {15, 13, 0, 1, TrgFrame::kInput}};
    for (const auto& r : rows) {
        CRecord* t = New(kKindAptg);
        t->SetI32(nullptr, AptgF::valu, -9);
        TrgSetKindItem(t, nullptr, r.item);
        const CRecord* tg = t->GetChild(AptgF::sntg);
        EXPECT_EQ(tg->GetU8(SntgF::tgmd), r.tgmd) << r.item;
        EXPECT_EQ(tg->GetU8(SntgF::sgch), r.sgch) << r.item;
        EXPECT_EQ(t->GetI32(AptgF::valu), r.valu) << r.item;
        const CTrgKindView v = TrgKindViewOf(t);
        EXPECT_EQ(v.item, r.item);
        EXPECT_EQ(v.frame, r.frame);
        EXPECT_EQ(v.countRow, r.sgch == 1) << r.item;
        EXPECT_EQ(v.valueRow, r.tgmd == 7) << r.item;
        CRecord::Destroy(t);
    }
    // Stored kinds this editor never sets; a new trigger shows no sub-frame.
    CRecord* t = New(kKindAptg);
    EXPECT_EQ(TrgKindViewOf(t).frame, TrgFrame::kNone);
    for (const auto& [tgmd, item] : {std::pair{9, 10}, {4, 7}, {16, 0}, {255, 0}}) {
        t->GetChild(AptgF::sntg)->SetU8(nullptr, SntgF::tgmd, u8(tgmd));
        EXPECT_EQ(TrgKindViewOf(t).item, item) << tgmd;
        EXPECT_FALSE(TrgKindViewOf(t).valueRow);
    }
    CRecord::Destroy(t);
}

TEST_F(TriggerDialogs, KeyAndOscFields) {
    CUndoQ undo(nullptr, 1u << 20);
    CRecordDoc doc(New(kKindAptg));
    CRecord* t = doc.Root();
    const CRecord* tg = t->GetChild(AptgF::sntg);
    TrgSetKey(t, &undo, LString("7"));
    EXPECT_EQ(tg->GetU8(SntgF::tgmd) * 1000 + t->GetI32(AptgF::valu), 3055);
    TrgSetKey(t, &undo, LString("q"));
    EXPECT_EQ(tg->GetU8(SntgF::tgmd) * 1000 + t->GetI32(AptgF::valu), 4081);
    undo.Undo();
    EXPECT_EQ(tg->GetU8(SntgF::tgmd) * 1000 + t->GetI32(AptgF::valu), 3055);
    TrgSetKey(t, &undo, LString());
    EXPECT_EQ(t->GetI32(AptgF::valu), 0);
    using Key = std::pair<i32, const char*>;
    for (const Key& k : {Key{55, "7"}, {81, "Q"}, {0x141, "A"}, {0xE9, ""}, {32, ""}, {-1, ""}})
        EXPECT_STREQ(TrgKeyText(k.first).CStr(), k.second) << k.first;
    LHandler parent;
    LFrame win(&parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 0));
    LNumEdit osc(&win);
    using Osc = std::pair<const char*, i32>;
    for (const Osc& o : {Osc{"", -1},
                         {"-", -1},
                         {"-5", -1},
                         {"-0", 0},
                         {"0", 0},
                         {"42", 42},
                         {"3000000000", kI32Max},
                         {"4294967297", kI32Max},
                         {"-4294967297", -1}}) {
        osc.SetText(LString(o.first));
        EXPECT_EQ(TrgOscNumber(osc), o.second) << o.first;
    }
}

TEST_F(TriggerDialogs, SceneTriggerFields) {
    CRecord* sntg = New(kKindSntg);
    sntg->SetU8(nullptr, SntgF::tgmd, 1);
    sntg->SetU32(nullptr, SntgF::anuv, 0x123);
    CKvsLargeDlg d(app.get(), nullptr);
    d.LoadTrigger(sntg);
    EXPECT_EQ(d.fArtNet.fNet.GetValue() * 100 + d.fArtNet.fSub.GetValue() * 10 +
                  d.fArtNet.fUni.GetValue(),
              123);
    d.fSource.Select(2);
    d.UpdateFrames();
    d.SaveTrigger(sntg);
    EXPECT_EQ(sntg->GetU32(SntgF::anuv), 0x123u);
    d.fSource.Select(14);
    d.UpdateFrames();
    d.fSacn.fUni.SetValue(10);
    d.fMidiCh.SetValue(16);
    d.fChanMode.Select(1);
    d.SaveTrigger(sntg);
    EXPECT_EQ(sntg->GetU8(SntgF::tgmd), 14);
    EXPECT_EQ(sntg->GetU32(SntgF::anuv), 9u);
    EXPECT_EQ(sntg->GetU8(SntgF::mdch), 15);
    EXPECT_EQ(sntg->GetU8(SntgF::sgch), 1);
    // Emptied fields store their range's bounds, never a wrapped value.
    d.fSacn.fUni.SetText(LString());
    d.fMidiCh.SetText(LString());
    d.fFirst.SetText(LString("9999"));
    d.SaveTrigger(sntg);
    EXPECT_EQ(sntg->GetU32(SntgF::anuv), 0u);
    EXPECT_EQ(sntg->GetU8(SntgF::mdch), 0);
    EXPECT_EQ(sntg->GetU32(SntgF::bsch), 512u);
    // A universe or MIDI channel field that holds no number stores universe or
    // channel 1, not 0 less one.
    d.fSacn.fUni.SetValue(10);
    d.fSacn.fUni.SetText(LString("nan"));
    d.fMidiCh.SetValue(5);
    d.fMidiCh.SetText(LString("nan"));
    d.SaveTrigger(sntg);
    EXPECT_EQ(sntg->GetU32(SntgF::anuv), 0u);
    EXPECT_EQ(sntg->GetU8(SntgF::mdch), 0);
    // Shown: Art-Net, sACN, channel, OSC, MIDI, controller, note, UDP.
    const struct {
        i32 k;
        const char* shown;
    } kinds[] = {{0, "00000000"},  {1, "10100000"},  {2, "00100000"},  {3, "00000000"},
                 {6, "00010000"},  {7, "00001100"},  {9, "00001100"},  {10, "00001010"},
                 {11, "00001000"}, {12, "00000000"}, {14, "01100000"}, {15, "00000001"}};
    for (const auto& k : kinds) {
        d.fSource.Select(k.k);
        LHandler::Send(LPopupList_Changed, &d.fSource, &d);
        std::string shown;
        for (LPane* p : {(LPane*)&d.fArtNet, (LPane*)&d.fSacn, (LPane*)&d.fChannel, (LPane*)&d.fOsc,
                         (LPane*)&d.fMidi, (LPane*)&d.fCtl, (LPane*)&d.fNote, (LPane*)&d.fUdp})
            shown += PaneSetShown(*p) ? "1" : "0";
        EXPECT_EQ(shown, k.shown) << k.k;
        EXPECT_TRUE(PaneSetShown(d.fOption));
    }
    CRecord::Destroy(sntg);
}

TEST_F(TriggerDialogs, SceneTriggerHookCancelAndOk) {
    CPlayHooks hooks;
    InstallTriggerDialogHooks(hooks);
    CRecord* sntg = New(kKindSntg);
    sntg->SetU8(nullptr, SntgF::tgmd, 10);
    sntg->SetU8(nullptr, SntgF::mdnt, 63);
    f32 number = 7;
    bool external = true;
    Key(27);
    EXPECT_FALSE(hooks.sceneTrigger(app.get(), nullptr, sntg, &number, &external));
    EXPECT_EQ(number, 7);
    EXPECT_TRUE(external);
    Key(13);
    EXPECT_TRUE(hooks.sceneTrigger(app.get(), nullptr, sntg, &number, &external));
    EXPECT_EQ(sntg->GetU8(SntgF::tgmd) * 1000 + sntg->GetU8(SntgF::mdnt), 10063);
    EXPECT_EQ(number, 7);
    EXPECT_TRUE(external);
    external = false;
    Key(13);
    EXPECT_TRUE(hooks.sceneTrigger(app.get(), nullptr, sntg, &number, &external));
    EXPECT_FALSE(external);
    CRecord::Destroy(sntg);
}

TEST_F(TriggerDialogs, MasterFader) {
    CRecord* prpc = New(kKindPrpc);
    const struct {
        u8 mfct;
        u32 kind;
        const char* shown;
    } kinds[] = {{0, 0, "000"}, {1, 1, "101"}, {2, 3, "001"}, {3, 2, "011"}, {9, 0, "000"}};
    for (const auto& k : kinds) {
        prpc->SetU8(nullptr, PrpcF::mfct, k.mfct);
        CKvsMstFdrDlg d(app.get(), nullptr);
        d.LoadFromRecord(prpc);
        EXPECT_EQ(d.fSource.GetKind(), k.kind);
        std::string shown;
        for (LPane* p :
             {(LPane*)&d.fSource.fArtNet, (LPane*)&d.fSource.fSacn, (LPane*)&d.fSource.fDmx})
            shown += PaneSetShown(*p) ? "1" : "0";
        EXPECT_EQ(shown, k.shown) << int(k.mfct);
        d.SaveToRecord(prpc);
        EXPECT_EQ(prpc->GetU8(PrpcF::mfct), k.mfct == 9 ? 0 : k.mfct);
    }
    const struct {
        u8 mfct;
        u32 anun;
        u32 shownSacn;
        u32 net, sub, uni;
        u32 saved;
    } addr[] = {{3, 0, 1, 0, 0, 0, 0},
                {3, 9, 10, 0, 0, 9, 9},
                {1, 0x123, 292, 1, 2, 3, 0x123},
                {1, 0x8123, 32768, 1, 2, 3, 0x123},
                {0, 0x7FFF, 32768, 127, 15, 15, 0x7FFF}};
    for (const auto& a : addr) {
        prpc->SetU8(nullptr, PrpcF::mfct, a.mfct);
        prpc->SetU32(nullptr, PrpcF::anun, a.anun);
        CKvsMstFdrDlg d(app.get(), nullptr);
        d.LoadFromRecord(prpc);
        CExtCtlF& f = d.fSource;
        EXPECT_EQ(f.fSacn.fUni.GetValue(), a.shownSacn) << a.anun;
        EXPECT_EQ(f.fArtNet.fNet.GetValue() * 10000 + f.fArtNet.fSub.GetValue() * 100 +
                      f.fArtNet.fUni.GetValue(),
                  a.net * 10000 + a.sub * 100 + a.uni);
        d.SaveToRecord(prpc);
        EXPECT_EQ(prpc->GetU32(PrpcF::anun), a.saved) << a.anun;
        if (a.mfct != 3) continue;
        f.fSacn.fUni.SetText(LString("nan"));
        d.SaveToRecord(prpc);
        EXPECT_EQ(prpc->GetU32(PrpcF::anun), 0u) << "no number in the sACN field";
    }
    CPlayHooks hooks;
    InstallTriggerDialogHooks(hooks);
    prpc->SetU8(nullptr, PrpcF::mfct, 2);
    prpc->SetU32(nullptr, PrpcF::chmf, 77);
    bool vsmf = true;
    Key(27);
    EXPECT_FALSE(hooks.masterFader(app.get(), nullptr, prpc, &vsmf));
    EXPECT_TRUE(vsmf);
    Key(13);
    EXPECT_TRUE(hooks.masterFader(app.get(), nullptr, prpc, &vsmf));
    EXPECT_EQ(prpc->GetU8(PrpcF::mfct) * 1000 + prpc->GetU32(PrpcF::chmf), 2077u);
    EXPECT_TRUE(vsmf);
    CRecord::Destroy(prpc);
}

}  // namespace
