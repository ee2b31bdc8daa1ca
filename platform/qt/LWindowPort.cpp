#include "platform/qt/LWindowPort.h"

#include <QImage>
#include <QPainter>

#include "framework/LWindow.h"
#include "platform/qt/QtPainterGraphics.h"

namespace {

// Outside a paint the framework still measures and lays out through a port:
// one 1 x 1 image, kept for the whole process, stands in for the window.
LNativeGraphics* MeasuringGraphics() {
    static QImage* image = new QImage(1, 1, QImage::Format_RGB32);
    static QPainter* painter = new QPainter(image);
    static QtPainterGraphics* graphics = new QtPainterGraphics(*painter, QRegion(0, 0, 1, 1));
    return graphics;
}

}  // namespace

LWindowPort::LWindowPort(LWindow* window, LNativeGraphics* graphics, const LRgn* paintRegion)
    : LDrawCtx(graphics ? graphics : MeasuringGraphics()),
      fWindow(window),
      fOwnsDrawRect(graphics != nullptr) {
    if (graphics && paintRegion) {
        fClip = *paintRegion;
    } else if (window) {
        const LRect content = window->GetContentScreenRect();
        fClip = LRgn(LRect(0, 0, content.Width(), content.Height()));
    }
}

LPoint LWindowPort::ScreenToLocal(LPoint screen) const {
    if (!fWindow || !fWindow->Native()) return screen;
    const LRect content = fWindow->GetContentScreenRect();
    return LPoint{screen.x - content.left - fOriginX, screen.y - content.top - fOriginY};
}

LPoint LWindowPort::LocalToScreen(LPoint local) const {
    if (!fWindow || !fWindow->Native()) return local;
    const LRect content = fWindow->GetContentScreenRect();
    return LPoint{local.x + content.left + fOriginX, local.y + content.top + fOriginY};
}
