// Paints a gallery of the drawing layer through a window (system colours,
// blend modes, theme frames, text in every wrap mode and alignment, images) and
// saves it as qt_gallery.png in the build folder for a look.

#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QWidget>

#include "framework/LDrawObj.h"
#include "framework/LFrameStyle.h"
#include "framework/LPngImage.h"
#include "framework/LTextBox.h"
#include "framework/LThemeFrame.h"
#include "platform/qt/QtColors.h"
#include "tests/platform/QtDrawFixture.h"

namespace {

void Fill(LDrawCtx& ctx, i32 x, i32 y, i32 w, i32 h, const LPenRef& pen, u32 mode = 0) {
    LSolidFill fill(LRect(x, y, x + w, y + h), pen);
    fill.fDrawMode = mode;
    fill.Draw(ctx);
}

void PaintGallery(LDrawCtx& ctx) {
    LPenRef pen, red;
    for (u32 id = 0; id < 12; ++id) {  // system colours 0-7, greys 1-4
        if (id < 8)
            MakePenById(&pen, id);
        else
            MakePenByGray(&pen, id - 7);
        Fill(ctx, 10 + 30 * i32(id), 10, 26, 26, pen);
    }
    MakePenByColor(&pen, 0x3070C0FF, 0);
    MakePenByColor(&red, 0xE02020FF, 0);
    for (u32 mode = 0; mode < 4; ++mode) {  // normal, difference, multiply, screen
        Fill(ctx, 10 + 70 * i32(mode), 46, 60, 30, pen);
        Fill(ctx, 25 + 70 * i32(mode), 52, 30, 18, red, mode);
    }
    LTextFieldFrameStyle field;
    const u32 states[3] = {0, 2, 6};  // inactive, active, focused
    for (i32 i = 0; i < 3; ++i) {
        const LRect r(300 + 85 * i, 84, 370 + 85 * i, 116);
        field.Draw(ctx, LRect(300 + 85 * i, 50, 370 + 85 * i, 72), states[i]);
        LThemeFrame::Draw(field, ctx, &r, states[i]);
    }
    MakePenByGray(&pen, 3);
    for (u32 wrap = 0; wrap < 4; ++wrap) {
        for (u32 align = 0; align < 3; ++align) {
            CFillStyle outline;
            outline.fRect = LRect(10 + 135 * i32(wrap), 130 + 45 * i32(align),
                                  140 + 135 * i32(wrap), 170 + 45 * i32(align));
            outline.fPen = pen;
            outline.Draw(ctx);
            LTextBox box;
            box.SetText(LString("Wrapping text, aligned\nsecond line"));
            box.SetWrapMode(wrap);
            box.SetAlignment(align);
            box.SetRect(outline.fRect);
            box.Draw(ctx);
        }
    }
    const char* images[] = {"APP", "CNOZOOM", "kPlusCursor"};
    for (i32 i = 0; i < 3; ++i)
        DrawSharedImage(ctx, LoadPngImage(images[i]).Get(),
                        LRect(10 + 50 * i, 280, 42 + 50 * i, 312));
}

// A window painting through the same graphics as the framework's windows.
struct GalleryWindow : QWidget {
    void paintEvent(QPaintEvent* e) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        QtPainterGraphics graphics(painter, e->region());
        LDrawCtx ctx(&graphics);
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
    EXPECT_EQ(out.pixelColor(110, 60), QColor(0xB0, 0x50, 0xA0));  // difference
}

}  // namespace
