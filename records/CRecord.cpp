#include "records/CRecord.h"

#include <new>

#include "base/Paths.h"
#include "records/CRecordDoc.h"

u32 RecElementSize(u8 elemType) {
    switch (elemType) {
        case kRecI32:
        case kRecU32:
        case kRecF32:
            return 4;
        case kRecU8:
            return 1;
        case kRecString:
            return sizeof(LString);
        default:
            return 0;
    }
}

// ---------------------------------------------------------------- CStrArray

CStrArray::CStrArray(u32 n) {
    Grow(n, 0);
}

CStrArray::~CStrArray() {
    Clear();
    ::operator delete(fData);
}

bool CStrArray::Reallocate(u32 capacity) {
    if (capacity < fCount) return false;
    auto* block =
        static_cast<LString*>(::operator new(size_t(capacity) * sizeof(LString), std::nothrow));
    if (!block && capacity) return false;
    // An LString is one reference: moving it bitwise keeps its count right.
    if (fCount)
        std::memcpy(static_cast<void*>(block), static_cast<void*>(fData),
                    size_t(fCount) * sizeof(LString));
    ::operator delete(fData);
    fData = block;
    fCapacity = capacity;
    return true;
}

bool CStrArray::InsertAt(u32 position, const LString& s) {
    if (position > fCount) position = fCount;
    if (fCount == fCapacity && !Reallocate(2 * fCount + 2)) return false;
    std::memmove(static_cast<void*>(fData + position + 1), static_cast<void*>(fData + position),
                 size_t(fCount - position) * sizeof(LString));
    new (&fData[position]) LString(s);
    ++fCount;
    return true;
}

void CStrArray::RemoveAt(u32 position) {
    if (position >= fCount) return;
    fData[position].~LString();
    std::memmove(static_cast<void*>(fData + position), static_cast<void*>(fData + position + 1),
                 size_t(fCount - position - 1) * sizeof(LString));
    --fCount;
}

bool CStrArray::Grow(u32 n, u32 reserve) {
    if (n <= fCount) return true;
    if (n > fCapacity && !Reallocate(n + reserve)) return false;
    for (u32 i = fCount; i < n; ++i) new (&fData[i]) LString();
    fCount = n;
    return true;
}

bool CStrArray::Assign(const LString* items, u32 n) {
    if (items == fData && n == fCount) return true;
    while (fCount > n) RemoveAt(fCount - 1);
    for (u32 i = 0; i < fCount; ++i) fData[i] = items[i];
    while (fCount < n)
        if (!InsertAt(fCount, items[fCount])) return false;
    return true;
}

void CStrArray::Clear() {
    while (fCount) RemoveAt(fCount - 1);
}

// ---------------------------------------------------------------- creation

CRecord* CRecord::NewBare(const CRecordSchema* schema) {
    const u32 n = schema->Count();
    void* mem = ::operator new(sizeof(CRecord) + size_t(n) * 8, std::nothrow);
    if (!mem) return nullptr;
    CRecord* r = new (mem) CRecord();
    r->fSchema = schema;
    u64* slots = r->Slots();
    for (u32 f = 0; f < n; ++f) {
        const RecFieldDesc& d = schema->Field(f);
        slots[f] = 0;
        bool ok = true;
        switch (d.type) {
            case kRecString:
                new (&slots[f]) LString();
                break;
            case kRecArray:
                if (d.elemType == kRecString) {
                    auto* a = new (std::nothrow) CStrArray();
                    slots[f] = reinterpret_cast<u64>(a);
                    ok = a != nullptr;
                } else if (u32 size = RecElementSize(d.elemType)) {
                    auto* a = new (std::nothrow) LArray(size);
                    slots[f] = reinterpret_cast<u64>(a);
                    ok = a != nullptr;
                } else {
                    ok = false;
                }
                break;
            case kRecList: {
                auto* a = new (std::nothrow) LArray(sizeof(CRecord*));
                slots[f] = reinterpret_cast<u64>(a);
                ok = a != nullptr;
                break;
            }
            default:
                break;
        }
        if (!ok) {
            r->DestroySlots(f);
            r->~CRecord();
            ::operator delete(mem);
            return nullptr;
        }
    }
    return r;
}

