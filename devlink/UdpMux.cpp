#include "devlink/UdpMux.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "devlink/SocketReactor.h"
#include "services/Services.h"

namespace {

// Datagrams taken in one pass before the clients get their turn.
constexpr u32 kBatch = 256;
// Datagrams taken by one system call. A burst of Art-Net universes arrives
// together: one call and, per client, one write for each such group instead of
// one of each per datagram.
constexpr u32 kGroup = 64;

// Up to kGroup datagrams with their real lengths (MSG_TRUNC), so that a datagram
// larger than the buffer is recognised. The count, -1 nothing waiting (read
// interest armed), -2 error.
i32 ReceiveDatagrams(i32 fd, u8* buffers, u32 size, mmsghdr* msgs, iovec* iovs, sockaddr_in* from) {
    for (u32 i = 0; i < kGroup; ++i) {
        iovs[i] = iovec{buffers + size_t(i) * size, size};
        msgs[i] = mmsghdr{};
        msgs[i].msg_hdr.msg_name = &from[i];
        msgs[i].msg_hdr.msg_namelen = sizeof from[i];
        msgs[i].msg_hdr.msg_iov = &iovs[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
    }
    int n;
    do {
        n = recvmmsg(fd, msgs, kGroup, MSG_TRUNC, nullptr);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            CSocketReactor::Arm(fd, CSocketReactor::kRead);
            return -1;
        }
        return -2;
    }
    return n;
}

}  // namespace

CUdpMuxServer::CUdpMuxServer(u32 bufferSize)
    : fUdp(this, OnReady), fListener(this, OnReady), fBufferSize(bufferSize) {
    InitRecursiveMutex(&fMutex);
    fBuffer.Resize(bufferSize * kGroup, false);
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
    // Datagrams to every client, last to first; each client's frames go out in one
    // write per group of datagrams.
    if (fUdp.IsOpen()) {
        mmsghdr msgs[kGroup];
        iovec iovs[kGroup];
        sockaddr_in from[kGroup];
        // A steady stream would keep the worker here for ever: after a batch the
        // clients get their turn, and the next pass follows without waiting.
        for (u32 taken = 0, errors = 0;;) {
            if (taken >= kBatch) {
                fWake.Set();
                break;
            }
            const i32 n =
                ReceiveDatagrams(fUdp.Descriptor(), fBuffer.Data(), fBufferSize, msgs, iovs, from);
            if (n == -1) break;
            if (n == -2) {
                // A pending error (an ICMP answer to a frame sent out) is consumed by
                // the failed call: read on, so that the call that finds nothing arms
                // the interest again; the next pass tries once more after many.
                if (++errors < 8) continue;
                fWake.Set();
                break;
            }
            taken += u32(n);
            for (i32 m = 0; m < n; ++m) {
                const u32 length = msgs[m].msg_len;
                // A cut datagram would reach the clients as a different one: drop it.
                if (length > fBufferSize || (msgs[m].msg_hdr.msg_flags & MSG_TRUNC)) {
                    fTruncated.fetch_add(1, std::memory_order_relaxed);
                    continue;
                }
                const LNetAddr source =
                    LNetAddr::IPv4(ntohl(from[m].sin_addr.s_addr), ntohs(from[m].sin_port));
                const u8* payload = fBuffer.Data() + size_t(m) * fBufferSize;
                for (size_t i = fClients.size(); i-- > 0;) {
                    if (fClients[i]->AppendFrame(source, payload, length) < 0)
                        RemoveClient(fClients[i]);
                }
            }
            for (size_t i = fClients.size(); i-- > 0;)
                if (fClients[i]->Flush() < 0) RemoveClient(fClients[i]);
        }
    }
    // What a client's stream could not take yet goes now that it may.
    for (size_t i = fClients.size(); i-- > 0;)
        if (fClients[i]->Flush() < 0) RemoveClient(fClients[i]);
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
