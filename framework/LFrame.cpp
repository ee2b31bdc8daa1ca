#include "framework/LFrame.h"

#include <algorithm>
#include <vector>

#include "framework/CUndoQ.h"
#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/LEditText.h"
#include "framework/LEmbeddedPane.h"
#include "framework/LListPane.h"
#include "framework/LMenu.h"
#include "framework/layout/LExprEval.h"
#include "framework/layout/LLayoutVM.h"

namespace {

LPane* sHover = nullptr;

template <class F>
void ForEachChild(const LList& children, F f) {
    for (LLink* l = children.Head(); !l->IsEnd();) {
        LLink* next = l->Next();
        f(static_cast<LPane*>(l));
        l = next;
    }
}

LHandler* MouseSource() {
    return LMouse::Instance();
}

bool IsChildOf(const LList& list, const LPane* pane) {
    for (LLink* l = list.Head(); !l->IsEnd(); l = l->Next()) {
        if (l == pane) return true;
    }
    return false;
}

}  // namespace

LFrame::LFrame(LHandler* parent, LPane* container, const LPaneOpt& options)
    : LPane(parent, options.kind ? nullptr : container), fTabOrder(sizeof(u32)) {
    if (!options.kind) return;
    fWindow = new LWindow(options, this, nullptr);
    Send(LFrame_Constructing, this, fParent);
}

LFrame::~LFrame() {
    if (sHover == this) sHover = nullptr;
    if (fWindow) Send(LFrame_Destructing, this, fParent);
    delete fCompiled;
    fCompiled = nullptr;
    while (LLink* child = fWindowChildren.PopFront()) delete static_cast<LFrame*>(child);
    while (LLink* child = fChildren.Head()) {
        if (child->IsEnd()) break;
        // The child's "LPane_Destructing" unlinks it; make sure it is gone even
        // when the message went elsewhere.
        fChildren.Remove(child);
        delete static_cast<LPane*>(child);
    }
    delete fWindowMenu;
    fWindowMenu = nullptr;
    if (fWindow) {
        LWindow* window = fWindow;
        fWindow = nullptr;
        LDesktop* desktop = LDesktop::Instance();
        if (desktop) {
            desktop->DestroyWindow(window);
        } else {
            WindowServices().OrderOut(window->Native());
            delete window;
        }
    }
}

LPane* LFrame::HoverPane() {
    return sHover;
}

void LFrame::ForgetHover(LPane* pane) {
    if (sHover == pane) sHover = nullptr;
}

// ---------------------------------------------------------------- messages

LPane* LFrame::HitPane(LPoint screenPt) {
    const LRect content = fWindow ? fWindow->GetContentScreenRect() : LRect();
    LPoint local{screenPt.x - content.left, screenPt.y - content.top};
    LPane* hit = FindPaneAt(local);
    return hit ? hit : this;
}

void LFrame::UpdateWindowMenu(bool active) {
    if (!fWindowMenu) {
        // An ordinary window without menus of its own shows the bar as it is:
        // never with another window's menus, which would be dead in it.
        if (active && fWindow && fWindow->Type() == kWindowOrdinary) LWindowMenu::UnmergeAny();
        return;
    }
    if (active)
        fWindowMenu->MergeIntoCurrentBar();
    else
        fWindowMenu->UnmergeFromCurrentBar();
}

LFrame* LFrame::ViewWindowFrame() {
    if (fWindow || ParentsReachContainer()) return nullptr;
    LWindow* window = LWindow::FindByNative(GetNativeWindow());
    LFrame* frame = window ? window->GetFrame() : nullptr;
    return frame && frame != this && frame->fWindow ? frame : nullptr;
}

LFrame* LFrame::FirstOrdinaryFrame() const {
    LWindow* w = LDesktop::FindWindowById(kWindowOrdinary);
    return w ? w->GetFrame() : nullptr;
}

// Children coming and going: panes join the focus ring and take the frame's
// state, frames with windows of their own are kept to be deleted with it.
bool LFrame::HandleChildEvent(const LMessage& msg, LMessage* answer) {
    if (msg.Is(LPane_Constructing) && msg.source != this) {
        LPane* child = static_cast<LPane*>(msg.source);
        fChildren.PushBack(child);
        if ((fState & (kEnabled | kContainerActive)) == (kEnabled | kContainerActive))
            child->SetState(kOpContainerActive);
        if (IsShown()) child->SetState(kOpContainerShown);
        if (fState & kWindowKey) child->SetState(kOpWindowKey);
        if (fState & (kDimmed | kContainerDimmed)) child->SetState(kOpContainerDim);
        // A frame with a layout places the newcomer once the construction is done.
        if (HasLayout()) *answer = LMessage{LPane_Defer, this, fParent};
        return true;
    }
    if (msg.Is(LPane_Destructing) && msg.source != this) {
        LPane* child = static_cast<LPane*>(msg.source);
        if (sHover == child) sHover = nullptr;
        fFocus.Forget(child);
        fChildren.Remove(child);
        UpdateRing();
        return true;
    }
    if (msg.Is(LFrame_Constructing) && msg.source != this) {
        fWindowChildren.PushBack(static_cast<LFrame*>(msg.source));
        return true;
    }
    if (msg.Is(LFrame_Destructing) && msg.source != this) {
        fWindowChildren.Remove(static_cast<LFrame*>(msg.source));
        return true;
    }
    return false;
}

