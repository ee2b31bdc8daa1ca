#pragma once
// What the play-button grid does to the play settings: a press plays a place
// on the device, shifting inserts and deletes move cells along rows or
// columns, and the grid's cells fill the pane.

#include "base/LRect.h"
#include "records/CRecord.h"

class LHandler;
class LRgn;

// The grid the device's 480 x 272 screen can show: counts from a device or a
// file beyond it are held there (and never walked).
constexpr u32 kMaxGridColumns = 480;
constexpr u32 kMaxGridRows = 272;

// `plcl` "column row" to the device, then empty again without notice, so that
// the same press sends again.
void PressPlayButton(CRecord* command, u32 col, u32 row);
// A cell of the pane: its size divided by the counts (a count below 1 as 1,
// above the screen's as the screen's).
void GridCellSize(i32 paneWidth, i32 paneHeight, u32 cols, u32 rows, i32* cellW, i32* cellH);
// Shifting insert (horizontal: along rows) over the selection's bounds; one
// undo step. Inserting needs a rectangle.
bool CanInsertCells(const LRgn& selection);
void InsertCells(CRecord* settings, LHandler* ctx, const LRgn& selection, bool horizontal);
// Shifting delete of every selected cell, the rest of its row (horizontal) or
// column moving up by one; the last place ends empty. One undo step.
void DeleteCells(CRecord* settings, LHandler* ctx, const LRgn& selection, bool horizontal);
