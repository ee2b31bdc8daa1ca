#include "tools/simdevice/SimDevice.h"
#include "tools/simdevice/Channels.h"
#include "tools/simdevice/DevCmds.h"
#include "tools/simdevice/FileCmds.h"
#include "tools/simdevice/MonitorCmds.h"
#include "tools/simdevice/FmCmds.h"
#include "tools/simdevice/LinkDelay.h"
#include "tools/simdevice/NsqPlayCmds.h"
#include "tools/simdevice/RecPlayCmds.h"
#include "tools/simdevice/ScheduleCmds.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace simdev {

// ---------------------------------------------------------------- helpers

std::string EpText(const Endpoint& e) {
    return IpText(e.ip) + ":" + std::to_string(e.port);
}

namespace {

uint32_t Get32(const Bytes& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           uint32_t(b[at + 3]);
}

void Put32(Bytes* b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (24 - 8 * i));
}

// A record chunk served well-formed but short of values, as a device of another
// firmware might: its value block ('UDPR') cut to `keep` bytes or left out
// (ReplyDamage::kNone), or (unknown) every sub-chunk replaced by one of a kind
// no reader knows, of `keep` zero bytes. The outer length is set to match.
void Reshape(Bytes* data, bool unknown, uint32_t keep) {
    if (data->size() < 12) return;
    const size_t end = std::min(data->size(), size_t(8) + Get32(*data, 4));
    Bytes out(data->begin(), data->begin() + 12);
    auto sub = [&out](uint32_t tag, const uint8_t* body, uint32_t n) {
        const size_t at = out.size();
        out.resize(at + 8);
        Put32(&out, at, tag);
        Put32(&out, at + 4, n);
        if (body)
            out.insert(out.end(), body, body + n);
        else
            out.resize(out.size() + n);
        if (n & 1) out.push_back(0);
    };
    if (unknown) {
        sub(0x58545241 /* XTRA */, nullptr, keep);
    } else {
        for (size_t at = 12; at + 8 <= end;) {
            const uint32_t tag = Get32(*data, at);
            const uint32_t n = uint32_t(std::min<size_t>(Get32(*data, at + 4), end - at - 8));
            const uint32_t kept = tag == 0x55445052 /* UDPR */ ? std::min(keep, n) : n;
            if (tag != 0x55445052 || keep != ReplyDamage::kNone)
                sub(tag, data->data() + at + 8, kept);
            at = std::min(end, at + 8 + n + (n & 1));
        }
    }
    Put32(&out, 4, uint32_t(out.size() - 8));
    *data = std::move(out);
}

}  // namespace

std::string DamageReply(Device& d, const std::string& path, Bytes* data) {
    for (ReplyDamage& r : d.damages) {
        if (r.path != path || (r.count && r.fired >= r.count)) continue;
        ++r.fired;
        if (r.how == "half") {
            data->resize(data->size() / 2);
        } else if (r.how == "cut") {
            if (r.value < data->size()) data->resize(r.value);
        } else if (r.how == "length") {
            // The outer chunk's length field, big-endian at bytes 4 to 7.
            if (data->size() >= 8)
                for (int i = 0; i < 4; ++i)
                    (*data)[size_t(4 + i)] = uint8_t(r.value >> (24 - 8 * i));
        } else if (r.how == "extra") {
            data->insert(data->end(), r.value, uint8_t(0));
        } else if (r.how == "values" || r.how == "unknown") {
            Reshape(data, r.how == "unknown", r.value);
        }
        return r.how;
    }
    return "";
}

std::string Esc(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c <= ' ' || c == '=' || c == '%' || c >= 0x7f) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out.empty() ? "%" : out;  // "%" alone marks an empty value
}

static std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

static bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool InHostNetns() {
    struct stat a {
    }, b{};
    if (stat("/proc/1/ns/net", &a) == 0 && stat("/proc/self/ns/net", &b) == 0)
        return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    if (stat("/proc/1/net/dev", &a) == 0 && stat("/proc/thread-self/net/dev", &b) == 0)
        return a.st_ino == b.st_ino;
    return true;  // cannot tell: assume the host and stay on loopback
}

static uint64_t SplitMix(uint64_t* s) {
    uint64_t z = (*s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int MapDevicePath(const Device& d, const std::string& path, std::string* hostPath) {
    if (path.empty() || path[0] != '/') return 1;
    std::vector<std::string> segs;
    size_t i = 1;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string seg = path.substr(i, j - i);
        if (seg == "." || seg == "..") return 2;
        if (!seg.empty()) segs.push_back(seg);
        i = j + 1;
    }
    if (segs.empty() || (segs[0] != "sdc" && segs[0] != "ums" && segs[0] != "sys")) return 1;
    if (segs.size() < 2) return 2;  // the area itself is a folder, not a file
    std::string p = d.root;
    for (auto& s : segs) p += "/" + s;
    *hostPath = p;
    return 0;
}

// ---------------------------------------------------------------- loop

uint64_t Loop::Now() const {
    static const auto start = std::chrono::steady_clock::now();
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count());
}

uint64_t Loop::After(uint64_t ms, Fn fn) {
    uint64_t id = fNextId++;
    const uint64_t due = Now() + ms;
    fTimers[id] = Timer{due, std::move(fn)};
    fByDue.emplace(due, id);
    return id;
}

void Loop::Cancel(uint64_t id) {
    const auto it = fTimers.find(id);
    if (it == fTimers.end()) return;
    fByDue.erase({it->second.due, id});
    fTimers.erase(it);
}
void Loop::Watch(int fd, Fn onReadable) {
    fWatch[fd] = std::move(onReadable);
}
void Loop::Unwatch(int fd) {
    fWatch.erase(fd);
}

bool Loop::Run() {
    while (!fStop) {
        uint64_t now = Now();
        int timeout = -1;
        if (!fByDue.empty()) {
            const uint64_t due = fByDue.begin()->first;
            const uint64_t wait = due > now ? due - now : 0;
            timeout = int(wait > 60000 ? 60000 : wait);
        }
        if (fOnTurn && (timeout < 0 || timeout > 10)) timeout = 10;
        std::vector<pollfd> pfds;
        for (auto& [fd, fn] : fWatch) pfds.push_back(pollfd{fd, POLLIN, 0});
        int n = poll(pfds.data(), pfds.size(), timeout);
        if (n < 0 && errno != EINTR) return false;
        if (fOnTurn && n <= 0 && timeout != 0) fOnTurn(true);
        // Timers first, in order of due time, then id.
        now = Now();
        std::vector<std::pair<uint64_t, uint64_t>> due;
        for (auto d = fByDue.begin(); d != fByDue.end() && d->first <= now; ++d) due.push_back(*d);
        for (auto& [when, id] : due) {
            auto it = fTimers.find(id);
            if (it == fTimers.end()) continue;
            Fn fn = std::move(it->second.fn);
            fByDue.erase({when, id});
            fTimers.erase(it);
            fn();
            if (fStop) return true;
        }
        if (n <= 0) {
            if (fOnTurn) fOnTurn(false);
            continue;
        }
        for (auto& p : pfds) {
            if (!(p.revents & (POLLIN | POLLERR | POLLHUP))) continue;
            auto it = fWatch.find(p.fd);
            if (it == fWatch.end()) continue;
            Fn fn = it->second;
            fn();
            if (fStop) return true;
        }
        if (fOnTurn) fOnTurn(false);
    }
    return true;
}

