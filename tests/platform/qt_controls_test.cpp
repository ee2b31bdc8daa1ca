// Native controls as Qt widgets on the offscreen platform: the control
// contract with real presses on the widgets, wheels, progress clamping,
// stamped controls, late freeing, the text engine's one filter on every
// insertion path, secure fields, the ASCII-only field, scroller widths and
// embedded views.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyle>
#include <QTextEdit>

#include "ShellFixture.h"
#include "framework/LEditText.h"
#include "framework/LEmbeddedPane.h"
#include "platform/qt/MEmbeddedView.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtPainterGraphics.h"
#include "platform/qt/QtTextField.h"
#include "tests/framework/ControlContract.h"

namespace {

ShellEnv* gEnv;
QtControlServices* gControls;

// A dialog-sized window whose frame logs what its panes send.
class CtlFrame : public LFrame {
public:
    CtlFrame() : LFrame(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        fWindow->SetContentRect(LRect(50, 50, 450, 350));
        ShowWindow();
        RunUntil([&] { return Native()->ActiveForMs() > 150; });
    }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }
    LMessage HandleMessage(const LMessage& msg) override {
        static const char* const kLogged[] = {"LStdC",    "LPopupList_",      "LScrollBar_",
                                              "CSlider_", "CEditText_Change", "LEditText_Down"};
        const std::string name = msg.name ? msg.name : "";
        bool logged = msg.source != fWindow && msg.source != this;
        if (logged) {
            logged = false;
            for (const char* p : kLogged) logged = logged || name.rfind(p, 0) == 0;
        }
        if (!logged) return LFrame::HandleMessage(msg);
        fLog.push_back(name);
        if (fTake.count(name)) return LMessage();
        return LMessage::CopyRetarget(msg, msg.source);
    }
    std::vector<std::string> fLog;
    std::set<std::string> fTake;
};

QWidget* WidgetOf(LStdCtl* pane) {
    return static_cast<QtNativeControl*>(pane->Native())->Widget();
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), QPointF(w->mapTo(w->window(), at)),
                  QPointF(w->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

// A real press and release on the widget, through its filter.
void ClickWidget(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonPress, at, button, button);
    SendMouse(w, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}

struct QtDriver : ControlDriver {
    CtlFrame frame;
    LPane* Parent() override { return &frame; }
    std::string Take() override {
        std::string s;
        for (const std::string& m : frame.fLog) s += (s.empty() ? "" : " ") + m;
        frame.fLog.clear();
        return s;
    }
    void Consume(const char* name, bool on) override {
        if (on)
            frame.fTake.insert(name);
        else
            frame.fTake.erase(name);
    }
    void Click(LStdCtl* pane, i32 x, i32 y) override {
        QWidget* w = WidgetOf(pane);
        ClickWidget(w, x < 0 ? w->rect().center() : QPoint(x, y));
    }
    void Choose(LPopupList* pane, i32 index) override {
        // The user's choice in the open list ends in activated().
        auto* c = static_cast<QComboBox*>(WidgetOf(pane));
        c->setCurrentIndex(index);
        emit c->activated(index);
    }
    bool WidgetEnabled(LStdCtl* pane) override { return WidgetOf(pane)->isEnabled(); }
};

class QtControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gEnv = new ShellEnv("offscreen");
        gControls = new QtControlServices;
    }
    static void TearDownTestSuite() {
        delete gControls;
        delete gEnv;
    }
};

TEST_F(QtControlsTest, Contract) {
    for (const ContractCase& c : kContract) {
        SCOPED_TRACE(c.name);
        QtDriver d;
        c.run(d);
    }
}

