#include "records/PropRecord.h"

#include <algorithm>
#include <vector>

#include "base/TextFormat.h"
#include "records/CRecordDoc.h"
#include "records/LRecPath.h"

// The value boxes live here, beside the reader, so that every program able to read
// record chunks has them registered.
namespace {
using namespace RecField;
const RecFieldDesc kI32Box[] = {I32(RecBox::kValue, 0, kRecTransient)};
const RecFieldDesc kU32Box[] = {U32(RecBox::kValue, 0, kRecTransient)};
const RecFieldDesc kU8Box[] = {U8(RecBox::kValue, 0, kRecTransient)};
const RecFieldDesc kF32Box[] = {F32(RecBox::kValue, 0, 1, kRecTransient)};
const RecFieldDesc kStrBox[] = {Str(RecBox::kValue, "", kRecTransient)};
const RecFieldDesc kArrayBox[] = {
    Array(FourCC("inta"), kRecI32, 0, kRecTransient),
    Array(FourCC("uina"), kRecU32, 0, kRecTransient),
    Array(FourCC("ucha"), kRecU8, 0, kRecTransient),
    Array(FourCC("rela"), kRecF32, 1, kRecTransient),
    Array(FourCC("stra"), kRecString, 0, kRecTransient),
    List(FourCC("uary"), 0, 0, kRecTransient | kRecUntyped | kRecOptional),
};

CRecordSchema gI32Box(RecBox::kFamily, RecBox::kI32, 1, kI32Box);
CRecordSchema gU32Box(RecBox::kFamily, RecBox::kU32, 1, kU32Box);
CRecordSchema gU8Box(RecBox::kFamily, RecBox::kU8, 1, kU8Box);
CRecordSchema gF32Box(RecBox::kFamily, RecBox::kF32, 1, kF32Box);
CRecordSchema gStrBox(RecBox::kFamily, RecBox::kStr, 1, kStrBox);
CRecordSchema gArrayBox(RecBox::kFamily, RecBox::kArray, 6, kArrayBox);

}  // namespace

u32 RecBox::ArrayTag(u8 elemType) {
    for (const RecFieldDesc& d : kArrayBox)
        if (d.type == kRecArray && d.elemType == elemType) return d.tag;
    return 0;
}

const CRecordSchema* RecBox::Schema(u32 kind) {
    for (const CRecordSchema* s : {&gI32Box, &gU32Box, &gU8Box, &gF32Box, &gStrBox, &gArrayBox})
        if (s->Kind() == kind) return s;
    return nullptr;
}

