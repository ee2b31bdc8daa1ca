#pragma once
// A private X display for tests that need a real window manager: Xvfb on a
// free display number with openbox managing it, xdotool for real keys, wheel,
// moves and resizes, and whole-screen pictures. Set DISPLAY from Display()
// before the QApplication is made (QT_QPA_PLATFORM "xcb").
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

#include "base/Types.h"

class XvfbHarness {
public:
    XvfbHarness();
    ~XvfbHarness();
    XvfbHarness(const XvfbHarness&) = delete;
    XvfbHarness& operator=(const XvfbHarness&) = delete;

    // False when Xvfb or openbox is missing or did not come up (the test skips).
    bool Ok() const { return fOk; }
    const std::string& Display() const { return fDisplay; }
    // Runs a shell command on the display: its exit status, its output in *out.
    int Run(const std::string& command, std::string* out = nullptr) const;
    // xdotool with the arguments given.
    int Xdotool(const std::string& args) const { return Run("xdotool " + args); }
    // The same without waiting: the test's event loop runs meanwhile.
    void XdotoolAsync(const std::string& args) const {
        Run("sh -c 'xdotool " + args + "' >/dev/null 2>&1 &");
    }
    // The whole screen as a PNG file.
    bool Screenshot(const std::string& path) const;
    // The managed windows bottom to top (_NET_CLIENT_LIST_STACKING).
    std::vector<u64> Stacking() const;

private:
    pid_t fXvfb = -1, fWm = -1;
    FILE* fXvfbOut = nullptr;
    FILE* fWmOut = nullptr;
    std::string fDisplay;
    bool fOk = false;
};
