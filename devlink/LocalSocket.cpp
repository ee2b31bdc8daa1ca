#include "devlink/LocalSocket.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devlink/SocketReactor.h"

namespace {

// The runtime directory when only its owner, this user, can reach it.
bool PrivateRuntimeDir(const char** dir) {
    const char* d = std::getenv("XDG_RUNTIME_DIR");
    if (!d || d[0] != '/') return false;
    struct stat st {};
    if (stat(d, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) return false;
    *dir = d;
    return true;
}

// Only connections of our own user are served or used.
bool PeerIsSameUser(i32 fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred)
        return false;
    return cred.uid == geteuid();
}

}  // namespace

bool LocalSocketAddress(const char* name, sockaddr_un* address, socklen_t* length) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    const size_t room = sizeof address->sun_path;
    const char* dir = nullptr;
    int n;
    if (PrivateRuntimeDir(&dir)) {
        n = std::snprintf(address->sun_path, room, "%s/%s", dir, name);
        if (n < 0 || size_t(n) >= room) return false;
        *length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(n) + 1);
        return true;
    }
    // Abstract: a leading zero byte, no file, gone with its process.
    n = std::snprintf(address->sun_path + 1, room - 1, "%s.%u", name, unsigned(geteuid()));
    if (n < 0 || size_t(n) >= room - 1) return false;
    *length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(n));
    return true;
}

// ---------------------------------------------------------------------------
// CLocalStream

CLocalStream::~CLocalStream() {
    Close();
}

void CLocalStream::Dispatch(void* self, u32 direction) {
    auto* s = static_cast<CLocalStream*>(self);
    if (direction == CSocketReactor::kWrite && s->fState.load() == kConnecting) {
        sockaddr_un peer{};
        socklen_t len = sizeof peer;
        const bool ok = getpeername(s->fFd, reinterpret_cast<sockaddr*>(&peer), &len) == 0 &&
                        PeerIsSameUser(s->fFd);
        s->fState.store(ok ? kConnected : kNone, std::memory_order_release);
    }
    if (s->fCallback) s->fCallback(s->fContext, direction);
}

bool CLocalStream::Adopt(i32 fd) {
    if (!CSocketReactor::Register(fd, this, Dispatch)) return false;
    fFd = fd;
    return true;
}

u32 CLocalStream::Listen(const char* name) {
    if (fFd != -1) return 0;
    sockaddr_un sa;
    socklen_t len;
    if (!LocalSocketAddress(name, &sa, &len)) return 1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 1;
    const bool isPath = sa.sun_path[0] != 0;
    // A file left by a server that died; only reached after the port itself was
    // taken, so no live server owns it.
    if (isPath) unlink(sa.sun_path);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), len) != 0) {
        close(fd);
        return 1;
    }
    if (isPath) chmod(sa.sun_path, 0600);
    if (!Adopt(fd)) {
        if (isPath) unlink(sa.sun_path);
        close(fd);
        return 1;
    }
    fAddress = sa;
    fAddressLength = len;
    fOwnsPath = isPath ? 1 : 0;
    if (listen(fd, 16) != 0) {
        Close();
        return 1;
    }
    CSocketReactor::Arm(fFd, CSocketReactor::kRead);
    return 0;
}

u32 CLocalStream::Accept(void* context, LLocalStreamFn callback, CLocalStream* out) {
    if (fFd == -1) return 1;
    u32 result = 1;
    for (;;) {
        const int fd = accept4(fFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break;
        }
        if (!PeerIsSameUser(fd)) {
            close(fd);
            continue;
        }
        out->Close();
        out->fContext = context;
        out->fCallback = callback;
        if (!out->Adopt(fd)) {
            close(fd);
            break;
        }
        out->fState.store(kConnected, std::memory_order_release);
        result = 0;
        break;
    }
    CSocketReactor::Arm(fFd, CSocketReactor::kRead);
    return result;
}

u32 CLocalStream::Connect(const char* name) {
    Close();
    sockaddr_un sa;
    socklen_t len;
    if (!LocalSocketAddress(name, &sa, &len)) return 1;
    // The client needs no name of its own: nothing is bound, nothing is left behind.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 1;
    if (!Adopt(fd)) {
        close(fd);
        return 1;
    }
    fState.store(kConnecting, std::memory_order_release);
    int r;
    do {
        r = connect(fFd, reinterpret_cast<sockaddr*>(&sa), len);
    } while (r != 0 && errno == EINTR);
    if (r == 0) {
        if (PeerIsSameUser(fFd)) {
            fState.store(kConnected, std::memory_order_release);
            return 0;
        }
    } else if (errno == EINPROGRESS) {
        CSocketReactor::Arm(fFd, CSocketReactor::kWrite);
        return 2;
    }
    Close();
    return 1;
}