CRecord* CRecord::New(const CRecordSchema* schema) {
    if (!schema) return nullptr;
    CRecord* r = NewBare(schema);
    if (!r) return nullptr;
    u64* slots = r->Slots();
    for (u32 i = 0; i < schema->Count(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = schema->Field(i);
        switch (d.type) {
            case kRecI32:
            case kRecU32:
            case kRecF32:
                slots[f] = d.def.u32Value;
                break;
            case kRecU8:
                slots[f] = d.def.u8Value;
                break;
            case kRecString:
                if (!StrIsEmpty(d.def.text)) r->StrSlot(f) = LString(d.def.text);
                break;
            case kRecChild:
                if (!d.IsOptional()) {
                    CRecord* child = New(CRecordSchema::Find(d.def.rec.family, d.def.rec.kind));
                    if (!child) {
                        Destroy(r);
                        return nullptr;
                    }
                    child->Attach(r, f, kRecNoIndex);
                    r->SetRawChild(f, child);
                }
                break;
            default:
                break;
        }
    }
    if (schema->CallHook(CRecordSchema::kHookDefaults, r) != 0) {
        Destroy(r);
        return nullptr;
    }
    return r;
}

void CRecord::DestroySlots(u32 count) {
    u64* slots = Slots();
    for (u32 i = count; i-- > 0;) {
        const RecFieldDesc& d = fSchema->Field(i);
        switch (d.type) {
            case kRecString:
                StrSlot(u8(i)).~LString();
                break;
            case kRecArray:
                if (d.elemType == kRecString)
                    delete StrArraySlot(u8(i));
                else
                    delete ArraySlot(u8(i));
                break;
            case kRecChild:
                Destroy(GetChild(u8(i)));
                break;
            case kRecList:
                if (LArray* list = ListSlot(u8(i))) {
                    CRecord** items = list->DataAs<CRecord*>();
                    for (u32 k = list->Count(); k-- > 0;) Destroy(items[k]);
                    delete list;
                }
                break;
            default:
                break;
        }
        slots[i] = 0;
    }
}

void CRecord::Destroy(CRecord* record) {
    if (!record) return;
    record->DestroySlots(record->fSchema->Count());
    record->~CRecord();
    ::operator delete(record);
}

// ---------------------------------------------------------------- copy

CRecord* CRecord::Copy(const CRecord* source, CRecord* target) {
    if (!source) {
        Destroy(target);
        return nullptr;
    }
    if (!target || target->fSchema != source->fSchema) {
        Destroy(target);
        target = New(source->fSchema);
        if (!target) return nullptr;
    }
    const CRecordSchema* schema = source->fSchema;
    bool ok = true;
    for (u32 i = 0; i < schema->Count() && ok; ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = schema->Field(i);
        switch (d.type) {
            case kRecString:
                target->StrSlot(f) = source->GetString(f);
                break;
            case kRecArray:
                if (d.elemType == kRecString)
                    ok = target->StrArraySlot(f)->Assign(*source->StrArraySlot(f));
                else
                    ok = target->ArraySlot(f)->CopyFrom(*source->ArraySlot(f));
                break;
            case kRecChild: {
                CRecord* old = target->GetChild(f);
                CRecord* fresh = nullptr;
                if (const CRecord* sc = source->GetChild(f)) {
                    fresh = Copy(sc, nullptr);
                    ok = fresh != nullptr;
                }
                if (fresh) fresh->Attach(target, f, kRecNoIndex);
                target->SetRawChild(f, fresh);
                Destroy(old);
                break;
            }
            case kRecList: {
                LArray* tl = target->ListSlot(f);
                const LArray* sl = source->ListSlot(f);
                const u32 sn = sl->Count();
                while (tl->Count() > sn) {
                    Destroy(tl->DataAs<CRecord*>()[tl->Count() - 1]);
                    tl->RemoveAt(tl->Count() - 1, 1);
                }
                for (u32 k = 0; k < sn && ok; ++k) {
                    const CRecord* si = sl->DataAs<CRecord*>()[k];
                    if (k < tl->Count()) {
                        CRecord* ti = Copy(si, tl->DataAs<CRecord*>()[k]);
                        if (si && !ti) {
                            tl->RemoveAt(k, 1);
                            ok = false;
                            break;
                        }
                        if (ti) ti->Attach(target, f, k);
                        tl->DataAs<CRecord*>()[k] = ti;
                    } else {
                        CRecord* ti = si ? Copy(si, nullptr) : nullptr;
                        if (si && !ti) {
                            ok = false;
                            break;
                        }
                        if (!tl->InsertAt(k, &ti)) {
                            Destroy(ti);
                            ok = false;
                            break;
                        }
                        if (ti) ti->Attach(target, f, k);
                    }
                }
                break;
            }
            default:
                target->Slots()[f] = source->Slots()[f];
                break;
        }
    }
    if (!ok) {
        Destroy(target);
        return nullptr;
    }
    return target;
}

// ---------------------------------------------------------------- reading

u32 CRecord::GetListCount(u8 field) const {
    const LArray* a = ListSlot(field);
    return a ? a->Count() : 0;
}

u32 CRecord::GetArrayCount(u8 field) const {
    if (!Slots()[field]) return 0;
    return Desc(field).elemType == kRecString ? StrArraySlot(field)->Count()
                                              : ArraySlot(field)->Count();
}

const void* CRecord::GetArrayData(u8 field) const {
    if (GetArrayCount(field) == 0) return nullptr;
    return Desc(field).elemType == kRecString
               ? static_cast<const void*>(StrArraySlot(field)->Data())
               : ArraySlot(field)->Data();
}

void CRecord::SettleSiblingPositions() const {
    const u8 field = u8(fLink);
    const LArray* list = fParent->ListSlot(field);
    if (!list) return;
    const u32 n = list->Count();
    CRecord** items = list->DataAs<CRecord*>();
    for (u32 i = 0; i < n; ++i)
        if (items[i]) items[i]->fPosition = i;
}

u32 CRecord::GetIndex() const {
    if (!fParent) return 0;
    if (fPosition != kRecNoIndex) return Position();
    if (fParent->Desc(ParentField()).type == kRecChild) return 0;
    return kRecNoIndex;
}

CRecordDoc* CRecord::GetOwner() const {
    const CRecord* r = this;
    while (r->fParent) r = r->fParent;
    return reinterpret_cast<CRecordDoc*>(r->fLink);
}

bool CRecord::IsDescendantOf(const CRecord* other) const {
    if (!other) return false;
    for (const CRecord* p = fParent; p; p = p->fParent)
        if (p == other) return true;
    return false;
}

u32 CRecord::Depth() const {
    u32 d = 0;
    for (const CRecord* p = fParent; p; p = p->fParent) ++d;
    return d;
}

LRect CRecord::GetRectFromArray(u8 field) const {
    if (GetArrayCount(field) < 4 || RecElementSize(Desc(field).elemType) != 4) return LRect();
    const i32* v = static_cast<const i32*>(GetArrayData(field));
    return LRect(v[0], v[1], v[2], v[3]);
}

void CRecord::SetRectToArray(LHandler* ctx, u8 field, const LRect& r) {
    const i32 v[4] = {r.left, r.top, r.right, r.bottom};
    SetArray(ctx, field, v, 4);
}

LString CRecord::GetPathField(u8 field) const {
    LString out;
    if (Desc(field).type != kRecString || !EnsureFolderPath(GetString(field).CStr(), &out, false))
        return LString();
    return out;
}
