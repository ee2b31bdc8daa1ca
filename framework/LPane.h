#pragma once
// Panes: the view nodes of every window. A pane is a handler with a container
// pane, bounds in the container's coordinates and one state word that changes
// only through the numbered state operations of SetState.

#include "base/LList.h"
#include "base/LRect.h"
#include "framework/LDrawCtx.h"
#include "framework/LHandler.h"
#include "framework/LRgn.h"

inline constexpr const char* LPane_Constructing = "LPane_Constructing";
inline constexpr const char* LPane_Destructing = "LPane_Destructing";
inline constexpr const char* LPane_ReqFocus = "LPane_ReqFocus";
inline constexpr const char* LPane_ReqCapture = "LPane_ReqCapture";
inline constexpr const char* LPane_Pref = "LPane_Pref";
inline constexpr const char* LPane_UpdateNow = "LPane_UpdateNow";
inline constexpr const char* LPane_Defer = "LPane_Defer";
inline constexpr const char* LPane_Deferred = "LPane_Deferred";
inline constexpr const char* LPane_Focus = "LPane_Focus";
inline constexpr const char* LPane_Unfocus = "LPane_Unfocus";

// The hint that asks a frame for the least size its content stays whole in:
// what its layout's MinW and MinH give, 0 where it gives none (it may then be
// squeezed to anything).
inline constexpr i32 kPrefLeast = -20;

class LPane : public LHandler, public LLink {
public:
    // State word bits.
    enum : u32 {
        kVisible = 0x1,
        kEnabled = 0x2,
        kContainerShown = 0x4,
        kContainerActive = 0x8,
        kDimmed = 0x10,
        kContainerDimmed = 0x20,
        kFocused = 0x40,
        kWindowKey = 0x80,
        kTabStop = 0x100,
        kRingOutside = 0x200,
        kRingShown = 0x400,
        kClickFocus = 0x800,
        kOpaque = 0x1000,
    };
    // State operations.
    enum : u32 {
        kOpShow = 0,
        kOpHide = 1,
        kOpEnable = 2,
        kOpDisable = 3,
        kOpContainerShown = 4,
        kOpContainerHidden = 5,
        kOpContainerActive = 6,
        kOpContainerInactive = 7,
        kOpMoved = 8,
        kOpBackground = 9,
        kOpFocus = 10,
        kOpUnfocus = 11,
        kOpDim = 12,
        kOpUndim = 13,
        kOpContainerDim = 14,
        kOpContainerUndim = 15,
        kOpWindowKey = 16,
        kOpWindowUnkey = 17,
        kOpNoTabStop = 18,
        kOpTabStopRingInside = 19,
        kOpTabStopRingOutside = 20,
        kOpClickFocus = 21,
        kOpNoClickFocus = 22,
        kOpStyleChanged = 23,
    };
    static constexpr i32 kRingWidth = 3;

    // Announces itself to the container with "LPane_Constructing".
    LPane(LHandler* parent, LPane* container);
    // Hides the pane (dropping the focus), then announces "LPane_Destructing".
    ~LPane() override;

    LMessage HandleMessage(const LMessage& msg) override;
    virtual void FillDrawEnv(LDrawEnv& env);
    // Regions in the container's coordinates: what to redraw, and what also needs its background.
    virtual void InvalidateRect(const LRgn& redraw, const LRgn& erase);
    virtual void StateChanged(u32 op);
    virtual void BoundsChanged(const LRect& old);
    virtual i32 TouchesRgn(const LRgn& region);
    virtual LPane* FindFocusable();
    virtual LPane* FindPaneAt(LPoint pt);
    // hint >= 0: the other dimension offered (0 none); negative hints ask for other metrics.
    virtual i32 GetPrefWidth(LDrawCtx* ctx, i32 hint);
    virtual i32 GetPrefHeight(LDrawCtx* ctx, i32 hint);
    virtual void Draw(LDrawCtx& ctx);
    virtual bool FocusNearest(LPoint pt);
    virtual bool AdvanceFocus(u32 direction, bool restart);
    // Ends what typing left open in the focused field below this pane as losing
    // the focus would (store), or drops it (Cancel): the field then ends nothing
    // more when the focus or the pane goes.
    virtual void EndOpenEdit(bool store);
    // The child that holds the keyboard focus inside this pane, or null.
    virtual LPane* FocusedChild() const { return nullptr; }
    // Whether a click on it takes the keyboard from a field being edited
    // elsewhere in its window, as the desktop's buttons, check boxes, pop-ups
    // and sliders take it.
    virtual bool ClickTakesKeys() const { return false; }

    void SetState(u32 op);
    void SetBounds(const LRect& rect);
    void GetDrawEnv(LDrawEnv* out);
    void GetContainerDrawEnv(LDrawEnv* out);
    void* GetNativeWindow();
    // x in the low and y in the high 32 bits.
    u64 GetTopLeftIn(LPane* other);
    void RequestClickFocus();
    // Asks for the keyboard focus (see PassFocusRequest).
    void RequestFocus();
    void RequestUpdateNow();

    bool IsShown() const { return (fState & 0x5) == 0x5; }
    bool IsUsable() const { return (fState & 0x3) == 0x3; }
    bool IsFocusable() const { return (fState & 0xF) == 0xF; }
    bool IsHitTestable() const { return (fState & 0x13) == 0x3; }

    // The band the focus ring covers for given bounds (empty without a tab stop).
    LRgn RingArea(const LRect& bounds) const;
    // Fills the ring band with the focus-ring pen; the context is in the container's coordinates.
    void DrawFocusRing(LDrawCtx& ctx);

    // Takes ownership of node; it is deleted with the pane.
    void AddAttachment(LLink* node);

    u32 State() const { return fState; }
    const LRect& Bounds() const { return fBounds; }
    LPane* Container() const { return fContainer; }

    static u32 UnpackX(u64 packed) { return u32(packed); }
    static u32 UnpackY(u64 packed) { return u32(packed >> 32); }

protected:
    void UpdateRing();
    // The focus request of this pane. Its parent hears it, since the handlers
    // that command a pane may watch it. A view handler may own a pane that
    // sits in a frame of the window, though, and its parent chain then never
    // meets the frames: the container hears the request first in that case,
    // so that the focus still climbs the frames to the window and the menu
    // target finds the pane. Answers the request for the parent.
    LMessage PassFocusRequest();
    // Whether the parent chain meets the container (always true without one).
    bool ParentsReachContainer() const;

    u32 fState = 3;
    LPane* fContainer;
    LRect fBounds;
    LList* fAttachments = nullptr;
};

// A frame's focus pointer: the pane losing it gets op 11 before it is replaced.
struct FocusSlot {
    void Set(LPane* pane);
    void Forget(LPane* pane) {
        if (fPane == pane) fPane = nullptr;
    }
    LPane* Get() const { return fPane; }

    LPane* fPane = nullptr;
};
