#include "framework/LTextBox.h"

#include <algorithm>
#include <cmath>

#include "base/LArray.h"
#include "services/ControlServices.h"

namespace {

LNativeFont* NativeOf(const LFont& font, LDrawCtx* ctx) {
    return font.IsEmpty() ? nullptr : font.GetNativeFont(ctx);
}

bool IsBreak(char c) {
    return c == '\n' || c == '\r';
}

}  // namespace

i32 LTextBox::MeasureText(const LFont& font, const char* utf8, u32 length) {
    LNativeFont* native = NativeOf(font, nullptr);
    if (!native || length == 0) return 0;
    LString piece(utf8, length);
    return i32(std::ceil(native->TextWidth(piece.CStr())));
}

bool LTextBox::SetText(const LString& text) {
    if (text == fText) return false;
    fText = text;
    fWidthCache = -1;
    return true;
}

bool LTextBox::SetFont(const LFont& font) {
    if (font == fFont) return false;
    fFont = font;
    fWidthCache = -1;
    return true;
}

bool LTextBox::SetColor(const LPenRef& pen) {
    if (pen.Get() == fColor.Get()) return false;
    fColor = pen;
    return true;
}

bool LTextBox::SetWrapMode(u32 mode) {
    if (mode == fWrap) return false;
    fWrap = mode;
    return true;
}

bool LTextBox::SetAlignment(u32 align) {
    if (align == fAlign) return false;
    fAlign = align;
    return true;
}

