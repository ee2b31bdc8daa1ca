#pragma once
// The take a device is recording has a name on its card before it is a file
// there: the device writes it when the recording stops, over whatever holds that
// name by then. So the card as it will be holds the take with the listing and
// the queued uploads, and nothing else may be written to its name meanwhile.
// The device's sequence status ('YKVT'/'SSTA') tells it. A device starts and
// stops a take by itself too (its schedule, a trigger), and the status is
// polled only while a view shows it: what writes to the card reads it anew.

#include "base/LString.h"
#include "base/Types.h"

class CRecord;
class CStrm;

// Reads the device's whole sequence status.
inline constexpr const char* kSeqStatusRead = "/.cmd/udseqstat/";

// The card name of the take a sequence status tells the device is recording
// (stat 3, `cflp` in the recordings folder), empty when none. A device in
// record standby has no name yet.
LString RecordingTakeName(const CRecord* ssta);

// The take a reply to kSeqStatusRead tells (empty when none); false when the
// reply is not a whole status, which tells nothing.
bool TakeFromStatusReply(CStrm* reply, LString* take);