// The window's own events: drawing, the mouse handed to the pane under it,
// activation, the key focus, placement and closing; answer stays empty where
// nothing is passed on.
bool LFrame::HandleWindowEvent(const LMessage& msg, LMessage* answer) {
    LHandler* mouse = MouseSource();
    if (msg.Is(LWindow_Update)) {
        if (IsShown()) {
            LDrawCtx ctx(WindowServices().PaintGraphics(fWindow->Native()));
            ctx.SetClipRgn(LRgn(fBounds));
            Draw(ctx);
        }
        return true;
    }
    if (msg.Is(LWindow_Cursor)) {
        if (!mouse) return true;
        LPane* hit = HitPane(LMouse::Instance()->Position());
        if (hit != sHover) {
            if (sHover) Send(LMouse_Leave, mouse, sHover);
            sHover = hit;
        }
        *answer = LMessage{LMouse_Cursor, mouse, hit};
        return true;
    }
    static const char* const kMouseFromWindow[][2] = {{LWindow_Click, LMouse_Click},
                                                      {LWindow_Bkgnd, LMouse_Bkgnd},
                                                      {LWindow_Wheel, LMouse_Wheel},
                                                      {LWindow_Context, LMouse_Context}};
    for (const auto& pair : kMouseFromWindow) {
        if (!msg.Is(pair[0])) continue;
        if (!mouse) return true;
        LPane* hit = HitPane(LMouse::Instance()->Position());
        if (msg.Is(LWindow_Click) || msg.Is(LWindow_Context)) {
            if (!EndEditBeforeClick(hit)) return true;
            // The value stored may have rebuilt what lay under the pointer.
            hit = HitPane(LMouse::Instance()->Position());
            if (msg.Is(LWindow_Click)) {
                FieldLetsGoBeforeClick(hit);
                // So may the field's row, let go with it.
                hit = HitPane(LMouse::Instance()->Position());
            }
        }
        if (msg.Is(LWindow_Wheel)) {
            Send(LMouse_Wheel, mouse, hit);
            // Come back unconsumed: no pane under the pointer uses the wheel,
            // but a frame around it that scrolls does, though the view's
            // handlers lead elsewhere.
            auto* m = static_cast<LMouse*>(mouse);
            for (LPane* p = hit; p && !m->fUsed; p = p->Container())
                if (auto* f = dynamic_cast<LFrame*>(p); f && f->ScrollByWheel()) m->fUsed = 1;
            return true;
        }
        *answer = LMessage{pair[1], mouse, hit};
        return true;
    }
    if (msg.Is(LWindow_Activate)) {
        UpdateWindowMenu(true);
        SetState(kOpContainerActive);
        *answer = LMessage{LFrame_Activate, this, fParent};
        return true;
    }
    if (msg.Is(LWindow_Deativate)) {
        SetState(kOpContainerInactive);
        if (!LDesktop::FindWindowById(kWindowDialog)) UpdateWindowMenu(false);
        *answer = LMessage{LFrame_Deactivate, this, fParent};
        return true;
    }
    if (msg.Is(LWindow_Focus)) {
        SetState(kOpWindowKey);
        return true;
    }
    if (msg.Is(LWindow_Unfocus)) {
        SetState(kOpWindowUnkey);
        return true;
    }
    if (msg.Is(LWindow_Place)) {
        const LRect c = fWindow->GetContentScreenRect();
        SetBounds(LRect(0, 0, c.Width(), c.Height()));
        StateChanged(kOpMoved);
        *answer = LMessage{LFrame_Place, this, fParent};
        return true;
    }
    if (msg.Is(LWindow_Close)) {
        // The window's owner may delete it at once, and a control window
        // writes its settings before it hides: the typed value goes first.
        if (!StoresOnlyConfirmed()) EndOpenEdit(true);
        *answer = LMessage{LFrame_Close, this, fParent};
        return true;
    }
    return false;
}

