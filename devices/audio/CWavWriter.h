#pragma once
// Writes a plain PCM WAV file: RIFF, a 16-byte 'fmt ' (tag 1), 'data'. The sizes
// are patched in when the file is closed, with a pad byte after odd data. Plain
// PCM at every width and channel count is the form WAV readers take most widely.

#include "base/Types.h"

// The header fields of one PCM format, or why it has none.
struct WavFormat {
    u32 rate = 0;
    u32 channels = 0;
    u32 bits = 0;
    u32 BytesPerFrame() const { return ((bits + 7) >> 3) * channels; }
    // Every field fits the header: channels, block align and bits in 16 bits,
    // rate and byte rate in 32; no zero rate or channel count.
    bool Fits() const;
};

// The RIFF and 'data' sizes are 32-bit: the most data bytes a WAV can hold.
constexpr u64 kWavMaxDataBytes = 0xFFFFFFFFull - 37;

// What tests make the writer do; copied when a file is opened.
struct WavWriterHooks {
    u64 dataLimit = kWavMaxDataBytes;
    i64 failWriteAt = -1;  // a data write that would pass this many bytes fails
    bool failClose = false;
};

class CWavWriter {
public:
    static WavWriterHooks sHooks;

    CWavWriter() = default;
    virtual ~CWavWriter();
    CWavWriter(const CWavWriter&) = delete;
    CWavWriter& operator=(const CWavWriter&) = delete;

    // Opens an existing file and empties it: the caller made it, and its name
    // must not be taken over by another file meanwhile.
    bool Open(const char* path);
    bool IsOpen() const { return fFd >= 0; }
    // The header of the format, with sizes still 0.
    bool WriteHeader(const WavFormat& format);
    bool HasHeader() const { return fHeader; }
    // Fails, writing nothing, when the data would pass what the sizes can state.
    bool Write(const void* data, u32 bytes);
    // Patches the sizes, pads, closes; false when any of it failed. The file is
    // closed in every case.
    bool Close();
    // Closes without finishing the file (a cancelled or failed conversion).
    void Abandon();
    u64 DataBytes() const { return fData; }
    u64 DataLimit() const { return fHooks.dataLimit; }

private:
    bool WriteAll(const void* data, u64 bytes);

    int fFd = -1;
    bool fHeader = false;
    u64 fData = 0;
    WavWriterHooks fHooks;
};
