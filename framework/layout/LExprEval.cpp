#include "framework/layout/LExprEval.h"

#include <cstring>
#include <utility>

#include "framework/layout/LLayoutVM.h"

namespace {

enum : u32 { kTokEnd = 0, kTokName = 1, kTokNumber = 2, kTokText = '#' };

bool IsLetter(u8 c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(u8 c) {
    return c >= '0' && c <= '9';
}

i32 AddW(i32 a, i32 b) {
    return i32(u32(a) + u32(b));
}
i32 SubW(i32 a, i32 b) {
    return i32(u32(a) - u32(b));
}
i32 MulW(i32 a, i32 b) {
    return i32(u32(a) * u32(b));
}
// b is not 0 here; the most negative value divided by -1 stays itself.
i32 DivW(i32 a, i32 b) {
    return b == -1 ? SubW(0, a) : a / b;
}

struct StdCache {
    bool filled = false;
    std::vector<std::pair<LString, i32>> vars;       // list order
    std::vector<std::pair<LString, LString>> funcs;  // list order
};

StdCache& TheStdCache() {
    static StdCache cache;
    return cache;
}

}  // namespace

LExprEval::LExprEval() {
    AddBuiltin("sqrt", kBiSqrt);
    AddBuiltin("min", kBiMin);
    AddBuiltin("max", kBiMax);
}

LExprEval::~LExprEval() {
    fVars.DeleteAll();
    fFuncs.DeleteAll();
}

void LExprEval::AddBuiltin(const char* name, u32 id) {
    fBuiltins.push_back(Builtin{name, id});
}

i32 LExprEval::CallBuiltin(u32 id, const i32* args, u32 n) {
    switch (id) {
        case kBiSqrt:
            return LayoutSqrt(n ? args[0] : 0);
        case kBiMin:
        case kBiMax: {
            if (n == 0) return 0;
            i32 v = args[0];
            for (u32 i = 1; i < n; ++i) {
                if (id == kBiMin ? args[i] < v : args[i] > v) v = args[i];
            }
            return v;
        }
        default:
            return 0;
    }
}

bool LExprEval::Step() {
    return ++fSteps <= kMaxSteps;
}

void LExprEval::NextToken() {
    const char* s = fCur.text.CStr();
    const u32 len = fCur.text.Length();
    for (;;) {
        if (fAbort || fCur.pos >= len) {
            fToken = kTokEnd;
            return;
        }
        const u8 c = u8(s[fCur.pos++]);
        if (c == 0) {
            fCur.pos = len;
            continue;
        }
        if (IsLetter(c)) {
            const u32 start = fCur.pos - 1;
            while (fCur.pos < len && (IsLetter(u8(s[fCur.pos])) || IsDigit(u8(s[fCur.pos]))))
                ++fCur.pos;
            fText = LString(s + start, fCur.pos - start);
            fToken = kTokName;
            return;
        }
        if (IsDigit(c)) {
            u32 v = u32(c - '0');
            while (fCur.pos < len && IsDigit(u8(s[fCur.pos])))
                v = v * 10 + u32(s[fCur.pos++] - '0');
            fNumber = i32(v);
            fToken = kTokNumber;
            return;
        }
        if (c == '#') {
            const u32 start = fCur.pos;
            while (fCur.pos < len && s[fCur.pos] != '#') ++fCur.pos;
            fText = LString(s + start, fCur.pos - start);
            if (fCur.pos < len) ++fCur.pos;
            fToken = kTokText;
            return;
        }
        if (c == '\n' || c == '\r') {
            fToken = ';';
            return;
        }
        if (std::strchr("%()*+,-/;=", c)) {
            fToken = c;
            return;
        }
    }
}

i32 LExprEval::Program() {
    i32 v = 0;
    NextToken();
    while (fToken != kTokEnd) {
        v = Expression();
        NextToken();
    }
    return v;
}

i32 LExprEval::Expression() {
    i32 v = Term();
    while (fToken == '+' || fToken == '-') {
        const u32 op = fToken;
        NextToken();
        const i32 t = Term();
        v = op == '+' ? AddW(v, t) : SubW(v, t);
    }
    return v;
}

i32 LExprEval::Term() {
    i32 v = Factor();
    while (fToken == '*' || fToken == '/') {
        const u32 op = fToken;
        NextToken();
        const i32 f = Factor();
        if (op == '*') {
            v = MulW(v, f);
        } else {
            // A division by zero makes the whole term 0 and ends it.
            if (f == 0) return 0;
            v = DivW(v, f);
        }
    }
    return v;
}

i32 LExprEval::Factor() {
    if (++fNesting > kMaxNesting) {
        Abort();
        --fNesting;
        return 0;
    }
    i32 v = 0;
    switch (fToken) {
        case kTokName: {
            LString name = fText;
            NextToken();
            if (fToken == kTokText) {
                Func* f =
                    static_cast<Func*>(NameList::FindInFirst(fFuncs, name.CStr(), 0x7FFFFFFF));
                if (f)
                    f->body = fText;
                else
                    fFuncs.PushFront(new Func(name, fText));
                NextToken();
            } else if (fToken == '(') {
                v = CallNamed(name);
            } else if (fToken == '=') {
                NextToken();
                v = Expression();
                Assign(name, v);
            } else {
                v = Lookup(name.CStr());
            }
            break;
        }
        case kTokNumber:
            v = fNumber;
            NextToken();
            break;
        case '%':
            NextToken();
            if (fToken == kTokNumber) {
                v = Arg(fNumber);
                NextToken();
            } else if (fToken == kTokName) {
                LString name = fText;
                NextToken();
                v = fToken == '(' ? ArgLoop(name) : Arg(Lookup(name.CStr()));
            }
            break;
        case '(':
            NextToken();
            v = Sequence();
            break;
        case '-':
            NextToken();
            v = SubW(0, Factor());
            break;
        default:
            break;
    }
    --fNesting;
    return v;
}

// Expressions separated by single tokens up to ")"; the last one's value.
i32 LExprEval::Sequence() {
    i32 v = 0;
    while (fToken != ')' && fToken != kTokEnd) {
        v = Expression();
        if (fToken == ')' || fToken == kTokEnd) break;
        NextToken();
    }
    NextToken();
    return v;
}

i32 LExprEval::CallNamed(const LString& name) {
    // fToken is "(": an empty list passes one argument, 0.
    const u32 base = u32(fArgs.size());
    NextToken();
    for (;;) {
        fArgs.push_back(Expression());
        if (fToken != ',') break;
        NextToken();
    }
    const u32 n = u32(fArgs.size()) - base;
    i32 result = 0;
    if (fAbort) {
        // Stop at once.
    } else if (fFrames.size() >= kMaxCallDepth || !Step()) {
        Abort();
    } else {
        Func* f = static_cast<Func*>(NameList::FindInFirst(fFuncs, name.CStr(), 0x7FFFFFFF));
        const Builtin* b = nullptr;
        if (!f) {
            for (const Builtin& e : fBuiltins) {
                if (StrEqual(e.name, name.CStr())) {
                    b = &e;
                    break;
                }
            }
        }
        if (f) {
            fFrames.push_back(Frame{fScopeCount, fArgCount, fArgBase, fCur});
            fScopeCount = 0;
            fArgCount = n;
            fArgBase = base;
            fCur = Cursor{f->body, 0};
            result = Program();
            NameList::DropFirst(fVars, i32(fScopeCount));
            Frame& fr = fFrames.back();
            fScopeCount = fr.scopeCount;
            fArgCount = fr.argCount;
            fArgBase = fr.argBase;
            fCur = fr.cursor;
            fFrames.pop_back();
        } else if (b) {
            result = CallBuiltin(b->id, fArgs.data() + base, n);
        }
    }
    NextToken();
    fArgs.resize(base);
    return result;
}

// "%" name "(" body ")": the body runs once per argument index, counted in name.
i32 LExprEval::ArgLoop(const LString& name) {
    const u32 start = fCur.pos;
    for (;;) {
        NextToken();
        while (fToken != ')' && fToken != kTokEnd) {
            Expression();
            if (fToken == ')' || fToken == kTokEnd) break;
            NextToken();
        }
        const i32 next = AddW(Lookup(name.CStr()), 1);
        Assign(name, next);
        if (fAbort || next >= i32(fArgCount)) break;
        if (!Step()) {
            Abort();
            break;
        }
        fCur.pos = start;
    }
    NextToken();
    return 0;
}

i32 LExprEval::Lookup(const char* name) const {
    for (LLink* n = fVars.Head(); !n->IsEnd(); n = n->Next()) {
        const Var* v = static_cast<const Var*>(n);
        if (StrEqual(v->fName.CStr(), name)) return v->value;
    }
    return 0;
}

void LExprEval::Assign(const LString& name, i32 value) {
    Var* v = static_cast<Var*>(NameList::FindInFirst(fVars, name.CStr(), i32(fScopeCount)));
    if (v) {
        v->value = value;
        return;
    }
    fVars.PushFront(new Var(name, value));
    ++fScopeCount;
}

i32 LExprEval::Arg(i32 index) const {
    if (index < 0 || u32(index) >= fArgCount) return 0;
    return fArgs[fArgBase + u32(index)];
}

i32 LExprEval::Run(const LString& text) {
    const bool top = fFrames.empty();
    if (top) {
        fAbort = false;
        fSteps = 0;
        fNesting = 0;
    }
    Cursor saved = fCur;
    fCur = Cursor{text, 0};
    i32 v = Program();
    fCur = saved;
    return fAbort ? 0 : v;
}

i32 LExprEval::SetVar(const char* name, i32 value) {
    Assign(LString(name), value);
    return value;
}

// ---- Layout evaluator ----

LLayoutEval::LLayoutEval(LDrawCtx* ctx, LList* children) {
    fTarget.ctx = ctx;
    fTarget.children = children;
    for (u32 id = 0; id < kLayoutBiCount; ++id) {
        if (id == kLayoutBiSqrt) continue;
        AddBuiltin(LayoutBuiltinInfo(id).name, kBiFirstDerived + id);
    }
    StdCache& cache = TheStdCache();
    if (!cache.filled) {
        cache.filled = true;
        Run(GetStdLayoutItem(0));
        for (LLink* n = fVars.Head(); !n->IsEnd(); n = n->Next()) {
            const Var* v = static_cast<const Var*>(n);
            cache.vars.emplace_back(v->fName, v->value);
        }
        for (LLink* n = fFuncs.Head(); !n->IsEnd(); n = n->Next()) {
            const Func* f = static_cast<const Func*>(n);
            cache.funcs.emplace_back(f->fName, f->body);
        }
        return;
    }
    for (const auto& v : cache.vars) fVars.PushBack(new Var(v.first, v.second));
    for (const auto& f : cache.funcs) fFuncs.PushBack(new Func(f.first, f.second));
    fScopeCount = u32(cache.vars.size());
}

i32 LLayoutEval::CallBuiltin(u32 id, const i32* args, u32 n) {
    if (id < kBiFirstDerived) return LExprEval::CallBuiltin(id, args, n);
    i32 full[5] = {0, 0, 0, 0, 0};
    for (u32 i = 0; i < n && i < 5; ++i) full[i] = args[i];
    return RunLayoutBuiltin(fTarget, id - kBiFirstDerived, full, 5, true);
}
