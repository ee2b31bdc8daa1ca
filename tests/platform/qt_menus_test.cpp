// Native menus on Qt: item texts and keys, separators in place, the
// application menu and its Quit, window menu bars, context menus, the edit bridge.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "base/Resources.h"
#include "framework/LContextMenu.h"
#include "tests/platform/QtDrawFixture.h"

namespace {

// Records what reaches it and enables the commands it is told to.
class Recorder : public LHandler {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LMenuBar_Ready)) {
            for (const char* c : fEnable) static_cast<LMenuBar*>(msg.source)->EnableCommand(c);
            return LMessage();
        }
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

LMenuItem* AddItem(LMenu* menu, const char* title, const char* command, const char* key) {
    auto* item = new LMenuItem(menu);
    item->fTitle = item->fResTitle = LString(title);
    if (command) item->AddCommand(command);
    if (key) item->SetKeyText(LString(key));
    menu->AppendItem(item);
    return item;
}

TEST_F(QtMenus, KeysShowAfterATab) {
    LMenu menu(nullptr, LString("T"), LString("T"));
    const struct {
        const char* key;
        const char* text;
    } cases[] = {{"sZ", "Redo\tCtrl+Shift+z"}, {"nZ", "Redo\tz"},        {"oA", "Redo\tCtrl+Alt+a"},
                 {"cB", "Redo\tCtrl+Meta+b"},  {"snQ", "Redo\tShift+q"}, {"", "Redo"}};
    for (const auto& c : cases) {
        LMenuItem* item = AddItem(&menu, "Redo", "LStdCmd_Redo", c.key);
        EXPECT_EQ(QtMenuServices::ItemText(*item, false), QString::fromUtf8(c.text)) << c.key;
    }
}

TEST_F(QtMenus, UntitledItemsBecomeSeparatorsInPlace) {
    LMenuBar bar(&fOwner);
    auto* menu = new LMenu(nullptr, LString("M"), LString("M"));
    bar.AddMenu(menu);
    AddItem(menu, "First", "CmdFirst", nullptr);
    LMenuItem* item = AddItem(menu, "Back", "CmdBack", "B");
    AddItem(menu, "Last", "CmdLast", nullptr);
    item->fTitle = LString();
    menu->SyncNative();
    EXPECT_TRUE(ActionOf(menu, 1)->isSeparator());
    EXPECT_EQ(ActionOf(menu, 2)->text(), QStringLiteral("Last"));
    item->fTitle = LString("Back");
    item->fEnabled = 1;
    menu->SyncNative();
    QAction* back = ActionOf(menu, 1);
    EXPECT_FALSE(back->isSeparator());
    EXPECT_EQ(back->text(), QStringLiteral("Back\tCtrl+b"));
    back->trigger();
    ASSERT_EQ(fOwner.fSelected.size(), 1u);
    EXPECT_EQ(fOwner.fSelected[0], item);
}

TEST_F(QtMenus, ApplicationMenuAndQuit) {
    LMenuBar bar(&fOwner, "APP");
    QtMenuServices& services = fServices.fMenus;
    ASSERT_FALSE(services.BarMenus().empty());
    QMenu* app = services.BarMenus().front();
    EXPECT_EQ(app->title(), QStringLiteral("Kevo Test"));
    QAction* quit = services.QuitAction(app);
    ASSERT_TRUE(quit);
    EXPECT_EQ(app->actions().back(), quit);
    bar.ResetItemStates();
    bar.SyncAll();
    EXPECT_EQ(app->actions().front()->text(), QStringLiteral("About Kevo Test"));
    EXPECT_FALSE(quit->isEnabled());
    bar.EnableCommand(LStdCmd_Quit);
    bar.SyncAll();
    EXPECT_TRUE(quit->isEnabled());

    // Every window bar shows the same menus.
    QWidget window;
    QMenuBar* shown = services.NewWindowMenuBar(&window);
    ASSERT_EQ(shown->actions().size(), qsizetype(services.BarMenus().size()));
    EXPECT_EQ(shown->actions().front()->menu(), app);
    bar.RemoveMenu(bar.FindMenu("HELP"));
    EXPECT_EQ(shown->actions().size(), qsizetype(services.BarMenus().size()));
}

// Plays the user on the popups: each step runs once the expected popup shows.
void ScriptPopups(std::vector<std::function<bool(QMenu*)>> steps) {
    auto* timer = new QTimer;
    auto at = std::make_shared<size_t>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, steps, at] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (popup && steps[*at](popup)) ++*at;
        if (*at == steps.size()) timer->deleteLater();
    });
    timer->start(5);
}

void Press(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

TEST_F(QtMenus, ContextMenus) {
    LMenu menu(nullptr, LString("CTX"), LString("ctx"));
    auto* sub = new LMenu(&menu, LString("SUB"), LString("sub"));
    AddItem(&menu, "One", "CmdOne", nullptr);
    LMenuItem* more = AddItem(&menu, "More", "CmdMore", nullptr);
    more->fSubmenu = sub;
    AddItem(sub, "Shallow", "CmdShallow", nullptr);
    LMenuItem* deep = AddItem(sub, "Deep", "CmdDeep", nullptr);
    fOwner.fEnable = {"CmdOne", "CmdMore", "CmdDeep"};

    QMenu* top = static_cast<QMenu*>(menu.Native());
    ScriptPopups({[top](QMenu* p) {
                      if (p != top) return false;
                      p->setActiveAction(p->actions().value(1));
                      Press(p, Qt::Key_Right);
                      return true;
                  },
                  [top](QMenu* p) {
                      if (p == top) return false;
                      EXPECT_FALSE(p->actions().value(0)->isEnabled());
                      p->setActiveAction(p->actions().value(1));
                      Press(p, Qt::Key_Return);
                      return true;
                  }});
    EXPECT_EQ(PopUpContextMenu(&fOwner, &menu, true), deep);
    ASSERT_EQ(fOwner.fSelected.size(), 1u);
    EXPECT_EQ(fOwner.fSelected[0], deep);

    ScriptPopups({[](QMenu* p) {
        Press(p, Qt::Key_Escape);
        return true;
    }});
    EXPECT_EQ(PopUpContextMenu(&fOwner, &menu, true), nullptr);
    EXPECT_EQ(PopUpContextMenu(nullptr, &menu, true), nullptr);
    EXPECT_EQ(fOwner.fSelected.size(), 1u);
    delete sub;
}

TEST_F(QtMenus, EditBridgeHandsCutToTheTextField) {
    LMenuBar bar(&fOwner, "APP");
    LMenu* edit = bar.FindMenu("EDIT");
    ASSERT_TRUE(edit);
    bar.SyncAll();
    u32 cutIndex = 0;
    while (!edit->ItemAt(cutIndex)->HasCommand(LStdCmd_Cut)) ++cutIndex;
    QAction* cut = ActionOf(edit, cutIndex);

    QWidget panel;
    auto* field = new QLineEdit(QStringLiteral("name.kvs"), &panel);
    panel.show();
    QApplication::setActiveWindow(&panel);
    field->setFocus();
    field->selectAll();
    ASSERT_EQ(QApplication::focusWidget(), field);
    {
        CEditMenuBridge bridge;
        cut->trigger();
        EXPECT_EQ(field->text(), QString());
        EXPECT_TRUE(fOwner.fSelected.empty());
    }
    cut->trigger();
    ASSERT_EQ(fOwner.fSelected.size(), 1u);
    EXPECT_TRUE(fOwner.fSelected[0]->HasCommand(LStdCmd_Cut));
}

}  // namespace
