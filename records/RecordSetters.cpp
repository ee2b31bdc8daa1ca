// The setters: store a change, record it for undo when a context is given, and
// tell the owning document. Also the undo replays and the attach/detach walks.

#include <vector>

#include "records/CRecord.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"

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
    const RecFieldDesc& d = r->Desc(field);
    if (d.IsTagged() && PathTagged(r)) owner->MarkChanged();
    if (d.IsTransient()) return;
    if (kind == CRecordNote::kChanged && index == kRecNoIndex) return;
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

void Renumber(CRecord* r, u8 field, u32 from, u32 to) {
    CRecord** items = r->ListItems(field);
    const u32 n = r->GetListCount(field);
    if (to >= n) to = n ? n - 1 : 0;
    for (u32 i = from; i <= to && i < n; ++i)
        if (items[i]) items[i]->Attach(r, field, i);
}

// ---------------------------------------------------------------- undo entry pieces

void WriteLocation(CUndoStrm* s, const CRecord* r, u8 field) {
    s->WriteU8(field);
    s->WriteU32(kRecNoIndex);
    for (const CRecord* p = r; p->Parent(); p = p->Parent()) {
        s->WriteU8(p->ParentField());
        s->WriteU32(p->GetIndex());
    }
    s->WriteU8(kRecSelf);
}

bool RdU8(CUndoStrm* s, bool fwd, u8* v) {
    return fwd ? s->ReadU8(v) : s->ReadBackU8(v);
}
bool RdU32(CUndoStrm* s, bool fwd, u32* v) {
    return fwd ? s->ReadU32(v) : s->ReadBackU32(v);
}
bool RdU64(CUndoStrm* s, bool fwd, u64* v) {
    return fwd ? s->ReadU64(v) : s->ReadBackU64(v);
}
bool RdText(CUndoStrm* s, bool fwd, LString* v) {
    return fwd ? s->ReadText(v) : s->ReadBackText(v);
}

constexpr u32 kMaxLocationDepth = 256;

// Reads a location in the given direction and finds its record from the document's root.
CRecord* ReadLocation(CUndoStrm* s, bool fwd, CRecordDoc* doc, u8* field) {
    u8 fields[kMaxLocationDepth];
    u32 indexes[kMaxLocationDepth];
    u32 n = 0;
    u32 idx;
    u8 b;
    if (fwd) {
        if (!s->ReadU8(field) || !s->ReadU32(&idx)) return nullptr;
        for (;;) {
            if (!s->ReadU8(&b)) return nullptr;
            if (b == kRecSelf) break;
            if (n == kMaxLocationDepth || !s->ReadU32(&idx)) return nullptr;
            fields[n] = b;
            indexes[n++] = idx;
        }
        // Written from the record up; walk from the root down.
        for (u32 i = 0; i < n / 2; ++i) {
            std::swap(fields[i], fields[n - 1 - i]);
            std::swap(indexes[i], indexes[n - 1 - i]);
        }
    } else {
        if (!s->ReadBackU8(&b) || b != kRecSelf) return nullptr;
        for (;;) {
            if (!s->ReadBackU32(&idx) || !s->ReadBackU8(&b)) return nullptr;
            if (idx == kRecNoIndex) {
                *field = b;
                break;
            }
            if (n == kMaxLocationDepth) return nullptr;
            fields[n] = b;
            indexes[n++] = idx;
        }
    }
    CRecord* r = doc ? doc->Root() : nullptr;
    for (u32 i = 0; i < n && r; ++i) {
        if (fields[i] >= r->FieldCount()) return nullptr;
        const RecFieldDesc& d = r->Desc(fields[i]);
        if (d.type == kRecChild)
            r = r->GetChild(fields[i]);
        else if (d.type == kRecList && indexes[i] < r->GetListCount(fields[i]))
            r = r->GetListItem(fields[i], indexes[i]);
        else
            return nullptr;
    }
    if (r && *field >= r->FieldCount()) return nullptr;
    return r;
}

// One array element as carried in undo entries and replays.
struct Elem {
    u32 num = 0;
    LString str;
};

