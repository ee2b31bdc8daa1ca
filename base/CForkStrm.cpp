#include "base/CForkStrm.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Paths.h"

namespace {
// Keeps single system calls well inside what every kernel accepts.
constexpr u64 kMaxChunk = u64(1) << 30;
constexpr u64 kMaxOffset = u64(INT64_MAX);
}  // namespace

CForkStrm::~CForkStrm() {
    Close();
}

void CForkStrm::Init(const LString& fileUrl, u32 mode, u32 flags) {
    Close();
    fMode = mode;
    fPosition = 0;
    fError = kErrNone;
    LString localPath;
    FileUrlToPosixPath(&localPath, fileUrl);
    // Files here have a data fork only.
    if ((flags & kFlagResourceFork) || localPath.IsEmpty()) {
        SetError(kErrOpen);
        return;
    }
    int oflags = (mode == kModeWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    int fd;
    do {
        fd = ::open(localPath.CStr(), oflags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        SetError(kErrOpen);
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetError(kErrOpen);
        return;
    }
#ifdef POSIX_FADV_DONTNEED
    if (flags & kFlagUncached) ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
#endif
    fFd = fd;
}

void CForkStrm::Close() {
    if (fFd >= 0) {
        ::close(fFd);
        fFd = -1;
    }
}

void CForkStrm::SetPosition(u64 position) {
    if (fError != kErrNone) return;
    fPosition = position;
}

void CForkStrm::SetSize() {
    if (fError != kErrNone) return;
    if (fMode != kModeWrite) {
        SetError(kErrReadOnly);
        return;
    }
    if (fFd < 0 || fPosition > kMaxOffset || ::ftruncate(fFd, off_t(fPosition)) != 0)
        SetError(kErrWrite);
}

void CForkStrm::Write(const void* data, u64 length) {
    if (fError != kErrNone) return;
    if (fMode != kModeWrite) {
        SetError(kErrReadOnly);
        return;
    }
    if (fFd < 0 || length > kMaxOffset || fPosition > kMaxOffset - length) {
        SetError(kErrWrite);
        return;
    }
    const u8* p = static_cast<const u8*>(data);
    while (length > 0) {
        const size_t chunk = size_t(length < kMaxChunk ? length : kMaxChunk);
        const ssize_t n = ::pwrite(fFd, p, chunk, off_t(fPosition));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetError(kErrWrite);
            return;
        }
        p += n;
        length -= u64(n);
        fPosition += u64(n);
    }
}

void CForkStrm::Read(void* buffer, u64* length) {
    u64 wanted = *length;
    *length = 0;
    if (fError != kErrNone) return;
    if (fFd < 0) {
        SetError(kErrRead);
        return;
    }
    if (fPosition >= kMaxOffset) return;
    if (wanted > kMaxOffset - fPosition) wanted = kMaxOffset - fPosition;
    u8* p = static_cast<u8*>(buffer);
    u64 got = 0;
    while (got < wanted) {
        const u64 left = wanted - got;
        const size_t chunk = size_t(left < kMaxChunk ? left : kMaxChunk);
        const ssize_t n = ::pread(fFd, p + got, chunk, off_t(fPosition + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetError(kErrRead);
            return;
        }
        if (n == 0) break;  // end of file
        got += u64(n);
    }
    fPosition += got;
    *length = got;
}

void CForkStrm::SeekToEnd() {
    if (fError != kErrNone) return;
    struct stat st;
    if (fFd < 0 || ::fstat(fFd, &st) != 0) {
        SetError(kErrRead);
        return;
    }
    fPosition = u64(st.st_size);
}
