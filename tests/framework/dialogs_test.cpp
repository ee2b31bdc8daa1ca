// Modal frames and the standard dialogs on the headless main loop: every modal
// turn advances the wrapping fake clock and delivers the events scripted for it.
#include <gtest/gtest.h>

#include <memory>

#include "framework/AppSingletons.h"
#include "framework/CNumVol.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "tests/framework/HeadlessAppTest.h"

namespace {

class Dialogs : public HeadlessAppTest {
protected:
    void SetUp() override {
        HeadlessAppTest::SetUp();
        FirstTick();
    }
    FakeMainLoop* Loop() { return static_cast<FakeMainLoop*>(app->RunLoop()); }
    void Keys(std::initializer_list<u32> chars) {
        std::vector<FakeEvent> turn;
        for (u32 c : chars) turn.push_back(FakeEvent{FakeEvent::kKeyDown, c, 0, {}});
        windows.ScriptTurn(turn);
    }
    // A press on a pane of a shown dialog.
    void ClickOn(LFrame& frame, LPane& pane) {
        const LRect c = frame.Window()->GetContentScreenRect();
        const LRect b = pane.Bounds();
        windows.ScriptTurn(
            {FakeEvent{FakeEvent::kClick,
                       0,
                       0,
                       {c.left + (b.left + b.right) / 2, c.top + (b.top + b.bottom) / 2}}});
    }
};

// A plain dialog with an OK and a Cancel button.
struct TwoButtons : LDialog {
    explicit TwoButtons(LHandler* parent)
        : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)), ok(this), cancel(this) {
        ok.SetBounds(LRect(100, 60, 180, 80));
        cancel.SetBounds(LRect(10, 60, 90, 80));
        SetDefaultButton(&ok);
        SetCancelButton(&cancel);
        SetWindowBounds(LRect(100, 100, 300, 200));
    }
    LStdButton ok, cancel;
};

TEST_F(Dialogs, KeysPressOnlyFocusableButtons) {
    const struct {
        u32 key;
        u32 op;  // applied to the default button first (0: none)
        bool cancelIsOk;
        u32 result;
    } cases[] = {{13, 0, false, 1}, {3, 0, false, 1},  {27, 0, false, 2}, {27, 0, true, 1},
                 {13, 3, false, 0}, {13, 1, false, 0}, {'x', 0, false, 0}};
    for (const auto& c : cases) {
        TwoButtons d(app.get());
        if (c.op) d.ok.SetState(c.op);
        if (c.cancelIsOk) d.SetCancelButton(&d.ok);
        controls.fPauses.clear();
        Keys({c.key});
        EXPECT_EQ(d.ModalStep(LDialog::kNoLimit), c.result) << "key " << c.key << " op " << c.op;
        EXPECT_EQ(controls.fPauses, c.result ? std::vector<u32>{142} : std::vector<u32>{});
    }
}

TEST_F(Dialogs, CloseBoxIsTheCancelElseTheDefaultButton) {
    const struct {
        bool cancel;
        bool disable;
        u32 result;
    } cases[] = {{true, false, 2}, {true, true, 0}, {false, false, 1}, {false, true, 0}};
    for (const auto& c : cases) {
        TwoButtons d(app.get());
        d.ShowWindow();
        if (!c.cancel) d.SetCancelButton(nullptr);
        if (c.disable)
            (c.cancel ? static_cast<LPane&>(d.cancel) : d.ok).SetState(LPane::kOpDisable);
        d.SetResult(0);
        LHandler::Send(LWindow_Close, d.Window(), &d);
        EXPECT_EQ(d.Result(), c.result) << c.cancel << c.disable;
    }
}

class HelpfulApp : public CMainLoopBase {
public:
    bool HasHelp() const override { return true; }
};

