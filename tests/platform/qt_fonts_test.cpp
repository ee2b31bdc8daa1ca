// Native fonts, text boxes and the font panel on the Qt drawing layer.

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QTimer>
#include <cmath>

#include "framework/LTextBox.h"
#include "platform/qt/QtFonts.h"
#include "tests/platform/QtDrawFixture.h"

namespace {

class QtFonts : public ::testing::Test {
protected:
    QtDrawServices fServices;
};

QtNativeFont* Native(const LFontRequest& r) {
    static std::vector<LNativeFontRef> kept;
    kept.push_back(QtMakeNativeFont(r));
    return static_cast<QtNativeFont*>(kept.back().Get());
}

TEST_F(QtFonts, RecordsResolveWithinOneToAThousandPoints) {
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

TEST_F(QtFonts, ItalicWithoutAFaceIsSlanted) {
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
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (qGray(img.pixel(x, y)) >= 128) continue;
            if (top < 0) top = y;
            bottom = y;
        }
    }
    return {top, bottom};
}

TEST_F(QtFonts, TextBoxLinesAndBaseline) {
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

std::vector<std::pair<void*, LFontSpec>> gReports;
void Report(void* owner, const LFontSpec* spec, u32 event) {
    if (event == 2) gReports.push_back({owner, *spec});
}

TEST_F(QtFonts, FontPanel) {
    QFont serif20(QStringLiteral("DejaVu Serif"));
    serif20.setPointSizeF(20);
    // Modal: answered once it shows; without the size flag the size change is dropped.
    for (u32 flags : {kFontPanelSize | kFontPanelFace, u32(kFontPanelFace)}) {
        LFontSpec spec{LString(), LString("DejaVu Sans"), 12, 0, 0};
        auto* timer = new QTimer;
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

}  // namespace
