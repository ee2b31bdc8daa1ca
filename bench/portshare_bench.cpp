// Port sharing under Art-Net load: 512 universes at 44 Hz (22,528 datagrams of
// 530 bytes a second, sent as one burst per frame period) forwarded to three local
// clients (two other programs and the monitor). Reports the forwarded rate, the
// loss per client and the CPU time of the whole process (sender, server worker,
// reactor and the readers) per second of wall time, and the share of the server
// (its worker and the reactor). The server runs side by side with one that reads
// each datagram on its own and writes each frame to each client on its own (as
// the server once did), so that the two figures come from the same run.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devlink/LocalSocket.h"
#include "devlink/SocketReactor.h"
#include "devlink/UdpMux.h"
#include "services/Services.h"
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

// The forwarding as it was: one read per datagram, and one write of its frame to
// each client.
class FramePerWriteServer {
public:
    ~FramePerWriteServer() {
        fStop = true;
        fWake.Set();
        if (fThread.joinable()) fThread.join();
        fClients.clear();
        fListener.Close();
        fUdp.Close();
    }
    u32 Start(u16 port, const char* name) {
        if (fUdp.Open(port, 0, 0, 0) != 0) return 1;
        const int want = 4 << 20;
        if (setsockopt(fUdp.Descriptor(), SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) != 0)
            setsockopt(fUdp.Descriptor(), SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
        if (fListener.Listen(name) != 0) return 1;
        fThread = std::thread([this] {
            while (!fStop) {
                Pass();
                fWake.Wait();
            }
        });
        return 0;
    }
    u32 ClientCount() {
        std::lock_guard<std::mutex> lock(fMutex);
        return u32(fClients.size());
    }

private:
    static void OnReady(void* self, u32) { static_cast<FramePerWriteServer*>(self)->fWake.Set(); }
    void Pass() {
        std::lock_guard<std::mutex> lock(fMutex);
        for (;;) {
            auto c = std::make_unique<CFrameChannel>(this, OnReady);
            if (fListener.Accept(this, OnReady, &c->Stream()) != 0) break;
            fClients.push_back(std::move(c));
        }
        u8 buf[2048];
        for (u32 batch = 0;; ++batch) {
            if (batch == 256) {
                fWake.Set();
                break;
            }
            sockaddr_in sa{};
            socklen_t len = sizeof sa;
            const ssize_t n = recvfrom(fUdp.Descriptor(), buf, sizeof buf, MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&sa), &len);
            if (n < 0) {
                if (errno == EAGAIN) CSocketReactor::Arm(fUdp.Descriptor(), CSocketReactor::kRead);
                break;
            }
            const LNetAddr from = LNetAddr::IPv4(ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port));
            for (auto& c : fClients) c->QueueFrame(from, buf, u32(n));
        }
        for (auto& c : fClients) c->Flush();
    }

    std::mutex fMutex;
    std::atomic<bool> fStop{false};
    LEventFlag fWake{0};
    std::thread fThread;
    CUdpSocket fUdp{this, OnReady};
    CLocalStream fListener{this, OnReady};
    std::vector<std::unique_ptr<CFrameChannel>> fClients;
};

template <class Server>
void RunArtNet(benchmark::State& state) {
    const u32 universes = u32(state.range(0));
    const u32 hz = 44;
    const u32 seconds = 3;
    constexpr u32 kReaders = 3;
    const u16 port = FreeUdpPort();
    const std::string name = "kvbench-mux-" + std::to_string(getpid());
    for (auto _ : state) {
        Server server;
        if (server.Start(port, name.c_str()) != 0) {
            state.SkipWithError("cannot start the server");
            return;
        }
        Reader readers[kReaders];
        for (Reader& r : readers) {
            if (r.channel.Stream().Connect(name.c_str()) != 0) {
                state.SkipWithError("cannot connect");
                return;
            }
        }
        while (server.ClientCount() < kReaders) SleepMs(1);
        std::vector<std::thread> threads;
        for (Reader& r : readers) threads.emplace_back([&r] { r.Run(); });

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
        auto behind = [&] {
            for (Reader& r : readers)
                if (r.frames.load() < sent) return true;
            return false;
        };
        for (int i = 0; i < 200 && behind(); ++i) SleepMs(5);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuSeconds() - cpu0;
        const double senderCpu = CpuSeconds(RUSAGE_THREAD) - sender0;

        for (Reader& r : readers) {
            r.stop = true;
            r.wake.Set();
        }
        for (std::thread& t : threads) t.join();
        close(tx);

        double readersCpu = 0, lost = 0;
        for (Reader& r : readers) {
            readersCpu += r.cpu;
            lost += double(sent - r.frames.load());
        }
        state.counters["datagrams"] = double(sent);
        state.counters["datagrams_per_s"] = double(sent) / (double(seconds));
        state.counters["lost_all_clients"] = lost;
        state.counters["cpu_cores"] = cpu / wall;
        // What is left: the server's worker and the socket reactor.
        state.counters["server_cores"] = (cpu - senderCpu - readersCpu) / wall;
    }
}

struct Batched {
    CUdpMuxServer server{2048};
    u32 Start(u16 port, const char* name) { return server.Start(port, name); }
    u32 ClientCount() { return server.ClientCount(); }
    ~Batched() { server.Stop(); }
};

void BM_PortShareArtNet(benchmark::State& state) {
    RunArtNet<Batched>(state);
}
void BM_PortShareArtNetFramePerWrite(benchmark::State& state) {
    RunArtNet<FramePerWriteServer>(state);
}

// Both in one run: compare only figures of the same run, the machine is shared.
BENCHMARK(BM_PortShareArtNet)
    ->Arg(512)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PortShareArtNetFramePerWrite)
    ->Arg(512)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
