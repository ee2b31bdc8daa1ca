// kvsimdev: simulated devices for device-facing tests. Commands arrive on
// standard input, one per line; see README.md.

#include "tools/simdevice/Channels.h"
#include "tools/simdevice/DevCmds.h"
#include "tools/simdevice/SysStat.h"
#include "tools/simdevice/LinkDelay.h"
#include "tools/simdevice/FileCmds.h"
#include "tools/simdevice/RecPlayCmds.h"
#include "tools/simdevice/MonitorCmds.h"
#include "tools/simdevice/FmCmds.h"

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace simdev;

static void Write(const std::string& line) {
    std::string l = line + "\n";
    size_t off = 0;
    while (off < l.size()) {
        ssize_t n = write(1, l.data() + off, l.size() - off);
        if (n <= 0) return;
        off += size_t(n);
    }
}

int main(int argc, char** argv) {
    // Thousands of devices each answer from a socket of their own.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    bool stay = false;
    int wireFd = -1;
    std::vector<std::string> scripts;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--stay")) {
            stay = true;
        } else if (!std::strcmp(argv[i], "--script") && i + 1 < argc) {
            scripts.push_back(argv[++i]);
        } else if (!std::strcmp(argv[i], "--wire-fd") && i + 1 < argc) {
            wireFd = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: kvsimdev [--script FILE]... [--stay] [--wire-fd FD]\n"
                         "  commands from FILE, then from standard input;\n"
                         "  --stay: keep serving after standard input ends;\n"
                         "  --wire-fd: shared memory for the datagram counts (WireCount.h)\n");
            return 2;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    Loop loop;
    Sim sim(loop);
    Control control(sim, loop);
    AddChannelCommands(control, sim);
    AddFileCommands(control, sim);
    AddRecPlayCommands(control, sim);
    AddDevCommands(control, sim);
    AddMonitorCommands(control, sim);
    AddSysStatCommands(control, sim);
    AddLinkDelayCommands(control, sim);
    AddFmCommands(control, sim);
    if (wireFd >= 0) {
        void* shared =
            mmap(nullptr, sizeof(WireCount), PROT_READ | PROT_WRITE, MAP_SHARED, wireFd, 0);
        close(wireFd);
        if (shared == MAP_FAILED) {
            std::fprintf(stderr, "kvsimdev: cannot map --wire-fd\n");
            return 2;
        }
        sim.ShareCounts(static_cast<WireCount*>(shared));
    }
    for (auto& path : scripts) {
        std::ifstream f(path);
        if (!f) {
            std::fprintf(stderr, "kvsimdev: cannot read %s\n", path.c_str());
            return 2;
        }
        for (std::string line; std::getline(f, line);) control.RunLine(line, Write);
    }
    std::string pending;
    bool stdinOpen = true;
    loop.Watch(0, [&] {
        char buf[4096];
        ssize_t n = read(0, buf, sizeof buf);
        if (n <= 0) {
            loop.Unwatch(0);
            stdinOpen = false;
            if (!stay) loop.Stop();
            return;
        }
        pending.append(buf, size_t(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            control.RunLine(line, Write);
        }
    });
    Write(std::string("ready hostns=") + (sim.HostNetns() ? "1" : "0"));
    return loop.Run() ? 0 : 1;
}
