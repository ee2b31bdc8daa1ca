#include "editors/TriggerDialogHooks.h"

#include <cmath>

#include "editors/CExtCtlF.h"
#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsLargeDlg.h"
#include "editors/PlayHooks.h"

namespace {

bool RunSceneTrigger(LHandler* parent, LPane* owner, CRecord* sntg, f32* number, bool* external) {
    CKvsLargeDlg dlg(parent, owner);
    dlg.LoadTrigger(sntg);
    dlg.fNumber.SetValue(*number);
    dlg.fExternal.SetState(*external ? 1 : 0);
    ShowAtLayoutSize(dlg, owner);
    if (dlg.RunModal() != 1) return false;
    dlg.SaveTrigger(sntg);
    *number = f32(dlg.fNumber.GetValue());
    *external = dlg.fExternal.GetState() != 0;
    return true;
}

bool RunMasterFader(LHandler* parent, LPane* owner, CRecord* prpc, bool* vsmf) {
    CKvsMstFdrDlg dlg(parent, owner);
    dlg.LoadFromRecord(prpc);
    dlg.fShowFader.SetState(*vsmf ? 1 : 0);
    // Over the control window it belongs to, not in the screen's corner.
    ShowAtLayoutSize(dlg, owner);
    if (dlg.RunModal() != 1) return false;
    dlg.SaveToRecord(prpc);
    *vsmf = dlg.fShowFader.GetState() != 0;
    return true;
}

}  // namespace

void InstallTriggerDialogHooks(CPlayHooks& hooks) {
    hooks.sceneTrigger = RunSceneTrigger;
    hooks.masterFader = RunMasterFader;
    hooks.windows[u32(PlayWindow::kAuxPlay)] = CKvsAxPlyWin::Make;
}
