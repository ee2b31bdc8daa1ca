#pragma once
// A private X display for tests that need a real window manager: Xvfb on a free
// display number with openbox managing it (DISPLAY is set for the QApplication
// to come, platform "xcb"), xdotool for real keys, clicks, wheel and resizes,
// and whole-screen pictures. Ok() is false where any of them is missing.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/Clock.h"

class XvfbHarness {
public:
    // screen: Xvfb's "WIDTHxHEIGHTxDEPTH".
    explicit XvfbHarness(const std::string& screen = "1280x800x24") {
        if (system("(command -v Xvfb && command -v openbox && command -v xdotool) >/dev/null"))
            return;
        // Servers started at once compile their keymaps into one shared file
        // name, and one of them now and then fails on the other's file and
        // ends: a server that does not come up, or ends before its window
        // manager is up, is started again on a display of its own.
        for (u32 attempt = 0; attempt < 4 && !StartServer(screen); ++attempt) {
            Stop(fWmPid, fWm);
            Stop(fXvfbPid, fXvfb);
            fWmPid = fXvfbPid = -1;
            fWm = fXvfb = nullptr;
        }
    }
    ~XvfbHarness() {
        Stop(fWmPid, fWm);
        Stop(fXvfbPid, fXvfb);
    }
    XvfbHarness(const XvfbHarness&) = delete;
    XvfbHarness& operator=(const XvfbHarness&) = delete;

