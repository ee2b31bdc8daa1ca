#pragma once
// What the framework needs of the windowing platform beyond drawing: the native
// run loop, windows and screens, native menus and the pasteboard. The Qt layer
// (or a test fake) installs implementations beside the graphics services;
// without one the framework runs headless: no window can be created, there are
// no screens, menus have no native side and the pasteboard is empty.
//
// Native objects are opaque pointers that only the platform looks into.
// Rectangles are integers in screen coordinates with the origin at the top-left
// of the main screen.

#include <vector>

#include "base/LPasteboardServices.h"
#include "base/LRect.h"
#include "base/LString.h"
#include "services/GraphicsServices.h"

class CMainLoop;
class CMainLoopBase;
class LMenu;
class LMenuItem;
class LScrapData;
class LWindow;
struct LScrapType;

using LNativeWindow = void*;
using LNativeMenu = void*;

// One display: its bounds and the part of them that windows may use (without
// the menu bar and the dock or panels).
struct LDisplay {
    u32 id = 0;  // never 0 for a real display
    LRect bounds;
    LRect visible;
};

// Standard cursors (the kinds of SetStdCursor).
enum : u32 { kCursorArrow = 0, kCursorIBeam = 2, kCursorCross = 3 };

class LWindowServices {
public:
    virtual ~LWindowServices() = default;

    // ---- run loop
    // Builds the native run loop of the main-loop object (its parent); the
    // run loop then installs the application menu bar "APP". Never null. The
    // platform's LGraphicsServices::RearmMainTimer calls its RearmTimer, its
    // one native timer calls TimerFired, its update pass SendDeferred.
    virtual CMainLoop* NewMainLoop(CMainLoopBase* owner) = 0;

    // ---- windows
    // Makes the native window of a framework window: type 1 ordinary, 2 floating,
    // 3 dialog; kind 0 to 12 the native style. Null when it cannot be made. The
    // window stays hidden until it is ordered in.
    virtual LNativeWindow CreateWindow(LWindow* window, LNativeWindow owner, u32 type,
                                       u32 kind) = 0;
    virtual void ReleaseWindow(LNativeWindow window) = 0;
    // From Attach on, the platform sends the "LWindow_" messages from the
    // LWindow to its frame; Detach stops that before the window goes.
    virtual void AttachWindow(LWindow* window, LNativeWindow native) = 0;
    virtual void DetachWindow(LNativeWindow native) = 0;

    virtual LRect GetContentRect(LNativeWindow window) = 0;  // zero for null
    virtual LRect GetFrameRect(LNativeWindow window) = 0;    // zero for null
    // The frame rectangle a content rectangle needs: title bar and borders added.
    virtual LRect FrameRectForContent(LNativeWindow window, const LRect& content) = 0;
    // Moves and resizes; the platform may give less than asked (read it back).
    virtual void SetContentRect(LNativeWindow window, const LRect& content) = 0;
    virtual bool IsResizable(LNativeWindow window) = 0;
    virtual bool IsClosable(LNativeWindow window) = 0;
    virtual void SetTitle(LNativeWindow window, const LString& title) = 0;
    // Marks a rectangle of the content (content coordinates) for redraw.
    virtual void InvalidateRect(LNativeWindow window, const LRect& rect) = 0;
    // Redraws what is marked at once.
    virtual void UpdateNow(LNativeWindow window) = 0;
    // The graphics of the paint in progress in that window; null outside a paint.
    virtual LNativeGraphics* PaintGraphics(LNativeWindow window) = 0;

