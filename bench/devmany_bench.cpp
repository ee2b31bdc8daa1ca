// Thousands of devices on one network: the device document finds 4,000 simulated
// devices with its status poll, makes a controller for each and reads every
// device's settings, on the platform's run loop. Reported side by side, with the
// open-file limit as the program sets it and with a soft limit of 1,024:
//   list_ms      until every device is in the device set
//   settings_ms  until every device's settings have been read (-1: not in time)
//   settings_read  how many were read by then
//   stall_max_ms the longest turn of the run loop (nothing else runs meanwhile)
//   fds_max      the most descriptors open at once
//   open_ms      then one device opened as its control window does (its settings
//                and its sequence settings read again); -1 when that fails
//   open_refused sockets that could not be opened, as the program reported them
// Root only: the devices answer a broadcast, so they live in network namespaces
// made here, and the benchmark's own sockets in another (198.18.0.0/16).

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevDoc.h"
#include "devlink/CDevRequestQueue.h"
#include "devlink/NetIf.h"
#include "devlink/OpenFiles.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"
#include "services/GraphicsServices.h"
#include "services/RunLoop.h"
#include "tools/testkit/RowOnlyDevView.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

constexpr u32 kDevices = 4000;
constexpr u32 kFirstSerial = 1000;

bool Sh(const std::string& cmd) {
    return std::system(cmd.c_str()) == 0;
}