template <class F>
u32 LTextBox::ForEachLine(i32 wrapWidth, F fn) const {
    const char* s = fText.CStr();
    const u32 n = fText.Length();
    u32 lines = 0;
    u32 start = 0;
    while (true) {
        u32 end = start;
        while (end < n && !IsBreak(s[end])) ++end;
        // One paragraph [start, end): wrapped at blanks when asked to.
        u32 p = start;
        do {
            u32 stop = end;
            if (wrapWidth >= 0 && MeasureText(fFont, s + p, end - p) > wrapWidth) {
                // The longest run of whole words that fits.
                u32 fit = 0;
                for (u32 q = p; q <= end; ++q) {
                    if (q < end && s[q] != ' ') continue;
                    if (fit && MeasureText(fFont, s + p, q - p) > wrapWidth) break;
                    fit = q;
                    if (q == end) break;
                }
                // A word wider than the line (a long file name) breaks between
                // its characters, at least one a line: cut at the edge, the
                // user could not read all of it.
                if (fit > p && MeasureText(fFont, s + p, fit - p) > wrapWidth) {
                    u32 q = p;
                    fit = 0;
                    while (q < end) {
                        u32 next = q + 1;
                        while (next < end && (u8(s[next]) & 0xC0) == 0x80) ++next;
                        if (fit && MeasureText(fFont, s + p, next - p) > wrapWidth) break;
                        fit = q = next;
                    }
                }
                if (fit > p) stop = fit;
            }
            fn(p, stop - p);
            ++lines;
            p = stop;
            while (p < end && s[p] == ' ') ++p;
        } while (p < end);
        if (end >= n) break;
        start = end + ((s[end] == '\r' && end + 1 < n && s[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

i32 LTextBox::GetWidth(LDrawCtx* ctx) {
    (void)ctx;
    if (fWidthCache < 0) {
        i32 widest = 0;
        const char* s = fText.CStr();
        ForEachLine(-1, [&](u32 at, u32 len) {
            const i32 w = MeasureText(fFont, s + at, len);
            if (w > widest) widest = w;
        });
        fWidthCache = widest;
    }
    return fWidthCache;
}

i32 LTextBox::GetHeight(LDrawCtx* ctx) {
    LNativeFont* native = NativeOf(fFont, ctx);
    return native ? i32(std::ceil(native->Ascender() - native->Descender())) : 0;
}

i32 LTextBox::GetHeightForWidth(LDrawCtx* ctx, i32 width) {
    return i32(ForEachLine(width < 0 ? 0 : width, [](u32, u32) {})) * GetHeight(ctx);
}

i32 LTextBox::GetTextHeight(LDrawCtx* ctx) {
    return i32(ForEachLine(-1, [](u32, u32) {})) * GetHeight(ctx);
}

i32 LTextBox::GetAscent(LDrawCtx* ctx) {
    LNativeFont* native = NativeOf(fFont, ctx);
    return native ? i32(std::ceil(native->Ascender())) : 0;
}

i32 LTextBox::GetDescent(LDrawCtx* ctx) {
    LNativeFont* native = NativeOf(fFont, ctx);
    return native ? i32(std::floor(GetLineBottom(ctx) - native->Ascender())) : 0;
}

LRect LTextBox::GetInkRect(LDrawCtx* ctx) {
    LRect r = fRect;
    r.top -= GetInkAbove(ctx);
    r.bottom += GetInkBelow(ctx);
    return r;
}

// Hinted glyphs (an umlaut's dots, two marks stacked over a capital, the
// underscore) can reach past the line's rounded ascent and descent: a line
// that fits its box keeps them.
i32 LTextBox::GetInkAbove(LDrawCtx* ctx) {
    LNativeFont* native = NativeOf(fFont, ctx);
    return native ? std::max(0, i32(std::ceil(native->InkAscender())) - GetAscent(ctx)) : 0;
}

i32 LTextBox::GetInkBelow(LDrawCtx* ctx) {
    LNativeFont* native = NativeOf(fFont, ctx);
    if (!native) return 0;
    return std::max(0, i32(std::ceil(-native->InkDescender())) - (GetHeight(ctx) - GetAscent(ctx)));
}

LRect LTextBox::GetBaselineRect(LDrawCtx* ctx) {
    const i32 a = GetAscent(ctx);
    return LRect(0, -a, GetWidth(ctx), GetTextHeight(ctx) - a);
}

void LTextBox::Draw(LDrawCtx& ctx) {
    LNativeFont* native = NativeOf(fFont, &ctx);
    if (!ctx.fNative || !native || fText.IsEmpty()) return;
    ctx.ApplyClip();
    LPenRef pen = fColor;
    // Without a colour of its own a text takes the text colour, not whatever
    // the last fill left behind.
    if (!pen) MakePenById(&pen, 7);
    if (pen) ctx.fNative->ApplyPen(*pen);
    const i32 lineH = GetHeight(&ctx);
    const i32 ascent = GetAscent(&ctx);
    const char* s = fText.CStr();
    i32 y = fWrap == kBaseline ? fRect.top - ascent : fRect.top;
    const i32 wrapWidth = fWrap == kWrap ? fRect.Width() : -1;
    const bool oneLine = fWrap == kOneLine || fWrap == kBaseline;
    bool first = true;
    // Lines stay inside the rectangle.
    LNativeGraphics* g = ctx.fNative;
    if (!oneLine) {
        g->SaveState();
        // A context that never set a clip has none to narrow.
        LRgn clip(GetInkRect(&ctx));
        if (!ctx.GetClipRgn().IsEmpty()) clip.Intersect(ctx.GetClipRgn());
        LArray rects(sizeof(LRect), 16);
        clip.GetRects(rects);
        g->SetClipRects(rects.DataAs<LRect>(), rects.Count());
    }
    ForEachLine(wrapWidth, [&](u32 at, u32 len) {
        // One-line modes show the first line only, the others what fits.
        if (oneLine ? !first : !first && y >= fRect.bottom) return;
        first = false;
        const i32 w = MeasureText(fFont, s + at, len);
        i32 x = fRect.left;
        if (fAlign == kAlignCentre) x += (fRect.Width() - w) / 2;
        if (fAlign == kAlignRight) x = fRect.right - w;
        ControlServices().DrawText(g, native, s + at, len, x, y + ascent);
        y += lineH;
    });
    if (!oneLine) g->RestoreState();
}
