#include "framework/LDropPane.h"

#include "framework/LFont.h"
#include "framework/LWindow.h"
#include "framework/MousePoint.h"

// ---------------------------------------------------------------- registration

LDropRegistration::LDropRegistration(LPane* pane) {
    fWindow = pane ? pane->GetNativeWindow() : nullptr;
    LDropMgr::Instance().AddWindow(fWindow);
}

LDropRegistration::~LDropRegistration() {
    if (fWindow) LDropMgr::Instance().RemoveWindow(fWindow);
}

// ---------------------------------------------------------------- drop pane

LDropPane::LDropPane(LPane* owner, u8 highlightKind)
    : LPane(owner, owner), fKind(highlightKind), fReg(this) {}

LDropPane::~LDropPane() {
    SetHighlight(false);
    // A drag over the pane must not keep pointing at it.
    LDropMgr::Instance().ForgetTarget(this);
    fDrag = nullptr;
}

void LDropPane::SetHighlight(bool on) {
    if (u8(on) == fHighlighted) return;
    fHighlighted = on;
    CDropItem item{fKind, LRgn(fBounds)};
    LRgn ring;
    CDropItem::GetFrameRegion(&ring, item);
    InvalidateRect(ring, ring);
    RequestUpdateNow();
}

void LDropPane::SetDropOperation(u32 op) {
    if (!fDrag) return;
    fOperation = op;
    fDrag->SetOperation(i32(op));
}

LMessage LDropPane::HandleMessage(const LMessage& msg) {
    // A leave comes also when hiding made the pane unusable.
    if (msg.Is(LDrop_Leave)) {
        fOperation = 0;
        fDrag = nullptr;
        SetHighlight(false);
        return LMessage{LDropPane_Leave, this, fParent};
    }
    if (!IsUsable()) return LPane::HandleMessage(msg);
    if (msg.Is(LDrop_Sense)) {
        // No drops behind a modal dialog.
        LWindow* dialog = LDesktop::FindWindowById(kWindowDialog);
        if (dialog && dialog->Native() != GetNativeWindow()) return LMessage();
        LDrop::From(msg)->TrackTarget(this);
        return LMessage();
    }
    if (msg.Is(LDrop_Enter)) {
        fOperation = 0;
        fDrag = LDrop::From(msg);
        if (fDrag) {
            Send(LDropPane_Enter, this, fParent);
            SetHighlight(fOperation != 0);
        } else {
            SetHighlight(false);
        }
        return LMessage();
    }
    if (msg.Is(LDrop_Drag)) {
        if (fDrag) {
            Send(LDropPane_Drag, this, fParent);
            if (fDrag) {
                fDrag->SetOperation(i32(fOperation));
                SetHighlight(fOperation != 0);
            }
        }
        return LMessage();
    }
    if (msg.Is(LDrop_Drop)) {
        SetHighlight(false);
        if (fOperation == 0 || !fDrag) {
            fDrag = nullptr;
            return LMessage();
        }
        fOperation = 0;
        // The drag stays readable while the parent handles the drop.
        Send(LDropPane_Drop, this, fParent);
        fDrag = nullptr;
        return LMessage();
    }
    return LPane::HandleMessage(msg);
}

void LDropPane::MakeDragLeave() {
    if (fDrag) fDrag->LeaveTarget(this);
}

void LDropPane::StateChanged(u32 op) {
    LPane::StateChanged(op);
    if (op == kOpHide || op == kOpContainerHidden || op == kOpMoved) MakeDragLeave();
}

void LDropPane::BoundsChanged(const LRect& old) {
    LPane::BoundsChanged(old);
    MakeDragLeave();
}

i32 LDropPane::TouchesRgn(const LRgn& region) {
    return (fState & kVisible) && fHighlighted ? LPane::TouchesRgn(region) : 0;
}

void LDropPane::Draw(LDrawCtx& ctx) {
    if (!fHighlighted) return;
    CDropItem::Draw(CDropItem{fKind, LRgn(fBounds)}, ctx);
}

// ---------------------------------------------------------------- target record

LDropTarget::LDropTarget(LPane* pane) : fPane(pane) {
    if (!pane) return;
    fWindow = pane->GetNativeWindow();
    LDropMgr::Instance().AddWindow(fWindow);
}

LDropTarget::~LDropTarget() {
    if (fPane) LDropMgr::Instance().ForgetTarget(fPane);
    if (fWindow) LDropMgr::Instance().RemoveWindow(fWindow);
}

