#pragma once
// The device services' progress and messages in the framework's standard
// dialogs: the simple progress dialog (its one button cancels) and the simple
// message dialog with one button.

#include <memory>

#include "devlink/ServiceUi.h"

class CSimpleProgressDialog;

class CDevServiceDialogs : public MDevServiceUi {
public:
    CDevServiceDialogs();
    ~CDevServiceDialogs() override;

    void OpenProgress(LHandler* owner, const LString& message, u32 maximum) override;
    void SetProgress(u32 value) override;
    u32 ModalStep(u32 limitMs) override;
    void CloseProgress() override;
    void ShowMessage(LHandler* parent, const LString& text) override;

    CSimpleProgressDialog* Progress() const { return fProgress.get(); }

private:
    std::unique_ptr<CSimpleProgressDialog> fProgress;
};
