#pragma once
// Local stream sockets between processes of one user on this machine, and the
// framed channel that carries UDP datagrams over such a stream.
//
// Names are private to the user: the socket lives in the user's runtime
// directory when it is private, otherwise under an abstract name that carries
// the user id. Abstract names can be taken by anyone, so both ends also check
// the other end's credentials and talk only to their own user.

#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>

#include "base/LHandle.h"
#include "base/Threads.h"
#include "devlink/UdpSocket.h"

// (context, direction): 0 readable, 1 writable. Runs on the reactor thread.
using LLocalStreamFn = void (*)(void* context, u32 direction);

// The socket address for a service name; false when the name does not fit.
bool LocalSocketAddress(const char* name, sockaddr_un* address, socklen_t* length);

class CLocalStream {
public:
    enum : u32 { kNone = 0, kConnecting = 1, kConnected = 2 };

    CLocalStream(void* context, LLocalStreamFn callback) : fContext(context), fCallback(callback) {}
    virtual ~CLocalStream();
    CLocalStream(const CLocalStream&) = delete;
    CLocalStream& operator=(const CLocalStream&) = delete;

    virtual u32 State() const { return fState.load(std::memory_order_acquire); }
    // 0 listening (also when already open), 1 failure.
    virtual u32 Listen(const char* name);
    // Takes one pending connection of this user into `out` (closed before), which
    // calls (context, callback) from then on. 1 when none is pending or on failure.
    virtual u32 Accept(void* context, LLocalStreamFn callback, CLocalStream* out);
    // 0 connected, 2 in progress (a writable callback follows), 1 failure.
    virtual u32 Connect(const char* name);
    virtual void Close();
    // Bytes sent; 0 would block (write interest armed); -1 error.
    virtual i32 Send(const void* data, u32 length);
    // Bytes received; 0 nothing waiting (read interest armed); -1 error or end of stream.
    virtual i32 Recv(void* buffer, u32 size);

    bool IsOpen() const { return fFd != -1; }
    i32 Descriptor() const { return fFd; }

private:
    static void Dispatch(void* self, u32 direction);
    bool Adopt(i32 fd);

    void* fContext;
    LLocalStreamFn fCallback;
    i32 fFd = -1;
    sockaddr_un fAddress{};
    socklen_t fAddressLength = 0;
    u8 fOwnsPath = 0;  // a listener bound to a path in the file system
    std::atomic<u32> fState{kNone};
};

// One framed connection. Frames: IPv4 address (4), port (2), payload length (2),
// payload; numbers big-endian. Outgoing frames wait in a 512 KiB ring; what does
// not fit is dropped, so a slow reader never holds up the sender.
class CFrameChannel {
public:
    static constexpr u32 kRingBits = 19;
    static constexpr u32 kHeader = 8;

    CFrameChannel(void* context, LLocalStreamFn callback);
    ~CFrameChannel();
    CFrameChannel(const CFrameChannel&) = delete;
    CFrameChannel& operator=(const CFrameChannel&) = delete;

    CLocalStream& Stream() { return fStream; }
    // Bytes sent (0 when the stream would block or the ring is empty), -1 on error.
    i32 Flush();
    // length queued, 0 when dropped (empty, or no room), -1 on error.
    i32 QueueFrame(const LNetAddr& address, const void* data, u32 length);
    // As QueueFrame, but the frame waits in the ring for the next Flush (written
    // sooner only when the ring has no room for it): many frames, one write.
    i32 AppendFrame(const LNetAddr& address, const void* data, u32 length);
    // Payload length of the whole frame now held, 0 when it is not complete yet,
    // -1 on error. The frame stays until Consume.
    i32 ReadFrame(LNetAddr* address, const u8** payload);
    void Consume() { fCount = 0; }
    // Closes the stream and forgets every byte held in either direction.
    void Close();

    u32 RingFree() const { return (fRing.mask + 1) - (fRing.writePos - fRing.readPos); }
    u32 RingFill() const { return fRing.writePos - fRing.readPos; }

private:
    // Reads until the buffer holds `want` bytes: 1 done, 0 not yet, -1 error.
    i32 FillTo(u32 want);

    CLocalStream fStream;
    LDataBuf fBuffer;
    u32 fCount = 0;
    CByteRing fRing;
    u8 fRingStorage[1u << kRingBits];
};
