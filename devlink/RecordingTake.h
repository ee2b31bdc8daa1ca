#pragma once
// The take a device is recording has a name on its card before it is a file
// there: the device writes it when the recording stops, over whatever holds that
// name by then. So the card as it will be holds the take with the listing and
// the queued uploads, and nothing else may be written to its name meanwhile.
// The device's sequence status ('YKVT'/'SSTA') tells it, as last read.

#include "base/LString.h"
#include "base/Types.h"

class CRecordDoc;
class CReqQueue;

// Ties a device's file request queue to its sequence status document for as long
// as it lives (the device controller holds one). Main thread only.
class CRecordingTake {
public:
    CRecordingTake(const CReqQueue* files, CRecordDoc* status);
    ~CRecordingTake();
    CRecordingTake(const CRecordingTake&) = delete;
    CRecordingTake& operator=(const CRecordingTake&) = delete;

    // The card name of the take being recorded (stat 3, `cflp` in the recordings
    // folder), empty when none.
    LString Name() const;

private:
    friend LString RecordingTakeName(const CReqQueue* queue, u32 kind);
    const CReqQueue* fFiles;
    CRecordDoc* fStatus;
};

// The take the device of this request queue is recording into folder kind (0
// recordings; audio files have none), empty when none.
LString RecordingTakeName(const CReqQueue* queue, u32 kind);
