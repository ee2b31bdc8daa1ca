// The Qt drawing layer on the offscreen platform: pens, colour values,
// offscreens and their pixels, blend modes, theme frames, cursors, PNG images,
// fonts, text boxes and the font panel; and a gallery of them painted through a
// window, saved as qt_gallery.png in the build folder for a look.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include <QFontDatabase>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>

#include "framework/LCursor.h"
#include "framework/LDrawObj.h"
#include "framework/LOffscreen.h"
#include "framework/LPngImage.h"
#include "framework/LTextBox.h"
#include "framework/LThemeFrame.h"
#include "platform/qt/QtColors.h"
#include "platform/qt/QtFonts.h"
#include "tests/platform/QtDrawFixture.h"

namespace {

class QtDrawing : public ::testing::Test {
protected:
    QtDrawServices fServices;
};

TEST_F(QtDrawing, PensAreSharedAndSystemPensFollowThePalette) {
    LPenRef a, b, red0, red1, text;
    MakePenById(&a, 3);
    MakePenById(&b, 3);
    EXPECT_EQ(a.Get(), b.Get());
    MakePenByColor(&red0, 0xFF0000FF, 0);
    MakePenByColor(&red1, 0xFF0000FF, 1);
    EXPECT_NE(red0.Get(), red1.Get());
    MakePenById(&text, 6);
    const QPalette saved = QGuiApplication::palette();
    EXPECT_EQ(QtPenColor(a.Get()), saved.color(QPalette::Highlight));
    const void* cached[2] = {QtPenCachedColor(*a),
                             (QtPenColor(text.Get()), QtPenCachedColor(*text))};
    QPalette changed = saved;
    changed.setColor(QPalette::Highlight, QColor(10, 200, 30));
    QGuiApplication::setPalette(changed);
    EXPECT_EQ(QtPenColor(a.Get()), QColor(10, 200, 30));
    EXPECT_NE(QtPenCachedColor(*a), cached[0]);
    QtPenColor(text.Get());
    EXPECT_EQ(QtPenCachedColor(*text), cached[1]);
    QGuiApplication::setPalette(saved);
    EXPECT_TRUE(&SharedSRGBColorSpace() == &SharedSRGBColorSpace() &&
                SharedSRGBColorSpace() == QColorSpace(QColorSpace::SRgb));
}

TEST_F(QtDrawing, TextAndSelectedTextPens) {
    const QPalette saved = QGuiApplication::palette();
    QPalette p = saved;
    p.setColor(QPalette::Text, QColor(1, 2, 3));
    p.setColor(QPalette::HighlightedText, QColor(250, 240, 230));
    QGuiApplication::setPalette(p);
    LPenRef text, selected;
    MakePenById(&text, 7);
    MakePenById(&selected, kPenSelectedText);
    EXPECT_EQ(QtPenColor(text.Get()), QColor(1, 2, 3));
    EXPECT_EQ(QtPenColor(selected.Get()), QColor(250, 240, 230));
    QGuiApplication::setPalette(saved);
}

TEST_F(QtDrawing, ColourValues) {
    const QColor text = QGuiApplication::palette().color(QPalette::Text);
    const std::pair<u32, QColor> cases[] = {{3, Qt::white}, {4, Qt::black},
                                            {0, text},      {5, QColor(128, 128, 128)},
                                            {9, text},      {254, text}};
    for (const auto& [index, colour] : cases) {
        CColorValueRef v;
        CColorValue::MakeIndexed(&v, index);
        EXPECT_EQ(QtColorOfValue(v.Get()), colour) << index;
    }
    const u8 rgb[3] = {1, 2, 3};
    CColorValueRef mine, same, none, none2, white;
    CColorValue::MakeRgb(&mine, rgb);
    CColorValue::MakeRgb(&same, rgb);
    CColorValue::MakeIndexed(&white, 3);
    EXPECT_EQ(QtColorOfValue(mine.Get()), QColor(1, 2, 3));
    EXPECT_TRUE(CColorValue::Equals(mine, same) && CColorValue::Equals(none, none2));
    EXPECT_FALSE(CColorValue::Equals(none, white) || CColorValue::Equals(white, mine));
}

TEST_F(QtDrawing, OffscreenRowsFailuresAndImageCache) {
    const u32 rows[][4] = {{100, 32, 0, 400}, {101, 32, 0, 416}, {10, 1, 1, 16}, {9, 16, 0, 32}};
    for (const auto& r : rows) {
        LOffscreenRef off;
        LOffscreen::New(&off, r[0], 3, r[1], r[2] != 0, 0);
        EXPECT_EQ(LOffscreen::RowBytes(off.Get()), r[3]) << r[0];
    }
    // Buffer lengths that wrap in 32 bits, and empty sizes: no bitmap at all.
    const u32 bad[][2] = {{70000, 70000}, {0x40000000, 2}, {0xFFFFFFFF, 1}, {0, 10}, {10, 0}};
    for (const auto& b : bad) {
        LOffscreenRef off;
        LOffscreen::New(&off, b[0], b[1], 32, false, LOffscreen::kFlagAlpha);
        u32 w = 1, h = 1;
        LOffscreen::GetSize(off.Get(), &w, &h);
        EXPECT_EQ(w + h + LOffscreen::RowBytes(off.Get()), 1u) << b[0] << " x " << b[1];
        EXPECT_FALSE(off || LOffscreen::BeginDraw(off.Get()) || LOffscreen::CopyImage(off.Get()));
    }
    LOffscreenRef off;
    LOffscreen::New(&off, 8, 8, 32, false, LOffscreen::kFlagAlpha);
    LDrawCtx ctx(LOffscreen::BeginDraw(off.Get()));
    LPenRef red;
    MakePenByColor(&red, 0xFF0000FF, 0);
    LSolidFill(LRect(0, 0, 8, 8), red).Draw(ctx);
    LRef a = LOffscreen::CopyImage(off.Get()), b = LOffscreen::CopyImage(off.Get());
    EXPECT_TRUE(a && b && a.Get() != b.Get());
    LOffscreen::EndDraw(off.Get());
    LRef c = LOffscreen::CopyImage(off.Get());
    EXPECT_EQ(LOffscreen::CopyImage(off.Get()).Get(), c.Get());
    CBitmapPixels pixels(off);  // drawn into the offscreen's own buffer
    EXPECT_EQ(pixels.Accessor()->PixelToColor(pixels.Accessor()->GetPixel(7, 7)), 0x0000FFu);
}

TEST_F(QtDrawing, PixelAccessorsByDepth) {
    // depth, gray, pixel written, its colour read back
    const u32 cases[][4] = {{16, 0, 0x7FFF, 0xFFFFFF},
                            {8, 1, 0x80, 0x808080},
                            {32, 0, 0x112233, 0x332211},
                            {1, 1, 1, 0}};
    for (const auto& c : cases) {
        LOffscreenRef off;
        LOffscreen::New(&off, 5, 4, c[0], c[1] != 0, 0);
        CBitmapPixels pixels(off);
        CPixAcc* acc = pixels.Accessor();
        acc->SetPixel(4, 3, c[2]);
        EXPECT_EQ(acc->PixelToColor(acc->GetPixel(4, 3)), c[3]) << c[0];
        // Outside the bitmap: reads 0, writes and run reads do nothing.
        acc->SetPixel(5, 0, c[2]);
        acc->SetPixel(0, 4, c[2]);
        EXPECT_EQ(acc->GetPixel(5, 0) + acc->GetPixel(0, 0xFFFFFFFF), 0u);
        u32 run[3] = {7, 7, 7};
        acc->ReadPixels(3, 3, run, 3);
        EXPECT_EQ(run[0] + run[1] + run[2], 21u);
        acc->ReadPixels(2, 3, run, 3);
        EXPECT_EQ(run[2], c[0] == 1 ? 7u : c[2]);
    }
    const u8 rgb[3] = {0x12, 0x34, 0x56};
    EXPECT_EQ(CPixAcc32(0, nullptr, 0, 0).ColorToPixel(rgb), 0x123456u);
}

struct FrameRecorder : QtPainterGraphics {
    using QtPainterGraphics::QtPainterGraphics;
    void DrawListFrame(const LRect&, bool active, bool focused) override {
        fCalls.push_back(int(active) | int(focused) << 1);
    }
    std::vector<int> fCalls;
};

TEST_F(QtDrawing, ThemeFrame) {
    LFocusRingStyle style(3);
    const LRect r(10, 10, 20, 20);
    for (u32 state : {0u, 8u, 1u, 4u}) {
        LRgn a, b;
        LThemeFrame::AddBorderRgn(style, r, state, &a, &b);
        EXPECT_EQ(a.IsEmpty() && b.IsEmpty(), (state & 7) == 0) << state;
        EXPECT_TRUE(a.IsEmpty() ||
                    (a.GetBounds() == LRect(7, 7, 23, 23) && !a.ContainsPoint(15, 15)));
    }
    QImage image(30, 30, QImage::Format_RGB32);
    QPainter painter(&image);
    FrameRecorder g(painter, QRegion(0, 0, 30, 30));
    LDrawCtx ctx(&g);
    for (u32 state : {0u, 2u, 4u, 6u, 7u}) LThemeFrame::Draw(style, ctx, &r, state);
    EXPECT_EQ(g.fCalls, (std::vector<int>{0, 1, 0, 3, 3}));  // bit 0 active, bit 1 focused
}

TEST_F(QtDrawing, CursorsAndHotSpots) {
    const std::pair<const char*, QPoint> made[] = {{"kPlusCursor", {8, 8}}, {"CNOZOOM", {6, 6}}};
    for (const auto& [name, hot] : made) {
        SetPaneCursor(nullptr, LCursorRef(new LCursor(name)));
        EXPECT_EQ(fServices.fDrawing.CurrentCursor().shape(), Qt::BitmapCursor) << name;
        EXPECT_EQ(fServices.fDrawing.CurrentCursor().hotSpot(), hot) << name;
    }
    EXPECT_TRUE(LCursor("arrowCursor").IsValid());
    EXPECT_FALSE(LCursor("NoSuchCursor").IsValid());
    SetPaneCursor(nullptr, LCursorRef());
    EXPECT_EQ(fServices.fDrawing.CurrentCursor().shape(), Qt::ArrowCursor);
    LResId id{0, "APP"};
    LResBlock noChunk(&id, nullptr, kPngResType);
    i32 x = 5, y = 5;
    LCursor::ReadHotSpot(noChunk.Data(), noChunk.Size(), &x, &y);
    EXPECT_EQ(x + y, 0);
    const std::pair<u32, Qt::CursorShape> kinds[] = {
        {2, Qt::IBeamCursor}, {3, Qt::CrossCursor}, {1, Qt::ArrowCursor}, {9, Qt::ArrowCursor}};
    for (const auto& [kind, shape] : kinds) EXPECT_EQ(QtStdCursor(kind).shape(), shape) << kind;
}

TEST_F(QtDrawing, PngImagesFillTheirRectangleUpright) {
    // The no-zoom cursor: a lens at the top left, its handle at the bottom right.
    LImageRef image = LoadPngImage("CNOZOOM");
    void* native = nullptr;
    EXPECT_EQ(static_cast<LPngImage*>(image.Get())->GetCGImage(&native), 134u);
    QtImageCtx draw(40, 40);
    DrawSharedImage(draw.fCtx, image.Get(), LRect(4, 4, 36, 36));
    const QImage& out = draw.Finish();
    auto dark = [&](int x, int y) { return qGray(out.pixel(4 + x, 4 + y)) < 100; };
    // Handle and lens rim doubled; no handle where an upside-down one would be; nothing outside.
    EXPECT_TRUE(dark(24, 24) && dark(12, 2));
    EXPECT_FALSE(dark(24, 6) || dark(-2, -2));
    const u8 notPng[] = "GIF89a not a png";
    EXPECT_FALSE(QtMakeImage(notPng, sizeof notPng));
    EXPECT_FALSE(LoadPngImage("NoSuchImage")->IsValid());
    EXPECT_EQ(LPngImage("NoSuchImage", nullptr).GetCGImage(&native), 0u);
}

QtNativeFont* Native(const LFontRequest& r) {
    static std::vector<LNativeFontRef> kept;
    kept.push_back(QtMakeNativeFont(r));
    return static_cast<QtNativeFont*>(kept.back().Get());
}

TEST_F(QtDrawing, SmallLabelsAreSmallerThanOrdinaryText) {
    LFontRequest small, plain;
    small.sizeCode = 2;
    plain.sizeCode = 1;
    EXPECT_LT(Native(small)->PointSize(), Native(plain)->PointSize());
    EXPECT_GE(Native(small)->PointSize(), 6.0);
}

TEST_F(QtDrawing, RecordsResolveWithinOneToAThousandPoints) {
    LFontRequest r;
    r.sizeCode = 1;
    const f64 own = Native(r)->PointSize();
    const LString userFamily = Native(r)->FamilyName();
    const std::pair<i32, f64> scaled[] = {{200, 2 * own}, {0, 1.0}, {100000, 1000.0}};
    for (const auto& [percent, size] : scaled) {
        r.scalePercent = percent;
        EXPECT_DOUBLE_EQ(Native(r)->PointSize(), size) << percent;
    }
    LFontRequest named;
    named.sizeCode = 255;
    named.faceName = "No Such Family Anywhere";
    EXPECT_EQ(Native(named)->FamilyName(), userFamily);

    // Record sizes out of bounds and sizes that are not finite.
    const f64 nan = std::nan("");
    EXPECT_DOUBLE_EQ(LFont::FinalPointSize(12, 5000, -1), 1000);
    EXPECT_DOUBLE_EQ(LFont::FinalPointSize(12, -4, -1), 1);
    EXPECT_DOUBLE_EQ(LFont::FinalPointSize(12, nan, 150), 12);
    EXPECT_DOUBLE_EQ(LFont::FinalPointSize(nan, 0, -1), 12);
}

TEST_F(QtDrawing, ItalicWithoutAFaceIsSlanted) {
    QByteArray plain, slanted;
    for (const QString& f : QFontDatabase::families()) {
        QByteArray& slot = QtHasItalicFace(f) ? slanted : plain;
        if (slot.isEmpty() && !QFontDatabase::isPrivateFamily(f)) slot = f.toUtf8();
    }
    if (plain.isEmpty() || slanted.isEmpty()) GTEST_SKIP() << "needs both kinds of family";
    LFontRequest r;
    r.sizeCode = 255;
    r.attr3 = 2;
    r.faceName = plain.constData();
    QtNativeFont* a = Native(r);
    EXPECT_TRUE(a->Shear() == 0.25 && !a->Font().italic());
    r.faceName = slanted.constData();
    QtNativeFont* b = Native(r);
    EXPECT_TRUE(b->Shear() == 0.0 && b->Font().italic());
}

// The first and last rows holding ink of "Hx" drawn with its box's top at y 40.
std::pair<int, int> InkRows(u32 wrapMode) {
    QtImageCtx draw(120, 80);
    LTextBox box;
    box.SetText(LString("Hx"));
    box.SetWrapMode(wrapMode);
    box.SetRect(LRect(10, 40, 110, 70));
    box.Draw(draw.fCtx);
    const QImage& img = draw.Finish();
    int top = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128) top = top < 0 ? y : top, bottom = y;
    return {top, bottom};
}

