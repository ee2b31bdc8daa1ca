#include "records/LRecPath.h"

#include <algorithm>

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "base/TextFormat.h"
#include "records/PropRecord.h"

namespace {

using namespace RecField;

// Writes a one-field box of the given schema holding the record's value.
bool WriteBox(const CRecordSchema* schema, const CRecord* rec, u8 field, CStrm* strm) {
    CRecord* box = CRecord::New(schema);
    if (!box) return false;
    switch (rec->Desc(field).type) {
        case kRecI32:
        case kRecU32:
            box->SetU32(nullptr, 0, rec->GetU32(field));
            break;
        case kRecU8:
            box->SetU8(nullptr, 0, rec->GetU8(field));
            break;
        case kRecF32:
            box->SetF32(nullptr, 0, 0, rec->GetF32(field));
            break;
        case kRecString:
            box->SetString(nullptr, 0, rec->GetString(field));
            break;
        default:
            break;
    }
    PropRecord::Write(strm, box);
    CRecord::Destroy(box);
    return true;
}

// Component parsing: an item or element index.
bool ParseIndex(const char* s, const char* end, u32* out) {
    while (s < end && (*s == ' ' || *s == '\t')) ++s;
    bool neg = false;
    if (s < end && (*s == '+' || *s == '-')) neg = *s++ == '-';
    if (s == end) return false;
    u64 v = 0;
    for (; s < end; ++s) {
        if (*s < '0' || *s > '9') return false;
        v = v * 10 + u64(*s - '0');
        if (v > 0xFFFFFFFFu) return false;
    }
    *out = neg ? u32(-i64(v)) : u32(v);
    return true;
}

}  // namespace

bool LRecPath::Append(const CRecord* top, const CRecord* rec, u8 field, u32 index, LTextSink& out) {
    if (!rec) return false;
    if (field != kRecSelf && (field >= rec->FieldCount() || !rec->Desc(field).IsTagged()))
        return false;
    bool wrote = false;
    if (rec != top && rec->Parent()) {
        const CRecord* p = rec->Parent();
        const u8 pf = rec->ParentField();
        const u32 pi = p->Desc(pf).type == kRecList ? rec->Position() : kRecNoIndex;
        if (!Append(top, p, pf, pi, out)) return false;
        wrote = true;
    }
    if (field == kRecSelf) {
        if (!wrote) out.Put("/");
        return true;
    }
    const RecFieldDesc& d = rec->Desc(field);
    LString tag;
    OSTypeToString(&tag, d.tag);
    out.Put("/");
    out.Put(tag);
    if ((d.type == kRecList || d.type == kRecArray) && index != kRecNoIndex) {
        out.Put("/");
        AppendNum(long(index), out);
    }
    return true;
}

CRecord* LRecPath::Resolve(const char* path, CRecord* root, u8* fieldOut, u32* indexOut) {
    *fieldOut = kRecSelf;
    *indexOut = kRecNoIndex;
    if (!root || !path || path[0] != '/') return nullptr;
    CRecord* cur = root;
    u8 field = kRecSelf;
    u32 index = kRecNoIndex;
    bool haveIndex = false;
    const char* p = path;
    for (;;) {
        while (*p == '/') ++p;
        if (*p == 0 || *p == '\r' || *p == '\n') break;
        while (*p == ' ' || *p == '\t') ++p;
        const char* start = p;
        while (*p && *p != '/' && *p != '\r' && *p != '\n') ++p;
        if (field != kRecSelf) {
            const RecFieldDesc& d = cur->Desc(field);
            if (d.type == kRecChild) {
                cur = cur->GetChild(field);
                if (!cur) return nullptr;
            } else if (d.type == kRecList) {
                if (!haveIndex) {
                    if (!ParseIndex(start, p, &index)) return nullptr;
                    haveIndex = true;
                    continue;
                }
                if (index >= cur->GetListCount(field)) return nullptr;
                cur = cur->GetListItem(field, index);
                if (!cur) return nullptr;
            } else if (d.type == kRecArray && !haveIndex) {
                if (!ParseIndex(start, p, &index)) return nullptr;
                haveIndex = true;
                continue;
            } else {
                return nullptr;
            }
        }
        if (p - start > 4 || p == start) return nullptr;
        const i32 f = cur->Schema()->FindTag(StrToOSType(LString(start, u32(p - start)).CStr()));
        if (f < 0) return nullptr;
        field = u8(f);
        index = kRecNoIndex;
        haveIndex = false;
    }
    *fieldOut = field;
    *indexOut = index;
    return cur;
}

