// Upload speed of the engine against the simulated device and against atftpd,
// with the atftp client against the same atftpd for comparison; uploads under
// loss and device pauses; and what a request costs, with the socket each one
// opens. Loopback only. Every figure is a median of 15 taken in one run, and the
// ratios the figures are wanted for are printed at the end: compare only figures
// of the same run, the machine is shared.

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "devlink/Tftp.h"
#include "services/RunLoop.h"
#include "services/Services.h"
#include "tools/testkit/SimDeviceProcess.h"
#include "tools/testkit/StandardServers.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMiB = 1024 * 1024;
constexpr int kRepeats = 15;
// Transfers to a device some milliseconds away take seconds each.
constexpr int kDelayedRepeats = 5;

// A helper program started for one benchmark (the reference TFTP tools), its
// output dropped.
struct Child {
    pid_t pid = -1;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    bool Start(const std::vector<std::string>& argv) {
        pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            std::vector<char*> v;
            for (auto& s : argv) v.push_back(const_cast<char*>(s.c_str()));
            v.push_back(nullptr);
            execv(v[0], v.data());
            _exit(127);
        }
        return pid > 0;
    }
};

u64 Field(const std::string& line, const std::string& key) {
    const size_t at = line.find(" " + key + "=");
    return at == std::string::npos ? 0 : std::stoull(line.substr(at + key.size() + 2));
}

class VecSource : public CStrm {
public:
    VecSource(const std::vector<u8>* d, size_t size) : CStrm(0), fData(d), fSize(size) {}
    void SetPosition(u64 p) override { fPosition = p; }
    void SetSize() override {}
    void Write(const void*, u64) override { SetError(kErrReadOnly); }
    void Read(void* buf, u64* len) override {
        const u64 left = fPosition < fSize ? fSize - fPosition : 0;
        if (*len > left) *len = left;
        std::memcpy(buf, fData->data() + fPosition, size_t(*len));
        fPosition += *len;
    }

private:
    const std::vector<u8>* fData;
    size_t fSize;
};

class Sink : public CStrm {
public:
    Sink() : CStrm(kModeWrite) {}
    void SetPosition(u64 p) override { fPosition = p; }
    void SetSize() override {}
    void Write(const void*, u64 n) override { fPosition += n; }
    void Read(void*, u64* len) override { *len = 0; }
};

const std::vector<u8>& Payload() {
    static std::vector<u8> data = [] {
        std::vector<u8> v(50 * kMiB);
        u32 x = 1;
        for (auto& b : v) {
            x = x * 1103515245u + 12345u;
            b = u8(x >> 16);
        }
        return v;
    }();
    return data;
}

void EnsureApp() {
    RunLoopMakeMain();
}

struct State {
    u32 cap = 1;
    size_t size = 0;
    bool done = false;
    u32 result = 99;
    static void Cb(void* ctx, u32 event, void* obj) {
        auto* s = static_cast<State*>(ctx);
        if (event == kTftpEventPeerNew) {
            auto* p = static_cast<CTftpPeer*>(obj);
            p->Window().SetMax(s->cap);
            if (p->Session()->IsWrite())
                p->Accept(new VecSource(&Payload(), s->size));
            else
                p->Accept(new Sink);
        } else if (event == kTftpEventPeerDone) {
            s->result = static_cast<CTftpPeer*>(obj)->Result();
        } else {
            s->done = true;
        }
    }
};

// One request with the engine; false when it failed.
bool RunTransfer(CTftpManager& mgr, State& s, const LNetAddr& to, bool write, const char* path) {
    s.done = false;
    s.result = 99;
    CTftpSession* session = mgr.StartTransfer(to, write, path, &s, State::Cb, if_nametoindex("lo"));
    session->AddOption("serno", "9");
    session->Start();
    while (!s.done) RunLoopRunOnce(10);
    const bool ok = session->Result() == 0 && s.result == 0;
    mgr.Release(session);
    return ok;
}

