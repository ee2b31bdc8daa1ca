// The Qt shell on the offscreen platform: the one native timer, modal turns,
// deferred passes, wheel gathering, window kinds, close and context clicks,
// screen points and the click history, a release kept until its press is
// handled; and the application entry run as a program (tools/kvshell): launch
// requests, the quit protocol by SIGTERM, also from inside a modal loop, and
// key equivalents against the menus' validation.
#include <gtest/gtest.h>

#include <QWheelEvent>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include "ShellFixture.h"
#include "framework/LTimer.h"
#include "platform/qt/LWindowPort.h"
#include "platform/qt/QtEvents.h"

namespace {

ShellEnv* gEnv;

class QtShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ShellEnv("offscreen"); }
    static void TearDownTestSuite() { delete gEnv; }
    void SetUp() override { gLog.clear(); }
};

TEST_F(QtShellTest, OneNativeTimerAndModalTurns) {
    RunUntil([] { return Loop()->ArmedMs() > 1000; });
    EXPECT_EQ(Loop()->ArmedMs(), 2147483647u);  // nothing waits: nothing wakes
    LTimer timer(gApp);
    timer.Start(0u);
    const u32 started = LTickMs();
    EXPECT_EQ(Loop()->ArmedMs(), 10u);
    SleepMs(6);  // no events handled: the second start comes before the firing
    timer.Start(0u);
    EXPECT_LE(Loop()->RemainingMs(), 5);
    EXPECT_TRUE(RunUntil([&] { return !timer.IsRunning(); }));
    EXPECT_GE(LTickMs() - started, 10u);
    EXPECT_EQ(Loop()->ArmedMs(), 2147483647u);
    // A modal turn waits clamp(NextWaitMs, 10, 1000).
    for (const std::array<u32, 2> c : {std::array<u32, 2>{0, 10}, {400, 400}, {5000, 1000}}) {
        timer.Start(c[0]);
        const u32 t0 = LTickMs();
        Loop()->RunModalTurn(gApp);
        EXPECT_EQ(Loop()->LastModalWaitMs(), c[1]);
        EXPECT_LE(LTickMs() - t0, c[1] + 1000);  // bounded, however loaded the machine
        timer.Stop();
    }
}

TEST_F(QtShellTest, DeferredPassBeforeRepaintAndNotNested) {
    RecFrame frame(kWindowOrdinary, 6);
    frame.ShowWindow();
    RunUntil([] { return Count(LWindow_Update) > 0; });
    gLog.clear();
    frame.Native()->View()->update();
    Loop()->RequestUpdate();
    Loop()->RequestUpdate();
    EXPECT_TRUE(RunUntil([] { return Count(LWindow_Update) > 0; }));
    EXPECT_EQ(Count(CMainLoopBase_Deferred), 1);
    EXPECT_EQ(gLog.front(), CMainLoopBase_Deferred);

    // A modal loop inside the pass gets none; the outer pass's end brings it.
    gLog.clear();
    static_cast<RecApp*>(gApp)->fNest = true;
    Loop()->RequestUpdate();
    EXPECT_TRUE(RunUntil([] { return Count(CMainLoopBase_Deferred) == 2; }));
    const std::vector<std::string> want{CMainLoopBase_Deferred, "nested done",
                                        CMainLoopBase_Deferred};
    EXPECT_EQ(std::vector<std::string>(gLog.begin(), gLog.begin() + 3), want);
}

// Events are built in place: a copied pointer event shares its point with the original.
void Wheel(QWidget* view, QPoint global, QPoint pixels, QPoint angle, Qt::KeyboardModifiers mods) {
    QWheelEvent e(QPointF(5, 5), QPointF(global), pixels, angle, Qt::NoButton, mods,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &e);
}

