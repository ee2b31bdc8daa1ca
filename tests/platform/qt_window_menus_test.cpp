// The menu bar of ordinary windows in the Qt shell: the current bar's menus
// above the content view, validated when a menu opens; dialogs have none.

#include <gtest/gtest.h>

#include <QMenuBar>

#include "platform/qt/QtDrawingLayer.h"
#include "tests/platform/ShellFixture.h"

namespace {

TEST(QtWindowMenus, OrdinaryWindowsShowTheCurrentBar) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "menutest";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    {
        QtShell shell;
        QtDrawingLayer layer;
        InitAppSingletons([] { return static_cast<CMainLoopBase*>(new RecApp); });
        {
            RecFrame frame(kWindowOrdinary, 6), dialog(kWindowDialog, 0);
            frame.ShowWindow();
            auto* bar = qobject_cast<QMenuBar*>(frame.Native()->Layout()->menuBar());
            ASSERT_TRUE(bar);
            EXPECT_EQ(dialog.Native()->Layout()->menuBar(), nullptr);
            ASSERT_EQ(bar->actions().size(), qsizetype(layer.Menus().BarMenus().size()));
            QMenu* appMenu = bar->actions().front()->menu();
            EXPECT_EQ(appMenu->title(), QStringLiteral("menutest"));
            EXPECT_GE(frame.Native()->View()->y(), bar->height());
            // Opening a menu validates: the application object enables About.
            QAction* about = appMenu->actions().front();
            LMenuBar::Current()->ResetItemStates();
            LMenuBar::Current()->SyncAll();
            EXPECT_FALSE(about->isEnabled());
            emit appMenu->aboutToShow();
            EXPECT_TRUE(about->isEnabled());
            EXPECT_EQ(layer.Menus().QuitAction(appMenu)->isEnabled(),
                      QtMenuServices::IsQuitEnabled());
        }
        ShutdownAppSingletons();
        QCoreApplication::processEvents();
    }
}

}  // namespace
