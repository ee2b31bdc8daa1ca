#include "framework/LScrollFrame.h"

#include <algorithm>
#include <cstdlib>

#include "framework/InputState.h"

namespace {

// A bar's arrow moves the content by this much.
constexpr i32 kLineStep = 16;

}  // namespace

LScrollFrame::Port::Port(LScrollFrame* owner) : LFrame(owner, owner), fOwner(owner) {}

LMessage LScrollFrame::Port::HandleMessage(const LMessage& msg) {
    // The content's size asks go to the scroll frame, which sizes it.
    if (msg.Is(LPane_Pref) && msg.source != this)
        return LMessage::CopyRetarget(msg, fOwner);
    if (msg.Is(LPane_ReqFocus) && msg.source != this) {
        LMessage answer = LFrame::HandleMessage(msg);
        // A field reached by Tab or a click is brought into sight.
        if (LPane* leaf = FocusedLeaf()) fOwner->Reveal(leaf);
        return answer;
    }
    return LFrame::HandleMessage(msg);
}

LScrollFrame::LScrollFrame(LHandler* parent, LPane* container)
    : LFrame(parent, container), fPort(this), fHBar(this, 0, 1), fVBar(this, 1, 1) {
    fHBar.SetState(kOpHide);
    fVBar.SetState(kOpHide);
}

LPane* LScrollFrame::Content() const {
    const LLink* l = fPort.Children().Head();
    return l && !l->IsEnd() ? static_cast<LPane*>(const_cast<LLink*>(l)) : nullptr;
}

i32 LScrollFrame::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    if (hint == kPrefLeast) return 0;
    LPane* c = Content();
    return c ? c->GetPrefWidth(ctx, hint) : LFrame::GetPrefWidth(ctx, hint);
}

i32 LScrollFrame::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    if (hint == kPrefLeast) return 0;
    LPane* c = Content();
    return c ? c->GetPrefHeight(ctx, hint) : LFrame::GetPrefHeight(ctx, hint);
}

void LScrollFrame::BoundsChanged(const LRect& old) {
    LFrame::BoundsChanged(old);
    Layout();
}

void LScrollFrame::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if (op == kOpStyleChanged) Layout();
}

void LScrollFrame::Layout() {
    const i32 w = fBounds.Width(), h = fBounds.Height();
    LPane* c = Content();
    LDrawCtx ctx;
    const i32 leastW = c ? std::max(c->GetPrefWidth(&ctx, kPrefLeast), 0) : 0;
    const i32 leastH = c ? std::max(c->GetPrefHeight(&ctx, kPrefLeast), 0) : 0;
    const i32 bw = fVBar.GetPrefWidth(&ctx, 0), bh = fHBar.GetPrefHeight(&ctx, 0);
    // A bar takes room from the other direction, which may then need its own.
    bool needH = leastW > w;
    const bool needV = leastH > h - (needH ? bh : 0);
    if (needV && !needH) needH = leastW > w - bw;
    const i32 pw = std::max(w - (needV ? bw : 0), 0), ph = std::max(h - (needH ? bh : 0), 0);
    fPort.SetBounds(LRect(0, 0, pw, ph));
    if (needH) {
        fHBar.SetBounds(LRect(0, ph, pw, h));
        fHBar.SetState(kOpShow);
    } else {
        fHBar.SetState(kOpHide);
    }
    if (needV) {
        fVBar.SetBounds(LRect(pw, 0, w, ph));
        fVBar.SetState(kOpShow);
    } else {
        fVBar.SetState(kOpHide);
    }
    fContentW = std::max(pw, leastW);
    fContentH = std::max(ph, leastH);
    ScrollTo(fX, fY);
}

void LScrollFrame::ScrollTo(i32 x, i32 y) {
    const LRect& port = fPort.Bounds();
    fX = std::clamp(x, 0, std::max(fContentW - port.Width(), 0));
    fY = std::clamp(y, 0, std::max(fContentH - port.Height(), 0));
    fHBar.SetRange(fX, 0, std::max(fContentW - port.Width(), 0), std::max(port.Width(), 1));
    fVBar.SetRange(fY, 0, std::max(fContentH - port.Height(), 0), std::max(port.Height(), 1));
    if (LPane* c = Content()) c->SetBounds(LRect(-fX, -fY, fContentW - fX, fContentH - fY));
}

void LScrollFrame::Reveal(LPane* pane) {
    if (!pane || pane == &fPort) return;
    const u64 tl = pane->GetTopLeftIn(&fPort);
    const i32 left = i32(LPane::UnpackX(tl)), top = i32(LPane::UnpackY(tl));
    const i32 right = left + pane->Bounds().Width(), bottom = top + pane->Bounds().Height();
    const LRect& port = fPort.Bounds();
    i32 dx = 0, dy = 0;
    if (right > port.Width()) dx = right - port.Width();
    if (left - dx < 0) dx = left;
    if (bottom > port.Height()) dy = bottom - port.Height();
    if (top - dy < 0) dy = top;
    if (dx != 0 || dy != 0) ScrollTo(fX + dx, fY + dy);
}

bool LScrollFrame::ScrollByWheel() {
    LMouse* mouse = LMouse::Instance();
    if (!mouse || !(fHBar.IsShown() || fVBar.IsShown())) return false;
    const bool vertical =
        fVBar.IsShown() &&
        (std::abs(mouse->GetWheelY()) >= std::abs(mouse->GetWheelX()) || !fHBar.IsShown());
    // The wheel's pixels, doubled: a notch moves about two lines.
    const i32 px = 2 * (vertical ? mouse->TakeWheelStepsY(0, 1) : mouse->TakeWheelStepsX(0, 1));
    if (vertical)
        ScrollTo(fX, fY - px);
    else
        ScrollTo(fX - px, fY);
    return true;
}

LMessage LScrollFrame::HandleBar(const LMessage& msg, bool horizontal) {
    LScrollBar& bar = horizontal ? fHBar : fVBar;
    const i32 at = horizontal ? fX : fY;
    const i32 page = std::max((horizontal ? fPort.Bounds().Width() : fPort.Bounds().Height()) -
                                  kLineStep,
                              kLineStep);
    i32 to;
    if (msg.Is(LScrollBar_Thumb) || msg.Is(LScrollBar_Change))
        to = bar.GetValue();
    else if (msg.Is(LScrollBar_Up))
        to = at - kLineStep;
    else if (msg.Is(LScrollBar_Dw))
        to = at + kLineStep;
    else if (msg.Is(LScrollBar_PgUp))
        to = at - page;
    else if (msg.Is(LScrollBar_PgDw))
        to = at + page;
    else
        return LFrame::HandleMessage(msg);
    if (horizontal)
        ScrollTo(to, fY);
    else
        ScrollTo(fX, to);
    return LMessage();
}

LMessage LScrollFrame::HandleMessage(const LMessage& msg) {
    if (msg.source == &fHBar) return HandleBar(msg, true);
    if (msg.source == &fVBar) return HandleBar(msg, false);
    if (msg.Is(LPane_Pref) && msg.source != this) {
        // The window may grow to the new size; the content is sized again
        // once the pass of size asks is over.
        if (fContainer) Send(LPane_Pref, this, fContainer);
        return LMessage{LPane_Defer, this, fParent};
    }
    if (msg.Is(LPane_Deferred) && msg.source == this) {
        Layout();
        return LMessage();
    }
    if (msg.Is(LMouse_Wheel) && ScrollByWheel()) return LMessage();
    return LFrame::HandleMessage(msg);
}
