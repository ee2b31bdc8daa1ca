// The universe address window on the headless fakes.
#include "editors/CKvsUvadList.h"
#include "editors/CUvadWin.h"
#include "framework/LListNavi.h"
#include "records/PrefNodes.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

struct Stage : SeqEditStage {
    explicit Stage(const char* wp = nullptr, LHandler* parent = nullptr) {
        if (wp) NodeSet(fNode.Root(), nullptr, "wp", LString(wp));
        fWindow = CUvadWin::New(parent, fNode.Root(), fSettings.Root(), 1201);
        fWindow->Open();
    }
    ~Stage() { delete fWindow; }
    CRecord* Table() { return fSettings.Root()->GetChild(DvstF::uvas); }
    CRecord* Row(u32 i) { return Table()->GetListItem(UvasF::uvas, i); }
    CRecord* Add(u32 univ, u32 flws, const char* ip = "") {
        CRecord* r = NewKind(kFamKvt, kKindUvad);
        r->SetU32(nullptr, UvadF::univ, univ);
        r->SetU32(nullptr, UvadF::flws, flws);
        r->SetString(nullptr, UvadF::ipad, LString(ip));
        Table()->InsertItem(nullptr, UvasF::uvas, Table()->GetListCount(UvasF::uvas), r);
        return r;
    }
    CKvsUvadList& List() { return *fWindow->List(); }
    CKvsUvadCell* Cell(i32 row) {
        return static_cast<CKvsUvadCell*>(List().GetCellFrame(LCell{0, row}, false));
    }
    void Command(const char* cmd) { SendCommand(&List(), cmd); }
    void Select(i32 top, i32 bottom) { List().SetSelection(LRgn(LRect(0, top, 1, bottom))); }
    LRect Selected() { return List().Selection().GetBounds(); }
    std::string Univs() {
        std::string out;
        for (u32 i = 0; i < Table()->GetListCount(UvasF::uvas); ++i)
            out += (i ? "," : "") + std::to_string(Row(i)->GetU32(UvadF::univ));
        return out;
    }

    LKeyboard fKeys;
    CRecordDoc fSettings{NewKind(kFamKvt, kKindDvst)};
    CRecordDoc fNode{NewKind(kFamUnd, kKindPrms)};
    CUvadWin* fWindow = nullptr;
};

TEST(UvadWindow, RowsInBothForms) {
    Stage s;
    struct Case {
        u32 univ, flws;
        f32 net, sub, uni;
        const char* last;
        f32 sacn;
        const char* sacnLast;
        f32 count;
    };
    const Case cases[] = {
        {0x123, 0, 1, 2, 3, "  1/ 2/ 3", 292, "292", 1},
        {0x123, 20, 1, 2, 3, "  1/ 3/ 7", 292, "312", 21},
        {32760, 100, 127, 15, 8, "127/15/15", 32761, "32768", 101},
        {0, 9, 0, 0, 0, "  0/ 0/ 9", 1, "10", 10},
        // Past what a row can address: no count of 0, no last below the first.
        {0xFFFFFFFFu, 0xFFFFFFFFu, 127, 15, 15, "127/15/15", 32768, "32768", 32768},
    };
    for (const Case& c : cases) s.Add(c.univ, c.flws);
    for (u8 saco : {0, 1}) {
        s.fSettings.Root()->SetU8(nullptr, DvstF::saco, saco);
        for (i32 row = 0; row < 5; ++row) {
            const Case& c = cases[row];
            SCOPED_TRACE(row * 2 + saco);
            CKvsUvadCell* cell = s.Cell(row);
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(cell->fArtNet.IsShown(), saco == 0);
            EXPECT_EQ(cell->fSacn.IsShown(), saco != 0);
            if (saco) {
                EXPECT_EQ(cell->fSacnUniv.GetValue(), c.sacn);
                EXPECT_STREQ(cell->fLast.GetText().CStr(), c.sacnLast);
            } else {
                EXPECT_EQ(cell->fNet.GetValue(), c.net);
                EXPECT_EQ(cell->fSub.GetValue(), c.sub);
                EXPECT_EQ(cell->fUni.GetValue(), c.uni);
                EXPECT_STREQ(cell->fLast.GetText().CStr(), c.last);
            }
            EXPECT_EQ(cell->fCount.GetValue(), c.count);
        }
    }
}

