// The main loop: deferred passes, unused keys and menu keys, click counting,
// mouse capture, quitting, external commands, modal turns and the singletons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeWindows.h"
#include "TestResources.h"
#include "base/LScrap.h"
#include "framework/AppSingletons.h"
#include "framework/InputState.h"
#include "framework/LPane.h"
#include "framework/LWindow.h"

namespace {

// The application object until the real one: takes open requests, refuses to
// quit when told to, enables the commands it is given.
class StandInApp : public CMainLoopBase {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CExtCmd_Open)) {
            opened += static_cast<CExtCmd*>(msg.source)->fPaths.Count() + 1;
            return LMessage();
        }
        if (msg.Is(CMainLoopBase_Quit) && refuseQuit) return LMessage();
        if (msg.Is(LMenuBar_Ready)) {
            for (const char* cmd : enable) static_cast<LMenuBar*>(msg.source)->EnableCommand(cmd);
        }
        if (msg.Is(LMenuItem_Selected)) {
            LMenuItem* item = static_cast<LMenuItem*>(msg.source);
            if (!item->HasCommand(LStdCmd_About)) {
                selected.push_back(std::string(item->FirstCommand().View()));
                return LMessage();
            }
        }
        return CMainLoopBase::HandleMessage(msg);
    }
    FakeMainLoop* Loop() { return static_cast<FakeMainLoop*>(RunLoop()); }

    u32 opened = 0;
    bool refuseQuit = false;
    std::vector<const char*> enable;
    std::vector<std::string> selected;
};

class TestPaneRec : public LPane {
public:
    TestPaneRec(LHandler* parent, int redefer = 0) : LPane(parent, nullptr), redefers(redefer) {}
    LMessage HandleMessage(const LMessage& msg) override {
        got.push_back(msg.name);
        if (msg.Is(LPane_Deferred) && redefers > 0) {
            --redefers;
            Send(LPane_Defer, this, fParent);
        }
        return msg.Is(LPane_Deferred) || msg.Is(LMouse_Release) ? LMessage()
                                                                : LPane::HandleMessage(msg);
    }
    int Count(const char* name) const {
        int n = 0;
        for (const std::string& g : got) n += g == name;
        return n;
    }
    std::vector<std::string> got;
    int redefers;
};

// A parent that swallows every message, death notices included.
class Swallower : public LHandler {
public:
    LMessage HandleMessage(const LMessage&) override { return LMessage(); }
};

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override {
        const u32 ref = OpenTestArchive({
            {kMenuBarResType, "APP", {"APPM", "EDITT"}},
            {kMenuResType, "APPM", {"APPM\n\x14", "LStdCmd_About\nAbout", "LStdCmd_Quit\nQuit\nQ"}},
            {kMenuResType, "EDITT", {"EDITT\nEdit", "LStdCmd_Delete\nDelete", "cF\nFind\nnF"}},
        });
        file = std::make_unique<LResFile>(ref);
        SetDefaultResChain(file.get());
        app = std::make_unique<StandInApp>();
        // The menu bar's first update is due at once; serve it before the tests time anything.
        services.Advance(1);
        LTimer::FireDue(services.fNow, nullptr, nullptr, true);
    }
    void TearDown() override {
        app.reset();
        SetDefaultResChain(nullptr);
    }

    FakeServices services;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<LResFile> file;
    std::unique_ptr<StandInApp> app;
};

TEST_F(MainLoop, DeferredPassesServeEachPaneOncePerPass) {
    TestPaneRec a(app.get()), again(app.get(), 1);
    for (LPane* p : {&a, &a, &again}) LHandler::Send(LPane_Defer, p, app.get());
    EXPECT_EQ(app->Deferred().Count(), 2u);
    EXPECT_EQ(app->Loop()->fUpdates, 1u);
    app->Loop()->RunUpdatePass();
    EXPECT_EQ(a.Count(LPane_Deferred), 1);
    // Deferring itself from "LPane_Deferred" waits for the next pass.
    EXPECT_EQ(again.Count(LPane_Deferred), 1);
    EXPECT_EQ(app->Deferred().Count(), 1u);
    EXPECT_EQ(app->Loop()->fUpdates, 1u);
    app->Loop()->RunUpdatePass();
    EXPECT_EQ(again.Count(LPane_Deferred), 2);
    EXPECT_EQ(a.Count(LPane_Deferred), 1);
    // From anyone but the run loop the deferred message is not a pass.
    LHandler::Send(LPane_Defer, &a, app.get());
    LHandler::Send(CMainLoopBase_Deferred, &a, app.get());
    EXPECT_EQ(a.Count(LPane_Deferred), 1);
}