TEST_F(QtControlsTest, WidgetPerKindChildOfTheContentView) {
    QtDriver d;
    LStdButton button(&d.frame);
    LScrollBar bar(&d.frame, 1, 1);
    bar.SetBounds(LRect(200, 10, 216, 200));
    button.SetBounds(LRect(10, 10, 90, 34));
    EXPECT_TRUE(button.Native()->HasWindow());
    EXPECT_EQ(WidgetOf(&button)->parentWidget(), d.frame.Native()->View());
    EXPECT_EQ(WidgetOf(&button)->geometry(), QRect(10, 10, 80, 24));
    EXPECT_EQ(WidgetOf(&button)->focusPolicy(), Qt::NoFocus);
    // Half out of the window's clip: inside a clip container showing the visible part.
    button.SetBounds(LRect(360, 10, 440, 34));
    QWidget* clip = WidgetOf(&button)->parentWidget();
    EXPECT_NE(clip, d.frame.Native()->View());
    EXPECT_EQ(clip->geometry(), QRect(360, 10, 40, 24));
    EXPECT_EQ(WidgetOf(&button)->pos(), QPoint(0, 0));
    EXPECT_EQ(bar.GetPrefWidth(nullptr, 0),
              d.frame.Native()->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    EXPECT_EQ(gControls->ScrollerWidth(nullptr), 16);
}

TEST_F(QtControlsTest, WheelOverControlsIsTheWindowsAndMovesNothing) {
    QtDriver d;
    LPopupList popup(&d.frame);
    popup.SetBounds(LRect(10, 10, 150, 36));
    popup.AddItem("a");
    popup.AddItem("b");
    LScrollBar bar(&d.frame, 1, 1);
    bar.SetBounds(LRect(200, 10, 216, 200));
    bar.SetRange(50, 0, 100, 10);
    CSlider slider(&d.frame);
    slider.SetBounds(LRect(10, 110, 150, 130));
    slider.SetRange(0, 100);
    slider.SetValue(50);
    for (LStdCtl* pane : std::initializer_list<LStdCtl*>{&popup, &bar, &slider}) {
        QWidget* w = WidgetOf(pane);
        const QPoint at = w->rect().center();
        QWheelEvent e(QPointF(at), QPointF(w->mapToGlobal(at)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w, &e);
    }
    EXPECT_EQ(popup.Native()->SelectedItem(), 0);
    EXPECT_EQ(bar.GetValue(), 50);
    EXPECT_EQ(slider.GetValue(), 50);
    EXPECT_EQ(d.Take(), "");
}

TEST_F(QtControlsTest, ProgressValueClampedToItsRange) {
    QtDriver d;
    CProgressBar bar(&d.frame);
    bar.SetBounds(LRect(10, 10, 150, 24));
    auto* p = static_cast<QProgressBar*>(WidgetOf(&bar));
    const struct {
        i32 max, value, shown;
    } kCases[] = {{100, 40, 40}, {100, 250, 100}, {100, -5, 0}, {10, 7, 7}, {10, 11, 10}};
    for (const auto& c : kCases) {
        bar.SetMax(c.max);
        bar.SetValue(c.value);
        EXPECT_EQ(p->value(), c.shown) << c.max << " " << c.value;
        EXPECT_FALSE(p->isTextVisible());
    }
}

TEST_F(QtControlsTest, ScrollerKnobSpansPageOverRangeAndPage) {
    QtDriver d;
    LScrollBar bar(&d.frame, 1, 1);
    bar.SetBounds(LRect(200, 10, 216, 210));
    for (i32 page : {10, 50, 100}) {
        bar.SetRange(0, 0, 100, page);
        auto* s = static_cast<QScrollBar*>(WidgetOf(&bar));
        const f64 want = f64(page) / (100 + page);
        EXPECT_NEAR(f64(s->pageStep()) / (s->maximum() - s->minimum() + s->pageStep()), want,
                    0.001);
    }
}

TEST_F(QtControlsTest, PaneDyingInsideItsWidgetsEventIsFreedLater) {
    // The frame deletes the button from inside the button's own click.
    struct Killer : CtlFrame {
        LMessage HandleMessage(const LMessage& msg) override {
            if (msg.Is(LStdCtl_Selected) && victim) {
                delete victim;
                victim = nullptr;
                return LMessage();
            }
            return CtlFrame::HandleMessage(msg);
        }
        LStdButton* victim = nullptr;
    } frame;
    frame.victim = new LStdButton(&frame);
    frame.victim->SetBounds(LRect(10, 10, 90, 34));
    QPointer<QWidget> w = WidgetOf(frame.victim);
    ClickWidget(w, w->rect().center());
    EXPECT_EQ(frame.victim, nullptr);
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->parentWidget(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);
}

TEST_F(QtControlsTest, StampedControlPaintsItsLookIntoAnImage) {
    QtDriver d;
    LStdCheck box(&d.frame);
    box.SetState(1);
    box.Native()->Remove();
    QImage image(40, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QtPainterGraphics g(painter, QRegion(0, 0, 40, 30));
        box.Native()->DrawInto(&g, LRect(5, 5, 25, 25));
    }
    int dark = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) dark += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(dark, 4);
    // Nothing outside the pane's place.
    for (int x = 0; x < 40; ++x) EXPECT_EQ(image.pixel(x, 28), QColor(Qt::white).rgb());
}

// ---------------------------------------------------------------- text engine

struct FieldOwner : LNativeFieldOwner {
    i32 FilterText(const LString& typed, LString* kept) override {
        std::string out;
        for (char c : std::string(typed.View()))
            if (c >= '0' && c <= '9') out += c;
        if (out.empty()) return kRefuse;
        if (out.size() == typed.Length()) return kAsTyped;
        *kept = LString(out.c_str(), u32(out.size()));
        return kKept;
    }
    void FieldTextChanged() override { ++changes; }
    void FieldScrolled() override {}
    int changes = 0;
};

void Type(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers mods = {}) {
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(w, &down);
}

TEST_F(QtControlsTest, EveryInsertionPathPassesTheFilter) {
    QtDriver d;
    for (u32 wrap : {0u, 2u}) {
        SCOPED_TRACE(wrap);
        FieldOwner owner;
        LNativeFieldOptions o;
        o.window = d.frame.Native();
        o.textRect = LRect(10, 10, 200, 60);
        o.wrapMode = wrap;
        QtTextField field(&owner, o);
        field.MakeFirstResponder();
        QWidget* w = field.Widget();
        EXPECT_EQ(bool(field.Line()), wrap == 0);
        // SetText is not filtered and tells nobody.
        field.SetText("ab");
        EXPECT_EQ(std::string(field.Text().View()), "ab");
        EXPECT_EQ(owner.changes, 0);
        field.SetText("");
        const struct {
            const char* path;
            std::function<void()> act;
        } kPaths[] = {
            {"keys",
             [&] {
                 for (const char* k : {"1", "2", "a", "3"}) Type(w, k[0], k);
             }},
            {"Ctrl+V",
             [&] {
                 QGuiApplication::clipboard()->setText("x9y");
                 field.Command(LFieldCommand::kPaste);
             }},
            {"Shift+Insert",
             [&] {
                 QGuiApplication::clipboard()->setText("x9y");
                 Type(w, Qt::Key_Insert, "", Qt::ShiftModifier);
             }},
            {"input method",
             [&] {
                 QInputMethodEvent e;
                 e.setCommitString("x9y");
                 QCoreApplication::sendEvent(w, &e);
             }},
            {"middle click",
             [&] {
                 QGuiApplication::clipboard()->setText(
                     "x9y", QGuiApplication::clipboard()->supportsSelection()
                                ? QClipboard::Selection
                                : QClipboard::Clipboard);
                 QWidget* target = field.Box() ? field.Box()->viewport() : w;
                 ClickWidget(target, QPoint(150, 5), Qt::MiddleButton);
             }},
        };
        for (const auto& p : kPaths) {
            SCOPED_TRACE(p.path);
            field.SetText("");
            owner.changes = 0;
            p.act();
            EXPECT_EQ(std::string(field.Text().View()),
                      p.path == std::string("keys") ? "123" : "9");
            EXPECT_GT(owner.changes, 0);
        }
    }
}

TEST_F(QtControlsTest, SecureFieldCopyAndCutLeaveClipboardAndText) {
    QtDriver d;
    FieldOwner owner;
    LNativeFieldOptions o;
    o.window = d.frame.Native();
    o.textRect = LRect(10, 10, 200, 30);
    o.secure = true;
    o.wrapMode = 2;
    QtTextField field(&owner, o);
    ASSERT_TRUE(field.Line());
    EXPECT_EQ(field.Line()->echoMode(), QLineEdit::Password);
    field.SetText("1234");
    QGuiApplication::clipboard()->setText("before");
    for (LFieldCommand c : {LFieldCommand::kCopy, LFieldCommand::kCut}) {
        field.SelectAll();
        field.Command(c);
        EXPECT_EQ(std::string(field.Text().View()), "1234");
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    }
    field.SelectAll();
    Type(field.Widget(), Qt::Key_X, "\x18", Qt::ControlModifier);
    EXPECT_EQ(std::string(field.Text().View()), "1234");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
}

TEST_F(QtControlsTest, AsciiOnlyEngineRefusesInputMethods) {
    QtDriver d;
    FieldOwner owner;
    LNativeFieldOptions o;
    o.window = d.frame.Native();
    o.textRect = LRect(10, 10, 200, 30);
    QtTextField field(&owner, o);
    EXPECT_TRUE(field.Widget()->inputMethodQuery(Qt::ImEnabled).toBool());
    void* saved = gControls->SelectAsciiInputSource();
    EXPECT_FALSE(field.Widget()->inputMethodQuery(Qt::ImEnabled).toBool());
    gControls->RestoreInputSource(saved);
    EXPECT_TRUE(field.Widget()->inputMethodQuery(Qt::ImEnabled).toBool());
}

TEST_F(QtControlsTest, EngineFreedLateWhenItsOwnKeyEndsIt) {
    QtDriver d;
    FieldOwner owner;
    LNativeFieldOptions o;
    o.window = d.frame.Native();
    o.textRect = LRect(10, 10, 200, 30);
    auto* field = new QtTextField(&owner, o);
    QPointer<QWidget> w = field->Widget();
    // The field dies inside the widget's own key event.
    struct Deleter : QObject {
        QtTextField** field;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress && *field) {
                delete *field;
                *field = nullptr;
            }
            return false;
        }
    } deleter;
    deleter.field = &field;
    w->installEventFilter(&deleter);
    Type(w, Qt::Key_5, "5");
    EXPECT_EQ(field, nullptr);
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);
}

