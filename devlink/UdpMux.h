#pragma once
// Sharing of UDP port 6454 between local processes. The first process that needs
// the port owns it through a server that forwards every datagram to every
// connected local client as a frame, and sends the frames its clients write as
// datagrams. Every user of the port, the owning process included, reads it
// through a client. When the owner goes away, a client reconnects and, finding
// no server, starts one in its own process.

#include <pthread.h>

#include <atomic>
#include <vector>

#include "base/LHandle.h"
#include "base/LString.h"
#include "base/Threads.h"
#include "devlink/LocalSocket.h"
#include "devlink/UdpSocket.h"

constexpr u16 kUdpMuxPort = 6454;
constexpr const char* kUdpMuxName = "tesmoraudpmuxsvran";

class CUdpMuxServer {
public:
    // Starts the worker thread at once, one priority step above the caller.
    explicit CUdpMuxServer(u32 bufferSize);
    ~CUdpMuxServer();
    CUdpMuxServer(const CUdpMuxServer&) = delete;
    CUdpMuxServer& operator=(const CUdpMuxServer&) = delete;

    // 0 serving, 1 when the port or the name could not be had in three tries.
    u32 Start(u16 port, const char* name);
    void Stop();

    bool IsServing();
    u32 ClientCount();
    // Datagrams dropped because they did not fit the buffer (for tests).
    u32 TruncatedCount() const { return fTruncated.load(std::memory_order_relaxed); }

private:
    static void WorkerMain(void* self);
    static void OnReady(void* self, u32 direction);
    void Pass();
    void RemoveClient(CFrameChannel* channel);

    pthread_mutex_t fMutex;
    std::atomic<u8> fStop{0};
    LEventFlag fWake{0};
    LThread fThread;
    CUdpSocket fUdp;
    CLocalStream fListener;
    CFrameChannel* fSpare = nullptr;
    std::vector<CFrameChannel*> fClients;
    u32 fNextClient = 0;
    LDataBuf fBuffer;
    u32 fBufferSize;
    std::atomic<u32> fTruncated{0};
};

class CRunLoopSrc;

// state: 0 data may be waiting, 1 connected, 2 connecting failed. Called on the
// reactor thread (and on the caller's for 1 and 2 from Open): hand work over.
using LUdpMuxStateFn = void (*)(void* context, u32 state);

class CUdpMuxClient {
public:
    // The port and the name are those of the shared service unless a test asks otherwise.
    CUdpMuxClient(void* context, LUdpMuxStateFn callback, u16 port = kUdpMuxPort,
                  const char* name = kUdpMuxName);
    ~CUdpMuxClient();
    CUdpMuxClient(const CUdpMuxClient&) = delete;
    CUdpMuxClient& operator=(const CUdpMuxClient&) = delete;

    void Open();
    // Connects to the service, starting it in this process when nobody serves.
    void Connect();
    // Bytes of the next datagram (cut to size), 0 when none waits, -1 when not connected.
    i32 Receive(LNetAddr* from, void* buffer, u32 size);
    void Close();

    bool IsConnected() const { return fConnected.load(std::memory_order_acquire) != 0; }
    bool IsClosed() const { return fClosed.load(std::memory_order_acquire) != 0; }
    CUdpMuxServer& Server() { return fServer; }

private:
    static void OnChannel(void* self, u32 direction);
    static void OnSource(void* self);

    void* fContext;
    LUdpMuxStateFn fCallback;
    std::atomic<u8> fClosed{1};
    std::atomic<u8> fConnected{0};
    CRunLoopSrc* fSource;
    CUdpMuxServer fServer{2048};
    CFrameChannel* fChannel;
    u16 fPort;
    LString fName;
};
