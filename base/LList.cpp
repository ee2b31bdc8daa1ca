#include "base/LList.h"

LLink* LList::End() {
    // Made once (the static's guarded initialisation) and kept for the whole process.
    static LLink* const end = [] {
        LLink* e = new LLink;
        e->fNext = e;
        return e;
    }();
    return end;
}

LList::LList() : fTail(this) {
    fNext = End();
}

LList::~LList() {
    LLink* n = fNext;
    while (!n->IsEnd()) {
        LLink* next = n->fNext;
        n->fNext = nullptr;
        n = next;
    }
    fNext = End();
    fTail = this;
}

void LList::PushFront(LLink* node) {
    if (!node || node->fNext) return;
    InsertAfter(node, nullptr);
}

void LList::PushBack(LLink* node) {
    if (!node || node->fNext) return;
    node->fNext = End();
    fTail->fNext = node;
    fTail = node;
}

void LList::InsertAfter(LLink* node, LLink* prev) {
    if (!node || node->fNext) return;
    if (!prev) prev = this;
    node->fNext = prev->fNext;
    prev->fNext = node;
    if (prev == fTail) fTail = node;
}

LLink* LList::RemoveNext(LLink* prev) {
    if (!prev) prev = this;
    LLink* node = prev->fNext;
    if (!node || node->IsEnd()) return nullptr;
    prev->fNext = node->fNext;
    node->fNext = nullptr;
    if (fTail == node) fTail = prev;
    return node;
}

LLink* LList::PopFront() {
    return RemoveNext(nullptr);
}

LLink* LList::PopBack() {
    if (fTail == this) return nullptr;
    LLink* prev = this;
    while (prev->fNext != fTail) prev = prev->fNext;
    return RemoveNext(prev);
}

bool LList::Remove(LLink* node) {
    if (!node || !node->fNext || node->IsEnd()) return false;
    for (LLink* prev = this; !prev->fNext->IsEnd(); prev = prev->fNext) {
        if (prev->fNext == node) {
            RemoveNext(prev);
            return true;
        }
    }
    return false;
}

LLink* LList::Nth(u32 n) const {
    LLink* node = fNext;
    while (!node->IsEnd()) {
        if (n-- == 0) return node;
        node = node->fNext;
    }
    return nullptr;
}

void LList::SpliceTo(LList& dest) {
    if (&dest == this || fTail == this) return;
    dest.fTail->fNext = fNext;
    dest.fTail = fTail;
    fNext = End();
    fTail = this;
}

void LList::DeleteAll() {
    while (LLink* node = PopFront()) delete node;
}

namespace NameList {

LNamedLink* FindInFirst(const LList& list, const char* name, i32 n) {
    LLink* node = list.Head();
    for (i32 i = 0; i < n && !node->IsEnd(); ++i, node = node->Next()) {
        LNamedLink* entry = static_cast<LNamedLink*>(node);
        if (StrEqual(entry->fName.CStr(), name)) return entry;
    }
    return nullptr;
}

void DropFirst(LList& list, i32 n) {
    for (i32 i = 0; i < n; ++i) {
        LLink* node = list.PopFront();
        if (!node) return;
        delete node;
    }
}

}  // namespace NameList
