#include "devlink/Tftp.h"

#include <strings.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <unordered_map>

#include "devlink/NetIf.h"
#include "devlink/OpenFiles.h"
#include "services/Services.h"

namespace {

enum : u32 { kOpRead = 1, kOpWrite = 2, kOpData = 3, kOpAck = 4, kOpError = 5, kOpOack = 6 };
enum : u32 { kWrapLen = 8, kMaxBlock = 1428, kMaxBlockWrapped = 1420 };
constexpr u32 kBroadcastAll = 0xFFFFFFFFu;

// Error codes this side sends besides the protocol's 4 and 8.
enum : u32 { kErrUndefined = 0, kErrDiskFull = 3, kErrUnknownTid = 5 };

// Receive buffer of a broadcast session: the first answers of well over a thousand
// devices (an OACK, then a DATA block each) wait in it.
constexpr u32 kBroadcastReceiveBuffer = 4u << 20;

// Silent time-outs on a doubtful oldest block before a standard server (a peer that
// never acknowledged out of order and did not name itself a device) is taken at its
// word. A device never is: on a lossy link that reorders its acknowledgements, an
// early copy's answer can come after the missing block's, and loss can then keep it
// silent through any number of time-outs.
constexpr u32 kDoubtTimeouts = 3;

// The longest receive pass; what is left is read at the next turn of the loop.
constexpr u32 kReceiveSliceMs = 10;

// Failed reads in one pass before it ends, and how soon the session reads again then.
constexpr u32 kReadFailuresInARow = 8;
constexpr u32 kReadRetryMs = 10;

u32 Be16(const u8* p) {
    return u32(p[0]) << 8 | p[1];
}
void PutBe16(u8* p, u32 v) {
    p[0] = u8(v >> 8);
    p[1] = u8(v);
}
void PutBe32(u8* p, u32 v) {
    p[0] = u8(v >> 24);
    p[1] = u8(v >> 16);
    p[2] = u8(v >> 8);
    p[3] = u8(v);
}
u32 Be32(const u8* p) {
    return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | p[3];
}

bool SameHost(const LNetAddr& a, const LNetAddr& b) {
    if (a.IsIPv6() != b.IsIPv6()) return false;
    return std::memcmp(a.address, b.address, a.IsIPv6() ? 16 : 4) == 0;
}

// A block size as the peer wrote it: decimal digits only.
bool ParseBlockSize(const LString& text, u32* out) {
    const char* s = text.CStr();
    if (!*s) return false;
    u32 v = 0;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return false;
        v = v * 10 + u32(*s - '0');
        if (v > 100000) return false;
    }
    *out = v;
    return true;
}

// Local ports from which requests left lately. A device answers the port it was
// asked from: the late OACK or DATA 1 of a cancelled transfer, or a repeated block
// of a finished one, would become the peer of whatever request leaves from that
// port next, and a wrong file would be reported as success. The system may hand a
// port out again as soon as its socket is closed, so closed ports are remembered,
// process-wide, for as long as a device may still be answering on them.
// A unicast session takes answers from the host it asked only, so a port is
// refused to it only when it was used lately for that same host or for a
// broadcast; a broadcast session hears everyone and refuses every recent port.
// Remembering by host keeps the ports free at thousands of devices, where a
// minute of transfers would otherwise quarantine most of the system's range.
class CRecentPorts {
public:
    // Longer than a device keeps repeating an answer and than any of our give-up times.
    static constexpr u32 kQuarantineMs = 60000;
    static constexpr u32 kAnyHost = 0xFFFFFFFFu;

    void Add(u8 family, u16 port, u32 host, u32 now) {
        std::lock_guard<std::mutex> lock(fMutex);
        Prune(now);
        const u64 key = Key(family, port, host);
        fLast[key] = now;
        fPortLast[PortKey(family, port)] = now;
        fOrder.push_back({key, now});
    }
    bool Has(u8 family, u16 port, u32 host, u32 now) {
        std::lock_guard<std::mutex> lock(fMutex);
        Prune(now);
        if (host == kAnyHost) return fPortLast.count(PortKey(family, port)) != 0;
        return fLast.count(Key(family, port, host)) != 0 ||
               fLast.count(Key(family, port, kAnyHost)) != 0;
    }

private:
    static u32 PortKey(u8 family, u16 port) { return u32(family == 1) << 16 | port; }
    static u64 Key(u8 family, u16 port, u32 host) {
        return u64(PortKey(family, port)) << 32 | host;
    }
    void Prune(u32 now) {
        while (!fOrder.empty() && u32(now - fOrder.front().tick) >= kQuarantineMs) {
            const Entry e = fOrder.front();
            fOrder.pop_front();
            const auto it = fLast.find(e.key);
            if (it != fLast.end() && it->second == e.tick) fLast.erase(it);
            const auto p = fPortLast.find(u32(e.key >> 32));
            if (p != fPortLast.end() && p->second == e.tick) fPortLast.erase(p);
        }
    }
    struct Entry {
        u64 key;
        u32 tick;
    };
    std::mutex fMutex;
    std::deque<Entry> fOrder;
    std::unordered_map<u64, u32> fLast;
    std::unordered_map<u32, u32> fPortLast;  // the latest use of a port, by anyone
};

CRecentPorts& RecentPorts() {
    static CRecentPorts* ports = new CRecentPorts;  // sockets may close during exit
    return *ports;
}

