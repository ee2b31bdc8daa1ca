#include "platform/qt/QtDrawing.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPixmap>
#include <QScreen>
#include <QTextLayout>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "platform/qt/QtColors.h"
#include "platform/qt/QtFonts.h"
#include "platform/qt/QtWindows.h"

void QtImage::Draw(LNativeGraphics* graphics, const LRect& rect) {
    auto* g = dynamic_cast<QtPainterGraphics*>(graphics);
    if (!g || fImage.isNull() || rect.right <= rect.left || rect.bottom <= rect.top) return;
    QPainter& p = g->Painter();
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRectF(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                fImage);
    p.restore();
}

LNativeImageRef QtMakeImage(const u8* png, u32 size) {
    QImage image;
    if (!png || size == 0 || !image.loadFromData(png, qsizetype(size), "PNG"))
        return LNativeImageRef();
    return LNativeImageRef(new QtImage(image));
}

void QtDrawText(LNativeGraphics* graphics, LNativeFont* font, const char* utf8, u32 length, i32 x,
                i32 baseline) {
    auto* g = dynamic_cast<QtPainterGraphics*>(graphics);
    auto* f = dynamic_cast<QtNativeFont*>(font);
    if (!g || !f || !utf8 || length == 0) return;
    QTextLayout layout(QString::fromUtf8(utf8, qsizetype(length)), f->Font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return;
    }
    line.setLineWidth(1e6);
    layout.endLayout();
    QPainter& p = g->Painter();
    p.save();
    p.setPen(g->CurrentColor());
    p.translate(x, baseline);
    // A family without an italic face leans its upright glyphs over instead.
    if (f->Shear() != 0) p.setTransform(QTransform(1, 0, -f->Shear(), 1, 0, 0), true);
    layout.draw(&p, QPointF(0, -line.ascent()));
    p.restore();
}

QtBitmap::QtBitmap(u8* pixels, const LBitmapFormat& f, QImage::Format qtFormat)
    : fImage(pixels, int(f.width), int(f.height), qsizetype(f.rowBytes), qtFormat) {
    fImage.setColorSpace(SharedSRGBColorSpace());
    if (qtFormat == QImage::Format_Mono) fImage.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
}

LNativeGraphics* QtBitmap::BeginGraphics() {
    if (fGraphics) return fGraphics.get();
    if (!fPainter.begin(&fImage)) return nullptr;
    fGraphics = std::make_unique<QtPainterGraphics>(fPainter, QRegion(fImage.rect()));
    return fGraphics.get();
}

void QtBitmap::EndGraphics() {
    if (!fGraphics) return;
    fGraphics.reset();
    fPainter.end();
}

LRef QtBitmap::CopyImage() {
    QImage copy = fImage.copy();
    if (copy.isNull()) return LRef();
    return LRef(new QtImage(copy));
}

QCursor QtStdCursor(u32 kind) {
    switch (kind) {
        case 2:
            return QCursor(Qt::IBeamCursor);
        case 3:
            return QCursor(Qt::CrossCursor);
        default:
            return QCursor(Qt::ArrowCursor);
    }
}

void QtApplyCursor(const QCursor& cursor) {
    QWidget* w = QApplication::topLevelAt(QCursor::pos());
    if (!w) w = QApplication::activeWindow();
    if (w) w->setCursor(cursor);
}

QtDrawingServices::QtDrawingServices() {
    InstallDrawingServices(this);
}

QtDrawingServices::~QtDrawingServices() {
    if (fPanel) CloseFontPanel(fOwner, fCallback);
    InstallDrawingServices(nullptr);
}

LNativeBitmap* QtDrawingServices::MakeBitmap(u8* pixels, const LBitmapFormat& f) {
    QImage::Format format = QImage::Format_Invalid;
    if (f.gray)
        format = f.bitsPerPixel == 8   ? QImage::Format_Grayscale8
                 : f.bitsPerPixel == 1 ? QImage::Format_Mono
                                       : QImage::Format_Invalid;
    else if (f.bitsPerPixel == 32)
        format = f.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    else if (f.bitsPerPixel == 16)
        format = QImage::Format_RGB555;
    if (format == QImage::Format_Invalid || !pixels) return nullptr;
    auto* bitmap = new QtBitmap(pixels, f, format);
    if (bitmap->Image().isNull()) {
        delete bitmap;
        return nullptr;
    }
    return bitmap;
}

