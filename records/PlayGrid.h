#pragma once
// The play-button grid of the play settings ('PLYS' `rows`, each row's `cels`)
// and its saved button layouts.

#include "records/CRecord.h"

class LHandler;

CRecord* PlaySetGetCell(const CRecord* settings, u32 col, u32 row);
CRecord* PlaySetGetOrAddCell(CRecord* settings, LHandler* ctx, u32 col, u32 row);
// The removed cell (the caller's); without such a cell, the replacement itself.
CRecord* PlaySetTakeCell(CRecord* settings, LHandler* ctx, u32 col, u32 row, CRecord* replacement);
void PlaySetMoveCell(CRecord* settings, LHandler* ctx, u32 fromCol, u32 fromRow, u32 toCol,
                     u32 toRow);
void PlaySetApplyBtnLayout(CRecord* settings, LHandler* ctx, u32 index);
void CopyRecordListField(LHandler* ctx, const CRecord* source, u8 sourceField, CRecord* target,
                         u8 targetField);
CRecord* NewBtnLayoutFromPlaySet(const CRecord* settings);
// Takes the layout.
void PlaySetReplaceBtnLayout(CRecord* settings, LHandler* ctx, u32 index, CRecord* layout);
void PlaySetDropUiLayout(CRecord* settings);
