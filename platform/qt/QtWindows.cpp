#include "platform/qt/QtWindows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include "base/Clock.h"
#include "framework/InputState.h"
#include "framework/LDialog.h"
#include "framework/LFrame.h"
#include "framework/LWindow.h"
#include "services/WindowKinds.h"
#include "platform/qt/LWindowPort.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtEvents.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/qt/QtPainterGraphics.h"

namespace {

QtWindowServices* sServices = nullptr;
// Frame margins (left, top, right, bottom) seen last on a decorated window; a
// hidden window has none of its own yet.
QMargins sFrameMargins;

// A top-level of the toolkit's own the program shows: a panel, not a menu,
// tooltip or window of the program.
bool IsToolkitPanel(QWidget* w) {
    return w && w->isWindow() && !dynamic_cast<MWindow*>(w) && w->windowType() == Qt::Dialog;
}

// A file panel blocks the program as its own dialogs do, but the window
// manager's minimise reaches no MWindow then: it is watched for here.
class ToolkitWatch : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::WindowStateChange || !o->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(o);
        if (IsToolkitPanel(w) && w->isVisible() && (w->windowState() & Qt::WindowMinimized) &&
            w == QApplication::activeModalWidget())
            QtWindowServices::BringBlockingForward();
        return false;
    }
};

CQtMainLoop* Loop() {
    return static_cast<CQtMainLoop*>(CMainLoop::Current());
}

LRect ToLRect(const QRect& r) {
    return LRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

void SendFromWindow(LWindow* window, const char* name) {
    if (window) LHandler::Send(name, window, window->GetFrame());
}

Qt::WindowFlags FlagsFor(u32 type, u32 kind) {
    const LWindowKindStyle s = WindowKindStyle(kind);
    Qt::WindowFlags f = s.level == kLevelModalPanel ? Qt::Dialog : Qt::Window;
    // Floating panels stay above this program's windows (RaisePanels), not
    // above other programs' windows, as staying on top would.
    if (type == kWindowFloating) f = Qt::Tool;
    if (!s.style) return f | Qt::FramelessWindowHint;
    f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (s.style & kStyleClosable) f |= Qt::WindowCloseButtonHint;
    if (s.style & kStyleMiniaturizable) f |= Qt::WindowMinimizeButtonHint;
    if ((s.style & kStyleResizable) && s.level == kLevelNormal) f |= Qt::WindowMaximizeButtonHint;
    return f;
}

// The offscreen platform keeps no stacking and says so on every raise.
void Raise(QWidget* w) {
    static const bool stacks = QGuiApplication::platformName() != QLatin1String("offscreen");
    if (stacks) w->raise();
}

}  // namespace

MWindow* AsMWindow(LNativeWindow native) {
    return static_cast<MWindow*>(static_cast<QWidget*>(native));
}

// ---------------------------------------------------------------- MWindow

MWindow::MWindow(u32 type, u32 kind)
    : QWidget(nullptr, FlagsFor(type, kind)), fType(type), fKind(kind) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    fLayout = new QVBoxLayout(this);
    fLayout->setContentsMargins(0, 0, 0, 0);
    fLayout->setSpacing(0);
    fView = new MWindowView(this);
    fLayout->addWidget(fView, 1);
    // Qt takes a modality only before the window is first shown.
    if (type == kWindowDialog) setWindowModality(Qt::ApplicationModal);
    setGeometry(40, 40, 120, 80);
    if (!Resizable()) setFixedSize(120, 80);
}

MWindow::~MWindow() {
    if (sServices) sServices->Forget(this);
}

bool MWindow::Closable() const {
    return WindowKindClosable(fKind);
}

bool MWindow::Resizable() const {
    return WindowKindResizable(fKind);
}

LRect MWindow::ContentRect() const {
    fLayout->activate();
    // Until its first show a window's layout leaves the view where it was (the
    // resize event waits for the show): the view is placed now, so that sizes
    // computed from it do not add the stale difference again and again.
    if (!isVisible()) {
        QWidget* bar = fLayout->menuBar();
        const int above = bar ? bar->sizeHint().height() : 0;
        if (bar) bar->setGeometry(0, 0, width(), above);
        fView->setGeometry(0, above, width(), std::max(0, height() - above));
    }
    const QPoint at = geometry().topLeft() + fView->pos();
    return LRect(at.x(), at.y(), at.x() + fView->width(), at.y() + fView->height());
}

