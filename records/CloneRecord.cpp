#include "records/CloneRecord.h"

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "records/PropRecord.h"

CRecord* CloneRecordViaChunks(const CRecord* record) {
    if (!record) return nullptr;
    LArray bytes(1);
    CMemStrm out(bytes);
    PropRecord::Write(&out, record);
    if (out.Error() != CStrm::kErrNone) return nullptr;
    out.Commit();
    CMemStrm in(static_cast<u8*>(bytes.Data()), u32(out.End()));
    return PropRecord::ReadNew(&in);
}
