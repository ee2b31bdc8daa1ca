#pragma once
// Auxiliary plays, their triggers and the labels of trigger inputs.

#include "base/LString.h"
#include "records/CRecord.h"

class LHandler;

u32 AddAuxPlay(CRecord* auxPlays, LHandler* ctx);
u32 AddAuxTrigger(CRecord* auxPlay, LHandler* ctx);
void AuxTriggerSetModeAndValue(CRecord* trigger, LHandler* ctx, u8 mode, u32 value);
void AuxTriggerSetModeSigned(CRecord* trigger, LHandler* ctx, i32 mode, i32 value);
// The label of input n of a 'SNTG'; empty when the input does not exist.
LString& TriggerInputLabel(LString* out, const CRecord* trigger, u32 n);
// "C 4", "C#4" ...: note name and octave note / 12 - 5 + offset.
LString& MidiNoteName(LString* out, u8 note, i32 octaveOffset);
