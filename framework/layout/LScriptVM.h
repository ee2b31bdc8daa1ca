#pragma once
// The compiled layout dialect: a compiler from script text to the instructions
// of a small stack machine over 32-bit integers, and the machine that runs them.

#include <vector>

#include "base/CharReader.h"
#include "base/LRef.h"
#include "base/LString.h"
#include "base/LTextSink.h"
#include "framework/layout/LScriptInput.h"

// Compile errors: only the first one of a compile counts.
enum : u32 {
    kScriptErrMemory = 1,
    kScriptErrStack = 2,
    kScriptErrEOF = 3,
    kScriptErrPrim = 4,
    kScriptErrClose = 5,
    kScriptErrArgList = 6,
    kScriptErrNumArgs = 7,
    kScriptErrNoMethod = 8,
    kScriptErrNoLvalue = 9,
    kScriptErrMember = 10,
    // Nesting deep enough to exhaust the compiler's own stack.
    kScriptErrNesting = 11,
};
const char* ScriptErrorName(u32 code);

enum class LScriptOp : u8 {
    End,
    Nop,
    PushConst,
    Ref,
    Load,
    Store,
    AddStore,
    SubStore,
    MulStore,
    DivStore,
    PreInc,
    PopStore,
    PopAddStore,
    PopSubStore,
    PopMulStore,
    PopDivStore,
    Inc,
    PostInc,
    AddVar,
    SubVar,
    MulVar,
    DivVar,
    Add,
    Sub,
    Mul,
    Div,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Not,
    Neg,
    Pop,
    Jump,
    JumpIfFalse,
    Call,
    Arg,
    ArgCount,
    Builtin,
};

// Where a variable operation acts: the globals, the current call's locals, or stack cells.
enum class LScriptSpace : u8 { None, Global, Local, Indirect };

struct LScriptFunc;

struct LScriptInstr {
    LScriptOp op = LScriptOp::End;
    LScriptSpace space = LScriptSpace::None;
    u16 builtin = 0;              // Builtin: which one
    i32 immediate = 0;            // constant, increment, or argument count of Call
    i32 operand = 0;              // variable index, built-in argument count, or relative jump
    LScriptFunc* func = nullptr;  // Call
};

// A growable instruction buffer; a failed allocation sets the failure flag.
class LScriptCode {
public:
    LScriptCode() = default;
    ~LScriptCode();
    LScriptCode(const LScriptCode&) = delete;
    LScriptCode& operator=(const LScriptCode&) = delete;

    bool Append(const LScriptInstr& instr);
    void RemoveLast() {
        if (fCount) --fCount;
    }
    u32 Count() const { return fCount; }
    LScriptInstr* At(u32 i) { return fData + i; }
    LScriptInstr* Last() { return fCount ? fData + fCount - 1 : nullptr; }
    const LScriptInstr* Data() const { return fData; }
    bool Failed() const { return fFailed; }

private:
    LScriptInstr* fData = nullptr;
    u32 fCount = 0;
    u32 fCapacity = 0;
    bool fFailed = false;
};

struct LScriptFunc {
    LString name;  // empty for the top-level function
    LScriptCode code;
    u32 maxDepth = 0;
    u32 localCount = 0;
};

// Names sorted byte-wise, found by bisection.
class LScriptSymbols {
public:
    // False when the name is present (the table is unchanged).
    bool Add(const char* name, u32 index);
    // The index, or -1.
    i64 Find(const char* name) const;
    u32 Count() const { return u32(fEntries.size()); }
    void Clear() { fEntries.clear(); }

private:
    struct Entry {
        LString name;
        u32 index;
    };
    size_t LowerBound(const char* name) const;
    std::vector<Entry> fEntries;
};

class LScriptProgram final : public LRefObj {
public:
    ~LScriptProgram() override;
    void Clear();

    std::vector<LScriptFunc*>
        fFuncs;  // owned; user functions in definition order, then the top level
    LScriptSymbols fGlobals;
    LScriptSymbols fMembers;
};

class LScriptVM {
public:
    LScriptVM();
    virtual ~LScriptVM();
    LScriptVM(const LScriptVM&) = delete;
    LScriptVM& operator=(const LScriptVM&) = delete;

    // Compiles a whole program; true when it compiled without error.
    bool Compile(LScriptInput& input);
    bool CompileText(LCharReader& reader);

