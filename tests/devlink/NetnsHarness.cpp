#include "tests/devlink/NetnsHarness.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace testtftp {

bool NetnsHarness::IsRoot() {
    return geteuid() == 0;
}

bool NetnsHarness::InHostNetns() {
    struct stat a {
    }, b{};
    if (stat("/proc/1/ns/net", &a) == 0 && stat("/proc/thread-self/ns/net", &b) == 0)
        return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    if (stat("/proc/1/net/dev", &a) == 0 && stat("/proc/thread-self/net/dev", &b) == 0)
        return a.st_ino == b.st_ino;
    return true;  // cannot tell: assume the worst
}

bool NetnsHarness::Sh(const std::string& cmd, std::string* why) {
    std::string full = cmd + " 2>&1";
    FILE* p = popen(full.c_str(), "r");
    if (!p) {
        if (why) *why = "cannot run: " + cmd;
        return false;
    }
    std::string out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    int rc = pclose(p);
    if (rc != 0 && why) *why = cmd + ": " + out;
    return rc == 0;
}

// Namespaces of runs whose process is gone are ours to remove.
static void RemoveStale(const std::function<bool(const std::string&)>& sh) {
    FILE* p = popen("ip netns list 2>/dev/null", "r");
    if (!p) return;
    char buf[512];
    std::vector<std::string> stale;
    while (fgets(buf, sizeof buf, p)) {
        std::string name;
        std::istringstream(buf) >> name;
        unsigned pid = 0;
        char tag[64];
        if (std::sscanf(name.c_str(), "kvt%u-%63s", &pid, tag) == 2 && pid &&
            kill(pid_t(pid), 0) != 0)
            stale.push_back(name);
    }
    pclose(p);
    for (auto& n : stale) sh("ip netns del " + n);
}

std::string NetnsHarness::Setup(const std::string& tag) {
    if (!IsRoot()) return "needs root";
    fBase = "kvt" + std::to_string(getpid()) + "-" + tag;
    RemoveStale([this](const std::string& c) { return Sh(c, nullptr); });
    std::string br = fBase + "-br", app = AppNs(), dev = DevNs(), why;
    fUp = true;  // from here on, Teardown removes whatever exists
    const std::string cmds[] = {
        "ip netns add " + br,
        "ip netns add " + app,
        "ip netns add " + dev,
        "ip -n " + br + " link add br0 type bridge",
        "ip -n " + br + " link set br0 up",
        "ip -n " + app + " link add eth0 type veth peer name vapp netns " + br,
        "ip -n " + dev + " link add eth0 type veth peer name vdev netns " + br,
        "ip -n " + br + " link set vapp master br0",
        "ip -n " + br + " link set vapp up",
        "ip -n " + br + " link set vdev master br0",
        "ip -n " + br + " link set vdev up",
        "ip -n " + app + " addr add 198.18.1.2/24 dev eth0",
        "ip -n " + app + " link set eth0 up",
        "ip -n " + app + " link set lo up",
        "ip -n " + dev + " addr add 198.18.1.11/24 dev eth0",
        "ip -n " + dev + " addr add 198.18.1.12/24 dev eth0",
        "ip -n " + dev + " addr add 198.19.7.13/24 dev eth0",
        "ip -n " + dev + " link set eth0 up",
        "ip -n " + dev + " link set lo up",
        "ip -n " + app + " route add 255.255.255.255 dev eth0",
        "ip -n " + dev + " route add 255.255.255.255 dev eth0",
    };
    for (auto& c : cmds) {
        if (!Sh(c, &why)) {
            Teardown();
            return why;
        }
    }
    return "";
}

void NetnsHarness::Teardown() {
    if (!fUp) return;
    fUp = false;
    // Deleting a namespace removes its veth ends and the bridge with it.
    for (const char* s : {"-app", "-dev", "-br"})
        Sh("ip netns del " + fBase + s + " 2>/dev/null", nullptr);
}

NetnsHarness::~NetnsHarness() {
    Teardown();
}

bool NetnsHarness::InNs(const std::string& ns, const std::function<void()>& fn) {
    int self = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    int target = open(NsPath(ns).c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = self >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
    if (ok) {
        // The broadcast rule: never from the host's namespace.
        ok = !InHostNetns();
        if (ok) fn();
        if (setns(self, CLONE_NEWNET) != 0)
            std::abort();  // stranded in a test namespace: stop here
    }
    if (self >= 0) close(self);
    if (target >= 0) close(target);
    return ok;
}

}  // namespace testtftp
