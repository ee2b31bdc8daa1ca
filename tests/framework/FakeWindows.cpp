#include "tests/framework/FakeWindows.h"

#include <algorithm>

#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/LTimer.h"
#include "framework/LWindow.h"

namespace {

bool KindResizable(u32 kind) {
    return kind == 1 || kind == 6 || kind == 7 || kind == 9;
}
bool KindClosable(u32 kind) {
    return kind == 3 || kind == 6 || kind == 8 || kind == 9;
}

}  // namespace

FakeWindows::FakeWindows(FakeServices& clock) : fClock(clock) {
    fDisplays.push_back(MakeDisplay(1, LRect(0, 0, 1440, 900), 25, 60));
    InstallWindowServices(this);
    InstallMenuServices(this);
    InstallPasteboardServices(this);
}

FakeWindows::~FakeWindows() {
    InstallWindowServices(nullptr);
    InstallMenuServices(nullptr);
    InstallPasteboardServices(nullptr);
}

LDisplay FakeWindows::MakeDisplay(u32 id, const LRect& bounds, i32 menuBar, i32 dock) {
    LDisplay d;
    d.id = id;
    d.bounds = bounds;
    d.visible = LRect(bounds.left, bounds.top + menuBar, bounds.right, bounds.bottom - dock);
    return d;
}

// ---------------------------------------------------------------- windows

CMainLoop* FakeWindows::NewMainLoop(CMainLoopBase* owner) {
    fLoop = new FakeMainLoop(owner, *this);
    return fLoop;
}

LNativeWindow FakeWindows::CreateWindow(LWindow* window, LNativeWindow, u32 type, u32 kind) {
    auto w = std::make_unique<Win>();
    w->window = window;
    w->type = type;
    w->kind = kind;
    w->content = LRect(100, 100, 200, 200);
    Win* raw = w.get();
    fWins.push_back(std::move(w));
    return raw;
}

void FakeWindows::ReleaseWindow(LNativeWindow window) {
    OrderOut(window);
    fWins.erase(std::remove_if(fWins.begin(), fWins.end(),
                               [&](const std::unique_ptr<Win>& w) { return w.get() == window; }),
                fWins.end());
}

void FakeWindows::AttachWindow(LWindow*, LNativeWindow native) {
    if (Win* w = Find(native)) w->attached = true;
}

void FakeWindows::DetachWindow(LNativeWindow native) {
    if (Win* w = Find(native)) w->attached = false;
}

FakeWindows::Win* FakeWindows::Find(LNativeWindow native) {
    for (auto& w : fWins) {
        if (w.get() == native) return w.get();
    }
    return nullptr;
}

LRect FakeWindows::GetContentRect(LNativeWindow window) {
    Win* w = Find(window);
    return w ? w->content : LRect();
}

LRect FakeWindows::GetFrameRect(LNativeWindow window) {
    Win* w = Find(window);
    return w ? FrameRectForContent(window, w->content) : LRect();
}

LRect FakeWindows::FrameRectForContent(LNativeWindow, const LRect& c) {
    return LRect(c.left - kBorder, c.top - kTitleBar, c.right + kBorder, c.bottom + kBorder);
}

void FakeWindows::SetContentRect(LNativeWindow window, const LRect& content) {
    Win* w = Find(window);
    if (!w) return;
    LRect c = content;
    if (fMaxContentW && c.Width() > fMaxContentW) c.right = c.left + fMaxContentW;
    if (fMaxContentH && c.Height() > fMaxContentH) c.bottom = c.top + fMaxContentH;
    if (c == w->content) return;
    w->content = c;
    if (w->attached) LHandler::Send(LWindow_Place, w->window, w->window->GetFrame());
}

bool FakeWindows::IsResizable(LNativeWindow window) {
    Win* w = Find(window);
    return w && KindResizable(w->kind);
}

bool FakeWindows::IsClosable(LNativeWindow window) {
    Win* w = Find(window);
    return w && KindClosable(w->kind);
}

void FakeWindows::SetTitle(LNativeWindow window, const LString& title) {
    if (Win* w = Find(window)) w->title = title;
}

void FakeWindows::InvalidateRect(LNativeWindow window, const LRect& rect) {
    if (Win* w = Find(window)) w->invalid.push_back(rect);
}

void FakeWindows::UpdateNow(LNativeWindow window) {
    Paint(window);
}

LNativeGraphics* FakeWindows::PaintGraphics(LNativeWindow window) {
    return window && window == fPainting ? &fGraphics : nullptr;
}

void FakeWindows::Paint(LNativeWindow native) {
    Win* w = Find(native);
    if (!w || !w->attached) return;
    fPainting = native;
    w->invalid.clear();
    LHandler::Send(LWindow_Update, w->window, w->window->GetFrame());
    fPainting = nullptr;
}

