#pragma once
// The universe records of a device's status and the texts of universe addresses.

#include "records/CRecord.h"

class LHandler;

CRecord* FindUniverseRec(const CRecord* status, u32 univ);
CRecord* FindOrAddUniverseRec(CRecord* status, u32 univ);
void ClearUniverseRecs(CRecord* status);
void SetUniverseRecData(CRecord* universe, const u8* bytes, u32 length);
u32 InsertNewUvadRecord(CRecord* record, LHandler* ctx, u32 index);
// "nnn/ss/uu", each right-aligned with blanks.
void FormatArtNetPortAddress(i32 address, char out[10]);
// The universe counted from 1, right-aligned in 5 characters; "?" past 99999.
void FormatSacnUniverse(u32 universe, char out[6]);
