#pragma once
// The sequences of the sequence settings ('SQST' `sqcs`): ids, unique names
// and their scenes.

#include "base/LString.h"
#include "records/CRecord.h"

class LHandler;

i32 FindSequenceIndexById(const CRecord* settings, u32 id);
CRecord* FindSequenceById(const CRecord* settings, u32 id);
// A process-wide counter, moved past the ids the settings use.
u32 NextFreeSequenceId(const CRecord* settings);
void InsertNewSequence(CRecord* settings, LHandler* ctx, u32 index);
// For paste and duplicate: a used id or name is replaced. Takes the sequence.
void InsertSequenceUnique(CRecord* settings, LHandler* ctx, u32 index, CRecord* sequence);
// Null scene: a new one. Its time is held between its neighbours'. Takes the scene.
void InsertSceneUnique(CRecord* sequence, LHandler* ctx, u8 field, u32 index, CRecord* scene);
LString& GetSequenceNameById(LString* out, const CRecord* settings, u32 id);
bool IsSequenceRecordChange(const CRecordNote* note);
bool IsSequenceRecordFor(u32 id, const CRecordNote* note);
// base, or base + "_" + k for the first k from 2 that no item of the list has
// in its name field (except the item `except`).
LString MakeUniqueName(const CRecord* list, u8 field, u8 nameField, const LString& base,
                       const CRecord* except);
