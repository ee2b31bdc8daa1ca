#pragma once
// Audio sources made at test time by the ffmpeg program, and what ffprobe,
// Python's wave module and the program's own raw decode say of a file.

#include <limits.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/Types.h"

namespace audiotest {

inline bool Sh(const std::string& cmd) {
    return std::system(cmd.c_str()) == 0;
}

inline std::vector<u8> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(in), {});
}

// dir/name from a lavfi source (the sine by default) with the output options.
inline std::string Make(const std::string& dir, const std::string& name, const std::string& out,
                        const std::string& in = "sine=f=440:r=48000:d=1") {
    const std::string path = dir + "/" + name;
    return Sh("ffmpeg -nostdin -hide_banner -v error -y -f lavfi -i '" + in + "' " + out + " '" +
              path + "'")
               ? path
               : std::string();
}

// The program's own decode of src as raw samples (s16le, s24le, s32le).
inline std::vector<u8> RawDecode(const std::string& src, const std::string& format) {
    const std::string out = src + "." + format;
    if (!Sh("ffmpeg -nostdin -v error -y -i '" + src + "' -f " + format + " '" + out + "'"))
        return {};
    return ReadAll(out);
}

struct Wave {
    bool ok = false;
    u32 channels = 0, width = 0, rate = 0, frames = 0;
    std::vector<u8> data;
    std::string probe;  // ffprobe: codec_name, sample_rate, channels, bits_per_sample
};

inline Wave ReadWave(const std::string& path) {
    Wave w;
    const std::string info = path + ".info", data = path + ".frames", probe = path + ".probe";
    if (!Sh("python3 -c 'import sys, wave\n"
            "w = wave.open(sys.argv[1]); p = w.getparams()\n"
            "open(sys.argv[2], \"wb\").write(w.readframes(p.nframes))\n"
            "print(p.nchannels, p.sampwidth, p.framerate, p.nframes)' '" +
            path + "' '" + data + "' > '" + info + "' 2>/dev/null"))
        return w;
    std::ifstream(info) >> w.channels >> w.width >> w.rate >> w.frames;
    w.data = ReadAll(data);
    Sh("ffprobe -v error -select_streams a:0 -show_entries "
       "stream=codec_name,sample_rate,channels,bits_per_sample -of csv=p=0 '" +
       path + "' > '" + probe + "'");
    std::getline(std::ifstream(probe), w.probe);
    w.ok = true;
    return w;
}

// Descriptors of this process that name the file.
inline int OpenCount(const std::string& path) {
    char want[PATH_MAX];
    if (!realpath(path.c_str(), want)) return 0;
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (dirent* e = d ? readdir(d) : nullptr) {
        char target[PATH_MAX];
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
        if (len > 0 && std::string(target, size_t(len)) == want) ++n;
    }
    if (d) closedir(d);
    return n;
}

inline u32 LeU32(const std::vector<u8>& b, size_t at) {
    return at + 4 <= b.size()
               ? u32(b[at]) | u32(b[at + 1]) << 8 | u32(b[at + 2]) << 16 | u32(b[at + 3]) << 24
               : 0;
}

}  // namespace audiotest
