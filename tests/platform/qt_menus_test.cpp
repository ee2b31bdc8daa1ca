// Native menus on Qt: item texts and keys, separators in place, the
// application menu and its Quit, window menu bars, context menus, the edit
// bridge; ordinary windows of the shell show the bar.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "framework/LContextMenu.h"
#include "platform/qt/QtMenuLayer.h"
#include "tests/platform/QtDrawFixture.h"
#include "tests/platform/ShellFixture.h"

namespace {

// Records the items chosen and enables the commands it is told to.
struct Recorder : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LMenuBar_Ready))
            for (const char* c : fEnable) static_cast<LMenuBar*>(msg.source)->EnableCommand(c);
        if (msg.Is(LMenuItem_Selected)) fSelected.push_back(static_cast<LMenuItem*>(msg.source));
        return LMessage();
    }
    std::vector<const char*> fEnable;
    std::vector<LMenuItem*> fSelected;
};

class QtMenus : public ::testing::Test {
protected:
    QtMenus() { QCoreApplication::setApplicationName(QStringLiteral("Kevo Test")); }
    QtDrawServices fServices;
    Recorder fOwner;
};

QAction* ActionOf(LMenu* menu, u32 index) {
    return static_cast<QMenu*>(menu->Native())->actions().value(qsizetype(index));
}

LMenuItem* AddItem(LMenu* menu, const char* title, const char* command, const char* key = "") {
    auto* item = new LMenuItem(menu);
    item->fTitle = item->fResTitle = LString(title);
    item->AddCommand(command);
    item->SetKeyText(LString(key));
    menu->AppendItem(item);
    return item;
}

TEST_F(QtMenus, KeysAndSeparatorsInPlace) {
    LMenu keys(nullptr, LString("K"), LString("K"));
    const std::pair<const char*, const char*> cases[] = {
        {"sZ", "R\tCtrl+Shift+z"}, {"nZ", "R\tz"},        {"oA", "R\tCtrl+Alt+a"},
        {"cB", "R\tCtrl+Meta+b"},  {"snQ", "R\tShift+q"}, {"", "R"}};
    for (const auto& [key, text] : cases) {
        EXPECT_EQ(QtMenuServices::ItemText(*AddItem(&keys, "R", "C", key), false), text) << key;
        // The menu-key dialog shows a key as the item will.
        LString shown;
        KeyDisplayFromKeyText(LString(key), &shown);
        EXPECT_EQ(QString::fromUtf8(shown.CStr()), QString::fromUtf8(text).section(u'\t', 1))
            << key;
    }

    LMenuBar bar(&fOwner);
    auto* menu = new LMenu(nullptr, LString("M"), LString("M"));
    bar.AddMenu(menu);
    AddItem(menu, "First", "CmdFirst");
    LMenuItem* item = AddItem(menu, "Back", "CmdBack", "B");
    AddItem(menu, "Last", "CmdLast");
    item->fTitle = LString();
    menu->SyncNative();
    EXPECT_TRUE(ActionOf(menu, 1)->isSeparator());
    EXPECT_EQ(ActionOf(menu, 2)->text(), QStringLiteral("Last"));
    item->fTitle = LString("Back");
    item->fEnabled = 1;
    menu->SyncNative();
    EXPECT_EQ(ActionOf(menu, 1)->text(), QStringLiteral("Back\tCtrl+b"));
    ActionOf(menu, 1)->trigger();
    EXPECT_EQ(fOwner.fSelected, std::vector<LMenuItem*>{item});
}

TEST_F(QtMenus, ApplicationMenuAndQuit) {
    LMenuBar bar(&fOwner, "APP");
    QtMenuServices& services = fServices.fMenus;
    QMenu* app = services.BarMenus().front();
    QAction* quit = services.QuitAction(app);
    EXPECT_EQ(app->title(), QStringLiteral("Kevo Test"));
    EXPECT_EQ(app->actions().back(), quit);
    bar.ResetItemStates();
    bar.SyncAll();
    EXPECT_EQ(app->actions().front()->text(), QStringLiteral("About Kevo Test"));
    EXPECT_FALSE(quit->isEnabled());
    EXPECT_EQ(quit->text(), QStringLiteral("Quit Kevo Test\tCtrl+q"));
    bar.EnableCommand(LStdCmd_Quit);
    bar.SyncAll();
    EXPECT_TRUE(quit->isEnabled());
}

// Plays the user: each step runs on the active popup once it accepts it.
void ScriptPopups(std::vector<std::function<bool(QMenu*)>> steps) {
    auto* timer = new QTimer(qApp);  // goes with the application at the latest
    auto at = std::make_shared<size_t>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, steps, at] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (popup && steps[*at](popup) && ++*at == steps.size()) timer->deleteLater();
    });
    timer->start(5);
}

