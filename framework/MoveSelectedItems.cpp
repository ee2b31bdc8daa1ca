#include "framework/MoveSelectedItems.h"

#include <algorithm>
#include <vector>

#include "framework/LListPane.h"
#include "records/CRecord.h"

u32 MoveSelectedItems(CRecord* record, LHandler* ctx, u8 field, bool columnMajor,
                      const LRgn& selection, i32* index) {
    if (!record || !index) return 0;
    const u32 count = record->GetListCount(field);
    const u32 insert = u32(std::clamp<i64>(*index, 0, count));
    // Each item once, in ascending order, whatever the other axis holds.
    std::vector<u32> items;
    LSelIter it;
    it.Init(selection, columnMajor, false);
    while (it.Next()) {
        const i32 i = columnMajor ? it.Cell().row : it.Cell().col;
        if (i < 0 || u32(i) >= count) continue;
        if (items.empty() || items.back() != u32(i)) items.push_back(u32(i));
    }
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());

    MoveIndexAdjuster adj;
    adj.Init(insert);
    for (u32 i : items) {
        const u32 now = adj.Next(i);
        record->MoveItem(ctx, field, now, adj.Gap());
        adj.Placed(i);
    }
    *index = i32(insert - adj.TakenFromAbove());
    return u32(items.size());
}
