// Port sharing under Art-Net load: 512 universes at 44 Hz (22,528 datagrams of
// 530 bytes a second, sent as one burst per frame period) forwarded to two local
// clients. Reports the forwarded rate, the loss per client and the CPU time of
// the whole process (sender, server worker, reactor and both readers) per
// second of wall time, and the share of the server (its worker and the reactor).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "devlink/LocalSocket.h"
#include "devlink/UdpMux.h"
#include "platform/Services.h"
#include "tools/testkit/LoopbackUdp.h"

using portsharetest::FreeUdpPort;

namespace {

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Reader {
    LEventFlag wake{0};
    CFrameChannel channel{this, OnReady};
    std::atomic<u64> frames{0};
    std::atomic<bool> stop{false};
    double cpu = 0;  // of this reader's thread, when it ends

    static void OnReady(void* self, u32) { static_cast<Reader*>(self)->wake.Set(); }
    void Run() {
        Loop();
        cpu = CpuSeconds(RUSAGE_THREAD);
    }
    void Loop() {
        while (!stop.load(std::memory_order_relaxed)) {
            LNetAddr from;
            const u8* p;
            const i32 n = channel.ReadFrame(&from, &p);
            if (n < 0) return;
            if (n == 0) {
                wake.Wait();
                continue;
            }
            channel.Consume();
            frames.fetch_add(1, std::memory_order_relaxed);
        }
    }
};

void BM_PortShareArtNet(benchmark::State& state) {
    const u32 universes = u32(state.range(0));
    const u32 hz = 44;
    const u32 seconds = 3;
    const u16 port = FreeUdpPort();
    const std::string name = "kvbench-mux-" + std::to_string(getpid());
    for (auto _ : state) {
        CUdpMuxServer server(2048);
        if (server.Start(port, name.c_str()) != 0) {
            state.SkipWithError("cannot start the server");
            return;
        }
        Reader r1, r2;
        if (r1.channel.Stream().Connect(name.c_str()) != 0 ||
            r2.channel.Stream().Connect(name.c_str()) != 0) {
            state.SkipWithError("cannot connect");
            return;
        }
        while (server.ClientCount() < 2) SleepMs(1);
        std::thread t1([&] { r1.Run(); }), t2([&] { r2.Run(); });

        const int tx = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::vector<u8> packet(530, 0);
        std::memcpy(packet.data(), "Art-Net", 8);

        const double cpu0 = CpuSeconds();
        const double sender0 = CpuSeconds(RUSAGE_THREAD);
        const auto start = std::chrono::steady_clock::now();
        u64 sent = 0;
        for (u32 frame = 0; frame < hz * seconds; ++frame) {
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(u64(frame) * 1000000 / hz));
            for (u32 u = 0; u < universes; ++u) {
                packet[14] = u8(u);
                packet[15] = u8(u >> 8);
                if (sendto(tx, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                           sizeof to) > 0)
                    ++sent;
            }
        }
        // Let the last burst drain.
        for (int i = 0; i < 200 && (r1.frames.load() < sent || r2.frames.load() < sent); ++i)
            SleepMs(5);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuSeconds() - cpu0;
        const double senderCpu = CpuSeconds(RUSAGE_THREAD) - sender0;

        r1.stop = r2.stop = true;
        r1.wake.Set();
        r2.wake.Set();
        t1.join();
        t2.join();
        close(tx);
        server.Stop();

        state.counters["datagrams"] = double(sent);
        state.counters["datagrams_per_s"] = double(sent) / (double(seconds));
        state.counters["lost_client1"] = double(sent - r1.frames.load());
        state.counters["lost_client2"] = double(sent - r2.frames.load());
        state.counters["cpu_cores"] = cpu / wall;
        // What is left: the server's worker and the socket reactor.
        state.counters["server_cores"] = (cpu - senderCpu - r1.cpu - r2.cpu) / wall;
    }
}

BENCHMARK(BM_PortShareArtNet)
    ->Arg(512)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
