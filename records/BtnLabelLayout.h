#pragma once
// What the device-screen layout generator needs of the button-label glyph
// renderer: collected characters, their metrics, and the glyph fonts rendered
// at the chosen scale. The renderer itself lives with the show editors.

#include "base/Types.h"

// One rendered font (a page of glyphs).
struct CBtnLabelFont {
    static constexpr u32 kInfoSize = 148;
    const u8* info = nullptr;  // kInfoSize bytes
    const u32* codePoints = nullptr;
    u32 glyphCount = 0;
    const u8* images = nullptr;
    u32 imageBytes = 0;
};

class CBtnLabelFontSource {
public:
    virtual ~CBtnLabelFontSource() = default;

    // Adds every code point of the UTF-8 text not yet collected.
    virtual void AddChars(const char* text) = 0;
    // Measures the collected characters with the label font: ascent (at least 1),
    // descent and widest glyph.
    virtual void MeasureGlyphs() = 0;
    // Sum of the measured widths of the text's characters; uncollected ones add nothing.
    virtual i32 TextWidth(const char* text) = 0;
    // Scales the metrics and renders every collected character; false when the
    // glyph images could not all be made (then no font may be stored).
    virtual bool RenderGlyphs(f32 scale) = 0;

    virtual i32 Ascent() const = 0;
    virtual i32 Descent() const = 0;
    virtual u32 FontCount() const = 0;
    // False for an index past the fonts.
    virtual bool GetFont(u32 index, CBtnLabelFont* out) const = 0;
};