u32 MWindow::ActiveForMs() const {
    return fEverActive ? LTickMs() - fActivatedAt : 0xFFFFFFFFu;
}

void MWindow::Post(const char* name) {
    SendFromWindow(fOwner, name);
}

void MWindow::ReportPlace() {
    if (!fOwner) return;
    const LRect now = ContentRect();
    if (now == fPlaced) return;
    fPlaced = now;
    Post(LWindow_Place);
}

QSize MWindow::BoundSize(QSize wanted, QSize* minimum, QSize* maximum) {
    *minimum = QSize(0, 0);
    *maximum = QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (!fOwner) return wanted;
    LWindowPlacer placer(fOwner, false);
    placer.fWidth = wanted.width();
    placer.fHeight = wanted.height();
    LHandler::Send(LWindowPlacer_Grow, &placer, fOwner->GetFrame());
    placer.fWidth =
        std::clamp(placer.fWidth, placer.fMinWidth, std::max(placer.fMinWidth, placer.fMaxWidth));
    placer.fHeight = std::clamp(placer.fHeight, placer.fMinHeight,
                                std::max(placer.fMinHeight, placer.fMaxHeight));
    LHandler::Send(LWindowPlacer_Sizing, &placer, fOwner->GetFrame());
    *minimum = QSize(placer.fMinWidth, placer.fMinHeight);
    *maximum = QSize(std::max(placer.fMinWidth, placer.fMaxWidth),
                     std::max(placer.fMinHeight, placer.fMaxHeight));
    return QSize(placer.fWidth, placer.fHeight);
}

bool MWindow::event(QEvent* e) {
    switch (e->type()) {
        case QEvent::WindowActivate:
            // The window manager hands the keyboard to a window that a dialog
            // blocks (a click on it): the dialog comes forward instead, so that
            // what waits for an answer is what the user sees.
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this)
                QtWindowServices::BringBlockingForward();
            fActivatedAt = LTickMs();
            fEverActive = true;
            if (sServices) {
                // The windows in front until now: a drag that the activating
                // press begins goes on from behind them (PutBackInFront).
                fInFrontBefore.clear();
                for (MWindow* w : sServices->Order()) {
                    if (w == this) break;
                    fInFrontBefore.push_back(w);
                }
                sServices->MoveToFront(this);
                // Floating panels float over every ordinary window of the
                // program, whichever comes forward (the window manager keeps a
                // tool window above its own window at most); dialogs stay
                // above them.
                if (fType == kWindowOrdinary && WindowKindStyle(fKind).level == kLevelNormal)
                    sServices->RaisePanels();
            }
            fView->setFocus(Qt::ActiveWindowFocusReason);
            Post(LWindow_Activate);
            Post(LWindow_Focus);
            break;
        case QEvent::WindowDeactivate:
            Post(LWindow_Unfocus);
            Post(LWindow_Deativate);
            break;
        default:
            break;
    }
    return QWidget::event(e);
}

void MWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    // A dialog blocks every other window of the program while it is up; the
    // window manager minimises it along with the window it belongs to, which
    // would leave the program blocked with nothing on the screen to answer.
    if (e->type() == QEvent::WindowStateChange && fType == kWindowDialog && isVisible() &&
        (windowState() & Qt::WindowMinimized))
        QtWindowServices::BringBlockingForward();
}

void MWindow::closeEvent(QCloseEvent* e) {
    // The framework closes its windows itself.
    e->ignore();
    if (Closable()) {
        Post(LWindow_Close);
        return;
    }
    // The window manager puts a close box on every dialog, also on the kinds
    // that have none: there it answers as the dialog's Escape does (its cancel
    // button, else its default button), never as nothing at all.
    auto* modal = fOwner ? dynamic_cast<LModalFrame*>(fOwner->GetFrame()) : nullptr;
    if (modal && (modal->CancelButton() || modal->DefaultButton())) Post(LWindow_Close);
}

