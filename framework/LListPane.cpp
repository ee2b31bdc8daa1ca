#include "framework/LListPane.h"

#include <algorithm>
#include <climits>

#include "framework/InputState.h"
#include "framework/LFont.h"
#include "framework/LTimer.h"
#include "framework/MousePoint.h"

namespace {

LRgn CellRgn(i32 l, i32 t, i32 r, i32 b) {
    return LRgn(LRect(l, t, r, b));
}

// Room left in i32 above a count.
i32 Headroom(i32 count) {
    return INT_MAX - count;
}

}  // namespace

// ---------------------------------------------------------------- tracker

void LSelTracker::BeginClick(LCell cell, bool shift, bool command, const LRgn& current) {
    auto anchorFromBounds = [&] {
        const LRect b = current.GetBounds();
        if (cell.col >= b.left && cell.row >= b.top)
            anchor = LCell{b.left, b.top};
        else
            anchor = LCell{b.right - 1, b.bottom - 1};
    };
    switch (mode) {
        case kMultiple:
            if (command) {
                adding = 1;
                addNotRemove = !current.ContainsPoint(cell.col, cell.row);
                anchor = cell;
            } else if (shift) {
                adding = 0;
                anchorFromBounds();
            } else {
                adding = 0;
                anchor = cell;
            }
            break;
        case kRange:
            if (shift)
                anchorFromBounds();
            else
                anchor = cell;
            break;
        case kSingle:
            anchor = cell;
            break;
        default:
            break;
    }
}

LRgn LSelTracker::Track(LCell cell, const LRgn& current) const {
    const LRgn range =
        CellRgn(std::min(anchor.col, cell.col), std::min(anchor.row, cell.row),
                std::max(anchor.col, cell.col) + 1, std::max(anchor.row, cell.row) + 1);
    switch (mode) {
        case kMultiple:
            if (adding) {
                LRgn r = current;
                if (addNotRemove)
                    r.Union(range);
                else
                    r.Subtract(range);
                return r;
            }
            return range;
        case kRange:
            return range;
        case kSingle:
            return CellRgn(cell.col, cell.row, cell.col + 1, cell.row + 1);
        default:
            return current;
    }
}

// ---------------------------------------------------------------- pane

LListPane::LListPane(LPane* owner, u32 mode) : LPane(owner, owner) {
    fTracker.mode = mode;
}

LListPane::~LListPane() {
    delete fScrollTimer;
    fScrollTimer = nullptr;
}

LRect LListPane::GetCellRect(LCell cell) const {
    const i32 left = (cell.col - fFirst.col) * fCellW + fBounds.left;
    const i32 top = (cell.row - fFirst.row) * fCellH + fBounds.top;
    return LRect(left, top, left + fCellW, top + fCellH);
}

LCell LListPane::PointToCell(LPoint pt) const {
    return LCell{(pt.x - fBounds.left) / fCellW + fFirst.col,
                 (pt.y - fBounds.top) / fCellH + fFirst.row};
}

LCell LListPane::PointToGap(LPoint pt) const {
    return LCell{(pt.x - fBounds.left + fCellW / 2) / fCellW + fFirst.col,
                 (pt.y - fBounds.top + fCellH / 2) / fCellH + fFirst.row};
}

LPoint LListPane::ScreenToLocal(LPoint screen) {
    return ScreenPointIn(this, screen);
}

i32 LListPane::GetVisibleColsFull() const {
    return std::max(fBounds.Width(), 0) / fCellW;
}
i32 LListPane::GetVisibleRowsFull() const {
    return std::max(fBounds.Height(), 0) / fCellH;
}
i32 LListPane::GetVisibleColsCeil() const {
    return (fBounds.Width() - 1 + fCellW) / fCellW;
}
i32 LListPane::GetVisibleRowsCeil() const {
    return (fBounds.Height() - 1 + fCellH) / fCellH;
}
i32 LListPane::GetMaxScrollCol() const {
    return std::max(0, fCols - GetVisibleColsFull());
}
i32 LListPane::GetMaxScrollRow() const {
    return std::max(0, fRows - GetVisibleRowsFull());
}