// A simulated device at 127.0.0.2 for one benchmark.
struct SimDevice {
    testtftp::SimDeviceProcess proc;
    std::string root;
    u16 port = 0;
    std::string error;
    SimDevice() {
        root = fs::temp_directory_path() / ("kvbench-" + std::to_string(getpid()));
        if (!proc.Ok()) {
            error = "kvsimdev did not start";
            return;
        }
        const std::string a = proc.Cmd("add-device serno=9 addr=127.0.0.2/8 port=0 root=" + root);
        if (a.find("port=") == std::string::npos) {
            error = a;
            return;
        }
        port = u16(Field(a, "port"));
        proc.Cmd("set serno=9 idle=5000");
        proc.Cmd("packet-log off");
    }
    ~SimDevice() { fs::remove_all(root); }
    LNetAddr Address() const { return LNetAddr::IPv4(0x7F000002, port); }
};

// How far away the device stands: what it sends leaves this much later.
bool SetDelay(SimDevice& sim, i64 delayMs) {
    if (delayMs == 0) return true;
    return sim.proc.Cmd("set-delay serno=9 delay-ms=" + std::to_string(delayMs)).rfind("ok", 0) == 0;
}

void SetBytes(benchmark::State& st, size_t size) {
    st.SetBytesProcessed(i64(st.iterations()) * i64(size));
}

// ---------------------------------------------------------------------------
// Against the simulated device: window caps 1 and 50, on loopback and with the
// device 1 and 5 ms away (a round trip of that much).

void BM_EngineToSimDevice(benchmark::State& st) {
    EnsureApp();
    Payload();  // made before timing: whichever run came first would carry it
    SimDevice sim;
    if (!sim.error.empty()) return st.SkipWithError(sim.error.c_str());
    if (!SetDelay(sim, st.range(2))) return st.SkipWithError("set-delay failed");
    CTftpManager mgr(MainRunLoopWakeSource(), 0);
    State s;
    s.cap = u32(st.range(0));
    s.size = size_t(st.range(1)) * kMiB;
    for (auto _ : st)
        if (!RunTransfer(mgr, s, sim.Address(), true, "/sdc/bench.bin"))
            st.SkipWithError("transfer failed");
    SetBytes(st, s.size);
}
BENCHMARK(BM_EngineToSimDevice)
    ->ArgNames({"cap", "MiB", "delay_ms"})
    ->Args({1, 20, 0})
    ->Args({50, 20, 0})
    ->Args({1, 50, 0})
    ->Args({50, 50, 0})
    ->Iterations(1)
    ->Repetitions(kRepeats)
    ->ReportAggregatesOnly()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
// Lockstep at 5 ms moves 4 MiB only (a block per round trip: 15 s a transfer).
BENCHMARK(BM_EngineToSimDevice)
    ->ArgNames({"cap", "MiB", "delay_ms"})
    ->Args({1, 20, 1})
    ->Args({50, 20, 1})
    ->Args({1, 4, 5})
    ->Args({50, 20, 5})
    ->Iterations(1)
    ->Repetitions(kDelayedRepeats)
    ->ReportAggregatesOnly()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// Loss of DATA and of ACKs (both at once, percent), and device pauses, 20 MiB
// with cap 50. Counters: blocks that reached the device, and those it already
// had (retransmissions that were not needed, or the go-back of a loss).

enum Fault { kNone = 0, kLoss1 = 1, kLoss5 = 5, kPauses = 100 };

