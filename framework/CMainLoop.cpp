#include "framework/CMainLoop.h"

#include <algorithm>
#include <new>

#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/LTimer.h"
#include "framework/LWindow.h"
#include "framework/WindowMenuList.h"
#include "services/GraphicsServices.h"
#include "services/WindowServices.h"

namespace {

CMainLoopBase* sOwner = nullptr;
CMainLoop* sLoop = nullptr;
bool sInDeferred = false;

LHandler* DialogHandler() {
    LWindow* w = LDesktop::FindWindowById(kWindowDialog);
    return w ? w->GetFrame() : nullptr;
}

i32 IndexOf(const LArray& list, const void* p, bool last) {
    void* const* items = list.DataAs<void*>();
    const i32 n = i32(list.Count());
    for (i32 k = 0; k < n; ++k) {
        const i32 i = last ? n - 1 - k : k;
        if (items[i] == p) return i;
    }
    return -1;
}

}  // namespace

// ---------------------------------------------------------------- mouse tracker

CMouseTracker::CMouseTracker(CMainLoopBase* owner) : LHandler(owner), fModal(sizeof(LHandler*)) {
    sOwner = owner;
}

CMouseTracker::~CMouseTracker() {
    if (sOwner == fParent) sOwner = nullptr;
}

CMainLoopBase* CMouseTracker::Owner() {
    return sOwner;
}

LHandler* CMouseTracker::ModalTop() const {
    const u32 n = fModal.Count();
    return n ? fModal.DataAs<LHandler*>()[n - 1] : nullptr;
}

void CMouseTracker::RunModalTurn(LHandler* handler) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && mouse->fCapture) {
        // A capture outside the dialog would keep the mouse from it.
        LPane* capture = mouse->fCapture;
        LHandler* dialog = DialogHandler();
        if (dialog && !LHandler::IsInChain(capture, capture->Parent(), dialog)) ReleaseCapture();
    }
    fModal.InsertAt(fModal.Count(), &handler);
    RunModalStep();
    fModal.RemoveAt(fModal.Count() - 1, 1);
}

void CMouseTracker::SetCapture(LPane* pane) {
    LMouse* mouse = LMouse::Instance();
    if (!mouse) return;
    if (mouse->fCapture && mouse->fCapture != pane) ReleaseCapture();
    mouse->fCapture = pane;
}

void CMouseTracker::ReleaseCapture() {
    LMouse* mouse = LMouse::Instance();
    if (!mouse || !mouse->fCapture) return;
    LPane* old = mouse->fCapture;
    mouse->fCapture = nullptr;
    Send(LMouse_Release, mouse, old);
}

// ---------------------------------------------------------------- run loop

CMainLoop::CMainLoop(CMainLoopBase* owner) : CMouseTracker(owner) {
    sLoop = this;
    fAppBar = new LMenuBar(owner, "APP");
}

CMainLoop::~CMainLoop() {
    delete fAppBar;
    fAppBar = nullptr;
    if (sLoop == this) sLoop = nullptr;
}

CMainLoop* CMainLoop::Current() {
    return sLoop;
}