LNativeCursorRef QtDrawingServices::MakeCursor(const u8* png, u32 size, i32 hotX, i32 hotY) {
    QImage image;
    if (!png || !image.loadFromData(png, qsizetype(size), "PNG")) return LNativeCursorRef();
    return LNativeCursorRef(new QtCursor(QCursor(QPixmap::fromImage(image), hotX, hotY)));
}

LNativeCursorRef QtDrawingServices::SystemCursor(const char* name) {
    static const struct {
        const char* name;
        Qt::CursorShape shape;
    } kCursors[] = {
        {"arrowCursor", Qt::ArrowCursor},
        {"IBeamCursor", Qt::IBeamCursor},
        {"crosshairCursor", Qt::CrossCursor},
        {"pointingHandCursor", Qt::PointingHandCursor},
        {"openHandCursor", Qt::OpenHandCursor},
        {"closedHandCursor", Qt::ClosedHandCursor},
        {"resizeLeftRightCursor", Qt::SizeHorCursor},
        {"resizeUpDownCursor", Qt::SizeVerCursor},
        {"dragCopyCursor", Qt::DragCopyCursor},
        {"dragLinkCursor", Qt::DragLinkCursor},
        {"operationNotAllowedCursor", Qt::ForbiddenCursor},
    };
    for (const auto& c : kCursors) {
        if (name && std::strcmp(name, c.name) == 0)
            return LNativeCursorRef(new QtCursor(QCursor(c.shape)));
    }
    return LNativeCursorRef();
}

void QtDrawingServices::SetCursor(LNativeCursor* cursor) {
    fCursor = cursor ? static_cast<QtCursor*>(cursor)->fCursor : QCursor(Qt::ArrowCursor);
    QtApplyCursor(fCursor);
}

// ---------------------------------------------------------------- font panel

void QtFontToSpec(const QFont& font, LFontSpec* spec) {
    const QFontInfo info(font);
    const QString style = info.styleName();
    const QString name = style.isEmpty() ? info.family() : info.family() + u' ' + style;
    spec->fontName = LString(name.toUtf8().constData());
    spec->familyName = LString(info.family().toUtf8().constData());
    spec->pointSize = f32(font.pointSizeF());
    spec->bold = font.weight() >= QFont::Bold ? 1 : 0;
    spec->italic = font.italic() ? 1 : 0;
}

QFont QtFontFromSpec(const LFontSpec& spec) {
    QString family = QString::fromUtf8(spec.familyName.CStr());
    if (family.isEmpty()) family = QString::fromUtf8(spec.fontName.CStr());
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (QtHasFamily(family)) font.setFamily(family);
    // The face by name: the panel takes a font without one as the family's
    // first face, however slanted. Of the faces of that weight and slant, the
    // shortest name is the plain one ("Book" before "Condensed").
    font.setStyleName(QString());
    const QString chosen = font.family();
    QString face;
    for (const QString& style : QFontDatabase::styles(chosen)) {
        if (QFontDatabase::italic(chosen, style) != (spec.italic != 0) ||
            (QFontDatabase::weight(chosen, style) >= QFont::Bold) != (spec.bold != 0))
            continue;
        if (face.isEmpty() || style.size() < face.size()) face = style;
    }
    if (!face.isEmpty()) font.setStyleName(face);
    if (spec.pointSize >= 1 && spec.pointSize <= 1000) font.setPointSizeF(spec.pointSize);
    font.setBold(spec.bold != 0);
    font.setItalic(spec.italic != 0);
    return font;
}

void QtDrawingServices::Report(const QFont& font) {
    LFontSpec spec;
    QtFontToSpec(font, &spec);
    // The dialog cannot hide what the caller does not allow: such changes are
    // dropped when reported.
    if (!(fFlags & kFontPanelSize)) spec.pointSize = fStart.pointSize;
    if (!(fFlags & kFontPanelFace)) {
        spec.bold = fStart.bold;
        spec.italic = fStart.italic;
    }
    if (fCallback) fCallback(fOwner, &spec, kFontPanelChanged);
    fStart.fontName = spec.fontName;
    fStart.familyName = spec.familyName;
}