u32 LDropTarget::Classify(const LMessage& msg) {
    if (msg.Is(LDrop_Sense)) {
        LDrop::From(msg)->TrackTarget(fPane);
        return kSensed;
    }
    if (msg.Is(LDrop_Enter)) {
        fDrag = LDrop::From(msg);
        return kEntered;
    }
    if (msg.Is(LDrop_Leave)) {
        if (!fDrag) return kOther;
        fDrag = nullptr;
        return kLeft;
    }
    if (msg.Is(LDrop_Drag)) return fDrag ? kMoved : kOther;
    if (msg.Is(LDrop_Drop)) return fDrag ? kDropped : kOther;
    return kOther;
}

void LDropTarget::SetOperation(u32 op) {
    if (fDrag) fDrag->SetOperation(i32(op));
}

// ---------------------------------------------------------------- auto-scroll

CScrollHelper::CScrollHelper(LHandler* parent) : LHandler(parent), fTimer(this) {}

void CScrollHelper::Track(LPoint pt, const LRect& zone, i32 marginX, i32 marginY) {
    const LRect inner(zone.left + marginX, zone.top + marginY, zone.right - marginX,
                      zone.bottom - marginY);
    if (inner.Contains(pt)) {
        Stop();
        return;
    }
    fDx = pt.x < inner.left ? -1 : pt.x >= inner.right ? 1 : 0;
    fDy = pt.y < inner.top ? -1 : pt.y >= inner.bottom ? 1 : 0;
    if (fStage == 0) {
        fStage = 1;
        fTimer.Start(u32(KeyInitialDelayMs()));
    }
}

void CScrollHelper::Stop() {
    fTimer.Stop();
    fDx = 0;
    fDy = 0;
    fStage = 0;
}

LMessage CScrollHelper::HandleMessage(const LMessage& msg) {
    if (msg.source == &fTimer && msg.Is(LTimer_Expire)) {
        if (fStage < 2) {
            fTimer.Start(u32(KeyInitialDelayMs()));
            ++fStage;
        } else {
            fTimer.Start(u32(KeyRepeatIntervalMs()));
        }
        Send(CScrollHelper_Scroll, this, fParent);
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}

CDropScrollHelper::CDropScrollHelper(LPane* owner)
    : LHandler(owner), fOwner(owner), fScroller(this), fZone(owner->Bounds()), fReg(owner) {}

CDropScrollHelper::~CDropScrollHelper() {
    LDropMgr::Instance().ForgetTarget(fOwner);
}

void CDropScrollHelper::SetZone(const LRect& zone, u32 marginX, u32 marginY) {
    fZone = zone;
    fMarginX = marginX;
    fMarginY = marginY;
}

LPoint CDropScrollHelper::Pointer() const {
    if (!fDrag) return LPoint{0, 0};
    return ScreenPointIn(fOwner, fDrag->ScreenPoint());
}

bool CDropScrollHelper::HandleDrop(const LMessage& msg) {
    if (msg.Is(LDrop_Sense)) {
        LDrop::From(msg)->TrackTarget(fOwner);
        return true;
    }
    if (msg.Is(LDrop_Enter)) {
        fScroller.Stop();
        fDrag = LDrop::From(msg);
        Send(CDropScrollHelper_Enter, this, fOwner);
        // Coming back unconsumed cleared the drag: the owner wants none of it.
        if (fDrag) fScroller.Track(Pointer(), fZone, i32(fMarginX), i32(fMarginY));
        return true;
    }
    if (!fDrag) return false;
    if (msg.Is(LDrop_Drag)) {
        const LPoint pt = Pointer();
        fScroller.Track(pt, fZone, i32(fMarginX), i32(fMarginY));
        if (fZone.Contains(pt)) Send(CDropScrollHelper_Move, this, fOwner);
        return true;
    }
    if (msg.Is(LDrop_Drop)) {
        fScroller.Stop();
        if (fZone.Contains(Pointer())) Send(CDropScrollHelper_Drop, this, fOwner);
        fDrag = nullptr;
        return true;
    }
    if (msg.Is(LDrop_Leave)) {
        fScroller.Stop();
        Send(CDropScrollHelper_Leave, this, fOwner);
        fDrag = nullptr;
        return true;
    }
    return false;
}

LMessage CDropScrollHelper::HandleMessage(const LMessage& msg) {
    if (msg.source == &fScroller && msg.Is(CScrollHelper_Scroll))
        return LMessage{CDropScrollHelper_Scroll, this, fOwner};
    if (msg.source == this && msg.Is(CDropScrollHelper_Enter)) {
        fDrag = nullptr;
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