namespace PropRecord {

// ---------------------------------------------------------------- writing

void WriteFloat(CChunkWriter& w, f32 value, u8 digits) {
    LString s;
    FloatToStr(&s, digits, double(value));
    w.WriteText(s.CStr(), s.Length());
}

void WriteElement(CChunkWriter& w, u8 elemType, u8 digits, const void* element) {
    switch (elemType) {
        case kRecI32:
        case kRecU32:
            w.WriteU32(*static_cast<const u32*>(element));
            break;
        case kRecU8:
            w.WriteU8(*static_cast<const u8*>(element));
            break;
        case kRecF32:
            WriteFloat(w, *static_cast<const f32*>(element), digits);
            break;
        case kRecString: {
            const LString& s = *static_cast<const LString*>(element);
            w.WriteText(s.CStr(), s.Length());
            break;
        }
        default:
            break;
    }
}

void WriteBody(CChunkWriter& w, const CRecord* record) {
    w.WriteU32(record->Kind());
    const u32 n = record->FieldCount();
    u32 i = 0;
    bool open = false;
    CChunkWriter pr;
    for (; i < n; ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = record->Desc(f);
        if (!d.IsTagged()) continue;
        if (d.type >= kRecArray) break;
        if (!open) {
            pr.OpenSub(w, kScalars);
            open = true;
        }
        switch (d.type) {
            case kRecI32:
            case kRecU32:
                pr.WriteU32(record->GetU32(f));
                break;
            case kRecU8:
                pr.WriteU8(record->GetU8(f));
                break;
            case kRecF32:
                WriteFloat(pr, record->GetF32(f), d.digits);
                break;
            case kRecString:
                pr.WriteText(record->GetString(f).CStr(), record->GetString(f).Length());
                break;
            default:
                break;
        }
    }
    if (open) pr.Close();
    for (; i < n; ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = record->Desc(f);
        if (!d.IsTagged()) continue;
        CChunkWriter sub;
        if (d.type == kRecList && record->GetListCount(f)) {
            sub.OpenSub(w, kList);
            sub.WriteU32(d.tag);
            for (u32 k = 0; k < record->GetListCount(f); ++k)
                WriteSub(sub, record->GetListItem(f, k));
            sub.Close();
        } else if (d.type == kRecChild && record->GetChild(f)) {
            sub.OpenSub(w, kChild);
            sub.WriteU32(d.tag);
            WriteSub(sub, record->GetChild(f));
            sub.Close();
        } else if (d.type == kRecArray && d.elemType <= kRecString && record->GetArrayCount(f)) {
            sub.OpenSub(w, kArray);
            sub.WriteU32(d.tag);
            const u32 size = RecElementSize(d.elemType);
            const u8* data = static_cast<const u8*>(record->GetArrayData(f));
            const u32 count = record->GetArrayCount(f);
            if (d.elemType == kRecU8) {
                sub.WriteBytes(data, count);
            } else {
                for (u32 k = 0; k < count; ++k)
                    WriteElement(sub, d.elemType, d.digits, data + size_t(k) * size);
            }
            sub.Close();
        }
    }
}

void WriteSub(CChunkWriter& parent, const CRecord* record) {
    CChunkWriter w;
    if (!record) {
        w.OpenSub(parent, kNullFamily);
        w.WriteU32(kNullKind);
    } else {
        w.OpenSub(parent, record->Family());
        WriteBody(w, record);
    }
    w.Close();
}

namespace {

// Collects a whole chunk in memory so that the target stream sees one write and
// no seeks back to patch lengths.
class CStageStrm final : public CStrm {
public:
    CStageStrm() : CStrm(kModeWrite) {}
    void SetPosition(u64 position) override { fPosition = position; }
    void SetSize() override { fEnd = fPosition; }
    void Write(const void* bytes, u64 length) override {
        if (fError) return;
        const u64 need = fPosition + length;
        if (need > 0x7FFFFFFF) {
            SetError(kErrWrite);
            return;
        }
        if (need > fBuf.Capacity() && !fBuf.Reserve(u32(need), u32(need), true) &&
            !fBuf.Reserve(u32(need), 0, true)) {
            SetError(kErrWrite);
            return;
        }
        std::memcpy(fBuf.Data() + fPosition, bytes, size_t(length));
        fPosition = need;
        if (fPosition > fEnd) fEnd = fPosition;
    }
    void Read(void*, u64* length) override { *length = 0; }
    const u8* Data() const { return fBuf.Data(); }
    u64 Size() const { return fEnd; }

private:
    LDataBuf fBuf;
    u64 fEnd = 0;
};

}  // namespace

void Write(CStrm* strm, const CRecord* record) {
    strm->SetSize();
    CStageStrm stage;
    CChunkWriter w;
    if (!record) {
        w.Open(&stage, kNullFamily);
        w.WriteU32(kNullKind);
    } else {
        w.Open(&stage, record->Family());
        WriteBody(w, record);
    }
    w.Close();
    if (stage.Error())
        strm->SetError(CStrm::kErrWrite);
    else
        strm->Write(stage.Data(), stage.Size());
}

// ---------------------------------------------------------------- depth check

namespace {

bool CheckRecord(CChunkReader& r, u32 depth, bool directItems) {
    if (depth >= kMaxDepth) return false;
    u32 kind;
    if (!r.ReadU32(&kind)) return true;
    for (;;) {
        CChunkReader sub;
        sub.OpenSub(r);
        if (!sub.Tag()) break;
        if (directItems) {
            if (!CheckRecord(sub, depth + 1, false)) return false;
        } else if (sub.Tag() == kChild || sub.Tag() == kList) {
            u32 tag;
            if (sub.ReadU32(&tag)) {
                for (;;) {
                    CChunkReader c;
                    c.OpenSub(sub);
                    if (!c.Tag()) break;
                    if (!CheckRecord(c, depth + 1, false)) return false;
                    c.Close();
                }
            }
        }
        sub.Close();
    }
    return true;
}

}  // namespace

bool CheckDepth(CStrm* strm, u32 depth) {
    const u64 pos = strm->Position();
    CChunkReader r;
    r.Open(strm);
    const bool ok = !r.Tag() || CheckRecord(r, depth, false);
    strm->SetPosition(pos);
    return ok;
}

// Items of a list box ('YUND'/'CMAR' followed directly by record chunks).
bool CheckItemsDepth(CStrm* strm, u32 depth) {
    const u64 pos = strm->Position();
    CChunkReader r;
    r.Open(strm);
    const bool ok = !r.Tag() || CheckRecord(r, depth, true);
    strm->SetPosition(pos);
    return ok;
}

// ---------------------------------------------------------------- size check

namespace {

u32 BigEndian32(const u8* p) {
    return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | u32(p[3]);
}

// The chunk header at pos: false unless all of the chunk lies before limit.
bool FitsIn(CStrm* strm, u64 pos, u64 limit, u32* tag, u64* end) {
    if (limit < pos || limit - pos < 8) return false;
    u8 header[8];
    u64 n = sizeof header;
    strm->SetPosition(pos);
    strm->Read(header, &n);
    if (n != sizeof header) return false;
    *tag = BigEndian32(header);
    *end = pos + 8 + BigEndian32(header + 4);
    return *end <= limit;
}

bool RecordsFill(CStrm* strm, u64 pos, u64 end, u32 depth);

// A record chunk's payload [pos, end): its kind, then sub-chunks up to end.
bool BodyFills(CStrm* strm, u32 family, u64 pos, u64 end, u32 depth) {
    if (depth >= kMaxDepth || end - pos < 4) return false;
    u8 kind[4];
    u64 n = sizeof kind;
    strm->SetPosition(pos);
    strm->Read(kind, &n);
    if (n != sizeof kind) return false;
    // A list box holds its items' record chunks directly.
    const bool items = family == RecBox::kFamily && BigEndian32(kind) == RecBox::kArray;
    for (pos += 4; pos < end;) {
        u32 tag;
        u64 subEnd;
        if (!FitsIn(strm, pos, end, &tag, &subEnd)) return false;
        const u64 body = pos + 8;
        bool ok = true;
        if (tag == kChild || tag == kList)
            ok = subEnd - body >= 4 && RecordsFill(strm, body + 4, subEnd, depth + 1);
        else if (items && tag != kArray)
            ok = BodyFills(strm, tag, body, subEnd, depth + 1);
        if (!ok) return false;
        // The pad byte of an odd chunk, which a sender may leave off at its parent's end.
        pos = std::min(subEnd + ((subEnd - pos) & 1), end);
    }
    return true;
}

// Record chunks one after the other, filling [pos, end).
bool RecordsFill(CStrm* strm, u64 pos, u64 end, u32 depth) {
    while (pos < end) {
        u32 family;
        u64 recEnd;
        if (!FitsIn(strm, pos, end, &family, &recEnd) ||
            !BodyFills(strm, family, pos + 8, recEnd, depth))
            return false;
        pos = std::min(recEnd + ((recEnd - pos) & 1), end);
    }
    return true;
}

}  // namespace

bool ReplyWhole(CStrm* strm) {
    if (!ReplyChunkWhole(strm)) return false;
    u8 header[8];
    u64 n = sizeof header;
    strm->Read(header, &n);
    // ReplyChunkWhole passed: no byte at all, or the header and every declared byte.
    const bool ok =
        n == 0 || BodyFills(strm, BigEndian32(header), 8, 8 + u64(BigEndian32(header + 4)), 0);
    strm->SetPosition(0);
    return ok && strm->Error() == CStrm::kErrNone;
}

// ---------------------------------------------------------------- reading

bool ReadFloat(CChunkReader& r, f32* out) {
    // Number texts are short: parse them from the stack.
    const u64 remaining = r.Remaining();
    char text[64];
    u64 n = remaining < sizeof(text) - 1 ? remaining : sizeof(text) - 1;
    const u64 pos = r.Strm()->Position();
    if (n) r.Strm()->Read(text, &n);
    const void* zero = n ? std::memchr(text, 0, size_t(n)) : nullptr;
    if (!zero) {
        r.Strm()->SetPosition(pos);
        LString s;
        if (!r.ReadString(&s)) return false;
        *out = f32(StrToDouble(s.CStr()));
        return true;
    }
    r.Strm()->SetPosition(pos + u64(static_cast<const char*>(zero) - text) + 1);
    *out = f32(StrToDouble(text));
    return true;
}

namespace {

void SwapFromBigEndian(u8* p, u32 count) {
    for (u32 k = 0; k < count; ++k, p += 4) {
        const u32 v = (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | u32(p[3]);
        std::memcpy(p, &v, 4);
    }
}

void Mark(u64* seen, u8 f) {
    seen[f >> 6] |= u64(1) << (f & 63);
}
bool Seen(const u64* seen, u8 f) {
    return (seen[f >> 6] >> (f & 63)) & 1;
}

void ReadScalars(CChunkReader& sub, CRecord* rec, u64* seen) {
    for (u32 i = 0; i < rec->FieldCount(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = rec->Desc(f);
        if (!d.IsTagged()) continue;
        if (d.type > kRecString) break;
        switch (d.type) {
            case kRecI32:
            case kRecU32: {
                u32 v;
                if (!sub.ReadU32(&v)) return;
                rec->SetU32(nullptr, f, v);
                break;
            }
            case kRecU8: {
                u8 v;
                if (!sub.ReadU8(&v)) return;
                rec->SetU8(nullptr, f, v);
                break;
            }
            case kRecF32: {
                f32 v;
                if (!ReadFloat(sub, &v)) return;
                rec->SetF32(nullptr, f, 0, v);
                break;
            }
            case kRecString: {
                LString v;
                if (!sub.ReadString(&v)) return;
                rec->SetString(nullptr, f, v);
                break;
            }
            default:
                break;
        }
        Mark(seen, f);
    }
}

// Overwrites differing elements, appends extra ones, removes the surplus; one notice.
void ReadArrayElements(CChunkReader& sub, CRecord* rec, u8 f) {
    const RecFieldDesc& d = rec->Desc(f);
    bool changed = false;
    u32 i = 0;
    if (d.elemType == kRecString) {
        CStrArray* a = rec->StrArraySlot(f);
        LString v;
        while (sub.ReadString(&v)) {
            if (i < a->Count()) {
                if (!(a->At(i) == v)) {
                    a->At(i) = v;
                    changed = true;
                }
            } else if (a->InsertAt(i, v)) {
                changed = true;
            } else {
                break;
            }
            ++i;
        }
        while (a->Count() > i) {
            a->RemoveAt(a->Count() - 1);
            changed = true;
        }
    } else if (d.elemType == kRecF32) {
        LArray* a = rec->ArraySlot(f);
        for (;;) {
            f32 fv;
            if (!ReadFloat(sub, &fv)) break;
            if (i < a->Count()) {
                f32* cur = static_cast<f32*>(a->At(i));
                if (std::memcmp(cur, &fv, 4) != 0) {
                    std::memcpy(cur, &fv, 4);
                    changed = true;
                }
            } else if (a->InsertAt(i, &fv)) {
                changed = true;
            } else {
                break;
            }
            ++i;
        }
        if (a->Count() > i) {
            a->RemoveAt(i, a->Count() - i);
            changed = true;
        }
    } else {
        // Fixed-size elements: the rest of the chunk in one read.
        LArray* a = rec->ArraySlot(f);
        const u32 size = RecElementSize(d.elemType);
        // Lengths can lie (past the stream): collect only what actually arrives.
        std::vector<u8> data;
        for (;;) {
            u8 block[4096];
            const u64 remaining = sub.Remaining();
            u64 got = remaining < sizeof(block) ? remaining : sizeof(block);
            got -= got % size;
            if (!got) break;
            sub.Strm()->Read(block, &got);
            got -= got % size;
            if (!got) break;
            data.insert(data.end(), block, block + got);
        }
        i = u32(data.size() / size);
        if (size == 4) SwapFromBigEndian(data.data(), i);
        if (i != a->Count() || (i && std::memcmp(a->Data(), data.data(), size_t(i) * size) != 0)) {
            if (!i || !a->SetAll(data.data(), i)) a->RemoveAt(0, a->Count());
            changed = true;
        }
    }
    if (changed)
        rec->Notify(nullptr, rec->GetOwner(), CRecordNote::kChanged, f, kRecNoIndex,
                    rec->GetIndex());
}

const CRecordSchema* Resolve(void* ctx, RecResolver resolver, u32 family, u32 kind, CRecord* parent,
                             u8 field) {
    return resolver ? resolver(ctx, family, kind, parent, field)
                    : CRecordSchema::Find(family, kind);
}

// Makes the record a child or list item chunk asks for. *made is null when the chunk
// gives no record (ignored, unregistered, or the null record). False: creation failed.
bool MakeFromChunk(CChunkReader& c, u32 kind, CRecord* rec, u8 field, void* ctx,
                   RecResolver resolver, u32 depth, CRecord** made, bool* clears) {
    const RecFieldDesc& d = rec->Desc(field);
    const u32 family = c.Tag();
    *made = nullptr;
    *clears = d.IsOptional();
    const bool isNull = family == kNullFamily && kind == kNullKind;
    if (!d.IsUntyped() && (family != d.def.rec.family || kind != d.def.rec.kind)) {
        // Another kind in a typed slot: only the null record or an unregistered kind
        // may clear an optional one.
        *clears = d.IsOptional() && (isNull || !CRecordSchema::Find(family, kind));
        return true;
    }
    if (isNull) return true;
    const CRecordSchema* schema = Resolve(ctx, resolver, family, kind, rec, field);
    if (!schema) return true;
    CRecord* nr = CRecord::New(schema);
    if (!nr) return false;
    if (schema->Family() == family && schema->Kind() == kind &&
        !ReadBody(c, nr, ctx, resolver, depth)) {
        CRecord::Destroy(nr);
        return false;
    }
    *made = nr;
    return true;
}

}  // namespace

ChildResult ReadChild(CChunkReader& c, CRecord* rec, u8 field, void* ctx, RecResolver resolver,
                      u32 depth) {
    const RecFieldDesc& d = rec->Desc(field);
    u32 kind;
    if (!c.Tag() || !c.ReadU32(&kind)) {
        if (!d.IsOptional()) return kChildIgnored;
        rec->RemoveChild(nullptr, field);
        return kChildDone;
    }
    CRecord* cur = rec->GetChild(field);
    if (cur && cur->Family() == c.Tag() && cur->Kind() == kind)
        return ReadBody(c, cur, ctx, resolver, depth) ? kChildDone : kChildFailed;
    CRecord* nr;
    bool clears;
    if (!MakeFromChunk(c, kind, rec, field, ctx, resolver, depth, &nr, &clears))
        return kChildFailed;
    if (!nr && !clears) return kChildIgnored;
    CRecord::Destroy(rec->ReplaceChild(nullptr, field, nr));
    return kChildDone;
}

bool ReadList(CChunkReader& parent, CRecord* rec, u8 field, void* ctx, RecResolver resolver,
              u32 depth) {
    u32 p = 0;
    for (;;) {
        CChunkReader it;
        it.OpenSub(parent);
        if (!it.Tag()) break;
        u32 kind;
        if (!it.ReadU32(&kind)) {
            it.Close();
            continue;
        }
        const u32 count = rec->GetListCount(field);
        CRecord* item = p < count ? rec->GetListItem(field, p) : nullptr;
        if (item && item->Family() == it.Tag() && item->Kind() == kind) {
            if (!ReadBody(it, item, ctx, resolver, depth)) return false;
            ++p;
        } else {
            CRecord* nr;
            bool clears;
            if (!MakeFromChunk(it, kind, rec, field, ctx, resolver, depth, &nr, &clears))
                return false;
            if (nr || clears) {
                if (p < count) rec->RemoveItem(nullptr, field, p);
                if (!rec->InsertItem(nullptr, field, p, nr)) return false;
                ++p;
            }
        }
        it.Close();
    }
    for (u32 n = rec->GetListCount(field); n > p; --n) rec->RemoveItem(nullptr, field, n - 1);
    return true;
}

bool ReadBody(CChunkReader& reader, CRecord* rec, void* ctx, RecResolver resolver, u32 depth) {
    if (depth >= kMaxDepth) return false;
    u64 seen[4] = {0, 0, 0, 0};
    const CRecordSchema* schema = rec->Schema();
    for (;;) {
        CChunkReader sub;
        sub.OpenSub(reader);
        if (!sub.Tag()) break;
        u32 tag;
        switch (sub.Tag()) {
            case kScalars:
                ReadScalars(sub, rec, seen);
                break;
            case kChild:
                if (sub.ReadU32(&tag)) {
                    const i32 f = schema->FindTag(tag);
                    if (f >= 0 && schema->Field(u32(f)).type == kRecChild) {
                        CChunkReader c;
                        c.OpenSub(sub);
                        if (ReadChild(c, rec, u8(f), ctx, resolver, depth + 1) == kChildFailed)
                            return false;
                        Mark(seen, u8(f));
                    }
                }
                break;
            case kList:
                if (sub.ReadU32(&tag)) {
                    const i32 f = schema->FindTag(tag);
                    if (f >= 0 && schema->Field(u32(f)).type == kRecList) {
                        if (!ReadList(sub, rec, u8(f), ctx, resolver, depth + 1)) return false;
                        Mark(seen, u8(f));
                    }
                }
                break;
            case kArray:
                if (sub.ReadU32(&tag)) {
                    const i32 f = schema->FindTag(tag);
                    if (f >= 0 && schema->Field(u32(f)).type == kRecArray) {
                        if (schema->Field(u32(f)).elemType <= kRecString)
                            ReadArrayElements(sub, rec, u8(f));
                        Mark(seen, u8(f));
                    }
                }
                break;
            default:
                break;
        }
        sub.Close();
    }
    for (u32 i = rec->FieldCount(); i-- > 0;)
        if (rec->Desc(u8(i)).IsTagged() && !Seen(seen, u8(i))) rec->ResetField(u8(i));
    return true;
}

CRecord* BuildFromChunk(CChunkReader& reader, u32 kind, void* ctx, RecResolver resolver,
                        u32 depth) {
    const CRecordSchema* schema = Resolve(ctx, resolver, reader.Tag(), kind, nullptr, kRecSelf);
    CRecord* rec = CRecord::New(schema);
    if (!rec) return nullptr;
    if (!ReadBody(reader, rec, ctx, resolver, depth)) {
        CRecord::Destroy(rec);
        return nullptr;
    }
    return rec;
}

CRecord* ReadNew(CStrm* strm, void* ctx, RecResolver resolver) {
    if (!CheckDepth(strm, 0)) {
        CChunkReader skip;
        skip.Open(strm);
        skip.Close();
        return nullptr;
    }
    CChunkReader r;
    r.Open(strm);
    if (!r.Tag()) return nullptr;
    u32 kind;
    CRecord* rec = r.ReadU32(&kind) ? BuildFromChunk(r, kind, ctx, resolver, 0) : nullptr;
    r.Close();
    return rec;
}

namespace {

bool ReadIntoWith(CStrm* strm, CRecord* rec, bool reset, void* ctx, RecResolver resolver) {
    const bool deepEnough = CheckDepth(strm, rec->Depth());
    CChunkReader r;
    r.Open(strm);
    u32 kind;
    if (!deepEnough || !r.Tag() || !r.ReadU32(&kind) || r.Tag() != rec->Family() ||
        kind != rec->Kind()) {
        if (r.Tag()) r.Close();
        return false;
    }
    if (reset) rec->ResetToDefaults();
    const bool ok = ReadBody(r, rec, ctx, resolver, rec->Depth());
    r.Close();
    return ok;
}

const CRecordSchema* DocTopResolver(void* ctx, u32 family, u32 kind, CRecord*, u8) {
    // Child and item kinds are resolved as the document would without a parent.
    return static_cast<CRecordDoc*>(ctx)->ResolveSchema(family, kind, nullptr, kRecSelf);
}

}  // namespace

bool ReadInto(CStrm* strm, CRecord* rec, bool reset) {
    return ReadIntoWith(strm, rec, reset, nullptr, nullptr);
}

bool ReadFromStream(CStrm* strm, CRecordDoc* doc) {
    if (!doc->Root()) return false;
    return ReadIntoWith(strm, doc->Root(), true, doc, DocTopResolver);
}

bool ReplyHoldsValues(CStrm* strm, const CRecordSchema* schema) {
    CRecord* scratch = CRecord::New(schema);
    if (!scratch) return false;
    // Read as the reader reads them, so that what counts as whole here is
    // exactly what it would take.
    u64 seen[4] = {0, 0, 0, 0};
    strm->SetPosition(0);
    CChunkReader r;
    r.Open(strm);
    u32 kind = 0;
    const bool ours = r.Tag() == scratch->Family() && r.ReadU32(&kind) && kind == scratch->Kind();
    while (ours) {
        CChunkReader sub;
        sub.OpenSub(r);
        if (!sub.Tag()) break;
        if (sub.Tag() == kScalars) ReadScalars(sub, scratch, seen);
        sub.Close();
    }
    bool whole = ours;
    for (u32 i = 0; whole && i < scratch->FieldCount(); ++i) {
        const RecFieldDesc& d = scratch->Desc(u8(i));
        if (!d.IsTagged()) continue;
        if (d.type > kRecString) break;
        whole = Seen(seen, u8(i));
    }
    if (r.Tag()) r.Close();
    CRecord::Destroy(scratch);
    strm->SetPosition(0);
    return whole && strm->Error() == CStrm::kErrNone;
}

}  // namespace PropRecord
