// The schedule window on the headless fakes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CSchPrdList.h"
#include "records/AppPrefsDoc.h"
#include "records/PrefNodes.h"
#include "records/Schedule.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

bool Shown(const LPane& p) {
    return (p.State() & LPane::kVisible) != 0;
}

struct Stage : SeqEditStage {
    explicit Stage(u32 events = 0) {
        SetAppPrefsDoc(&fPrefs);
        for (u32 i = 0; i < events; ++i) InsertNewScheduleEvent(Sched(), nullptr, i);
        Open();
    }
    ~Stage() {
        win.reset();
        SetAppPrefsDoc(nullptr);
    }
    void Open() { win = std::make_unique<CKvsSchWin>(&fUndo, nullptr, &fDevice, Settings()); }
    CRecord* Sched() { return Settings()->GetChild(SqstF::schd); }
    CRecord* Event(u32 i) { return Sched()->GetListItem(SchdF::flts, i); }
    CRecord* State() { return fDevice.fState.Root(); }
    CRecord* Params() { return fPrefs.Root()->GetChild(PrefF::ctlr)->GetChild(PrctF::prms); }
    CKvsSchEditFrm& Edit() { return *win->EditFrame(); }
    CKvsSchList& List() { return *Edit().fList; }
    CKvsSchCell* Cell(i32 row) {
        return static_cast<CKvsSchCell*>(List().GetCellFrame(LCell{0, row}, false));
    }
    CSchPrdCell* Period(i32 row) {
        return static_cast<CSchPrdCell*>(Edit().fPeriods->GetCellFrame(LCell{0, row}, false));
    }
    std::string Marks() {
        std::string s;
        for (u32 i = 0; i < List().Count(); ++i) s += i32(i) == List().Current() ? "1" : "0";
        return s;
    }
    void Select(i32 row) { List().SelectCell(LCell{0, row}); }
    std::string Parts(const CRecord* p, u8 field) {
        std::string s;
        for (u32 i = 0; i < p->GetArrayCount(field); ++i)
            s += std::to_string(static_cast<const u32*>(p->GetArrayData(field))[i]) + " ";
        return s;
    }
    CRecordDoc fPrefs{NewKind(kFamKvs, kKindPref)};
    std::unique_ptr<CKvsSchWin> win;
};

TEST(Schedule, WindowTitleAndPlacement) {
    for (const char* stored : {"10 10 5 50", "30 100 630 740"}) {
        Stage s;
        const LRect layout = s.win->GetWindowBounds();
        NodeSet(s.Params(), nullptr, "schplc", LString(stored));
        s.Open();
        EXPECT_EQ(s.win->GetWindowBounds(), stored[0] == '3' ? LRect(30, 100, 630, 740) : layout);
    }
    Stage s;
    EXPECT_EQ(s.fWindows.Find(s.win->Window()->Native())->title, "1 Schedule");
    SendCommand(s.win.get(), "cSchTest");
    const LRect where = s.win->GetWindowBounds();
    const LRect test = s.win->TestWindow()->GetWindowBounds();
    s.win.reset();
    EXPECT_EQ(GetRectFromString(s.Params(), "schplc"), where);
    EXPECT_EQ(GetRectFromString(s.Params(), "stsplc"), test);
}

TEST(Schedule, RowsMarksAndAdd) {
    Stage s(6);
    const struct {
        u32 scen;
        const char* marks;
    } cases[] = {{2, "001000"}, {4294967295u, "000000"}, {7, "000000"}, {0, "100000"}};
    for (const auto& c : cases) {
        s.State()->SetU32(nullptr, DvssF::scen, c.scen);
        EXPECT_EQ(s.Marks(), c.marks) << c.scen;
    }
    EXPECT_TRUE(Shown(s.Cell(0)->fMark) && !Shown(s.Cell(1)->fMark));
    s.Event(1)->RemoveChild(nullptr, ScevF::axud);
    s.List().RefreshAll();
    EXPECT_EQ(s.Cell(1)->fSlot.Text().GetText(), LString(""));
    s.Select(5);
    LHandler::Send(LStdCtl_Selected, &s.Edit().fAdd, &s.Edit());
    EXPECT_TRUE(s.List().Count() == 7 && s.List().SelectedRow() == 0);
    EXPECT_TRUE(s.fUndo.Undo());
    EXPECT_EQ(s.List().Count(), 6u);
}

