#include "devices/monitors/ScnUnvHook.h"

#include "devices/CKvsDevCtl.h"
#include "devices/monitors/CKvsScnUnvF.h"
#include "editors/DeviceHooks.h"

namespace {

class CScnUnvAdapter : public MScnUnvFrame {
public:
    explicit CScnUnvAdapter(CKvsScnUnvF* frame) : fFrame(frame) {}
    LPane* Pane() override { return fFrame; }
    void SetActive(bool active) override { fFrame->SetActive(active); }
    void SetShown(bool shown) override {
        fFrame->SetState(shown ? LPane::kOpShow : LPane::kOpHide);
    }
    void RefreshUniverseStatus() override { fFrame->RefreshUniverseStatus(); }

private:
    CKvsScnUnvF* fFrame;
};

MScnUnvFrame* NewScnUnvFrame(MPlayDevice& device, LPane* container) {
    // Only a controller has the records and the monitor the frame polls.
    auto* ctl = dynamic_cast<CKvsDevCtl*>(&device);
    if (!ctl) return nullptr;
    return new CScnUnvAdapter(CKvsScnUnvF::New(container, ctl, CKvsScnUnvF::kLive));
}

}  // namespace

void InstallScnUnvHook() {
    DeviceHooks().newScnUnvFrame = NewScnUnvFrame;
}
