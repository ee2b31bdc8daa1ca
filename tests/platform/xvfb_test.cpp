// The Qt shell under a real X server and window manager: real keys, the
// wheel, user resizes, stacking, a modal dialog, the bounded wait for the
// screen. Skipped where Xvfb, openbox or xdotool is missing.
#include <gtest/gtest.h>

#include <QWindow>

#include <tuple>

#include "XvfbKeys.h"
#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "framework/LTimer.h"

namespace {

XvfbHarness* gX;
ShellEnv* gEnv;

std::string Id(RecFrame& f) {
    return std::to_string(f.Native()->winId());
}

class Xvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gX = new XvfbHarness;
        if (gX->Ok()) gEnv = new ShellEnv("xcb");
    }
    static void TearDownTestSuite() {
        delete gEnv;
        delete gX;
    }
    void SetUp() override {
        if (!gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
        gLog.clear();
    }
    // Shown, active and past the first click that only activates it.
    static void Front(RecFrame& f) {
        f.ShowWindow();
        // A window manager may keep the focus from a program that has had no
        // input yet (user time 0); the user's click then gives it.
        if (!WaitUntil([&] { return f.Native()->isActiveWindow(); }, 1000))
            gX->Xdotool("windowactivate " + Id(f));
        ASSERT_TRUE(WaitUntil(
            [&] { return f.Native()->isActiveWindow() && f.Native()->ActiveForMs() > 150; }));
    }
};

TEST_F(Xvfb, RealKeysWheelAndResizing) {
    RecFrame frame(kWindowOrdinary, 6);
    frame.fMinW = 200;  // the placer allows 200..400 pixels of content width
    frame.fMaxW = 400;
    frame.GetWindow()->SetContentRect(LRect(100, 100, 400, 300));
    Front(frame);
    const struct {
        const char* keys;
        u32 ch, modifiers, nav;
    } cases[] = {
        // clang-format off
        {"Up", 0xF700, 0, 3}, {"Down", 0xF701, 0, 4}, {"Left", 0xF702, 0, 1},
        {"Right", 0xF703, 0, 2}, {"Return", 13, 0, 5}, {"KP_Enter", 13, 0, 5},
        {"shift+Tab", 9, kModShift, 0}, {"ctrl+c", 'c', kModCommand, 0}, {"BackSpace", 8, 0, 0},
        {"Delete", 127, 0, 0}, {"shift+a", 'A', kModShift, 0}, {"alt+b", 'b', kModOption, 0},
        {"super+k", 'k', kModControl, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        const size_t before = frame.fKeys.size();
        gX->Xdotool(std::string("key shift ") + c.keys);  // Shift alone first: no key of its own
        ASSERT_TRUE(WaitUntil([&] { return frame.fKeys.size() > before; })) << c.keys;
        // A second key from the one press would be queued by now.
        LoopDrained();
        ASSERT_EQ(frame.fKeys.size(), before + 1) << c.keys;
        EXPECT_EQ(frame.fKeys.back(), std::tuple(c.ch, c.modifiers, c.nav)) << c.keys;
    }
    // "LKeyboard_Char" only when the handled flag was cleared.
    EXPECT_EQ(Count(LKeyboard_Char), 0);
    frame.fWantChar = true;
    gX->Xdotool("key x");
    EXPECT_TRUE(WaitUntil([] { return Count(LKeyboard_Char) == 1; }));

    // A wheel notch is 20, up positive.
    gX->Xdotool("mousemove 200 200 click 4");
    EXPECT_TRUE(WaitUntil([] { return Count(LWindow_Wheel) == 1; }));
    EXPECT_EQ(std::get<0>(frame.fWheel), 20);
    gX->Screenshot(KEVO_BINARY_DIR "/xvfb_keys.png");

    for (int width : {700, 100, 350, 1000}) {
        gX->Xdotool("windowsize " + Id(frame) + " " + std::to_string(width) + " 250");
        WaitUntil([&] { return frame.Native()->View()->width() == std::clamp(width, 200, 400); },
                  1000);
        const i32 w = frame.GetWindow()->GetContentScreenRect().Width();
        EXPECT_TRUE(w >= 200 && w <= 400) << width << " gave " << w;
    }
}

TEST_F(Xvfb, StackingModalityAndTheBoundedWait) {
    RecFrame a(kWindowOrdinary, 6), b(kWindowOrdinary, 6), c(kWindowOrdinary, 6);
    a.GetWindow()->SetContentRect(LRect(50, 50, 350, 350));
    b.GetWindow()->SetContentRect(LRect(100, 100, 400, 400));
    c.GetWindow()->SetContentRect(LRect(150, 150, 450, 450));
    Front(a);
    Front(b);
    c.ShowWindowNoActivate();
    // Directly behind the frontmost window of its type, for the window manager too.
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::vector<u64> s = gX->Stacking();
            auto pos = [&](RecFrame& f) {
                return std::find(s.begin(), s.end(), f.Native()->winId()) - s.begin();
            };
            return pos(c) + 1 == pos(b) && pos(b) < i64(s.size());
        },
        2000));
    EXPECT_EQ(LDesktop::NextVisibleWindow(nullptr), b.GetWindow());
    EXPECT_EQ(LDesktop::NextVisibleWindow(b.GetWindow()), c.GetWindow());
    EXPECT_EQ(LDesktop::NextVisibleWindow(c.GetWindow()), a.GetWindow());
    gX->Screenshot(KEVO_BINARY_DIR "/xvfb_stacking.png");

    // While a dialog is up the other windows take no clicks; timers keep firing.
    RecFrame dialog(kWindowDialog, 3);
    dialog.GetWindow()->SetContentRect(LRect(600, 100, 800, 200));
    LTimer timer(gApp);
    timer.StartRepeating(20u);
    dialog.ShowWindow();
    WaitUntil([&] { return dialog.Native()->isActiveWindow(); });
    gLog.clear();
    gX->XdotoolAsync("mousemove 300 300 click 1 sleep 0.3 click 1");
    const u32 t0 = LTickMs();
    while (LTickMs() - t0 < 600) Loop()->RunModalTurn(gApp);
    EXPECT_EQ(Count(LWindow_Click), 0);
    EXPECT_GE(Count(LTimer_Expire), 5);
    dialog.HideWindow();
    timer.Stop();

    // A window that never reaches the screen (minimised) does not hang ShowWindow.
    b.Native()->showMinimized();
    WaitUntil([&] { return !b.Native()->windowHandle()->isExposed(); }, 1000);
    const u32 t1 = LTickMs();
    WindowServices().WaitUntilOnScreen(b.GetWindow()->Native());
    EXPECT_LT(LTickMs() - t1, 1000u);
}

}  // namespace

// The X11 platform plugin talks to the session bus; libdbus keeps a buffer
// for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
