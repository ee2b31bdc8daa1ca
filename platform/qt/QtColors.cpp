#include "platform/qt/QtColors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

class QtPenColorObj final : public LRefObj {
public:
    explicit QtPenColorObj(const QColor& c) : fColor(c) {}
    QColor fColor;
};

QPalette AppPalette() {
    return QGuiApplication::palette();
}

// Pen-factory ids: 0-2 window background, 3 selected-text background, 4 drop
// highlight, 5 focus ring, 6 text background, 7 text, 8 selected text.
bool SystemColor(u32 id, QColor* out) {
    const QPalette pal = AppPalette();
    switch (id) {
        case 0:
        case 1:
        case 2:
            *out = pal.color(QPalette::Active, QPalette::Window);
            return true;
        case 3:
        case 4:
        case 5:
            *out = pal.color(QPalette::Active, QPalette::Highlight);
            return true;
        case 6:
            *out = pal.color(QPalette::Active, QPalette::Base);
            return true;
        case 7:
            *out = pal.color(QPalette::Active, QPalette::Text);
            return true;
        case 8:
            *out = pal.color(QPalette::Active, QPalette::HighlightedText);
            return true;
        default:
            return false;
    }
}

QColor FixedColor(const LPen& pen) {
    if (pen.fKind == LPen::kByGray) {
        static const int kLevels[5] = {0, 64, 128, 192, 255};
        const int g = kLevels[pen.fRgba <= 4 ? pen.fRgba : 0];
        return QColor(g, g, g);
    }
    if (pen.fKind == LPen::kByColor)
        return QColor(int(pen.fRgba >> 24), int(pen.fRgba >> 16 & 0xFF), int(pen.fRgba >> 8 & 0xFF),
                      int(pen.fRgba & 0xFF));
    return QColor(0, 0, 0);
}

}  // namespace

QColor QtPenColor(const LPen* pen) {
    if (!pen) return QColor(0, 0, 0);
    QColor system;
    if (pen->fKind == LPen::kById && SystemColor(pen->fId, &system)) {
        const f32 rgba[4] = {f32(system.redF()), f32(system.greenF()), f32(system.blueF()),
                             f32(system.alphaF())};
        bool same = bool(pen->fNativeColor);
        for (int i = 0; i < 4; ++i) same = same && rgba[i] == pen->fSystemRgba[i];
        if (!same) {
            for (int i = 0; i < 4; ++i) pen->fSystemRgba[i] = rgba[i];
            LRef::Assign(&pen->fNativeColor, new QtPenColorObj(system));
        }
    } else if (!pen->fNativeColor) {
        LRef::Assign(&pen->fNativeColor, new QtPenColorObj(FixedColor(*pen)));
    }
    return static_cast<QtPenColorObj*>(pen->fNativeColor.Get())->fColor;
}

const void* QtPenCachedColor(const LPen& pen) {
    return pen.fNativeColor.Get();
}

QColor QtColorOfValue(const CColorValue* value) {
    const QPalette pal = AppPalette();
    switch (value ? value->fIndex : 0) {
        case 1:
        case 7:
            return pal.color(QPalette::Active, QPalette::HighlightedText);
        case 2:
        case 8:
            return pal.color(QPalette::Disabled, QPalette::ButtonText);
        case 3:
            return QColor(255, 255, 255);
        case 4:
            return QColor(0, 0, 0);
        case 5:
            return QColor(128, 128, 128);
        case 6:
            return pal.color(QPalette::Active, QPalette::ButtonText);
        case CColorValue::kRgb:
            return QColor(value->fRgb[0], value->fRgb[1], value->fRgb[2]);
        default:
            return pal.color(QPalette::Active, QPalette::Text);
    }
}

QPainter::CompositionMode QtCompositionMode(LBlendMode mode) {
    switch (mode) {
        case LBlendMode::kDifference:
            return QPainter::CompositionMode_Difference;
        case LBlendMode::kMultiply:
            return QPainter::CompositionMode_Multiply;
        case LBlendMode::kScreen:
            return QPainter::CompositionMode_Screen;
        default:
            return QPainter::CompositionMode_SourceOver;
    }
}

const QColorSpace& SharedSRGBColorSpace() {
    static const QColorSpace* space = new QColorSpace(QColorSpace::SRgb);
    return *space;
}
