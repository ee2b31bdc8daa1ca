#pragma once
// A list of (object, function) pairs that may be changed while it is being walked:
// live iterators are adjusted on removal, so each remaining pair is handed out once.

#include "base/LArray.h"
#include "base/LList.h"

// Callers store their own function type and cast it back when calling.
using LCallbackFn = void (*)();

struct LCallbackPair {
    void* object = nullptr;
    LCallbackFn function = nullptr;

    template <class F>
    static LCallbackPair Make(void* object, F function) {
        return {object, reinterpret_cast<LCallbackFn>(function)};
    }
    template <class F>
    F FunctionAs() const {
        return reinterpret_cast<F>(function);
    }
    bool operator==(const LCallbackPair& o) const {
        return object == o.object && function == o.function;
    }
};

// The function type CallUntilHandled calls: non-zero means handled.
using LHandledFn = i32 (*)(void* object, i32 code, void* arg);

class LCallbackIter;

class LCallbackList {
public:
    LCallbackList();
    ~LCallbackList();
    LCallbackList(const LCallbackList&) = delete;
    LCallbackList& operator=(const LCallbackList&) = delete;

    // Ignores a null function and a pair already present; always answers true.
    bool AddUnique(const LCallbackPair* pair);
    // Removes the last equal pair, if any, and adjusts every live iterator.
    void Remove(const LCallbackPair* pair);
    // Calls function(object, 1, arg) for each pair until one answers non-zero.
    bool CallUntilHandled(void* arg);

    u32 Count() const { return fPairs.Count(); }
    const LCallbackPair& At(u32 i) const { return fPairs.DataAs<LCallbackPair>()[i]; }

private:
    LArray fPairs;
    LList fIters;
    friend class LCallbackIter;
};

class LCallbackIter : public LLink {
public:
    explicit LCallbackIter(LCallbackList& list);
    ~LCallbackIter() override;

    bool Next(LCallbackPair* out);

private:
    LCallbackList* fList;
    u32 fPosition = 0;
    friend class LCallbackList;
};
