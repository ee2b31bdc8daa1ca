#pragma once
// Rows, columns and cells of parameter tables ('YUND'/'PRMT').

#include "base/LString.h"
#include "records/CRecord.h"

class LHandler;

void ParamTableAppendRow(CRecord* table, LHandler* ctx);
void ParamTableAppendColumn(CRecord* table, LHandler* ctx);
void ParamTableRemoveRow(CRecord* table, LHandler* ctx, u32 row);
bool ParamTableGetCell(const CRecord* table, u32 col, u32 row, const char* key, LString* out);
void ParamTableSetCell(CRecord* table, LHandler* ctx, u32 col, u32 row, const char* key,
                       const LString& value);
