#include "devices/DeviceHookInstall.h"

#include "devices/CKvsDevCtl.h"
#include "devices/monitors/CKvsScnUnvF.h"
#include "devices/monitors/ScnUnvHook.h"
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

}  // namespace

void InstallDeviceHooks() {
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
}
