#pragma once
// Intrusive reference counting: LRefObj is the base of every shared object,
// LRef the one-word owning pointer.

#include <atomic>
#include "base/Types.h"

class LRefObj {
public:
    virtual ~LRefObj() = default;

    void Retain() { fRefCount.fetch_add(1, std::memory_order_relaxed); }
    // Drops one count; the release that reaches zero (or below) deletes the object.
    void Release() {
        if (fRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0) delete this;
    }
    i32 RefCount() const { return fRefCount.load(std::memory_order_relaxed); }

protected:
    // Each derived class chooses its starting count (0 for string reps, 1 for scrap data).
    explicit LRefObj(i32 initial = 0) : fRefCount(initial) {}
    LRefObj(const LRefObj&) = delete;
    LRefObj& operator=(const LRefObj&) = delete;

private:
    std::atomic<i32> fRefCount;
};

class LRef {
public:
    LRef() = default;
    explicit LRef(LRefObj* obj) { InitRaw(this, obj); }
    LRef(const LRef& other) { InitCopy(this, &other); }
    LRef(LRef&& other) noexcept : fObj(other.fObj) { other.fObj = nullptr; }
    ~LRef() { Assign(this, nullptr); }
    LRef& operator=(const LRef& other) {
        Assign(this, other.fObj);
        return *this;
    }
    LRef& operator=(LRef&& other) noexcept {
        if (this != &other) {
            LRefObj* old = fObj;
            fObj = other.fObj;
            other.fObj = nullptr;
            if (old) old->Release();
        }
        return *this;
    }

    static void InitRaw(LRef* slot, LRefObj* obj) {
        slot->fObj = obj;
        if (obj) obj->Retain();
    }
    static void InitCopy(LRef* slot, const LRef* other) { InitRaw(slot, other->fObj); }
    // Retains the new object before releasing the old one, so self-assignment is safe.
    static void Assign(LRef* slot, LRefObj* obj) {
        if (obj) obj->Retain();
        LRefObj* old = slot->fObj;
        slot->fObj = obj;
        if (old) old->Release();
    }

    LRefObj* Get() const { return fObj; }
    explicit operator bool() const { return fObj != nullptr; }

protected:
    LRefObj* fObj = nullptr;
};

// Typed convenience wrapper over LRef.
template <class T>
class TRef : public LRef {
public:
    TRef() = default;
    explicit TRef(T* obj) : LRef(obj) {}
    T* Get() const { return static_cast<T*>(fObj); }
    T* operator->() const { return Get(); }
    T& operator*() const { return *Get(); }
    void Reset(T* obj = nullptr) { Assign(this, obj); }
};
