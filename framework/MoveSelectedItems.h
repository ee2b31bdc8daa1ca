#pragma once
// Moving the selected items of a record list to an insertion point between
// them, one undoable move at a time.

#include "framework/LRgn.h"

class CRecord;
class LHandler;

// Where each selected item stands as the items, taken in ascending order of
// their first positions, are moved one by one to the insertion point. Items
// from above the point close up behind it; items at or past it are not shifted
// by the earlier moves, which took as many items from before them as they put
// there.
class MoveIndexAdjuster {
public:
    void Init(u32 insert) {
        fInsert = insert;
        fGap = insert;
        fMoved = 0;
    }
    // The position now of the item that stood at i before any move.
    u32 Next(u32 i) {
        if (i >= fInsert) return i;
        return i - fMoved++;
    }
    // Where the item just answered goes: an insertion index counted before it
    // is taken out; advance with Placed after each move.
    u32 Gap() const { return fGap; }
    void Placed(u32 i) {
        if (i >= fInsert) ++fGap;
    }
    u32 TakenFromAbove() const { return fMoved; }

private:
    u32 fInsert = 0;
    u32 fGap = 0;
    u32 fMoved = 0;
};

// Moves the items of the list field that the selection names (rows when
// columnMajor, else columns; cells outside the list are left out) to *index,
// held to the count. *index receives the position of the first moved item.
// Answers how many items were moved.
u32 MoveSelectedItems(CRecord* record, LHandler* ctx, u8 field, bool columnMajor,
                      const LRgn& selection, i32* index);