void BM_FaultsToSimDevice(benchmark::State& st) {
    EnsureApp();
    Payload();
    SimDevice sim;
    if (!sim.error.empty()) return st.SkipWithError(sim.error.c_str());
    if (!SetDelay(sim, st.range(1))) return st.SkipWithError("set-delay failed");
    const int fault = int(st.range(0));
    if (fault == kLoss1 || fault == kLoss5) {
        const std::string p = std::to_string(fault);
        sim.proc.Cmd("fault drop dir=in opcode=DATA percent=" + p + " seed=11");
        sim.proc.Cmd("fault drop dir=out opcode=ACK percent=" + p + " seed=12");
    } else if (fault == kPauses) {
        sim.proc.Cmd("set serno=9 pause-ms=50 pause-every=" + std::to_string(kMiB));
    }
    CTftpManager mgr(MainRunLoopWakeSource(), 0);
    State s;
    s.cap = 50;
    s.size = 20 * kMiB;
    sim.proc.Cmd("counters reset");
    for (auto _ : st)
        if (!RunTransfer(mgr, s, sim.Address(), true, "/sdc/bench.bin"))
            st.SkipWithError("transfer failed");
    const std::string c = sim.proc.Cmd("counters");
    const double n = double(st.iterations());
    st.counters["blocks"] = double(Field(c, "data-in")) / n;
    st.counters["again"] = double(Field(c, "data-dup")) / n;
    st.counters["pauses"] = double(Field(c, "pauses")) / n;
    SetBytes(st, s.size);
}
BENCHMARK(BM_FaultsToSimDevice)
    ->ArgNames({"fault", "delay_ms"})
    ->Args({kNone, 0})
    ->Args({kLoss1, 0})
    ->Args({kLoss5, 0})
    ->Args({kPauses, 0})
    ->Iterations(1)
    ->Repetitions(kRepeats)
    ->ReportAggregatesOnly()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FaultsToSimDevice)
    ->ArgNames({"fault", "delay_ms"})
    ->Args({kNone, 1})
    ->Args({kLoss1, 1})
    ->Args({kLoss5, 1})
    ->Args({kNone, 5})
    ->Args({kLoss1, 5})
    ->Iterations(1)
    ->Repetitions(kDelayedRepeats)
    ->ReportAggregatesOnly()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
// About a minute and a half a transfer: a median of three.
BENCHMARK(BM_FaultsToSimDevice)
    ->ArgNames({"fault", "delay_ms"})
    ->Args({kLoss5, 5})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// Many small reads: the cost of a request, socket and all.