TEST_F(MainLoop, UnusedKeysAndMenuKeys) {
    struct Case {
        FakeEvent::Kind kind;
        u32 ch;
        u32 mods;
        const char* enable;    // command enabled during validation, or null
        const char* selected;  // command chosen, or null
        u8 used;
    } cases[] = {
        {FakeEvent::kKeyDown, 8, 0, LStdCmd_Delete, LStdCmd_Delete, 1},
        {FakeEvent::kKeyDown, 0x7F | 0xF700, 0, LStdCmd_Delete, LStdCmd_Delete, 1},
        {FakeEvent::kKeyDown, 127, 0, nullptr, nullptr, 0},
        {FakeEvent::kKeyDown, 'x', 0, LStdCmd_Delete, nullptr, 0},
        {FakeEvent::kKeyChar, 'f', 0, "cF", "cF", 1},
        {FakeEvent::kKeyChar, 'f', kModCommand, "cF", nullptr, 0},
        {FakeEvent::kKeyChar, 'f', 0, nullptr, nullptr, 0},
        {FakeEvent::kKeyUp, 'f', 0, "cF", nullptr, 0},
    };
    for (const Case& c : cases) {
        app->enable.clear();
        if (c.enable) app->enable.push_back(c.enable);
        app->selected.clear();
        windows.Deliver(FakeEvent{c.kind, c.ch, c.mods, {}});
        EXPECT_EQ(keyboard.fUsed, c.used) << c.ch;
        ASSERT_EQ(app->selected.size(), c.selected ? 1u : 0u) << c.ch;
        if (c.selected) {
            EXPECT_EQ(app->selected[0], c.selected);
        }
    }
}

TEST_F(MainLoop, ValidationEnablesTheApplicationCommands) {
    app->Loop()->ValidateMenus();
    LMenuBar* bar = app->Loop()->AppMenuBar();
    ASSERT_NE(bar, nullptr);
    LMenu* appMenu = bar->FindMenu("APPM");
    EXPECT_TRUE(appMenu->ItemAt(0)->fEnabled);
    EXPECT_FALSE(app->Loop()->IsQuitEnabled());
    app->enable.push_back(LStdCmd_Quit);
    app->Loop()->ValidateMenus();
    EXPECT_TRUE(app->Loop()->IsQuitEnabled());
}

TEST_F(MainLoop, ClicksCountWhenCloseInTimeAndPlace) {
    struct Press {
        u32 at;
        LPoint pt;
        u8 count;
    } presses[] = {
        {1000, {10, 10}, 0}, {1100, {12, 12}, 1}, {1200, {14, 10}, 2},
        {1300, {17, 10}, 0}, {2500, {17, 10}, 0}, {2600, {17, 8}, 1},
    };
    u32 n = 0;
    for (const Press& p : presses) {
        mouse.SetEvent(p.pt, 0, true, ++n, p.at);
        EXPECT_EQ(mouse.CountClicks(), p.count) << p.at;
    }
    // A caller's own stamp sees a double click only for presses it tested itself.
    u32 stamp = 99;
    EXPECT_FALSE(mouse.IsDoubleClick(&stamp));
    mouse.SetEvent({17, 8}, 0, true, ++n, 2700);
    EXPECT_TRUE(mouse.IsDoubleClick(&stamp));
    // A press on another pane in between (one that does not ask) makes the
    // next quick press on the caller a single click.
    mouse.SetEvent({17, 80}, 0, true, ++n, 2800);
    mouse.SetEvent({17, 8}, 0, true, ++n, 2900);
    EXPECT_FALSE(mouse.IsDoubleClick(&stamp)) << "a press elsewhere came between";
}

