// Every control in every state as a PNG (build/.../gallery/), with pixel
// checks: states look different where they must, a stamped control is its
// widget's own look, a progress bar fills as far as its value.
#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>

#include "ShellFixture.h"
#include "framework/LStdCtl.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtPainterGraphics.h"

namespace {

ShellEnv* gEnv;
QtControlServices* gControls;

class GalleryFrame : public LFrame {
public:
    GalleryFrame() : LFrame(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        fWindow->SetContentRect(LRect(50, 50, 450, 350));
        ShowWindow();
    }
};

QWidget* WidgetOf(LStdCtl* pane) {
    return static_cast<QtNativeControl*>(pane->Native())->Widget();
}

// Painted as a stamp (no window): the widget's look drawn into an image.
QImage Stamp(LStdCtl* pane, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    // Over the window's background, as the grab shows it.
    image.fill(WidgetOf(pane)->palette().color(QPalette::Window));
    QPainter painter(&image);
    QtPainterGraphics g(painter, QRegion(QRect(QPoint(), size)));
    pane->Native()->DrawInto(&g, LRect(0, 0, size.width(), size.height()));
    return image;
}

int Differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

class Gallery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gEnv = new ShellEnv("offscreen");
        gControls = new QtControlServices;
        QDir().mkpath(Dir());
    }
    static void TearDownTestSuite() {
        delete gControls;
        delete gEnv;
    }
    static QString Dir() { return QStringLiteral(KEVO_BINARY_DIR "/gallery"); }
    // The widget as shown in its window, saved under the name given.
    QImage Shot(LStdCtl* pane, const char* name) {
        QWidget* w = WidgetOf(pane);
        w->repaint();
        QImage image = w->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_TRUE(image.save(Dir() + "/" + name + ".png")) << name;
        return image;
    }
};

TEST_F(Gallery, EveryControlInEveryState) {
    GalleryFrame frame;
    LStdButton push(&frame);
    push.SetTitle("Connect");
    push.SetBounds(LRect(10, 10, 100, 40));
    LStdCheck check(&frame);
    check.SetBounds(LRect(10, 50, 40, 72));
    CRadioBtn radio(&frame);
    radio.SetBounds(LRect(50, 50, 80, 72));
    CStateButton state(&frame);
    state.SetTitle("Play");
    state.SetBounds(LRect(110, 10, 170, 40));
    LPopupList popup(&frame);
    popup.AddItem("Ethernet");
    popup.AddItem("Wireless");
    popup.SetBounds(LRect(10, 80, 160, 108));
    struct Row {
        const char* name;
        LStdCtl* pane;
        std::function<void(bool)> on;  // the control's second look
    } rows[] = {
        {"push", &push, [&](bool on) { push.SetDefault(on); }},
        {"push_pressed", &push, [&](bool on) { push.Highlight(on); }},
        {"check", &check, [&](bool on) { check.SetState(on); }},
        {"radio", &radio, [&](bool on) { radio.SetState(on); }},
        {"state", &state, [&](bool on) { state.SetState(on); }},
        {"popup", &popup, [&](bool on) { popup.Select(on ? 1 : 0); }},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.on(false);
        const QImage off = Shot(r.pane, (std::string(r.name) + "_off").c_str());
        r.on(true);
        const QImage on = Shot(r.pane, (std::string(r.name) + "_on").c_str());
        EXPECT_GT(Differing(off, on), 3);
        // Disabled (the window inactive would do the same).
        r.pane->SetState(LPane::kOpDisable);
        const QImage dim = Shot(r.pane, (std::string(r.name) + "_on_disabled").c_str());
        EXPECT_GT(Differing(on, dim), 3);
        r.pane->SetState(LPane::kOpEnable);
        r.on(false);
        // The stamp is the widget's own look.
        const QImage stamp = Stamp(r.pane, off.size());
        stamp.save(Dir() + "/" + r.name + "_stamp.png");
        EXPECT_LT(Differing(stamp, off), off.width() * off.height() / 50);
    }
}

TEST_F(Gallery, BarsAndSliders) {
    GalleryFrame frame;
    LScrollBar vbar(&frame, 1, 1);
    vbar.SetBounds(LRect(370, 10, 386, 210));
    CProgressBar progress(&frame);
    progress.SetBounds(LRect(10, 10, 210, 26));
    CSlider slider(&frame);
    slider.SetBounds(LRect(10, 40, 210, 62));
    slider.SetRange(0, 100);
    const f64 kFills[] = {0, 0.5, 1};
    std::vector<QImage> bars;
    for (f64 fill : kFills) {
        progress.SetValue(i32(fill * 100));
        const std::string name = "progress_" + std::to_string(int(fill * 100));
        const QImage img = Shot(&progress, name.c_str());
        // Filled with the highlight colour as far as the value goes.
        const QColor hl = WidgetOf(&progress)->palette().color(QPalette::Highlight);
        auto isFill = [&](int x) {
            const QColor c = img.pixelColor(x, img.height() / 2);
            return std::abs(c.hue() - hl.hue()) < 20 && c.saturation() > 60;
        };
        EXPECT_EQ(isFill(img.width() / 4), fill >= 0.5) << name;
        EXPECT_EQ(isFill(img.width() * 3 / 4), fill >= 1) << name;
        slider.SetValue(i32(fill * 100));
        Shot(&slider, ("slider_" + std::to_string(int(fill * 100))).c_str());
        vbar.SetRange(i32(fill * 100), 0, 100, 20);
        bars.push_back(Shot(&vbar, ("scroll_" + std::to_string(int(fill * 100))).c_str()));
    }
    EXPECT_GT(Differing(bars[0], bars[2]), 10);
    // An empty range: disabled.
    vbar.SetRange(0, 0, 0, 10);
    Shot(&vbar, "scroll_disabled");
    EXPECT_FALSE(WidgetOf(&vbar)->isEnabled());
    EXPECT_EQ(WidgetOf(&vbar)->width(), 16);
}

}  // namespace
