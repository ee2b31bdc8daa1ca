// The setters: store a change, record it for undo when a context is given, and
// tell the owning document. Also the attach/detach walks; the undo entries they
// write, and their replays, are records/RecordUndo.cpp.

#include <vector>

#include "records/CRecord.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/RecordUndo.h"

using namespace recundo;

namespace {

// The last recorded change, so that a run of edits of one value can be one undo step.
struct Coalescing {
    const CRecord* record = nullptr;
    const CRecordSchema* schema = nullptr;
    u8 field = 0;
    uintptr_t link = 0;
    u32 position = 0;
    u32 elemIndex = kRecNoIndex;
};
Coalescing gCoalesce;

u32 CoalesceCode(const CRecord* r, u8 field, u32 flags) {
    const Coalescing& c = gCoalesce;
    const bool same = c.record == r && c.schema == r->Schema() && c.field == field &&
                      c.link == r->Link() && c.position == r->Position();
    if ((flags & 1) && same) return CUndoStrm::kMergeContinue;
    gCoalesce.record = r;
    gCoalesce.schema = r->Schema();
    gCoalesce.field = field;
    gCoalesce.link = r->Link();
    gCoalesce.position = r->Position();
    return CUndoStrm::kMergeNew;
}

// Closes the transaction when it goes out of scope.
struct UndoTxn {
    CUndoStrm* s;
    explicit UndoTxn(CUndoStrm* strm) : s(strm) {}
    ~UndoTxn() { delete s; }
    UndoTxn(const UndoTxn&) = delete;
    UndoTxn& operator=(const UndoTxn&) = delete;
};

bool PathTagged(const CRecord* r) {
    for (const CRecord* p = r; p->Parent(); p = p->Parent())
        if (!p->Parent()->Desc(p->ParentField()).IsTagged()) return false;
    return true;
}

void Deliver(const CRecordSchema* hookSchema, CRecordDoc* owner, CRecordNote* note) {
    if (hookSchema->CallHook(CRecordSchema::kHookNotice, note) == 0) owner->NotifyListeners(note);
}

void SendNotice(CRecord* r, LHandler* ctx, CRecordDoc* owner, u32 kind, u8 field, u32 extra,
                u32 index) {
    if (!owner) return;
    // An item about to join its list (a hook gives it its id) changes in no
    // document yet: the insert that follows tells of it whole.
    if (kind == CRecordNote::kChanged && index == kRecNoIndex) return;
    const RecFieldDesc& d = r->Desc(field);
    if (d.IsTagged() && PathTagged(r)) owner->MarkChanged();
    if (d.IsTransient()) return;
    CRecordNote note{ctx, r, kind, field, extra, index};
    Deliver(r->Schema(), owner, &note);
}

// Pre-insert and pre-remove notices go to the hook of the list's owner.
void NotifyItem(CRecord* list, CRecord* item, LHandler* ctx, CRecordDoc* owner, u32 kind,
                u32* position) {
    CRecordNote note{ctx, item, kind, kRecSelf, *position, kRecNoIndex};
    Deliver(list->Schema(), owner, &note);
    *position = note.extra;
}

void AttachWalk(CRecord* r, LHandler* ctx, CRecordDoc* owner, u32 index) {
    CRecordNote note{ctx, r, CRecordNote::kAttached, kRecSelf, kRecNoIndex, index};
    Deliver(r->Schema(), owner, &note);
    for (u32 i = 0; i < r->FieldCount(); ++i) {
        const RecFieldDesc& d = r->Desc(u8(i));
        if (d.IsTransient()) continue;
        if (d.type == kRecChild) {
            if (CRecord* c = r->GetChild(u8(i))) AttachWalk(c, ctx, owner, 0);
        } else if (d.type == kRecList) {
            for (u32 k = 0; k < r->GetListCount(u8(i)); ++k)
                if (CRecord* item = r->GetListItem(u8(i), k)) AttachWalk(item, ctx, owner, k);
        }
    }
}

void DetachWalk(CRecord* r, LHandler* ctx, CRecordDoc* owner, u32 index) {
    for (u32 i = r->FieldCount(); i-- > 0;) {
        const RecFieldDesc& d = r->Desc(u8(i));
        if (d.IsTransient()) continue;
        if (d.type == kRecChild) {
            if (CRecord* c = r->GetChild(u8(i))) DetachWalk(c, ctx, owner, 0);
        } else if (d.type == kRecList) {
            for (u32 k = r->GetListCount(u8(i)); k-- > 0;)
                if (CRecord* item = r->GetListItem(u8(i), k)) DetachWalk(item, ctx, owner, k);
        }
    }
    CRecordNote note{ctx, r, CRecordNote::kDetached, kRecSelf, kRecNoIndex, index};
    Deliver(r->Schema(), owner, &note);
}

bool SameElement(u8 type, const void* a, const void* b) {
    if (type == kRecString)
        return *static_cast<const LString*>(a) == *static_cast<const LString*>(b);
    return std::memcmp(a, b, RecElementSize(type)) == 0;
}

}  // namespace

