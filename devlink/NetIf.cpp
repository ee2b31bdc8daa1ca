#include "devlink/NetIf.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The kernel's netlink walking macros compare the signed remaining length with
// unsigned header lengths.
#pragma GCC diagnostic ignored "-Wsign-compare"

#include <atomic>
#include <cerrno>
#include <cstring>

CIfAddrList::CIfAddrList() {
    if (getifaddrs(&fList) != 0) fList = nullptr;
}

CIfAddrList::~CIfAddrList() {
    if (fList) freeifaddrs(fList);
}

bool CIfAddrList::Next() {
    if (!fStarted) {
        fStarted = true;
        fCurrent = fList;
    } else if (fCurrent) {
        fCurrent = fCurrent->ifa_next;
    }
    return fCurrent != nullptr;
}

u32 CIfAddrList::GetIndex() const {
    return fCurrent && fCurrent->ifa_name ? if_nametoindex(fCurrent->ifa_name) : 0;
}

bool CIfAddrList::IsIPv4() const {
    return fCurrent && fCurrent->ifa_addr && fCurrent->ifa_addr->sa_family == AF_INET;
}

bool CIfAddrList::GetIPv4AndMask(std::vector<LIPv4AndMask>* out) const {
    // Linux leaves the broadcast address out of interfaces configured without
    // one, so an IPv4 address and mask are all that is asked for.
    if (!IsIPv4() || !fCurrent->ifa_netmask || fCurrent->ifa_netmask->sa_family != AF_INET)
        return false;
    const auto* a = reinterpret_cast<const sockaddr_in*>(fCurrent->ifa_addr);
    const auto* m = reinterpret_cast<const sockaddr_in*>(fCurrent->ifa_netmask);
    out->push_back({ntohl(a->sin_addr.s_addr), ntohl(m->sin_addr.s_addr)});
    return true;
}

LString CIfAddrList::GetDisplayName() const {
    return LString(Name());
}

u32 CIfAddrList::Flags() const {
    return fCurrent ? fCurrent->ifa_flags : 0;
}

const char* CIfAddrList::Name() const {
    return fCurrent && fCurrent->ifa_name ? fCurrent->ifa_name : "";
}

namespace {

bool IsRunning(u32 index) {
    CIfAddrList list;
    while (list.Next()) {
        if ((list.Flags() & IFF_RUNNING) && list.GetIndex() == index) return true;
    }
    return false;
}

}  // namespace

u32 DefaultInterfaceIndex() {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return 0;
    struct {
        nlmsghdr h;
        rtmsg r;
    } req{};
    req.h.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    req.h.nlmsg_type = RTM_GETROUTE;
    req.h.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    req.h.nlmsg_seq = 1;
    req.r.rtm_family = AF_INET;
    timeval tv{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (send(fd, &req, req.h.nlmsg_len, 0) < 0) {
        close(fd);
        return 0;
    }
    struct Candidate {
        u32 index, metric;
    };
    std::vector<Candidate> found;
    alignas(nlmsghdr) static thread_local u8 buf[32768];
    bool done = false;
    while (!done) {
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        int left = int(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buf); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            if (h->nlmsg_type != RTM_NEWROUTE) continue;
            auto* r = static_cast<rtmsg*>(NLMSG_DATA(h));
            if (r->rtm_family != AF_INET || r->rtm_dst_len != 0 || r->rtm_type != RTN_UNICAST)
                continue;
            u32 table = r->rtm_table, oif = 0, metric = 0;
            int alen = int(RTM_PAYLOAD(h));
            for (auto* a = RTM_RTA(r); RTA_OK(a, alen); a = RTA_NEXT(a, alen)) {
                if (a->rta_type == RTA_TABLE && RTA_PAYLOAD(a) >= 4)
                    std::memcpy(&table, RTA_DATA(a), 4);
                if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= 4)
                    std::memcpy(&oif, RTA_DATA(a), 4);
                if (a->rta_type == RTA_PRIORITY && RTA_PAYLOAD(a) >= 4)
                    std::memcpy(&metric, RTA_DATA(a), 4);
                if (a->rta_type == RTA_MULTIPATH && !oif && RTA_PAYLOAD(a) >= sizeof(rtnexthop)) {
                    oif = u32(static_cast<rtnexthop*>(RTA_DATA(a))->rtnh_ifindex);
                }
            }
            if (table == RT_TABLE_MAIN && oif) found.push_back({oif, metric});
        }
    }
    close(fd);
    u32 best = 0, bestMetric = 0;
    for (const Candidate& c : found) {
        if ((best == 0 || c.metric < bestMetric) && IsRunning(c.index)) {
            best = c.index;
            bestMetric = c.metric;
        }
    }
    return best;
}

std::vector<LIPv4AndMask> InterfaceIPv4Addresses(u32 index) {
    std::vector<LIPv4AndMask> out;
    CIfAddrList list;
    while (list.Next()) {
        if (list.GetIndex() == index) list.GetIPv4AndMask(&out);
    }
    return out;
}

namespace {
std::atomic<u32> sNetGeneration{0};
}  // namespace

u32 NetConfigGeneration() {
    return sNetGeneration.load();
}

void BumpNetConfigGeneration() {
    sNetGeneration.fetch_add(1);
}
