#pragma once
// What the framework needs of the windowing platform: the framework clock, the
// one native run-loop timer, pens, the native drawing surface, fonts and theme
// frames. The Qt layer (or a test fake) installs an implementation; without
// one the framework runs headless on the process clock.

#include "base/LRect.h"
#include "base/LRef.h"
#include "base/LString.h"

// A colour as the platform should paint it: a pen-factory id, an RGB value or a
// grey level. Pens are shared: equal requests answer the same object.
class LPen final : public LRefObj {
public:
    enum Kind : u8 { kById = 0, kByColor = 1, kByGray = 2 };

    LPen(Kind kind, u32 id, u32 rgba, f32 width)
        : fKind(kind), fId(id), fRgba(rgba), fWidth(width) {}

    Kind fKind;
    u32 fId;    // pen-factory id (kById, and the id given with a colour)
    u32 fRgba;  // 0xRRGGBBAA for kByColor; the grey level 1..4 for kByGray
    f32 fWidth;
    // The platform's colour built from the pen, and for a system colour the
    // components it was built from: a pen rebuilds it only when they change.
    mutable LRef fNativeColor;
    mutable f32 fSystemRgba[4] = {-1, -1, -1, -1};
};
using LPenRef = TRef<LPen>;

// Pen factory. Ids: 3 selected-text background, 4 drop highlight, 5 focus ring,
// 6 text background, 7 text, 8 selected text. Greys 1 to 4.
inline constexpr u32 kPenSelectedText = 8;
void MakePenById(LPenRef* out, u32 id);
void MakePenByColor(LPenRef* out, u32 rgba, u32 id);
void MakePenByColorWidth(LPenRef* out, u32 rgba, u32 id, f32 width);
void MakePenByGray(LPenRef* out, u32 grey);

enum class LBlendMode : u8 { kNormal = 0, kDifference = 1, kMultiply = 2, kScreen = 3 };

// The native graphics context a drawing context paints on (top-left origin).
class LNativeGraphics {
public:
    virtual ~LNativeGraphics() = default;
    virtual void SaveState() = 0;
    virtual void RestoreState() = 0;
    virtual void SetBlendMode(LBlendMode mode) = 0;
    virtual void ApplyPen(const LPen& pen) = 0;
    virtual void Translate(i32 dx, i32 dy) = 0;
    // Replaces the clip by the union of the rectangles (none: nothing visible).
    virtual void SetClipRects(const LRect* rects, u32 count) = 0;
    virtual void FillRects(const CGRect* rects, u32 count) = 0;
    virtual void SetLineWidth(f64 width) = 0;
    virtual void MoveTo(i32 x, i32 y) = 0;
    virtual void LineTo(i32 x, i32 y) = 0;
    virtual void FillPath() = 0;
    virtual void StrokePath() = 0;
    // The themed square text-field frame around rect.
    virtual void DrawTextFieldFrame(const LRect& rect, bool active, bool focused) = 0;
    // The themed list-box frame around rect.
    virtual void DrawListFrame(const LRect& rect, bool active, bool focused) {
        DrawTextFieldFrame(rect, active, focused);
    }
};

// What a font record asks the platform for.
struct LFontRequest {
    i32 sizeCode = 0;                // font slot, or 255 for a named face
    i32 attr0 = 0;                   // point size, 0 the font's own
    i32 scalePercent = -1;           // -1 none; 200 doubles the size
    i32 styleCode = 0;               // 2 bold
    i32 attr3 = 0;                   // 2 italic
    const char* faceName = nullptr;  // size code 255 only
    // The user's font for this slot (view preferences); null or 0 when none.
    const char* userFamily = nullptr;
    f64 userPoints = 0;
};

// A platform font built from a spec.
class LNativeFont : public LRefObj {
public:
    virtual f64 PointSize() const = 0;
    virtual f64 Ascender() const = 0;
    virtual f64 Descender() const = 0;  // negative below the baseline
    // How far the glyphs of names (accented capitals, descenders, the
    // underscore) reach above and below the baseline once drawn: hinting can
    // put them a pixel or two past the nominal ascender and descender.
    virtual f64 InkAscender() const { return Ascender(); }
    virtual f64 InkDescender() const { return Descender(); }  // negative below
    virtual LString FamilyName() const = 0;
    virtual f64 TextWidth(const char* utf8) const = 0;
};
using LNativeFontRef = TRef<LNativeFont>;

class LGraphicsServices {
public:
    virtual ~LGraphicsServices() = default;
    // The framework clock: the current event time in ms; wraps at 32 bits.
    virtual u32 NowMs() = 0;
    // Asks the main loop to re-arm its one native timer to the earliest deadline.
    virtual void RearmMainTimer() = 0;
    // Key-repeat thresholds in sixtieths of a second.
    virtual void GetKeyThresholds(i32* initial, i32* repeat) = 0;
    // Builds the native font of a spec; null when the platform has none.
    virtual LNativeFontRef MakeNativeFont(const LFontRequest& request) = 0;
};

// Installs the platform's services (null goes back to the headless defaults).
// The caller keeps ownership.
void InstallGraphicsServices(LGraphicsServices* services);
LGraphicsServices& GraphicsServices();
