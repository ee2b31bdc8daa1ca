#include "devices/DeviceHookInstall.h"

#include "devices/CKvsDevCtl.h"
#include "devices/monitors/CKvsScnUnvF.h"
#include "devices/monitors/ScnUnvHook.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/files/CopyToUms.h"
#include "devices/files/DeviceFileOps.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devices/recordings/DrcServices.h"
#include "devices/recordings/BlackoutRecording.h"
#include "editors/CBtnLabelLayout.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsSeqDlgs.h"
#include "editors/CKvsSeqWins.h"
#include "editors/DeviceHooks.h"
#include "editors/PlayHooks.h"
#include "editors/TriggerDialogHooks.h"
#include "editors/nsq/CNSqTrkViewF.h"
#include "records/CShowMediaScan.h"

namespace {

void CreateBlackout(MPlayDevice& device, LHandler* parent) {
    // Editors are only ever handed controllers; anything else has no file queue
    // to upload through, so nothing happens rather than a wrong cast.
    if (CKvsDevCtl* ctl = dynamic_cast<CKvsDevCtl*>(&device)) CreateBlackoutRecording(parent, *ctl);
}

LFrame* MakeDrcMonitor(MPlayDevice& device, LHandler* parent) {
    CKvsDevCtl* ctl = dynamic_cast<CKvsDevCtl*>(&device);
    if (!ctl) return nullptr;
    auto* w = new CKvsDrcMonWin(parent, ctl);
    w->ShowWindow();
    return w;
}

void SetDrcMonitorScene(LFrame* window, const LString& path) {
    static_cast<CKvsDrcMonWin*>(window)->SetSceneName(path);
}

void RefreshDrcMonitor(LFrame* window) {
    static_cast<CKvsDrcMonWin*>(window)->RefreshUniverseStatus();
}

std::vector<LString> Names(const CStrArray& list) {
    return std::vector<LString>(list.Data(), list.Data() + list.Count());
}

bool ConfirmShowFiles(MPlayDevice&, LHandler* parent, const CShowMediaScan* scan) {
    // Without a scan nothing is known to be missing.
    return !scan || ConfirmDeviceFileOp(parent, Names(scan->Missing()));
}

void DownloadShowFiles(MPlayDevice& device, LHandler* parent, const CShowMediaScan* scan,
                       const LString& folderUrl) {
    if (!scan || device.DeviceSerial() == 0) return;
    CRecordDoc* contents = device.ContentsDoc();
    DownloadDeviceFiles(parent, &device.FileRequests(), contents ? contents->Root() : nullptr,
                        Names(scan->Present()), folderUrl);
}

void CopyShowToUms(MPlayDevice& device, LHandler* parent, const CShowMediaScan*,
                   const std::vector<LString>& names) {
    if (device.DeviceSerial() != 0) RunCopyToUms(parent, &device.FileRequests(), names);
}

LFrame* NewFileFrame(MPlayDevice& device, LHandler* parent, LPane* container) {
    return new CKvsFileFrm(parent, container, device.ObjLink());
}

// The device files view of a control window: the record control.
LHandler* NewFilesView(CKvsDevCtl& ctl, LFrame& frame, u32, CSimpleProgressDialog*, bool* ok) {
    *ok = true;
    return new CKvsFileListCtl(ctl.Screen() ? static_cast<LHandler*>(ctl.Screen()) : &ctl, frame,
                               &ctl);
}

}  // namespace

void InstallDeviceHooks() {
    DeviceHooks().confirmFileOp = ConfirmShowFiles;
    DeviceHooks().downloadFiles = DownloadShowFiles;
    DeviceHooks().runCopyToUms = CopyShowToUms;
    DeviceHooks().newFileFrame = NewFileFrame;
    SetControlViewFactory(NewFilesView);
    RegisterBasicPlayView();
    DeviceHooks().createBlackout = CreateBlackout;
    InstallTriggerDialogHooks(PlayHooks());
    InstallScnUnvHook();
    InstallScheduleHooks(PlayHooks());
    PlayHooks().newLabelRenderer = NewBtnLabelRenderer;
    PlayHooks().seqFormat = RunSeqFormatDialog;
    PlayHooks().moveSceneTimes = RunMoveTimeCommand;
    PlayHooks().moveTimeDialog = RunMoveTimeDialog;
    PlayHooks().windows[u32(PlayWindow::kButtons)] = NewPlayAsnWin;
    PlayHooks().windows[u32(PlayWindow::kBgm)] = NewBgmWin;
    PlayHooks().windows[u32(PlayWindow::kAutoPlay)] = NewAutoWin;
    PlayHooks().windows[u32(PlayWindow::kPwdw)] = NewPwdWin;
    DeviceHooks().makeDrcMonitor = MakeDrcMonitor;
    DeviceHooks().setDrcMonitorScene = SetDrcMonitorScene;
    DeviceHooks().refreshDrcMonitor = RefreshDrcMonitor;
    CNSqTrkViewF::Register();
    // The NSQ timeline asks for the same recording services as the basic play edit.
    DeviceHooks().drcDetectStart = [](MPlayDevice& device, LHandler* parent, const LString& file,
                                      double* seconds) {
        return RequestDrcDetectStart(parent, device, file, seconds);
    };
    DeviceHooks().drcTrim = [](MPlayDevice& device, LHandler* parent, const LString& file,
                               double from,
                               double to) { RequestDrcTrim(parent, device, file, from, to); };
}
