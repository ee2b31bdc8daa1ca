#pragma once
// Transfers to one simulated device on loopback, a test per parameter: device 7
// at this test process's own loopback address (ProcessDeviceIp) on a port of its
// own, its files in a fresh folder, and a TFTP manager on the main run loop.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "services/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace enginetest {

template <class Param>
class SimDev7Test : public ::testing::TestWithParam<Param> {
protected:
    // cmds go to the simulator once the device is up; giveUpMs bounds both the
    // sender's and the receiver's patience.
    void StartDevice7(const std::vector<std::string>& cmds, u32 giveUpMs) {
        EnsureApp();
        ASSERT_TRUE(sim.Ok());
        root = dir.Path() + "/dev7";
        std::string a = sim.Cmd("add-device serno=7 addr=" + DottedIp(deviceIp) +
                                "/8 root=" + root + " port=0");
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
        port = u16(std::stoi(testtftp::SimDeviceProcess::Field(a, "port")));
        for (const std::string& c : cmds) sim.Cmd(c);
        mgr = std::make_unique<CTftpManager>(MainRunLoopWakeSource(), 0);
        mgr->Times().senderGiveUpMs = giveUpMs;
        mgr->Times().receiverIdleMs = giveUpMs;
    }

    u32 deviceIp = ProcessDeviceIp();
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    std::string root;
    u16 port = 0;
    std::unique_ptr<CTftpManager> mgr;
};

}  // namespace enginetest
