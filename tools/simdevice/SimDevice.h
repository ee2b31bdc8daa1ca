#pragma once
// Simulated devices: one process serving any number of devices over UDP, with
// scripted faults and a packet log that tests read back.

#include "tools/simdevice/Wire.h"
#include "tools/simdevice/WireCount.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace simdev {

struct Endpoint {
    uint32_t ip = 0;  // host order
    uint16_t port = 0;
    bool operator==(const Endpoint& o) const { return ip == o.ip && port == o.port; }
};
std::string EpText(const Endpoint& e);

// Single-threaded event loop: file descriptors and one-shot timers.
class Loop {
public:
    using Fn = std::function<void()>;
    uint64_t Now() const;  // ms since start
    uint64_t After(uint64_t ms, Fn fn);
    void Cancel(uint64_t id);
    void Watch(int fd, Fn onReadable);
    void Unwatch(int fd);
    // Runs until Stop(); answers false on a poll failure.
    bool Run();
    void Stop() { fStop = true; }
    // Called after every turn; slept: the turn slept with nothing to read. While
    // set, the loop sleeps at most a few ms at a time, so that a watcher sees it idle.
    void OnTurn(std::function<void(bool slept)> fn) { fOnTurn = std::move(fn); }

private:
    struct Timer {
        uint64_t due;
        Fn fn;
    };
    std::map<uint64_t, Timer> fTimers;  // by id
    // By due time, then id: the next one and the due ones without a walk over
    // the timers of thousands of transfers.
    std::set<std::pair<uint64_t, uint64_t>> fByDue;
    std::map<int, Fn> fWatch;
    std::function<void(bool)> fOnTurn;
    uint64_t fNextId = 1;
    bool fStop = false;
};

struct DeviceSettings {
    uint32_t rtoMs = 1000;       // sender: resend after this silence
    uint32_t retries = 5;        // sender: resends before giving up
    uint32_t window = 1;         // sender: blocks in flight
    uint32_t maxBlk = 1428;      // largest block size granted (8 less when wrapped)
    uint32_t blkReply = 0;       // when set: the block size put in every OACK, whatever was asked
    bool ignoreOptions = false;  // answer like a server without option support
    uint32_t idleMs = 10000;     // receiver: give up after this silence
    // receiver: stop reading for pauseMs after every pauseEvery bytes kept (as a
    // device writing to an SD card does); with pauseSeed the distance is drawn
    // between half and one and a half times pauseEvery.
    uint32_t pauseMs = 0;
    uint32_t pauseEvery = 0;
    uint64_t pauseSeed = 0;
    // When set: answers requests for this serial (and 0) as if it were its own,
    // naming it in its OACK; a second answerer of another device's serial.
    uint32_t claim = 0;
    // sender: a block goes no sooner than this long after the one before (a
    // trickling answer); paused on the test's clock as pauseMs is.
    uint32_t trickleMs = 0;
};

struct Transfer;
struct Listener;
class DelayLine;

// A command pseudo-file ("/.cmd/..."); later work adds more of them.
struct Device;
struct CmdFile {
    std::function<bool(Device&, Bytes*)> read;        // false: not readable
    std::function<int(Device&, const Bytes&)> write;  // 0 or a TFTP error code
    // The same for paths below this one ("/.cmd/udseqset" + rest, rest starting with "/").
    std::function<bool(Device&, const std::string& rest, Bytes*)> readAt;
    std::function<int(Device&, const std::string& rest, const Bytes&)> writeAt;
};
struct ChannelRecords;

// A read answer served damaged (reply-damage), as a device that cuts a record
// short or gets its length wrong would serve it.
struct ReplyDamage {
    // values=none: no value block at all.
    static constexpr uint32_t kNone = UINT32_MAX;
    std::string path;  // the request path it applies to
    std::string how;   // half, cut, length, extra, values, unknown
    uint32_t value = 0;
    uint32_t count = 0;  // 0: every time
    uint32_t fired = 0;
};

struct Device {
    uint32_t serno = 0;
    uint32_t ip = 0, mask = 0xffffff00;
    uint16_t port = 0;
    bool listenAny = false;
    std::string root;
    Bytes status;
    bool statusSet = false;  // set-status replaced the 'YKVT'/'DVSS' record's answer
    DeviceSettings set;
    uint64_t silentUntil = 0;  // Loop::Now() below this: deaf and mute; ~0 = for ever
    Listener* listener = nullptr;
    std::map<std::string, CmdFile> cmds;
    std::shared_ptr<ChannelRecords> channels;  // the records behind the channel command files
    // How far away the device is: what it sends leaves this much later (set-delay).
    uint32_t delayMs = 0, jitterMs = 0;
    uint64_t jitterRng = 1, delayLastDue = 0;
    std::vector<ReplyDamage> damages;
};

