// The program under Art-Net load as a user watches it: 512 universes at 44 Hz
// (22,528 ArtDmx datagrams of 530 bytes a second, every level changing each
// frame) from a loopback sender through the port sharing into the monitor, and
// on into the record control's universe list and, in the second run, the DMX
// monitor window of universe 0, all shown in Qt windows (offscreen). Reports,
// side by side, the whole program's CPU per second of wall time (without the
// sender), the part that is the main thread and the part that is the other
// threads (the sharing server's worker, its reactor, Qt's own), the datagrams
// lost or late, the longest publishing of one change (the main thread away
// from the port meanwhile), and the updates a second the monitor window took.

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <QApplication>
// The DMX frames have slots of their own: not Qt's keyword.
#undef slots
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/QtBenchStage.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devices/monitors/CKvsUnivList.h"
#include "devices/monitors/CMonWin.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/LFrame.h"
#include "framework/LTimer.h"
#include "services/GraphicsServices.h"
#include "services/RunLoop.h"
#include "services/WindowKinds.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtControls.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "tools/testkit/ArtDmxSender.h"
#include "tools/testkit/LoopbackUdp.h"

namespace {

// The shared stage, with the monitors' own preferences beside the program's.
benchkit::Stage& TheStage() {
    benchkit::Stage& s = benchkit::TheStage();
    CKvsMonPrefRec::Create();
    return s;
}

// CPU seconds of each thread of this process, by thread id.
std::map<long, double> ThreadCpu() {
    std::map<long, double> out;
    const double tick = double(sysconf(_SC_CLK_TCK));
    DIR* d = opendir("/proc/self/task");
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string path = std::string("/proc/self/task/") + e->d_name + "/stat";
        FILE* f = std::fopen(path.c_str(), "r");
        if (!f) continue;
        char buf[1024];
        const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        buf[n] = 0;
        // Fields after the command name in parentheses: utime is the 14th, stime the 15th.
        const char* p = std::strrchr(buf, ')');
        if (!p) continue;
        unsigned long utime = 0, stime = 0;
        if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                        &stime) == 2)
            out[std::atol(e->d_name)] = double(utime + stime) / tick;
    }
    closedir(d);
    return out;
}

// Datagrams the kernel dropped at the shared port's socket (its buffer was
// full: the sharing server did not read in time).
double KernelDrops(u16 port) {
    FILE* f = std::fopen("/proc/net/udp", "r");
    if (!f) return -1;
    char line[512];
    double drops = 0;
    while (std::fgets(line, sizeof line, f)) {
        unsigned local = 0;
        if (std::sscanf(line, " %*u: %*8x:%4x", &local) != 1 || local != port) continue;
        // The last column is the drop count.
        double n = 0;
        char* end = line + std::strlen(line);
        while (end > line && (end[-1] == '\n' || end[-1] == ' ')) *--end = 0;
        const char* col = std::strrchr(line, ' ');
        if (col) n = std::atof(col + 1);
        drops += n;
    }
    std::fclose(f);
    return drops;
}

// The device document's part: every change of the monitor goes to the controllers.
struct DocSink : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(CKvsNetMon_Change)) return LHandler::HandleMessage(msg);
        ++changes;
        const auto t0 = std::chrono::steady_clock::now();
        if (view) view->NetMonChanged();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        longest = std::max(longest, ms);
        return LMessage();
    }
    CKvsFileListCtl* view = nullptr;
    u64 changes = 0;
    double longest = 0;  // ms, the longest publishing of a change
};

