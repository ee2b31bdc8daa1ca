#pragma once
// Framework windows as Qt top-level widgets. Each LWindow gets an MWindow (the
// top-level, with a layout that leaves room for a menu bar above the content)
// holding an MWindowView, the content view that turns paint, mouse, wheel and
// key events into the framework's messages. Qt keeps no stacking order of its
// own that we could read, so the services keep a front-to-back list, updated
// on show, hide, raise and activation.

#include <QMouseEvent>
#include <QVBoxLayout>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

#include "services/WindowServices.h"

class LWindow;
class MWindowView;
class QtPainterGraphics;

class MWindow : public QWidget {
public:
    MWindow(u32 type, u32 kind);
    ~MWindow() override;

    LWindow* Owner() const { return fOwner; }
    MWindowView* View() const { return fView; }
    // Where a menu bar goes (setMenuBar) above the content view.
    QVBoxLayout* Layout() const { return fLayout; }
    u32 Type() const { return fType; }
    u32 Kind() const { return fKind; }
    bool Closable() const;
    bool Resizable() const;
    // The content view's rectangle on the screen.
    LRect ContentRect() const;
    // Milliseconds since the window last became active; large when never.
    u32 ActiveForMs() const;

    // Sends "LWindow_Place" when the content moved or changed size since the
    // last report.
    void ReportPlace();
    // The framework's size limits for a content size: the placer's answer.
    QSize BoundSize(QSize wanted, QSize* minimum, QSize* maximum);
    // Gives the window manager the placer's limits; a size outside them is put back.
    void ApplyLimits();
    // Makes the window at least as wide as its menu bar needs to show every title.
    void WidenForBar(int barWidth);
    // Puts the windows that were in front of this one when it last became
    // active back in front of it, the frontmost active again.
    void PutBackInFront();

    LWindow* fOwner = nullptr;
    // The window this one stays above (set again each time it is shown).
    QPointer<QWidget> fAbove;

protected:
    bool event(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    void Post(const char* name);

    u32 fType;
    u32 fKind;
    QVBoxLayout* fLayout;
    MWindowView* fView;
    LRect fPlaced;
    u32 fActivatedAt = 0;
    bool fEverActive = false;
    std::vector<QPointer<MWindow>> fInFrontBefore;
    bool fBounding = false;
};

// The content view. Native controls (later) become its children; it receives
// every press first.
class MWindowView : public QWidget {
public:
    explicit MWindowView(MWindow* window);

    MWindow* Window() const { return fWindow; }
    // A drag starts from this view: a press that came while the window was
    // not in front leaves it behind the windows that were.
    void DragBegins();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    MWindow* fWindow;
    u32 fKeyDepth = 0;
    bool fInMouseDown = false;
    // A release that came while its press was still being handled, kept for
    // when the press is through.
    std::unique_ptr<QMouseEvent> fHeldRelease;
    // The press came while the window was not in front and a pane took it.
    bool fOrderOnRelease = false;
    // The window manager brought the window forward for that press.
    bool fBroughtForward = false;
};

class QtWindowServices : public LWindowServices {
public:
    QtWindowServices();
    ~QtWindowServices() override;

    static QtWindowServices* Instance();

    CMainLoop* NewMainLoop(CMainLoopBase* owner) override;
    LNativeWindow CreateWindow(LWindow* window, LNativeWindow owner, u32 type, u32 kind) override;
    void ReleaseWindow(LNativeWindow window) override;
    void AttachWindow(LWindow* window, LNativeWindow native) override;
    void DetachWindow(LNativeWindow native) override;
    LRect GetContentRect(LNativeWindow window) override;
    LRect GetFrameRect(LNativeWindow window) override;
    LRect FrameRectForContent(LNativeWindow window, const LRect& content) override;
    void SetContentRect(LNativeWindow window, const LRect& content) override;
    bool IsResizable(LNativeWindow window) override;
    bool IsClosable(LNativeWindow window) override;
    void SetTitle(LNativeWindow window, const LString& title) override;
    void InvalidateRect(LNativeWindow window, const LRect& rect) override;
    void UpdateNow(LNativeWindow window) override;
    LNativeGraphics* PaintGraphics(LNativeWindow window) override;
    LNativeWindow FrontWindow() override;
    LNativeWindow NextWindow(LNativeWindow window) override;
    bool IsVisible(LNativeWindow window) override;
    bool IsMinimized(LNativeWindow window) override;
    LNativeWindow KeyWindow() override;
    LNativeWindow WindowAtScreenPoint(LPoint pt) override;
    bool IsAppHidden() override { return false; }
    void MakeKeyAndOrderFront(LNativeWindow window) override;
    void OrderFront(LNativeWindow window) override;
    void OrderBehind(LNativeWindow window, LNativeWindow other) override;
    void OrderOut(LNativeWindow window) override;
    void KeepAbove(LNativeWindow window, LNativeWindow owner) override;
    void WaitUntilOnScreen(LNativeWindow window) override;
    bool GetDisplay(u32 index, LDisplay* out) override;
    u32 MainDisplayId() override;
    i32 DoubleClickIntervalMs() override;
    void SetStdCursor(u32 kind) override;
    i32 SeparatorWidth() override { return 1; }
    void DrawSeparator(LNativeGraphics& g, const LRect& rect) override;

    // The window list, front to back (shown windows only).
    const std::vector<MWindow*>& Order() const { return fOrder; }
    void MoveToFront(MWindow* w);
    void Forget(MWindow* w);
    // Raises the shown floating panels over the other windows, keeping their order.
    void RaisePanels();
    // Brings the dialog that blocks the program (restored, in front, active)
    // once the current event is through; nothing when none blocks it. The
    // toolkit's own (a file panel) too.
    static void BringBlockingForward();
    // A window of the toolkit's own (the font panel, a file panel) restored
    // when minimised and raised; given the keys only when activate.
    static void BringToolkitWindowForward(QWidget* w, bool activate);
    std::vector<LString> ToolkitPanels() override;
    void BringToolkitPanelForward(const LString& title) override;

    // Set by the content view around "LWindow_Update".
    MWindow* fPainting = nullptr;
    QtPainterGraphics* fPaintGraphics = nullptr;
    // The longest ShowWindow waits for a window to reach the screen.
    u32 fOnScreenWaitMs = 500;

private:
    void ShowBeforeOrdering(MWindow* w, bool activate);
    static void TieToAbove(MWindow* w);

    std::vector<MWindow*> fOrder;
    std::vector<QScreen*> fScreens;
    // Watches the toolkit's windows, which are no MWindow, for a minimise.
    std::unique_ptr<QObject> fToolkitWatch;
};

MWindow* AsMWindow(LNativeWindow native);
