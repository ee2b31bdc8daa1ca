#pragma once
// The drag source: an invisible pane that holds the mouse from a press on, asks
// its parent for an image and the items once the pointer has moved 4 pixels,
// runs the platform drag and reports its end. Also the drawing context over an
// offscreen bitmap that paints the drag image, and the window kind of
// floating panels.

#include "base/LScrap.h"
#include "framework/LListPane.h"
#include "framework/LOffscreen.h"
#include "framework/LTimer.h"
#include "framework/LWindow.h"

inline constexpr const char* CDragger_Drag = "CDragger_Drag";
inline constexpr const char* CDragger_End = "CDragger_End";

class CDragger : public LPane {
public:
    enum : u32 { kNotStarted = 0, kNotDropped = 1, kDropped = 2 };

    static CDragger* New(LPane* owner);
    ~CDragger() override;

    LMessage HandleMessage(const LMessage& msg) override;

    // Takes over the reference (null: none); the old data is released.
    void SetData(LScrapData* data);
    void SetImageRgn(const LRgn& screenRgn) { fImage = screenRgn; }
    u32 DragState() const { return fDragState; }
    LPoint StartPoint() const { return fStart; }
    const LRgn& ImageRgn() const { return fImage; }
    LScrapData* Data() const { return fData; }

    // The cell rectangles of the selected cells, in the list's order, whose
    // rows lie among the first `rows` visible ones, in screen coordinates.
    static LRgn SelectionImage(LListPane* list, bool columnMajor, i32 rows);

private:
    explicit CDragger(LPane* owner);
    void RunDrag();

    bool MovedFar(LPoint p) const;
    LMessage BeginDrag();

    u32 fDragState = kNotStarted;
    LPoint fStart;
    // One turn after it is made: the pointer may be far enough already.
    LTimer fMovedAlready{this};
    LScrapData* fData = nullptr;
    LRgn fImage;
};

// A drawing context over an offscreen bitmap, clipped to its size.
class COffscreenBitmap : public LDrawCtx {
public:
    explicit COffscreenBitmap(LOffscreen* offscreen);
    ~COffscreenBitmap() override;
    bool IsReady() const { return fNative != nullptr; }

private:
    LOffscreenRef fOff;
};

// The window kind of floating panels. Styles: 1 titled, closable, utility; 2
// titled, miniaturizable, resizable, utility; 3 and 4 titled, closable,
// miniaturizable, resizable, utility; 5 titled, utility; 6 borderless and
// blind to the mouse. Flags: bit 0 stays shown when the application is
// inactive (clear: becomes key only when needed); bit 1 the raised level.
class CFloatPanel : public LWindowKind {
public:
    enum : u32 { kTitled = 1, kClosable = 2, kMiniaturizable = 4, kResizable = 8, kUtility = 16 };
    enum : u32 { kKeepOnDeactivate = 1, kRaisedLevel = 2 };

    CFloatPanel(u32 style, u32 flags);
    LNativeWindow CreateNative(LWindow* window, LNativeWindow owner, u32 type) override;

    // The style mask of the panel's window.
    u32 StyleMask() const;
    // The window kind with the title-bar controls of a style mask.
    static u32 NativeKind(u32 styleMask);
    bool IgnoresMouse() const { return fStyle == 6; }
    bool BecomesKeyOnlyIfNeeded() const { return !(fFlags & kKeepOnDeactivate); }
    bool HidesOnDeactivate() const { return !(fFlags & kKeepOnDeactivate); }
    bool IsRaised() const { return fFlags & kRaisedLevel; }
    // Where a new panel's content starts, in framework screen coordinates.
    static LRect InitialContent() { return LRect(40, 40, 200, 160); }

    u32 fStyle;
    u32 fFlags;
};