// Who may answer on a session's port: its one device, or (broadcast, IPv6) anyone.
u32 AnswerHost(const LNetAddr& dest, bool broadcast) {
    if (broadcast || dest.IsIPv6()) return CRecentPorts::kAnyHost;
    return dest.IPv4Address();
}

// The interfaces' addresses, read once per change of the network: every transfer
// needs them, and reading them from the system costs a walk over all interfaces.
struct CIfCache {
    std::mutex mutex;
    u32 generation = 0xFFFFFFFFu;
    u32 tick = 0;
    u32 defaultIndex = 0;
    std::unordered_map<u32, std::vector<LIPv4AndMask>> addresses;
};

CIfCache& IfCache() {
    static CIfCache* cache = new CIfCache;
    return *cache;
}

// Also read again after a while: a change may come without a watcher to report it.
constexpr u32 kIfCacheMs = 1000;

void CachedInterface(u32 interfaceIndex, u32* index, std::vector<LIPv4AndMask>* out) {
    CIfCache& c = IfCache();
    std::lock_guard<std::mutex> lock(c.mutex);
    const u32 now = LTickMs();
    const u32 generation = NetConfigGeneration();
    if (c.generation != generation || u32(now - c.tick) >= kIfCacheMs) {
        c.generation = generation;
        c.tick = now;
        c.defaultIndex = 0;
        c.addresses.clear();
    }
    // What could not be read (no default route, no descriptor left for the walk)
    // is not kept: it is asked again the next time.
    if (!interfaceIndex && !c.defaultIndex) c.defaultIndex = DefaultInterfaceIndex();
    *index = interfaceIndex ? interfaceIndex : c.defaultIndex;
    if (!*index) return;
    const auto it = c.addresses.find(*index);
    if (it != c.addresses.end()) {
        *out = it->second;
        return;
    }
    *out = InterfaceIPv4Addresses(*index);
    if (!out->empty()) c.addresses.emplace(*index, *out);
}

