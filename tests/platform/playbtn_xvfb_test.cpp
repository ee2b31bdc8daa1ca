// Under Xvfb, moved by xdotool: a real click on a play button, and a real drag
// of a sequence from the sequence list onto a button cell; in the program
// against simulated devices, a button pressed after a click in another field
// (and in a window opened again) leaves the Buttons menu on that button.
#include <gtest/gtest.h>

#include "PlayEditWalk.h"
#include "editors/CKvsPlayAsnWin.h"

#include "XvfbKeys.h"
#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "editors/CKvsBtnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/SeqDropHelpers.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/editors/FakePlayDevice.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// A sequence added with its "+": its id.
u32 AddSequence(PlayEdit& p) {
    p.w.Click(PaneAt(&p.frame->PlusButton()));
    CRecord* seqs = p.frame->SeqSettings();
    EXPECT_TRUE(Await("a sequence", [&] { return seqs->GetListCount(SqstF::sqcs) == 1; }));
    return seqs->GetListCount(SqstF::sqcs) ? seqs->GetListItem(SqstF::sqcs, 0)->GetU32(SqncF::sqid) : 0;
}

// Play > Play Buttons, the window awaited shown and active.
void OpenPlayButtons(PlayEdit& p, MWindow*& win, CKvsPlayAsnWin*& asn) {
    ASSERT_TRUE(p.w.Choose(p.ctl, "Play", "Play Buttons"));
    ASSERT_TRUE(Await("the Play Buttons window", [&] {
        return (win = WindowTitled("Play Buttons")) && (asn = FrameOf<CKvsPlayAsnWin>(win));
    }));
    WaitShown(win);
    ASSERT_TRUE(p.w.WaitActive(win, 5000));
}

