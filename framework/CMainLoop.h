#pragma once
// The root of every handler chain and the run loop beneath it. CMainLoopBase is
// the base of the application object: it serves the deferred list, modal turns,
// mouse capture, unused keys and the standard application commands. CMainLoop
// is the run loop: the platform derives its native side from it (one native
// timer, modal steps, termination, update passes); the framework part here
// keeps the modal stack, the quit protocol and the timer service.

#include "base/LArray.h"
#include "base/LRect.h"
#include "base/LString.h"
#include "framework/LHandler.h"

class CMainLoopBase;
class LMenuBar;
class LPane;
class LWindow;

inline constexpr const char* CMainLoopBase_Quit = "CMainLoopBase_Quit";
inline constexpr const char* CMainLoopBase_Switch = "CMainLoopBase_Switch";
inline constexpr const char* CMainLoopBase_Deferred = "CMainLoopBase_Deferred";
inline constexpr const char* CExtCmd_Open = "CExtCmd_Open";
inline constexpr const char* CExtCmd_AE = "CExtCmd_AE";

// The modal stack and the mouse capture.
class CMouseTracker : public LHandler {
public:
    explicit CMouseTracker(CMainLoopBase* owner);
    ~CMouseTracker() override;

    // One turn of the native event loop for the top of the modal stack, waiting
    // clamp(LTimer::NextWaitMs, 10, 1000) ms at most.
    virtual void RunModalStep() = 0;
    // Asks the platform to end the application.
    virtual void Terminate() = 0;
    // Asks for a window-update pass, after which "CMainLoopBase_Deferred" comes.
    virtual void RequestUpdate() = 0;

    // Releases a capture that a visible dialog would strand, then runs one
    // modal step with the handler on top of the modal stack.
    void RunModalTurn(LHandler* handler);
    void SetCapture(LPane* pane);
    void ReleaseCapture();

    LHandler* ModalTop() const;
    u32 ModalDepth() const { return fModal.Count(); }
    // Something under way runs the event loop below the main loop's own turn:
    // a modal turn, or a wait for a window to reach the screen.
    bool StepInHand() const { return ModalDepth() > 0 || fNestedWaits > 0; }

    // The main-loop object of the running application, or null.
    static CMainLoopBase* Owner();

    LArray fModal;  // LHandler*, the last is the top
    u32 fNestedWaits = 0;
    u8 fActive = 1;
    // The application is ending while dialogs are open: each ends as cancelled
    // at its next turn and none opens any more, so that the stack unwinds to
    // the main loop before anything is torn down.
    u8 fEnding = 0;
};

class CMainLoop : public CMouseTracker {
public:
    // Builds the application menu bar "APP" with the owner as its parent.
    explicit CMainLoop(CMainLoopBase* owner);
    ~CMainLoop() override;

    // The quit request that comes back unconsumed clears the refusal.
    LMessage HandleMessage(const LMessage& msg) override;

    // Arms the one native timer to fire after ms.
    virtual void ArmNativeTimer(u32 ms) = 0;

    // Re-arms the native timer to the next framework deadline (never sooner
    // than 10 ms); a wait of 0 runs at the next turn.
    void RearmTimer();
    // The native timer's callback: wheel, due timers, re-arm; then, given the
    // mouse position (null inside native event tracking), the cursor owner.
    void TimerFired(const LPoint* mousePos);
    // Sends every due framework timer once.
    void FireDueTimers();
    // The system asks to quit: true when nobody refused. Open edits are ended
    // first, as Return would, so that what was typed is sent with the rest.
    // Not re-entered: a request during one under way is refused. True also when
    // the end became forced meanwhile.
    bool RunQuitProtocol();
    // The Quit command: terminates unless a handler refuses. Asked while a
    // step is in hand (a modal turn is on the stack), it waits for the step.
    void RequestQuit();
    // The session ends (SIGTERM, SIGHUP, SIGINT): the quit protocol runs with
    // fEndForced set, so that handlers make ready rather than refuse, and with
    // fEnding set, so that no dialog waits for an answer; then terminates
    // whatever the handlers said. During a quit under way, that quit becomes
    // the forced end and terminates. Asked while a step is in hand, fEnding
    // ends its questions and waits at once, and the protocol runs once the
    // step has returned to the main loop. Once forced, a further request does
    // nothing.
    void RequestEnd();
    // The main loop's turn: a quit or an end asked during a step runs now that
    // no modal turn is on the stack. True when one ran.
    bool RunPendingEnd();
    // Once per pass of the event loop, before windows update; not re-entered.
    void SendDeferred();
    // Activation of the application.
    void SetActive(bool active);
    // Sends "CExtCmd_Open" with the paths (none for launch or an untitled request).
    void OpenFiles(const LString* paths, u32 count);
    // Gathers a wheel event until the next timer firing.
    void AddWheel(LWindow* window, i32 x, i32 y, i32 dx, i32 dy, u32 modifiers);
    // Resets the items and sends "LMenuBar_Ready" up from the menu target.
    void ValidateMenus();
    // The native Quit item is enabled only while an enabled item carries Quit.
    static bool IsQuitEnabled();

