#pragma once
// Shared pieces of the transfer-engine tests: the run loop, streams with
// injectable failures, and a recorder of session callbacks.

#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/CStrm.h"
#include "devlink/Tftp.h"
#include "services/RunLoop.h"
#include "services/Services.h"
#include "tests/devlink/TestTftpClient.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/devlink/WireCalls.h"

namespace enginetest {

inline void EnsureApp() {
    RunLoopMakeMain();
}

// Runs the main run loop until pred holds or timeoutMs of real time passed
// (a virtual clock stands still meanwhile); answers pred().
inline bool RunUntil(const std::function<bool()>& pred, u32 timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        RunLoopRunOnce(5);
    }
    return true;
}

// A stream over a byte vector; fails (error 3 or 4) once failAt bytes have passed.
class VecStrm : public CStrm {
public:
    explicit VecStrm(std::vector<u8>* data, u32 mode = 0, u64 failAt = ~u64(0))
        : CStrm(mode), fData(data), fFailAt(failAt) {}
    void SetPosition(u64 position) override {
        if (!fError) fPosition = position;
    }
    void SetSize() override {
        if (!fError) fData->resize(size_t(fPosition));
    }
    void Write(const void* bytes, u64 length) override {
        if (fError) return;
        if (fMode != kModeWrite) return SetError(kErrReadOnly);
        if (fPosition + length > fFailAt) return SetError(kErrWrite);
        if (fData->size() < fPosition + length) fData->resize(size_t(fPosition + length));
        std::copy_n(static_cast<const u8*>(bytes), size_t(length),
                    fData->begin() + std::ptrdiff_t(fPosition));
        fPosition += length;
    }
    void Read(void* buffer, u64* length) override {
        if (fError) {
            *length = 0;
            return;
        }
        if (fPosition + *length > fFailAt) {
            *length = 0;
            return SetError(kErrRead);
        }
        const u64 left = fPosition < fData->size() ? fData->size() - fPosition : 0;
        if (*length > left) *length = left;
        std::copy_n(fData->begin() + std::ptrdiff_t(fPosition), size_t(*length),
                    static_cast<u8*>(buffer));
        fPosition += *length;
    }

private:
    std::vector<u8>* fData;
    u64 fFailAt;
};

struct Event {
    u32 event;
    void* object;
    u32 tick;
};

// Records callbacks; accepts every new peer with a stream from makeStream
// (null function: no Accept).
struct Recorder {
    std::vector<Event> events;
    std::function<CStrm*(CTftpPeer*)> makeStream;
    std::function<void(CTftpPeer*)> onNewPeer;  // before Accept (raise the window cap here)
    std::vector<u32> peerResults, peerErrors;

    static void Callback(void* ctx, u32 event, void* object) {
        auto* r = static_cast<Recorder*>(ctx);
        r->events.push_back({event, object, LTickMs()});
        if (event == kTftpEventPeerNew) {
            auto* peer = static_cast<CTftpPeer*>(object);
            if (r->onNewPeer) r->onNewPeer(peer);
            if (r->makeStream) peer->Accept(r->makeStream(peer));
        } else if (event == kTftpEventPeerDone) {
            auto* peer = static_cast<CTftpPeer*>(object);
            r->peerResults.push_back(peer->Result());
            r->peerErrors.push_back(peer->ErrorCode());
        }
    }
    u32 Count(u32 event) const {
        u32 n = 0;
        for (const Event& e : events) n += e.event == event;
        return n;
    }
    bool Done() const { return Count(kTftpEventSessionDone) > 0; }
};

// Tests run side by side on loopback, each with simulated devices of its own. A
// device still resending to a port its test has closed reaches whichever session
// of another test the system gave that port next, and the engine tells a unicast
// session's answers from others' only by the host they come from. So the devices
// of each test process live at an address of their own: 127.x.y.z from its pid,
// x below 100, where the request-queue tests' devices (DeviceTestUtil.h) never are.
inline u32 ProcessDeviceIp() {
    const u32 pid = u32(getpid());
    return 0x7F000000u | (1 + (pid >> 14) % 99) << 16 | (1 + ((pid >> 7) & 127)) << 8 |
           (1 + (pid & 127));
}
inline std::string DottedIp(u32 ip) {
    return std::to_string(ip >> 24) + "." + std::to_string(ip >> 16 & 255) + "." +
           std::to_string(ip >> 8 & 255) + "." + std::to_string(ip & 255);
}