std::string Output(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

bool InHostNetns() {
    struct ::stat a;
    struct ::stat b;
    if (::stat("/proc/1/ns/net", &a) == 0 && ::stat("/proc/thread-self/ns/net", &b) == 0)
        return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    if (::stat("/proc/1/net/dev", &a) == 0 && ::stat("/proc/thread-self/net/dev", &b) == 0)
        return a.st_ino == b.st_ino;
    return true;  // cannot tell: assume the worst
}

// Device i's address, on the application's /16.
std::string DeviceAddr(u32 i) {
    return "198.18." + std::to_string(1 + i / 200) + "." + std::to_string(10 + i % 200);
}

// Three namespaces joined by a bridge, as tools/netns/kvnetns.sh builds them,
// with the devices' addresses on a /16; everything goes with the object.
class ManyNet {
public:
    ~ManyNet() {
        if (fHome >= 0) {
            if (setns(fHome, CLONE_NEWNET) != 0) std::abort();
            close(fHome);
        }
        if (!fBase.empty())
            for (const char* s : {"-app", "-dev", "-br"}) Sh("ip netns del " + fBase + s + " 2>/dev/null");
    }
    std::string Setup(u32 devices) {
        fBase = "kvb" + std::to_string(getpid()) + "-many";
        const std::string br = fBase + "-br", app = AppNs(), dev = DevNs();
        const std::string cmds[] = {
            "ip netns add " + br, "ip netns add " + app, "ip netns add " + dev,
            "ip -n " + br + " link add br0 type bridge", "ip -n " + br + " link set br0 up",
            "ip -n " + app + " link add eth0 type veth peer name vapp netns " + br,
            "ip -n " + dev + " link add eth0 type veth peer name vdev netns " + br,
            "ip -n " + br + " link set vapp master br0", "ip -n " + br + " link set vapp up",
            "ip -n " + br + " link set vdev master br0", "ip -n " + br + " link set vdev up",
            "ip -n " + app + " addr add 198.18.0.2/16 dev eth0", "ip -n " + app + " link set eth0 up",
            "ip -n " + app + " link set lo up", "ip -n " + dev + " link set eth0 up",
            "ip -n " + dev + " link set lo up",
            "ip -n " + app + " route add 255.255.255.255 dev eth0",
            "ip -n " + dev + " route add 255.255.255.255 dev eth0",
            // Thousands of answers to one broadcast leave at once, as they would
            // reach a switch: the virtual links queue them rather than refuse them.
            "ip -n " + app + " link set eth0 txqueuelen 20000",
            "ip -n " + dev + " link set eth0 txqueuelen 20000",
            "ip -n " + br + " link set vapp txqueuelen 20000",
            "ip -n " + br + " link set vdev txqueuelen 20000"};
        for (const std::string& c : cmds)
            if (!Sh(c)) return "failed: " + c;
        const std::string batch = "/tmp/" + fBase + ".ip";
        {
            std::ofstream f(batch);
            for (u32 i = 0; i < devices; ++i) f << "addr add " << DeviceAddr(i) << "/16 dev eth0\n";
        }
        bool ok = Sh("ip -n " + dev + " -batch " + batch);
        // The devices' neighbour entries are fixed: the system's table keeps 1,024
        // learnt ones, beyond which sends fail (a limit of this machine, shared by
        // every namespace, not of the network the program would see).
        const std::string mac = Output("ip -n " + dev + " -br link show eth0 | awk '{print $3}'");
        if (ok && !mac.empty()) {
            std::ofstream f(batch);
            for (u32 i = 0; i < devices; ++i)
                f << "neigh replace " << DeviceAddr(i) << " lladdr " << mac
                  << " dev eth0 nud permanent\n";
            f.close();
            ok = Sh("ip -n " + app + " -batch " + batch);
        }
        std::remove(batch.c_str());
        return ok ? "" : "cannot give the devices their addresses";
    }
    // From here on this thread's sockets are made in the application's namespace.
    bool EnterApp() {
        fHome = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = open(("/var/run/netns/" + AppNs()).c_str(), O_RDONLY | O_CLOEXEC);
        const bool ok = fHome >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (!ok) std::perror("setns");
        if (target >= 0) close(target);
        return ok && !InHostNetns();
    }
    std::string AppNs() const { return fBase + "-app"; }
    std::string DevNs() const { return fBase + "-dev"; }

private:
    std::string fBase;
    int fHome = -1;
};

struct Eth0 : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("eth0"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

u32 OpenDescriptors() {
    u32 n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n > 3 ? n - 3 : 0;  // ".", ".." and the walk's own
}

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Figures {
    double listMs = -1, settingsMs = -1, stallMs = 0, stallAtMs = 0, openMs = -1;
    u32 settingsRead = 0, fdsMax = 0, refused = 0;
};

// One turn of the run loop and the framework's timers; answers its length.
double Turn() {
    const double t0 = NowMs();
    RunLoopRunOnce(5);
    LTimer::FireDue(GraphicsServices().NowMs(), nullptr, nullptr, true);
    return NowMs() - t0;
}

struct OpenDone {
    static void Fn(void* self) { static_cast<OpenDone*>(self)->done = true; }
    bool done = false;
};

Figures RunOnce(u32 devices, double limitMs) {
    Figures f;
    const u32 refused0 = SocketOpenFailures();
    testkit::RowOnlyDevView view;
    auto doc = std::make_unique<CKvsDevDoc>(nullptr, nullptr, &view);
    const double start = NowMs();
    double lastSample = 0;
    while (NowMs() - start < limitMs) {
        const double turn = Turn();
        const double now = NowMs();
        if (turn > f.stallMs) {
            f.stallMs = turn;
            f.stallAtMs = now - start;
        }
        if (now - lastSample < 100) continue;
        lastSample = now;
        const u32 fds = OpenDescriptors();
        if (fds > f.fdsMax) f.fdsMax = fds;
        if (f.listMs < 0 && doc->DeviceSet().Count() >= devices) f.listMs = now - start;
        u32 read = 0;
        for (u32 i = 0; i < doc->ControllerCount(); ++i) read += doc->ControllerAt(i)->SettingsKnown();
        f.settingsRead = read;
        if (read >= devices) {
            f.settingsMs = now - start;
            break;
        }
    }
    // One device opened as its control window does: its settings and its
    // sequence settings read.
    if (CKvsDevCtl* ctl = doc->FindController(u16(kFirstSerial + devices / 2))) {
        CRecordDoc seq(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst)));
        OpenDone seqDone, setDone;
        CDevRequestQueue channel(&ctl->ChannelQueue(), seq.Root(), "/.cmd/udseqset", &seqDone,
                                 OpenDone::Fn);
        CDevRequestQueue settings(&ctl->ChannelQueue(), ctl->Settings(), "/.cmd/udkvtset",
                                  &setDone, OpenDone::Fn);
        const double t0 = NowMs();
        channel.Refresh();
        settings.Refresh();
        while (!(seqDone.done && setDone.done) && NowMs() - t0 < 14000) {
            const double turn = Turn();
            if (turn > f.stallMs) f.stallMs = turn;
        }
        if (seqDone.done && setDone.done) f.openMs = NowMs() - t0;
    }
    const u32 fds = OpenDescriptors();
    if (fds > f.fdsMax) f.fdsMax = fds;
    f.refused = SocketOpenFailures() - refused0;
    doc.reset();
    return f;
}

