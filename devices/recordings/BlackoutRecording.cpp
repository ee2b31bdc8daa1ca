#include "devices/recordings/BlackoutRecording.h"

#include <algorithm>
#include <memory>
#include <string>

#include "base/LTextSink.h"
#include "base/Paths.h"
#include "devices/CKvsDevCtl.h"
#include "devices/DevTransfer.h"
#include "devices/files/DeviceFileOps.h"
#include "devices/recordings/CDrcBlackoutStrm.h"
#include "devices/recordings/CKvsBoDlg.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kTexts = "KVSBOCRT";
// Items of "KVSBOCRT".
enum : u32 { kAskReplace = 0, kUploading = 1, kFirstOutcome = 2, kFailedItem = 4 };

CRecord* RememberedSettings() {
    CRecordDoc* doc = AppPrefsDoc();
    CRecord* root = doc ? doc->Root() : nullptr;
    return root ? root->GetChild(PrefF::blko) : nullptr;
}

}  // namespace

i32 ConfirmBlackout(LHandler* frame, u32 index, bool twoButtons) {
    CSimpleMessageDialog dialog(frame, LPaneOpt::Window(kWindowDialog, 0));
    return dialog.Run(StdDialogText(kTexts, index), 0, twoButtons);
}

LString BlackoutFileName(const LString& name) {
    LTextStream sanitized;
    WriteSanitizedFileName(name.CStr(), sanitized);
    std::string text(sanitized.CStr(), sanitized.Length());
    // The device lists no name that starts with ".": such a file could never be
    // seen, nor replaced knowingly.
    if (!text.empty() && text[0] == '.') text[0] = '_';
    LString out;
    return ReplaceExtension(&out, text.c_str(), "drc");
}

i32 CreateBlackoutRecording(LHandler* frame, CKvsDevCtl& device) {
    CRecord* node = RememberedSettings();
    i32 universes, seconds, level;
    LString name;
    {
        CKvsBoDlg dialog(frame);
        dialog.fUniverses.SetValue(f32(NodeGetIntOr(node, "pts", 1)));
        dialog.fDuration.SetValue(f32(NodeGetIntOr(node, "dur", 10)));
        dialog.fLevel.SetValue(f32(NodeGetIntOr(node, "val", 0)));
        NodeGetStrOr(&name, node, "nam", "blackout");
        dialog.fName.SetText(name);
        dialog.Update();
        if (dialog.RunModal() != 1) return kBlackoutNotSent;
        universes = i32(Whole(dialog.fUniverses));
        seconds = i32(Whole(dialog.fDuration));
        level = i32(Whole(dialog.fLevel));
        name = dialog.fName.GetText();
    }
    if (node) {
        NodeSetIntC(node, "pts", universes);
        NodeSetIntC(node, "dur", seconds);
        NodeSetIntC(node, "val", level);
        NodeSet(node, nullptr, "nam", name);
    }
    // OK stays disabled without a name; a key press cannot get past that either.
    if (name.IsEmpty()) return kBlackoutNotSent;
    LString file = BlackoutFileName(name);
    CRecord* contents = device.Record(CKvsDevCtl::kContents);
    CCardAhead card(&device.FileQueue(), contents, 0);
    if (!CheckCardNames(frame, card, {file})) return kBlackoutNotSent;
    if (const LString& taken = card.Agreed(0).name; !taken.IsEmpty()) {
        if (ConfirmBlackout(frame, kAskReplace, true) != 1) return kBlackoutNotSent;
        // Onto the file it replaces, not beside it under a name that reads the same.
        file = taken;
    }

    i32 result;
    {
        CSimpleProgressDialog progress(frame, LPaneOpt::Window(kWindowDialog, 0));
        progress.SetMessage(StdDialogText(kTexts, kUploading));
        progress.fBar.SetValue(0);
        // Made while the upload reads it: 32768 universes over 999 s are a
        // gigabyte that never needs to exist at once.
        auto body = std::make_unique<CDrcBlackoutStrm>(u32(std::clamp(universes, 1, 32768)),
                                                       u32(std::clamp(seconds, 1, 999)) * 1000,
                                                       u8(std::clamp(level, 0, 255)));
        if (body->Error() != CStrm::kErrNone || body->Size() == 0) {
            result = kTransferFailed;
        } else {
            const u64 size = body->Size();
            const u32 divisor = u32(std::max<u64>(size / 256, 1));
            progress.fBar.SetMax(i32(size / divisor));
            const std::string path = std::string(kRecordingsFolder) + "/" + file.CStr();
            CDevTransferState state;
            result = TransferWithProgress(&state, &device.FileQueue(), path.c_str(), &progress, 0,
                                          divisor, body.release(), size);
        }
    }
    SignalFileListChanged(contents);
    ConfirmBlackout(frame, result >= 0 && result < 7 ? u32(result) + kFirstOutcome : kFailedItem,
                    false);
    return result;
}
