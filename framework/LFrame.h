#pragma once
// Frames: panes that hold panes. A frame keeps its children in drawing order,
// routes window events to the pane under the mouse, keeps the keyboard focus
// among its children, passes state changes down, gathers invalid areas, paints
// an optional background and places its children with its layout script
// ('TLYO': definitions, preferred size, placement). A top-level frame owns a
// window.

#include "base/LArray.h"
#include "base/Resources.h"
#include "framework/LPane.h"
#include "framework/LWindow.h"

class LExprEval;
class LLayoutEval;
class LLayoutVM;
class LWindowMenu;

inline constexpr const char* LFrame_Constructing = "LFrame_Constructing";
inline constexpr const char* LFrame_Destructing = "LFrame_Destructing";
inline constexpr const char* LFrame_Close = "LFrame_Close";
inline constexpr const char* LFrame_Activate = "LFrame_Activate";
inline constexpr const char* LFrame_Deactivate = "LFrame_Deactivate";
inline constexpr const char* LFrame_Place = "LFrame_Place";

class LFrame : public LPane {
public:
    LFrame(LHandler* parent, LPane* container, const LPaneOpt& options = LPaneOpt::Default());
    ~LFrame() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void FillDrawEnv(LDrawEnv& env) override;
    void InvalidateRect(const LRgn& redraw, const LRgn& erase) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    LPane* FindFocusable() override;
    LPane* FindPaneAt(LPoint pt) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;
    bool FocusNearest(LPoint pt) override;
    bool AdvanceFocus(u32 direction, bool restart) override;
    void EndOpenEdit(bool store) override;
    LPane* FocusedChild() const override { return fFocus.Get(); }
    // Whether what is typed into its fields counts only once confirmed (a
    // modal dialog's OK): then closing it, quitting and clicks elsewhere store
    // nothing of an open edit. Other frames store it as Return would.
    virtual bool StoresOnlyConfirmed() const { return false; }
    // Whether no history records what its fields take (a panel whose fields
    // only steer what another window shows), though one is up its chain for
    // the window it serves: Undo and Redo there are the fields' own, and the
    // history above is neither offered nor run from it.
    virtual bool RecordsNoEdits() const { return false; }
    // The innermost focused pane, through the focused frames and lists; null without one.
    LPane* FocusedLeaf() const;
    // Every visible window's open edit ended as Return would (dialogs that
    // store only when confirmed excepted): before quitting, so that a typed
    // value goes out with the rest rather than being lost with its window.
    static void EndOpenEditsOfAllWindows();
    // The same for the windows whose handlers lead to owner: a window that
    // holds owner's view and the windows it opened, before it closes with them.
    static void EndOpenEditsOfWindowsUnder(const LHandler* owner);

    // Hooks around the layout script: set script variables before, place what
    // the script does not place after.
    virtual void PreLayout(LDrawCtx* ctx, LLayoutEval& eval);
    virtual void PostLayout(LDrawCtx* ctx, LLayoutEval& eval);
    virtual void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm);
    virtual void PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm);

    // mode 1: compiled; anything else: interpreted directly.
    void SetLayout(const LStrListHolder& layout, u32 mode);
    // Opens the 'TLYO' of that name and sets it.
    void SetLayoutByName(const char* name, u32 mode, LResSource* source = nullptr);
    bool HasLayout() const;
    void Relayout();
    void RelayoutExact();
    void SetBackColor(const LPenRef& color);
    void SetTitle(const LString& title);
    void ShowWindow();
    void ShowWindowNoActivate();
    void HideWindow();
    void SetWindowBounds(const LRect& rect);
    LRect GetWindowBounds() const;
    void ResizeWindow(const LRect& wanted, LPane* anchor);
    static void ClearHover();
    // Focus traversal over the children in tab order.
    bool AdvanceFocusInOrder(u32 direction);
    // Whether it scrolls any of its content into sight that takes the keys
    // (a scroll frame's port): Tab then reaches what it does not show yet.
    virtual bool RevealsFocus() const { return false; }
    // Whether a child at r (in this frame's coordinates) lies within a frame
    // that scrolls it into sight once it takes the keys.
    bool ScrollsChildIntoSight(LRect r) const;
    // Scrolls by the mouse's wheel event where it can: false when it did not.
    virtual bool ScrollByWheel() { return false; }
    // For the top frame of a view that a handler owns: the frame of the
    // window it sits in; else null.
    LFrame* ViewWindowFrame();
    // A window menu bar merged while the window is active (owned).
    void SetWindowMenu(LWindowMenu* menu);

    LWindow* Window() const { return fWindow; }
    const LList& Children() const { return fChildren; }
    LPane* Focus() const { return fFocus.Get(); }
    const LPenRef& BackColor() const { return fBackground; }
    LLayoutVM* CompiledLayout() const { return fCompiled; }

    // The pane under the mouse in some window, or null.
    static LPane* HoverPane();
    // Forgets the hover pane without messages when it is this one.
    static void ForgetHover(LPane* pane);

protected:
    // The preferred rectangle of the layout (empty without one).
    bool RunPref(LDrawCtx* ctx, LRect* out);
    void LayoutToBounds(LDrawCtx* ctx);
    // A size function of the compiled layout (run after its preferred size),
    // 0 when it has none.
    i32 LayoutLeast(const char* name);
    void RebuildTabOrder();
    // Whether a child at r (in this frame's coordinates) is within every
    // frame around it, or can be scrolled into sight, and so may take the keys.
    bool CanShowChildAt(LRect r) const;
    bool ChildInReach(LRect r, bool scrolledOnly) const;
    LPane* HitPane(LPoint screenPt);
    void UpdateWindowMenu(bool active);
    LFrame* FirstOrdinaryFrame() const;
    // A message from the frame's own window: true when it is a window event,
    // with what to pass on in answer.
    bool HandleWindowEvent(const LMessage& msg, LMessage* answer);
    // A child pane or frame constructed or destructed: true when handled.
    bool HandleChildEvent(const LMessage& msg, LMessage* answer);
    // Before a click on hit acts: ends the open edit unless the click is on
    // the focused pane itself. False when the value was refused and its field
    // kept: the click is then dropped.
    bool EndEditBeforeClick(LPane* hit);
    // Before a click on hit acts, once the edit has ended: a control clicked
    // takes the keys from the field that holds them.
    void FieldLetsGoBeforeClick(LPane* hit);

    LWindow* fWindow = nullptr;
    FocusSlot fFocus;
    LRgn fNoErase;
    LPenRef fBackground;
    LList fChildren;
    LList fWindowChildren;  // frames with windows of their own (no container), owned
    LArray fTabOrder;       // child position + 1
    u8 fFixedOrder = 0;
    LStrListHolder fLayout;
    LLayoutVM* fCompiled = nullptr;
    LWindowMenu* fWindowMenu = nullptr;
};