void MWindow::PutBackInFront() {
    std::vector<MWindow*> front;
    for (const QPointer<MWindow>& w : fInFrontBefore)
        if (w && w->isVisible() && w != this) front.push_back(w);
    fInFrontBefore.clear();
    if (front.empty() || !sServices) return;
    for (auto it = front.rbegin(); it != front.rend(); ++it) {
        Raise(*it);
        sServices->MoveToFront(*it);
    }
    front.front()->activateWindow();
}

void MWindow::ApplyLimits() {
    if (!fOwner || !Resizable() || fBounding) return;
    // The window manager keeps a user's resize inside the placer's limits; a
    // size it let through anyway is put back.
    const QSize extra = size() - fView->size();
    QSize lo, hi;
    const QSize want = BoundSize(fView->size(), &lo, &hi);
    fBounding = true;
    setMinimumSize(lo + extra);
    setMaximumSize((hi + extra).boundedTo(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)));
    if (want != fView->size()) resize(want + extra);
    fBounding = false;
}

void MWindow::WidenForBar(int barWidth) {
    if (barWidth <= width()) return;
    // The content follows the wider window: the frame lays itself out again
    // when the place is reported.
    if (!Resizable()) {
        setFixedSize(barWidth, height());
    } else {
        setMinimumWidth(std::max(minimumWidth(), barWidth));
        resize(barWidth, height());
    }
    if (fLayout) fLayout->activate();
    ReportPlace();
}

void MWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (e->spontaneous()) ApplyLimits();
    ReportPlace();
}

void MWindow::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    ReportPlace();
}

// ---------------------------------------------------------------- MWindowView

MWindowView::MWindowView(MWindow* window) : QWidget(window), fWindow(window) {
    setMouseTracking(true);
    // The keyboard focus is the framework's to give (the window's activation,
    // a field's editor made or released). Qt would hand it to the view on any
    // press on a widget that takes none, such as a check box beside a field
    // being typed in: the framework still held the field focused, and its
    // keys went nowhere.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool MWindowView::event(QEvent* e) {
    // Tab and Shift-Tab are the framework's: Qt would move its own focus.
    if (e->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(e));
        return true;
    }
    return QWidget::event(e);
}

void MWindowView::paintEvent(QPaintEvent* e) {
    QPainter painter(this);
    // The window's own background first, as the system draws it under a view.
    painter.fillRect(e->rect(), palette().window());
    LWindow* owner = fWindow->Owner();
    if (!owner || !sServices) return;
    QtPainterGraphics graphics(painter, e->region());
    LRgn region;
    for (const QRect& r : e->region())
        region.Union(LRgn(LRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height())));
    LWindowPort port(owner, &graphics, &region);
    MWindow* outerWindow = sServices->fPainting;
    QtPainterGraphics* outerGraphics = sServices->fPaintGraphics;
    sServices->fPainting = fWindow;
    sServices->fPaintGraphics = &graphics;
    SendFromWindow(owner, LWindow_Update);
    sServices->fPainting = outerWindow;
    sServices->fPaintGraphics = outerGraphics;
}

void MWindowView::mousePressEvent(QMouseEvent* e) {
    LWindow* owner = fWindow->Owner();
    LMouse* mouse = LMouse::Instance();
    if (!owner || !mouse || fInMouseDown) return;
    fInMouseDown = true;
    FillMouseFromQt(*e);
    if (e->button() == Qt::LeftButton) fOrderOnRelease = false;
    bool deliver = true;
    if (e->button() == Qt::RightButton) {
        SendFromWindow(owner, LWindow_Context);
        // A handler that showed a menu leaves the flag set: the press is used.
        deliver = !mouse->fUsed;
        if (deliver) FillMouseFromQt(*e);
    } else if (fWindow->Type() != kWindowFloating &&
               (!fWindow->isActiveWindow() || fWindow->ActiveForMs() < 100)) {
        // A press on a window that was not in front. Window managers bring it
        // forward before the press arrives (it is active then, just now).
        const bool broughtForward = fWindow->isActiveWindow();
        SendFromWindow(owner, LWindow_Bkgnd);
        if (mouse->fUsed) {
            // The pane may start a drag from here: the press goes on to it.
            // A drag that begins puts back the windows that were in front; a
            // release without one brings the window forward.
            fOrderOnRelease = true;
            fBroughtForward = broughtForward;
            FillMouseFromQt(*e);
        } else {
            if (!broughtForward) fWindow->activateWindow();
            // A click that only brings the window to the front is not delivered.
            deliver = false;
        }
    }
    if (deliver) SendFromWindow(owner, LWindow_Click);
    fInMouseDown = false;
    if (fHeldRelease) {
        const std::unique_ptr<QMouseEvent> release = std::move(fHeldRelease);
        mouseReleaseEvent(release.get());
    }
}

