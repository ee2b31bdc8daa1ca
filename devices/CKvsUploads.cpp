#include "devices/CKvsUploads.h"

#include "base/Paths.h"
#include "devices/CKvsDevCtl.h"
#include "framework/LFrame.h"

CKvsUploads::CKvsUploads(LHandler* parent, CKvsDevCtl* ctl)
    : LHandler(parent),
      fJobs(this, &ctl->FileQueue(), ctl->Record(CKvsDevCtl::kCommands), &ctl->CommandChannel(),
            ctl->Record(CKvsDevCtl::kContents), &fConversion),
      fTimer(this) {}

CKvsUploads::~CKvsUploads() {
    fTimer.Stop();
    delete fWindow;
}

void CKvsUploads::Dropped(u32 kind, const std::vector<LString>& paths) {
    if (!Pending()) {
        fJobs.ClearDone();
        if (fWindow) fWindow->fList->Clear();
    }
    for (const LString& p : paths) fJobs.AddJob(kind, p);
    if (!fWindow) fWindow = new CKvsUpldWin(this);
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
        fWindow->fList->AddItem(name, status != CKvsFileJobQueue::kNotAccepted);
    }
}

LMessage CKvsUploads::HandleMessage(const LMessage& msg) {
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        UpdateWindow();
        if (Pending()) fTimer.Start(kUpdateMs);
        return LMessage();
    }
    if (fWindow && msg.Is(LStdCtl_Selected) && msg.source == &fWindow->fCancel) {
        fJobs.CancelAll();
        return LMessage();
    }
    if (fWindow && msg.Is(LFrame_Close) && msg.source == fWindow) {
        // Closing it while files are under way would hide what became of them.
        if (!Pending()) fWindow->HideWindow();
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
