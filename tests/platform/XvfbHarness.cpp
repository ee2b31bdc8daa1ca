#include "tests/platform/XvfbHarness.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>

#include "base/Clock.h"

namespace {

// Starts a program through a shell that first prints its own process id, then
// becomes the program: its id, and the program's first line of output in *line.
FILE* Start(const std::string& command, pid_t* pid, std::string* line) {
    FILE* f = popen(("echo $$; exec " + command).c_str(), "r");
    char buf[64];
    if (!f || !fgets(buf, sizeof buf, f)) return f;
    *pid = pid_t(std::atol(buf));
    if (line && fgets(buf, sizeof buf, f)) *line = std::string(buf, std::strcspn(buf, "\n"));
    return f;
}

void Stop(pid_t pid, FILE* f) {
    if (pid > 0) kill(pid, SIGTERM);
    if (f) pclose(f);
}

}  // namespace

XvfbHarness::XvfbHarness() {
    if (system("(command -v Xvfb && command -v openbox && command -v xdotool) >/dev/null") != 0)
        return;
    std::string number;
    fXvfbOut =
        Start("Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null", &fXvfb, &number);
    if (number.empty()) return;
    fDisplay = ":" + number;
    setenv("DISPLAY", fDisplay.c_str(), 1);
    fWmOut = Start("openbox --sm-disable 2>/dev/null", &fWm, nullptr);
    // The window manager is up once it names itself on the root window.
    for (const u32 start = LTickMs(); !fOk && LTickMs() - start < 10000; SleepMs(20)) {
        std::string out;
        Run("xprop -root _NET_SUPPORTING_WM_CHECK", &out);
        fOk = out.find("window id") != std::string::npos;
    }
}

XvfbHarness::~XvfbHarness() {
    Stop(fWm, fWmOut);
    Stop(fXvfb, fXvfbOut);
}

int XvfbHarness::Run(const std::string& command, std::string* out) const {
    FILE* f = popen(("DISPLAY=" + fDisplay + " " + command + " 2>/dev/null").c_str(), "r");
    if (!f) return -1;
    char buf[512];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;)
        if (out) out->append(buf, n);
    const int status = pclose(f);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool XvfbHarness::Screenshot(const std::string& path) const {
    return Run("import -window root '" + path + "'") == 0;
}

std::vector<u64> XvfbHarness::Stacking() const {
    std::string out;
    Run("xprop -root _NET_CLIENT_LIST_STACKING", &out);
    std::vector<u64> ids;
    for (size_t at = 0; (at = out.find("0x", at)) != std::string::npos; at += 2)
        ids.push_back(std::stoull(out.substr(at), nullptr, 16));
    return ids;
}
