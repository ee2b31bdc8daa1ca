#include "framework/LTypedCellList.h"

#include <algorithm>

#include "framework/LDrawCtx.h"

LTypedCellList::LTypedCellList(LPane* owner, u32 mode, bool keepSelectionOnEdit)
    : LCellListPane(owner, mode, keepSelectionOnEdit, false) {}

void LTypedCellList::BoundsChanged(const LRect& old) {
    LCellListPane::BoundsChanged(old);
    if (CellSizeFollows(old)) CellSizeChanged();
}
bool LTypedCellList::CellSizeFollows(const LRect& old) const {
    return old.Width() != fBounds.Width();
}
void LTypedCellList::Draw(LDrawCtx& ctx) {
    LCellListPane::Draw(ctx);
    fHelper.DrawInsertMark(ctx);
}
void LTypedCellList::CellSizeChanged() {
    LCell size;
    CellQuery(&size);
    SetCellSize(size.col, size.row);
}
void LTypedCellList::OpenList(u32 rows, bool dragRows) {
    if (dragRows) fHelper.Init(this, 1, 0);
    GetProtoCell();
    InsertColumns(0, 1);
    if (rows) InsertRows(0, i32(rows));
}
i32 LTypedCellList::ProtoRowHeight(std::initializer_list<const LPane*> parts) {
    LListCell* proto = GetProtoCell();
    if (!proto) return 1;
    LDrawCtx ctx;
    i32 h = std::max(proto->GetPrefHeight(&ctx, 0), proto->Bounds().Height());
    for (const LPane* part : parts) h = std::max(h, part->Bounds().bottom + 1);
    return std::max(h, 1);
}
