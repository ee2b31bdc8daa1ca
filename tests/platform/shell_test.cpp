// The application entry, run as a program (the stand-in application of
// tools/kvshell): launch requests, the quit protocol by SIGTERM, from inside a
// modal loop, and key equivalents against the menus' validation.
#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/Clock.h"

namespace {

struct Case {
    const char* script;
    std::vector<std::string> args;
    std::vector<std::string> termAfter;  // SIGTERM when each of these lines comes, in order
    std::string expected;                // the whole output
};

std::string RunShell(const Case& c, int* status) {
    int out[2];
    if (pipe(out) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        setenv("KVSHELL", c.script, 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::vector<char*> argv{const_cast<char*>(KEVO_BINARY_DIR "/tools/kvshell/kvshell")};
        for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string text, line;
    size_t next = 0;
    for (const u32 start = LTickMs(); LTickMs() - start < 20000;) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char ch;
        if (read(out[0], &ch, 1) != 1) break;
        text += ch;
        if (ch != '\n') {
            line += ch;
            continue;
        }
        if (next < c.termAfter.size() && line == c.termAfter[next]) {
            ++next;
            kill(pid, SIGTERM);
        }
        line.clear();
    }
    close(out[0]);
    kill(pid, SIGKILL);
    waitpid(pid, status, 0);
    return text;
}

TEST(Shell, LaunchQuitAndKeys) {
    const std::string tail = "quit\n~app before singletons\nexit clean\n";
    const Case cases[] = {
        // A plain launch: one empty open request; SIGTERM quits like Quit.
        {"", {}, {"open 0"}, "open 0\n" + tail},
        // A file on the command line stands for an open request; no empty one.
        {"",
         {"/tmp/kv shell.show"},
         {"open 1 file:///Root/tmp/kv%20shell.show"},
         "open 1 file:///Root/tmp/kv%20shell.show\n" + tail},
        // A handler that consumes the quit request cancels it.
        {"refuse", {}, {"open 0", "quit refused"}, "open 0\nquit refused\n" + tail},
        // Inside a dialog's modal loop an accepted quit ends the process.
        {"dialog", {}, {"modal"}, "open 0\nmodal\nquit\n~app before singletons\n"},
        // Ctrl-Q with no enabled Quit item does nothing; with one it quits.
        {"ctrlq", {}, {"ctrlq sent"}, "open 0\nctrlq sent\n" + tail},
        {"ctrlq,enablequit",
         {},
         {},
         "open 0\nquit\nctrlq sent\n~app before singletons\nexit clean\n"},
    };
    for (const Case& c : cases) {
        int status = -1;
        EXPECT_EQ(RunShell(c, &status), c.expected) << c.script;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.script << " " << status;
    }
}

}  // namespace
