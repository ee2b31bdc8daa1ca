#include "base/LCallbackList.h"

LCallbackList::LCallbackList() : fPairs(sizeof(LCallbackPair)) {}

LCallbackList::~LCallbackList() {
    // Iterators that outlive the list must not touch it.
    while (LLink* it = fIters.PopFront()) static_cast<LCallbackIter*>(it)->fList = nullptr;
}

bool LCallbackList::AddUnique(const LCallbackPair* pair) {
    if (!pair || !pair->function) return true;
    const LCallbackPair* pairs = fPairs.DataAs<LCallbackPair>();
    for (u32 i = fPairs.Count(); i-- > 0;)
        if (pairs[i] == *pair) return true;
    fPairs.InsertAt(fPairs.Count(), pair);
    return true;
}

void LCallbackList::Remove(const LCallbackPair* pair) {
    if (!pair) return;
    const LCallbackPair* pairs = fPairs.DataAs<LCallbackPair>();
    u32 i = fPairs.Count();
    while (i-- > 0)
        if (pairs[i] == *pair) break;
    if (i == u32(-1)) return;
    fPairs.RemoveAt(i, 1);
    for (LLink* n = fIters.Head(); !n->IsEnd(); n = n->Next()) {
        LCallbackIter* it = static_cast<LCallbackIter*>(n);
        if (i < it->fPosition) --it->fPosition;
    }
}

bool LCallbackList::CallUntilHandled(void* arg) {
    LCallbackIter it(*this);
    LCallbackPair pair;
    while (it.Next(&pair))
        if (pair.FunctionAs<LHandledFn>()(pair.object, 1, arg)) return true;
    return false;
}

LCallbackIter::LCallbackIter(LCallbackList& list) : fList(&list) {
    list.fIters.PushFront(this);
}

LCallbackIter::~LCallbackIter() {
    if (fList) fList->fIters.Remove(this);
}

bool LCallbackIter::Next(LCallbackPair* out) {
    if (!fList || fPosition >= fList->fPairs.Count()) return false;
    *out = fList->At(fPosition);
    ++fPosition;
    return true;
}
