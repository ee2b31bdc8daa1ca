#pragma once
// Native fonts: the framework's font records resolved to QFonts, measured with
// QFontMetricsF. A family without an italic face is drawn slanted.

#include <QFont>
#include <QFontMetricsF>

#include "services/GraphicsServices.h"

class QtNativeFont final : public LNativeFont {
public:
    QtNativeFont(const QFont& font, f64 shear);

    f64 PointSize() const override { return fFont.pointSizeF(); }
    f64 Ascender() const override { return fMetrics.ascent(); }
    f64 Descender() const override { return -fMetrics.descent(); }
    f64 InkAscender() const override { return fInkAscent; }
    f64 InkDescender() const override { return -fInkDescent; }
    LString FamilyName() const override;
    f64 TextWidth(const char* utf8) const override;

    const QFont& Font() const { return fFont; }
    const QFontMetricsF& Metrics() const { return fMetrics; }
    // The horizontal slant per unit of height (0.25 for a made-up italic).
    f64 Shear() const { return fShear; }

private:
    QFont fFont;
    QFontMetricsF fMetrics;
    f64 fShear;
    f64 fInkAscent;
    f64 fInkDescent;
};

// The font of a request: the user's font of the slot when it exists, else the
// system's font for the size code; weight, slant and size applied.
LNativeFontRef QtMakeNativeFont(const LFontRequest& request);
// Whether an installed family has that name (Qt substitutes silently).
bool QtHasFamily(const QString& family);
// Whether the family has a face of its own for italic.
bool QtHasItalicFace(const QString& family);