void BM_ArtNet512UniversesWatched(benchmark::State& state) {
    const bool monitorShown = state.range(0) != 0;
    const u32 universes = 512, hz = 44, seconds = 10;
    TheStage();
    RunLoopMakeMain();
    TheStage().prefs->Root()->SetU8(nullptr, PrefF::usnm, 1);
    for (auto _ : state) {
        const u16 port = portsharetest::FreeUdpPort();
        const std::string name = "kvbench-qtnetmon-" + std::to_string(getpid());
        DocSink sink;
        CKvsNetMon mon(&sink, port, name.c_str());
        CKvsDevSet set;
        CKvsDevCtl ctl(gApp, &set, 0);
        ctl.SetNetMon(&mon);
        LFrame win(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
        // The record control of a control window, as the controller's screen
        // holds it; the document's change goes to it.
        CKvsFileListCtl view(gApp, win, &ctl);
        sink.view = &view;
        win.SetWindowBounds(LRect(20, 40, 720, 540));
        view.Frame()->SetBounds(LRect(0, 0, 700, 500));
        win.ShowWindow();
        CKvsUnvList* list = view.Frame()->fUniverses;
        if (monitorShown) {
            list->OpenMonitor();
            list->Monitor()->SetWindowBounds(LRect(740, 40, 1340, 440));
            // A channel clicked: the strip of channel cells is open too.
            list->Monitor()->SelectChannel(100);
        }
        const long mainTid = long(syscall(SYS_gettid));
        mon.SetEnabled(true);
        if (!mon.Client().IsConnected()) {
            state.SkipWithError("cannot open the shared port");
            return;
        }
        // The server's worker is the thread that is neither this one nor the sender.
        std::atomic<long> senderTid{0};
        std::atomic<bool> done{false};
        std::atomic<u64> sent{0};
        for (int i = 0; i < 20; ++i) RunLoopRunOnce(5);
        const std::map<long, double> cpu0 = ThreadCpu();
        const u64 fed0 = monitorShown ? list->Monitor()->Stats().fPackets : 0;
        u64 monitorUpdates = 0;
        const auto start = std::chrono::steady_clock::now();
        std::thread tx([&] {
            senderTid = long(syscall(SYS_gettid));
            artdmxtest::ArtDmxSender out(0x7F000002);
            std::vector<u8> levels(512);
            for (u32 frame = 0; frame < hz * seconds; ++frame) {
                std::this_thread::sleep_until(start +
                                              std::chrono::microseconds(u64(frame) * 1000000 / hz));
                for (u32 i = 0; i < 512; ++i) levels[i] = u8(frame + i);
                for (u32 u = 0; u < universes; ++u)
                    if (out.Send(port, u16(u), levels.data(), 512, u8(frame))) ++sent;
            }
            done = true;
        });
        u32 lastPackets = 0;
        double longestTurn = 0;
        while (!done || mon.AcceptedCount() < sent.load()) {
            const auto t0 = std::chrono::steady_clock::now();
            RunLoopRunOnce(5);
            longestTurn = std::max(longestTurn, std::chrono::duration<double, std::milli>(
                                                    std::chrono::steady_clock::now() - t0)
                                                    .count());
            LTimer::FireDue(GraphicsServices().NowMs(), nullptr, nullptr, true);
            if (monitorShown) {
                // The rate line's report resets the count: add up what came between.
                const u32 p = list->Monitor()->Stats().fPackets;
                if (p < lastPackets) monitorUpdates += lastPackets;
                lastPackets = p;
            }
            if (done &&
                std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds + 2))
                break;
        }
        const std::map<long, double> cpu1 = ThreadCpu();
        tx.join();
        const u64 arrivedInTime = mon.AcceptedCount();
        // What still waits in the sharing's queues once the stream stopped is
        // late, not lost: one more datagram now and then moves it on.
        u64 nudges = 0;
        {
            artdmxtest::ArtDmxSender nudge(0x7F000003);
            std::vector<u8> none(512);
            for (u32 i = 0; i < 20 && mon.AcceptedCount() < sent.load() + nudges; ++i) {
                if (nudge.Send(port, 0x7FF0, none.data(), 512, 0)) ++nudges;
                const auto until =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
                while (std::chrono::steady_clock::now() < until) RunLoopRunOnce(5);
            }
        }
        state.counters["late"] = double(sent.load() - std::min<u64>(arrivedInTime, sent.load()));
        monitorUpdates += lastPackets;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double whole = 0, server = 0, mainThread = 0;
        for (const auto& [tid, t] : cpu1) {
            if (tid == senderTid.load()) continue;
            const auto before = cpu0.find(tid);
            const double used = t - (before == cpu0.end() ? 0 : before->second);
            whole += used;
            if (tid == mainTid) mainThread += used;
        }
        server = whole - mainThread;
        state.counters["datagrams"] = double(sent.load());
        state.counters["lost"] = double(sent.load() + nudges - mon.AcceptedCount());
        state.counters["cores_whole"] = whole / wall;
        state.counters["cores_main"] = mainThread / wall;
        state.counters["cores_other_threads"] = server / wall;
        state.counters["changes_per_s"] = double(sink.changes) / wall;
        state.counters["longest_change_ms"] = sink.longest;
        state.counters["longest_turn_ms"] = longestTurn;
        state.counters["monitor_updates_per_s"] =
            monitorShown ? double(monitorUpdates - fed0) / wall : 0;
        state.counters["universes_listed"] = double(list->Rows());
        state.counters["lost_at_socket"] = KernelDrops(port);
        mon.SetEnabled(false);
        sink.view = nullptr;
        ctl.SetNetMon(nullptr);
        win.HideWindow();
    }
    TheStage().prefs->Root()->SetU8(nullptr, PrefF::usnm, 0);
}

BENCHMARK(BM_ArtNet512UniversesWatched)
    ->ArgName("monitor")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
