// Native controls under a real X server and window manager: real clicks on a
// check box and a radio button, the keyboard's repeat rate from xset, and a
// dead key composing in a plain field but not in an ASCII-only one. Skipped
// where Xvfb, openbox or xdotool is missing.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "framework/LStdCtl.h"
#include "platform/GraphicsServices.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtTextField.h"

namespace {

XvfbHarness* gX;
ShellEnv* gEnv;
QtControlServices* gControls;

class CtlFrame : public LFrame {
public:
    CtlFrame() : LFrame(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        fWindow->SetContentRect(LRect(100, 100, 400, 300));
    }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }
    LMessage HandleMessage(const LMessage& msg) override {
        const std::string name = msg.name ? msg.name : "";
        if (msg.source == fWindow || msg.source == this || name.rfind("LStdC", 0) != 0)
            return LFrame::HandleMessage(msg);
        fLog += (fLog.empty() ? "" : " ") + name;
        if (fTake) return LMessage();
        return LMessage::CopyRetarget(msg, msg.source);
    }
    std::string fLog;
    bool fTake = false;
};

class XvfbControls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gX = new XvfbHarness;
        if (!gX->Ok()) return;
        gEnv = new ShellEnv("xcb");
        gControls = new QtControlServices;
    }
    static void TearDownTestSuite() {
        delete gControls;
        delete gEnv;
        delete gX;
    }
    void SetUp() override {
        if (!gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    }
    static void Front(CtlFrame& f) {
        f.ShowWindow();
        if (!RunUntil([&] { return f.Native()->isActiveWindow(); }, 1000))
            gX->Xdotool("windowactivate " + std::to_string(f.Native()->winId()));
        ASSERT_TRUE(RunUntil(
            [&] { return f.Native()->isActiveWindow() && f.Native()->ActiveForMs() > 150; }));
    }
    // A real click in the middle of a pane's widget; true once the log grew.
    static void RealClick(CtlFrame& f, LStdCtl* pane) {
        QWidget* w = static_cast<QtNativeControl*>(pane->Native())->Widget();
        const QPoint at = w->mapToGlobal(w->rect().center());
        const size_t before = f.fLog.size();
        gX->Xdotool("mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                    " click 1");
        RunUntil([&] { return f.fLog.size() > before; }, 2000);
        // Let a late second message arrive, bounded by the release being seen.
        RunUntil([&] { return !(QApplication::mouseButtons() & Qt::LeftButton); }, 500);
        QCoreApplication::processEvents();
    }
};

TEST_F(XvfbControls, RealClicksOnCheckBoxAndRadio) {
    CtlFrame frame;
    LStdCheck box(&frame);
    box.SetBounds(LRect(20, 20, 120, 40));
    CRadioBtn on(&frame), off(&frame);
    on.SetBounds(LRect(20, 60, 120, 80));
    off.SetBounds(LRect(20, 100, 120, 120));
    on.SetNext(&off);
    off.SetNext(&on);
    on.SelectIndex(0);
    Front(frame);
    frame.fTake = true;
    RealClick(frame, &box);
    EXPECT_EQ(frame.fLog, "LStdCtl_Selected");
    EXPECT_EQ(box.GetState(), 0);
    frame.fTake = false;
    frame.fLog.clear();
    RealClick(frame, &box);
    EXPECT_EQ(frame.fLog, "LStdCtl_Selected LStdCheck_Change");
    EXPECT_EQ(box.GetState(), 1);
    // An on radio button clicked stays on and tells its parent again.
    frame.fLog.clear();
    RealClick(frame, &on);
    EXPECT_EQ(frame.fLog, "LStdCtl_Selected LStdCheck_Change");
    EXPECT_EQ(on.SelectedIndex(), 0);
}

TEST_F(XvfbControls, KeyThresholdsFollowTheServersRepeatRate) {
    const struct {
        const char* rate;
        i32 initial, repeat;
    } kCases[] = {{"500 20", 30, 3}, {"250 30", 15, 2}, {"660 25", 40, 2}};
    for (const auto& c : kCases) {
        ASSERT_EQ(gX->Run(std::string("xset r rate ") + c.rate), 0);
        i32 initial = 0, repeat = 0;
        GraphicsServices().GetKeyThresholds(&initial, &repeat);
        EXPECT_EQ(initial, c.initial) << c.rate;
        EXPECT_EQ(repeat, c.repeat) << c.rate;
    }
}

TEST_F(XvfbControls, DeadKeyComposesOnlyWhereInputMethodsAreAllowed) {
    if (gX->Run("setxkbmap -layout us -variant intl") != 0) GTEST_SKIP() << "no setxkbmap";
    CtlFrame frame;
    Front(frame);
    struct Owner : LNativeFieldOwner {
        i32 FilterText(const LString&, LString*) override { return kAsTyped; }
        void FieldTextChanged() override {}
        void FieldScrolled() override {}
    } owner;
    LNativeFieldOptions o;
    o.window = frame.Native();
    o.textRect = LRect(10, 10, 200, 30);
    const struct {
        bool ascii;
        const char* want;
    } kCases[] = {{true, "e"}, {false, "\xC3\xA9"}};
    for (const auto& c : kCases) {
        QtTextField field(&owner, o);
        field.MakeFirstResponder();
        void* saved = c.ascii ? gControls->SelectAsciiInputSource() : nullptr;
        ASSERT_TRUE(RunUntil([&] { return field.Widget()->hasFocus(); }));
        gX->Xdotool("key dead_acute e");
        RunUntil([&] { return !field.Text().IsEmpty(); }, 2000);
        EXPECT_EQ(std::string(field.Text().View()), c.want) << c.ascii;
        if (c.ascii) gControls->RestoreInputSource(saved);
    }
    gX->Run("setxkbmap -layout us");
}

}  // namespace
