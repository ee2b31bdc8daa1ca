// View preferences: slot fonts in the preferences node, the change message to
// every window, the window that edits them and the font panel that follows it.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "FakeFontPanel.h"
#include "FakeWindows.h"
#include "base/Resources.h"
#include "framework/CViewPrefs.h"
#include "framework/CViewPrefsDlg.h"
#include "framework/InputState.h"
#include "records/PrefNodes.h"

namespace {

// Logs itself when the windows are told to lay out again.
struct StyleFrame : LFrame {
    explicit StyleFrame(std::vector<LFrame*>* log)
        : LFrame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 0)), fLog(log) {}
    void StateChanged(u32 op) override {
        if (op == kOpStyleChanged) fLog->push_back(this);
        LFrame::StateChanged(op);
    }
    std::vector<LFrame*>* fLog;
};

struct ViewPrefs : ::testing::Test {
    void SetUp() override {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
        CViewPrefs::Instance().Attach(node);
    }
    void TearDown() override {
        CViewPrefs::Instance().Attach(nullptr);
        CRecord::Destroy(node);
    }
    LString Stored(u32 slot, const char* key) {
        LString v;
        const CRecord* fonts = NodeGetSubNode(node, "fonts");
        const CRecord* e = fonts ? NodeGetSubNode(fonts, MakeIndexedKey("", slot).CStr()) : nullptr;
        return e && NodeFind(e, key, &v) >= 0 ? v : LString("-");
    }
    // The family, or "-" when GetFont answers false, then the points.
    std::string Font(u32 slot) {
        CViewFont f;
        const bool set = CViewPrefs::Instance().GetFont(slot, &f);
        return (set ? std::string(f.family.View()) : "-") + " " + std::to_string(f.points);
    }

    FakeServices services;
    FakeWindows windows{services};
    FakeFontPanel panel;
    LMouse mouse;
    LKeyboard keyboard;
    CRecord* node = NewParamNodeRecord();
};

TEST_F(ViewPrefs, ChangesReachEveryWindowOnceAndSizesAreChecked) {
    std::vector<LFrame*> log;
    StyleFrame a(&log), b(&log);
    CViewPrefs::Instance().SetFont(2, CViewFont{"Serif", 13.26f});
    EXPECT_EQ(log, (std::vector<LFrame*>{&a, &b}));
    EXPECT_EQ(Stored(2, "pts"), LString("13.3"));
    EXPECT_EQ(LFont(2).GetFamilyName(), LString("Serif"));
    CViewPrefs::Instance().SetFont(2, CViewFont{"Serif", 13.3f});
    EXPECT_EQ(log.size(), 2u);
    // Missing, damaged or absurd sizes read as 12 points; an empty family is no user font.
    CRecord* entry = NodeGetSubNode(NodeGetSubNode(node, "fonts"), "2");
    for (const char* pts : {"", "nan", "0.5", "5000"}) {
        NodeSet(entry, nullptr, "pts", LString(pts));
        EXPECT_EQ(Font(2), "Serif 12.000000") << pts;
    }
    NodeSet(entry, nullptr, "pts", LString("9.5"));
    EXPECT_EQ(Font(2), "Serif 9.500000");
    NodeSet(entry, nullptr, "fam", LString());
    EXPECT_EQ(Font(2), "- 9.500000");
}

TEST_F(ViewPrefs, ClearingARowRestoresTheDefaultAndThePanelFollowsTheList) {
    CViewPrefs::Instance().SetFont(1, CViewFont{"Serif", 14});
    CViewPrefsDlg dlg(nullptr);
    dlg.ShowWindow();
    CVPFontList& list = dlg.FontList();
    auto* row = static_cast<CVPFontCell*>(list.GetCellFrame(LCell{0, 1}, false));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->fFamily.GetText(), LString("Serif"));
    // A row the user never set shows the font in use.
    auto* unset = static_cast<CVPFontCell*>(list.GetCellFrame(LCell{0, 0}, false));
    ASSERT_NE(unset, nullptr);
    EXPECT_EQ(unset->fFamily.GetText(), LFont(0).GetFamilyName());
    EXPECT_FALSE(unset->fFamily.GetText().IsEmpty());
    keyboard.fChar = 8;
    LHandler::Send(LKeyboard_Char, &keyboard, &row->fFamily);
    EXPECT_EQ(Stored(1, "fam"), LString("-"));
    EXPECT_EQ(Stored(1, "pts"), LString("0.0"));
    EXPECT_TRUE(row->fFamily.GetText().IsEmpty());

    list.SelectCell(LCell{0, 0});
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "run Fake 12");
    panel.Choose("Mono", 11);
    EXPECT_EQ(Font(0), "Mono 11.000000");
    list.SetState(LPane::kOpUnfocus);
    EXPECT_EQ(panel.Take(), "close");
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "run Mono 11");
    list.SetState(LPane::kOpWindowUnkey);
    list.SetState(LPane::kOpWindowKey);
    EXPECT_EQ(panel.Take(), "run Mono 11");
    // Ignored without a selected row, and while a dialog is up.
    list.SelectNone();
    panel.Choose("Sans", 10);
    list.SelectCell(LCell{0, 0});
    LFrame modal(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
    modal.ShowWindow();
    panel.Choose("Sans", 10);
    EXPECT_EQ(Font(0), "Mono 11.000000");
    EXPECT_EQ(Font(u32(-1)), "- 12.000000");
    list.SetState(LPane::kOpContainerHidden);
    EXPECT_EQ(panel.Take(), "close");
}