TEST(Schedule, PlayAndSequenceChoice) {
    Stage s(4);
    for (int press = 0; press < 2; ++press)
        LHandler::Send(CStateButton_Push, &s.Cell(3)->fPlay, s.Cell(3));
    EXPECT_EQ(s.fDevice.fLog, (std::vector<std::string>{"plsn=/schd/flts/3", "plsn=/schd/flts/3"}));
    EXPECT_EQ(s.fDevice.fCmd.Root()->GetString(DvcmF::plsn), LString(""));
    EXPECT_EQ(s.List().SelectedRow(), 3);
    EXPECT_EQ(s.win->FocusedLeaf(), &s.List());  // the menus' target
    EXPECT_FALSE(s.fUndo.CanUndo());
    s.Event(1)->RemoveChild(nullptr, ScevF::axud);
    LHandler::Send(CKvsSeqSlotEx_Seq, &s.Cell(1)->fSlot, s.Cell(1));
    ASSERT_NE(s.Event(1)->GetChild(ScevF::axud), nullptr);
    EXPECT_TRUE(s.fUndo.Undo() && !s.fUndo.CanUndo());
    EXPECT_EQ(s.Event(1)->GetChild(ScevF::axud), nullptr);
}

TEST(Schedule, ListenerPasteAndReadSchedule) {
    Stage s(3);
    s.State()->SetU32(nullptr, DvssF::scen, 1);
    EXPECT_EQ(s.Marks(), "010");
    s.Event(2)->SetString(nullptr, ScevF::name, LString("Late"));
    EXPECT_EQ(s.Cell(2)->fName.GetText(), LString("Late"));
    s.Select(2);
    SendCommand(&s.List(), LStdCmd_Copy);
    EXPECT_TRUE(s.fClip.HasType(LString(kScrapSchedule)));
    s.Select(1);
    SendCommand(&s.List(), LStdCmd_Paste);
    EXPECT_EQ(s.Event(1)->GetString(ScevF::name), LString("Late"));
    EXPECT_TRUE(s.List().IsSelected(LCell{0, 1}) && s.List().Count() == 4);
    CRecord* fresh = NewKind(kFamKvt, FourCC("SCHD"));
    InsertNewScheduleEvent(fresh, nullptr, 0);
    CRecord::Destroy(s.Settings()->ReplaceChild(nullptr, SqstF::schd, fresh));
    EXPECT_EQ(s.List().Rows(), 1);
    EXPECT_TRUE(s.Edit().fPeriods->Event() == nullptr && s.Edit().fAux->Record() == nullptr);
}

TEST(Schedule, Periods) {
    Stage s(1);
    s.Select(0);
    LHandler::Send(LStdCtl_Selected, s.Edit().fAddPeriod, s.Edit().fInner);
    ASSERT_EQ(s.Event(0)->GetListCount(ScevF::prds), 1u);
    CRecord* p = s.Event(0)->GetListItem(ScevF::prds, 0);
    CSchPrdCell* c = s.Period(0);
    EXPECT_TRUE(c->fRange.Selected() == 6 && Shown(c->fStart.fSecond) &&
                !Shown(c->fStart.fMinute) && !Shown(c->fStart.fYear) && !Shown(c->fStart.fWeekday));
    c->fRange.SelectItem(0);
    LHandler::Send(CHeaderFrame_Selected, &c->fRange, c);
    EXPECT_EQ(s.Parts(p, ScepF::strt), "0 0 0 0 1 1 2020 ");
    EXPECT_EQ(s.Parts(p, ScepF::endp), "0 0 0 0 1 1 2020 ");
    EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::strt, kSchWeekday), 1u);
    EXPECT_TRUE(s.fUndo.Undo() && p->GetArrayCount(ScepF::strt) == 0 && p->GetU8(ScepF::rang) == 0);

    const struct {
        u8 rang;
        u32 year, month, day, stored;
    } days[] = {
        {5, 2023, 2, 31, 29}, {6, 2023, 2, 30, 28}, {6, 2024, 2, 31, 29}, {4, 2023, 2, 31, 31}};
    for (const auto& d : days) {
        p->SetU8(nullptr, ScepF::rang, d.rang);
        c = s.Period(0);
        c->fStart.fYear.SetValue(f32(d.year));
        c->fStart.fMonth.SetValue(f32(d.month));
        c->fStart.fDay.SetValue(f32(d.day));
        LHandler::Send(CNumVol_Fix, &c->fStart.fDay, &c->fStart);
        EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::strt, kSchDay), d.stored) << int(d.rang);
        EXPECT_EQ(c->fStart.fDay.GetValue(), d.day);
        s.fServices.Advance(1000);
        LTimer::FireDue(s.fServices.fNow, nullptr, nullptr, true);
        EXPECT_EQ(s.Period(0)->fStart.fDay.GetValue(), d.stored);
    }
    p->SetU8(nullptr, ScepF::rang, 3);
    c = s.Period(0);
    EXPECT_TRUE(Shown(c->fStart.fWeekday) && Shown(c->fStart.fHour) && !Shown(c->fStart.fDay) &&
                !Shown(c->fStart.fMonth));
    for (const auto& [item, day] : {std::pair{0, 1u}, std::pair{6, 7u}}) {
        s.Period(0)->fStart.fWeekday.Select(item);
        LHandler::Send(LPopupList_Changed, &s.Period(0)->fStart.fWeekday, &s.Period(0)->fStart);
        EXPECT_EQ(SchPeriodGetTimePart(p, ScepF::strt, kSchWeekday), day);
    }
    p->SetU8(nullptr, ScepF::rang, 9);
    c = s.Period(0);
    EXPECT_TRUE(c->fRange.Selected() == 0 && p->GetU8(ScepF::rang) == 9);
    EXPECT_EQ(c->fStart.fDay.GetValue(), SchPeriodGetTimePart(p, ScepF::strt, kSchDay));
}