void Report(benchmark::State& state, const Figures& f) {
    state.counters["list_ms"] = f.listMs;
    state.counters["settings_ms"] = f.settingsMs;
    state.counters["settings_read"] = f.settingsRead;
    state.counters["stall_max_ms"] = f.stallMs;
    state.counters["stall_at_ms"] = f.stallAtMs;
    state.counters["fds_max"] = f.fdsMax;
    state.counters["open_ms"] = f.openMs;
    state.counters["open_refused"] = f.refused;
}

struct Bench {
    ManyNet net;
    std::unique_ptr<testtftp::SimDeviceProcess> sim;
    testtftp::TempDir dir;
    std::string error;
    std::unique_ptr<Eth0> prefs;
    std::unique_ptr<CLocalAddrWatch> watch;

    Bench() {
        if (geteuid() != 0) {
            error = "needs root to build network namespaces";
            return;
        }
        error = net.Setup(kDevices);
        if (!error.empty()) return;
        sim = std::make_unique<testtftp::SimDeviceProcess>("/var/run/netns/" + net.DevNs());
        if (!sim->Ok()) {
            error = "kvsimdev did not start";
            return;
        }
        sim->Cmd("packet-log off");
        sim->Cmd("answer-spread ms=500");
        for (u32 i = 0; i < kDevices; ++i) {
            const std::string s = std::to_string(kFirstSerial + i);
            const std::string a = sim->Cmd("add-device serno=" + s + " addr=" + DeviceAddr(i) +
                                           "/16 listen=any root=" + dir.Path() + "/" + s);
            if (a.rfind("ok", 0) != 0) {
                error = "add-device: " + a;
                return;
            }
        }
        if (!net.EnterApp()) {
            error = "cannot enter the application's namespace";
            return;
        }
        RunLoopMakeMain();
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
        prefs = std::make_unique<Eth0>();
        watch = std::make_unique<CLocalAddrWatch>(prefs.get());
    }
    ~Bench() {
        watch.reset();
        if (sim) sim->Stop();
    }
};

Bench* gBench = nullptr;

// The namespaces and the simulated devices go when the program ends.
void DropBench() {
    delete gBench;
    gBench = nullptr;
}

Bench& Shared() {
    if (!gBench) {
        gBench = new Bench;
        std::atexit(DropBench);
    }
    return *gBench;
}

// The open-file limit as the program leaves it at start.
void BM_ManyDevices_RaisedLimit(benchmark::State& state) {
    Bench& b = Shared();
    if (!b.error.empty()) {
        state.SkipWithError(b.error.c_str());
        return;
    }
    RaiseOpenFileLimit();
    for (auto _ : state) Report(state, RunOnce(kDevices, 30000));
}

// A system whose hard limit leaves the program 1,024 descriptors.
void BM_ManyDevices_SoftLimit1024(benchmark::State& state) {
    Bench& b = Shared();
    if (!b.error.empty()) {
        state.SkipWithError(b.error.c_str());
        return;
    }
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    rlimit low = old;
    low.rlim_cur = 1024;
    setrlimit(RLIMIT_NOFILE, &low);
    for (auto _ : state) Report(state, RunOnce(kDevices, 30000));
    setrlimit(RLIMIT_NOFILE, &old);
}

BENCHMARK(BM_ManyDevices_RaisedLimit)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ManyDevices_SoftLimit1024)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