// Every way a user reaches a row's font opens the panel for that row, and the
// panel follows the row that has the keyboard.
TEST_F(ViewPrefs, AClickReturnOrTabOnARowOpensThePanelForIt) {
    CViewPrefs::Instance().SetFont(2, CViewFont{"Serif", 9});
    CViewPrefsDlg dlg(nullptr);
    dlg.ShowWindow();
    CVPFontList& list = dlg.FontList();
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "") << "no row chosen yet";
    auto slot = [&](i32 row) -> CTextSlot& {
        return static_cast<CVPFontCell*>(list.GetCellFrame(LCell{0, row}, false))->fFamily;
    };
    // A row without a font of its own starts from the font it uses now.
    auto fake = [](i32 row) { return "run Fake " + std::to_string(12 + row); };
    struct Step {
        const char* how;
        i32 row;  // the row clicked, or the row that has the keyboard
        std::string run;
        i32 selected;
    };
    const Step steps[] = {
        {"click", 2, "run Serif 9", 2},
        {"click", 0, fake(0), 0},
        {"return", 0, fake(0), 0},
        {"tab", 0, fake(1), 1},
        {"tab", 1, "run Serif 9", 2},
        {"shift-tab", 2, fake(1), 1},
        {"shift-tab", 1, fake(0), 0},
        {"shift-tab", 0, fake(3), 3},
        {"tab", 3, fake(0), 0},
    };
    for (const Step& s : steps) {
        const std::string how = s.how;
        if (how == "click") {
            LHandler::Send(LMouse_Click, &mouse, &slot(s.row));
        } else {
            keyboard.fChar = how == "return" ? 13 : 9;
            keyboard.fModifiers = how == "shift-tab" ? u32(kModShift) : 0u;
            LHandler::Send(LKeyboard_Down, &keyboard, &slot(s.row));
            keyboard.fModifiers = 0;
        }
        const std::string log = panel.Take();
        EXPECT_EQ(log.substr(log.size() - s.run.size()), s.run) << how << " " << s.row;
        EXPECT_EQ(list.GetSelCell().row, s.selected) << how << " " << s.row;
    }
    // Chosen in the panel: the selected row's slot takes it.
    panel.Choose("Mono", 11);
    EXPECT_EQ(Font(0), "Mono 11.000000");
    EXPECT_EQ(Font(2), "Serif 9.000000");
}

// Closed by the user, the panel stays away while the list only regains the
// keyboard; a row asked for again brings it back.
TEST_F(ViewPrefs, APanelTheUserClosedComesBackOnlyWhenAsked) {
    CViewPrefsDlg dlg(nullptr);
    dlg.ShowWindow();
    CVPFontList& list = dlg.FontList();
    list.SelectCell(LCell{0, 1});
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "run Fake 13");
    panel.UserCloses();
    EXPECT_FALSE(list.PanelOpen());
    list.SetState(LPane::kOpWindowUnkey);
    list.SetState(LPane::kOpWindowKey);
    list.SetState(LPane::kOpUnfocus);
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "");
    keyboard.fChar = 13;
    auto* row = static_cast<CVPFontCell*>(list.GetCellFrame(LCell{0, 1}, false));
    LHandler::Send(LKeyboard_Down, &keyboard, &row->fFamily);
    EXPECT_EQ(panel.Take(), "run Fake 13");
    EXPECT_TRUE(list.PanelOpen());
    // Following the list again until the next close.
    list.SetState(LPane::kOpUnfocus);
    EXPECT_EQ(panel.Take(), "close");
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "run Fake 13");
}