// A press on the content view where a pane lies (as a real click reaches it).
void PressView(CtlFrame& frame, QPoint at) {
    ClickWidget(frame.Native()->View(), at);
}

std::vector<QWidget*> Engines(CtlFrame& frame) {
    std::vector<QWidget*> out;
    for (QWidget* w : frame.Native()->View()->findChildren<QWidget*>()) {
        if (QtFieldOf(w) && w->isVisible() &&
            !qobject_cast<QWidget*>(w->parent())->property("kvField").isValid())
            out.push_back(w);
    }
    return out;
}

TEST_F(QtControlsTest, EngineFollowsTheFocusAndTheFrameSeesKeysFirst) {
    QtDriver d;
    LEditText a(&d.frame), b(&d.frame), c(&d.frame);
    const LRect at[] = {{10, 10, 200, 32}, {10, 50, 200, 72}, {10, 90, 200, 112}};
    LEditText* fields[] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        fields[i]->SetBounds(at[i]);
        fields[i]->SetText("hello world");
    }
    // The press that focuses a field puts the caret where it was.
    PressView(d.frame, QPoint(195, 21));
    ASSERT_NE(a.Engine(), nullptr);
    auto* line = qobject_cast<QLineEdit*>(Engines(d.frame).at(0));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->cursorPosition(), 11);
    // Left with everything selected is the frame's first.
    for (bool consume : {true, false}) {
        SCOPED_TRACE(consume);
        line->selectAll();
        d.Take();
        d.Consume(LEditText_Down, consume);
        Type(line, Qt::Key_Left, "");
        EXPECT_EQ(d.Take(), "LEditText_Down");
        EXPECT_EQ(line->hasSelectedText(), consume);
    }
    d.Consume(LEditText_Down, false);
    // Tab through the fields: one engine remains, with Qt's focus.
    for (int i = 0; i < 3; ++i) {
        QWidget* engine = Engines(d.frame).at(0);
        Type(engine, Qt::Key_Tab, "\t");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    const std::vector<QWidget*> left = Engines(d.frame);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0]->hasFocus());
}

