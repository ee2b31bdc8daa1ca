#pragma once
// The one network address type and the one UDP socket class of the device link.

#include "base/Types.h"

// An IPv4 or IPv6 address with a port, copied by value.
struct LNetAddr {
    u8 address[16] = {};  // IPv4: a host-order u32 in the first 4 bytes
    u16 port = 0;         // host order
    u8 family = 0;        // 1 IPv6, anything else IPv4

    static LNetAddr IPv4(u32 address, u16 port);
    u32 IPv4Address() const;
    bool IsIPv6() const { return family == 1; }
    bool operator==(const LNetAddr& o) const;
    bool operator!=(const LNetAddr& o) const { return !(*this == o); }
};

// The system calls behind every CUdpSocket, so that a test can make them fail
// (a port taken, a send refused, a receive error). The defaults call the system;
// a replacement keeps errno as the system would set it.
class LUdpSysCalls {
public:
    virtual ~LUdpSysCalls() = default;
    virtual int Bind(int fd, const void* address, u32 length);
    virtual long SendTo(int fd, const void* data, u32 length, const void* to, u32 toLength);
    virtual long RecvFrom(int fd, void* buffer, u32 size, void* from, u32* fromLength);
    virtual long RecvMsg(int fd, void* msghdr);
};
// Null goes back to the system's calls. The caller keeps ownership.
void InstallUdpSysCalls(LUdpSysCalls* calls);

// (owner, direction): 0 readable, 1 writable; called on the reactor thread.
using LUdpReadyFn = void (*)(void* owner, u32 direction);

// A non-blocking UDP socket registered with the socket reactor. A send or
// receive that would block arms the reactor's interest in that direction, and
// the owner is called back when the socket is ready.
class CUdpSocket {
public:
    CUdpSocket(void* owner, LUdpReadyFn callback) : fOwner(owner), fCallback(callback) {}
    virtual ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    virtual bool IsOpen() const { return fFd != -1; }
    virtual u16 LocalPort() const { return fLocalPort; }
    // 0 success, 1 failure (the socket stays closed). Port 0: chosen by the system.
    virtual u32 Open(u16 port, u8 family, u32 scope, u32 reuse);
    virtual void Close();
    // Bytes sent, 0 would block (write interest armed), -1 error.
    virtual i32 SendTo(const LNetAddr& to, const void* data, u32 length);
    // Bytes received, 0 nothing waiting (read interest armed), -1 error. Empty
    // datagrams are dropped here: 0 never stands for one.
    virtual i32 RecvFrom(LNetAddr* from, void* buffer, u32 size);
    // Sends and receives only through that interface; 0 removes the binding.
    virtual bool BindToInterface(u32 index);
    virtual bool JoinGroup(u32 group, u32 interfaceAddress);
    virtual bool LeaveGroup(u32 group, u32 interfaceAddress);
    // Reports the receiving interface and the destination address with each datagram.
    virtual bool EnablePacketInfo(bool on);
    virtual i32 RecvMsg(LNetAddr* from, void* buffer, u32 size, u32* interfaceIndex,
                        u32* destination);

    i32 Descriptor() const { return fFd; }
    // Room for that many bytes of waiting datagrams (beyond the system's usual cap
    // where the process may); false when the socket kept its size.
    bool SetReceiveBuffer(u32 bytes);

private:
    static void Dispatch(void* self, u32 direction);

    void* fOwner;
    LUdpReadyFn fCallback;
    i32 fFd = -1;
    u16 fLocalPort = 0;
    u32 fScope = 0;
};
