// A number typed and left open in a field when its window or the program
// ends, on the headless main loop: every way a window ends stores it once, as
// Return would (range applied), before the window's owner hears of the close;
// a click elsewhere stores it before the click acts; dialogs that store only
// when confirmed keep to that.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/AppSingletons.h"
#include "framework/CNumVol.h"
#include "framework/InputState.h"
#include "framework/LCellListPane.h"
#include "framework/LMenu.h"
#include "framework/LStdCtl.h"
#include "framework/StdDialogs.h"
#include "tests/framework/HeadlessAppTest.h"

namespace {

// What reaches the window's owner, in order: each stored value, then the close.
class Owner : public LHandler {
public:
    explicit Owner(LHandler* parent) : LHandler(parent) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CNumVol_Fix)) {
            fLog += "fix " + std::to_string(i32(static_cast<CNumVol*>(msg.source)->GetValue())) +
                    "; ";
            return LMessage();
        }
        if (msg.Is(LFrame_Close)) {
            fLog += "close; ";
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    std::string fLog;
};

// A pane beside the field that notes when a click reaches it.
struct ClickNoted : LFrame {
    ClickNoted(LHandler* parent, LPane* container, std::string* log)
        : LFrame(parent, container), fLog(log) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LMouse_Click) && msg.source == LMouse::Instance()) *fLog += "click; ";
        return LFrame::HandleMessage(msg);
    }
    std::string* fLog;
};

// A field in a frame of its own, as editor windows nest them, and a pane to
// click beside it.
struct Editor : LFrame {
    Editor(Owner* owner, u32 kind)
        : LFrame(owner, nullptr, LPaneOpt::Window(kWindowOrdinary, kind)),
          inner(this, this),
          field(&inner),
          other(this, this, &owner->fLog) {
        SetWindowBounds(LRect(100, 100, 400, 300));
        inner.SetBounds(LRect(10, 10, 200, 50));
        field.SetBounds(LRect(20, 20, 120, 40));
        field.SetRange(1, 255, 1);
        other.SetBounds(LRect(10, 100, 200, 140));
    }
    LFrame inner;
    CNumVol field;
    ClickNoted other;
};

class EditEnds : public HeadlessAppTest {
protected:
    void SetUp() override {
        HeadlessAppTest::SetUp();
        FirstTick();
    }
    // Typed into the field, not ended.
    void TypeInto(CNumVol& field, const char* text) {
        field.RequestFocus();
        ASSERT_NE(field.Engine(), nullptr);
        controls.fField->Type(text);
    }
    // A press at a pane's centre, delivered as the window gives it.
    void ClickOn(LFrame& frame, LPane& pane) {
        const LRect c = frame.Window()->GetContentScreenRect();
        const u64 tl = pane.GetTopLeftIn(nullptr);
        const LPoint at{c.left + i32(LPane::UnpackX(tl)) + pane.Bounds().Width() / 2,
                        c.top + i32(LPane::UnpackY(tl)) + pane.Bounds().Height() / 2};
        mouse.SetEvent(at, 0, true, ++events, services.fNow);
        LHandler::Send(LWindow_Click, frame.Window(), &frame);
    }
    void ChooseClose(Editor& frame) {
        LMenuItem item(nullptr);
        item.SetCommand(LStdCmd_Close);
        LHandler::Send(LMenuItem_Selected, &item, &frame.field);
    }

    u32 events = 0;
};

TEST_F(EditEnds, EveryEndOfAWindowStoresTheTypedValueFirstAndOnce) {
    enum How { kCloseBox, kFileClose, kQuit, kClickElsewhere, kHidden };
    const struct {
        const char* what;
        How how;
        const char* typed;
        std::string log;
    } cases[] = {
        {"close box", kCloseBox, "37", "fix 37; close; ended; "},
        {"close box, above the range", kCloseBox, "300", "fix 255; close; ended; "},
        {"File > Close", kFileClose, "12", "fix 12; close; ended; "},
        {"quit", kQuit, "0", "fix 1; ended; "},
        {"click on another pane", kClickElsewhere, "77", "fix 77; click; ended; "},
        {"window hidden", kHidden, "5", "fix 5; ended; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Owner owner(app.get());
        auto win = std::make_unique<Editor>(&owner, 6);
        win->ShowWindow();
        TypeInto(win->field, c.typed);
        switch (c.how) {
            case kCloseBox:
                LHandler::Send(LWindow_Close, win->Window(), win.get());
                break;
            case kFileClose:
                ChooseClose(*win);
                break;
            case kQuit:
                app->RunLoop()->RunQuitProtocol();
                break;
            case kClickElsewhere:
                ClickOn(*win, win->other);
                break;
            case kHidden:
                win->HideWindow();
                break;
        }
        owner.fLog += "ended; ";
        // Whatever comes after the end stores nothing more.
        win->field.SetState(LPane::kOpUnfocus);
        win->HideWindow();
        win.reset();
        EXPECT_EQ(owner.fLog, c.log);
    }
}

// A click on a control beside the field stores the number and takes the keys,
// as the desktop's controls take them: the click back on the field only
// focuses it, where it stepped the number a field still holding them takes.
TEST_F(EditEnds, AControlClickedTakesTheKeysAndTheClickBackOnlyFocuses) {
    Owner owner(app.get());
    Editor win(&owner, 6);
    LStdCheck box(&win);
    box.SetBounds(LRect(220, 10, 290, 30));
    win.ShowWindow();
    TypeInto(win.field, "7");
    ClickOn(win, box);
    EXPECT_FALSE(win.field.State() & LPane::kFocused);
    ClickOn(win, win.field);
    EXPECT_TRUE(win.field.State() & LPane::kFocused);
    EXPECT_EQ(owner.fLog, "fix 7; ");
    win.HideWindow();
}

// A window that holds a view closes with the windows the view opened: their
// open edits end first, those of windows under other handlers stay open.
TEST_F(EditEnds, WindowsUnderAHandlerEndTheirEditsAndNoOthers) {
    Owner view(app.get());
    Owner opened(&view);
    Owner elsewhere(app.get());
    auto win = std::make_unique<Editor>(&opened, 6);
    win->ShowWindow();
    TypeInto(win->field, "42");
    LFrame::EndOpenEditsOfWindowsUnder(&elsewhere);
    EXPECT_EQ(opened.fLog, "");
    LFrame::EndOpenEditsOfWindowsUnder(&view);
    EXPECT_EQ(opened.fLog, "fix 42; ");
    LFrame::EndOpenEditsOfWindowsUnder(&view);
    EXPECT_EQ(opened.fLog, "fix 42; ") << "stored once";
    win->HideWindow();
}

// An owner that refuses a value and puts its field back in front of the
// user (as the device frame does with an address it cannot use).
class Refuser : public LHandler {
public:
    explicit Refuser(LHandler* parent) : LHandler(parent) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LEditText_Unfocused)) {
            auto* field = static_cast<LEditText*>(msg.source);
            const std::string text(field->GetText().CStr());
            fLog += (text == "bad" ? "refused " : "stored ") + text + "; ";
            if (text == "bad") field->RequestFocus();
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    std::string fLog;
};