TEST_F(QtControlsTest, ScrollBarReportsMovesOrTheRelease) {
    QtDriver d;
    for (u8 continuous : {1, 0}) {
        SCOPED_TRACE(continuous);
        LScrollBar bar(&d.frame, 1, continuous);
        bar.SetBounds(LRect(200, 10, 216, 210));
        bar.SetRange(0, 0, 100, 20);
        QWidget* w = WidgetOf(&bar);
        d.Take();
        // The knob sits at the top of the groove, under the up arrow.
        const QPoint knob(8, 30);
        SendMouse(w, QEvent::MouseButtonPress, knob, Qt::LeftButton, Qt::LeftButton);
        for (int y : {50, 70, 90})
            SendMouse(w, QEvent::MouseMove, QPoint(8, y), Qt::NoButton, Qt::LeftButton);
        const std::string during = d.Take();
        SendMouse(w, QEvent::MouseButtonRelease, QPoint(8, 90), Qt::LeftButton, Qt::NoButton);
        const std::string after = d.Take();
        if (continuous) {
            EXPECT_EQ(during,
                      "LScrollBar_Thumb LScrollBar_Change LScrollBar_Thumb LScrollBar_Change "
                      "LScrollBar_Thumb LScrollBar_Change");
            EXPECT_EQ(after, "");
        } else {
            EXPECT_EQ(during, "");
            EXPECT_EQ(after, "LScrollBar_Thumb LScrollBar_Change");
        }
        EXPECT_GT(bar.GetValue(), 20);
    }
}

