// Feeds arbitrary datagrams, as any host on the link could send them, to a read, a
// write and a broadcast session in turn, with the timers on a virtual clock and no
// byte put on the wire. Checks that a completed read holds exactly the blocks taken
// in order, that a completed write sent exactly the data, that nothing leaves for a
// host off loopback, and that every session ends once and consistently.
//
// Input: a config byte (bit 0 read wrapped, bit 1 write wrapped, bit 2 broadcast
// wrapped, bit 3 refuse the data stream, bit 4 a reading stream that fills up), a
// byte for the size of the data written (x 17), then records of a selector byte
// (bits 0-1 the sender, bits 2-3 the clock: still, +10 ms, to the next timer,
// +25 s; bit 4 ends the batch of the receive pass), a 16-bit length and the bytes.
// A record of length 0 is an empty datagram: a pass reads past it, and only a long
// run of them may end a pass early (the socket then asks to be read again at once),
// so the passes that follow until the queue stops shrinking leave nothing behind.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "base/Clock.h"
#include "devlink/Tftp.h"

namespace {

// The least run loop the engine needs: timers and sources on a clock that moves
// only when told. The socket reactor may signal a source from its own thread.
class CFuzzLoop final : public LRunLoopServices, public LTickSource {
public:
    struct Item {
        void* context;
        LRunLoopFn callback;
        bool armed = false;
        u32 due = 0;
        u64 seq = 0;
    };

    u32 NowMs() override {
        std::lock_guard<std::mutex> lock(fMutex);
        return fNow;
    }
    void Arm(Item* i, u32 ms) {
        std::lock_guard<std::mutex> lock(fMutex);
        i->armed = true;
        i->due = fNow + ms;
        i->seq = ++fSeq;
    }
    void Disarm(Item* i) {
        std::lock_guard<std::mutex> lock(fMutex);
        i->armed = false;
    }
    void Add(Item* i) {
        std::lock_guard<std::mutex> lock(fMutex);
        fItems.push_back(i);
    }
    void Remove(Item* i) {
        std::lock_guard<std::mutex> lock(fMutex);
        for (auto& p : fItems)
            if (p == i) p = fItems.back();
        fItems.pop_back();
    }
    // The earliest armed item, due or not; null when none is armed.
    Item* EarliestLocked() {
        Item* best = nullptr;
        for (Item* i : fItems)
            if (i->armed && (!best || i32(i->due - best->due) < 0 ||
                             (i->due == best->due && i->seq < best->seq)))
                best = i;
        return best;
    }
    void RunDue() {
        for (int ran = 0; ran < 100000; ++ran) {
            std::unique_lock<std::mutex> lock(fMutex);
            Item* i = EarliestLocked();
            if (!i || i32(i->due - fNow) > 0) return;
            i->armed = false;
            lock.unlock();
            i->callback(i->context);
        }
        __builtin_trap();  // a timer that keeps restarting itself at once
    }
    void Advance(u32 ms) {
        u32 target;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            target = fNow + ms;
        }
        for (;;) {
            RunDue();
            std::lock_guard<std::mutex> lock(fMutex);
            Item* i = EarliestLocked();
            if (!i || i32(i->due - target) > 0) {
                fNow = target;
                break;
            }
            if (i32(i->due - fNow) > 0) fNow = i->due;
        }
        RunDue();
    }
    bool AdvanceToNext() {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            Item* i = EarliestLocked();
            if (!i) return false;
            if (i32(i->due - fNow) > 0) fNow = i->due;
        }
        RunDue();
        return true;
    }

    LRunLoopHolder* MainWakeSource() override { return nullptr; }
    LRunLoopTimer::Impl* NewTimer(LRunLoopHolder*, void* context, LRunLoopFn callback) override;
    CRunLoopSrc* NewSource(void* context, LRunLoopFn callback) override;
    void RunOnce(u32) override { RunDue(); }
    void MakeMain() override {}

private:
    std::mutex fMutex;
    std::vector<Item*> fItems;
    u32 fNow = 0xFFFF0000u;  // time-outs are measured across the wrap too
    u64 fSeq = 0;
};

class CFuzzTimer final : public LRunLoopTimer::Impl {
public:
    CFuzzTimer(CFuzzLoop* loop, void* context, LRunLoopFn callback)
        : fLoop(loop), fItem{context, callback} {
        loop->Add(&fItem);
    }
    ~CFuzzTimer() override { fLoop->Remove(&fItem); }
    void StartMs(u32 ms) override { fLoop->Arm(&fItem, ms); }
    void Disarm() override { fLoop->Disarm(&fItem); }

private:
    CFuzzLoop* fLoop;
    CFuzzLoop::Item fItem;
};

