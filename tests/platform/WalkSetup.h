#pragma once
// What starting a walk takes: a real X server with a window manager and
// namespaces of the test's own, the walk in a child process; simulated devices
// in the devices' namespace, and what they took, read back from their log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "tests/devlink/NetnsHarness.h"
#include "tools/testkit/SimDeviceProcess.h"

// The walk on a screen of that size ("1280x800"), its namespaces named nsName;
// skipped where it cannot run (no root, a tool missing). The display, the
// namespaces and the folder belong to this process: they go even when the
// child dies.
template <class F>
void WalkInChild(const std::string& screen, const std::string& nsName, F walk) {
    using testtftp::NetnsHarness;
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    if (system("(command -v Xvfb && command -v openbox && command -v xdotool) >/dev/null"))
        GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    XvfbHarness x(screen + "x24");
    ASSERT_TRUE(x.Ok());
    NetnsHarness net;
    ASSERT_EQ(net.Setup(nsName), "");
    testtftp::TempDir dir;
    InChildProcess([&] { walk(x, net, dir); }, x);
}

// Devices ("serno=N addr=A/P") answering on any address, each with a card
// folder of its own under root, named by its serial.
inline void AddDevices(testtftp::SimDeviceProcess& sim, const std::string& root,
                       std::initializer_list<const char*> adds) {
    for (const char* add : adds) {
        const std::string serno = std::string(add).substr(6, std::string(add).find(' ') - 6);
        ASSERT_EQ(
            sim.Cmd(std::string("add-device ") + add + " listen=any root=" + root + "/" + serno)
                .rfind("ok", 0),
            0u);
    }
}

// The values a device took for a settings field (path ending in /TAG), in order.
inline std::vector<std::string> WrittenTexts(testtftp::SimDeviceProcess& sim, u32 serial,
                                             const std::string& tag) {
    using testtftp::SimDeviceProcess;
    std::vector<std::string> out;
    for (const std::string& line : sim.Log()) {
        if (line.rfind("chan ", 0) != 0 || line.find("op=write") == std::string::npos) continue;
        const std::string path = SimDeviceProcess::Field(line, "path");
        if (SimDeviceProcess::Field(line, "dev") != std::to_string(serial) ||
            path.size() < tag.size() + 1 || path.substr(path.size() - tag.size() - 1) != "/" + tag)
            continue;
        out.push_back(SimDeviceProcess::Field(line, "value"));
    }
    return out;
}

// The same values as numbers.
inline std::vector<i64> WrittenValues(testtftp::SimDeviceProcess& sim, u32 serial,
                                      const std::string& tag) {
    std::vector<i64> out;
    for (const std::string& value : WrittenTexts(sim, serial, tag))
        out.push_back(std::atoll(value.c_str()));
    return out;
}