namespace {

// Where it covers least of the window it serves (beside it, else below or
// above it), within the screen: the user watches that window take each choice.
void PlaceBeside(QWidget* panel, QWidget* owner) {
    if (!owner) return;
    QScreen* screen = owner->screen();
    if (!screen) return;
    const QRect avail = screen->availableGeometry();
    const QRect near = owner->frameGeometry();
    panel->ensurePolished();
    panel->resize(panel->minimumSizeHint().expandedTo(QSize(420, 320)));
    // The window manager's frame comes on top of the panel's own size.
    const QSize outer = panel->size() + QSize(4, 28);
    const int gap = 8;
    const QPoint tries[] = {{near.right() + gap, near.top()},
                            {near.left() - gap - outer.width(), near.top()},
                            {near.left(), near.bottom() + gap},
                            {near.left(), near.top() - gap - outer.height()}};
    QPoint best;
    qint64 least = -1;
    for (QPoint p : tries) {
        p.setX(
            std::clamp(p.x(), avail.left(), std::max(avail.left(), avail.right() - outer.width())));
        p.setY(
            std::clamp(p.y(), avail.top(), std::max(avail.top(), avail.bottom() - outer.height())));
        const QRect covered = QRect(p, outer).intersected(near);
        const qint64 area = covered.isEmpty() ? 0 : qint64(covered.width()) * covered.height();
        if (least < 0 || area < least) {
            least = area;
            best = p;
        }
    }
    panel->move(best);
}

}  // namespace

i32 QtDrawingServices::RunFontPanel(bool modal, LFontSpec* spec, void* owner,
                                    LFontPanelCallback callback, u32 flags) {
    if (!modal && fPanel && owner == fOwner && callback == fCallback) {
        // The owner's panel is up (its window came back to the front, another
        // row was chosen): it shows the new font in place. A new dialog would
        // take the keyboard from the window the user just came back to.
        fFlags = flags;
        fStart = *spec;
        {
            const QSignalBlocker quiet(fPanel);
            fPanel->setCurrentFont(QtFontFromSpec(*spec));
        }
        // Brought to the front, and back from the minimised when the user
        // asked for it; the keys stay in the window the user chose from. Where
        // that window has grown over it (a bigger font) it moves where it is seen.
        QWidget* owner = QApplication::activeWindow();
        if (owner && owner != fPanel && owner->frameGeometry().intersects(fPanel->frameGeometry()))
            PlaceBeside(fPanel, owner);
        if ((flags & kFontPanelAsked) || !(fPanel->windowState() & Qt::WindowMinimized))
            QtWindowServices::BringToolkitWindowForward(fPanel, false);
        return kFontPanelShown;
    }
    if (fPanel) CloseFontPanel(fOwner, fCallback);
    fOwner = owner;
    fCallback = callback;
    fFlags = flags;
    fStart = *spec;
    const QFont start = QtFontFromSpec(*spec);
    fPanel = new QFontDialog(start);
    fPanel->setOption(QFontDialog::DontUseNativeDialog, true);
    if (modal) {
        QFontDialog* panel = fPanel;
        panel->setWindowModality(Qt::ApplicationModal);
        const bool chosen = panel->exec() == QDialog::Accepted;
        LFontSpec result = fStart;
        QtFontToSpec(chosen ? panel->selectedFont() : start, &result);
        if (!(flags & kFontPanelSize)) result.pointSize = spec->pointSize;
        if (!(flags & kFontPanelFace)) {
            result.bold = spec->bold;
            result.italic = spec->italic;
        }
        *spec = result;
        if (fPanel == panel) {
            fPanel = nullptr;
            fOwner = nullptr;
            fCallback = nullptr;
        }
        delete panel;
        return kFontPanelDone;
    }
    // A panel: every change applies at once, nothing to confirm.
    fPanel->setOption(QFontDialog::NoButtons, true);
    QObject::connect(fPanel, &QFontDialog::currentFontChanged, fPanel,
                     [this](const QFont& font) { Report(font); });
    // Closed by the user (Escape, the window's close box): the binding ends
    // and its owner hears of it, so that it does not bring the panel back on
    // its own when its window gets the keyboard again.
    QObject::connect(fPanel, &QDialog::finished, fPanel, [this, panel = fPanel](int) {
        if (fPanel != panel) return;
        LFontSpec last = fStart;
        QtFontToSpec(panel->currentFont(), &last);
        void* owner = fOwner;
        const LFontPanelCallback callback = fCallback;
        fPanel = nullptr;
        fOwner = nullptr;
        fCallback = nullptr;
        panel->deleteLater();
        if (callback) callback(owner, &last, kFontPanelClosed);
    });
    PlaceBeside(fPanel, QApplication::activeWindow());
    fPanel->show();
    return kFontPanelShown;
}

void QtDrawingServices::CloseFontPanel(void* owner, LFontPanelCallback callback) {
    if (!fPanel || owner != fOwner || callback != fCallback) return;
    QFontDialog* panel = fPanel;
    fPanel = nullptr;
    fOwner = nullptr;
    fCallback = nullptr;
    panel->hide();
    panel->deleteLater();
}