struct FaultRule {
    int id = 0;
    std::string action;  // drop, dup, delay, reorder, silence, error, empty
    // what it matches
    uint32_t serno = 0;  // 0: any device
    int dir = 0;         // 0 any, 1 in, 2 out
    int op = 0;          // 0 any
    long blockLo = -1, blockHi = -1;
    std::string path;  // requests only; empty: any
    uint32_t skip = 0, count = 0, percent = 100;
    uint64_t seed = 1, rng = 1;
    // what it does
    uint32_t ms = 0, copies = 1, code = 0;
    std::string text;
    bool fromOther = false;  // empty: from the device's listening port, not the transfer's
    uint32_t seen = 0, fired = 0;
};

class Sim {
public:
    explicit Sim(Loop& loop);
    ~Sim();

    // Control-side operations; each answers "" on success or an error text.
    std::string AddDevice(uint32_t serno, uint32_t ip, uint32_t mask, const std::string& root,
                          int port, int listenAny, uint16_t* boundPort);
    std::string RemoveDevice(uint32_t serno);
    Device* FindDevice(uint32_t serno);
    std::vector<Device*> Devices();
    int AddFault(FaultRule r);  // answers the rule id
    void ClearFaults(int id);   // 0: all
    const std::vector<FaultRule>& Faults() const { return fFaults; }
    // A finished upload that only waits for resent blocks is not active.
    size_t ActiveTransfers() const;

    std::vector<std::string>& LogLines() { return fLog; }
    // Bulk-transfer benchmarks turn the per-packet lines off; everything else still logs.
    void SetPacketLog(bool on) { fPacketLog = on; }
    void SetLogFile(const std::string& path);
    // Adds a line to the log.
    void Note(const std::string& line) { Log(line); }
    bool HostNetns() const { return fHostNs; }
    // Devices answer a broadcast request within this many ms, each after a delay
    // of its own (drawn from its serial), as devices on a real network do rather
    // than all in the same instant. 0: at once.
    void SetAnswerSpread(uint32_t ms) { fSpreadMs = ms; }
    // DATA blocks that reached uploads, and those among them the device already had
    // (a sender's retransmissions that were not needed, or duplicates on the way).
    struct Counters {
        uint64_t dataIn = 0, dataDup = 0, pauses = 0;
    };
    Counters& Count() { return fCount; }
    // Datagrams taken in from peers (not from the devices' own addresses, which a
    // broadcast may bring back) and datagrams sent, with the sends still held back
    // by a link delay: a test on a virtual clock compares them with its own counts
    // to know that nothing is still on its way before it moves the clock.
    struct Traffic {
        uint64_t in = 0, out = 0;
        uint64_t broadcasts = 0;  // of out: their copies come back to this namespace
    };
    const Traffic& TrafficCount() const { return fTraffic; }
    // Datagrams that reached this namespace for a port nobody listens on (a poll
    // while no device is added, a packet for a transfer that ended): they arrived
    // too. Less this process's own broadcasts, which come back the same way.
    uint64_t UnheardIn() const;
    size_t SendsHeldBack() const;
    // Tells the test that started this process, through memory the two share,
    // what is on its way and what the devices still hold (WireCount.h).
    void ShareCounts(WireCount* shared);
    // For command files that act later (a restart's silence).
    Loop& EventLoop() { return fLoop; }

private:
    friend struct Transfer;
    struct Held {
        std::string key;
        uint64_t seq, timer;
        std::function<void()> release;
    };

    Listener* GetListener(uint32_t ip, uint16_t port, bool any, std::string* err);
    void DropListener(Listener* l);
    void OnListener(Listener* l);
    void OnTransferSocket(uint32_t xid);
    void PauseTransfer(uint32_t xid, uint32_t ms);
    void Resume(uint32_t xid);
    uint64_t ResumeDue();
    // What a paused transfer's socket holds: the size asked of the system.
    static constexpr size_t kWaitingCap = size_t(1) << 20;

