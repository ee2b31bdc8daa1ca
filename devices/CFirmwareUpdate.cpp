#include "devices/CFirmwareUpdate.h"

#include <string>

#include "devlink/AnswerLimits.h"
#include "base/CMemStrm.h"
#include "base/Clock.h"
#include "base/Lzss.h"
#include "base/Resources.h"
#include "devlink/ConfirmedUpload.h"
#include "devlink/ReqQueue.h"
#include "framework/LPngImage.h"
#include "framework/StdDialogs.h"

namespace {

constexpr const char* kTexts = "KVSDOC";
constexpr const char* kVerDlg = "CFWUPDVERDLG";
constexpr u32 kTrailer = 8;  // package bytes after the packed stream
constexpr u32 kRestartWaitMs = 999;
constexpr u32 kAfterRestartMs = 5000;

enum : u8 { kItemName = 2, kItemHeader = 3, kItemImage = 4 };

bool Skip(CLzssReader& lz, u32 n) {
    u8 b[24];
    return n <= sizeof b && lz.Read(b, n) == n;
}

// A zero-terminated text; false when the data ends inside it.
bool SkipText(CLzssReader& lz) {
    u8 c = 0;
    for (;;) {
        if (lz.Read(&c, 1) != 1) return false;
        if (c == 0) return true;
    }
}

LString Decimal(u32 v) {
    return LString(std::to_string(v).c_str());
}

LString Text(u32 item) {
    return StdDialogText(kTexts, item);
}

// One request of the update and what its completion reported.
struct Step {
    bool done = false;
    bool parse = false;  // the reply carries the device's image header
    bool held = true;    // a write: the device gave the image back whole
    u32 status[3] = {0, 0, 0};
    CFwVersion version;
};

void StepDone(void* context, CStrm* data, const u32* status) {
    Step* s = static_cast<Step*>(context);
    s->done = true;
    for (u32 i = 0; i < 3; ++i) s->status[i] = status[i];
    if (s->parse && data) {
        data->SetPosition(0);
        ParseFwVersion(&s->version, data);
    }
}

bool Succeeded(const Step& s) {
    return s.held && s.status[0] == 0 && s.status[1] == 0 && s.status[2] == 0;
}

// An image the device does not give back whole is a failed write.
void WriteDone(void* context, CConfirmedUpload* upload) {
    Step* s = static_cast<Step*>(context);
    s->done = true;
    for (u32 i = 0; i < 3; ++i) s->status[i] = upload->Status()[i];
    s->held = upload->Confirmed();
}

}  // namespace

void ParseFwVersion(CFwVersion* out, CStrm* strm) {
    u8 h[16];
    u64 n = sizeof h;
    strm->Read(h, &n);
    *out = CFwVersion();
    if (n != sizeof h) return;
    out->valid = true;
    out->kind = u16(h[0] | (h[1] << 8));
    out->version = u16(h[2] | (h[3] << 8));
}

CFwVersion FwVersionOf(const u8* data, u32 size) {
    CFwVersion v;
    if (!data || size == 0) return v;
    CMemStrm strm(const_cast<u8*>(data), size);
    ParseFwVersion(&v, &strm);
    return v;
}

bool ExpandFirmwarePackage(const u8* data, u32 size, LDataBuf* image) {
    image->Free();
    if (!data || size <= kTrailer) return false;
    CMemStrm source(const_cast<u8*>(data), size);
    CLzssReader lz(&source, 0, size - kTrailer);
    for (;;) {
        u8 type = 0;
        if (lz.Read(&type, 1) != 1) return false;
        if (type == kItemName) {
            if (!SkipText(lz)) return false;
        } else if (type == kItemHeader) {
            if (!Skip(lz, 24)) return false;
        } else if (type == kItemImage) {
            if (!Skip(lz, 4) || !SkipText(lz) || !Skip(lz, 8)) return false;
            {
                CMemStrm out(*image);
                lz.ReadToStream(out);
            }
            return image->Capacity() > 0;
        } else {
            return false;
        }
    }
}

bool LoadFirmwareImage(LDataBuf* image, LResSource* source) {
    LResId id{0, "kvexec"};
    LResBlock package(&id, source, FourCC("TRAW"));
    return ExpandFirmwarePackage(package.Data(), package.Size(), image);
}

bool FirmwareImageUsable(const u8* data, u32 size) {
    const CFwVersion v = FwVersionOf(data, size);
    return v.valid && v.kind == kFwKindMainExec;
}

// ---- CFwUpdVerDlg

CFwUpdVerDlg::CFwUpdVerDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fUpdate(this),
      fCancel(this),
      fIcon(this),
      fDeviceLabel(this),
      fDeviceVersion(this),
      fImageLabel(this),
      fImageVersion(this) {
    SetTitle(StdDialogText(kVerDlg, 0));
    fUpdate.SetTitle(StdDialogText(kVerDlg, 1));
    fCancel.SetTitle(StdDialogText(kVerDlg, 2));
    fDeviceLabel.SetText(StdDialogText(kVerDlg, 3));
    fImageLabel.SetText(StdDialogText(kVerDlg, 4));
    fIcon.SetImage(LoadPngImage("APP"));
    SetDefaultButton(&fUpdate);
    SetCancelButton(&fCancel);
    SetLayoutByName(kVerDlg, 1);
}

