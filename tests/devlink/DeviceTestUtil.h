#pragma once
// Pieces shared by the tests of the request queue and the record channels: the
// virtual clock, transfers bound to loopback, a simulated device and the device set.

#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevSet.h"
#include "devlink/NetIf.h"
#include "devlink/ReqQueue.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace devtest {

// Every transfer goes through loopback: never a wrapped broadcast from the host.
struct LoopbackPrefs : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("lo"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

// Loopback addresses of this run's devices: 127.X.Y.n, X and Y from the process
// id so that parallel runs do not meet.
inline u32 DeviceIp(u32 n) {
    // Both middle bytes from the process id: from one byte (200 values), two of
    // the runs that share this machine would meet on port 61007 every so often.
    const u32 pid = u32(getpid());
    return (127u << 24) | ((100u + (pid >> 8) % 150u) << 16) | ((pid & 255u) << 8) | n;
}
inline std::string IpText(u32 ip) {
    return enginetest::DottedIp(ip);
}

class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        fWatch = std::make_unique<CLocalAddrWatch>(&fPrefs);
        ASSERT_NE(enginetest::LoopbackIndex(), 0u);
        ASSERT_EQ(CLocalAddrWatch::Current(), enginetest::LoopbackIndex());
        ASSERT_TRUE(fSim.Ok()) << testtftp::SimDeviceProcess::ProgramPath();
    }
    void TearDown() override { fWatch.reset(); }

    // A simulated device on port 61007 of its own loopback address, and its entry in the set.
    CRecord* AddDevice(u16 serial, u32 n, bool inSet = true) {
        const std::string root = fDir.Path() + "/" + std::to_string(serial);
        const std::string a =
            fSim.Cmd("add-device serno=" + std::to_string(serial) + " addr=" + IpText(DeviceIp(n)) +
                     " root=" + root + " port=61007");
        EXPECT_EQ(a.rfind("ok", 0), 0u) << a;
        if (!inSet) return nullptr;
        CRecord* d = fSet.Find(serial);
        if (!d) d = fSet.Add(serial);
        d->SetU32(nullptr, DevcF::address, DeviceIp(n));
        return d;
    }
    // The packet log lines of one kind ("pkt", "req", "end", "chan").
    std::vector<std::string> LogOf(const std::string& kind) {
        std::vector<std::string> out;
        for (const std::string& l : fSim.Log())
            if (l.rfind(kind + " ", 0) == 0) out.push_back(l);
        return out;
    }
    static std::string Field(const std::string& line, const std::string& key) {
        return testtftp::SimDeviceProcess::Field(line, key);
    }

    CVirtualRunLoop fLoop;  // first: every timer of the link runs on it
    LoopbackPrefs fPrefs;
    std::unique_ptr<CLocalAddrWatch> fWatch;
    testtftp::TempDir fDir;
    testtftp::SimDeviceProcess fSim;
    CKvsDevSet fSet;
};

}  // namespace devtest
