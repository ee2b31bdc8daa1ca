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

QtNativeFont* Native(const LFontRequest& r, LNativeFontRef* keep) {
    *keep = QtMakeNativeFont(r);
    return static_cast<QtNativeFont*>(keep->Get());
}

TEST_F(QtFonts, RecordsResolve) {
    LNativeFontRef user, missing, scaled, huge, zero;
    LFontRequest r;
    r.sizeCode = 1;
    const f64 own = Native(r, &user)->PointSize();
    r.scalePercent = 200;
    EXPECT_DOUBLE_EQ(Native(r, &scaled)->PointSize(), 2 * own);
    r.scalePercent = 0;
    EXPECT_DOUBLE_EQ(Native(r, &zero)->PointSize(), 1.0);
    r.scalePercent = 100000;
    r.attr0 = 900;
    EXPECT_DOUBLE_EQ(Native(r, &huge)->PointSize(), 1000.0);

    LFontRequest named;
    named.sizeCode = 255;
    named.faceName = "No Such Family Anywhere";
    EXPECT_EQ(Native(named, &missing)->FamilyName(), user->FamilyName());
}

TEST_F(QtFonts, FinalPointSizeIsHeldToOneToAThousand) {
    const f64 inf = std::numeric_limits<f64>::infinity();
    const f64 nan = std::numeric_limits<f64>::quiet_NaN();
    const struct {
        f64 own, record;
        i32 scale;
        f64 expected;
    } cases[] = {{12, 0, -1, 12},    {12, 30, -1, 30},     {12, 0, 200, 24},
                 {12, 0, 0, 1},      {12, 5000, -1, 1000}, {12, inf, -1, 12},
                 {12, nan, 150, 12}, {nan, 0, -1, 12},     {12, -4, -1, 1}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(LFont::FinalPointSize(c.own, c.record, c.scale), c.expected)
            << c.own << " " << c.record << " " << c.scale;
}

TEST_F(QtFonts, ItalicWithoutAFaceIsSlanted) {
    QString plain, slanted;
    for (const QString& f : QFontDatabase::families()) {
        if (QtHasItalicFace(f)) {
            if (slanted.isEmpty()) slanted = f;
        } else if (plain.isEmpty() && !QFontDatabase::isPrivateFamily(f)) {
            plain = f;
        }
    }
    if (plain.isEmpty() || slanted.isEmpty()) GTEST_SKIP() << "needs both kinds of family";
    const QByteArray p = plain.toUtf8(), s = slanted.toUtf8();
    LFontRequest r;
    r.sizeCode = 255;
    r.attr3 = 2;
    LNativeFontRef a, b;
    r.faceName = p.constData();
    EXPECT_DOUBLE_EQ(Native(r, &a)->Shear(), 0.25);
    EXPECT_FALSE(static_cast<QtNativeFont*>(a.Get())->Font().italic());
    r.faceName = s.constData();
    EXPECT_DOUBLE_EQ(Native(r, &b)->Shear(), 0.0);
    EXPECT_TRUE(static_cast<QtNativeFont*>(b.Get())->Font().italic());
}

TEST_F(QtFonts, TextBoxLinesAndChanges) {
    LTextBox box;
    const i32 line = box.GetHeight(nullptr);
    ASSERT_GT(line, 0);
    EXPECT_EQ(box.GetTextHeight(nullptr), line);
    EXPECT_TRUE(box.SetText(LString("a\r\nb\rc\n")));
    EXPECT_FALSE(box.SetText(LString("a\r\nb\rc\n")));
    EXPECT_EQ(box.GetTextHeight(nullptr), 4 * line);
}

// The rows holding ink of a text drawn with its box's top at y 40.
std::pair<int, int> InkRows(u32 wrapMode) {
    QtImageCtx draw(120, 80);
    LTextBox box;
    box.SetText(LString("Hx"));
    box.SetWrapMode(wrapMode);
    box.SetRect(LRect(10, 40, 110, 70));
    LPenRef black;
    MakePenByColor(&black, 0x000000FF, 0);
    box.SetColor(black);
    box.Draw(draw.Ctx());
    const QImage& img = draw.Finish();
    int top = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (qGray(img.pixel(x, y)) < 128) {
                if (top < 0) top = y;
                bottom = y;
                break;
            }
        }
    }
    return {top, bottom};
}

TEST_F(QtFonts, WrapModeThreeSitsOnItsBaseline) {
    const auto topAligned = InkRows(LTextBox::kOneLine);
    const auto onBaseline = InkRows(LTextBox::kBaseline);
    EXPECT_GE(topAligned.first, 40);
    EXPECT_LT(onBaseline.first, 40);
    EXPECT_LE(onBaseline.second, 40);
    EXPECT_GE(onBaseline.second, 38);
}

struct PanelLog {
    std::vector<LFontSpec> specs;
    void* owner = nullptr;
    static void Callback(void* owner, const LFontSpec* spec, u32 event) {
        auto* log = static_cast<PanelLog*>(owner);
        log->owner = owner;
        if (event == 2) log->specs.push_back(*spec);
    }
};

// Answers the modal panel with a font once it shows (bounded by the test's time-out).
void AnswerModalPanel(const QFont& font) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, font] {
        auto* panel = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
        if (!panel) return;
        panel->setCurrentFont(font);
        panel->accept();
        timer->deleteLater();
    });
    timer->start(5);
}

TEST_F(QtFonts, ModalPanelRewritesTheDescription) {
    const struct {
        u32 flags;
        f32 size;
    } cases[] = {{kFontPanelSize | kFontPanelFace, 20}, {kFontPanelFace, 12}};
    for (const auto& c : cases) {
        LFontSpec spec;
        spec.familyName = LString("DejaVu Sans");
        spec.pointSize = 12;
        QFont chosen(QStringLiteral("DejaVu Serif"));
        chosen.setPointSizeF(20);
        AnswerModalPanel(chosen);
        EXPECT_EQ(RunFontPanel(true, &spec, nullptr, nullptr, c.flags), kFontPanelDone);
        EXPECT_EQ(spec.familyName, LString("DejaVu Serif"));
        EXPECT_FLOAT_EQ(spec.pointSize, c.size);
        EXPECT_EQ(fServices.fDrawing.FontPanel(), nullptr);
    }
}

TEST_F(QtFonts, ModelessPanelReportsUntilItsOwnerClosesIt) {
    PanelLog log, other;
    LFontSpec spec;
    spec.familyName = LString("DejaVu Sans");
    spec.pointSize = 12;
    ASSERT_EQ(RunFontPanel(false, &spec, &log, &PanelLog::Callback, 7), kFontPanelShown);
    QFontDialog* panel = fServices.fDrawing.FontPanel();
    ASSERT_TRUE(panel);
    QFont next(QStringLiteral("DejaVu Serif"));
    next.setPointSizeF(16);
    panel->setCurrentFont(next);
    ASSERT_FALSE(log.specs.empty());
    EXPECT_EQ(log.owner, &log);
    EXPECT_EQ(log.specs.back().familyName, LString("DejaVu Serif"));
    EXPECT_FLOAT_EQ(log.specs.back().pointSize, 16);
    CloseFontPanel(&other, &PanelLog::Callback);
    EXPECT_EQ(fServices.fDrawing.FontPanel(), panel);
    CloseFontPanel(&log, &PanelLog::Callback);
    EXPECT_EQ(fServices.fDrawing.FontPanel(), nullptr);
}

}  // namespace
