#pragma once
// The undo entries of the record setters (records/RecordSetters.cpp): the pieces
// they write an entry from, and the replays that apply one again. Not for callers
// outside those two files.

#include <vector>

#include "records/CRecord.h"
#include "records/CUndoStrm.h"

class CRecordDoc;

namespace recundo {

// One array element as carried in undo entries and replays.
struct Elem {
    u32 num = 0;
    LString str;
};

// The record's place from the document's root, so that a replay finds it again.
void WriteLocation(CUndoStrm* s, const CRecord* r, u8 field);
void WriteElem(CUndoStrm* s, u8 type, const void* p);
bool ReadElem(CUndoStrm* s, bool fwd, u8 type, Elem* e);
// Where the element's value sits for the setters; a u8 element lands in *byte.
const void* ElemPtr(u8 type, const Elem& e, u8* byte);
void WriteArray(CUndoStrm* s, u8 type, const void* data, u32 count);
bool ReadArray(CUndoStrm* s, bool fwd, u8 type, std::vector<Elem>* out);
// A whole record with its children and lists; null is written as a zero schema.
void WriteTree(CUndoStrm* s, const CRecord* r);
bool SamePlace(CUndoStrm* s, const CRecord* r, u8 field, CRecordDoc* owner);
// Where an item moved from `from` to before `to` ends up in a list of count items.
u32 FinalPosition(u32 from, u32 to, u32 count);

// The replays, one a kind of setter entry.
void ReplayScalar(void* ctx, CUndoStrm* s, bool redo);
void ReplayF32(void* ctx, CUndoStrm* s, bool redo);
void ReplayString(void* ctx, CUndoStrm* s, bool redo);
void ReplayArray(void* ctx, CUndoStrm* s, bool redo);
void ReplayArrayElement(void* ctx, CUndoStrm* s, bool redo);
void ReplayInsertElement(void* ctx, CUndoStrm* s, bool redo);
void ReplayRemoveElement(void* ctx, CUndoStrm* s, bool redo);
void ReplayChild(void* ctx, CUndoStrm* s, bool redo);
void ReplayInsertItem(void* ctx, CUndoStrm* s, bool redo);
void ReplayDetachItem(void* ctx, CUndoStrm* s, bool redo);
void ReplayMove(void* ctx, CUndoStrm* s, bool redo);

// The list's items from..to learn their new positions (in RecordSetters.cpp; a
// rebuilt list needs it too).
void Renumber(CRecord* r, u8 field, u32 from, u32 to);

}  // namespace recundo
