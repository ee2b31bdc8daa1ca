#pragma once
// Cell lists: list panes whose cells are frames. One prototype frame is bound
// to each cell's data, placed, drawn and unbound in turn (a stamp), so that a
// list of thousands of rows keeps only a few frames; live frames exist only
// where the user works: the cell under the mouse, the cell holding the focus
// (the edit cell) and a small pool.

#include <vector>

#include "framework/LFrame.h"
#include "framework/LListPane.h"

class LListCell;

// A frame and the cell it shows; free when the cell is {-1, -1}.
struct LCellSlot {
    LCell cell;
    LListCell* frame = nullptr;
    bool IsValid() const { return frame && cell.col >= 0 && cell.row >= 0; }
    bool IsFree() const { return cell.IsNone(); }
};

class LListCell : public LFrame {
public:
    explicit LListCell(LPane* list) : LFrame(list, list) {}
    ~LListCell() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void FillDrawEnv(LDrawEnv& env) override;
    void InvalidateRect(const LRgn& redraw, const LRgn& erase) override;

    void BeginStamp();
    void EndStamp();
    // Shows the frame and its children without collecting what that invalidates.
    void ShowCell();
    // Hands on what drawing invalidated, then hides the frame and its children.
    void HideCell();
    bool IsStamping() const { return fStamp != nullptr; }

private:
    struct Stamp {
        LDrawEnv env;
        LRgn redraw;
        LRgn erase;
    };
    Stamp* fStamp = nullptr;
};

class LCellListPane : public LListPane {
public:
    // Sizing modes of CellQuery.
    enum : u32 {
        kSizePreferred = 0,
        kSizePaneWidth = 1,
        kSizePaneHeight = 2,
        kSizePaneWidthGrow = 3,
        kSizePaneHeightGrow = 4,
        kSizeAsQueried = 5,
    };

    LCellListPane(LPane* owner, u32 mode, bool keepSelectionOnEdit, bool liveCells);
    ~LCellListPane() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void FillDrawEnv(LDrawEnv& env) override;
    void InvalidateRect(const LRgn& redraw, const LRgn& erase) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    LPane* FindFocusable() override;
    LPane* FindPaneAt(LPoint pt) override;
    // The edit of the cell being edited.
    void EndOpenEdit(bool store) override;
    LPane* FocusedChild() const override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;
    void DrawCell(LDrawCtx& ctx, LCell cell, const LRect& rect) override;
    void UpdateHilite(const LRgn& changed, const LRgn& oldSelection) override;
    void CellsShifted(u32 axis, i32 at, i32 delta) override;
    bool CanDraw() override;
    void RebuildCells() override;
    void InvalidateRgn(const LRgn& region) override;
    void InvalidateAll() override;
    void FocusList() override;

    virtual LListCell* CreateCell() = 0;
    virtual bool BindCell(LListCell* frame, LCell cell) = 0;
    virtual void SetupCell(LListCell* frame);
    virtual void ApplyCellColors(LListCell* frame, LCell cell, bool selected);
    virtual u32 CellQuery(LCell* size);
    // After a RefreshAll has bound the live frames again: what a list derives
    // from all its rows is brought up to date here, once for many rows.
    virtual void RowsRefreshed() {}

    LListCell* GetProtoCell();
    LListCell* GetProtoCellFor(LCell cell);
    LListCell* GetCellFrame(LCell cell, bool lookupOnly);
    LListCell* FindCellFrame(LHandler* pane, LCell* cell);
    bool GetEditCell(LCell* cell) const;
    void RefreshCell(LCell cell);
    // Every row shows its data again. The rows on screen are invalidated at
    // once; the live frames are bound again once, when the loop comes round
    // (or before a drawing, a hit test or a GetCellFrame), however many times
    // an edit asks: an edit of thousands of rows asks once a row.
    void RefreshAll();
    bool RefreshPending() const { return fRefreshPending; }
    void ReleaseCells();
    void SetBackground(const LPenRef& color);
    // For lists of one item a row: a click with Shift or Command on a row's
    // field is a click on the list, so that it extends or adds to the
    // selection instead of editing one row. Lists whose cells hold items of
    // their own (the tracks' scenes) leave those clicks to the cells.
    void SetModifierClicksSelectRows(bool on) { fRowClicks = on; }

    void BeginBatch();
    void EndBatch();

    const LPenRef& Background() const { return fBackground; }
    const LCellSlot& CurrentSlot() const { return fCurrent; }
    const LCellSlot& EditSlot() const { return fEdit; }
    const std::vector<LCellSlot>& Pool() const { return fPool; }
    LListCell* ProtoCell() const { return fProto; }

private:
    struct Batch {
        LDrawEnv env;
        LRgn redraw;
        LRgn erase;
    };
    class BatchScope {
    public:
        explicit BatchScope(LCellListPane& list) : fList(list) { fList.BeginBatch(); }
        ~BatchScope() { fList.EndBatch(); }

    private:
        LCellListPane& fList;
    };

    bool InGrid(LCell cell) const;
    bool IsStampMode() const { return !fLiveCells; }
    void BindSlot(LCellSlot& slot, LCell cell);
    void FreeSlot(LCellSlot& slot);
    void BindCurrent(LCell cell);
    void EnsureSpare();
    // The index after the last pool slot at or before the cell.
    size_t PoolUpper(LCell cell) const;
    i32 PoolFind(LCell cell) const;
    // Puts a slot into the pool at its sorted place (dropped when frameless).
    void PoolInsert(const LCellSlot& slot);
    void SwapCurrentWithPool(size_t i);
    LCellSlot* LiveSlotFor(LCell cell);
    void DropEditCell();
    void RelayoutCells();
    void ForEachLive(void (*f)(LListCell*, u32), u32 op);
    bool HandleArrowKey();
    bool FocusCellAt(LCell cell, LPoint pt);
    void HandleFocusRequest(LPane* source);
    void SizeCells();
    LListCell* MakeFrame();
    // The refresh RefreshAll put off, if any.
    void SettleRefresh();
    // The rows on screen that no live frame covers.
    void InvalidateStampedRows();

    LPenRef fBackground;
    Batch* fBatch = nullptr;
    u32 fBatchDepth = 0;
    LListCell* fProto = nullptr;
    LCellSlot fCurrent;
    LCellSlot fEdit;
    std::vector<LCellSlot> fPool;
    u8 fKeepSelOnEdit;
    u8 fLiveCells;
    bool fRowClicks = false;
    bool fRefreshPending = false;
};

// A cell's live frame, or the prototype standing in for it at an offset, so
// that a list can redraw a part of a cell.
class LCellEnum {
public:
    LCellEnum(LCellListPane* list, LCell cell, bool lookupOnly);
    LListCell* Frame() const { return fFrame; }
    bool IsLive() const { return fLive; }
    // A pane of the frame in list coordinates.
    LRect ToListRect(LPane* pane) const;
    void Invalidate(LPane* pane) const;

private:
    LCellListPane* fList;
    LListCell* fFrame = nullptr;
    bool fLive = false;
    i32 fDx = 0;
    i32 fDy = 0;
};
