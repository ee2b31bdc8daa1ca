// The record-chunk reader on arbitrary bytes: building new records and merging
// into an existing tree (owned by a document, so notices and walks run too).

#include <cstddef>
#include <cstdint>

#include "base/CMemStrm.h"
#include "records/CChunkStrm.h"
#include "records/CRecordDoc.h"
#include "records/LRecPath.h"
#include "records/PropRecord.h"

namespace {

using namespace RecField;
constexpr u32 kFam = FourCC("FUZZ");

const RecFieldDesc kItem[] = {
    U32(FourCC("sqid")),
    Str(FourCC("name"), "item"),
    F32(FourCC("levl"), 0, 2),
    U8(FourCC("flag")),
    Array(FourCC("vals"), kRecI32),
    Array(FourCC("strs"), kRecString),
    Array(FourCC("byts"), kRecU8),
    Array(FourCC("flts"), kRecF32, 3),
    List(FourCC("subs"), kFam, FourCC("ITEM"), kRecUntyped | kRecOptional),
    Child(FourCC("anyc"), kFam, FourCC("ITEM"), kRecUntyped | kRecOptional),
};
const RecFieldDesc kRoot[] = {
    U32(FourCC("vers"), 1),
    Str(FourCC("titl"), "untitled"),
    I32(FourCC("trns"), 0, kRecTransient),
    U32(0, 3),
    List(FourCC("rows"), kFam, FourCC("ITEM")),
    Child(FourCC("main"), kFam, FourCC("ITEM")),
    Child(FourCC("opt "), kFam, FourCC("ITEM"), kRecOptional),
    Child(0, kFam, FourCC("ITEM")),
    Array(FourCC("nums"), kRecU32),
    U32(FourCC("late"), 7),
};
CRecordSchema gItem(kFam, FourCC("ITEM"), sizeof(kItem) / sizeof(kItem[0]), kItem);
CRecordSchema gRoot(kFam, FourCC("ROOT"), sizeof(kRoot) / sizeof(kRoot[0]), kRoot);

u32 gNotes = 0;
void CountNote(void*, CRecordNote*) {
    ++gNotes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    u8* bytes = const_cast<u8*>(data);  // the fixed-buffer stream never writes when only read
    {
        CMemStrm s(bytes, u32(size));
        while (s.Position() < size) {
            const u64 before = s.Position();
            CRecord* r = PropRecord::ReadNew(&s);
            if (r) {
                // What was read must write again.
                LDataBuf out;
                CMemStrm o(out);
                PropRecord::Write(&o, r);
            }
            CRecord::Destroy(r);
            if (s.Position() <= before) break;
        }
    }
    {
        CRecordDoc doc(CRecord::New(&gRoot));
        doc.AddListener(nullptr, CountNote);
        CMemStrm s(bytes, u32(size));
        PropRecord::ReadFromStream(&s, &doc);
        CMemStrm s2(bytes, u32(size));
        // The check a device's reply passes first; the reader must stand anything anyway.
        PropRecord::ReplyWhole(&s2);
        PropRecord::ReplyHoldsValues(&s2, &gRoot);
        PropRecord::ReadInto(&s2, doc.Root(), false);
        if (doc.Root()->GetListCount(4)) {
            CRecord* item = doc.Root()->GetListItem(4, 0);
            if (item) {
                for (u8 f : {u8(0), u8(2), u8(4), u8(5), u8(8), u8(9)}) {
                    CMemStrm s3(bytes, u32(size));
                    LRecPath::ReadValue(item, f, kRecNoIndex, &s3);
                }
            }
        }
    }
    return 0;
}
