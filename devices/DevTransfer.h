#pragma once
// Sending one body to a device while a progress dialog shows how far it got;
// the user may cancel it there.

#include "base/CStrm.h"
#include "devlink/ReqQueue.h"

class CSimpleProgressDialog;

// The words the request queue reports when the write ends.
struct CDevTransferState {
    u32 status[3] = {};  // session result, peer result, error code
    bool done = false;
};

enum : i32 {
    kTransferOk = 0,
    kTransferCancelled = 1,
    kTransferFailed = 2,
    kTransferNoAnswer = 3,
    kTransferRefused = 4,  // the device's error 3
    kTransferFull = 5,     // the device's error 3 without a code of its own
    kTransferBroken = 6,
};

// Writes body (owned by the queue from here) to path on the device. Until the
// write ends, the dialog's bar shows position / divisor + base and the modal
// loop turns in steps of 500 ms; a cancel there drops the request and answers
// kTransferCancelled. divisor must not be 0.
i32 TransferWithProgress(CDevTransferState* state, CReqQueue* queue, const char* path,
                         CSimpleProgressDialog* dialog, u32 base, u32 divisor, CStrm* body);
// The result of a finished write from its three status words.
i32 TransferResult(u32 sessionResult, u32 peerResult, u32 errorCode);
