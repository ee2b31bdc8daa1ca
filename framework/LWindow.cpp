#include "framework/LWindow.h"

#include <algorithm>

#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/CViewPrefs.h"
#include "framework/LFrame.h"
#include "framework/WindowMenuList.h"

namespace {

LList& WindowList() {
    static LList list;
    return list;
}

// The desktop used before start-up made one (tests, tools).
LDesktop& FallbackDesktop() {
    static LDesktop desktop;
    return desktop;
}

LDesktop& Desktop() {
    LDesktop* d = LDesktop::Instance();
    return d ? *d : FallbackDesktop();
}

i64 Area(const LRect& r) {
    return r.IsEmpty() ? 0 : i64(r.Width()) * r.Height();
}

LRect Intersection(const LRect& a, const LRect& b) {
    LRect r = a;
    r.Intersect(b);
    return r;
}

// Unites a non-empty rectangle into an accumulator that may still be empty.
void UniteInto(LRect* acc, const LRect& r) {
    if (r.IsEmpty()) return;
    if (acc->IsEmpty())
        *acc = r;
    else
        acc->Union(r);
}

}  // namespace

// ---------------------------------------------------------------- kinds and options

LNativeWindow LWindowKind::CreateNative(LWindow* window, LNativeWindow owner, u32 type) {
    return WindowServices().CreateWindow(window, owner, type, fKind);
}

void LWindowKind::ReleaseNative(LNativeWindow native) {
    WindowServices().ReleaseWindow(native);
}

const LPaneOpt& LPaneOpt::Default() {
    static const LPaneOpt options;
    return options;
}

LPaneOpt LPaneOpt::Window(u32 type, u32 kind) {
    LPaneOpt o;
    o.type = type;
    o.kind.Reset(new LWindowKind(kind));
    o.kind->Release();  // the reference holds the only count
    return o;
}

// ---------------------------------------------------------------- windows

LWindow::LWindow(const LPaneOpt& options, LFrame* frame, LNativeWindow owner)
    : LHandler(frame), fKind(options.kind), fType(options.type) {
    fNative = Desktop().CreateWindow(this, owner, options);
    if (fNative) {
        WindowList().PushBack(this);
        WindowServices().AttachWindow(this, fNative);
    }
    // Adopted even when the native window failed, so that nothing leaks.
    AdoptKind(options.adopt);
}

LWindow::~LWindow() {
    ForgetWindowMenuEntry(this);
    AdoptKind(nullptr);
    if (fNative) {
        WindowServices().DetachWindow(fNative);
        WindowList().Remove(this);
        Desktop().ReleaseWindow(this);
    }
    fNative = nullptr;
    fKind.Reset();
}

LFrame* LWindow::GetFrame() const {
    return static_cast<LFrame*>(fParent);
}

void LWindow::AdoptKind(LWindowAdoptee* object) {
    if (object == fAdopted) return;
    delete fAdopted;
    fAdopted = object;
}

LRect LWindow::GetContentScreenRect() const {
    return fNative ? WindowServices().GetContentRect(fNative) : LRect();
}
LRect LWindow::GetFrameRect() const {
    return fNative ? WindowServices().GetFrameRect(fNative) : LRect();
}
LRect LWindow::FrameRectForContent(const LRect& content) const {
    return fNative ? WindowServices().FrameRectForContent(fNative, content) : content;
}
void LWindow::SetContentRect(const LRect& content) {
    if (fNative) WindowServices().SetContentRect(fNative, content);
}
bool LWindow::IsResizable() const {
    return fNative && WindowServices().IsResizable(fNative);
}
bool LWindow::IsClosable() const {
    return fNative && WindowServices().IsClosable(fNative);
}
bool LWindow::IsVisible() const {
    return fNative && WindowServices().IsVisible(fNative);
}
void LWindow::SetTitle(const LString& title) {
    fTitle = title;
    if (fNative) WindowServices().SetTitle(fNative, title);
}
void LWindow::InvalidateRect(const LRect& rect) {
    if (fNative && !rect.IsEmpty()) WindowServices().InvalidateRect(fNative, rect);
}
void LWindow::UpdateNow() {
    if (fNative) WindowServices().UpdateNow(fNative);
}
void LWindow::MakeKey() {
    if (fNative && fType == kWindowFloating) WindowServices().MakeKeyAndOrderFront(fNative);
}

LWindow* LWindow::FindByNative(LNativeWindow native) {
    if (!native) return nullptr;
    for (LLink* l = WindowList().Head(); !l->IsEnd(); l = l->Next()) {
        LWindow* w = static_cast<LWindow*>(l);
        if (w->fNative == native) return w;
    }
    return nullptr;
}

