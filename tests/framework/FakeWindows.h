#pragma once
// A headless stand-in for the platform's windows, menus and pasteboard:
// displays with menu-bar and dock areas, windows with a title bar and borders
// kept in a front-to-back list, a recorded native menu tree, an in-memory
// pasteboard, and a run loop whose modal step advances the fake clock by
// clamp(LTimer::NextWaitMs, 10, 1000) ms and delivers the key and mouse events
// a test scripted for that turn. Installed while it lives.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/LScrap.h"
#include "framework/CMainLoop.h"
#include "framework/LMenu.h"
#include "services/WindowServices.h"
#include "tests/framework/FakeServices.h"

class FakeMainLoop;

// One scripted input event.
struct FakeEvent {
    enum Kind { kKeyDown, kKeyChar, kKeyUp, kClick } kind = kKeyDown;
    u32 ch = 0;
    u32 modifiers = 0;
    LPoint pt;
};

class FakeWindows : public LWindowServices, public LMenuServices, public LPasteboardServices {
public:
    static constexpr i32 kTitleBar = 22;
    static constexpr i32 kBorder = 1;

    explicit FakeWindows(FakeServices& clock);
    ~FakeWindows() override;

    struct Win {
        LWindow* window = nullptr;
        u32 type = 1;
        u32 kind = 0;
        LRect content;
        bool visible = false;
        bool minimized = false;
        bool attached = false;
        LString title;
        std::vector<LRect> invalid;
    };
    struct Item {
        LMenuItem* item = nullptr;
        std::string title;
        bool enabled = false;
        bool checked = false;
        u8 key = 0;
        u32 modifiers = 0;
        void* submenu = nullptr;
    };
    struct Menu {
        LMenu* menu = nullptr;
        std::string title;
        bool app = false;
        std::vector<Item> items;
    };

    // ---- LWindowServices
    CMainLoop* NewMainLoop(CMainLoopBase* owner) override;
    LNativeWindow CreateWindow(LWindow* window, LNativeWindow owner, u32 type, u32 kind) override;
    void ReleaseWindow(LNativeWindow window) override;
    void AttachWindow(LWindow* window, LNativeWindow native) override;
    void DetachWindow(LNativeWindow native) override;
    LRect GetContentRect(LNativeWindow window) override;
    LRect GetFrameRect(LNativeWindow window) override;
    LRect FrameRectForContent(LNativeWindow window, const LRect& content) override;
    void SetContentRect(LNativeWindow window, const LRect& content) override;
    bool IsResizable(LNativeWindow window) override;
    bool IsClosable(LNativeWindow window) override;
    void SetTitle(LNativeWindow window, const LString& title) override;
    void InvalidateRect(LNativeWindow window, const LRect& rect) override;
    void UpdateNow(LNativeWindow window) override;
    LNativeGraphics* PaintGraphics(LNativeWindow window) override;
    LNativeWindow FrontWindow() override;
    LNativeWindow NextWindow(LNativeWindow window) override;
    bool IsVisible(LNativeWindow window) override;
    bool IsMinimized(LNativeWindow window) override;
    LNativeWindow KeyWindow() override { return fKey; }
    LNativeWindow WindowAtScreenPoint(LPoint pt) override;
    bool IsAppHidden() override { return fAppHidden; }
    void MakeKeyAndOrderFront(LNativeWindow window) override;
    void OrderFront(LNativeWindow window) override;
    void OrderBehind(LNativeWindow window, LNativeWindow other) override;
    void OrderOut(LNativeWindow window) override;
    void WaitUntilOnScreen(LNativeWindow) override {}
    std::vector<LString> ToolkitPanels() override { return fPanels; }
    void BringToolkitPanelForward(const LString& title) override { fBrought = title.CStr(); }
    bool GetDisplay(u32 index, LDisplay* out) override;
    u32 MainDisplayId() override { return fDisplays.empty() ? 0 : fDisplays[0].id; }
    i32 DoubleClickIntervalMs() override { return fDoubleClickMs; }
    void SetStdCursor(u32 kind) override { fCursors.push_back(kind); }
    i32 SeparatorWidth() override { return fWideSeparator ? 2 : 1; }
    void DrawSeparator(LNativeGraphics& g, const LRect& rect) override;

