#include "framework/LMenu.h"

#include <string>

#include "framework/InputState.h"

namespace {

LMenuBar* sCurrentBar = nullptr;
LHandler* sInterceptor = nullptr;

LArray& MenuRegistry() {
    static LArray* menus = new LArray(sizeof(LMenu*));
    return *menus;
}

// Line n of a text whose lines end in CR or LF; empty past the last line.
LString Line(const LString& text, u32 n) {
    const char* p = text.CStr();
    const char* end = p + text.Length();
    for (u32 i = 0; i < n; ++i) {
        while (p < end && *p != '\r' && *p != '\n') ++p;
        if (p == end) return LString();
        ++p;
    }
    const char* q = p;
    while (q < end && *q != '\r' && *q != '\n') ++q;
    return LString(p, u32(q - p));
}

template <class T>
T* NextOf(T* node) {
    LLink* n = node->Next();
    return n->IsEnd() ? nullptr : static_cast<T*>(n);
}

template <class T>
T* First(const LList& list) {
    LLink* n = list.Head();
    return n->IsEnd() ? nullptr : static_cast<T*>(n);
}

bool IsQuitItem(const LMenuItem* item) {
    return item->HasCommand(LStdCmd_Quit);
}

}  // namespace

// ---------------------------------------------------------------- key texts

bool ParseKeyText(const char* text, u8* key, u32* flags) {
    *key = 0;
    *flags = kKeyCommand;
    if (!text) return false;
    const char* p = text;
    for (; *p >= 'a' && *p <= 'z'; ++p) {
        switch (*p) {
            case 'c':
                *flags |= kKeyControl;
                break;
            case 'o':
                *flags |= kKeyOption;
                break;
            case 's':
                *flags |= kKeyShift;
                break;
            case 'n':
                *flags &= ~u32(kKeyCommand);
                break;
            default:
                break;
        }
    }
    const u8 c = u8(*p);
    if (c < 32 || c > 126 || p[1] != 0) {
        *flags = 0;
        return false;
    }
    *key = c;
    return true;
}

bool KeyTextFromKeyboard(LString* out) {
    *out = LString();
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb) return false;
    const u32 ch = kb->UpperChar();
    if (ch < 32 || ch > 126) return false;
    std::string s;
    if (kb->IsControlDown()) s += 'c';
    if (kb->IsOptionDown()) s += 'o';
    if (kb->IsShiftDown() && ch >= 'A' && ch <= 'Z') s += 's';
    if (!kb->IsCommandDown()) s += 'n';
    s += char(ch);
    *out = LString(s.c_str());
    return true;
}

bool KeyGlyphsFromSpec(u32 ch, u32 flags, LString* out) {
    *out = LString();
    if (ch < 32 || ch > 126) return false;
    std::string s;
    if (flags & kKeyControl) s += "^";
    if (flags & kKeyOption) s += "\u2325";
    if (flags & kKeyShift) s += "\u21E7";
    if (flags & kKeyCommand) s += "\u2318";
    if (ch == ' ')
        s += "Space";
    else
        s += char(ch);
    *out = LString(s.c_str());
    return true;
}

bool KeyGlyphsFromKeyboard(LString* out) {
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb) {
        *out = LString();
        return false;
    }
    const u32 ch = kb->UpperChar();
    u32 flags = 0;
    if (kb->IsControlDown()) flags |= kKeyControl;
    if (kb->IsOptionDown()) flags |= kKeyOption;
    if (kb->IsShiftDown() && ch >= 'A' && ch <= 'Z') flags |= kKeyShift;
    if (kb->IsCommandDown()) flags |= kKeyCommand;
    return KeyGlyphsFromSpec(ch, flags, out);
}

u32 ItemModifiersOfKeyFlags(u32 flags) {
    u32 mods = 0;
    if (flags & kKeyShift) mods |= kItemShift;
    if (flags & kKeyOption) mods |= kItemOption;
    if (flags & kKeyControl) mods |= kItemControl;
    if (!(flags & kKeyCommand)) mods |= kItemNoCommand;
    return mods;
}

