#include "records/CRecordSchema.h"

namespace {
// Plain pointer: constant-initialised, so registration from any static initialiser is safe.
CRecordSchema* gRegistryHead = nullptr;
// Readers look up the same kind once per list item: remember the last answer.
// Any registration or unregistration forgets it.
CRecordSchema* gLastFound = nullptr;
}  // namespace

i32 CRecordSchema::DefaultHook(u32, void*) {
    return 0;
}

void CRecordSchema::Register(CRecordSchema* schema, u32 family, u32 kind, u32 count,
                             const RecFieldDesc* table, Hook hook) {
    schema->Unregister();  // registering twice must not make a cycle
    schema->fFamily = family;
    schema->fKind = kind;
    schema->fCount = count > 255 ? 255 : count;
    schema->fFields = table;
    schema->fHook = hook ? hook : DefaultHook;
    schema->fNext = gRegistryHead;
    gRegistryHead = schema;
    gLastFound = nullptr;
}

CRecordSchema* CRecordSchema::Find(u32 family, u32 kind) {
    if (gLastFound && gLastFound->fFamily == family && gLastFound->fKind == kind) return gLastFound;
    for (CRecordSchema* s = gRegistryHead; s; s = s->fNext) {
        if (s->fFamily == family && s->fKind == kind) {
            gLastFound = s;
            return s;
        }
    }
    return nullptr;
}

void CRecordSchema::Unregister() {
    for (CRecordSchema** p = &gRegistryHead; *p; p = &(*p)->fNext) {
        if (*p == this) {
            gLastFound = nullptr;
            *p = fNext;
            fNext = nullptr;
            return;
        }
    }
}

i32 CRecordSchema::FindTag(u32 tag) const {
    if (tag == 0) return -1;
    for (u32 i = 0; i < fCount; ++i)
        if (fFields[i].tag == tag) return i32(i);
    return -1;
}
