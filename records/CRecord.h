#pragma once
// One node of a record tree: a header and one 8-byte slot per schema field.
// Records own their strings, arrays, children and list items. Reading is direct;
// every change others must see or the user may undo goes through the setters.

#include <cstring>
#include "base/LArray.h"
#include "base/LRect.h"
#include "base/LString.h"
#include "records/CRecordSchema.h"

class CRecordDoc;
class LHandler;

// Growable array of shared strings (the string-array slot).
class CStrArray {
public:
    explicit CStrArray(u32 n = 0);
    ~CStrArray();
    CStrArray(const CStrArray&) = delete;
    CStrArray& operator=(const CStrArray&) = delete;

    u32 Count() const { return fCount; }
    LString* Data() const { return fData; }
    LString& At(u32 i) const { return fData[i]; }

    bool InsertAt(u32 position, const LString& s);
    void RemoveAt(u32 position);
    // Raises the count to n (never lowers it) with room for `reserve` more.
    bool Grow(u32 n, u32 reserve);
    bool Assign(const LString* items, u32 n);
    bool Assign(const CStrArray& other) { return Assign(other.fData, other.fCount); }
    void Clear();

private:
    bool Reallocate(u32 capacity);
    u32 fCount = 0;
    u32 fCapacity = 0;
    LString* fData = nullptr;
};

// A change notice, delivered synchronously to the owning document's listeners.
struct CRecordNote {
    enum : u32 {
        kChanged = 0,
        kInserted = 1,
        kRemoved = 2,
        kMoved = 3,
        kAttached = 4,
        kDetached = 5,
        kWillInsert = 6,
        kWillRemove = 7,
    };
    LHandler* context;
    class CRecord* record;
    u32 kind;
    u8 field;
    u32 extra;
    u32 index;
};

class CRecord {
public:
    // ---- construction (no undo, no notices)
    static CRecord* New(const CRecordSchema* schema);
    // Destroys the slots and frees the record.
    static void Destroy(CRecord* record);
    // Deep copy of source onto target (replaced when of another kind); null source destroys the
    // target.
    static CRecord* Copy(const CRecord* source, CRecord* target);

    // ---- reading
    const CRecordSchema* Schema() const { return fSchema; }
    u32 Family() const { return fSchema->Family(); }
    u32 Kind() const { return fSchema->Kind(); }
    u32 FieldCount() const { return fSchema->Count(); }
    const RecFieldDesc& Desc(u8 field) const { return fSchema->Field(field); }
    CRecord* Parent() const { return fParent; }
    // The parent's field holding this record (children only).
    u8 ParentField() const { return u8(fLink); }
    // An insertion or removal leaves the places of the items after it to be
    // counted again when one of them is asked for: an edit of thousands of
    // items near the top of a list would otherwise count the list once an item.
    u32 Position() const {
        if (fPosition != kRecNoIndex && !HoldsPosition()) SettleSiblingPositions();
        return fPosition;
    }
    uintptr_t Link() const { return fLink; }