// Appends text and its zero byte; false when the buffer is full.
bool PutText(u8* buf, u32 cap, u32* len, const char* text, u32 textLen) {
    if (*len + textLen + 1 > cap) return false;
    std::memcpy(buf + *len, text, textLen);
    *len += textLen;
    buf[(*len)++] = 0;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Peer

CTftpPeer::CTftpPeer(LRunLoopHolder* holder) : fTimer(holder, this, OnTimer) {}

CTftpPeer::~CTftpPeer() {
    delete fData;
}

const LString* CTftpPeer::Option(const char* key) const {
    for (const auto& [k, v] : fOptions)
        if (strcasecmp(k.CStr(), key) == 0) return &v;
    return nullptr;
}

void CTftpPeer::OnTimer(void* self) {
    auto* peer = static_cast<CTftpPeer*>(self);
    if (peer->fSession) peer->fSession->PeerTimer(peer);
}

void CTftpPeer::Accept(CStrm* data) {
    if (fState != kWaitAccept || !fSession) {
        delete data;
        return;
    }
    CTftpSession* s = fSession;
    fState = kTransferring;
    fData = data;
    if (!fData) {
        // Nothing to read from or write into: end the peer rather than crash.
        s->FailPeer(this, kErrUndefined);
        return;
    }
    if (s->fWrite) {
        fLastBlock = 0xFFFFFFFFu;
        fPosition = 0;
        fLastAckTick = LTickMs();
        fNextBlock = 1;
        fHighestSent = 0;
        fGoBackMark = 0;
        fAcksAhead = Option("serno") ? 1 : 0;
        fHighestAnswered = 0;
        fDoubtTimeouts = 0;
        s->SendWindow(this);
    } else if (fByOack) {
        s->SendAck(fAddress, 0);
        fNextBlock = 1;
        fTimer.StartMs(s->fManager->fTimes.receiverIdleMs);
    } else {
        fTimer.StartMs(s->fManager->fTimes.receiverIdleMs);
    }
}

// ---------------------------------------------------------------------------
// Manager

CTftpManager::CTftpManager(LRunLoopHolder* owner, u32 wrapperAllowed)
    : fOwner(owner), fWrapperAllowed(wrapperAllowed) {}

CTftpManager::~CTftpManager() {
    while (LLink* l = fFreeSessions.PopFront()) delete static_cast<CTftpSession*>(l);
    while (LLink* l = fFreePeers.PopFront()) delete static_cast<CTftpPeer*>(l);
}

CTftpSession* CTftpManager::StartTransfer(const LNetAddr& destination, bool write,
                                          const LString& path, void* context,
                                          LTftpCallback callback, u32 interfaceIndex) {
    CTftpSession* s = static_cast<CTftpSession*>(fFreeSessions.PopFront());
    if (!s) s = new CTftpSession(this);
    const u8 family = destination.IsIPv6() ? 1 : 0;
    u32 index = 0;
    std::vector<LIPv4AndMask> local;
    if (!family) CachedInterface(interfaceIndex, &index, &local);
    // Whether any host may answer: a broadcast to all, or to a subnet of ours.
    // Known before the port is chosen, whose quarantine is by the answering host.
    u8 broadcast = 0, wrapper = 0;
    s->fLocal.clear();
    if (!family) {
        const u32 dst = destination.IPv4Address();
        wrapper = fWrapperAllowed ? 1 : 0;
        broadcast = dst == kBroadcastAll ? 1 : 0;
        if (index) {
            for (const LIPv4AndMask& am : local) {
                s->fLocal.push_back(am.address);
                const u32 subnetBroadcast = am.address | ~am.mask;
                if (dst == subnetBroadcast)
                    broadcast = 1;
                else if (((am.address ^ dst) & am.mask) == 0)
                    wrapper = 0;
            }
        }
    }
    // Without a socket the request is never sent and the session ends as unanswered.
    s->OpenFreshSocket(family, interfaceIndex, AnswerHost(destination, broadcast != 0));
    s->fDest = destination;
    s->fWrite = write ? 1 : 0;
    s->fContext = context;
    s->fCallback = callback;
    s->fPath = path;
    s->fKeepTrying = 0;
    s->fPeerRoundMs = 0;
    s->fSendErrno = 0;
    s->fOptions.clear();
    s->fState = CTftpSession::kIdle;
    s->fResult = 0;
    s->fLastActivity = LTickMs();
    s->fBroadcast = broadcast;
    s->fWrapper = wrapper;
    // Every device on the network answers a broadcast at once: with the system's
    // usual buffer the answers of a few hundred overflow it before the first pass.
    if (s->fBroadcast) s->fSocket->SetReceiveBuffer(kBroadcastReceiveBuffer);
    // A directed broadcast is answered by many, as the broadcast is.
    s->fAnswerHost = AnswerHost(destination, s->fBroadcast != 0);
    return s;
}

void CTftpManager::Release(CTftpSession* session) {
    if (!session) return;
    session->Stop();
    // An idle session holds no descriptor: with thousands of devices, each with
    // its queues, kept sockets would use up the process's files. The port stays
    // in quarantine for the devices that may still answer on it.
    session->CloseSocket(LTickMs());
    fFreeSessions.PushFront(session);
}

// ---------------------------------------------------------------------------
// Session

CTftpSession::CTftpSession(CTftpManager* manager)
    : fManager(manager),
      fSocket(std::make_unique<CUdpSocket>(this, OnSocketReady)),
      fReceiveTimer(manager->fOwner, this, OnReceiveTimer),
      fResendTimer(manager->fOwner, this, OnResendTimer),
      fRoundTimer(manager->fOwner, this, OnRoundTimer),
      fReadable(CRunLoopSrc::New(this, OnReadable)) {
    fLastActivity = LTickMs();
}

CTftpSession::~CTftpSession() {
    // The socket goes first: once unregistered no reactor callback can arm our timers.
    CloseSocket(LTickMs());
    delete fReadable;
    while (LLink* l = fPeers.PopFront()) delete static_cast<CTftpPeer*>(l);
}

void CTftpSession::CloseSocket(u32 now) {
    if (fSocket->IsOpen()) RecentPorts().Add(fFamily, fSocket->LocalPort(), fAnswerHost, now);
    fSocket->Close();
}

bool CTftpSession::OpenFreshSocket(u8 family, u32 index, u32 answerHost) {
    const u32 now = LTickMs();
    fOpenErrno = 0;
    // Ports the system offers that are still in quarantine stay open until a good one
    // came, so that it cannot offer them again; they never sent anything.
    std::vector<std::unique_ptr<CUdpSocket>> refused;
    std::unique_ptr<CUdpSocket> fresh;
    for (int attempt = 0; attempt < 32 && !fresh; ++attempt) {
        auto s = std::make_unique<CUdpSocket>(this, OnSocketReady);
        errno = 0;
        if (s->Open(0, family, 0, 0) != 0) {
            fOpenErrno = errno ? errno : EIO;
            NoteSocketOpenFailure();
            break;
        }
        if (RecentPorts().Has(family, s->LocalPort(), answerHost, now))
            refused.push_back(std::move(s));
        else
            fresh = std::move(s);
    }
    // The old socket closes only now: it kept the reactor running, and its port out of
    // the system's hands, while the new one was chosen.
    CloseSocket(now);
    fFamily = family;
    if (!fresh) {
        if (!fOpenErrno) fOpenErrno = EADDRINUSE;  // every port offered was in quarantine
        return false;
    }
    // IPv4 without an interface stays unbound; IPv6 always binds (0: the default).
    // Better no transfer at all than one through another interface.
    errno = 0;
    if ((index != 0 || family == 1) && !fresh->BindToInterface(index)) {
        fOpenErrno = errno ? errno : ENODEV;
        return false;
    }
    fSocket = std::move(fresh);
    return true;
}

void CTftpSession::AddOption(const LString& key, const LString& value) {
    fOptions.emplace_back(key, value);
}

u32 CTftpSession::PeerCount() const {
    u32 n = 0;
    for (LLink* l = fPeers.Head(); !l->IsEnd(); l = l->Next()) ++n;
    return n;
}

CTftpPeer* CTftpSession::PeerAt(u32 i) const {
    for (LLink* l = fPeers.Head(); !l->IsEnd(); l = l->Next())
        if (i-- == 0) return static_cast<CTftpPeer*>(l);
    return nullptr;
}

void CTftpSession::Stop() {
    ++fGeneration;
    fResendTimer.Disarm();
    fReceiveTimer.Disarm();
    fRoundTimer.Disarm();
    fRoundNext = nullptr;
    fPeerIndex.clear();
    fUnreported = 0;
    fState = kIdle;
    fOptions.clear();
    while (LLink* l = fPeers.PopFront()) {
        auto* peer = static_cast<CTftpPeer*>(l);
        peer->fTimer.Disarm();
        delete peer->fData;
        peer->fData = nullptr;
        peer->fState = CTftpPeer::kNew;
        peer->fSession = nullptr;
        fManager->fFreePeers.PushFront(peer);
    }
}

void CTftpSession::Notify(u32 event, void* object) {
    if (fCallback) fCallback(fContext, event, object);
}

void CTftpSession::Start() {
    if (fState != kIdle) return;
    const u32 cap = fWrapper ? 520 : 512;
    u32 len = 0;
    bool fits = true;
    if (fWrapper) {
        std::memcpy(fRequest, "YTFW", 4);
        PutBe32(fRequest + 4, fDest.IPv4Address());
        len = kWrapLen;
    }
    PutBe16(fRequest + len, fWrite ? kOpWrite : kOpRead);
    len += 2;
    const char* size = fWrapper ? "1420" : "1428";
    fits = PutText(fRequest, cap, &len, fPath.CStr(), fPath.Length()) &&
           PutText(fRequest, cap, &len, "octet", 5) && PutText(fRequest, cap, &len, "blksize", 7) &&
           PutText(fRequest, cap, &len, size, 4);
    for (const auto& [k, v] : fOptions) {
        if (!fits) break;
        fits = PutText(fRequest, cap, &len, k.CStr(), k.Length()) &&
               PutText(fRequest, cap, &len, v.CStr(), v.Length());
    }
    if (!fits) {
        fRequestLength = 0;
        fState = kFinished;
        fResult = kResultTooLong;
        fResendTimer.StartMs(0u);
        return;
    }
    fRequestLength = len;
    if (!fSocket->IsOpen()) {
        // Said at once, with the reason (too many open files, a vanished interface):
        // resending a request that cannot leave only hides the cause for seconds.
        fSendErrno = fOpenErrno ? fOpenErrno : EBADF;
        fState = kFinished;
        fResult = kResultNoAnswer;
        fResendTimer.StartMs(0u);
        return;
    }
    ReceivePass();  // stale datagrams of an earlier use are dropped in state 0
    fState = kRequestSent;
    fResendCount = 0;
    fGraceOver = 0;
    SendRequest();
}

void CTftpSession::SendRequest() {
    const LNetAddr to = fWrapper ? LNetAddr::IPv4(kBroadcastAll, fDest.port) : fDest;
    if (!fSocket->IsOpen()) {
        // Nothing was tried: errno tells of something else by now. Why the socket
        // could not be had is the reason (too many open files, a vanished interface).
        if (!fSendErrno) fSendErrno = fOpenErrno ? fOpenErrno : EBADF;
    } else if (fSocket->SendTo(to, fRequest, fRequestLength) < 0 && !fSendErrno) {
        fSendErrno = errno ? errno : EIO;
    }
    fResendTimer.StartMs(fManager->fTimes.resendMs);
}

void CTftpSession::OnSocketReady(void* self, u32) {
    // Reactor thread: hand over to the main run loop.
    static_cast<CTftpSession*>(self)->fReadable->Signal();
}

void CTftpSession::OnReadable(void* self) {
    static_cast<CTftpSession*>(self)->ReceivePass();
}

void CTftpSession::OnReceiveTimer(void* self) {
    static_cast<CTftpSession*>(self)->ReceivePass();
}

void CTftpSession::OnResendTimer(void* self) {
    auto* s = static_cast<CTftpSession*>(self);
    switch (s->fState) {
        case kRequestSent:
            if (s->fResendCount <= i32(s->fManager->fTimes.resendLimit)) {
                if (!s->fKeepTrying) ++s->fResendCount;
                s->SendRequest();
            } else {
                s->fState = kFinished;
                s->fResult = kResultNoAnswer;
                s->Notify(kTftpEventSessionDone, s);
            }
            break;
        case kPeersActive:
            s->fGraceOver = 1;
            s->fGraceTick = LTickMs();
            s->CheckCompletion();
            break;
        case kFinished:
            s->Notify(kTftpEventSessionDone, s);
            break;
        default:
            break;
    }
}

void CTftpSession::ReceivePass() {
    const u32 start = LTickMs();
    const u32 generation = fGeneration;
    u8 buf[2048];
    u32 failures = 0;
    for (;;) {
        LNetAddr from;
        const i32 n = fSocket->RecvFrom(&from, buf, sizeof buf);
        // 0 is "nothing waiting" with the read interest armed: the socket reads past
        // empty datagrams itself, so none can end the pass unnoticed.
        if (n < 1) {
            // A pending socket error is consumed by the failed call: read on so that
            // the reactor's interest is armed again by the call that finds nothing.
            if (n < 0 && fSocket->IsOpen() && ++failures < kReadFailuresInARow) continue;
            // Errors in a row: the reactor may not report this socket again, so the
            // session looks again shortly itself; its give-up timers run meanwhile.
            if (n < 0 && fSocket->IsOpen() && (fState == kRequestSent || fState == kPeersActive))
                fReceiveTimer.StartMs(kReadRetryMs);
            break;
        }
        if (!Deliver(from, buf, u32(n))) continue;
        if (fGeneration != generation) return;  // released from a callback
        // The answers of thousands of devices to one poll would hold the run loop
        // for seconds: the rest waits in the socket for the next turn.
        if (u32(LTickMs() - start) >= kReceiveSliceMs) {
            fReceiveTimer.StartMs(0u);
            break;
        }
    }
    SendDueWindows();
}

bool CTftpSession::Deliver(const LNetAddr& from, const u8* p, u32 len) {
    if (fState != kRequestSent && fState != kPeersActive) return false;
    if (len >= 9 && std::memcmp(p, "YTFW", 4) == 0) {
        const u32 target = Be32(p + 4);
        bool ours = false;
        for (u32 a : fLocal)
            if (a == target) ours = true;
        if (!ours) return false;
        p += kWrapLen;
        len -= kWrapLen;
    }
    if (len < 2) return false;
    const u32 op = Be16(p);
    if (op < kOpData || op > kOpOack) return false;
    Handle(from, p, len);
    return true;
}

void CTftpSession::SendDueWindows() {
    // Only senders have windows: a poll's thousands of readers are not walked
    // after every pass.
    if (!fWrite) return;
    // A whole batch of acknowledgements is taken in before the window moves: one
    // send per batch, not one per acknowledgement.
    for (LLink* l = fPeers.Head(); !l->IsEnd(); l = l->Next()) {
        auto* peer = static_cast<CTftpPeer*>(l);
        if (!peer->fSendDue) continue;
        peer->fSendDue = 0;
        if (peer->fState == CTftpPeer::kTransferring) SendWindow(peer);
    }
}

u64 CTftpSession::PeerKey(const LNetAddr& a) {
    return u64(a.IPv4Address()) << 16 | a.port;
}

CTftpPeer* CTftpSession::FindPeer(const LNetAddr& from) const {
    // A poll has a peer per device: found by address, not by a walk over thousands.
    if (!from.IsIPv6()) {
        const auto it = fPeerIndex.find(PeerKey(from));
        return it == fPeerIndex.end() ? nullptr : it->second;
    }
    for (LLink* l = fPeers.Head(); !l->IsEnd(); l = l->Next()) {
        auto* peer = static_cast<CTftpPeer*>(l);
        if (peer->fAddress == from) return peer;
    }
    return nullptr;
}

CTftpPeer* CTftpSession::NewPeer(const LNetAddr& from) {
    fState = kPeersActive;
    auto* peer = static_cast<CTftpPeer*>(fManager->fFreePeers.PopFront());
    if (!peer) peer = new CTftpPeer(fManager->fOwner);
    peer->fSession = this;
    peer->fAddress = from;
    peer->fState = CTftpPeer::kNew;
    peer->fResult = 0;
    peer->fErrorCode = 0;
    peer->fBlockSize = 512;
    peer->fNextBlock = 0;
    peer->fLastBlock = 0xFFFFFFFFu;
    peer->fHighestSent = 0;
    peer->fGoBackMark = 0;
    peer->fAcksAhead = 0;
    peer->fHighestAnswered = 0;
    peer->fDoubtTimeouts = 0;
    peer->fPosition = 0;
    peer->fByOack = 0;
    peer->fSendDue = 0;
    delete peer->fData;
    peer->fData = nullptr;
    peer->fOptions.clear();
    peer->fWindow.Reset();
    peer->fWindow.SetMax(1);
    peer->fStartTick = LTickMs();
    fPeers.PushBack(peer);
    if (!from.IsIPv6()) fPeerIndex[PeerKey(from)] = peer;
    ++fUnreported;
    if (fPeerRoundMs && !fRoundNext) {
        // Let go from the timer, never while its first answer is being handled.
        fRoundNext = peer;
        const i32 left = i32(RoundEnd(peer) - peer->fStartTick);
        fRoundTimer.StartMs(left > 0 ? u32(left) : 0u);
    }
    return peer;
}

u32 CTftpSession::RoundEnd(const CTftpPeer* peer) const {
    // Peers come in order of their first answer, and their rounds end in that order.
    const bool afterGrace = fGraceOver && i32(peer->fStartTick - fGraceTick) > 0;
    return (afterGrace ? fGraceTick : peer->fStartTick) + fPeerRoundMs;
}

void CTftpSession::OnRoundTimer(void* self) {
    static_cast<CTftpSession*>(self)->EndRounds();
}

void CTftpSession::EndRounds() {
    const u32 now = LTickMs();
    while (fRoundNext) {
        CTftpPeer* peer = fRoundNext;
        const i32 left = i32(RoundEnd(peer) - now);
        if (left > 0) {
            fRoundTimer.StartMs(u32(left));
            return;
        }
        LLink* next = peer->Next();
        fRoundNext = next->IsEnd() ? nullptr : static_cast<CTftpPeer*>(next);
        if (peer->fState == CTftpPeer::kFinished || peer->fState == CTftpPeer::kReported) continue;
        // Reported from its own timer, as any other end: nothing is told from here.
        SendError(peer->fAddress, kErrUndefined);
        peer->fState = CTftpPeer::kFinished;
        peer->fResult = CTftpPeer::kResultTimedOut;
        peer->fTimer.StartMs(0u);
    }
}

void CTftpSession::Handle(const LNetAddr& from, const u8* p, u32 len) {
    const u32 op = Be16(p);
    CTftpPeer* peer = FindPeer(from);
    // Only the device that was asked answers a unicast request (from a port of its
    // own); anything else on our port is not an answer to this request.
    if (!peer && !fBroadcast && !SameHost(from, fDest)) return;
    if (!peer && !fBroadcast && !fPeers.IsEmpty()) {
        // A unicast session talks to the endpoint that answered first; anyone
        // else would write into the same stream.
        if (op != kOpError) SendError(from, kErrUnknownTid);
        return;
    }
    switch (op) {
        case kOpOack:
            HandleOack(peer, from, p + 2, len - 2);
            break;
        case kOpData:
            if (len >= 4 && !fWrite) HandleData(peer, from, p, len);
            break;
        case kOpAck:
            if (len >= 4 && fWrite) HandleAck(peer, from, Be16(p + 2));
            break;
        case kOpError:
            if (len >= 4) HandleError(peer, from, Be16(p + 2));
            break;
        default:
            break;
    }
}

void CTftpSession::HandleOack(CTftpPeer* peer, const LNetAddr& from, const u8* p, u32 len) {
    if (peer) {
        // Our ACK 0 was lost: the device repeats its OACK.
        if (!fWrite && peer->fState == CTftpPeer::kTransferring && peer->fNextBlock == 1) {
            SendAck(peer->fAddress, 0);
            fLastActivity = LTickMs();
        }
        return;
    }
    peer = NewPeer(from);
    peer->fByOack = 1;
    fLastActivity = LTickMs();
    const u32 limit = fWrapper ? kMaxBlockWrapped : kMaxBlock;
    u32 i = 0;
    while (i < len) {
        const void* z1 = std::memchr(p + i, 0, len - i);
        if (!z1) break;
        const u32 keyEnd = u32(static_cast<const u8*>(z1) - p);
        if (keyEnd + 1 >= len) break;
        const void* z2 = std::memchr(p + keyEnd + 1, 0, len - keyEnd - 1);
        if (!z2) break;
        const u32 valEnd = u32(static_cast<const u8*>(z2) - p);
        LString key(reinterpret_cast<const char*>(p + i), keyEnd - i);
        LString value(reinterpret_cast<const char*>(p + keyEnd + 1), valEnd - keyEnd - 1);
        peer->fOptions.emplace_back(key, value);
        if (strcasecmp(key.CStr(), "blksize") == 0) {
            u32 size = 0;
            if (!ParseBlockSize(value, &size) || size < 8 || size > limit) {
                SendError(peer->fAddress, 8);
                peer->fErrorCode = 8;
                peer->fState = CTftpPeer::kFinished;
                peer->fResult = CTftpPeer::kResultError;
                peer->fTimer.StartMs(0u);
                return;
            }
            peer->fBlockSize = size;
        }
        i = valEnd + 1;
    }
    peer->fState = CTftpPeer::kWaitAccept;
    Notify(kTftpEventPeerNew, peer);
}

void CTftpSession::HandleData(CTftpPeer* peer, const LNetAddr& from, const u8* p, u32 len) {
    const u32 block = Be16(p + 2);
    const u8* payload = p + 4;
    const u32 size = len - 4;
    if (!peer) {
        if (block != 1) return;
        peer = NewPeer(from);
        fLastActivity = LTickMs();
        if (size > 512) {
            SendError(peer->fAddress, 4);
            peer->fErrorCode = 4;
            peer->fState = CTftpPeer::kFinished;
            peer->fResult = CTftpPeer::kResultError;
            peer->fTimer.StartMs(0u);
            return;
        }
        peer->fState = CTftpPeer::kWaitAccept;
        peer->fNextBlock = 1;
        const u32 generation = fGeneration;
        Notify(kTftpEventPeerNew, peer);
        if (fGeneration != generation || peer->fState != CTftpPeer::kTransferring) return;
        ReceiveBlock(peer, block, payload, size);
        return;
    }
    if (peer->fState != CTftpPeer::kTransferring) return;
    fLastActivity = LTickMs();
    ReceiveBlock(peer, block, payload, size);
}

void CTftpSession::ReceiveBlock(CTftpPeer* peer, u32 block, const u8* payload, u32 size) {
    if (size > peer->fBlockSize) {
        // More than was agreed: not a block of this transfer, and never written.
        FailPeer(peer, 4);
        return;
    }
    if (block == (peer->fNextBlock & 0xFFFF)) {
        peer->fData->Write(payload, size);
        if (peer->fData->Error() != CStrm::kErrNone) {
            // Acknowledging a block we could not keep would report a truncated file as complete.
            FailPeer(peer, kErrDiskFull);
            return;
        }
        if (size >= peer->fBlockSize) {
            peer->fTimer.StartMs(fManager->fTimes.receiverIdleMs);
        } else {
            peer->fState = CTftpPeer::kFinished;
            peer->fResult = CTftpPeer::kResultDone;
            peer->fTimer.StartMs(0u);
        }
        ++peer->fNextBlock;
    }
    SendAck(peer->fAddress, block);
}

void CTftpSession::HandleAck(CTftpPeer* peer, const LNetAddr& from, u32 block) {
    if (!peer) {
        if (block != 0) return;
        // A server that ignored the options.
        peer = NewPeer(from);
        fLastActivity = LTickMs();
        peer->fState = CTftpPeer::kWaitAccept;
        peer->fNextBlock = 1;
        Notify(kTftpEventPeerNew, peer);
        return;
    }
    if (peer->fState != CTftpPeer::kTransferring) return;
    fLastActivity = LTickMs();
    peer->fDoubtTimeouts = 0;
    // The block in flight that carries these low 16 bits, if any.
    const u32 full = peer->fNextBlock + ((block - peer->fNextBlock) & 0xFFFF);
    const bool inFlight =
        full <= peer->fHighestSent && full - peer->fNextBlock < CTftpPeer::kTracked;
    if (inFlight) {
        // An answer for a later block while the oldest has had none: this peer
        // acknowledges blocks it may not keep.
        if (full != peer->fNextBlock && peer->Copies(peer->fNextBlock).answers == 0)
            peer->fAcksAhead = 1;
        CTftpPeer::CBlockCopies& copies = peer->Copies(full);
        // Answering again a block behind its latest: a copy that arrived twice was
        // acknowledged twice, as a device does and a standard server does not. Its
        // silence after a time-out is then loss, not a server's habit.
        if (copies.answers > 0 && full < peer->fHighestAnswered) peer->fAcksAhead = 1;
        if (full > peer->fHighestAnswered) peer->fHighestAnswered = full;
        if (copies.answers < 0xFFFF) ++copies.answers;
        // Perhaps only the late answer to a copy the device dropped. When nothing
        // else is out, the block goes again at once instead of at the time-out, which
        // on a fast link costs many round trips; marking adds no doubt then, as no
        // later block has left since.
        if (full == peer->fNextBlock && !copies.Confirmed()) {
            if (peer->fWindow.outstanding <= 1) {
                peer->fWindow.outstanding = 0;
                peer->fSendDue = 1;
            }
            return;
        }
    } else if (block == (peer->fNextBlock & 0xFFFF)) {
        return;  // a block never sent cannot have arrived
    } else {
        // A block already confirmed, behind the latest one confirmed, answered again.
        const u32 back = (peer->fNextBlock - block) & 0xFFFF;
        if (back >= 2 && back < CTftpPeer::kTracked) peer->fAcksAhead = 1;
    }
    // Not cumulative: only the oldest unacknowledged block moves the window.
    if (block != (peer->fNextBlock & 0xFFFF)) {
        // The loss shows while acknowledgements still come: the link is alive, and
        // waiting out a time-out would only stall it. The oldest unacknowledged block
        // goes again once the batch that showed the loss is taken in.
        if (peer->fWindow.mode == 0) {
            peer->fSendDue = 1;
            peer->fGoBackMark = peer->fHighestSent;
        }
        peer->fWindow.OnLoss();
        return;
    }
    peer->fWindow.OnAck();
    peer->fLastAckTick = LTickMs();
    const bool final = peer->fLastBlock != 0xFFFFFFFFu && peer->fLastBlock == block;
    ++peer->fNextBlock;
    peer->fPosition += peer->fBlockSize;
    if (final) {
        peer->fState = CTftpPeer::kFinished;
        peer->fResult = CTftpPeer::kResultDone;
        peer->fTimer.StartMs(0u);
    } else if (u32(peer->fNextBlock - 1) < peer->fGoBackMark) {
        // Blocks from before the window went back may still be acknowledged: the
        // window moves once the batch is in, so that those acknowledgements move it
        // on instead of passing for the ones of copies sent again meanwhile.
        peer->fSendDue = 1;
    } else {
        // At once: the device is fed before this thread may lose the processor to
        // the reactor, which the read that finds nothing wakes.
        SendWindow(peer);
    }
}

void CTftpSession::HandleError(CTftpPeer* peer, const LNetAddr& from, u32 code) {
    if (!peer) peer = NewPeer(from);
    if (peer->fState == CTftpPeer::kFinished || peer->fState == CTftpPeer::kReported) return;
    peer->fErrorCode = code;
    peer->fState = CTftpPeer::kFinished;
    peer->fResult = CTftpPeer::kResultError;
    peer->fTimer.StartMs(0u);
}

void CTftpSession::FailPeer(CTftpPeer* peer, u32 code) {
    SendError(peer->fAddress, code);
    peer->fErrorCode = code;
    peer->fState = CTftpPeer::kFinished;
    peer->fResult = CTftpPeer::kResultError;
    peer->fTimer.StartMs(0u);
}

void CTftpSession::SendWindow(CTftpPeer* peer) {
    CFlowWindow& w = peer->fWindow;
    CStrm* data = peer->fData;
    const u32 bs = peer->fBlockSize;
    data->SetPosition(peer->fPosition + u64(w.outstanding) * bs);
    u32 block = peer->fNextBlock + w.outstanding;
    bool attempted = false;
    u8 datagram[kWrapLen + 4 + kMaxBlock];
    while (w.outstanding < w.window && block - peer->fNextBlock < CTftpPeer::kTracked) {
        u8* pkt = datagram + kWrapLen;
        u64 got = bs;
        data->Read(pkt + 4, &got);
        if (data->Error() != CStrm::kErrNone) {
            // A short read through a failing stream is not the end of the file.
            FailPeer(peer, kErrUndefined);
            return;
        }
        if (got < bs && peer->fLastBlock != 0xFFFFFFFFu && peer->fLastBlock != (block & 0xFFFF))
            break;
        PutBe16(pkt, kOpData);
        PutBe16(pkt + 2, block & 0xFFFF);
        attempted = true;
        const bool fresh = block > peer->fHighestSent;
        if (fresh) {
            peer->Copies(block) = {};
        } else {
            // Every copy of a later block already out may have reached the device
            // before this one's block did, and been dropped there.
            for (u32 b = block + 1; b <= peer->fHighestSent; ++b)
                peer->Copies(b).unsure = peer->Copies(b).sent;
        }
        if (SendTo(peer->fAddress, pkt, u32(4 + got)) <= 0) break;
        if (fresh) peer->fHighestSent = block;
        CTftpPeer::CBlockCopies& copies = peer->Copies(block);
        if (copies.sent < 0xFFFF) ++copies.sent;
        w.OnSend(LTickMs(), fresh);
        if (got < bs) {
            peer->fLastBlock = block & 0xFFFF;
            break;
        }
        ++block;
    }
    // Armed after every attempt: a send that failed leaves nothing outstanding,
    // and only this timer would ever try again.
    if (w.outstanding > 0 || attempted) peer->fTimer.StartMs(w.Rto());
}

void CTftpSession::PeerTimer(CTftpPeer* peer) {
    const CTftpTimes& t = fManager->fTimes;
    switch (peer->fState) {
        case CTftpPeer::kFinished:
            Report(peer);
            break;
        case CTftpPeer::kTransferring:
            if (fWrite) {
                NoteDoubtTimeout(peer);
                if (peer->fState == CTftpPeer::kFinished) {
                    Report(peer);
                    break;
                }
                peer->fWindow.OnTimeout();
                peer->fGoBackMark = peer->fHighestSent;
                if (fKeepTrying || u32(LTickMs() - peer->fLastAckTick) < t.senderGiveUpMs) {
                    SendWindow(peer);
                    return;
                }
            } else if (fKeepTrying) {
                return;
            }
            peer->fState = CTftpPeer::kFinished;
            peer->fResult = CTftpPeer::kResultTimedOut;
            Report(peer);
            break;
        default:
            break;
    }
}

void CTftpSession::NoteDoubtTimeout(CTftpPeer* peer) {
    const u32 next = peer->fNextBlock;
    const CTftpPeer::CBlockCopies& oldest = peer->Copies(next);
    if (peer->fAcksAhead || next > peer->fHighestSent || oldest.answers == 0 ||
        oldest.Confirmed()) {
        peer->fDoubtTimeouts = 0;
        return;
    }
    if (++peer->fDoubtTimeouts < kDoubtTimeouts) return;
    peer->fDoubtTimeouts = 0;
    // It keeps what it acknowledged and will not say so twice: every block out that
    // it answered counts, in order, up to the first it did not.
    for (u32 b = next; b <= peer->fHighestSent; ++b) peer->Copies(b).unsure = 0;
    while (peer->fNextBlock <= peer->fHighestSent && peer->Copies(peer->fNextBlock).answers > 0) {
        const bool final =
            peer->fLastBlock != 0xFFFFFFFFu && peer->fLastBlock == (peer->fNextBlock & 0xFFFF);
        peer->fLastAckTick = LTickMs();
        ++peer->fNextBlock;
        peer->fPosition += peer->fBlockSize;
        if (final) {
            peer->fState = CTftpPeer::kFinished;
            peer->fResult = CTftpPeer::kResultDone;
            return;
        }
    }
}

void CTftpSession::Report(CTftpPeer* peer) {
    const u32 generation = fGeneration;
    Notify(kTftpEventPeerDone, peer);
    if (fGeneration != generation) return;
    if (peer->fState != CTftpPeer::kReported && fUnreported > 0) --fUnreported;
    peer->fState = CTftpPeer::kReported;
    CheckCompletion();
}

void CTftpSession::CheckCompletion() {
    if (fState == kFinished || fState == kIdle) return;
    if (fBroadcast && !fGraceOver) return;
    // Counted, not walked: a poll's thousands of peers each end with this check.
    if (fUnreported > 0) return;
    fState = kFinished;
    fResult = kResultDone;
    // Still armed from the last send: firing in state 3 would report the end twice.
    fResendTimer.Disarm();
    Notify(kTftpEventSessionDone, this);
}

i32 CTftpSession::SendTo(const LNetAddr& to, u8* datagram, u32 length) {
    if (!fWrapper) return fSocket->SendTo(to, datagram, length);
    // The wrapper goes in front: callers leave room for it.
    u8* wrapped = datagram - kWrapLen;
    std::memcpy(wrapped, "YTFW", 4);
    PutBe32(wrapped + 4, to.IPv4Address());
    return fSocket->SendTo(LNetAddr::IPv4(kBroadcastAll, to.port), wrapped, length + kWrapLen);
}

void CTftpSession::SendAck(const LNetAddr& to, u32 block) {
    u8 buf[kWrapLen + 4];
    PutBe16(buf + kWrapLen, kOpAck);
    PutBe16(buf + kWrapLen + 2, block & 0xFFFF);
    SendTo(to, buf + kWrapLen, 4);
}

void CTftpSession::SendError(const LNetAddr& to, u32 code) {
    u8 buf[kWrapLen + 4 + 6];
    u8* p = buf + kWrapLen;
    PutBe16(p, kOpError);
    PutBe16(p + 2, code);
    std::memcpy(p + 4, "error", 6);
    SendTo(to, p, 10);
}