void MWindowView::DragBegins() {
    if (!fOrderOnRelease) return;
    fOrderOnRelease = false;
    // The drag goes on from behind the windows that were in front, so that
    // the one under the pointer takes the drop.
    if (fBroughtForward) fWindow->PutBackInFront();
}

void MWindowView::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
}

void MWindowView::mouseMoveEvent(QMouseEvent* e) {
    LMouse* mouse = LMouse::Instance();
    if (!fWindow->Owner() || !mouse) return;
    FillMouseFromQt(*e);
    MouseResendCursor(CMainLoop::Current());
    if (e->buttons() && mouse->fCapture) LHandler::Send(LMouse_Move, mouse, mouse->fCapture);
}

void MWindowView::mouseReleaseEvent(QMouseEvent* e) {
    LMouse* mouse = LMouse::Instance();
    if (!fWindow->Owner() || !mouse) return;
    if (fInMouseDown) {
        // The press is still being handled, and a loop it ran (a window it
        // shows coming on screen) took the release. Handled now, the release
        // would reach the pane before the rest of its press, which would undo
        // what the release did (a selection the release clears): it waits
        // until the press is through.
        fHeldRelease.reset(e->clone());
        return;
    }
    FillMouseFromQt(*e);
    LPane* former = mouse->fCapture;
    mouse->fCapture = nullptr;
    if (former) LHandler::Send(LMouse_Release, mouse, former);
    if (fOrderOnRelease && e->button() == Qt::LeftButton) {
        fOrderOnRelease = false;
        // No drag began: a click, which brings its window forward.
        if (sServices && !fWindow->isActiveWindow())
            sServices->MakeKeyAndOrderFront(static_cast<QWidget*>(fWindow));
    }
}

void MWindowView::wheelEvent(QWheelEvent* e) {
    CQtMainLoop* loop = Loop();
    if (!loop) return;
    f64 dx = 0, dy = 0;
    WheelDeltaFromQt(*e, &dx, &dy);
    loop->ScrollWheel(fWindow->Owner(), ToLPoint(e->globalPosition().toPoint()), dx, dy,
                      ModifierBits(e->modifiers()));
    e->accept();
}

// Keys go to the focused pane, or to the frame when nothing holds the focus.
static LHandler* KeyTarget(LWindow* owner) {
    LFrame* frame = owner->GetFrame();
    LPane* focus = frame ? frame->FindFocusable() : nullptr;
    return focus ? static_cast<LHandler*>(focus) : frame;
}

void MWindowView::keyPressEvent(QKeyEvent* e) {
    LWindow* owner = fWindow->Owner();
    LKeyboard* kb = LKeyboard::Instance();
    if (!owner || !kb) return;
    if (!FillKeyboardFromQt(*e)) {
        // A modifier alone only changes what the cursor may show.
        MouseResendCursor(CMainLoop::Current());
        return;
    }
    ++fKeyDepth;
    LHandler* target = KeyTarget(owner);
    LHandler::Send(LKeyboard_Down, kb, target);
    if (!kb->fUsed) {
        kb->fUsed = 1;
        LHandler::Send(LKeyboard_Char, kb, target);
    }
    --fKeyDepth;
}

void MWindowView::keyReleaseEvent(QKeyEvent* e) {
    LWindow* owner = fWindow->Owner();
    LKeyboard* kb = LKeyboard::Instance();
    if (!owner || !kb) return;
    if (!FillKeyboardFromQt(*e)) {
        MouseResendCursor(CMainLoop::Current());
        return;
    }
    LHandler::Send(LKeyboard_Up, kb, KeyTarget(owner));
}

void MWindowView::contextMenuEvent(QContextMenuEvent* e) {
    // The press already sent "LWindow_Context".
    e->accept();
}

