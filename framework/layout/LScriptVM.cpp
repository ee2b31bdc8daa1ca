// The stack machine of the compiled layout dialect and its host calls.
#include "framework/layout/LScriptVM.h"

#include <cstdlib>

namespace {

inline i32 Wrap(u32 v) {
    return i32(v);
}
inline i32 AddW(i32 a, i32 b) {
    return Wrap(u32(a) + u32(b));
}
inline i32 SubW(i32 a, i32 b) {
    return Wrap(u32(a) - u32(b));
}
inline i32 MulW(i32 a, i32 b) {
    return Wrap(u32(a) * u32(b));
}

// a op b for the four store and variable-operand families.
inline i32 Arith(u32 kind, i32 a, i32 b) {
    switch (kind) {
        case 0:
            return AddW(a, b);
        case 1:
            return SubW(a, b);
        case 2:
            return MulW(a, b);
        default:
            return ScriptDiv(a, b);
    }
}

}  // namespace

LScriptVM::LScriptVM() = default;

LScriptVM::~LScriptVM() {
    std::free(fStack);
    std::free(fGlobals);
}

i32 LScriptVM::RunBuiltin(u32 id, const i32* args, u32 n) {
    switch (id) {
        case kBiMin: {
            i32 v = args[0];
            for (u32 i = 1; i < n; ++i) v = args[i] < v ? args[i] : v;
            return v;
        }
        case kBiMax: {
            i32 v = args[0];
            for (u32 i = 1; i < n; ++i) v = args[i] > v ? args[i] : v;
            return v;
        }
        case kBiAbs:
            return args[0] < 0 ? Wrap(0u - u32(args[0])) : args[0];
        default:
            return 0;
    }
}

bool LScriptVM::Call(const char* name, u32 n, const i32* args, i32* result) {
    if (fError || !fProgram || fProgram->fFuncs.empty()) return false;
    const std::vector<LScriptFunc*>& funcs = fProgram->fFuncs;
    LScriptFunc* f = nullptr;
    if (!name) {
        f = funcs.back();
    } else {
        for (size_t i = funcs.size() - 1; i-- > 0;) {
            if (funcs[i]->name == name) {
                f = funcs[i];
                break;
            }
        }
        if (!f && *name == 0) f = funcs.back();
    }
    if (!f) return false;

    const u64 cells = u64(f->maxDepth) + n + 1;
    if (cells > 0x10000000u) return false;
    if (cells > fStackSize) {
        void* p = std::realloc(fStack, size_t(cells) * sizeof(i32));
        if (!p) return false;
        fStack = static_cast<i32*>(p);
        fStackSize = u32(cells);
    }
    fSp = fStackSize;
    for (u32 i = 0; i < n; ++i) fStack[--fSp] = args[i];
    fSteps = 0;
    fCallDepth = 0;
    fRunFailed = false;
    fArgBase = fSp;
    fArgCount = 0;
    fLocalBase = 0;
    if (!Exec(f, n) || fRunFailed) return false;
    *result = fStack[fSp++];
    return true;
}

i32 LScriptVM::CallInt(const char* name, u32 n, const i32* args) {
    i32 v = 0;
    return Call(name, n, args, &v) ? v : 0;
}

void LScriptVM::SetGlobal(const char* name, i32 value) {
    if (!fProgram) return;
    i64 g = fProgram->fGlobals.Find(name);
    if (g >= 0 && u64(g) < fGlobalCount) fGlobals[g] = value;
}

