// Frames: layouts present or not, children joining a live frame, window sizing
// by the layout, Tab order, hit tests on overlapping children.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakeWindows.h"
#include "TestPanes.h"
#include "TestResources.h"
#include "framework/InputState.h"
#include "framework/CMainLoop.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/LScrollFrame.h"
#include "framework/layout/LLayoutVM.h"

namespace {

constexpr u32 L = kLayoutResType;

class ClickPane : public TestPane {
public:
    using TestPane::TestPane;
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LMouse_Click)) {
            ++clicks;
            return LMessage();
        }
        return TestPane::HandleMessage(msg);
    }
    int clicks = 0;
};

// A view handler as the control window has one: it owns the view's frame and
// is the window's parent; it keeps what reaches it.
class ViewHandler : public LHandler {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        got.push_back(std::string(msg.name) + (msg.source == closeFrom ? "(window)" : ""));
        if (msg.Is(LFrame_Close)) return LMessage();
        return LHandler::HandleMessage(msg);
    }
    std::vector<std::string> got;
    LHandler* closeFrom = nullptr;
};

// A pane that scrolls something of its own by the wheel.
class WheelPane : public TestPane {
public:
    using TestPane::TestPane;
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LMouse_Wheel)) {
            ++wheels;
            return LMessage();
        }
        return TestPane::HandleMessage(msg);
    }
    int wheels = 0;
};

class Frames : public ::testing::Test {
protected:
    void SetUp() override {
        const u32 ref = OpenTestArchive({
            {L, "ONE", {"pp(0, 0, 0, 300, 200)"}},
            {L, "PREF", {"", "pp(0, 0, 0, 300, 200)", "pp(1, 10, 10, w(0) - 10, 30)"}},
            {L, "BAD", {"x = = ;", "pp(0, 0, 0, 300, 200);\n", ""}},
            {L, "BIG", {"MinW # 600; MinH # 500;", "pp(0, 0, 0, 600, 500)", ""}},
        });
        file = std::make_unique<LResFile>(ref);
    }
    LNativeWindow Native(LFrame& f) { return f.Window()->Native(); }
    LRect Content(LFrame& f) { return f.Window()->GetContentScreenRect(); }

    FakeServices services;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<LResFile> file;
};

TEST_F(Frames, AOneStringLayoutIsNone) {
    LFrame frame(nullptr, nullptr);
    frame.SetLayoutByName("ONE", 0, file.get());
    EXPECT_FALSE(frame.HasLayout());
    LDrawCtx ctx;
    EXPECT_EQ(frame.GetPrefWidth(&ctx, 0), 16);
    frame.SetLayoutByName("PREF", 0, file.get());
    EXPECT_TRUE(frame.HasLayout());
    EXPECT_EQ(frame.GetPrefWidth(&ctx, 0), 300);
}

TEST_F(Frames, AChildOfAShownActiveFrameIsShownAndActiveAtOnce) {
    LFrame frame(nullptr, nullptr);
    frame.SetState(LPane::kOpContainerShown);
    frame.SetState(LPane::kOpContainerActive);
    TestPane* child = new TestPane(&frame, &frame);
    // The operations reach it while it is being made: only the state shows them.
    EXPECT_EQ(child->State() & 0xF, 0xFu);
    EXPECT_TRUE(child->IsShown());
}

TEST_F(Frames, LayoutSizesWindowsResizableOnlyUpwards) {
    struct Case {
        u32 kind;  // 1 resizable, 3 fixed
        LRect userContent;
        LRect after;  // size after op 23
    } cases[] = {
        {1, LRect(1, 47, 501, 447), LRect(0, 0, 500, 400)},
        {1, LRect(1, 47, 201, 147), LRect(0, 0, 300, 200)},
        {3, LRect(1, 47, 501, 447), LRect(0, 0, 300, 200)},
    };
    for (const Case& c : cases) {
        LFrame frame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, c.kind));
        frame.SetLayoutByName("PREF", 0, file.get());
        TestPane* child = new TestPane(&frame, &frame);
        frame.ShowWindow();
        // Shown at its preferred size, kept clear of the menu bar.
        EXPECT_EQ(Content(frame), LRect(1, 47, 301, 247)) << c.kind;
        EXPECT_EQ(child->Bounds(), LRect(10, 10, 290, 30));
        windows.SetContentRect(Native(frame), c.userContent);
        frame.SetState(LPane::kOpStyleChanged);
        EXPECT_EQ(frame.Bounds(), c.after) << c.kind;
        EXPECT_EQ(child->Bounds().right, c.after.right - 10);
    }
}