// What asks for the panel (Return on a row, the window's command chosen again)
// brings it back from the minimised; the list merely taking the keys again
// only shows it where it is.
TEST_F(ViewPrefs, ThePanelComesBackFromTheMinimisedOnlyWhenAsked) {
    struct App : CMainLoopBase {
        CViewPrefsDlg* Prefs() const { return static_cast<CViewPrefsDlg*>(fPrefsWindow); }
    } app;
    app.ShowViewPrefs();
    CVPFontList& list = app.Prefs()->FontList();
    list.SelectCell(LCell{0, 1});
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "run Fake 13");
    EXPECT_FALSE(panel.fFlags & kFontPanelAsked) << "the list took the keys";
    keyboard.fChar = 13;
    auto* row = static_cast<CVPFontCell*>(list.GetCellFrame(LCell{0, 1}, false));
    LHandler::Send(LKeyboard_Down, &keyboard, &row->fFamily);
    EXPECT_EQ(panel.Take(), "run Fake 13");
    EXPECT_TRUE(panel.fFlags & kFontPanelAsked) << "Return on the row";
    list.SetState(LPane::kOpWindowUnkey);
    list.SetState(LPane::kOpWindowKey);
    EXPECT_EQ(panel.Take(), "run Fake 13");
    EXPECT_FALSE(panel.fFlags & kFontPanelAsked) << "the window took the keys";
    // Preferences chosen again: with the window, as it takes the keys.
    list.SetState(LPane::kOpWindowUnkey);
    app.ShowViewPrefs();
    EXPECT_EQ(panel.Take(), "");
    list.SetState(LPane::kOpWindowKey);
    EXPECT_EQ(panel.Take(), "run Fake 13");
    EXPECT_TRUE(panel.fFlags & kFontPanelAsked) << "Preferences chosen again";
    // Closed by the user, it stays closed.
    panel.UserCloses();
    app.ShowViewPrefs();
    EXPECT_EQ(panel.Take(), "");
}

// A size the panel reports that the font engine cannot take never reaches
// the preferences: the family is taken, the slot keeps its size.
TEST_F(ViewPrefs, UnusableSizesFromThePanelKeepTheSlotsSize) {
    CViewPrefs::Instance().SetFont(1, CViewFont{"Serif", 14});
    CViewPrefsDlg dlg(nullptr);
    dlg.ShowWindow();
    CVPFontList& list = dlg.FontList();
    list.SelectCell(LCell{0, 1});
    list.SetState(LPane::kOpFocus);
    const struct {
        const char* family;
        f32 points;
        const char* stored;
    } cases[] = {
        {"Mono", 0, "14.0"},
        {"Sans", -3, "14.0"},
        {"Mono", 5000, "14.0"},
        {"Sans", std::numeric_limits<f32>::quiet_NaN(), "14.0"},
        {"Sans", std::numeric_limits<f32>::infinity(), "14.0"},
        {"Mono", 1000, "1000.0"},
        {"Sans", 0.5f, "1000.0"},
        {"Sans", 1, "1.0"},
    };
    for (const auto& c : cases) {
        panel.Choose(c.family, c.points);
        EXPECT_EQ(Stored(1, "fam"), LString(c.family)) << c.points;
        EXPECT_EQ(Stored(1, "pts"), LString(c.stored)) << c.points;
    }
    // Set directly, a family with an unusable size is stored with 12 points.
    CViewPrefs::Instance().SetFont(3, CViewFont{"Mono", 0});
    EXPECT_EQ(Stored(3, "pts"), LString("12.0"));
    EXPECT_EQ(Font(3), "Mono 12.000000");
}

TEST_F(ViewPrefs, TheWindowIsMadeOnceAndLaidOutAtItsPreferredSize) {
    struct App : CMainLoopBase {
        CViewPrefsDlg* Prefs() const { return static_cast<CViewPrefsDlg*>(fPrefsWindow); }
    } app;
    app.ShowViewPrefs();
    CViewPrefsDlg* dlg = app.Prefs();
    app.ShowViewPrefs();
    EXPECT_EQ(app.Prefs(), dlg);
    EXPECT_EQ(dlg->Window()->Type(), u32(kWindowOrdinary));
    const LRect pref = dlg->Window()->GetContentScreenRect();
    dlg->SetWindowBounds(LRect(pref.left, pref.top, pref.left + 900, pref.top + 700));
    CViewPrefs::Instance().SetFont(1, CViewFont{"Wide", 30});
    LDrawCtx ctx;
    const LRect after = dlg->Window()->GetContentScreenRect();
    EXPECT_EQ(LPoint({after.Width(), after.Height()}),
              LPoint({dlg->GetPrefWidth(&ctx, 0), dlg->GetPrefHeight(&ctx, 0)}));
}

}  // namespace
