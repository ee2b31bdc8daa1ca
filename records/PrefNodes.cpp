#include "records/PrefNodes.h"

#include <iterator>
#include <memory>
#include <vector>

#include "base/CharReader.h"
#include "base/TextEncoding.h"
#include "base/TextFormat.h"
#include "records/CChunkFile.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"

namespace {

using namespace RecField;

constexpr RecFieldDesc kDfif[] = {Str(0), Str(0), Str(0)};
constexpr RecFieldDesc kDcts[] = {
    U8(0, 0), U8(0, 255), U8(0), U32(0), List(0, kFamKvs, kKindDfif), List(0, kFamKvs, kKindDfif),
};

struct ContentsSchemas {
    CRecordSchema dfif{kFamKvs, kKindDfif, u32(std::size(kDfif)), kDfif};
    CRecordSchema dcts{kFamKvs, kKindDcts, u32(std::size(kDcts)), kDcts};
};

ContentsSchemas& Contents() {
    static ContentsSchemas s;
    return s;
}

[[maybe_unused]] const bool sRegistered = (RegisterPrefNodeKinds(), true);

// One undo step for a series of setter calls; nothing without a context or owner.
std::unique_ptr<CUndoStrm> OpenGroup(LHandler* ctx, const CRecord* r) {
    if (!ctx || !r->GetOwner()) return nullptr;
    return std::unique_ptr<CUndoStrm>(
        CUndoStrm::Open(ctx, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
}

LString TagKey(u32 tag) {
    LString key;
    OSTypeToString(&key, tag);
    return key;
}

// ---------------------------------------------------------------- preferences walk

// Whether the tree nests at most `limit` levels (the root being level 1).
bool DepthWithin(const CRecord* r, u32 limit) {
    if (limit == 0) return false;
    for (u32 i = 0; i < r->FieldCount(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsTagged()) continue;
        if (d.type == kRecChild) {
            if (const CRecord* c = r->GetChild(f); c && !DepthWithin(c, limit - 1)) return false;
        } else if (d.type == kRecList) {
            for (u32 k = 0; k < r->GetListCount(f); ++k)
                if (const CRecord* it = r->GetListItem(f, k); it && !DepthWithin(it, limit - 1))
                    return false;
        }
    }
    return true;
}

void WriteFields(CPrefNode& node, const CRecord* r) {
    for (u32 i = 0; i < r->FieldCount(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsTagged()) continue;
        const LString key = TagKey(d.tag);
        const char* k = key.CStr();
        switch (d.type) {
            case kRecI32:
            case kRecU32:
                // u32 values travel as their i32 bit pattern, which reads back exactly.
                node.SetInt(k, r->GetI32(f));
                break;
            case kRecU8:
                node.SetInt(k, r->GetU8(f));
                break;
            case kRecF32: {
                LString s;
                FloatToStr(&s, d.digits, double(r->GetF32(f)));
                node.SetString(k, s);
                break;
            }
            case kRecString:
                node.SetString(k, r->GetString(f));
                break;
            case kRecArray: {
                const u32 n = r->GetArrayCount(f);
                const void* data = r->GetArrayData(f);
                if (d.elemType == kRecI32 || d.elemType == kRecU32) {
                    node.SetIntArray(k, static_cast<const i32*>(data), n);
                } else if (d.elemType == kRecU8) {
                    node.SetBytes(k, data, n);
                } else if (d.elemType == kRecF32) {
                    std::vector<double> v(n);
                    for (u32 e = 0; e < n; ++e) v[e] = double(static_cast<const f32*>(data)[e]);
                    node.SetDoubleArray(k, v.data(), n);
                } else if (d.elemType == kRecString) {
                    // A shorter array must not leave the old tail behind.
                    node.RemoveValue(k);
                    CPrefNode child(&node, k);
                    for (u32 e = 0; e < n; ++e)
                        child.SetString(MakeIndexedKey("s", e).CStr(),
                                        static_cast<const LString*>(data)[e]);
                }
                break;
            }
            case kRecChild: {
                const CRecord* c = r->GetChild(f);
                if (!c) {
                    // A stale node would bring the child back when read.
                    node.RemoveValue(k);
                    break;
                }
                CPrefNode child(&node, k);
                WriteFields(child, c);
                break;
            }
            case kRecList: {
                node.RemoveValue(k);
                CPrefNode child(&node, k);
                for (u32 e = 0; e < r->GetListCount(f); ++e) {
                    CPrefNode item(&child, MakeIndexedKey("a", e).CStr());
                    // A null item keeps its place as an empty node.
                    if (const CRecord* it = r->GetListItem(f, e)) WriteFields(item, it);
                }
                break;
            }
            default:
                break;
        }
    }
}

bool ReadFields(CPrefNode& node, CRecord* r, u32 depth) {
    if (depth >= kPrefWalkMaxDepth) return false;
    r->ResetToDefaults();
    for (u32 i = 0; i < r->FieldCount(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsTagged()) continue;
        const LString key = TagKey(d.tag);
        const char* k = key.CStr();
        switch (d.type) {
            case kRecI32:
            case kRecU32:
                r->SetU32(nullptr, f, u32(node.GetInt(k, r->GetI32(f))));
                break;
            case kRecU8:
                r->SetU8(nullptr, f, u8(node.GetInt(k, r->GetU8(f))));
                break;
            case kRecF32: {
                LString s;
                if (node.GetString(k, &s)) r->SetF32(nullptr, f, 0, f32(StrToDouble(s.CStr())));
                break;
            }
            case kRecString: {
                LString s;
                if (node.GetString(k, &s)) r->SetString(nullptr, f, s);
                break;
            }
            case kRecArray:
                if (d.elemType == kRecI32 || d.elemType == kRecU32) {
                    const i32 n = node.GetIntArray(k, nullptr, 0);
                    if (n < 0) break;
                    std::vector<i32> v(size_t(n) + 1);
                    const i32 got = node.GetIntArray(k, v.data(), u32(n));
                    r->SetArray(nullptr, f, v.data(), got < 0 ? 0 : u32(got));
                } else if (d.elemType == kRecU8) {
                    u32 n = 0;
                    if (!node.GetBytes(k, nullptr, &n)) break;
                    std::vector<u8> v(size_t(n) + 1);
                    node.GetBytes(k, v.data(), &n);
                    r->SetArray(nullptr, f, v.data(), n);
                } else if (d.elemType == kRecF32) {
                    const i32 n = node.GetDoubleArray(k, nullptr, 0);
                    if (n < 0) break;
                    std::vector<double> v(size_t(n) + 1);
                    const i32 got = node.GetDoubleArray(k, v.data(), u32(n));
                    std::vector<f32> fv(size_t(n) + 1);
                    for (i32 e = 0; e < got; ++e) fv[size_t(e)] = f32(v[size_t(e)]);
                    r->SetArray(nullptr, f, fv.data(), got < 0 ? 0 : u32(got));
                } else if (d.elemType == kRecString) {
                    CPrefNode child(&node, k, false);
                    if (!child.IsOpen()) break;
                    std::vector<LString> v;
                    LString s;
                    while (child.GetString(MakeIndexedKey("s", u32(v.size())).CStr(), &s))
                        v.push_back(s);
                    r->SetArray(nullptr, f, v.data(), u32(v.size()));
                }
                break;
            case kRecChild: {
                CPrefNode child(&node, k, false);
                if (!child.IsOpen()) break;
                CRecord* c = r->GetChild(f);
                if (!c && d.IsOptional()) {
                    if (CRecord* made =
                            CRecord::New(CRecordSchema::Find(d.def.rec.family, d.def.rec.kind))) {
                        CRecord::Destroy(r->ReplaceChild(nullptr, f, made));
                        c = r->GetChild(f);
                    }
                }
                if (c && !ReadFields(child, c, depth + 1)) return false;
                break;
            }
            case kRecList: {
                const CRecordSchema* schema = CRecordSchema::Find(d.def.rec.family, d.def.rec.kind);
                if (!schema) break;
                CPrefNode child(&node, k, false);
                if (!child.IsOpen()) break;
                for (u32 n = r->GetListCount(f); n > 0; --n) r->RemoveItem(nullptr, f, n - 1);
                for (u32 e = 0;; ++e) {
                    CPrefNode itemNode(&child, MakeIndexedKey("a", e).CStr(), false);
                    if (!itemNode.IsOpen()) break;
                    CRecord* item = CRecord::New(schema);
                    if (!item) break;
                    const bool ok = ReadFields(itemNode, item, depth + 1);
                    if (!ok) {
                        CRecord::Destroy(item);
                        return false;
                    }
                    if (!r->InsertItem(nullptr, f, r->GetListCount(f), item)) break;
                }
                break;
            }
            default:
                break;
        }
    }
    return true;
}

// ---------------------------------------------------------------- parameter nodes

bool IsParamNode(const CRecord* r) {
    return r && r->Family() == kFamUnd && r->Kind() == kKindPrms;
}
bool IsParam(const CRecord* r) {
    return r && r->Family() == kFamUnd && r->Kind() == kKindPram;
}
bool IsTable(const CRecord* r) {
    return r && r->Family() == kFamUnd && r->Kind() == kKindPrmt;
}

CRecord* EntryAt(const CRecord* node, u32 i) {
    CRecord* e = node->GetListItem(PrmsF::prms, i);
    return IsParam(e) ? e : nullptr;
}

i32 FindEntry(const CRecord* node, const char* key) {
    if (!IsParamNode(node)) return -1;
    const u32 n = node->GetListCount(PrmsF::prms);
    for (u32 i = 0; i < n && i < 0x7FFFFFFFu; ++i) {
        const CRecord* e = EntryAt(node, i);
        if (e && StrEqual(e->GetString(PramF::key).CStr(), key)) return i32(i);
    }
    return -1;
}

CRecord* NewEntry(const CRecord* node, const char* key) {
    const RecFieldDesc& d = node->Desc(PrmsF::prms);
    CRecord* e = CRecord::New(CRecordSchema::Find(d.def.rec.family, d.def.rec.kind));
    if (IsParam(e)) {
        e->SetString(nullptr, PramF::key, LString(key));
        return e;
    }
    CRecord::Destroy(e);
    return nullptr;
}

}  // namespace

void RegisterPrefNodeKinds() {
    (void)Contents();
    static const bool hooked = (SetParamTableHook(ParamTableHook), true);
    (void)hooked;
}

bool WriteToPrefNode(CPrefNode& node, const CRecord* record) {
    if (!record) return true;
    if (!DepthWithin(record, kPrefWalkMaxDepth)) return false;
    WriteFields(node, record);
    return true;
}

bool ReadFromPrefNode(CPrefNode& node, CRecord* record) {
    return record && ReadFields(node, record, 0);
}

i32 NodeFind(const CRecord* node, const char* key, LString* value) {
    const i32 i = FindEntry(node, key);
    if (i >= 0 && value) *value = EntryAt(node, u32(i))->GetString(PramF::value);
    return i;
}

void NodeSet(CRecord* node, LHandler* ctx, const char* key, const LString& value) {
    const i32 i = FindEntry(node, key);
    if (value.IsEmpty()) {
        if (i >= 0) node->RemoveItem(ctx, PrmsF::prms, u32(i));
        return;
    }
    if (i >= 0) {
        CRecord* e = EntryAt(node, u32(i));
        if (e->GetChild(PramF::prms)) {
            std::unique_ptr<CUndoStrm> group = OpenGroup(ctx, node);
            e->RemoveChild(ctx, PramF::prms);
            e->SetString(ctx, PramF::value, value, 1);
        } else {
            e->SetString(ctx, PramF::value, value, 1);
        }
        return;
    }
    if (!IsParamNode(node)) return;
    if (CRecord* e = NewEntry(node, key)) {
        e->SetString(nullptr, PramF::value, value);
        node->InsertItem(ctx, PrmsF::prms, node->GetListCount(PrmsF::prms), e);
    }
}

CRecord* NodeGetSubNode(const CRecord* node, const char* key) {
    const i32 i = FindEntry(node, key);
    return i >= 0 ? EntryAt(node, u32(i))->GetChild(PramF::prms) : nullptr;
}

CRecord* NodeGetOrCreate(CRecord* node, LHandler* ctx, const char* key) {
    if (!IsParamNode(node)) return nullptr;
    std::unique_ptr<CUndoStrm> group = OpenGroup(ctx, node);
    const i32 i = FindEntry(node, key);
    CRecord* e = i >= 0 ? EntryAt(node, u32(i)) : NewEntry(node, key);
    // A listener may move the insertion; the entry is followed by pointer.
    if (i < 0 && (!e || !node->InsertItem(ctx, PrmsF::prms, node->GetListCount(PrmsF::prms), e)))
        return nullptr;
    if (!e->GetChild(PramF::prms)) {
        e->SetString(ctx, PramF::value, LString());
        CRecord::Destroy(e->ReplaceChild(ctx, PramF::prms, NewParamNodeRecord()));
    }
    return e->GetChild(PramF::prms);
}

i32 NodeGetInt(const CRecord* node, const char* key, i32* out) {
    LString v;
    const i32 i = NodeFind(node, key, &v);
    if (i >= 0) {
        const long n = StrToLong(v.CStr());
        *out = n > 0x7FFFFFFFL ? 0x7FFFFFFF : n < -0x7FFFFFFFL - 1 ? i32(-0x7FFFFFFFL - 1) : i32(n);
    }
    return i;
}

i32 NodeGetFloat(const CRecord* node, const char* key, f32* out) {
    LString v;
    const i32 i = NodeFind(node, key, &v);
    if (i >= 0) *out = f32(StrToDouble(v.CStr()));
    return i;
}

f32 NodeGetFloatOr(const CRecord* node, const char* key, f32 def) {
    NodeGetFloat(node, key, &def);
    return def;
}

i32 NodeGetIntOr(const CRecord* node, const char* key, i32 def) {
    NodeGetInt(node, key, &def);
    return def;
}

LString& NodeGetText(LString* out, const CRecord* node, const char* key, const char* def) {
    if (NodeFind(node, key, out) < 0) *out = LString(def);
    return *out;
}

LString& NodeGetStrOr(LString* out, const CRecord* node, const char* key, const char* def) {
    return NodeGetText(out, node, key, def);
}

void NodeSetInt(CRecord* node, LHandler* ctx, const char* key, i32 value) {
    LString s;
    NodeSet(node, ctx, key, NumToStr(&s, value));
}

void NodeSetIntC(CRecord* node, const char* key, i32 value) {
    NodeSetInt(node, nullptr, key, value);
}

void NodeSetFloat(CRecord* node, LHandler* ctx, const char* key, u32 digits, f32 value) {
    LString s;
    NodeSet(node, ctx, key, FloatToStr(&s, digits, double(value)));
}

LRect GetRectFromString(const CRecord* node, const char* key) {
    LString v;
    if (NodeFind(node, key, &v) < 0) return LRect();
    LStrReader reader(v);
    i32 n[4];
    for (i32& x : n)
        if (!ReaderReadInt(reader, &x)) return LRect();
    return LRect(n[0], n[1], n[2], n[3]);
}

void SetRectAsString(CRecord* node, const char* key, const LRect& r) {
    std::string text;
    for (i32 x : {r.left, r.top, r.right, r.bottom}) {
        if (!text.empty()) text += ' ';
        text += std::to_string(x);
    }
    NodeSet(node, nullptr, key, LString(std::string_view(text)));
}

// ---------------------------------------------------------------- parameter tables

namespace {

CRecord* NextCell(CChunkFile* reader) {
    if (reader) {
        CRecord* r = reader->ReadRecord();
        if (IsParamNode(r)) return r;
        CRecord::Destroy(r);
    }
    return NewParamNodeRecord();
}

// Inserting brackets the edit with serials and a mode so listeners can tell one
// row or column insertion from a run of separate cell changes.
// Field 3 counts structural changes as they start and field 2 takes its value
// when one is complete, as the row removal does: watchers compare the two.
void BeginTableInsert(CRecord* table, LHandler* ctx, u8 mode, u32 index) {
    table->SetU8(ctx, PrmtF::inserting, mode);
    table->SetU32(ctx, PrmtF::changeIndex, index);
    table->SetU32(ctx, PrmtF::doneSerial, table->GetU32(PrmtF::doneSerial) + 1);
}

void EndTableInsert(CRecord* table, LHandler* ctx, u32 index) {
    table->SetU32(ctx, PrmtF::editSerial, table->GetU32(PrmtF::doneSerial));
    table->SetU32(ctx, PrmtF::changeIndex, index);
    table->SetU8(ctx, PrmtF::inserting, 0);
}

// More column steps than this are not announced one by one: a malformed count
// must not flood the listeners.
constexpr u32 kMaxShownSteps = 1024;

}  // namespace

void ParamTableGetSize(const CRecord* table, u32* cols, u32* rows) {
    *cols = *rows = 0;
    if (!IsTable(table)) return;
    *cols = table->GetU32(PrmtF::cols);
    *rows = *cols ? table->GetListCount(PrmtF::elms) / *cols : 0;
}

void ParamTableTrim(CRecord* table, u32 cols, u32 rows) {
    if (!IsTable(table)) return;
    const u64 keep = u64(cols) * rows;
    for (u32 n = table->GetListCount(PrmtF::elms); n > keep; --n)
        table->RemoveItem(nullptr, PrmtF::elms, n - 1);
}

void ParamTableInsertRow(CRecord* table, LHandler* ctx, u32 row, CChunkFile* reader) {
    if (!IsTable(table)) return;
    u32 cols, rows;
    ParamTableGetSize(table, &cols, &rows);
    if (row > rows) row = rows;
    ParamTableTrim(table, cols, rows);
    std::unique_ptr<CUndoStrm> group = OpenGroup(ctx, table);
    BeginTableInsert(table, ctx, 1, row);
    for (u32 k = 0; k < cols; ++k)
        table->InsertItem(ctx, PrmtF::elms, row * cols + k, NextCell(reader));
    EndTableInsert(table, ctx, row);
}

void ParamTableInsertColumn(CRecord* table, LHandler* ctx, u32 column, CChunkFile* reader) {
    if (!IsTable(table)) return;
    u32 cols, rows;
    ParamTableGetSize(table, &cols, &rows);
    if (column > cols) column = cols;
    ParamTableTrim(table, cols, rows);
    std::unique_ptr<CUndoStrm> group = OpenGroup(ctx, table);
    BeginTableInsert(table, ctx, 2, column);
    for (u32 r = 0; r < rows; ++r)
        table->InsertItem(ctx, PrmtF::elms, r * (cols + 1) + column, NextCell(reader));
    table->SetU32(ctx, PrmtF::cols, cols + 1);
    EndTableInsert(table, ctx, column);
}

i32 ParamTableHook(u32 op, void* argument) {
    if (op != CRecordSchema::kHookNotice) return 0;
    CRecordNote* note = static_cast<CRecordNote*>(argument);
    CRecord* t = note->record;
    if (!IsTable(t) || note->kind != CRecordNote::kChanged || note->field != PrmtF::cols) return 0;
    const u32 cols = t->GetU32(PrmtF::cols);
    u32 shown = t->GetU32(PrmtF::shownCols);
    if (t->GetU8(PrmtF::inserting) != 0) {
        t->Slots()[PrmtF::shownCols] = cols;
        return 1;
    }
    CRecordDoc* owner = t->GetOwner();
    const u32 index = t->GetIndex();
    auto announce = [&] {
        t->Notify(note->context, owner, CRecordNote::kChanged, PrmtF::shownCols, 0, index);
    };
    u32 steps = 0;
    while (shown != cols) {
        if (++steps > kMaxShownSteps) {
            t->Slots()[PrmtF::shownCols] = cols;
            announce();
            break;
        }
        if (shown < cols) {
            announce();
            t->Slots()[PrmtF::shownCols] = ++shown;
        } else {
            t->Slots()[PrmtF::shownCols] = --shown;
            announce();
        }
    }
    return 1;
}

// ---------------------------------------------------------------- device contents

namespace {

bool IsContents(const CRecord* r) {
    return r && r->Family() == kFamKvs && r->Kind() == kKindDcts;
}

u8 ListField(u32 which) {
    return which == 0 ? u8(DctsF::recordings) : which == 1 ? u8(DctsF::audio) : kRecSelf;
}

const CRecord* FileAt(const CRecord* r, u32 which, u32 index) {
    const u8 f = ListField(which);
    if (!IsContents(r) || f == kRecSelf || index >= r->GetListCount(f)) return nullptr;
    const CRecord* e = r->GetListItem(f, index);
    return e && e->Family() == kFamKvs && e->Kind() == kKindDfif ? e : nullptr;
}

const char* NameOf(const CRecord* e) {
    return e ? e->GetString(DfifF::name).CStr() : "";
}

}  // namespace

CRecord* NewDeviceContentsRecord() {
    return CRecord::New(&Contents().dcts);
}

u32 NodeListCount(const CRecord* record, u32 which) {
    const u8 f = ListField(which);
    return IsContents(record) && f != kRecSelf ? record->GetListCount(f) : 0;
}

LString& NodeListText(LString* out, const CRecord* record, u32 which, u32 index) {
    const CRecord* e = FileAt(record, which, index);
    *out = e ? e->GetString(DfifF::name) : LString();
    return *out;
}

LString& NodeListItemText2(LString* out, const CRecord* record, u32 which, u32 index) {
    const CRecord* e = FileAt(record, which, index);
    *out = e ? e->GetString(DfifF::info) : LString();
    return *out;
}

u64 NodeListItemNumber(const CRecord* record, u32 which, u32 index) {
    const CRecord* e = FileAt(record, which, index);
    return e ? StrToULongLong(e->GetString(DfifF::number).CStr()) : 0;
}

i32 NodeListFindLast(const CRecord* record, u32 which, const char* name) {
    for (u32 i = NodeListCount(record, which); i-- > 0;) {
        const CRecord* e = FileAt(record, which, i);
        if (e && StrEqual(NameOf(e), name)) return i > 0x7FFFFFFFu ? -1 : i32(i);
    }
    return -1;
}

u64 NodeListFindNumber(const CRecord* record, const char* name) {
    for (u32 which : {0u, 1u}) {
        const i32 i = NodeListFindLast(record, which, name);
        if (i >= 0) return NodeListItemNumber(record, which, u32(i));
    }
    return 0;
}

i32 NodeListWhichOfField(u8 field) {
    return field == DctsF::recordings ? 0 : field == DctsF::audio ? 1 : -1;
}

void NodeListInsertSorted(CRecord* record, u32 which, const char* name, const char* number,
                          const char* info) {
    const u8 f = ListField(which);
    if (!IsContents(record) || f == kRecSelf) return;
    u32 lo = 0, hi = record->GetListCount(f);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (TextCompareLocale(NameOf(FileAt(record, which, mid)), name ? name : "") <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    CRecord* e = CRecord::New(&Contents().dfif);
    if (!e) return;
    e->SetString(nullptr, DfifF::name, LString(name));
    e->SetString(nullptr, DfifF::number, LString(number));
    e->SetString(nullptr, DfifF::info, LString(info));
    record->InsertItem(nullptr, f, lo, e);
}

void NodeListSetItemTexts(CRecord* record, u32 which, u32 index, const char* number,
                          const char* info) {
    CRecord* e = const_cast<CRecord*>(FileAt(record, which, index));
    if (!e) return;
    e->SetString(nullptr, DfifF::number, LString(number));
    e->SetString(nullptr, DfifF::info, LString(info));
}

void NodeListRemoveByName(CRecord* record, u32 which, const char* name) {
    const i32 i = NodeListFindLast(record, which, name);
    if (i >= 0) record->RemoveItem(nullptr, ListField(which), u32(i));
}

void SignalFileListChanged(CRecord* record) {
    if (!IsContents(record)) return;
    record->Slots()[DctsF::listChanged] = 0;
    record->SetBool(nullptr, DctsF::listChanged, true);
}

void SignalSequenceChosen(CRecord* record, u32 value) {
    if (!IsContents(record)) return;
    // Anything but the new value, so that choosing 0 is announced too.
    record->Slots()[DctsF::seqChosen] = value == 0 ? 1 : 0;
    record->SetU32(nullptr, DctsF::seqChosen, value);
}
