// The layout language over arbitrary text: the compiler, the machine running
// every function it compiled, and the direct evaluator. Nothing may crash,
// overrun the machine's stack or run without end.
#include <string>

#include "base/Resources.h"
#include "framework/LPane.h"
#include "framework/layout/LExprEval.h"
#include "framework/layout/LLayoutVM.h"

namespace {

struct Kids {
    LList list;
    Kids() {
        for (int i = 0; i < 4; ++i) {
            LPane* p = new LPane(nullptr, nullptr);
            list.PushBack(p);
        }
    }
    ~Kids() {
        while (LLink* l = list.PopFront()) delete static_cast<LPane*>(l);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > 8192) return 0;
    static LResFile app(AppResFileRef());
    static Kids kids;
    SetDefaultResChain(&app);
    const std::string text(reinterpret_cast<const char*>(data), size);

    LLayoutVM vm(&kids.list);
    LMemReader reader(text.data(), u32(text.size()));
    if (vm.CompileText(reader)) {
        const i32 args[3] = {i32(size), -1, 2147483647};
        i32 out = 0;
        vm.Call(nullptr, 0, nullptr, &out);
        const LScriptProgram* program = vm.Program();
        const size_t n = program->fFuncs.size();
        // A few functions, so that a run stays short even when each one loops to the limit.
        for (size_t i = 0; i < n && i < 4; ++i) {
            vm.Call(program->fFuncs[n - 1 - i]->name.CStr(), u32(i % 4), args, &out);
        }
    } else if (vm.ErrorReport().IsEmpty()) {
        __builtin_trap();
    }
    // The same text as a layout's placement item.
    LLayoutVM layout(&kids.list);
    if (layout.CompileLayout("", "", LString(text.c_str()))) layout.RunLayout(nullptr);

    LLayoutEval eval(nullptr, &kids.list);
    eval.Run(LString(text.data(), u32(text.size())));
    return 0;
}