    // Packets in: fault pipeline, then `handle`.
    void Incoming(Device& d, uint32_t xid, const Endpoint& from, bool wrapped, const Bytes& pkt,
                  std::function<void()> handle);
    void HandleRequest(Device& d, const Endpoint& from, bool wrapped, const Bytes& pkt);
    void HandleTransferPacket(uint32_t xid, const Bytes& pkt);
    // Packets out: fault pipeline, then the socket.
    void Emit(Device& d, uint32_t xid, const Endpoint& to, bool wrapped, const Bytes& pkt);
    void RawSend(Device& d, uint32_t xid, const Endpoint& to, bool wrapped, const Bytes& pkt,
                 const char* fate);
    // RawSend once the device's delay has passed.
    void SendNow(Device& d, uint32_t xid, const Endpoint& to, bool wrapped, const Bytes& pkt,
                 const char* fate);
    int FdFor(Device& d, uint32_t xid);
    FaultRule* MatchFault(Device& d, int dir, const Bytes& pkt);
    void Hold(const std::string& key, uint32_t ms, std::function<void()> release);
    void ReleaseHeld(const std::string& key);
    void ReleaseOne(uint64_t seq);

    Transfer* NewTransfer(Device& d, const Endpoint& from, bool wrapped, const Request& rq,
                          const Options& oack, uint32_t blksize, std::string* err);
    void SendWindow(Transfer& x);
    void ArmTimer(Transfer& x, uint64_t ms);
    void ReplyError(Device& d, const Endpoint& to, bool wrapped, unsigned code,
                    const std::string& text);
    bool Finalize(Transfer& x);
    void OnTimer(uint32_t xid);
    void EndTransfer(uint32_t xid, const char* result, unsigned code);
    Transfer* Find(uint32_t xid);
    int OpenTransferSocket(Device& d, uint16_t* port);

    void Log(const std::string& line);
    std::string PktLine(Device& d, uint32_t xid, const char* dir, const Endpoint& peer,
                        bool wrapped, const Bytes& pkt);
    bool SendAllowed(uint32_t ip) const { return !fHostNs || IsLoopback(ip); }
    bool Silent(Device& d) const;
    uint64_t DallyMs(const Device& d) const;

    Loop& fLoop;
    bool fHostNs = true;
    uint32_t fSpreadMs = 0;
    std::vector<std::unique_ptr<Device>> fDevices;
    // How many devices have each address: a datagram from one of them is the
    // devices' own traffic, looked up for every datagram.
    std::unordered_map<uint32_t, unsigned> fDeviceIps;
    // Thousands of devices: found by serial, not by a walk.
    std::unordered_map<uint32_t, Device*> fBySerno;
    std::vector<std::unique_ptr<Listener>> fListeners;
    std::map<uint32_t, std::unique_ptr<Transfer>> fXfers;
    uint32_t fNextXfer = 1;
    std::vector<FaultRule> fFaults;
    int fNextFault = 1;
    std::vector<Held> fHeld;
    uint64_t fNextHeld = 1;
    std::vector<std::string> fLog;
    bool fPacketLog = true;
    int fLogFd = -1;
    Counters fCount;
    Traffic fTraffic;
    void CountIn(uint32_t fromIp);
    void PublishCounts(bool slept);
    // A closed socket stays bound a while, reading and counting what still
    // arrives: on loopback nothing would tell the sender that it went nowhere.
    void Bury(int fd);
    int Unbury(uint32_t ip, uint16_t port);
    struct Buried {
        int fd;
        uint32_t ip;
        uint16_t port;
    };
    std::vector<Buried> fBuried;
    WireCount* fShared = nullptr;
    // The traffic with peers on loopback: a test's own process, which counts its side.
    uint64_t fWireIn = 0, fWireOut = 0, fWireRefused = 0;
    uint64_t fOwed = 0;  // delayed handlings and sends still to come
    size_t fPausedOnClock = 0;  // transfers paused until a time on the test's clock
    std::unique_ptr<DelayLine> fDelay;
    uint64_t fUnheardAtStart;
};

// Parses a request path into a host path below the device's root. Answers a
// TFTP error code (1 not found, 2 access violation) or 0.
int MapDevicePath(const Device& d, const std::string& path, std::string* hostPath);

// Damages data, the answer to a read of path, by the first rule of the device
// that applies; answers the rule's how ("" when none did).
std::string DamageReply(Device& d, const std::string& path, Bytes* data);

// Percent-escapes spaces, '=', '%' and control bytes so that a log value stays one token.
std::string Esc(const std::string& s);

// True when this process shares the network namespace of process 1.
bool InHostNetns();

}  // namespace simdev
