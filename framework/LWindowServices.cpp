// The installers of the window and menu services and their headless defaults:
// no window can be made, there are no screens and menus stay framework-only.

#include "framework/CMainLoop.h"
#include "framework/LTimer.h"
#include "services/GraphicsServices.h"
#include "services/WindowServices.h"

namespace {

// Without a platform the modal step only serves the timers that are due.
class HeadlessMainLoop final : public CMainLoop {
public:
    explicit HeadlessMainLoop(CMainLoopBase* owner) : CMainLoop(owner) {}
    void RunModalStep() override { FireDueTimers(); }
    void Terminate() override {}
    void RequestUpdate() override {}
    void ArmNativeTimer(u32) override {}
};

class HeadlessWindows final : public LWindowServices {
public:
    CMainLoop* NewMainLoop(CMainLoopBase* owner) override { return new HeadlessMainLoop(owner); }
    LNativeWindow CreateWindow(LWindow*, LNativeWindow, u32, u32) override { return nullptr; }
    void ReleaseWindow(LNativeWindow) override {}
    void AttachWindow(LWindow*, LNativeWindow) override {}
    void DetachWindow(LNativeWindow) override {}
    LRect GetContentRect(LNativeWindow) override { return LRect(); }
    LRect GetFrameRect(LNativeWindow) override { return LRect(); }
    LRect FrameRectForContent(LNativeWindow, const LRect& content) override { return content; }
    void SetContentRect(LNativeWindow, const LRect&) override {}
    bool IsResizable(LNativeWindow) override { return false; }
    bool IsClosable(LNativeWindow) override { return false; }
    void SetTitle(LNativeWindow, const LString&) override {}
    void InvalidateRect(LNativeWindow, const LRect&) override {}
    void UpdateNow(LNativeWindow) override {}
    LNativeGraphics* PaintGraphics(LNativeWindow) override { return nullptr; }
    LNativeWindow FrontWindow() override { return nullptr; }
    LNativeWindow NextWindow(LNativeWindow) override { return nullptr; }
    bool IsVisible(LNativeWindow) override { return false; }
    bool IsMinimized(LNativeWindow) override { return false; }
    LNativeWindow KeyWindow() override { return nullptr; }
    LNativeWindow WindowAtScreenPoint(LPoint) override { return nullptr; }
    bool IsAppHidden() override { return false; }
    void MakeKeyAndOrderFront(LNativeWindow) override {}
    void OrderFront(LNativeWindow) override {}
    void OrderBehind(LNativeWindow, LNativeWindow) override {}
    void OrderOut(LNativeWindow) override {}
    void WaitUntilOnScreen(LNativeWindow) override {}
    bool GetDisplay(u32, LDisplay*) override { return false; }
    u32 MainDisplayId() override { return 0; }
    i32 DoubleClickIntervalMs() override { return 500; }
    void SetStdCursor(u32) override {}
    i32 SeparatorWidth() override { return 1; }
    void DrawSeparator(LNativeGraphics&, const LRect&) override {}
};

class HeadlessMenus final : public LMenuServices {
public:
    LNativeMenu NewMenu(LMenu*, const LString&, bool) override { return nullptr; }
    void ReleaseMenu(LNativeMenu) override {}
    void InsertItem(LNativeMenu, u32, LMenuItem*) override {}
    void RemoveItem(LNativeMenu, u32) override {}
    void UpdateItem(LNativeMenu, u32, const LMenuItem&) override {}
    void ValidateExtraItems(LNativeMenu, u32) override {}
    void InsertBarMenu(LNativeMenu, LNativeMenu) override {}
    void InsertBarMenuAt(LNativeMenu, i32) override {}
    void RemoveBarMenu(LNativeMenu) override {}
};

HeadlessWindows sHeadlessWindows;
HeadlessMenus sHeadlessMenus;
LWindowServices* sWindows = nullptr;
LMenuServices* sMenus = nullptr;

}  // namespace

void InstallWindowServices(LWindowServices* services) {
    sWindows = services;
}
LWindowServices& WindowServices() {
    return sWindows ? *sWindows : sHeadlessWindows;
}
void InstallMenuServices(LMenuServices* services) {
    sMenus = services;
}
LMenuServices& MenuServices() {
    return sMenus ? *sMenus : sHeadlessMenus;
}