bool KeyDisplayFromKeyText(const LString& keyText, LString* out) {
    *out = LString();
    u8 ch = 0;
    u32 flags = 0;
    if (!ParseKeyText(keyText.CStr(), &ch, &flags)) return false;
    if (MenuServices().KeyDisplayText(ch, ItemModifiersOfKeyFlags(flags), out)) return true;
    return KeyGlyphsFromSpec(ch, flags, out);
}

// ---------------------------------------------------------------- items

LMenuItem::LMenuItem(LMenu* menu) : LHandler(menu) {}

LMenuItem::~LMenuItem() {
    fCommands.DeleteAll();
}

LMenu* LMenuItem::Menu() const {
    return static_cast<LMenu*>(fParent);
}

void LMenuItem::SetKeyText(const LString& text) {
    fHasKey = !text.IsEmpty();
    fKeyText = text;
    u32 flags = 0;
    fModifiers = 0;
    if (!ParseKeyText(text.CStr(), &fKeyChar, &flags)) return;
    fModifiers = ItemModifiersOfKeyFlags(flags);
}

void LMenuItem::AddCommand(const char* name) {
    if (HasCommand(name)) return;
    fCommands.PushBack(new LNamedLink(LString(name)));
}

void LMenuItem::SetCommand(const char* name) {
    fCommands.DeleteAll();
    fCommands.PushBack(new LNamedLink(LString(name)));
}

bool LMenuItem::HasCommand(const char* name) const {
    for (LLink* n = fCommands.Head(); !n->IsEnd(); n = n->Next()) {
        if (StrEqual(static_cast<LNamedLink*>(n)->Name().CStr(), name)) return true;
    }
    return false;
}

LString LMenuItem::FirstCommand() const {
    LNamedLink* first = First<LNamedLink>(fCommands);
    return first ? first->Name() : LString();
}

void LMenuItem::ResetState() {
    fEnabled = 0;
    fChecked = 0;
    fSettled = 0;
    fTitle = fResTitle;
}

// ---------------------------------------------------------------- menus

LMenu::LMenu(LHandler* parent, const char* resName, LResSource* source) : LHandler(parent) {
    LResId id{0, resName};
    LStrListRes list(&id, source, kMenuResType);
    LString head;
    list.GetItem(&head, 0);
    fName = Line(head, 0);
    fTitle = Line(head, 1);
    Register();
    BuildItems(resName, source);
}

LMenu::LMenu(LHandler* parent, const LString& name, const LString& title)
    : LHandler(parent), fName(name), fTitle(title) {
    Register();
}

void LMenu::Register() {
    fNative = MenuServices().NewMenu(this, fTitle,
                                     fTitle.Length() == 1 && fTitle.CStr()[0] == kAppMenuTitle);
    LMenu* self = this;
    MenuRegistry().InsertAt(MenuRegistry().Count(), &self);
}

LMenu::~LMenu() {
    Send(LMenu_Destructing, this, fParent);
    RemoveAllItems();
    if (fNative) MenuServices().ReleaseMenu(fNative);
    fNative = nullptr;
    LArray& all = MenuRegistry();
    LMenu** menus = all.DataAs<LMenu*>();
    for (u32 i = all.Count(); i-- > 0;) {
        if (menus[i] == this) {
            all.RemoveAt(i, 1);
            break;
        }
    }
}

const LArray& LMenu::AllMenus() {
    return MenuRegistry();
}

void LMenu::BuildItems(const char* resName, LResSource* source) {
    LResId id{0, resName};
    LStrListRes list(&id, source, kMenuResType);
    for (u32 i = 1; i < list.Count(); ++i) {
        LString text;
        list.GetItem(&text, i);
        LMenuItem* item = MakeItem(text, source);
        AppendItem(item);
        if (!IsQuitItem(item)) continue;
        // The system's own menu has Quit: separators left before it would dangle.
        for (;;) {
            i32 at = IndexOfItem(item);
            LMenuItem* before = at > 0 ? ItemAt(u32(at - 1)) : nullptr;
            if (!before || !before->IsSeparator()) break;
            RemoveItem(before);
        }
        break;
    }
}