    LMenuBar* AppMenuBar() const { return fAppBar; }
    static CMainLoop* Current();

    u8 fQuitRefused = 0;
    u8 fInQuit = 0;
    // The end cannot be refused: whatever is under way is given up.
    u8 fEndForced = 0;
    // Asked while a step was in hand; served by RunPendingEnd.
    u8 fEndPending = 0;
    u8 fQuitPending = 0;
    u32 fEndAskedMs = 0;
    // How long a step in hand may keep a forced end waiting: its waits on a
    // device end at once and a card write gives a silent device two seconds,
    // so only a modal loop that never ends by itself reaches this.
    static constexpr u32 kStepEndLimitMs = 10000;
    u8 fImmediatePending = 0;
    u8 fTrackingSuspended = 0;
    i32 fWheelDx = 0;
    i32 fWheelDy = 0;
    LWindow* fWheelWindow = nullptr;
    i32 fWheelX = 0;
    i32 fWheelY = 0;
    u32 fWheelModifiers = 0;

private:
    LMenuBar* fAppBar = nullptr;
};

class CMainLoopBase : public LHandler {
public:
    CMainLoopBase();
    ~CMainLoopBase() override;

    LMessage HandleMessage(const LMessage& msg) override;

    CMainLoop* RunLoop() const { return fRunLoop; }
    const LArray& Deferred() const { return fDeferred; }
    // Drops every deferred entry of the pane.
    void ForgetPane(LPane* pane);

    // Runs the about box (with the dialogs, StdDialogs.cpp).
    virtual void ShowAbout();
    // Makes the view-preferences window the first time and shows it (CViewPrefsDlg.cpp).
    virtual void ShowViewPrefs();
    // Help is offered only when there is something to show; this system ships none.
    virtual bool HasHelp() const { return false; }

protected:
    void DeferredPass();
    void HandleDelete();
    void HandleChar();

    LArray fDeferred;  // LPane*
    CMainLoop* fRunLoop = nullptr;
    LHandler* fPrefsWindow = nullptr;
};

// The handler that receives menu commands: the focused pane of the key
// window's frame (or the frame); without a key window the object's parent.
LHandler* FindMenuTarget(LHandler* object);
// Recomputes the cursor owner after the mouse moved.
void MouseResendCursor(CMainLoop* loop);
// A dying pane leaves the deferred list, the mouse capture and the hover pane, also when its
// "LHandler_Destructing" never reaches the root.
void ForgetDyingPane(LPane* pane);
// 1 stops the main loop from polling the mouse while a native drag runs.
void SetMouseTrackingSuspended(i32 flag);

// Paths to open, growing to 2 x count + 2 when full.
class CPathArray {
public:
    CPathArray() = default;
    ~CPathArray();
    CPathArray(const CPathArray&) = delete;
    CPathArray& operator=(const CPathArray&) = delete;

    bool Insert(const LString& path, u32 index);
    void Remove(u32 index);
    void Clear();
    u32 Count() const { return fCount; }
    const LString& At(u32 i) const { return fPaths[i]; }

private:
    u32 fCount = 0;
    u32 fCapacity = 0;
    LString* fPaths = nullptr;
};

// What the system hands the application: files to open, or another request
// that comes back unconsumed when nobody handled it.
class CExtCmd : public LHandler {
public:
    explicit CExtCmd(const LString& text = LString());
    LMessage HandleMessage(const LMessage& msg) override;
    void AddFile(const LString& path) { fPaths.Insert(path, fPaths.Count()); }

    LString fText;
    CPathArray fPaths;
    void* fEvent = nullptr;
    void* fReply = nullptr;
    u8 fHandled = 0;
};
