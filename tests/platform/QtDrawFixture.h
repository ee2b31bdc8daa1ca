#pragma once
// A Qt application on the offscreen platform with the drawing, menu, font and
// text services installed while alive, for tests of the Qt drawing layer.

#include <QApplication>
#include <QPainter>
#include <memory>

#include "base/Resources.h"
#include "framework/LDrawCtx.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtGraphicsServices.h"
#include "platform/qt/QtMenus.h"

// Text and images only: the controls are another layer's.
class TestControls final : public LHeadlessControls {
public:
    void DrawText(LNativeGraphics* g, LNativeFont* f, const char* s, u32 n, i32 x, i32 y) override {
        QtDrawText(g, f, s, n, x, y);
    }
    LNativeImageRef MakeImage(const u8* png, u32 size) override { return QtMakeImage(png, size); }
    f64 SmallSystemFontSize() override { return 9; }
};

inline QApplication* MakeTestApp() {
    static int argc = 1;
    static char name[] = "KEVOruneSet";
    static char* argv[] = {name, nullptr};
    static LResFile res(AppResFileRef());
    SetDefaultResChain(&res);
    auto* app = new QApplication(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    return app;
}

struct QtDrawServices {
    QtDrawServices() {
        InstallGraphicsServices(&fGraphics);
        InstallControlServices(&fControls);
    }
    ~QtDrawServices() {
        InstallControlServices(nullptr);
        InstallGraphicsServices(nullptr);
    }
    std::unique_ptr<QApplication> fApp{MakeTestApp()};
    QtGraphicsServices fGraphics;
    TestControls fControls;
    QtDrawingServices fDrawing;
    QtMenuServices fMenus;
};

// A drawing context over a white 32-bit image; Finish ends the painting.
struct QtImageCtx {
    QtImageCtx(int width, int height) : fImage(width, height, QImage::Format_RGB32) {
        fPainter.fillRect(fImage.rect(), Qt::white);
    }
    const QImage& Finish() {
        fPainter.end();
        return fImage;
    }
    QImage fImage;
    QPainter fPainter{&fImage};
    QtPainterGraphics fGraphics{fPainter, QRegion(fImage.rect())};
    LDrawCtx fCtx{&fGraphics};
};
