// Paints a gallery of the drawing layer (system colours, blend modes, theme
// frames, text in every wrap mode and alignment, images) and saves it as
// qt_gallery.png in the build folder for a look; checks a few of its pixels.

#include <gtest/gtest.h>

#include "framework/CColorValue.h"
#include "framework/LDrawObj.h"
#include "framework/LFrameStyle.h"
#include "framework/LPngImage.h"
#include "framework/LTextBox.h"
#include "framework/LThemeFrame.h"
#include <QPaintEvent>
#include <QWidget>

#include "platform/qt/QtColors.h"
#include "tests/platform/QtDrawFixture.h"

namespace {

void Fill(LDrawCtx& ctx, const LRect& r, const LPenRef& pen, u32 mode = 0) {
    LSolidFill fill(r, pen);
    fill.fDrawMode = mode;
    fill.Draw(ctx);
}

void PaintGallery(LDrawCtx& ctx) {
    LPenRef pen;
    for (u32 id = 0; id < 8; ++id) {  // system colours
        MakePenById(&pen, id);
        Fill(ctx, LRect(10 + 30 * i32(id), 10, 36 + 30 * i32(id), 36), pen);
    }
    for (u32 grey = 1; grey <= 4; ++grey) {
        MakePenByGray(&pen, grey);
        Fill(ctx, LRect(250 + 30 * i32(grey), 10, 276 + 30 * i32(grey), 36), pen);
    }
    LPenRef stripe, red;
    MakePenByColor(&stripe, 0x3070C0FF, 0);
    MakePenByColor(&red, 0xE02020FF, 0);
    for (u32 mode = 0; mode < 4; ++mode) {  // normal, difference, multiply, screen
        const i32 x = 10 + 70 * i32(mode);
        Fill(ctx, LRect(x, 46, x + 60, 76), stripe);
        Fill(ctx, LRect(x + 15, 52, x + 45, 70), red, mode);
    }
    LTextFieldFrameStyle field;
    const u32 states[3] = {0, 2, 6};  // inactive, active, focused
    for (i32 i = 0; i < 3; ++i) {
        const u32 state = states[i];
        const i32 x = 300 + 85 * i;
        const LRect r(x, 50, x + 70, 72);
        field.Draw(ctx, r, state);
        LRect list(x, 84, x + 70, 116);
        LThemeFrame::Draw(field, ctx, &list, state);
    }
    static const char* kText = "Wrapping text, aligned\nsecond line";
    for (u32 wrap = 0; wrap < 4; ++wrap) {
        for (u32 align = 0; align < 3; ++align) {
            const LRect r(10 + 135 * i32(wrap), 130 + 45 * i32(align), 140 + 135 * i32(wrap),
                          170 + 45 * i32(align));
            LPenRef frame;
            MakePenByGray(&frame, 3);
            CFillStyle outline;
            outline.fRect = r;
            outline.fPen = frame;
            outline.Draw(ctx);
            LTextBox box;
            box.SetText(LString(kText));
            box.SetWrapMode(wrap);
            box.SetAlignment(align);
            box.SetRect(r);
            box.Draw(ctx);
        }
    }
    const char* images[] = {"APP", "CNOZOOM", "kPlusCursor"};
    for (int i = 0; i < 3; ++i) {
        LImageRef image = LoadPngImage(images[i]);
        DrawSharedImage(ctx, image.Get(), LRect(10 + 50 * i, 280, 42 + 50 * i, 312));
    }
}

// A window painting through the same graphics as the framework's windows.
class GalleryWindow : public QWidget {
protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        QtPainterGraphics graphics(painter, e->region());
        LDrawCtx ctx(&graphics);
        ctx.SetClipRgn(LRgn(LRect(0, 0, width(), height())));
        PaintGallery(ctx);
    }
};

TEST(QtGallery, PaintsEverything) {
    QtDrawServices services;
    GalleryWindow window;
    window.resize(560, 330);
    const QImage out = window.grab().toImage();
    ASSERT_TRUE(out.save(QStringLiteral(KEVO_BINARY_DIR "/qt_gallery.png")));
    LPenRef pen;
    MakePenById(&pen, 3);
    EXPECT_EQ(out.pixelColor(100, 20), QtPenColor(pen.Get()));
    EXPECT_EQ(out.pixelColor(10 + 70 + 30, 60), QColor(0xB0, 0x50, 0xA0));
}

}  // namespace