bool LRecPath::WriteValue(const CRecord* rec, u8 field, u32, CStrm* strm, LRecListValue* layout) {
    if (layout) layout->Clear();
    if (!rec) return false;
    if (field == kRecSelf) {
        PropRecord::Write(strm, rec);
        return true;
    }
    if (field >= rec->FieldCount()) return false;
    const RecFieldDesc& d = rec->Desc(field);
    switch (d.type) {
        case kRecI32:
            return WriteBox(RecBox::Schema(RecBox::kI32), rec, field, strm);
        case kRecU32:
            return WriteBox(RecBox::Schema(RecBox::kU32), rec, field, strm);
        case kRecU8:
            return WriteBox(RecBox::Schema(RecBox::kU8), rec, field, strm);
        case kRecString:
            return WriteBox(RecBox::Schema(RecBox::kStr), rec, field, strm);
        case kRecF32: {
            // Shadows the static box for this one write, so the text has the field's digits.
            const RecFieldDesc desc[] = {F32(RecBox::kValue, 0, d.digits, kRecTransient)};
            CRecordSchema temp(RecBox::kFamily, RecBox::kF32, 1, desc);
            return WriteBox(&temp, rec, field, strm);
        }
        case kRecArray: {
            const u32 tag = RecBox::ArrayTag(d.elemType);
            if (!tag) return false;
            strm->SetSize();
            CChunkWriter w, a;
            w.Open(strm, RecBox::kFamily);
            w.WriteU32(RecBox::kArray);
            a.OpenSub(w, PropRecord::kArray);
            a.WriteU32(tag);
            const u32 size = RecElementSize(d.elemType);
            const u8* data = static_cast<const u8*>(rec->GetArrayData(field));
            for (u32 k = 0; k < rec->GetArrayCount(field); ++k)
                PropRecord::WriteElement(a, d.elemType, d.digits, data + size_t(k) * size);
            a.Close();
            w.Close();
            return true;
        }
        case kRecChild:
            PropRecord::Write(strm, rec->GetChild(field));
            return true;
        case kRecList: {
            strm->SetSize();
            CChunkWriter w;
            if (layout) layout->start = strm->Position();
            w.Open(strm, RecBox::kFamily);
            w.WriteU32(RecBox::kArray);
            for (u32 k = 0; k < rec->GetListCount(field); ++k) {
                const u64 at = strm->Position();
                PropRecord::WriteSub(w, rec->GetListItem(field, k));
                if (layout) layout->items.push_back({at, strm->Position() - at, false});
            }
            w.Close();
            if (layout) layout->valid = strm->Error() == CStrm::kErrNone;
            return true;
        }
        default:
            return false;
    }
}

void LRecItemGapList::MoveGap(size_t at) {
    if (at < fGapAt)
        std::move_backward(fData.begin() + std::ptrdiff_t(at),
                           fData.begin() + std::ptrdiff_t(fGapAt),
                           fData.begin() + std::ptrdiff_t(fGapAt + fGapLen));
    else if (at > fGapAt)
        std::move(fData.begin() + std::ptrdiff_t(fGapAt + fGapLen),
                  fData.begin() + std::ptrdiff_t(at + fGapLen),
                  fData.begin() + std::ptrdiff_t(fGapAt));
    fGapAt = at;
}

void LRecItemGapList::insert(size_t at, const LRecListItem& item) {
    if (fGapLen == 0) {
        // A new gap as large as the items, at the place: growing costs what
        // a vector's doubling does.
        const size_t n = size();
        const size_t gap = std::max<size_t>(16, n);
        std::vector<LRecListItem> grown(n + gap);
        for (size_t i = 0; i < n; ++i) grown[i < at ? i : i + gap] = (*this)[i];
        fData.swap(grown);
        fGapAt = at;
        fGapLen = gap;
    } else {
        MoveGap(at);
    }
    fData[fGapAt++] = item;
    --fGapLen;
}

void LRecItemGapList::erase(size_t at) {
    MoveGap(at);
    ++fGapLen;
}