TEST(Schedule, ConditionsAndWeekList) {
    Stage s(1);
    CRecord* ev = s.Event(0);
    ev->SetString(nullptr, ScevF::fcph, LString("09"));
    s.Select(0);
    CKvsSchPrmFrm& f = *s.Edit().fPrm;
    EXPECT_EQ(f.fHour.GetText(), LString("09"));
    const u8 fields[] = {ScevF::fcpy, ScevF::fcpm, ScevF::fcpd,
                         ScevF::fcph, ScevF::fcpn, ScevF::fcps};
    for (u8 field : fields) {
        f.Edit(field)->SetText(LString("1-3|x"));
        LHandler::Send(LEditText_Change, f.Edit(field), &f);
        EXPECT_EQ(ev->GetString(field), LString("1-3|x")) << int(field);
    }
    const struct {
        const char* fcpw;
        const char* ticked;
    } loads[] = {{"2-4", "0111000"}, {"1|7", "1000001"}, {"5-2", "0000100"}, {"", "0000000"}};
    for (const auto& c : loads) {
        ev->SetString(nullptr, ScevF::fcpw, LString(c.fcpw));
        std::string t;
        for (u32 i = 0; i < 7; ++i) t += f.fWeek.Day(i) ? "1" : "0";
        EXPECT_EQ(t, c.ticked) << c.fcpw;
    }
    ev->SetString(nullptr, ScevF::fcpw, LString("2-4"));
    auto click = [&](i32 day) {
        auto* cell = static_cast<CWeekCell*>(f.fWeek.GetCellFrame(LCell{day, 0}, false));
        LHandler::Send(LStdCtl_Selected, &cell->fButton, cell);
    };
    click(4);
    EXPECT_EQ(ev->GetString(ScevF::fcpw), LString("2,3,4,5,"));
    for (i32 d : {1, 2, 3, 4}) click(d);
    EXPECT_EQ(ev->GetString(ScevF::fcpw), LString(""));
}

TEST(Schedule, ExecutionFrame) {
    Stage s(1);
    CRecord* ex = s.Event(0)->GetChild(ScevF::axud);
    ex->SetU32(nullptr, ScexF::tmdr, 3725);
    ex->SetI32(nullptr, ScexF::syof, 450);
    s.Select(0);
    CKvsSchAuxFrm& a = *s.Edit().fAux;
    EXPECT_EQ(a.fDuration.GetText(), LString("01:02:05"));
    EXPECT_FALSE(Shown(a.fOffset));
    ex->SetU8(nullptr, ScexF::symd, 2);
    EXPECT_TRUE(Shown(a.fOffset) && a.fOffset.GetScaledValue(1000) == 450);
    a.fOffset.SetTime(123, 100);
    LHandler::Send(CNumVol_Fix, &a.fOffset, &a);
    EXPECT_EQ(ex->GetI32(ScexF::syof), 1230);
    CRecord* fresh = NewKind(kFamKvt, kKindScex);
    fresh->SetU32(nullptr, ScexF::tmdr, 60);
    CRecord::Destroy(s.Event(0)->ReplaceChild(nullptr, ScevF::axud, fresh));
    EXPECT_TRUE(a.Record() == fresh && a.fDuration.GetText() == LString("00:01:00"));
    s.Event(0)->RemoveChild(nullptr, ScevF::axud);
    EXPECT_FALSE(a.Record() || Shown(a));
}