bool Press(QMenu* menu, int key, int active = -1) {
    if (active >= 0) menu->setActiveAction(menu->actions().value(active));
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &press);
    return true;
}

TEST_F(QtMenus, ContextMenus) {
    LMenu menu(nullptr, LString("CTX"), LString("ctx"));
    auto* sub = new LMenu(&menu, LString("SUB"), LString("sub"));
    AddItem(&menu, "One", "CmdOne");
    AddItem(&menu, "More", "CmdMore")->fSubmenu = sub;
    AddItem(sub, "Shallow", "CmdShallow");
    LMenuItem* deep = AddItem(sub, "Deep", "CmdDeep");
    fOwner.fEnable = {"CmdOne", "CmdMore", "CmdDeep"};
    QMenu* top = static_cast<QMenu*>(menu.Native());
    ScriptPopups({[top](QMenu* p) { return p == top && Press(p, Qt::Key_Right, 1); },
                  [top](QMenu* p) {
                      EXPECT_FALSE(p == top || p->actions().value(0)->isEnabled());
                      return p != top && Press(p, Qt::Key_Return, 1);
                  }});
    EXPECT_EQ(PopUpContextMenu(&fOwner, &menu, true), deep);
    EXPECT_EQ(fOwner.fSelected, std::vector<LMenuItem*>{deep});
    ScriptPopups({[](QMenu* p) { return Press(p, Qt::Key_Escape); }});
    EXPECT_EQ(PopUpContextMenu(&fOwner, &menu, true), nullptr);
    EXPECT_EQ(PopUpContextMenu(nullptr, &menu, true), nullptr);
    EXPECT_EQ(fOwner.fSelected.size(), 1u);
}

TEST_F(QtMenus, EditBridgeHandsCutToTheTextField) {
    LMenuBar bar(&fOwner, "APP");
    LMenu* edit = bar.FindMenu("EDIT");
    bar.EnableCommand(LStdCmd_Cut);
    bar.SyncAll();
    QAction* cut =
        ActionOf(edit, u32(edit->IndexOfItem(edit->FindEnabledItemByCommand(LStdCmd_Cut))));
    QWidget panel;
    auto* field = new QLineEdit(QStringLiteral("cut"), &panel);
    panel.show();
    QApplication::setActiveWindow(&panel);
    field->setFocus();
    field->selectAll();
    ASSERT_EQ(QApplication::focusWidget(), field);
    {
        CEditMenuBridge bridge;
        cut->trigger();
        field->insert(QStringLiteral("key"));
        field->selectAll();
        EXPECT_TRUE(
            QtPerformBridgedKey(QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::ControlModifier)));
        EXPECT_TRUE(field->text().isEmpty() && fOwner.fSelected.empty());
    }
    EXPECT_FALSE(QtPerformBridgedKey(QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::ControlModifier)));
    cut->trigger();
    ASSERT_EQ(fOwner.fSelected.size(), 1u);
    EXPECT_TRUE(fOwner.fSelected[0]->HasCommand(LStdCmd_Cut));
}

