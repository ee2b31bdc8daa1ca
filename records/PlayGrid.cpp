#include "records/PlayGrid.h"

#include "records/ShowKinds.h"
#include "records/ShowOpsSupport.h"

using showops::NewOf;
using showops::OpenGroup;

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