TEST_F(Dialogs, AsMenuTargetOnlyHelpIsEnabledAbove) {
    // Help, and only when there is help to show: an item that does nothing is disabled.
    for (const bool help : {false, true}) {
        if (help) {
            app.reset();
            app = std::make_unique<HelpfulApp>();
        }
        TwoButtons d(app.get());
        d.ShowWindow();
        Loop()->ValidateMenus();
        LMenuBar* bar = Loop()->AppMenuBar();
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->FindEnabledItemByCommand(LStdCmd_Help) != nullptr, help);
        EXPECT_EQ(bar->FindEnabledItemByCommand(LStdCmd_About), nullptr);
    }
}

TEST_F(Dialogs, MessageDialogAnswers) {
    const struct {
        bool two;
        u32 timeout;
        u32 key;  // 0: none; 1: a click on the second button
        i32 answer;
        u32 turns;
        u8 escapeIsOk = 0;
    } cases[] = {{false, 0, 27, 1, 1},  {true, 0, 27, 0, 1},  {false, 3, 0, 1, 3},
                 {true, 3, 0, 0, 3},    {false, 0, 13, 1, 1}, {true, 0, 27, 1, 1, 1},
                 {true, 0, 1, 0, 1, 1}, {true, 0, 1, 0, 1, 0}};
    for (const auto& c : cases) {
        services.fNow = 0xFFFFF000;  // the clock wraps during the wait
        CSimpleMessageDialog d(app.get(), LPaneOpt::Window(kWindowDialog, 0));
        d.fEscapeIsOk = c.escapeIsOk;
        if (c.key == 1) {
            d.fCancelBtn.SetState(LPane::kOpShow);
            d.Layout();
            d.ShowWindow();
            ClickOn(d, d.fCancelBtn);
        } else if (c.key)
            Keys({c.key});
        const u32 before = Loop()->fSteps;
        EXPECT_EQ(d.Run("Proceed?", c.timeout, c.two), c.answer) << c.two << c.timeout << c.key;
        EXPECT_EQ(Loop()->fSteps - before, c.turns);
    }
}

TEST_F(Dialogs, SaveChangesAsksAboutUntitledAndAnswers) {
    const struct {
        u32 key;  // 0: the third button
        i32 answer;
    } cases[] = {{13, 1}, {27, 0}, {0, 2}};
    for (const auto& c : cases) {
        CSaveChangesDialog d(app.get());
        d.ShowWindow();
        if (c.key)
            Keys({c.key});
        else
            ClickOn(d, d.fDontSave);
        EXPECT_EQ(d.Ask(CSaveChangesDialog::kClosing), c.answer);
        EXPECT_NE(std::string(d.fMessage.GetText().View()).find("\"untitled\""), std::string::npos);
    }
}

TEST_F(Dialogs, AboutCommandRunsTheAboutBox) {
    LMenuItem* about = Loop()->AppMenuBar()->FindEnabledItemByCommand(LStdCmd_About);
    if (!about) {
        Loop()->ValidateMenus();
        about = Loop()->AppMenuBar()->FindEnabledItemByCommand(LStdCmd_About);
    }
    ASSERT_NE(about, nullptr);
    Keys({13});
    const u32 before = Loop()->fSteps;
    LHandler::Send(LMenuItem_Selected, about, app.get());
    EXPECT_EQ(Loop()->fSteps - before, 1u);
    EXPECT_EQ(controls.fPauses, std::vector<u32>{142});
}

TEST_F(Dialogs, ProgressBusyTextCyclesInFour) {
    CSimpleProgressDialog d(app.get(), LPaneOpt::Window(kWindowDialog, 0));
    d.ShowSpinner();
    std::string seen;
    for (int i = 0; i < 4; ++i) {
        d.Spin();
        seen += std::string(d.fBusy.GetText().View()) + "|";
    }
    EXPECT_EQ(seen, "->--|-->-|--->|>---|");
}

TEST_F(Dialogs, NumberEntryLaysOutAndKeepsItsNumber) {
    CCSetNDlg d(app.get());
    d.fField.SetValue(250);
    Keys({13});
    EXPECT_EQ(d.RunModal(), 1u);
    EXPECT_EQ(d.fField.GetValue(), 250);
    const LRect ok = d.fOk.Bounds(), field = d.fField.Bounds(), all = d.Bounds();
    EXPECT_FALSE(ok.IsEmpty() || field.IsEmpty());
    EXPECT_TRUE(all.Contains(LPoint{ok.right - 1, ok.bottom - 1}) && field.top < ok.top);
}

