#pragma once
// The direct layout dialect: texts evaluated as they are read, with no errors
// (unknown names are 0), and the layout evaluator with the pane built-ins and
// the process-wide standard definitions of "STDLAYOUT" item 0.

#include <vector>

#include "base/LList.h"
#include "base/LString.h"
#include "framework/layout/LLayoutBuiltins.h"

class LExprEval {
public:
    LExprEval();
    virtual ~LExprEval();
    LExprEval(const LExprEval&) = delete;
    LExprEval& operator=(const LExprEval&) = delete;

    // Evaluates text as a program; the value of its last expression. A run that
    // hits a limit (call nesting, loop iterations) stops and answers 0.
    i32 Run(const LString& text);
    i32 Run(const char* text) { return Run(LString(text)); }
    // Sets (or creates) the variable in the current scope; answers the value.
    i32 SetVar(const char* name, i32 value);
    // True when the last Run stopped at a limit.
    bool Failed() const { return fAbort; }

    static constexpr u32 kMaxCallDepth = 64;
    static constexpr u32 kMaxNesting = 200;
    static constexpr u32 kMaxSteps = 200000;

protected:
    enum : u32 { kBiSqrt = 0, kBiMin, kBiMax, kBiFirstDerived };
    void AddBuiltin(const char* name, u32 id);
    // args holds n values; built-ins read missing ones as 0.
    virtual i32 CallBuiltin(u32 id, const i32* args, u32 n);

    struct Var : LNamedLink {
        Var(const LString& name, i32 v) : LNamedLink(name), value(v) {}
        i32 value;
    };
    struct Func : LNamedLink {
        Func(const LString& name, const LString& b) : LNamedLink(name), body(b) {}
        LString body;
    };
    LList fVars;   // newest first
    LList fFuncs;  // newest first
    u32 fScopeCount = 0;

private:
    struct Cursor {
        LString text;
        u32 pos = 0;
    };
    struct Frame {
        u32 scopeCount;
        u32 argCount;
        u32 argBase;
        Cursor cursor;
    };
    struct Builtin {
        const char* name;
        u32 id;
    };

    void NextToken();
    i32 Program();
    i32 Expression();
    i32 Term();
    i32 Factor();
    i32 Sequence();
    i32 CallNamed(const LString& name);
    i32 ArgLoop(const LString& name);
    i32 Lookup(const char* name) const;
    void Assign(const LString& name, i32 value);
    i32 Arg(i32 index) const;
    void Abort() { fAbort = true; }
    bool Step();

    u32 fToken = 0;
    i32 fNumber = 0;
    LString fText;
    u32 fArgCount = 0;
    u32 fArgBase = 0;
    Cursor fCur;
    std::vector<Builtin> fBuiltins;
    std::vector<i32> fArgs;
    std::vector<Frame> fFrames;
    u32 fNesting = 0;
    u32 fSteps = 0;
    bool fAbort = false;
};

class LLayoutEval : public LExprEval {
public:
    // The first construction in the process evaluates "STDLAYOUT" item 0 and
    // caches what it defines; later ones copy the cache.
    LLayoutEval(LDrawCtx* ctx, LList* children);

    const LRect& ResultRect() const { return fTarget.result; }
    void SetResultRect(const LRect& r) { fTarget.result = r; }

protected:
    i32 CallBuiltin(u32 id, const i32* args, u32 n) override;

private:
    LLayoutTarget fTarget;
};
