#pragma once
// Operations of the editors and device screens on the show-data records:
// sequence ids and unique names, sorted scene lists, NSQ sets and tracks,
// auxiliary triggers and their input labels, the play-button grid and the
// device-screen layout made from it, universes and their address text, and the
// media index. Changes go through the setters with the caller's undo context.

#include "base/LString.h"
#include "records/CRecord.h"

class LHandler;
class CBtnLabelFontSource;

// ---- lists kept sorted by their items' first 32-bit field
u32 LowerBoundByKey(const CRecord* record, u8 field, i32 key);
u32 UpperBoundByKey(const CRecord* record, u8 field, i32 key);
// Sets the item's key and moves it where the order needs it; the new index.
u32 MoveSortedItem(CRecord* record, LHandler* ctx, u8 field, u32 index, i32 key);

// ---- sequences of the sequence settings ('SQST' `sqcs`)
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

// ---- NSQ sequence sets ('YNST'/'SSET') and tracks
i32 NSqSetFindSeqIndex(const CRecord* set, u32 id);
CRecord* NSqSetFindSeq(const CRecord* set, u32 id);
u32 NSqSetNewSeq(CRecord* set, LHandler* ctx, u32 position);
void NSqSetInsertSeq(CRecord* set, LHandler* ctx, u32 position, CRecord* sequence, bool rename);
void NSqSetRemoveSeq(CRecord* set, LHandler* ctx, u32 index);
void NSqSetRemoveAllSeqs(CRecord* set);
u32 NSqSeqAddTrack(CRecord* sequence, LHandler* ctx, u32 position);
u32 NSqTrkAddScene(CRecord* track, LHandler* ctx, u32 time, u32 itemKind);
u32 NSqTrkInsertScene(CRecord* track, LHandler* ctx, CRecord* scene);
void NSqTrkRemoveScene(CRecord* track, LHandler* ctx, u32 index);
i32 NSqTrkFindSceneAt(const CRecord* track, u32 time);
void NSqTrkSetSceneTime(CRecord* track, LHandler* ctx, u32 index, u32 time);
u32 ChildTypeTag(const CRecord* record);

// ---- auxiliary plays and triggers
u32 AddAuxPlay(CRecord* auxPlays, LHandler* ctx);
u32 AddAuxTrigger(CRecord* auxPlay, LHandler* ctx);
void AuxTriggerSetModeAndValue(CRecord* trigger, LHandler* ctx, u8 mode, u32 value);
void AuxTriggerSetModeSigned(CRecord* trigger, LHandler* ctx, i32 mode, i32 value);
// The label of input n of a 'SNTG'; empty when the input does not exist.
LString& TriggerInputLabel(LString* out, const CRecord* trigger, u32 n);
// "C 4", "C#4" ...: note name and octave note / 12 - 5 + offset.
LString& MidiNoteName(LString* out, u8 note, i32 octaveOffset);

// ---- play settings grid ('PLYS' `rows`, each row's `cels`)
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

// ---- device-screen layout ('KVUI') for the 480 x 272 display
constexpr i32 kUiScreenWidth = 480;
constexpr i32 kUiScreenHeight = 272;
// False, with nothing built, when the grid has no rows or columns or its cells
// are too small for a label.
bool BuildGridUiLayout(const CRecord* record, u8 rowsField, u32 rows, u32 columns, CRecord* layout,
                       CBtnLabelFontSource* fonts);
bool BuildPlaySetUiLayout(const CRecord* settings, CRecord* layout, CBtnLabelFontSource* fonts);
bool BuildBtnLayoutUiLayout(const CRecord* btnLayout, CRecord* layout, CBtnLabelFontSource* fonts);
CRecord* NewUiButton();
// Takes the pane.
void UiFrameAddPane(CRecord* frame, CRecord* pane);
void UiFrameClearPanes(CRecord* frame);
void UiButtonSetParam(CRecord* button, const char* key, const LString& value);
CRecord* UiFontsAddFont(CRecord* fontSet);

// ---- universes
CRecord* FindUniverseRec(const CRecord* status, u32 univ);
CRecord* FindOrAddUniverseRec(CRecord* status, u32 univ);
void ClearUniverseRecs(CRecord* status);
void SetUniverseRecData(CRecord* universe, const u8* bytes, u32 length);
u32 InsertNewUvadRecord(CRecord* record, LHandler* ctx, u32 index);
// "nnn/ss/uu", each right-aligned with blanks.
void FormatArtNetPortAddress(i32 address, char out[10]);
// The universe counted from 1, right-aligned in 5 characters; "?" past 99999.
void FormatSacnUniverse(u32 universe, char out[6]);

// ---- media index ('YKVS'/'MDIS', `meds` sorted by name)
CRecord* FindMediaFile(const CRecord* index, const char* name);
CRecord* AddMediaFile(CRecord* index, u8 kind, const char* name);
void RemoveMediaFile(CRecord* index, const char* name);
// Appends the names of the entries of that kind.
void ListMediaFilesOfKind(const CRecord* index, u8 kind, CStrArray* names);
LString& StripExtension(LString* out, const char* name);

// ---- parameter tables ('YUND'/'PRMT')
void ParamTableAppendRow(CRecord* table, LHandler* ctx);
void ParamTableAppendColumn(CRecord* table, LHandler* ctx);
void ParamTableRemoveRow(CRecord* table, LHandler* ctx, u32 row);
bool ParamTableGetCell(const CRecord* table, u32 col, u32 row, const char* key, LString* out);
void ParamTableSetCell(CRecord* table, LHandler* ctx, u32 col, u32 row, const char* key,
                       const LString& value);

// ---- colours
struct LRgb {
    u8 r = 0, g = 0, b = 0;
    static void Set(LRgb* rgb, u32 r, u32 g, u32 b);
    static bool Equals(const LRgb& a, const LRgb& b);
};
