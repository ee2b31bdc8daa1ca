// The universe address window with 1,000 rows on the Qt platform (offscreen):
// opened and drawn, and a page scrolled and drawn again.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>

#include "editors/CKvsUvadList.h"
#include "editors/CUvadWin.h"
#include "bench/QtBenchStage.h"
#include "framework/LListNavi.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtWindows.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"
#include "records/Universes.h"

namespace {

constexpr u32 kRows = 1000;

struct Stage {
    Stage() {
        benchkit::TheStage();
        settings = new CRecordDoc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvst)));
        CRecord* table = settings->Root()->GetChild(DvstF::uvas);
        for (u32 i = 0; i < kRows; ++i) {
            InsertNewUvadRecord(table, nullptr, i);
            table->GetListItem(UvasF::uvas, i)->SetU32(nullptr, UvadF::univ, i * 4);
        }
    }
    static void Draw(LFrame* win) {
        QCoreApplication::processEvents();
        AsMWindow(win->GetNativeWindow())->grab();
    }
    CRecordDoc* settings;
};

Stage& TheStage() {
    static Stage* s = new Stage;
    return *s;
}

void OpenThousandRows(benchmark::State& state) {
    Stage& s = TheStage();
    for (auto _ : state) {
        CUvadWin* win = CUvadWin::New(gApp, nullptr, s.settings->Root(), 1201);
        win->Open();
        Stage::Draw(win);
        delete win;
    }
}
BENCHMARK(OpenThousandRows)->Unit(benchmark::kMillisecond);

void ScrollAPage(benchmark::State& state) {
    Stage& s = TheStage();
    CUvadWin* win = CUvadWin::New(gApp, nullptr, s.settings->Root(), 1201);
    win->Open();
    Stage::Draw(win);
    auto* navi = static_cast<LListNavi*>(win->List()->Parent());
    const i32 page = std::max(win->List()->GetVisibleRowsFull(), 1);
    i32 top = 0;
    for (auto _ : state) {
        top = top + page < i32(kRows) - page ? top + page : 0;
        navi->ScrollToRow(top);
        Stage::Draw(win);
    }
    delete win;
}
BENCHMARK(ScrollAPage)->Unit(benchmark::kMillisecond);

}  // namespace