TEST_F(QtDrawing, TextBoxLinesAndBaseline) {
    LTextBox box;
    const i32 line = box.GetHeight(nullptr);
    EXPECT_EQ(box.GetTextHeight(nullptr), line);
    EXPECT_TRUE(box.SetText(LString("a\r\nb\rc\n")));
    EXPECT_FALSE(box.SetText(LString("a\r\nb\rc\n")));
    EXPECT_EQ(box.GetTextHeight(nullptr), 4 * line);
    const i32 a = box.GetAscent(nullptr);
    EXPECT_EQ(box.GetBaselineRect(nullptr), LRect(0, -a, box.GetWidth(nullptr), 4 * line - a));
    EXPECT_GT(line, 0);
    EXPECT_GE(InkRows(LTextBox::kOneLine).first, 40);
    const auto onBaseline = InkRows(LTextBox::kBaseline);
    EXPECT_LT(onBaseline.first, 40);
    EXPECT_TRUE(onBaseline.second >= 38 && onBaseline.second <= 40) << onBaseline.second;
}

// A name wider than its line (a message quoting a long file name) breaks
// between its characters rather than running past the box's edge: every
// line fits, and the lines hold the whole name, its end too.
TEST_F(QtDrawing, TextBoxBreaksAWordTooLongForItsLine) {
    const std::string name =
        "Replace \"abcdefghij_klmnopqrst_uvwxyz0123_456789abcd_efghijklmn_uvwxyz_EN.drc\"?";
    const struct {
        const char* what;
        std::string text;
    } rows[] = {{"alone", name.substr(9, name.size() - 11)},
                {"in a sentence", name},
                {"with letters of two bytes", "\xc3\xa4\xc3\xb6\xc3\xbc" + name.substr(9, 40)}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        LTextBox box;
        box.SetText(LString(r.text.c_str()));
        box.SetWrapMode(LTextBox::kWrap);
        const i32 width = box.GetWidth(nullptr) / 4;
        const i32 lines = box.GetHeightForWidth(nullptr, width) / box.GetHeight(nullptr);
        EXPECT_GE(lines, 4);
        EXPECT_LE(lines, 6);
        // Drawn in a box of that width and the lines' height, ink reaches
        // its last line, and no line runs past its right edge.
        QtImageCtx draw(width + 40, box.GetHeightForWidth(nullptr, width) + 40);
        box.SetRect(LRect(10, 10, 10 + width, 10 + box.GetHeightForWidth(nullptr, width)));
        box.Draw(draw.fCtx);
        const QImage& img = draw.Finish();
        int lastInkRow = -1, rightmost = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128)
                    lastInkRow = y, rightmost = std::max(rightmost, x);
        EXPECT_GT(lastInkRow, 10 + (lines - 1) * box.GetHeight(nullptr));
        EXPECT_LT(rightmost, 10 + width);
    }
}