// ---------------------------------------------------------------- state

struct Listener {
    int fd = -1;
    uint32_t ip = 0;
    uint16_t port = 0;
    bool any = false;
    std::vector<uint32_t> sernos;
    // The devices by address, and the directed broadcast addresses in use: a
    // request to one device finds it without asking thousands of others.
    std::unordered_map<uint32_t, std::vector<uint32_t>> byIp;
    std::unordered_map<uint32_t, uint32_t> directed;  // address -> devices using it
};

struct Transfer {
    enum State { kAwaitAck0, kSending, kReceiving, kDally };
    uint32_t id = 0;
    uint32_t serno = 0;
    int fd = -1;
    Endpoint peer;
    bool wrapped = false, write = false, progressed = false, hasOack = false;
    std::string path;
    uint32_t blksize = 512;
    Options oack;
    State state = kSending;
    uint64_t timer = 0;
    // sender
    Bytes data;
    uint64_t base = 1, nextSend = 1, last = 1;
    uint32_t tries = 0;
    // receiver
    uint64_t expected = 1, received = 0, finalBlock = 0;
    int outFd = -1;
    Bytes outBuf;  // received bytes not yet written to outFd
    std::string tmpPath, hostPath;
    std::function<int(Device&, const Bytes&)> cmdWrite;
    Bytes cmdBuf;
    uint64_t nextPause = 0;  // bytes kept after which the device pauses (0: never)
    uint64_t pauseRng = 0;
    bool paused = false;
    // On the test's clock (WireCount::clock), when the pause ends; 0: on this process's.
    uint64_t resumeAt = 0;
    // What arrived during a pause, as the socket would hold it (up to what it holds).
    struct Waiting {
        Endpoint from;
        Bytes wire;
    };
    std::deque<Waiting> waiting;
    size_t waitingBytes = 0;
};

// The distance to the next pause: fixed, or drawn from the transfer's seeded generator.
static uint64_t PauseDistance(const DeviceSettings& s, uint64_t* rng) {
    if (!s.pauseSeed) return s.pauseEvery;
    return s.pauseEvery / 2 + SplitMix(rng) % (uint64_t(s.pauseEvery) + 1);
}

// The namespace's UDP counters of datagrams no socket took (NoPorts, IgnoredMulti).
static uint64_t KernelUnheard() {
    FILE* f = fopen("/proc/thread-self/net/snmp", "r");
    if (!f) return 0;
    char names[1024], values[1024];
    uint64_t total = 0;
    while (fgets(names, sizeof names, f) && fgets(values, sizeof values, f)) {
        if (std::strncmp(names, "Udp:", 4) != 0) continue;
        std::istringstream n(names + 4), v(values + 4);
        std::string name;
        uint64_t value = 0;
        while (n >> name && v >> value)
            if (name == "NoPorts" || name == "IgnoredMulti") total += value;
        break;
    }
    fclose(f);
    return total;
}

Sim::Sim(Loop& loop)
    : fLoop(loop),
      fHostNs(InHostNetns()),
      fDelay(std::make_unique<DelayLine>(loop)),
      fUnheardAtStart(KernelUnheard()) {}

Sim::~Sim() {
    std::vector<uint32_t> ids;
    for (auto& [id, x] : fXfers) ids.push_back(id);
    for (uint32_t id : ids) EndTransfer(id, nullptr, 0);
    for (auto& l : fListeners) close(l->fd);
    for (const Buried& b : fBuried) close(b.fd);
    if (fLogFd >= 0) close(fLogFd);
}

Device* Sim::FindDevice(uint32_t serno) {
    const auto it = fBySerno.find(serno);
    return it == fBySerno.end() ? nullptr : it->second;
}

std::vector<Device*> Sim::Devices() {
    std::vector<Device*> v;
    for (auto& d : fDevices) v.push_back(d.get());
    return v;
}

Transfer* Sim::Find(uint32_t xid) {
    auto it = fXfers.find(xid);
    return it == fXfers.end() ? nullptr : it->second.get();
}

bool Sim::Silent(Device& d) const {
    return fLoop.Now() < d.silentUntil;
}

void Sim::Log(const std::string& line) {
    // Without packet lines, PktLine answers "" and only the fate suffix would remain.
    if (!fPacketLog && (line.empty() || line[0] == ' ')) return;
    fLog.push_back(line);
    if (fLogFd >= 0) {
        std::string l = line + "\n";
        if (write(fLogFd, l.data(), l.size()) < 0) {
            close(fLogFd);
            fLogFd = -1;
        }
    }
}

void Sim::SetLogFile(const std::string& path) {
    if (fLogFd >= 0) close(fLogFd);
    fLogFd =
        path.empty() ? -1 : open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

static bool MakeDirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string p = path.substr(0, i);
            if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

static int MakeSocket(uint32_t ip, uint16_t port, bool broadcast, std::string* err) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *err = "socket failed";
        return -1;
    }
    int one = 1;
    // Only a device's own port is shared. A port the system picks must not be: it
    // would give two transfers the same port, and one the other's datagrams.
    if (port != 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    // A send to a port nobody has comes back as an error (RecvOne counts them).
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &one, sizeof one);
    if (broadcast) setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    int rcv = 1 << 20;  // many devices answering one poll, windows of 50 blocks
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(ip);
    sa.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        *err = "bind " + IpText(ip) + ":" + std::to_string(port) +
               " failed errno=" + std::to_string(errno);
        close(fd);
        return -1;
    }
    return fd;
}

static uint16_t LocalPort(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

// Takes the errors waiting on the socket; counts in *refused the sends to a port
// on loopback that nobody had: the peer is not waiting for them.
static void TakeErrors(int fd, uint64_t* refused) {
    for (;;) {
        sockaddr_in sa{};
        uint8_t data[64];
        iovec iov{data, sizeof data};
        alignas(cmsghdr) char ctl[256];
        msghdr mh{};
        mh.msg_name = &sa;
        mh.msg_namelen = sizeof sa;
        mh.msg_iov = &iov;
        mh.msg_iovlen = 1;
        mh.msg_control = ctl;
        mh.msg_controllen = sizeof ctl;
        if (recvmsg(fd, &mh, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return;
        for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
            sock_extended_err ee;
            std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
            if (ee.ee_origin == SO_EE_ORIGIN_ICMP && ee.ee_type == 3 &&
                IsLoopback(ntohl(sa.sin_addr.s_addr)))
                ++*refused;
        }
    }
}

// Reads one datagram; answers its length (-1 when none) with source and header destination.
static ssize_t RecvOne(int fd, uint8_t* buf, size_t cap, Endpoint* from, uint32_t* dst,
                       uint64_t* refused) {
    sockaddr_in sa{};
    iovec iov{buf, cap};
    alignas(cmsghdr) char ctl[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr mh{};
    mh.msg_name = &sa;
    mh.msg_namelen = sizeof sa;
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    mh.msg_control = ctl;
    mh.msg_controllen = sizeof ctl;
    ssize_t n = recvmsg(fd, &mh, 0);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        // A refused send is reported first, before the datagrams that wait.
        TakeErrors(fd, refused);
        mh.msg_namelen = sizeof sa;
        mh.msg_controllen = sizeof ctl;
        n = recvmsg(fd, &mh, 0);
    }
    if (n < 0) {
        TakeErrors(fd, refused);
        return -1;
    }
    from->ip = ntohl(sa.sin_addr.s_addr);
    from->port = ntohs(sa.sin_port);
    *dst = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo pi;
            std::memcpy(&pi, CMSG_DATA(c), sizeof pi);
            *dst = ntohl(pi.ipi_addr.s_addr);
        }
    }
    return n;
}

