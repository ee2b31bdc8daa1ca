// Framework fields on the Qt engine offscreen: number fields typed into, dragged
// and stepped by keys, Return and Backspace in dialogs, a wrapping field's bar.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>

#include "ControlFixture.h"
#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LEditText.h"

namespace {

ControlEnv* gEnv;

void Key(int key, const QString& text = {}, Qt::KeyboardModifiers mods = {}) {
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(QApplication::focusWidget(), &down);
}

// A dialog logging its default button's presses and any Backspace passed up
// to where the Delete item would take it.
struct DlgFrame : LDialog {
    DlgFrame() : LDialog(gApp, nullptr, LPaneOpt::Window(kWindowDialog, 6)) {
        fWindow->SetContentRect(LRect(100, 100, 500, 400));
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LStdCtl_Selected) || msg.Is(LDialog_Default))
            fLog += std::string(fLog.empty() ? "" : " ") + msg.name;
        if (msg.Is(LKeyboard_Down) && (LKeyboard::Instance()->fChar & 0xFF) == 8) fLog += " Delete";
        if (msg.Is(LStdCtl_Selected)) fSelectedAt = LTickMs();
        return LDialog::HandleMessage(msg);
    }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }
    std::string fLog;
    u32 fSelectedAt = 0;
};

class QtFields : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ControlEnv("offscreen"); }
    static void TearDownTestSuite() { delete gEnv; }
    void SetUp() override {
        d.ShowWindow();
        RunUntil([&] { return d.Native()->isActiveWindow() && d.Native()->ActiveForMs() > 150; });
    }
    // A press and release on the window's view, focusing the field there.
    QWidget* Focus(LPane* pane) {
        const LRect b = pane->Bounds();
        ClickWidget(d.Native()->View(), QPoint(b.left + 20, (b.top + b.bottom) / 2));
        return QApplication::focusWidget();
    }
    DlgFrame d;
};

TEST_F(QtFields, NumberFieldsTakeDigitsDragAndStepByKeys) {
    LNumEdit num(&d);
    num.SetBounds(LRect(10, 10, 150, 32));
    Focus(&num);
    for (char k : {'1', '2', 'a', '3'}) Key(k, QString(QChar(k)));
    EXPECT_EQ(std::string(num.GetText().View()), "123");

    CNumVol vol(&d);
    vol.SetBounds(LRect(10, 50, 150, 72));
    vol.SetRange(0, 1000, 1);
    vol.SetValue(500);
    Focus(&vol);  // the first press only focuses
    auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_TRUE(line && vol.Engine());
    const QPoint at(line->width() - 4, line->height() / 2);
    SendMouse(line, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    const f64 pressed = vol.GetValue();
    SendMouse(line, QEvent::MouseMove, at + QPoint(5, 0), {}, Qt::LeftButton);
    SendMouse(line, QEvent::MouseButtonRelease, at + QPoint(5, 0), Qt::LeftButton, {});
    EXPECT_EQ(vol.GetValue() - pressed, 10);
    // No drag selection: only the whole value a step selects.
    EXPECT_EQ(line->selectedText(), line->text());
    for (auto [key, mods, want] :
         {std::tuple{Qt::Key_Up, Qt::KeyboardModifiers(Qt::MetaModifier), 100},
          {Qt::Key_Down, Qt::MetaModifier | Qt::ShiftModifier, -1}}) {
        vol.SetValue(500);
        Key(key, {}, mods);
        EXPECT_EQ(vol.GetValue(), 500 + want) << key;
    }
}

TEST_F(QtFields, ReturnPressesTheDefaultButtonAndBackspaceStaysInTheField) {
    LStdButton ok(&d);
    ok.SetBounds(LRect(300, 250, 380, 274));
    d.SetDefaultButton(&ok);
    // The ms a paint last showed the button pressed.
    static u32 downPaintAt;
    struct DownPaints : QObject {
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Paint && static_cast<QAbstractButton*>(o)->isDown())
                downPaintAt = LTickMs();
            return false;
        }
    } spy;
    WidgetOf(&ok)->installEventFilter(&spy);
    for (u32 wrap : {0u, 2u}) {
        LEditText field(&d, wrap);
        field.SetBounds(LRect(10, 10, 200, wrap ? 80 : 32));
        Focus(&field);
        field.SetText("ab");
        d.fLog.clear();
        d.fSelectedAt = downPaintAt = 0;
        Key(Qt::Key_End);
        Key(Qt::Key_Backspace, "\b");
        Key(Qt::Key_Return, "\r");
        EXPECT_EQ(std::string(field.GetText().View()), wrap ? "a\n" : "a") << wrap;
        EXPECT_EQ(d.fLog, wrap ? "" : "LStdCtl_Selected LDialog_Default") << wrap;
        if (!wrap) {
            EXPECT_GT(downPaintAt, 0u);
            EXPECT_GE(d.fSelectedAt - downPaintAt, LDialog::kFlashMs - 2);
        }
    }
    WidgetOf(&ok)->removeEventFilter(&spy);
}

