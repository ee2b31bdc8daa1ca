#pragma once
// Locations inside a record tree as path text ("/rows/2/sqid"), and single
// values written and read as small record chunks (value boxes).

#include <vector>

#include "base/CStrm.h"
#include "base/LTextSink.h"
#include "records/CRecord.h"

// Where a list's value lies in a stream, and how its items stand since: each
// item's chunk as it lies there or, added since, as written on its own. An
// item added, removed or moved anywhere in the list then costs that item
// alone, and the value is put together once, when it is needed.
struct LRecListItem {
    u64 at = 0;
    u64 size = 0;
    bool added = false;  // in `added`, else in the stream
};

// The items of a list value with a gap where the last change was: a paste of
// thousands of items at one place, and its Undo and Redo, move each item once
// at most, where a plain vector moved every item after the place once an item.
class LRecItemGapList {
public:
    size_t size() const { return fData.size() - fGapLen; }
    LRecListItem& operator[](size_t i) { return fData[i < fGapAt ? i : i + fGapLen]; }
    void push_back(const LRecListItem& item) { insert(size(), item); }
    void insert(size_t at, const LRecListItem& item);
    void erase(size_t at);
    void clear() {
        fData.clear();
        fGapAt = fGapLen = 0;
    }
    // Every item in order.
    template <typename F>
    void ForEach(F f) {
        for (size_t i = 0; i < fGapAt; ++i) f(fData[i]);
        for (size_t i = fGapAt + fGapLen; i < fData.size(); ++i) f(fData[i]);
    }

private:
    void MoveGap(size_t at);
    std::vector<LRecListItem> fData;
    size_t fGapAt = 0;
    size_t fGapLen = 0;
};

struct LRecListValue {
    using Item = LRecListItem;
    u64 start = 0;
    LRecItemGapList items;
    std::vector<u8> added;
    bool valid = false;
    bool changed = false;  // the stream's value is behind the items
    void Clear() {
        items.clear();
        added.clear();
        valid = changed = false;
    }
};

class LRecPath {
public:
    // Appends the path of (record, field, index) relative to top. Field 255 is the record itself.
    static bool Append(const CRecord* top, const CRecord* record, u8 field, u32 index,
                       LTextSink& out);
    // The record holding the addressed field, or null; field 255 and index -1 for a record itself.
    static CRecord* Resolve(const char* path, CRecord* root, u8* field, u32* index);
    // The addressed value as one record chunk at the stream position; a list's
    // value also tells where its items lie (*layout, made invalid for any other).
    static bool WriteValue(const CRecord* record, u8 field, u32 index, CStrm* strm,
                           LRecListValue* layout = nullptr);
    // Follows one change of the list (an item inserted or removed at extra,
    // or moved from extra to index, as its notice says) that came after the
    // value at *layout was written or last followed: the item added is
    // written on its own, the others are only rearranged. False, with the
    // layout made invalid, when the change does not fit it.
    static bool ChangeListValue(const CRecord* record, u8 field, u32 kind, u32 extra, u32 index,
                                LRecListValue* layout);
    // Writes the list's value as its layout now stands, the same bytes
    // WriteValue would write for the list as it was at the last change
    // followed, from the bytes of the stream the layout was made on, to an
    // empty stream; the layout then lies in that one.
    static bool FinishListValue(const u8* value, CStrm* out, LRecListValue* layout);
    // Stores the value chunk at the stream position, without undo (listeners are told).
    static bool ReadValue(CRecord* record, u8 field, u32 index, CStrm* strm);
};

// The value-box kinds, family 'YUND'.
namespace RecBox {
constexpr u32 kFamily = FourCC("YUND");
constexpr u32 kI32 = FourCC("CMSI");
constexpr u32 kU32 = FourCC("CMUI");
constexpr u32 kU8 = FourCC("CMUC");
constexpr u32 kF32 = FourCC("CMRL");
constexpr u32 kStr = FourCC("CMST");
constexpr u32 kArray = FourCC("CMAR");
constexpr u32 kValue = FourCC("valu");
// The 'CMAR' field tag for an array element type, 0 for none.
u32 ArrayTag(u8 elemType);
// The static box schema of a kind above, or null.
const CRecordSchema* Schema(u32 kind);
}  // namespace RecBox
