#pragma once
// Immutable shared strings and null-safe compares of zero-terminated text.

#include <string_view>
#include "base/LRef.h"

// Null is read as the empty text throughout.
bool StrIsEmpty(const char* s);
u32 StrLen(const char* s);
bool StrEqual(const char* a, const char* b);
int StrCompare(const char* a, const char* b);
int StrComparePrefix(const char* a, const char* b);

// The shared representation: header, length, bytes and a terminating zero in one block.
class LStringRep final : public LRefObj {
public:
    static LStringRep* Make(const char* chars, u32 length);
    u32 Length() const { return fLength; }
    const char* Chars() const { return reinterpret_cast<const char*>(this + 1); }
    static void operator delete(void* p) { ::operator delete(p); }

private:
    LStringRep() = default;
    char* Data() { return reinterpret_cast<char*>(this + 1); }
    u32 fLength = 0;
    friend class LString;
};

class LString {
public:
    static constexpr u32 kToZero = 0xFFFFFFFFu;

    LString() { InitEmpty(this); }
    LString(const char* s) { InitCStr(this, s); }  // NOLINT: implicit by design
    LString(const char* bytes, u32 length) { InitBytes(this, bytes, length); }
    explicit LString(std::string_view v) { InitBytes(this, v.data(), u32(v.size())); }
    LString(const LString& other) = default;
    LString(LString&&) noexcept = default;
    LString& operator=(const LString&) = default;
    LString& operator=(LString&&) noexcept = default;
    ~LString() = default;

    static LStringRep* EmptyRep();
    static void InitEmpty(LString* s);
    static void InitCStr(LString* s, const char* text);
    static void InitBytes(LString* s, const char* bytes, u32 length);
    static LString& FromCStr(LString* out, const char* text);
    void Release() { LRef::Assign(&fRef, EmptyRep()); }

    const char* CStr() const { return Rep()->Chars(); }
    u32 Length() const { return Rep()->Length(); }
    bool IsEmpty() const { return Length() == 0; }
    std::string_view View() const { return {CStr(), Length()}; }
    LStringRep* Rep() const { return static_cast<LStringRep*>(fRef.Get()); }

    bool operator==(const LString& o) const {
        return Rep() == o.Rep() || StrEqual(CStr(), o.CStr());
    }
    bool operator==(const char* o) const { return StrEqual(CStr(), o); }

private:
    LRef fRef;
};

// A borrowed view of zero-terminated text, for APIs that want a string object without a copy.
struct LStrView {
    explicit LStrView(const char* text);
    LString str;
    const char* chars;
    u32 length;
};
