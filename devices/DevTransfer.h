#pragma once
// Sending one file to a device while a progress dialog shows how far it got;
// the user may cancel it there. The file counts as sent only once the device's
// listing of its folder shows it in place (devlink/ConfirmedUpload.h).

#include "base/CStrm.h"
#include "devlink/ReqQueue.h"

class CSimpleProgressDialog;

// The words the request queue reports when the write ends.
struct CDevTransferState {
    u32 status[3] = {};  // session result, peer result, error code
    bool done = false;
    bool held = false;  // the device's listing showed the file in place
};

enum : i32 {
    kTransferOk = 0,
    kTransferCancelled = 1,
    kTransferFailed = 2,
    kTransferNoAnswer = 3,
    kTransferRefused = 4,  // the device's error 3
    kTransferFull = 5,     // the device's error 3 without a code of its own
    kTransferBroken = 6,
    kTransferNotHeld = 7,  // the transfer ended well, yet the device does not hold the file
};

// Writes body (size bytes, owned by the queue from here) to path on the device,
// its folder listed before and after. Until the upload ends, the dialog's bar
// shows position / divisor + base and the modal loop turns in steps of 500 ms; a
// cancel there drops the request and answers kTransferCancelled. divisor must
// not be 0.
i32 TransferWithProgress(CDevTransferState* state, CReqQueue* queue, const char* path,
                         CSimpleProgressDialog* dialog, u32 base, u32 divisor, CStrm* body,
                         u64 size);
// The result of a finished write from its three status words.
i32 TransferResult(u32 sessionResult, u32 peerResult, u32 errorCode);
