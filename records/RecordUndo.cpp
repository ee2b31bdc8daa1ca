// The undo entries of the record setters: how each setter writes its change,
// and the replays that read an entry in either direction and apply it again
// through the setters.

#include "records/RecordUndo.h"

#include <cstring>
#include <utility>
#include <vector>

#include "records/CRecordDoc.h"

namespace recundo {

namespace {

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

CRecordDoc* Doc(void* ctx) {
    return static_cast<CRecordDoc*>(ctx);
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

}  // namespace

void WriteLocation(CUndoStrm* s, const CRecord* r, u8 field) {
    s->WriteU8(field);
    s->WriteU32(kRecNoIndex);
    for (const CRecord* p = r; p->Parent(); p = p->Parent()) {
        s->WriteU8(p->ParentField());
        s->WriteU32(p->GetIndex());
    }
    s->WriteU8(kRecSelf);
}

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

// A step continuing the previous one keeps the old value recorded there, from before the
// first merged change; the previous body must name the same place.
bool SamePlace(CUndoStrm* s, const CRecord* r, u8 field, CRecordDoc* owner) {
    u8 f;
    return ReadLocation(s, true, owner, &f) == r && f == field;
}

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

}  // namespace recundo
