// Window bars merged into the application's bar, the Window menu, dialog placement.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeWindows.h"
#include "base/Resources.h"
#include "framework/AppSingletons.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/LWindow.h"
#include "framework/WindowMenuList.h"
#include "framework/WindowPlacement.h"

namespace {

class WindowMenus : public ::testing::Test {
protected:
    void SetUp() override { SetDefaultResChain(&App()); }
    void TearDown() override { SetDefaultResChain(nullptr); }
    static LResFile& App() {
        static LResFile app(AppResFileRef());
        return app;
    }
    std::unique_ptr<LFrame> Window(u32 type, const char* title, const char* bar,
                                   LRect content = LRect(100, 100, 500, 400), bool show = true) {
        auto frame = std::make_unique<LFrame>(nullptr, nullptr, LPaneOpt::Window(type, 6));
        if (bar) frame->SetWindowMenu(new LWindowMenu(frame.get(), bar, &App()));
        frame->SetTitle(LString(title));
        frame->Window()->SetContentRect(content);
        if (show) frame->ShowWindow();
        return frame;
    }
    static void Activate(LFrame& f, bool on) {
        LHandler::Send(on ? LWindow_Activate : LWindow_Deativate, f.Window(), &f);
    }
    static std::vector<std::string> Entries(LMenuBar& bar) {
        std::vector<std::string> out;
        LMenu* menu = bar.FindMenu("WINDOW");
        for (u32 i = 0; menu && i < menu->CountItems(); ++i) {
            const LMenuItem* item = menu->ItemAt(i);
            out.push_back(std::string(item->fChecked ? "*" : "") + item->fTitle.CStr() +
                          (item->fEnabled ? "" : " (off)"));
        }
        return out;
    }

