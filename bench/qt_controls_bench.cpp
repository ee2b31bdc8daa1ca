// Stamped controls: a page of 30 rows, each with a check box and a pop-up
// painted from one widget per column (as a cell list stamps them), onto an
// offscreen image. A frame has 16 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include "bench/QtBenchStage.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "services/WindowKinds.h"
#include "platform/qt/QtPainterGraphics.h"

namespace {

// One widget per column, made once (the benchmark runs the function several
// times) and kept to the end.
struct Columns {
    Columns() {
        benchkit::TheStage();
        frame = new LFrame(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
        check = new LStdCheck(frame);
        popup = new LPopupList(frame);
        for (const char* item : {"Ethernet", "Wireless", "Serial"}) popup->AddItem(item);
        check->Native()->Remove();
        popup->Native()->Remove();
    }
    LFrame* frame;
    LStdCheck* check;
    LPopupList* popup;
};

void StampedRows(benchmark::State& state) {
    static Columns* s = new Columns;
    constexpr int kRows = 30, kRowHeight = 24;
    QImage page(400, kRows * kRowHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        page.fill(Qt::white);
        QPainter painter(&page);
        QtPainterGraphics g(painter, QRegion(page.rect()));
        for (int row = 0; row < kRows; ++row) {
            const i32 top = row * kRowHeight;
            s->check->SetState(row % 2);
            s->check->Native()->DrawInto(&g, LRect(4, top + 2, 24, top + 22));
            s->popup->Select(row % 3);
            s->popup->Native()->DrawInto(&g, LRect(40, top + 1, 200, top + 23));
        }
        painter.end();
        benchmark::DoNotOptimize(page.constBits());
    }
}
BENCHMARK(StampedRows)->Unit(benchmark::kMillisecond);

}  // namespace
