#include "framework/LPane.h"

#include "framework/CMainLoop.h"
#include "framework/LDrawObj.h"

LPane::LPane(LHandler* parent, LPane* container) : LHandler(parent), fContainer(container) {
    Send(LPane_Constructing, this, fContainer);
}

LPane::~LPane() {
    // Nothing may keep the dying pane, whether or not its death notice reaches the root.
    ForgetDyingPane(this);
    SetState(kOpHide);
    Send(LPane_Destructing, this, fContainer);
    if (fAttachments) {
        fAttachments->DeleteAll();
        delete fAttachments;
        fAttachments = nullptr;
    }
}

LMessage LPane::HandleMessage(const LMessage& msg) {
    if (msg.Is(LPane_ReqFocus) || msg.Is(LPane_Destructing)) UpdateRing();
    return LHandler::HandleMessage(msg);
}

void LPane::EndOpenEdit(bool) {}

void LPane::FillDrawEnv(LDrawEnv& env) {
    if (fContainer) fContainer->FillDrawEnv(env);
}

void LPane::InvalidateRect(const LRgn& redraw, const LRgn& erase) {
    if (IsShown() && fContainer) fContainer->InvalidateRect(redraw, erase);
}

void LPane::StateChanged(u32 op) {
    switch (op) {
        case kOpShow:
        case kOpHide:
            if ((fState & kContainerShown) && fContainer) {
                LRgn area(fBounds);
                fContainer->InvalidateRect(area, area);
            }
            break;
        case kOpFocus:
            Send(LPane_Focus, this, fParent);
            break;
        case kOpUnfocus:
            Send(LPane_Unfocus, this, fParent);
            break;
        default:
            break;
    }
}

LRgn LPane::RingArea(const LRect& bounds) const {
    LRgn area;
    if (!(fState & kTabStop)) return area;
    LRect outer = bounds;
    LRect inner = bounds;
    if (fState & kRingOutside) {
        outer.Inset(-kRingWidth, -kRingWidth);
    } else {
        inner.Inset(kRingWidth, kRingWidth);
    }
    area.SetRect(outer);
    if (!inner.IsEmpty()) area.Subtract(LRgn(inner));
    return area;
}

void LPane::BoundsChanged(const LRect& old) {
    if (!IsShown() || !fContainer) return;
    LRgn oldArea(old);
    LRgn newArea(fBounds);
    LRgn redraw = oldArea;
    redraw.Union(newArea);
    LRgn erase = redraw;
    if (fState & kOpaque) {
        // The pane paints its own area: only the uncovered part needs its background.
        erase = oldArea;
        erase.Subtract(newArea);
    }
    if (fState & kRingShown) {
        LRgn rings = RingArea(old);
        rings.Union(RingArea(fBounds));
        redraw.Union(rings);
        erase.Union(rings);
    }
    fContainer->InvalidateRect(redraw, erase);
}

i32 LPane::TouchesRgn(const LRgn& region) {
    return (fState & kVisible) && region.IntersectsRect(fBounds) ? 1 : 0;
}

LPane* LPane::FindFocusable() {
    return IsFocusable() ? this : nullptr;
}

LPane* LPane::FindPaneAt(LPoint pt) {
    return IsHitTestable() && fBounds.Contains(pt) ? this : nullptr;
}

i32 LPane::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    (void)ctx;
    return hint < 0 ? 0 : 16;
}

i32 LPane::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    (void)ctx;
    return hint < 0 ? 0 : 16;
}

void LPane::Draw(LDrawCtx& ctx) {
    (void)ctx;
}

bool LPane::FocusNearest(LPoint pt) {
    (void)pt;
    return false;
}

bool LPane::AdvanceFocus(u32 direction, bool restart) {
    (void)direction;
    (void)restart;
    if (fState & kTabStop) RequestFocus();
    return false;
}

