#pragma once
// Lists of records kept sorted by their items' first 32-bit field.

#include "records/CRecord.h"

class LHandler;

u32 LowerBoundByKey(const CRecord* record, u8 field, i32 key);
u32 UpperBoundByKey(const CRecord* record, u8 field, i32 key);
// Sets the item's key and moves it where the order needs it; the new index.
u32 MoveSortedItem(CRecord* record, LHandler* ctx, u8 field, u32 index, i32 key);
