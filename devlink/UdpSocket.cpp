#include "devlink/UdpSocket.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "devlink/NetIf.h"
#include "devlink/SocketReactor.h"

int LUdpSysCalls::Bind(int fd, const void* address, u32 length) {
    return bind(fd, static_cast<const sockaddr*>(address), socklen_t(length));
}
long LUdpSysCalls::SendTo(int fd, const void* data, u32 length, const void* to, u32 toLength) {
    return sendto(fd, data, length, 0, static_cast<const sockaddr*>(to), socklen_t(toLength));
}
long LUdpSysCalls::RecvFrom(int fd, void* buffer, u32 size, void* from, u32* fromLength) {
    socklen_t len = *fromLength;
    const ssize_t n = recvfrom(fd, buffer, size, 0, static_cast<sockaddr*>(from), &len);
    *fromLength = u32(len);
    return n;
}
long LUdpSysCalls::RecvMsg(int fd, void* msg) {
    return recvmsg(fd, static_cast<msghdr*>(msg), 0);
}

namespace {
LUdpSysCalls sSystemCalls;
std::atomic<LUdpSysCalls*> sCalls{&sSystemCalls};
}  // namespace

void InstallUdpSysCalls(LUdpSysCalls* calls) {
    sCalls.store(calls ? calls : &sSystemCalls);
}

LNetAddr LNetAddr::IPv4(u32 address, u16 port) {
    LNetAddr a;
    std::memcpy(a.address, &address, 4);
    a.port = port;
    a.family = 0;
    return a;
}

u32 LNetAddr::IPv4Address() const {
    u32 v;
    std::memcpy(&v, address, 4);
    return v;
}

bool LNetAddr::operator==(const LNetAddr& o) const {
    if (family != o.family || port != o.port) return false;
    return std::memcmp(address, o.address, family == 1 ? 16 : 4) == 0;
}

CUdpSocket::~CUdpSocket() {
    Close();
}

void CUdpSocket::Dispatch(void* self, u32 direction) {
    auto* s = static_cast<CUdpSocket*>(self);
    if (s->fCallback) s->fCallback(s->fOwner, direction);
}

u32 CUdpSocket::Open(u16 port, u8 family, u32 scope, u32 reuse) {
    if (fFd != -1) return 0;
    const bool v6 = family == 1;
    const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return 1;
    const int one = 1;
    if (reuse == 1) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    int bound;
    if (v6) {
        sockaddr_in6 sa{};
        sa.sin6_family = AF_INET6;
        sa.sin6_port = htons(port);
        sa.sin6_addr = in6addr_any;
        bound = sCalls.load()->Bind(fd, &sa, sizeof sa);
    } else {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        bound = sCalls.load()->Bind(fd, &sa, sizeof sa);
    }
    if (bound != 0) {
        close(fd);
        return 1;
    }
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) == 0) {
        fLocalPort = v6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
                        : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    }
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    if (!CSocketReactor::Register(fd, this, Dispatch)) {
        close(fd);
        return 1;
    }
    fFd = fd;
    fScope = scope;
    return 0;
}

void CUdpSocket::Close() {
    if (fFd == -1) return;
    const int fd = fFd;
    fFd = -1;
    CSocketReactor::Unregister(fd);
    close(fd);
}

i32 CUdpSocket::SendTo(const LNetAddr& to, const void* data, u32 length) {
    if (fFd == -1) return -1;
    sockaddr_storage ss{};
    socklen_t len;
    if (to.family == 1) {
        auto* sa = reinterpret_cast<sockaddr_in6*>(&ss);
        sa->sin6_family = AF_INET6;
        sa->sin6_port = htons(to.port);
        std::memcpy(&sa->sin6_addr, to.address, 16);
        sa->sin6_scope_id = fScope;
        len = sizeof *sa;
    } else {
        auto* sa = reinterpret_cast<sockaddr_in*>(&ss);
        sa->sin_family = AF_INET;
        sa->sin_port = htons(to.port);
        sa->sin_addr.s_addr = htonl(to.IPv4Address());
        len = sizeof *sa;
    }
    ssize_t n;
    do {
        n = sCalls.load()->SendTo(fFd, data, length, &ss, len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
            CSocketReactor::Arm(fFd, CSocketReactor::kWrite);
            return 0;
        }
        return -1;
    }
    return i32(n);
}

