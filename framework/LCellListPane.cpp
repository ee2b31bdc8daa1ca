#include "framework/LCellListPane.h"

#include <algorithm>

#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/LEditText.h"
#include "framework/MousePoint.h"

namespace {

bool CellLess(LCell a, LCell b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
}

LPoint Centre(const LRect& r) {
    return LPoint{r.left + r.Width() / 2, r.top + r.Height() / 2};
}

}  // namespace

// ---------------------------------------------------------------- cell frames

LListCell::~LListCell() {
    delete fStamp;
    fStamp = nullptr;
}

LMessage LListCell::HandleMessage(const LMessage& msg) {
    LKeyboard* kb = LKeyboard::Instance();
    if (msg.Is(LKeyboard_Down) && kb && kb->fChar == 9) {
        AdvanceFocusInOrder(kb->IsShiftDown() ? 1 : 0);
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void LListCell::FillDrawEnv(LDrawEnv& env) {
    if (fStamp) {
        env = fStamp->env;
        return;
    }
    LFrame::FillDrawEnv(env);
}

void LListCell::InvalidateRect(const LRgn& redraw, const LRgn& erase) {
    if (!IsShown()) return;
    if (fStamp) {
        fStamp->redraw.Union(redraw);
        fStamp->erase.Union(erase);
        return;
    }
    LFrame::InvalidateRect(redraw, erase);
}

void LListCell::BeginStamp() {
    if (!fStamp) fStamp = new Stamp;
    fStamp->env = LDrawEnv();
    LFrame::FillDrawEnv(fStamp->env);
}

void LListCell::EndStamp() {
    delete fStamp;
    fStamp = nullptr;
}

void LListCell::ShowCell() {
    if (fStamp) {
        fStamp->redraw.SetEmpty();
        fStamp->erase.SetEmpty();
    }
    fState &= ~u32(kContainerShown);
    for (LLink* l = fChildren.Head(); !l->IsEnd(); l = l->Next())
        static_cast<LPane*>(l)->SetState(kOpContainerShown);
    fState |= kContainerShown;
    fNoErase.SetEmpty();
}

void LListCell::HideCell() {
    if (fStamp) {
        const LRgn redraw = fStamp->redraw;
        const LRgn erase = fStamp->erase;
        fStamp->redraw.SetEmpty();
        fStamp->erase.SetEmpty();
        if (!redraw.IsEmpty() || !erase.IsEmpty()) LFrame::InvalidateRect(redraw, erase);
    }
    fState &= ~u32(kContainerShown);
    for (LLink* l = fChildren.Head(); !l->IsEnd(); l = l->Next())
        static_cast<LPane*>(l)->SetState(kOpContainerHidden);
}

// ---------------------------------------------------------------- list

LCellListPane::LCellListPane(LPane* owner, u32 mode, bool keepSelectionOnEdit, bool liveCells)
    : LListPane(owner, mode), fKeepSelOnEdit(keepSelectionOnEdit), fLiveCells(liveCells) {}

LCellListPane::~LCellListPane() {
    std::vector<LListCell*> frames;
    for (LCellSlot& s : fPool) frames.push_back(s.frame);
    frames.push_back(fProto);
    frames.push_back(fEdit.frame);
    frames.push_back(fCurrent.frame);
    fPool.clear();
    fProto = nullptr;
    fEdit = LCellSlot();
    fCurrent = LCellSlot();
    for (LListCell* f : frames) delete f;
    delete fBatch;
    fBatch = nullptr;
}

void LCellListPane::SetupCell(LListCell*) {}

void LCellListPane::ApplyCellColors(LListCell* frame, LCell, bool selected) {
    if (selected) {
        LPenRef pen;
        MakePenById(&pen, 3);
        frame->SetBackColor(pen);
    } else {
        frame->SetBackColor(fBackground);
    }
}

u32 LCellListPane::CellQuery(LCell*) {
    return kSizePreferred;
}

void LCellListPane::SetBackground(const LPenRef& color) {
    fBackground = color;
    InvalidateAll();
}

bool LCellListPane::InGrid(LCell cell) const {
    return cell.col >= 0 && cell.row >= 0 && cell.col < Cols() && cell.row < Rows();
}

LListCell* LCellListPane::MakeFrame() {
    LListCell* frame = CreateCell();
    if (!frame) return nullptr;
    // A new frame is off screen until a slot shows it.
    frame->SetState(kOpContainerHidden);
    SetupCell(frame);
    return frame;
}

// ---------------------------------------------------------------- batches

void LCellListPane::BeginBatch() {
    if (fBatchDepth++ > 0) return;
    Batch* b = new Batch;
    LListPane::FillDrawEnv(b->env);
    fBatch = b;
}

void LCellListPane::EndBatch() {
    if (fBatchDepth == 0 || --fBatchDepth > 0) return;
    Batch* b = fBatch;
    fBatch = nullptr;
    if (!b->redraw.IsEmpty() || !b->erase.IsEmpty()) LListPane::InvalidateRect(b->redraw, b->erase);
    delete b;
}

void LCellListPane::FillDrawEnv(LDrawEnv& env) {
    if (fBatch)
        env = fBatch->env;
    else
        LListPane::FillDrawEnv(env);
    if (fBackground) env.fBackground = fBackground;
}

void LCellListPane::InvalidateRect(const LRgn& redraw, const LRgn& erase) {
    if (fBatch) {
        fBatch->redraw.Union(redraw);
        fBatch->erase.Union(erase);
        return;
    }
    LListPane::InvalidateRect(redraw, erase);
}

void LCellListPane::InvalidateRgn(const LRgn& region) {
    LRgn clip = region;
    clip.Intersect(LRgn(fBounds));
    if (clip.IsEmpty()) return;
    InvalidateRect(clip, fBackground ? LRgn() : clip);
}

// ---------------------------------------------------------------- prototype and slots

LListCell* LCellListPane::GetProtoCell() {
    if (fProto) return fProto;
    fProto = CreateCell();
    if (!fProto) return nullptr;
    fProto->SetState(kOpContainerHidden);
    SetupCell(fProto);
    LDrawCtx ctx;
    SetCellSize(fProto->GetPrefWidth(&ctx, 0), fProto->GetPrefHeight(&ctx, 0));
    fProto->SetBounds(GetCellRect(LCell{0, 0}));
    return fProto;
}

LListCell* LCellListPane::GetProtoCellFor(LCell cell) {
    if (!InGrid(cell)) return nullptr;
    LListCell* proto = GetProtoCell();
    if (!proto || !BindCell(proto, cell)) return nullptr;
    proto->SetBounds(GetCellRect(cell));
    return proto;
}

void LCellListPane::FreeSlot(LCellSlot& slot) {
    if (slot.frame) slot.frame->SetState(kOpContainerHidden);
    slot.cell = LCell();
}

void LCellListPane::BindSlot(LCellSlot& slot, LCell cell) {
    if (!slot.frame) return;
    LListCell* frame = slot.frame;
    // A frame bound again to the cell it shows stays shown: hiding it would
    // take the focus and the caret from the field the user is typing in, whose
    // every change comes back here as a refresh of its own cell.
    const bool again =
        slot.IsValid() && slot.cell == cell && InGrid(cell) && (frame->State() & kContainerShown);
    if (!again) FreeSlot(slot);
    bool bound = false;
    {
        LFieldRefresh refresh;
        bound = InGrid(cell) && BindCell(frame, cell);
    }
    if (!bound) {
        FreeSlot(slot);
        return;
    }
    const LRect rect = GetCellRect(cell);
    if (frame->Bounds() == rect)
        frame->SetState(kOpMoved);
    else
        frame->SetBounds(rect);
    ApplyCellColors(frame, cell, IsSelected(cell));
    frame->SetState((fState & 10) == 10 ? kOpContainerActive : kOpContainerInactive);
    frame->SetState((fState & (kDimmed | kContainerDimmed)) ? kOpContainerDim : kOpContainerUndim);
    frame->SetState((fState & kWindowKey) ? kOpWindowKey : kOpWindowUnkey);
    if (IsShown() && !again) frame->ShowCell();
    slot.cell = cell;
}

size_t LCellListPane::PoolUpper(LCell cell) const {
    return size_t(
        std::upper_bound(fPool.begin(), fPool.end(), cell,
                         [](LCell c, const LCellSlot& s) { return CellLess(c, s.cell); }) -
        fPool.begin());
}

i32 LCellListPane::PoolFind(LCell cell) const {
    const size_t i = PoolUpper(cell);
    if (i > 0 && fPool[i - 1].cell == cell && !cell.IsNone()) return i32(i - 1);
    return -1;
}

void LCellListPane::PoolInsert(const LCellSlot& slot) {
    if (!slot.frame) return;
    fPool.insert(fPool.begin() + std::ptrdiff_t(PoolUpper(slot.cell)), slot);
}

void LCellListPane::SwapCurrentWithPool(size_t i) {
    const LCellSlot out = fCurrent;
    fCurrent = fPool[i];
    fPool.erase(fPool.begin() + std::ptrdiff_t(i));
    PoolInsert(out);
}

void LCellListPane::EnsureSpare() {
    if (!fPool.empty() && !(fLiveCells && fPool[0].IsValid())) return;
    LListCell* frame = MakeFrame();
    fPool.insert(fPool.begin(), LCellSlot{LCell(), frame});
}

void LCellListPane::BindCurrent(LCell cell) {
    if (fCurrent.cell == cell) return;
    const i32 at = PoolFind(cell);
    if (at >= 0) {
        SwapCurrentWithPool(size_t(at));
        return;
    }
    EnsureSpare();
    const LCellSlot out = fCurrent;
    fCurrent = fPool[0];
    fPool.erase(fPool.begin());
    if (out.frame) out.frame->SetState(kOpUnfocus);
    PoolInsert(out);
    if (!fCurrent.frame)
        fCurrent.frame = MakeFrame();
    else
        FreeSlot(fCurrent);
    BindSlot(fCurrent, cell);
}

LCellSlot* LCellListPane::LiveSlotFor(LCell cell) {
    if (cell.IsNone()) return nullptr;
    if (fCurrent.IsValid() && fCurrent.cell == cell) return &fCurrent;
    if (fEdit.IsValid() && fEdit.cell == cell) return &fEdit;
    const i32 at = PoolFind(cell);
    if (at >= 0 && fPool[size_t(at)].IsValid()) return &fPool[size_t(at)];
    return nullptr;
}

LListCell* LCellListPane::GetCellFrame(LCell cell, bool lookupOnly) {
    // Whoever asks for a row's frame reads or focuses what it shows now.
    SettleRefresh();
    if (LCellSlot* s = LiveSlotFor(cell)) return s->frame;
    if (lookupOnly) return nullptr;
    BindCurrent(cell);
    if (!fPool.empty()) {
        std::swap(fCurrent, fPool[0]);
        // Keep the pool sorted: the bound slot goes to its place.
        const LCellSlot bound = fPool[0];
        fPool.erase(fPool.begin());
        PoolInsert(bound);
        if (LCellSlot* s = LiveSlotFor(cell)) return s->frame;
        return nullptr;
    }
    return fCurrent.IsValid() ? fCurrent.frame : nullptr;
}

LListCell* LCellListPane::FindCellFrame(LHandler* pane, LCell* cell) {
    if (!pane) return nullptr;
    auto holds = [pane](const LCellSlot& s) {
        return s.IsValid() && LHandler::IsInChain(pane, pane->Parent(), s.frame);
    };
    const LCellSlot* found = nullptr;
    if (holds(fCurrent)) {
        found = &fCurrent;
    } else if (holds(fEdit)) {
        found = &fEdit;
    } else {
        for (const LCellSlot& s : fPool) {
            if (holds(s)) {
                found = &s;
                break;
            }
        }
    }
    if (!found) return nullptr;
    if (cell) *cell = found->cell;
    return found->frame;
}

bool LCellListPane::GetEditCell(LCell* cell) const {
    if (cell) *cell = fEdit.cell;
    return fEdit.IsValid();
}

void LCellListPane::RefreshCell(LCell cell) {
    if (LCellSlot* s = InGrid(cell) ? LiveSlotFor(cell) : nullptr) {
        BindSlot(*s, cell);
        return;
    }
    InvalidateRgn(LRgn(GetCellRect(cell)));
}

void LCellListPane::RefreshAll() {
    if (fRefreshPending) return;
    fRefreshPending = true;
    // Stamped rows draw what their data holds when drawn: invalidating them
    // is their refresh. Invalidated now, so that the drawing that follows
    // the edit covers them, whatever comes first.
    InvalidateStampedRows();
    // The main loop answers with "LPane_Deferred"; without one the message
    // comes back here unanswered and the refresh runs at once.
    Send(LPane_Defer, this, fParent);
}

void LCellListPane::SettleRefresh() {
    if (!fRefreshPending) return;
    fRefreshPending = false;
    {
        BatchScope batch(*this);
        // Only the live frames hold what they showed; the slots stay sorted,
        // as binding a slot again changes no cell.
        auto rebind = [this](LCellSlot& s) {
            if (s.IsValid() && InGrid(s.cell)) BindSlot(s, s.cell);
        };
        rebind(fCurrent);
        rebind(fEdit);
        for (LCellSlot& s : fPool) rebind(s);
    }
    RowsRefreshed();
}

void LCellListPane::InvalidateStampedRows() {
    const LRect cells = CeilCells();
    const LCell last{std::min(cells.right, Cols()) - 1, std::min(cells.bottom, Rows()) - 1};
    if (last.col < First().col || last.row < First().row) return;
    LRect area = GetCellRect(First());
    const LRect end = GetCellRect(last);
    area.right = end.right;
    area.bottom = end.bottom;
    LRgn rows(area);
    auto cut = [&rows, this](const LCellSlot& s) {
        if (s.IsValid() && InGrid(s.cell)) rows.Subtract(LRgn(s.frame->Bounds()));
    };
    cut(fCurrent);
    cut(fEdit);
    for (const LCellSlot& s : fPool) cut(s);
    InvalidateRgn(rows);
}

void LCellListPane::ReleaseCells() {
    if (fEdit.frame) fEdit.frame->SetState(kOpUnfocus);
    FreeSlot(fEdit);
    FreeSlot(fCurrent);
    for (LCellSlot& s : fPool) FreeSlot(s);
    // Free slots sort first.
    std::stable_sort(fPool.begin(), fPool.end(), [](const LCellSlot& a, const LCellSlot& b) {
        return CellLess(a.cell, b.cell);
    });
}

void LCellListPane::DropEditCell() {
    if (!fEdit.frame) return;
    fEdit.frame->SetState(kOpUnfocus);
    LCellSlot out = fEdit;
    fEdit = LCellSlot();
    FreeSlot(out);
    PoolInsert(out);
}

void LCellListPane::RelayoutCells() {
    auto place = [this](LCellSlot& s) {
        if (s.IsValid()) s.frame->SetBounds(GetCellRect(s.cell));
    };
    place(fCurrent);
    place(fEdit);
    for (LCellSlot& s : fPool) place(s);
}

// ---------------------------------------------------------------- drawing

void LCellListPane::Draw(LDrawCtx& ctx) {
    // A drawing may come before the loop does: the live frames are drawn as
    // their rows are now.
    SettleRefresh();
    BatchScope batch(*this);
    LListPane::Draw(ctx);
}

void LCellListPane::DrawCell(LDrawCtx& ctx, LCell cell, const LRect& rect) {
    if (InGrid(cell)) {
        if (LCellSlot* s = LiveSlotFor(cell)) {
            if (s->frame->IsShown()) {
                s->frame->Draw(ctx);
                return;
            }
        } else if (fLiveCells) {
            BindCurrent(cell);
            if (fCurrent.IsValid() && fCurrent.frame->IsShown()) {
                EnsureSpare();
                LListCell* frame = fCurrent.frame;
                std::swap(fCurrent, fPool[0]);
                const LCellSlot bound = fPool[0];
                fPool.erase(fPool.begin());
                PoolInsert(bound);
                frame->Draw(ctx);
                return;
            }
            FreeSlot(fCurrent);
        } else if (LListCell* proto = GetProtoCell(); proto && BindCell(proto, cell)) {
            ApplyCellColors(proto, cell, IsSelected(cell));
            proto->SetBounds(rect);
            proto->BeginStamp();
            proto->SetState((fState & 10) <= 9 ? kOpContainerInactive : kOpContainerActive);
            proto->ShowCell();
            proto->Draw(ctx);
            proto->HideCell();
            proto->EndStamp();
            return;
        }
    }
    if (fBackground) {
        LSolidFill fill(rect, fBackground);
        ctx.ApplyClip();
        fill.Draw(ctx);
    }
}

bool LCellListPane::CanDraw() {
    return fBackground && IsStampMode();
}

void LCellListPane::RebuildCells() {
    RelayoutCells();
}

void LCellListPane::InvalidateAll() {
    if (LListCell* proto = GetProtoCell()) proto->SetBounds(GetCellRect(LCell{0, 0}));
    RelayoutCells();
    if (!IsStampMode()) return;
    LRgn area(fBounds);
    auto cut = [&area](const LCellSlot& s) {
        if (s.IsValid()) area.Subtract(LRgn(s.frame->Bounds()));
    };
    cut(fCurrent);
    cut(fEdit);
    for (const LCellSlot& s : fPool) cut(s);
    InvalidateRgn(area);
}

void LCellListPane::BoundsChanged(const LRect& old) {
    if (old.left == fBounds.left && old.top == fBounds.top)
        ForEachLive([](LListCell* f, u32 op) { f->SetState(op); }, kOpMoved);
    else
        RelayoutCells();
    LListPane::BoundsChanged(old);
}

void LCellListPane::ForEachLive(void (*f)(LListCell*, u32), u32 op) {
    if (fCurrent.IsValid()) f(fCurrent.frame, op);
    if (fEdit.IsValid()) f(fEdit.frame, op);
    for (size_t i = 0; i < fPool.size(); ++i)
        if (fPool[i].IsValid()) f(fPool[i].frame, op);
}

// ---------------------------------------------------------------- hit tests and focus

LPane* LCellListPane::FindPaneAt(LPoint pt) {
    // A click goes to the fields of the row as it is now.
    SettleRefresh();
    LPane* hit = LPane::FindPaneAt(pt);
    if (hit != this) return hit;
    const LCell cell = PointToCell(pt);
    if (!InGrid(cell)) return this;
    LMouse* mouse = LMouse::Instance();
    if (fRowClicks && Mode() == LSelTracker::kMultiple && mouse &&
        (mouse->IsShiftDown() || mouse->IsCommandDown()))
        return this;
    LPane* hover = LFrame::HoverPane();
    auto inside = [hover](const LCellSlot& s) {
        return hover && s.frame && LHandler::IsInChain(hover, hover->Parent(), s.frame);
    };
    if (!inside(fCurrent) && !inside(fEdit) && !(fEdit.IsValid() && fEdit.cell == cell))
        BindCurrent(cell);
    LPane* result = nullptr;
    if (fEdit.IsValid() && fEdit.cell == cell) {
        result = fEdit.frame->FindPaneAt(pt);
        if (!inside(fCurrent)) BindCurrent(LCell());
    } else if (fCurrent.IsValid() && fCurrent.cell == cell) {
        result = fCurrent.frame->FindPaneAt(pt);
    } else if (LListCell* frame = GetCellFrame(cell, false)) {
        result = frame->FindPaneAt(pt);
    }
    return result ? result : this;
}

LPane* LCellListPane::FindFocusable() {
    if (!LPane::FindFocusable()) return nullptr;
    if (fEdit.IsValid()) {
        if (LPane* p = fEdit.frame->FindFocusable()) return p;
    }
    return this;
}

void LCellListPane::HandleFocusRequest(LPane* source) {
    if (source == fCurrent.frame && fCurrent.frame) {
        if (fEdit.frame) fEdit.frame->SetState(kOpUnfocus);
        std::swap(fCurrent, fEdit);
    } else if (source != fEdit.frame) {
        for (LCellSlot& s : fPool) {
            if (s.frame != source || !s.frame) continue;
            if (fEdit.frame) fEdit.frame->SetState(kOpUnfocus);
            std::swap(s, fEdit);
            // The exchanged slot goes to its sorted place.
            const LCellSlot back = s;
            fPool.erase(fPool.begin() + (&s - fPool.data()));
            PoolInsert(back);
            break;
        }
    }
    const bool keep = fKeepSelOnEdit && fEdit.IsValid() && IsSelected(fEdit.cell);
    if (!keep) SelectNone();
    if ((fState & kFocused) && fEdit.IsValid()) fEdit.frame->SetState(kOpFocus);
    UpdateRing();
    RequestFocus();
}

void LCellListPane::FocusList() {
    // The list already holding the focus asks nobody: the field of the row
    // edited last would stay the key target, a field whose window no longer
    // hands it the keys, and Delete would never reach what was selected.
    DropEditCell();
    UpdateRing();
    RequestFocus();
}

void LCellListPane::EndOpenEdit(bool store) {
    if (fEdit.IsValid() && fEdit.frame) fEdit.frame->EndOpenEdit(store);
}

LPane* LCellListPane::FocusedChild() const {
    return fEdit.IsValid() ? fEdit.frame : nullptr;
}

bool LCellListPane::FocusCellAt(LCell cell, LPoint pt) {
    ReleaseCells();
    LCell first = First();
    const i32 fullC = GetVisibleColsFull();
    const i32 fullR = GetVisibleRowsFull();
    if (cell.col - fullC + 1 >= first.col) first.col = cell.col - fullC + 1;
    if (first.col >= cell.col) first.col = cell.col;
    if (cell.row - fullR + 1 >= first.row) first.row = cell.row - fullR + 1;
    if (first.row >= cell.row) first.row = cell.row;
    SetScrollPos(first);
    BindCurrent(cell);
    if (!fCurrent.IsValid()) return false;
    const LRect b = fCurrent.frame->Bounds();
    return fCurrent.frame->FocusNearest(LPoint{pt.x + b.left, pt.y + b.top});
}

bool LCellListPane::HandleArrowKey() {
    LKeyboard* kb = LKeyboard::Instance();
    if (!kb || !fEdit.IsValid()) return false;
    const i32 key = kb->GetNavKey();
    if (key < 1 || key > 4) return false;
    const bool horizontal = key <= 2;
    if (Cols() == 1 && horizontal) {
        if (CellWidth() < CellHeight()) return false;
        fEdit.frame->AdvanceFocus(key == 1 ? 1 : 0, false);
        return true;
    }
    if (Rows() == 1 && !horizontal) {
        if (CellHeight() < CellWidth()) return false;
        fEdit.frame->AdvanceFocus(key == 3 ? 1 : 0, false);
        return true;
    }
    static const LCell kSteps[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    const LCell step = kSteps[key - 1];
    const LCell old = fEdit.cell;
    auto clamp = [this](LCell c) {
        return LCell{std::clamp(c.col, 0, std::max(Cols() - 1, 0)),
                     std::clamp(c.row, 0, std::max(Rows() - 1, 0))};
    };
    LCell target = clamp(LCell{old.col + step.col, old.row + step.row});
    if (target == old) return true;
    LPane* focused = fEdit.frame->FindFocusable();
    if (!focused) return true;
    LPoint pt = Centre(focused->Bounds());
    if (focused == fEdit.frame)
        pt = LPoint{fEdit.frame->Bounds().Width() / 2, fEdit.frame->Bounds().Height() / 2};
    for (;;) {
        if (FocusCellAt(target, pt)) return true;
        const LCell next = clamp(LCell{target.col + step.col, target.row + step.row});
        if (next == target) break;
        target = next;
    }
    FocusCellAt(old, pt);
    return true;
}

LMessage LCellListPane::HandleMessage(const LMessage& msg) {
    if ((msg.Is(LPane_Deferred) || msg.Is(LPane_Defer)) && msg.source == this && fRefreshPending) {
        SettleRefresh();
        return LMessage();
    }
    if (msg.Is(LPane_ReqFocus) && msg.source != this) {
        LPane* source = static_cast<LPane*>(msg.source);
        if (source->GetNativeWindow() != GetNativeWindow()) return LListPane::HandleMessage(msg);
        HandleFocusRequest(source);
        return LMessage();
    }
    if (msg.Is(LKeyboard_Down) && fEdit.IsValid() && HandleArrowKey()) return LMessage();
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse && msg.Is(LMouse_Click) &&
        !InGrid(PointToCell(MousePointIn(this)))) {
        DropEditCell();
        SetState(kOpUnfocus);
    }
    return LListPane::HandleMessage(msg);
}

// ---------------------------------------------------------------- state

void LCellListPane::StateChanged(u32 op) {
    LListPane::StateChanged(op);
    BatchScope batch(*this);
    const u32 s = fState;
    auto all = [this](u32 cellOp) {
        ForEachLive([](LListCell* f, u32 o) { f->SetState(o); }, cellOp);
    };
    auto invalidate = [this] {
        if (IsStampMode()) InvalidateRgn(LRgn(fBounds));
    };
    switch (op) {
        case kOpShow:
        case kOpContainerShown:
            if (IsShown()) ForEachLive([](LListCell* f, u32) { f->ShowCell(); }, 0);
            break;
        case kOpHide:
            if (s & kContainerShown) all(kOpContainerHidden);
            break;
        case kOpContainerHidden:
            if (s & kVisible) all(kOpContainerHidden);
            break;
        case kOpEnable:
        case kOpContainerActive:
            if ((s & 10) == 10) {
                all(kOpContainerActive);
                invalidate();
            }
            break;
        case kOpDisable:
            if (s & kContainerActive) {
                all(kOpContainerInactive);
                invalidate();
            }
            break;
        case kOpContainerInactive:
            if (s & kEnabled) {
                all(kOpContainerInactive);
                invalidate();
            }
            break;
        case kOpMoved:
            all(kOpMoved);
            break;
        case kOpBackground:
            if (!fBackground) all(kOpBackground);
            break;
        case kOpFocus:
            if (fEdit.IsValid()) fEdit.frame->SetState(kOpFocus);
            break;
        case kOpUnfocus:
            DropEditCell();
            break;
        case kOpDim:
            if (!(s & kContainerDimmed)) {
                all(kOpContainerDim);
                invalidate();
            }
            break;
        case kOpUndim:
        case kOpContainerUndim:
            if (!(s & (kDimmed | kContainerDimmed))) {
                all(kOpContainerUndim);
                invalidate();
            }
            break;
        case kOpContainerDim:
            if (!(s & kDimmed)) {
                all(kOpContainerDim);
                invalidate();
            }
            break;
        case kOpWindowKey:
        case kOpWindowUnkey:
            all(op);
            break;
        case kOpStyleChanged:
            SizeCells();
            break;
        default:
            break;
    }
}

void LCellListPane::SizeCells() {
    ReleaseCells();
    auto restyle = [this](LListCell* f) {
        if (!f) return;
        f->SetState(kOpStyleChanged);
        SetupCell(f);
    };
    restyle(fCurrent.frame);
    restyle(fEdit.frame);
    restyle(fProto);
    for (size_t i = 0; i < fPool.size(); ++i) restyle(fPool[i].frame);
    InvalidateRgn(LRgn(fBounds));
    LCell size{CellWidth(), CellHeight()};
    const u32 mode = CellQuery(&size);
    if (mode < kSizeAsQueried) {
        LListCell* proto = GetProtoCell();
        LDrawCtx ctx;
        const i32 pw = proto ? proto->GetPrefWidth(&ctx, 0) : CellWidth();
        const i32 ph = proto ? proto->GetPrefHeight(&ctx, 0) : CellHeight();
        const i32 w = fBounds.Width();
        const i32 h = fBounds.Height();
        switch (mode) {
            case kSizePreferred:
                size.col = (Cols() == 1 && size.col == w) ? w : pw;
                size.row = (Rows() == 1 && size.row == h) ? h : ph;
                break;
            case kSizePaneWidth:
                size = LCell{w, ph};
                break;
            case kSizePaneHeight:
                size = LCell{pw, h};
                break;
            case kSizePaneWidthGrow:
                size = LCell{w, std::max(size.row, ph)};
                break;
            default:
                size = LCell{std::max(size.col, pw), h};
                break;
        }
    }
    SetCellSize(size.col, size.row);
}

// A row's own size, whether a row was drawn yet or not: the cell size a list
// starts with is no row's, and a layout that took it before the first row was
// stamped would place its neighbours for a narrower list than it then shows.
i32 LCellListPane::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    LListCell* proto = GetProtoCell();
    if (!proto) return LListPane::GetPrefWidth(ctx, hint);
    SetupCell(proto);
    return proto->GetPrefWidth(ctx, 0);
}

i32 LCellListPane::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    LListCell* proto = GetProtoCell();
    if (!proto) return LListPane::GetPrefHeight(ctx, hint);
    SetupCell(proto);
    return proto->GetPrefHeight(ctx, 0);
}

