// Pens, colour values, offscreens and their pixels, blend modes, theme frames,
// cursors and PNG images on the Qt drawing layer (offscreen platform).

#include <gtest/gtest.h>

#include <QPalette>

#include "framework/LCursor.h"
#include "framework/LDrawObj.h"
#include "framework/LOffscreen.h"
#include "framework/LPngImage.h"
#include "framework/LThemeFrame.h"
#include "platform/qt/QtColors.h"
#include "tests/platform/QtDrawFixture.h"

namespace {

class QtDrawing : public ::testing::Test {
protected:
    QtDrawServices fServices;
};

TEST_F(QtDrawing, PensAreSharedAndSystemPensFollowThePalette) {
    LPenRef a, b, red0, red1;
    MakePenById(&a, 3);
    MakePenById(&b, 3);
    EXPECT_EQ(a.Get(), b.Get());
    MakePenByColor(&red0, 0xFF0000FF, 0);
    MakePenByColor(&red1, 0xFF0000FF, 1);
    EXPECT_NE(red0.Get(), red1.Get());

    LPenRef text;
    MakePenById(&text, 6);
    const QPalette saved = QGuiApplication::palette();
    EXPECT_EQ(QtPenColor(a.Get()), saved.color(QPalette::Active, QPalette::Highlight));
    QtPenColor(text.Get());
    const void* cachedSel = QtPenCachedColor(*a);
    const void* cachedText = QtPenCachedColor(*text);
    EXPECT_EQ(QtPenColor(a.Get()), saved.color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(QtPenCachedColor(*a), cachedSel);

    QPalette changed = saved;
    changed.setColor(QPalette::Highlight, QColor(10, 200, 30));
    QGuiApplication::setPalette(changed);
    EXPECT_EQ(QtPenColor(a.Get()), QColor(10, 200, 30));
    EXPECT_NE(QtPenCachedColor(*a), cachedSel);
    QtPenColor(text.Get());
    EXPECT_EQ(QtPenCachedColor(*text), cachedText);
    QGuiApplication::setPalette(saved);
}

TEST_F(QtDrawing, ColourValues) {
    const QPalette pal = QGuiApplication::palette();
    const QColor text = pal.color(QPalette::Active, QPalette::Text);
    const struct {
        u32 index;
        QColor expected;
    } cases[] = {{3, QColor(255, 255, 255)},
                 {4, QColor(0, 0, 0)},
                 {5, QColor(128, 128, 128)},
                 {0, text},
                 {9, text},
                 {254, text},
                 {1, pal.color(QPalette::Active, QPalette::HighlightedText)},
                 {2, pal.color(QPalette::Disabled, QPalette::ButtonText)}};
    for (const auto& c : cases) {
        CColorValueRef v;
        CColorValue::MakeIndexed(&v, c.index);
        EXPECT_EQ(QtColorOfValue(v.Get()), c.expected) << c.index;
    }
    const u8 rgb[3] = {1, 2, 3};
    CColorValueRef explicitRgb, same, none, none2, white;
    CColorValue::MakeRgb(&explicitRgb, rgb);
    CColorValue::MakeRgb(&same, rgb);
    CColorValue::MakeIndexed(&white, 3);
    EXPECT_EQ(QtColorOfValue(explicitRgb.Get()), QColor(1, 2, 3));
    EXPECT_EQ(QtColorOfValue(nullptr), text);
    EXPECT_TRUE(CColorValue::Equals(explicitRgb, same));
    EXPECT_TRUE(CColorValue::Equals(none, none2));
    EXPECT_FALSE(CColorValue::Equals(none, white));
    EXPECT_FALSE(CColorValue::Equals(white, explicitRgb));
}

TEST_F(QtDrawing, OffscreenRowsAndFailures) {
    const struct {
        u32 width, depth;
        bool gray;
        u64 rowBytes;
    } rows[] = {
        {100, 32, false, 400}, {101, 32, false, 416}, {10, 1, true, 16}, {9, 16, false, 32}};
    for (const auto& r : rows) {
        LOffscreenRef off;
        LOffscreen::New(&off, r.width, 3, r.depth, r.gray, 0);
        ASSERT_TRUE(off) << r.width;
        EXPECT_EQ(LOffscreen::RowBytes(off.Get()), r.rowBytes) << r.width;
    }
    // Sizes whose buffer length wraps in 32 bits, and empty ones: no bitmap.
    const u32 bad[][2] = {{70000, 70000}, {0x40000000, 2}, {0xFFFFFFFF, 1}, {0, 10}, {10, 0}};
    for (const auto& b : bad) {
        LOffscreenRef off;
        LOffscreen::New(&off, b[0], b[1], 32, false, LOffscreen::kFlagAlpha);
        EXPECT_FALSE(off) << b[0] << " x " << b[1];
        u32 w = 1, h = 1;
        LOffscreen::GetSize(off.Get(), &w, &h);
        EXPECT_EQ(w + h, 0u);
        EXPECT_EQ(LOffscreen::RowBytes(off.Get()), 1u);
        EXPECT_EQ(LOffscreen::BeginDraw(off.Get()), nullptr);
        EXPECT_FALSE(LOffscreen::CopyImage(off.Get()));
    }
}

TEST_F(QtDrawing, CopyImageCachesOnlyWhileNobodyDraws) {
    LOffscreenRef off;
    LOffscreen::New(&off, 8, 8, 32, false, LOffscreen::kFlagAlpha);
    ASSERT_TRUE(LOffscreen::BeginDraw(off.Get()));
    LRef a = LOffscreen::CopyImage(off.Get());
    LRef b = LOffscreen::CopyImage(off.Get());
    EXPECT_TRUE(a && b);
    EXPECT_NE(a.Get(), b.Get());
    LOffscreen::EndDraw(off.Get());
    LRef c = LOffscreen::CopyImage(off.Get());
    EXPECT_EQ(LOffscreen::CopyImage(off.Get()).Get(), c.Get());
}

TEST_F(QtDrawing, PixelAccessorsByDepth) {
    const struct {
        u32 depth;
        bool gray;
        u32 pixel;
        u32 colour;  // PixelToColor of the pixel read back
    } cases[] = {{16, false, 0x7FFF, 0xFFFFFF},
                 {8, true, 0x80, 0x808080},
                 {32, false, 0x00112233, 0x332211},
                 {1, true, 1, 0}};
    for (const auto& c : cases) {
        LOffscreenRef off;
        LOffscreen::New(&off, 5, 4, c.depth, c.gray, 0);
        ASSERT_TRUE(off) << c.depth;
        CBitmapPixels pixels(off);
        CPixAcc* acc = pixels.Accessor();
        acc->SetPixel(4, 3, c.pixel);
        EXPECT_EQ(acc->PixelToColor(acc->GetPixel(4, 3)), c.colour) << c.depth;
        // Outside the bitmap: reads 0, writes and run reads do nothing.
        acc->SetPixel(5, 0, c.pixel);
        acc->SetPixel(0, 4, c.pixel);
        EXPECT_EQ(acc->GetPixel(5, 0), 0u);
        EXPECT_EQ(acc->GetPixel(0, 0xFFFFFFFF), 0u);
        u32 run[3] = {7, 7, 7};
        acc->ReadPixels(3, 3, run, 3);
        EXPECT_EQ(run[0] + run[1] + run[2], 21u);
        acc->ReadPixels(2, 3, run, 3);
        EXPECT_EQ(run[2], c.depth == 1 ? 7u : c.pixel);
    }
    const u8 rgb[3] = {0x12, 0x34, 0x56};
    EXPECT_EQ(CPixAcc32(0, nullptr, 0, 0).ColorToPixel(rgb), 0x123456u);
}

TEST_F(QtDrawing, OffscreenDrawsThroughItsGraphicsWithBlendModes) {
    LOffscreenRef off;
    LOffscreen::New(&off, 4, 1, 32, false, 0);
    LDrawCtx ctx(LOffscreen::BeginDraw(off.Get()));
    ASSERT_TRUE(ctx.fNative);
    LPenRef grey, red;
    MakePenByGray(&grey, 2);  // 128
    MakePenByColor(&red, 0xFF0000FF, 0);
    LSolidFill(LRect(0, 0, 4, 1), grey).Draw(ctx);
    // Normal, difference, multiply, screen of red over grey 128.
    const u32 expected[4] = {0x0000FF, 0x80807F, 0x000080, 0x8080FF};
    for (u32 mode = 0; mode < 4; ++mode) {
        LSolidFill fill(LRect(i32(mode), 0, i32(mode) + 1, 1), red);
        fill.fDrawMode = mode;
        fill.Draw(ctx);
    }
    LOffscreen::EndDraw(off.Get());
    CBitmapPixels pixels(off);
    for (u32 x = 0; x < 4; ++x) {
        const u32 c = pixels.Accessor()->PixelToColor(pixels.Accessor()->GetPixel(x, 0));
        for (int ch = 0; ch < 24; ch += 8)
            EXPECT_NEAR(int(c >> ch & 0xFF), int(expected[x] >> ch & 0xFF), 1) << x;
    }
}

class FrameRecorder : public QtPainterGraphics {
public:
    using QtPainterGraphics::QtPainterGraphics;
    void DrawListFrame(const LRect& rect, bool active, bool focused) override {
        fCalls.push_back(int(active) | int(focused) << 1);
        QtPainterGraphics::DrawListFrame(rect, active, focused);
    }
    std::vector<int> fCalls;
};

TEST_F(QtDrawing, ThemeFrame) {
    LFocusRingStyle style(3);
    const LRect r(10, 10, 20, 20);
    for (u32 state : {0u, 8u, 1u, 4u}) {
        LRgn a, b;
        LThemeFrame::AddBorderRgn(style, r, state, &a, &b);
        EXPECT_EQ(a.IsEmpty(), (state & 7) == 0) << state;
        if (!a.IsEmpty()) {
            EXPECT_EQ(a.GetBounds(), LRect(7, 7, 23, 23));
            EXPECT_FALSE(a.ContainsPoint(15, 15));
        }
    }
    QImage image(30, 30, QImage::Format_RGB32);
    QPainter painter(&image);
    FrameRecorder g(painter, QRegion(0, 0, 30, 30));
    LDrawCtx ctx(&g);
    for (u32 state : {0u, 2u, 4u, 6u, 7u}) LThemeFrame::Draw(style, ctx, &r, state);
    // bit 0 active, bit 1 focused
    EXPECT_EQ(g.fCalls, (std::vector<int>{0, 1, 0, 3, 3}));
}

TEST_F(QtDrawing, CursorsAndHotSpots) {
    const struct {
        const char* name;
        bool valid;
        QPoint hot;
    } cases[] = {{"kPlusCursor", true, QPoint(8, 8)},
                 {"CNOZOOM", true, QPoint(6, 6)},
                 {"arrowCursor", true, QPoint(0, 0)},
                 {"NoSuchCursor", false, QPoint(0, 0)}};
    for (const auto& c : cases) {
        LCursorRef cursor(new LCursor(c.name));
        EXPECT_EQ(cursor->IsValid(), c.valid) << c.name;
        SetPaneCursor(nullptr, cursor);
        const QCursor& now = fServices.fDrawing.CurrentCursor();
        if (c.valid && now.shape() == Qt::BitmapCursor) {
            EXPECT_EQ(now.hotSpot(), c.hot) << c.name;
        }
        if (!c.valid) {
            EXPECT_EQ(now.shape(), Qt::ArrowCursor);
        }
    }
    LResId id{0, "APP"};
    LResBlock noChunk(&id, nullptr, kPngResType);
    i32 x = 5, y = 5;
    LCursor::ReadHotSpot(noChunk.Data(), noChunk.Size(), &x, &y);
    EXPECT_EQ(x + y, 0);
    EXPECT_EQ(QtStdCursor(2).shape(), Qt::IBeamCursor);
    EXPECT_EQ(QtStdCursor(3).shape(), Qt::CrossCursor);
    EXPECT_EQ(QtStdCursor(1).shape(), Qt::ArrowCursor);
    EXPECT_EQ(QtStdCursor(9).shape(), Qt::ArrowCursor);
}

TEST_F(QtDrawing, PngImagesFillTheirRectangleUpright) {
    // The no-zoom cursor: a lens at the top left, its handle at the bottom right.
    LImageRef image = LoadPngImage("CNOZOOM");
    ASSERT_TRUE(image->IsValid());
    void* native = nullptr;
    EXPECT_EQ(static_cast<LPngImage*>(image.Get())->GetCGImage(&native), 134u);
    QtImageCtx draw(40, 40);
    DrawSharedImage(draw.Ctx(), image.Get(), LRect(4, 4, 36, 36));
    const QImage& out = draw.Finish();
    auto dark = [&](int x, int y) { return qGray(out.pixel(x, y)) < 100; };
    EXPECT_TRUE(dark(4 + 24, 4 + 24));  // handle (12, 12) doubled
    EXPECT_FALSE(dark(4 + 24, 4 + 6));  // where an upside-down handle would be
    EXPECT_TRUE(dark(4 + 12, 4 + 2));   // lens rim (6, 1)
    EXPECT_FALSE(dark(2, 2));           // outside the rectangle

    const u8 notPng[] = "GIF89a not a png";
    EXPECT_FALSE(QtMakeImage(notPng, sizeof notPng));
    LImageRef missing = LoadPngImage("NoSuchImage");
    EXPECT_FALSE(missing->IsValid());
    EXPECT_EQ(LPngImage("NoSuchImage", nullptr).GetCGImage(&native), 0u);
}

}  // namespace