    // Runs a function (null: the top level). False when the program has an error,
    // there is no such function, or the run hit a limit; *result is then untouched.
    bool Call(const char* name, u32 n, const i32* args, i32* result);
    i32 CallInt(const char* name, u32 n, const i32* args);
    void SetGlobal(const char* name, i32 value);

    u32 ErrorCode() const { return fError; }
    // Where the first error of the last compile was raised.
    const LString& ErrorName() const { return fErrorName; }
    u32 ErrorLine() const { return fErrorLine; }
    u32 ErrorColumn() const { return fErrorColumn; }
    const LString& ErrorReport() const { return fErrorReport; }

    const LScriptProgram* Program() const { return fProgram.Get(); }

    // Run limits: loop iterations and calls per host call, and call nesting.
    static constexpr u32 kMaxSteps = 1000000;
    static constexpr u32 kMaxCallDepth = 200;
    static constexpr u32 kMaxNesting = 200;

protected:
    virtual void RegisterBuiltins();
    virtual void AfterCompile() {}
    virtual u32 StringTokenCode() { return 1; }
    // Runs built-in id over args (the first argument first).
    virtual i32 RunBuiltin(u32 id, const i32* args, u32 n);

    void AddBuiltin(const char* name, u32 id, u8 minArgs, u8 maxArgs);

    enum : u32 { kBiMin = 0, kBiMax, kBiAbs, kBiArrayLength, kBiFirstDerived };

    u32 fError = 0;

private:
    struct Builtin {
        const char* name;
        u32 id;
        u8 minArgs;
        u8 maxArgs;
    };

    // Lexer.
    bool Get(u8* c);
    void Unget();
    void NextToken();
    void LexNumber(u8 first);
    void LexString();

    // Compiler.
    void SetError(u32 code);
    void Emit(LScriptOp op, LScriptSpace space = LScriptSpace::None, i32 imm = 0, i32 operand = 0,
              LScriptFunc* func = nullptr, u16 builtin = 0);
    void Track(const LScriptInstr& in, bool add);
    void RemoveLast();
    void ReplaceLast(LScriptOp op);
    bool LastIsVarRef(bool allowIndirect) const;
    void Discard();
    void PatchJump(u32 at);
    u32 Here() { return fCode->Count(); }

    void CompileStatements();
    void CompileAssignment();
    void CompileConditional();
    void CompileOr();
    void CompileAnd();
    void CompileEquality();
    void CompileRelational();
    void CompileAdditive();
    void CompileMultiplicative();
    void CompilePrefix();
    void CompilePostfix();
    void CompilePrimary();
    void CompileName();
    void CompileCall(const LString& name);
    void CompileDefinition(const LString& name);
    void CompileSequence();
    void CompileLoop();
    void CompileVariable(const LString& name);
    void CompileBinaryTail(LScriptOp op, LScriptOp varOp);
    bool Enter();
    void Leave() { --fNesting; }

    // Machine.
    bool Exec(LScriptFunc* f, u32 n);

    // Compiler state.
    LScriptInput* fInput = nullptr;
    u32 fToken = 0;
    i32 fNumber = 0;
    LTextStream fText;
    u32 fDepth = 0;
    u32 fMaxDepth = 0;
    LScriptCode* fCode = nullptr;
    LScriptSymbols* fScope = nullptr;  // the globals at top level, the function's locals inside
    LScriptSymbols fLocalScope;
    u32 fScopeCount = 0;
    u32 fNesting = 0;
    std::vector<Builtin> fBuiltins;
    LString fErrorName;
    u32 fErrorLine = 0;
    u32 fErrorColumn = 0;
    LString fErrorReport;

    // Machine state.
    TRef<LScriptProgram> fProgram;
    i32* fStack = nullptr;
    u32 fStackSize = 0;
    u32 fSp = 0;  // top cell; the stack grows towards index 0
    u32 fArgBase = 0;
    u32 fArgCount = 0;
    i32* fGlobals = nullptr;
    u32 fGlobalCount = 0;
    std::vector<i32> fLocalStack;
    u32 fLocalBase = 0;
    u32 fCallDepth = 0;
    u32 fSteps = 0;
    bool fRunFailed = false;
};

// Division that never traps: x / 0 is 0 and the most negative value / -1 is itself.
inline i32 ScriptDiv(i32 a, i32 b) {
    if (b == 0) return 0;
    if (b == -1) return i32(0u - u32(a));
    return a / b;
}
