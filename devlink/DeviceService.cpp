#include "devlink/DeviceService.h"

#include <vector>

#include "devlink/AnswerLimits.h"
#include "base/Clock.h"
#include "base/Resources.h"
#include "devlink/DevServiceDialogs.h"
#include "devlink/ReqQueue.h"
#include "framework/LHandler.h"
#include "services/RunLoop.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"

namespace {

constexpr u32 kTurnMs = 200;
constexpr u32 kPollEveryMs = 2000;
constexpr u32 kPulseWaitMs = 500;

enum : u32 {
    kItemNotSent = 0,
    kItemNoAnswer = 1,
    kItemNotFound = 2,
    kItemAccess = 3,
    kItemProgress = 4,
    kItemFirstError = 6,
    kItemLastError = 13,
};

LString ServiceText(u32 item) {
    LResId id{0, kServiceTextsName};
    LStrListRes list(&id, nullptr, FourCC("CST#"));
    LString text;
    return list.GetItem(&text, item);
}

// One transfer and what came back.
struct Exchange {
    bool done = false;
    u32 status[3] = {0, 0, 0};
    std::vector<char> reply;

    static void OnDone(void* self, CStrm* data, const u32* status) {
        auto* x = static_cast<Exchange*>(self);
        x->done = true;
        for (int i = 0; i < 3; ++i) x->status[i] = status[i];
        if (!data || status[0] != 0 || status[1] != 0) return;
        data->SetPosition(0);
        char chunk[1024];
        for (;;) {
            u64 got = sizeof chunk;
            data->Read(chunk, &got);
            if (got == 0) break;
            x->reply.insert(x->reply.end(), chunk, chunk + got);
        }
    }
    bool Failed() const { return status[0] != 0 || status[1] != 0; }
};

// The item of a failed transfer, or -1 when it calls for no message.
i32 TransferErrorItem(const u32* s) {
    if (s[0] == 2) return kItemNoAnswer;
    if (s[0] == 1) return kItemNotSent;
    if (s[1] == 2) return kItemNoAnswer;
    if (s[1] == 3) return s[2] == 1 ? kItemNotFound : s[2] == 2 ? kItemAccess : kItemNotSent;
    return -1;
}

// "[BOM] [sign]digits blanks text": the number (clamped); *text is where the rest starts.
i32 ParsePollReply(const std::vector<char>& reply, size_t* text) {
    const size_t n = reply.size();
    size_t i = n >= 3 && reply[0] == '\xEF' && reply[1] == '\xBB' && reply[2] == '\xBF' ? 3 : 0;
    auto blank = [&](bool lineEnds) {
        while (i < n && (reply[i] == ' ' || reply[i] == '\t' ||
                         (lineEnds && (reply[i] == '\r' || reply[i] == '\n'))))
            ++i;
    };
    blank(false);
    bool negative = false;
    if (i < n && (reply[i] == '-' || reply[i] == '+')) negative = reply[i++] == '-';
    i64 value = 0;
    for (; i < n && reply[i] >= '0' && reply[i] <= '9'; ++i)
        if (value < 0x80000000LL) value = value * 10 + (reply[i] - '0');
    blank(true);
    *text = i;
    if (negative) value = -value;
    return value > 0x7FFFFFFFLL ? 0x7FFFFFFF : value < -0x7FFFFFFFLL ? -0x7FFFFFFF : i32(value);
}

// The command path followed by the service name.
void ServicePath(LTextStream* path, const char* command, const char* name) {
    path->Clear();
    path->Put(command);
    path->Put(name ? name : "");
}

class ServiceRun {
public:
    ServiceRun(LHandler* parent, CReqQueue* queue, MDevServiceUi& ui)
        : fParent(parent), fQueue(queue), fUi(ui) {}

    // False when the user cancelled, or the session is ending (the dialog
    // answers by itself then): the request is withdrawn and the dialog closed.
    bool Await(Exchange& x) {
        while (!x.done) {
            if (fUi.ModalStep(kTurnMs) != 0 && !x.done) return Cancel(x);
        }
        return true;
    }
    bool Pause(u32 ms, Exchange& x) {
        const u32 start = LTickMs();
        for (u32 spent = 0; spent < ms; spent = LTickMs() - start)
            if (fUi.ModalStep(ms - spent < kTurnMs ? ms - spent : kTurnMs) != 0) return Cancel(x);
        return true;
    }
    bool Fail(i32 item) {
        fUi.CloseProgress();
        if (item >= 0) fUi.ShowMessage(fParent, ServiceText(u32(item)));
        return false;
    }

private:
    bool Cancel(Exchange& x) {
        fQueue->CancelAll(&x, Exchange::OnDone);
        fUi.CloseProgress();
        return false;
    }

    LHandler* fParent;
    CReqQueue* fQueue;
    MDevServiceUi& fUi;
};

}  // namespace

bool RunDeviceService(MDevObjLink* device, LHandler* parent, CReqQueue* queue, const char* name,
                      LTextSink& out, CStrm* body, MDevServiceUi& ui) {
    if (!queue) {
        delete body;
        return false;
    }
    ui.OpenProgress(device ? device->DialogOwner() : parent, ServiceText(kItemProgress), 100);
    ServiceRun run(parent, queue, ui);
    LTextStream path;
    ServicePath(&path, "/.cmd/svcreq//", name);
    Exchange request;
    queue->Enqueue(&request, Exchange::OnDone, path.CStr(), 1, body, nullptr, 0);
    if (!run.Await(request)) return false;
    if (request.Failed()) return run.Fail(TransferErrorItem(request.status));

    for (;;) {
        Exchange poll;
        ServicePath(&path, "/.cmd/svcpol//", name);
        queue->Enqueue(&poll, Exchange::OnDone, path.CStr(), 0,
                       new CGrowMemStrm(kServiceAnswerLimit), nullptr, 0);
        if (!run.Await(poll)) return false;
        if (poll.Failed()) return run.Fail(TransferErrorItem(poll.status));
        size_t text = 0;
        const i32 number = ParsePollReply(poll.reply, &text);
        if (number < 0)
            return run.Fail(number >= -8 ? i32(kItemFirstError - 1) - number
                                         : i32(kItemFirstError));
        if (number >= 100) {
            out.Write(poll.reply.data() + text, u32(poll.reply.size() - text));
            ui.CloseProgress();
            return true;
        }
        ui.SetProgress(u32(number));
        if (!run.Pause(kPollEveryMs, poll)) return false;
    }
}

bool RunDeviceService(MDevObjLink* device, LHandler* parent, CReqQueue* queue, const char* name,
                      LTextSink& out, CStrm* body) {
    CDevServiceDialogs dialogs;
    return RunDeviceService(device, parent, queue, name, out, body, dialogs);
}

void PulseRefreshAndWait(LHandler* handler, CRecord* command) {
    if (command && command->FieldCount() == DvcmF::kCount) {
        // Pulses: each one travels, none is folded into a waiting write.
        SetField2Transient(command, LString("/"));
        SetCommandOneShot(command, DvcmF::frfl, 1);
    }
    const u32 start = LTickMs();
    while (u32(LTickMs() - start) < kPulseWaitMs) {
        if (handler && handler->Parent())
            LHandler::Send(LHandler_Mode, handler, handler->Parent());
        else
            RunLoopRunOnce(10);
    }
}