class CFuzzSource final : public CRunLoopSrc {
public:
    CFuzzSource(CFuzzLoop* loop, void* context, LRunLoopFn callback)
        : fLoop(loop), fItem{context, callback} {
        loop->Add(&fItem);
    }
    ~CFuzzSource() override { fLoop->Remove(&fItem); }
    void Signal() override { fLoop->Arm(&fItem, 0); }

private:
    CFuzzLoop* fLoop;
    CFuzzLoop::Item fItem;
};

LRunLoopTimer::Impl* CFuzzLoop::NewTimer(LRunLoopHolder*, void* context, LRunLoopFn callback) {
    return new CFuzzTimer(this, context, callback);
}
CRunLoopSrc* CFuzzLoop::NewSource(void* context, LRunLoopFn callback) {
    return new CFuzzSource(this, context, callback);
}

constexpr u32 kLoopbackSelf = 0x7F000001u;
constexpr u32 kDevice = 0x7F000002u;
constexpr u32 kBroadcastLoopback = 0x7FFFFFFFu;
constexpr u16 kPort = 61007;

bool IsLoopback(u32 a) {
    return (a >> 24) == 127;
}

struct Datagram {
    LNetAddr from;
    std::vector<u8> bytes;
};

// What the sockets would have carried: the test's datagrams in, the engine's out.
struct Wire {
    std::deque<Datagram> pending;
    std::vector<Datagram> delivered;
    std::vector<Datagram> sent;  // from: the destination
    bool wrapped = false;        // the current session may send through the wrapper
};
Wire gWire;

// Binds for real, but to loopback only, so that the port is the system's to hand
// out; sends nothing; receives only what the input holds.
class CFuzzCalls final : public LUdpSysCalls {
public:
    int Bind(int fd, const void* address, u32 length) override {
        sockaddr_storage ss{};
        std::memcpy(&ss, address, length < sizeof ss ? length : sizeof ss);
        if (ss.ss_family == AF_INET)
            reinterpret_cast<sockaddr_in*>(&ss)->sin_addr.s_addr = htonl(kLoopbackSelf);
        else
            reinterpret_cast<sockaddr_in6*>(&ss)->sin6_addr = in6addr_loopback;
        return LUdpSysCalls::Bind(fd, &ss, length);
    }
    long SendTo(int, const void* data, u32 length, const void* to, u32) override {
        sockaddr_in sa;
        std::memcpy(&sa, to, sizeof sa);
        if (sa.sin_family != AF_INET) __builtin_trap();
        const u32 dst = ntohl(sa.sin_addr.s_addr);
        Datagram d;
        d.from = LNetAddr::IPv4(dst, ntohs(sa.sin_port));
        const u8* p = static_cast<const u8*>(data);
        d.bytes.assign(p, p + length);
        if (dst == 0xFFFFFFFFu) {
            // Only the wrapper goes to the broadcast address, and it names a loopback host.
            if (!gWire.wrapped || length < 8 || std::memcmp(p, "YTFW", 4) != 0) __builtin_trap();
            const u32 target = u32(p[4]) << 24 | u32(p[5]) << 16 | u32(p[6]) << 8 | p[7];
            if (!IsLoopback(target)) __builtin_trap();
            d.from = LNetAddr::IPv4(target, ntohs(sa.sin_port));
            d.bytes.erase(d.bytes.begin(), d.bytes.begin() + 8);
        } else if (!IsLoopback(dst)) {
            __builtin_trap();
        }
        gWire.sent.push_back(std::move(d));
        return long(length);
    }
    long RecvFrom(int, void* buffer, u32 size, void* from, u32* fromLength) override {
        if (gWire.pending.empty()) {
            errno = EAGAIN;
            return -1;
        }
        Datagram d = std::move(gWire.pending.front());
        gWire.pending.pop_front();
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(d.from.port);
        sa.sin_addr.s_addr = htonl(d.from.IPv4Address());
        std::memcpy(from, &sa, sizeof sa);
        *fromLength = sizeof sa;
        const u32 n = u32(d.bytes.size()) < size ? u32(d.bytes.size()) : size;
        if (n) std::memcpy(buffer, d.bytes.data(), n);
        d.bytes.resize(n);
        gWire.delivered.push_back(std::move(d));
        return long(n);
    }
    long RecvMsg(int, void*) override {
        errno = EAGAIN;
        return -1;
    }
};

