#include "devlink/UdpMux.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "devlink/SocketReactor.h"
#include "platform/Services.h"

namespace {

constexpr u32 kBatch = 256;

// One datagram with its real length (MSG_TRUNC), so that a datagram larger than
// the buffer is recognised. -1 nothing waiting (read interest armed), -2 error.
i32 ReceiveDatagram(i32 fd, LNetAddr* from, u8* buffer, u32 size) {
    sockaddr_in sa{};
    socklen_t len;
    ssize_t n;
    do {
        len = sizeof sa;
        n = recvfrom(fd, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            CSocketReactor::Arm(fd, CSocketReactor::kRead);
            return -1;
        }
        return -2;
    }
    *from = LNetAddr::IPv4(ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port));
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : i32(n);
}

}  // namespace

CUdpMuxServer::CUdpMuxServer(u32 bufferSize)
    : fUdp(this, OnReady), fListener(this, OnReady), fBufferSize(bufferSize) {
    InitRecursiveMutex(&fMutex);
    fBuffer.Resize(bufferSize, false);
    fSpare = new CFrameChannel(this, OnReady);
    StartThreadRelPriority(&fThread, this, WorkerMain, 1);
}

CUdpMuxServer::~CUdpMuxServer() {
    Stop();
    fStop.store(1, std::memory_order_release);
    fWake.Set();
    ThreadStop(&fThread);
    delete fSpare;
    pthread_mutex_destroy(&fMutex);
}

void CUdpMuxServer::OnReady(void* self, u32) {
    static_cast<CUdpMuxServer*>(self)->fWake.Set();
}

u32 CUdpMuxServer::Start(u16 port, const char* name) {
    for (u32 attempt = 0; attempt < 3; ++attempt) {
        if (attempt) SleepMs(10);
        LMutexLock lock(&fMutex);
        if (fUdp.Open(port, 0, 0, 0) != 0) continue;
        // Art-Net sends a whole frame of universes at once: hundreds of datagrams
        // must wait in the socket while the worker wakes up.
        const int want = 4 << 20;
        if (setsockopt(fUdp.Descriptor(), SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) != 0)
            setsockopt(fUdp.Descriptor(), SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
        if (fListener.Listen(name) == 0) {
            fWake.Set();
            return 0;
        }
        fUdp.Close();
    }
    return 1;
}

void CUdpMuxServer::Stop() {
    LMutexLock lock(&fMutex);
    fListener.Close();
    for (CFrameChannel* c : fClients) delete c;
    fClients.clear();
    fUdp.Close();
}

bool CUdpMuxServer::IsServing() {
    LMutexLock lock(&fMutex);
    return fListener.IsOpen() && fUdp.IsOpen();
}

u32 CUdpMuxServer::ClientCount() {
    LMutexLock lock(&fMutex);
    return u32(fClients.size());
}

void CUdpMuxServer::RemoveClient(CFrameChannel* channel) {
    fClients.erase(std::find(fClients.begin(), fClients.end(), channel));
    delete channel;
}

void CUdpMuxServer::WorkerMain(void* self) {
    auto* s = static_cast<CUdpMuxServer*>(self);
    while (!s->fStop.load(std::memory_order_acquire)) {
        s->Pass();
        s->fWake.Wait();
    }
}

void CUdpMuxServer::Pass() {
    LMutexLock lock(&fMutex);
    // New connections.
    if (fListener.IsOpen()) {
        while (fListener.Accept(this, OnReady, &fSpare->Stream()) == 0) {
            fClients.push_back(fSpare);
            fSpare = new CFrameChannel(this, OnReady);
        }
    }
    // Datagrams to every client, last to first.
    if (fUdp.IsOpen()) {
        // A steady stream would keep the worker here for ever: after a batch the
        // clients get their turn, and the next pass follows without waiting.
        for (u32 batch = 0;; ++batch) {
            if (batch == kBatch) {
                fWake.Set();
                break;
            }
            LNetAddr from;
            const i32 n = ReceiveDatagram(fUdp.Descriptor(), &from, fBuffer.Data(), fBufferSize);
            if (n == -2) break;
            // A cut datagram would reach the clients as a different one: drop it.
            if (n > i32(fBufferSize)) {
                fTruncated.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            // The last read (nothing waiting) only flushes what the rings hold.
            const u32 length = n < 0 ? 0 : u32(n);
            for (size_t i = fClients.size(); i-- > 0;) {
                if (fClients[i]->QueueFrame(from, fBuffer.Data(), length) < 0)
                    RemoveClient(fClients[i]);
            }
            if (n < 0) break;
        }
    } else {
        for (size_t i = fClients.size(); i-- > 0;)
            if (fClients[i]->Flush() < 0) RemoveClient(fClients[i]);
    }
    // Frames from clients, sent as datagrams; every client gets its turn first in rotation.
    const u32 count = u32(fClients.size());
    if (count == 0) return;
    u32 index = fNextClient % count;
    std::vector<CFrameChannel*> dead;
    for (u32 visited = 0; visited < count; ++visited, index = (index + 1) % count) {
        CFrameChannel* c = fClients[index];
        for (;;) {
            LNetAddr to;
            const u8* payload;
            const i32 n = c->ReadFrame(&to, &payload);
            if (n < 0) {
                dead.push_back(c);
                break;
            }
            if (n == 0) break;
            if (!fUdp.IsOpen()) {
                c->Consume();
                continue;
            }
            // Would block: the frame waits in the channel until the socket is writable.
            const i32 sent = fUdp.SendTo(to, payload, u32(n));
            if (sent == 0) break;
            c->Consume();
        }
    }
    fNextClient = index;
    for (CFrameChannel* c : dead) RemoveClient(c);
}
