// The application entry, run as a program (the stand-in application of
// tools/kvshell): launch requests, the quit protocol by SIGTERM, from inside a
// modal loop, and key equivalents against the menus' validation.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/Types.h"

namespace {

struct Case {
    const char* script;
    std::vector<std::string> args;
    std::vector<std::string> termAfter;  // SIGTERM when each of these lines comes, in order
    std::string expected;                // the whole output
};

std::string RunShell(const Case& c, int* status) {
    // The shell prints its process id, then becomes the program.
    std::string cmd = std::string("echo $$; exec env QT_QPA_PLATFORM=offscreen KVSHELL=") +
                      c.script + " " KEVO_BINARY_DIR "/tools/kvshell/kvshell";
    for (const std::string& a : c.args) cmd += " '" + a + "'";
    FILE* f = popen(cmd.c_str(), "r");
    char line[256];
    const pid_t pid = fgets(line, sizeof line, f) ? pid_t(std::atol(line)) : 0;
    std::string text;
    size_t next = 0;
    alarm(20);  // a program that hangs ends the test
    while (pid && fgets(line, sizeof line, f)) {
        text += line;
        if (next < c.termAfter.size() && c.termAfter[next] + "\n" == line) {
            ++next;
            kill(pid, SIGTERM);
        }
    }
    alarm(0);
    *status = pclose(f);
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