    FakeServices services;
    FakeWindows windows{services};
};

TEST_F(WindowMenus, EachWindowLendsOnlyItsOwnMenusWhileActive) {
    LMenuBar bar(nullptr, "APP", &App());
    ASSERT_TRUE(bar.IsCurrent());
    const LRect at(100, 100, 500, 400);
    auto devwin = Window(kWindowOrdinary, "KEVOruneSet", "APPW", at, false);
    auto ctlwin = Window(kWindowOrdinary, "1201 -KEVOrune", "PLAYW", at, false);
    const struct {
        LFrame* off;
        LFrame* on;
        const char* native;
    } steps[] = {
        {nullptr, devwin.get(), "File|Edit|Network|Device|Window|Help"},
        {devwin.get(), ctlwin.get(), "File|Edit|Network|Device|Play|Window|Help"},
        // Activated before the other is deactivated (the order a platform may
        // use): the other's menus go back at once, never two windows' at a time.
        {nullptr, devwin.get(), "File|Edit|Network|Device|Window|Help"},
        {ctlwin.get(), nullptr, "File|Edit|Network|Device|Window|Help"},
        {devwin.get(), nullptr, "File|Edit|Network|Window|Help"},
    };
    const std::string app = windows.BarTitles().substr(0, windows.BarTitles().find('|') + 1);
    for (const auto& s : steps) {
        if (s.off) Activate(*s.off, false);
        if (s.on) Activate(*s.on, true);
        EXPECT_EQ(windows.BarTitles(), app + s.native);
    }
    // A window destroyed while active gives its menus back.
    Activate(*ctlwin, true);
    ctlwin.reset();
    EXPECT_EQ(windows.BarTitles(), app + "File|Edit|Network|Window|Help");
}

TEST_F(WindowMenus, TheWindowMenuListsTheOpenWindowsFrontFirst) {
    LMenuBar bar(nullptr, "APP", &App());
    auto devwin = Window(kWindowOrdinary, "KEVOruneSet", "APPW");
    SyncWindowMenu(&bar);
    EXPECT_EQ(Entries(bar), (std::vector<std::string>{"*KEVOruneSet"}));
    auto ctlwin = Window(kWindowOrdinary, "1201 -KEVOrune", "PLAYW");
    auto dialog = Window(kWindowDialog, "Network Settings", nullptr);
    auto untitled = Window(kWindowOrdinary, "", nullptr);
    bar.ResetItemStates();
    SyncWindowMenu(&bar);
    EXPECT_EQ(Entries(bar), (std::vector<std::string>{"*1201 -KEVOrune", "KEVOruneSet"}));
    // Unchanged: the same items stay (an open native menu is not rebuilt).
    LMenu* menu = bar.FindMenu("WINDOW");
    const LMenuItem* first = menu->ItemAt(0);
    bar.ResetItemStates();
    SyncWindowMenu(&bar);
    EXPECT_EQ(menu->ItemAt(0), first);
    // Minimised, then chosen in the menu or shown by its owner: back on screen
    // and key, whether the window manager gave the keyboard to another window
    // or left it with this one.
    FakeWindows::Win* ctl = windows.Find(ctlwin->Window()->Native());
    for (const bool fromMenu : {true, false}) {
        for (const bool keptKey : {false, true}) {
            ctl->minimized = true;
            windows.fKey = (keptKey ? ctlwin : devwin)->Window()->Native();
            if (fromMenu)
                EXPECT_TRUE(SelectWindowMenuEntry(ctlwin->Window()->fMenuEntry));
            else
                ctlwin->ShowWindow();
            EXPECT_FALSE(ctl->minimized) << fromMenu << keptKey;
            EXPECT_EQ(windows.fKey, ctlwin->Window()->Native()) << fromMenu << keptKey;
        }
    }
    EXPECT_TRUE(SelectWindowMenuEntry(menu->ItemAt(1)));
    EXPECT_EQ(windows.fKey, devwin->Window()->Native());
    EXPECT_FALSE(SelectWindowMenuEntry(bar.FindMenu("HELP")->ItemAt(0)));
    // Hidden while minimised (the control window it belongs to closed), then
    // shown again with the windows its owner brings back: on screen behind the
    // front window and listed, not left minimised out of sight.
    ctl->minimized = true;
    ctlwin->HideWindow();
    ctlwin->ShowWindowNoActivate();
    EXPECT_TRUE(ctl->visible && !ctl->minimized);
    bar.ResetItemStates();
    SyncWindowMenu(&bar);
    EXPECT_EQ(Entries(bar), (std::vector<std::string>{"*KEVOruneSet", "1201 -KEVOrune"}));
    ctlwin->SetTitle(LString("305 -KEVOrune"));
    bar.ResetItemStates();
    SyncWindowMenu(&bar);
    EXPECT_EQ(Entries(bar), (std::vector<std::string>{"*KEVOruneSet", "305 -KEVOrune"}));
    ctlwin.reset();
    EXPECT_EQ(Entries(bar), (std::vector<std::string>{"*KEVOruneSet"}));
}

// The toolkit's panels (the font panel) follow the program's windows, minimised
// or not, also when the windows' entries are made anew; one chosen is brought
// forward by the platform.
TEST_F(WindowMenus, TheToolkitsPanelsAreListedAfterTheWindows) {
    LMenuBar bar(nullptr, "APP", &App());
    auto devwin = Window(kWindowOrdinary, "KEVOruneSet", "APPW");
    windows.fPanels = {LString("Select Font")};
    SyncWindowMenu(&bar);
    EXPECT_EQ(Entries(bar), (std::vector<std::string>{"*KEVOruneSet", "Select Font"}));
    auto prefs = Window(kWindowOrdinary, "Preferences", nullptr);
    bar.ResetItemStates();
    SyncWindowMenu(&bar);
    EXPECT_EQ(Entries(bar),
              (std::vector<std::string>{"*Preferences", "KEVOruneSet", "Select Font"}));
    LMenu* menu = bar.FindMenu("WINDOW");
    EXPECT_TRUE(SelectWindowMenuEntry(menu->ItemAt(2)));
    EXPECT_EQ(windows.fBrought, "Select Font");
    EXPECT_EQ(windows.fKey, prefs->Window()->Native()) << "a window was chosen instead";
    windows.fPanels.clear();
    bar.ResetItemStates();
    SyncWindowMenu(&bar);
    EXPECT_EQ(Entries(bar), (std::vector<std::string>{"*Preferences", "KEVOruneSet"}));
}

TEST_F(WindowMenus, EntriesOutliveNeitherTheirMenuNorTheirWindow) {
    auto devwin = Window(kWindowOrdinary, "KEVOruneSet", nullptr);
    {
        LMenuBar bar(nullptr, "APP", &App());
        SyncWindowMenu(&bar);
        ASSERT_NE(devwin->Window()->fMenuEntry, nullptr);
    }
    // The bar went first: the window's end touches none of its items.
    devwin.reset();
}

TEST_F(WindowMenus, HelpIsOfferedOnlyWithSomethingToShow) {
    struct Helpful : CMainLoopBase {
        bool HasHelp() const override { return help; }
        bool help = false;
    };
    for (const bool help : {false, true}) {
        Helpful app;
        app.help = help;
        LMenuBar* bar = static_cast<FakeMainLoop*>(app.RunLoop())->AppMenuBar();
        ASSERT_NE(bar, nullptr);
        bar->ResetItemStates();
        LHandler::Send(LMenuBar_Ready, bar, &app);
        EXPECT_EQ(bar->FindEnabledItemByCommand(LStdCmd_Help) != nullptr, help);
        EXPECT_NE(bar->FindEnabledItemByCommand(LStdCmd_About), nullptr);
    }
}

TEST_F(WindowMenus, DialogsOpenCentredOverTheirOwnerAndOnScreen) {
    windows.SetDisplays({FakeWindows::MakeDisplay(1, LRect(0, 0, 1600, 1000), 25, 0)});
    const struct {
        LRect owner;
        i32 left, top;  // the dialog's content, 300 x 120
    } cases[] = {
        {LRect(100, 100, 700, 500), 250, 100 - 22 + (422 - 143) / 3 + 22},
        {LRect(1400, 100, 1590, 300), 1600 - 1 - 300, 100 - 22 + (222 - 143) / 3 + 22},
    };
    for (const auto& c : cases) {
        auto owner = Window(kWindowOrdinary, "KEVOruneSet", nullptr, c.owner);
        auto dialog =
            std::make_unique<LFrame>(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
        dialog->Window()->SetContentRect(LRect(0, 0, 300, 120));
        CenterOverOwner(dialog->Window());
        const LRect r = dialog->Window()->GetContentScreenRect();
        EXPECT_EQ(r, LRect(c.left, c.top, c.left + 300, c.top + 120))
            << r.left << "," << r.top << " over " << c.owner.left;
    }
    // A layout that gave nothing opens at the smallest size.
    for (const LRect& bad : {LRect(60, 80, 60, 80), LRect(60, 80, 20, 2)}) {
        auto empty = std::make_unique<LFrame>(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
        empty->SetWindowBounds(bad);
        EXPECT_EQ(empty->Window()->GetContentScreenRect(), LRect(60, 80, 100, 120));
    }
    auto lone = std::make_unique<LFrame>(nullptr, nullptr, LPaneOpt::Window(kWindowDialog, 0));
    lone->Window()->SetContentRect(LRect(10, 40, 310, 160));
    CenterOverOwner(lone->Window());
    EXPECT_EQ(lone->Window()->GetContentScreenRect(), LRect(10, 40, 310, 160));
}

// Two devices' editor windows without a stored place open each over its own
// control window (the pane they belong to), not on top of each other; a pane
// in no window leaves the window where it is.
TEST_F(WindowMenus, EditorWindowsOpenOverTheirOwnControlWindow) {
    windows.SetDisplays({FakeWindows::MakeDisplay(1, LRect(0, 0, 1600, 1000), 25, 0)});
    auto left = Window(kWindowOrdinary, "1201 -KEVOrune", nullptr, LRect(20, 60, 780, 560));
    auto right = Window(kWindowOrdinary, "305 -KEVOrune", nullptr, LRect(820, 60, 1580, 560));
    LFrame inLeft(left.get(), left.get()), inRight(right.get(), right.get());
    std::vector<LRect> placed;
    for (LFrame* owner : {&inLeft, &inRight}) {
        auto editor = Window(kWindowOrdinary, "Schedule", nullptr, LRect(40, 40, 440, 340), false);
        CenterOverPane(editor->Window(), owner);
        placed.push_back(editor->Window()->GetContentScreenRect());
        const LRect o = LWindow::FindByNative(owner->GetNativeWindow())->GetFrameRect();
        const LRect r = placed.back();
        EXPECT_TRUE(o.Contains(LPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2}))
            << r.left << "," << r.top;
        EXPECT_EQ(r.Width(), 400);
    }
    EXPECT_NE(placed[0], placed[1]);
    auto lone = Window(kWindowOrdinary, "Schedule", nullptr, LRect(40, 40, 440, 340), false);
    CenterOverPane(lone->Window(), nullptr);
    EXPECT_EQ(lone->Window()->GetContentScreenRect(), LRect(40, 40, 440, 340));
}

}  // namespace
