#include "devices/audio/CWavWriter.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

WavWriterHooks CWavWriter::sHooks;

namespace {

void PutU16(u8* p, u32 v) {
    p[0] = u8(v), p[1] = u8(v >> 8);
}
void PutU32(u8* p, u32 v) {
    for (int i = 0; i < 4; ++i) p[i] = u8(v >> (8 * i));
}

bool PatchU32(int fd, off_t at, u32 v) {
    u8 b[4];
    PutU32(b, v);
    for (;;) {
        const ssize_t n = pwrite(fd, b, 4, at);
        if (n == 4) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

}  // namespace

bool WavFormat::Fits() const {
    if (rate == 0 || channels == 0 || channels > 0xFFFF || bits == 0 || bits > 0xFFFF) return false;
    const u64 align = u64((bits + 7) >> 3) * channels;
    return align <= 0xFFFF && align * rate <= 0xFFFFFFFFull;
}

CWavWriter::~CWavWriter() {
    Abandon();
}

bool CWavWriter::Open(const char* path) {
    Abandon();
    fHooks = sHooks;
    fHeader = false;
    fData = 0;
    fFd = open(path, O_WRONLY | O_CLOEXEC);
    // The usual file is new and empty: truncating it anyway would make the file
    // system flush all of it when it is closed (it takes a truncate to 0 for a
    // replacement), and a cancel would wait for that.
    struct stat st;
    if (fFd >= 0 && (fstat(fFd, &st) != 0 || (st.st_size != 0 && ftruncate(fFd, 0) != 0)))
        Abandon();
    return fFd >= 0;
}

bool CWavWriter::WriteAll(const void* data, u64 bytes) {
    const u8* p = static_cast<const u8*>(data);
    while (bytes > 0) {
        const ssize_t n = write(fFd, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= u64(n);
    }
    return true;
}

bool CWavWriter::WriteHeader(const WavFormat& f) {
    if (fFd < 0 || fHeader || !f.Fits()) return false;
    u8 h[44];
    std::memcpy(h, "RIFF\0\0\0\0WAVEfmt ", 16);
    PutU32(h + 16, 16);
    PutU16(h + 20, 1);
    PutU16(h + 22, f.channels);
    PutU32(h + 24, f.rate);
    PutU32(h + 28, f.rate * f.BytesPerFrame());
    PutU16(h + 32, f.BytesPerFrame());
    PutU16(h + 34, f.bits);
    std::memcpy(h + 36, "data\0\0\0\0", 8);
    fHeader = WriteAll(h, sizeof h);
    return fHeader;
}

bool CWavWriter::Write(const void* data, u32 bytes) {
    if (fFd < 0 || !fHeader) return false;
    if (fData + bytes > fHooks.dataLimit) return false;
    if (fHooks.failWriteAt >= 0 && fData + bytes > u64(fHooks.failWriteAt)) return false;
    if (!WriteAll(data, bytes)) return false;
    fData += bytes;
    return true;
}

bool CWavWriter::Close() {
    if (fFd < 0) return false;
    bool ok = fHeader && !fHooks.failClose;
    if (ok && (fData & 1)) ok = WriteAll("", 1);
    if (ok) {
        // 4 ('WAVE') + 24 ('fmt ' and its body) + 8 ('data' and its size) + data + pad.
        ok = PatchU32(fFd, 4, u32(36 + fData + (fData & 1))) && PatchU32(fFd, 40, u32(fData));
    }
    ok = close(fFd) == 0 && ok;
    fFd = -1;
    return ok;
}

void CWavWriter::Abandon() {
    if (fFd >= 0) close(fFd);
    fFd = -1;
}
