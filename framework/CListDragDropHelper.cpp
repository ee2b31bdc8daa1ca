#include "framework/CListDragDropHelper.h"

#include <algorithm>

#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/MousePoint.h"

namespace {
constexpr u32 kPressMs = 333;
}

CListDragDropHelper::CListDragDropHelper() : fSink(*this) {}

CListDragDropHelper::~CListDragDropHelper() {
    // The list may be half gone (the helper is often its member): what dies
    // here reaches it, but no longer this helper.
    fList = nullptr;
    DeleteDragger();
    delete fPressTimer;
    fPressTimer = nullptr;
    delete fScroller;
    fScroller = nullptr;
    // Unregisters, and a drag over the list forgets it.
    delete fTarget;
    fTarget = nullptr;
}

void CListDragDropHelper::Init(LListPane* list, u32 mode, u32 flags) {
    fList = list;
    fMode = mode;
    fFlags = flags;
    delete fTarget;
    fTarget = new LDropTarget(list);
    delete fScroller;
    fScroller = new CScrollHelper(&fSink);
    delete fPressTimer;
    // Through the sink, so that the timer's death never reaches a dying list.
    fPressTimer = new LTimer(&fSink);
    DeleteDragger();
    fSourceCell = LCell();
    fMarkShown = 0;
    fAcceptedOp = 1;
}

void CListDragDropHelper::DeleteDragger() {
    CDragger* d = fDragger;
    fDragger = nullptr;
    delete d;
}

LMessage CListDragDropHelper::ScrollSink::HandleMessage(const LMessage& msg) {
    CListDragDropHelper& o = fOwner;
    if (o.fList && o.fScroller && msg.source == o.fScroller && msg.Is(CScrollHelper_Scroll)) {
        const LCell step =
            o.fList->ClampScrollStep(LCell{o.fScroller->DirX(), o.fScroller->DirY()});
        const LCell first = o.fList->First();
        o.fList->SetScrollPos(LCell{first.col + step.col, first.row + step.row});
        return LMessage();
    }
    // The press timer reports to the list.
    if (msg.source == o.fPressTimer && msg.Is(LTimer_Expire))
        return o.fList ? LMessage::CopyRetarget(msg, o.fList) : LMessage();
    if (msg.source != this) return LMessage();
    return LHandler::HandleMessage(msg);
}

// ---------------------------------------------------------------- drop side

void CListDragDropHelper::SetOperation(u32 op) {
    if (fTarget) fTarget->SetOperation(op);
    fOperation = op;
    if (op == 1) {
        LDrop* drag = Drag();
        fOperation = drag && drag->IsCopyOnly() ? 3 : 2;
    }
}

void CListDragDropHelper::BeginDragOver(u32 op) {
    fAcceptedOp = op;
    fMarkShown = 1;
    fMarkCell = LCell();
    SetOperation(op);
}

void CListDragDropHelper::UpdateDragOver(u32 op, LCell cell, u32 kind) {
    if (!fMarkShown) return;
    SetOperation(op);
    SetMark(cell, kind);
}

LRgn CListDragDropHelper::MarkRgn() const {
    if (!fList || fMarkCell.col < 0 || fMarkCell.row < 0) return LRgn();
    const LRect r = fList->GetCellRect(fMarkCell);
    const LRect& b = fList->Bounds();
    LRect m;
    switch (fMarkKind) {
        case kMarkTop:
            m = LRect(r.left, r.top - 2, r.right, r.top + 2);
            break;
        case kMarkLeft:
            m = LRect(r.left - 2, r.top, r.left + 2, r.bottom);
            break;
        default: {
            LRgn ring(r);
            LRect inner = r;
            inner.Inset(2, 2);
            if (!inner.IsEmpty()) ring.Subtract(LRgn(inner));
            return ring;
        }
    }
    m.Intersect(b);
    return m.IsEmpty() ? LRgn() : LRgn(m);
}

void CListDragDropHelper::SetMark(LCell cell, u32 kind) {
    if (!fList) return;
    if (!(cell == fMarkCell) || kind != fMarkKind) {
        LRgn old = MarkRgn();
        if (!old.IsEmpty()) fList->InvalidateRect(old, old);
        fMarkCell = cell;
        fMarkKind = kind;
        LRgn now = MarkRgn();
        if (!now.IsEmpty()) fList->InvalidateRect(now, now);
    }
    fList->RequestUpdateNow();
}

