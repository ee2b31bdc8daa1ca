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
    constexpr u8 kField = 2;
    if (!record || record->FieldCount() <= kField || record->Desc(kField).type != kRecString)
        return;
    {
        OneShotScope scope;
        record->SetString(nullptr, kField, text);
    }
    record->StrSlot(kField) = LString();
}

void SetCommandOneShot(CRecord* record, u8 field, i32 value) {
    if (!record || field >= record->FieldCount()) return;
    const RecFieldDesc& d = record->Desc(field);
    OneShotScope scope;
    switch (d.type) {
        case kRecI32:
            record->SetI32(nullptr, field, value);
            record->Slots()[field] = u64(u32(d.def.i32Value));
            break;
        case kRecU32:
            record->SetU32(nullptr, field, u32(value));
            record->Slots()[field] = u64(d.def.u32Value);
            break;
        case kRecU8:
            record->SetU8(nullptr, field, u8(value));
            record->Slots()[field] = u64(d.def.u8Value);
            break;
        default:
            break;
    }
}
