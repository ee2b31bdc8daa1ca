#pragma once
// What a drag onto a sequence slot carries: a sequence (from the sequence
// list or the NSQ sequence list) or the names of recordings (from the card's
// file list), and reading them out.

#include "base/LString.h"

class CDropSource;
class CStrArray;
class LDrop;
class LDropPane;
struct LMessage;

// Answers of ClassifySeqDrop.
enum : u32 { kSeqDropNone = 0, kSeqDropEntered = 1, kSeqDropDropped = 2 };

// "LDropPane_Enter" with a sequence, an NSQ sequence or file names: the pane
// shows a copy (3) and the answer is 1. "LDropPane_Drop": 2. Else 0.
u32 ClassifySeqDrop(const LMessage& msg, LDropPane* pane);
// The `sqid` of the first record of the ".sequence" data, else of the
// ".nsqseq" data; 0 when neither is offered or the data hold no record.
u32 ReadDroppedSequenceId(CDropSource* source);
bool DragHasFileNames(CDropSource* source);
// Appends the ".drcfilename" items from index 0 until one is missing. Names
// that the device could not hold (IsDeviceFileName) are skipped: any process
// may offer these items.
void ReadDroppedFileNames(CDropSource* source, CStrArray* names);