TEST(UvadWindow, EditsOfARowAreOneUndoStepEach) {
    Stage s;
    struct Case {
        CNumVol CKvsUvadCell::*field;
        u8 saco;
        f32 value;
        u32 univ, flws;
    };
    const Case cases[] = {
        {&CKvsUvadCell::fSub, 0, 5, 0x153, 0},    {&CKvsUvadCell::fNet, 0, 2, 0x223, 0},
        {&CKvsUvadCell::fUni, 0, 9, 0x129, 0},    {&CKvsUvadCell::fSacnUniv, 1, 300, 299, 0},
        {&CKvsUvadCell::fCount, 0, 10, 0x123, 9}, {&CKvsUvadCell::fSacnUniv, 1, 1, 0, 0},
    };
    CRecord* row = s.Add(0x123, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        s.fSettings.Root()->SetU8(nullptr, DvstF::saco, c.saco);
        FixNum(s.Cell(0)->*c.field, c.value);
        EXPECT_EQ(row->GetU32(UvadF::univ), c.univ);
        EXPECT_EQ(row->GetU32(UvadF::flws), c.flws);
        EXPECT_TRUE(s.fWindow->UndoQueue().Undo());
        EXPECT_EQ(row->GetU32(UvadF::univ), 0x123u);
        EXPECT_EQ(row->GetU32(UvadF::flws), 0u);
    }
}

TEST(UvadWindow, IpAddressStoredOnReturnEnterOrLeaving) {
    Stage s;
    CRecord* row = s.Add(0, 0, "10.0.0.1");
    struct Case {
        const char* msg;
        u32 ch;
        bool stored;
    };
    const Case cases[] = {{LEditText_Down, 13, true},
                          {LEditText_Down, 3, true},
                          {LEditText_Down, 10, true},
                          {LEditText_Down, 'x', false},
                          {LEditText_Unfocused, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ch);
        row->SetString(nullptr, UvadF::ipad, LString("10.0.0.1"));
        CKvsUvadCell* cell = s.Cell(0);
        cell->fIp.SetText(LString("192.168.1.20 "));
        s.fKeys.fChar = c.ch;
        LHandler::Send(c.msg, &cell->fIp, cell);
        EXPECT_STREQ(row->GetString(UvadF::ipad).CStr(), c.stored ? "192.168.1.20 " : "10.0.0.1");
    }
}

TEST(UvadWindow, PlusAndPasteSelectWhatTheyInsert) {
    Stage s;
    for (u32 u : {10, 11, 12, 13}) s.Add(u, 0);
    s.Select(1, 3);
    LHandler::Send(LStdCtl_Selected, &s.fWindow->PlusButton(), s.fWindow);
    EXPECT_EQ(s.Univs(), "10,11,12,0,13");
    EXPECT_EQ(s.Selected(), LRect(0, 3, 1, 4));
    s.List().SetSelection(LRgn());
    LHandler::Send(LStdCtl_Selected, &s.fWindow->PlusButton(), s.fWindow);
    EXPECT_EQ(s.Univs(), "10,11,12,0,13,0");
    EXPECT_EQ(s.Selected(), LRect(0, 5, 1, 6));
    EXPECT_TRUE(s.fWindow->UndoQueue().Undo());
    EXPECT_TRUE(s.fWindow->UndoQueue().Undo());
    EXPECT_EQ(s.Univs(), "10,11,12,13");

    s.Select(0, 2);
    s.Command(LStdCmd_Copy);
    s.Select(2, 4);
    s.Command(LStdCmd_Paste);
    EXPECT_EQ(s.Univs(), "10,11,10,11,12,13");
    EXPECT_EQ(s.Selected(), LRect(0, 2, 1, 4));
    s.List().SetSelection(LRgn());
    s.Command(LStdCmd_Paste);
    EXPECT_EQ(s.Univs(), "10,11,10,11,12,13,10,11");
    EXPECT_EQ(s.Selected(), LRect(0, 6, 1, 8));
    EXPECT_TRUE(s.fWindow->UndoQueue().Undo());
    EXPECT_TRUE(s.fWindow->UndoQueue().Undo());
    EXPECT_EQ(s.Univs(), "10,11,12,13");
}