void BM_SmallReads(benchmark::State& st) {
    EnsureApp();
    SimDevice sim;
    if (!sim.error.empty()) return st.SkipWithError(sim.error.c_str());
    {
        fs::create_directories(sim.root + "/sdc");
        std::ofstream f(sim.root + "/sdc/small.bin", std::ios::binary);
        f.write(reinterpret_cast<const char*>(Payload().data()), 100);
    }
    CTftpManager mgr(MainRunLoopWakeSource(), 0);
    State s;
    for (auto _ : st)
        for (int i = 0; i < 200; ++i)
            if (!RunTransfer(mgr, s, sim.Address(), false, "/sdc/small.bin")) {
                st.SkipWithError("transfer failed");
                break;
            }
    st.counters["per_request_us"] = benchmark::Counter(
        double(st.iterations()) * 200, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SmallReads)
    ->Iterations(1)
    ->Repetitions(kRepeats)
    ->ReportAggregatesOnly()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Opening, binding and closing one socket, as each request now does.
void BM_SocketOpenClose(benchmark::State& st) {
    EnsureApp();
    CUdpSocket keep(nullptr, [](void*, u32) {});  // keeps the reactor running, as a session would
    keep.Open(0, 0, 0, 0);
    const u32 lo = if_nametoindex("lo");
    for (auto _ : st) {
        CUdpSocket s(nullptr, [](void*, u32) {});
        s.Open(0, 0, 0, 0);
        s.BindToInterface(lo);
        s.Close();
    }
}
BENCHMARK(BM_SocketOpenClose)->Repetitions(kRepeats)->ReportAggregatesOnly();

// ---------------------------------------------------------------------------
// The engine and atftp, each writing to the same atftpd on loopback (blksize 1428;
// the engine with its window cap of 50). These compare protocols more than
// engines: atftpd acknowledges every block of a client that does not ask for the
// windowsize option, which the devices do not know and the engine never sends;
// atftp runs with it (windowsize 50) and without it (every block acknowledged).

struct Atftpd {
    Child server;
    std::string root, local, port = "16907";
    std::string error;
    explicit Atftpd(size_t size) {
        if (access("/usr/bin/atftp", X_OK) || access(testkit::AtftpdPath().c_str(), X_OK)) {
            error = "no atftp/atftpd";
            return;
        }
        root = fs::temp_directory_path() / ("kvbench-atftpd-" + std::to_string(getpid()));
        fs::create_directories(root);
        local = root + "-src.bin";
        std::ofstream f(local, std::ios::binary);
        f.write(reinterpret_cast<const char*>(Payload().data()), std::streamsize(size));
        f.close();
        server.Start({testkit::AtftpdPath(), "--daemon", "--no-fork", "--port", port, "--bind-address",
                      "127.0.0.1", "--user", "root.root", "--prevent-sas", "--logfile", "/dev/null",
                      root});
        // Ready once it answers: a read of a missing file draws an ERROR.
        CUdpSocket probe(nullptr, [](void*, u32) {});
        probe.Open(0, 0, 0, 0);
        const u8 rrq[] = {0, 1, 'n', 'o', 'n', 'e', 0, 'o', 'c', 't', 'e', 't', 0};
        for (int i = 0; i < 100; ++i) {
            probe.SendTo(LNetAddr::IPv4(0x7F000001, u16(std::stoi(port))), rrq, sizeof rrq);
            usleep(20 * 1000);
            LNetAddr from;
            u8 buf[600];
            if (probe.RecvFrom(&from, buf, sizeof buf) > 0) return;
        }
        error = "atftpd did not answer";
    }
    ~Atftpd() {
        fs::remove_all(root);
        fs::remove(local);
    }
};

void BM_EngineToAtftpd(benchmark::State& st) {
    EnsureApp();
    const size_t size = size_t(st.range(0)) * kMiB;
    Payload();
    Atftpd server(size);
    if (!server.error.empty()) return st.SkipWithError(server.error.c_str());
    CTftpManager mgr(MainRunLoopWakeSource(), 0);
    State s;
    s.cap = 50;
    s.size = size;
    const LNetAddr to = LNetAddr::IPv4(0x7F000001, u16(std::stoi(server.port)));
    for (auto _ : st)
        if (!RunTransfer(mgr, s, to, true, "bench.bin")) st.SkipWithError("transfer failed");
    SetBytes(st, size);
}

void BM_AtftpToAtftpd(benchmark::State& st) {
    const size_t size = size_t(st.range(0)) * kMiB;
    Atftpd server(size);
    if (!server.error.empty()) return st.SkipWithError(server.error.c_str());
    for (auto _ : st) {
        Child client;
        std::vector<std::string> argv = {"/usr/bin/atftp", "--option", "blksize 1428"};
        if (st.range(1)) argv.insert(argv.end(), {"--option", "windowsize 50"});
        argv.insert(argv.end(), {"-p", "-l", server.local, "-r", "bench.bin", "127.0.0.1", server.port});
        client.Start(argv);
        int status = 0;
        waitpid(client.pid, &status, 0);
        client.pid = -1;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) st.SkipWithError("atftp failed");
    }
    SetBytes(st, size);
}

// Interleaved, so that both see the same load on the machine.
void AtftpdArgs(benchmark::internal::Benchmark* b) {
    b->ArgName("MiB")->Iterations(1)->Repetitions(kRepeats)->ReportAggregatesOnly()->UseRealTime();
    b->Unit(benchmark::kMillisecond);
}
void AtftpArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"MiB", "windowsize"})->Iterations(1)->Repetitions(kRepeats);
    b->ReportAggregatesOnly()->UseRealTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_EngineToAtftpd)->Arg(20)->Apply(AtftpdArgs);
BENCHMARK(BM_AtftpToAtftpd)->Args({20, 1})->Apply(AtftpArgs);
BENCHMARK(BM_AtftpToAtftpd)->Args({20, 0})->Apply(AtftpArgs);
BENCHMARK(BM_EngineToAtftpd)->Arg(50)->Apply(AtftpdArgs);
BENCHMARK(BM_AtftpToAtftpd)->Args({50, 1})->Apply(AtftpArgs);
BENCHMARK(BM_AtftpToAtftpd)->Args({50, 0})->Apply(AtftpArgs);