LNativeWindow FakeWindows::FrontWindow() {
    return fOrder.empty() ? nullptr : fOrder.front();
}

LNativeWindow FakeWindows::NextWindow(LNativeWindow window) {
    auto it = std::find(fOrder.begin(), fOrder.end(), window);
    if (it == fOrder.end() || ++it == fOrder.end()) return nullptr;
    return *it;
}

bool FakeWindows::IsVisible(LNativeWindow window) {
    Win* w = Find(window);
    return w && w->visible;
}

bool FakeWindows::IsMinimized(LNativeWindow window) {
    Win* w = Find(window);
    return w && w->minimized;
}

LNativeWindow FakeWindows::WindowAtScreenPoint(LPoint pt) {
    for (Win* w : fOrder) {
        if (w->visible && GetFrameRect(w).Contains(pt)) return w;
    }
    return nullptr;
}

void FakeWindows::MakeKeyAndOrderFront(LNativeWindow window) {
    Win* w = Find(window);
    if (!w) return;
    OrderFront(window);
    if (fKey == window) return;
    Win* old = Find(fKey);
    fKey = window;
    // As the platform does: the old key window resigns, the new one activates.
    if (old && old->attached) {
        LHandler::Send(LWindow_Unfocus, old->window, old->window->GetFrame());
        LHandler::Send(LWindow_Deativate, old->window, old->window->GetFrame());
    }
    if (w->attached) {
        LHandler::Send(LWindow_Activate, w->window, w->window->GetFrame());
        LHandler::Send(LWindow_Focus, w->window, w->window->GetFrame());
    }
}

void FakeWindows::OrderFront(LNativeWindow window) {
    Win* w = Find(window);
    if (!w) return;
    fOrder.erase(std::remove(fOrder.begin(), fOrder.end(), w), fOrder.end());
    fOrder.insert(fOrder.begin(), w);
    // As the platform does: a window brought forward is restored from the dock.
    w->visible = true;
    w->minimized = false;
}

void FakeWindows::OrderBehind(LNativeWindow window, LNativeWindow other) {
    Win* w = Find(window);
    if (!w) return;
    fOrder.erase(std::remove(fOrder.begin(), fOrder.end(), w), fOrder.end());
    auto it = std::find(fOrder.begin(), fOrder.end(), other);
    fOrder.insert(it == fOrder.end() ? it : it + 1, w);
    w->visible = true;
    w->minimized = false;
}

void FakeWindows::OrderOut(LNativeWindow window) {
    Win* w = Find(window);
    if (!w) return;
    fOrder.erase(std::remove(fOrder.begin(), fOrder.end(), w), fOrder.end());
    w->visible = false;
    if (fKey == window) {
        fKey = nullptr;
        if (w->attached) {
            LHandler::Send(LWindow_Unfocus, w->window, w->window->GetFrame());
            LHandler::Send(LWindow_Deativate, w->window, w->window->GetFrame());
        }
    }
}

bool FakeWindows::GetDisplay(u32 index, LDisplay* out) {
    if (index >= fDisplays.size()) return false;
    *out = fDisplays[index];
    return true;
}

void FakeWindows::DrawSeparator(LNativeGraphics& g, const LRect& rect) {
    LPen pen(LPen::kById, 99, 0, 1.0f);
    g.ApplyPen(pen);
    CGRect r;
    RectToCGRect(&r, rect);
    g.FillRects(&r, 1);
}

// ---------------------------------------------------------------- menus

LNativeMenu FakeWindows::NewMenu(LMenu* menu, const LString& title, bool appMenu) {
    auto m = std::make_unique<Menu>();
    m->menu = menu;
    m->title = std::string(title.View());
    m->app = appMenu;
    Menu* raw = m.get();
    fMenus.push_back(std::move(m));
    return raw;
}

FakeWindows::Menu* FakeWindows::FindMenu(LNativeMenu menu) {
    for (auto& m : fMenus) {
        if (m.get() == menu) return m.get();
    }
    return nullptr;
}

void FakeWindows::ReleaseMenu(LNativeMenu menu) {
    RemoveBarMenu(menu);
    fMenus.erase(std::remove_if(fMenus.begin(), fMenus.end(),
                                [&](const std::unique_ptr<Menu>& m) { return m.get() == menu; }),
                 fMenus.end());
}

void FakeWindows::InsertItem(LNativeMenu menu, u32 index, LMenuItem* item) {
    Menu* m = FindMenu(menu);
    if (!m) return;
    Item it;
    it.item = item;
    it.title = std::string(item->fTitle.View());
    index = std::min<u32>(index, u32(m->items.size()));
    m->items.insert(m->items.begin() + index, it);
}

void FakeWindows::RemoveItem(LNativeMenu menu, u32 index) {
    Menu* m = FindMenu(menu);
    if (m && index < m->items.size()) m->items.erase(m->items.begin() + index);
}