void WriteElem(CUndoStrm* s, u8 type, const void* p) {
    switch (type) {
        case kRecU8:
            s->WriteU8(*static_cast<const u8*>(p));
            break;
        case kRecString: {
            const LString& str = *static_cast<const LString*>(p);
            s->WriteText(str.CStr(), str.Length());
            break;
        }
        default:
            s->WriteU32(*static_cast<const u32*>(p));
            break;
    }
}

bool ReadElem(CUndoStrm* s, bool fwd, u8 type, Elem* e) {
    switch (type) {
        case kRecU8: {
            u8 b;
            if (!RdU8(s, fwd, &b)) return false;
            e->num = b;
            return true;
        }
        case kRecString:
            return RdText(s, fwd, &e->str);
        default:
            return RdU32(s, fwd, &e->num);
    }
}

const void* ElemPtr(u8 type, const Elem& e, u8* byte) {
    if (type == kRecString) return &e.str;
    if (type == kRecU8) {
        *byte = u8(e.num);
        return byte;
    }
    return &e.num;
}

void WriteArray(CUndoStrm* s, u8 type, const void* data, u32 count) {
    s->WriteU32(count);
    const u32 size = RecElementSize(type);
    for (u32 i = 0; i < count; ++i)
        WriteElem(s, type, static_cast<const u8*>(data) + size_t(i) * size);
    s->WriteU32(count);
}

bool ReadArray(CUndoStrm* s, bool fwd, u8 type, std::vector<Elem>* out) {
    u32 count, again;
    if (!RdU32(s, fwd, &count)) return false;
    out->assign(count, Elem());
    for (u32 i = 0; i < count; ++i)
        if (!ReadElem(s, fwd, type, &(*out)[fwd ? i : count - 1 - i])) return false;
    return RdU32(s, fwd, &again) && again == count;
}

