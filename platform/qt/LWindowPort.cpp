#include "platform/qt/LWindowPort.h"

#include "framework/LWindow.h"

LWindowPort::LWindowPort(LWindow* window, LNativeGraphics* graphics, const LRgn* paintRegion)
    : LDrawCtx(graphics), fWindow(window), fOwnsDrawRect(graphics != nullptr) {
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
