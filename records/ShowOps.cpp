#include "records/ShowOps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/TextEncoding.h"
#include "base/TextFormat.h"
#include "records/BtnLabelLayout.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordIdClock.h"
#include "records/ShowKinds.h"

namespace {

// One undo transaction around several setter calls.
std::unique_ptr<CUndoStrm> OpenGroup(LHandler* ctx, const CRecord* record) {
    if (!ctx || !record->GetOwner()) return nullptr;
    return std::unique_ptr<CUndoStrm>(
        CUndoStrm::Open(ctx, nullptr, nullptr, "", CUndoStrm::kModeRecord, CUndoStrm::kMergeNew));
}

CRecord* NewOf(u32 family, u32 kind) {
    const CRecordSchema* s = CRecordSchema::Find(family, kind);
    return s ? CRecord::New(s) : nullptr;
}

i32 ItemKey(const CRecord* record, u8 field, u32 i) {
    return record->GetListItem(field, i)->GetI32(0);
}

bool IsKind(const CRecord* r, u32 family, u32 kind) {
    return r && r->Family() == family && r->Kind() == kind;
}

i32 FindIndexById(const CRecord* list, u8 field, u8 idField, u32 id) {
    const u32 n = list->GetListCount(field);
    for (u32 i = 0; i < n; ++i)
        if (list->GetListItem(field, i)->GetU32(idField) == id) return i32(i);
    return -1;
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

// ---------------------------------------------------------------- sorted lists

u32 LowerBoundByKey(const CRecord* record, u8 field, i32 key) {
    u32 lo = 0, hi = record->GetListCount(field);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (ItemKey(record, field, mid) < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

u32 UpperBoundByKey(const CRecord* record, u8 field, i32 key) {
    u32 lo = 0, hi = record->GetListCount(field);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (ItemKey(record, field, mid) <= key)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

u32 MoveSortedItem(CRecord* record, LHandler* ctx, u8 field, u32 index, i32 key) {
    const u32 n = record->GetListCount(field);
    if (index >= n) return index;
    auto group = OpenGroup(ctx, record);
    CRecord* item = record->GetListItem(field, index);
    const i32 old = item->GetI32(0);
    item->SetI32(ctx, 0, key);
    const bool before = index > 0 && ItemKey(record, field, index - 1) > key;
    const bool after = index + 1 < n && ItemKey(record, field, index + 1) < key;
    if (!before && !after) return index;
    CRecord* taken = record->DetachItem(ctx, field, index);
    if (!taken) return index;
    // Later: before the equal keys; earlier: after them.
    const u32 pos =
        key > old ? LowerBoundByKey(record, field, key) : UpperBoundByKey(record, field, key);
    record->InsertItem(ctx, field, pos, taken);
    return pos;
}

// ---------------------------------------------------------------- sequences

LString MakeUniqueName(const CRecord* list, u8 field, u8 nameField, const LString& base,
                       const CRecord* except) {
    if (base.IsEmpty() || !NameUsed(list, field, nameField, base.CStr(), except)) return base;
    for (u32 k = 2;; ++k) {
        LString num;
        NumToStr(&num, long(k));
        std::string candidate = std::string(base.View()) + "_" + num.CStr();
        if (!NameUsed(list, field, nameField, candidate.c_str(), except))
            return LString(candidate.c_str());
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

void InsertSceneUnique(CRecord* sequence, LHandler* ctx, u8 field, u32 index, CRecord* scene) {
    if (!scene) scene = NewOf(kFamKvt, kKindScen);
    if (!scene) return;
    const u32 n = sequence->GetListCount(field);
    index = std::min(index, n);
    i32 t = scene->GetI32(ScenF::sntm);
    if (index > 0) t = std::max(t, ItemKey(sequence, field, index - 1));
    if (index < n) t = std::min(t, ItemKey(sequence, field, index));
    scene->SetI32(nullptr, ScenF::sntm, t);
    scene->SetString(
        nullptr, ScenF::snnm,
        MakeUniqueName(sequence, field, ScenF::snnm, scene->GetString(ScenF::snnm), scene));
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

// ---------------------------------------------------------------- NSQ sets and tracks

i32 NSqSetFindSeqIndex(const CRecord* set, u32 id) {
    return FindIndexById(set, SsetF::seqs, SseqF::sqid, id);
}

CRecord* NSqSetFindSeq(const CRecord* set, u32 id) {
    const i32 i = NSqSetFindSeqIndex(set, id);
    return i < 0 ? nullptr : set->GetListItem(SsetF::seqs, u32(i));
}

namespace {
u32 FreshNsqId(const CRecord* set) {
    u32 id = u32(RecordIdClock());
    while (id == 0 || NSqSetFindSeqIndex(set, id) >= 0) ++id;
    return id;
}
}  // namespace

u32 NSqSetNewSeq(CRecord* set, LHandler* ctx, u32 position) {
    CRecord* seq = NSqNewSeq();
    if (!seq) return position;
    seq->SetU32(nullptr, SseqF::sqid, FreshNsqId(set));
    position = std::min(position, set->GetListCount(SsetF::seqs));
    set->InsertItem(ctx, SsetF::seqs, position, seq);
    return position;
}

void NSqSetInsertSeq(CRecord* set, LHandler* ctx, u32 position, CRecord* seq, bool rename) {
    if (!seq) return;
    const u32 id = seq->GetU32(SseqF::sqid);
    if (id == 0 || NSqSetFindSeqIndex(set, id) >= 0)
        seq->SetU32(nullptr, SseqF::sqid, FreshNsqId(set));
    if (rename)
        seq->SetString(
            nullptr, SseqF::name,
            MakeUniqueName(set, SsetF::seqs, SseqF::name, seq->GetString(SseqF::name), seq));
    set->InsertItem(ctx, SsetF::seqs, std::min(position, set->GetListCount(SsetF::seqs)), seq);
}

void NSqSetRemoveSeq(CRecord* set, LHandler* ctx, u32 index) {
    if (index < set->GetListCount(SsetF::seqs)) set->RemoveItem(ctx, SsetF::seqs, index);
}

void NSqSetRemoveAllSeqs(CRecord* set) {
    for (u32 n = set->GetListCount(SsetF::seqs); n > 0; --n)
        set->RemoveItem(nullptr, SsetF::seqs, n - 1);
}

u32 NSqSeqAddTrack(CRecord* sequence, LHandler* ctx, u32 position) {
    CRecord* trk = NSqNewTrack();
    position = std::min(position, sequence->GetListCount(SseqF::trks));
    if (trk) sequence->InsertItem(ctx, SseqF::trks, position, trk);
    return position;
}

u32 NSqTrkInsertScene(CRecord* track, LHandler* ctx, CRecord* scene) {
    if (!scene) return 0;
    // Times are unsigned; compare them as such.
    const u32 time = scene->GetU32(SscnF::time);
    u32 lo = 0, hi = track->GetListCount(StrkF::scns);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (track->GetListItem(StrkF::scns, mid)->GetU32(SscnF::time) <= time)
            lo = mid + 1;
        else
            hi = mid;
    }
    track->InsertItem(ctx, StrkF::scns, lo, scene);
    return lo;
}

u32 NSqTrkAddScene(CRecord* track, LHandler* ctx, u32 time, u32 itemKind) {
    CRecord* scene = NSqNewScene();
    if (!scene) return 0;
    scene->SetU32(nullptr, SscnF::time, time);
    if (CRecord* item = NewOf(kFamNsq, itemKind)) scene->ReplaceChild(nullptr, SscnF::prms, item);
    return NSqTrkInsertScene(track, ctx, scene);
}

void NSqTrkRemoveScene(CRecord* track, LHandler* ctx, u32 index) {
    if (index < track->GetListCount(StrkF::scns)) track->RemoveItem(ctx, StrkF::scns, index);
}

i32 NSqTrkFindSceneAt(const CRecord* track, u32 time) {
    u32 lo = 0, hi = track->GetListCount(StrkF::scns);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (track->GetListItem(StrkF::scns, mid)->GetU32(SscnF::time) <= time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return i32(lo) - 1;
}

void NSqTrkSetSceneTime(CRecord* track, LHandler* ctx, u32 index, u32 time) {
    const u32 n = track->GetListCount(StrkF::scns);
    if (index >= n) return;
    auto group = OpenGroup(ctx, track);
    track->GetListItem(StrkF::scns, index)->SetU32(ctx, SscnF::time, time);
    const bool before =
        index > 0 && track->GetListItem(StrkF::scns, index - 1)->GetU32(SscnF::time) > time;
    const bool after =
        index + 1 < n && track->GetListItem(StrkF::scns, index + 1)->GetU32(SscnF::time) < time;
    if (!before && !after) return;
    if (CRecord* taken = track->DetachItem(ctx, StrkF::scns, index))
        NSqTrkInsertScene(track, ctx, taken);
}

u32 ChildTypeTag(const CRecord* record) {
    const CRecord* c = record->FieldCount() > 1 && record->Desc(1).type == kRecChild
                           ? record->GetChild(1)
                           : nullptr;
    return c ? c->Kind() : 0;
}

// ---------------------------------------------------------------- aux plays and triggers

u32 AddAuxPlay(CRecord* auxPlays, LHandler* ctx) {
    const u32 n = auxPlays->GetListCount(AplsF::plys);
    if (CRecord* p = NewOf(kFamKvt, kKindAply)) auxPlays->InsertItem(ctx, AplsF::plys, n, p);
    return n;
}

u32 AddAuxTrigger(CRecord* auxPlay, LHandler* ctx) {
    const u32 n = auxPlay->GetListCount(AplyF::trgs);
    if (CRecord* t = NewOf(kFamKvt, kKindAptg)) auxPlay->InsertItem(ctx, AplyF::trgs, n, t);
    return n;
}

void AuxTriggerSetModeAndValue(CRecord* trigger, LHandler* ctx, u8 mode, u32 value) {
    auto group = OpenGroup(ctx, trigger);
    if (CRecord* tg = trigger->GetChild(AptgF::sntg)) tg->SetU8(ctx, SntgF::tgmd, mode);
    trigger->SetU32(ctx, AptgF::valu, value);
}

void AuxTriggerSetModeSigned(CRecord* trigger, LHandler* ctx, i32 mode, i32 value) {
    auto group = OpenGroup(ctx, trigger);
    CRecord* tg = trigger->GetChild(AptgF::sntg);
    if (tg) tg->SetU8(ctx, SntgF::tgmd, u8(mode));
    if (tg) tg->SetU8(ctx, SntgF::sgch, value < 0 ? 0 : 1);
    trigger->SetI32(ctx, AptgF::valu, value < 0 ? 0 : value);
}

LString& MidiNoteName(LString* out, u8 note, i32 octaveOffset) {
    static const char* const kNames[12] = {"C ", "C#", "D ", "D#", "E ", "F ",
                                           "F#", "G ", "G#", "A ", "A#", "B "};
    char buf[24];
    std::snprintf(buf, sizeof buf, "%s%d", kNames[note % 12],
                  int(note / 12) - 5 + int(octaveOffset));
    *out = LString(buf);
    return *out;
}

LString& TriggerInputLabel(LString* out, const CRecord* tg, u32 n) {
    *out = LString();
    auto num = [out](u64 v) -> LString& { return ULongToStr(out, v); };
    const u32 kind = tg->GetU8(SntgF::tgmd);
    switch (kind) {
        case 1:
        case 2:
        case 14:
            if (tg->GetU8(SntgF::sgch)) return n + 1 <= 254 ? num(u64(n) + 1) : *out;
            return u64(tg->GetU32(SntgF::bsch)) + n <= 512 ? num(u64(tg->GetU32(SntgF::bsch)) + n)
                                                           : *out;
        case 3:
            if (n > 9) return *out;
            return num((n + 1) % 10);
        case 4:
            if (n > 25) return *out;
            {
                const char c[2] = {char('A' + n), 0};
                *out = LString(c);
            }
            return *out;
        case 5:
            return n <= 31 ? num(u64(n) + 1) : *out;
        case 6:
        case 15:
            return num(n);
        case 7:
            return n <= 127 ? num(n) : *out;
        case 8: {
            const u64 ch = u64(tg->GetU8(SntgF::mdch)) + n;
            return ch <= 15 ? num(ch + 1) : *out;
        }
        case 9: {
            const u64 c = u64(tg->GetU8(SntgF::mdct)) + n;
            return c <= 127 ? num(c) : *out;
        }
        case 10: {
            const u64 note = u64(tg->GetU8(SntgF::mdnt)) + n;
            return note <= 127 ? MidiNoteName(out, u8(note), 4) : *out;
        }
        case 11:
            return n <= 127 ? num(u64(n) + 1) : *out;
        case 12:
            return n <= 7 ? num(u64(n) + 1) : *out;
        case 13:
            return n <= 254 ? num(u64(n) + 1) : *out;
        default:
            return *out;
    }
}

// ---------------------------------------------------------------- play settings grid

CRecord* PlaySetGetCell(const CRecord* settings, u32 col, u32 row) {
    if (row >= settings->GetListCount(PlysF::rows)) return nullptr;
    const CRecord* r = settings->GetListItem(PlysF::rows, row);
    return col < r->GetListCount(PlrwF::cels) ? r->GetListItem(PlrwF::cels, col) : nullptr;
}

CRecord* PlaySetGetOrAddCell(CRecord* settings, LHandler* ctx, u32 col, u32 row) {
    if (CRecord* c = PlaySetGetCell(settings, col, row)) return c;
    auto group = OpenGroup(ctx, settings);
    while (settings->GetListCount(PlysF::rows) <= row) {
        CRecord* r = NewOf(kFamKvt, kKindPlrw);
        if (!r || !settings->InsertItem(ctx, PlysF::rows, settings->GetListCount(PlysF::rows), r))
            return nullptr;
    }
    CRecord* r = settings->GetListItem(PlysF::rows, row);
    while (r->GetListCount(PlrwF::cels) <= col) {
        CRecord* c = NewOf(kFamKvt, kKindPlcl);
        if (!c || !r->InsertItem(ctx, PlrwF::cels, r->GetListCount(PlrwF::cels), c)) return nullptr;
    }
    return r->GetListItem(PlrwF::cels, col);
}

CRecord* PlaySetTakeCell(CRecord* settings, LHandler* ctx, u32 col, u32 row, CRecord* replacement) {
    if (!PlaySetGetCell(settings, col, row)) return replacement;
    if (!replacement) replacement = NewOf(kFamKvt, kKindPlcl);
    if (!replacement) return nullptr;
    auto group = OpenGroup(ctx, settings);
    CRecord* r = settings->GetListItem(PlysF::rows, row);
    CRecord* taken = r->DetachItem(ctx, PlrwF::cels, col);
    r->InsertItem(ctx, PlrwF::cels, col, replacement);
    return taken;
}

void PlaySetMoveCell(CRecord* settings, LHandler* ctx, u32 fromCol, u32 fromRow, u32 toCol,
                     u32 toRow) {
    auto group = OpenGroup(ctx, settings);
    CRecord* moved = PlaySetTakeCell(settings, ctx, fromCol, fromRow, nullptr);
    const bool source = moved != nullptr;
    CRecord* leftover = moved;
    if (toCol < settings->GetU32(PlysF::btcs) && toRow < settings->GetU32(PlysF::btrs)) {
        if (source) PlaySetGetOrAddCell(settings, ctx, toCol, toRow);
        if (PlaySetGetCell(settings, toCol, toRow)) {
            CRecord* in = moved ? moved : NewOf(kFamKvt, kKindPlcl);
            leftover = PlaySetTakeCell(settings, ctx, toCol, toRow, in);
        }
    }
    if (leftover) CRecord::Destroy(leftover);
}

void CopyRecordListField(LHandler* ctx, const CRecord* source, u8 sourceField, CRecord* target,
                         u8 targetField) {
    for (u32 n = target->GetListCount(targetField); n > 0; --n)
        target->RemoveItem(ctx, targetField, n - 1);
    const u32 n = source->GetListCount(sourceField);
    for (u32 i = 0; i < n; ++i)
        if (CRecord* copy = CRecord::Copy(source->GetListItem(sourceField, i), nullptr))
            target->InsertItem(ctx, targetField, target->GetListCount(targetField), copy);
}

void PlaySetApplyBtnLayout(CRecord* settings, LHandler* ctx, u32 index) {
    if (index >= settings->GetListCount(PlysF::blys)) return;
    const CRecord* lay = settings->GetListItem(PlysF::blys, index);
    auto group = OpenGroup(ctx, settings);
    settings->SetU32(ctx, PlysF::btrs, lay->GetU32(BtlyF::btrs));
    settings->SetU32(ctx, PlysF::btcs, lay->GetU32(BtlyF::btcs));
    CopyRecordListField(ctx, lay, BtlyF::rows, settings, PlysF::rows);
}

CRecord* NewBtnLayoutFromPlaySet(const CRecord* settings) {
    CRecord* lay = NewOf(kFamKvt, kKindBtly);
    if (!lay) return nullptr;
    lay->SetU32(nullptr, BtlyF::btrs, settings->GetU32(PlysF::btrs));
    lay->SetU32(nullptr, BtlyF::btcs, settings->GetU32(PlysF::btcs));
    CopyRecordListField(nullptr, settings, PlysF::rows, lay, BtlyF::rows);
    return lay;
}

void PlaySetReplaceBtnLayout(CRecord* settings, LHandler* ctx, u32 index, CRecord* layout) {
    if (!layout) return;
    if (index >= settings->GetListCount(PlysF::blys)) {
        CRecord::Destroy(layout);
        return;
    }
    auto group = OpenGroup(ctx, settings);
    settings->RemoveItem(ctx, PlysF::blys, index);
    settings->InsertItem(ctx, PlysF::blys, index, layout);
}

void PlaySetDropUiLayout(CRecord* settings) {
    if (CRecord* old = settings->ReplaceChild(nullptr, PlysF::uifs, nullptr)) CRecord::Destroy(old);
}

// ---------------------------------------------------------------- device-screen layout

CRecord* NewUiButton() {
    return NewOf(kFamKvt, kKindUbtn);
}

void UiFrameAddPane(CRecord* frame, CRecord* pane) {
    if (pane) frame->InsertItem(nullptr, UfrmF::pans, frame->GetListCount(UfrmF::pans), pane);
}

void UiFrameClearPanes(CRecord* frame) {
    for (u32 n = frame->GetListCount(UfrmF::pans); n > 0; --n)
        frame->RemoveItem(nullptr, UfrmF::pans, n - 1);
}

void UiButtonSetParam(CRecord* button, const char* key, const LString& value) {
    if (CRecord* node = button->GetChild(UbtnF::prms)) NodeSet(node, nullptr, key, value);
}

CRecord* UiFontsAddFont(CRecord* fontSet) {
    CRecord* f = NewOf(kFamKvt, kKindUfnt);
    if (f && fontSet->InsertItem(nullptr, UfnsF::fnts, fontSet->GetListCount(UfnsF::fnts), f))
        return f;
    return nullptr;
}

namespace {
// Room a label needs inside its cell: the button inset and the label margins.
constexpr i32 kLabelMarginX = 22;
constexpr i32 kLabelMarginY = 20;

void WriteUiFonts(CRecord* layout, const CBtnLabelFontSource* fonts) {
    CRecord* set = layout->GetChild(KvuiF::fnts);
    if (!set) return;
    for (u32 i = 0; i < fonts->FontCount(); ++i) {
        CBtnLabelFont f;
        if (!fonts->GetFont(i, &f)) continue;
        CRecord* rec = UiFontsAddFont(set);
        if (!rec) return;
        rec->SetU32(nullptr, UfntF::acnt, u32(std::max(fonts->Ascent(), 0)));
        rec->SetArray(nullptr, UfntF::ucps, f.codePoints, f.glyphCount);
        if (f.info) rec->SetArray(nullptr, UfntF::finf, f.info, CBtnLabelFont::kInfoSize);
        rec->SetArray(nullptr, UfntF::gimg, f.images, f.imageBytes);
    }
}
}  // namespace

bool BuildGridUiLayout(const CRecord* record, u8 rowsField, u32 rows, u32 columns, CRecord* layout,
                       CBtnLabelFontSource* fonts) {
    // Counts come from files and devices: refuse grids whose cells cannot hold a label.
    if (rows == 0 || columns == 0 || columns > u32(kUiScreenWidth) || rows > u32(kUiScreenHeight))
        return false;
    const i32 w = kUiScreenWidth / i32(columns);
    const i32 h = kUiScreenHeight / i32(rows);
    if (w <= kLabelMarginX || h <= kLabelMarginY) return false;
    CRecord* root = layout->GetChild(KvuiF::panl);
    if (!root) return false;

    std::vector<LString> titles;
    const u32 nRows = std::min(rows, record->GetListCount(rowsField));
    for (u32 r = 0; r < nRows; ++r) {
        const CRecord* row = record->GetListItem(rowsField, r);
        const u32 nCells = std::min(columns, row->GetListCount(PlrwF::cels));
        for (u32 c = 0; c < nCells; ++c) {
            const CRecord* cell = row->GetListItem(PlrwF::cels, c);
            if (cell->GetU32(PlclF::sqid) == 0) continue;
            CRecord* btn = NewUiButton();
            if (!btn) return false;
            const i32 plac[4] = {i32(c) * w + 6, i32(r) * h + 6, i32(c + 1) * w - 6,
                                 i32(r + 1) * h - 6};
            btn->SetArray(nullptr, UbtnF::plac, plac, 4);
            btn->SetU8(nullptr, UbtnF::fnid, 255);
            LTextStream composed;
            NormalizeNFC(cell->GetString(PlclF::bttl).CStr(), composed);
            const LString title = composed.ToString();
            btn->SetString(nullptr, UbtnF::titl, title);
            LString num;
            UiButtonSetParam(btn, "row", NumToStr(&num, long(r)));
            UiButtonSetParam(btn, "col", NumToStr(&num, long(c)));
            if (fonts) fonts->AddChars(title.CStr());
            titles.push_back(title);
            UiFrameAddPane(root, btn);
        }
    }
    if (!fonts) return true;
    fonts->MeasureGlyphs();
    i32 widest = 1;
    for (const LString& t : titles) widest = std::max(widest, fonts->TextWidth(t.CStr()));
    const i32 line = std::max(fonts->Ascent() + fonts->Descent(), 1);
    f32 scale = std::min(f32(w - kLabelMarginX) / f32(widest), f32(h - kLabelMarginY) / f32(line));
    // The renderer takes whole percent: never below 1 %.
    scale = std::max(scale, 0.01f);
    fonts->RenderGlyphs(scale);
    WriteUiFonts(layout, fonts);
    return true;
}

bool BuildPlaySetUiLayout(const CRecord* settings, CRecord* layout, CBtnLabelFontSource* fonts) {
    return BuildGridUiLayout(settings, PlysF::rows, settings->GetU32(PlysF::btrs),
                             settings->GetU32(PlysF::btcs), layout, fonts);
}

bool BuildBtnLayoutUiLayout(const CRecord* btnLayout, CRecord* layout, CBtnLabelFontSource* fonts) {
    return BuildGridUiLayout(btnLayout, BtlyF::rows, btnLayout->GetU32(BtlyF::btrs),
                             btnLayout->GetU32(BtlyF::btcs), layout, fonts);
}

// ---------------------------------------------------------------- universes

namespace {
u32 UniverseLowerBound(const CRecord* status, u32 univ) {
    u32 lo = 0, hi = status->GetListCount(DrcStatF::unvs);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (status->GetListItem(DrcStatF::unvs, mid)->GetU32(UnvsF::univ) < univ)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}
}  // namespace

CRecord* FindUniverseRec(const CRecord* status, u32 univ) {
    const u32 i = UniverseLowerBound(status, univ);
    if (i < status->GetListCount(DrcStatF::unvs)) {
        CRecord* u = status->GetListItem(DrcStatF::unvs, i);
        if (u->GetU32(UnvsF::univ) == univ) return u;
    }
    return nullptr;
}

CRecord* FindOrAddUniverseRec(CRecord* status, u32 univ) {
    if (CRecord* u = FindUniverseRec(status, univ)) return u;
    CRecord* u = NewOf(kFamDrc, kKindUnvs);
    if (!u) return nullptr;
    u->SetU32(nullptr, UnvsF::univ, univ);
    const u32 pos = UniverseLowerBound(status, univ);
    return status->InsertItem(nullptr, DrcStatF::unvs, pos, u) ? u : nullptr;
}

void ClearUniverseRecs(CRecord* status) {
    for (u32 n = status->GetListCount(DrcStatF::unvs); n > 0; --n)
        status->RemoveItem(nullptr, DrcStatF::unvs, n - 1);
}

void SetUniverseRecData(CRecord* universe, const u8* bytes, u32 length) {
    if (universe->GetArrayCount(UnvsF::stat) == length &&
        (length == 0 || std::memcmp(universe->GetArrayData(UnvsF::stat), bytes, length) == 0))
        return;
    universe->SetArray(nullptr, UnvsF::stat, bytes, length);
}

u32 InsertNewUvadRecord(CRecord* record, LHandler* ctx, u32 index) {
    index = std::min(index, record->GetListCount(0));
    if (CRecord* u = NewOf(kFamKvt, kKindUvad)) record->InsertItem(ctx, 0, index, u);
    return index;
}

void FormatArtNetPortAddress(i32 address, char out[10]) {
    const u32 a = u32(address);
    std::snprintf(out, 10, "%3u/%2u/%2u", (a >> 8) & 0x7F, (a >> 4) & 0xF, a & 0xF);
}

void FormatSacnUniverse(u32 universe, char out[6]) {
    // Five characters hold at most 99999, the value shown for universe 99998.
    if (universe >= 99999) {
        std::snprintf(out, 6, "%5s", "?");
        return;
    }
    std::snprintf(out, 6, "%5u", universe + 1);
}

// ---------------------------------------------------------------- media index

namespace {
int NameCompare(const LString& a, const char* b) {
    return std::strcmp(a.CStr(), b ? b : "");
}

u32 MediaLowerBound(const CRecord* index, const char* name, bool* found) {
    u32 lo = 0, hi = index->GetListCount(MdisF::meds);
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (NameCompare(index->GetListItem(MdisF::meds, mid)->GetString(MdifF::name), name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    *found = lo < index->GetListCount(MdisF::meds) &&
             NameCompare(index->GetListItem(MdisF::meds, lo)->GetString(MdifF::name), name) == 0;
    return lo;
}
}  // namespace

CRecord* FindMediaFile(const CRecord* index, const char* name) {
    bool found;
    const u32 i = MediaLowerBound(index, name, &found);
    return found ? index->GetListItem(MdisF::meds, i) : nullptr;
}

CRecord* AddMediaFile(CRecord* index, u8 kind, const char* name) {
    bool found;
    const u32 i = MediaLowerBound(index, name, &found);
    if (found) return index->GetListItem(MdisF::meds, i);
    CRecord* m = NewOf(kFamKvs, kKindMdif);
    if (!m) return nullptr;
    m->SetU8(nullptr, MdifF::kind, kind);
    m->SetString(nullptr, MdifF::name, LString(name ? name : ""));
    return index->InsertItem(nullptr, MdisF::meds, i, m) ? m : nullptr;
}

void RemoveMediaFile(CRecord* index, const char* name) {
    bool found;
    const u32 i = MediaLowerBound(index, name, &found);
    if (found) index->RemoveItem(nullptr, MdisF::meds, i);
}

void ListMediaFilesOfKind(const CRecord* index, u8 kind, CStrArray* names) {
    const u32 n = index->GetListCount(MdisF::meds);
    for (u32 i = 0; i < n; ++i) {
        const CRecord* m = index->GetListItem(MdisF::meds, i);
        if (m->GetU8(MdifF::kind) == kind)
            names->InsertAt(names->Count(), m->GetString(MdifF::name));
    }
}

LString& StripExtension(LString* out, const char* name) {
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    *out = dot ? LString(name, u32(dot - name)) : LString(name ? name : "");
    return *out;
}

// ---------------------------------------------------------------- parameter tables

void ParamTableAppendRow(CRecord* table, LHandler* ctx) {
    u32 cols, rows;
    ParamTableGetSize(table, &cols, &rows);
    ParamTableInsertRow(table, ctx, rows, nullptr);
}

void ParamTableAppendColumn(CRecord* table, LHandler* ctx) {
    u32 cols, rows;
    ParamTableGetSize(table, &cols, &rows);
    ParamTableInsertColumn(table, ctx, cols, nullptr);
}

void ParamTableRemoveRow(CRecord* table, LHandler* ctx, u32 row) {
    u32 cols, rows;
    ParamTableGetSize(table, &cols, &rows);
    if (row >= rows) return;
    auto group = OpenGroup(ctx, table);
    table->SetU8(ctx, PrmtF::inserting, 1);
    table->SetU32(ctx, PrmtF::changeIndex, row);
    table->SetU32(ctx, PrmtF::doneSerial, table->GetU32(PrmtF::doneSerial) + 1);
    for (u32 c = cols; c > 0; --c) table->RemoveItem(ctx, PrmtF::elms, row * cols + c - 1);
    table->SetU32(ctx, PrmtF::editSerial, table->GetU32(PrmtF::doneSerial));
    table->SetU8(ctx, PrmtF::inserting, 0);
}

namespace {
CRecord* TableCell(const CRecord* table, u32 col, u32 row) {
    u32 cols, rows;
    ParamTableGetSize(table, &cols, &rows);
    if (col >= cols || row >= rows) return nullptr;
    return table->GetListItem(PrmtF::elms, row * cols + col);
}
}  // namespace

bool ParamTableGetCell(const CRecord* table, u32 col, u32 row, const char* key, LString* out) {
    const CRecord* cell = TableCell(table, col, row);
    return cell && NodeFind(cell, key, out) >= 0;
}

void ParamTableSetCell(CRecord* table, LHandler* ctx, u32 col, u32 row, const char* key,
                       const LString& value) {
    if (CRecord* cell = TableCell(table, col, row)) NodeSet(cell, ctx, key, value);
}

// ---------------------------------------------------------------- colours

void LRgb::Set(LRgb* rgb, u32 r, u32 g, u32 b) {
    rgb->r = u8(std::min<u32>(r, 255));
    rgb->g = u8(std::min<u32>(g, 255));
    rgb->b = u8(std::min<u32>(b, 255));
}

bool LRgb::Equals(const LRgb& a, const LRgb& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}
