#include "framework/ContentFileMenu.h"

#include <string>

#include "framework/LMenu.h"
#include "records/PrefNodes.h"
#include "records/ShowOps.h"

LString& GetContentFileDisplayName(LString* out, const char* name, const CRecord* contents,
                                   u32 which) {
    if (StrIsEmpty(name)) {
        *out = LString();
        return *out;
    }
    LString bare;
    StripExtension(&bare, name);
    if (NodeListFindLast(contents, which, name) >= 0) {
        *out = bare;
    } else {
        // A file the device no longer has stays visible, marked as missing.
        std::string text = "(" + std::string(bare.View()) + ")";
        *out = LString(text.c_str());
    }
    return *out;
}

void FillContentFileMenu(LMenu* menu, const CRecord* contents, u32 which, const char* current) {
    while (menu->CountItems() > 2) menu->RemoveItemAt(2);
    if (LMenuItem* none = menu->ItemAt(0)) none->fChecked = StrIsEmpty(current) ? 1 : 0;
    const u32 n = NodeListCount(contents, which);
    for (u32 i = 0; i < n; ++i) {
        LString name, bare;
        NodeListText(&name, contents, which, i);
        StripExtension(&bare, name.CStr());
        LMenuItem* item = new LMenuItem(menu);
        item->SetCommand(kSelFileCommand);
        item->fResTitle = bare;
        item->fTitle = bare;
        // A pop-up menu is not validated: its file items are always choosable.
        item->fEnabled = 1;
        item->fChecked = !StrIsEmpty(current) && name == current ? 1 : 0;
        menu->AppendItem(item);
    }
}

LString& GetSelectedContentFile(LString* out, const LMenuItem* item, const CRecord* contents,
                                u32 which) {
    *out = LString();
    if (!item || !item->HasCommand(kSelFileCommand)) return *out;
    const u32 n = NodeListCount(contents, which);
    for (u32 i = 0; i < n; ++i) {
        LString name, bare;
        NodeListText(&name, contents, which, i);
        StripExtension(&bare, name.CStr());
        if (bare == item->fTitle) {
            *out = name;
            break;
        }
    }
    return *out;
}