LMessage LFrame::HandleMessage(const LMessage& msg) {
    // 1. The close command, while the window can be closed. The menus of a
    // pane in a view that a handler owns pass that handler, never the window's
    // frame: the view's own frame offers the window's Close for it.
    LFrame* closing = fWindow ? this : ViewWindowFrame();
    const bool closable = closing && closing->fWindow->IsClosable();
    if (msg.Is(LMenuBar_Ready)) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        if (closable) bar->EnableCommand(LStdCmd_Close);
        if (RecordsNoEdits()) {
            bar->SettleCommand(LStdCmd_Undo);
            bar->SettleCommand(LStdCmd_Redo);
        }
        return LPane::HandleMessage(msg);
    }
    if (RecordsNoEdits()) {
        // Its fields' edits are no step of the history above: it is asked for
        // one only to route Undo, and must answer that there is none here.
        if (msg.Is(CUndoStrm_Find) && CUndoQ::IsProbe(msg.source)) return LMessage();
        if (msg.Is(LMenuItem_Selected)) {
            const auto* item = static_cast<LMenuItem*>(msg.source);
            if (item->HasCommand(LStdCmd_Undo) || item->HasCommand(LStdCmd_Redo)) return LMessage();
        }
    }
    if (msg.Is(LMenuItem_Selected) && closable &&
        static_cast<LMenuItem*>(msg.source)->HasCommand(LStdCmd_Close)) {
        // As the close box does.
        if (!closing->StoresOnlyConfirmed()) closing->EndOpenEdit(true);
        if (closing != this) {
            Send(LFrame_Close, closing, closing->fParent);
            return LMessage();
        }
        return LMessage{LFrame_Close, this, fParent};
    }

    // 2. Window events.
    if (fWindow && msg.source == fWindow) {
        LMessage answer;
        if (HandleWindowEvent(msg, &answer)) return answer;
    }

    // 3. Everything else.
    if (msg.Is(LPane_Pref)) {
        if (msg.source == this) return LMessage();
        if (!HasLayout()) return LMessage::CopyRetarget(msg, fContainer ? fContainer : fParent);
        if (fContainer) Send(LPane_Pref, this, fContainer);
        return LMessage{LPane_Defer, this, fParent};
    }
    if (msg.Is(LPane_UpdateNow) && fWindow) {
        fWindow->UpdateNow();
        return LMessage();
    }
    if (msg.Is(LPane_Unfocus) && msg.source != this && msg.source == fFocus.Get())
        fFocus.Set(nullptr);
    if (LMessage answer; HandleChildEvent(msg, &answer)) return answer;
    if (msg.Is(LPane_ReqFocus)) {
        if (msg.source == this) return LMessage();
        LPane* pane = static_cast<LPane*>(msg.source);
        if (pane->GetNativeWindow() != GetNativeWindow()) return LPane::HandleMessage(msg);
        fFocus.Set(pane);
        if (fWindow && fWindow->Type() == kWindowFloating) fWindow->MakeKey();
        if (fState & kFocused) pane->SetState(kOpFocus);
        UpdateRing();
        return PassFocusRequest();
    }
    if (fWindow && msg.Is(LWindowPlacer_Grow)) {
        LWindowPlacer* placer = static_cast<LWindowPlacer*>(msg.source);
        if (!HasLayout()) {
            placer->SetSizeAndMax(fBounds.Width(), fBounds.Height(), fBounds.Width(),
                                  fBounds.Height());
        } else {
            LDrawCtx ctx;
            LRect pref;
            // A layout that did not compile leaves the placer's minimum.
            if (RunPref(&ctx, &pref)) placer->SetSize(pref.Width(), pref.Height());
        }
        return LMessage();
    }
    if (fWindow && (msg.Is(LWindowPlacer_Sizing) || msg.Is(LWindowPlacer_Prefer)))
        return LPane::HandleMessage(msg);
    if (msg.Is(LKeyboard_Down)) {
        LKeyboard* kb = LKeyboard::Instance();
        if (kb && kb->fChar == 9 && !kb->IsControlDown()) {
            const bool moved = AdvanceFocusInOrder(kb->IsShiftDown() ? 1 : 0);
            if (moved || fWindow) return LMessage();
            // Tab leaving a view that a handler owns goes on in the frame around it.
            if (!ParentsReachContainer()) return LMessage::CopyRetarget(msg, fContainer);
        }
    }
    if (fWindow && msg.Is(LMouse_Click)) {
        fFocus.Set(nullptr);
        return LMessage();
    }
    // A click on nothing that takes the focus, in a view that a handler owns,
    // ends the edit in progress as a click on the window's own background does.
    if (msg.Is(LMouse_Click) && msg.source == LMouse::Instance())
        if (LFrame* window = ViewWindowFrame()) return LMessage::CopyRetarget(msg, window);
    if (fWindow && msg.Is(LMouse_Cursor)) {
        WindowServices().SetStdCursor(kCursorArrow);
        return LMessage();
    }
    if (msg.Is(CViewPrefs_Changed) && msg.source != this) {
        SetState(kOpStyleChanged);
        return LMessage();
    }
    if (msg.Is(LFrame_Close) && msg.source == this) {
        HideWindow();
        return LMessage();
    }
    if (msg.Is(LPane_Deferred) && msg.source == this) {
        if (fWindow) {
            Relayout();
            return LMessage();
        }
        LDrawCtx ctx;
        if (GetPrefWidth(&ctx, 0) > fBounds.Width() || GetPrefHeight(&ctx, 0) > fBounds.Height())
            return LMessage{LPane_Pref, this, fContainer ? fContainer : fParent};
        Relayout();
        return LMessage();
    }

    // 4. A floating window hands the rest to the first ordinary window.
    if (fWindow && fWindow->Type() == kWindowFloating) {
        if (LFrame* frame = FirstOrdinaryFrame()) return LMessage::CopyRetarget(msg, frame);
    }
    return LPane::HandleMessage(msg);
}