// A 2 x 2 grid of three buttons: after a click in the Title field (or with
// the window opened again), the button of the first place pressed, each shift
// chosen from the Buttons menu and undone; the device's log and copy of the
// grid read back after each.
void WalkPressedButtonMenu(const XvfbHarness& x, NetnsHarness& net, const testtftp::TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        const u32 sqid = AddSequence(p);
        CRecord* play = p.play->PlaySettings();
        CKvsPlayAsnWin* asn = nullptr;
        MWindow* win = nullptr;
        auto open = [&] { OpenPlayButtons(p, win, asn); };
        ASSERT_NO_FATAL_FAILURE(open());
        for (CNumVol* f : {&asn->fCols, &asn->fRows}) {
            w.TypeNumber(f, "2");
            w.Key("Return");
        }
        const char* const kTitles[] = {"Alpha", "Bravo", "Charlie"};
        for (u32 i = 0; i < 3; ++i) {
            CRecord* cell = PlaySetGetOrAddCell(play, nullptr, i % 2, i / 2);
            cell->SetU32(nullptr, PlclF::sqid, sqid);
            cell->SetString(nullptr, PlclF::bttl, LString(kTitles[i]));
        }
        // The first letters by rows, "-" for an empty place, as the device holds them.
        auto there = [&] {
            std::string s;
            for (int at = 0; at < 4; ++at) {
                const std::string cel = "path=/.cmd/udplayset/rows/" + std::to_string(at / 2) +
                                        "/cels/" + std::to_string(at % 2) + "/";
                const std::string id = SimDeviceProcess::Field(
                    p.sim.Cmd("chan-get serno=1201 " + cel + "sqid"), "value");
                const std::string t = SimDeviceProcess::Field(
                    p.sim.Cmd("chan-get serno=1201 " + cel + "bttl"), "value");
                s += id.empty() || id == "0" || t.empty() ? '-' : t[0];
            }
            return s;
        };
        auto holds = [&](const std::string& grid, const std::string& after) {
            EXPECT_TRUE(Await("the device holding " + grid + " after " + after, [&] {
                return w.Quiet() && there() == grid;
            })) << there();
        };
        holds("ABC-", "the buttons assigned");
        // The first place's button pressed: played on 1201 alone, the menu on it.
        auto press = [&](const std::string& after) {
            p.sim.Cmd("log clear");
            const LRect r = asn->fList.GetCellRect(LCell{0, 0});
            w.Click(
                ScreenPoint(&asn->fList, LPoint{r.left - asn->fList.Bounds().left + r.Width() / 2,
                                                r.top - asn->fList.Bounds().top + 12}));
            // The log writes a blank as "%20".
            EXPECT_EQ(w.WaitWritten("plcl", 1), std::vector<std::string>{"0%200"}) << after;
            EXPECT_EQ(w.WrittenElsewhere("plcl"), 0u);
            ASSERT_TRUE(Await("the first place selected", [&] {
                return asn->fList.Selection() == LRgn(LRect(0, 0, 1, 1)) &&
                       asn->fPrm.fTitle.GetText() == LString("Alpha");
            }));
            QMenu* menu = w.OpenAgain(win, "Buttons");
            ASSERT_NE(menu, nullptr);
            int on = 0;
            for (QAction* a : menu->actions()) on += a->isEnabled() ? 1 : 0;
            w.Close();
            EXPECT_EQ(on, 4) << "Buttons items enabled after a press " << after;
        };
        const struct {
            const char* item;
            const char* grid;
        } kShifts[] = {{"Delete Buttons Horizontally", "B-C-"},
                       {"Delete Buttons Vertically", "CB--"},
                       {"Insert Buttons Horizontally", "-AC-"},
                       {"Insert Buttons Vertically", "-BA-"}};
        ASSERT_NO_FATAL_FAILURE(press("in a grid with no selection"));
        for (const auto& shift : kShifts) {
            SCOPED_TRACE(shift.item);
            w.Click(PaneAt(&asn->fPrm.fTitle));
            ASSERT_NO_FATAL_FAILURE(press("a click in the Title field"));
            ASSERT_TRUE(w.ChooseSettled(win, "Buttons", shift.item));
            holds(shift.grid, shift.item);
            // The parameters show what the selected place now holds.
            const LString title = asn->fPrm.fTitle.GetText();
            EXPECT_EQ(title.IsEmpty() ? '-' : title.CStr()[0], shift.grid[0]);
            w.Key("ctrl+z");
            holds("ABC-", std::string("Undo of ") + shift.item);
        }
        // Opened again: the first click on a button is enough.
        ASSERT_TRUE(w.ChooseSettled(win, "File", "Close"));
        ASSERT_TRUE(Await("the window closed", [&] { return !WindowTitled("Play Buttons"); }));
        ASSERT_NO_FATAL_FAILURE(open());
        ASSERT_NO_FATAL_FAILURE(press("in a window opened again"));
        ASSERT_TRUE(w.ChooseSettled(win, "Buttons", kShifts[0].item));
        holds(kShifts[0].grid, "a shift in a window opened again");
        w.Shot("playbtn_menu");
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(PlayBtnXvfb, PressedButtonLeavesTheMenuOnIt) {
    RunPlayEditWalk("1280x800", "pbmenu", WalkPressedButtonMenu);
}

// "Lists and fields" at 24 pt on a 1280 x 800 screen: the button parameters
// give way within the window, so the sync mode and offset stay in it. A
// button assigned by a drop-free path (the cell set up), its place chosen by
// a click, then its title typed and ended by Return, the sync mode chosen with
// the pointer and the offset typed and ended by Tab; each reaches 1201 once.
void WalkLargeFonts(const XvfbHarness& x, NetnsHarness& net, const testtftp::TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        const u32 sqid = AddSequence(p);
        CRecord* play = p.play->PlaySettings();
        SetSlotSize(1, 24.0f);
        MWindow* win = nullptr;
        CKvsPlayAsnWin* asn = nullptr;
        ASSERT_NO_FATAL_FAILURE(OpenPlayButtons(p, win, asn));
        CRecord* cell = PlaySetGetOrAddCell(play, nullptr, 0, 0);
        cell->SetU32(nullptr, PlclF::sqid, sqid);
        cell->SetString(nullptr, PlclF::bttl, LString("Alpha"));
        w.AwaitQuiet("the button assigned");
        // The place chosen by a click on its edge, not on its button.
        const LRect r = asn->fList.GetCellRect(LCell{0, 0});
        w.Click(ScreenPoint(&asn->fList, LPoint{r.left - asn->fList.Bounds().left + 3,
                                                r.top - asn->fList.Bounds().top + 3}));
        ASSERT_TRUE(Await("the first place chosen",
                          [&] { return asn->fPrm.fTitle.GetText() == LString("Alpha"); }));
        w.Shot("playbtn_large_fonts");
        CKvsBtnPrmF& prm = asn->fPrm;
        for (LPane* f : std::vector<LPane*>{&prm.fTitle, &prm.fMode, &prm.fOffset})
            EXPECT_TRUE(SeenWhole(f)) << typeid(*f).name();
        p.sim.Cmd("log clear");
        // Typed over the old title: the field stores at every key.
        w.Click(PaneCenter(&prm.fTitle));
        w.Key("ctrl+a");
        w.Type("Finale");
        w.Key("Return");
        w.ExpectTyped("bttl", 0, "Finale");
        w.ChoosePopupEntry(Walk::PopupAt(PaneAt(&prm.fMode)), 1);
        EXPECT_EQ(w.WaitWritten("symd", 1), std::vector<std::string>{"1"});
        ASSERT_TRUE(Await("the offset usable", [&] { return prm.fOffset.IsUsable(); }));
        w.TypeNumber(&prm.fOffset, "00:00:02.00");
        w.Key("Tab");
        EXPECT_EQ(w.WaitWritten("syof", 1), std::vector<std::string>{"2000"});
        for (const char* tag : {"bttl", "symd", "syof"}) EXPECT_EQ(w.WrittenElsewhere(tag), 0u) << tag;
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(PlayBtnXvfb, LargeFontsKeepTheSyncFieldsInTheWindow) {
    RunPlayEditWalk("1280x800", "pblarge", WalkLargeFonts);
}

struct Stage : LFrame {
    explicit Stage(LHandler* parent)
        : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        CRecord* s = NewKind(kFamKvt, kKindSqnc);
        s->SetU32(nullptr, SqncF::sqid, 31);
        s->SetString(nullptr, SqncF::sqnm, LString("Encore"));
        fSeqDoc.Root()->InsertItem(nullptr, SqstF::sqcs, 0, s);
        CRecord* p = fPlayDoc.Root();
        p->SetU32(nullptr, PlysF::btcs, 2);
        p->SetU32(nullptr, PlysF::btrs, 1);
        CRecord* c = PlaySetGetOrAddCell(p, nullptr, 1, 0);
        c->SetU32(nullptr, PlclF::sqid, 31);
        c->SetString(nullptr, PlclF::bttl, LString("Encore"));
        fWindow->SetContentRect(LRect(100, 100, 500, 400));
        fSeqs.SetBounds(LRect(0, 0, 400, 100));
        fButtons.SetBounds(LRect(0, 150, 400, 300));
        fDevice.fCmd.AddListener(this, OnCmd);
    }
    ~Stage() override { fDevice.fCmd.RemoveListener(this, OnCmd); }
    static void OnCmd(void* self, CRecordNote* n) {
        if (n->kind == CRecordNote::kChanged && n->field == DvcmF::plcl)
            static_cast<Stage*>(self)->fPresses.push_back(n->record->GetString(DvcmF::plcl).CStr());
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CKvsBtnList_Drop)) {
            fDropped.push_back(ReadDroppedSequenceId(fButtons.GetDropData()));
            return LMessage();
        }
        return LFrame::HandleMessage(msg);
    }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }
    LRect Content() const { return fWindow->GetContentScreenRect(); }

    CRecordDoc fSeqDoc{NewSeqSettingsRecord()};
    CRecordDoc fPlayDoc{NewKind(kFamKvt, kKindPlys)};
    FakePlayDevice fDevice;
    CKvsSeqList fSeqs{this, &fDevice, fSeqDoc.Root(), nullptr};
    CKvsBtnList fButtons{this, fPlayDoc.Root(), fDevice.fCmd.Root()};
    std::vector<std::string> fPresses;
    std::vector<u32> fDropped;
};

