#pragma once

#include "devices/monitors/CMonWin.h"

// Where channel ch's bar lies in the grid's container, y pixels below the graph's top.
inline LPoint MonChannelPoint(CMonGrid* g, u32 ch, i32 y) {
    const i32 group = i32(ch / 64);
    const LRect cell = g->GetCellRect(LCell{group % g->Cols(), group / g->Cols()});
    const LRect graph = g->GraphInCell();
    return LPoint{cell.left + graph.left + 2 * i32(ch % 64) + 1, cell.top + graph.top + y};
}
