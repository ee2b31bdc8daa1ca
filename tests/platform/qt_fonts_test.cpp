// Native fonts, text boxes and the font panel on the Qt drawing layer.

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QTimer>
#include <cmath>
#include <limits>

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

    const f64 inf = std::numeric_limits<f64>::infinity(), nan = std::nan("");
    // own, record size, scale, final
    const f64 cases[][4] = {{12, 30, -1, 30},   {12, 5000, -1, 1000}, {12, inf, -1, 12},
                            {12, nan, 150, 12}, {nan, 0, -1, 12},     {12, -4, -1, 1}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(LFont::FinalPointSize(c[0], c[1], i32(c[2])), c[3]) << c[1];
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
    box.Draw(draw.Ctx());
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
    EXPECT_GT(line, 0);
    EXPECT_GE(InkRows(LTextBox::kOneLine).first, 40);
    const auto onBaseline = InkRows(LTextBox::kBaseline);
    EXPECT_LT(onBaseline.first, 40);
    EXPECT_TRUE(onBaseline.second >= 38 && onBaseline.second <= 40) << onBaseline.second;
}

struct PanelLog {
    std::vector<std::pair<void*, LFontSpec>> got;
    static void Callback(void* owner, const LFontSpec* spec, u32 event) {
        if (event == 2) static_cast<PanelLog*>(owner)->got.push_back({owner, *spec});
    }
};

QFont Serif20() {
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPointSizeF(20);
    return f;
}

TEST_F(QtFonts, ModalPanelRewritesTheDescription) {
    for (u32 flags : {kFontPanelSize | kFontPanelFace, u32(kFontPanelFace)}) {
        LFontSpec spec{LString(), LString("DejaVu Sans"), 12, 0, 0};
        // Answers the panel once it shows.
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [timer] {
            auto* panel = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
            if (!panel) return;
            panel->setCurrentFont(Serif20());
            panel->accept();
            timer->deleteLater();
        });
        timer->start(5);
        EXPECT_EQ(RunFontPanel(true, &spec, nullptr, nullptr, flags), kFontPanelDone);
        EXPECT_EQ(spec.familyName, LString("DejaVu Serif"));
        // Without the size flag the size change is dropped.
        EXPECT_FLOAT_EQ(spec.pointSize, flags & kFontPanelSize ? 20 : 12);
        EXPECT_EQ(fServices.fDrawing.FontPanel(), nullptr);
    }
}

TEST_F(QtFonts, ModelessPanelReportsUntilItsOwnerClosesIt) {
    PanelLog log, other;
    LFontSpec spec{LString(), LString("DejaVu Sans"), 12, 0, 0};
    ASSERT_EQ(RunFontPanel(false, &spec, &log, &PanelLog::Callback, 7), kFontPanelShown);
    QFontDialog* panel = fServices.fDrawing.FontPanel();
    ASSERT_TRUE(panel);
    panel->setCurrentFont(Serif20());
    ASSERT_FALSE(log.got.empty());
    EXPECT_EQ(log.got.back().first, &log);
    EXPECT_EQ(log.got.back().second.familyName, LString("DejaVu Serif"));
    EXPECT_FLOAT_EQ(log.got.back().second.pointSize, 20);
    CloseFontPanel(&other, &PanelLog::Callback);
    EXPECT_EQ(fServices.fDrawing.FontPanel(), panel);
    CloseFontPanel(&log, &PanelLog::Callback);
    EXPECT_EQ(fServices.fDrawing.FontPanel(), nullptr);
}

}  // namespace
