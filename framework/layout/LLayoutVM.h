#pragma once
// The layout script machine a frame owns: the compiled dialect with the pane
// built-ins, assembled from the frame's 'TLYO' list and "STDLAYOUT".

#include "base/Resources.h"
#include "framework/layout/LLayoutBuiltins.h"
#include "framework/layout/LScriptVM.h"

inline constexpr u32 kLayoutResType = FourCC("TLYO");
inline constexpr const char* kStdLayoutName = "STDLAYOUT";

// Item n of "STDLAYOUT" from the default resource chain; empty when missing.
LString GetStdLayoutItem(u32 n);

// The compiled script of a layout: the standard item, item 0, then PREF and
// LAYO wrapped around items 1 and 2, joined without separators.
void AssembleLayoutScript(LTextSink& out, const LString& stdDefs, const LString& item0,
                          const LString& item1, const LString& item2);

class LLayoutVM : public LScriptVM {
public:
    explicit LLayoutVM(LList* children);

    using LScriptVM::Compile;
    // Assembles, compiles and runs the top level once; false on a compile error.
    bool Compile(const LStrListHolder& layout);
    bool CompileLayout(const LString& item0, const LString& item1, const LString& item2);

    bool RunPref(LDrawCtx* ctx);
    bool RunLayout(LDrawCtx* ctx);

    const LRect& ResultRect() const { return fTarget.result; }
    void SetResultRect(const LRect& r) { fTarget.result = r; }

protected:
    void RegisterBuiltins() override;
    i32 RunBuiltin(u32 id, const i32* args, u32 n) override;

private:
    LLayoutTarget fTarget;
};