void recundo::Renumber(CRecord* r, u8 field, u32 from, u32 to) {
    CRecord** items = r->ListItems(field);
    const u32 n = r->GetListCount(field);
    if (to >= n) to = n ? n - 1 : 0;
    for (u32 i = from; i <= to && i < n; ++i)
        if (items[i]) items[i]->Attach(r, field, i);
}

// ---------------------------------------------------------------- scalar setters

void CRecord::Notify(LHandler* ctx, CRecordDoc* owner, u32 kind, u8 field, u32 extra, u32 index) {
    SendNotice(this, ctx, owner, kind, field, extra, index);
}

void CRecord::ClearCoalescing() {
    gCoalesce.record = nullptr;
}

void CRecord::SetU32(LHandler* ctx, u8 field, u32 value, u32 flags) {
    CRecordDoc* owner = GetOwner();
    const u64 old = Slots()[field];
    const u64 now = value;
    if (ctx && owner) {
        const u32 code = CoalesceCode(this, field, flags);
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayScalar, "", old == now ? 1 : 0, code));
        u64 first;
        if (t.s &&
            !(t.s->Continues() && t.s->ReadU64(&first) && SamePlace(t.s, this, field, owner)))
            first = old;
        if (t.s) {
            t.s->WriteU64(first);
            WriteLocation(t.s, this, field);
            t.s->WriteU64(now);
        }
    }
    if (old == now) return;
    Slots()[field] = now;
    SendNotice(this, ctx, owner, CRecordNote::kChanged, field, 0, GetIndex());
}

void CRecord::SetU8(LHandler* ctx, u8 field, u8 value, u32 flags) {
    // Every scalar slot holds a u64, so a u8 field takes the same path as a u32 one.
    SetU32(ctx, field, value, flags);
}

void CRecord::SetF32(LHandler* ctx, u8 field, u32 flags, f32 value) {
    CRecordDoc* owner = GetOwner();
    const f32 old = GetF32(field);
    u32 oldBits, newBits;
    std::memcpy(&oldBits, &old, 4);
    std::memcpy(&newBits, &value, 4);
    const bool same = old == value;
    if (ctx && owner) {
        const u32 code = CoalesceCode(this, field, flags);
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayF32, "", same ? 1 : 0, code));
        u32 first;
        if (t.s &&
            !(t.s->Continues() && t.s->ReadU32(&first) && SamePlace(t.s, this, field, owner)))
            first = oldBits;
        if (t.s) {
            t.s->WriteU32(first);
            WriteLocation(t.s, this, field);
            t.s->WriteU32(newBits);
        }
    }
    if (same) return;
    Slots()[field] = newBits;
    SendNotice(this, ctx, owner, CRecordNote::kChanged, field, 0, GetIndex());
}

void CRecord::SetString(LHandler* ctx, u8 field, const LString& value, u32 flags) {
    CRecordDoc* owner = GetOwner();
    const bool same = GetString(field) == value;
    if (ctx && owner) {
        const u32 code = CoalesceCode(this, field, flags);
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayString, "", same ? 1 : 0, code));
        LString first;
        if (t.s &&
            !(t.s->Continues() && t.s->ReadText(&first) && SamePlace(t.s, this, field, owner)))
            first = GetString(field);
        if (t.s) {
            t.s->WriteText(first.CStr(), first.Length());
            WriteLocation(t.s, this, field);
            t.s->WriteText(value.CStr(), value.Length());
        }
    }
    if (same) return;
    StrSlot(field) = value;
    SendNotice(this, ctx, owner, CRecordNote::kChanged, field, 0, GetIndex());
}

// ---------------------------------------------------------------- arrays