TEST(Schedule, CheckBoxModeAndNoSelection) {
    Stage s(2);
    CKvsSchEditFrm& e = s.Edit();
    for (u8 insc : {0, 1, 0}) {
        s.State()->SetU8(nullptr, DvssF::insc, insc);
        EXPECT_EQ(e.fCheck.GetState(), insc == 0 ? 1 : 0);
    }
    for (u8 state : {0, 1, 1}) {
        e.fCheck.SetState(state);
        LHandler::Send(LStdCheck_Change, &e.fCheck, &e);
    }
    EXPECT_EQ(s.fDevice.fLog, (std::vector<std::string>{"?=1", "?=0", "?=0"}));
    EXPECT_EQ(s.fDevice.fCmd.Root()->GetI32(DvcmF::sisc), -1);
    e.fMode.Select(2);
    LHandler::Send(LPopupList_Changed, &e.fMode, &e);
    EXPECT_EQ(s.Settings()->GetU8(SqstF::ustc), 2);
    EXPECT_FALSE(s.fUndo.CanUndo());
    s.Settings()->SetU8(nullptr, SqstF::ustc, 1);
    EXPECT_EQ(e.fMode.GetSelected(), 1);
    s.Select(1);
    EXPECT_TRUE(Shown(*e.fPrm) && Shown(*e.fAux));
    s.List().SelectNone();
    EXPECT_FALSE(Shown(*e.fPrm) || Shown(*e.fAux) || e.fPeriods->Event());
}

// A frame that puts off what its panes defer until Loop(), as the main loop does.
class LoopFrame : public LFrame {
public:
    explicit LoopFrame(LFrame* owner) : LFrame(owner, owner) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LPane_Defer) && msg.source != this) {
            fPut.push_back(static_cast<LPane*>(msg.source));
            return LMessage();
        }
        return LFrame::HandleMessage(msg);
    }
    void Loop() {
        std::vector<LPane*> put;
        put.swap(fPut);
        for (LPane* p : put) LHandler::Send(LPane_Deferred, p, p);
    }
    std::vector<LPane*> fPut;
};

// Counts the regions the list is asked to draw again: a row refreshed on its
// own is one.
class CountingList : public CKvsSchList {
public:
    using CKvsSchList::CKvsSchList;
    void InvalidateRgn(const LRgn& region) override {
        ++fVisits;
        CKvsSchList::InvalidateRgn(region);
    }
    i32 fVisits = 0;
};

TEST(Schedule, APasteAtRow1AndItsUndoAndRedoCostTheListAlikeAtAnyLength) {
    // 100 events pasted at row 1 of 300 and of 1,200 in test mode, each
    // step's refresh put off to the loop.
    i32 visits[2][3];
    for (i32 i = 0; i < 2; ++i) {
        const u32 n = i ? 1200 : 300;
        Stage s(n);
        LoopFrame loop(&s.fWin);
        CountingList list(&loop, &s.fDevice, s.Settings(), nullptr);
        list.SetBounds(LRect(0, 0, 300, 200));
        const CalDateTime when{2023, 3, 1, 3, 9, 5, 0};
        list.SetTestTime(&when);
        list.SetSelection(LRgn(LRect(0, 0, 1, 100)));
        SendCommand(&list, LStdCmd_Copy);
        list.SelectCell(LCell{0, 1});
        const std::function<bool()> steps[3] = {
            [&] {
                SendCommand(&list, LStdCmd_Paste);
                return true;
            },
            [&] { return s.fUndo.Undo(); },
            [&] { return s.fUndo.Redo(); },
        };
        for (i32 k = 0; k < 3; ++k) {
            list.fVisits = 0;
            ASSERT_TRUE(steps[k]()) << k;
            loop.Loop();
            visits[i][k] = list.fVisits;
            const u32 rows = k == 1 ? n : n + 100;
            EXPECT_EQ(u32(list.Rows()), rows) << k;
            EXPECT_EQ(list.Count(), rows) << k;
            EXPECT_FALSE(list.RefreshPending()) << k;
            EXPECT_EQ(list.Current(), i32(FindActiveScheduleEntry(s.Sched(), when))) << k;
        }
    }
    for (i32 k = 0; k < 3; ++k) EXPECT_EQ(visits[0][k], visits[1][k]) << k;
}