// ---------------------------------------------------------------- devices

Listener* Sim::GetListener(uint32_t ip, uint16_t port, bool any, std::string* err) {
    uint32_t bindIp = any ? 0 : ip;
    if (port != 0)
        for (auto& l : fListeners)
            if (l->ip == bindIp && l->port == port && l->any == any) return l.get();
    int fd = port != 0 ? Unbury(bindIp, port) : -1;
    if (fd < 0) fd = MakeSocket(bindIp, port, any, err);
    if (fd < 0) return nullptr;
    auto l = std::make_unique<Listener>();
    l->fd = fd;
    l->ip = bindIp;
    l->port = LocalPort(fd);
    l->any = any;
    Listener* raw = l.get();
    fListeners.push_back(std::move(l));
    fLoop.Watch(fd, [this, raw] { OnListener(raw); });
    return raw;
}

void Sim::DropListener(Listener* l) {
    if (!l->sernos.empty()) return;
    fLoop.Unwatch(l->fd);
    Bury(l->fd);
    for (size_t i = 0; i < fListeners.size(); ++i)
        if (fListeners[i].get() == l) {
            fListeners.erase(fListeners.begin() + long(i));
            break;
        }
}

std::string Sim::AddDevice(uint32_t serno, uint32_t ip, uint32_t mask, const std::string& root,
                           int port, int listenAny, uint16_t* boundPort) {
    if (serno == 0) return "serno must be 1 or more";
    if (FindDevice(serno)) return "serno " + std::to_string(serno) + " exists";
    if (root.empty() || root[0] != '/') return "root must be an absolute path";
    bool any = listenAny < 0 ? !IsLoopback(ip) : listenAny != 0;
    if (fHostNs && !IsLoopback(ip)) return "only 127.0.0.0/8 addresses outside a network namespace";
    if (fHostNs && any) return "listen=any only inside a network namespace";
    for (const char* area : {"/sdc", "/ums", "/sys"})
        if (!MakeDirs(root + area)) return "cannot create " + root + area;
    std::string err;
    Listener* l = GetListener(ip, uint16_t(port < 0 ? 61007 : port), any, &err);
    if (!l) return err;
    auto d = std::make_unique<Device>();
    d->serno = serno;
    d->ip = ip;
    d->mask = mask;
    d->port = l->port;
    d->listenAny = any;
    d->root = root;
    d->listener = l;
    std::string st = "serno=" + std::to_string(serno) + "\n";
    d->status.assign(st.begin(), st.end());
    d->cmds["/.cmd/udkvtstat"].read = [](Device& dev, Bytes* out) {
        *out = dev.status;
        return true;
    };
    InstallChannels(*this, *d);
    InstallScheduleCmds(*d);
    InstallFileCmds(*this, *d);
    InstallDevCmds(*this, *d);
    InstallMonitorCmds(*this, *d);
    InstallFmCmds(*this, *d);
    InstallRecPlayCmds(*this, *d);
    InstallNsqPlayCmds(*this, *d);
    l->sernos.push_back(serno);
    l->byIp[ip].push_back(serno);
    ++l->directed[ip | ~mask];
    *boundPort = l->port;
    fBySerno[serno] = d.get();
    ++fDeviceIps[ip];
    fDevices.push_back(std::move(d));
    return "";
}

std::string Sim::RemoveDevice(uint32_t serno) {
    Device* d = FindDevice(serno);
    if (!d) return "no device " + std::to_string(serno);
    std::vector<uint32_t> ids;
    for (auto& [id, x] : fXfers)
        if (x->serno == serno) ids.push_back(id);
    for (uint32_t id : ids) EndTransfer(id, "removed", 0);
    Listener* l = d->listener;
    std::erase(l->sernos, serno);
    std::erase(l->byIp[d->ip], serno);
    if (--l->directed[d->ip | ~d->mask] == 0) l->directed.erase(d->ip | ~d->mask);
    fBySerno.erase(serno);
    if (--fDeviceIps[d->ip] == 0) fDeviceIps.erase(d->ip);
    DropListener(l);
    for (size_t i = 0; i < fDevices.size(); ++i)
        if (fDevices[i].get() == d) {
            fDevices.erase(fDevices.begin() + long(i));
            break;
        }
    return "";
}

int Sim::AddFault(FaultRule r) {
    r.id = fNextFault++;
    r.rng = r.seed;
    fFaults.push_back(r);
    return r.id;
}

void Sim::ClearFaults(int id) {
    if (id == 0)
        fFaults.clear();
    else
        std::erase_if(fFaults, [id](const FaultRule& r) { return r.id == id; });
}

// ---------------------------------------------------------------- log lines

std::string Sim::PktLine(Device& d, uint32_t xid, const char* dir, const Endpoint& peer,
                         bool wrapped, const Bytes& pkt) {
    if (!fPacketLog) return {};
    std::string s = "pkt t=" + std::to_string(fLoop.Now()) + " dev=" + std::to_string(d.serno) +
                    " x=" + std::to_string(xid) + " dir=" + dir;
    int op = pkt.size() >= 2 ? int(GetU16(pkt.data())) : 0;
    s += std::string(" op=") + (op ? OpName(op) : "?");
    if ((op == kDATA || op == kACK) && pkt.size() >= 4)
        s += " block=" + std::to_string(GetU16(pkt.data() + 2));
    if (op == kDATA && pkt.size() >= 4) s += " size=" + std::to_string(pkt.size() - 4);
    if (op == kERROR && pkt.size() >= 4) s += " code=" + std::to_string(GetU16(pkt.data() + 2));
    Request rq;
    if ((op == kRRQ || op == kWRQ) && ParseRequest(pkt.data(), pkt.size(), &rq)) {
        s += " path=" + Esc(rq.path);
        for (auto& [k, v] : rq.options) s += " opt." + Esc(Lower(k)) + "=" + Esc(v);
    }
    if (op == kOACK) {
        Bytes fake = {0, 1, 'x', 0, 'x', 0};
        fake.insert(fake.end(), pkt.begin() + 2, pkt.end());
        if (ParseRequest(fake.data(), fake.size(), &rq))
            for (auto& [k, v] : rq.options) s += " opt." + Esc(Lower(k)) + "=" + Esc(v);
    }
    s += " len=" + std::to_string(pkt.size()) + " wrap=" + (wrapped ? "1" : "0") +
         " peer=" + EpText(peer);
    return s;
}

// ---------------------------------------------------------------- faults

