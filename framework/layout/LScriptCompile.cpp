// The compiler of the compiled layout dialect: lexer, grammar, code generation
// with depth tracking and the peephole rules.
#include <cstdlib>
#include <cstring>

#include "framework/layout/LScriptVM.h"

namespace {

// Token codes beyond the single characters.
enum : u32 {
    kTokEnd = 0,
    kTokName = 1,
    kTokNumber = 2,
    kTokArgCount = 3,
    kTokNe = '!' + 128,
    kTokLe = '<' + 128,
    kTokEq = '=' + 128,
    kTokGe = '>' + 128,
    kTokMulAssign = '*' + 128,
    kTokAddAssign = '+' + 128,
    kTokSubAssign = '-' + 128,
    kTokDivAssign = '/' + 128,
    kTokInc = '+' + 160,
    kTokDec = '-' + 160,
};

bool IsLetter(u8 c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(u8 c) {
    return c >= '0' && c <= '9';
}
bool IsSpace(u8 c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsOwnCode(u8 c) {
    return std::strchr("!#$&()*+,-./:;<=>?[]^@|", c) != nullptr && c != 0;
}

struct Effect {
    u32 pop;
    u32 push;
};

// Stack cells an instruction takes and leaves.
Effect EffectOf(const LScriptInstr& in) {
    using O = LScriptOp;
    const bool ind = in.space == LScriptSpace::Indirect;
    switch (in.op) {
        case O::Ref:
        case O::Load:
            return ind ? Effect{2, 1} : Effect{0, 1};
        case O::Store:
        case O::AddStore:
        case O::SubStore:
        case O::MulStore:
        case O::DivStore:
            return ind ? Effect{3, 1} : Effect{1, 1};
        case O::PreInc:
        case O::PostInc:
            return ind ? Effect{2, 1} : Effect{0, 1};
        case O::PopStore:
        case O::PopAddStore:
        case O::PopSubStore:
        case O::PopMulStore:
        case O::PopDivStore:
            return ind ? Effect{3, 0} : Effect{1, 0};
        case O::Inc:
            return ind ? Effect{2, 0} : Effect{0, 0};
        case O::AddVar:
        case O::SubVar:
        case O::MulVar:
        case O::DivVar:
            return ind ? Effect{3, 1} : Effect{1, 1};
        case O::PushConst:
        case O::ArgCount:
            return {0, 1};
        case O::Add:
        case O::Sub:
        case O::Mul:
        case O::Div:
        case O::Eq:
        case O::Ne:
        case O::Lt:
        case O::Gt:
        case O::Le:
        case O::Ge:
            return {2, 1};
        case O::Not:
        case O::Neg:
        case O::Arg:
            return {1, 1};
        case O::Pop:
        case O::JumpIfFalse:
            return {1, 0};
        case O::Call:
            return {u32(in.immediate), 1};
        case O::Builtin:
            return {u32(in.operand), 1};
        default:
            return {0, 0};
    }
}

bool IsVarOp(LScriptOp op) {
    return op == LScriptOp::Ref || op == LScriptOp::Load;
}

}  // namespace

const char* ScriptErrorName(u32 code) {
    static const char* const kNames[] = {"",         "Memory",   "Stack",   "EOF",
                                         "Prim",     "Close",    "ArgList", "NumArgs",
                                         "NoMethod", "NoLvalue", "Member",  "Nesting"};
    return code < sizeof kNames / sizeof kNames[0] ? kNames[code] : "";
}

// ---- Code buffers and tables ----

LScriptCode::~LScriptCode() {
    std::free(fData);
}

bool LScriptCode::Append(const LScriptInstr& instr) {
    if (fCount == fCapacity) {
        u32 want = (fCount + 1) * 2;
        void* p = std::realloc(fData, size_t(want) * sizeof(LScriptInstr));
        if (!p) {
            fFailed = true;
            return false;
        }
        fData = static_cast<LScriptInstr*>(p);
        fCapacity = want;
    }
    fData[fCount++] = instr;
    return true;
}

size_t LScriptSymbols::LowerBound(const char* name) const {
    size_t lo = 0, hi = fEntries.size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (std::strcmp(fEntries[mid].name.CStr(), name) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

bool LScriptSymbols::Add(const char* name, u32 index) {
    size_t at = LowerBound(name);
    if (at < fEntries.size() && std::strcmp(fEntries[at].name.CStr(), name) == 0) return false;
    fEntries.insert(fEntries.begin() + ptrdiff_t(at), Entry{LString(name), index});
    return true;
}

i64 LScriptSymbols::Find(const char* name) const {
    size_t at = LowerBound(name);
    if (at < fEntries.size() && std::strcmp(fEntries[at].name.CStr(), name) == 0)
        return fEntries[at].index;
    return -1;
}

LScriptProgram::~LScriptProgram() {
    Clear();
}

void LScriptProgram::Clear() {
    for (LScriptFunc* f : fFuncs) delete f;
    fFuncs.clear();
    fGlobals.Clear();
    fMembers.Clear();
}

// ---- Lexer ----

bool LScriptVM::Get(u8* c) {
    return fInput->GetChar(c);
}

void LScriptVM::Unget() {
    fInput->UnGetChar();
}

void LScriptVM::LexNumber(u8 first) {
    u32 value = 0;
    bool inDigits = first != '.';
    bool seenDot = first == '.';
    if (inDigits) value = u32(first - '0');
    u8 c;
    while (Get(&c)) {
        if (IsDigit(c)) {
            // Only the digits before the point count.
            if (inDigits) value = value * 10 + u32(c - '0');
        } else if (c == '.' && !seenDot) {
            seenDot = true;
            inDigits = false;
        } else {
            Unget();
            break;
        }
    }
    fNumber = i32(value);
    fToken = kTokNumber;
}

void LScriptVM::LexString() {
    u8 c;
    for (;;) {
        bool closed = false;
        while (Get(&c)) {
            if (c == '"') {
                closed = true;
                break;
            }
            if (c == '\\') {
                if (!Get(&c)) break;
                if (c == 't')
                    c = '\t';
                else if (c == 'n')
                    c = '\n';
            }
            fText.PutChar(char(c));
        }
        if (!closed) break;
        // Adjacent quoted parts continue the same literal.
        bool more = false;
        while (Get(&c)) {
            if (IsSpace(c)) continue;
            if (c == '"')
                more = true;
            else
                Unget();
            break;
        }
        if (!more) break;
    }
    fToken = StringTokenCode();
}

void LScriptVM::NextToken() {
    fText.Clear();
    if (fError) {
        // The code of a failed compile is never used: wind down at once.
        fToken = kTokEnd;
        return;
    }
    u8 c;
    for (;;) {
        if (!Get(&c)) {
            fToken = kTokEnd;
            return;
        }
        if (IsLetter(c)) {
            fText.PutChar(char(c));
            while (Get(&c)) {
                if (!IsLetter(c) && !IsDigit(c)) {
                    Unget();
                    break;
                }
                fText.PutChar(char(c));
            }
            fToken = kTokName;
            return;
        }
        if (IsDigit(c)) {
            LexNumber(c);
            return;
        }
        if (c == '"') {
            LexString();
            return;
        }
        if (c == '.') {
            u8 d;
            if (Get(&d)) {
                if (IsDigit(d)) {
                    LexNumber('.');
                    return;
                }
                Unget();
            }
            fToken = '.';
            return;
        }
        if (c == '/') {
            u8 d;
            if (Get(&d)) {
                if (d == '*') {
                    // After a star the next byte is taken whatever it is; only a slash ends.
                    while (Get(&d)) {
                        if (d == '*') {
                            if (!Get(&d) || d == '/') break;
                        }
                    }
                    continue;
                }
                if (d == '/') {
                    while (Get(&d) && d != '\r' && d != '\n') {
                    }
                    continue;
                }
                if (d == '=') {
                    fToken = kTokDivAssign;
                    return;
                }
                Unget();
            }
            fToken = '/';
            return;
        }
        if (c == '$') {
            u8 d;
            if (Get(&d)) {
                if (d == '#') {
                    fToken = kTokArgCount;
                    return;
                }
                Unget();
            }
            fToken = '$';
            return;
        }
        if (c == '!' || c == '<' || c == '=' || c == '>' || c == '*' || c == '+' || c == '-') {
            u8 d;
            if (Get(&d)) {
                if (d == '=') {
                    fToken = u32(c) + 128;
                    return;
                }
                if ((c == '+' || c == '-') && d == c) {
                    fToken = u32(c) + 160;
                    return;
                }
                Unget();
            }
            fToken = c;
            return;
        }
        if (IsOwnCode(c)) {
            fToken = c;
            return;
        }
        // Everything else is skipped.
    }
}

// ---- Code generation ----

void LScriptVM::SetError(u32 code) {
    if (fError) return;
    fError = code;
    if (fInput) fInput->SetError(ScriptErrorName(code));
}

void LScriptVM::Track(const LScriptInstr& in, bool add) {
    Effect e = EffectOf(in);
    if (add) {
        if (fDepth < e.pop) {
            SetError(kScriptErrStack);
            fDepth = 0;
        } else {
            fDepth -= e.pop;
        }
        fDepth += e.push;
        if (fDepth > fMaxDepth) fMaxDepth = fDepth;
    } else {
        // Undo: the max stays, which only over-sizes the stack.
        fDepth = fDepth - e.push + e.pop;
    }
}

void LScriptVM::Emit(LScriptOp op, LScriptSpace space, i32 imm, i32 operand, LScriptFunc* func,
                     u16 builtin) {
    LScriptInstr in;
    in.op = op;
    in.space = space;
    in.immediate = imm;
    in.operand = operand;
    in.func = func;
    in.builtin = builtin;
    if (op == LScriptOp::Call && func) {
        // The callee runs above the cells the caller already uses.
        u32 need = fDepth + func->maxDepth;
        if (need > fMaxDepth) fMaxDepth = need;
    }
    Track(in, true);
    if (!fCode->Append(in)) SetError(kScriptErrMemory);
}

void LScriptVM::RemoveLast() {
    LScriptInstr* last = fCode->Last();
    if (!last) return;
    Track(*last, false);
    fCode->RemoveLast();
}

void LScriptVM::ReplaceLast(LScriptOp op) {
    LScriptInstr* last = fCode->Last();
    if (!last) return;
    Track(*last, false);
    last->op = op;
    Track(*last, true);
}

bool LScriptVM::LastIsVarRef(bool allowIndirect) const {
    const LScriptInstr* last = fCode->Last();
    if (!last || !IsVarOp(last->op)) return false;
    return allowIndirect || last->space != LScriptSpace::Indirect;
}

void LScriptVM::Discard() {
    LScriptInstr* last = fCode->Last();
    if (!last) {
        Emit(LScriptOp::Pop);
        return;
    }
    using O = LScriptOp;
    const bool plain = last->space == LScriptSpace::Global || last->space == LScriptSpace::Local;
    if ((IsVarOp(last->op) && plain) || last->op == O::PushConst) {
        RemoveLast();
        return;
    }
    switch (last->op) {
        case O::Store:
            ReplaceLast(O::PopStore);
            return;
        case O::AddStore:
            ReplaceLast(O::PopAddStore);
            return;
        case O::SubStore:
            ReplaceLast(O::PopSubStore);
            return;
        case O::MulStore:
            ReplaceLast(O::PopMulStore);
            return;
        case O::DivStore:
            ReplaceLast(O::PopDivStore);
            return;
        case O::PreInc:
        case O::PostInc:
            ReplaceLast(O::Inc);
            return;
        default:
            Emit(O::Pop);
            return;
    }
}

void LScriptVM::PatchJump(u32 at) {
    if (at < fCode->Count()) fCode->At(at)->operand = i32(fCode->Count() - at);
}

bool LScriptVM::Enter() {
    if (++fNesting > kMaxNesting) {
        SetError(kScriptErrNesting);
        return false;
    }
    return true;
}

// Level 1: expressions each followed by one token, whatever it is.
void LScriptVM::CompileStatements() {
    while (fToken != kTokEnd) {
        CompileAssignment();
        Discard();
        NextToken();
    }
}

// Level 2.
void LScriptVM::CompileAssignment() {
    if (!Enter()) {
        Leave();
        return;
    }
    CompileConditional();
    LScriptOp store;
    switch (fToken) {
        case '=':
            store = LScriptOp::Store;
            break;
        case kTokAddAssign:
            store = LScriptOp::AddStore;
            break;
        case kTokSubAssign:
            store = LScriptOp::SubStore;
            break;
        case kTokMulAssign:
            store = LScriptOp::MulStore;
            break;
        case kTokDivAssign:
            store = LScriptOp::DivStore;
            break;
        default:
            Leave();
            return;
    }
    if (!LastIsVarRef(true)) {
        SetError(kScriptErrNoLvalue);
        Leave();
        return;
    }
    LScriptInstr target = *fCode->Last();
    RemoveLast();
    NextToken();
    CompileAssignment();
    Emit(store, target.space, 0, target.operand);
    Leave();
}

// Level 3.
void LScriptVM::CompileConditional() {
    CompileOr();
    if (fToken != '?') return;
    NextToken();
    const u32 depth = fDepth - (fDepth ? 1 : 0);
    u32 jElse = Here();
    Emit(LScriptOp::JumpIfFalse);
    CompileAssignment();
    u32 jEnd = Here();
    Emit(LScriptOp::Jump);
    fDepth = depth;
    PatchJump(jElse);
    if (fToken == ':') {
        NextToken();
        if (Enter()) CompileConditional();
        Leave();
    } else {
        Emit(LScriptOp::PushConst, LScriptSpace::None, 0);
    }
    PatchJump(jEnd);
    Emit(LScriptOp::Nop);
}

// Level 4: a non-zero left side gives 1, else the right side's value.
void LScriptVM::CompileOr() {
    CompileAnd();
    if (fToken != '|') return;
    NextToken();
    const u32 depth = fDepth - (fDepth ? 1 : 0);
    u32 jB = Here();
    Emit(LScriptOp::JumpIfFalse);
    Emit(LScriptOp::PushConst, LScriptSpace::None, 1);
    u32 jEnd = Here();
    Emit(LScriptOp::Jump);
    fDepth = depth;
    PatchJump(jB);
    if (Enter()) CompileOr();
    Leave();
    PatchJump(jEnd);
    Emit(LScriptOp::Nop);
}

// Level 5: a zero left side gives 0, else the right side's value.
void LScriptVM::CompileAnd() {
    CompileEquality();
    if (fToken != '&') return;
    NextToken();
    const u32 depth = fDepth - (fDepth ? 1 : 0);
    u32 jZero = Here();
    Emit(LScriptOp::JumpIfFalse);
    if (Enter()) CompileAnd();
    Leave();
    u32 jEnd = Here();
    Emit(LScriptOp::Jump);
    fDepth = depth;
    PatchJump(jZero);
    Emit(LScriptOp::PushConst, LScriptSpace::None, 0);
    PatchJump(jEnd);
    Emit(LScriptOp::Nop);
}

// Level 6.
void LScriptVM::CompileEquality() {
    CompileRelational();
    for (;;) {
        LScriptOp op;
        if (fToken == kTokEq)
            op = LScriptOp::Eq;
        else if (fToken == kTokNe || fToken == '^')
            op = LScriptOp::Ne;
        else
            return;
        NextToken();
        CompileRelational();
        Emit(op);
    }
}

// Level 7.
void LScriptVM::CompileRelational() {
    CompileAdditive();
    for (;;) {
        LScriptOp op;
        if (fToken == '<')
            op = LScriptOp::Lt;
        else if (fToken == '>')
            op = LScriptOp::Gt;
        else if (fToken == kTokLe)
            op = LScriptOp::Le;
        else if (fToken == kTokGe)
            op = LScriptOp::Ge;
        else
            return;
        NextToken();
        CompileAdditive();
        Emit(op);
    }
}

// The right operand is compiled; a variable there becomes the variable-operand form.
void LScriptVM::CompileBinaryTail(LScriptOp op, LScriptOp varOp) {
    LScriptInstr* last = fCode->Last();
    if (last && last->op == LScriptOp::Ref) {
        ReplaceLast(varOp);
    } else {
        Emit(op);
    }
}

// Level 8.
void LScriptVM::CompileAdditive() {
    CompileMultiplicative();
    for (;;) {
        if (fToken == '+') {
            NextToken();
            CompileMultiplicative();
            CompileBinaryTail(LScriptOp::Add, LScriptOp::AddVar);
        } else if (fToken == '-') {
            NextToken();
            CompileMultiplicative();
            CompileBinaryTail(LScriptOp::Sub, LScriptOp::SubVar);
        } else {
            return;
        }
    }
}

// Level 9.
void LScriptVM::CompileMultiplicative() {
    CompilePrefix();
    for (;;) {
        if (fToken == '*') {
            NextToken();
            CompilePrefix();
            CompileBinaryTail(LScriptOp::Mul, LScriptOp::MulVar);
        } else if (fToken == '/') {
            NextToken();
            CompilePrefix();
            CompileBinaryTail(LScriptOp::Div, LScriptOp::DivVar);
        } else {
            return;
        }
    }
}

// Level 10.
void LScriptVM::CompilePrefix() {
    if (!Enter()) {
        Leave();
        return;
    }
    switch (fToken) {
        case '+':
            NextToken();
            CompilePrefix();
            break;
        case '!':
            NextToken();
            CompilePrefix();
            Emit(LScriptOp::Not);
            break;
        case '-': {
            NextToken();
            if (fToken == '-') {
                // Two minus signs cancel.
                NextToken();
                CompilePrefix();
                break;
            }
            CompilePrefix();
            LScriptInstr* last = fCode->Last();
            if (last && last->op == LScriptOp::PushConst) {
                last->immediate = i32(0u - u32(last->immediate));
            } else {
                Emit(LScriptOp::Neg);
            }
            break;
        }
        case kTokInc:
        case kTokDec: {
            const i32 step = fToken == kTokInc ? 1 : -1;
            NextToken();
            CompilePrefix();
            if (!LastIsVarRef(true)) {
                SetError(kScriptErrNoLvalue);
                break;
            }
            LScriptInstr* last = fCode->Last();
            last->immediate = step;
            ReplaceLast(LScriptOp::PreInc);
            break;
        }
        default:
            CompilePostfix();
            break;
    }
    Leave();
}

// Level 11.
void LScriptVM::CompilePostfix() {
    CompilePrimary();
    for (;;) {
        if (fToken == kTokInc || fToken == kTokDec) {
            const i32 step = fToken == kTokInc ? 1 : -1;
            if (!LastIsVarRef(true)) {
                SetError(kScriptErrNoLvalue);
                return;
            }
            fCode->Last()->immediate = step;
            ReplaceLast(LScriptOp::PostInc);
            NextToken();
        } else if (fToken == '.' || fToken == '[') {
            const bool member = fToken == '.';
            if (!LastIsVarRef(true)) {
                SetError(kScriptErrNoLvalue);
                return;
            }
            ReplaceLast(LScriptOp::Load);
            NextToken();
            if (member) {
                if (fToken != kTokName) {
                    SetError(kScriptErrMember);
                    return;
                }
                LScriptSymbols& members = fProgram->fMembers;
                i64 index = members.Find(fText.CStr());
                if (index < 0) {
                    index = members.Count();
                    members.Add(fText.CStr(), u32(index));
                }
                Emit(LScriptOp::PushConst, LScriptSpace::None, i32(index));
                NextToken();
            } else {
                CompileAssignment();
                if (fToken != ']') {
                    SetError(kScriptErrClose);
                    return;
                }
                NextToken();
            }
            Emit(LScriptOp::Ref, LScriptSpace::Indirect);
        } else {
            return;
        }
    }
}

// Level 12.
void LScriptVM::CompilePrimary() {
    if (!Enter()) {
        Leave();
        return;
    }
    switch (fToken) {
        case kTokNumber:
            Emit(LScriptOp::PushConst, LScriptSpace::None, fNumber);
            NextToken();
            break;
        case kTokName:
            CompileName();
            break;
        case kTokArgCount:
            Emit(LScriptOp::ArgCount);
            NextToken();
            break;
        case '$':
            NextToken();
            CompilePrimary();
            Emit(LScriptOp::Arg);
            break;
        case '(':
            CompileSequence();
            break;
        case '@':
            CompileLoop();
            break;
        default:
            SetError(kScriptErrPrim);
            break;
    }
    Leave();
}

void LScriptVM::CompileName() {
    LString name = fText.ToString();
    NextToken();
    if (fToken == '(') {
        CompileCall(name);
    } else if (fToken == '#') {
        NextToken();
        CompileDefinition(name);
    } else {
        CompileVariable(name);
    }
}

void LScriptVM::CompileVariable(const LString& name) {
    LScriptSymbols& globals = fProgram->fGlobals;
    i64 g = globals.Find(name.CStr());
    if (g >= 0) {
        Emit(LScriptOp::Ref, LScriptSpace::Global, 0, i32(g));
        return;
    }
    // At top level a new name is a global; inside a body, a local of that function.
    const bool topLevel = fScope == &globals;
    i64 index = fScope->Find(name.CStr());
    if (index < 0) {
        index = fScopeCount++;
        fScope->Add(name.CStr(), u32(index));
    }
    Emit(LScriptOp::Ref, topLevel ? LScriptSpace::Global : LScriptSpace::Local, 0, i32(index));
}

void LScriptVM::CompileCall(const LString& name) {
    // fToken is "(".
    NextToken();
    u32 n = 0;
    if (fToken == ')') {
        NextToken();
    } else {
        for (;;) {
            CompileAssignment();
            ++n;
            if (fToken == ',') {
                NextToken();
                continue;
            }
            if (fToken == ')') {
                NextToken();
                break;
            }
            SetError(fToken == kTokEnd ? kScriptErrEOF : kScriptErrArgList);
            return;
        }
    }
    const std::vector<LScriptFunc*>& funcs = fProgram->fFuncs;
    for (size_t i = funcs.size(); i-- > 0;) {
        if (funcs[i]->name == name) {
            Emit(LScriptOp::Call, LScriptSpace::None, i32(n), 0, funcs[i]);
            return;
        }
    }
    for (const Builtin& b : fBuiltins) {
        if (StrEqual(b.name, name.CStr())) {
            if (n < b.minArgs || n > b.maxArgs) {
                SetError(kScriptErrNumArgs);
                return;
            }
            Emit(LScriptOp::Builtin, LScriptSpace::None, 0, i32(n), nullptr, u16(b.id));
            return;
        }
    }
    SetError(kScriptErrNoMethod);
}

void LScriptVM::CompileDefinition(const LString& name) {
    LScriptFunc* f = new LScriptFunc;
    f->name = name;
    // Compile the body with its own scope, then go back to the enclosing one.
    LScriptCode* savedCode = fCode;
    LScriptSymbols* savedScope = fScope;
    const u32 savedCount = fScopeCount, savedDepth = fDepth, savedMax = fMaxDepth;
    LScriptSymbols locals;
    fCode = &f->code;
    fScope = &locals;
    fScopeCount = 0;
    fDepth = 0;
    fMaxDepth = 0;
    CompileAssignment();
    Emit(LScriptOp::End);
    f->maxDepth = fMaxDepth;
    f->localCount = fScopeCount;
    if (f->code.Failed()) SetError(kScriptErrMemory);
    fCode = savedCode;
    fScope = savedScope;
    fScopeCount = savedCount;
    fDepth = savedDepth;
    fMaxDepth = savedMax;
    fProgram->fFuncs.push_back(f);
    Emit(LScriptOp::PushConst, LScriptSpace::None, 0);
}

// "(" expressions separated by ";" ")": the last one's value; () and a trailing ";" give 0.
void LScriptVM::CompileSequence() {
    NextToken();
    if (fToken == ')') {
        Emit(LScriptOp::PushConst, LScriptSpace::None, 0);
        NextToken();
        return;
    }
    for (;;) {
        CompileAssignment();
        if (fToken == ';') {
            NextToken();
            Discard();
            if (fToken == ')') {
                Emit(LScriptOp::PushConst, LScriptSpace::None, 0);
                NextToken();
                return;
            }
            continue;
        }
        if (fToken == ')') {
            NextToken();
            return;
        }
        SetError(fToken == kTokEnd ? kScriptErrEOF : kScriptErrClose);
        return;
    }
}

// "@" cond body: the body runs while cond is non-zero; the value is 0.
void LScriptVM::CompileLoop() {
    NextToken();
    const u32 top = Here();
    CompileAssignment();
    const u32 jEnd = Here();
    Emit(LScriptOp::JumpIfFalse);
    CompileAssignment();
    Discard();
    Emit(LScriptOp::Jump, LScriptSpace::None, 0, i32(top) - i32(Here()));
    PatchJump(jEnd);
    Emit(LScriptOp::PushConst, LScriptSpace::None, 0);
}

// ---- Whole programs ----

void LScriptVM::AddBuiltin(const char* name, u32 id, u8 minArgs, u8 maxArgs) {
    fBuiltins.push_back(Builtin{name, id, minArgs, maxArgs});
}

void LScriptVM::RegisterBuiltins() {
    AddBuiltin("min", kBiMin, 1, 255);
    AddBuiltin("max", kBiMax, 1, 255);
    AddBuiltin("abs", kBiAbs, 1, 1);
    AddBuiltin("arraylength", kBiArrayLength, 1, 1);
}

bool LScriptVM::Compile(LScriptInput& input) {
    if (!fProgram) fProgram.Reset(new LScriptProgram);
    fProgram->Clear();
    fError = 0;
    fErrorName = LString();
    fErrorLine = fErrorColumn = 0;
    fErrorReport = LString();
    fInput = &input;
    fNesting = 0;

    LScriptFunc* top = new LScriptFunc;
    fCode = &top->code;
    fScope = &fProgram->fGlobals;
    fScopeCount = 0;
    fDepth = fMaxDepth = 0;
    fBuiltins.clear();
    RegisterBuiltins();
    NextToken();
    CompileStatements();
    Emit(LScriptOp::End);
    top->maxDepth = fMaxDepth;
    top->localCount = 0;
    if (top->code.Failed()) SetError(kScriptErrMemory);
    fBuiltins.clear();
    AfterCompile();

    const u32 globals = fProgram->fGlobals.Count();
    std::free(fGlobals);
    fGlobals = static_cast<i32*>(std::calloc(globals ? globals : 1, sizeof(i32)));
    fGlobalCount = fGlobals ? globals : 0;
    if (!fGlobals) SetError(kScriptErrMemory);
    const u32 cells = fMaxDepth + 1;
    if (cells > fStackSize) {
        void* p = std::realloc(fStack, size_t(cells) * sizeof(i32));
        if (p) {
            fStack = static_cast<i32*>(p);
            fStackSize = cells;
        } else {
            SetError(kScriptErrMemory);
        }
    }
    fProgram->fFuncs.push_back(top);

    if (input.HasError()) {
        fErrorName = input.ErrorName();
        fErrorLine = input.ErrorLine();
        fErrorColumn = input.ErrorColumn();
        LTextStream report;
        input.ReportError(report);
        fErrorReport = report.ToString();
    }
    fInput = nullptr;
    fCode = nullptr;
    fScope = nullptr;
    return fError == 0;
}

bool LScriptVM::CompileText(LCharReader& reader) {
    LScriptInput input(reader);
    return Compile(input);
}