bool LRecPath::ChangeListValue(const CRecord* rec, u8 field, u32 kind, u32 extra, u32 index,
                               LRecListValue* layout) {
    if (!layout->valid) return false;
    layout->valid = false;
    if (!rec || field >= rec->FieldCount() || rec->Desc(field).type != kRecList) return false;
    const u32 count = rec->GetListCount(field);
    LRecItemGapList& items = layout->items;
    const size_t had = items.size();
    switch (kind) {
        case CRecordNote::kInserted: {
            if (had + 1 != count || extra >= count) return false;
            LDataBuf buffer;
            CMemStrm strm(buffer);
            // The item's chunk is the same wherever it lies: only its own length is patched.
            CChunkWriter w;
            w.Resume(&strm, 0);
            PropRecord::WriteSub(w, rec->GetListItem(field, extra));
            if (strm.Error() != CStrm::kErrNone) return false;
            const u64 size = strm.Position();
            items.insert(extra, {layout->added.size(), size, true});
            layout->added.insert(layout->added.end(), strm.Data(), strm.Data() + size);
            break;
        }
        case CRecordNote::kRemoved:
            if (had != size_t(count) + 1 || extra >= had) return false;
            items.erase(extra);
            break;
        case CRecordNote::kMoved: {
            if (had != count || extra >= had || index >= had) return false;
            const LRecListValue::Item moving = items[extra];
            items.erase(extra);
            items.insert(index, moving);
            break;
        }
        default:
            return false;
    }
    layout->changed = true;
    layout->valid = true;
    return true;
}

bool LRecPath::FinishListValue(const u8* value, CStrm* out, LRecListValue* layout) {
    if (!layout->valid) return false;
    // Whatever the stream held before the value stays as it was.
    out->Write(value, layout->start);
    CChunkWriter w;
    w.Open(out, RecBox::kFamily);
    w.WriteU32(RecBox::kArray);
    layout->items.ForEach([&](LRecListItem& item) {
        const u64 at = out->Position();
        out->Write(item.added ? layout->added.data() + item.at : value + item.at, item.size);
        item = {at, item.size, false};
    });
    w.Close();
    layout->added.clear();
    layout->added.shrink_to_fit();
    layout->changed = false;
    layout->valid = out->Error() == CStrm::kErrNone;
    return layout->valid;
}

bool LRecPath::ReadValue(CRecord* rec, u8 field, u32, CStrm* strm) {
    if (!rec) return false;
    if (field == kRecSelf) return PropRecord::ReadInto(strm, rec, false);
    if (field >= rec->FieldCount()) return false;
    const RecFieldDesc& d = rec->Desc(field);
    switch (d.type) {
        case kRecI32:
        case kRecU32:
        case kRecU8:
        case kRecF32:
        case kRecString: {
            CRecord* box = PropRecord::ReadNew(strm);
            if (!box) return false;
            bool ok = box->FieldCount() > 0 && box->Desc(0).type == d.type;
            if (ok) {
                switch (d.type) {
                    case kRecU8:
                        rec->SetU8(nullptr, field, box->GetU8(0));
                        break;
                    case kRecF32:
                        rec->SetF32(nullptr, field, 0, box->GetF32(0));
                        break;
                    case kRecString:
                        rec->SetString(nullptr, field, box->GetString(0));
                        break;
                    default:
                        rec->SetU32(nullptr, field, box->GetU32(0));
                        break;
                }
            }
            CRecord::Destroy(box);
            return ok;
        }
        case kRecArray: {
            CRecord* box = PropRecord::ReadNew(strm);
            if (!box) {
                if (rec->GetArrayCount(field)) rec->SetArray(nullptr, field, nullptr, 0);
                return true;
            }
            const i32 bf = box->Schema()->FindTag(RecBox::ArrayTag(d.elemType));
            const bool ok = bf >= 0 && box->Desc(u8(bf)).type == kRecArray &&
                            box->Desc(u8(bf)).elemType == d.elemType;
            if (ok)
                rec->SetArray(nullptr, field, box->GetArrayData(u8(bf)),
                              box->GetArrayCount(u8(bf)));
            CRecord::Destroy(box);
            return ok;
        }
        case kRecChild: {
            const u32 depth = rec->Depth() + 1;
            if (!PropRecord::CheckDepth(strm, depth)) return false;
            CChunkReader c;
            c.Open(strm);
            const PropRecord::ChildResult r =
                PropRecord::ReadChild(c, rec, field, nullptr, nullptr, depth);
            if (c.Tag()) c.Close();
            return r == PropRecord::kChildDone;
        }
        case kRecList: {
            if (!PropRecord::CheckItemsDepth(strm, rec->Depth())) return false;
            CChunkReader c;
            c.Open(strm);
            u32 kind;
            if (c.Tag() != RecBox::kFamily || !c.ReadU32(&kind) || kind != RecBox::kArray) {
                if (c.Tag()) c.Close();
                return false;
            }
            const bool ok = PropRecord::ReadList(c, rec, field, nullptr, nullptr, rec->Depth() + 1);
            c.Close();
            return ok;
        }
        default:
            return false;
    }
}