// A stream over a byte vector: the bytes a read keeps, or the data a write sends.
class CVecStrm final : public CStrm {
public:
    CVecStrm(u32 mode, std::vector<u8> bytes, u32 capacity)
        : CStrm(mode), fBytes(std::move(bytes)), fCapacity(capacity) {}
    void SetPosition(u64 position) override {
        if (Error() == kErrNone) fPosition = position;
    }
    void SetSize() override {}
    void Write(const void* bytes, u64 length) override {
        if (Error() != kErrNone || length == 0) return;
        if (fPosition + length > fCapacity) {
            SetError(kErrWrite);
            return;
        }
        if (fBytes.size() < fPosition + length) fBytes.resize(fPosition + length);
        std::memcpy(fBytes.data() + fPosition, bytes, length);
        fPosition += length;
    }
    void Read(void* buffer, u64* length) override {
        u64 n = 0;
        if (Error() == kErrNone && fPosition < fBytes.size()) {
            n = fBytes.size() - fPosition;
            if (n > *length) n = *length;
            std::memcpy(buffer, fBytes.data() + fPosition, n);
            fPosition += n;
        }
        *length = n;
    }
    const std::vector<u8>& Bytes() const { return fBytes; }

private:
    std::vector<u8> fBytes;
    u64 fCapacity;
};

u32 Be16(const u8* p) {
    return u32(p[0]) << 8 | p[1];
}

struct Round {
    bool write = false;
    bool refuse = false;
    u32 readCapacity = 0;
    std::vector<u8> data;  // what a write sends
    u32 sessionDone = 0;
    std::map<CTftpPeer*, u32> peerDone;
};

// The DATA payloads from that sender as a receiver must take them: block 1 on,
// each only when it is the next, up to the first short block.
bool ExpectedRead(const LNetAddr& sender, u32 blockSize, std::vector<u8>* out) {
    u32 next = 1;
    for (const Datagram& d : gWire.delivered) {
        if (d.from != sender) continue;
        const u8* p = d.bytes.data();
        u32 len = u32(d.bytes.size());
        if (len >= 9 && std::memcmp(p, "YTFW", 4) == 0) {
            if ((Be16(p + 4) << 16 | Be16(p + 6)) != kLoopbackSelf) continue;
            p += 8;
            len -= 8;
        }
        if (len < 4 || Be16(p) != 3 || Be16(p + 2) != (next & 0xFFFF)) continue;
        out->insert(out->end(), p + 4, p + len);
        ++next;
        if (len - 4 < blockSize) return true;
    }
    return false;
}

// A completed write sent every block of the data, each last copy holding its bytes.
void CheckWrite(const Round& r, const CTftpPeer* peer) {
    const u32 bs = peer->BlockSize();
    const u32 blocks = u32(r.data.size()) / bs + 1;
    std::map<u32, const Datagram*> last;
    for (const Datagram& d : gWire.sent)
        if (d.from == peer->Address() && d.bytes.size() >= 4 && Be16(d.bytes.data()) == 3)
            last[Be16(d.bytes.data() + 2)] = &d;
    if (last.size() != blocks || last.rbegin()->first != blocks) __builtin_trap();
    for (const auto& [block, d] : last) {
        const size_t at = size_t(block - 1) * bs;
        const size_t n = std::min<size_t>(bs, r.data.size() - at);
        if (d->bytes.size() != 4 + n ||
            (n && std::memcmp(d->bytes.data() + 4, r.data.data() + at, n) != 0))
            __builtin_trap();
    }
}

void OnEvent(void* context, u32 event, void* object) {
    auto* r = static_cast<Round*>(context);
    if (event == kTftpEventSessionDone) {
        ++r->sessionDone;
        return;
    }
    auto* peer = static_cast<CTftpPeer*>(object);
    if (event == kTftpEventPeerNew) {
        if (r->refuse)
            peer->Accept(nullptr);
        else if (r->write)
            peer->Accept(new CVecStrm(0, r->data, 0));
        else
            peer->Accept(new CVecStrm(CStrm::kModeWrite, {}, r->readCapacity));
        return;
    }
    if (++r->peerDone[peer] > 1) __builtin_trap();
    if (peer->State() != CTftpPeer::kFinished) __builtin_trap();
    if (peer->Result() != CTftpPeer::kResultDone) return;
    if (r->refuse) __builtin_trap();
    if (r->write) {
        CheckWrite(*r, peer);
        return;
    }
    std::vector<u8> expected;
    if (!ExpectedRead(peer->Address(), peer->BlockSize(), &expected)) __builtin_trap();
    if (static_cast<CVecStrm*>(peer->Data())->Bytes() != expected) __builtin_trap();
}