FaultRule* Sim::MatchFault(Device& d, int dir, const Bytes& pkt) {
    int op = pkt.size() >= 2 ? int(GetU16(pkt.data())) : 0;
    long block = (op == kDATA || op == kACK) && pkt.size() >= 4 ? long(GetU16(pkt.data() + 2)) : -1;
    std::string path;
    Request rq;
    if ((op == kRRQ || op == kWRQ) && ParseRequest(pkt.data(), pkt.size(), &rq)) path = rq.path;
    for (auto& r : fFaults) {
        if (r.serno && r.serno != d.serno) continue;
        if (r.dir && r.dir != dir) continue;
        if (r.op && r.op != op) continue;
        if (r.blockLo >= 0 && (block < r.blockLo || block > r.blockHi)) continue;
        if (!r.path.empty() && r.path != path) continue;
        ++r.seen;
        if (r.seen <= r.skip) continue;
        if (r.count && r.fired >= r.count) continue;
        if (r.percent < 100 && SplitMix(&r.rng) % 100 >= r.percent) continue;
        ++r.fired;
        return &r;
    }
    return nullptr;
}

static std::string HoldKey(uint32_t serno, uint32_t xid, int dir) {
    return std::to_string(serno) + "/" + std::to_string(xid) + "/" + std::to_string(dir);
}

// A packet held for reordering goes after the next packet of the same device,
// transfer and direction, or after `ms` when none comes.
void Sim::Hold(const std::string& key, uint32_t ms, std::function<void()> release) {
    uint64_t seq = fNextHeld++;
    uint64_t timer = fLoop.After(ms ? ms : 1000, [this, seq] { ReleaseOne(seq); });
    fHeld.push_back(Held{key, seq, timer, std::move(release)});
}

void Sim::ReleaseOne(uint64_t seq) {
    for (size_t i = 0; i < fHeld.size(); ++i)
        if (fHeld[i].seq == seq) {
            auto fn = std::move(fHeld[i].release);
            fLoop.Cancel(fHeld[i].timer);
            fHeld.erase(fHeld.begin() + long(i));
            fn();
            return;
        }
}

void Sim::ReleaseHeld(const std::string& key) {
    std::vector<uint64_t> seqs;
    for (auto& h : fHeld)
        if (h.key == key) seqs.push_back(h.seq);
    for (uint64_t s : seqs) ReleaseOne(s);
}

void Sim::Incoming(Device& d, uint32_t xid, const Endpoint& from, bool wrapped, const Bytes& pkt,
                   std::function<void()> handle) {
    std::string line = PktLine(d, xid, "in", from, wrapped, pkt);
    if (Silent(d)) {
        Log(line + " fate=silent");
        return;
    }
    FaultRule* m = MatchFault(d, 1, pkt);
    if (!m) {
        Log(line + " fate=recv");
        uint32_t serno = d.serno;
        handle();
        if (!fHeld.empty()) ReleaseHeld(HoldKey(serno, xid, 1));
        return;
    }
    FaultRule r = *m;
    std::string fate = " fate=" + r.action + " rule=" + std::to_string(r.id);
    if (r.action == "drop") {
        Log(line + fate);
    } else if (r.action == "dup") {
        Log(line + fate + " copies=" + std::to_string(r.copies));
        for (uint32_t i = 0; i <= r.copies; ++i) handle();
    } else if (r.action == "delay") {
        Log(line + fate + " ms=" + std::to_string(r.ms));
        ++fOwed;
        fLoop.After(r.ms, [this, line, handle] {
            --fOwed;
            Log(line + " fate=late");
            handle();
        });
    } else if (r.action == "reorder") {
        Log(line + fate);
        Hold(HoldKey(d.serno, xid, 1), r.ms, [this, line, handle] {
            Log(line + " fate=release");
            handle();
        });
    } else if (r.action == "silence") {
        d.silentUntil = r.ms ? fLoop.Now() + r.ms : UINT64_MAX;
        Log(line + fate + " ms=" + std::to_string(r.ms));
    } else {  // error
        Log(line + fate + " code=" + std::to_string(r.code));
        RawSend(d, xid, from, wrapped, MakeError(r.code, r.text), "sent");
        if (xid) EndTransfer(xid, "error", r.code);
    }
}

int Sim::FdFor(Device& d, uint32_t xid) {
    if (xid) {
        Transfer* x = Find(xid);
        return x ? x->fd : -1;
    }
    return d.listener ? d.listener->fd : -1;
}

void Sim::Emit(Device& d, uint32_t xid, const Endpoint& to, bool wrapped, const Bytes& pkt) {
    std::string line = PktLine(d, xid, "out", to, wrapped, pkt);
    if (Silent(d)) {
        Log(line + " fate=silent");
        return;
    }
    FaultRule* m = MatchFault(d, 2, pkt);
    if (!m) {
        RawSend(d, xid, to, wrapped, pkt, "sent");
        if (!fHeld.empty()) ReleaseHeld(HoldKey(d.serno, xid, 2));
        return;
    }
    FaultRule r = *m;
    std::string fate = " fate=" + r.action + " rule=" + std::to_string(r.id);
    uint32_t serno = d.serno;
    // Deferred sends look the device and transfer up again: either may be gone.
    auto later = [this, serno, xid, to, wrapped, pkt](const char* how) {
        Device* dev = FindDevice(serno);
        if (dev && (xid == 0 || Find(xid))) RawSend(*dev, xid, to, wrapped, pkt, how);
    };
    if (r.action == "drop") {
        Log(line + fate);
    } else if (r.action == "dup") {
        RawSend(d, xid, to, wrapped, pkt, "sent");
        for (uint32_t i = 0; i < r.copies; ++i) RawSend(d, xid, to, wrapped, pkt, "dup");
    } else if (r.action == "delay") {
        Log(line + fate + " ms=" + std::to_string(r.ms));
        ++fOwed;
        fLoop.After(r.ms, [this, later] {
            --fOwed;
            later("late");
        });
    } else if (r.action == "reorder") {
        Log(line + fate);
        Hold(HoldKey(serno, xid, 2), r.ms, [later] { later("release"); });
    } else if (r.action == "silence") {
        d.silentUntil = r.ms ? fLoop.Now() + r.ms : UINT64_MAX;
        Log(line + fate + " ms=" + std::to_string(r.ms));
    } else if (r.action == "empty") {
        // A datagram of no bytes goes first, then the packet itself.
        RawSend(d, r.fromOther ? 0 : xid, to, false, Bytes(), "empty");
        RawSend(d, xid, to, wrapped, pkt, "sent");
    } else {  // error: the packet is replaced by an ERROR and the transfer ends
        Log(line + fate + " code=" + std::to_string(r.code));
        RawSend(d, xid, to, wrapped, MakeError(r.code, r.text), "sent");
        if (xid) EndTransfer(xid, "error", r.code);
    }
}

void Sim::RawSend(Device& d, uint32_t xid, const Endpoint& to, bool wrapped, const Bytes& pkt,
                  const char* fate) {
    const uint32_t serno = d.serno;
    const bool deferred = fDelay->Defer(d, [this, serno, xid, to, wrapped, pkt, fate] {
        // The transfer may have ended meanwhile: its socket is gone, as the packet would be.
        Device* dev = FindDevice(serno);
        if (dev && (xid == 0 || Find(xid))) SendNow(*dev, xid, to, wrapped, pkt, fate);
    });
    if (!deferred) SendNow(d, xid, to, wrapped, pkt, fate);
}

