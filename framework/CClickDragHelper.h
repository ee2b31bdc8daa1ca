#pragma once
// A press on a list cell that may start a drag of the selected cells without
// disturbing clicks: a press on an unselected cell selects as usual and drags
// only when held for 333 ms; a press on a selected cell keeps the selection,
// drags at once, and selects that cell alone when it ends without a drag. A
// press on a cell in a window not in front is kept for the list like any
// other (a drag may start there), not dropped as one that only brings the
// window forward. The list's owner routes the list's mouse messages and those
// of the timer and the drag object through HandleMouse first.

#include "framework/CDragger.h"
#include "framework/LTimer.h"

class CClickDragHelper {
public:
    enum : u32 { kNotHandled = 0, kHandled = 1, kImageReady = 2 };

    // mode 1: the selected cells are walked column by column, else row by row.
    CClickDragHelper(LListPane* list, u32 mode);
    ~CClickDragHelper();
    CClickDragHelper(const CClickDragHelper&) = delete;
    CClickDragHelper& operator=(const CClickDragHelper&) = delete;

    // A message answered 1 after "CDragger_End" is consumed: the dragger is gone.
    u32 HandleMouse(const LMessage& msg);
    // Takes over the reference while a drag object exists; releases it otherwise.
    void SetDragData(LScrapData* data, i32 operation);

    CDragger* Dragger() const { return fDragger; }
    LTimer* Timer() const { return fTimer; }
    LCell PendingCell() const { return fPending; }
    i32 Operation() const { return fOp; }

private:
    void DeleteDragger();

    LListPane* fList;
    LTimer* fTimer;
    CDragger* fDragger = nullptr;
    LCell fPending;
    LCell fPressed;
    u8 fArmed = 0;
    i32 fOp = 0;
    u32 fMode;
};
