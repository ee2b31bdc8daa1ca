#pragma once
// The Qt application on the offscreen platform with the drawing, menu, font and
// text services installed, for tests of the Qt drawing layer.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>

#include "framework/LDrawCtx.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtPainterGraphics.h"

// Everything installed while alive.
struct QtDrawServices {
    QtDrawServices();
    ~QtDrawServices();
    std::unique_ptr<QApplication> fApp;
    std::unique_ptr<LGraphicsServices> fGraphics;
    std::unique_ptr<LControlServices> fControls;
    QtDrawingServices fDrawing;
    QtMenuServices fMenus;
};

// A drawing context over a white 32-bit QImage.
class QtImageCtx {
public:
    QtImageCtx(int width, int height);
    LDrawCtx& Ctx() { return *fCtx; }
    // Ends the painting; the image is complete afterwards.
    const QImage& Finish();

private:
    QImage fImage;
    QPainter fPainter;
    std::unique_ptr<QtPainterGraphics> fGraphics;
    std::unique_ptr<LDrawCtx> fCtx;
};
