#pragma once
// Small helpers shared by the show-data operations (records/ShowOps.h). Not for
// callers outside those files.

#include <memory>

#include "records/CRecord.h"
#include "records/CUndoStrm.h"

namespace showops {

// One undo transaction around several setter calls.
inline std::unique_ptr<CUndoStrm> OpenGroup(LHandler* ctx, const CRecord* record) {
    if (!ctx || !record->GetOwner()) return nullptr;
    return std::unique_ptr<CUndoStrm>(
        CUndoStrm::Open(ctx, nullptr, nullptr, "", CUndoStrm::kModeRecord, CUndoStrm::kMergeNew));
}

inline CRecord* NewOf(u32 family, u32 kind) {
    const CRecordSchema* s = CRecordSchema::Find(family, kind);
    return s ? CRecord::New(s) : nullptr;
}

inline i32 ItemKey(const CRecord* record, u8 field, u32 i) {
    return record->GetListItem(field, i)->GetI32(0);
}

inline i32 FindIndexById(const CRecord* list, u8 field, u8 idField, u32 id) {
    const u32 n = list->GetListCount(field);
    for (u32 i = 0; i < n; ++i)
        if (list->GetListItem(field, i)->GetU32(idField) == id) return i32(i);
    return -1;
}

}  // namespace showops