TEST(PlayBtnXvfb, ClickAndSequenceDrag) {
    XvfbHarness x;
    if (!x.Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    ShellEnv env("xcb");
    QtControlServices controls;
    RegisterAllRecordKinds();
    CUndoQ undo(gApp, 1u << 20);
    Stage s(&undo);
    s.ShowWindow();
    MWindow* w = s.Native();
    if (!WaitUntil([&] { return w->isActiveWindow(); }, 1000))
        x.Xdotool("windowactivate " + std::to_string(w->winId()));
    ASSERT_TRUE(WaitUntil([&] { return w->isActiveWindow() && w->ActiveForMs() > 150; }));
    const LRect c = s.Content();
    auto at = [&](int px, int py) { return std::to_string(px) + " " + std::to_string(py); };
    // The button of the second cell: "1 0".
    x.Xdotool("mousemove " + at(c.left + 300, c.top + 225) + " click 1");
    EXPECT_TRUE(WaitUntil([&] { return !s.fPresses.empty(); }, 4000));
    EXPECT_EQ(s.fPresses, std::vector<std::string>{"1 0"});
    // Row 0 of the sequence list dragged onto the first (empty) cell.
    const int y = c.top + s.fSeqs.CellHeight() / 2;
    x.Xdotool("mousemove " + at(c.left + 4, y) + " mousedown 1");
    x.XdotoolAsync("sleep 0.6 mousemove " + at(c.left + 14, y + 10) + " sleep 0.3 mousemove " +
                   at(c.left + 100, c.top + 225) +
                   " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
    EXPECT_TRUE(WaitUntil([&] { return !s.fDropped.empty(); }, 8000));
    EXPECT_EQ(s.fDropped, std::vector<u32>{31});
    EXPECT_EQ(s.fButtons.GetSelCell(), (LCell{0, 0}));
    Await("the pointer let go", [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
}

}  // namespace
