#pragma once
// Named values of the device's "/.cmd/udsysstat" reply ('YUND'/'PRMS'): free
// space, the file-system state and the sound device. Readers give the default
// when the value (or the node) is missing.

#include "base/Types.h"

class CRecord;
class LHandler;

i32 StatNodeGetFreeb(const CRecord* node);
// The child node under "fsstat" / "snddev". A missing one is added without any
// change notice: the record is a channel's, and merely reading it must not
// write to the device. Null only when node is not a parameter node.
CRecord* StatNodeGetFsStat(CRecord* node);
CRecord* StatNodeGetSndDev(CRecord* node);

bool SndDevGetOper(const CRecord* node);
i32 SndDevGetInChannels(const CRecord* node);
i32 SndDevGetOutChannels(const CRecord* node);
i32 SndDevGetRate(const CRecord* node);
i32 SndDevGetBits(const CRecord* node);
// Through the setters: a channel bound to the record sends the value.
void SndDevSetInChannels(CRecord* node, LHandler* ctx, i32 value);
void SndDevSetOutChannels(CRecord* node, LHandler* ctx, i32 value);
void SndDevSetRate(CRecord* node, LHandler* ctx, i32 value);
void SndDevSetBits(CRecord* node, LHandler* ctx, i32 value);
