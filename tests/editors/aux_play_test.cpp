// The aux-play window and its trigger list on the headless fakes.
#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsLargeDlg.h"
#include "editors/CNoteEdit.h"
#include "framework/LWindow.h"
#include "records/AppPrefsDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/Triggers.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

struct Stage : SeqEditStage {
    Stage() {
        for (const char* n : {"Intro", "Show", "Finale"}) AddAux(n);
        win = std::make_unique<CKvsAxPlyWin>(&fUndo, nullptr, &fDevice, Settings());
    }
    CRecord* Plays() { return Settings()->GetChild(SqstF::axps); }
    CRecord* AddAux(const char* name) {
        const u32 i = AddAuxPlay(Plays(), nullptr);
        CRecord* a = Plays()->GetListItem(AplsF::plys, i);
        a->SetString(nullptr, AplyF::name, LString(name));
        return a;
    }
    CAxPlyTrgList& Trgs() { return *win->fTrgList; }
    CAxPlyTrgCell& Cell(i32 row) {
        return *static_cast<CAxPlyTrgCell*>(Trgs().GetCellFrame(LCell{0, row}, false));
    }
    // Aux play 2 bound, with n triggers.
    CRecord* Bind(u32 n) {
        CRecord* a = Plays()->GetListItem(AplsF::plys, 2);
        for (u32 i = 0; i < n; ++i) AddAuxTrigger(a, nullptr);
        win->fList->SelectCell(LCell{0, 2});
        LHandler::Send(LListPane_SelChange, win->fList, win.get());
        return a;
    }
    CRecord* Trigger(u32 row) { return Trgs().AuxPlay()->GetListItem(AplyF::trgs, row); }
    const CRecord* Sntg(u32 row) { return Trigger(row)->GetChild(AptgF::sntg); }
    void Kind(i32 row, i32 item) {
        Cell(row).fKind.Select(item);
        LHandler::Send(LPopupList_Changed, &Cell(row).fKind, &Cell(row));
    }
    void Fix(i32 row, TrgFrame f, u32 i, f32 v) { FixNum(Cell(row).Frame(f).Num(i), v); }
    void Type(i32 row, TrgFrame f, const char* text) {
        LEditText& e = *Cell(row).Frame(f).fFields[0];
        e.SetText(LString(text));
        e.NotifyChange();
    }
    std::unique_ptr<CKvsAxPlyWin> win;
};

TEST(AuxPlay, ListAddPasteBindAndUnbind) {
    Stage s;
    EXPECT_FALSE(s.win->EditorShown());
    EXPECT_EQ(s.win->fList->Rows(), 3);
    LHandler::Send(LStdCtl_Selected, s.win->fAdd, s.win.get());
    EXPECT_EQ(s.win->fList->Rows(), 4);
    EXPECT_EQ(s.win->fList->SelectedRow(), 3);
    s.fUndo.Undo();
    EXPECT_EQ(s.Names(s.Plays(), AplsF::plys, AplyF::name), "Intro,Show,Finale");
    s.win->fList->SetSelection(LRgn(LRect(0, 0, 1, 2)));
    SendCommand(s.win->fList, LStdCmd_Copy);
    s.win->fList->SetSelection(LRgn());
    SendCommand(s.win->fList, LStdCmd_Paste);
    EXPECT_EQ(s.Names(s.Plays(), AplsF::plys, AplyF::name), "Intro,Show,Finale,Intro,Show");
    EXPECT_EQ(s.win->fList->Selection().GetBounds(), LRect(0, 3, 1, 5));
    CRecord* a = s.Bind(2);
    EXPECT_TRUE(s.win->EditorShown());
    EXPECT_EQ(s.Trgs().AuxPlay(), a);
    EXPECT_EQ(s.Trgs().Rows(), 2);
    LHandler::Send(LStdCtl_Selected, s.win->fAddTrg, s.win.get());
    EXPECT_EQ(s.Trgs().Rows(), 3);
    s.Plays()->RemoveItem(nullptr, AplsF::plys, 2);
    EXPECT_EQ(s.Trgs().AuxPlay(), nullptr);
    EXPECT_EQ(s.Trgs().Rows(), 0);
    s.win->fList->SetSelection(LRgn());
    LHandler::Send(LListPane_SelChange, s.win->fList, s.win.get());
    EXPECT_FALSE(s.win->EditorShown());
    LWindowPlacer placer(s.win->Window(), false);
    LHandler::Send(LWindowPlacer_Grow, &placer, s.win.get());
    EXPECT_EQ(placer.fMaxWidth, placer.fMinWidth);
}

