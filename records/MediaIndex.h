#pragma once
// The media index ('YKVS'/'MDIS', `meds` sorted by name).

#include "base/LString.h"
#include "records/CRecord.h"

CRecord* FindMediaFile(const CRecord* index, const char* name);
CRecord* AddMediaFile(CRecord* index, u8 kind, const char* name);
void RemoveMediaFile(CRecord* index, const char* name);
// Appends the names of the entries of that kind.
void ListMediaFilesOfKind(const CRecord* index, u8 kind, CStrArray* names);
LString& StripExtension(LString* out, const char* name);

// An open editor keeps its device's index while the list of recent devices
// is trimmed: held entries are never the ones removed.
void HoldMediaIndex(const CRecord* index);
void ReleaseMediaIndex(const CRecord* index);
bool IsMediaIndexHeld(const CRecord* index);