    u64 GetField(u8 field) const { return Slots()[field]; }
    i32 GetI32(u8 field) const { return i32(u32(Slots()[field])); }
    u32 GetU32(u8 field) const { return u32(Slots()[field]); }
    u8 GetU8(u8 field) const { return u8(Slots()[field]); }
    f32 GetF32(u8 field) const {
        u32 bits = u32(Slots()[field]);
        f32 v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    const LString& GetString(u8 field) const {
        return *reinterpret_cast<const LString*>(&Slots()[field]);
    }
    CRecord* GetChild(u8 field) const { return reinterpret_cast<CRecord*>(Slots()[field]); }
    u32 GetListCount(u8 field) const;
    CRecord* GetListItem(u8 field, u32 position) const { return ListItems(field)[position]; }
    u32 GetArrayCount(u8 field) const;
    // First element (string arrays: the first LString), null when empty.
    const void* GetArrayData(u8 field) const;
    // 0 without parent; the position in a list; 0 in a child slot; -1 otherwise.
    u32 GetIndex() const;
    CRecordDoc* GetOwner() const;
    bool IsDescendantOf(const CRecord* other) const;
    // Depth below the root (0 for the root or a free record).
    u32 Depth() const;
    LRect GetRectFromArray(u8 field) const;
    // The local place named by the path text of a string field, resolved without
    // creating folders; empty when it does not resolve.
    LString GetPathField(u8 field) const;

    // ---- setters (context null: no undo entry). Flags bit 0: may continue the previous undo step.
    void SetI32(LHandler* ctx, u8 field, i32 value, u32 flags = 0) {
        SetU32(ctx, field, u32(value), flags);
    }
    void SetU32(LHandler* ctx, u8 field, u32 value, u32 flags = 0);
    void SetU8(LHandler* ctx, u8 field, u8 value, u32 flags = 0);
    void SetBool(LHandler* ctx, u8 field, bool value, u32 flags = 0) {
        SetU8(ctx, field, value ? 1 : 0, flags);
    }
    void SetF32(LHandler* ctx, u8 field, u32 flags, f32 value);
    void SetString(LHandler* ctx, u8 field, const LString& value, u32 flags = 0);
    // Elements: i32/u32/f32 as 4-byte values, u8 as bytes, strings as LString. Always notifies.
    void SetArray(LHandler* ctx, u8 field, const void* elements, u32 count, u32 flags = 0);
    void SetArrayElement(LHandler* ctx, u8 field, u32 index, const void* value, u32 flags = 0);
    void InsertArrayElement(LHandler* ctx, u8 field, u32 position, const void* value);
    void RemoveArrayElement(LHandler* ctx, u8 field, u32 position);
    void GrowArray(LHandler* ctx, u8 field, const void* value, u32 wanted);
    void SetRectToArray(LHandler* ctx, u8 field, const LRect& r);
    // Stores an application file path's text.
    void SetPathField(LHandler* ctx, u8 field, const LString& path) { SetString(ctx, field, path); }
    // Answers the old child, detached and now the caller's.
    CRecord* ReplaceChild(LHandler* ctx, u8 field, CRecord* child);
    void RemoveChild(LHandler* ctx, u8 field);
    // Takes the item in every case (a failed insert destroys it). Answers success.
    bool InsertItem(LHandler* ctx, u8 field, u32 position, CRecord* item);
    // Answers the detached item (now the caller's), null when the position is out of range.
    CRecord* DetachItem(LHandler* ctx, u8 field, u32 position);
    void RemoveItem(LHandler* ctx, u8 field, u32 position);
    // `to` is an insertion index counted before the item is taken out.
    void MoveItem(LHandler* ctx, u8 field, u32 from, u32 to);
    void ResetField(u8 field);
    void ResetToDefaults();

    // Marks the owner modified (tagged path) and delivers one notice through the schema hook.
    void Notify(LHandler* ctx, CRecordDoc* owner, u32 kind, u8 field, u32 extra, u32 index);

    // Forgets the setters' memory of the last change, so no later change continues it.
    static void ClearCoalescing();

    // ---- internals shared by the record code
    u64* Slots() { return reinterpret_cast<u64*>(this + 1); }
    const u64* Slots() const { return reinterpret_cast<const u64*>(this + 1); }
    LString& StrSlot(u8 f) { return *reinterpret_cast<LString*>(&Slots()[f]); }
    LArray* ArraySlot(u8 f) const { return reinterpret_cast<LArray*>(Slots()[f]); }
    CStrArray* StrArraySlot(u8 f) const { return reinterpret_cast<CStrArray*>(Slots()[f]); }
    LArray* ListSlot(u8 f) const { return reinterpret_cast<LArray*>(Slots()[f]); }
    CRecord** ListItems(u8 f) const { return ListSlot(f)->DataAs<CRecord*>(); }
    void SetRawChild(u8 f, CRecord* child) { Slots()[f] = reinterpret_cast<u64>(child); }
    void SetRootOwner(CRecordDoc* doc) {
        fParent = nullptr;
        fLink = reinterpret_cast<uintptr_t>(doc);
        fPosition = kRecNoIndex;
    }
    // A record with every slot empty (zero numbers, empty strings, arrays and lists, null
    // children); null on failure.
    static CRecord* NewBare(const CRecordSchema* schema);
    void Attach(CRecord* parent, u8 field, u32 position) {
        fParent = parent;
        fLink = field;
        fPosition = position;
    }
    void Unlink() {
        fParent = nullptr;
        fLink = 0;
        fPosition = kRecNoIndex;
    }

private:
    CRecord() = default;
    ~CRecord() = default;
    void DestroySlots(u32 count);
    // A list item whose place is still where its parent's list holds it.
    bool HoldsPosition() const {
        const LArray* list = fParent->ListSlot(u8(fLink));
        return list && fPosition < list->Count() &&
               list->DataAs<const CRecord*>()[fPosition] == this;
    }
    // Numbers every item of this item's list by its place.
    void SettleSiblingPositions() const;

    const CRecordSchema* fSchema = nullptr;
    CRecord* fParent = nullptr;
    uintptr_t fLink = 0;  // child: the parent's field; root: the owning document
    u32 fPosition = kRecNoIndex;
};
static_assert(sizeof(CRecord) % 8 == 0, "slots follow the header aligned");
static_assert(sizeof(LString) == 8, "a string slot holds one shared reference");

// Element size of an array element type (0 for an invalid type).
u32 RecElementSize(u8 elemType);
