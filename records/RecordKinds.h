#pragma once
// The registered record kinds of the program: show data, device mirrors, NSQ
// data, device-screen layouts, schedules and preferences. Each group registers
// itself during static initialisation; RegisterAllRecordKinds also links every
// group into a program and may be called any number of times.

#include "records/CRecord.h"

constexpr u32 kFamKvt = FourCC("YKVT");  // show data and device mirrors
constexpr u32 kFamKvs = FourCC("YKVS");  // application-side records
constexpr u32 kFamNsq = FourCC("YNST");  // NSQ show data
constexpr u32 kFamUnd = FourCC("YUND");  // generic named parameters
constexpr u32 kFamDrc = FourCC("YDRC");  // recording status
constexpr u32 kFamDmx = FourCC("YDMX");  // DMX-monitor preferences

void RegisterShowKinds();
void RegisterDeviceKinds();
void RegisterNsqPrefKinds();
void RegisterAllRecordKinds();

// Every (family, kind) pair that RegisterAllRecordKinds registers.
const RecKindCode* AllRecordKinds(u32* count);
