#include "devlink/StatNodes.h"

#include "records/PrefNodes.h"

namespace {

bool IsParamNode(const CRecord* r) {
    return r && r->Family() == kFamUnd && r->Kind() == kKindPrms;
}

i32 IntOr(const CRecord* node, const char* key, i32 def) {
    return IsParamNode(node) ? NodeGetIntOr(node, key, def) : def;
}

CRecord* QuietChild(CRecord* node, const char* key) {
    if (!IsParamNode(node)) return nullptr;
    if (CRecord* child = NodeGetSubNode(node, key)) return child;
    const RecFieldDesc& d = node->Desc(PrmsF::prms);
    CRecord* entry = CRecord::New(CRecordSchema::Find(d.def.rec.family, d.def.rec.kind));
    CRecord* child = CRecord::New(CRecordSchema::Find(kFamUnd, kKindPrms));
    if (!entry || !child || entry->FieldCount() != PramF::kCount) {
        if (entry) CRecord::Destroy(entry);
        if (child) CRecord::Destroy(child);
        return nullptr;
    }
    // Still free-standing: these setters reach no listener.
    entry->SetString(nullptr, PramF::key, LString(key));
    CRecord::Destroy(entry->ReplaceChild(nullptr, PramF::prms, child));
    LArray* list = node->ListSlot(PrmsF::prms);
    const u32 at = list->Count();
    if (!list->InsertAt(at, &entry)) {
        CRecord::Destroy(entry);
        return nullptr;
    }
    entry->Attach(node, PrmsF::prms, at);
    return entry->GetChild(PramF::prms);
}

void SetInt(CRecord* node, LHandler* ctx, const char* key, i32 value) {
    if (IsParamNode(node)) NodeSetInt(node, ctx, key, value);
}

}  // namespace

i32 StatNodeGetFreeb(const CRecord* node) {
    return IntOr(node, "freeb", 0);
}

CRecord* StatNodeGetFsStat(CRecord* node) {
    return QuietChild(node, "fsstat");
}

CRecord* StatNodeGetSndDev(CRecord* node) {
    return QuietChild(node, "snddev");
}

bool SndDevGetOper(const CRecord* node) {
    return IntOr(node, "oper", 0) != 0;
}

i32 SndDevGetInChannels(const CRecord* node) {
    return IntOr(node, "ichs", 1);
}

i32 SndDevGetOutChannels(const CRecord* node) {
    return IntOr(node, "ochs", 2);
}

i32 SndDevGetRate(const CRecord* node) {
    return IntOr(node, "rate", 44100);
}

i32 SndDevGetBits(const CRecord* node) {
    return IntOr(node, "bits", 16);
}

void SndDevSetInChannels(CRecord* node, LHandler* ctx, i32 value) {
    SetInt(node, ctx, "ichs", value);
}

void SndDevSetOutChannels(CRecord* node, LHandler* ctx, i32 value) {
    SetInt(node, ctx, "ochs", value);
}

void SndDevSetRate(CRecord* node, LHandler* ctx, i32 value) {
    SetInt(node, ctx, "rate", value);
}

void SndDevSetBits(CRecord* node, LHandler* ctx, i32 value) {
    SetInt(node, ctx, "bits", value);
}
