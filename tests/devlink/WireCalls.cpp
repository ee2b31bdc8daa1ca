#include "tests/devlink/WireCalls.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <vector>

#include "tools/testkit/WireGate.h"

namespace {

// Installed ones, the last in force: made and gone on the test's thread.
std::vector<WireCountingCalls*>& Installed() {
    static std::vector<WireCountingCalls*> calls;
    return calls;
}

// An IPv4 peer's address, host order; 0 for anything else.
u32 PeerIp(const void* address) {
    const auto* sa = static_cast<const sockaddr_in*>(address);
    return sa && sa->sin_family == AF_INET ? ntohl(sa->sin_addr.s_addr) : 0;
}

}  // namespace

WireCountingCalls::WireCountingCalls(bool under) {
    auto& calls = Installed();
    calls.insert(under ? calls.begin() : calls.end(), this);
    InstallUdpSysCalls(calls.back());
}

WireCountingCalls::~WireCountingCalls() {
    auto& calls = Installed();
    calls.erase(std::remove(calls.begin(), calls.end(), this), calls.end());
    InstallUdpSysCalls(calls.empty() ? nullptr : calls.back());
}

long WireCountingCalls::SendTo(int fd, const void* data, u32 length, const void* to, u32 toLength) {
    const long n = LUdpSysCalls::SendTo(fd, data, length, to, toLength);
    if (n >= 0) testtftp::WireGate::NoteSent(PeerIp(to));
    return n;
}

long WireCountingCalls::RecvFrom(int fd, void* buffer, u32 size, void* from, u32* fromLength) {
    const long n = LUdpSysCalls::RecvFrom(fd, buffer, size, from, fromLength);
    if (n >= 0 && from) testtftp::WireGate::NoteReceived(PeerIp(from));
    return n;
}

long WireCountingCalls::RecvMsg(int fd, void* msg) {
    const long n = LUdpSysCalls::RecvMsg(fd, msg);
    if (n >= 0) testtftp::WireGate::NoteReceived(PeerIp(static_cast<msghdr*>(msg)->msg_name));
    return n;
}