    // ---- window order, front to back, of this application's windows
    virtual LNativeWindow FrontWindow() = 0;
    virtual LNativeWindow NextWindow(LNativeWindow window) = 0;
    virtual bool IsVisible(LNativeWindow window) = 0;
    virtual bool IsMinimized(LNativeWindow window) = 0;
    virtual LNativeWindow KeyWindow() = 0;
    virtual LNativeWindow WindowAtScreenPoint(LPoint pt) = 0;
    // True while the application is hidden.
    virtual bool IsAppHidden() = 0;
    // Makes the window key and orders it to the front.
    virtual void MakeKeyAndOrderFront(LNativeWindow window) = 0;
    // Orders it to the front without making it key.
    virtual void OrderFront(LNativeWindow window) = 0;
    // Orders it just behind another visible window.
    virtual void OrderBehind(LNativeWindow window, LNativeWindow other) = 0;
    virtual void OrderOut(LNativeWindow window) = 0;
    // Keeps the window above another one (the window it belongs to) in the
    // stacking order, whichever of the two is clicked; nothing where the
    // platform has no such tie.
    virtual void KeepAbove(LNativeWindow window, LNativeWindow owner) {
        (void)window;
        (void)owner;
    }
    // Waits, with a bound, until the window is in the on-screen list.
    virtual void WaitUntilOnScreen(LNativeWindow window) = 0;
    // The toolkit's own panels the program shows that are no window of its
    // own (the font panel), by title, minimised ones too: the Window menu lists
    // them, so that one out of sight is found where the program's are.
    virtual std::vector<LString> ToolkitPanels() { return {}; }
    // The panel of that title restored, in front and given the keys.
    virtual void BringToolkitPanelForward(const LString& title) { (void)title; }

    // ---- screens
    // The display at index, false past the end; index 0 refreshes the list.
    virtual bool GetDisplay(u32 index, LDisplay* out) = 0;
    virtual u32 MainDisplayId() = 0;

    // ---- input and look
    virtual i32 DoubleClickIntervalMs() = 0;
    virtual void SetStdCursor(u32 kind) = 0;
    // 1, or 2 where the system draws wide separators.
    virtual i32 SeparatorWidth() = 0;
    virtual void DrawSeparator(LNativeGraphics& g, const LRect& rect) = 0;
    // The width a resizable window keeps free for its grow box (0 none).
    virtual i32 GrowBoxWidth(LNativeWindow window) {
        (void)window;
        return 0;
    }
};

// A position in a native menu: the menu and the index of the item in it.
struct LNativeItem {
    LNativeMenu menu = nullptr;
    u32 index = 0;
};

class LMenuServices {
public:
    virtual ~LMenuServices() = default;

    // A native menu for a framework menu; appMenu: the title was 0x14, the menu
    // takes over the application menu. Null when there is no native side.
    virtual LNativeMenu NewMenu(LMenu* menu, const LString& title, bool appMenu) = 0;
    virtual void ReleaseMenu(LNativeMenu menu) = 0;
    // Inserts a native item at index for the framework item; choosing it asks the
    // current bar (LMenuBar::ItemChosen) and sends "LMenuItem_Selected".
    virtual void InsertItem(LNativeMenu menu, u32 index, LMenuItem* item) = 0;
    virtual void RemoveItem(LNativeMenu menu, u32 index) = 0;
    // Brings the native item at index up to date: separator or titled, title,
    // enabled, checked, submenu, key equivalent, image.
    virtual void UpdateItem(LNativeMenu menu, u32 index, const LMenuItem& item) = 0;
    // Lets native items from index `first` on validate themselves.
    virtual void ValidateExtraItems(LNativeMenu menu, u32 first) = 0;
    // The native menu bar: before another native menu (null: at the end), or at a
    // position (0 appends, n goes before item n - 1, negative does nothing).
    virtual void InsertBarMenu(LNativeMenu menu, LNativeMenu before) = 0;
    virtual void InsertBarMenuAt(LNativeMenu menu, i32 position) = 0;
    virtual void RemoveBarMenu(LNativeMenu menu) = 0;
    // Shows the menu at the pointer until the user chooses (true, the item in
    // chosen, which may lie in a submenu) or cancels (false).
    virtual bool PopUpMenu(LNativeMenu menu, LNativeItem* chosen) {
        (void)menu;
        (void)chosen;
        return false;
    }
    // A key equivalent as the native menus show it (ch 32..126, the item
    // modifier word of LMenuItem); false when the platform has no form of its
    // own and the framework's glyphs stand.
    virtual bool KeyDisplayText(u32 ch, u32 itemModifiers, LString* out) {
        (void)ch;
        (void)itemModifiers;
        (void)out;
        return false;
    }
};

// Install the platform's services (null goes back to the headless ones); the
// caller keeps ownership. The pasteboard's are installed the same way, with
// InstallPasteboardServices (base/LPasteboardServices.h).
void InstallWindowServices(LWindowServices* services);
LWindowServices& WindowServices();
void InstallMenuServices(LMenuServices* services);
LMenuServices& MenuServices();
