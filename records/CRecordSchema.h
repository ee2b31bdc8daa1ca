#pragma once
// Static descriptions of record kinds and the process-wide registry that maps
// (family, kind) back to them, so readers can create the kinds named in data.

#include "base/Types.h"

enum RecFieldType : u8 {
    kRecI32 = 0,
    kRecU32 = 1,
    kRecU8 = 2,
    kRecF32 = 3,
    kRecString = 4,
    kRecArray = 5,
    kRecChild = 6,
    kRecList = 7,
};

enum : u8 {
    kRecTransient = 1,  // changes send no notices
    kRecUntyped = 2,    // the declared family and kind are not enforced
    kRecOptional = 4,   // may be null; not created with the parent
};

// Index 255 is never a field: in locations it names the record itself.
constexpr u8 kRecSelf = 255;
constexpr u32 kRecNoIndex = 0xFFFFFFFFu;

struct RecKindCode {
    u32 family;
    u32 kind;
};

union RecFieldDefault {
    u64 raw;
    i32 i32Value;
    u32 u32Value;
    u8 u8Value;
    f32 f32Value;
    const char* text;
    RecKindCode rec;
};

// 16 bytes per field, in declaration order; the position in the table is the field index.
struct RecFieldDesc {
    u32 tag;  // 0: in memory only
    u8 type;
    u8 flags;
    u8 digits;    // decimals of f32 values written as text
    u8 elemType;  // element type of an array field
    RecFieldDefault def;

    bool IsTagged() const { return tag != 0; }
    bool IsTransient() const { return (flags & kRecTransient) != 0; }
    bool IsUntyped() const { return (flags & kRecUntyped) != 0; }
    bool IsOptional() const { return (flags & kRecOptional) != 0; }
    // Declaring tables give type and flags as one word: type low byte, flags high byte.
    u16 TypeWord() const { return u16(type | (u16(flags) << 8)); }
};
static_assert(sizeof(RecFieldDesc) == 16, "field descriptors are 16 bytes");

// Builders for declaring tables.
namespace RecField {
constexpr RecFieldDesc I32(u32 tag, i32 def = 0, u8 flags = 0) {
    return {tag, kRecI32, flags, 0, 0, {.i32Value = def}};
}
constexpr RecFieldDesc U32(u32 tag, u32 def = 0, u8 flags = 0) {
    return {tag, kRecU32, flags, 0, 0, {.u32Value = def}};
}
constexpr RecFieldDesc U8(u32 tag, u8 def = 0, u8 flags = 0) {
    return {tag, kRecU8, flags, 0, 0, {.u8Value = def}};
}
constexpr RecFieldDesc F32(u32 tag, f32 def, u8 digits, u8 flags = 0) {
    return {tag, kRecF32, flags, digits, 0, {.f32Value = def}};
}
constexpr RecFieldDesc Str(u32 tag, const char* def = "", u8 flags = 0) {
    return {tag, kRecString, flags, 0, 0, {.text = def}};
}
constexpr RecFieldDesc Array(u32 tag, u8 elemType, u8 digits = 0, u8 flags = 0) {
    return {tag, kRecArray, flags, digits, elemType, {.raw = 0}};
}
constexpr RecFieldDesc Child(u32 tag, u32 family, u32 kind, u8 flags = 0) {
    return {tag, kRecChild, flags, 0, 0, {.rec = {family, kind}}};
}
constexpr RecFieldDesc List(u32 tag, u32 family, u32 kind, u8 flags = 0) {
    return {tag, kRecList, flags, 0, 0, {.rec = {family, kind}}};
}
// From a type-and-flags word as the declaring tables write it (262, 1286, 1542, 1799 ...).
constexpr RecFieldDesc FromWord(u32 tag, u16 typeWord, u8 digits, u8 elemType,
                                RecFieldDefault def) {
    return {tag, u8(typeWord & 0xFF), u8(typeWord >> 8), digits, elemType, def};
}
}  // namespace RecField

class CRecordSchema {
public:
    // op 0: record defaults are in place (argument = the record); non-zero refuses a new record.
    // op 1: a change notice is about to go out (argument = the notice); non-zero suppresses it.
    using Hook = i32 (*)(u32 op, void* argument);
    enum : u32 { kHookDefaults = 0, kHookNotice = 1 };

    CRecordSchema() = default;
    // Registers at once; for static declarations.
    CRecordSchema(u32 family, u32 kind, u32 count, const RecFieldDesc* table, Hook hook = nullptr) {
        Register(this, family, kind, count, table, hook);
    }
    virtual ~CRecordSchema() { Unregister(); }
    CRecordSchema(const CRecordSchema&) = delete;
    CRecordSchema& operator=(const CRecordSchema&) = delete;

    // Fills the schema and links it at the head of the registry: it shadows earlier
    // registrations of the same family and kind until it is unregistered.
    static void Register(CRecordSchema* schema, u32 family, u32 kind, u32 count,
                         const RecFieldDesc* table, Hook hook);
    // The most recently registered schema with this family and kind, or null.
    static CRecordSchema* Find(u32 family, u32 kind);
    void Unregister();

    static i32 DefaultHook(u32 op, void* argument);

    u32 Family() const { return fFamily; }
    u32 Kind() const { return fKind; }
    u32 Count() const { return fCount; }
    const RecFieldDesc& Field(u32 index) const { return fFields[index]; }
    const RecFieldDesc* Fields() const { return fFields; }
    i32 CallHook(u32 op, void* argument) const { return fHook(op, argument); }
    Hook GetHook() const { return fHook; }
    // The first field with this non-zero tag, or -1.
    i32 FindTag(u32 tag) const;

private:
    u32 fFamily = 0;
    u32 fKind = 0;
    u32 fCount = 0;
    const RecFieldDesc* fFields = nullptr;
    Hook fHook = DefaultHook;
    CRecordSchema* fNext = nullptr;
};
