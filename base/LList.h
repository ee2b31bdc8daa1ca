#pragma once
// Intrusive singly linked list. The last node points at one shared end node whose
// next points at itself; a null next marks a node that is in no list.

#include "base/LString.h"

class LLink {
public:
    LLink() = default;
    virtual ~LLink() = default;
    LLink(const LLink&) = delete;
    LLink& operator=(const LLink&) = delete;

    LLink* Next() const { return fNext; }
    bool IsLinked() const { return fNext != nullptr; }
    // True for the shared end node only.
    bool IsEnd() const { return fNext == this; }

protected:
    LLink* fNext = nullptr;
    friend class LList;
};

// The list object sits in front of its first node: its next field is the head.
class LList : public LLink {
public:
    LList();
    ~LList() override;  // unlinks every node without deleting it

    static LLink* End();

    LLink* Head() const { return fNext; }
    // The last node, or null when the list is empty.
    LLink* Tail() const { return fTail == this ? nullptr : fTail; }
    bool IsEmpty() const { return fNext->IsEnd(); }

    void PushFront(LLink* node);
    void PushBack(LLink* node);
    void InsertAfter(LLink* node, LLink* prev);
    LLink* RemoveNext(LLink* prev);
    LLink* PopFront();
    LLink* PopBack();
    bool Remove(LLink* node);
    LLink* Nth(u32 n) const;
    void SpliceTo(LList& dest);
    void DeleteAll();

private:
    LLink* fTail;
};

// A list entry that carries a name; named entry lists keep the newest first.
class LNamedLink : public LLink {
public:
    LNamedLink() = default;
    explicit LNamedLink(const LString& name) : fName(name) {}
    const LString& Name() const { return fName; }

    LString fName;
};

namespace NameList {
// The first entry among the first n whose name equals name; null when none or n < 1.
LNamedLink* FindInFirst(const LList& list, const char* name, i32 n);
// Pops and deletes the first n entries, stopping early when the list runs out.
void DropFirst(LList& list, i32 n);
}  // namespace NameList
