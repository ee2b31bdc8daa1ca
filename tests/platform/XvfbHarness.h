#pragma once
// A private X display for tests that need a real window manager: Xvfb on a free
// display number with openbox managing it (DISPLAY is set for the QApplication
// to come, platform "xcb"), xdotool for real keys, clicks, wheel and resizes,
// and whole-screen pictures. Ok() is false where any of them is missing.
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <string>
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
        fWm = Start("openbox --sm-disable", &fWmPid, nullptr);
        // The window manager is up once it names itself on the root window;
        // with many suites starting at once on a busy machine that can take
        // seconds. Once in a while it never does (seen with the whole suite
        // running): a window manager that has not come up, or has gone, within
        // 10 s is started again, up to twice.
        u32 restarts = 0;
        for (u32 start = LTickMs(), since = start; !fOk && LTickMs() - start < 30000; SleepMs(20)) {
            if (fXvfbPid > 0 && waitpid(fXvfbPid, nullptr, WNOHANG) == fXvfbPid) {
                fXvfbPid = -1;
                return false;
            }
            fOk =
                Run("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
            const bool gone = fWmPid > 0 && waitpid(fWmPid, nullptr, WNOHANG) == fWmPid;
            if (gone) fWmPid = -1;
            if (!fOk && restarts < 2 && (gone || LTickMs() - since > 10000)) {
                Stop(fWmPid, fWm);
                fWm = Start("openbox --sm-disable", &fWmPid, nullptr);
                since = LTickMs();
                ++restarts;
            }
        }
        return true;
    }
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
