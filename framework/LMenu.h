#pragma once
// Menus built from 'TMNB' and 'TMNU' string lists and mirrored into the native
// menu bar; items carry command names and key texts. Before every use the items
// are reset and "LMenuBar_Ready" travels from the bar up the menu target's chain,
// so that each handler enables, checks and retitles its own commands.

#include "base/LArray.h"
#include "base/LList.h"
#include "base/Resources.h"
#include "base/LString.h"
#include "framework/LTimer.h"
#include "services/WindowServices.h"

class LResSource;
class LMenu;
class LMenuBar;

inline constexpr const char* LMenuBar_Ready = "LMenuBar_Ready";
inline constexpr const char* LMenuBar_Added = "LMenuBar_Added";
inline constexpr const char* LMenu_ItemAdded = "LMenu_ItemAdded";
inline constexpr const char* LMenu_Destructing = "LMenu_Destructing";
inline constexpr const char* LMenuItem_Selected = "LMenuItem_Selected";
inline constexpr const char* LMenuTracer_Trace = "LMenuTracer_Trace";

inline constexpr const char* LStdCmd_About = "LStdCmd_About";
inline constexpr const char* LStdCmd_Close = "LStdCmd_Close";
inline constexpr const char* LStdCmd_Quit = "LStdCmd_Quit";
inline constexpr const char* LStdCmd_Undo = "LStdCmd_Undo";
inline constexpr const char* LStdCmd_Redo = "LStdCmd_Redo";
inline constexpr const char* LStdCmd_Cut = "LStdCmd_Cut";
inline constexpr const char* LStdCmd_Copy = "LStdCmd_Copy";
inline constexpr const char* LStdCmd_Paste = "LStdCmd_Paste";
inline constexpr const char* LStdCmd_Delete = "LStdCmd_Delete";
inline constexpr const char* LStdCmd_Help = "LStdCmd_Help";
inline constexpr const char* LStdCmd_MenuKey = "LStdCmd_MenuKey";
inline constexpr const char* LStdCmd_ViewPref = "LStdCmd_ViewPref";
// The twelve standard commands in their table order.
inline constexpr const char* const kStdCmdNames[12] = {
    LStdCmd_About, LStdCmd_Close, LStdCmd_Quit,   LStdCmd_Undo, LStdCmd_Redo,    LStdCmd_Cut,
    LStdCmd_Copy,  LStdCmd_Paste, LStdCmd_Delete, LStdCmd_Help, LStdCmd_MenuKey, LStdCmd_ViewPref};

inline constexpr u32 kMenuBarResType = FourCC("TMNB");
inline constexpr u32 kMenuResType = FourCC("TMNU");
// The title that marks the application menu.
inline constexpr char kAppMenuTitle = 0x14;

// ---- key texts: prefixes c (Control), o (Option), s (Shift), n (no Command),
// then one printable character 32..126 that is not a lower-case letter.
enum : u32 { kKeyShift = 1, kKeyControl = 2, kKeyOption = 4, kKeyCommand = 8 };
// Item modifier word: 1 Shift, 2 Option, 4 Control, 8 no Command.
enum : u32 { kItemShift = 1, kItemOption = 2, kItemControl = 4, kItemNoCommand = 8 };

bool ParseKeyText(const char* text, u8* key, u32* flags);
// The key text of the current keyboard event; false when it has none.
bool KeyTextFromKeyboard(LString* out);
// The displayed form, "^⌥⇧⌘" then the key ("Space" for the space bar).
bool KeyGlyphsFromSpec(u32 ch, u32 flags, LString* out);
bool KeyGlyphsFromKeyboard(LString* out);
// The item modifier word of a key text's flags.
u32 ItemModifiersOfKeyFlags(u32 flags);
// A key text as the menus show it: the platform's own form where it has one,
// else the glyphs. False (and empty) when the text gives no key.
bool KeyDisplayFromKeyText(const LString& keyText, LString* out);

class LMenuItem : public LHandler, public LLink {
public:
    explicit LMenuItem(LMenu* menu);
    ~LMenuItem() override;

    void SetKeyText(const LString& text);
    void AddCommand(const char* name);
    void SetCommand(const char* name);
    bool HasCommand(const char* name) const;
    // The first command, or the empty string.
    LString FirstCommand() const;
    void ResetState();

    LMenu* Menu() const;
    bool IsSeparator() const { return fTitle.IsEmpty(); }

    u8 fOwned = 0;
    u8 fEnabled = 0;
    u8 fChecked = 0;
    u8 fSettled = 0;  // no handler further up the chain enables or retitles it
    u8 fHasKey = 0;
    u8 fKeyChar = 0;
    LString fTitle;
    LString fResTitle;
    LMenu* fSubmenu = nullptr;
    u32 fModifiers = 0;
    TRef<LSharedImage> fImage;
    LString fKeyText;
    // The key the item's resource gives it: the user's keys never replace it,
    // and an item given one of theirs goes back to it.
    LString fResKeyText;
    LList fCommands;  // LNamedLink nodes
};

