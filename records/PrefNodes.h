#pragma once
// Record contents reached by name: whole record trees as preference nodes,
// parameter nodes ('YUND'/'PRMS') as key/value stores, parameter tables
// ('YUND'/'PRMT') and the device contents record ('YKVS'/'DCTS').

#include "base/LRect.h"
#include "records/CPrefNode.h"
#include "records/DeviceKinds.h"

class CChunkFile;
class LHandler;

// Nesting deeper than this is refused by the walks: stores and trees built from
// outside data must not exhaust the stack.
constexpr u32 kPrefWalkMaxDepth = 64;

// Registers the device contents kinds and attaches the parameter-table hook;
// may be called any number of times.
void RegisterPrefNodeKinds();

// ---- preferences walk: keys are the field tags as text
// False when the tree nests deeper than kPrefWalkMaxDepth (what lies deeper is not written).
bool WriteToPrefNode(CPrefNode& node, const CRecord* record);
// Resets the record, then reads every tagged field the node holds (setters without
// undo). False when the node nests too deep; the record then holds what was read.
bool ReadFromPrefNode(CPrefNode& node, CRecord* record);

// ---- parameter nodes (keys compared exactly)
// Index of the first entry with the key (its value text copied when out is given), or -1.
i32 NodeFind(const CRecord* node, const char* key, LString* value);
// An empty value removes the entry.
void NodeSet(CRecord* node, LHandler* ctx, const char* key, const LString& value);
CRecord* NodeGetSubNode(const CRecord* node, const char* key);
// The nested node under the key, made when missing.
CRecord* NodeGetOrCreate(CRecord* node, LHandler* ctx, const char* key);
i32 NodeGetInt(const CRecord* node, const char* key, i32* out);
i32 NodeGetFloat(const CRecord* node, const char* key, f32* out);
f32 NodeGetFloatOr(const CRecord* node, const char* key, f32 def);
i32 NodeGetIntOr(const CRecord* node, const char* key, i32 def);
LString& NodeGetText(LString* out, const CRecord* node, const char* key, const char* def);
LString& NodeGetStrOr(LString* out, const CRecord* node, const char* key, const char* def);
void NodeSetInt(CRecord* node, LHandler* ctx, const char* key, i32 value);
void NodeSetIntC(CRecord* node, const char* key, i32 value);
void NodeSetFloat(CRecord* node, LHandler* ctx, const char* key, u32 digits, f32 value);
// Four blank-separated integers; all zero when absent or incomplete.
LRect GetRectFromString(const CRecord* node, const char* key);
void SetRectAsString(CRecord* node, const char* key, const LRect& r);

// ---- parameter tables: cells row-major, cell (r, c) at r x cols + c
void ParamTableGetSize(const CRecord* table, u32* cols, u32* rows);
void ParamTableTrim(CRecord* table, u32 cols, u32 rows);
// New cells are the next 'YUND'/'PRMS' records of the container (reader may be null),
// else empty nodes.
void ParamTableInsertRow(CRecord* table, LHandler* ctx, u32 row, CChunkFile* reader);
void ParamTableInsertColumn(CRecord* table, LHandler* ctx, u32 column, CChunkFile* reader);
i32 ParamTableHook(u32 op, void* argument);

// ---- device contents: two name-sorted lists of device files
constexpr u32 kKindDcts = FourCC("DCTS");  // 'YKVS'
constexpr u32 kKindDfif = FourCC("DFIF");  // 'YKVS'
namespace DctsF {
enum : u8 { field0, field1, listChanged, seqChosen, recordings, audio, kCount };
}
namespace DfifF {
enum : u8 { name, number, info, kCount };
}

CRecord* NewDeviceContentsRecord();
// which: 0 recordings, 1 audio files; any other value gives 0, empty texts or -1.
u32 NodeListCount(const CRecord* record, u32 which);
LString& NodeListText(LString* out, const CRecord* record, u32 which, u32 index);
LString& NodeListItemText2(LString* out, const CRecord* record, u32 which, u32 index);
u64 NodeListItemNumber(const CRecord* record, u32 which, u32 index);
// The number of the last entry with the name in the recordings, else in the audio files; 0 when
// absent.
u64 NodeListFindNumber(const CRecord* record, const char* name);
i32 NodeListFindLast(const CRecord* record, u32 which, const char* name);
i32 NodeListWhichOfField(u8 field);
void NodeListInsertSorted(CRecord* record, u32 which, const char* name, const char* number,
                          const char* info);
void NodeListSetItemTexts(CRecord* record, u32 which, u32 index, const char* number,
                          const char* info);
void NodeListRemoveByName(CRecord* record, u32 which, const char* name);
// Each call sends a change notice for its field.
void SignalFileListChanged(CRecord* record);
void SignalSequenceChosen(CRecord* record, u32 value);