LMessage CMainLoop::HandleMessage(const LMessage& msg) {
    if (msg.source == this && msg.Is(CMainLoopBase_Quit)) {
        fQuitRefused = 0;
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}

void CMainLoop::RearmTimer() {
    if (fImmediatePending) return;
    i32 wait = LTimer::NextWaitMs(ModalTop(), DialogHandler(), fActive);
    // The main loop is to hear of the pending end as soon as the step returns.
    if (fEndPending || fQuitPending) wait = std::min(wait, 10);
    if (wait <= 0) fImmediatePending = 1;
    ArmNativeTimer(u32(std::max(wait, 10)));
}

void CMainLoop::TimerFired(const LPoint* mousePos) {
    fImmediatePending = 0;
    // Before any timer: nothing new starts once the end is due.
    if (RunPendingEnd()) {
        RearmTimer();
        return;
    }
    LMouse* mouse = LMouse::Instance();
    if (fWheelDx || fWheelDy) {
        LWindow* window = fWheelWindow;
        if (mouse)
            mouse->SetWheelEvent(LPoint{fWheelX, fWheelY}, fWheelDx, fWheelDy, fWheelModifiers);
        fWheelDx = fWheelDy = 0;
        fWheelWindow = nullptr;
        if (window) Send(LWindow_Wheel, window, window->GetFrame());
    }
    FireDueTimers();
    RearmTimer();
    if (mousePos && !fTrackingSuspended && mouse) {
        mouse->SetPosition(*mousePos);
        MouseResendCursor(this);
    }
}

void CMainLoop::FireDueTimers() {
    LTimer::FireDue(GraphicsServices().NowMs(), ModalTop(), DialogHandler(), fActive);
}

bool CMainLoop::RunQuitProtocol() {
    if (fInQuit) return false;
    fInQuit = 1;
    LFrame::EndOpenEditsOfAllWindows();
    fQuitRefused = 1;
    Send(CMainLoopBase_Quit, this, fParent);
    fInQuit = 0;
    // An end forced while the handlers ran (a question of theirs was up) cannot
    // be refused: they have made ready for it, and the caller ends the program.
    return !fQuitRefused || fEndForced;
}

void CMainLoop::RequestQuit() {
    if (!fInQuit && StepInHand()) {
        // Its handlers would send, ask and close under a step that is half
        // done (a card write, a view being replaced): the step ends first.
        fQuitPending = 1;
        RearmTimer();
        return;
    }
    if (RunQuitProtocol()) Terminate();
}

void CMainLoop::RequestEnd() {
    // A second signal changes nothing, while the first is being served or
    // after it (the program being taken down, a card write on its way): that
    // one ends the program.
    if (fEndForced) return;
    fEndForced = 1;
    fEnding = 1;
    // A quit under way becomes the forced end: its dialogs end unanswered at
    // their next turn, its handlers then make ready as for any forced end, and
    // it terminates when it returns. Terminating here would start tearing down
    // under handlers that are still sending.
    if (fInQuit) return;
    if (StepInHand()) {
        // A step is in hand: fEnding ends its questions and its waits on a
        // device, and a card write it started ends whole; the handlers make
        // ready for the end only once it has returned, seeing what it left.
        fEndPending = 1;
        fEndAskedMs = GraphicsServices().NowMs();
        RearmTimer();
        return;
    }
    RunQuitProtocol();
    Terminate();
}

bool CMainLoop::RunPendingEnd() {
    if ((!fEndPending && !fQuitPending) || fInQuit) return false;
    // A step still in hand long after the end was asked does not end by itself
    // (a modal loop that is no dialog's): the end goes on under it, as it did
    // before steps were waited for. A Quit waits for it as long as it takes.
    if (StepInHand() &&
        (!fEndPending || u32(GraphicsServices().NowMs() - fEndAskedMs) < kStepEndLimitMs))
        return false;
    const bool forced = fEndPending;
    fEndPending = fQuitPending = 0;
    if (forced) {
        RunQuitProtocol();
        Terminate();
    } else {
        RequestQuit();
    }
    return true;
}

void CMainLoop::SendDeferred() {
    if (sInDeferred) return;
    sInDeferred = true;
    Send(CMainLoopBase_Deferred, this, fParent);
    sInDeferred = false;
}

void CMainLoop::SetActive(bool active) {
    fActive = active ? 1 : 0;
    Send(CMainLoopBase_Switch, this, fParent);
}

void CMainLoop::OpenFiles(const LString* paths, u32 count) {
    CExtCmd cmd;
    for (u32 i = 0; i < count; ++i) cmd.AddFile(paths[i]);
    Send(CExtCmd_Open, &cmd, this);
}

void CMainLoop::AddWheel(LWindow* window, i32 x, i32 y, i32 dx, i32 dy, u32 modifiers) {
    if (!fWheelDx && !fWheelDy) {
        fWheelWindow = window;
        fWheelX = x;
        fWheelY = y;
        fWheelModifiers = modifiers;
    }
    fWheelDx += dx;
    fWheelDy += dy;
}

void CMainLoop::ValidateMenus() {
    LMenuBar* bar = LMenuBar::Current();
    if (!bar) return;
    LHandler* target = FindMenuTarget(this);
    bar->ResetItemStates();
    Send(LMenuBar_Ready, bar, target ? target : bar);
}

bool CMainLoop::IsQuitEnabled() {
    LMenuBar* bar = LMenuBar::Current();
    if (!bar) return false;
    bool enabled = false;
    // Looked up without the interceptor: asking must not choose the item.
    bar->ForEachItem(&enabled, [](void* c, LMenuItem* it) {
        if (it->fEnabled && !it->fSubmenu && it->HasCommand(LStdCmd_Quit))
            *static_cast<bool*>(c) = true;
    });
    return enabled;
}

// ---------------------------------------------------------------- main-loop base

CMainLoopBase::CMainLoopBase() : fDeferred(sizeof(LPane*)) {
    fRunLoop = WindowServices().NewMainLoop(this);
}

CMainLoopBase::~CMainLoopBase() {
    delete fPrefsWindow;
    fPrefsWindow = nullptr;
    delete fRunLoop;
    fRunLoop = nullptr;
}

void CMainLoopBase::HandleDelete() {
    LKeyboard* kb = LKeyboard::Instance();
    LMenuBar* bar = LMenuBar::Current();
    if (fRunLoop) fRunLoop->ValidateMenus();
    LMenuItem* item = bar ? bar->FindEnabledItemByCommand(LStdCmd_Delete) : nullptr;
    if (item) {
        Send(LMenuItem_Selected, item, FindMenuTarget(fRunLoop));
    } else if (kb) {
        kb->fUsed = 0;
    }
}

void CMainLoopBase::HandleChar() {
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb) return;
    LString key;
    // Keys with Command are matched by the native menus themselves.
    if (!kb->HasMenuModifier() && KeyTextFromKeyboard(&key)) {
        if (fRunLoop) fRunLoop->ValidateMenus();
        LMenuBar* bar = LMenuBar::Current();
        if (LMenuItem* item = bar ? bar->FindEnabledItemByKey(key) : nullptr) {
            Send(LMenuItem_Selected, item, FindMenuTarget(fRunLoop));
            return;
        }
    }
    kb->fUsed = 0;
}