void Sim::SendNow(Device& d, uint32_t xid, const Endpoint& to, bool wrapped, const Bytes& pkt,
                  const char* fate) {
    std::string line = PktLine(d, xid, "out", to, wrapped, pkt);
    int fd = FdFor(d, xid);
    Endpoint dest = to;
    // A wrapped answer goes to everybody: the asker may sit on another subnet.
    // On loopback there is no broadcast, so it goes straight back.
    if (wrapped && d.listenAny && !IsLoopback(d.ip)) dest.ip = 0xffffffffu;
    if (fd < 0 || !SendAllowed(dest.ip)) {
        Log(line + " fate=blocked");
        return;
    }
    Bytes wire = wrapped ? Wrap(to.ip, pkt) : pkt;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(dest.ip);
    sa.sin_port = htons(dest.port);
    iovec iov{wire.data(), wire.size()};
    msghdr mh{};
    mh.msg_name = &sa;
    mh.msg_namelen = sizeof sa;
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    alignas(cmsghdr) char ctl[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (d.listenAny) {  // the socket listens on every address: answer from the device's own
        mh.msg_control = ctl;
        mh.msg_controllen = sizeof ctl;
        cmsghdr* c = CMSG_FIRSTHDR(&mh);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo pi{};
        pi.ipi_spec_dst.s_addr = htonl(d.ip);
        std::memcpy(CMSG_DATA(c), &pi, sizeof pi);
    }
    ssize_t sent = sendmsg(fd, &mh, 0);
    if (sent < 0 && errno == ECONNREFUSED) {
        // The error of an earlier send, reported on this one: this one did not leave.
        TakeErrors(fd, &fWireRefused);
        sent = sendmsg(fd, &mh, 0);
    }
    if (sent < 0) {
        Log(line + " fate=" + fate + " err=" + std::to_string(errno));
    } else {
        ++fTraffic.out;
        if (IsLoopback(dest.ip)) ++fWireOut;
        if (dest.ip == 0xffffffffu) ++fTraffic.broadcasts;
        Log(line + " fate=" + fate);
    }
}

void Sim::CountIn(uint32_t fromIp) {
    if (fDeviceIps.count(fromIp)) return;
    ++fTraffic.in;
    if (IsLoopback(fromIp)) ++fWireIn;
}

uint64_t Sim::UnheardIn() const {
    // The host's counters count every other program's datagrams too.
    if (fHostNs) return 0;
    const uint64_t now = KernelUnheard() - fUnheardAtStart;
    return now > fTraffic.broadcasts ? now - fTraffic.broadcasts : 0;
}

size_t Sim::SendsHeldBack() const {
    return fDelay->Pending();
}

void Sim::ShareCounts(WireCount* shared) {
    fShared = shared;
    fLoop.OnTurn([this](bool slept) { PublishCounts(slept); });
}

// Once a turn is over: a datagram counted in here has been handled, and its
// answers are counted out.
void Sim::PublishCounts(bool slept) {
    const uint64_t wake = ResumeDue();
    WireCount& w = *fShared;
    // Sequentially consistent throughout, rather than with fences: a
    // ThreadSanitizer build of the tests cannot follow fences.
    const uint64_t seq = w.seq.load();
    w.seq.store(seq + 1);
    w.in.store(fWireIn);
    w.out.store(fWireOut);
    w.refused.store(fWireRefused);
    w.pending.store(fDelay->Pending() + fHeld.size() + fOwed);
    w.wake.store(wake);
    if (slept) w.idle.store(w.idle.load() + 1);
    w.seq.store(seq + 2);
}

void Sim::Bury(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        close(fd);
        return;
    }
    // Enough for the transfers of a test that could still hear a late resend;
    // thousands of devices must not keep thousands of ports.
    if (fBuried.size() >= 128) {
        fLoop.Unwatch(fBuried.front().fd);
        close(fBuried.front().fd);
        fBuried.erase(fBuried.begin());
    }
    fBuried.push_back(Buried{fd, ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)});
    fLoop.Watch(fd, [this, fd] {
        uint8_t buf[2048];
        Endpoint from;
        uint32_t dst = 0;
        while (RecvOne(fd, buf, sizeof buf, &from, &dst, &fWireRefused) >= 0) CountIn(from.ip);
    });
}

// A socket of a removed device, bound to the address and port a new one needs.
int Sim::Unbury(uint32_t ip, uint16_t port) {
    for (size_t i = 0; i < fBuried.size(); ++i)
        if (fBuried[i].ip == ip && fBuried[i].port == port) {
            const int fd = fBuried[i].fd;
            fLoop.Unwatch(fd);
            fBuried.erase(fBuried.begin() + long(i));
            return fd;
        }
    return -1;
}

void Sim::ReplyError(Device& d, const Endpoint& to, bool wrapped, unsigned code,
                     const std::string& text) {
    Emit(d, 0, to, wrapped, MakeError(code, text));
}

// ---------------------------------------------------------------- receiving

void Sim::OnListener(Listener* l) {
    uint8_t buf[2048];
    for (;;) {
        // The listener may have gone while handling the previous datagram.
        bool alive = false;
        for (auto& p : fListeners) alive = alive || p.get() == l;
        if (!alive) return;
        Endpoint from;
        uint32_t dst = 0;
        ssize_t n = RecvOne(l->fd, buf, sizeof buf, &from, &dst, &fWireRefused);
        if (n < 0) return;
        CountIn(from.ip);
        if (!SendAllowed(from.ip)) continue;  // outside a namespace only loopback peers get answers
        // What reached the transfer sockets came first: a finished or abandoned
        // transfer must not be taken for the one this request repeats.
        // Only the asker's own transfers can be the one a request repeats.
        std::vector<uint32_t> ids;
        for (auto& [id, x] : fXfers)
            if (x->peer == from) ids.push_back(id);
        for (uint32_t id : ids) OnTransferSocket(id);
        uint32_t target = dst;
        bool wrapped = IsWrapped(buf, size_t(n), &target);
        size_t off = wrapped ? kWrapLen : 0;
        Bytes pkt(buf + off, buf + n);
        // A broadcast reaches every device of the listener, a request to one
        // address the devices there.
        const bool toMany = target == 0xffffffffu || l->directed.count(target) != 0;
        std::vector<uint32_t> sernos;
        if (toMany) {
            sernos = l->sernos;
        } else if (const auto at = l->byIp.find(target); at != l->byIp.end()) {
            sernos = at->second;
        }
        for (uint32_t s : sernos) {
            Device* d = FindDevice(s);
            if (!d) continue;
            bool bcast = target == 0xffffffffu || target == (d->ip | ~d->mask);
            if (target != d->ip && !bcast) continue;
            Incoming(*d, 0, from, wrapped, pkt, [this, s, from, wrapped, pkt, bcast] {
                const uint32_t spread =
                    bcast && fSpreadMs ? uint32_t((uint64_t(s) * 2654435761u) % fSpreadMs) : 0;
                if (!spread) {
                    if (Device* dev = FindDevice(s)) HandleRequest(*dev, from, wrapped, pkt);
                    return;
                }
                ++fOwed;
                fLoop.After(spread, [this, s, from, wrapped, pkt] {
                    --fOwed;
                    if (Device* dev = FindDevice(s)) HandleRequest(*dev, from, wrapped, pkt);
                });
            });
        }
    }
}