void CListDragDropHelper::HideMark() {
    if (!fMarkShown || !fList) return;
    LRgn old = MarkRgn();
    if (!old.IsEmpty()) fList->InvalidateRect(old, old);
    fMarkShown = 0;
    fList->RequestUpdateNow();
}

void CListDragDropHelper::DrawInsertMark(LDrawCtx& ctx) {
    if (!fMarkShown) return;
    LRgnFill fill;
    fill.fRegion = MarkRgn();
    if (fill.fRegion.IsEmpty()) return;
    MakePenById(&fill.fPen, 4);
    ctx.ApplyClip();
    fill.Draw(ctx);
}

void CListDragDropHelper::SetDragData(LScrapData* data, bool several) {
    if (!fDragger) {
        if (data) data->Release();
        return;
    }
    fSeveral = several;
    fDragger->SetData(data);
}

u32 CListDragDropHelper::GetDefaultOperation() const {
    LDrop* drag = Drag();
    if ((fFlags & 1) && drag && drag->IsShiftDown()) return 4;
    if (fSourceCell.row < 0) return 3;
    return drag && drag->IsCopyOnly() ? 3 : 2;
}

LPoint CListDragDropHelper::DragPoint() const {
    LDrop* drag = Drag();
    return drag ? ScreenPointIn(fList, drag->ScreenPoint()) : LPoint{0, 0};
}

u32 CListDragDropHelper::HandleDrop(const LMessage& msg) {
    const u32 c = fTarget->Classify(msg);
    switch (c) {
        case LDropTarget::kEntered:
            fMarkShown = 0;
            return c;
        case LDropTarget::kLeft:
            fScroller->Stop();
            HideMark();
            return c;
        case LDropTarget::kMoved: {
            const LRect& b = fList->Bounds();
            fScroller->Track(DragPoint(), b, std::min(b.Width() / 4, 8),
                             std::min(b.Height() / 4, 8));
            // Until the list accepted the drag (its mark shows), a move is none of the helper's.
            return fMarkShown ? c : LDropTarget::kOther;
        }
        case LDropTarget::kDropped:
            fScroller->Stop();
            if (!fMarkShown) return LDropTarget::kOther;
            HideMark();
            return c;
        default:
            return c;
    }
}

// ---------------------------------------------------------------- both sides

u32 CListDragDropHelper::HandleMouse(const LMessage& msg) {
    if (!fList) return kNotMine;
    switch (HandleDrop(msg)) {
        case LDropTarget::kSensed:
            return kConsumed;
        case LDropTarget::kEntered:
            fResultOp = GetDefaultOperation();
            return kDragEntered;
        case LDropTarget::kLeft:
            return kNotMine;
        case LDropTarget::kMoved:
            TrackDragOver();
            return kConsumed;
        case LDropTarget::kDropped:
            return DropCode();
        default:
            break;
    }
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) return HandlePress(msg, *mouse);
    if (msg.source == fPressTimer) return HandlePressTimer(msg, mouse);
    return HandleDragger(msg);
}

void CListDragDropHelper::TrackDragOver() {
    const LPoint pt = DragPoint();
    LDrop* drag = Drag();
    const i32 cols = fList->Cols();
    const i32 rows = fList->Rows();
    if ((fFlags & 1) && drag && drag->IsShiftDown()) {
        const LCell cell = fList->PointToCell(pt);
        if (cell.col < 0 || cell.row < 0 || cell.col >= cols || cell.row >= rows) {
            UpdateDragOver(0, LCell(), kMarkFrame);
        } else {
            fTargetCell = cell;
            LHandler::Send(CListDragDropHelper_Sense, fList, fList);
            UpdateDragOver(4, cell, kMarkFrame);
        }
        return;
    }
    const LCell cell = fList->PointToCell(pt);
    const LCell gap = fList->PointToGap(pt);
    if (fMode == 1) {
        fTargetCell =
            LCell{std::clamp(cell.col, 0, std::max(cols - 1, 0)), std::clamp(gap.row, 0, rows)};
        LHandler::Send(CListDragDropHelper_Sense, fList, fList);
        UpdateDragOver(fSourceCell.row < 0 ? 3 : fAcceptedOp, fTargetCell, kMarkTop);
    } else {
        fTargetCell =
            LCell{std::clamp(gap.col, 0, cols), std::clamp(cell.row, 0, std::max(rows - 1, 0))};
        LHandler::Send(CListDragDropHelper_Sense, fList, fList);
        UpdateDragOver(fSourceCell.col < 0 ? 3 : fAcceptedOp, fTargetCell, kMarkLeft);
    }
}

