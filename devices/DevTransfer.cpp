#include "devices/DevTransfer.h"

#include "framework/StdDialogs.h"

namespace {

constexpr u32 kStepMs = 500;

void Done(void* context, CStrm*, const u32* status) {
    CDevTransferState* state = static_cast<CDevTransferState*>(context);
    for (int i = 0; i < 3; ++i) state->status[i] = status ? status[i] : 0;
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
                         CSimpleProgressDialog* dialog, u32 base, u32 divisor, CStrm* body) {
    if (divisor == 0) divisor = 1;
    *state = CDevTransferState();
    queue->Enqueue(state, Done, path, 1, body, nullptr, 0);
    while (!state->done) {
        dialog->fBar.SetValue(i32(u32(body->Position() / divisor) + base));
        if (dialog->ModalStep(kStepMs) == 1) {
            queue->CancelAll(state, Done);
            return kTransferCancelled;
        }
    }
    return TransferResult(state->status[0], state->status[1], state->status[2]);
}