TEST_F(Frames, AWindowWhoseLayoutFailedOpensAtTheMinimum) {
    LFrame frame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 1));
    frame.SetLayoutByName("BAD", 1, file.get());
    frame.ShowWindow();
    EXPECT_EQ(frame.Bounds(), LRect(0, 0, 40, 40));
}

TEST_F(Frames, TabGoesInReadingOrderAndWraps) {
    LFrame frame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 1));
    frame.SetWindowBounds(LRect(100, 100, 400, 300));
    frame.ShowWindow();
    // Made out of order: the traversal follows the places, not the making.
    const LRect places[] = {LRect(10, 40, 50, 60), LRect(110, 10, 150, 30), LRect(60, 10, 100, 30),
                            LRect(10, 10, 50, 30)};
    std::vector<TestPane*> panes;
    for (const LRect& r : places) {
        panes.push_back(new TestPane(&frame, &frame));
        panes.back()->SetBounds(r);
        panes.back()->SetState(LPane::kOpTabStopRingInside);
    }
    struct Step {
        u32 mods;
        int expect;
    } steps[] = {{0, 3}, {0, 2}, {0, 1}, {0, 0}, {0, 3}, {kModShift, 0}, {kModShift, 1}};
    for (const Step& s : steps) {
        keyboard.SetEvent(9, s.mods);
        LHandler::Send(LKeyboard_Down, &keyboard, &frame);
        EXPECT_EQ(frame.Focus(), panes[s.expect]) << s.expect;
    }
}

TEST_F(Frames, AClickInAnOverlapReachesTheLaterChild) {
    LFrame frame(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 1));
    frame.SetWindowBounds(LRect(100, 100, 400, 300));
    frame.ShowWindow();
    ClickPane* under = new ClickPane(&frame, &frame);
    ClickPane* over = new ClickPane(&frame, &frame);
    under->SetBounds(LRect(0, 0, 50, 50));
    over->SetBounds(LRect(40, 40, 90, 90));
    const LRect c = Content(frame);
    windows.Deliver(FakeEvent{FakeEvent::kClick, 0, 0, LPoint{c.left + 45, c.top + 45}});
    windows.Deliver(FakeEvent{FakeEvent::kClick, 0, 0, LPoint{c.left + 5, c.top + 5}});
    EXPECT_EQ(over->clicks, 1);
    EXPECT_EQ(under->clicks, 1);
    // A dimmed pane lets the click through.
    over->SetState(LPane::kOpDim);
    EXPECT_EQ(frame.FindPaneAt(LPoint{45, 45}), under);
}