// A paused transfer leaves what arrives until the pause is over. A test on a
// virtual clock shares it: the pause lasts that long on the test's clock, which
// the test does not move past its end (WireCount::wake).
void Sim::PauseTransfer(uint32_t xid, uint32_t ms) {
    Transfer* x = Find(xid);
    if (!x) return;
    x->paused = true;
    ++fCount.pauses;
    const uint64_t clock = fShared ? fShared->clock.load(std::memory_order_acquire) : 0;
    if (clock) {
        x->resumeAt = clock + ms;
        ++fPausedOnClock;
        return;
    }
    fLoop.After(ms, [this, xid] { Resume(xid); });
}

void Sim::Resume(uint32_t xid) {
    Transfer* t = Find(xid);
    if (!t) return;
    t->paused = false;
    if (t->resumeAt) --fPausedOnClock;
    t->resumeAt = 0;
    OnTransferSocket(xid);
}

// The pauses over on the test's clock end; answers the earliest end still to come (0: none).
uint64_t Sim::ResumeDue() {
    // Thousands of transfers: no walk over them on every turn.
    if (!fPausedOnClock) return 0;
    const uint64_t clock = fShared->clock.load(std::memory_order_acquire);
    std::vector<uint32_t> due;
    uint64_t next = 0;
    for (auto& [id, x] : fXfers) {
        if (!x->paused || !x->resumeAt) continue;
        // A test whose clock is gone waits for nothing.
        if (!clock || clock >= x->resumeAt)
            due.push_back(id);
        else if (!next || x->resumeAt < next)
            next = x->resumeAt;
    }
    for (uint32_t id : due) Resume(id);
    return next;
}

void Sim::OnTransferSocket(uint32_t xid) {
    uint8_t buf[2048];
    for (;;) {
        Transfer* x = Find(xid);
        if (!x) return;
        Endpoint from;
        uint32_t dst = 0;
        ssize_t n;
        if (x->paused) {
            // Read it all the same, so that the socket does not stay readable.
            n = RecvOne(x->fd, buf, sizeof buf, &from, &dst, &fWireRefused);
            if (n < 0) return;
            CountIn(from.ip);
            if (x->waitingBytes + size_t(n) <= kWaitingCap) {
                x->waiting.push_back(Transfer::Waiting{from, Bytes(buf, buf + n)});
                x->waitingBytes += size_t(n);
            }
            continue;
        }
        if (!x->waiting.empty()) {
            Transfer::Waiting& w = x->waiting.front();
            from = w.from;
            n = ssize_t(w.wire.size());
            std::memcpy(buf, w.wire.data(), w.wire.size());
            x->waitingBytes -= w.wire.size();
            x->waiting.pop_front();
        } else {
            n = RecvOne(x->fd, buf, sizeof buf, &from, &dst, &fWireRefused);
            if (n < 0) return;
            CountIn(from.ip);
        }
        Device* d = FindDevice(x->serno);
        if (!d) return;
        uint32_t target = 0;
        bool wrapped = IsWrapped(buf, size_t(n), &target);
        size_t off = wrapped ? kWrapLen : 0;
        Bytes pkt(buf + off, buf + n);
        if ((wrapped && target != d->ip) || !(from == x->peer)) {
            Log(PktLine(*d, xid, "in", from, wrapped, pkt) +
                (wrapped && target != d->ip ? " fate=ignore why=target" : " fate=ignore why=tid"));
            continue;
        }
        Incoming(*d, xid, from, wrapped, pkt, [this, xid, pkt] { HandleTransferPacket(xid, pkt); });
    }
}

// ---------------------------------------------------------------- requests

void Sim::HandleRequest(Device& d, const Endpoint& from, bool wrapped, const Bytes& pkt) {
    std::string head = "req t=" + std::to_string(fLoop.Now()) + " dev=" + std::to_string(d.serno);
    Request rq;
    int op = pkt.size() >= 2 ? int(GetU16(pkt.data())) : 0;
    if (op != kRRQ && op != kWRQ) {
        Log(head + " x=0 ans=ignore why=opcode");
        return;
    }
    if (!ParseRequest(pkt.data(), pkt.size(), &rq)) {
        Log(head + " x=0 ans=error code=4 why=malformed");
        ReplyError(d, from, wrapped, 4, "malformed request");
        return;
    }
    head += std::string(" op=") + OpName(op) + " path=" + Esc(rq.path);
    // A repeated request (its answer was lost) gets the first answer again.
    for (auto& [id, x] : fXfers) {
        if (x->serno != d.serno || !(x->peer == from) || x->path != rq.path ||
            x->write != (op == kWRQ))
            continue;
        if (x->progressed) {
            // The asker gave that one up and reuses its port: the new request wins.
            EndTransfer(id, "superseded", 0);
            break;
        }
        Log(head + " x=" + std::to_string(id) + " ans=again");
        uint32_t xid = id;
        if (x->hasOack) {
            Emit(d, xid, x->peer, x->wrapped, MakeOack(x->oack));
        } else if (x->write) {
            Emit(d, xid, x->peer, x->wrapped, MakeAck(0));
        } else {
            x->nextSend = x->base;
            SendWindow(*x);
        }
        return;
    }
    uint32_t blksize = 512;
    Options oack;
    for (auto& [k, v] : rq.options) {
        std::string key = Lower(k);
        if (key == "serno") {
            // Devices answer their own serial and the "everybody" serial 0 only.
            uint64_t s = AllDigits(v) ? std::strtoull(v.c_str(), nullptr, 10) : UINT64_MAX;
            const uint32_t as = d.set.claim ? d.set.claim : d.serno;
            if (s != 0 && s != as) {
                Log(head + " x=0 ans=ignore why=serno");
                return;
            }
            oack.emplace_back("serno", std::to_string(as));
        } else if (key == "blksize") {
            uint64_t b = AllDigits(v) ? std::strtoull(v.c_str(), nullptr, 10) : 0;
            if (b < 8) {
                Log(head + " x=0 ans=error code=8 why=blksize");
                ReplyError(d, from, wrapped, 8, "bad blksize");
                return;
            }
            uint32_t cap =
                d.set.maxBlk > (wrapped ? 16u : 8u) ? d.set.maxBlk - (wrapped ? 8 : 0) : 8;
            blksize = uint32_t(b < cap ? b : cap);
            if (d.set.blkReply) blksize = d.set.blkReply;
            oack.emplace_back("blksize", std::to_string(blksize));
        }
    }
    if (d.set.ignoreOptions) {
        oack.clear();
        blksize = 512;
    }
    std::string err;
    Transfer* x = NewTransfer(d, from, wrapped, rq, oack, blksize, &err);
    if (!x) {
        unsigned code = unsigned(err[0] - '0');
        Log(head + " x=0 ans=error code=" + std::to_string(code) + " why=" + Esc(err.substr(2)));
        ReplyError(d, from, wrapped, code, err.substr(2));
        return;
    }
    uint32_t xid = x->id;
    Log(head + " x=" + std::to_string(xid) + " blksize=" + std::to_string(blksize) + " ans=" +
        (x->hasOack ? "oack"
         : x->write ? "ack"
                    : "data"));
    if (x->hasOack) {
        Emit(d, xid, x->peer, x->wrapped, MakeOack(x->oack));
        if (Transfer* y = Find(xid)) ArmTimer(*y, y->write ? d.set.idleMs : d.set.rtoMs);
    } else if (x->write) {
        Emit(d, xid, x->peer, x->wrapped, MakeAck(0));
        if (Transfer* y = Find(xid)) ArmTimer(*y, d.set.idleMs);
    } else {
        SendWindow(*x);
    }
}

