#pragma once
// Drag and drop on Qt. Drops: the content view of a window with drop panes
// accepts drags (setAcceptDrops) and an event filter hands each drag event to
// the window's drag object; every event is accepted or ignored without a
// rectangle, so each move is reported. Drags of our own: QDrag::exec, which
// runs its own event loop (framework timers keep firing) and answers the
// action performed.
//
// Operations: Qt's copy, link and move are 1, 2 and 16. A drag of ours carries
// the process id, and a marker when its items stay inside the application: a
// target in this process sees the mask 23, another instance of the program
// copy alone, or nothing for such items.

#include <QObject>
#include <QPointer>

#include <map>

#include "services/DragServices.h"

class QMimeData;
class QWidget;

// The cursor shown for a drop operation.
enum class DropCursor { kArrow, kCopy, kPlus, kLink };
DropCursor DropCursorFor(i32 op, bool copyOnly);
// The operations answered to the system for a drop operation of a target.
u32 SystemOperationFor(i32 op, u32 sourceMask);
// The source's operation mask of a drag offering the mime data.
u32 SourceMaskOf(const QMimeData* mime, u32 possibleActions);
// Our mask bits and Qt's actions.
u32 MaskFromQt(int actions);
int QtActionFor(u32 mask, int proposed);

class QtDragServices : public QObject, public LDragServices {
public:
    QtDragServices();
    ~QtDragServices() override;

    void AcceptDrops(LNativeWindow window, bool on) override;
    void SetDropOperation(LNativeWindow window, i32 op, bool copyOnly) override;
    u32 RunDrag(const LDragStart& start) override;

    // The cursor last chosen for a drag over the window.
    DropCursor CursorOf(LNativeWindow window) const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::map<LNativeWindow, DropCursor> fCursors;
    // The views taking drags: a window may be gone before its last drop pane.
    std::map<LNativeWindow, QPointer<QWidget>> fViews;
};