// A number typed into a dialog's stepping number field: Return stores it and,
// as in any other field, answers as the default button. Before, the field kept
// the key once it had stored the number, so the dialog stayed open.
TEST_F(QtFields, ReturnInATypedNumberFieldStoresItAndPressesTheDefaultButton) {
    LStdButton ok(&d);
    ok.SetBounds(LRect(300, 250, 380, 274));
    d.SetDefaultButton(&ok);
    CNumVol vol(&d);
    vol.SetBounds(LRect(10, 50, 150, 72));
    vol.SetRange(1, 512, 1);
    vol.SetValue(1);
    Focus(&vol);
    ASSERT_TRUE(vol.Engine());
    Key(Qt::Key_A, "a", Qt::ControlModifier);
    for (char k : {'9', '0', '0'}) Key(k, QString(QChar(k)));
    d.fLog.clear();
    Key(Qt::Key_Return, "\r");
    EXPECT_EQ(vol.GetValue(), 512);  // the range applied
    EXPECT_EQ(d.fLog, "LStdCtl_Selected LDialog_Default");
    // Not typed into: Return presses the button alone.
    d.fLog.clear();
    Key(Qt::Key_Return, "\r");
    EXPECT_EQ(d.fLog, "LStdCtl_Selected LDialog_Default");
}

// A pop-up used after typing in a stepping number field takes the keys: a
// click back into the field then gives them back to it, and steps nothing
// (before, it took a step down, as a click on a field being typed in does).
TEST_F(QtFields, AClickBackIntoANumberFieldAfterAPopupFocusesItWithoutAStep) {
    CNumVol vol(&d);
    vol.SetBounds(LRect(10, 50, 150, 72));
    vol.SetRange(1, 512, 1);
    vol.SetValue(24);
    LPopupList kinds(&d);
    kinds.SetBounds(LRect(10, 10, 150, 32));
    kinds.AddItem("one");
    kinds.AddItem("two");
    Focus(&vol);
    ASSERT_TRUE(vol.Engine() && vol.Engine()->Field()->IsFirstResponder());
    WidgetOf(&kinds)->setFocus(Qt::MouseFocusReason);
    ASSERT_FALSE(vol.Engine()->Field()->IsFirstResponder());
    Focus(&vol);
    EXPECT_EQ(vol.GetValue(), 24);
    ASSERT_TRUE(vol.Engine());
    EXPECT_TRUE(vol.Engine()->Field()->IsFirstResponder());
    // Holding the keys, a click steps as before.
    Focus(&vol);
    EXPECT_EQ(vol.GetValue(), 23);
}

TEST_F(QtFields, WrappingFieldsBarAndWidgetScrollTogether) {
    LEditText field(&d, 2, LEditText::kScrollBars);
    field.SetBounds(LRect(10, 10, 200, 90));
    const std::string text = std::string(30, '\n') + "last";
    field.SetText(LString(text.c_str(), u32(text.size())));
    auto* box = qobject_cast<QTextEdit*>(Focus(&field));
    ASSERT_TRUE(box && field.VBar());
    LScrollBar* bar = field.VBar();
    QScrollBar* inner = box->verticalScrollBar();
    const std::pair<const char*, std::function<void()>> kMoves[] = {
        {"keys to the end", [] { Key(Qt::Key_End, {}, Qt::ControlModifier); }},
        {"keys to the start", [] { Key(Qt::Key_Home, {}, Qt::ControlModifier); }},
        {"the bar's widget to its end",
         [&] {
             QWidget* w = WidgetOf(bar);
             SendMouse(w, QEvent::MouseButtonPress, QPoint(8, 20), Qt::LeftButton, Qt::LeftButton);
             SendMouse(w, QEvent::MouseMove, QPoint(8, 200), {}, Qt::LeftButton);
             SendMouse(w, QEvent::MouseButtonRelease, QPoint(8, 200), Qt::LeftButton, {});
         }},
    };
    for (const auto& [how, move] : kMoves) {
        move();
        QCoreApplication::processEvents();
        EXPECT_EQ(bar->GetValue(), inner->value()) << how;
    }
    EXPECT_EQ(inner->value(), inner->maximum());
    // The last line is in sight.
    const QRect last = box->cursorRect(QTextCursor(box->document()->lastBlock()));
    EXPECT_LE(last.bottom(), box->viewport()->height());
}

}  // namespace