int Sim::OpenTransferSocket(Device& d, uint16_t* port) {
    std::string err;
    int fd = MakeSocket(d.listenAny ? 0 : d.ip, 0, d.listenAny, &err);
    if (fd >= 0) *port = LocalPort(fd);
    return fd;
}

// err gets "<code> <text>" when the request is refused.
Transfer* Sim::NewTransfer(Device& d, const Endpoint& from, bool wrapped, const Request& rq,
                           const Options& oack, uint32_t blksize, std::string* err) {
    auto x = std::make_unique<Transfer>();
    x->serno = d.serno;
    x->peer = from;
    x->wrapped = wrapped;
    x->write = rq.op == kWRQ;
    x->path = rq.path;
    x->blksize = blksize;
    x->oack = oack;
    x->hasOack = !oack.empty();
    const bool isCmd = rq.path.rfind("/.cmd/", 0) == 0;
    if (isCmd) {
        auto it = d.cmds.find(rq.path);
        if (it == d.cmds.end()) {
            // A path below a command file that serves its sub-paths.
            for (auto c = d.cmds.begin(); c != d.cmds.end(); ++c) {
                const std::string& base = c->first;
                if (rq.path.size() > base.size() && rq.path.compare(0, base.size(), base) == 0 &&
                    rq.path[base.size()] == '/' && (c->second.readAt || c->second.writeAt)) {
                    const std::string rest = rq.path.substr(base.size());
                    const CmdFile& f = c->second;
                    if (x->write) {
                        if (!f.writeAt) {
                            *err = "2 access violation";
                            return nullptr;
                        }
                        x->cmdWrite = [w = f.writeAt, rest](Device& dev, const Bytes& b) {
                            return w(dev, rest, b);
                        };
                    } else if (!f.readAt || !f.readAt(d, rest, &x->data)) {
                        *err = "1 file not found";
                        return nullptr;
                    }
                    it = c;
                    break;
                }
            }
            if (it == d.cmds.end()) {
                *err = "1 file not found";
                return nullptr;
            }
        } else if (x->write) {
            if (!it->second.write) {
                *err = "2 access violation";
                return nullptr;
            }
            x->cmdWrite = it->second.write;
        } else if (!it->second.read || !it->second.read(d, &x->data)) {
            *err = "2 access violation";
            return nullptr;
        }
    } else {
        int code = MapDevicePath(d, rq.path, &x->hostPath);
        if (code) {
            *err = code == 1 ? "1 file not found" : "2 access violation";
            return nullptr;
        }
        if (x->write) {
            size_t slash = x->hostPath.rfind('/');
            if (!MakeDirs(x->hostPath.substr(0, slash))) {
                *err = "2 access violation";
                return nullptr;
            }
            std::string tmpl = x->hostPath.substr(0, slash) + "/.kvsimdev-XXXXXX";
            std::vector<char> t(tmpl.begin(), tmpl.end());
            t.push_back(0);
            x->outFd = mkstemp(t.data());
            if (x->outFd < 0) {
                *err = "2 access violation";
                return nullptr;
            }
            x->tmpPath = t.data();
        } else {
            int fd = open(x->hostPath.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {};
            if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                if (fd >= 0) close(fd);
                *err = errno == EACCES ? "2 access violation" : "1 file not found";
                return nullptr;
            }
            x->data.resize(size_t(st.st_size));
            size_t got = 0;
            while (got < x->data.size()) {
                ssize_t r = read(fd, x->data.data() + got, x->data.size() - got);
                if (r <= 0) break;
                got += size_t(r);
            }
            close(fd);
            x->data.resize(got);
        }
    }
    if (!x->write) {
        const std::string how = DamageReply(d, rq.path, &x->data);
        if (!how.empty())
            Log("damage dev=" + std::to_string(d.serno) + " path=" + Esc(rq.path) + " how=" + how +
                " bytes=" + std::to_string(x->data.size()));
    }
    uint16_t port = 0;
    x->fd = OpenTransferSocket(d, &port);
    if (x->fd < 0) {
        if (x->outFd >= 0) {
            close(x->outFd);
            unlink(x->tmpPath.c_str());
        }
        *err = "0 no socket";
        return nullptr;
    }
    x->id = fNextXfer++;
    x->last =
        x->data.size() / blksize + 1;  // a multiple of the block size ends with an empty block
    x->state =
        x->write ? Transfer::kReceiving : (x->hasOack ? Transfer::kAwaitAck0 : Transfer::kSending);
    uint32_t xid = x->id;
    fLoop.Watch(x->fd, [this, xid] { OnTransferSocket(xid); });
    Transfer* raw = x.get();
    fXfers[xid] = std::move(x);
    return raw;
}

// ---------------------------------------------------------------- transfers

void Sim::ArmTimer(Transfer& x, uint64_t ms) {
    if (x.timer) fLoop.Cancel(x.timer);
    uint32_t xid = x.id;
    x.timer = fLoop.After(ms, [this, xid] {
        if (Transfer* t = Find(xid)) t->timer = 0;
        OnTimer(xid);
    });
}

void Sim::SendWindow(Transfer& x0) {
    uint32_t xid = x0.id;
    Device* d = FindDevice(x0.serno);
    if (!d) return;
    uint32_t window = d->set.window ? d->set.window : 1;
    for (;;) {
        Transfer* x = Find(xid);
        if (!x) return;  // a fault ended it
        if (x->nextSend >= x->base + window || x->nextSend > x->last) break;
        uint64_t n = x->nextSend++;
        size_t off = size_t((n - 1) * x->blksize);
        size_t len = off >= x->data.size() ? 0 : std::min<size_t>(x->blksize, x->data.size() - off);
        Emit(*d, xid, x->peer, x->wrapped, MakeData(unsigned(n), x->data.data() + off, len));
    }
    if (Transfer* x = Find(xid)) {
        ArmTimer(*x, d->set.rtoMs);
        // A trickling answer: what the asker sends back waits, and the next block
        // with it, that long on the test's clock.
        if (d->set.trickleMs && x->nextSend <= x->last) PauseTransfer(xid, d->set.trickleMs);
    }
}

void Sim::OnTimer(uint32_t xid) {
    Transfer* x = Find(xid);
    Device* d = x ? FindDevice(x->serno) : nullptr;
    if (!x || !d) return;
    switch (x->state) {
        case Transfer::kDally:
            EndTransfer(xid, nullptr, 0);
            return;
        case Transfer::kReceiving:
            EndTransfer(xid, "timeout", 0);
            return;
        case Transfer::kAwaitAck0:
        case Transfer::kSending:
            if (++x->tries > d->set.retries) {
                EndTransfer(xid, "timeout", 0);
                return;
            }
            if (x->state == Transfer::kAwaitAck0) {
                Emit(*d, xid, x->peer, x->wrapped, MakeOack(x->oack));
                if (Transfer* y = Find(xid)) ArmTimer(*y, d->set.rtoMs);
            } else {
                x->nextSend = x->base;  // go back to the oldest unacknowledged block
                SendWindow(*x);
            }
            return;
    }
}