TEST(AuxPlay, KindPopupAndFields) {
    Stage s;
    s.Bind(1);
    EXPECT_FALSE(PaneSetShown(s.Cell(0).Frame(TrgFrame::kArtNet)));
    s.Kind(0, 2);
    CTrgSubFrame& art = s.Cell(0).Frame(TrgFrame::kArtNet);
    EXPECT_TRUE(PaneSetShown(art));
    EXPECT_TRUE(PaneSetShown(*art.fFields[4]));
    EXPECT_EQ(art.Num(4).GetValue(), 1);
    s.Kind(0, 1);
    EXPECT_FALSE(PaneSetShown(*s.Cell(0).Frame(TrgFrame::kArtNet).fFields[4]));
    const struct {
        i32 item;
        TrgFrame f;
        u32 i;
        f32 v;
        u8 field;
        i32 want;
    } fields[] = {
        {1, TrgFrame::kArtNet, 2, 3, SntgF::anuv, 3},
        {3, TrgFrame::kSacn, 0, 1, SntgF::anuv, 0},
        {3, TrgFrame::kSacn, 0, 32768, SntgF::anuv, 32767},
        {5, TrgFrame::kDmx, 0, 512, SntgF::bsch, 512},
        {10, TrgFrame::kMidiCtl, 0, 16, SntgF::mdch, 15},
        {10, TrgFrame::kMidiCtl, 1, 7, SntgF::mdct, 7},
        {12, TrgFrame::kMidiNote, 1, 69, SntgF::mdnt, 69},
        {13, TrgFrame::kMidiProg, 1, 1, 100 + AptgF::valu, 0},
        {13, TrgFrame::kMidiProg, 1, 128, 100 + AptgF::valu, 127},
        {14, TrgFrame::kInput, 0, 3, 100 + AptgF::valu, 2},
        {15, TrgFrame::kInput, 0, 3, 100 + AptgF::valu, 3},
        {8, TrgFrame::kJoystick, 0, 32, 100 + AptgF::valu, 32},
    };
    for (const auto& f : fields) {
        s.Kind(0, f.item);
        s.Fix(0, f.f, f.i, f.v);
        const i32 got = f.field >= 100 ? s.Trigger(0)->GetI32(u8(f.field - 100))
                                       : i32(s.Sntg(0)->GetU32(f.field));
        EXPECT_EQ(got, f.want) << f.item << " " << f.i;
    }
    s.Kind(0, 13);
    s.Fix(0, TrgFrame::kMidiProg, 1, 1);
    s.Trgs().RefreshAll();
    EXPECT_EQ(s.Cell(0).Frame(TrgFrame::kMidiProg).Num(1).GetValue(), 1);
    s.Kind(0, 1);
    s.Fix(0, TrgFrame::kArtNet, 0, 1);
    s.Fix(0, TrgFrame::kArtNet, 1, 2);
    s.Fix(0, TrgFrame::kArtNet, 2, 3);
    EXPECT_EQ(s.Sntg(0)->GetU32(SntgF::anuv), 291u);
}

TEST(AuxPlay, KeyAndOscFields) {
    Stage s;
    s.Bind(1);
    s.Kind(0, 7);
    s.Type(0, TrgFrame::kKey, "a");
    s.Type(0, TrgFrame::kKey, "a7");
    EXPECT_STREQ(s.Cell(0).Frame(TrgFrame::kKey).fFields[0]->GetText().CStr(), "7");
    EXPECT_EQ(s.Sntg(0)->GetU8(SntgF::tgmd) * 1000 + s.Trigger(0)->GetI32(AptgF::valu), 3055);
    // A device's value that is no letter or digit shows empty and stores nothing.
    s.Trigger(0)->SetI32(nullptr, AptgF::valu, 0xE9);
    s.Trgs().RefreshAll();
    EXPECT_STREQ(s.Cell(0).Frame(TrgFrame::kKey).fFields[0]->GetText().CStr(), "");
    EXPECT_EQ(s.Trigger(0)->GetI32(AptgF::valu), 0xE9);
    s.Kind(0, 9);
    s.Type(0, TrgFrame::kOsc, "42");
    EXPECT_EQ(s.Trigger(0)->GetI32(AptgF::valu), 42);
    s.Type(0, TrgFrame::kOsc, "");
    EXPECT_EQ(s.Trigger(0)->GetI32(AptgF::valu), -1);
    s.Trgs().RefreshAll();
    EXPECT_STREQ(s.Cell(0).Frame(TrgFrame::kOsc).fFields[0]->GetText().CStr(), "");
}

TEST(AuxPlay, TestButtonAndPlayMarks) {
    Stage s;
    s.Bind(3);
    for (int i = 0; i < 2; ++i) LHandler::Send(CStateButton_Push, &s.Cell(1).fTest, &s.Cell(1));
    EXPECT_EQ(s.fDevice.fLog, (std::vector<std::string>{"?=2 1", "?=2 1"}));
    CRecord* state = s.fDevice.fState.Root();
    auto marks = [&] {
        std::string m;
        for (i32 r = 0; r < 3; ++r) m += PaneSetShown(s.Cell(r).fMark) ? "1" : "0";
        return m;
    };
    const i32 aptg[][3] = {{0, 5, 0}, {0, 5, 2}, {0, 5, 0}};
    const char* want[] = {"000", "001", "100"};  // first: aux play 2 past the array's end
    for (u32 i = 0; i < 3; ++i) {
        state->SetArray(nullptr, DvssF::aptg, aptg[i], i ? 3 : 2);
        EXPECT_EQ(marks(), want[i]) << i;
    }
}

TEST(AuxPlay, PlacementKeptInTheControllerPreferences) {
    Stage s;
    CRecordDoc prefs(NewKind(kFamKvs, kKindPref));
    SetAppPrefsDoc(&prefs);
    s.win->SetWindowBounds(LRect(50, 60, 850, 560));
    const LRect placed = s.win->GetWindowBounds();
    s.win.reset();
    EXPECT_EQ(
        GetRectFromString(prefs.Root()->GetChild(PrefF::ctlr)->GetChild(PrctF::prms), "axpplc"),
        placed);
    CKvsAxPlyWin again(&s.fUndo, nullptr, &s.fDevice, s.Settings());
    EXPECT_EQ(again.GetWindowBounds(), placed);
    SetAppPrefsDoc(nullptr);
}

}  // namespace