// ---------------------------------------------------------------- services

QtWindowServices::QtWindowServices() {
    sServices = this;
}

QtWindowServices::~QtWindowServices() {
    if (sServices == this) sServices = nullptr;
}

QtWindowServices* QtWindowServices::Instance() {
    return sServices;
}

CMainLoop* QtWindowServices::NewMainLoop(CMainLoopBase* owner) {
    return new CQtMainLoop(owner);
}

LNativeWindow QtWindowServices::CreateWindow(LWindow*, LNativeWindow, u32 type, u32 kind) {
    if (!fToolkitWatch && qApp) {
        fToolkitWatch = std::make_unique<ToolkitWatch>();
        qApp->installEventFilter(fToolkitWatch.get());
    }
    return static_cast<QWidget*>(new MWindow(type, kind));
}

void QtWindowServices::ReleaseWindow(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    if (!w) return;
    Forget(w);
    w->fOwner = nullptr;
    w->hide();
    // It may be inside one of its own event handlers.
    w->deleteLater();
}

void QtWindowServices::AttachWindow(LWindow* window, LNativeWindow native) {
    if (MWindow* w = AsMWindow(native)) w->fOwner = window;
}

void QtWindowServices::DetachWindow(LNativeWindow native) {
    MWindow* w = AsMWindow(native);
    if (!w) return;
    if (CQtMainLoop* loop = Loop()) loop->ForgetWindow(w->fOwner);
    w->fOwner = nullptr;
}

LRect QtWindowServices::GetContentRect(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    return w ? w->ContentRect() : LRect();
}

LRect QtWindowServices::GetFrameRect(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    if (!w) return LRect();
    if (w->isVisible() && w->frameGeometry() != w->geometry()) return ToLRect(w->frameGeometry());
    return FrameRectForContent(window, w->ContentRect());
}

LRect QtWindowServices::FrameRectForContent(LNativeWindow window, const LRect& content) {
    MWindow* w = AsMWindow(window);
    if (!w) return content;
    QMargins m = sFrameMargins;
    if (w->isVisible() && w->frameGeometry() != w->geometry()) {
        const QRect f = w->frameGeometry(), g = w->geometry();
        m = QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(),
                     f.bottom() - g.bottom());
        sFrameMargins = m;
    }
    if (w->windowFlags() & Qt::FramelessWindowHint) m = QMargins();
    const LRect inner = w->ContentRect();
    const QRect g = w->geometry();
    // The menu bar and anything else above or below the content view.
    const i32 above = inner.top - g.top(), below = g.top() + g.height() - inner.bottom;
    return LRect(content.left - m.left(), content.top - above - m.top(), content.right + m.right(),
                 content.bottom + below + m.bottom());
}

