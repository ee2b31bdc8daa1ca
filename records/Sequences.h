#pragma once
// The sequences of the sequence settings ('SQST' `sqcs`): ids, unique names
// and their scenes.

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/LString.h"
#include "records/CRecord.h"

class LHandler;

// The unique names of many items inserted into one list in a row (a paste):
// the names in use are gathered once, not once an item, so that a paste of
// thousands of scenes into thousands costs no square of their number.
class CUniqueNames {
public:
    CUniqueNames(const CRecord* list, u8 field, u8 nameField);
    // What MakeUniqueName answers for an item not in the list; the name is in
    // use from then on.
    LString Take(const LString& base);

private:
    std::unordered_set<std::string> fUsed;
    // The k last taken for a base: names only come, so no smaller one frees.
    std::unordered_map<std::string, u32> fLastK;
};

i32 FindSequenceIndexById(const CRecord* settings, u32 id);
CRecord* FindSequenceById(const CRecord* settings, u32 id);
// A process-wide counter, moved past the ids the settings use.
u32 NextFreeSequenceId(const CRecord* settings);
void InsertNewSequence(CRecord* settings, LHandler* ctx, u32 index);
// For paste and duplicate: a used id or name is replaced. Takes the sequence.
void InsertSequenceUnique(CRecord* settings, LHandler* ctx, u32 index, CRecord* sequence);
// Null scene: a new one. Its time is held between its neighbours'. Takes the
// scene. names, when given, holds the names of the sequence's list field.
void InsertSceneUnique(CRecord* sequence, LHandler* ctx, u8 field, u32 index, CRecord* scene,
                       CUniqueNames* names = nullptr);
LString& GetSequenceNameById(LString* out, const CRecord* settings, u32 id);
bool IsSequenceRecordChange(const CRecordNote* note);
bool IsSequenceRecordFor(u32 id, const CRecordNote* note);
// base, or base + "_" + k for the first k from 2 that no item of the list has
// in its name field (except the item `except`).
LString MakeUniqueName(const CRecord* list, u8 field, u8 nameField, const LString& base,
                       const CRecord* except);