// Received bytes go to the file in large pieces: a write per block made the
// host's file system, not the protocol, the limit of every upload measured here.
static constexpr size_t kOutChunk = 64 * 1024;

static bool FlushOut(Transfer& x) {
    size_t done = 0;
    while (done < x.outBuf.size()) {
        ssize_t n = write(x.outFd, x.outBuf.data() + done, x.outBuf.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    const bool ok = done == x.outBuf.size();
    x.outBuf.clear();
    return ok;
}

bool Sim::Finalize(Transfer& x) {
    if (x.cmdWrite) {
        Device* d = FindDevice(x.serno);
        return d && x.cmdWrite(*d, x.cmdBuf) == 0;
    }
    // No fsync: the rename keeps readers from seeing half a file, and nothing
    // here simulates losing power. A flush per upload would put the host's disk
    // into every timing measured against this program.
    bool ok = FlushOut(x);
    ok = close(x.outFd) == 0 && ok;
    x.outFd = -1;
    if (ok) ok = rename(x.tmpPath.c_str(), x.hostPath.c_str()) == 0;
    if (!ok) unlink(x.tmpPath.c_str());
    x.tmpPath.clear();
    return ok;
}

size_t Sim::ActiveTransfers() const {
    size_t n = 0;
    for (const auto& [id, x] : fXfers) n += x->state != Transfer::kDally;
    return n;
}

// How long a finished upload keeps answering resent blocks: past the sender's
// retransmission time-out, which backs off under loss, yet not so long that idle
// waits in tests drag on.
uint64_t Sim::DallyMs(const Device& d) const {
    return std::max<uint64_t>(
        {3000, 2 * uint64_t(d.set.rtoMs), std::min<uint64_t>(d.set.idleMs, 10000)});
}

void Sim::HandleTransferPacket(uint32_t xid, const Bytes& pkt) {
    Transfer* x = Find(xid);
    Device* d = x ? FindDevice(x->serno) : nullptr;
    if (!x || !d || pkt.size() < 4) return;
    int op = int(GetU16(pkt.data()));
    unsigned block = GetU16(pkt.data() + 2);
    if (op == kERROR) {
        if (x->state == Transfer::kDally)
            EndTransfer(xid, nullptr, 0);
        else
            EndTransfer(xid, "peer-error", block);
        return;
    }
    if (!x->write && op == kACK) {
        if (x->state == Transfer::kAwaitAck0) {
            if (block != 0) return;
            x->state = Transfer::kSending;
            x->progressed = true;
            x->base = x->nextSend = 1;
            x->tries = 0;
            SendWindow(*x);
            return;
        }
        // Only the acknowledgement of the oldest block in flight moves on: the
        // receiver also acknowledges blocks it did not keep.
        if (block != (x->base & 0xffff)) return;
        x->progressed = true;
        x->base++;
        x->tries = 0;
        if (x->base > x->last) {
            EndTransfer(xid, "ok", 0);
            return;
        }
        if (x->nextSend < x->base) x->nextSend = x->base;
        SendWindow(*x);
        return;
    }
    if (x->write && op == kDATA) {
        size_t len = pkt.size() - 4;
        ++fCount.dataIn;
        if (block != (x->expected & 0xffff)) ++fCount.dataDup;
        if (x->state == Transfer::kDally) {
            // The sender's acknowledgements are not cumulative: when one of ours was
            // lost it resends from that block, so every late block is acknowledged again.
            Emit(*d, xid, x->peer, x->wrapped, MakeAck(block));
            if (Transfer* y = Find(xid)) ArmTimer(*y, DallyMs(*d));
            return;
        }
        if (len > x->blksize) {
            Emit(*d, xid, x->peer, x->wrapped, MakeError(4, "block too large"));
            EndTransfer(xid, "error", 4);
            return;
        }
        bool pause = false;
        if (block == (x->expected & 0xffff)) {
            x->progressed = true;
            bool ok = true;
            if (x->cmdWrite) {
                x->cmdBuf.insert(x->cmdBuf.end(), pkt.begin() + 4, pkt.end());
            } else if (len) {
                x->outBuf.insert(x->outBuf.end(), pkt.begin() + 4, pkt.end());
                if (x->outBuf.size() >= kOutChunk) ok = FlushOut(*x);
            }
            x->received += len;
            bool final = len < x->blksize;
            if (d->set.pauseMs && d->set.pauseEvery && !final) {
                if (!x->nextPause) {
                    x->pauseRng = d->set.pauseSeed;
                    x->nextPause = PauseDistance(d->set, &x->pauseRng);
                }
                if (x->received >= x->nextPause) {
                    x->nextPause += PauseDistance(d->set, &x->pauseRng);
                    pause = true;
                }
            }
            if (ok && final) ok = Finalize(*x);
            if (!ok) {
                Emit(*d, xid, x->peer, x->wrapped, MakeError(3, "disk full"));
                EndTransfer(xid, "error", 3);
                return;
            }
            // The file is in place before the last acknowledgement leaves.
            x->finalBlock = x->expected++;
            if (final) {
                x->state = Transfer::kDally;
                Log("end t=" + std::to_string(fLoop.Now()) + " dev=" + std::to_string(d->serno) +
                    " x=" + std::to_string(xid) +
                    " result=ok code=0 bytes=" + std::to_string(x->received));
            }
        }
        // Every block is acknowledged with its own number; out of order ones are not kept.
        Emit(*d, xid, x->peer, x->wrapped, MakeAck(block));
        if (Transfer* y = Find(xid))
            ArmTimer(*y, y->state == Transfer::kDally ? DallyMs(*d) : d->set.idleMs);
        if (pause) PauseTransfer(xid, d->set.pauseMs);
    }
}

void Sim::EndTransfer(uint32_t xid, const char* result, unsigned code) {
    auto it = fXfers.find(xid);
    if (it == fXfers.end()) return;
    std::unique_ptr<Transfer> x = std::move(it->second);
    fXfers.erase(it);
    if (result) {
        uint64_t bytes =
            x->write ? x->received : std::min<uint64_t>((x->base - 1) * x->blksize, x->data.size());
        Log("end t=" + std::to_string(fLoop.Now()) + " dev=" + std::to_string(x->serno) +
            " x=" + std::to_string(xid) + " result=" + result + " code=" + std::to_string(code) +
            " bytes=" + std::to_string(bytes));
    }
    if (x->timer) fLoop.Cancel(x->timer);
    if (x->resumeAt) --fPausedOnClock;
    fLoop.Unwatch(x->fd);
    Bury(x->fd);
    if (x->outFd >= 0) close(x->outFd);
    if (!x->tmpPath.empty()) unlink(x->tmpPath.c_str());
    std::string prefix = std::to_string(x->serno) + "/" + std::to_string(xid) + "/";
    for (size_t i = 0; i < fHeld.size();)
        if (fHeld[i].key.rfind(prefix, 0) == 0) {
            fLoop.Cancel(fHeld[i].timer);
            fHeld.erase(fHeld.begin() + long(i));
        } else {
            ++i;
        }
}

}  // namespace simdev
