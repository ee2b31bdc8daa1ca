#include "platform/qt/QtDrawing.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPixmap>
#include <QTextLayout>
#include <QWidget>
#include <cstring>

#include "platform/qt/QtColors.h"
#include "platform/qt/QtFonts.h"

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
    if (fCallback) fCallback(fOwner, &spec, 2);
    fStart.fontName = spec.fontName;
    fStart.familyName = spec.familyName;
}

i32 QtDrawingServices::RunFontPanel(bool modal, LFontSpec* spec, void* owner,
                                    LFontPanelCallback callback, u32 flags) {
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
