#include "records/SortedLists.h"

#include "records/ShowOpsSupport.h"

using showops::ItemKey;
using showops::OpenGroup;

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
