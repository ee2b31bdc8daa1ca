// Qt controls offscreen: the contract on real widget presses, placement,
// wheels, tracking, progress, and the text engine: its one filter on every
// insertion path, secure fields, focus, frame-first keys, late freeing.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextEdit>

#include "ControlFixture.h"
#include "framework/LEditText.h"
#include "platform/qt/QtTextField.h"
#include "tests/framework/ControlContract.h"

namespace {

ControlEnv* gEnv;

struct QtDriver : ControlDriver {
    QtDriver() {
        frame.Front([] {});
    }
    CtlFrame frame;
    LPane* Parent() override { return &frame; }
    std::string Take() override { return frame.Take(); }
    void Consume(const char* name, bool on) override {
        on ? void(frame.fTake.insert(name)) : void(frame.fTake.erase(name));
    }
    void Click(LStdCtl* pane, i32 x, i32 y) override {
        ClickWidget(WidgetOf(pane), x < 0 ? WidgetOf(pane)->rect().center() : QPoint(x, y));
    }
};

class QtControls : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ControlEnv("offscreen"); }
    static void TearDownTestSuite() { delete gEnv; }
    QtDriver d;
};

TEST_F(QtControls, Contract) {
    for (const ContractCase& c : kContract) {
        SCOPED_TRACE(c.name);
        QtDriver fresh;
        c.run(fresh);
    }
}

TEST_F(QtControls, PlacementWheelsAndProgress) {
    LPopupList popup(&d.frame);
    popup.AddItem("a");
    popup.AddItem("b");
    // Half out of the window: inside a clip container (a pop-up's frame
    // reaches a pixel beside and two above and below its pane).
    popup.SetBounds(LRect(360, 10, 500, 36));
    EXPECT_EQ(WidgetOf(&popup)->parentWidget()->geometry(), QRect(359, 8, 41, 30));
    popup.SetBounds(LRect(10, 10, 150, 36));
    EXPECT_EQ(WidgetOf(&popup)->parentWidget(), d.frame.Native()->View());
    LScrollBar bar(&d.frame, 1, 1);
    bar.SetBounds(LRect(200, 10, 216, 200));
    bar.SetRange(50, 0, 100, 10);
    EXPECT_EQ(bar.GetPrefWidth(nullptr, 0), WidgetOf(&bar)->sizeHint().width());
    EXPECT_EQ(gEnv->controls.ScrollerWidth(nullptr), 16);
    auto* qbar = static_cast<QScrollBar*>(WidgetOf(&bar));
    EXPECT_NEAR(f64(qbar->pageStep()) / (qbar->maximum() + qbar->pageStep()), 10.0 / 110, 0.001);
    CSlider slider(&d.frame);
    slider.SetBounds(LRect(10, 110, 150, 130));
    slider.SetRange(0, 100);
    slider.SetValue(50);
    for (LStdCtl* pane : std::initializer_list<LStdCtl*>{&popup, &bar, &slider}) {
        QWidget* w = WidgetOf(pane);
        QWheelEvent e(QPointF(w->rect().center()), QPointF(w->mapToGlobal(w->rect().center())),
                      QPoint(), QPoint(0, -120), {}, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w, &e);
    }
    EXPECT_EQ(popup.Native()->SelectedItem() + bar.GetValue() + slider.GetValue(), 100);
    EXPECT_EQ(d.Take(), "");
    CProgressBar progress(&d.frame);
    for (auto [value, shown] : {std::pair{40, 40}, {250, 100}, {-5, 0}}) {
        progress.SetValue(value);
        EXPECT_EQ(static_cast<QProgressBar*>(WidgetOf(&progress))->value(), shown) << value;
    }
}