std::vector<std::pair<void*, LFontSpec>> gReports;
void Report(void* owner, const LFontSpec* spec, u32 event) {
    if (event == 2) gReports.push_back({owner, *spec});
}

TEST_F(QtDrawing, FontPanel) {
    QFont serif20(QStringLiteral("DejaVu Serif"));
    serif20.setPointSizeF(20);
    // Modal: answered once it shows; without the size flag the size change is dropped.
    for (u32 flags : {kFontPanelSize | kFontPanelFace, u32(kFontPanelFace)}) {
        LFontSpec spec{LString(), LString("DejaVu Sans"), 12, 0, 0};
        auto* timer = new QTimer(qApp);  // goes with the application at the latest
        QObject::connect(timer, &QTimer::timeout, timer, [timer, serif20] {
            if (auto* panel = qobject_cast<QFontDialog*>(QApplication::activeModalWidget())) {
                panel->setCurrentFont(serif20);
                panel->accept();
                timer->deleteLater();
            }
        });
        timer->start(5);
        EXPECT_EQ(RunFontPanel(true, &spec, nullptr, &Report, flags), kFontPanelDone);
        EXPECT_EQ(spec.familyName, LString("DejaVu Serif"));
        EXPECT_FLOAT_EQ(spec.pointSize, flags & kFontPanelSize ? 20 : 12);
        EXPECT_EQ(fServices.fDrawing.FontPanel(), nullptr);
    }
    // Modeless: every change reported to its owner until that owner closes it.
    int owner = 0, other = 0;
    LFontSpec spec{LString(), LString("DejaVu Sans"), 12, 0, 0};
    gReports.clear();
    ASSERT_EQ(RunFontPanel(false, &spec, &owner, &Report, 7), kFontPanelShown);
    QFontDialog* panel = fServices.fDrawing.FontPanel();
    panel->setCurrentFont(serif20);
    ASSERT_FALSE(gReports.empty());
    EXPECT_EQ(gReports.back().first, &owner);
    EXPECT_EQ(gReports.back().second.familyName, LString("DejaVu Serif"));
    EXPECT_FLOAT_EQ(gReports.back().second.pointSize, 20);
    CloseFontPanel(&other, &Report);
    EXPECT_EQ(fServices.fDrawing.FontPanel(), panel);
    CloseFontPanel(&owner, &Report);
    EXPECT_EQ(fServices.fDrawing.FontPanel(), nullptr);
}

