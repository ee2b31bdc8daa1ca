#pragma once
// Locations inside a record tree as path text ("/rows/2/sqid"), and single
// values written and read as small record chunks (value boxes).

#include <vector>

#include "base/CStrm.h"
#include "base/LTextSink.h"
#include "records/CRecord.h"

// Where a list's value lies in a stream: its chunk's start and the end of each
// item's chunk in it, so that a change at the list's end can be written without
// writing every item before it again.
struct LRecListValue {
    u64 start = 0;
    std::vector<u64> ends;
    bool valid = false;
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
    // Brings a list's value written at *layout up to the list as it is now, the
    // same bytes WriteValue would write, when only the list's end has changed
    // since (items added or removed there): the items the two have in common are
    // taken as they stand in the stream. Ends with the stream at the value's end.
    static bool ResizeListValue(const CRecord* record, u8 field, CStrm* strm,
                                LRecListValue* layout);
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