// Opened from the control window, whose history holds a sequence renamed:
// "+", a count typed, then Undo four times takes back the window's own two
// steps; then Undo is dimmed, and its key takes back nothing of the control
// window's.
TEST(UvadWindow, UndoTakesBackItsOwnStepsAloneAndIsDimmedWhenNoneAreLeft) {
    CUndoQ control(nullptr, 0x10000);
    LHandler rename(&control);
    CRecordDoc seq(NewKind(kFamKvt, kKindSqnc));
    seq.Root()->SetString(nullptr, SqncF::sqnm, LString("Stag"));
    seq.Root()->SetString(&rename, SqncF::sqnm, LString("Stage"));
    CRecord::ClearCoalescing();
    Stage s(nullptr, &control);
    LHandler::Send(LStdCtl_Selected, &s.fWindow->PlusButton(), s.fWindow);
    ASSERT_EQ(s.Table()->GetListCount(UvasF::uvas), 1u);
    FixNum(s.Cell(0)->fCount, 4);
    EXPECT_EQ(s.Row(0)->GetU32(UvadF::flws), 3u);
    LMenuBar bar(nullptr, "APP");
    LMenuItem* undo = nullptr;
    for (u32 m = 0; !undo && m < bar.CountMenus(); ++m)
        for (u32 i = 0; !undo && i < bar.MenuAt(m)->CountItems(); ++i)
            if (bar.MenuAt(m)->ItemAt(i)->HasCommand(LStdCmd_Undo)) undo = bar.MenuAt(m)->ItemAt(i);
    ASSERT_NE(undo, nullptr);
    const bool enabled[] = {true, true, false, false};
    for (u32 n = 0; n < 4; ++n) {
        SCOPED_TRACE(n);
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, &s.List());
        EXPECT_EQ(bool(undo->fEnabled), enabled[n]);
        // Chosen by its key all the same.
        LHandler::Send(LMenuItem_Selected, undo, &s.List());
    }
    EXPECT_EQ(s.Table()->GetListCount(UvasF::uvas), 0u);
    EXPECT_STREQ(seq.Root()->GetString(SqncF::sqnm).CStr(), "Stage");
    EXPECT_TRUE(control.CanUndo());
}

TEST(UvadWindow, TitlePlacementAndWidth) {
    struct Case {
        const char* wp;
        bool applied;
    };
    for (const Case& c : {Case{"20 80 400 400", true}, Case{"20 80 5 50", false}}) {
        SCOPED_TRACE(c.wp);
        LRect shown, stored;
        {
            Stage s(c.wp);
            // Named by its device: two devices' windows are told apart.
            EXPECT_EQ(s.fWindows.Find(s.fWindow->Window()->Native())->title,
                      "1201 Universe Addresses");
            shown = s.fWindow->GetWindowBounds();
            EXPECT_EQ(shown.left == 20 && shown.top == 80 && shown.bottom == 400, c.applied);
            LWindowPlacer placer(s.fWindow->Window(), false);
            placer.fMaxWidth = placer.fMaxHeight = 5000;
            LHandler::Send(LWindowPlacer_Grow, &placer, s.fWindow);
            LDrawCtx ctx;
            const i32 pref = s.fWindow->GetPrefWidth(&ctx, 0);
            EXPECT_EQ(placer.fMinWidth, pref);
            EXPECT_EQ(placer.fMaxWidth, pref);
            EXPECT_EQ(placer.fMaxHeight, 5000);
            delete s.fWindow;
            s.fWindow = nullptr;
            stored = GetRectFromString(s.fNode.Root(), "wp");
        }
        EXPECT_EQ(stored, shown);
    }
}

}  // namespace
