// The Art-Net monitor under load: 512 universes at 44 Hz (22,528 ArtDmx
// datagrams of 530 bytes a second) from a loopback sender through the port
// sharing into the monitor on this process's run loop. Reports what was lost,
// the change messages a second (what a monitor window redraws at most), and the
// CPU of the process without the sender per second of wall time; beside it,
// portshare_bench gives the sharing alone. And PublishUniverses of 512
// universes of two senders each, with levels changed and unchanged.

#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "devices/monitors/CKvsNetMon.h"
#include "framework/LTimer.h"
#include "services/GraphicsServices.h"
#include "services/RunLoop.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "tools/testkit/ArtDmxSender.h"
#include "tools/testkit/LoopbackUdp.h"

namespace {

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Counter : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(CKvsNetMon_Change)) return LMessage();
        ++changes;
        // As a universe frame does: the content goes into a status record, whose
        // changed levels feed a monitor window.
        if (mon && status) mon->PublishUniverses(status->Root(), 0, 0);
        return LMessage();
    }
    static void OnNote(void* self, CRecordNote* note) {
        const CRecord* r = note->record;
        if (note->kind == CRecordNote::kChanged && note->field == UnvsF::stat && r &&
            r->Kind() == kKindUnvs && r->GetU32(UnvsF::univ) == 0)
            ++static_cast<Counter*>(self)->feeds;
    }
    u64 changes = 0;
    u64 feeds = 0;  // changes of universe 0's levels: what its monitor window redraws
    CKvsNetMon* mon = nullptr;
    CRecordDoc* status = nullptr;
};

void BM_NetMonArtNet(benchmark::State& state) {
    const u32 universes = u32(state.range(0));
    const u32 hz = 44, seconds = 10;
    RunLoopMakeMain();
    for (auto _ : state) {
        const u16 port = portsharetest::FreeUdpPort();
        const std::string name = "kvbench-netmon-" + std::to_string(getpid());
        RegisterAllRecordKinds();
        Counter sink;
        CKvsNetMon mon(&sink, port, name.c_str());
        CRecordDoc status(NewDevStatRecord());
        status.AddListener(&sink, Counter::OnNote);
        sink.mon = &mon;
        sink.status = &status;
        mon.SetEnabled(true);
        if (!mon.Client().IsConnected()) {
            state.SkipWithError("cannot open the shared port");
            return;
        }
        std::atomic<bool> done{false};
        std::atomic<u64> sent{0};
        double senderCpu = 0;
        const auto start = std::chrono::steady_clock::now();
        const double cpu0 = CpuSeconds();
        std::thread tx([&] {
            const double own0 = CpuSeconds(RUSAGE_THREAD);
            artdmxtest::ArtDmxSender out(0x7F000002);
            std::vector<u8> levels(512);
            for (u32 frame = 0; frame < hz * seconds; ++frame) {
                std::this_thread::sleep_until(start +
                                              std::chrono::microseconds(u64(frame) * 1000000 / hz));
                for (u32 i = 0; i < 512; ++i) levels[i] = u8(frame + i);
                for (u32 u = 0; u < universes; ++u)
                    if (out.Send(port, u16(u), levels.data(), 512, u8(frame))) ++sent;
            }
            senderCpu = CpuSeconds(RUSAGE_THREAD) - own0;
            done = true;
        });
        const u32 t0 = GraphicsServices().NowMs();
        while (!done || mon.AcceptedCount() < sent.load()) {
            RunLoopRunOnce(5);
            LTimer::FireDue(GraphicsServices().NowMs(), nullptr, nullptr, true);
            if (done &&
                std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds + 2))
                break;
        }
        tx.join();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuSeconds() - cpu0 - senderCpu;
        const u32 ms = GraphicsServices().NowMs() - t0;
        state.counters["datagrams"] = double(sent.load());
        state.counters["lost"] = double(sent.load() - mon.AcceptedCount());
        state.counters["cut_passes"] = double(mon.CutPasses());
        state.counters["changes_per_s"] = double(sink.changes) * 1000.0 / double(ms ? ms : 1);
        state.counters["window_feeds_per_s"] = double(sink.feeds) * 1000.0 / double(ms ? ms : 1);
        state.counters["cores_without_sender"] = cpu / wall;
        mon.SetEnabled(false);
        status.RemoveListener(&sink, Counter::OnNote);
    }
}

BENCHMARK(BM_NetMonArtNet)->Arg(512)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PublishUniverses(benchmark::State& state) {
    RegisterAllRecordKinds();
    const bool changing = state.range(0) != 0;
    Counter sink;
    CKvsNetMon mon(&sink, 1, "kvbench-netmon-unused");
    std::vector<u8> levels(512, 9);
    auto feed = [&](u8 first) {
        levels[0] = first;
        for (u32 u = 0; u < 512; ++u)
            for (u32 sender : {0x7F000002u, 0x7F000003u}) {
                const std::vector<u8> d = artdmxtest::Datagram(u16(u), levels.data(), 512);
                mon.Accept(d.data(), u32(d.size()), sender, 1);
            }
    };
    feed(0);
    CRecordDoc status(NewDevStatRecord());
    mon.PublishUniverses(status.Root(), 0, 0);
    u8 n = 0;
    for (auto _ : state) {
        if (changing) {
            state.PauseTiming();
            feed(++n);
            state.ResumeTiming();
        }
        mon.PublishUniverses(status.Root(), 0, 0);
    }
    state.counters["universes"] = double(status.Root()->GetListCount(DrcStatF::unvs));
}

BENCHMARK(BM_PublishUniverses)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