bool LScriptVM::Exec(LScriptFunc* f, u32 n) {
    if (++fCallDepth > kMaxCallDepth || ++fSteps > kMaxSteps) {
        fRunFailed = true;
        return false;
    }
    const u32 savedBase = fArgBase, savedCount = fArgCount, savedLocals = fLocalBase;
    fArgBase = fSp;
    fArgCount = n;
    fLocalBase = u32(fLocalStack.size());
    fLocalStack.resize(fLocalBase + f->localCount, 0);

    i32* s = fStack;
    u32 sp = fSp;
    const LScriptInstr* code = f->code.Data();
    u32 pc = 0;
    bool ok = true;

    auto var = [&](const LScriptInstr& in) -> i32& {
        return in.space == LScriptSpace::Global ? fGlobals[in.operand]
                                                : fLocalStack[fLocalBase + u32(in.operand)];
    };

    for (;;) {
        const LScriptInstr& in = code[pc];
        const bool ind = in.space == LScriptSpace::Indirect;
        u32 next = pc + 1;
        switch (in.op) {
            case LScriptOp::End:
                goto done;
            case LScriptOp::Nop:
                break;
            case LScriptOp::PushConst:
                s[--sp] = in.immediate;
                break;
            case LScriptOp::Ref:
            case LScriptOp::Load:
                if (ind)
                    ++sp;
                else
                    s[--sp] = var(in);
                break;
            case LScriptOp::Store:
                if (ind) {
                    s[sp + 2] = s[sp];
                    sp += 2;
                } else {
                    var(in) = s[sp];
                }
                break;
            case LScriptOp::AddStore:
            case LScriptOp::SubStore:
            case LScriptOp::MulStore:
            case LScriptOp::DivStore: {
                const u32 kind = u32(in.op) - u32(LScriptOp::AddStore);
                if (ind) {
                    s[sp + 2] = Arith(kind, s[sp + 2], s[sp]);
                    sp += 2;
                } else {
                    i32& v = var(in);
                    v = Arith(kind, v, s[sp]);
                    s[sp] = v;
                }
                break;
            }
            case LScriptOp::PreInc:
            case LScriptOp::PostInc:
                if (ind) {
                    ++sp;
                    s[sp] = AddW(s[sp], in.immediate);
                } else {
                    i32& v = var(in);
                    if (in.op == LScriptOp::PreInc) {
                        v = AddW(v, in.immediate);
                        s[--sp] = v;
                    } else {
                        s[--sp] = v;
                        v = AddW(v, in.immediate);
                    }
                }
                break;
            case LScriptOp::PopStore:
                if (ind) {
                    s[sp + 2] = s[sp];
                    sp += 3;
                } else {
                    var(in) = s[sp++];
                }
                break;
            case LScriptOp::PopAddStore:
            case LScriptOp::PopSubStore:
            case LScriptOp::PopMulStore:
            case LScriptOp::PopDivStore: {
                const u32 kind = u32(in.op) - u32(LScriptOp::PopAddStore);
                if (ind) {
                    s[sp + 2] = Arith(kind, s[sp + 2], s[sp]);
                    sp += 3;
                } else {
                    i32& v = var(in);
                    v = Arith(kind, v, s[sp++]);
                }
                break;
            }
            case LScriptOp::Inc:
                if (ind) {
                    s[sp + 1] = AddW(s[sp + 1], in.immediate);
                    sp += 2;
                } else {
                    i32& v = var(in);
                    v = AddW(v, in.immediate);
                }
                break;
            case LScriptOp::AddVar:
            case LScriptOp::SubVar:
            case LScriptOp::MulVar:
            case LScriptOp::DivVar: {
                const u32 kind = u32(in.op) - u32(LScriptOp::AddVar);
                if (ind) {
                    s[sp + 2] = Arith(kind, s[sp + 2], s[sp + 1]);
                    sp += 2;
                } else {
                    s[sp] = Arith(kind, s[sp], var(in));
                }
                break;
            }
            case LScriptOp::Add:
            case LScriptOp::Sub:
            case LScriptOp::Mul:
            case LScriptOp::Div: {
                const i32 b = s[sp++];
                s[sp] = Arith(u32(in.op) - u32(LScriptOp::Add), s[sp], b);
                break;
            }
            case LScriptOp::Eq:
            case LScriptOp::Ne:
            case LScriptOp::Lt:
            case LScriptOp::Gt:
            case LScriptOp::Le:
            case LScriptOp::Ge: {
                const i32 b = s[sp++];
                const i32 a = s[sp];
                bool r;
                switch (in.op) {
                    case LScriptOp::Eq:
                        r = a == b;
                        break;
                    case LScriptOp::Ne:
                        r = a != b;
                        break;
                    case LScriptOp::Lt:
                        r = a < b;
                        break;
                    case LScriptOp::Gt:
                        r = a > b;
                        break;
                    case LScriptOp::Le:
                        r = a <= b;
                        break;
                    default:
                        r = a >= b;
                        break;
                }
                s[sp] = r ? 1 : 0;
                break;
            }
            case LScriptOp::Not:
                s[sp] = s[sp] == 0 ? 1 : 0;
                break;
            case LScriptOp::Neg:
                s[sp] = SubW(0, s[sp]);
                break;
            case LScriptOp::Pop:
                ++sp;
                break;
            case LScriptOp::Jump:
                if (in.operand <= 0 && ++fSteps > kMaxSteps) {
                    // An endless loop: give up on this call.
                    ok = false;
                    goto done;
                }
                next = u32(i32(pc) + in.operand);
                break;
            case LScriptOp::JumpIfFalse:
                if (s[sp++] == 0) next = u32(i32(pc) + in.operand);
                break;
            case LScriptOp::ArgCount:
                s[--sp] = i32(fArgCount);
                break;
            case LScriptOp::Arg: {
                const i32 i = s[sp];
                s[sp] = i >= 0 && u32(i) < fArgCount ? s[fArgBase + fArgCount - 1 - u32(i)] : 0;
                break;
            }
            case LScriptOp::Call: {
                fSp = sp;
                if (!Exec(in.func, u32(in.immediate))) {
                    ok = false;
                    goto done;
                }
                sp = fSp;
                break;
            }
            case LScriptOp::Builtin: {
                const u32 k = u32(in.operand);
                i32 args[256];
                for (u32 i = 0; i < k; ++i) args[i] = s[sp + k - 1 - i];
                fSp = sp;
                const i32 v = RunBuiltin(in.builtin, args, k);
                sp += k;
                s[--sp] = v;
                break;
            }
        }
        pc = next;
    }
done:
    if (!ok) {
        fRunFailed = true;
    } else {
        const i32 result = sp < fArgBase ? s[sp] : 0;
        sp = fArgBase + n - 1;
        s[sp] = result;
    }
    fSp = sp;
    fLocalStack.resize(fLocalBase);
    fArgBase = savedBase;
    fArgCount = savedCount;
    fLocalBase = savedLocals;
    --fCallDepth;
    return ok;
}
