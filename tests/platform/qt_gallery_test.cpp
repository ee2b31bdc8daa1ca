// Every control in every state as a PNG (<build>/gallery/), with pixel checks:
// the states look different, and a stamped control is its widget's own look.
#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>

#include "ControlFixture.h"
#include "platform/qt/QtPainterGraphics.h"

namespace {

int Differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

QImage Shot(LStdCtl* pane, const std::string& name) {
    QImage image =
        WidgetOf(pane)->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/gallery/") + name.c_str() + ".png"));
    return image;
}

// Stamped (no window) over the window's background.
QImage Stamp(LStdCtl* pane, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(WidgetOf(pane)->palette().color(QPalette::Window));
    QPainter painter(&image);
    QtPainterGraphics g(painter, QRegion(image.rect()));
    pane->Native()->DrawInto(&g, LRect(0, 0, size.width(), size.height()));
    return image;
}

TEST(Gallery, EveryControlInEveryState) {
    ControlEnv env("offscreen");
    QDir().mkpath(KEVO_BINARY_DIR "/gallery");
    CtlFrame frame;
    frame.ShowWindow();
    LStdButton push(&frame);
    push.SetTitle("Save & Go");
    EXPECT_EQ(std::string(push.GetTitle().View()), "Save & Go");  // no mnemonic
    LStdCheck check(&frame);
    CRadioBtn radio(&frame);
    CStateButton state(&frame);
    state.SetTitle("Play");
    LPopupList popup(&frame);
    popup.AddItem("Ethernet");
    popup.AddItem("Wireless");
    LScrollBar bar(&frame, 1, 1);
    CSlider slider(&frame);
    slider.SetRange(0, 100);
    CProgressBar progress(&frame);
    const struct {
        const char* name;
        LStdCtl* pane;
        LRect at;
        std::function<void(i32)> set;  // 0 the first look, 1 the second
    } kRows[] = {
        {"push_default", &push, {10, 10, 100, 40}, [&](i32 v) { push.SetDefault(v); }},
        {"push_pressed", &push, {10, 10, 100, 40}, [&](i32 v) { push.Highlight(v); }},
        {"check", &check, {10, 50, 40, 72}, [&](i32 v) { check.SetState(u8(v)); }},
        {"radio", &radio, {50, 50, 80, 72}, [&](i32 v) { radio.SetState(u8(v)); }},
        {"state", &state, {110, 10, 170, 40}, [&](i32 v) { state.SetState(u32(v)); }},
        {"popup", &popup, {10, 80, 160, 108}, [&](i32 v) { popup.Select(v); }},
        {"scroll", &bar, {370, 10, 386, 210}, [&](i32 v) { bar.SetRange(v * 100, 0, 100, 20); }},
        {"slider", &slider, {10, 120, 210, 142}, [&](i32 v) { slider.SetValue(v * 100); }},
        {"progress", &progress, {10, 150, 210, 166}, [&](i32 v) { progress.SetValue(v * 50); }},
    };
    for (const auto& r : kRows) {
        r.pane->SetBounds(r.at);
        r.set(0);
        const QImage off = Shot(r.pane, std::string(r.name) + "_0");
        r.set(1);
        const QImage on = Shot(r.pane, std::string(r.name) + "_1");
        EXPECT_GT(Differing(off, on), 3) << r.name;
        r.pane->SetState(LPane::kOpDisable);
        EXPECT_GT(Differing(on, Shot(r.pane, std::string(r.name) + "_1_disabled")), 3) << r.name;
        r.pane->SetState(LPane::kOpEnable);
        r.set(0);
        EXPECT_LT(Differing(Stamp(r.pane, off.size()), off), off.width() * off.height() / 50)
            << r.name;
    }
}

}  // namespace
