#pragma once
// Pens, colour values and blend modes in Qt's terms: system colours come from
// the application palette, explicit ones are sRGB.

#include <QColor>
#include <QColorSpace>
#include <QPainter>

#include "framework/CColorValue.h"
#include "services/GraphicsServices.h"

// The colour a pen paints with. A system-colour pen reads its palette role on
// every use and rebuilds its cached colour only when the role changed.
QColor QtPenColor(const LPen* pen);
// The colour object cached in the pen (for tests: identity tells a rebuild).
const void* QtPenCachedColor(const LPen& pen);
// A stored colour value: system text colours from the palette.
QColor QtColorOfValue(const CColorValue* value);
QPainter::CompositionMode QtCompositionMode(LBlendMode mode);
// The one sRGB colour space every drawing shares.
const QColorSpace& SharedSRGBColorSpace();
