#include "records/Sequences.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>

#include "base/TextFormat.h"
#include "records/NsqSets.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"
#include "records/ShowOpsSupport.h"

using showops::FindIndexById;
using showops::ItemKey;
using showops::NewOf;

namespace {

bool IsKind(const CRecord* r, u32 family, u32 kind) {
    return r && r->Family() == family && r->Kind() == kind;
}

bool NameUsed(const CRecord* list, u8 field, u8 nameField, const char* name,
              const CRecord* except) {
    const u32 n = list->GetListCount(field);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* item = list->GetListItem(field, i);
        if (item != except && item->GetString(nameField) == name) return true;
    }
    return false;
}

}  // namespace

LString MakeUniqueName(const CRecord* list, u8 field, u8 nameField, const LString& base,
                       const CRecord* except) {
    if (base.IsEmpty() || !NameUsed(list, field, nameField, base.CStr(), except)) return base;
    // Only names of the form base_... can meet a candidate; gathered once, not
    // once a candidate: many copies of one item pasted together would otherwise
    // cost the square of their number. Names end at their first NUL, as
    // everywhere names are compared.
    const std::string prefix = std::string(base.CStr()) + "_";
    std::unordered_set<std::string_view> used;
    const u32 n = list->GetListCount(field);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* item = list->GetListItem(field, i);
        const std::string_view name(item->GetString(nameField).CStr());
        if (item != except && name.starts_with(prefix)) used.insert(name);
    }
    for (u32 k = 2;; ++k) {
        LString num;
        NumToStr(&num, long(k));
        const std::string candidate = prefix + num.CStr();
        if (!used.count(candidate)) return LString(candidate.c_str());
    }
}

i32 FindSequenceIndexById(const CRecord* settings, u32 id) {
    return FindIndexById(settings, SqstF::sqcs, SqncF::sqid, id);
}

CRecord* FindSequenceById(const CRecord* settings, u32 id) {
    const i32 i = FindSequenceIndexById(settings, id);
    return i < 0 ? nullptr : settings->GetListItem(SqstF::sqcs, u32(i));
}

u32 NextFreeSequenceId(const CRecord* settings) {
    static u32 sCounter = 1;
    while (sCounter == 0 || FindSequenceIndexById(settings, sCounter) >= 0) ++sCounter;
    return sCounter;
}

void InsertNewSequence(CRecord* settings, LHandler* ctx, u32 index) {
    CRecord* seq = NewOf(kFamKvt, kKindSqnc);
    if (!seq) return;
    seq->SetU32(nullptr, SqncF::sqid, NextFreeSequenceId(settings));
    settings->InsertItem(ctx, SqstF::sqcs, std::min(index, settings->GetListCount(SqstF::sqcs)),
                         seq);
}

void InsertSequenceUnique(CRecord* settings, LHandler* ctx, u32 index, CRecord* seq) {
    if (!seq) return;
    if (FindSequenceIndexById(settings, seq->GetU32(SqncF::sqid)) >= 0)
        seq->SetU32(nullptr, SqncF::sqid, NextFreeSequenceId(settings));
    seq->SetString(
        nullptr, SqncF::sqnm,
        MakeUniqueName(settings, SqstF::sqcs, SqncF::sqnm, seq->GetString(SqncF::sqnm), seq));
    settings->InsertItem(ctx, SqstF::sqcs, std::min(index, settings->GetListCount(SqstF::sqcs)),
                         seq);
}

CUniqueNames::CUniqueNames(const CRecord* list, u8 field, u8 nameField) {
    const u32 n = list->GetListCount(field);
    fUsed.reserve(n);
    // Names end at their first NUL, as everywhere names are compared.
    for (u32 i = 0; i < n; ++i)
        fUsed.insert(list->GetListItem(field, i)->GetString(nameField).CStr());
}

LString CUniqueNames::Take(const LString& base) {
    if (base.IsEmpty()) return base;
    std::string name = base.CStr();
    if (fUsed.insert(name).second) return base;
    const std::string prefix = name + "_";
    u32& k = fLastK[name];
    for (k = std::max<u32>(k, 2);; ++k) {
        LString num;
        NumToStr(&num, long(k));
        std::string candidate = prefix + num.CStr();
        if (fUsed.insert(candidate).second) return LString(candidate.c_str());
    }
}

void InsertSceneUnique(CRecord* sequence, LHandler* ctx, u8 field, u32 index, CRecord* scene,
                       CUniqueNames* names) {
    if (!scene) scene = NewOf(kFamKvt, kKindScen);
    if (!scene) return;
    const u32 n = sequence->GetListCount(field);
    index = std::min(index, n);
    i32 t = scene->GetI32(ScenF::sntm);
    if (index > 0) t = std::max(t, ItemKey(sequence, field, index - 1));
    if (index < n) t = std::min(t, ItemKey(sequence, field, index));
    scene->SetI32(nullptr, ScenF::sntm, t);
    const LString& base = scene->GetString(ScenF::snnm);
    scene->SetString(
        nullptr, ScenF::snnm,
        names ? names->Take(base) : MakeUniqueName(sequence, field, ScenF::snnm, base, scene));
    sequence->InsertItem(ctx, field, index, scene);
}

LString& GetSequenceNameById(LString* out, const CRecord* settings, u32 id) {
    *out = LString();
    const CRecord* set = settings->GetChild(SqstF::nsqs);
    if (id == 0 || !set) return *out;
    if (const CRecord* seq = NSqSetFindSeq(set, id)) *out = seq->GetString(SseqF::name);
    return *out;
}

bool IsSequenceRecordChange(const CRecordNote* note) {
    const CRecord* r = note->record;
    if (!IsKind(r, kFamNsq, kKindSseq) && !IsKind(r, kFamKvt, kKindSqnc)) return false;
    return note->kind == CRecordNote::kAttached || note->kind == CRecordNote::kDetached ||
           (note->kind == CRecordNote::kChanged && note->field == 1);
}

bool IsSequenceRecordFor(u32 id, const CRecordNote* note) {
    if (!IsSequenceRecordChange(note)) return false;
    if (note->kind != CRecordNote::kChanged) return true;
    return note->record->GetU32(0) == id;
}
