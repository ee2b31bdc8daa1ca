// The aux-play window and its trigger list on the headless fakes: binding,
// adding, pasting, the kind popup and the fields of each kind, the test button
// and the play marks.
#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsLargeDlg.h"
#include "editors/CNoteEdit.h"
#include "framework/LMenu.h"
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
    void Fix(i32 row, TrgFrame f, u32 i, f32 v) {
        CNumVol& n = Cell(row).Frame(f).Num(i);
        n.SetValue(v);
        LHandler::Send(CNumVol_Fix, &n, &Cell(row).Frame(f));
    }
    void Type(i32 row, TrgFrame f, const char* text) {
        LEditText& e = *Cell(row).Frame(f).fFields[0];
        e.SetText(LString(text));
        e.NotifyChange();
    }
    void Command(LHandler* to, const char* cmd) {
        LMenuItem item(nullptr);
        item.SetCommand(cmd);
        LHandler::Send(LMenuItem_Selected, &item, to);
    }
    std::unique_ptr<CKvsAxPlyWin> win;
};

TEST(AuxPlay, ListAddPasteBindAndUnbind) {
    Stage s;
    EXPECT_FALSE(s.win->EditorShown());  // no selection: no trigger editor
    EXPECT_EQ(s.win->fList->Rows(), 3);
    LHandler::Send(LStdCtl_Selected, s.win->fAdd, s.win.get());
    EXPECT_EQ(s.win->fList->Rows(), 4);
    EXPECT_EQ(s.win->fList->SelectedRow(), 3);  // appended, its name edited
    s.fUndo.Undo();
    EXPECT_EQ(s.Names(s.Plays(), AplsF::plys, AplyF::name), "Intro,Show,Finale");
    // Two copied and pasted: both new rows selected.
    s.win->fList->SetSelection(LRgn(LRect(0, 0, 1, 2)));
    s.Command(s.win->fList, LStdCmd_Copy);
    s.win->fList->SetSelection(LRgn());
    s.Command(s.win->fList, LStdCmd_Paste);
    EXPECT_EQ(s.Names(s.Plays(), AplsF::plys, AplyF::name), "Intro,Show,Finale,Intro,Show");
    EXPECT_EQ(s.win->fList->Selection().GetBounds(), LRect(0, 3, 1, 5));
    // Bound, then the bound one removed: the trigger list lets go of it.
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
    // Only the height can change.
    LWindowPlacer placer(s.win->Window(), false);
    LHandler::Send(LWindowPlacer_Grow, &placer, s.win.get());
    EXPECT_EQ(placer.fMaxWidth, placer.fMinWidth);
}

TEST(AuxPlay, KindPopupAndFields) {
    Stage s;
    s.Bind(1);
    EXPECT_FALSE(PaneSetShown(s.Cell(0).Frame(TrgFrame::kArtNet)));
    s.Kind(0, 2);  // Art-Net with count
    EXPECT_EQ(s.Sntg(0)->GetU8(SntgF::tgmd) * 100 + s.Sntg(0)->GetU8(SntgF::sgch) * 10 +
                  s.Trigger(0)->GetI32(AptgF::valu),
              111);
    CTrgSubFrame& art = s.Cell(0).Frame(TrgFrame::kArtNet);
    EXPECT_TRUE(PaneSetShown(art));
    EXPECT_TRUE(PaneSetShown(*art.fFields[4]));
    EXPECT_EQ(art.Num(4).GetValue(), 1);
    s.Kind(0, 1);
    EXPECT_FALSE(PaneSetShown(*s.Cell(0).Frame(TrgFrame::kArtNet).fFields[4]));
    // Field -> stored value.
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
    // Shown again from the record: program 1 is valu 0.
    s.Kind(0, 13);
    s.Fix(0, TrgFrame::kMidiProg, 1, 1);
    s.Trgs().RefreshAll();
    EXPECT_EQ(s.Cell(0).Frame(TrgFrame::kMidiProg).Num(1).GetValue(), 1);
    s.Trigger(0)->SetI32(nullptr, AptgF::valu, 41);
    s.Trgs().RefreshAll();
    EXPECT_EQ(s.Cell(0).Frame(TrgFrame::kMidiProg).Num(1).GetValue(), 42);
    // Net 1, sub-net 2, universe 3.
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
    s.Type(0, TrgFrame::kKey, "7q");
    EXPECT_EQ(s.Sntg(0)->GetU8(SntgF::tgmd) * 1000 + s.Trigger(0)->GetI32(AptgF::valu), 4081);
    // A device's value that is no letter or digit shows empty and stores nothing.
    s.Trigger(0)->SetI32(nullptr, AptgF::valu, 0xE9);
    s.Trgs().RefreshAll();
    EXPECT_STREQ(s.Cell(0).Frame(TrgFrame::kKey).fFields[0]->GetText().CStr(), "");
    EXPECT_EQ(s.Trigger(0)->GetI32(AptgF::valu), 0xE9);
    s.Kind(0, 9);
    for (const auto& o :
         {std::pair<const char*, i32>{"42", 42}, {"", -1}, {"3000000000", 2147483647}}) {
        s.Type(0, TrgFrame::kOsc, o.first);
        EXPECT_EQ(s.Trigger(0)->GetI32(AptgF::valu), o.second) << o.first;
    }
    s.Type(0, TrgFrame::kOsc, "");
    s.Trgs().RefreshAll();
    EXPECT_STREQ(s.Cell(0).Frame(TrgFrame::kOsc).fFields[0]->GetText().CStr(), "");
}

TEST(AuxPlay, TestButtonAndPlayMarks) {
    Stage s;
    s.Bind(3);
    for (int i = 0; i < 2; ++i) LHandler::Send(CStateButton_Push, &s.Cell(1).fTest, &s.Cell(1));
    EXPECT_EQ(s.fDevice.fLog, (std::vector<std::string>{"?=2 1", "?=2 1"}));
    // The mark sits on row aptg[2] of the device state, and follows it.
    CRecord* state = s.fDevice.fState.Root();
    auto marks = [&] {
        std::string m;
        for (i32 r = 0; r < 3; ++r) m += PaneSetShown(s.Cell(r).fMark) ? "1" : "0";
        return m;
    };
    const i32 two[2] = {0, 5};
    state->SetArray(nullptr, DvssF::aptg, two, 2);
    EXPECT_EQ(marks(), "000");  // aux play 2 is past the array's end
    const i32 three[3] = {0, 5, 2};
    state->SetArray(nullptr, DvssF::aptg, three, 3);
    EXPECT_EQ(marks(), "001");
    const i32 moved[3] = {0, 5, 0};
    state->SetArray(nullptr, DvssF::aptg, moved, 3);
    EXPECT_EQ(marks(), "100");
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
