#include "editors/CKvsSchWin.h"

#include <string>

#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CSchPrdList.h"
#include "editors/DeviceHooks.h"
#include "editors/PlayHooks.h"
#include "framework/LMenu.h"
#include "framework/LWindow.h"
#include "framework/StdDialogs.h"
#include "framework/WindowPlacement.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kTestCmd = "cSchTest";
constexpr const char* kPlacement = "schplc";
constexpr const char* kTestPlacement = "stsplc";

// The parameter list of the controller preferences, where windows keep their places.
CRecord* ControllerParams() {
    CRecordDoc* doc = AppPrefsDoc();
    CRecord* ctlr = doc && doc->Root() ? doc->Root()->GetChild(PrefF::ctlr) : nullptr;
    return ctlr ? ctlr->GetChild(PrctF::prms) : nullptr;
}

// A window keeps its layout's size unless a valid place was stored; without
// one it opens over the window it belongs to.
void ApplyPlacement(LFrame* frame, const char* key, LPane* owner = nullptr) {
    const LRect r = GetRectFromString(ControllerParams(), key);
    if (r.left < r.right && r.top < r.bottom)
        frame->SetWindowBounds(r);
    else
        CenterOverPane(frame->Window(), owner);
}

void StorePlacement(LFrame* frame, const char* key) {
    if (CRecord* params = ControllerParams())
        SetRectAsString(params, key, frame->GetWindowBounds());
}

}  // namespace

CKvsSchWin::CKvsSchWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings)
    : LModalFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)),
      fSettings(seqSettings),
      fScroll(this, this) {
    SetWindowMenu(new LWindowMenu(this, "SCHEW"));
    fEdit = new CKvsSchEditFrm(&fScroll.GetPort(), &fScroll.GetPort(), device, seqSettings);
    SetLayoutByName("KVSSCHWIN", 1);
    const u32 serial = device ? device->DeviceSerial() : 0;
    SetTitle(LString((std::to_string(serial) + StdDialogText("KVSSCHWIN", 0).CStr()).c_str()));
    ApplyPlacement(this, kPlacement, owner);
}

CKvsSchWin::~CKvsSchWin() {
    StorePlacement(this, kPlacement);
    if (fTest) {
        StorePlacement(fTest, kTestPlacement);
        delete fTest;
        fTest = nullptr;
    }
    delete fEdit;
}

LFrame* CKvsSchWin::Make(const CPlayWindowArgs& args) {
    return new CKvsSchWin(args.parent, args.owner, args.device, args.seqSettings);
}

void CKvsSchWin::OpenTestWindow() {
    if (!fTest) {
        fTest = new CSchTestWin(this, nullptr);
        ApplyPlacement(fTest, kTestPlacement, this);
    }
    fTest->ShowWindow();
    ApplyTestTime();
}

void CKvsSchWin::StateChanged(u32 op) {
    LModalFrame::StateChanged(op);
    if (!fTest) return;
    // The test window belongs to this one: it leaves the screen with it (the
    // control window closed) and comes back with it, as the list is still
    // in test mode then and only the test window's close box leaves it.
    if (op == kOpHide || op == kOpContainerHidden) {
        const LWindow* w = fTest->Window();
        fTestShownBefore = fTestShownBefore || (w && w->IsVisible());
        fTest->HideWindow();
    } else if (op == kOpContainerShown && fTestShownBefore) {
        fTestShownBefore = false;
        fTest->ShowWindowNoActivate();
    }
}

void CKvsSchWin::ApplyTestTime() {
    if (!fTest) return;
    const CalDateTime when = fTest->TestTime();
    fEdit->fList->SetTestTime(&when);
}

LMessage CKvsSchWin::HandleMessage(const LMessage& msg) {
    // The edit frame's children report while it is being built.
    if (!fEdit) return LModalFrame::HandleMessage(msg);
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        static_cast<LMenuBar*>(msg.source)->EnableCommand(kTestCmd);
        return LModalFrame::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected) && msg.source &&
        static_cast<LMenuItem*>(msg.source)->HasCommand(kTestCmd)) {
        OpenTestWindow();
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected) && msg.source == &fEdit->fAdd) {
        if (CRecord* sched = fEdit->fList->Schedule()) {
            InsertNewScheduleEvent(sched, this, 0);
            fEdit->fList->SelectCell(LCell{0, 0});
            fEdit->fList->ScrollToCell(LCell{0, 0});
        }
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected) && msg.source == fEdit->fAddPeriod) {
        fEdit->fPeriods->AddPeriod();
        return LMessage();
    }
    if (fTest && msg.source == fTest) {
        if (msg.Is(CSchTestWin_Change)) {
            ApplyTestTime();
            return LMessage();
        }
        if (msg.Is(LFrame_Close)) {
            fEdit->fList->SetTestTime(nullptr);
            fTest->HideWindow();
            return LMessage();
        }
    }
    return LModalFrame::HandleMessage(msg);
}

void InstallScheduleHooks(CPlayHooks& hooks) {
    hooks.windows[u32(PlayWindow::kSchedule)] = CKvsSchWin::Make;
}
