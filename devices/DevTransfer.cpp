#include "devices/DevTransfer.h"

#include "devlink/ConfirmedUpload.h"
#include "framework/StdDialogs.h"

namespace {

constexpr u32 kStepMs = 500;

void Done(void* context, CConfirmedUpload* upload) {
    CDevTransferState* state = static_cast<CDevTransferState*>(context);
    for (int i = 0; i < 3; ++i) state->status[i] = upload->Status()[i];
    state->held = upload->Confirmed();
    state->done = true;
}

}  // namespace

i32 TransferResult(u32 a, u32 b, u32 c) {
    if (a == 2) return kTransferNoAnswer;
    if (a != 0) return kTransferBroken;
    switch (b) {
        case 0:
            return kTransferOk;
        case 3:
            return c == 0 ? kTransferFull : c == 3 ? kTransferRefused : kTransferFailed;
        case 2:
            return kTransferNoAnswer;
        default:
            return kTransferFailed;
    }
}

i32 TransferWithProgress(CDevTransferState* state, CReqQueue* queue, const char* path,
                         CSimpleProgressDialog* dialog, u32 base, u32 divisor, CStrm* body,
                         u64 size) {
    if (divisor == 0) divisor = 1;
    *state = CDevTransferState();
    CConfirmedUpload upload(queue, state, Done);
    upload.StartListed(path, body, size, 0);
    while (!state->done) {
        dialog->fBar.SetValue(i32(u32(upload.SentBytes() / divisor) + base));
        // Pressed, or the session ending: the device never takes a part.
        if (dialog->ModalStep(kStepMs) != 0 && !state->done) {
            upload.Cancel();
            return kTransferCancelled;
        }
    }
    const i32 result = TransferResult(state->status[0], state->status[1], state->status[2]);
    return result == kTransferOk && !state->held ? kTransferNotHeld : result;
}