LMenuItem* LMenu::MakeItem(const LString& text, LResSource* source) {
    LMenuItem* item = new LMenuItem(this);
    LString command = Line(text, 0);
    if (!command.IsEmpty()) item->AddCommand(command.CStr());
    item->fResTitle = Line(text, 1);
    item->fTitle = item->fResTitle;
    item->fResKeyText = Line(text, 2);
    item->SetKeyText(item->fResKeyText);
    LString sub = Line(text, 3);
    if (!sub.IsEmpty()) {
        LResId id{0, sub.CStr()};
        LStrListRes list(&id, source, kMenuResType);
        if (list.Count() > 0) {
            LMenu* submenu = new LMenu(this, sub.CStr(), source);
            submenu->fOwner = this;
            item->fSubmenu = submenu;
        }
    }
    return item;
}

LMessage LMenu::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMenuTracer_Trace) && msg.source)
        static_cast<LMenuTracer*>(msg.source)->OfferMenu(this);
    return LHandler::HandleMessage(msg);
}

// Items carrying Quit have no native item, so native positions skip them.
static u32 NativeIndexOf(const LMenu* menu, const LMenuItem* item) {
    u32 index = menu->fFirstNative;
    for (LMenuItem* it = First<LMenuItem>(menu->fItems); it && it != item; it = NextOf(it)) {
        if (!IsQuitItem(it)) ++index;
    }
    return index;
}

LMenuItem* LMenu::FindItemForNative(const LNativeItem& native) {
    if (fNative && native.menu == fNative) {
        u32 index = fFirstNative;
        for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
            if (IsQuitItem(it)) continue;
            if (index == native.index) return it;
            ++index;
        }
        return nullptr;
    }
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
        if (it->fSubmenu && it->fEnabled) {
            if (LMenuItem* found = it->fSubmenu->FindItemForNative(native)) return found;
        }
    }
    return nullptr;
}

void LMenu::AppendItem(LMenuItem* item) {
    item->fOwned = 1;
    fItems.PushBack(item);
    NotifyItemAdded(item);
}

void LMenu::InsertItem(LMenuItem* item, u32 index) {
    item->fOwned = 1;
    if (index == 0) {
        fItems.PushFront(item);
    } else {
        LMenuItem* prev = ItemAt(index - 1);
        if (prev)
            fItems.InsertAfter(item, prev);
        else
            fItems.PushBack(item);
    }
    NotifyItemAdded(item);
}

void LMenu::NotifyItemAdded(LMenuItem* item) {
    if (!fNative || IsQuitItem(item)) return;
    MenuServices().InsertItem(fNative, NativeIndexOf(this, item), item);
    Send(LMenu_ItemAdded, this, fParent);
}

void LMenu::RemoveItem(LMenuItem* item) {
    if (IndexOfItem(item) < 0) return;
    if (fNative && !IsQuitItem(item)) MenuServices().RemoveItem(fNative, NativeIndexOf(this, item));
    fItems.Remove(item);
    if (!item->fOwned) return;
    if (item->fSubmenu && item->fSubmenu->fOwner == this) delete item->fSubmenu;
    item->fSubmenu = nullptr;
    delete item;
}

void LMenu::RemoveItemAt(u32 index) {
    if (LMenuItem* item = ItemAt(index)) RemoveItem(item);
}

void LMenu::RemoveAllItems() {
    while (LMenuItem* item = static_cast<LMenuItem*>(fItems.Tail())) RemoveItem(item);
}

i32 LMenu::IndexOfItem(const LMenuItem* item) const {
    i32 i = 0;
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it), ++i) {
        if (it == item) return i;
    }
    return -1;
}

LMenuItem* LMenu::ItemAt(u32 index) const {
    LLink* n = fItems.Nth(index);
    return n && !n->IsEnd() ? static_cast<LMenuItem*>(n) : nullptr;
}

u32 LMenu::CountItems() const {
    u32 n = 0;
    for (LLink* l = fItems.Head(); !l->IsEnd(); l = l->Next()) ++n;
    return n;
}

void LMenu::ForEachItem(void* context, void (*fn)(void* context, LMenuItem* item)) {
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
        fn(context, it);
        if (it->fSubmenu) it->fSubmenu->ForEachItem(context, fn);
    }
}

void LMenu::ResetItemStates() {
    ForEachItem(nullptr, [](void*, LMenuItem* it) { it->ResetState(); });
}

void LMenu::EnableAllItems() {
    ForEachItem(nullptr, [](void*, LMenuItem* it) {
        if (!it->fTitle.IsEmpty()) it->fEnabled = 1;
    });
}