namespace {

// An empty datagram carries nothing any of our protocols could use, and a read
// that returned it as 0 would pass for "nothing waiting": the caller would stop
// reading with nobody to call it back. Such datagrams are read and dropped; after
// this many in a row the read interest is armed instead (the socket is readable,
// so the callback comes at once), which keeps a flood of them from holding the
// thread here.
constexpr u32 kEmptyInARow = 64;

void FromSockaddr(const sockaddr_storage& ss, LNetAddr* out) {
    *out = LNetAddr();
    if (ss.ss_family == AF_INET6) {
        auto* sa = reinterpret_cast<const sockaddr_in6*>(&ss);
        std::memcpy(out->address, &sa->sin6_addr, 16);
        out->port = ntohs(sa->sin6_port);
        out->family = 1;
    } else {
        auto* sa = reinterpret_cast<const sockaddr_in*>(&ss);
        *out = LNetAddr::IPv4(ntohl(sa->sin_addr.s_addr), ntohs(sa->sin_port));
    }
}

}  // namespace

i32 CUdpSocket::RecvFrom(LNetAddr* from, void* buffer, u32 size) {
    if (fFd == -1) return -1;
    sockaddr_storage ss{};
    u32 len;
    ssize_t n;
    u32 empty = 0;
    for (;;) {
        do {
            len = sizeof ss;
            n = sCalls.load()->RecvFrom(fFd, buffer, size, &ss, &len);
        } while (n < 0 && errno == EINTR);
        if (n != 0) break;
        if (++empty == kEmptyInARow) {
            CSocketReactor::Arm(fFd, CSocketReactor::kRead);
            return 0;
        }
    }
    if (n < 0) return CSocketReactor::ArmIfWouldBlock(fFd, CSocketReactor::kRead);
    if (from) FromSockaddr(ss, from);
    return i32(n);
}

bool CUdpSocket::BindToInterface(u32 index) {
    if (fFd == -1) return false;
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getsockname(fFd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return false;
    if (ss.ss_family == AF_INET6 && index == 0) index = DefaultInterfaceIndex();
    char name[IF_NAMESIZE + 1] = {};
    if (index != 0 && !if_indextoname(index, name)) return false;
    // An empty name removes the binding.
    if (setsockopt(fFd, SOL_SOCKET, SO_BINDTODEVICE, name, socklen_t(std::strlen(name))) != 0)
        return false;
    if (ss.ss_family == AF_INET6) fScope = index;
    return true;
}

bool CUdpSocket::SetReceiveBuffer(u32 bytes) {
    if (fFd == -1) return false;
    const int want = int(bytes > 0x3FFFFFFFu ? 0x3FFFFFFFu : bytes);
    return setsockopt(fFd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) == 0 ||
           setsockopt(fFd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want) == 0;
}

bool CUdpSocket::JoinGroup(u32 group, u32 interfaceAddress) {
    if (fFd == -1) return false;
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(group);
    m.imr_interface.s_addr = htonl(interfaceAddress);
    return setsockopt(fFd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
}

bool CUdpSocket::LeaveGroup(u32 group, u32 interfaceAddress) {
    if (fFd == -1) return false;
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(group);
    m.imr_interface.s_addr = htonl(interfaceAddress);
    return setsockopt(fFd, IPPROTO_IP, IP_DROP_MEMBERSHIP, &m, sizeof m) == 0;
}

bool CUdpSocket::EnablePacketInfo(bool on) {
    if (fFd == -1) return false;
    const int v = on ? 1 : 0;
    return setsockopt(fFd, IPPROTO_IP, IP_PKTINFO, &v, sizeof v) == 0;
}

i32 CUdpSocket::RecvMsg(LNetAddr* from, void* buffer, u32 size, u32* interfaceIndex,
                        u32* destination) {
    if (interfaceIndex) *interfaceIndex = 0;
    if (destination) *destination = 0;
    if (fFd == -1) return -1;
    sockaddr_storage ss{};
    iovec iov{buffer, size};
    alignas(cmsghdr) u8 control[128];
    msghdr msg{};
    ssize_t n;
    u32 empty = 0;
    for (;;) {
        do {
            msg = msghdr{};
            msg.msg_name = &ss;
            msg.msg_namelen = sizeof ss;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            n = sCalls.load()->RecvMsg(fFd, &msg);
        } while (n < 0 && errno == EINTR);
        if (n != 0) break;
        if (++empty == kEmptyInARow) {
            CSocketReactor::Arm(fFd, CSocketReactor::kRead);
            return 0;
        }
    }
    if (n < 0) return CSocketReactor::ArmIfWouldBlock(fFd, CSocketReactor::kRead);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo pi;
            std::memcpy(&pi, CMSG_DATA(c), sizeof pi);
            if (interfaceIndex) *interfaceIndex = u32(pi.ipi_ifindex);
            if (destination) *destination = ntohl(pi.ipi_addr.s_addr);
        }
    }
    if (from) FromSockaddr(ss, from);
    return i32(n);
}