void Fill(LDrawCtx& ctx, i32 x, i32 y, i32 w, i32 h, const LPenRef& pen, u32 mode = 0) {
    LSolidFill fill(LRect(x, y, x + w, y + h), pen);
    fill.fDrawMode = mode;
    fill.Draw(ctx);
}

void PaintGallery(LDrawCtx& ctx) {
    LPenRef pen, red;
    for (u32 id = 0; id < 12; ++id) {  // system colours 0-7, greys 1-4
        id < 8 ? MakePenById(&pen, id) : MakePenByGray(&pen, id - 7);
        Fill(ctx, 10 + 30 * i32(id), 10, 26, 26, pen);
    }
    MakePenByGray(&pen, 2);  // 128
    MakePenByColor(&red, 0xFF0000FF, 0);
    for (u32 mode = 0; mode < 4; ++mode) {  // normal, difference, multiply, screen
        Fill(ctx, 10 + 70 * i32(mode), 46, 60, 30, pen);
        Fill(ctx, 25 + 70 * i32(mode), 52, 30, 18, red, mode);
    }
    const u32 states[3] = {0, 2, 6};  // inactive, active, focused
    for (i32 i = 0; i < 3; ++i) {
        const LRect r(300 + 85 * i, 84, 370 + 85 * i, 116);
        LTextFieldFrameStyle().Draw(ctx, LRect(300 + 85 * i, 50, 370 + 85 * i, 72), states[i]);
        LThemeFrame::Draw(LTextFieldFrameStyle(), ctx, &r, states[i]);
    }
    for (u32 box = 0; box < 12; ++box) {  // every wrap mode (columns) and alignment (rows)
        const LRect r(10 + 135 * i32(box / 3), 130 + 45 * i32(box % 3), 140 + 135 * i32(box / 3),
                      170 + 45 * i32(box % 3));
        LThemeFrame::Draw(LTextFieldFrameStyle(), ctx, &r, 0);
        LTextBox text;
        text.SetText(LString("Wrapping text, aligned\nsecond line"));
        text.SetWrapMode(box / 3);
        text.SetAlignment(box % 3);
        text.SetRect(r);
        text.Draw(ctx);
    }
    const char* images[] = {"APP", "CNOZOOM", "kPlusCursor"};
    for (i32 i = 0; i < 3; ++i)
        DrawSharedImage(ctx, LoadPngImage(images[i]).Get(),
                        LRect(10 + 50 * i, 280, 42 + 50 * i, 312));
}

struct GalleryWindow : QWidget {
    void paintEvent(QPaintEvent* e) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        QtPainterGraphics graphics(painter, e->region());
        LDrawCtx ctx(&graphics);
        PaintGallery(ctx);
    }
};

TEST_F(QtDrawing, Gallery) {
    GalleryWindow window;
    window.resize(560, 330);
    const QImage out = window.grab().toImage();
    ASSERT_TRUE(out.save(QStringLiteral(KEVO_BINARY_DIR "/qt_gallery.png")));
    // Red over grey 128: normal, difference, multiply, screen.
    const QColor blended[4] = {{255, 0, 0}, {127, 128, 128}, {128, 0, 0}, {255, 128, 128}};
    for (int mode = 0; mode < 4; ++mode)
        EXPECT_EQ(out.pixelColor(40 + 70 * mode, 60), blended[mode]);
}

}  // namespace
