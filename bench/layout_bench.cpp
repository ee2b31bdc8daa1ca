// Layout scripts: compiling the grid layout (with "STDLAYOUT" in front) and
// running its preferred-size and placement passes over 50 children, and one
// direct-dialect pass of the message dialog's layout.
#include <benchmark/benchmark.h>

#include "base/Resources.h"
#include "framework/LPane.h"
#include "framework/layout/LExprEval.h"
#include "framework/layout/LLayoutVM.h"

namespace {

class BenchPane : public LPane {
public:
    BenchPane(i32 w, i32 h) : LPane(nullptr, nullptr), fW(w), fH(h) {}
    i32 GetPrefWidth(LDrawCtx*, i32 hint) override { return hint < 0 ? 7 : fW; }
    i32 GetPrefHeight(LDrawCtx*, i32 hint) override { return hint < 0 ? 0 : fH; }
    i32 fW, fH;
};

struct Fixture {
    LResFile app{AppResFileRef()};
    LList kids;
    LStrListHolder grid;
    LStrListHolder msg;
    explicit Fixture(int n) {
        SetDefaultResChain(&app);
        for (int i = 0; i < n; ++i) kids.PushBack(new BenchPane(20 + i % 7, 10 + i % 5));
        LResId gridId{0, "KVTESTGRID"};
        LStrListRes::Open(&grid, &gridId, nullptr, kLayoutResType);
        LResId msgId{0, "KVTESTMSG"};
        LStrListRes::Open(&msg, &msgId, nullptr, kLayoutResType);
    }
    ~Fixture() {
        while (LLink* l = kids.PopFront()) delete static_cast<LPane*>(l);
        SetDefaultResChain(nullptr);
    }
};

void BM_CompileGridLayout(benchmark::State& state) {
    Fixture f(50);
    for (auto _ : state) {
        LLayoutVM vm(&f.kids);
        benchmark::DoNotOptimize(vm.Compile(f.grid));
    }
}
BENCHMARK(BM_CompileGridLayout);

void BM_GridPrefPass(benchmark::State& state) {
    Fixture f(50);
    LLayoutVM vm(&f.kids);
    if (!vm.Compile(f.grid)) state.SkipWithError("the grid layout does not compile");
    vm.SetGlobal("nkids", 50);
    for (auto _ : state) benchmark::DoNotOptimize(vm.RunPref(nullptr));
}
BENCHMARK(BM_GridPrefPass);

void BM_GridLayoutPass(benchmark::State& state) {
    Fixture f(50);
    LLayoutVM vm(&f.kids);
    if (!vm.Compile(f.grid)) state.SkipWithError("the grid layout does not compile");
    vm.SetGlobal("nkids", 50);
    i32 shift = 0;
    for (auto _ : state) {
        // A different frame size each time, so that every pass really moves the children.
        vm.SetResultRect(LRect(0, 0, 400 + (shift ^= 1), 300));
        benchmark::DoNotOptimize(vm.RunLayout(nullptr));
    }
}
BENCHMARK(BM_GridLayoutPass);

void BM_DirectMessagePasses(benchmark::State& state) {
    Fixture f(4);
    LString items[3];
    for (u32 i = 0; i < 3; ++i) LStrListRes::GetSharedItem(&items[i], f.msg, i);
    for (auto _ : state) {
        LLayoutEval eval(nullptr, &f.kids);
        eval.Run(items[0]);
        eval.SetVar("nowrap", 0);
        eval.Run(items[1]);
        eval.Run(items[2]);
        benchmark::DoNotOptimize(eval.ResultRect());
    }
}
BENCHMARK(BM_DirectMessagePasses);

}  // namespace
