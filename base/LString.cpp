#include "base/LString.h"

#include <cstring>
#include <new>

bool StrIsEmpty(const char* s) {
    return s == nullptr || *s == 0;
}
u32 StrLen(const char* s) {
    return s ? u32(std::strlen(s)) : 0;
}

bool StrEqual(const char* a, const char* b) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    return std::strcmp(a, b) == 0;
}

int StrCompare(const char* a, const char* b) {
    return std::strcmp(a ? a : "", b ? b : "");
}

int StrComparePrefix(const char* a, const char* b) {
    u32 n = StrLen(b), m = StrLen(a);
    if (n == 0) return m == 0 ? 0 : 1;
    if (m == 0) return -1;
    if (n <= m) return std::strncmp(a, b, n);
    return std::strcmp(a, b);
}

LStringRep* LStringRep::Make(const char* chars, u32 length) {
    if (length == LString::kToZero) length = StrLen(chars);
    if (chars == nullptr || length == 0) return LString::EmptyRep();
    // The characters follow the header in the same block.
    void* block = ::operator new(sizeof(LStringRep) + size_t(length) + 1);
    auto* rep = new (block) LStringRep();
    rep->fLength = length;
    std::memcpy(rep->Data(), chars, length);
    rep->Data()[length] = 0;
    return rep;
}

LStringRep* LString::EmptyRep() {
    // Created on first use; the static itself holds one count, so it is never freed.
    static LStringRep* rep = [] {
        void* block = ::operator new(sizeof(LStringRep) + 1);
        auto* r = new (block) LStringRep();
        r->fLength = 0;
        r->Data()[0] = 0;
        r->Retain();
        return r;
    }();
    return rep;
}

void LString::InitEmpty(LString* s) {
    LRef::InitRaw(&s->fRef, EmptyRep());
}

void LString::InitCStr(LString* s, const char* text) {
    LRef::InitRaw(&s->fRef, LStringRep::Make(text, kToZero));
}

void LString::InitBytes(LString* s, const char* bytes, u32 length) {
    LRef::InitRaw(&s->fRef, LStringRep::Make(bytes, length));
}

LString& LString::FromCStr(LString* out, const char* text) {
    LRef::Assign(&out->fRef, LStringRep::Make(text, kToZero));
    return *out;
}

LStrView::LStrView(const char* text) : chars(StrIsEmpty(text) ? "" : text), length(StrLen(text)) {}
