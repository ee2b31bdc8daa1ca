#pragma once
// Native menus: a QMenu per framework menu and a QAction per item. Linux has no
// global menu bar: every ordinary window shows a QMenuBar that mirrors the
// current bar with the same QMenus. Keys show after a tab in the item text; the
// shell's key filter matches them against the framework's items.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QKeyEvent>
#include <QPointer>
#include <vector>

#include "framework/LMenu.h"

class QtMenuServices final : public QObject, public LMenuServices {
public:
    QtMenuServices();
    ~QtMenuServices() override;

    LNativeMenu NewMenu(LMenu* menu, const LString& title, bool appMenu) override;
    void ReleaseMenu(LNativeMenu menu) override;
    void InsertItem(LNativeMenu menu, u32 index, LMenuItem* item) override;
    void RemoveItem(LNativeMenu menu, u32 index) override;
    void UpdateItem(LNativeMenu menu, u32 index, const LMenuItem& item) override;
    void ValidateExtraItems(LNativeMenu menu, u32 first) override;
    void InsertBarMenu(LNativeMenu menu, LNativeMenu before) override;
    void InsertBarMenuAt(LNativeMenu menu, i32 position) override;
    void RemoveBarMenu(LNativeMenu menu) override;
    bool PopUpMenu(LNativeMenu menu, LNativeItem* chosen) override;

    // A menu bar for a window that mirrors the current bar from now on.
    QMenuBar* NewWindowMenuBar(QWidget* parent);
    // Called by the Quit action (the shell's quit entry point).
    void SetQuitHandler(void (*quit)());

    // The application's name for "%0": display name, else name, else "App".
    static QString AppName();
    // A name of the program's own, taken before any other.
    static void SetAppName(const QString& name);
    // The text an item shows: title, then a tab and its key ("Ctrl+Shift+z").
    static QString ItemText(const LMenuItem& item, bool appMenu);
    // The key text alone; empty for an item without key.
    static QString KeyText(const LMenuItem& item);
    static QString KeyText(u32 ch, u32 itemModifiers);
    bool KeyDisplayText(u32 ch, u32 itemModifiers, LString* out) override;
    static QtMenuServices* Instance();

    const std::vector<QMenu*>& BarMenus() const { return fBar; }
    // The Quit action of the application menu (null for other menus).
    QAction* QuitAction(QMenu* menu) const;
    // Runs an action as the user's choice.
    void Choose(QAction* action);
    // The edit commands that a bridge hands to the focused text widget.
    void SetBridged(QAction* action, int op) { action->setProperty("kevoEditOp", op); }

private:
    struct MenuRec {
        QMenu* qmenu;
        LMenu* menu;
        bool app;
        QAction* quit;
    };
    MenuRec* Find(QMenu* qmenu);
    void Validate(QMenu* qmenu);
    void MirrorBars();
    void FillBar(QMenuBar* bar);

    std::vector<MenuRec> fMenus;
    std::vector<QMenu*> fBar;
    std::vector<QPointer<QMenuBar>> fWindowBars;
    void (*fQuit)() = nullptr;
    bool fPopping = false;
};

enum : int {
    kEditOpNone = 0,
    kEditOpUndo,
    kEditOpRedo,
    kEditOpCut,
    kEditOpCopy,
    kEditOpPaste,
    kEditOpDelete
};

// While alive, the Edit menu's Undo, Redo, Cut, Copy, Paste and Delete act on
// the focused text widget (a file panel's name field) instead of sending the
// framework's commands.
class CEditMenuBridge {
public:
    CEditMenuBridge();
    ~CEditMenuBridge();
    CEditMenuBridge(const CEditMenuBridge&) = delete;
    CEditMenuBridge& operator=(const CEditMenuBridge&) = delete;

private:
    std::vector<QPointer<QAction>> fSaved;
};

// Performs an edit command on the focused text widget; false when there is none.
bool QtPerformEditOp(int op);
// Under a bridge, a key press that is the key of a bridged item performs its
// edit command on the focused text widget (true: the key is taken), so that
// the keyboard does not send the framework's command either.
bool QtPerformBridgedKey(const QKeyEvent& e);
