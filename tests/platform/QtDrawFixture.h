#pragma once
// The Qt application on the offscreen platform with the drawing, menu, font and
// text services installed, for tests of the Qt drawing layer.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>

#include "framework/LDrawCtx.h"
#include "platform/ControlServices.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtPainterGraphics.h"

QApplication& QtTestApp();

// Everything installed while alive.
class QtDrawServices {
public:
    QtDrawServices();
    ~QtDrawServices();
    QtDrawingServices fDrawing;
    QtMenuServices fMenus;
    std::unique_ptr<LGraphicsServices> fGraphics;
    std::unique_ptr<LControlServices> fControls;
};

// A drawing context over a QImage (white, 32-bit).
class QtImageCtx {
public:
    QtImageCtx(int width, int height);
    ~QtImageCtx();
    LDrawCtx& Ctx() { return *fCtx; }
    // Ends the painting; the image is complete afterwards.
    const QImage& Finish();
    QImage fImage;

private:
    QPainter fPainter;
    std::unique_ptr<QtPainterGraphics> fGraphics;
    std::unique_ptr<LDrawCtx> fCtx;
};
