// Expands arbitrary bytes: no read may leave the input or the history, and the
// output must not depend on how the caller splits its reads.
#include <cstring>
#include <vector>

#include "base/CMemStrm.h"
#include "base/Lzss.h"

namespace {

std::vector<u8> ExpandAll(std::vector<u8>& in, u64 start, u64 end, u32 block) {
    CMemStrm src(in.data(), u32(in.size()));
    CLzssReader r(&src, start, end);
    r.Rewind();
    std::vector<u8> out, buf(block);
    for (;;) {
        const u32 n = r.Read(buf.data(), block);
        out.insert(out.end(), buf.begin(), buf.begin() + n);
        if (n < block) break;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Each token of at least 9 bits yields at most 18 bytes: 4 KiB expands to under 64 KiB.
    if (size > 4096) return 0;
    // An exact-size copy, so that any read past the end is caught.
    std::vector<u8> in(data, data + size);
    const std::vector<u8> whole = ExpandAll(in, 0, size, 1 << 16);
    if (ExpandAll(in, 0, size, 1) != whole) __builtin_trap();
    if (ExpandAll(in, 0, size, 7) != whole) __builtin_trap();

    // A sub-range starting at the first byte's value.
    if (size > 0) {
        const u64 start = data[0] % (size + 1);
        ExpandAll(in, start, size, 4096);
        CMemStrm src(in.data(), u32(in.size()));
        CLzssReader r(&src, start, size);
        r.Rewind();
        CMemStrm sink(nullptr, 0);  // discards
        r.ReadToStream(sink);
        r.Rewind();
        LTextStream t;
        r.ReadCString(t);
        if (std::memchr(t.CStr(), 0, t.Length())) __builtin_trap();
    }
    return 0;
}
