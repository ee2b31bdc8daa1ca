#include "devices/CKvsUploads.h"

#include "base/Paths.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "framework/LFrame.h"

CKvsUploads::CKvsUploads(LHandler* parent, CKvsDevCtl* ctl)
    : LHandler(parent),
      fJobs(this, &ctl->FileQueue(), ctl->Record(CKvsDevCtl::kCommands), &ctl->CommandChannel(),
            ctl->Record(CKvsDevCtl::kContents), &fConversion),
      fTimer(this),
      fCtl(ctl) {}

CKvsUploads::~CKvsUploads() {
    fTimer.Stop();
    delete fWindow;
}

void CKvsUploads::Dropped(u32 kind, const std::vector<LString>& paths,
                          const std::vector<CardAgreement>& targets) {
    if (!Pending()) {
        fJobs.ClearDone();
        if (fWindow) fWindow->fList->Clear();
        fKinds.clear();
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        fJobs.AddJob(kind, paths[i], i < targets.size() ? targets[i] : CardAgreement());
        fKinds.emplace_back(paths[i], kind);
    }
    if (!fWindow) {
        fWindow = new CKvsUpldWin(this);
        // Over the control window it would take the next drop meant for it.
        if (fCtl->Screen() && fCtl->Screen()->IsShown())
            fWindow->PlaceBeside(fCtl->Screen()->Window().GetWindowBounds());
    }
    fWindow->ShowWindow();
    fTimer.Start(0u);
}

void CKvsUploads::UpdateWindow() {
    if (!fWindow) return;
    fWindow->Show(fJobs.JobsAdded(), fJobs.JobsFinished(), fJobs.GetUploadProgress(),
                  fJobs.GetUploadName(), fJobs.GetConvertName(), fJobs.GetConvertProgress());
    LString path;
    u32 status = 0;
    while (fJobs.TakeFinished(&path, &status)) {
        LString name;
        LastPathComponent(&name, path.CStr());
        u32 kind = CKvsFileJobQueue::kRecording;
        for (auto it = fKinds.begin(); it != fKinds.end(); ++it) {
            if (!StrEqual(it->first.CStr(), path.CStr())) continue;
            kind = it->second;
            fKinds.erase(it);
            break;
        }
        fWindow->fList->AddItem(name, UploadStatusText(kind, status));
    }
}

LMessage CKvsUploads::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        UpdateWindow();
        if (Pending()) fTimer.Start(kUpdateMs);
        return LMessage();
    }
    if (fWindow && msg.Is(LStdCtl_Selected) && msg.source == &fWindow->fCancel) {
        Cancel();
        return LMessage();
    }
    if (fWindow && msg.Is(LFrame_Close) && msg.source == fWindow) {
        // Closing it while files are under way would hide what became of them.
        if (!Pending()) fWindow->HideWindow();
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