namespace {
struct CommandQuery {
    const char* command;
    const LString* text;
    bool flag;
    bool any;
};
}  // namespace

bool LMenu::CheckCommand(const char* command, const LString& value) {
    CommandQuery q{command, &value, false, false};
    ForEachItem(&q, [](void* c, LMenuItem* it) {
        CommandQuery& q = *static_cast<CommandQuery*>(c);
        if (!it->HasCommand(q.command)) return;
        if (!q.text->IsEmpty() && !(*q.text == it->fTitle)) return;
        it->fChecked = 1;
        q.any = true;
    });
    return q.any;
}

void LMenu::EnableCommand(const char* command, const LString& title, bool keepDisabled) {
    CommandQuery q{command, &title, keepDisabled, false};
    ForEachItem(&q, [](void* c, LMenuItem* it) {
        CommandQuery& q = *static_cast<CommandQuery*>(c);
        // The nearest handler enables first; those further up do not retitle.
        if (it->fEnabled || it->fSettled || !it->HasCommand(q.command)) return;
        if (!q.flag) it->fEnabled = 1;
        if (!q.text->IsEmpty()) it->fTitle = *q.text;
    });
}

void LMenu::SettleCommand(const char* command) {
    ForEachItem(const_cast<char*>(command), [](void* c, LMenuItem* it) {
        if (it->HasCommand(static_cast<const char*>(c))) it->fSettled = 1;
    });
}

LMenuItem* LMenu::FindEnabledItemByCommand(const char* command) {
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
        if (it->fEnabled && !it->fSubmenu && it->HasCommand(command)) return it;
    }
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
        if (it->fEnabled && it->fSubmenu) {
            if (LMenuItem* found = it->fSubmenu->FindEnabledItemByCommand(command)) return found;
        }
    }
    return nullptr;
}

LMenuItem* LMenu::FindEnabledItemByKey(const LString& keyText) {
    if (keyText.IsEmpty()) return nullptr;
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
        if (it->fEnabled && !it->fSubmenu && it->fKeyText == keyText) return it;
    }
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
        if (it->fEnabled && it->fSubmenu) {
            if (LMenuItem* found = it->fSubmenu->FindEnabledItemByKey(keyText)) return found;
        }
    }
    return nullptr;
}

void LMenu::SyncNative() {
    if (!fNative) return;
    u32 index = fFirstNative;
    for (LMenuItem* it = First<LMenuItem>(fItems); it; it = NextOf(it)) {
        if (IsQuitItem(it)) continue;
        MenuServices().UpdateItem(fNative, index++, *it);
        if (it->fSubmenu) it->fSubmenu->SyncNative();
    }
    MenuServices().ValidateExtraItems(fNative, index);
}

// ---------------------------------------------------------------- bars

LMenuBar::LMenuBar(LHandler* parent) : LHandler(parent), fUpdateTimer(this) {
    BecomeCurrentIfNone();
}

LMenuBar::LMenuBar(LHandler* parent, const char* resName, LResSource* source)
    : LHandler(parent), fUpdateTimer(this) {
    BecomeCurrentIfNone();
    LResId id{0, resName};
    LStrListRes list(&id, source, kMenuBarResType);
    for (u32 i = 0; i < list.Count(); ++i) {
        LString name;
        list.GetItem(&name, i);
        LMenu* menu = new LMenu(this, name.CStr(), source);
        if (!menu->fOwner) menu->fOwner = this;
        InsertMenu(menu, 0);
    }
    fUpdateTimer.Start(0u);
}

LMenuBar::~LMenuBar() {
    while (LMenu* menu = static_cast<LMenu*>(fMenus.Tail())) {
        const bool owned = menu->fOwner == this;
        RemoveMenu(menu);
        if (owned) delete menu;
    }
    if (sCurrentBar == this) sCurrentBar = nullptr;
}

void LMenuBar::BecomeCurrentIfNone() {
    if (!sCurrentBar) sCurrentBar = this;
}

LMenuBar* LMenuBar::Current() {
    return sCurrentBar;
}

void LMenuBar::WithCurrent(void* context, void (*fn)(void* context, LMenuBar* bar)) {
    if (sCurrentBar) fn(context, sCurrentBar);
}

void LMenuBar::SetInterceptor(LHandler* handler) {
    sInterceptor = handler;
}

