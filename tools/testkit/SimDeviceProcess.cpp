#include "tools/testkit/SimDeviceProcess.h"

#include "tools/simdevice/WireCount.h"
#include "tools/testkit/WireGate.h"

#include <arpa/inet.h>
#include <new>
#include <sys/mman.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testtftp {

std::string SimDeviceProcess::ProgramPath() {
    if (const char* env = std::getenv("KVSIMDEV"); env && *env) return env;
    return std::string(KEVO_BINARY_DIR) + "/tools/simdevice/kvsimdev";
}

SimDeviceProcess::SimDeviceProcess(const std::string& netnsPath) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    std::string prog = ProgramPath();
    const int wire = memfd_create("kvsimdev-wire", MFD_CLOEXEC);
    if (wire >= 0 && ftruncate(wire, sizeof(simdev::WireCount)) == 0) {
        void* m =
            mmap(nullptr, sizeof(simdev::WireCount), PROT_READ | PROT_WRITE, MAP_SHARED, wire, 0);
        if (m != MAP_FAILED) fShared = new (m) simdev::WireCount;
    }
    const std::string wireArg = std::to_string(wire);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        if (fShared) fcntl(wire, F_SETFD, 0);
        if (!netnsPath.empty()) {
            int fd = open(netnsPath.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) _exit(127);
        }
        if (fShared)
            execl(prog.c_str(), prog.c_str(), "--wire-fd", wireArg.c_str(),
                  static_cast<char*>(nullptr));
        else
            execl(prog.c_str(), prog.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (wire >= 0) close(wire);
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return;
    }
    fPid = pid;
    fIn = in[1];
    fOut = out[0];
    std::string first = ReadLine(5000);
    if (first.rfind("ready", 0) == 0) fReady = first;
    if (fShared && !fReady.empty()) fGate = WireGate::Add(static_cast<simdev::WireCount*>(fShared));
}

SimDeviceProcess::~SimDeviceProcess() {
    Stop();
}

void SimDeviceProcess::Stop() {
    if (fGate) WireGate::Remove(fGate);
    fGate = nullptr;
    if (fPid <= 0) return;
    if (fIn >= 0) {
        (void)!write(fIn, "quit\n", 5);
        close(fIn);
        fIn = -1;
    }
    int status = 0;
    for (int i = 0; i < 200; ++i) {
        if (waitpid(fPid, &status, WNOHANG) == fPid) {
            fPid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (fPid > 0) {
        kill(fPid, SIGKILL);
        waitpid(fPid, &status, 0);
        fPid = -1;
    }
    if (fOut >= 0) close(fOut);
    fOut = -1;
    if (fShared) munmap(fShared, sizeof(simdev::WireCount));
    fShared = nullptr;
}

std::string SimDeviceProcess::ReadLine(int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t nl = fBuf.find('\n');
        if (nl != std::string::npos) {
            std::string line = fBuf.substr(0, nl);
            fBuf.erase(0, nl + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || fOut < 0) return "";
        pollfd p{fOut, POLLIN, 0};
        if (poll(&p, 1, int(left.count())) <= 0) return "";
        char buf[65536];
        ssize_t n = read(fOut, buf, sizeof buf);
        if (n <= 0) return "";
        fBuf.append(buf, size_t(n));
    }
}

std::string SimDeviceProcess::Cmd(const std::string& line, std::vector<std::string>* data) {
    if (fIn < 0) return "err not running";
    std::string l = line + "\n";
    if (write(fIn, l.data(), l.size()) != ssize_t(l.size())) return "err write failed";
    for (;;) {
        std::string a = ReadLine(10000);
        if (a.empty()) return "err no answer";
        if (fGate && a.rfind("ok", 0) == 0 && line.rfind("add-device ", 0) == 0) {
            in_addr ip{};
            // Devices elsewhere (a namespace's own network) are counted by their tests.
            if (inet_pton(AF_INET, Field(a, "addr").c_str(), &ip) == 1 &&
                ntohl(ip.s_addr) >> 24 == 127)
                WireGate::AddAddress(fGate, ntohl(ip.s_addr));
        }
        if (a.rfind("ok", 0) == 0 || a.rfind("err", 0) == 0) return a;
        if (data) data->push_back(a);
    }
}

std::string SimDeviceProcess::Field(const std::string& line, const std::string& key) {
    std::string k = " " + key + "=";
    size_t p = (" " + line).find(k);
    if (p == std::string::npos) return "";
    size_t start = p + k.size() - 1;
    size_t end = line.find(' ', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<std::string> SimDeviceProcess::Log() {
    std::vector<std::string> data, out;
    Cmd("log", &data);
    for (auto& d : data)
        if (d.rfind("log ", 0) == 0) out.push_back(d.substr(4));
    return out;
}

bool SimDeviceProcess::Idle() {
    return Field(Cmd("xfers"), "active") == "0";
}

bool SimDeviceProcess::WaitIdle(int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (Idle()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TempDir::TempDir() {
    // $TMPDIR first: a test that kills its children gives each a folder it clears.
    const char* base = getenv("TMPDIR");
    std::string tmpl =
        std::string(base && base[0] == '/' ? base : "/tmp") + "/kvsimdev-test-XXXXXX";
    if (mkdtemp(tmpl.data())) fPath = tmpl;
}

TempDir::~TempDir() {
    if (fPath.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(fPath, ec);
}

}  // namespace testtftp
