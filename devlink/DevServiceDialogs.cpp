#include "devlink/DevServiceDialogs.h"

#include "framework/StdDialogs.h"

namespace {

LPaneOpt DialogOptions() {
    return LPaneOpt::Window(kWindowDialog, 0);
}

}  // namespace

CDevServiceDialogs::CDevServiceDialogs() = default;

CDevServiceDialogs::~CDevServiceDialogs() = default;

void CDevServiceDialogs::OpenProgress(LHandler* owner, const LString& message, u32 maximum) {
    fProgress = std::make_unique<CSimpleProgressDialog>(owner, DialogOptions());
    fProgress->SetMessage(message);
    fProgress->fBar.SetMax(i32(maximum > 0x7FFFFFFFu ? 0x7FFFFFFFu : maximum));
    fProgress->fBar.SetValue(0);
}

void CDevServiceDialogs::SetProgress(u32 value) {
    if (fProgress) fProgress->fBar.SetValue(i32(value > 0x7FFFFFFFu ? 0x7FFFFFFFu : value));
}

u32 CDevServiceDialogs::ModalStep(u32 limitMs) {
    return fProgress ? fProgress->ModalStep(limitMs) : 0;
}

void CDevServiceDialogs::CloseProgress() {
    fProgress.reset();
}

void CDevServiceDialogs::ShowMessage(LHandler* parent, const LString& text) {
    CSimpleMessageDialog dialog(parent, DialogOptions());
    dialog.Run(text, 0, false);
}