    bool Ok() const { return fOk; }
    // A shell command on the display; its output.
    std::string Run(const std::string& command) const {
        std::string out;
        FILE* f = popen(("DISPLAY=" + fDisplay + " " + command + " 2>/dev/null").c_str(), "r");
        char buf[512];
        for (size_t n; f && (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
        if (f) pclose(f);
        return out;
    }
    void Xdotool(const std::string& args) const { Run("xdotool " + args); }
    // setxkbmap with these arguments; whether the server took the keymap, with
    // the key symbol given (when one is). A server compiles a keymap into a
    // file name that other servers compiling the same keymap use too, so at
    // times one fails on another's file, or takes it half written and lacks
    // keys: tried again.
    bool SetKeymap(const std::string& args, const std::string& keysym = "") const {
        for (int i = 0; i < 5; ++i)
            if (Run("setxkbmap " + args + " && echo ok") == "ok\n" &&
                (keysym.empty() ||
                 Run("xmodmap -pke").find(" " + keysym + " ") != std::string::npos))
                return true;
        return false;
    }
    // The same without waiting: the test's event loop runs meanwhile.
    void XdotoolAsync(const std::string& args) const {
        Run("sh -c 'xdotool " + args + "' >/dev/null 2>&1 &");
    }
    // xdotool with these arguments in a child of its own, not waited for: the
    // caller's loop runs while it works (Finished tells when it is done). Its
    // process id, or -1.
    pid_t XdotoolStart(const std::vector<std::string>& args) const {
        // Everything the child needs is made before fork: between fork and exec
        // only async-signal-safe calls are allowed in a threaded program.
        const std::string display = "DISPLAY=" + fDisplay;
        std::vector<const char*> argv = {"env", display.c_str(), "xdotool"};
        for (const std::string& a : args) argv.push_back(a.c_str());
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
            }
            execvp("env", const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        return pid;
    }
    // Whether a child XdotoolStart began has ended (then reaped).
    static bool Finished(pid_t pid) {
        if (pid <= 0) return true;
        const pid_t r = waitpid(pid, nullptr, WNOHANG);
        return r == pid || r < 0;
    }
    void Screenshot(const std::string& pngPath) const {
        Run("import -window root '" + pngPath + "'");
    }
    // The managed windows bottom to top.
    std::vector<u64> Stacking() const {
        const std::string out = Run("xprop -root _NET_CLIENT_LIST_STACKING");
        std::vector<u64> ids;
        for (size_t at = 0; (at = out.find("0x", at)) != std::string::npos; at += 2)
            ids.push_back(std::stoull(out.substr(at), nullptr, 16));
        return ids;
    }

private:
    // False when the server did not come up or ended; true otherwise, with
    // fOk set once its window manager is up.
    bool StartServer(const std::string& screen) {
        std::string number;
        // Without the server's key repeat (-r): a key's release that a busy
        // machine holds back past the repeat delay would otherwise type it
        // twice, which no person at the keys did.
        fXvfb = Start("Xvfb -displayfd 1 -r -screen 0 " + screen + " -nolisten tcp", &fXvfbPid,
                      &number);
        if (number.empty()) return false;
        fDisplay = ":" + number;
        setenv("DISPLAY", fDisplay.c_str(), 1);
        // The window manager is up once it runs its start-up command, which
        // says so on its output; with many suites starting at once on a busy
        // machine that can take seconds. Once in a while it never does (seen
        // with the whole suite running): a window manager that has not come
        // up, or has gone, within 10 s is started again, up to twice. Waited
        // for on its output and on the ends of both processes, at most 30 s.
        const int server = PidFd(fXvfbPid);
        int wm = -1;
        u32 starts = 0, since = 0;
        bool restart = true;
        for (const u32 start = LTickMs(); !fOk;) {
            if (restart) {
                if (++starts > 3) break;
                Stop(fWmPid, fWm);
                if (wm >= 0) close(wm);
                fWm = Start("openbox --sm-disable --startup 'echo " + std::string(kWmUp) + "'",
                            &fWmPid, nullptr);
                wm = PidFd(fWmPid);
                if (fWm) fcntl(fileno(fWm), F_SETFL, O_NONBLOCK);
                since = LTickMs();
                restart = false;
            }
            char line[256];
            while (fWm && std::fgets(line, sizeof line, fWm))
                fOk = fOk || std::strstr(line, kWmUp) != nullptr;
            if (fWm) std::clearerr(fWm);
            const u32 now = LTickMs();
            if (fOk || now - start >= 30000) break;
            u32 limit = 30000 - (now - start);
            if (starts < 3) limit = std::min(limit, 10000 - std::min(now - since, 10000u));
            pollfd fds[] = {
                {fWm ? fileno(fWm) : -1, POLLIN, 0}, {server, POLLIN, 0}, {wm, POLLIN, 0}};
            if (poll(fds, 3, int(std::max(limit, 1u))) < 0 && errno != EINTR) break;
            if (fds[1].revents) {
                // The server ended: started again by the caller.
                waitpid(fXvfbPid, nullptr, 0);
                fXvfbPid = -1;
                break;
            }
            restart = fds[2].revents || !fWm || (starts < 3 && LTickMs() - since >= 10000);
        }
        if (server >= 0) close(server);
        if (wm >= 0) close(wm);
        return fXvfbPid >= 0;
    }
    static constexpr const char* kWmUp = "kevo-window-manager-up";
    // A descriptor that becomes readable when the process ends, or -1.
    static int PidFd(pid_t pid) { return pid > 0 ? int(syscall(SYS_pidfd_open, pid, 0)) : -1; }
    // Through a shell that prints its process id and then becomes the program;
    // the program's first line of output in *line.
    static FILE* Start(const std::string& command, pid_t* pid, std::string* line) {
        FILE* f = popen(("echo $$; exec " + command + " 2>/dev/null").c_str(), "r");
        char buf[64];
        if (!f || !fgets(buf, sizeof buf, f)) return f;
        *pid = pid_t(std::atol(buf));
        if (line && fgets(buf, sizeof buf, f)) *line = std::string(buf, std::strcspn(buf, "\n"));
        return f;
    }
    static void Stop(pid_t pid, FILE* f) {
        if (pid > 0) kill(pid, SIGTERM);
        if (f) pclose(f);
    }

    pid_t fXvfbPid = -1, fWmPid = -1;
    FILE* fXvfb = nullptr;
    FILE* fWm = nullptr;
    std::string fDisplay;
    bool fOk = false;
};