LRect LListPane::FullCells() const {
    return LRect(fFirst.col, fFirst.row, fFirst.col + GetVisibleColsFull(),
                 fFirst.row + GetVisibleRowsFull());
}

LRect LListPane::CeilCells() const {
    return LRect(fFirst.col, fFirst.row, fFirst.col + GetVisibleColsCeil(),
                 fFirst.row + GetVisibleRowsCeil());
}

i32 LListPane::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    (void)ctx;
    (void)hint;
    return fCellW;
}

i32 LListPane::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    (void)ctx;
    (void)hint;
    return fCellH;
}

// ---------------------------------------------------------------- selection

void LListPane::SetSelectionRgn(const LRgn& region) {
    SetSelection(region);
}

void LListPane::UpdateHilite(const LRgn&, const LRgn&) {}
void LListPane::CellsShifted(u32, i32, i32) {}
bool LListPane::CanDraw() {
    return true;
}
void LListPane::RebuildCells() {}

void LListPane::InvalidateRgn(const LRgn& region) {
    InvalidateRect(region, region);
}

void LListPane::InvalidateAll() {
    InvalidateRgn(LRgn(fBounds));
}

void LListPane::FocusList() {
    RequestFocus();
}

void LListPane::SetSelection(const LRgn& region) {
    LRgn clipped = region;
    clipped.Intersect(CellRgn(0, 0, fCols, fRows));
    LRgn changed = clipped;
    changed.Xor(fSel);
    if (changed.IsEmpty()) return;
    const LRgn old = fSel;
    fSel = clipped;
    UpdateHilite(changed, old);

    changed.Intersect(LRgn(CeilCells()));
    LRgn invalid;
    LArray rects(sizeof(LRect));
    changed.GetRects(rects);
    for (u32 i = 0; i < rects.Count(); ++i) {
        const LRect& c = rects.DataAs<LRect>()[i];
        LRect px = GetCellRect(LCell{c.left, c.top});
        const LRect br = GetCellRect(LCell{c.right - 1, c.bottom - 1});
        px.right = br.right;
        px.bottom = br.bottom;
        invalid.Union(LRgn(px));
    }
    InvalidateRgn(invalid);
    Send(LListPane_SelChange, this, fParent);
}

void LListPane::SelectNone() {
    SetSelection(LRgn());
}

void LListPane::SelectCell(LCell cell) {
    SetSelection(CellRgn(cell.col, cell.row, cell.col + 1, cell.row + 1));
}

void LListPane::AddToSelection(LCell cell) {
    LRgn r = fSel;
    r.Union(CellRgn(cell.col, cell.row, cell.col + 1, cell.row + 1));
    SetSelection(r);
}

LCell LListPane::GetSelCell() const {
    if (!fSel.IsSingleCell()) return LCell{};
    const LRect b = fSel.GetBounds();
    return LCell{b.left, b.top};
}

LCell LListPane::GetSelStart() const {
    if (fSel.IsEmpty()) return LCell{fCols, fRows};
    const LRect b = fSel.GetBounds();
    return LCell{b.left, b.top};
}

LCell LListPane::GetSelEnd() const {
    if (fSel.IsEmpty()) return LCell{fCols, fRows};
    const LRect b = fSel.GetBounds();
    return LCell{b.right, b.bottom};
}

void LListPane::Apply(const LRgn& wanted) {
    LRgn r = wanted;
    r.Intersect(CellRgn(0, 0, fCols, fRows));
    if (!LRgn::Equal(r, fSel)) SetSelectionRgn(r);
}

// ---------------------------------------------------------------- grid

void LListPane::InsertRows(i32 at, i32 n) {
    Insert(1, at, n);
}
void LListPane::InsertColumns(i32 at, i32 n) {
    Insert(0, at, n);
}
void LListPane::RemoveRows(i32 at, i32 n) {
    Remove(1, at, n);
}
void LListPane::RemoveColumns(i32 at, i32 n) {
    Remove(0, at, n);
}

