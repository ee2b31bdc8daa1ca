#include "editors/PlayBtnGrid.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "editors/EditorKit.h"
#include "framework/LRgn.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"

namespace {

u32 HeldColumns(const CRecord* settings, u32 row) {
    if (row >= settings->GetListCount(PlysF::rows)) return 0;
    return settings->GetListItem(PlysF::rows, row)->GetListCount(PlrwF::cels);
}

// The grid's counts, never beyond what the screen shows.
u32 Cols(const CRecord* s) {
    return std::min(s->GetU32(PlysF::btcs), kMaxGridColumns);
}
u32 Rows(const CRecord* s) {
    return std::min(s->GetU32(PlysF::btrs), kMaxGridRows);
}

}  // namespace

void PressPlayButton(CRecord* command, u32 col, u32 row) {
    if (!command || command->FieldCount() <= DvcmF::plcl) return;
    char text[24];
    std::snprintf(text, sizeof text, "%u %u", col, row);
    SetCommandOneShotText(command, DvcmF::plcl, LString(text));
}

void GridCellSize(i32 paneWidth, i32 paneHeight, u32 cols, u32 rows, i32* cellW, i32* cellH) {
    cols = std::clamp<u32>(cols, 1, kMaxGridColumns);
    rows = std::clamp<u32>(rows, 1, kMaxGridRows);
    *cellW = paneWidth / i32(cols);
    *cellH = paneHeight / i32(rows);
}

bool CanInsertCells(const LRgn& selection) {
    return !selection.IsEmpty() && selection == LRgn(selection.GetBounds());
}

void InsertCells(CRecord* settings, LHandler* ctx, const LRgn& selection, bool horizontal) {
    if (selection.IsEmpty()) return;
    const LRect b = selection.GetBounds();
    if (b.left < 0 || b.top < 0) return;
    const u32 cols = Cols(settings), rows = Rows(settings);
    auto group = UndoGroup(ctx);
    if (horizontal) {
        const u32 w = u32(b.Width());
        for (u32 r = u32(b.top); r < u32(b.bottom) && r < rows; ++r) {
            // Past the last cell held nothing moves: start one place beyond it.
            const u32 from = std::min(cols, HeldColumns(settings, r) + 1);
            for (u32 c = from; c-- > u32(b.left);) PlaySetMoveCell(settings, ctx, c, r, c + w, r);
        }
    } else {
        const u32 h = u32(b.Height());
        const u32 from = std::min(rows, settings->GetListCount(PlysF::rows) + 1);
        for (u32 c = u32(b.left); c < u32(b.right) && c < cols; ++c)
            for (u32 r = from; r-- > u32(b.top);) PlaySetMoveCell(settings, ctx, c, r, c, r + h);
    }
}

void DeleteCells(CRecord* settings, LHandler* ctx, const LRgn& selection, bool horizontal) {
    if (selection.IsEmpty()) return;
    const LRect b = selection.GetBounds();
    const u32 cols = Cols(settings), rows = Rows(settings);
    std::vector<std::pair<u32, u32>> cells;  // row-major
    for (i32 r = std::max(b.top, 0); r < b.bottom && u32(r) < rows; ++r)
        for (i32 c = std::max(b.left, 0); c < b.right && u32(c) < cols; ++c)
            if (selection.ContainsPoint(c, r)) cells.push_back({u32(c), u32(r)});
    auto group = UndoGroup(ctx);
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        const auto [c, r] = *it;
        // One place past the last held: its missing cell empties the last one.
        if (horizontal) {
            const u32 to = std::min(cols, HeldColumns(settings, r));
            for (u32 x = c + 1; x <= to; ++x) PlaySetMoveCell(settings, ctx, x, r, x - 1, r);
        } else {
            const u32 to = std::min(rows, settings->GetListCount(PlysF::rows));
            for (u32 y = r + 1; y <= to; ++y) PlaySetMoveCell(settings, ctx, c, y, c, y - 1);
        }
    }
}
