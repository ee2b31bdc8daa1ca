#include "framework/CColorBtn.h"

#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/MousePoint.h"

namespace {

u8 ToByte(f64 v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return u8(v + 0.5);
}

u32 Rgba(f64 r, f64 g, f64 b) {
    return u32(ToByte(r)) << 24 | u32(ToByte(g)) << 16 | u32(ToByte(b)) << 8 | 0xFFu;
}

}  // namespace

CColorBtn::CColorBtn(LPane* parent, u32 style) : LPane(parent, parent), fStyle(style) {
    fCaption.SetAlignment(LTextBox::kAlignCentre);
}

LRect CColorBtn::ContentRect() const {
    LRect r = fBounds;
    if (Flat()) {
        r.Inset(1, 1);
        return r;
    }
    r.left += 1;
    r.right -= 2;
    r.top += fPressed ? 2 : 1;
    r.bottom -= fPressed ? 1 : 2;
    return r;
}

LRgn CColorBtn::FrameRgn() const {
    if (Flat()) return LRgn(fBounds);
    const LRect& b = fBounds;
    const LRect body = fPressed ? LRect(b.left, b.top + 2, b.right - 1, b.bottom - 1)
                                : LRect(b.left, b.top + 1, b.right - 1, b.bottom - 2);
    // Cut corners: the body united with itself narrowed by one and one taller.
    LRgn shape(body);
    shape.Union(LRgn(LRect(body.left + 1, body.top - 1, body.right - 1, body.bottom + 1)));
    if (!fPressed) {
        LRgn shadow = shape;
        shadow.Offset(1, 1);
        shape.Union(shadow);
    }
    return shape;
}

void CColorBtn::SetPressed(bool pressed) {
    if (bool(fPressed) == pressed) return;
    if (Flat()) {
        fPressed = pressed;
        InvalidateRect(LRgn(fBounds), LRgn(fBounds));
        return;
    }
    LRgn area = FrameRgn();
    fPressed = pressed;
    area.Union(FrameRgn());
    InvalidateRect(area, area);
}

void CColorBtn::SetColor(const u8 rgb[3]) {
    fRed = rgb[0] / 255.0f;
    fGreen = rgb[1] / 255.0f;
    fBlue = rgb[2] / 255.0f;
    fAlpha = 1.0f;
    InvalidateRect(LRgn(fBounds), LRgn(fBounds));
}

void CColorBtn::SetText(const LString& text) {
    if (fCaption.SetText(text) && !fCaption.Text().IsEmpty()) {
        const LRgn area(ContentRect());
        InvalidateRect(area, area);
    }
}

void CColorBtn::SetFont(const LFont& font) {
    if (fCaption.SetFont(font) && !fCaption.Text().IsEmpty()) {
        const LRgn area(ContentRect());
        InvalidateRect(area, area);
    }
}

LMessage CColorBtn::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        if (msg.Is(LMouse_Click)) {
            RequestClickFocus();
            return LMessage{CColorBtn_rClicked, this, fParent};
        }
        if (msg.Is(LMouse_Move)) {
            SetPressed(fBounds.Contains(MousePointIn(this)));
            return LMessage();
        }
        if (msg.Is(LMouse_Release)) {
            SetPressed(false);
            if (fBounds.Contains(MousePointIn(this)))
                return LMessage{CColorBtn_rSelected, this, fParent};
            return LMessage();
        }
    }
    // Nobody took the click: the button tracks the mouse itself.
    if (msg.source == this && msg.Is(CColorBtn_rClicked)) {
        SetPressed(true);
        return LMessage{LPane_ReqCapture, this, fParent};
    }
    return LPane::HandleMessage(msg);
}

void CColorBtn::StateChanged(u32 op) {
    LPane::StateChanged(op);
    if (op == kOpEnable || op == kOpDisable) InvalidateRect(LRgn(fBounds), LRgn(fBounds));
}

void CColorBtn::BoundsChanged(const LRect& old) {
    LPane::BoundsChanged(old);
    fCaption.SetRect(ContentRect());
}

i32 CColorBtn::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    const i32 extra = Flat() ? 4 : 5;
    return (hint >= 1 ? hint : fCaption.GetWidth(ctx)) + extra;
}

i32 CColorBtn::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    const i32 extra = Flat() ? 4 : 5;
    if (hint >= 1) return hint + extra;
    // Room for every mark of the caption's font (two stacked over a capital).
    return fCaption.GetInkAbove(ctx) + fCaption.GetHeight(ctx) + fCaption.GetInkBelow(ctx) + extra;
}

void CColorBtn::DrawFace(LDrawCtx& ctx, const LRect& r) {
    f64 red = fRed, green = fGreen, blue = fBlue;
    if (Flat() && fPressed) {
        red /= 2;
        green /= 2;
        blue /= 2;
    }
    LPenRef pen;
    if (fAlpha >= 1.0f) {
        MakePenByColor(&pen, Rgba(red * 255, green * 255, blue * 255), 0);
        LSolidFill(r, pen).Draw(ctx);
        return;
    }
    const f64 a = fAlpha < 0 ? 0 : fAlpha;
    // Upper-left: over black; lower-right: over white.
    LPolyline upper;
    upper.fMode = 1;
    upper.AddPoint(r.left, r.bottom);
    upper.AddPoint(r.left, r.top);
    upper.AddPoint(r.right, r.top);
    MakePenByColor(&upper.fPen, Rgba(red * a * 255, green * a * 255, blue * a * 255), 0);
    upper.Draw(ctx);
    LPolyline lower;
    lower.fMode = 1;
    lower.AddPoint(r.left, r.bottom);
    lower.AddPoint(r.right, r.top);
    lower.AddPoint(r.right, r.bottom);
    MakePenByColor(
        &lower.fPen,
        Rgba((1 - (1 - red) * a) * 255, (1 - (1 - green) * a) * 255, (1 - (1 - blue) * a) * 255),
        0);
    lower.Draw(ctx);
}

void CColorBtn::Draw(LDrawCtx& ctx) {
    const LRect content = ContentRect();
    LRgnFill frame;
    frame.fRegion = FrameRgn();
    frame.fRegion.Subtract(LRgn(content));
    if (!(fState & kEnabled)) MakePenByColor(&frame.fPen, 0xC0C0C0FFu, 0);
    frame.Draw(ctx);
    if (!content.IsEmpty()) DrawFace(ctx, content);
    if (fCaption.Text().IsEmpty()) return;
    LPenRef text;
    // Dimmed, not hidden: the window background's colour vanished on the
    // white and light faces the buttons wear.
    if (!(fState & kEnabled)) MakePenByGray(&text, 2);
    fCaption.SetColor(text);
    LRect line = content;
    // The glyphs' whole reach is centred, so that the clip to the face keeps
    // the marks above the line and below it.
    const i32 h = fCaption.GetHeight(&ctx);
    const i32 above = fCaption.GetInkAbove(&ctx);
    line.top = content.top + (content.Height() - (above + h + fCaption.GetInkBelow(&ctx))) / 2 + above;
    line.bottom = line.top + h;
    LClipScope clip(ctx, LRgn(content));
    fCaption.SetRect(line);
    fCaption.Draw(ctx);
}
