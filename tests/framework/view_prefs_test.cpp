// View preferences: slot fonts in the preferences node, the change message to
// every window, the window that edits them and the font panel that follows it.
#include <gtest/gtest.h>

#include <cmath>

#include "FakeFontPanel.h"
#include "FakeWindows.h"
#include "base/Resources.h"
#include "framework/CViewPrefs.h"
#include "framework/CViewPrefsDlg.h"
#include "framework/InputState.h"
#include "records/PrefNodes.h"

namespace {

class StyleFrame : public LFrame {
public:
    StyleFrame(std::vector<StyleFrame*>* log)
        : LFrame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 0)), fLog(log) {}
    void StateChanged(u32 op) override {
        if (op == kOpStyleChanged) fLog->push_back(this);
        LFrame::StateChanged(op);
    }
    std::vector<StyleFrame*>* fLog;
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
    CViewFont Font(u32 slot, bool* set = nullptr) {
        CViewFont f;
        const bool got = CViewPrefs::Instance().GetFont(slot, &f);
        if (set) *set = got;
        return f;
    }

    FakeServices services;
    FakeWindows windows{services};
    FakeFontPanel panel;
    LMouse mouse;
    LKeyboard keyboard;
    CRecord* node = NewParamNodeRecord();
};

TEST_F(ViewPrefs, ChangesReachEveryWindowOnceAndSizesAreChecked) {
    std::vector<StyleFrame*> log;
    StyleFrame a(&log), b(&log);
    CViewPrefs& prefs = CViewPrefs::Instance();
    prefs.SetFont(2, CViewFont{"Serif", 13.26f});
    EXPECT_EQ(log, (std::vector<StyleFrame*>{&a, &b}));
    EXPECT_EQ(Stored(2, "pts"), LString("13.3"));
    EXPECT_EQ(LFont(2).GetFamilyName(), LString("Serif"));
    log.clear();
    prefs.SetFont(2, CViewFont{"Serif", 13.3f});
    EXPECT_TRUE(log.empty());
    // Missing, damaged or absurd sizes read as 12 points; an empty family is no user font.
    const struct {
        const char* pts;
        f32 points;
    } cases[] = {{nullptr, 12.0f}, {"nan", 12.0f}, {"0.5", 12.0f}, {"5000", 12.0f}, {"9.5", 9.5f}};
    CRecord* entry = NodeGetSubNode(NodeGetSubNode(node, "fonts"), "2");
    for (const auto& c : cases) {
        NodeSet(entry, nullptr, "pts", LString(c.pts ? c.pts : ""));
        bool set = false;
        EXPECT_EQ(Font(2, &set).points, c.points) << (c.pts ? c.pts : "none");
        EXPECT_TRUE(set);
    }
    NodeSet(entry, nullptr, "fam", LString());
    bool set = true;
    Font(2, &set);
    EXPECT_FALSE(set);
}

TEST_F(ViewPrefs, ClearingARowRestoresTheDefaultAndThePanelFollowsTheList) {
    CViewPrefs::Instance().SetFont(1, CViewFont{"Serif", 14});
    CViewPrefsDlg dlg(nullptr);
    dlg.ShowWindow();
    CVPFontList& list = dlg.FontList();
    auto* row = static_cast<CVPFontCell*>(list.GetCellFrame(LCell{0, 1}, false));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->fFamily.GetText(), LString("Serif"));
    keyboard.fChar = 8;
    LHandler::Send(LKeyboard_Char, &keyboard, &row->fFamily);
    EXPECT_EQ(Stored(1, "fam"), LString("-"));
    EXPECT_EQ(Stored(1, "pts"), LString("0.0"));
    EXPECT_TRUE(row->fFamily.GetText().IsEmpty());

    list.SelectCell(LCell{0, 0});
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "run Fake 12");
    panel.Choose("Mono", 11);
    EXPECT_EQ(Font(0).family, LString("Mono"));
    list.SetState(LPane::kOpUnfocus);
    EXPECT_EQ(panel.Take(), "close");
    list.SetState(LPane::kOpFocus);
    EXPECT_EQ(panel.Take(), "run Mono 11");
    // Ignored without a selected row, and while a dialog is up.
    list.SelectNone();
    panel.Choose("Sans", 10);
    list.SelectCell(LCell{0, 0});
    LFrame modal(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
    modal.ShowWindow();
    panel.Choose("Sans", 10);
    EXPECT_EQ(Font(0).family, LString("Mono"));
}

TEST_F(ViewPrefs, TheWindowIsMadeOnceAndLaidOutAtItsPreferredSize) {
    struct App : CMainLoopBase {
        LHandler* Prefs() const { return fPrefsWindow; }
    } app;
    app.ShowViewPrefs();
    LHandler* first = app.Prefs();
    app.ShowViewPrefs();
    EXPECT_EQ(app.Prefs(), first);
    auto* dlg = static_cast<CViewPrefsDlg*>(first);
    EXPECT_EQ(dlg->Window()->Type(), u32(kWindowOrdinary));
    LDrawCtx ctx;
    const LRect pref = dlg->Window()->GetContentScreenRect();
    dlg->SetWindowBounds(LRect(pref.left, pref.top, pref.left + 900, pref.top + 700));
    CViewPrefs::Instance().SetFont(1, CViewFont{"Wide", 30});
    const LRect after = dlg->Window()->GetContentScreenRect();
    EXPECT_EQ(after.Width(), dlg->GetPrefWidth(&ctx, 0));
    EXPECT_EQ(after.Height(), dlg->GetPrefHeight(&ctx, 0));
    EXPECT_EQ(after.Width(), pref.Width());
}

}  // namespace