TEST_F(MainLoop, CaptureAndDeferredListForgetDyingPanes) {
    TestPaneRec first(app.get());
    {
        Swallower parent;
        TestPaneRec second(&parent);
        LHandler::Send(LPane_ReqCapture, &first, app.get());
        // The second pane's parent swallows everything: send straight to the root.
        LHandler::Send(LPane_ReqCapture, &second, app.get());
        EXPECT_EQ(first.Count(LMouse_Release), 1);
        EXPECT_EQ(mouse.Capture(), &second);
        LHandler::Send(LPane_Defer, &second, app.get());
        EXPECT_EQ(app->Deferred().Count(), 1u);
    }
    // Its death notice never reached the root, yet nothing keeps it.
    EXPECT_EQ(mouse.Capture(), nullptr);
    EXPECT_EQ(app->Deferred().Count(), 0u);
    app->Loop()->RunUpdatePass();
}

TEST_F(MainLoop, QuitAndExternalCommands) {
    for (bool refuse : {false, true}) {
        app->refuseQuit = refuse;
        const u32 before = app->Loop()->fTerminated;
        app->Loop()->RequestQuit();
        EXPECT_EQ(app->Loop()->fTerminated - before, refuse ? 0u : 1u) << refuse;
    }
    LString paths[] = {"file:///a.drc", "file:///b.wav"};
    app->Loop()->OpenFiles(paths, 2);
    app->Loop()->OpenFiles(nullptr, 0);
    EXPECT_EQ(app->opened, 3u + 1u);
    CExtCmd ae;
    ae.fHandled = 1;
    LHandler::Send(CExtCmd_AE, &ae, app.get());
    EXPECT_EQ(ae.fHandled, 0);
}

// A modal loop that runs turns until its timer fired.
class ModalWaiter : public LHandler {
public:
    explicit ModalWaiter(LHandler* parent) : LHandler(parent), timer(this) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LTimer_Expire)) {
            fired = true;
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    LTimer timer;
    bool fired = false;
};

TEST_F(MainLoop, ModalTurnsWaitForTheNextTimerWithinBounds) {
    struct Case {
        u32 interval;
        std::vector<u32> waits;
    } cases[] = {{250, {250}}, {3, {10}}, {2500, {1000, 1000, 500}}};
    for (const Case& c : cases) {
        ModalWaiter waiter(app.get());
        waiter.timer.Start(c.interval);
        app->Loop()->fWaits.clear();
        for (int i = 0; i < 10 && !waiter.fired; ++i)
            LHandler::Send(LHandler_Mode, &waiter, app.get());
        EXPECT_TRUE(waiter.fired);
        EXPECT_EQ(app->Loop()->fWaits, c.waits) << c.interval;
        EXPECT_EQ(app->Loop()->ModalDepth(), 0u);
    }
}

// ---------------------------------------------------------------- singletons

std::vector<std::string> sLog;

class LoggingApp : public CMainLoopBase {
public:
    LoggingApp() {
        const bool all = gProcessInfo && gSpecialFolders && gMouse && gKeyboard && gDesktop &&
                         gSystemResFile && gAppResFile && gResChain && gIdleWaker && gClipboard;
        sLog.push_back(all ? "made after all" : "made too early");
    }
    ~LoggingApp() override {
        const bool all = gProcessInfo && gMouse && gDesktop && gResChain && gClipboard &&
                         LClipboard::Instance() == gClipboard;
        sLog.push_back(all ? "deleted first" : "deleted late");
    }
};

TEST(Singletons, MadeInOrderAndDeletedInReverse) {
    FakeServices services;
    FakeWindows windows(services);
    InitAppSingletons([]() -> CMainLoopBase* { return new LoggingApp; });
    EXPECT_EQ(LMouse::Instance(), gMouse);
    EXPECT_EQ(LDesktop::Instance(), gDesktop);
    EXPECT_EQ(DefaultResChain(), gResChain);
    EXPECT_EQ(gProcessInfo->fForkRef, -1);
    // The program's own menu bar was installed from the resource chain.
    ASSERT_NE(LMenuBar::Current(), nullptr);
    EXPECT_NE(LMenuBar::Current()->FindMenu("EDIT"), nullptr);
    ShutdownAppSingletons();
    EXPECT_EQ(sLog, (std::vector<std::string>{"made after all", "deleted first"}));
    EXPECT_TRUE(!gApp && !gClipboard && !gResChain && !gDesktop && !gMouse && !gProcessInfo);
    EXPECT_EQ(LMenuBar::Current(), nullptr);
    EXPECT_EQ(LClipboard::Instance(), nullptr);
}

}  // namespace