class LMenu : public LHandler, public LLink {
public:
    // Builds the menu from the 'TMNU' of that name (no items when it is missing).
    LMenu(LHandler* parent, const char* resName, LResSource* source = nullptr);
    // An empty menu with a name and title (pop-up menus built in code).
    LMenu(LHandler* parent, const LString& name, const LString& title);
    ~LMenu() override;

    LMessage HandleMessage(const LMessage& msg) override;
    virtual LMenuItem* FindItemForNative(const LNativeItem& native);

    void AppendItem(LMenuItem* item);
    void InsertItem(LMenuItem* item, u32 index);
    void NotifyItemAdded(LMenuItem* item);
    void RemoveItem(LMenuItem* item);
    void RemoveItemAt(u32 index);
    void RemoveAllItems();
    i32 IndexOfItem(const LMenuItem* item) const;
    LMenuItem* ItemAt(u32 index) const;
    u32 CountItems() const;

    void ResetItemStates();
    void EnableAllItems();
    bool CheckCommand(const char* command, const LString& value);
    void EnableCommand(const char* command, const LString& title, bool keepDisabled);
    void SettleCommand(const char* command);
    LMenuItem* FindEnabledItemByCommand(const char* command);
    LMenuItem* FindEnabledItemByKey(const LString& keyText);
    void SyncNative();
    // Every item of the menu and its submenus, depth first.
    void ForEachItem(void* context, void (*fn)(void* context, LMenuItem* item));

    const LString& Name() const { return fName; }
    const LString& Title() const { return fTitle; }
    LNativeMenu Native() const { return fNative; }
    LHandler* Owner() const { return fOwner; }
    void SetOwner(LHandler* owner) { fOwner = owner; }

    // Every live menu.
    static const LArray& AllMenus();

    u32 fFirstNative = 0;
    LNativeMenu fNative = nullptr;
    LString fName;
    LString fTitle;
    LHandler* fOwner = nullptr;
    LList fItems;

private:
    void Register();
    void BuildItems(const char* resName, LResSource* source);
    LMenuItem* MakeItem(const LString& text, LResSource* source);
};

class LMenuBar : public LHandler, public LLink {
public:
    // Builds the bar from the 'TMNB' of that name.
    LMenuBar(LHandler* parent, const char* resName, LResSource* source = nullptr);
    explicit LMenuBar(LHandler* parent);
    ~LMenuBar() override;

    LMessage HandleMessage(const LMessage& msg) override;

    void InsertMenu(LMenu* menu, i32 position);
    void AddMenu(LMenu* menu);
    void InsertMenuBefore(LMenu* menu, LMenu* before);
    void RemoveMenu(LMenu* menu);
    void ResetItemStates();
    void EnableCommand(const char* command, const LString& title = LString(),
                       bool keepDisabled = false);
    // The command's items stay as the handlers so far left them: those further
    // up the chain (another window's) neither enable nor retitle them.
    void SettleCommand(const char* command);
    bool CheckCommand(const char* command, const LString& value = LString());
    LMenu* FindMenu(const char* name) const;
    // container: null for a top-level menu, else the menu holding it.
    bool LocateMenu(const LMenu* menu, LMenu** container, i32* index) const;
    LMenuItem* ItemChosen(const LNativeItem& native);
    LMenuItem* FindEnabledItemByCommand(const char* command);
    LMenuItem* FindEnabledItemByKey(const LString& keyText);
    void ForEachItem(void* context, void (*fn)(void* context, LMenuItem* item));
    void SyncAll();

    LMenu* MenuAt(u32 index) const;
    u32 CountMenus() const;
    bool IsCurrent() const { return Current() == this; }

    static LMenuBar* Current();
    static void WithCurrent(void* context, void (*fn)(void* context, LMenuBar* bar));
    static void SetInterceptor(LHandler* handler);
    static LHandler* Interceptor();

    LList fMenus;
    LTimer fUpdateTimer;

private:
    void BecomeCurrentIfNone();
    // The interceptor takes a found item: answers null then.
    LMenuItem* Divert(LMenuItem* item);
};

// Looks for a menu up a handler chain: the first LMenu of that name (any name
// when empty) before the first bar.
class LMenuTracer : public LHandler {
public:
    LMenuTracer() = default;
    static LMenu* Find(LHandler* handler, const char* menuName);
    void OfferMenu(LMenu* menu);
    void OfferBar(LMenuBar* bar);

    LString fName;
    LMenu* fMenu = nullptr;
    LMenuBar* fBar = nullptr;
};

// A window's own menus, lent to the current bar while its window is active.
class LWindowMenu : public LMenuBar {
public:
    LWindowMenu(LHandler* parent, const char* resName, LResSource* source = nullptr);
    ~LWindowMenu() override;

    // The bar holds the menus of one window at a time: merging first takes back
    // those of whichever window lent them last, even when that window was
    // hidden or rebuilt without ever being deactivated (a dialog open over it).
    void MergeIntoCurrentBar();
    void UnmergeFromCurrentBar();
    // Takes back the menus lent to the current bar, whoever lent them.
    static void UnmergeAny();

    LArray fLent;  // LMenu* in merge order
};