LWindow* LWindow::NextWindow(LWindow* window) {
    LLink* l = window ? window->Next() : WindowList().Head();
    return !l || l->IsEnd() ? nullptr : static_cast<LWindow*>(l);
}

// ---------------------------------------------------------------- desktop

LDesktop::LDesktop() = default;
LDesktop::~LDesktop() = default;

LDesktop* LDesktop::Instance() {
    return gDesktop;
}

LNativeWindow LDesktop::CreateWindow(LWindow* window, LNativeWindow owner,
                                     const LPaneOpt& options) {
    if (!options.kind) return nullptr;
    return options.kind->CreateNative(window, owner, options.type);
}

namespace {

// The wait runs the event loop: whatever comes meanwhile (a signal's end) comes
// under the step that showed the window, not at the main loop's own turn.
void WaitUntilOnScreen(LWindowServices& ws, LNativeWindow native) {
    CMainLoop* loop = CMainLoop::Current();
    if (loop) ++loop->fNestedWaits;
    ws.WaitUntilOnScreen(native);
    if (loop) --loop->fNestedWaits;
}

}  // namespace

void LDesktop::ReleaseWindow(LWindow* window) {
    if (!window->fNative) return;
    if (window->fKind)
        window->fKind->ReleaseNative(window->fNative);
    else
        WindowServices().ReleaseWindow(window->fNative);
}

void LDesktop::ShowWindow(LWindow* window) {
    LNativeWindow native = GetNSWindow(window);
    if (!native) return;
    LWindowServices& ws = WindowServices();
    if (window->Type() == kWindowDialog && ws.IsAppHidden()) return;
    if (!ws.IsVisible(native)) SendViewPrefsChanged(window->GetFrame());
    if (window->Type() == kWindowFloating) {
        ws.OrderFront(native);
        LHandler::Send(LWindow_Activate, window, window->GetFrame());
    } else if (ws.KeyWindow() != native || ws.IsMinimized(native)) {
        // A minimised window may still hold the keyboard: it comes back all the same.
        ws.MakeKeyAndOrderFront(native);
    }
    WaitUntilOnScreen(ws, native);
}

void LDesktop::ShowWindowNoActivate(LWindow* window) {
    LNativeWindow native = GetNSWindow(window);
    if (!native) return;
    LWindowServices& ws = WindowServices();
    if (ws.IsVisible(native)) return;
    SendViewPrefsChanged(window->GetFrame());
    // A window hidden while minimised (its control window closed) comes back
    // shown: left minimised it would reach the screen nowhere, neither mapped
    // nor in the Window menu, and a platform without a task bar has no other
    // way back to it.
    LWindow* front = FindWindowById(window->Type());
    if (front && front != window)
        ws.OrderBehind(native, front->Native());
    else
        ws.OrderFront(native);
    if (window->Type() == kWindowFloating)
        LHandler::Send(LWindow_Activate, window, window->GetFrame());
    WaitUntilOnScreen(ws, native);
}

void LDesktop::HideWindow(LWindow* window) {
    if (LNativeWindow native = GetNSWindow(window)) WindowServices().OrderOut(native);
}

void LDesktop::DestroyWindow(LWindow* window) {
    if (!window) return;
    HideWindow(window);
    delete window;
}

LNativeWindow LDesktop::GetNSWindow(LWindow* window) {
    return window ? window->Native() : nullptr;
}

LWindow* LDesktop::NextVisibleWindow(LWindow* window) {
    LWindowServices& ws = WindowServices();
    LNativeWindow n =
        window ? (window->Native() ? ws.NextWindow(window->Native()) : nullptr) : ws.FrontWindow();
    for (; n; n = ws.NextWindow(n)) {
        if (!ws.IsVisible(n)) continue;
        if (LWindow* w = LWindow::FindByNative(n)) return w;
    }
    return nullptr;
}

LWindow* LDesktop::FindWindowById(u32 type) {
    for (LWindow* w = NextVisibleWindow(nullptr); w; w = NextVisibleWindow(w)) {
        if (w->Type() == type) return w;
    }
    return nullptr;
}

u32 LDesktop::ScreenWithLargestOverlap(const LRect& rect) {
    LDisplay d;
    u32 best = 0;
    i64 bestArea = 0;
    for (u32 i = 0; WindowServices().GetDisplay(i, &d); ++i) {
        i64 area = Area(Intersection(d.bounds, rect));
        if (area > bestArea) {
            bestArea = area;
            best = d.id;
        }
    }
    return best;
}

bool LDesktop::GetDisplayById(u32 id, LDisplay* out) {
    for (u32 i = 0; WindowServices().GetDisplay(i, out); ++i) {
        if (out->id == id) return true;
    }
    *out = LDisplay();
    return false;
}