// ---------------------------------------------------------------- layout

bool LFrame::HasLayout() const {
    return LStrListRes::Count(fLayout) >= 2;
}

void LFrame::SetLayout(const LStrListHolder& layout, u32 mode) {
    LStrListResRef::Assign(&fLayout, layout);
    if (mode == 1) {
        if (!fCompiled) fCompiled = new LLayoutVM(&fChildren);
        fCompiled->Compile(fLayout);
    } else {
        delete fCompiled;
        fCompiled = nullptr;
    }
}

void LFrame::SetLayoutByName(const char* name, u32 mode, LResSource* source) {
    LResId id{0, name};
    LStrListHolder holder;
    LStrListRes::Open(&holder, &id, source, kLayoutResType);
    SetLayout(holder, mode);
}

static LString Item(const LStrListHolder& layout, u32 n) {
    LString s;
    LStrListRes::GetSharedItem(&s, layout, n);
    return s;
}

bool LFrame::RunPref(LDrawCtx* ctx, LRect* out) {
    *out = LRect();
    if (!HasLayout()) return false;
    if (fCompiled) {
        PreLayoutVM(ctx, *fCompiled);
        const bool ok = fCompiled->RunPref(ctx);
        *out = fCompiled->ResultRect();
        return ok;
    }
    LLayoutEval eval(ctx, &fChildren);
    eval.Run(Item(fLayout, 0));
    PreLayout(ctx, eval);
    eval.Run(Item(fLayout, 1));
    *out = eval.ResultRect();
    return true;
}

// Lays the children out in fBounds from scratch (the setup part run again).
void LFrame::LayoutToBounds(LDrawCtx* ctx) {
    if (fCompiled) {
        PreLayoutVM(ctx, *fCompiled);
        fCompiled->SetResultRect(fBounds);
        fCompiled->RunLayout(ctx);
        PostLayoutVM(ctx, *fCompiled);
        return;
    }
    LLayoutEval eval(ctx, &fChildren);
    eval.Run(Item(fLayout, 0));
    PreLayout(ctx, eval);
    eval.SetResultRect(fBounds);
    eval.Run(Item(fLayout, 2));
    PostLayout(ctx, eval);
}

void LFrame::Relayout() {
    if (!HasLayout()) return;
    LDrawCtx ctx;
    LLayoutEval* eval = nullptr;
    LRect pref;
    if (fCompiled) {
        PreLayoutVM(&ctx, *fCompiled);
        if (fWindow) {
            fCompiled->RunPref(&ctx);
            pref = fCompiled->ResultRect();
        }
    } else {
        eval = new LLayoutEval(&ctx, &fChildren);
        eval->Run(Item(fLayout, 0));
        PreLayout(&ctx, *eval);
        if (fWindow) {
            eval->Run(Item(fLayout, 1));
            pref = eval->ResultRect();
        }
    }
    if (fWindow) {
        const LRect c = fWindow->GetContentScreenRect();
        if (fBounds.IsEmpty()) {
            ResizeWindow(pref, fContainer);
        } else if (c.Width() < pref.Width() || c.Height() < pref.Height()) {
            // A resizable window grows to its preferred size but never shrinks.
            ResizeWindow(LRect(c.left, c.top, c.left + std::max(c.Width(), pref.Width()),
                               c.top + std::max(c.Height(), pref.Height())),
                         nullptr);
        }
    }
    if (fCompiled) {
        fCompiled->SetResultRect(fBounds);
        fCompiled->RunLayout(&ctx);
        PostLayoutVM(&ctx, *fCompiled);
    } else {
        eval->SetResultRect(fBounds);
        eval->Run(Item(fLayout, 2));
        PostLayout(&ctx, *eval);
        delete eval;
    }
}

void LFrame::RelayoutExact() {
    if (!HasLayout()) return;
    LDrawCtx ctx;
    LRect pref;
    RunPref(&ctx, &pref);
    if (fWindow) {
        const LRect c = fWindow->GetContentScreenRect();
        if (fBounds.IsEmpty()) {
            ResizeWindow(pref, fContainer);
        } else {
            fBounds = LRect(0, 0, pref.Width(), pref.Height());
            ResizeWindow(LRect(c.left, c.top, c.left + pref.Width(), c.top + pref.Height()),
                         nullptr);
        }
    }
    LayoutToBounds(&ctx);
}