void CRecord::SetArray(LHandler* ctx, u8 field, const void* elements, u32 count, u32 flags) {
    const u8 type = Desc(field).elemType;
    const u32 size = RecElementSize(type);
    if (!size || !Slots()[field]) return;
    if (!elements) count = 0;
    CRecordDoc* owner = GetOwner();
    if (ctx && owner) {
        if (gCoalesce.elemIndex != kRecNoIndex) {
            gCoalesce.record = nullptr;
            gCoalesce.elemIndex = kRecNoIndex;
        }
        const u32 code = CoalesceCode(this, field, flags);
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayArray, "", 0, code));
        std::vector<Elem> first;
        const bool keep = t.s && t.s->Continues() && SamePlace(t.s, this, field, owner) &&
                          ReadArray(t.s, true, type, &first);
        if (t.s) {
            WriteLocation(t.s, this, field);
            if (keep) {
                t.s->WriteU32(u32(first.size()));
                u8 b;
                for (const Elem& e : first) WriteElem(t.s, type, ElemPtr(type, e, &b));
                t.s->WriteU32(u32(first.size()));
            } else {
                WriteArray(t.s, type, GetArrayData(field), GetArrayCount(field));
            }
            WriteArray(t.s, type, elements, count);
            WriteLocation(t.s, this, field);
        }
    }
    if (type == kRecString) {
        StrArraySlot(field)->Assign(static_cast<const LString*>(elements), count);
    } else {
        LArray* a = ArraySlot(field);
        const u8* src = static_cast<const u8*>(elements);
        const u8* data = static_cast<const u8*>(a->Data());
        if (count && src >= data && src < data + size_t(a->Capacity()) * size) {
            // The new contents live in the array itself: copy them out first.
            std::vector<u8> copy(src, src + size_t(count) * size);
            a->SetAll(copy.data(), count);
        } else if (count) {
            a->SetAll(src, count);
        } else {
            a->RemoveAt(0, a->Count());
        }
    }
    SendNotice(this, ctx, owner, CRecordNote::kChanged, field, kRecNoIndex, GetIndex());
}

void CRecord::SetArrayElement(LHandler* ctx, u8 field, u32 index, const void* value, u32 flags) {
    const u8 type = Desc(field).elemType;
    const u32 size = RecElementSize(type);
    if (!size || index >= GetArrayCount(field)) return;
    u8* cur = static_cast<u8*>(const_cast<void*>(GetArrayData(field))) + size_t(index) * size;
    const bool same = SameElement(type, cur, value);
    CRecordDoc* owner = GetOwner();
    if (ctx && owner) {
        if (gCoalesce.elemIndex != index) {
            gCoalesce.record = nullptr;
            gCoalesce.elemIndex = index;
        }
        const u32 code = CoalesceCode(this, field, flags);
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayArrayElement, "", same ? 1 : 0, code));
        Elem first, later;
        u8 t1, t2, b;
        u32 at;
        const bool keep = t.s && t.s->Continues() && t.s->ReadU8(&t1) && t1 == type &&
                          ReadElem(t.s, true, type, &first) && ReadElem(t.s, true, type, &later) &&
                          t.s->ReadU8(&t2) && t.s->ReadU32(&at) && at == index &&
                          SamePlace(t.s, this, field, owner);
        if (t.s) {
            t.s->WriteU8(type);
            WriteElem(t.s, type, keep ? ElemPtr(type, first, &b) : cur);
            WriteElem(t.s, type, value);
            t.s->WriteU8(type);
            t.s->WriteU32(index);
            WriteLocation(t.s, this, field);
        }
    }
    if (same) return;
    if (type == kRecString)
        *reinterpret_cast<LString*>(cur) = *static_cast<const LString*>(value);
    else
        std::memcpy(cur, value, size);
    SendNotice(this, ctx, owner, CRecordNote::kChanged, field, index, GetIndex());
}

void CRecord::InsertArrayElement(LHandler* ctx, u8 field, u32 position, const void* value) {
    const u8 type = Desc(field).elemType;
    if (!RecElementSize(type) || !Slots()[field]) return;
    const u32 count = GetArrayCount(field);
    if (position > count) position = count;
    CRecordDoc* owner = GetOwner();
    if (ctx && owner) {
        gCoalesce.record = nullptr;
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayInsertElement, "", 0, CUndoStrm::kMergeFinal));
        if (t.s) {
            t.s->WriteU8(type);
            WriteElem(t.s, type, value);
            t.s->WriteU8(type);
            t.s->WriteU32(position);
            WriteLocation(t.s, this, field);
        }
    }
    bool ok;
    if (type == kRecString) {
        const LString copy = *static_cast<const LString*>(value);
        ok = StrArraySlot(field)->InsertAt(position, copy);
    } else {
        u32 v = 0;
        std::memcpy(&v, value, RecElementSize(type));
        ok = ArraySlot(field)->InsertAt(position, &v);
    }
    if (ok) SendNotice(this, ctx, owner, CRecordNote::kInserted, field, position, GetIndex());
}