CFuzzLoop& Loop() {
    static CFuzzLoop* loop = [] {
        auto* l = new CFuzzLoop;
        InstallTickSource(l);
        InstallRunLoopServices(l);
        static CFuzzCalls calls;
        InstallUdpSysCalls(&calls);
        return l;
    }();
    return *loop;
}

}  // namespace

// Befriended by the session: the receive pass and the addressing an interface would give.
class CTftpSessionProbe {
public:
    static void Address(CTftpSession* s, bool broadcast, bool wrapper) {
        s->fLocal.assign(1, kLoopbackSelf);
        s->fBroadcast = broadcast ? 1 : 0;
        s->fWrapper = wrapper ? 1 : 0;
    }
    // The passes the reactor would run while the socket stays readable.
    static void ReceiveAll(CTftpSession* s) {
        size_t before;
        do {
            before = gWire.pending.size();
            s->ReceivePass();
        } while (!gWire.pending.empty() && gWire.pending.size() < before);
        if (!gWire.pending.empty()) __builtin_trap();
    }
};

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 2 || size > 20000) return 0;
    CFuzzLoop& loop = Loop();
    const u8 config = data[0];
    std::vector<u8> written(size_t(data[1]) * 17);
    for (size_t i = 0; i < written.size(); ++i) written[i] = u8(i * 7 + i / 251);
    // The last sender is off loopback for a unicast session: a host that was not
    // asked, which must never be answered. A broadcast session answers anyone, so
    // there it is one more loopback host.
    static const LNetAddr kSenders[2][4] = {
        {LNetAddr::IPv4(kDevice, kPort), LNetAddr::IPv4(kDevice, 40001),
         LNetAddr::IPv4(0x7F000003u, 40002), LNetAddr::IPv4(0xC0000201u, kPort)},
        {LNetAddr::IPv4(kDevice, kPort), LNetAddr::IPv4(kDevice, 40001),
         LNetAddr::IPv4(0x7F000003u, 40002), LNetAddr::IPv4(0x7F000004u, kPort)}};
    {
        CTftpManager manager(nullptr, 1);
        for (u32 kind = 0; kind < 3; ++kind) {
            Round r;
            r.write = kind == 1;
            r.refuse = (config & 8) != 0;
            r.readCapacity = (config & 16) ? 1000 : 0xFFFFFFFFu;
            r.data = written;
            const bool broadcast = kind == 2;
            gWire = Wire();
            gWire.wrapped = (config >> kind & 1) != 0;
            const LNetAddr dest = LNetAddr::IPv4(broadcast ? kBroadcastLoopback : kDevice, kPort);
            CTftpSession* s = manager.StartTransfer(dest, r.write, "show/f.bin", &r, OnEvent, 0);
            CTftpSessionProbe::Address(s, broadcast, gWire.wrapped);
            s->Start();
            size_t at = 2;
            while (at + 3 <= size) {
                const u8 sel = data[at];
                const size_t len = std::min<size_t>(Be16(data + at + 1) % 1600, size - at - 3);
                at += 3;
                gWire.pending.push_back(
                    {kSenders[broadcast][sel & 3], {data + at, data + at + len}});
                at += len;
                if ((sel & 16) || at + 3 > size) CTftpSessionProbe::ReceiveAll(s);
                switch (sel >> 2 & 3) {
                    case 1:
                        loop.Advance(10);
                        break;
                    case 2:
                        loop.AdvanceToNext();
                        break;
                    case 3:
                        loop.Advance(25000);
                        break;
                    default:
                        loop.RunDue();
                        break;
                }
            }
            CTftpSessionProbe::ReceiveAll(s);
            // Every session ends within its give-up times, however the peers behave.
            for (int step = 0; step < 5000 && s->State() != CTftpSession::kFinished; ++step)
                if (!loop.AdvanceToNext()) break;
            loop.RunDue();
            if (s->State() != CTftpSession::kFinished || r.sessionDone != 1) __builtin_trap();
            if (s->Result() == CTftpSession::kResultNoAnswer && s->PeerCount() != 0)
                __builtin_trap();
            if (s->Result() == CTftpSession::kResultDone) {
                if (s->PeerCount() == 0) __builtin_trap();
                for (u32 i = 0; i < s->PeerCount(); ++i)
                    if (s->PeerAt(i)->State() != CTftpPeer::kReported ||
                        r.peerDone[s->PeerAt(i)] != 1)
                        __builtin_trap();
            }
            manager.Release(s);
        }
    }
    // The closed ports leave their quarantine before the next input.
    loop.Advance(61000);
    return 0;
}