i32 LFrame::LayoutLeast(const char* name) {
    i32 v = 0;
    if (fCompiled && fCompiled->Call(name, 0, nullptr, &v) && v > 0) return v;
    return 0;
}

void LFrame::PreLayout(LDrawCtx*, LLayoutEval&) {}
void LFrame::PostLayout(LDrawCtx*, LLayoutEval&) {}
void LFrame::PreLayoutVM(LDrawCtx*, LLayoutVM&) {}
void LFrame::PostLayoutVM(LDrawCtx*, LLayoutVM&) {}

i32 LFrame::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    if (!HasLayout()) return LPane::GetPrefWidth(ctx, hint);
    LRect pref;
    RunPref(ctx, &pref);
    if (hint == kPrefLeast) return LayoutLeast("MinW");
    return pref.Width();
}

i32 LFrame::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    if (!HasLayout()) return LPane::GetPrefHeight(ctx, hint);
    LRect pref;
    RunPref(ctx, &pref);
    if (hint == kPrefLeast) return LayoutLeast("MinH");
    if (fCompiled && hint != 0) {
        i32 h = 0;
        if (fCompiled->Call("PREFH", 1, &hint, &h) && h > -32768) return h;
        return LPane::GetPrefHeight(ctx, hint);
    }
    return pref.Height();
}

void LFrame::ResizeWindow(const LRect& wanted, LPane* anchor) {
    if (!fWindow) return;
    LWindowPlacer placer(fWindow, false);
    Send(LWindowPlacer_Grow, &placer, this);
    Send(LWindowPlacer_Sizing, &placer, this);
    i32 w = std::max(std::min(wanted.Width(), placer.fMaxWidth), placer.fMinWidth);
    i32 h = std::max(std::min(wanted.Height(), placer.fMaxHeight), placer.fMinHeight);
    LRect r(wanted.left, wanted.top, wanted.left + w, wanted.top + h);
    if (anchor) {
        const u64 tl = anchor->GetTopLeftIn(nullptr);
        LWindow* aw = LWindow::FindByNative(anchor->GetNativeWindow());
        const LRect c = aw ? aw->GetContentScreenRect() : LRect();
        r.Offset(i32(LPane::UnpackX(tl)) + c.left, i32(LPane::UnpackY(tl)) + c.top);
    }
    LDesktop::FitWindowRect(fWindow, r);
    const LRect c = fWindow->GetContentScreenRect();
    SetBounds(LRect(0, 0, c.Width(), c.Height()));
}

// ---------------------------------------------------------------- window

void LFrame::SetBackColor(const LPenRef& color) {
    if (color.Get() == fBackground.Get()) return;
    fBackground = color;
    fNoErase.SetEmpty();
    if (fBackground)
        fState |= kOpaque;
    else
        fState &= ~u32(kOpaque);
    ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpBackground); });
}

void LFrame::SetTitle(const LString& title) {
    if (fWindow) fWindow->SetTitle(title);
}

static LDesktop& DesktopOrFallback() {
    static LDesktop fallback;
    LDesktop* d = LDesktop::Instance();
    return d ? *d : fallback;
}

void LFrame::ShowWindow() {
    if (!fWindow) return;
    DesktopOrFallback().ShowWindow(fWindow);
    SetState(kOpContainerShown);
}

void LFrame::ShowWindowNoActivate() {
    if (!fWindow) return;
    DesktopOrFallback().ShowWindowNoActivate(fWindow);
    SetState(kOpContainerShown);
}

void LFrame::HideWindow() {
    if (!fWindow) return;
    SetState(kOpContainerHidden);
    DesktopOrFallback().HideWindow(fWindow);
}

void LFrame::SetWindowBounds(const LRect& rect) {
    if (!fWindow) return;
    LRect r = rect;
    // A layout that gave nothing (or a stored placement gone bad) still opens a
    // window one can see and close: the placer's smallest size.
    r.right = std::max(r.right, r.left + 40);
    r.bottom = std::max(r.bottom, r.top + 40);
    if (fContainer) {
        const u64 tl = fContainer->GetTopLeftIn(nullptr);
        LWindow* cw = LWindow::FindByNative(fContainer->GetNativeWindow());
        const LRect c = cw ? cw->GetContentScreenRect() : LRect();
        r.Offset(i32(LPane::UnpackX(tl)) + c.left - fContainer->Bounds().left,
                 i32(LPane::UnpackY(tl)) + c.top - fContainer->Bounds().top);
    }
    LDesktop::FitWindowRect(fWindow, r);
    const LRect c = fWindow->GetContentScreenRect();
    SetBounds(LRect(0, 0, c.Width(), c.Height()));
}

LRect LFrame::GetWindowBounds() const {
    return fWindow ? fWindow->GetContentScreenRect() : LRect();
}

