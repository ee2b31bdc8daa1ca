// A stamped cell list of 10,000 rows with three text panes per cell: drawing
// one page, and scrolling by a page and drawing it.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "framework/LCellListPane.h"
#include "framework/LTextPane.h"
#include "tools/testkit/BenchScreen.h"

namespace {

// Counts the native calls a page costs; draws nothing.
class NullGraphics : public LNativeGraphics {
public:
    void SaveState() override { ++fCalls; }
    void RestoreState() override { ++fCalls; }
    void SetBlendMode(LBlendMode) override { ++fCalls; }
    void ApplyPen(const LPen&) override { ++fCalls; }
    void Translate(i32, i32) override { ++fCalls; }
    void SetClipRects(const LRect*, u32) override { ++fCalls; }
    void FillRects(const CGRect*, u32) override { ++fCalls; }
    void SetLineWidth(f64) override {}
    void MoveTo(i32, i32) override {}
    void LineTo(i32, i32) override {}
    void FillPath() override {}
    void StrokePath() override {}
    void DrawTextFieldFrame(const LRect&, bool, bool) override {}
    u64 fCalls = 0;
};

class Row : public LListCell {
public:
    explicit Row(LPane* list) : LListCell(list) {
        for (i32 i = 0; i < 3; ++i) {
            fText[i] = new LTextPane(this);
            fText[i]->SetBounds(LRect(4 + i * 130, 2, 4 + i * 130 + 120, 18));
        }
    }
    i32 GetPrefWidth(LDrawCtx*, i32) override { return 400; }
    i32 GetPrefHeight(LDrawCtx*, i32) override { return 20; }
    LTextPane* fText[3];
};

class BigList : public LCellListPane {
public:
    explicit BigList(LPane* owner) : LCellListPane(owner, 3, false, false) {
        LPenRef white;
        MakePenByGray(&white, 4);
        SetBackground(white);
        InsertColumns(0, 1);
        InsertRows(0, 10000);
        SetBounds(LRect(0, 0, 400, 600));
        GetProtoCell();
    }
    LListCell* CreateCell() override { return new Row(this); }
    bool BindCell(LListCell* frame, LCell cell) override {
        Row* row = static_cast<Row*>(frame);
        char buf[32];
        static const char* const kWhat[] = {"Scene", "Cue", "Length"};
        for (i32 i = 0; i < 3; ++i) {
            std::snprintf(buf, sizeof buf, "%s %d", kWhat[i], cell.row * 3 + i);
            row->fText[i]->SetText(LString(buf));
        }
        return true;
    }
};

using benchkit::Screen;

void DrawPage(BigList& list, NullGraphics& g) {
    LDrawCtx ctx(&g);
    ctx.SetClipRgn(LRgn(list.Bounds()));
    list.Draw(ctx);
}

void BM_DrawPage(benchmark::State& state) {
    Screen screen;
    BigList list(&screen);
    NullGraphics g;
    list.SetScrollPos(LCell{0, 5000});
    for (auto _ : state) DrawPage(list, g);
    state.counters["calls/page"] =
        benchmark::Counter(double(g.fCalls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DrawPage)->Unit(benchmark::kMillisecond);

void BM_ScrollPage(benchmark::State& state) {
    Screen screen;
    BigList list(&screen);
    NullGraphics g;
    i32 first = 0;
    for (auto _ : state) {
        first = (first + list.GetVisibleRowsFull()) % (10000 - 30);
        list.SetScrollPos(LCell{0, first});
        DrawPage(list, g);
    }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMillisecond);

}  // namespace