TEST_F(QtShellTest, WheelGathering) {
    auto* frame = new RecFrame(kWindowOrdinary, 6);
    frame->ShowWindowNoActivate();
    QWidget* view = frame->Native()->View();
    // 50/120 of a notch is 8.33: 8, then 16, then 5 pixels more.
    Wheel(view, {300, 200}, {}, {0, 50}, Qt::ShiftModifier);
    Wheel(view, {310, 210}, {}, {0, 50}, Qt::ControlModifier);
    Wheel(view, {320, 220}, {0, 5}, {0, 15}, Qt::NoModifier);
    EXPECT_EQ(Count(LWindow_Wheel), 0);
    EXPECT_TRUE(RunUntil([] { return Count(LWindow_Wheel) > 0; }));
    RunUntil([] { return false; }, 30);
    EXPECT_EQ(Count(LWindow_Wheel), 1);
    EXPECT_EQ(frame->fWheel, std::tuple(21, LPoint{300, 200}, u32(kModShift)));
    // A notch is 20; a window gone before the firing takes its wheel along.
    Wheel(view, {300, 200}, {}, {120, 0}, Qt::NoModifier);
    EXPECT_EQ(Loop()->fWheelDx, 20);
    delete frame;
    EXPECT_EQ(Loop()->fWheelDx, 0);
    RunUntil([] { return false; }, 30);
    // Steps: 25 in units of 10 gives 2 and keeps 5; 100 with limit 3 gives 3, keeps 0.
    LMouse* mouse = LMouse::Instance();
    mouse->fWheelRestY = 0;
    const i32 steps[][4] = {{25, 0, 2, 5}, {5, 0, 1, 0}, {100, 3, 3, 0}};
    for (const auto& s : steps) {
        mouse->SetWheelEvent(LPoint{}, 0, s[0], 0);
        EXPECT_EQ(mouse->TakeWheelStepsY(s[1], 10), s[2]);
        EXPECT_EQ(mouse->fWheelRestY, s[3]);
    }
}

TEST_F(QtShellTest, KindsCloseAndContext) {
    for (u32 kind : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 99u}) {
        RecFrame frame(kWindowOrdinary, kind);
        const bool close = kind == 3 || kind == 6 || kind == 8 || kind == 9 || kind > 12;
        const bool grow = kind == 1 || kind == 6 || kind == 7 || kind == 9;
        EXPECT_EQ(frame.GetWindow()->IsClosable(), close) << kind;
        EXPECT_EQ(frame.GetWindow()->IsResizable(), grow) << kind;
        EXPECT_EQ(bool(frame.Native()->windowFlags() & Qt::WindowCloseButtonHint), close) << kind;
    }
    RecFrame frame(kWindowOrdinary, 6);
    frame.ShowWindow();
    frame.Native()->close();
    EXPECT_EQ(Count(LWindow_Close), 1);
    EXPECT_TRUE(frame.Native()->isVisible());

    RunUntil([&] { return frame.Native()->ActiveForMs() > 150; });
    for (bool take : {true, false}) {
        gLog.clear();
        frame.fTakeContext = take;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.Native()->View(), &press);
        EXPECT_EQ(Count(LWindow_Context), 1);
        EXPECT_EQ(Count(LWindow_Click), take ? 0 : 1);
    }
}

TEST_F(QtShellTest, ScreenPointsAndClickHistory) {
    RecFrame back(kWindowOrdinary, 6), front(kWindowOrdinary, 6);
    back.GetWindow()->SetContentRect(LRect(100, 100, 300, 300));
    front.GetWindow()->SetContentRect(LRect(200, 200, 400, 400));
    back.ShowWindow();
    front.ShowWindow();
    EXPECT_EQ(back.GetWindow()->GetContentScreenRect(), LRect(100, 100, 300, 300));
    auto at = [](LPoint p) {
        return LWindow::FindByNative(WindowServices().WindowAtScreenPoint(p));
    };
    EXPECT_EQ(at(LPoint{250, 250}), front.GetWindow());
    EXPECT_EQ(at(LPoint{150, 150}), back.GetWindow());

    LWindowPort port(back.GetWindow(), nullptr, nullptr);
    port.fOriginX = 7;
    port.fOriginY = -3;
    for (LPoint p : {LPoint{0, 0}, LPoint{123, 456}, LPoint{-50, 20}})
        EXPECT_EQ(port.LocalToScreen(port.ScreenToLocal(p)), p);
    EXPECT_EQ(port.ScreenToLocal(LPoint{110, 120}), (LPoint{3, 23}));
    EXPECT_EQ(port.fClip.GetBounds(), LRect(0, 0, 200, 200));
    EXPECT_TRUE(port.fNative && LWindowPort(nullptr, nullptr, nullptr).fClip.IsEmpty());

    // One press filled twice counts once in the click history.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(205, 205), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    LMouse* m = LMouse::Instance();
    auto history = [m] { return std::tuple(m->fLastDownTime, m->fPrevDownTime, m->fPrevDownPt.x); };
    FillMouseFromQt(press);
    const auto once = history();
    SleepMs(2);
    FillMouseFromQt(press);
    EXPECT_EQ(history(), once);
}