void QtWindowServices::SetContentRect(LNativeWindow window, const LRect& content) {
    MWindow* w = AsMWindow(window);
    if (!w) return;
    const LRect inner = w->ContentRect();
    const QRect g = w->geometry();
    const QSize extra = g.size() - QSize(inner.Width(), inner.Height());
    const QSize size = QSize(std::max(content.Width(), 1), std::max(content.Height(), 1)) + extra;
    if (!w->Resizable()) {
        w->setFixedSize(size);
    } else {
        w->setMinimumSize(0, 0);
        w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    w->setGeometry(QRect(
        QPoint(content.left - (inner.left - g.left()), content.top - (inner.top - g.top())), size));
    w->Layout()->activate();
    w->ReportPlace();
}

bool QtWindowServices::IsResizable(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    return w && w->Resizable();
}

bool QtWindowServices::IsClosable(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    return w && w->Closable();
}

void QtWindowServices::SetTitle(LNativeWindow window, const LString& title) {
    if (MWindow* w = AsMWindow(window)) w->setWindowTitle(QString::fromUtf8(title.CStr()));
}

void QtWindowServices::InvalidateRect(LNativeWindow window, const LRect& r) {
    if (MWindow* w = AsMWindow(window))
        w->View()->update(QRect(r.left, r.top, r.Width(), r.Height()));
}

void QtWindowServices::UpdateNow(LNativeWindow window) {
    if (MWindow* w = AsMWindow(window)) w->View()->repaint();
}

LNativeGraphics* QtWindowServices::PaintGraphics(LNativeWindow window) {
    return window && AsMWindow(window) == fPainting ? fPaintGraphics : nullptr;
}

LNativeWindow QtWindowServices::FrontWindow() {
    return fOrder.empty() ? nullptr : static_cast<QWidget*>(fOrder.front());
}

LNativeWindow QtWindowServices::NextWindow(LNativeWindow window) {
    auto it = std::find(fOrder.begin(), fOrder.end(), AsMWindow(window));
    if (it == fOrder.end() || ++it == fOrder.end()) return nullptr;
    return static_cast<QWidget*>(*it);
}

bool QtWindowServices::IsVisible(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    return w && w->isVisible();
}

bool QtWindowServices::IsMinimized(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    return w && (w->windowState() & Qt::WindowMinimized);
}

LNativeWindow QtWindowServices::KeyWindow() {
    return QApplication::activeWindow();
}

LNativeWindow QtWindowServices::WindowAtScreenPoint(LPoint pt) {
    for (MWindow* w : fOrder) {
        if (!w->isVisible() || (w->windowFlags() & Qt::WindowTransparentForInput)) continue;
        if (w->ContentRect().Contains(pt)) return static_cast<QWidget*>(w);
    }
    return nullptr;
}

void QtWindowServices::MoveToFront(MWindow* w) {
    Forget(w);
    fOrder.insert(fOrder.begin(), w);
}

void QtWindowServices::RaisePanels() {
    std::vector<MWindow*> panels;
    for (MWindow* w : fOrder)
        if (w->Type() == kWindowFloating && w->isVisible()) panels.push_back(w);
    for (auto it = panels.rbegin(); it != panels.rend(); ++it) Raise(*it);
}

void QtWindowServices::BringBlockingForward() {
    // Once the event that asked is through: the window manager is still in
    // the middle of the change it reports.
    QTimer::singleShot(0, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        if (modal->isActiveWindow() && !(modal->windowState() & Qt::WindowMinimized)) return;
        if (auto* own = dynamic_cast<MWindow*>(modal)) {
            if (sServices) sServices->MakeKeyAndOrderFront(static_cast<QWidget*>(own));
            return;
        }
        BringToolkitWindowForward(modal, true);
    });
}

void QtWindowServices::BringToolkitWindowForward(QWidget* w, bool activate) {
    if (!w || !w->isVisible()) return;
    if (w->windowState() & Qt::WindowMinimized) {
        // Mapped again without the keys unless they are asked for: a panel
        // brought back by a click in its window leaves the keys there.
        w->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
    w->raise();
    if (activate) w->activateWindow();
}

std::vector<LString> QtWindowServices::ToolkitPanels() {
    std::vector<LString> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (IsToolkitPanel(w) && w->isVisible() && !w->windowTitle().isEmpty())
            out.push_back(LString(w->windowTitle().toUtf8().constData()));
    return out;
}

void QtWindowServices::BringToolkitPanelForward(const LString& title) {
    const QString wanted = QString::fromUtf8(title.CStr());
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (IsToolkitPanel(w) && w->isVisible() && w->windowTitle() == wanted) {
            BringToolkitWindowForward(w, true);
            return;
        }
    }
}

void QtWindowServices::Forget(MWindow* w) {
    fOrder.erase(std::remove(fOrder.begin(), fOrder.end(), w), fOrder.end());
}

void QtWindowServices::TieToAbove(MWindow* w) {
    // The window manager keeps a transient window above the window it is for.
    if (!w->fAbove) return;
    w->winId();
    w->fAbove->winId();
    if (w->windowHandle() && w->fAbove->windowHandle())
        w->windowHandle()->setTransientParent(w->fAbove->windowHandle());
}