void LPane::SetState(u32 op) {
    // Hiding drops the focus first, so that nobody keeps focus on an invisible pane.
    if (op == kOpHide) SetState(kOpUnfocus);

    u32 s = fState;
    u32 bit = 0;
    bool set = false;
    switch (op) {
        case kOpShow:
            bit = kVisible, set = true;
            break;
        case kOpHide:
            bit = kVisible;
            break;
        case kOpEnable:
            bit = kEnabled, set = true;
            break;
        case kOpDisable:
            bit = kEnabled;
            break;
        case kOpContainerShown:
            bit = kContainerShown, set = true;
            break;
        case kOpContainerHidden:
            bit = kContainerShown;
            break;
        case kOpContainerActive:
            bit = kContainerActive, set = true;
            break;
        case kOpContainerInactive:
            bit = kContainerActive;
            break;
        case kOpFocus:
            bit = kFocused, set = true;
            break;
        case kOpUnfocus:
            bit = kFocused;
            break;
        case kOpDim:
            bit = kDimmed, set = true;
            break;
        case kOpUndim:
            bit = kDimmed;
            break;
        case kOpContainerDim:
            bit = kContainerDimmed, set = true;
            break;
        case kOpContainerUndim:
            bit = kContainerDimmed;
            break;
        case kOpWindowKey:
            bit = kWindowKey, set = true;
            break;
        case kOpWindowUnkey:
            bit = kWindowKey;
            break;
        case kOpNoTabStop:
            bit = kTabStop;
            break;
        case kOpClickFocus:
            bit = kClickFocus, set = true;
            break;
        case kOpNoClickFocus:
            bit = kClickFocus;
            break;
        default:
            break;
    }
    if (bit) {
        if (((s & bit) != 0) == set) return;
        s = set ? (s | bit) : (s & ~bit);
    } else if (op == kOpTabStopRingInside || op == kOpTabStopRingOutside) {
        const u32 field = s & (kTabStop | kRingOutside);
        const u32 want = op == kOpTabStopRingInside ? kTabStop : (kTabStop | kRingOutside);
        if (field == want) return;
        if (field == (kTabStop | kRingOutside) || field == kTabStop) {
            // Switching the ring side passes through "no tab stop".
            fState &= ~kTabStop;
            StateChanged(kOpNoTabStop);
            s = fState;
        }
        s = (s & ~(kTabStop | kRingOutside)) | want;
    }
    fState = s;
    StateChanged(op);
    UpdateRing();
}

void LPane::UpdateRing() {
    constexpr u32 kRingBits = kVisible | kContainerShown | kFocused | kWindowKey | kTabStop;
    const bool shown = (fState & kRingBits) == kRingBits && FindFocusable() == this;
    if (shown == ((fState & kRingShown) != 0)) return;
    fState ^= kRingShown;
    if (fContainer) {
        LRgn area = RingArea(fBounds);
        fContainer->InvalidateRect(area, area);
    }
}

void LPane::SetBounds(const LRect& rect) {
    if (rect == fBounds) return;
    LRect old = fBounds;
    fBounds = rect;
    BoundsChanged(old);
}

void LPane::GetDrawEnv(LDrawEnv* out) {
    *out = LDrawEnv();
    FillDrawEnv(*out);
}

void LPane::GetContainerDrawEnv(LDrawEnv* out) {
    *out = LDrawEnv();
    if (fContainer) {
        fContainer->FillDrawEnv(*out);
    } else {
        FillDrawEnv(*out);
    }
}

void* LPane::GetNativeWindow() {
    LDrawEnv env;
    GetDrawEnv(&env);
    return env.fWindow;
}

u64 LPane::GetTopLeftIn(LPane* other) {
    LDrawEnv mine;
    GetContainerDrawEnv(&mine);
    i32 x = mine.fOriginX + fBounds.left;
    i32 y = mine.fOriginY + fBounds.top;
    if (other) {
        LDrawEnv theirs;
        other->GetDrawEnv(&theirs);
        x -= theirs.fOriginX;
        y -= theirs.fOriginY;
    }
    return u64(u32(y)) << 32 | u32(x);
}

void LPane::RequestClickFocus() {
    if (fState & kClickFocus) RequestFocus();
}

void LPane::RequestFocus() {
    Send(PassFocusRequest());
}

bool LPane::ParentsReachContainer() const {
    if (!fContainer) return true;
    for (LHandler* h = fParent; h; h = h->Parent())
        if (h == fContainer) return true;
    return false;
}

LMessage LPane::PassFocusRequest() {
    if (!ParentsReachContainer()) Send(LPane_ReqFocus, this, fContainer);
    return LMessage{LPane_ReqFocus, this, fParent};
}

void LPane::RequestUpdateNow() {
    Send(LPane_UpdateNow, this, fParent);
}

void LPane::DrawFocusRing(LDrawCtx& ctx) {
    if (!(fState & kRingShown)) return;
    LRgnFill fill;
    fill.fRegion = RingArea(fBounds);
    MakePenById(&fill.fPen, 5);
    fill.Draw(ctx);
}

void LPane::AddAttachment(LLink* node) {
    if (!node) return;
    if (!fAttachments) fAttachments = new LList;
    fAttachments->PushBack(node);
}

void FocusSlot::Set(LPane* pane) {
    if (pane == fPane) return;
    if (fPane) fPane->SetState(LPane::kOpUnfocus);
    fPane = pane;
}
