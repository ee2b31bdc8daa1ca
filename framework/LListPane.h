#pragma once
// List panes: a grid of equal cells scrolled so that one cell sits at the
// top-left corner, a selection kept as a region of cells (cell {c, r} is the
// unit square at (c, r)), click, range and toggle selection, and automatic
// scrolling while a drag-selection leaves the pane. Concrete lists draw the
// cells.

#include "framework/LPane.h"

class LTimer;

inline constexpr const char* LListPane_Clicked = "LListPane_Clicked";
inline constexpr const char* LListPane_Change = "LListPane_Change";
inline constexpr const char* LListPane_SelChange = "LListPane_SelChange";

// A cell address; {-1, -1} is none.
struct LCell {
    i32 col = -1;
    i32 row = -1;
    bool operator==(const LCell&) const = default;
    bool IsNone() const { return col == -1 && row == -1; }
};

// Click selection: the anchor and mode of a click and the drag that follows it.
struct LSelTracker {
    enum : u32 { kNone = 0, kSingle = 1, kRange = 2, kMultiple = 3 };

    void BeginClick(LCell cell, bool shift, bool command, const LRgn& current);
    // The selection a drag to cell makes of the current one.
    LRgn Track(LCell cell, const LRgn& current) const;

    LCell anchor{0, 0};
    u32 mode = kNone;
    u8 adding = 0;
    u8 addNotRemove = 0;
};

class LListPane : public LPane {
public:
    LListPane(LPane* owner, u32 mode);
    ~LListPane() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void FillDrawEnv(LDrawEnv& env) override;
    void BoundsChanged(const LRect& old) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

    virtual void DrawCell(LDrawCtx& ctx, LCell cell, const LRect& rect) = 0;
    virtual void SetSelectionRgn(const LRgn& region);
    virtual void UpdateHilite(const LRgn& changed, const LRgn& oldSelection);
    // axis 0 columns, 1 rows; delta > 0 inserted, < 0 removed.
    virtual void CellsShifted(u32 axis, i32 at, i32 delta);
    virtual bool CanDraw();
    virtual void RebuildCells();
    virtual void InvalidateRgn(const LRgn& region);
    virtual void InvalidateAll();
    // The list itself becomes what the keys and the menu commands act on, as
    // after a click that selects in it.
    virtual void FocusList();

    // ---- geometry
    LRect GetCellRect(LCell cell) const;
    LCell PointToCell(LPoint pt) const;
    LCell PointToGap(LPoint pt) const;
    // A screen point in the pane's drawing coordinates.
    LPoint ScreenToLocal(LPoint screen);
    i32 GetVisibleColsFull() const;
    i32 GetVisibleRowsFull() const;
    i32 GetVisibleColsCeil() const;
    i32 GetVisibleRowsCeil() const;
    i32 GetMaxScrollCol() const;
    i32 GetMaxScrollRow() const;
    // A scroll step {dx, dy} of -1, 0 or 1 held to what the grid allows.
    LCell ClampScrollStep(LCell step) const;

    // ---- selection
    void SetSelection(const LRgn& region);
    void SelectNone();
    void SelectCell(LCell cell);
    void AddToSelection(LCell cell);
    LCell GetSelCell() const;
    LCell GetSelStart() const;
    LCell GetSelEnd() const;
    bool IsSelected(LCell cell) const { return fSel.ContainsPoint(cell.col, cell.row); }
    const LRgn& Selection() const { return fSel; }

    // ---- grid
    void InsertRows(i32 at, i32 n);
    void InsertColumns(i32 at, i32 n);
    void RemoveRows(i32 at, i32 n);
    void RemoveColumns(i32 at, i32 n);
    void SetCellSize(i32 width, i32 height);

    // ---- scrolling
    void SetScrollPos(LCell first);
    void ScrollToCell(LCell cell);
    void RevealSelection();

    i32 Cols() const { return fCols; }
    i32 Rows() const { return fRows; }
    LCell First() const { return fFirst; }
    LCell LastClicked() const { return fLastClicked; }
    i32 CellWidth() const { return fCellW; }
    i32 CellHeight() const { return fCellH; }
    u32 Mode() const { return fTracker.mode; }
    LTimer* ScrollTimer() const { return fScrollTimer; }

protected:
    // The cells that fit wholly, and those at least partly visible.
    LRect FullCells() const;
    LRect CeilCells() const;

private:
    void Insert(u32 axis, i32 at, i32 n);
    void Remove(u32 axis, i32 at, i32 n);
    void Apply(const LRgn& wanted);
    LCell AutoScrollStep(LPoint pt) const;
    void TrackTo(LPoint pt);
    LRect CoveredArea(LCell first) const;

    i32 fCols = 0;
    i32 fRows = 0;
    LCell fFirst{0, 0};
    LCell fLastClicked;
    i32 fCellW = 20;
    i32 fCellH = 20;
    LTimer* fScrollTimer = nullptr;
    LRgn fSel;
    LSelTracker fTracker;
};

// Walks the cells of a selection row by row or column by column, forwards or
// backwards.
class LSelIter {
public:
    void Init(const LRgn& selection, bool columnMajor, bool reverse);
    bool Next();
    LCell Cell() const { return LCell{fCol, fRow}; }

private:
    LRgn fRgn;
    LRect fBounds;
    u8 fColumnMajor = 0;
    u8 fReverse = 0;
    i32 fCol = 0;
    i32 fRow = 0;
};