void LListPane::Insert(u32 axis, i32 at, i32 n) {
    // A negative position is no position, like a count below 1.
    i32& count = axis ? fRows : fCols;
    if (n <= 0 || at < 0) return;
    // The count, padded up to the position, stays an i32.
    const i32 pad = std::max(0, at - count);
    if (pad > Headroom(count)) return;
    n = std::min(n, Headroom(count + pad));
    if (n <= 0) return;

    LRgn before = fSel;
    LRgn after = fSel;
    if (axis) {
        before.Intersect(CellRgn(0, 0, fCols, at));
        after.Intersect(CellRgn(0, at, fCols, fRows));
        after.Offset(0, n);
    } else {
        before.Intersect(CellRgn(0, 0, at, fRows));
        after.Intersect(CellRgn(at, 0, fCols, fRows));
        after.Offset(n, 0);
    }
    before.Union(after);
    count += n + pad;
    CellsShifted(axis, at, n);
    LRect area = fBounds;
    if (axis)
        area.top += std::min(std::max(0, at - fFirst.row), fBounds.Height() / fCellH + 1) * fCellH;
    else
        area.left += std::min(std::max(0, at - fFirst.col), fBounds.Width() / fCellW + 1) * fCellW;
    if (!area.IsEmpty()) InvalidateRgn(LRgn(area));
    SetSelection(before);
    Send(LListPane_Change, this, fParent);
}

void LListPane::Remove(u32 axis, i32 at, i32 n) {
    i32& count = axis ? fRows : fCols;
    if (n <= 0 || at < 0 || at >= count) return;
    const i32 removed = std::min(n, count - at);

    LRgn before = fSel;
    LRgn after = fSel;
    if (axis) {
        before.Intersect(CellRgn(0, 0, fCols, at));
        after.Intersect(CellRgn(0, at + removed, fCols, fRows));
        after.Offset(0, -removed);
    } else {
        before.Intersect(CellRgn(0, 0, at, fRows));
        after.Intersect(CellRgn(at + removed, 0, fCols, fRows));
        after.Offset(-removed, 0);
    }
    before.Union(after);
    count -= removed;

    LCell first = fFirst;
    i32& firstOnAxis = axis ? first.row : first.col;
    LRect area = fBounds;
    if (count <= firstOnAxis) {
        firstOnAxis = count > 0 ? count - 1 : 0;
    } else if (axis) {
        area.top += std::min(std::max(0, at - fFirst.row), fBounds.Height() / fCellH + 1) * fCellH;
    } else {
        area.left += std::min(std::max(0, at - fFirst.col), fBounds.Width() / fCellW + 1) * fCellW;
    }
    CellsShifted(axis, at, -removed);
    if (!area.IsEmpty()) InvalidateRgn(LRgn(area));
    SetSelection(before);
    if (first == fFirst)
        Send(LListPane_Change, this, fParent);
    else
        SetScrollPos(first);
}

void LListPane::SetCellSize(i32 width, i32 height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == fCellW && height == fCellH) return;
    fCellW = width;
    fCellH = height;
    InvalidateAll();
    Send(LListPane_Change, this, fParent);
}

// ---------------------------------------------------------------- scrolling

LRect LListPane::CoveredArea(LCell first) const {
    LRect r = fBounds;
    const i64 right = i64(fBounds.left) + i64(fCols - first.col) * fCellW;
    const i64 bottom = i64(fBounds.top) + i64(fRows - first.row) * fCellH;
    r.right = i32(std::max<i64>(std::min<i64>(fBounds.right, right), fBounds.left));
    r.bottom = i32(std::max<i64>(std::min<i64>(fBounds.bottom, bottom), fBounds.top));
    return r;
}