void CRecord::RemoveArrayElement(LHandler* ctx, u8 field, u32 position) {
    const u8 type = Desc(field).elemType;
    const u32 size = RecElementSize(type);
    if (!size || position >= GetArrayCount(field)) return;
    CRecordDoc* owner = GetOwner();
    if (ctx && owner) {
        gCoalesce.record = nullptr;
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayRemoveElement, "", 0, CUndoStrm::kMergeFinal));
        if (t.s) {
            WriteLocation(t.s, this, field);
            t.s->WriteU32(position);
            t.s->WriteU8(type);
            WriteElem(t.s, type,
                      static_cast<const u8*>(GetArrayData(field)) + size_t(position) * size);
            t.s->WriteU8(type);
        }
    }
    if (type == kRecString)
        StrArraySlot(field)->RemoveAt(position);
    else
        ArraySlot(field)->RemoveAt(position, 1);
    SendNotice(this, ctx, owner, CRecordNote::kRemoved, field, position, GetIndex());
}

void CRecord::GrowArray(LHandler* ctx, u8 field, const void* value, u32 wanted) {
    if (GetArrayCount(field) >= wanted || !RecElementSize(Desc(field).elemType)) return;
    CRecordDoc* owner = GetOwner();
    // One undo step for the whole growth.
    UndoTxn group(ctx && owner ? CUndoStrm::Open(ctx, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew)
                               : nullptr);
    for (u32 i = GetArrayCount(field); i < wanted; ++i) {
        const u32 before = GetArrayCount(field);
        InsertArrayElement(ctx, field, i, value);
        if (GetArrayCount(field) == before) break;  // out of memory
    }
}

// ---------------------------------------------------------------- children and lists

CRecord* CRecord::ReplaceChild(LHandler* ctx, u8 field, CRecord* child) {
    CRecord* old = GetChild(field);
    if (old == child) return nullptr;
    CRecordDoc* owner = GetOwner();
    if (ctx && owner) {
        gCoalesce.record = nullptr;
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayChild, "", 0, CUndoStrm::kMergeFinal));
        if (t.s) {
            WriteTree(t.s, old);
            WriteLocation(t.s, this, field);
            WriteTree(t.s, child);
        }
    }
    if (child) child->Attach(this, field, kRecNoIndex);
    SetRawChild(field, child);
    if (old) old->Unlink();
    if (owner && !Desc(field).IsTransient()) {
        if (old) DetachWalk(old, ctx, owner, 0);
        if (child) AttachWalk(child, ctx, owner, 0);
    }
    SendNotice(this, ctx, owner, CRecordNote::kChanged, field, 0, GetIndex());
    return old;
}

void CRecord::RemoveChild(LHandler* ctx, u8 field) {
    Destroy(ReplaceChild(ctx, field, nullptr));
}

bool CRecord::InsertItem(LHandler* ctx, u8 field, u32 position, CRecord* item) {
    LArray* list = ListSlot(field);
    if (!list) {
        Destroy(item);
        return false;
    }
    const bool transient = Desc(field).IsTransient();
    CRecordDoc* owner = GetOwner();
    if (item) item->Attach(this, field, kRecNoIndex);
    if (owner && !transient)
        NotifyItem(this, item, ctx, owner, CRecordNote::kWillInsert, &position);
    if (position > list->Count()) position = list->Count();
    if (ctx && owner) {
        gCoalesce.record = nullptr;
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayInsertItem, "", 0, CUndoStrm::kMergeFinal));
        if (t.s) {
            WriteTree(t.s, item);
            t.s->WriteU32(position);
            WriteLocation(t.s, this, field);
        }
    }
    if (!list->InsertAt(position, &item)) {
        Destroy(item);
        return false;
    }
    // The items after it are numbered when asked (Position).
    if (item) item->Attach(this, field, position);
    if (owner && !transient && item) AttachWalk(item, ctx, owner, position);
    SendNotice(this, ctx, owner, CRecordNote::kInserted, field, position, kRecNoIndex);
    return true;
}

