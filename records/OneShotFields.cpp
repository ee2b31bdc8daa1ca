#include "records/OneShotFields.h"

#include "records/CRecord.h"

namespace {

// Main thread only, as every record change is.
u32 gOneShotDepth = 0;

struct OneShotScope {
    OneShotScope() { ++gOneShotDepth; }
    ~OneShotScope() { --gOneShotDepth; }
};

}  // namespace

bool OneShotChangeUnderway() {
    return gOneShotDepth != 0;
}

void SetField2Transient(CRecord* record, const LString& text) {
    SetCommandOneShotText(record, 2, text);
}

void SetCommandOneShotText(CRecord* record, u8 field, const LString& text) {
    if (!record || field >= record->FieldCount() || record->Desc(field).type != kRecString) return;
    record->StrSlot(field) = LString();
    {
        OneShotScope scope;
        record->SetString(nullptr, field, text);
    }
    record->StrSlot(field) = LString();
}

void SetCommandOneShot(CRecord* record, u8 field, i32 value) {
    if (!record || field >= record->FieldCount()) return;
    const RecFieldDesc& d = record->Desc(field);
    u64 def = 0;
    switch (d.type) {
        case kRecI32:
            def = u64(u32(d.def.i32Value));
            break;
        case kRecU32:
            def = u64(d.def.u32Value);
            break;
        case kRecU8:
            def = u64(d.def.u8Value);
            break;
        default:
            return;
    }
    record->Slots()[field] = def;
    {
        OneShotScope scope;
        if (d.type == kRecI32) record->SetI32(nullptr, field, value);
        if (d.type == kRecU32) record->SetU32(nullptr, field, u32(value));
        if (d.type == kRecU8) record->SetU8(nullptr, field, u8(value));
    }
    record->Slots()[field] = def;
}