TEST(Schedule, TestWindowAndEngineMark) {
    Stage s(2);
    s.State()->SetU32(nullptr, DvssF::scen, 1);
    SendCommand(s.win.get(), "cSchTest");
    CSchTestWin& t = *s.win->TestWindow();
    EXPECT_TRUE(s.List().InTestMode());
    const struct {
        f32 year, month, day;
        u16 wantYear;
        u8 wantDay;
        const char* weekday;
    } dates[] = {{2023, 2, 30, 2023, 28, "Tue"}, {2015, 5, 1, 2016, 1, "Sun"}};
    for (const auto& d : dates) {
        t.fYear.SetValue(d.year);
        t.fMonth.SetValue(d.month);
        t.fDay.SetValue(d.day);
        LHandler::Send(CNumVol_Fix, &t.fDay, &t);
        EXPECT_TRUE(t.fYear.GetValue() == d.wantYear && t.fDay.GetValue() == d.wantDay &&
                    t.fWeekday.GetText() == LString(d.weekday));
    }
    s.Event(0)->SetString(nullptr, ScevF::fcph, LString("9"));
    s.Event(0)->SetString(nullptr, ScevF::fcpn, LString("0"));
    s.Event(0)->SetString(nullptr, ScevF::fcps, LString("0"));
    s.Event(0)->GetChild(ScevF::axud)->SetU32(nullptr, ScexF::tmdr, 600);
    s.Event(1)->SetString(nullptr, ScevF::fcph, LString("22-23|0-1"));
    s.Event(1)->SetString(nullptr, ScevF::fcpw, LString("1,"));
    const struct {
        CalDateTime when;
        const char* marks;
    } marks[] = {{{2023, 3, 1, 3, 9, 5, 0}, "10"},
                 {{2023, 3, 1, 3, 9, 10, 0}, "00"},
                 {{2023, 3, 7, 2, 0, 30, 0}, "01"}};
    for (const auto& m : marks) {
        s.List().SetTestTime(&m.when);
        EXPECT_EQ(s.Marks(), m.marks) << int(m.when.hour) << ":" << int(m.when.minute);
    }
    LHandler::Send(LFrame_Close, &t, s.win.get());
    EXPECT_TRUE(!s.List().InTestMode() && s.Marks() == "01");
}

}  // namespace

// The test window has a close box, leaves the screen with its schedule window
// (the control window closed) and comes back with it while in test mode;
// closed by its box, it stays closed.
TEST(Schedule, TestWindowFollowsItsScheduleWindow) {
    Stage s(1);
    s.win->ShowWindow();
    SendCommand(s.win.get(), "cSchTest");
    CSchTestWin& t = *s.win->TestWindow();
    ASSERT_NE(t.Window(), nullptr);
    EXPECT_TRUE(t.Window()->IsClosable());
    const struct {
        const char* step;
        std::function<void()> act;
        bool testShown, testMode;
    } steps[] = {
        {"opened", [] {}, true, true},
        {"schedule hidden", [&] { s.win->HideWindow(); }, false, true},
        {"hidden again", [&] { s.win->HideWindow(); }, false, true},
        {"schedule shown", [&] { s.win->ShowWindowNoActivate(); }, true, true},
        {"close box", [&] { LHandler::Send(LWindow_Close, t.Window(), &t); }, false, false},
        {"schedule hidden after", [&] { s.win->HideWindow(); }, false, false},
        {"schedule shown after", [&] { s.win->ShowWindowNoActivate(); }, false, false},
        {"opened again", [&] { SendCommand(s.win.get(), "cSchTest"); }, true, true},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(t.Window()->IsVisible(), step.testShown) << step.step;
        EXPECT_EQ(s.List().InTestMode(), step.testMode) << step.step;
    }
}
