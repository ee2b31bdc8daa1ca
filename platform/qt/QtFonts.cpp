#include "platform/qt/QtFonts.h"

#include <algorithm>

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

#include "framework/LFont.h"

QtNativeFont::QtNativeFont(const QFont& font, f64 shear)
    : fFont(font), fMetrics(font), fShear(shear) {
    // The glyphs that reach furthest in names: umlauts and rings above,
    // descenders and the underscore below. The extremes of the drawn glyphs,
    // never less than the font's own ascent and descent.
    const QRectF ink = fMetrics.tightBoundingRect(
        QString::fromUtf8("\xC3\x85\xC3\x89\xC3\x96\xC3\x9C_gjpqy\xC3\x87"));
    fInkAscent = std::max<f64>(fMetrics.ascent(), -ink.top());
    fInkDescent = std::max<f64>(fMetrics.descent(), ink.bottom());
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