void CMainLoopBase::DeferredPass() {
    bool becameEmpty = false;
    for (u32 i = fDeferred.Count(); i > 0;) {
        i = std::min(i, fDeferred.Count());
        if (i == 0) break;
        --i;
        LPane* pane = fDeferred.DataAs<LPane*>()[i];
        fDeferred.RemoveAt(i, 1);
        if (fDeferred.Count() == 0) becameEmpty = true;
        Send(LPane_Deferred, pane, pane);
    }
    if (fDeferred.Count() && !becameEmpty && fRunLoop) fRunLoop->RequestUpdate();
}

LMessage CMainLoopBase::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMenuBar_Ready)) {
        LMenuBar* bar = static_cast<LMenuBar*>(msg.source);
        bar->EnableCommand(LStdCmd_About);
        bar->EnableCommand(LStdCmd_ViewPref);
        bar->EnableCommand(LStdCmd_Help, LString(), !HasHelp());
        SyncWindowMenu(bar);
        return LHandler::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected)) {
        LMenuItem* item = static_cast<LMenuItem*>(msg.source);
        if (SelectWindowMenuEntry(item)) return LMessage();
        if (item->HasCommand(LStdCmd_About)) {
            ShowAbout();
            return LMessage();
        }
        if (item->HasCommand(LStdCmd_ViewPref)) {
            ShowViewPrefs();
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    if (msg.Is(LHandler_Mode)) {
        if (fRunLoop) fRunLoop->RunModalTurn(msg.source);
        return LMessage();
    }
    if (msg.source && msg.source == LMouse::Instance()) {
        if (msg.Is(LMouse_Cursor)) {
            WindowServices().SetStdCursor(kCursorArrow);
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    if (msg.Is(LKeyboard_Down)) {
        LKeyboard* kb = LKeyboard::Instance();
        const u32 low = kb ? (kb->fChar & 0xFF) : 0;
        if (low == 127 || low == 8)
            HandleDelete();
        else if (kb)
            kb->fUsed = 0;
        return LMessage();
    }
    if (msg.Is(LKeyboard_Up)) {
        if (LKeyboard* kb = LKeyboard::Instance()) kb->fUsed = 0;
        return LMessage();
    }
    if (msg.Is(LKeyboard_Char)) {
        HandleChar();
        return LMessage();
    }
    if (msg.Is(LPane_ReqFocus)) {
        static_cast<LPane*>(msg.source)->SetState(LPane::kOpFocus);
        return LMessage();
    }
    if (msg.Is(LPane_ReqCapture)) {
        if (fRunLoop) fRunLoop->SetCapture(static_cast<LPane*>(msg.source));
        return LMessage();
    }
    if (msg.Is(LPane_Defer)) {
        LPane* pane = static_cast<LPane*>(msg.source);
        if (IndexOf(fDeferred, pane, false) < 0) {
            fDeferred.InsertAt(fDeferred.Count(), &pane);
            if (fDeferred.Count() == 1 && fRunLoop) fRunLoop->RequestUpdate();
        }
        return LMessage();
    }
    if (msg.Is(CMainLoopBase_Deferred) && msg.source == fRunLoop) {
        DeferredPass();
        return LMessage();
    }
    if (msg.Is(LHandler_Destructing)) {
        i32 at = IndexOf(fDeferred, msg.source, true);
        if (at >= 0) fDeferred.RemoveAt(u32(at), 1);
        LMouse* mouse = LMouse::Instance();
        if (mouse && mouse->fCapture == msg.source) mouse->fCapture = nullptr;
        return LHandler::HandleMessage(msg);
    }
    return LHandler::HandleMessage(msg);
}

void CMainLoopBase::ForgetPane(LPane* pane) {
    for (i32 at; (at = IndexOf(fDeferred, pane, true)) >= 0;) fDeferred.RemoveAt(u32(at), 1);
}

void ForgetDyingPane(LPane* pane) {
    if (CMainLoopBase* owner = CMouseTracker::Owner()) owner->ForgetPane(pane);
    LMouse* mouse = LMouse::Instance();
    if (mouse && mouse->fCapture == pane) mouse->fCapture = nullptr;
    // A pane in a container that is no frame is never forgotten by a frame.
    LFrame::ForgetHover(pane);
}

// ---------------------------------------------------------------- menu target and cursor

LHandler* FindMenuTarget(LHandler* object) {
    LNativeWindow key = WindowServices().KeyWindow();
    if (!key) return object ? object->Parent() : nullptr;
    LWindow* window = LWindow::FindByNative(key);
    if (!window) return nullptr;
    LFrame* frame = window->GetFrame();
    LPane* focus = frame->FindFocusable();
    return focus ? static_cast<LHandler*>(focus) : frame;
}

void MouseResendCursor(CMainLoop* loop) {
    LMouse* mouse = LMouse::Instance();
    if (!mouse) return;
    if (mouse->fCapture) {
        LHandler::Send(LMouse_Cursor, mouse, mouse->fCapture);
        return;
    }
    LWindow* w = LDesktop::FindWindowById(kWindowDialog);
    if (!w) w = LWindow::FindByNative(WindowServices().WindowAtScreenPoint(mouse->Position()));
    if (w && (w->Type() >= kWindowFloating || w == LDesktop::FindWindowById(w->Type()))) {
        LHandler::Send(LWindow_Cursor, w, w->GetFrame());
        return;
    }
    LFrame::ClearHover();
    if (loop) LHandler::Send(LMouse_Cursor, mouse, loop);
}

void SetMouseTrackingSuspended(i32 flag) {
    if (CMainLoop* loop = CMainLoop::Current()) loop->fTrackingSuspended = flag ? 1 : 0;
}

// ---------------------------------------------------------------- external commands

CPathArray::~CPathArray() {
    Clear();
    delete[] fPaths;
}

bool CPathArray::Insert(const LString& path, u32 index) {
    if (fCount == fCapacity) {
        const u32 cap = 2 * fCount + 2;
        LString* grown = new (std::nothrow) LString[cap];
        if (!grown) return false;
        for (u32 i = 0; i < fCount; ++i) grown[i] = fPaths[i];
        delete[] fPaths;
        fPaths = grown;
        fCapacity = cap;
    }
    index = std::min(index, fCount);
    for (u32 i = fCount; i > index; --i) fPaths[i] = fPaths[i - 1];
    fPaths[index] = path;
    ++fCount;
    return true;
}

void CPathArray::Remove(u32 index) {
    if (index >= fCount) return;
    for (u32 i = index; i + 1 < fCount; ++i) fPaths[i] = fPaths[i + 1];
    --fCount;
    fPaths[fCount] = LString();
}

void CPathArray::Clear() {
    while (fCount) Remove(fCount - 1);
}

CExtCmd::CExtCmd(const LString& text) : fText(text) {}

LMessage CExtCmd::HandleMessage(const LMessage& msg) {
    if (msg.source == this && msg.Is(CExtCmd_AE)) {
        fHandled = 0;
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