TEST(QtWindowMenus, OrdinaryWindowsShowTheCurrentBar) {
    std::unique_ptr<QApplication> app(MakeTestApp());
    QtShell shell;
    QtMenuLayer& layer = shell.MenuLayer();
    InitAppSingletons([] { return static_cast<CMainLoopBase*>(new RecApp); });
    {
        RecFrame frame(kWindowOrdinary, 6), dialog(kWindowDialog, 0);
        frame.ShowWindow();
        auto* bar = qobject_cast<QMenuBar*>(frame.Native()->Layout()->menuBar());
        ASSERT_TRUE(bar);
        EXPECT_EQ(dialog.Native()->Layout()->menuBar(), nullptr);
        EXPECT_EQ(bar->actions().front()->menu(), layer.Menus().BarMenus().front());
        EXPECT_GE(frame.Native()->View()->y(), bar->height());
        // Opening a menu validates it: the application object enables About.
        QMenu* appMenu = bar->actions().front()->menu();
        LMenuBar::Current()->ResetItemStates();
        LMenuBar::Current()->SyncAll();
        EXPECT_FALSE(appMenu->actions().front()->isEnabled());
        emit appMenu->aboutToShow();
        EXPECT_TRUE(appMenu->actions().front()->isEnabled());
        // The bar follows the current one.
        delete LMenuBar::Current()->FindMenu("HELP");
        EXPECT_EQ(bar->actions().size(), qsizetype(layer.Menus().BarMenus().size()));
    }
    ShutdownAppSingletons();
    QCoreApplication::processEvents();
    // The released windows were handed to deleteLater.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// One bar per window: the active window's bar carries its own menus merged in;
// another window's bar keeps what it showed and never the active one's menus.
TEST(QtWindowMenus, EachWindowShowsItsOwnMenus) {
    std::unique_ptr<QApplication> app(MakeTestApp());
    QtShell shell;
    InitAppSingletons([] { return static_cast<CMainLoopBase*>(new RecApp); });
    {
        static LResFile program(AppResFileRef());
        // Plain frames: window messages reach the frame, which merges its bar.
        LFrame devwin(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
        LFrame ctlwin(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
        devwin.SetWindowMenu(new LWindowMenu(&devwin, "APPW", &program));
        ctlwin.SetWindowMenu(new LWindowMenu(&ctlwin, "PLAYW", &program));
        devwin.ShowWindow();
        ctlwin.ShowWindow();
        auto menusOf = [](LFrame& f) {
            std::vector<QMenu*> out;
            auto* bar =
                qobject_cast<QMenuBar*>(AsMWindow(f.GetNativeWindow())->Layout()->menuBar());
            for (QAction* a : bar ? bar->actions() : QList<QAction*>()) out.push_back(a->menu());
            return out;
        };
        auto has = [](const std::vector<QMenu*>& menus, LMenu* m) {
            return m && std::count(menus.begin(), menus.end(), static_cast<QMenu*>(m->Native()));
        };
        auto activate = [](LFrame& f) {
            MWindow* w = AsMWindow(f.GetNativeWindow());
            w->activateWindow();
            QApplication::setActiveWindow(w);
            for (int i = 0; i < 200 && QApplication::activeWindow() != w; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::processEvents();
            return QApplication::activeWindow() == w;
        };
        ASSERT_TRUE(activate(devwin));
        LMenu* device = LMenuBar::Current()->FindMenu("DEVICE");
        ASSERT_NE(device, nullptr);
        EXPECT_TRUE(has(menusOf(devwin), device));
        ASSERT_TRUE(activate(ctlwin));
        LMenu* devctl = LMenuBar::Current()->FindMenu("DEVCTL");
        ASSERT_NE(devctl, nullptr);
        EXPECT_EQ(LMenuBar::Current()->FindMenu("DEVICE"), nullptr);
        EXPECT_TRUE(has(menusOf(ctlwin), devctl));
        EXPECT_FALSE(has(menusOf(ctlwin), device));
        // The inactive window's bar is its own: its menus, not the control window's.
        EXPECT_TRUE(has(menusOf(devwin), device));
        EXPECT_FALSE(has(menusOf(devwin), devctl));
        ASSERT_TRUE(activate(devwin));
        EXPECT_TRUE(has(menusOf(devwin), device));
        EXPECT_FALSE(has(menusOf(devwin), devctl));
    }
    ShutdownAppSingletons();
    QCoreApplication::processEvents();
    // The released windows were handed to deleteLater.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The schedule window lends only its own menu: every title once on its bar,
// which a narrow window grows to show whole (no title folded away).
TEST(QtWindowMenus, NarrowEditorWindowShowsEveryTitleOnce) {
    std::unique_ptr<QApplication> app(MakeTestApp());
    QtShell shell;
    InitAppSingletons([] { return static_cast<CMainLoopBase*>(new RecApp); });
    {
        static LResFile program(AppResFileRef());
        // Kind 3: the small editor windows, not resizable by the user.
        LFrame sched(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 3));
        sched.SetWindowMenu(new LWindowMenu(&sched, "SCHEW", &program));
        sched.SetWindowBounds(LRect(40, 40, 160, 100));
        sched.ShowWindow();
        MWindow* w = AsMWindow(sched.GetNativeWindow());
        w->activateWindow();
        QApplication::setActiveWindow(w);
        for (int i = 0; i < 200 && QApplication::activeWindow() != w; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        auto* bar = qobject_cast<QMenuBar*>(w->Layout()->menuBar());
        ASSERT_TRUE(bar);
        QStringList titles;
        for (QAction* a : bar->actions()) titles << a->text().remove('&');
        EXPECT_EQ(titles.count("Schedule"), 1) << titles.join(' ').toStdString();
        EXPECT_EQ(titles.removeDuplicates(), 0) << titles.join(' ').toStdString();
        EXPECT_GE(bar->width(), bar->sizeHint().width()) << titles.join(' ').toStdString();
        EXPECT_GE(w->width(), bar->sizeHint().width());
    }
    ShutdownAppSingletons();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
