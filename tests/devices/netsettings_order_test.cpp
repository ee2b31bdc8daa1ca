// The network settings reach the device before the clock command that makes the
// device ask the new time server: the settings and the command channel share the
// device's queue and take turns on it. Checked in the simulated device's log,
// also with its answers delayed or lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devices/DevCommands.h"
#include "records/DeviceKinds.h"
#include "tests/devices/PlayDeviceTest.h"

using namespace devtest;

namespace {

class NetwSettingsOrder : public PlayDeviceTest {
protected:
    void TearDown() override {
        ctl.reset();
        PlayDeviceTest::TearDown();
    }
    // The settings and command writes the device took, "tag=value", in its order.
    std::vector<std::string> DeviceWrites() {
        std::vector<std::string> out;
        for (const std::string& l : LogOf("chan")) {
            const std::string path = Field(l, "path");
            if (Field(l, "op") != "write" || Field(l, "ok") != "1") continue;
            out.push_back(path.substr(path.rfind('/') + 1) + "=" + Field(l, "value"));
        }
        return out;
    }
};

// Values of their own for each case n, so that every field is a change on the device.
CNetwSettings Values(u32 n, const char* server) {
    CNetwSettings v;
    v.address = 0x0A000005 + (n << 8);
    v.mask = 0xFFFFFF00 - (n << 8);
    v.router = 0x0A000001 + (n << 8);
    v.dns = 0x0A000002 + (n << 8);
    v.server = LString(server);
    v.interval = u8(24 + n);
    return v;
}

// What the device's log shows for them, in the order they are stored; the time
// server only when given.
std::vector<std::string> Expected(const CNetwSettings& v, size_t take = 6) {
    std::vector<std::string> out = {
        "axad=" + std::to_string(v.address),    "axmk=" + std::to_string(v.mask),
        "rtra=" + std::to_string(v.router),     "dnsa=" + std::to_string(v.dns),
        "ntsl=" + std::string(v.server.CStr()), "ntit=" + std::to_string(v.interval)};
    if (v.server.IsEmpty()) out.erase(out.begin() + 4);
    out.resize(std::min(out.size(), take));
    return out;
}

TEST_F(NetwSettingsOrder, ClockCommandFollowsEveryFieldAlsoWhenTheLinkDelaysOrLoses) {
    AddDevice(305, 1);
    const struct {
        const char* name;
        std::vector<std::string> setup;  // simulated-device commands
    } cases[] = {
        {"clean link", {}},
        {"answers delayed", {"set-delay serno=305 delay-ms=15 jitter-ms=30 seed=3"}},
        {"first answer to each write lost", {"fault drop dir=out opcode=OACK count=6"}},
        {"acknowledgements of data lost",
         {"fault drop dir=out opcode=ACK block=1 percent=40 seed=11"}},
        {"requests lost", {"fault drop dir=in opcode=WRQ percent=35 seed=5"}},
    };
    u32 n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenController(305);
        ASSERT_TRUE(ctl->SettingsKnown());
        fSim.Cmd("log clear");
        for (const std::string& cmd : c.setup) ASSERT_EQ(fSim.Cmd(cmd).rfind("ok", 0), 0u) << cmd;
        const std::string server = "ntp" + std::to_string(++n) + ".example";
        const CNetwSettings values = Values(n, server.c_str());
        StoreNetworkSettings(ctl.get(), values);
        ASSERT_TRUE(Run(
            [&] {
                const auto w = DeviceWrites();
                return !w.empty() && w.back().rfind("srtc=", 0) == 0;
            },
            60000))
            << ::testing::PrintToString(DeviceWrites());
        std::vector<std::string> want = Expected(values);
        want.push_back("srtc=%20");
        EXPECT_EQ(DeviceWrites(), want);
        fSim.Cmd("fault-clear");
        fSim.Cmd("set-delay serno=305 delay-ms=0");
        ctl.reset();
    }
}

// No time server: nothing asks the device to set its clock. A field the device
// refuses: the fields after it still arrive, the channel reads the record back,
// and no clock command follows.
TEST_F(NetwSettingsOrder, NoClockCommandWithoutServerOrAfterAFailedField) {
    AddDevice(305, 1);
    const struct {
        const char* name;
        const char* server;
        const char* fault;
        const char* lost;  // the field that does not reach the device
    } cases[] = {
        {"no server", "", nullptr, ""},
        {"router refused", "ntp.example",
         "fault error code=2 dir=in opcode=WRQ path=/.cmd/udkvtset/rtra", "rtra="},
    };
    u32 n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenController(305);
        fSim.Cmd("log clear");
        if (c.fault) {
            ASSERT_EQ(fSim.Cmd(c.fault).rfind("ok", 0), 0u);
        }
        const CNetwSettings values = Values(++n, c.server);
        StoreNetworkSettings(ctl.get(), values);
        ASSERT_TRUE(Run([&] {
            return !ctl->SettingsChannel().IsBusy() && !ctl->CommandChannel().IsBusy() &&
                   ctl->ChannelQueue().IsIdle();
        }));
        fLoop.Advance(5000);  // a re-read after the failure, and anything late
        ASSERT_TRUE(Run([&] { return ctl->ChannelQueue().IsIdle(); }));
        std::vector<std::string> want = Expected(values);
        std::erase_if(want,
                      [&](const std::string& w) { return *c.lost && w.rfind(c.lost, 0) == 0; });
        EXPECT_EQ(DeviceWrites(), want);
        fSim.Cmd("fault-clear");
        ctl.reset();
    }
}

}  // namespace