TEST_F(QtControls, ScrollBarReportsMovesOrTheReleaseAndSliderKnobClicks) {
    for (u8 continuous : {1, 0}) {
        LScrollBar bar(&d.frame, 1, continuous);
        bar.SetBounds(LRect(200, 10, 216, 210));
        bar.SetRange(0, 0, 100, 20);
        QWidget* w = WidgetOf(&bar);
        SendMouse(w, QEvent::MouseButtonPress, QPoint(8, 30), Qt::LeftButton, Qt::LeftButton);
        for (int y : {50, 90}) SendMouse(w, QEvent::MouseMove, QPoint(8, y), {}, Qt::LeftButton);
        const std::string during = d.Take(), move = "LScrollBar_Thumb LScrollBar_Change";
        SendMouse(w, QEvent::MouseButtonRelease, QPoint(8, 90), Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(during + "|" + d.Take(), continuous ? move + " " + move + "|" : "|" + move);
        EXPECT_GT(bar.GetValue(), 20);
    }
    CSlider slider(&d.frame);
    slider.SetBounds(LRect(10, 10, 210, 32));
    slider.SetRange(0, 100);
    slider.SetValue(50);
    QWidget* w = WidgetOf(&slider);
    const LRect k = slider.Native()->KnobRect();
    const QPoint knob =
        w->mapFrom(w->parentWidget(), QPoint((k.left + k.right) / 2, (k.top + k.bottom) / 2));
    ClickWidget(w, knob);
    EXPECT_EQ(d.Take(), "CSlider_Click");
    ClickWidget(w, QPoint(w->width() - 4, knob.y()));
    EXPECT_EQ(d.Take(), "CSlider_Click CSlider_Change");
    // What a groove click or a key step reports is where the knob went.
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &right);
    ASSERT_EQ(d.frame.fSlid.size(), 2u);
    EXPECT_GT(d.frame.fSlid[0], 50);
    EXPECT_EQ(d.frame.fSlid[1], d.frame.fSlid[0] + 1);
}

// Keeps digits only, as a number field does.
struct DigitsOwner : LNativeFieldOwner {
    i32 FilterText(const LString& typed, LString* kept) override {
        std::string out;
        for (char c : std::string(typed.View()))
            out += c >= '0' && c <= '9' ? std::string(1, c) : "";
        if (out.size() == typed.Length()) return kAsTyped;
        *kept = LString(out.c_str(), u32(out.size()));
        return out.empty() ? kRefuse : kKept;
    }
    void FieldTextChanged() override { ++changes; }
    void FieldScrolled() override {}
    int changes = 0;
};

void Key(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers mods = {}) {
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(w, &down);
}