inline u32 LoopbackIndex() {
    return if_nametoindex("lo");
}

inline std::vector<u8> Pattern(size_t n, u32 seed) {
    std::vector<u8> v(n);
    u32 x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = u8(x);
    }
    return v;
}

// The engine's socket calls, logged with the tick, and failed on request: an
// errno to fail with and how many calls fail before the system's calls go on.
struct FakeSysCalls : WireCountingCalls {
    struct Fail {
        int err = 0;
        u32 count = 0;
        int op = 0;  // sends only: fail just this opcode (0: any)
        bool Take(int sendOp = 0) {
            if (!err || !count || (op && op != sendOp)) return false;
            --count;
            errno = err;
            return true;
        }
    };
    int Bind(int fd, const void* a, u32 n) override {
        return bind.Take() ? -1 : LUdpSysCalls::Bind(fd, a, n);
    }
    long SendTo(int fd, const void* d, u32 n, const void* to, u32 toLen) override {
        auto* p = static_cast<const u8*>(d);
        const int op = n >= 2 ? p[0] << 8 | p[1] : 0;
        // Tests send only to loopback: anything else is refused and fails the test.
        const auto* sa = static_cast<const sockaddr_in*>(to);
        if (sa->sin_family == AF_INET && (ntohl(sa->sin_addr.s_addr) >> 24) != 127) {
            ADD_FAILURE() << "send outside loopback refused";
            errno = EPERM;
            return -1;
        }
        if (send.Take(op)) return -1;
        sent.push_back({LTickMs(), testtftp::Bytes(p, p + n)});
        return WireCountingCalls::SendTo(fd, d, n, to, toLen);
    }
    long RecvFrom(int fd, void* b, u32 n, void* from, u32* fromLen) override {
        if (recv.Take()) return -1;
        const long got = WireCountingCalls::RecvFrom(fd, b, n, from, fromLen);
        if (got > 0) ++received;
        return got;
    }
    // Ticks of the sends of one opcode (and block, for DATA and ACK; -1: any).
    std::vector<u32> TicksOf(int op, int block = -1) const {
        std::vector<u32> t;
        for (const auto& [tick, b] : sent)
            if (b.size() >= 4 && (b[0] << 8 | b[1]) == op &&
                (block < 0 || (b[2] << 8 | b[3]) == block))
                t.push_back(tick);
        return t;
    }
    Fail bind, send, recv;
    u32 received = 0;  // datagrams taken in
    std::vector<std::pair<u32, testtftp::Bytes>> sent;
};

// A session to a peer the test scripts, on the virtual clock.
class ScriptedPeerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.Ok()); }
    void TearDown() override {
        if (s) mgr->Release(s);
    }
    void Begin(bool write, bool keepTrying = false) {
        t0 = loop.NowMs();
        s = mgr->StartTransfer(LNetAddr::IPv4(kPeerIp, peer.Port()), write, "/sdc/t", &rec,
                               Recorder::Callback, LoopbackIndex());
        s->SetKeepTrying(keepTrying);
        s->Start();
    }
    // The engine's next datagram; the clock stands still while we wait for it.
    std::optional<testtftp::Datagram> Next(u32 realMs = 3000) {
        std::optional<testtftp::Datagram> d;
        loop.RunUntil([&] { return bool(d = peer.Recv(0)); }, realMs);
        return d;
    }
    // Sends to the session and answers its reply (nothing within a short wait).
    std::optional<testtftp::Datagram> Answer(const testtftp::Bytes& b, u32 realMs = 3000) {
        peer.Send(kPeerIp, s->Socket().LocalPort(), b);
        return Next(realMs);
    }
    u32 Elapsed() { return loop.NowMs() - t0; }

    static constexpr u32 kPeerIp = 0x7F000001;
    CVirtualRunLoop loop;  // first: every timer below runs on it
    FakeSysCalls calls;
    testtftp::TestTftpClient peer{kPeerIp};
    std::unique_ptr<CTftpManager> mgr = std::make_unique<CTftpManager>(nullptr, 1);
    CTftpSession* s = nullptr;
    Recorder rec;
    u32 t0 = 0;
};

inline testtftp::Bytes Oack(const testtftp::Options& o) {
    testtftp::Bytes b = {0, 6};
    for (auto& [k, v] : o) {
        b.insert(b.end(), k.begin(), k.end());
        b.push_back(0);
        b.insert(b.end(), v.begin(), v.end());
        b.push_back(0);
    }
    return b;
}

}  // namespace enginetest