void CFwUpdVerDlg::SetVersions(const LString& device, const LString& image) {
    fDeviceVersion.SetText(device);
    fImageVersion.SetText(image);
}

// ---- CFwUpdateDialogs

CFwUpdateDialogs::~CFwUpdateDialogs() {
    CloseProgress();
}

void CFwUpdateDialogs::OpenProgress(const LString& message, u32 maximum) {
    CloseProgress();
    fProgress = new CSimpleProgressDialog(fParent, LPaneOpt::Window(kWindowDialog, 2));
    fProgress->SetMessage(message);
    if (maximum == 0) {
        fProgress->fBar.SetState(LPane::kOpHide);
    } else {
        fProgress->fBar.SetMax(i32(maximum > 0x7FFFFFFFu ? 0x7FFFFFFFu : maximum));
        fProgress->fBar.SetValue(0);
    }
}

void CFwUpdateDialogs::SetProgress(u32 value) {
    if (fProgress) fProgress->fBar.SetValue(i32(value > 0x7FFFFFFFu ? 0x7FFFFFFFu : value));
}

void CFwUpdateDialogs::DisableButton() {
    if (fProgress) fProgress->fButton.SetState(LPane::kOpDisable);
}

u32 CFwUpdateDialogs::ModalStep(u32 limitMs) {
    return fProgress ? fProgress->ModalStep(limitMs) : 0;
}

void CFwUpdateDialogs::CloseProgress() {
    delete fProgress;
    fProgress = nullptr;
}

u32 CFwUpdateDialogs::AskVersions(const LString& device, const LString& image) {
    CFwUpdVerDlg dialog(fParent);
    dialog.SetVersions(device, image);
    return dialog.RunModal();
}

void CFwUpdateDialogs::ShowMessage(const LString& text) {
    CSimpleMessageDialog dialog(fParent, LPaneOpt::Window(kWindowDialog, 0));
    dialog.Run(text, 0, false);
}

void CFwUpdateDialogs::Block(u32 ms) {
    SleepForMs(&ms);
}

// ---- The update

u32 UpdateFirmware(MDevSetLink* set, u32 serial, const u8* image, u32 imageSize, MFwUpdateUi& ui) {
    if (!FirmwareImageUsable(image, imageSize)) return 0;
    Step read, write, flush, restart;
    read.parse = true;
    // Declared after the steps: its destruction forgets their completions first.
    CReqQueue queue(set, serial);

    queue.Enqueue(&read, StepDone, kFwDevicePath, 0, new CGrowMemStrm(kFirmwareAnswerLimit),
                  nullptr, 0);
    ui.OpenProgress(Text(3), 0);
    while (!read.done) {
        if (ui.ModalStep(100) != 0) {
            queue.CancelAll(&read, StepDone);
            ui.CloseProgress();
            return 0;
        }
    }
    ui.CloseProgress();

    const CFwVersion carried = FwVersionOf(image, imageSize);
    const bool deviceKnown = read.version.valid && read.version.kind == kFwKindMainExec;
    const LString deviceText = deviceKnown ? Decimal(read.version.version) : LString("?");
    const LString imageText = carried.valid ? Decimal(carried.version) : LString("0");
    if (ui.AskVersions(deviceText, imageText) != 1) return 0;

    ui.OpenProgress(Text(4), imageSize);
    // The image is read back before it counts as written: a transfer whose blocks
    // and acknowledgements both came out of order looks complete while the
    // device never renamed the image into place.
    CConfirmedUpload upload(&queue, &write, WriteDone);
    upload.StartReadBack(kFwDevicePath, image, imageSize, 0);
    bool disabled = false;
    while (!write.done) {
        ui.SetProgress(u32(upload.SentBytes()));
        if (!upload.Writing() && !disabled) {
            // The image is on its way to the card: only the check is left, and
            // flush and restart must follow it.
            ui.DisableButton();
            disabled = true;
        }
        if (ui.ModalStep(500) != 0 && upload.Writing()) {
            upload.Cancel();
            ui.CloseProgress();
            return 0;
        }
    }

    // Flush and restart follow a failed write too: a device may rely on them to
    // come back from a half-written image.
    if (!disabled) ui.DisableButton();
    queue.Enqueue(&flush, StepDone, "/.cmd/fsflush", 0, nullptr, nullptr, 0);
    while (!flush.done) ui.ModalStep(500);
    ui.Block(1000);
    const u32 queued = LTickMs();
    queue.Enqueue(&restart, StepDone, "/.cmd/restart", 1, nullptr, nullptr, 0);
    while (!restart.done && LTickMs() - queued <= kRestartWaitMs) ui.ModalStep(100);
    if (!restart.done) queue.CancelAll(&restart, StepDone);
    ui.CloseProgress();

    u32 item = 6;
    u32 deadline = LTickMs();
    if (Succeeded(write)) {
        // A device that restarts before it answers cannot confirm the restart.
        item = restart.done && restart.status[0] == 0 ? 5 : 9;
        deadline += kAfterRestartMs;
    } else if (write.status[0] == 2) {
        item = 7;
    }
    ui.ShowMessage(Text(item));
    const u32 now = LTickMs();
    if (i32(deadline - now) > 0) ui.Block(deadline - now);
    return item;
}