void LFrame::ClearHover() {
    if (!sHover) return;
    LPane* old = sHover;
    sHover = nullptr;
    if (LHandler* mouse = MouseSource()) Send(LMouse_Leave, mouse, old);
}

void LFrame::SetWindowMenu(LWindowMenu* menu) {
    if (menu == fWindowMenu) return;
    delete fWindowMenu;
    fWindowMenu = menu;
}

// ---------------------------------------------------------------- drawing and invalidation

void LFrame::FillDrawEnv(LDrawEnv& env) {
    if (fWindow) {
        env.fWindow = fWindow->Native();
        env.fClip.SetRect(fBounds);
        env.fFrameBackground = fBackground;
    } else {
        if (fContainer) fContainer->FillDrawEnv(env);
        LRect mine = fBounds;
        mine.Offset(env.fOriginX, env.fOriginY);
        env.fClip.Intersect(LRgn(mine));
        env.fOriginX += fBounds.left;
        env.fOriginY += fBounds.top;
    }
    if (fBackground) env.fBackground = fBackground;
}

void LFrame::InvalidateRect(const LRgn& redrawIn, const LRgn& eraseIn) {
    if (!IsShown()) return;
    LRgn redraw = redrawIn;
    LRgn erase;
    if (fBackground) {
        // The frame paints its own background: what only needs a redraw is
        // remembered so that the next draw does not erase it.
        fNoErase.Union(redrawIn);
        fNoErase.Subtract(eraseIn);
        redraw.Union(eraseIn);
    } else {
        erase = eraseIn;
        erase.Offset(fBounds.left, fBounds.top);
        erase.Intersect(LRgn(fBounds));
    }
    redraw.Offset(fBounds.left, fBounds.top);
    redraw.Intersect(LRgn(fBounds));
    if (redraw.IsEmpty() && erase.IsEmpty()) return;
    if (fWindow) {
        LRgn all = redraw;
        all.Union(erase);
        fWindow->InvalidateRect(all.GetBounds());
    } else {
        LPane::InvalidateRect(redraw, erase);
    }
}

void LFrame::Draw(LDrawCtx& ctx) {
    LClipScope clip(ctx, LRgn(fBounds));
    LOriginScope origin(ctx, fBounds.left, fBounds.top);
    LTransformScope transform(origin);
    LBackgroundScope background(ctx);
    if (fBackground) {
        ctx.fBackground = fBackground;
        LRgnFill fill;
        fill.fRegion = ctx.GetClipRgn();
        fill.fRegion.Subtract(fNoErase);
        fill.fPen = fBackground;
        ctx.ApplyClip();
        fill.Draw(ctx);
    }
    fNoErase.SetEmpty();
    ForEachChild(fChildren, [&ctx](LPane* child) {
        if (!child->TouchesRgn(ctx.GetClipRgn())) return;
        ctx.ApplyClip();
        child->Draw(ctx);
        if (child->State() & kRingShown) child->DrawFocusRing(ctx);
    });
}

void LFrame::BoundsChanged(const LRect& old) {
    if (IsShown()) {
        LRgn oldArea(old), newArea(fBounds);
        LRgn redraw = oldArea;
        if (old.left == fBounds.left && old.top == fBounds.top)
            redraw.Xor(newArea);
        else
            redraw.Union(newArea);
        if (fWindow) {
            // Window frames sit at 0, 0: their area is the window's content.
            fWindow->InvalidateRect(redraw.GetBounds());
        } else if (fContainer) {
            LRgn erase = redraw;
            if (fBackground) {
                erase = oldArea;
                erase.Subtract(newArea);
            }
            fContainer->InvalidateRect(redraw, erase);
        }
    }
    ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpMoved); });
    if (old.SameSize(fBounds) || !HasLayout()) return;
    LDrawCtx ctx;
    LayoutToBounds(&ctx);
}

// ---------------------------------------------------------------- state

