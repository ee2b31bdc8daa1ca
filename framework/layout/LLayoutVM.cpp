#include "framework/layout/LLayoutVM.h"

#include "framework/LPane.h"

LString GetStdLayoutItem(u32 n) {
    LResId id{0, kStdLayoutName};
    LStrListRes list(&id, nullptr, kLayoutResType);
    LString item;
    list.GetItem(&item, n);
    return item;
}

void AssembleLayoutScript(LTextSink& out, const LString& stdDefs, const LString& item0,
                          const LString& item1, const LString& item2) {
    out.Put(stdDefs);
    out.Put(item0);
    out.Put("PREF#(\n");
    out.Put(item1);
    out.Put(");\n");
    out.Put("LAYO#(\n");
    out.Put(item2);
    out.Put(");\n");
}

LLayoutVM::LLayoutVM(LList* children) {
    // Nothing compiled yet: every call fails.
    fError = kScriptErrEOF;
    fTarget.children = children;
}

void LLayoutVM::RegisterBuiltins() {
    LScriptVM::RegisterBuiltins();
    for (u32 id = 0; id < kLayoutBiCount; ++id) {
        const LLayoutBuiltinInfo& info = LayoutBuiltinInfo(id);
        AddBuiltin(info.name, kBiFirstDerived + id, info.minArgs, info.maxArgs);
    }
}

i32 LLayoutVM::RunBuiltin(u32 id, const i32* args, u32 n) {
    if (id < kBiFirstDerived) return LScriptVM::RunBuiltin(id, args, n);
    i32 full[5] = {0, 0, 0, 0, 0};
    for (u32 i = 0; i < n && i < 5; ++i) full[i] = args[i];
    return RunLayoutBuiltin(fTarget, id - kBiFirstDerived, full, n, false);
}

bool LLayoutVM::CompileLayout(const LString& item0, const LString& item1, const LString& item2) {
    LTextStream text;
    AssembleLayoutScript(text, GetStdLayoutItem(1), item0, item1, item2);
    LMemReader reader(text.CStr(), text.Length());
    if (!CompileText(reader)) return false;
    i32 ignored = 0;
    Call(nullptr, 0, nullptr, &ignored);
    return true;
}

bool LLayoutVM::Compile(const LStrListHolder& layout) {
    LString items[3];
    for (u32 i = 0; i < 3; ++i) LStrListRes::GetSharedItem(&items[i], layout, i);
    return CompileLayout(items[0], items[1], items[2]);
}

bool LLayoutVM::RunPref(LDrawCtx* ctx) {
    fTarget.ctx = ctx;
    i32 ignored = 0;
    return Call("PREF", 0, nullptr, &ignored);
}

bool LLayoutVM::RunLayout(LDrawCtx* ctx) {
    fTarget.ctx = ctx;
    i32 ignored = 0;
    return Call("LAYO", 0, nullptr, &ignored);
}