LHandler* LMenuBar::Interceptor() {
    return sInterceptor;
}

void LMenuBar::InsertMenu(LMenu* menu, i32 position) {
    fMenus.PushBack(menu);
    if (menu->fNative && position >= 0 && IsCurrent())
        MenuServices().InsertBarMenuAt(menu->fNative, position);
}

void LMenuBar::AddMenu(LMenu* menu) {
    if (!menu->fOwner) menu->fOwner = this;
    InsertMenu(menu, -1);
}

void LMenuBar::InsertMenuBefore(LMenu* menu, LMenu* before) {
    fMenus.PushBack(menu);
    if (menu->fNative && IsCurrent()) {
        MenuServices().InsertBarMenu(menu->fNative, before ? before->fNative : nullptr);
        fUpdateTimer.Start(0u);
    }
}

void LMenuBar::RemoveMenu(LMenu* menu) {
    if (!fMenus.Remove(menu)) return;
    if (menu->fOwner == this) menu->fOwner = nullptr;
    if (menu->fNative) MenuServices().RemoveBarMenu(menu->fNative);
}

void LMenuBar::ForEachItem(void* context, void (*fn)(void* context, LMenuItem* item)) {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) m->ForEachItem(context, fn);
}

void LMenuBar::ResetItemStates() {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) m->ResetItemStates();
}

void LMenuBar::EnableCommand(const char* command, const LString& title, bool keepDisabled) {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m))
        m->EnableCommand(command, title, keepDisabled);
}

void LMenuBar::SettleCommand(const char* command) {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) m->SettleCommand(command);
}

bool LMenuBar::CheckCommand(const char* command, const LString& value) {
    bool any = false;
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) any |= m->CheckCommand(command, value);
    return any;
}

static LMenu* FindSubmenu(LMenu* menu, const char* name, LMenu** container, i32* index) {
    i32 i = 0;
    for (LMenuItem* it = First<LMenuItem>(menu->fItems); it; it = NextOf(it), ++i) {
        LMenu* sub = it->fSubmenu;
        if (!sub) continue;
        if (StrEqual(sub->fName.CStr(), name)) {
            if (container) *container = menu;
            if (index) *index = i;
            return sub;
        }
        if (LMenu* found = FindSubmenu(sub, name, container, index)) return found;
    }
    return nullptr;
}

LMenu* LMenuBar::FindMenu(const char* name) const {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) {
        if (StrEqual(m->fName.CStr(), name)) return m;
    }
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) {
        if (LMenu* found = FindSubmenu(m, name, nullptr, nullptr)) return found;
    }
    return nullptr;
}

static bool LocateIn(LMenu* menu, const LMenu* target, LMenu** container, i32* index) {
    i32 i = 0;
    for (LMenuItem* it = First<LMenuItem>(menu->fItems); it; it = NextOf(it), ++i) {
        if (!it->fSubmenu) continue;
        if (it->fSubmenu == target) {
            *container = menu;
            *index = i;
            return true;
        }
        if (LocateIn(it->fSubmenu, target, container, index)) return true;
    }
    return false;
}

bool LMenuBar::LocateMenu(const LMenu* menu, LMenu** container, i32* index) const {
    *container = nullptr;
    *index = -1;
    i32 i = 0;
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m), ++i) {
        if (m == menu) {
            *index = i;
            return true;
        }
    }
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) {
        if (LocateIn(m, menu, container, index)) return true;
    }
    return false;
}

LMenuItem* LMenuBar::Divert(LMenuItem* item) {
    if (!item || !sInterceptor) return item;
    Send(LMenuItem_Selected, item, sInterceptor);
    return nullptr;
}

LMenuItem* LMenuBar::ItemChosen(const LNativeItem& native) {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) {
        if (LMenuItem* item = m->FindItemForNative(native)) return Divert(item);
    }
    return nullptr;
}

LMenuItem* LMenuBar::FindEnabledItemByCommand(const char* command) {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) {
        if (LMenuItem* item = m->FindEnabledItemByCommand(command)) return Divert(item);
    }
    return nullptr;
}

LMenuItem* LMenuBar::FindEnabledItemByKey(const LString& keyText) {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) {
        if (LMenuItem* item = m->FindEnabledItemByKey(keyText)) return Divert(item);
    }
    return nullptr;
}