void LFrame::StateChanged(u32 op) {
    bool paneStep = true;
    switch (op) {
        case kOpShow:
        case kOpContainerShown:
            if (IsShown()) {
                fNoErase.SetEmpty();
                if (op == kOpContainerShown && fWindow) {
                    fWindow->InvalidateRect(fBounds);
                    paneStep = false;
                }
                ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpContainerShown); });
                if (fWindow && (fState & kEnabled)) {
                    LPane* focus = fFocus.Get();
                    if (focus) focus->SetState(kOpFocus);
                    if (!fFocus.Get() || !(fFocus.Get()->State() & kFocused))
                        AdvanceFocusInOrder(0);
                }
            }
            break;
        case kOpHide:
            if (fState & kContainerShown)
                ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpContainerHidden); });
            break;
        case kOpContainerHidden:
            if (fState & kVisible)
                ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpContainerHidden); });
            break;
        case kOpEnable:
        case kOpContainerActive:
            if ((fState & (kEnabled | kContainerActive)) == (kEnabled | kContainerActive))
                ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpContainerActive); });
            break;
        case kOpDisable:
            if (fState & kContainerActive)
                ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpContainerInactive); });
            break;
        case kOpContainerInactive:
            if (fState & kEnabled)
                ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpContainerInactive); });
            break;
        case kOpMoved:
            ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpMoved); });
            if (fWindow) paneStep = false;
            break;
        case kOpBackground:
            if (!fBackground) ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpBackground); });
            break;
        case kOpFocus:
            if (LPane* focus = fFocus.Get()) {
                if (focus->IsShown())
                    focus->SetState(kOpFocus);
                else
                    AdvanceFocusInOrder(0);
            }
            break;
        case kOpUnfocus:
            if (LPane* focus = fFocus.Get()) focus->SetState(kOpUnfocus);
            break;
        case kOpDim:
        case kOpUndim:
            if (!(fState & kContainerDimmed)) {
                const u32 childOp = op == kOpDim ? kOpContainerDim : kOpContainerUndim;
                ForEachChild(fChildren, [childOp](LPane* c) { c->SetState(childOp); });
            }
            break;
        case kOpContainerDim:
        case kOpContainerUndim:
            if (!(fState & kDimmed)) ForEachChild(fChildren, [op](LPane* c) { c->SetState(op); });
            break;
        case kOpWindowKey:
        case kOpWindowUnkey:
            ForEachChild(fChildren, [op](LPane* c) { c->SetState(op); });
            break;
        case kOpStyleChanged:
            ForEachChild(fChildren, [](LPane* c) { c->SetState(kOpStyleChanged); });
            if (fWindow && !fWindow->IsResizable())
                RelayoutExact();
            else
                Relayout();
            break;
        default:
            break;
    }
    if (paneStep) LPane::StateChanged(op);
}

// ---------------------------------------------------------------- focus and hit tests

LPane* LFrame::FindFocusable() {
    if (!IsFocusable()) return nullptr;
    if (LPane* focus = fFocus.Get()) {
        if (LPane* inner = focus->FindFocusable()) return inner;
    }
    return this;
}

LPane* LFrame::FindPaneAt(LPoint pt) {
    if (!LPane::FindPaneAt(pt)) return nullptr;
    LPoint local{pt.x - fBounds.left, pt.y - fBounds.top};
    LPane* hit = nullptr;
    ForEachChild(fChildren, [&](LPane* c) {
        // Later children lie on top.
        if (LPane* p = c->FindPaneAt(local)) hit = p;
    });
    return hit ? hit : this;
}

void LFrame::RebuildTabOrder() {
    fTabOrder.RemoveAt(0, fTabOrder.Count());
    u32 pos = 0;
    ForEachChild(fChildren, [&](LPane* c) {
        const LRect n = c->Bounds();
        u32* order = fTabOrder.DataAs<u32>();
        u32 at = fTabOrder.Count();
        for (u32 i = 0; i < fTabOrder.Count(); ++i) {
            const LRect e = static_cast<LPane*>(fChildren.Nth(order[i] - 1))->Bounds();
            if (n.bottom <= e.top || (n.top < e.bottom && (n.left < e.left || n.right < e.right))) {
                at = i;
                break;
            }
        }
        const u32 entry = ++pos;
        fTabOrder.InsertAt(at, &entry);
    });
}

bool LFrame::AdvanceFocusInOrder(u32 direction) {
    if (!fFixedOrder) RebuildTabOrder();
    const i32 n = i32(fTabOrder.Count());
    if (n == 0) return false;
    const u32* order = fTabOrder.DataAs<u32>();
    i32 start = direction == 0 ? -1 : n;
    if (LPane* focus = fFocus.Get()) {
        for (i32 i = 0; i < n; ++i) {
            if (fChildren.Nth(order[i] - 1) == focus) start = i;
        }
    }
    const i32 step = direction == 0 ? 1 : -1;
    i32 wraps = 0;
    for (i32 i = start;;) {
        i += step;
        if (i < 0 || i >= n) {
            if (++wraps > 1) return false;
            i = i < 0 ? n - 1 : 0;
        }
        if (i == start) return false;
        LPane* c = static_cast<LPane*>(fChildren.Nth(order[i] - 1));
        if (!c || !c->IsUsable()) continue;
        if (!CanShowChildAt(c->Bounds())) continue;
        LPane* before = fFocus.Get();
        c->AdvanceFocus(direction, true);
        if (fFocus.Get() != before) return wraps == 0;
    }
}

bool LFrame::CanShowChildAt(LRect r) const {
    return ChildInReach(r, false);
}

bool LFrame::ScrollsChildIntoSight(LRect r) const {
    return ChildInReach(r, true);
}

