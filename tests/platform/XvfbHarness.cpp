#include "tests/platform/XvfbHarness.h"

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/Clock.h"

namespace {

pid_t Spawn(const char* const argv[], int outFd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (outFd >= 0) {
        // Xvfb writes the display number it took to this descriptor.
        if (outFd != 3) dup2(outFd, 3);
    }
    const int devnull = open("/dev/null", 1);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execvp(argv[0], const_cast<char* const*>(argv));
    _exit(127);
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

}  // namespace

XvfbHarness::XvfbHarness() {
    if (system("command -v Xvfb >/dev/null && command -v openbox >/dev/null && command -v xdotool "
               ">/dev/null") != 0)
        return;
    int fds[2];
    if (pipe(fds) != 0) return;
    const char* const xvfb[] = {"Xvfb",        "-displayfd", "3",   "-screen", "0",
                                "1280x800x24", "-nolisten",  "tcp", nullptr};
    fXvfb = Spawn(xvfb, fds[1]);
    close(fds[1]);
    std::string number;
    for (const u32 start = LTickMs(); LTickMs() - start < 10000;) {
        pollfd p{fds[0], POLLIN, 0};
        char ch;
        if (poll(&p, 1, 100) <= 0) continue;
        if (read(fds[0], &ch, 1) != 1 || ch == '\n') break;
        number += ch;
    }
    close(fds[0]);
    if (number.empty()) return;
    fDisplay = ":" + number;
    setenv("DISPLAY", fDisplay.c_str(), 1);
    const char* const wm[] = {"openbox", "--sm-disable", nullptr};
    fWm = Spawn(wm, -1);
    // The window manager is up once it names itself on the root window.
    for (const u32 start = LTickMs(); LTickMs() - start < 10000; SleepMs(20)) {
        std::string out;
        Run("xprop -root _NET_SUPPORTING_WM_CHECK", &out);
        if (out.find("window id") != std::string::npos) {
            fOk = true;
            break;
        }
    }
}

XvfbHarness::~XvfbHarness() {
    Stop(fWm);
    Stop(fXvfb);
}

int XvfbHarness::Run(const std::string& command, std::string* out) const {
    FILE* f = popen(("DISPLAY=" + fDisplay + " " + command + " 2>/dev/null").c_str(), "r");
    if (!f) return -1;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        if (out) out->append(buf, n);
    }
    const int status = pclose(f);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool XvfbHarness::Screenshot(const std::string& path) const {
    return Run("import -window root '" + path + "'") == 0;
}

std::string XvfbHarness::Stacking() const {
    std::string out;
    Run("xprop -root _NET_CLIENT_LIST_STACKING", &out);
    return out;
}