void LListPane::SetScrollPos(LCell first) {
    if (first == fFirst) return;
    LRgn area(CoveredArea(fFirst));
    area.Union(LRgn(CoveredArea(first)));
    fFirst = first;
    InvalidateRgn(area);
    RebuildCells();
    Send(LListPane_Change, this, fParent);
}

void LListPane::ScrollToCell(LCell cell) {
    const i32 fullC = GetVisibleColsFull();
    const i32 fullR = GetVisibleRowsFull();
    if (cell.col >= fFirst.col && cell.col < fFirst.col + fullC && cell.row >= fFirst.row &&
        cell.row < fFirst.row + fullR)
        return;
    LCell first{std::max(0, std::min(cell.col - fullC / 2, fCols - fullC)),
                std::max(0, std::min(cell.row - fullR / 2, fRows - fullR))};
    SetScrollPos(first);
}

void LListPane::RevealSelection() {
    if (fSel.IsEmpty() || fSel.IntersectsRect(FullCells())) return;
    const LRect b = fSel.GetBounds();
    ScrollToCell(LCell{b.left, b.top});
}

LCell LListPane::ClampScrollStep(LCell step) const {
    auto clampAxis = [](i32 d, i32 count, i32 full, bool fits, i32 first) {
        const i32 largest = fits ? std::max(0, count - full) : std::max(0, count - 1);
        d = std::min(d, std::max(0, largest - first));
        return std::max(d, -std::max(0, first));
    };
    return LCell{
        clampAxis(step.col, fCols, GetVisibleColsFull(), fCellW <= fBounds.Width(), fFirst.col),
        clampAxis(step.row, fRows, GetVisibleRowsFull(), fCellH <= fBounds.Height(), fFirst.row)};
}

LCell LListPane::AutoScrollStep(LPoint pt) const {
    LCell step{0, 0};
    if (pt.x < fBounds.left) step.col = -1;
    if (pt.x >= fBounds.right) step.col = 1;
    if (pt.y < fBounds.top) step.row = -1;
    if (pt.y >= fBounds.bottom) step.row = 1;
    return ClampScrollStep(step);
}

void LListPane::TrackTo(LPoint pt) {
    LCell cell = PointToCell(pt);
    cell.col = std::max(fFirst.col, std::min(cell.col, fFirst.col + GetVisibleColsCeil() - 1));
    cell.row = std::max(fFirst.row, std::min(cell.row, fFirst.row + GetVisibleRowsCeil() - 1));
    Apply(fTracker.Track(cell, fSel));
}

// ---------------------------------------------------------------- messages

LMessage LListPane::HandleMessage(const LMessage& msg) {
    // Panes inside the list (cell frames, the drag source) are none of the parent's children.
    if ((msg.Is(LPane_Constructing) || msg.Is(LPane_Destructing)) && msg.source != this &&
        static_cast<LPane*>(msg.source)->Container() == this)
        return LMessage();
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        if (msg.Is(LMouse_Click)) {
            const LCell cell = PointToCell(MousePointIn(this));
            fLastClicked = cell;
            fTracker.BeginClick(cell, mouse->IsShiftDown(), mouse->IsCommandDown(), fSel);
            Apply(fTracker.Track(cell, fSel));
            FocusList();
            Send(LPane_ReqCapture, this, fParent);
            return LMessage{LListPane_Clicked, this, fParent};
        }
        if (msg.Is(LMouse_Move)) {
            const LPoint pt = MousePointIn(this);
            const LCell step = AutoScrollStep(pt);
            if (step == LCell{0, 0}) {
                delete fScrollTimer;
                fScrollTimer = nullptr;
            } else if (!fScrollTimer) {
                SetScrollPos(LCell{fFirst.col + step.col, fFirst.row + step.row});
                fScrollTimer = new LTimer(this);
                fScrollTimer->Start(u32(KeyInitialDelayMs()));
            }
            TrackTo(pt);
            return LMessage();
        }
        if (msg.Is(LMouse_Release)) {
            delete fScrollTimer;
            fScrollTimer = nullptr;
            return LMessage();
        }
    }
    if (fScrollTimer && msg.source == fScrollTimer && msg.Is(LTimer_Expire)) {
        fScrollTimer->Start(u32(KeyRepeatIntervalMs()));
        const LPoint pt = MousePointIn(this);
        const LCell step = AutoScrollStep(pt);
        if (!(step == LCell{0, 0}))
            SetScrollPos(LCell{fFirst.col + step.col, fFirst.row + step.row});
        TrackTo(pt);
        return LMessage();
    }
    return LPane::HandleMessage(msg);
}