void WriteTree(CUndoStrm* s, const CRecord* r) {
    if (!r) {
        s->WriteU64(0);
        return;
    }
    s->WriteU64(reinterpret_cast<u64>(r->Schema()));
    for (u32 i = 0; i < r->FieldCount(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = r->Desc(f);
        switch (d.type) {
            case kRecString:
                s->WriteText(r->GetString(f).CStr(), r->GetString(f).Length());
                break;
            case kRecArray:
                WriteArray(s, d.elemType, r->GetArrayData(f), r->GetArrayCount(f));
                break;
            case kRecChild:
                WriteTree(s, r->GetChild(f));
                break;
            case kRecList: {
                const u32 n = r->GetListCount(f);
                s->WriteU32(n);
                for (u32 k = 0; k < n; ++k) WriteTree(s, r->GetListItem(f, k));
                s->WriteU32(n);
                break;
            }
            default:
                s->WriteU64(r->GetField(f));
                break;
        }
    }
    s->WriteU64(reinterpret_cast<u64>(r->Schema()));
}

bool StoreArray(CRecord* r, u8 f, const std::vector<Elem>& v) {
    const u8 type = r->Desc(f).elemType;
    if (type == kRecString) {
        CStrArray* a = r->StrArraySlot(f);
        a->Clear();
        for (const Elem& e : v)
            if (!a->InsertAt(a->Count(), e.str)) return false;
        return true;
    }
    LArray* a = r->ArraySlot(f);
    a->RemoveAt(0, a->Count());
    for (const Elem& e : v) {
        u8 b;
        if (!a->InsertAt(a->Count(), ElemPtr(type, e, &b))) return false;
    }
    return true;
}

// Rebuilds a tree written by WriteTree; *ok turns false on a malformed entry.
CRecord* ReadTree(CUndoStrm* s, bool fwd, bool* ok, u32 depth = 0) {
    u64 sp;
    if (!RdU64(s, fwd, &sp) || depth > kMaxLocationDepth) {
        *ok = false;
        return nullptr;
    }
    if (!sp) return nullptr;
    auto* schema = reinterpret_cast<const CRecordSchema*>(sp);
    CRecord* r = CRecord::NewBare(schema);
    if (!r) {
        *ok = false;
        return nullptr;
    }
    const u32 n = schema->Count();
    for (u32 j = 0; j < n && *ok; ++j) {
        const u8 f = u8(fwd ? j : n - 1 - j);
        const RecFieldDesc& d = schema->Field(f);
        switch (d.type) {
            case kRecString:
                *ok = RdText(s, fwd, &r->StrSlot(f));
                break;
            case kRecArray: {
                std::vector<Elem> v;
                *ok = ReadArray(s, fwd, d.elemType, &v) && StoreArray(r, f, v);
                break;
            }
            case kRecChild: {
                CRecord* c = ReadTree(s, fwd, ok, depth + 1);
                if (c) c->Attach(r, f, kRecNoIndex);
                r->SetRawChild(f, c);
                break;
            }
            case kRecList: {
                u32 count, again;
                if (!RdU32(s, fwd, &count)) {
                    *ok = false;
                    break;
                }
                LArray* list = r->ListSlot(f);
                for (u32 k = 0; k < count && *ok; ++k) {
                    CRecord* item = ReadTree(s, fwd, ok, depth + 1);
                    if (!list->InsertAt(fwd ? list->Count() : 0, &item)) {
                        CRecord::Destroy(item);
                        *ok = false;
                    }
                }
                Renumber(r, f, 0, list->Count());
                if (*ok) *ok = RdU32(s, fwd, &again) && again == count;
                break;
            }
            default:
                *ok = RdU64(s, fwd, &r->Slots()[f]);
                break;
        }
    }
    u64 again = 0;
    if (*ok) *ok = RdU64(s, fwd, &again) && again == sp;
    if (!*ok) {
        CRecord::Destroy(r);
        return nullptr;
    }
    return r;
}

// A step continuing the previous one keeps the old value recorded there, from before the
// first merged change; the previous body must name the same place.
bool SamePlace(CUndoStrm* s, const CRecord* r, u8 field, CRecordDoc* owner) {
    u8 f;
    return ReadLocation(s, true, owner, &f) == r && f == field;
}

CRecordDoc* Doc(void* ctx) {
    return static_cast<CRecordDoc*>(ctx);
}

// ---------------------------------------------------------------- replays

// Entry: old u64; location; new u64.
void ReplayScalar(void* ctx, CUndoStrm* s, bool redo) {
    u64 first, second;
    u8 field;
    if (!RdU64(s, redo, &first)) return;
    CRecord* r = ReadLocation(s, redo, Doc(ctx), &field);
    if (!r || !RdU64(s, redo, &second)) return;
    const u64 v = second;  // the new value when redoing, the old one when undoing
    switch (r->Desc(field).type) {
        case kRecU8:
            r->SetU8(nullptr, field, u8(v));
            break;
        case kRecI32:
        case kRecU32:
            r->SetU32(nullptr, field, u32(v));
            break;
        default:
            break;
    }
}

void ReplayF32(void* ctx, CUndoStrm* s, bool redo) {
    u32 first, second;
    u8 field;
    if (!RdU32(s, redo, &first)) return;
    CRecord* r = ReadLocation(s, redo, Doc(ctx), &field);
    if (!r || !RdU32(s, redo, &second) || r->Desc(field).type != kRecF32) return;
    f32 v;
    std::memcpy(&v, &second, 4);
    r->SetF32(nullptr, field, 0, v);
}

void ReplayString(void* ctx, CUndoStrm* s, bool redo) {
    LString first, second;
    u8 field;
    if (!RdText(s, redo, &first)) return;
    CRecord* r = ReadLocation(s, redo, Doc(ctx), &field);
    if (!r || !RdText(s, redo, &second) || r->Desc(field).type != kRecString) return;
    r->SetString(nullptr, field, second);
}

// A replayed whole-array change goes element by element, each with its own notice.
void ApplyArray(CRecord* r, u8 field, const std::vector<Elem>& v) {
    const u8 type = r->Desc(field).elemType;
    const u32 size = RecElementSize(type);
    while (r->GetArrayCount(field) > v.size())
        r->RemoveArrayElement(nullptr, field, r->GetArrayCount(field) - 1);
    for (u32 i = 0; i < v.size(); ++i) {
        u8 b;
        const void* p = ElemPtr(type, v[i], &b);
        if (i < r->GetArrayCount(field)) {
            const u8* cur = static_cast<const u8*>(r->GetArrayData(field)) + size_t(i) * size;
            const bool same = type == kRecString
                                  ? *reinterpret_cast<const LString*>(cur) == v[i].str
                                  : std::memcmp(cur, p, size) == 0;
            if (!same) r->SetArrayElement(nullptr, field, i, p);
        } else {
            r->InsertArrayElement(nullptr, field, i, p);
        }
    }
}

// Entry: location; old contents; new contents; location.
void ReplayArray(void* ctx, CUndoStrm* s, bool redo) {
    u8 field;
    CRecord* r = ReadLocation(s, redo, Doc(ctx), &field);
    if (!r || r->Desc(field).type != kRecArray) return;
    const u8 type = r->Desc(field).elemType;
    std::vector<Elem> first, second;
    if (!ReadArray(s, redo, type, &first) || !ReadArray(s, redo, type, &second)) return;
    u8 f2;
    if (ReadLocation(s, redo, Doc(ctx), &f2) != r) return;
    ApplyArray(r, field, second);
}

// Entry: type; old element; new element; type; u32 index; location.
void ReplayArrayElement(void* ctx, CUndoStrm* s, bool redo) {
    u8 type, type2, field;
    u32 index;
    Elem first, second;
    CRecord* r = nullptr;
    if (redo) {
        if (!s->ReadU8(&type) || !ReadElem(s, true, type, &first) ||
            !ReadElem(s, true, type, &second) || !s->ReadU8(&type2) || !s->ReadU32(&index))
            return;
        r = ReadLocation(s, true, Doc(ctx), &field);
    } else {
        r = ReadLocation(s, false, Doc(ctx), &field);
        if (!r || !s->ReadBackU32(&index) || !s->ReadBackU8(&type2) ||
            !ReadElem(s, false, type2, &first) || !ReadElem(s, false, type2, &second) ||
            !s->ReadBackU8(&type))
            return;
    }
    if (!r || r->Desc(field).type != kRecArray || r->Desc(field).elemType != type ||
        index >= r->GetArrayCount(field))
        return;
    u8 b;
    r->SetArrayElement(nullptr, field, index, ElemPtr(type, second, &b));
}

// Entry: type; element; type; u32 position; location.
void ReplayInsertElement(void* ctx, CUndoStrm* s, bool redo) {
    u8 type, type2, field;
    u32 pos;
    Elem e;
    CRecord* r;
    if (redo) {
        if (!s->ReadU8(&type) || !ReadElem(s, true, type, &e) || !s->ReadU8(&type2) ||
            !s->ReadU32(&pos))
            return;
        r = ReadLocation(s, true, Doc(ctx), &field);
    } else {
        r = ReadLocation(s, false, Doc(ctx), &field);
        if (!r || !s->ReadBackU32(&pos) || !s->ReadBackU8(&type2) ||
            !ReadElem(s, false, type2, &e) || !s->ReadBackU8(&type))
            return;
    }
    if (!r || r->Desc(field).type != kRecArray || r->Desc(field).elemType != type) return;
    u8 b;
    if (redo)
        r->InsertArrayElement(nullptr, field, pos, ElemPtr(type, e, &b));
    else
        r->RemoveArrayElement(nullptr, field, pos);
}

// Entry: location; u32 position; type; element; type.
void ReplayRemoveElement(void* ctx, CUndoStrm* s, bool redo) {
    u8 type, type2, field;
    u32 pos;
    Elem e;
    CRecord* r;
    if (redo) {
        r = ReadLocation(s, true, Doc(ctx), &field);
        if (!r || !s->ReadU32(&pos) || !s->ReadU8(&type) || !ReadElem(s, true, type, &e) ||
            !s->ReadU8(&type2))
            return;
    } else {
        if (!s->ReadBackU8(&type) || !ReadElem(s, false, type, &e) || !s->ReadBackU8(&type2) ||
            !s->ReadBackU32(&pos))
            return;
        r = ReadLocation(s, false, Doc(ctx), &field);
    }
    if (!r || r->Desc(field).type != kRecArray || r->Desc(field).elemType != type) return;
    u8 b;
    if (redo)
        r->RemoveArrayElement(nullptr, field, pos);
    else
        r->InsertArrayElement(nullptr, field, pos, ElemPtr(type, e, &b));
}

// Entry: old tree; location; new tree.
void ReplayChild(void* ctx, CUndoStrm* s, bool redo) {
    bool ok = true;
    CRecord::Destroy(ReadTree(s, redo, &ok));
    u8 field;
    CRecord* r = ok ? ReadLocation(s, redo, Doc(ctx), &field) : nullptr;
    if (!r || r->Desc(field).type != kRecChild) return;
    CRecord* child = ReadTree(s, redo, &ok);
    if (!ok) return;
    CRecord::Destroy(r->ReplaceChild(nullptr, field, child));
}

// Entry: item tree; u32 position; location.
void ReplayInsertItem(void* ctx, CUndoStrm* s, bool redo) {
    bool ok = true;
    u8 field;
    u32 pos;
    if (redo) {
        CRecord* item = ReadTree(s, true, &ok);
        CRecord* r = ok && s->ReadU32(&pos) ? ReadLocation(s, true, Doc(ctx), &field) : nullptr;
        if (!r || r->Desc(field).type != kRecList) {
            CRecord::Destroy(item);
            return;
        }
        r->InsertItem(nullptr, field, pos, item);
    } else {
        CRecord* r = ReadLocation(s, false, Doc(ctx), &field);
        if (!r || r->Desc(field).type != kRecList || !s->ReadBackU32(&pos)) return;
        r->RemoveItem(nullptr, field, pos);
    }
}

// Entry: location; u32 position; item tree.
void ReplayDetachItem(void* ctx, CUndoStrm* s, bool redo) {
    bool ok = true;
    u8 field;
    u32 pos;
    if (redo) {
        CRecord* r = ReadLocation(s, true, Doc(ctx), &field);
        if (!r || r->Desc(field).type != kRecList || !s->ReadU32(&pos)) return;
        r->RemoveItem(nullptr, field, pos);
    } else {
        CRecord* item = ReadTree(s, false, &ok);
        CRecord* r =
            ok && s->ReadBackU32(&pos) ? ReadLocation(s, false, Doc(ctx), &field) : nullptr;
        if (!r || r->Desc(field).type != kRecList) {
            CRecord::Destroy(item);
            return;
        }
        r->InsertItem(nullptr, field, pos, item);
    }
}

u32 FinalPosition(u32 from, u32 to, u32 count) {
    u32 final = to > from ? to - 1 : to;
    return final >= count ? count - 1 : final;
}

// Entry: location; u32 from; u32 to.
void ReplayMove(void* ctx, CUndoStrm* s, bool redo) {
    u8 field;
    u32 from, to;
    CRecord* r;
    if (redo) {
        r = ReadLocation(s, true, Doc(ctx), &field);
        if (!r || !s->ReadU32(&from) || !s->ReadU32(&to)) return;
    } else {
        if (!s->ReadBackU32(&to) || !s->ReadBackU32(&from)) return;
        r = ReadLocation(s, false, Doc(ctx), &field);
    }
    if (!r || r->Desc(field).type != kRecList) return;
    const u32 count = r->GetListCount(field);
    if (from >= count) return;
    if (redo) {
        r->MoveItem(nullptr, field, from, to);
    } else {
        const u32 final = FinalPosition(from, to, count);
        r->MoveItem(nullptr, field, final, from > final ? from + 1 : from);
    }
}

bool SameElement(u8 type, const void* a, const void* b) {
    if (type == kRecString)
        return *static_cast<const LString*>(a) == *static_cast<const LString*>(b);
    return std::memcmp(a, b, RecElementSize(type)) == 0;
}

}  // namespace

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
    Renumber(this, field, position, list->Count() - 1);
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
    Renumber(this, field, position, list->Count());
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
