#pragma once
// The growable array of fixed-size elements: one contiguous block grown by realloc.
// Allocation failures answer false and leave the array as it was.

#include "base/LHandle.h"

class LArray {
public:
    LArray(u32 elementSize, u32 initialCapacity = 0);
    virtual ~LArray();
    LArray(const LArray&) = delete;
    LArray& operator=(const LArray&) = delete;

    // Inserts one element at min(index, count).
    bool InsertAt(u32 index, const void* element);
    // Makes room for n elements at min(index, count); without elements the room is zero-filled.
    bool InsertN(u32 index, const void* elements, u32 n);
    // count becomes max(count, index + n); elements are copied at index when given.
    // Any room between the old count and the copied range is zero-filled.
    bool SetRange(u32 index, const void* elements, u32 n);
    // Replaces the contents: count = n, elements copied when given (else zero-filled).
    bool SetAll(const void* elements, u32 n);
    // Copies the other array's elements; the count is unchanged when that fails.
    bool CopyFrom(const LArray& other);
    // Removes n elements at index (truncates when the range reaches the end); answers the old
    // count.
    u32 RemoveAt(u32 index, u32 n);

    u32 Count() const { return fCount; }
    u32 Capacity() const { return fCapacity; }
    u32 ElementSize() const { return fHandle.ElementSize(); }
    void* Data() const { return fData; }
    template <class T>
    T* DataAs() const {
        return static_cast<T*>(fData);
    }
    void* At(u32 i) const { return static_cast<u8*>(fData) + size_t(i) * ElementSize(); }
    LHandle& Handle() { return fHandle; }

private:
    u32 fCount = 0;
    u32 fCapacity = 0;
    void* fData = nullptr;
    LHandle fHandle;
};