TEST_F(QtControls, EveryInsertionPathPassesTheFilter) {
    QClipboard* clip = QGuiApplication::clipboard();
    for (u32 wrap : {0u, 2u}) {
        DigitsOwner owner;
        QtTextField field(&owner, {d.frame.Native(), LRect(10, 10, 200, 60), nullptr, wrap});
        field.MakeFirstResponder();
        QWidget* w = field.Widget();
        field.SetText("ab");  // not filtered, tells nobody
        EXPECT_EQ(std::string(field.Text().View()) + std::to_string(owner.changes), "ab0");
        const std::pair<const char*, std::function<void()>> kPaths[] = {
            {"keys",
             [&] {
                 for (char k : {'1', '2', 'a', '3'}) Key(w, k, QString(QChar(k)));
             }},
            {"paste", [&] { field.Command(LFieldCommand::kPaste); }},
            // Undo takes back the last change of the text since it was set: a cut.
            {"cut, then undone",
             [&] {
                 EXPECT_FALSE(field.CanUndo()) << "set, not changed";
                 Key(w, '9', "9");
                 field.SelectAll();
                 field.Command(LFieldCommand::kCut);
                 EXPECT_TRUE(field.CanUndo());
                 field.Command(LFieldCommand::kUndo);
             }},
            // Redo makes the cut again and Undo takes it back once more; the
            // owner hears of each as of a change the user made.
            {"cut, undone, redone and undone",
             [&] {
                 Key(w, '9', "9");
                 field.SelectAll();
                 field.Command(LFieldCommand::kCut);
                 EXPECT_FALSE(field.CanRedo());
                 field.Command(LFieldCommand::kUndo);
                 EXPECT_TRUE(field.CanRedo());
                 const int heard = owner.changes;
                 field.Command(LFieldCommand::kRedo);
                 EXPECT_EQ(std::string(field.Text().View()), "");
                 field.Command(LFieldCommand::kUndo);
                 EXPECT_EQ(owner.changes, heard + 2);
             }},
            {"Shift+Insert", [&] { Key(w, Qt::Key_Insert, "", Qt::ShiftModifier); }},
            {"input method",
             [&] {
                 QInputMethodEvent e;
                 e.setCommitString("x9y");
                 QCoreApplication::sendEvent(w, &e);
             }},
            {"middle click",
             [&] {
                 clip->setText("x9y", clip->supportsSelection() ? QClipboard::Selection
                                                                : QClipboard::Clipboard);
                 ClickWidget(field.Box() ? field.Box()->viewport() : w, QPoint(150, 5),
                             Qt::MiddleButton);
             }},
        };
        for (const auto& [path, act] : kPaths) {
            field.SetText("");
            owner.changes = 0;
            clip->setText("x9y");
            act();
            EXPECT_EQ(std::string(field.Text().View()), path == std::string("keys") ? "123" : "9")
                << path << wrap;
            EXPECT_GT(owner.changes, 0) << path;
        }
    }
    // A secure field: Copy, Cut and Ctrl+X leave clipboard and text.
    DigitsOwner owner;
    QtTextField secure(&owner, {d.frame.Native(), LRect(10, 10, 200, 30), nullptr, 2, true});
    ASSERT_EQ(secure.Line()->echoMode(), QLineEdit::Password);
    secure.SetText("1234");
    clip->setText("before");
    for (int act = 0; act < 3; ++act) {
        secure.SelectAll();
        act < 2 ? secure.Command(act ? LFieldCommand::kCut : LFieldCommand::kCopy)
                : Key(secure.Widget(), Qt::Key_X, "\x18", Qt::ControlModifier);
        EXPECT_EQ(std::string(secure.Text().View()) + clip->text().toStdString(), "1234before")
            << act;
    }
}

TEST_F(QtControls, EngineFollowsTheFocusAndTheFrameSeesKeysFirst) {
    LEditText a(&d.frame), b(&d.frame), c(&d.frame);
    LEditText* fields[] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        fields[i]->SetBounds(LRect(10, 10 + 40 * i, 200, 32 + 40 * i));
        fields[i]->SetText("hello world");
    }
    // The press that focuses a field puts the caret where it was.
    ClickWidget(d.frame.Native()->View(), QPoint(195, 21));
    auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_TRUE(line && a.Engine());
    EXPECT_EQ(line->cursorPosition(), 11);
    for (bool consume : {true, false}) {
        line->selectAll();
        d.Consume(LEditText_Down, consume);
        Key(line, Qt::Key_Left, "");
        EXPECT_EQ(d.Take(), "LEditText_Down");
        EXPECT_EQ(line->hasSelectedText(), consume);
    }
    d.Consume(LEditText_Down, false);
    // Tab ends each engine inside its own key event: hidden and detached at
    // once, deleted later.
    for (int i = 0; i < 3; ++i) {
        QPointer<QWidget> engine = QApplication::focusWidget();
        Key(engine, Qt::Key_Tab, "\t");
        EXPECT_TRUE(engine && !engine->isVisible() && !engine->parentWidget());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(engine);
    }
    EXPECT_EQ(d.frame.Native()->View()->findChildren<QLineEdit*>().size(), 1);
    EXPECT_TRUE(QtFieldOf(QApplication::focusWidget()));
}

TEST_F(QtControls, ControlMovedDuringAPaintIsPlacedAfterwards) {
    LStdButton button(&d.frame);
    button.SetBounds(LRect(10, 10, 90, 34));
    QtWindowServices::Instance()->fPainting = d.frame.Native();
    button.SetBounds(LRect(100, 100, 180, 124));
    QtWindowServices::Instance()->fPainting = nullptr;
    EXPECT_EQ(WidgetOf(&button)->pos(), QPoint(10, 10));
    EXPECT_TRUE(RunUntil([&] { return WidgetOf(&button)->pos() == QPoint(100, 100); }, 1000));
}

}  // namespace
