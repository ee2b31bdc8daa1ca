#include "framework/LTextPane.h"

#include "base/LScrap.h"
#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/LFrameStyle.h"
#include "framework/LMenu.h"

// ---- LTextPane

LTextPane::LTextPane(LPane* parent, u32 lineBreakMode) : LPane(parent, parent) {
    fBox.SetWrapMode(lineBreakMode);
    // A label is not hit by the mouse.
    SetState(kOpDim);
}

LRect LTextPane::LineRect(const LRect& bounds) {
    LRect r = bounds;
    if (fInkInside) r.top += fBox.GetInkAbove(nullptr);
    return r;
}

LRect LTextPane::InkRect() {
    fBox.SetRect(LineRect(fBounds));
    return fBox.GetInkRect(nullptr);
}

void LTextPane::InvalidateIfShown() {
    if (!IsShown()) return;
    const LRgn ink(InkRect());
    InvalidateRect(ink, ink);
}

i32 LTextPane::TouchesRgn(const LRgn& region) {
    return (fState & kVisible) && region.IntersectsRect(InkRect()) ? 1 : 0;
}

bool LTextPane::SetText(const LString& text) {
    if (!fBox.SetText(text)) return false;
    InvalidateIfShown();
    return true;
}

bool LTextPane::SetStyle(const LFont& font) {
    if (!fBox.SetFont(font)) return false;
    InvalidateIfShown();
    return true;
}

void LTextPane::SetAlignment(u32 align) {
    if (fBox.SetAlignment(align)) InvalidateIfShown();
}

void LTextPane::SetColor(const LPenRef& color) {
    if (color.Get() == fColor.Get()) return;
    fColor = color;
    fBox.SetColor(color);
    InvalidateIfShown();
}

void LTextPane::StateChanged(u32 op) {
    LPane::StateChanged(op);
    if (op == kOpStyleChanged) {
        // The platform fonts changed under the same records: lay out again.
        const LFont own = fBox.Font();
        fBox.SetFont(LFont(0));
        fBox.SetFont(LFont(1));
        fBox.SetFont(own);
    }
}

void LTextPane::BoundsChanged(const LRect& old) {
    LPane::BoundsChanged(old);
    // The glyphs left where the text was, and those where it now is.
    fBox.SetRect(LineRect(old));
    LRgn area(fBox.GetInkRect(nullptr));
    area.Union(LRgn(InkRect()));
    if (IsShown() && fContainer) fContainer->InvalidateRect(area, area);
}

i32 LTextPane::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    if (hint == -13) return LTextBox::MeasureText(fBox.Font(), "M", 1);
    if (hint == -11) return 0;
    return fBox.GetWidth(ctx);
}

i32 LTextPane::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    const i32 above = fInkInside ? fBox.GetInkAbove(ctx) : 0;
    const i32 ink = fInkInside ? above + fBox.GetInkBelow(ctx) : 0;
    if (hint == -12 || hint == -10) return above + fBox.GetAscent(ctx);
    if (hint == -11) return 0;
    if (hint == -1) return fBox.GetHeight(ctx) + ink;
    if (hint >= 1 && fBox.WrapMode() == LTextBox::kWrap)
        return fBox.GetHeightForWidth(ctx, hint) + ink;
    if (fBox.WrapMode() == LTextBox::kOneLine) return fBox.GetHeight(ctx) + ink;
    return fBox.GetTextHeight(ctx) + ink;
}

void LTextPane::DrawText(LDrawCtx& ctx) {
    // Nothing past the pane's glyphs, nor past its container's clip; but the
    // underscore that hangs below a one-line box is the text's own.
    LClipScope clip(ctx, LRgn(InkRect()));
    fBox.Draw(ctx);
}

void LTextPane::Draw(LDrawCtx& ctx) {
    DrawText(ctx);
}

// ---- CTextSlot

CTextSlot::CTextSlot(LPane* parent, u8 options) : LTextPane(parent), fOptions(options) {
    fInkInside = true;
    SetState(kOpUndim);
    LPenRef pen;
    MakePenById(&pen, 6);
    SetBackground(pen);
    fBox.SetFont(LFont(1));
}

void CTextSlot::SetBackground(const LPenRef& pen) {
    if (pen.Get() == fBackground.Get()) return;
    fBackground = pen;
    if (pen ? !(fState & kOpaque) : (fState & kOpaque)) fState ^= kOpaque;
    InvalidateIfShown();
}

LRect CTextSlot::BevelRect() const {
    LRect r = fBounds;
    r.Inset(-1, -1);
    return r;
}

