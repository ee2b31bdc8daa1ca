#include "platform/qt/QtFonts.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>

#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>
#include <QStringList>
#include <QtEndian>

#include "framework/LFont.h"

namespace {

// How far the glyphs of a font reach above and below the baseline, in pixels.
struct GlyphReach {
    f64 above = 0;
    f64 below = 0;
};

// The font's own bounding box over all its glyphs ('head'), scaled to the
// raw font's size; false for a font without one (Type 1).
bool HeadBoxReach(const QRawFont& raw, GlyphReach* reach) {
    const QByteArray head = raw.fontTable("head");
    if (head.size() < 54) return false;
    const auto* h = reinterpret_cast<const uchar*>(head.constData());
    const quint16 unitsPerEm = qFromBigEndian<quint16>(h + 18);
    if (unitsPerEm == 0) return false;
    const f64 scale = raw.pixelSize() / unitsPerEm;
    reach->above = qFromBigEndian<qint16>(h + 42) * scale;   // yMax
    reach->below = -qFromBigEndian<qint16>(h + 38) * scale;  // yMin
    return true;
}

// Every glyph that a character of the font maps to, measured at its size.
GlyphReach MappedGlyphsReach(const QRawFont& raw) {
    GlyphReach reach;
    for (char32_t u = 0x20; u < 0x10000; ++u) {
        if ((u >= 0xD800 && u < 0xE000) || !raw.supportsCharacter(u)) continue;
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString::fromUcs4(&u, 1));
        if (glyphs.isEmpty()) continue;
        const QRectF box = raw.boundingRect(glyphs.first());
        reach.above = std::max<f64>(reach.above, -box.top());
        reach.below = std::max<f64>(reach.below, box.bottom());
    }
    return reach;
}

// Whatever a name holds (a capital with two marks stacked, a descender) stays
// inside the font's own reach; a sample of letters would miss the glyphs it
// does not hold. Measured once per font: walking the glyphs takes a while.
GlyphReach FontReach(const QFont& font) {
    static std::mutex lock;
    static std::map<std::string, GlyphReach> cache;
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid()) return {};
    const std::string key =
        (font.key() + QLatin1Char('@') + QString::number(raw.pixelSize())).toStdString();
    {
        const std::lock_guard<std::mutex> held(lock);
        const auto it = cache.find(key);
        if (it != cache.end()) return it->second;
    }
    GlyphReach reach;
    if (!HeadBoxReach(raw, &reach)) reach = MappedGlyphsReach(raw);
    const std::lock_guard<std::mutex> held(lock);
    cache.emplace(key, reach);
    return reach;
}

}  // namespace

QtNativeFont::QtNativeFont(const QFont& font, f64 shear)
    : fFont(font), fMetrics(font), fShear(shear) {
    // Never less than the font's own ascent and descent.
    const GlyphReach reach = FontReach(font);
    fInkAscent = std::max<f64>(fMetrics.ascent(), reach.above);
    fInkDescent = std::max<f64>(fMetrics.descent(), reach.below);
}

LString QtNativeFont::FamilyName() const {
    return LString(QFontInfo(fFont).family().toUtf8().constData());
}

f64 QtNativeFont::TextWidth(const char* utf8) const {
    return utf8 ? fMetrics.horizontalAdvance(QString::fromUtf8(utf8)) : 0;
}

bool QtHasFamily(const QString& family) {
    if (family.isEmpty()) return false;
    const QStringList all = QFontDatabase::families();
    for (const QString& f : all) {
        if (f.compare(family, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

bool QtHasItalicFace(const QString& family) {
    const QStringList styles = QFontDatabase::styles(family);
    for (const QString& s : styles) {
        if (s.contains(QLatin1String("Italic"), Qt::CaseInsensitive) ||
            s.contains(QLatin1String("Oblique"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

namespace {

// A face as the font panel names it, "Family Style": the family's face of that
// style, else the family; false when no installed family starts the name.
bool FaceOfFamilyStyle(const QString& name, QFont* out) {
    for (qsizetype cut = name.lastIndexOf(QLatin1Char(' ')); cut > 0;
         cut = name.lastIndexOf(QLatin1Char(' '), cut - 1)) {
        const QString family = name.left(cut);
        if (!QtHasFamily(family)) continue;
        const QString style = name.mid(cut + 1);
        const QFont base = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        for (const QString& s : QFontDatabase::styles(family)) {
            if (s.compare(style, Qt::CaseInsensitive) != 0) continue;
            *out = QFontDatabase::font(family, s, 12);
            out->setPointSizeF(base.pointSizeF() > 0 ? base.pointSizeF() : 12.0);
            return true;
        }
        *out = base;
        out->setFamily(family);
        return true;
    }
    return false;
}

QFont SlotFont(const LFontRequest& request) {
    if (request.userFamily && request.userPoints > 0) {
        const QString family = QString::fromUtf8(request.userFamily);
        if (QtHasFamily(family)) {
            QFont f(family);
            f.setPointSizeF(LFont::FinalPointSize(request.userPoints, 0, -1));
            return f;
        }
    }
    switch (request.sizeCode) {
        case 2: {
            // Small labels are smaller than ordinary text. A platform theme without
            // a font of its own for them answers Qt's fallback, which is often
            // larger than the general font (12 against 9 points here).
            QFont small = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
            const QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
            const qreal cap =
                general.pointSizeF() > 0 ? std::max<qreal>(general.pointSizeF() - 1, 6) : 0;
            if (cap > 0 && (small.pointSizeF() <= 0 || small.pointSizeF() > cap)) {
                small = general;
                small.setPointSizeF(cap);
            }
            return small;
        }
        case 3:
            return QFontDatabase::systemFont(QFontDatabase::FixedFont);
        case 255: {
            const QString family = QString::fromUtf8(request.faceName ? request.faceName : "");
            // A face nobody has gives the user font, not Qt's silent substitute.
            if (QtHasFamily(family)) {
                QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
                f.setFamily(family);
                return f;
            }
            QFont styled;
            if (FaceOfFamilyStyle(family, &styled)) return styled;
            return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        }
        default:
            return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    }
}

}  // namespace

LNativeFontRef QtMakeNativeFont(const LFontRequest& request) {
    QFont font = SlotFont(request);
    const f64 own = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
    if (request.sizeCode == 3) font.setFixedPitch(true);
    if (request.styleCode == 2) font.setBold(true);
    f64 shear = 0;
    if (request.attr3 == 2) {
        if (QtHasItalicFace(QFontInfo(font).family()))
            font.setItalic(true);
        else
            shear = 0.25;
    }
    font.setPointSizeF(LFont::FinalPointSize(own, request.attr0, request.scalePercent));
    return LNativeFontRef(new QtNativeFont(font, shear));
}