void CLocalStream::Close() {
    fState.store(kNone, std::memory_order_release);
    if (fFd == -1) return;
    const int fd = fFd;
    CSocketReactor::Unregister(fd);
    fFd = -1;
    close(fd);
    if (fOwnsPath) unlink(fAddress.sun_path);
    fOwnsPath = 0;
    fAddressLength = 0;
}

i32 CLocalStream::Send(const void* data, u32 length) {
    if (fFd == -1) return -1;
    ssize_t n;
    do {
        n = send(fFd, data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return CSocketReactor::ArmIfWouldBlock(fFd, CSocketReactor::kWrite);
    return n == 0 ? -1 : i32(n);
}

i32 CLocalStream::Recv(void* buffer, u32 size) {
    if (fFd == -1) return -1;
    ssize_t n;
    do {
        n = recv(fFd, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return CSocketReactor::ArmIfWouldBlock(fFd, CSocketReactor::kRead);
    return n == 0 ? -1 : i32(n);
}

// ---------------------------------------------------------------------------
// CFrameChannel

CFrameChannel::CFrameChannel(void* context, LLocalStreamFn callback) : fStream(context, callback) {
    fBuffer.Resize(2048, false);
    fRing.Init(fRingStorage, kRingBits);
}

CFrameChannel::~CFrameChannel() {
    fStream.Close();
}

i32 CFrameChannel::Flush() {
    i32 total = 0;
    while (RingFill() != 0) {
        const u8 *p1, *p2;
        u32 n1, n2;
        fRing.GetReadSpans(RingFill(), &p1, &n1, &p2, &n2);
        const i32 sent = fStream.Send(p1, n1);
        if (sent < 0) return -1;
        if (sent == 0) break;
        fRing.readPos += u32(sent);
        total += sent;
    }
    return total;
}

i32 CFrameChannel::QueueFrame(const LNetAddr& address, const void* data, u32 length) {
    if (Flush() < 0) return -1;
    const i32 queued = AppendFrame(address, data, length);
    if (queued < 0 || Flush() < 0) return -1;
    return queued;
}

i32 CFrameChannel::AppendFrame(const LNetAddr& address, const void* data, u32 length) {
    // An empty frame would read as "not complete yet"; a length that needs more than
    // 16 bits cannot be framed.
    if (length == 0 || length > 0xFFFF) return 0;
    if (kHeader + length > RingFree() && Flush() < 0) return -1;
    if (kHeader + length > RingFree()) return 0;
    const u32 ip = address.IPv4Address();
    const u8 header[kHeader] = {
        u8(ip >> 24),          u8(ip >> 16),     u8(ip >> 8),     u8(ip),
        u8(address.port >> 8), u8(address.port), u8(length >> 8), u8(length)};
    fRing.Write(header, kHeader);
    fRing.Write(data, length);
    return i32(length);
}

i32 CFrameChannel::FillTo(u32 want) {
    if (fBuffer.Capacity() < want && !fBuffer.Resize(want, true)) return -1;
    while (fCount < want) {
        const i32 n = fStream.Recv(fBuffer.Data() + fCount, want - fCount);
        if (n < 0) return -1;
        if (n == 0) return 0;
        fCount += u32(n);
    }
    return 1;
}

i32 CFrameChannel::ReadFrame(LNetAddr* address, const u8** payload) {
    i32 r;
    u32 length;
    for (;;) {
        r = FillTo(kHeader);
        if (r <= 0) return r;
        length = u32(fBuffer.Data()[6]) << 8 | fBuffer.Data()[7];
        if (length != 0) break;
        // Carries nothing, and left in place it would look incomplete for ever.
        fCount = 0;
    }
    const u8* h;
    r = FillTo(kHeader + length);
    if (r <= 0) return r;
    h = fBuffer.Data();
    const u32 ip = u32(h[0]) << 24 | u32(h[1]) << 16 | u32(h[2]) << 8 | h[3];
    if (address) *address = LNetAddr::IPv4(ip, u16(u32(h[4]) << 8 | h[5]));
    if (payload) *payload = h + kHeader;
    return i32(length);
}

void CFrameChannel::Close() {
    fStream.Close();
    fCount = 0;
    fRing.readPos = 0;
    fRing.writePos = 0;
}
