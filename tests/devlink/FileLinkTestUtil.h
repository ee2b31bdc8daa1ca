#pragma once
// A device object for the file-link tests: the device's request queue and its
// contents record, against a simulated device; and a run loop that also serves
// the framework timers.

#include "devlink/DevObjLink.h"
#include "framework/LTimer.h"
#include "records/PrefNodes.h"
#include "tests/devlink/DeviceTestUtil.h"

namespace filelink {

inline bool Pump(const std::function<bool()>& pred, u32 timeoutMs) {
    const u32 start = LTickMs();
    while (!pred()) {
        if (u32(LTickMs() - start) >= timeoutMs) return pred();
        RunLoopRunOnce(5);
        LTimer::FireDue(LTickMs(), nullptr, nullptr, true);
    }
    return true;
}

class FileLinkTest : public devtest::DeviceLinkTest, public MDevObjLink {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        if (HasFatalFailure()) return;
        RegisterAllRecordKinds();
        AddDevice(305, 1);
        fQueue = std::make_unique<CReqQueue>(&fSet, 305);
        fContents = std::make_unique<CRecordDoc>(NewDeviceContentsRecord());
    }
    void TearDown() override {
        fQueue.reset();
        DeviceLinkTest::TearDown();
    }
    CReqQueue* DeviceQueue() override { return fQueue.get(); }
    CRecord* ContentsRecord() override { return fContents->Root(); }
    LHandler* DialogOwner() override { return nullptr; }

    std::string Sdc(const std::string& rel) { return fDir.Path() + "/305/sdc/" + rel; }
    bool Ok(const std::string& cmd) { return fSim.Cmd(cmd).rfind("ok", 0) == 0; }
    std::unique_ptr<CReqQueue> fQueue;
    std::unique_ptr<CRecordDoc> fContents;
};

}  // namespace filelink