struct AddressWindow : LFrame {
    explicit AddressWindow(Refuser* owner)
        : LFrame(owner, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)),
          field(this),
          other(this, this, &owner->fLog) {
        SetWindowBounds(LRect(100, 100, 400, 300));
        field.SetBounds(LRect(20, 20, 120, 40));
        other.SetBounds(LRect(10, 100, 200, 140));
    }
    LEditText field;
    ClickNoted other;
};

TEST_F(EditEnds, ARefusedValueKeepsItsFieldAndTheClickWaits) {
    Refuser owner(app.get());
    AddressWindow win(&owner);
    win.ShowWindow();
    win.field.RequestFocus();
    ASSERT_NE(win.field.Engine(), nullptr);
    controls.fField->Type("bad");
    ClickOn(win, win.other);
    // Refused once, and the click did not act: the field is still being edited.
    EXPECT_EQ(owner.fLog, "refused bad; ");
    EXPECT_TRUE(win.field.State() & LPane::kFocused);
    EXPECT_TRUE(win.field.EditHeld());
    // Typed again, a click elsewhere stores it before it acts.
    controls.fField->SetText(LString());
    controls.fField->Type("good");
    owner.fLog.clear();
    ClickOn(win, win.other);
    EXPECT_EQ(owner.fLog, "stored good; click; ");
    win.HideWindow();
}

// A dialog stores only when confirmed: its close box, a click on its Cancel
// button and the quit store nothing of what was typed.
struct NumberDialog : LDialog {
    explicit NumberDialog(LHandler* parent)
        : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
          field(this),
          ok(this),
          cancel(this) {
        field.SetBounds(LRect(10, 10, 110, 30));
        field.SetRange(1, 255, 1);
        ok.SetBounds(LRect(100, 60, 180, 80));
        cancel.SetBounds(LRect(10, 60, 90, 80));
        SetDefaultButton(&ok);
        SetCancelButton(&cancel);
        SetWindowBounds(LRect(100, 100, 300, 200));
    }
    CNumVol field;
    LStdButton ok, cancel;
};

TEST_F(EditEnds, DialogsStoreOnlyWhenConfirmed) {
    enum How { kCloseBox, kCancelClick, kQuit, kOk };
    const struct {
        const char* what;
        How how;
        std::string log;
    } cases[] = {
        {"close box", kCloseBox, ""},
        {"Cancel clicked", kCancelClick, ""},
        {"quit", kQuit, ""},
        {"OK", kOk, "fix 40; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Owner owner(app.get());
        NumberDialog d(&owner);
        d.ShowWindow();
        TypeInto(d.field, "40");
        switch (c.how) {
            case kCloseBox:
                LHandler::Send(LWindow_Close, d.Window(), &d);
                break;
            case kCancelClick:
                ClickOn(d, d.cancel);
                LHandler::Send(LStdCtl_Selected, &d.cancel, &d);
                break;
            case kQuit: {
                // As the session's end does: the dialog then ends as cancelled.
                CMainLoop* loop = app->RunLoop();
                loop->fEnding = 1;
                loop->RunQuitProtocol();
                EXPECT_EQ(d.ModalStep(LDialog::kNoLimit), 2u);
                loop->fEnding = 0;
                break;
            }
            case kOk:
                LHandler::Send(LStdCtl_Selected, &d.ok, &d);
                break;
        }
        d.field.SetState(LPane::kOpUnfocus);
        d.HideWindow();
        EXPECT_EQ(owner.fLog, c.log);
    }
}

}  // namespace