// Keeps the median times so that the comparisons the figures are wanted for
// need no arithmetic by hand.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median" &&
                !r.error_occurred)
                medianMs[r.run_name.function_name + "/" + r.run_name.args] =
                    r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double Get(const std::string& key) const {
        const auto it = medianMs.find(key);
        return it == medianMs.end() ? 0 : it->second;
    }
    std::map<std::string, double> medianMs;
};

void Ratio(const char* what, double a, double b, const char* wanted) {
    if (a > 0 && b > 0) std::printf("%-52s %6.2f  (%s)\n", what, a / b, wanted);
}

// MiB per second of a transfer of mib MiB that took ms.
double Rate(double mib, double ms) {
    return ms > 0 ? mib * 1000.0 / ms : 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const MedianReporter& m = reporter;
    auto sim = [&m](int cap, int mib, int delay) {
        return m.Get("BM_EngineToSimDevice/cap:" + std::to_string(cap) + "/MiB:" +
                     std::to_string(mib) + "/delay_ms:" + std::to_string(delay));
    };
    auto faults = [&m](int fault, int delay) {
        return m.Get("BM_FaultsToSimDevice/fault:" + std::to_string(fault) +
                     "/delay_ms:" + std::to_string(delay));
    };
    std::printf("\nratios of medians (rates where the sizes differ)\n");
    for (int mib : {20, 50}) {
        const std::string sz = "MiB:" + std::to_string(mib);
        std::printf("%d MiB on loopback\n", mib);
        Ratio("  engine -> atftpd / atftp windowsize 50 -> atftpd", m.Get("BM_EngineToAtftpd/" + sz),
              m.Get("BM_AtftpToAtftpd/" + sz + "/windowsize:1"), "time; atftpd acks once a window");
        Ratio("  engine -> atftpd / atftp no windowsize -> atftpd", m.Get("BM_EngineToAtftpd/" + sz),
              m.Get("BM_AtftpToAtftpd/" + sz + "/windowsize:0"), "time; both acked every block");
        Ratio("  sim device: cap 50 / cap 1", Rate(mib, sim(50, mib, 0)), Rate(mib, sim(1, mib, 0)),
              "rate");
    }
    std::printf("the device 1 and 5 ms away\n");
    Ratio("  1 ms: cap 50 / cap 1", Rate(20, sim(50, 20, 1)), Rate(20, sim(1, 20, 1)), "rate");
    Ratio("  5 ms: cap 50 / cap 1", Rate(20, sim(50, 20, 5)), Rate(4, sim(1, 4, 5)),
          "rate; wanted at least 30");
    // 50 blocks of 1428 bytes per 5 ms round trip.
    const double bound = 50.0 * 1428 / 0.005 / double(kMiB);
    if (sim(50, 20, 5) > 0)
        std::printf("%-52s %6.2f  (%.2f of %.2f MiB/s; wanted at least 0.8)\n",
                    "  5 ms: cap 50 / the window's bound", Rate(20, sim(50, 20, 5)) / bound,
                    Rate(20, sim(50, 20, 5)), bound);
    for (int delay : {0, 1, 5}) {
        const double clean = faults(kNone, delay);
        std::printf("20 MiB, cap 50, %d ms away, against the lossless time\n", delay);
        Ratio("  1 % loss of DATA and of ACKs", faults(kLoss1, delay), clean, "wanted at most 3");
        Ratio("  5 % loss of DATA and of ACKs", faults(kLoss5, delay), clean, "wanted at most 10");
    }
    Ratio("  50 ms pause after every MiB (loopback)", faults(kPauses, 0), faults(kNone, 0),
          "20 pauses of 50 ms add 1 s; see 'again' for retransmissions");
    return 0;
}
