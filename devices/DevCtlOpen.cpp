#include "devices/DevCtlOpen.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/Clock.h"
#include "devices/CKvsDevCtl.h"
#include "framework/CMainLoop.h"
#include "framework/StdDialogs.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"
#include "records/ShowKinds.h"

namespace {

constexpr u32 kStepMs = 100;

// The session's end, asked while the settings are read for a view, waits for a
// silent device as briefly as the end's own writes do.
u32 IdleLimitMs(u32 limitMs) {
    const CMainLoop* loop = CMainLoop::Current();
    return loop && loop->fEnding && limitMs > kWindowlessIdleLimitMs ? kWindowlessIdleLimitMs
                                                                     : limitMs;
}

}  // namespace

void SendEditMode(CKvsDevCtl& ctl, i32 mode) {
    CRecord* cmd = ctl.Record(CKvsDevCtl::kCommands);
    if (!cmd) return;
    // Each opening and closing reaches the device, the same mode twice too.
    SetCommandOneShot(cmd, DvcmF::sedm, mode);
}

bool WaitChannel(CKvsDevCtl& ctl, CDevRequestQueue& channel, CSimpleProgressDialog* dialog,
                 u32 idleLimitMs) {
    u32 status = ctl.ChannelQueue().CurrentStatus();
    u32 since = LTickMs();
    while (channel.IsBusy()) {
        // A request that could not get a socket will not be answered: said at once,
        // with the reason, instead of after the idle limit as a silent device.
        if (ctl.ChannelQueue().SocketErrno() != 0) return false;
        const u32 now = ctl.ChannelQueue().CurrentStatus();
        if (now != status) {
            status = now;
            since = LTickMs();
            if (dialog) dialog->Spin();
        } else if (LTickMs() - since >= IdleLimitMs(idleLimitMs)) {
            return false;
        }
        if (dialog) {
            // Its button gives up at once, whenever it is pressed; at the
            // session's end the idle limit alone ends the wait.
            if (dialog->StepPressed(kStepMs)) return false;
        } else
            LHandler::Send(LHandler_Mode, &ctl, ctl.Parent());
    }
    return true;
}

namespace {

struct FormatRead {
    bool done = false;
    bool ok = false;
    static void Done(void* self, bool success) {
        auto* r = static_cast<FormatRead*>(self);
        r->done = true;
        r->ok = success;
    }
};

}  // namespace

u32 ReadSeqFormat(CKvsDevCtl& ctl, CSimpleProgressDialog* dialog) {
    CRecordDoc doc(NewSeqSettingsRecord());
    if (!doc.Root()) return 0;
    FormatRead read;
    {
        CDevRequestQueue channel(&ctl.ChannelQueue(), doc.Root(), "/.cmd/udseqset",
                                 CDevRequestQueue::NoRereadContext(), nullptr);
        channel.Request("/sqfm", &read, FormatRead::Done);
        WaitChannel(ctl, channel, dialog);
        // Given up: the channel's end drops the read still under way.
    }
    if (!read.done || !read.ok) return 0;
    const u8 format = doc.Root()->GetU8(SqstF::sqfm);
    return format == 0 ? 1 : format;
}

bool OpenDeviceSettings(CKvsDevCtl& ctl, CSimpleProgressDialog* dialog) {
    ctl.SetLeftWithoutDevice(false);
    SendEditMode(ctl, 1);
    // The edit mode travels on the command channel after a short coalescing
    // pause: the settings are read once the device has it, not before.
    if (!WaitChannel(ctl, ctl.CommandChannel(), dialog)) return false;
    ctl.SettingsChannel().Refresh();
    return WaitChannel(ctl, ctl.SettingsChannel(), dialog);
}

void CloseDeviceSettings(CKvsDevCtl& ctl) {
    SendEditMode(ctl, 0);
    // The user has just gone on without what this device did not take: it is
    // away, and the edit mode's end goes when it is back, or never.
    if (ctl.LeftWithoutDevice()) return;
    WaitChannel(ctl, ctl.CommandChannel(), nullptr, kWindowlessIdleLimitMs);
}

LString SocketFailureText(i32 err) {
    std::string text(StdDialogText("KVSDEVCTLR", 3).View());
    const size_t at = text.find("^1");
    if (at != std::string::npos) text.replace(at, 2, std::strerror(err));
    return LString(text.c_str());
}

LString FreeSpaceText(i32 mib) {
    char text[32];
    if (mib > 1023)
        std::snprintf(text, sizeof text, "%.1fG", double(mib) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%dM", int(mib));
    return LString(text);
}

LString ControlWindowTitle(u32 serial) {
    const std::string head =
        serial ? std::to_string(serial) : std::string(StdDialogText("KVSDEVCTLWIN", 4).View());
    return LString((head + " -KEVOrune").c_str());
}
