#pragma once
// NSQ sequence sets ('YNST'/'SSET'), their sequences and tracks.

#include "records/CRecord.h"

class LHandler;

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