void CTextSlot::Redraw() {
    LRgn area(BevelRect());
    InvalidateRect(area, area);
}

void CTextSlot::Copy() {
    LClipboard* clip = LClipboard::Instance();
    if (!clip) return;
    clip->Clear();
    auto* item = new LTextScrap;
    item->fText = GetText();
    clip->SetOwner(item);
}

void CTextSlot::Clear() {
    SetText(LString());
    Send(CTextSlot_Changed, this, fParent);
}

void CTextSlot::Paste() {
    LClipboard* clip = LClipboard::Instance();
    LTextScrap item;
    // An empty text is no paste: the slot keeps what it shows.
    if (!clip || !clip->Read(item) || item.fText.IsEmpty()) return;
    SetText(item.fText);
    Send(CTextSlot_Changed, this, fParent);
}

LMessage CTextSlot::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMenuBar_Ready) && IsFocusable()) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        LTextScrap probe;
        LClipboard* clip = LClipboard::Instance();
        if (Editable() && clip && clip->CanProvide(probe)) bar->EnableCommand(LStdCmd_Paste);
        if (!GetText().IsEmpty()) {
            bar->EnableCommand(LStdCmd_Copy);
            if (Editable()) bar->EnableCommand(LStdCmd_Cut);
            if (Clearable()) bar->EnableCommand(LStdCmd_Delete);
        }
        return LPane::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected) && IsFocusable()) {
        auto* item = static_cast<LMenuItem*>(msg.source);
        if (item->HasCommand(LStdCmd_Cut) && Editable()) {
            Copy();
            Clear();
            return LMessage();
        }
        if (item->HasCommand(LStdCmd_Copy)) {
            Copy();
            return LMessage();
        }
        if (item->HasCommand(LStdCmd_Paste) && Editable()) {
            Paste();
            return LMessage();
        }
        if (item->HasCommand(LStdCmd_Delete) && Clearable()) {
            Clear();
            return LMessage();
        }
        return LPane::HandleMessage(msg);
    }
    if (msg.Is(LMouse_Click) && msg.source && msg.source == LMouse::Instance()) {
        RequestClickFocus();
        return LMessage{CTextSlot_Click, this, fParent};
    }
    if (msg.Is(LKeyboard_Char) && Clearable()) {
        LKeyboard* kb = LKeyboard::Instance();
        if (kb && (kb->fChar & 0xFF) == 8) {
            Clear();
            return LMessage();
        }
    }
    if (msg.source == this && msg.Is(CTextSlot_Click)) {
        if (Clearable()) return PassFocusRequest();
        return LMessage();
    }
    return LTextPane::HandleMessage(msg);
}

void CTextSlot::StateChanged(u32 op) {
    switch (op) {
        case kOpShow:
        case kOpHide:
            if (fContainer) {
                LRgn area(BevelRect());
                fContainer->InvalidateRect(area, area);
            }
            break;
        case kOpEnable:
        case kOpDisable:
            if ((fState & (kContainerActive | kFocused)) == (kContainerActive | kFocused)) Redraw();
            break;
        case kOpContainerActive:
        case kOpContainerInactive:
            if ((fState & (kEnabled | kFocused)) == (kEnabled | kFocused)) Redraw();
            break;
        case kOpFocus:
        case kOpUnfocus: {
            // Selected-text colour while focused, the plain text colour otherwise.
            LPenRef pen;
            if (op == kOpFocus) MakePenById(&pen, kPenSelectedText);
            fColor = pen;
            fBox.SetColor(pen);
            Redraw();
            break;
        }
        default:
            break;
    }
    LTextPane::StateChanged(op);
}

i32 CTextSlot::TouchesRgn(const LRgn& region) {
    if (LTextPane::TouchesRgn(region)) return 1;
    if ((fOptions & kNoBevel) || !(fState & kVisible)) return 0;
    return region.IntersectsRect(BevelRect()) ? 1 : 0;
}

void CTextSlot::Draw(LDrawCtx& ctx) {
    const bool focused = fState & kFocused;
    if (!(fOptions & kNoBevel)) {
        const bool lit =
            focused && (fState & (kEnabled | kContainerActive)) == (kEnabled | kContainerActive);
        CBevelDrawer().Draw(ctx, fBounds, lit ? 7 : 3);
    }
    LPenRef fill = fBackground;
    if (focused) MakePenById(&fill, 3);
    if (fill) LSolidFill(fBounds, fill).Draw(ctx);
    DrawText(ctx);
    DrawFocusRing(ctx);
}
