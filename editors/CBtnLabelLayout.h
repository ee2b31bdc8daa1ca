#pragma once
// The glyphs the device draws its play-button titles from: every character of
// the titles measured with the label font, then rendered at the layout's
// scale as 4-bit grey images, in pages of at most 127 glyphs.

#include <memory>
#include <vector>

#include "framework/LFont.h"
#include "records/BtnLabelLayout.h"

class CRecord;
class LDrawCtx;
class LPane;

struct CBtnGlyph {
    u32 codePoint = 0;
    i32 left = 0;
    i32 right = 0;
};

class CBtnGlyphPage {
public:
    static constexpr u32 kMaxGlyphs = 127;

    u8 info[CBtnLabelFont::kInfoSize] = {};
    std::unique_ptr<u8[]> images;
    u32 imageBytes = 0;
    u32 count = 0;
    CBtnGlyph glyphs[kMaxGlyphs];
    u32 codePoints[kMaxGlyphs] = {};  // the glyphs' code points, as the record takes them

    // Index of the glyph of the code point, or -1.
    i32 Find(u32 codePoint) const;
};

class CBtnLabelLayout final : public CBtnLabelFontSource {
public:
    // ctx: what the glyphs are measured with (may be null); font: the label font.
    CBtnLabelLayout(LDrawCtx* ctx, const LFont& font);
    ~CBtnLabelLayout() override;

    void AddChars(const char* text) override;
    void MeasureGlyphs() override;
    i32 TextWidth(const char* text) override;
    bool RenderGlyphs(f32 scale) override;

    i32 Ascent() const override { return fAscent; }
    i32 Descent() const override { return fDescent; }
    u32 FontCount() const override { return u32(fPages.size()); }
    bool GetFont(u32 index, CBtnLabelFont* out) const override;

    i32 WidestGlyph() const { return fWidest; }
    const std::vector<u32>& Chars() const { return fChars; }
    const CBtnGlyphPage* Page(u32 index) const { return fPages[index]; }

    // The label font the user picked ("btnfont" of the application
    // preferences), the default font when none was.
    static LFont LabelFont();

private:
    LDrawCtx* fCtx;
    LFont fFont;
    i32 fAscent = 1;
    i32 fDescent = 0;
    i32 fWidest = 1;
    std::vector<u32> fChars;
    std::vector<CBtnGlyphPage*> fPages;
};

// One row of 32-bit pixels (width even) as 4-bit levels, two to a byte, the
// left pixel in the upper four bits; a level is the upper four bits of the
// pixel's low byte.
void PackGlyphRow(const u32* pixels, u32 width, u8* out);

// The renderer the play edit builds its layouts with, measuring as the owner draws.
CBtnLabelFontSource* NewBtnLabelRenderer(LPane* owner);
