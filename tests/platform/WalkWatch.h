#pragma once
// A walk that hangs (a modal window nobody answers, a nested loop without end)
// ends as a failure that says what it was doing, not at ctest's time-out with
// nothing: the walk notes each step it waits on, its parent stops it past a
// time limit, and it prints its last steps and its main thread's stack as it
// goes. Its output is line-buffered, so that what failed before the hang is
// seen too.
#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KEVO_WALK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KEVO_WALK_SANITIZED 1
#endif
#endif
#ifdef KEVO_WALK_SANITIZED
#include <sanitizer/common_interface_defs.h>
#else
#include <execinfo.h>
#endif

#include "base/Clock.h"

namespace walkwatch {

// How many times slower the program runs in this build than in a user's: a
// limit on the program's own time, set for a user's build, is this much wider.
#ifdef KEVO_WALK_SANITIZED
inline constexpr unsigned kSlowdown = 4;
#else
inline constexpr unsigned kSlowdown = 1;
#endif

// The last steps, kept in fixed storage: the signal handler reads them.
struct Trace {
    static constexpr unsigned kLines = 24, kWidth = 240;
    char lines[kLines][kWidth] = {};
    unsigned next = 0;
};
inline Trace& TheTrace() {
    static Trace t;
    return t;
}
inline pthread_t& MainThread() {
    static pthread_t t;
    return t;
}

// One step of the walk ("waiting for the save question"), with its time.
inline void Note(const std::string& step) {
    Trace& t = TheTrace();
    std::snprintf(t.lines[t.next % Trace::kLines], Trace::kWidth, "%10u ms  %s\n",
                  unsigned(LTickMs()), step.c_str());
    ++t.next;
}

inline void WriteAll(const char* s) {
    for (size_t n = std::strlen(s); n > 0;) {
        const ssize_t w = write(2, s, n);
        if (w <= 0) return;
        s += w;
        n -= size_t(w);
    }
}

inline void OnStop(int) {
    // The stack worth having is the main thread's, where the walk runs.
    if (!pthread_equal(pthread_self(), MainThread())) {
        pthread_kill(MainThread(), SIGUSR2);
        return;
    }
    std::fflush(nullptr);
    WriteAll("\n*** the walk was stopped past its time limit; its last steps:\n");
    const Trace& t = TheTrace();
    const unsigned first = t.next > Trace::kLines ? t.next - Trace::kLines : 0;
    for (unsigned i = first; i < t.next; ++i) WriteAll(t.lines[i % Trace::kLines]);
    WriteAll("*** the main thread's stack:\n");
#ifdef KEVO_WALK_SANITIZED
    __sanitizer_print_stack_trace();
#else
    void* frames[64];
    backtrace_symbols_fd(frames, backtrace(frames, 64), 2);
#endif
    _exit(3);
}

// The steps that led to a walk's first failure, printed beside it: a failure
// seen once (on a busy machine, say) says what the walk had just done.
class FirstFailureSteps : public testing::EmptyTestEventListener {
    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (!result.failed() || fPrinted) return;
        fPrinted = true;
        std::fflush(nullptr);
        WriteAll("*** the walk's last steps before its first failure:\n");
        const Trace& t = TheTrace();
        const unsigned first = t.next > Trace::kLines ? t.next - Trace::kLines : 0;
        for (unsigned i = first; i < t.next; ++i) WriteAll(t.lines[i % Trace::kLines]);
    }
    bool fPrinted = false;
};

// In the walk's process, before it starts.
inline void Arm() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    MainThread() = pthread_self();
    std::signal(SIGUSR2, OnStop);
    testing::UnitTest::GetInstance()->listeners().Append(new FirstFailureSteps);
}

// Seconds a walk may take before it is stopped: below ctest's 600, so that the
// stop's report is seen.
inline int LimitSeconds() {
    const char* s = std::getenv("KEVO_WALK_LIMIT_S");
    const int n = s ? std::atoi(s) : 0;
    return n > 0 ? n : 540;
}

// Waits for the child to end, at most the limit; past it, has the child print
// its steps and stack, then kills it. Its wait status, or -1 when it was stopped.
inline int AwaitChild(pid_t pid, const std::function<void()>& onHang) {
    const int fd = int(syscall(SYS_pidfd_open, pid, 0));
    int status = 0;
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        int r;
        do r = poll(&p, 1, LimitSeconds() * 1000);
        while (r < 0 && errno == EINTR);
        if (r == 0) {
            if (onHang) onHang();
            kill(pid, SIGUSR2);
            p.revents = 0;
            do r = poll(&p, 1, 30000);
            while (r < 0 && errno == EINTR);
            if (r == 0) kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            close(fd);
            return -1;
        }
        close(fd);
    }
    waitpid(pid, &status, 0);
    return status;
}

}  // namespace walkwatch
