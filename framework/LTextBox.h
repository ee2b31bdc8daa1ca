#pragma once
// The text layout behind labels, edit fields and buttons: one text with a font,
// colour, alignment and line-break mode, measured through the platform font and
// drawn line by line. Line feeds, carriage returns and both together end a line.

#include "base/LRect.h"
#include "base/LString.h"
#include "framework/LDrawCtx.h"
#include "framework/LFont.h"

class LTextBox {
public:
    // kOneLine and kBaseline draw one line whose top, or whose baseline, is
    // the rectangle's top; kLines and kWrap fill the rectangle, kWrap at word breaks.
    enum : u32 { kOneLine = 0, kLines = 1, kWrap = 2, kBaseline = 3 };
    enum : u32 { kAlignLeft = 0, kAlignCentre = 1, kAlignRight = 2 };

    bool SetText(const LString& text);
    bool SetFont(const LFont& font);
    bool SetColor(const LPenRef& pen);
    bool SetWrapMode(u32 mode);
    bool SetAlignment(u32 align);
    void SetRect(const LRect& rect) { fRect = rect; }

    const LString& Text() const { return fText; }
    const LFont& Font() const { return fFont; }
    u32 WrapMode() const { return fWrap; }
    const LRect& Rect() const { return fRect; }

    // Ceiling of the widest line.
    i32 GetWidth(LDrawCtx* ctx);
    i32 GetWidth2(LDrawCtx* ctx) { return GetWidth(ctx); }
    // One line.
    i32 GetHeight(LDrawCtx* ctx);
    // The text wrapped at word breaks to width.
    i32 GetHeightForWidth(LDrawCtx* ctx, i32 width);
    // One line per line break, wrapping aside.
    i32 GetTextHeight(LDrawCtx* ctx);
    i32 GetAscent(LDrawCtx* ctx);
    i32 GetDescent(LDrawCtx* ctx);
    i32 GetLineBottom(LDrawCtx* ctx) { return GetHeight(ctx); }
    // The text's extent relative to its first baseline: top -ascent, bottom
    // the lines' height less the ascent.
    LRect GetBaselineRect(LDrawCtx* ctx);
    // The rectangle grown by how far the font's drawn glyphs pass the lines'
    // rounded ascent and descent: what a text that fits its box may paint.
    LRect GetInkRect(LDrawCtx* ctx);
    // How many rows those glyphs reach above the first line's rounded top,
    // and below the last line's rounded bottom.
    i32 GetInkAbove(LDrawCtx* ctx);
    i32 GetInkBelow(LDrawCtx* ctx);
    void Draw(LDrawCtx& ctx);

    // Width of any text in a font (0 without a platform font).
    static i32 MeasureText(const LFont& font, const char* utf8, u32 length);

private:
    // Calls fn(start, length) for each laid-out line; wrapWidth < 0: no wrapping.
    template <class F>
    u32 ForEachLine(i32 wrapWidth, F fn) const;

    LString fText;
    LFont fFont{1};
    LPenRef fColor;
    u32 fWrap = kOneLine;
    u32 fAlign = kAlignLeft;
    LRect fRect;
    i32 fWidthCache = -1;
};
