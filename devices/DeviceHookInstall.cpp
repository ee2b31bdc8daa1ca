#include "devices/DeviceHookInstall.h"

#include "devices/CKvsDevCtl.h"
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

namespace {

void CreateBlackout(MPlayDevice& device, LHandler* parent) {
    // Editors are only ever handed controllers; anything else has no file queue
    // to upload through, so nothing happens rather than a wrong cast.
    if (CKvsDevCtl* ctl = dynamic_cast<CKvsDevCtl*>(&device)) CreateBlackoutRecording(parent, *ctl);
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
    PlayHooks().windows[u32(PlayWindow::kButtons)] = NewPlayAsnWin;
    PlayHooks().windows[u32(PlayWindow::kBgm)] = NewBgmWin;
    PlayHooks().windows[u32(PlayWindow::kAutoPlay)] = NewAutoWin;
    PlayHooks().windows[u32(PlayWindow::kPwdw)] = NewPwdWin;
}