void FakeWindows::UpdateItem(LNativeMenu menu, u32 index, const LMenuItem& item) {
    Menu* m = FindMenu(menu);
    if (!m || index >= m->items.size()) return;
    Item& it = m->items[index];
    it.title = std::string(item.fTitle.View());
    it.enabled = item.fEnabled;
    it.checked = item.fChecked;
    it.key = item.fKeyChar;
    it.modifiers = item.fModifiers;
    it.submenu = item.fSubmenu ? item.fSubmenu->Native() : nullptr;
}

void FakeWindows::InsertBarMenu(LNativeMenu menu, LNativeMenu before) {
    Menu* m = FindMenu(menu);
    if (!m) return;
    fBar.erase(std::remove(fBar.begin(), fBar.end(), m), fBar.end());
    auto it = std::find(fBar.begin(), fBar.end(), FindMenu(before));
    fBar.insert(before ? it : fBar.end(), m);
}

void FakeWindows::InsertBarMenuAt(LNativeMenu menu, i32 position) {
    Menu* m = FindMenu(menu);
    if (!m || position < 0) return;
    fBar.erase(std::remove(fBar.begin(), fBar.end(), m), fBar.end());
    const size_t at = position == 0 ? fBar.size() : std::min<size_t>(position - 1, fBar.size());
    fBar.insert(fBar.begin() + at, m);
}

void FakeWindows::RemoveBarMenu(LNativeMenu menu) {
    fBar.erase(std::remove(fBar.begin(), fBar.end(), FindMenu(menu)), fBar.end());
}

std::string FakeWindows::BarTitles() const {
    std::string s;
    for (Menu* m : fBar) {
        if (!s.empty()) s += "|";
        s += m->app ? "APP" : m->title;
    }
    return s;
}

// ---------------------------------------------------------------- pasteboard

void FakeWindows::WriteText(const LString& text) {
    ++fPbWrites;
    fItems.clear();
    fHasText = true;
    fText = std::string(text.View());
}

void FakeWindows::WriteItems(const LScrapData& data) {
    ++fPbWrites;
    fItems.clear();
    fHasText = false;
    for (LLink* l = data.Items().Head(); !l->IsEnd(); l = l->Next()) {
        const LScrapItem* item = static_cast<const LScrapItem*>(l);
        fItems.emplace_back(std::string(item->fTypeName.View()),
                            std::vector<u8>(item->fData, item->fData + item->fSize));
    }
}

bool FakeWindows::HasType(const LString& typeName) {
    for (const auto& item : fItems) {
        if (item.first == typeName.View()) return true;
    }
    return false;
}

bool FakeWindows::FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) {
    for (const auto& item : fItems) {
        if (item.first != type.name.View()) continue;
        if (index-- == 0) {
            *out = item.second;
            return true;
        }
    }
    return false;
}

void FakeWindows::ExternalText() {
    fItems.clear();
    fHasText = true;
    fText = "from elsewhere";
}

// ---------------------------------------------------------------- events and the run loop

void FakeWindows::Deliver(const FakeEvent& e) {
    if (e.kind == FakeEvent::kClick) {
        LMouse* mouse = LMouse::Instance();
        if (!mouse) return;
        mouse->SetEvent(e.pt, e.modifiers, true, ++fEventNumber, fClock.fNow);
        Win* w = Find(WindowAtScreenPoint(e.pt));
        if (w && w->attached) LHandler::Send(LWindow_Click, w->window, w->window->GetFrame());
        return;
    }
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb) return;
    kb->SetEvent(e.ch, e.modifiers);
    static const char* const names[] = {LKeyboard_Down, LKeyboard_Char, LKeyboard_Up};
    LHandler* target = fLoop ? FindMenuTarget(fLoop) : nullptr;
    if (!target && fLoop) target = fLoop->Parent();
    if (target) LHandler::Send(names[e.kind], kb, target);
}

void FakeMainLoop::RunModalStep() {
    ++fSteps;
    LWindow* dialog = LDesktop::FindWindowById(kWindowDialog);
    const i32 wait = LTimer::NextWaitMs(ModalTop(), dialog ? dialog->GetFrame() : nullptr, fActive);
    const u32 step = u32(std::clamp(wait, 10, 1000));
    fWaits.push_back(step);
    fFake.fClock.Advance(step);
    if (!fFake.fScript.empty()) {
        std::vector<FakeEvent> events = std::move(fFake.fScript.front());
        fFake.fScript.pop_front();
        for (const FakeEvent& e : events) fFake.Deliver(e);
    }
    FireDueTimers();
}

void FakeMainLoop::RunUpdatePass() {
    if (!fUpdates) return;
    fUpdates = 0;
    SendDeferred();
}
