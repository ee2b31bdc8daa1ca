#include "framework/LContextMenu.h"

LMenuItem* PopUpContextMenu(LHandler* pane, LMenu* menu, bool validate) {
    if (!pane || !menu || !menu->fNative || menu->IsLinked()) return nullptr;
    LMenuBar bar(nullptr);
    bar.fMenus.PushBack(menu);
    if (validate) {
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, pane);
        // The chain only set the items' states: the native menu shows them now.
        bar.SyncAll();
    } else {
        LHandler::Send(LMenuBar_Ready, &bar, &bar);
    }
    LNativeItem chosen;
    LMenuItem* item = nullptr;
    if (MenuServices().PopUpMenu(menu->fNative, &chosen)) item = bar.ItemChosen(chosen);
    if (item && validate) LHandler::Send(LMenuItem_Selected, item, pane);
    bar.fMenus.Remove(menu);
    return item;
}
