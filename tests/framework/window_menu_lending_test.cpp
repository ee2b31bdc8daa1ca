// Window menus lent to the application's bar however the lending window goes:
// deactivated under a dialog and then hidden, rebuilt, or followed by a window
// without menus of its own. The bar never holds another window's menus.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "FakeWindows.h"
#include "base/Resources.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/LWindow.h"

namespace {

class WindowMenuLending : public ::testing::Test {
public:
    void SetUp() override { SetDefaultResChain(&App()); }
    void TearDown() override { SetDefaultResChain(nullptr); }
    static LResFile& App() {
        static LResFile app(AppResFileRef());
        return app;
    }
    std::unique_ptr<LFrame> Window(u32 type, const char* bar) {
        auto frame = std::make_unique<LFrame>(nullptr, nullptr, LPaneOpt::Window(type, 6));
        if (bar) frame->SetWindowMenu(new LWindowMenu(frame.get(), bar, &App()));
        frame->Window()->SetContentRect(LRect(100, 100, 500, 400));
        frame->ShowWindow();
        return frame;
    }
    static void Activate(LFrame& f, bool on) {
        LHandler::Send(on ? LWindow_Activate : LWindow_Deativate, f.Window(), &f);
    }
    std::string Bar() {
        const std::string all = windows.BarTitles();
        return all.substr(all.find('|') + 1);
    }

    FakeServices services;
    FakeWindows windows{services};
};

TEST_F(WindowMenuLending, TheBarHoldsTheActiveWindowsMenusOnce) {
    const std::string base = "File|Edit|Network|Window|Help";
    const std::string ownDevice = "File|Edit|Network|Device|Window|Help";
    const std::string ownPlay = "File|Edit|Network|Device|Play|Window|Help";
    struct World {
        std::unique_ptr<LFrame> devwin, ctl, file, editor, plain, dialog;
    };
    // The file's control window deactivated under a dialog, the dialog gone,
    // then the window hidden without being activated again.
    const auto hiddenAfterDialog = [](WindowMenuLending& t, World& w) {
        Activate(*w.file, true);
        w.dialog = t.Window(kWindowDialog, nullptr);
        Activate(*w.file, false);
        w.dialog.reset();
        w.file->HideWindow();
    };
    const struct {
        const char* what;
        std::function<void(WindowMenuLending&, World&)> steps;
        const char* activeLast;  // the window activated at the end
        std::string bar;
    } cases[] = {
        {"a file's control window hidden after its save question",
         [](WindowMenuLending& t, World& w) {
             Activate(*w.file, true);
             w.dialog = t.Window(kWindowDialog, nullptr);
             Activate(*w.file, false);  // under the dialog: its menus stay
             Activate(*w.dialog, true);
             w.dialog.reset();
             w.file->HideWindow();  // closed without being activated again
             Activate(*w.ctl, true);
             Activate(*w.ctl, false);
         },
         "devwin", ownDevice},
        {"the same, then the device window at once", hiddenAfterDialog, "devwin", ownDevice},
        {"the other control window next", hiddenAfterDialog, "ctl", ownPlay},
        {"a control window rebuilt under a progress dialog",
         [](WindowMenuLending& t, World& w) {
             Activate(*w.ctl, true);
             w.dialog = t.Window(kWindowDialog, nullptr);
             Activate(*w.ctl, false);
             w.ctl->SetWindowMenu(new LWindowMenu(w.ctl.get(), "PLAYW", &App()));
             w.dialog.reset();
             Activate(*w.editor, true);
             Activate(*w.editor, false);
         },
         "devwin", ownDevice},
        {"an editor window without menus of its own after a control window",
         [](WindowMenuLending&, World& w) {
             Activate(*w.ctl, true);
             w.ctl->HideWindow();
         },
         "editor", base},
        {"a window without a menu bar after a control window",
         [](WindowMenuLending&, World& w) {
             Activate(*w.ctl, true);
             w.ctl->HideWindow();
         },
         "plain", base},
        {"repeated: three hidden windows",
         [&](WindowMenuLending& t, World& w) {
             for (int i = 0; i < 3; ++i) {
                 hiddenAfterDialog(t, w);
                 w.file->ShowWindow();
             }
             w.file->HideWindow();
         },
         "ctl", ownPlay},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LMenuBar bar(nullptr, "APP", &App());
        World w;
        w.devwin = Window(kWindowOrdinary, "APPW");
        w.ctl = Window(kWindowOrdinary, "PLAYW");
        w.file = Window(kWindowOrdinary, "PLAYW");
        w.editor = Window(kWindowOrdinary, "EDITW");
        w.plain = Window(kWindowOrdinary, nullptr);
        c.steps(*this, w);
        LFrame* last = std::string(c.activeLast) == "devwin" ? w.devwin.get()
                       : std::string(c.activeLast) == "ctl"  ? w.ctl.get()
                       : std::string(c.activeLast) == "editor" ? w.editor.get()
                                                               : w.plain.get();
        Activate(*last, true);
        EXPECT_EQ(Bar(), c.bar);
        Activate(*last, false);
        EXPECT_EQ(Bar(), base) << "after the last window's deactivation";
    }
}

}  // namespace
