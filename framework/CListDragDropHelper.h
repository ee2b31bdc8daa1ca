#pragma once
// Drag and drop of list cells: decides whether a press on a cell becomes a
// selection drag of the list or an item drag, supplies the drag image, and on
// the drop side tracks the insertion point, draws the mark, scrolls near the
// edges and tells the list when to accept and when to drop. The list passes
// every message to HandleMouse first and acts on the code.

#include "framework/CDragger.h"
#include "framework/LDropPane.h"

inline constexpr const char* CListDragDropHelper_Sense = "CListDragDropHelper_Sense";

class LMouse;

class CListDragDropHelper {
public:
    // Codes of HandleMouse.
    enum : u32 {
        kConsumed = 0,
        kNotMine = 1,
        kDragBegun = 2,
        kPressEnded = 3,
        kSupplyData = 4,
        kDragEntered = 5,
        kPerformDrop = 6,
    };
    // Mark kinds.
    enum : u32 { kMarkTop = 0, kMarkLeft = 1, kMarkFrame = 2 };

    CListDragDropHelper();
    ~CListDragDropHelper();
    CListDragDropHelper(const CListDragDropHelper&) = delete;
    CListDragDropHelper& operator=(const CListDragDropHelper&) = delete;

    // mode 1: items go between rows, 0: between columns. flags bit 0: with
    // Shift a drag over a cell targets the cell itself (operation 4).
    void Init(LListPane* list, u32 mode, u32 flags);

    // A message the list answers with "CDragger_End" is consumed whatever the
    // code: the dragger, its source, is gone.
    u32 HandleMouse(const LMessage& msg);

    void BeginDragOver(u32 op);
    void SetOperation(u32 op);
    void UpdateDragOver(u32 op, LCell cell, u32 kind);
    void SetMark(LCell cell, u32 kind);
    void HideMark();
    void DrawInsertMark(LDrawCtx& ctx);
    void SetDragData(LScrapData* data, bool several);
    u32 GetDefaultOperation() const;

    LCell MarkCell() const { return fMarkCell; }
    LCell TargetCell() const { return fTargetCell; }
    LCell SourceCell() const { return fSourceCell; }
    LCell PressedCell() const { return fPressedCell; }
    bool IsMarkShown() const { return fMarkShown; }
    u32 Operation() const { return fOperation; }
    u32 ResultOperation() const { return fResultOp; }
    CDragger* Dragger() const { return fDragger; }
    LDrop* Drag() const { return fTarget ? fTarget->Drag() : nullptr; }
    const CScrollHelper* Scroller() const { return fScroller; }
    LTimer* PressTimer() const { return fPressTimer; }
    LRgn MarkRgn() const;

private:
    class ScrollSink : public LHandler {
    public:
        explicit ScrollSink(CListDragDropHelper& owner) : fOwner(owner) {}
        LMessage HandleMessage(const LMessage& msg) override;
        CListDragDropHelper& fOwner;
    };

    // The drop side: the target's code (LDropTarget::Classify), with a move
    // or a drop the list has not accepted as kOther.
    u32 HandleDrop(const LMessage& msg);
    // A drag over the list: the target cell or gap, the mark and the operation.
    void TrackDragOver();
    // A drop: kPerformDrop, or kConsumed where nothing would move.
    u32 DropCode();
    // The press side: a press that may become a drag, the timer that makes
    // it one, and the dragger's own messages.
    u32 HandlePress(const LMessage& msg, LMouse& mouse);
    u32 HandlePressTimer(const LMessage& msg, LMouse* mouse);
    u32 HandleDragger(const LMessage& msg);
    LPoint DragPoint() const;
    void DeleteDragger();

    LDropTarget* fTarget = nullptr;
    ScrollSink fSink;
    LListPane* fList = nullptr;
    LCell fMarkCell;
    CScrollHelper* fScroller = nullptr;
    u8 fMarkShown = 0;
    u32 fMarkKind = kMarkTop;
    u32 fOperation = 0;
    LTimer* fPressTimer = nullptr;
    CDragger* fDragger = nullptr;
    LCell fSourceCell;
    u32 fFlags = 0;
    LCell fPressedCell;
    LCell fTargetCell;
    u8 fPressedInSel = 0;
    u8 fSeveral = 0;
    u32 fMode = 1;
    u32 fResultOp = 0;
    u32 fAcceptedOp = 1;
};
