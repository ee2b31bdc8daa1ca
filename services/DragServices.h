#pragma once
// What drag and drop needs of the platform: windows that accept drags, the
// cursor of a drag over them, and running a drag of the application's own
// items to its end. The platform reports drags over a window to that window's
// drag object (LDropMgr::DropFor, framework/LDrop.h). The Qt layer (or a test
// fake) installs an implementation; without one no window accepts drags and a
// drag ends at once with nothing dropped.

#include "base/LRect.h"
#include "base/LRef.h"

class LScrapData;

using LNativeWindow = void*;

// Source operation mask bits of a drag.
enum : u32 { kDragCopy = 1, kDragLink = 2, kDragGeneric = 4, kDragMove = 16 };

// One drag of the application's items.
struct LDragStart {
    LNativeWindow window = nullptr;    // the window the drag starts from
    const LScrapData* data = nullptr;  // the items, declared as "public.data"; may be null
    bool local = false;                // the items make sense only inside the application
    LRef image;                        // the drag image (LOffscreen::CopyImage); may be empty
    LRect imageRect;                   // where the image stands, in screen coordinates
    LPoint mouse;                      // the press that started the drag, screen
};

class LDragServices {
public:
    virtual ~LDragServices() = default;
    // The window starts (on) or stops (off) accepting drags of "public.data".
    virtual void AcceptDrops(LNativeWindow window, bool on) = 0;
    // The operation a target chose for the drag over the window: the platform
    // shows its cursor (1 copy only where the source allows copying alone, 3
    // copy, 4 plus, 5 link, others the arrow) and reports it to the source.
    virtual void SetDropOperation(LNativeWindow window, i32 op, bool copyOnly) = 0;
    // Runs the drag to its end (a nested event loop) and answers the operation
    // performed: 0 when nothing was dropped.
    virtual u32 RunDrag(const LDragStart& start) = 0;
};

// Installs the platform's services (null goes back to the headless ones); the
// caller keeps ownership.
void InstallDragServices(LDragServices* services);
LDragServices& DragServices();