// The window's frame -> a frame that holds the view -> the view's frame, whose
// parent is the view handler (the window's own parent): the focus, the menu
// target, Tab and Close still go through the window.
TEST_F(Frames, AViewThatAHandlerOwnsTakesFocusTabAndCloseInItsWindow) {
    ViewHandler view;
    // Kind 9, as the control window: closable and resizable.
    LFrame win(&view, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
    view.closeFrom = &win;
    win.SetWindowBounds(LRect(100, 100, 400, 300));
    TestPane* title = new TestPane(&win, &win);
    title->SetBounds(LRect(10, 10, 100, 30));
    LFrame* holder = new LFrame(&win, &win);
    holder->SetBounds(LRect(0, 40, 300, 200));
    LFrame* content = new LFrame(&view, holder);
    content->SetBounds(LRect(0, 0, 300, 160));
    TestPane* a = new TestPane(content, content);
    TestPane* b = new TestPane(content, content);
    a->SetBounds(LRect(10, 10, 100, 30));
    b->SetBounds(LRect(10, 40, 100, 60));
    for (TestPane* p : {title, a, b}) p->SetState(LPane::kOpTabStopRingInside);
    win.ShowWindow();
    ASSERT_EQ(WindowServices().KeyWindow(), Native(win));

    b->RequestFocus();
    EXPECT_EQ(win.Focus(), holder);
    EXPECT_EQ(holder->Focus(), content);
    EXPECT_EQ(FindMenuTarget(nullptr), b);
    // The handler still hears the request, once from the view's frame.
    EXPECT_EQ(std::count(view.got.begin(), view.got.end(), LPane_ReqFocus), 1);

    // Tab leaves the view's last field for the window's next, and comes back in.
    struct Step {
        u32 mods;
        LPane* expect;
    } steps[] = {{0, title}, {0, a}, {0, b}, {kModShift, a}, {kModShift, title}, {kModShift, b}};
    for (const Step& s : steps) {
        keyboard.SetEvent(9, s.mods);
        LHandler::Send(LKeyboard_Down, &keyboard, FindMenuTarget(nullptr));
        EXPECT_EQ(FindMenuTarget(nullptr), s.expect);
    }

    // The window's Close from a menu validated on a pane of the view.
    LMenuBar bar(nullptr);
    LMenu* file = new LMenu(&bar, LString("FILE"), LString("File"));
    bar.AddMenu(file);
    LMenuItem* close = new LMenuItem(file);
    close->fTitle = LString("Close");
    close->SetCommand(LStdCmd_Close);
    file->AppendItem(close);
    bar.ResetItemStates();
    LHandler::Send(LMenuBar_Ready, &bar, b);
    EXPECT_TRUE(close->fEnabled);
    view.got.clear();
    LHandler::Send(LMenuItem_Selected, close, b);
    EXPECT_NE(std::find(view.got.begin(), view.got.end(), "LFrame_Close(window)"), view.got.end());
    EXPECT_EQ(std::count(view.got.begin(), view.got.end(), "LMenuItem_Selected"), 0);
}

}  // namespace

// The control window at large fonts on a small screen: a scroll frame in the
// window, the view's frame in its port with the view handler for parent. Tab
// reaches a field below the port and brings it into sight; the wheel over a
// pane that does not use it scrolls the view, over one that does it does not.
TEST_F(Frames, AScrolledViewTakesTabAndTheWheelBeyondItsPort) {
    ViewHandler view;
    LFrame win(&view, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
    win.SetWindowBounds(LRect(100, 100, 400, 300));
    auto* scroll = new LScrollFrame(&win, &win);
    auto* content = new LFrame(&view, &scroll->GetPort());
    content->SetLayoutByName("BIG", 1, file.get());
    TestPane* fade = new TestPane(content, content);
    TestPane* level = new TestPane(content, content);
    auto* list = new WheelPane(content, content);
    fade->SetBounds(LRect(10, 10, 100, 30));
    level->SetBounds(LRect(10, 400, 100, 420));
    list->SetBounds(LRect(10, 50, 100, 90));
    for (TestPane* p : {fade, level}) p->SetState(LPane::kOpTabStopRingInside);
    scroll->SetBounds(LRect(0, 0, 300, 200));
    win.ShowWindow();
    ASSERT_TRUE(scroll->VBar().IsShown());
    const LRect port = scroll->GetPort().Bounds();

    fade->RequestFocus();
    keyboard.SetEvent(9, 0);
    LHandler::Send(LKeyboard_Down, &keyboard, FindMenuTarget(nullptr));
    EXPECT_EQ(content->Focus(), level);
    EXPECT_TRUE(level->Bounds().top - scroll->ScrollY() >= 0 &&
                level->Bounds().bottom - scroll->ScrollY() <= port.Height())
        << scroll->ScrollY();

    const LRect c = Content(win);
    const struct {
        const char* what;
        LPoint at;
        i32 scrolled;
        int used;
    } wheels[] = {{"over a field", LPoint{c.left + 20, c.top + 20}, 40, 0},
                  {"over the background", LPoint{c.left + 200, c.top + 150}, 40, 0},
                  {"over a list", LPoint{c.left + 20, c.top + 60}, 0, 1}};
    for (const auto& w : wheels) {
        scroll->ScrollTo(0, 0);
        list->wheels = 0;
        mouse.SetWheelEvent(w.at, 0, -20, 0);
        LHandler::Send(LWindow_Wheel, win.Window(), &win);
        EXPECT_EQ(scroll->ScrollY(), w.scrolled) << w.what;
        EXPECT_EQ(list->wheels, w.used) << w.what;
    }
}