    // ---- LMenuServices
    LNativeMenu NewMenu(LMenu* menu, const LString& title, bool appMenu) override;
    void ReleaseMenu(LNativeMenu menu) override;
    void InsertItem(LNativeMenu menu, u32 index, LMenuItem* item) override;
    void RemoveItem(LNativeMenu menu, u32 index) override;
    void UpdateItem(LNativeMenu menu, u32 index, const LMenuItem& item) override;
    void ValidateExtraItems(LNativeMenu, u32) override {}
    void InsertBarMenu(LNativeMenu menu, LNativeMenu before) override;
    void InsertBarMenuAt(LNativeMenu menu, i32 position) override;
    void RemoveBarMenu(LNativeMenu menu) override;

    // ---- LPasteboardServices
    bool HasText() override { return fHasText; }
    void WriteText(const LString& text) override;
    void WriteItems(const LScrapData& data) override;
    bool HasType(const LString& typeName) override;
    bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) override;

    // ---- test side
    // Displays: a main one with a menu bar at the top and a dock at the bottom.
    void SetDisplays(std::vector<LDisplay> displays) { fDisplays = std::move(displays); }
    static LDisplay MakeDisplay(u32 id, const LRect& bounds, i32 menuBar, i32 dock);
    Win* Find(LNativeWindow native);
    // Draws a window's content through the recording graphics.
    void Paint(LNativeWindow native);
    // The titles of the native bar's menus, joined by "|".
    std::string BarTitles() const;
    Menu* FindMenu(LNativeMenu menu);
    // Another application puts text on the pasteboard.
    void ExternalText();
    // Script events for the coming modal turns, one group per turn.
    void ScriptTurn(std::vector<FakeEvent> events) { fScript.push_back(std::move(events)); }
    void Deliver(const FakeEvent& e);

    FakeServices& fClock;
    FakeGraphics fGraphics;
    FakeMainLoop* fLoop = nullptr;
    std::vector<LDisplay> fDisplays;
    std::vector<std::unique_ptr<Win>> fWins;
    std::vector<Win*> fOrder;  // front to back
    LNativeWindow fKey = nullptr;
    // The toolkit's panels shown (titles), and the last one brought forward.
    std::vector<LString> fPanels;
    std::string fBrought;
    LNativeWindow fPainting = nullptr;
    bool fAppHidden = false;
    bool fWideSeparator = false;
    i32 fDoubleClickMs = 500;
    // Width and height the platform refuses to go beyond (0: none).
    i32 fMaxContentW = 0;
    i32 fMaxContentH = 0;
    std::vector<u32> fCursors;
    std::vector<std::unique_ptr<Menu>> fMenus;
    std::vector<Menu*> fBar;
    bool fHasText = false;
    std::string fText;
    std::vector<std::pair<std::string, std::vector<u8>>> fItems;
    u32 fPbWrites = 0;
    std::deque<std::vector<FakeEvent>> fScript;
    u32 fEventNumber = 0;
};

class FakeMainLoop : public CMainLoop {
public:
    FakeMainLoop(CMainLoopBase* owner, FakeWindows& fake) : CMainLoop(owner), fFake(fake) {}

    // Advances the clock by the bounded wait, delivers the turn's events, fires timers.
    void RunModalStep() override;
    void Terminate() override { ++fTerminated; }
    void RequestUpdate() override { ++fUpdates; }
    void ArmNativeTimer(u32 ms) override { fArmed.push_back(ms); }
    // An update pass: the deferred message when one was asked for.
    void RunUpdatePass();

    FakeWindows& fFake;
    u32 fTerminated = 0;
    u32 fUpdates = 0;
    u32 fSteps = 0;
    std::vector<u32> fArmed;
    std::vector<u32> fWaits;
};
