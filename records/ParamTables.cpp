#include "records/ParamTables.h"

#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "records/ShowOpsSupport.h"

using showops::OpenGroup;

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
