#include "platform/qt/QtDrag.h"

#include <QDrag>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>

#include <unistd.h>

#include "base/LScrap.h"
#include "framework/LDrop.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/qt/QtWindows.h"

namespace {

const char kPidFormat[] = "application/x-kevoruneset-drag-pid";
const char kLocalFormat[] = "application/x-kevoruneset-local";

MWindow* AsWindow(LNativeWindow native) {
    return static_cast<MWindow*>(static_cast<QWidget*>(native));
}

}  // namespace

DropCursor DropCursorFor(i32 op, bool copyOnly) {
    switch (op) {
        case 1:
            return copyOnly ? DropCursor::kCopy : DropCursor::kArrow;
        case 3:
            return DropCursor::kCopy;
        case 4:
            return DropCursor::kPlus;
        case 5:
            return DropCursor::kLink;
        default:
            return DropCursor::kArrow;
    }
}

u32 SystemOperationFor(i32 op, u32 sourceMask) {
    switch (op) {
        case 1:
            return sourceMask;
        case 2:
            return kDragMove;
        case 3:
        case 4:
            return kDragCopy;
        case 5:
            return kDragLink;
        default:
            return 0;
    }
}

u32 MaskFromQt(int actions) {
    u32 mask = 0;
    if (actions & Qt::CopyAction) mask |= kDragCopy;
    if (actions & Qt::LinkAction) mask |= kDragLink;
    if (actions & Qt::MoveAction) mask |= kDragMove;
    return mask;
}

int QtActionFor(u32 mask, int proposed) {
    if (MaskFromQt(proposed) & mask) return proposed;
    if (mask & kDragCopy) return Qt::CopyAction;
    if (mask & kDragMove) return Qt::MoveAction;
    if (mask & kDragLink) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

u32 SourceMaskOf(const QMimeData* mime, u32 possibleActions) {
    if (!mime || !mime->hasFormat(kPidFormat)) return possibleActions;
    if (mime->data(kPidFormat) == QByteArray::number(qint64(getpid())))
        return kDragCopy | kDragLink | kDragGeneric | kDragMove;
    return mime->hasFormat(kLocalFormat) ? 0u : u32(kDragCopy);
}

QtDragServices::QtDragServices() {
    InstallDragServices(this);
}

QtDragServices::~QtDragServices() {
    InstallDragServices(nullptr);
}

void QtDragServices::AcceptDrops(LNativeWindow window, bool on) {
    fCursors.erase(window);
    if (!on) {
        auto it = fViews.find(window);
        if (it == fViews.end()) return;
        if (QWidget* view = it->second) {
            view->setAcceptDrops(false);
            view->removeEventFilter(this);
        }
        fViews.erase(it);
        return;
    }
    MWindow* w = window ? AsWindow(window) : nullptr;
    if (!w || !w->View()) return;
    w->View()->setAcceptDrops(true);
    w->View()->installEventFilter(this);
    fViews[window] = w->View();
}

void QtDragServices::SetDropOperation(LNativeWindow window, i32 op, bool copyOnly) {
    fCursors[window] = DropCursorFor(op, copyOnly);
}

DropCursor QtDragServices::CursorOf(LNativeWindow window) const {
    auto it = fCursors.find(window);
    return it == fCursors.end() ? DropCursor::kArrow : it->second;
}

bool QtDragServices::eventFilter(QObject* watched, QEvent* e) {
    const QEvent::Type t = e->type();
    if (t != QEvent::DragEnter && t != QEvent::DragMove && t != QEvent::DragLeave &&
        t != QEvent::Drop)
        return false;
    auto* view = static_cast<MWindowView*>(watched);
    LNativeWindow window = static_cast<QWidget*>(view->Window());
    LDrop* drop = LDropMgr::Instance().DropFor(window);
    if (t == QEvent::DragLeave) {
        if (drop) drop->Exit();
        return true;
    }
    auto* de = static_cast<QDropEvent*>(e);
    if (!drop) {
        de->ignore();
        return true;
    }
    u32 mask = SourceMaskOf(de->mimeData(), MaskFromQt(int(de->possibleActions())));
    // Control held over the target asks for a copy, as the desktop's file
    // managers do; the source's mask alone never says so inside the program.
    if ((de->modifiers() & Qt::ControlModifier) && (mask & kDragCopy)) mask = kDragCopy;
    if (t != QEvent::Drop) {
        auto* source = new CMimeDropSource(de->mimeData());
        const QPoint global = view->mapToGlobal(de->position().toPoint());
        drop->Move(LPoint{global.x(), global.y()}, mask, de->modifiers() & Qt::ShiftModifier,
                   source);
        source->Release();
        const u32 answer = drop->Target() ? SystemOperationFor(drop->Operation(), mask) : 0;
        const int action = QtActionFor(answer, int(de->proposedAction()));
        if (answer && action != Qt::IgnoreAction) {
            de->setDropAction(Qt::DropAction(action));
            de->accept();
        } else if (t == QEvent::DragEnter) {
            // An ignored enter would end the moves over this window: the
            // drag may reach a pane further on.
            de->setDropAction(Qt::IgnoreAction);
            de->accept();
        } else {
            de->ignore();
        }
        return true;
    }
    const i32 op = drop->Target() ? drop->Operation() : 0;
    const u32 answer = SystemOperationFor(op, mask);
    const int action = QtActionFor(answer, int(de->proposedAction()));
    if (drop->Drop() && action != Qt::IgnoreAction) {
        de->setDropAction(Qt::DropAction(action));
        de->accept();
    } else {
        de->ignore();
    }
    return true;
}

u32 QtDragServices::RunDrag(const LDragStart& start) {
    MWindow* w = start.window ? AsWindow(start.window) : nullptr;
    QWidget* from = w && w->View() ? static_cast<QWidget*>(w->View()) : w;
    if (!from) return 0;
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("public.data"), QByteArray());
    bool local = start.local;
    if (start.data && start.data->WriteToPasteboard(mime)) local = true;
    mime->setData(kPidFormat, QByteArray::number(qint64(getpid())));
    if (local) mime->setData(kLocalFormat, QByteArray());
    if (w && w->View()) w->View()->DragBegins();
    QDrag* drag = new QDrag(from);
    drag->setMimeData(mime);
    if (const auto* image = static_cast<const QtImage*>(start.image.Get())) {
        drag->setPixmap(QPixmap::fromImage(image->fImage));
        drag->setHotSpot(
            QPoint(start.mouse.x - start.imageRect.left, start.mouse.y - start.imageRect.top));
    }
    const Qt::DropAction done =
        drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
    drag->deleteLater();
    return MaskFromQt(int(done));
}