void QtWindowServices::ShowBeforeOrdering(MWindow* w, bool activate) {
    // A minimised window counts as shown but is off the screen, where raising
    // and activating leave it: whatever brings a window forward restores it
    // first (keeping it maximised if it was). One hidden while minimised keeps
    // that state, and a show would map it minimised again, out of sight.
    if (w->windowState() & Qt::WindowMinimized)
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    if (!w->isVisible()) {
        TieToAbove(w);
        // A dialog belongs to the frontmost application window (so the window
        // manager keeps it above that one).
        if (WindowKindStyle(w->Kind()).level == kLevelModalPanel && w->Type() != kWindowFloating) {
            for (MWindow* other : fOrder) {
                if (other == w || !other->isVisible()) continue;
                w->winId();
                other->winId();
                w->windowHandle()->setTransientParent(other->windowHandle());
                break;
            }
        }
        w->ApplyLimits();
        w->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
        w->show();
        w->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

void QtWindowServices::KeepAbove(LNativeWindow window, LNativeWindow owner) {
    MWindow* w = AsMWindow(window);
    MWindow* o = AsMWindow(owner);
    if (!w || !o || w == o) return;
    w->fAbove = o;
    // Window managers honour the tie for dialogs only: the window becomes one
    // (still without modality) while it is hidden, which changing its type needs.
    if (!w->isVisible() && w->windowType() == Qt::Window)
        w->setWindowFlags((w->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    if (w->isVisible()) TieToAbove(w);
}

void QtWindowServices::MakeKeyAndOrderFront(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    if (!w) return;
    ShowBeforeOrdering(w, true);
    Raise(w);
    w->activateWindow();
    MoveToFront(w);
}

void QtWindowServices::OrderFront(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    if (!w) return;
    ShowBeforeOrdering(w, false);
    Raise(w);
    MoveToFront(w);
}

void QtWindowServices::OrderBehind(LNativeWindow window, LNativeWindow other) {
    MWindow* w = AsMWindow(window);
    MWindow* o = AsMWindow(other);
    if (!w) return;
    auto at = std::find(fOrder.begin(), fOrder.end(), o);
    // A floating panel goes behind nothing but another panel.
    if (!o || at == fOrder.end() ||
        (w->Type() == kWindowFloating && o->Type() != kWindowFloating)) {
        OrderFront(window);
        return;
    }
    const std::vector<MWindow*> inFront(fOrder.begin(), at);
    ShowBeforeOrdering(w, false);
    // The new window comes up on top; raising the other window and then the
    // ones that were in front of it, back to front, leaves it directly behind.
    Raise(w);
    Raise(o);
    for (auto it = inFront.rbegin(); it != inFront.rend(); ++it) Raise(*it);
    Forget(w);
    at = std::find(fOrder.begin(), fOrder.end(), o);
    fOrder.insert(at + 1, w);
}

void QtWindowServices::OrderOut(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    if (!w) return;
    Forget(w);
    w->hide();
}

void QtWindowServices::WaitUntilOnScreen(LNativeWindow window) {
    MWindow* w = AsMWindow(window);
    if (!w || !w->isVisible()) return;
    // Bounded: a minimised window, one on another desktop or a display that
    // never reports it must not hang the program.
    QElapsedTimer clock;
    clock.start();
    while (w->isVisible() && !(w->windowHandle() && w->windowHandle()->isExposed()) &&
           clock.elapsed() < fOnScreenWaitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QWindow* handle = w->windowHandle();
        if (handle && handle->isExposed()) break;
        SleepMs(1);
    }
}

bool QtWindowServices::GetDisplay(u32 index, LDisplay* out) {
    if (index == 0) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        fScreens.assign(screens.begin(), screens.end());
    }
    if (index >= fScreens.size()) return false;
    QScreen* s = fScreens[index];
    if (!QGuiApplication::screens().contains(s)) return false;
    out->id = u32(QGuiApplication::screens().indexOf(s) + 1);
    out->bounds = ToLRect(s->geometry());
    out->visible = ToLRect(s->availableGeometry());
    return true;
}

u32 QtWindowServices::MainDisplayId() {
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? u32(QGuiApplication::screens().indexOf(primary) + 1) : 0;
}

i32 QtWindowServices::DoubleClickIntervalMs() {
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

void QtWindowServices::SetStdCursor(u32 kind) {
    QtApplyCursor(QtStdCursor(kind));
}

void QtWindowServices::DrawSeparator(LNativeGraphics& g, const LRect& rect) {
    LPen grey(LPen::kByGray, 0, 3, 1.0f);
    g.ApplyPen(grey);
    const CGRect r{f64(rect.left), f64(rect.top), f64(rect.Width()), f64(rect.Height())};
    g.FillRects(&r, 1);
}