TEST_F(QtShellTest, AReleaseTakenWhileItsPressIsHandledComesAfterIt) {
    RecFrame frame(kWindowOrdinary, 6);
    frame.ShowWindow();
    RunUntil([&] { return frame.Native()->ActiveForMs() > 150; });
    // The click's handling runs the loop (a window it shows coming on screen)
    // while the release already waits there.
    frame.fOnClick = [&] {
        LMouse::Instance()->fCapture = &frame;
        QCoreApplication::processEvents();
        gLog.push_back("click handled");
    };
    gLog.clear();
    QWidget* view = frame.Native()->View();
    QCoreApplication::postEvent(
        view, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
    EXPECT_EQ(gLog, (std::vector<std::string>{LWindow_Click, "click handled", LMouse_Release}));
    EXPECT_EQ(LMouse::Instance()->fCapture, nullptr);
}

struct Case {
    const char* script;
    const char* arg;                     // a file on the command line, or none
    std::vector<std::string> termAfter;  // SIGTERM when each of these lines comes, in order
    std::string expected;                // the whole output
    std::vector<int> ends = {};          // instead of SIGTERM, by turn
};

std::string RunShell(const Case& c, int* status) {
    // The shell prints its process id, then becomes the program.
    std::string cmd = std::string("echo $$; exec env QT_QPA_PLATFORM=offscreen KVSHELL=") +
                      c.script + " " KEVO_BINARY_DIR "/tools/kvshell/kvshell";
    if (c.arg) cmd += std::string(" '") + c.arg + "'";
    FILE* f = popen(cmd.c_str(), "r");
    char line[256];
    const pid_t pid = fgets(line, sizeof line, f) ? pid_t(std::atol(line)) : 0;
    std::string text;
    size_t next = 0;
    alarm(20);  // a program that hangs ends the test
    while (pid && fgets(line, sizeof line, f)) {
        text += line;
        if (next < c.termAfter.size() && c.termAfter[next] + "\n" == line) {
            kill(pid, next < c.ends.size() ? c.ends[next] : SIGTERM);
            ++next;
        }
    }
    alarm(0);
    *status = pclose(f);
    return text;
}

TEST(Shell, LaunchQuitAndKeys) {
    const std::string tail = "quit\n~app before singletons\nexit clean\n";
    // clang-format off
    const Case cases[] = {
        // A plain launch: one empty open request; SIGTERM quits like Quit.
        {"", nullptr, {"open 0"}, "open 0\n" + tail},
        // A file on the command line stands for an open request; no empty one.
        {"", "/tmp/kv shell.show", {"open 1 file:///Root/tmp/kv%20shell.show"},
         "open 1 file:///Root/tmp/kv%20shell.show\n" + tail},
        // SIGTERM comes with a logout or a shutdown: a handler that consumes
        // the quit request is asked, and the process ends all the same.
        {"refuse", nullptr, {"open 0"}, "open 0\nquit refused\n~app before singletons\nexit clean\n"},
        // The Quit command is refused by such a handler: the program runs on
        // until the SIGTERM.
        {"ctrlq,enablequit,refuse", nullptr, {"ctrlq sent"},
         "open 0\nquit refused\nctrlq sent\n" + tail},
        // Inside a dialog's modal loop an accepted quit ends the process.
        {"dialog", nullptr, {"modal"}, "open 0\nmodal\nquit\n~app before singletons\n"},
        // Ctrl-Q with no enabled Quit item does nothing; with one it quits.
        {"ctrlq", nullptr, {"ctrlq sent"}, "open 0\nctrlq sent\n" + tail},
        {"ctrlq,enablequit", nullptr, {},
         "open 0\nquit\nctrlq sent\n~app before singletons\nexit clean\n"},
        // A hangup (the terminal closed, the desktop session gone) ends the
        // program as SIGTERM does.
        {"", nullptr, {"open 0"}, "open 0\n" + tail, {SIGHUP}},
        // A second signal while the end writes changes nothing: the write ends
        // whole, then the program.
        {"slowquit", nullptr, {"open 0", "writing"},
         "open 0\nquit\nwriting\nwritten\n~app before singletons\nexit clean\n",
         {SIGTERM, SIGHUP}},
        {"slowquit", nullptr, {"open 0", "writing"},
         "open 0\nquit\nwriting\nwritten\n~app before singletons\nexit clean\n",
         {SIGHUP, SIGTERM}},
        // A signal while a step is in hand (a card write): the step ends
        // first, then the quit protocol runs and the program ends.
        {"slowstep", nullptr, {"stepping"},
         "open 0\nstepping\nstepped\nquit\n~app before singletons\nexit clean\n"},
        {"slowstep", nullptr, {"stepping"},
         "open 0\nstepping\nstepped\nquit\n~app before singletons\nexit clean\n", {SIGINT}},
    };
    // clang-format on
    for (const Case& c : cases) {
        int status = -1;
        EXPECT_EQ(RunShell(c, &status), c.expected) << c.script;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.script << " " << status;
    }
}

}  // namespace