bool LFrame::ChildInReach(LRect r, bool scrolledOnly) const {
    // A pane placed outside its frames (a page not shown) is skipped, but one
    // a scroll frame has only moved out of its port is scrolled back.
    for (const LPane* p = this; p; p = p->Container()) {
        const LRect& b = p->Bounds();
        auto* f = dynamic_cast<const LFrame*>(p);
        if (!f) {
            // A list keeps its rows in its container's coordinates, within its
            // bounds; other panes draw what they hold where it is.
            if (!dynamic_cast<const LListPane*>(p)) continue;
            if (LRect within = b; within.Intersect(r).IsEmpty()) return false;
            r.Intersect(b);
            continue;
        }
        if (f->RevealsFocus()) return true;
        // A window's frame, or one that draws into a native view of its own.
        const bool own = f->fWindow || dynamic_cast<const LEmbeddedPane*>(f);
        LRect within = f->fWindow ? b : LRect(0, 0, b.Width(), b.Height());
        if (within.Intersect(r).IsEmpty()) return false;
        if (own) return !scrolledOnly;
        r = within;
        r.Offset(b.left, b.top);
    }
    return !scrolledOnly;
}

void LFrame::EndOpenEdit(bool store) {
    if (LPane* focus = fFocus.Get()) focus->EndOpenEdit(store);
}

LPane* LFrame::FocusedLeaf() const {
    LPane* leaf = fFocus.Get();
    while (leaf && leaf->FocusedChild()) leaf = leaf->FocusedChild();
    return leaf;
}

bool LFrame::EndEditBeforeClick(LPane* hit) {
    // A click elsewhere ends the edit anyway once the focus moves, but only
    // after the click acted: a click that selects another row rebinds the
    // fields first, and the typed text would be replaced, or stored into the
    // row just chosen.
    if (StoresOnlyConfirmed()) return true;
    LPane* focus = FocusedLeaf();
    if (!focus) return true;
    for (LPane* p = hit; p; p = p->Container())
        if (p == focus) return true;
    EndOpenEdit(true);
    // The user was told why the value cannot be taken and is back in its
    // field: what the click would have done (another device chosen) waits.
    auto* field = dynamic_cast<LEditText*>(FocusedLeaf());
    return !(field && field->EditHeld());
}

void LFrame::FieldLetsGoBeforeClick(LPane* hit) {
    // Left with its caret, the field would take the next click on it as one
    // in the text being typed, where the user means to come back to it (a
    // number field stepped its value). Its edit has ended before the click.
    // A dialog's field keeps it: letting go would store what only the
    // dialog's OK may store.
    if (hit && hit->ClickTakesKeys() && !StoresOnlyConfirmed() &&
        dynamic_cast<LEditText*>(FocusedLeaf()))
        fFocus.Set(nullptr);
}

void LFrame::EndOpenEditsOfAllWindows() {
    EndOpenEditsOfWindowsUnder(nullptr);
}

void LFrame::EndOpenEditsOfWindowsUnder(const LHandler* owner) {
    auto under = [owner](const LHandler* h) {
        if (!owner) return true;
        for (; h; h = h->Parent())
            if (h == owner) return true;
        return false;
    };
    // Gathered first: a stored value may show or hide windows.
    std::vector<LWindow*> windows;
    for (LWindow* w = LDesktop::NextVisibleWindow(nullptr); w; w = LDesktop::NextVisibleWindow(w))
        windows.push_back(w);
    for (LWindow* w : windows) {
        bool still = false;
        for (LWindow* v = LDesktop::NextVisibleWindow(nullptr); v && !still;
             v = LDesktop::NextVisibleWindow(v))
            still = v == w;
        LFrame* frame = still ? w->GetFrame() : nullptr;
        if (frame && !frame->StoresOnlyConfirmed() && under(frame)) frame->EndOpenEdit(true);
    }
}

bool LFrame::AdvanceFocus(u32 direction, bool restart) {
    if (!restart) {
        if (LPane* focus = fFocus.Get()) {
            if (focus->AdvanceFocus(direction, false)) return true;
        }
    } else {
        fFocus.Set(nullptr);
    }
    return AdvanceFocusInOrder(direction);
}

bool LFrame::FocusNearest(LPoint pt) {
    const LPoint p{pt.x - fBounds.left, pt.y - fBounds.top};
    struct Cand {
        i32 dist;
        LPane* pane;
    };
    std::vector<Cand> cands;
    ForEachChild(fChildren, [&](LPane* c) {
        if (!c->IsUsable()) return;
        const LRect r = c->Bounds();
        const i32 dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - r.right + 1 : 0);
        const i32 dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - r.bottom + 1 : 0);
        cands.push_back({std::max(dx, dy), c});
    });
    std::stable_sort(cands.begin(), cands.end(),
                     [](const Cand& a, const Cand& b) { return a.dist < b.dist; });
    fFocus.Set(nullptr);
    for (const Cand& c : cands) {
        if (!IsChildOf(fChildren, c.pane)) continue;
        if (c.pane->FocusNearest(p)) return true;
        c.pane->AdvanceFocus(0, true);
        if (fFocus.Get()) return true;
    }
    return false;
}