void LMenuBar::SyncAll() {
    for (LMenu* m = First<LMenu>(fMenus); m; m = NextOf(m)) m->SyncNative();
}

LMenu* LMenuBar::MenuAt(u32 index) const {
    LLink* n = fMenus.Nth(index);
    return n && !n->IsEnd() ? static_cast<LMenu*>(n) : nullptr;
}

u32 LMenuBar::CountMenus() const {
    u32 n = 0;
    for (LLink* l = fMenus.Head(); !l->IsEnd(); l = l->Next()) ++n;
    return n;
}

LMessage LMenuBar::HandleMessage(const LMessage& msg) {
    if (msg.source == this) {
        if (msg.Is(LMenuBar_Ready) || msg.Is(LMenuBar_Added)) {
            SyncAll();
            return LMessage();
        }
        return LMessage::CopyRetarget(msg, fParent);
    }
    if (msg.Is(LMenuTracer_Trace)) {
        static_cast<LMenuTracer*>(msg.source)->OfferBar(this);
        return LMessage();
    }
    if (msg.Is(LMenu_ItemAdded)) {
        fUpdateTimer.Start(0u);
        return LMessage();
    }
    if (msg.Is(LMenu_Destructing)) {
        LMenu* dying = static_cast<LMenu*>(msg.source);
        RemoveMenu(dying);
        return LHandler::HandleMessage(msg);
    }
    if (msg.Is(LTimer_Expire) && msg.source == &fUpdateTimer)
        return LMessage{LMenuBar_Added, this, fParent ? fParent : this};
    return LHandler::HandleMessage(msg);
}

// ---------------------------------------------------------------- tracer

LMenu* LMenuTracer::Find(LHandler* handler, const char* menuName) {
    LMenuTracer tracer;
    tracer.fName = LString(menuName);
    if (handler) Send(LMenuTracer_Trace, &tracer, handler->Parent());
    return tracer.fMenu;
}

void LMenuTracer::OfferMenu(LMenu* menu) {
    if (fMenu || fBar) return;
    if (fName.IsEmpty() || fName == menu->fName) fMenu = menu;
}

void LMenuTracer::OfferBar(LMenuBar* bar) {
    if (!fBar) fBar = bar;
}

// ---------------------------------------------------------------- window bars

namespace {
// The window menu whose menus the current bar holds.
LWindowMenu* sLender = nullptr;
}  // namespace

void LWindowMenu::UnmergeAny() {
    if (sLender) sLender->UnmergeFromCurrentBar();
}

LWindowMenu::LWindowMenu(LHandler* parent, const char* resName, LResSource* source)
    : LMenuBar(parent, resName, source), fLent(sizeof(LMenu*)) {}

LWindowMenu::~LWindowMenu() {
    UnmergeFromCurrentBar();
}

void LWindowMenu::MergeIntoCurrentBar() {
    LMenuBar* bar = Current();
    if (!bar || bar == this || fLent.Count()) return;
    if (sLender && sLender != this) sLender->UnmergeFromCurrentBar();
    if (fMenus.IsEmpty()) return;
    sLender = this;
    LMenu* before = bar->FindMenu("WINDOW");
    if (!before) before = bar->FindMenu("HELP");
    // Top-level menus only: a submenu of that name is no place to insert before.
    LMenu* container = nullptr;
    i32 index = 0;
    if (before && (!bar->LocateMenu(before, &container, &index) || container)) before = nullptr;
    while (LMenu* menu = static_cast<LMenu*>(fMenus.PopFront())) {
        // The lent menu stays ours: the bar that borrows it must not delete it.
        bar->InsertMenuBefore(menu, before);
        fLent.InsertAt(fLent.Count(), &menu);
    }
}

void LWindowMenu::UnmergeFromCurrentBar() {
    LMenuBar* bar = Current();
    LMenu** lent = fLent.DataAs<LMenu*>();
    for (u32 i = fLent.Count(); i-- > 0;) {
        LMenu* menu = lent[i];
        if (bar && bar != this) bar->RemoveMenu(menu);
        fMenus.PushFront(menu);
    }
    fLent.RemoveAt(0, fLent.Count());
    if (sLender == this) sLender = nullptr;
}
