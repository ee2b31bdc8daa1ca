#include "framework/WindowMenuList.h"

#include <vector>

#include "framework/LMenu.h"
#include "framework/LWindow.h"

namespace {

// The windows a user can switch to: shown ordinary windows with a title.
std::vector<LWindow*> ListedWindows() {
    std::vector<LWindow*> out;
    for (LWindow* w = LDesktop::NextVisibleWindow(nullptr); w; w = LDesktop::NextVisibleWindow(w)) {
        if (w->Type() == kWindowOrdinary && !w->Title().IsEmpty()) out.push_back(w);
    }
    return out;
}

LMenu* WindowMenuOf(LMenuBar* bar) {
    LMenu* menu = bar ? bar->FindMenu("WINDOW") : nullptr;
    return menu;
}

bool IsEntry(const LMenuItem* item) {
    return item && item->HasCommand(kCmdWindowMenuSelect);
}

bool IsPanelEntry(const LMenuItem* item) {
    return item && item->HasCommand(kCmdWindowMenuPanel);
}

// The toolkit's panels follow the windows, in the order the platform gives.
void SyncPanelEntries(LMenu* menu, bool windowsRebuilt) {
    const std::vector<LString> panels = WindowServices().ToolkitPanels();
    std::vector<LMenuItem*> entries;
    for (u32 i = 0; i < menu->CountItems(); ++i)
        if (IsPanelEntry(menu->ItemAt(i))) entries.push_back(menu->ItemAt(i));
    // Windows entered anew went after the panels': these go to the end again.
    bool same = !windowsRebuilt && entries.size() == panels.size();
    for (size_t i = 0; same && i < panels.size(); ++i) same = entries[i]->fResTitle == panels[i];
    if (same) return;
    for (LMenuItem* e : entries) menu->RemoveItem(e);
    for (const LString& title : panels) {
        auto* item = new LMenuItem(menu);
        item->AddCommand(kCmdWindowMenuPanel);
        item->fResTitle = title;
        item->fTitle = title;
        menu->AppendItem(item);
    }
}

}  // namespace

void SyncWindowMenu(LMenuBar* bar) {
    LMenu* menu = WindowMenuOf(bar);
    if (!menu) return;
    const std::vector<LWindow*> windows = ListedWindows();
    // Entries follow the menu's own items; the list is compared in order.
    std::vector<LMenuItem*> entries;
    for (u32 i = 0; i < menu->CountItems(); ++i) {
        if (IsEntry(menu->ItemAt(i))) entries.push_back(menu->ItemAt(i));
    }
    bool same = entries.size() == windows.size();
    for (size_t i = 0; same && i < windows.size(); ++i)
        same = windows[i]->fMenuEntry == entries[i] && entries[i]->fResTitle == windows[i]->Title();
    if (!same) {
        for (LMenuItem* e : entries) {
            for (LWindow* w : windows) {
                if (w->fMenuEntry == e) w->fMenuEntry = nullptr;
            }
            menu->RemoveItem(e);
        }
        for (LWindow* w : windows) {
            auto* item = new LMenuItem(menu);
            item->AddCommand(kCmdWindowMenuSelect);
            item->fResTitle = w->Title();
            item->fTitle = w->Title();
            menu->AppendItem(item);
            w->fMenuEntry = item;
        }
    }
    SyncPanelEntries(menu, !same);
    bar->EnableCommand(kCmdWindowMenuSelect);
    bar->EnableCommand(kCmdWindowMenuPanel);
    if (!windows.empty() && windows.front()->fMenuEntry) windows.front()->fMenuEntry->fChecked = 1;
}

bool SelectWindowMenuEntry(LMenuItem* item) {
    if (IsPanelEntry(item)) {
        WindowServices().BringToolkitPanelForward(item->fResTitle);
        return true;
    }
    if (!IsEntry(item)) return false;
    for (LWindow* w : ListedWindows()) {
        if (w->fMenuEntry == item) {
            if (LDesktop* desktop = LDesktop::Instance())
                desktop->ShowWindow(w);
            else
                WindowServices().MakeKeyAndOrderFront(w->Native());
            break;
        }
    }
    return true;
}

void ForgetWindowMenuEntry(LWindow* window) {
    LMenuItem* entry = window->fMenuEntry;
    window->fMenuEntry = nullptr;
    if (!entry) return;
    // The menu may have gone first (at shutdown, with its items): only an
    // entry still found in a live menu is touched.
    const LArray& menus = LMenu::AllMenus();
    for (u32 i = 0; i < menus.Count(); ++i) {
        LMenu* menu = menus.DataAs<LMenu*>()[i];
        if (menu->IndexOfItem(entry) >= 0) {
            menu->RemoveItem(entry);
            return;
        }
    }
}
