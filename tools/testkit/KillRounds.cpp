#include "tools/testkit/KillRounds.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace testkit {

namespace {

// Reads marks until the first one, then for the random delay; kills and reaps.
KillResult Watch(pid_t pid, int fd, unsigned maxDelayUs, unsigned startLimitMs, std::mt19937& rng) {
    using Clock = std::chrono::steady_clock;
    KillResult r;
    char last = 0;
    auto take = [&](int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == 'e') ++r.completed;
            last = buf[i];
        }
        return true;
    };
    const auto startEnd = Clock::now() + std::chrono::milliseconds(startLimitMs);
    while (last == 0 && Clock::now() < startEnd) take(10);
    r.started = last != 0;
    if (r.started) {
        const auto killAt =
            Clock::now() +
            std::chrono::microseconds(std::uniform_int_distribution<unsigned>(0, maxDelayUs)(rng));
        // Whole milliseconds in poll, the rest spinning: saves take well under one.
        for (auto now = Clock::now(); now < killAt; now = Clock::now()) {
            const auto leftMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(killAt - now).count();
            if (leftMs < 1)
                take(0);
            else if (!take(int(leftMs)))
                std::this_thread::sleep_until(killAt);
        }
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    while (take(0)) {
    }
    r.midSave = last == 'b';
    close(fd);
    return r;
}

}  // namespace

KillResult KillDuringSaves(const std::function<void()>& save, unsigned maxDelayUs,
                           std::mt19937& rng) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        for (;;) {
            (void)!write(p[1], "b", 1);
            save();
            (void)!write(p[1], "e", 1);
        }
    }
    close(p[1]);
    if (pid < 0) {
        close(p[0]);
        return {};
    }
    return Watch(pid, p[0], maxDelayUs, 5000, rng);
}

KillResult KillDuringSavesExec(const std::vector<std::string>& argv,
                               const std::vector<std::string>& env, unsigned maxDelayUs,
                               unsigned startLimitMs, std::mt19937& rng) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0 || argv.empty()) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        const int fd = fcntl(p[1], F_DUPFD, 3);  // without close-on-exec
        setenv("KV_KILL_MARKS", std::to_string(fd).c_str(), 1);
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        // Whatever the program prints stays out of the test's output.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(p[1]);
    if (pid < 0) {
        close(p[0]);
        return {};
    }
    return Watch(pid, p[0], maxDelayUs, startLimitMs, rng);
}

std::string OnSmallDisk(const std::string& folder, unsigned sizeKb,
                        const std::function<std::string()>& fn) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        std::string out;
        const std::string size = "size=" + std::to_string(sizeKb) + "k";
        if (unshare(CLONE_NEWNS) != 0)
            out = "unshare: " + std::string(strerror(errno));
        else if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            out = "private mounts: " + std::string(strerror(errno));
        else if (mount("kvsmall", folder.c_str(), "tmpfs", 0, size.c_str()) != 0)
            out = "tmpfs: " + std::string(strerror(errno));
        else
            out = fn();
        if (out.empty()) out = "ok";
        (void)!write(p[1], out.data(), out.size());
        _exit(0);
    }
    close(p[1]);
    if (pid < 0) {
        close(p[0]);
        return "no fork";
    }
    std::string got;
    char buf[512];
    for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;) got.append(buf, size_t(n));
    close(p[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got.empty()) return "the child died";
    return got == "ok" ? "" : got;
}

bool FillDisk(const std::string& folder, const std::string& name) {
    const int fd =
        open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    static const char block[4096] = {};
    // Big writes first, then byte by byte, so that not one byte is left free.
    for (size_t size = sizeof block; size > 0; size /= 2)
        while (write(fd, block, size) == ssize_t(size)) {
        }
    const bool full = write(fd, block, 1) < 0 && errno == ENOSPC;
    close(fd);
    return full;
}

void MarkSave(char mark) {
    static const int fd = [] {
        const char* v = getenv("KV_KILL_MARKS");
        return v ? std::atoi(v) : -1;
    }();
    if (fd >= 0) (void)!write(fd, &mark, 1);
}

bool IsKillChild() {
    return getenv("KV_KILL_MARKS") != nullptr;
}

}  // namespace testkit