TEST_F(QtControlsTest, SliderKnobClickWithoutMoveIsNoChange) {
    QtDriver d;
    CSlider slider(&d.frame);
    slider.SetBounds(LRect(10, 10, 210, 32));
    slider.SetRange(0, 100);
    slider.SetValue(50);
    QWidget* w = WidgetOf(&slider);
    const LRect knob = slider.Native()->KnobRect();
    const QPoint center =
        w->mapFrom(d.frame.Native()->View(),
                   QPoint((knob.left + knob.right) / 2, (knob.top + knob.bottom) / 2));
    d.Take();
    ClickWidget(w, center);
    EXPECT_EQ(d.Take(), "CSlider_Click");
    EXPECT_EQ(slider.GetValue(), 50);
    // A click on the groove beside it does move the knob.
    ClickWidget(w, QPoint(w->width() - 4, center.y()));
    EXPECT_EQ(d.Take(), "CSlider_Click CSlider_Change");
    EXPECT_GT(slider.GetValue(), 50);
}

TEST_F(QtControlsTest, ControlMovedDuringAPaintIsPlacedAfterwards) {
    QtDriver d;
    LStdButton button(&d.frame);
    button.SetBounds(LRect(10, 10, 90, 34));
    QtWindowServices::Instance()->fPainting = d.frame.Native();
    button.SetBounds(LRect(100, 100, 180, 124));
    QtWindowServices::Instance()->fPainting = nullptr;
    EXPECT_EQ(WidgetOf(&button)->pos(), QPoint(10, 10));
    EXPECT_TRUE(RunUntil([&] { return WidgetOf(&button)->pos() == QPoint(100, 100); }, 1000));
}

TEST_F(QtControlsTest, EmbeddedViewTellsItsPaneOnceShownInAWindow) {
    QWidget panel;
    panel.resize(300, 200);
    struct Owner : LEmbeddedOwner {
        void EmbeddedInWindow() override { ++told; }
        int told = 0;
    } owner;
    void* view = gControls->MakeEmbeddedView(&panel, &owner);
    gControls->SetEmbeddedSize(view, 120, 40);
    EXPECT_EQ(owner.told, 0);
    panel.show();
    EXPECT_EQ(owner.told, 1);
    EXPECT_EQ(static_cast<QWidget*>(view)->size(), QSize(120, 40));
    panel.hide();
    panel.show();
    EXPECT_EQ(owner.told, 1);
    gControls->ReleaseEmbeddedView(view);
}

}  // namespace