// Notes the end-of-edit messages the fields of a dialog send up.
struct EditLog : LHandler {
    using LHandler::LHandler;
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CNumVol_Fix) || (msg.Is(LEditText_Unfocused) && msg.source == text))
            seen += std::string(msg.name) + " ";
        return LHandler::HandleMessage(msg);
    }
    std::string seen;
    LHandler* text = nullptr;  // the text field whose end is noted
};

struct FieldDialog : TwoButtons {
    explicit FieldDialog(LHandler* parent) : TwoButtons(parent), number(this), text(this) {
        number.SetBounds(LRect(10, 10, 90, 30));
        text.SetBounds(LRect(100, 10, 180, 30));
        number.SetRange(1, 16, 1);
        number.SetValue(2);
    }
    CNumVol number;
    LAsciiEdit text;
};

TEST_F(Dialogs, ATypedValueCountsOnceWhenConfirmedAndNeverWhenCancelled) {
    enum How { kReturn, kOk, kEscape, kCancel, kCloseBox, kOneButtonEscape, kOneButtonClose };
    const struct {
        How how;
        bool inText;
        const char* seen;  // before the dialog goes
        const char* value;
    } cases[] = {
        {kReturn, false, "CNumVol_Fix ", "16"},
        {kOk, false, "CNumVol_Fix ", "16"},
        {kOneButtonEscape, false, "CNumVol_Fix ", "16"},
        {kOneButtonClose, false, "CNumVol_Fix ", "16"},
        {kEscape, false, "", "40"},
        {kCancel, false, "", "40"},
        {kCloseBox, false, "", "40"},
        {kOk, true, "LEditText_Unfocused ", "40"},
        {kCancel, true, "", "40"},
    };
    for (const auto& c : cases) {
        EditLog log(app.get());
        {
            FieldDialog d(&log);
            log.text = &d.text;
            d.ShowWindow();
            if (c.how == kOneButtonEscape || c.how == kOneButtonClose) d.SetCancelButton(&d.ok);
            LEditText& field = c.inText ? static_cast<LEditText&>(d.text) : d.number;
            field.RequestFocus();
            ASSERT_NE(controls.fField, nullptr);
            controls.fField->Type("40");
            log.seen.clear();
            d.SetResult(0);
            if (c.how == kReturn || c.how == kEscape || c.how == kOneButtonEscape) {
                Keys({c.how == kReturn ? 13u : 27u});
                d.ModalStep(LDialog::kNoLimit);
            } else if (c.how == kCloseBox || c.how == kOneButtonClose) {
                LHandler::Send(LWindow_Close, d.Window(), &d);
            } else {
                LHandler::Send(LStdCtl_Selected, c.how == kOk ? &d.ok : &d.cancel, &d);
            }
            EXPECT_EQ(log.seen, c.seen) << c.how << c.inText;
            EXPECT_EQ(std::string(field.GetText().View()), c.value) << c.how << c.inText;
            log.seen.clear();
        }
        // The dialog going ends nothing more.
        EXPECT_EQ(log.seen, "") << c.how << c.inText;
    }
}

TEST_F(Dialogs, AFieldHiddenWithItsWindowEndsItsEditOnce) {
    // The window closes (hidden), opens again and the focus moves on.
    for (const bool typed : {true, false}) {
        EditLog log(app.get());
        FieldDialog d(&log);
        d.ShowWindow();
        d.number.RequestFocus();
        if (typed) controls.fField->Type("0");
        d.HideWindow();
        EXPECT_EQ(log.seen, typed ? "CNumVol_Fix " : "") << typed;
        EXPECT_EQ(d.number.GetValue(), typed ? 1 : 2);
        d.ShowWindow();
        d.text.RequestFocus();
        EXPECT_EQ(log.seen, typed ? "CNumVol_Fix " : "") << typed;
    }
}

}  // namespace