u32 CListDragDropHelper::DropCode() {
    LDrop* drag = Drag();
    const bool plainMove = !(drag && (drag->IsCopyOnly() || drag->IsShiftDown())) && !fSeveral;
    const LCell m = fMarkCell;
    if (fMode == 1) {
        if (m.col < 0 || m.row < 0 || m.col >= std::max(fList->Cols(), 1) || m.row > fList->Rows())
            return kConsumed;
        // One row dropped next to itself stays where it is.
        if (fSourceCell.row >= 0 && plainMove &&
            (m.row == fSourceCell.row || m.row == fSourceCell.row + 1))
            return kConsumed;
    } else {
        if (m.col < 0 || m.row < 0 || m.row >= std::max(fList->Rows(), 1) || m.col > fList->Cols())
            return kConsumed;
        if (fSourceCell.col >= 0 && plainMove &&
            (m.col == fSourceCell.col || m.col == fSourceCell.col + 1))
            return kConsumed;
    }
    fResultOp = GetDefaultOperation();
    return kPerformDrop;
}

u32 CListDragDropHelper::HandlePress(const LMessage& msg, LMouse& mouse) {
    if (msg.Is(LMouse_Bkgnd)) return kConsumed;
    if (msg.Is(LMouse_Click)) {
        if (mouse.IsOptionDown() || mouse.IsCommandDown() || mouse.IsShiftDown() ||
            mouse.IsControlDown())
            return kNotMine;
        fPressedCell = fList->PointToCell(MousePointIn(fList));
        fPressedInSel = 0;
        if (fList->Mode() == LSelTracker::kSingle) {
            fPressTimer->Start(0u);
            return kNotMine;
        }
        if (!fList->IsSelected(fPressedCell)) {
            fPressTimer->Start(kPressMs);
            return kNotMine;
        }
        fPressedInSel = 1;
        fPressTimer->Start(0u);
        // The list keeps the mouse, so that a release before the drag
        // could begin still reaches it.
        LHandler::Send(LPane_ReqCapture, fList, fList->Parent());
        return kConsumed;
    }
    if (msg.Is(LMouse_Move)) {
        // A press in the selection drags however soon the pointer moves.
        if (fPressedInSel && fPressTimer->IsRunning()) return kConsumed;
        fPressTimer->Stop();
        return kNotMine;
    }
    if (msg.Is(LMouse_Release)) {
        if (fPressedInSel && fPressTimer->IsRunning()) {
            // Let go before the drag began: a plain click on a selected
            // cell. A dragger made now would wait for a release that has
            // already come, and end only at the next click, whose
            // selection it would then undo.
            fPressTimer->Stop();
            fPressedInSel = 0;
            fList->SelectCell(fPressedCell);
            fList->FocusList();
            return kPressEnded;
        }
        if (fPressTimer->IsRunning()) fPressTimer->Start(0u);
        return kNotMine;
    }
    return kNotMine;
}

u32 CListDragDropHelper::HandlePressTimer(const LMessage& msg, LMouse* mouse) {
    if (!msg.Is(LTimer_Expire)) return kConsumed;
    if ((!mouse || mouse->Capture() != fList) && !fPressedInSel) return kPressEnded;
    const LCell p = fPressedCell;
    if (p.col < 0 || p.row < 0 || p.col >= fList->Cols() || p.row >= fList->Rows())
        return kConsumed;
    DeleteDragger();
    fDragger = CDragger::New(fList);
    fSourceCell = p;
    fSeveral = 0;
    return kDragBegun;
}

u32 CListDragDropHelper::HandleDragger(const LMessage& msg) {
    if (!fDragger || msg.source != fDragger) return kNotMine;
    if (msg.Is(CDragger_Drag)) {
        fDragger->SetImageRgn(
            CDragger::SelectionImage(fList, fMode == 1, fList->GetVisibleRowsCeil()));
        fPressedInSel = 0;
        return kSupplyData;
    }
    if (msg.Is(CDragger_End)) {
        u32 code = kConsumed;
        if (fPressedInSel && fDragger->DragState() == CDragger::kNotStarted) {
            fList->SelectCell(fPressedCell);
            fList->FocusList();
            code = kPressEnded;
        }
        fSourceCell = LCell();
        DeleteDragger();
        return code;
    }
    return kNotMine;
}
