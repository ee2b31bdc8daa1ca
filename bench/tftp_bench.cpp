// Writing 50 MB to the simulated device over loopback with window caps 1 and 50,
// and, for comparison, the atftp client writing the same file to atftpd.

#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "devlink/Tftp.h"
#include "platform/RunLoop.h"
#include "platform/Services.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kSize = 50u * 1000 * 1000;

// A helper program started for one benchmark (the reference TFTP tools).
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
            std::vector<char*> v;
            for (auto& s : argv) v.push_back(const_cast<char*>(s.c_str()));
            v.push_back(nullptr);
            execv(v[0], v.data());
            _exit(127);
        }
        return pid > 0;
    }
};

class VecSource : public CStrm {
public:
    explicit VecSource(const std::vector<u8>* d) : CStrm(0), fData(d) {}
    void SetPosition(u64 p) override { fPosition = p; }
    void SetSize() override {}
    void Write(const void*, u64) override { SetError(kErrReadOnly); }
    void Read(void* buf, u64* len) override {
        const u64 left = fPosition < fData->size() ? fData->size() - fPosition : 0;
        if (*len > left) *len = left;
        std::memcpy(buf, fData->data() + fPosition, size_t(*len));
        fPosition += *len;
    }

private:
    const std::vector<u8>* fData;
};

const std::vector<u8>& Payload() {
    static std::vector<u8> data = [] {
        std::vector<u8> v(kSize);
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
    bool done = false;
    u32 result = 99;
    static void Cb(void* ctx, u32 event, void* obj) {
        auto* s = static_cast<State*>(ctx);
        if (event == kTftpEventPeerNew) {
            auto* p = static_cast<CTftpPeer*>(obj);
            p->Window().SetMax(s->cap);
            p->Accept(new VecSource(&Payload()));
        } else if (event == kTftpEventPeerDone) {
            s->result = static_cast<CTftpPeer*>(obj)->Result();
        } else {
            s->done = true;
        }
    }
};

void BM_WriteToSimulatedDevice(benchmark::State& st) {
    EnsureApp();
    Payload();  // made before timing: whichever run came first would carry it
    const std::string root = fs::temp_directory_path() / ("kvbench-" + std::to_string(getpid()));
    testtftp::SimDeviceProcess sim;
    if (!sim.Ok()) return st.SkipWithError("kvsimdev did not start");
    const std::string a = sim.Cmd("add-device serno=9 addr=127.0.0.2/8 port=0 root=" + root);
    const size_t at = a.find("port=");
    if (at == std::string::npos) return st.SkipWithError(a.c_str());
    const u16 port = u16(std::stoi(a.substr(at + 5)));
    sim.Cmd("set serno=9 idle=5000");
    sim.Cmd("packet-log off");
    CTftpManager mgr(MainRunLoopWakeSource(), 0);
    State s;
    s.cap = u32(st.range(0));
    for (auto _ : st) {
        s.done = false;
        CTftpSession* session =
            mgr.StartTransfer(LNetAddr::IPv4(0x7F000002, port), true, "/sdc/bench.bin", &s,
                              State::Cb, if_nametoindex("lo"));
        session->Start();
        while (!s.done) RunLoopRunOnce(10);
        mgr.Release(session);
        if (s.result != 0) st.SkipWithError("transfer failed");
    }
    st.SetBytesProcessed(i64(st.iterations()) * i64(kSize));
    fs::remove_all(root);
}
// One transfer per repetition; the medians of five go into the summary.
BENCHMARK(BM_WriteToSimulatedDevice)
    ->Arg(1)
    ->Arg(50)
    ->Iterations(1)
    ->Repetitions(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_AtftpToAtftpd(benchmark::State& st) {
    if (access("/usr/bin/atftp", X_OK) || access("/usr/sbin/atftpd", X_OK))
        return st.SkipWithError("no atftp/atftpd");
    const std::string root =
        fs::temp_directory_path() / ("kvbench-atftpd-" + std::to_string(getpid()));
    fs::create_directories(root);
    const std::string local = root + "-src.bin";
    {
        std::ofstream f(local, std::ios::binary);
        f.write(reinterpret_cast<const char*>(Payload().data()), std::streamsize(kSize));
    }
    const std::string port = "16907";
    Child server;
    server.Start({"/usr/sbin/atftpd", "--daemon", "--no-fork", "--port", port, "--bind-address",
                  "127.0.0.1", "--user", "root.root", "--prevent-sas", "--logfile", "/dev/null",
                  root});
    usleep(300 * 1000);
    for (auto _ : st) {
        Child client;
        client.Start({"/usr/bin/atftp", "--option", "blksize 1428", "--option", "windowsize 50",
                      "-p", "-l", local, "-r", "bench.bin", "127.0.0.1", port});
        int status = 0;
        waitpid(client.pid, &status, 0);
        client.pid = -1;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) st.SkipWithError("atftp failed");
    }
    st.SetBytesProcessed(i64(st.iterations()) * i64(kSize));
    fs::remove_all(root);
    fs::remove(local);
}
BENCHMARK(BM_AtftpToAtftpd)
    ->Iterations(1)
    ->Repetitions(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

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
    std::map<std::string, double> medianMs;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto& m = reporter.medianMs;
    const auto cap1 = m.find("BM_WriteToSimulatedDevice/1");
    const auto cap50 = m.find("BM_WriteToSimulatedDevice/50");
    const auto atftp = m.find("BM_AtftpToAtftpd/");
    if (cap1 != m.end() && cap50 != m.end() && cap50->second > 0)
        std::printf("median cap 1 / cap 50: %.2f (wanted at least 5)\n",
                    cap1->second / cap50->second);
    if (cap50 != m.end() && atftp != m.end() && atftp->second > 0)
        std::printf("median cap 50 / atftp windowsize 50: %.2f (wanted at most 1.5)\n",
                    cap50->second / atftp->second);
    return 0;
}