// ---------------------------------------------------------------- drawing

void LListPane::FillDrawEnv(LDrawEnv& env) {
    LPane::FillDrawEnv(env);
    LRect b = fBounds;
    b.Offset(env.fOriginX, env.fOriginY);
    if (env.fClip.IsEmpty())
        env.fClip.SetRect(b);
    else
        env.fClip.Intersect(LRgn(b));
}

void LListPane::BoundsChanged(const LRect& old) {
    if (!IsShown() || !fContainer) return;
    LRgn a(old);
    const LRgn b(fBounds);
    if (old.left == fBounds.left && old.top == fBounds.top)
        a.Xor(b);
    else
        a.Union(b);
    InvalidateRect(a, a);
}

void LListPane::Draw(LDrawCtx& ctx) {
    LClipScope scope(ctx, LRgn(fBounds));
    const LRgn& clip = ctx.GetClipRgn();
    if (clip.IsEmpty()) return;
    const LRect cb = clip.GetBounds();
    const LCell start =
        PointToCell(LPoint{std::max(cb.left, fBounds.left), std::max(cb.top, fBounds.top)});
    for (i32 row = start.row;; ++row) {
        LRect rect = GetCellRect(LCell{start.col, row});
        if (rect.top >= cb.bottom) break;
        for (i32 col = start.col;; ++col) {
            rect = GetCellRect(LCell{col, row});
            if (rect.left >= cb.right) break;
            if (ctx.GetClipRgn().IntersectsRect(rect)) DrawCell(ctx, LCell{col, row}, rect);
        }
    }
}

// ---------------------------------------------------------------- iterator

void LSelIter::Init(const LRgn& selection, bool columnMajor, bool reverse) {
    fRgn = selection;
    fBounds = selection.GetBounds();
    fColumnMajor = columnMajor;
    fReverse = reverse;
    if (!columnMajor) {
        fCol = reverse ? fBounds.right : fBounds.left - 1;
        fRow = reverse ? fBounds.bottom - 1 : fBounds.top;
    } else {
        fCol = reverse ? fBounds.right - 1 : fBounds.left;
        fRow = reverse ? fBounds.bottom : fBounds.top - 1;
    }
}

bool LSelIter::Next() {
    if (fRgn.IsEmpty()) return false;
    const i32 step = fReverse ? -1 : 1;
    // Outer: the rows (row-major) or columns; inner: the other axis.
    i32& outer = fColumnMajor ? fCol : fRow;
    i32& inner = fColumnMajor ? fRow : fCol;
    const i32 oLo = fColumnMajor ? fBounds.left : fBounds.top;
    const i32 oHi = fColumnMajor ? fBounds.right : fBounds.bottom;
    const i32 iLo = fColumnMajor ? fBounds.top : fBounds.left;
    const i32 iHi = fColumnMajor ? fBounds.bottom : fBounds.right;
    while (outer >= oLo && outer < oHi) {
        const LRect band =
            fColumnMajor ? LRect(outer, iLo, outer + 1, iHi) : LRect(iLo, outer, iHi, outer + 1);
        if (fRgn.IntersectsRect(band)) {
            for (inner += step; inner >= iLo && inner < iHi; inner += step) {
                if (fRgn.ContainsPoint(fCol, fRow)) return true;
            }
        }
        inner = fReverse ? iHi : iLo - 1;
        outer += step;
    }
    return false;
}