LRect LDesktop::DesktopBounds(bool excludeMain) {
    const u32 mainId = WindowServices().MainDisplayId();
    LDisplay d;
    LRect all;
    for (u32 i = 0; WindowServices().GetDisplay(i, &d); ++i) {
        if (excludeMain && d.id == mainId) continue;
        UniteInto(&all, d.bounds);
    }
    return all;
}

void LDesktop::FitRectToScreens(LRect* rect) {
    LDisplay d;
    LRect fitted;
    for (u32 i = 0; WindowServices().GetDisplay(i, &d); ++i)
        UniteInto(&fitted, Intersection(d.visible, *rect));
    *rect = fitted;
}

// The visible area of the display a rectangle overlaps most (or of the main one).
static LRect ScreenAreaFor(const LRect& rect) {
    u32 id = LDesktop::ScreenWithLargestOverlap(rect);
    if (!id) id = WindowServices().MainDisplayId();
    LDisplay d;
    LDesktop::GetDisplayById(id, &d);
    LRect area = d.bounds;
    LDesktop::FitRectToScreens(&area);
    return area;
}

void LDesktop::FitWindowToScreen(LWindow* window, LRect* rect) {
    if (!window || !window->Native()) return;
    const LRect area = ScreenAreaFor(*rect);
    LRect frame = window->FrameRectForContent(*rect);
    auto shift = [&](i32 dx, i32 dy) {
        rect->Offset(dx, dy);
        frame.Offset(dx, dy);
    };
    // The left and top edges win for a window larger than its screen.
    if (frame.right > area.right) shift(area.right - frame.right, 0);
    if (frame.left < area.left) shift(area.left - frame.left, 0);
    if (frame.bottom > area.bottom) shift(0, area.bottom - frame.bottom);
    if (frame.top < area.top) shift(0, area.top - frame.top);
}

void LDesktop::FitWindowRect(LWindow* window, const LRect& rect) {
    if (!window || !window->Native()) return;
    LRect r = rect;
    FitWindowToScreen(window, &r);
    window->SetContentRect(r);
    // A second pass for a window that the platform made smaller or pushed under
    // a screen edge.
    const LRect a = window->GetContentScreenRect();
    const LRect f = window->GetFrameRect();
    const i32 wShort = rect.Width() - a.Width();
    const i32 hShort = rect.Height() - a.Height();
    LRect v = f;
    FitRectToScreens(&v);
    const i32 dx = std::max(rect.left - a.left, v.left - f.left);
    const i32 dy = std::max(rect.top - a.top, v.top - f.top);
    if (wShort <= 0 && hShort <= 0 && dx == 0 && dy == 0) return;
    r = rect;
    if (wShort > 0) r.right += wShort;
    if (hShort > 0) r.bottom += hShort;
    r.Offset(dx, dy);
    FitWindowToScreen(window, &r);
    window->SetContentRect(r);
}

void LDesktop::SendViewPrefsChanged(LHandler* frame) {
    if (frame) LHandler::Send(CViewPrefs_Changed, &CViewPrefs::Instance(), frame);
}

// ---------------------------------------------------------------- placer

LWindowPlacer::LWindowPlacer(LWindow* window, bool wholeDesktop) : fWindow(window) {
    if (!window || !window->Native()) return;
    const LRect content = window->GetContentScreenRect();
    fWidth = content.Width();
    fHeight = content.Height();
    LRect area;
    if (wholeDesktop) {
        area = LDesktop::DesktopBounds(false);
        LDesktop::FitRectToScreens(&area);
    } else {
        area = ScreenAreaFor(content);
    }
    const LRect frame = window->FrameRectForContent(area);
    fMaxWidth = 2 * area.Width() - frame.Width();
    fMaxHeight = 2 * area.Height() - frame.Height();
    fUsable = LRect(2 * area.left - frame.left, 2 * area.top - frame.top,
                    2 * area.right - frame.right, 2 * area.bottom - frame.bottom);
    fMinWidth = 40;
    fMinHeight = 40;
}

void LWindowPlacer::SetSizeAndMax(i32 minW, i32 minH, i32 maxW, i32 maxH) {
    const i32 w = fMaxWidth, h = fMaxHeight;
    fMinWidth = std::min(minW, w);
    fMinHeight = std::min(minH, h);
    fMaxWidth = std::min(maxW, w);
    fMaxHeight = std::min(maxH, h);
}

void LWindowPlacer::SetSize(i32 w, i32 h) {
    fMinWidth = std::min(w, fMaxWidth);
    fMinHeight = std::min(h, fMaxHeight);
}
