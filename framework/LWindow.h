#pragma once
// The framework's handle on a platform window, the desktop that creates, shows
// and orders windows and knows the screens, and the placer that bounds a resize.

#include "base/LList.h"
#include "base/LRect.h"
#include "base/LRef.h"
#include "framework/LHandler.h"
#include "services/WindowServices.h"

class LFrame;
class LMenuItem;

inline constexpr const char* LWindow_Close = "LWindow_Close";
inline constexpr const char* LWindow_Activate = "LWindow_Activate";
inline constexpr const char* LWindow_Deativate = "LWindow_Deativate";
inline constexpr const char* LWindow_Update = "LWindow_Update";
inline constexpr const char* LWindow_Click = "LWindow_Click";
inline constexpr const char* LWindow_Cursor = "LWindow_Cursor";
inline constexpr const char* LWindow_Wheel = "LWindow_Wheel";
inline constexpr const char* LWindow_Place = "LWindow_Place";
inline constexpr const char* LWindow_Bkgnd = "LWindow_Bkgnd";
inline constexpr const char* LWindow_Context = "LWindow_Context";
inline constexpr const char* LWindow_Focus = "LWindow_Focus";
inline constexpr const char* LWindow_Unfocus = "LWindow_Unfocus";

inline constexpr const char* LWindowPlacer_Grow = "LWindowPlacer_Grow";
inline constexpr const char* LWindowPlacer_Sizing = "LWindowPlacer_Sizing";
inline constexpr const char* LWindowPlacer_Prefer = "LWindowPlacer_Prefer";

// Sent by the view preferences; also by the desktop to a window's frame before
// the window is first shown, so that the frame lays itself out.
inline constexpr const char* CViewPrefs_Changed = "CViewPrefs_Changed";

// Window types.
enum : u32 { kWindowOrdinary = 1, kWindowFloating = 2, kWindowDialog = 3 };

// The native style of a window (kinds 0 to 12); makes and releases the native
// window of every framework window of that kind.
class LWindowKind : public LRefObj {
public:
    explicit LWindowKind(u32 kind) : LRefObj(1), fKind(kind) {}
    virtual LNativeWindow CreateNative(LWindow* window, LNativeWindow owner, u32 type);
    virtual void ReleaseNative(LNativeWindow native);

    u32 fKind;
};
using LWindowKindRef = TRef<LWindowKind>;

// An object handed to a window with the construction options; the window
// deletes it.
class LWindowAdoptee {
public:
    virtual ~LWindowAdoptee() = default;
};

// Construction options of frames and dialogs. A window kind makes the frame
// top-level with a window of its own.
struct LPaneOpt {
    u32 type = kWindowOrdinary;
    LWindowKindRef kind;
    LWindowAdoptee* adopt = nullptr;  // an object the window takes over

    static const LPaneOpt& Default();
    // Options for a top-level frame of a window type and native kind.
    static LPaneOpt Window(u32 type, u32 kind);
};

class LWindow : public LHandler, public LLink {
public:
    LWindow(const LPaneOpt& options, LFrame* frame, LNativeWindow owner);
    ~LWindow() override;

    LFrame* GetFrame() const;
    LNativeWindow Native() const { return fNative; }
    u32 Type() const { return fType; }

    // Takes ownership of the object, deleting the one held before.
    void AdoptKind(LWindowAdoptee* object);

    LRect GetContentScreenRect() const;
    LRect GetFrameRect() const;
    LRect FrameRectForContent(const LRect& content) const;
    void SetContentRect(const LRect& content);
    bool IsResizable() const;
    bool IsClosable() const;
    bool IsVisible() const;
    void SetTitle(const LString& title);
    const LString& Title() const { return fTitle; }
    // The window's entry in the Window menu (null until it is listed there).
    LMenuItem* fMenuEntry = nullptr;
    void InvalidateRect(const LRect& rect);
    void UpdateNow();
    void MakeKey();

    static LWindow* FindByNative(LNativeWindow native);
    // The window after the given one in the window list (the first for null).
    static LWindow* NextWindow(LWindow* window);

private:
    friend class LDesktop;
    LString fTitle;
    LWindowKindRef fKind;
    u32 fType;
    LNativeWindow fNative = nullptr;
    LWindowAdoptee* fAdopted = nullptr;
};

class LDesktop {
public:
    LDesktop();
    virtual ~LDesktop();
    LDesktop(const LDesktop&) = delete;
    LDesktop& operator=(const LDesktop&) = delete;

    static LDesktop* Instance();

    virtual LNativeWindow CreateWindow(LWindow* window, LNativeWindow owner,
                                       const LPaneOpt& options);
    virtual void ReleaseWindow(LWindow* window);
    virtual void ShowWindow(LWindow* window);
    virtual void ShowWindowNoActivate(LWindow* window);
    virtual void HideWindow(LWindow* window);
    // Hides the window, then deletes it.
    virtual void DestroyWindow(LWindow* window);

    static LNativeWindow GetNSWindow(LWindow* window);
    // Front to back after the given window (from the front for null): the next
    // visible native window that belongs to a framework window.
    static LWindow* NextVisibleWindow(LWindow* window);
    // The frontmost visible window of that type.
    static LWindow* FindWindowById(u32 type);
    // The display whose bounds overlap the rectangle most (the earlier on a
    // tie); 0 when none does.
    static u32 ScreenWithLargestOverlap(const LRect& rect);
    static LRect DesktopBounds(bool excludeMain);
    static void FitWindowToScreen(LWindow* window, LRect* rect);
    static void FitWindowRect(LWindow* window, const LRect& rect);
    // The union of the rectangle's intersections with the visible screen areas.
    static void FitRectToScreens(LRect* rect);
    static bool GetDisplayById(u32 id, LDisplay* out);

    // Sends "CViewPrefs_Changed" from the view preferences to a frame.
    static void SendViewPrefsChanged(LHandler* frame);
};

// Bounds a resize of a window: its minimum and maximum content size. The frame
// being placed answers "LWindowPlacer_Grow", its chain "LWindowPlacer_Sizing".
class LWindowPlacer : public LHandler {
public:
    LWindowPlacer(LWindow* window, bool wholeDesktop);

    void SetSizeAndMax(i32 minW, i32 minH, i32 maxW, i32 maxH);
    void SetSize(i32 w, i32 h);

    LWindow* fWindow;
    i32 fWidth = 0;
    i32 fHeight = 0;
    i32 fMinWidth = 0;
    i32 fMinHeight = 0;
    i32 fMaxWidth = 0;
    i32 fMaxHeight = 0;
    LRect fUsable;
};