// ---------------------------------------------------------------- selection and grid

void LCellListPane::UpdateHilite(const LRgn& changed, const LRgn&) {
    if (!Selection().IsEmpty() && !(fKeepSelOnEdit && fEdit.IsValid() && IsSelected(fEdit.cell)))
        DropEditCell();
    auto recolor = [&](LCellSlot& s) {
        if (s.IsValid() && changed.ContainsPoint(s.cell.col, s.cell.row))
            ApplyCellColors(s.frame, s.cell, IsSelected(s.cell));
    };
    recolor(fCurrent);
    recolor(fEdit);
    for (LCellSlot& s : fPool) recolor(s);
}

void LCellListPane::CellsShifted(u32 axis, i32 at, i32 delta) {
    BatchScope batch(*this);
    auto shift = [&](LCellSlot& s) -> bool {
        if (s.IsFree()) return false;
        i32& c = axis ? s.cell.row : s.cell.col;
        if (c < at) return false;
        c += delta;
        if (c >= at) {
            if (s.frame) s.frame->SetBounds(GetCellRect(s.cell));
            return false;
        }
        // Its cell was removed.
        if (s.frame) s.frame->SetState(kOpUnfocus);
        FreeSlot(s);
        return true;
    };
    shift(fCurrent);
    shift(fEdit);
    for (LCellSlot& s : fPool) shift(s);
    std::stable_sort(fPool.begin(), fPool.end(), [](const LCellSlot& a, const LCellSlot& b) {
        return CellLess(a.cell, b.cell);
    });
    // One spare at most.
    while (fPool.size() >= 2 && (fPool[1].IsFree() || !fPool[1].frame)) {
        LListCell* frame = fPool[1].frame;
        fPool.erase(fPool.begin() + 1);
        delete frame;
    }
    // Live frames from the point on show their new cells; the rest is redrawn.
    auto rebind = [&](LCellSlot& s) {
        if (s.IsValid() && (axis ? s.cell.row : s.cell.col) >= at) BindSlot(s, s.cell);
    };
    rebind(fCurrent);
    rebind(fEdit);
    for (LCellSlot& s : fPool) rebind(s);
    LRect area = fBounds;
    const i32 from = axis ? First().row : First().col;
    const i32 cell = axis ? CellHeight() : CellWidth();
    const i32 span = axis ? fBounds.Height() : fBounds.Width();
    const i32 skip = std::min(std::max(0, at - from), span / cell + 1) * cell;
    if (axis)
        area.top += skip;
    else
        area.left += skip;
    if (!area.IsEmpty()) InvalidateRgn(LRgn(area));
}

// ---------------------------------------------------------------- enumerator

LCellEnum::LCellEnum(LCellListPane* list, LCell cell, bool lookupOnly) : fList(list) {
    fFrame = list->GetCellFrame(cell, lookupOnly);
    if (fFrame) {
        fLive = true;
        return;
    }
    fFrame = list->GetProtoCell();
    if (!fFrame) return;
    const LRect r = list->GetCellRect(cell);
    fDx = r.left - fFrame->Bounds().left;
    fDy = r.top - fFrame->Bounds().top;
}

LRect LCellEnum::ToListRect(LPane* pane) const {
    if (!fFrame || !pane) return LRect();
    LRect r = pane->Bounds();
    for (LPane* c = pane->Container(); c && c != fList; c = c->Container())
        r.Offset(c->Bounds().left, c->Bounds().top);
    r.Offset(fDx, fDy);
    return r;
}

void LCellEnum::Invalidate(LPane* pane) const {
    if (fFrame) fList->InvalidateRgn(LRgn(ToListRect(pane)));
}
