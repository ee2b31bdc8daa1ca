// View preferences: slot fonts in the preferences node, the change message to
// every window, the window that edits them and the font panel that follows it.
#include <gtest/gtest.h>

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