CRecord* CRecord::DetachItem(LHandler* ctx, u8 field, u32 position) {
    LArray* list = ListSlot(field);
    if (!list || position >= list->Count()) return nullptr;
    const bool transient = Desc(field).IsTransient();
    CRecordDoc* owner = GetOwner();
    CRecord* item = ListItems(field)[position];
    if (owner && !transient) {
        u32 p = position;
        NotifyItem(this, item, ctx, owner, CRecordNote::kWillRemove, &p);
        // A listener may have changed the list.
        if (position >= list->Count() || ListItems(field)[position] != item) return nullptr;
    }
    if (ctx && owner) {
        gCoalesce.record = nullptr;
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayDetachItem, "", 0, CUndoStrm::kMergeFinal));
        if (t.s) {
            WriteLocation(t.s, this, field);
            t.s->WriteU32(position);
            WriteTree(t.s, item);
        }
    }
    list->RemoveAt(position, 1);
    if (item) item->Unlink();
    SendNotice(this, ctx, owner, CRecordNote::kRemoved, field, position, kRecNoIndex);
    if (owner && !transient && item) DetachWalk(item, ctx, owner, position);
    return item;
}

void CRecord::RemoveItem(LHandler* ctx, u8 field, u32 position) {
    Destroy(DetachItem(ctx, field, position));
}

void CRecord::MoveItem(LHandler* ctx, u8 field, u32 from, u32 to) {
    LArray* list = ListSlot(field);
    if (!list || from >= list->Count()) return;
    const u32 final = FinalPosition(from, to, list->Count());
    if (final == from) return;
    CRecordDoc* owner = GetOwner();
    if (ctx && owner) {
        gCoalesce.record = nullptr;
        UndoTxn t(CUndoStrm::Open(ctx, owner, ReplayMove, "", 0, CUndoStrm::kMergeFinal));
        if (t.s) {
            WriteLocation(t.s, this, field);
            t.s->WriteU32(from);
            t.s->WriteU32(to);
        }
    }
    CRecord** items = ListItems(field);
    CRecord* moving = items[from];
    if (final > from)
        std::memmove(items + from, items + from + 1, size_t(final - from) * sizeof(CRecord*));
    else
        std::memmove(items + final + 1, items + final, size_t(from - final) * sizeof(CRecord*));
    items[final] = moving;
    Renumber(this, field, final < from ? final : from, final < from ? from : final);
    SendNotice(this, ctx, owner, CRecordNote::kMoved, field, from, final);
}

// ---------------------------------------------------------------- resets

void CRecord::ResetField(u8 field) {
    const RecFieldDesc& d = Desc(field);
    switch (d.type) {
        case kRecI32:
        case kRecU32:
            SetU32(nullptr, field, d.def.u32Value);
            break;
        case kRecU8:
            SetU8(nullptr, field, d.def.u8Value);
            break;
        case kRecF32:
            SetF32(nullptr, field, 0, d.def.f32Value);
            break;
        case kRecString:
            if (!StrEqual(GetString(field).CStr(), d.def.text))
                SetString(nullptr, field, LString(d.def.text));
            break;
        case kRecArray:
            // An empty array stays as it is: no change, no notice.
            if (GetArrayCount(field)) SetArray(nullptr, field, nullptr, 0);
            break;
        case kRecChild:
            if (d.IsOptional())
                RemoveChild(nullptr, field);
            else if (CRecord* c = GetChild(field))
                c->ResetToDefaults();
            break;
        case kRecList:
            for (u32 n = GetListCount(field); n-- > 0;) RemoveItem(nullptr, field, n);
            break;
        default:
            break;
    }
}

void CRecord::ResetToDefaults() {
    ClearCoalescing();
    for (u32 i = FieldCount(); i-- > 0;)
        if (Desc(u8(i)).IsTagged()) ResetField(u8(i));
    fSchema->CallHook(CRecordSchema::kHookDefaults, this);
}

// ---------------------------------------------------------------- documents

CRecordDoc::CRecordDoc(CRecord* root) : fRoot(root) {
    if (fRoot) fRoot->SetRootOwner(this);
}

CRecordDoc::~CRecordDoc() {
    if (fRoot) {
        DetachWalk(fRoot, nullptr, this, 0);
        CRecord::Destroy(fRoot);
        fRoot = nullptr;
    }
}

void CRecordDoc::NotifyListeners(CRecordNote* note) {
    LCallbackIter it(fListeners);
    LCallbackPair p;
    while (it.Next(&p)) p.FunctionAs<ListenerFn>()(p.object, note);
}

const CRecordSchema* CRecordDoc::ResolveSchema(u32 family, u32 kind, CRecord* parent, u8 field) {
    if (parent && field < parent->FieldCount()) {
        const RecFieldDesc& d = parent->Desc(field);
        if ((d.type == kRecChild || d.type == kRecList) && !d.IsUntyped())
            return ResolveSchema(d.def.rec.family, d.def.rec.kind, nullptr, kRecSelf);
    }
    return CRecordSchema::Find(family, kind);
}
